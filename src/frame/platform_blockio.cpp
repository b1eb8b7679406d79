// Record and block access to files.
#include "frame/platform_blockio.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <memory>

#include "frame/platform.h"

namespace {

using BlockConsumer = std::function<void(const unsigned char* data, std::size_t size)>;

constexpr std::size_t ReadBufferLimit = 1 << 20;
constexpr std::size_t MappedReadMinimum = 64 << 10;

int OpenExisting(const std::string& path, int flags) {
    if (path.empty()) {
        errno = ENOENT;
        return -1;
    }
    // A FIFO opened for reading never holds the run up.
    if ((flags & O_ACCMODE) == O_RDONLY) flags |= O_NONBLOCK;
    int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd >= 0 || errno != ENOENT) return fd;
    const std::string resolved = ResolvePath(path);
    return resolved == path ? -1 : ::open(resolved.c_str(), flags | O_CLOEXEC);
}

// Where a fault on a mapped window returns to; set only while one is mapped.
sigjmp_buf* volatile g_mappedReadJump = nullptr;

void OnMappedReadFault(int) {
    if (g_mappedReadJump != nullptr) siglongjmp(*g_mappedReadJump, 1);
    ::signal(SIGBUS, SIG_DFL);
    ::raise(SIGBUS);
}

// Runs update over the file's first `size` bytes through mapped windows,
// which spares the copy a read() makes. A file that shrinks under the
// mapping raises SIGBUS; that is caught and reported as EIO. Only a plain
// function runs on the mapping, so jumping out of it leaves nothing behind.
// Returns 0, an errno, or -1 when mapping is not possible from `offset` on
// (the caller reads the rest).
int ChecksumMapped(int fd, std::uint64_t size, std::size_t blockSize, ChecksumUpdate update, std::uint32_t& value,
                   std::uint64_t& offset) {
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t window = std::max(page, (blockSize + page - 1) / page * page);
    struct sigaction onFault {}, previous {};
    onFault.sa_handler = OnMappedReadFault;
    sigemptyset(&onFault.sa_mask);
    if (::sigaction(SIGBUS, &onFault, &previous) != 0) return -1;

    sigjmp_buf jump;
    void* volatile mapped = nullptr;
    volatile std::size_t mappedLength = 0;
    volatile std::uint64_t done = 0;
    volatile int result = 0;
    volatile std::uint32_t running = value;
    if (sigsetjmp(jump, 1) == 0) {
        g_mappedReadJump = &jump;
        while (done < size) {
            std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(window, size - done));
            void* view = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, static_cast<off_t>(done));
            if (view == MAP_FAILED) {
                result = -1;
                break;
            }
            mapped = view;
            mappedLength = length;
            ::madvise(view, length, MADV_SEQUENTIAL);
            running = update(running, static_cast<const unsigned char*>(view), length);
            mapped = nullptr;
            ::munmap(view, length);
            done = done + length;
        }
    } else {
        result = EIO;
    }
    g_mappedReadJump = nullptr;
    if (mapped != nullptr) ::munmap(mapped, mappedLength);
    ::sigaction(SIGBUS, &previous, nullptr);
    offset = done;
    value = running;
    return result;
}

// The rest of the file from offset on, through a buffer. Returns 0 or errno.
int ConsumeRead(int fd, std::uint64_t offset, std::size_t blockSize, const BlockConsumer& consume) {
    std::unique_ptr<unsigned char[]> block(new unsigned char[blockSize]);
    for (;;) {
        ssize_t got = ::pread(fd, block.get(), blockSize, static_cast<off_t>(offset));
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) return 0;
        consume(block.get(), static_cast<std::size_t>(got));
        offset += static_cast<std::uint64_t>(got);
    }
}

int PreadAll(int fd, std::uint64_t offset, std::size_t size, std::string& data) {
    data.resize(size);
    std::size_t done = 0;
    int error = 0;
    while (done < size) {
        ssize_t got = ::pread(fd, data.data() + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            error = errno;
            break;
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    data.resize(error == 0 ? done : 0);
    return error;
}

int PwriteAll(int fd, std::uint64_t offset, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        if (put < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (put == 0) return EIO;
        done += static_cast<std::size_t>(put);
    }
    return 0;
}

}  // namespace

int ReadFileRange(const std::string& path, std::uint64_t offset, std::size_t size, std::string& data) {
    data.clear();
    int fd = OpenExisting(path, O_RDONLY);
    if (fd < 0) return NoteFailure(path, errno);
    int error = PreadAll(fd, offset, size, data);
    ::close(fd);
    return NoteFailure(path, error);
}

int WriteFileRange(const std::string& path, std::uint64_t offset, std::string_view bytes) {
    if (int fault = InjectedFault()) return NoteFailure(path, fault);
    int fd = OpenExisting(path, O_WRONLY);
    if (fd < 0) return NoteFailure(path, errno);
    int error = PwriteAll(fd, offset, bytes);
    if (error == 0) NoteChangedFile(path);
    if (::close(fd) != 0 && error == 0 && errno != EINTR) error = errno;
    return NoteFailure(path, error);
}

int OpenRecordFile(const std::string& path, FileIdentity& identity, bool& writable) {
    int fd = OpenExisting(path, O_RDWR);
    writable = fd >= 0;
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) fd = OpenExisting(path, O_RDONLY);
    if (fd < 0) {
        const int error = errno;
        NoteFailure(path, error);
        errno = error;
        return -1;
    }
    if (!GetOpenFileIdentity(fd, identity)) {
        int error = errno;
        ::close(fd);
        NoteFailure(path, error);
        errno = error;
        return -1;
    }
    return fd;
}

int ReadOpenFileRange(int fd, std::uint64_t offset, std::size_t size, std::string& data) {
    return PreadAll(fd, offset, size, data);
}

int WriteOpenFileRange(int fd, std::uint64_t offset, std::string_view bytes) {
    if (int fault = InjectedFault()) return fault;
    const int error = PwriteAll(fd, offset, bytes);
    if (error == 0) NoteChangedDescriptor(fd);
    return error;
}

int ReadFileBlocks(const std::string& path, std::size_t blockSize,
                   const std::function<void(const unsigned char* data, std::size_t size)>& consume) {
    int fd = OpenExisting(path, O_RDONLY);
    if (fd < 0) return NoteFailure(path, errno);
    int error = ConsumeRead(fd, 0, std::clamp<std::size_t>(blockSize, 1, ReadBufferLimit), consume);
    ::close(fd);
    return NoteFailure(path, error);
}

int ChecksumFile(const std::string& path, std::size_t windowSize, ChecksumUpdate update, std::uint32_t& value) {
    int fd = OpenExisting(path, O_RDONLY);
    if (fd < 0) return NoteFailure(path, errno);
    int error = ChecksumOpenFile(fd, windowSize, update, value);
    ::close(fd);
    return NoteFailure(path, error);
}

int ChecksumOpenFile(int fd, std::size_t windowSize, ChecksumUpdate update, std::uint32_t& value) {
    std::uint64_t offset = 0;
    int error = -1;
    struct stat st {};
    const bool known = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    // A small file is read at once: mapping it costs more calls than it spares.
    if (known && st.st_size >= static_cast<off_t>(MappedReadMinimum))
        error = ChecksumMapped(fd, static_cast<std::uint64_t>(st.st_size), windowSize, update, value, offset);
    // Also what a file that grew after fstat() gained, and files that cannot be mapped.
    if (error <= 0) {
        std::uint32_t running = value;
        std::size_t block = std::clamp<std::size_t>(windowSize, 1, ReadBufferLimit);
        if (known && st.st_size < static_cast<off_t>(MappedReadMinimum))
            block = std::min(block, std::max<std::size_t>(static_cast<std::size_t>(st.st_size) + 1, 4096));
        error = ConsumeRead(fd, offset, block,
                            [&](const unsigned char* data, std::size_t size) { running = update(running, data, size); });
        value = running;
    }
    return error;
}

bool IsSameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    struct stat first {}, second {};
    if (::stat(ResolvePath(a).c_str(), &first) != 0 || ::stat(ResolvePath(b).c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}
