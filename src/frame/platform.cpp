// The Linux side of the platform layer: files, directories, processes, clock.
#include "frame/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <locale.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <unordered_map>
#include <unordered_set>


namespace {

constexpr std::size_t CopyBlockSize = 8192;

bool StatPath(const std::string& path, struct stat& st) { return !path.empty() && ::stat(path.c_str(), &st) == 0; }

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Splits "dir/mask" into the directory to open ("." when none) and the rest.
void SplitDirectoryPart(const std::string& path, std::string& dir, std::string& last) {
    std::size_t slash = path.rfind(PathSeparator);
    if (slash == std::string::npos) {
        dir = ".";
        last = path;
    } else {
        dir = slash == 0 ? std::string(1, PathSeparator) : path.substr(0, slash);
        last = path.substr(slash + 1);
    }
}

// Glob match with "*" and "?", ASCII case ignored; backtracks on the last "*"
// only, so long names cannot make it slow. A "*" of the mask is a wildcard
// also where the name holds a "*" of its own.
bool GlobNoCase(std::string_view name, std::string_view mask) {
    std::size_t n = 0, m = 0;
    std::size_t starMask = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (m < mask.size() && (mask[m] == '?' || AsciiLower(mask[m]) == AsciiLower(name[n]))) {
            ++n;
            ++m;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

// ---- What the run knows of directories -------------------------------------
// A case-insensitive lookup that misses reads the directory's names once and
// keeps them for the run. Before each use the directory's stamp is compared,
// and a directory that another program changed is read again. Changes made
// through this layer are entered as they are made, so that the run's own new
// files never make a directory be read again. A change of another program
// that falls between two of the run's own, within one tick of the file
// system's clock, can go unseen: where a miss decides something (a TIC's
// file, the inbound's new TICs) the directory is read afresh.

struct DirStamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    struct timespec mtime {}, ctime {};
};

bool SameStamp(const DirStamp& a, const DirStamp& b) {
    return a.dev == b.dev && a.ino == b.ino && a.size == b.size && a.mtime.tv_sec == b.mtime.tv_sec &&
           a.mtime.tv_nsec == b.mtime.tv_nsec && a.ctime.tv_sec == b.ctime.tv_sec && a.ctime.tv_nsec == b.ctime.tv_nsec;
}

bool ReadStamp(const std::string& dir, DirStamp& stamp) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    stamp = {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    return true;
}

std::string LowerName(std::string_view name) {
    std::string lower(name);
    for (char& c : lower) c = AsciiLower(c);
    return lower;
}

struct KnownName {
    std::string first;   // the name of that spelling that comes first in byte order
    bool twins = false;  // more names differ from it in letter case only
};

struct Listing {
    DirStamp stamp;
    // Changes of this run since the stamp was taken, and the clock
    // after the last of them: a directory changed no later than that was
    // changed by this run.
    bool ownChanges = false;
    struct timespec ownChangeAt {};
    std::map<std::string, KnownName> names;  // lower-case name -> the names, in order for prefixes
    bool twins = false;                                 // of any name
};

}  // namespace

struct DirectoryKnowledge {
    std::unordered_map<std::string, Listing> listings;  // by the directory as the paths spell it
    std::unordered_set<std::string> existing;           // made or found by ForceDirectories
    std::unordered_set<std::string> swept;              // leftover temporaries removed
};

namespace {

DirectoryKnowledge* BoundKnowledge = nullptr;  // of the run in progress

DirectoryKnowledge& Known() {
    if (BoundKnowledge != nullptr) return *BoundKnowledge;
    static DirectoryKnowledge outsideRuns;
    return outsideRuns;
}

void EnterName(Listing& listing, std::string_view name) {
    auto [at, fresh] = listing.names.try_emplace(LowerName(name), KnownName{std::string(name), false});
    if (fresh || at->second.first == name) return;
    at->second.twins = true;
    listing.twins = true;
    if (name < at->second.first) at->second.first = std::string(name);
}

// The names of dir as they stand now: kept ones when the directory has not
// changed since, otherwise read again. Null when it cannot be read.
const Listing* CurrentListing(const std::string& dir) {
    DirectoryKnowledge& known = Known();
    DirStamp stamp;
    if (!ReadStamp(dir, stamp)) {
        known.listings.erase(dir);
        return nullptr;
    }
    auto kept = known.listings.find(dir);
    if (kept != known.listings.end()) {
        Listing& listing = kept->second;
        if (SameStamp(listing.stamp, stamp)) return &listing;
        auto notLater = [&](const struct timespec& t) {
            const struct timespec& own = listing.ownChangeAt;
            return t.tv_sec < own.tv_sec || (t.tv_sec == own.tv_sec && t.tv_nsec <= own.tv_nsec);
        };
        if (listing.ownChanges && stamp.dev == listing.stamp.dev && stamp.ino == listing.stamp.ino &&
            notLater(stamp.mtime) && notLater(stamp.ctime)) {
            listing.stamp = stamp;
            listing.ownChanges = false;
            return &listing;
        }
    }
    DIR* handle = ::opendir(dir.c_str());
    if (handle == nullptr) {
        known.listings.erase(dir);
        return nullptr;
    }
    Listing fresh;
    fresh.stamp = stamp;
    while (struct dirent* item = ::readdir(handle)) {
        std::string_view name = item->d_name;
        if (name != "." && name != "..") EnterName(fresh, name);
    }
    ::closedir(handle);
    return &(known.listings[dir] = std::move(fresh));
}

// A name this run made (present) or took away in a directory it keeps the
// names of.
void NoteName(const std::string& path, bool present) {
    DirectoryKnowledge& known = Known();
    if (known.listings.empty()) return;
    std::string dir, name;
    SplitDirectoryPart(path, dir, name);
    auto kept = known.listings.find(dir);
    if (kept == known.listings.end() || name.empty()) return;
    Listing& listing = kept->second;
    if (present) {
        EnterName(listing, name);
    } else {
        auto at = listing.names.find(LowerName(name));
        if (at != listing.names.end() && at->second.twins) {
            known.listings.erase(kept);  // which twin stays is read again
            return;
        }
        if (at != listing.names.end() && at->second.first == name) listing.names.erase(at);
    }
    listing.ownChanges = true;
    ::clock_gettime(CLOCK_REALTIME, &listing.ownChangeAt);
}

// The path of a file that is not there under its own name: its last part
// looked up without regard to case; the path unchanged when nothing matches.
std::string ResolveMissing(const std::string& path) {
    std::string dir, last;
    SplitDirectoryPart(path, dir, last);
    if (last.empty()) return path;
    const Listing* listing = CurrentListing(dir);
    if (listing == nullptr) return path;
    auto at = listing->names.find(LowerName(last));
    if (at == listing->names.end()) return path;
    return path.substr(0, path.size() - last.size()) + at->second.first;
}

std::string DirectoryKey(const std::string& path) {
    std::string dir = path;
    while (dir.size() > 1 && dir.back() == PathSeparator) dir.pop_back();
    return dir;
}

// A directory the run made or found may have been taken away since (a mailer
// removes an empty point directory). True when dir was known to exist: it is
// then made again, so that the call that failed with ENOENT can be tried
// once more.
bool RemakeVanishedDirectory(const std::string& dir) {
    if (Known().existing.erase(DirectoryKey(dir)) == 0) return false;
    return ForceDirectories(dir);
}

// op() creates something in the directory of path; a directory that vanished
// under the run is made again and op tried once more.
template <class Op>
int InExistingDirectory(const std::string& path, Op op) {
    int error = op();
    if (error != ENOENT) return error;
    std::string dir, name;
    SplitDirectoryPart(path, dir, name);
    return RemakeVanishedDirectory(dir) ? op() : error;
}

FileIdentity IdentityOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::uint64_t>(st.st_size), st.st_mtim.tv_sec, st.st_mtim.tv_nsec,
            st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
}

// stat(2) of a file under its own name or, when that is missing, under the
// name that differs in letter case only.
bool StatResolved(const std::string& path, struct stat& st) {
    if (path.empty()) return false;
    if (::stat(path.c_str(), &st) == 0) return true;
    if (errno != ENOENT) return false;
    std::string resolved = ResolveMissing(path);
    return resolved != path && ::stat(resolved.c_str(), &st) == 0;
}

}  // namespace

FrameRunState::FrameRunState() : directories(std::make_unique<DirectoryKnowledge>()) {}
FrameRunState::~FrameRunState() = default;

FrameRunScope::FrameRunScope(FrameRunState& state) : previous_(BoundKnowledge) {
    BoundKnowledge = state.directories.get();
}
FrameRunScope::~FrameRunScope() { BoundKnowledge = previous_; }

int InjectedFault(bool reported) {
#ifdef BRENMOOR_FAULT_INJECTION
    static long long count = 0, target = -1;
    static bool stop = false;
    static int error = EIO;
    if (target < 0) {
        target = 0;
        const char* value = std::getenv("BRENMOOR_FAULT");
        std::string_view text = value ? value : "";
        if (text.starts_with("stop:") || text.starts_with("fail:")) {
            stop = text.starts_with("stop:");
            target = std::atoll(value + 5);
        } else if (text.starts_with("nospace:")) {
            error = ENOSPC;
            target = std::atoll(value + 8);
        }
    }
    // A kill may land anywhere; a failure only where one is reported.
    if (target > 0 && (stop || reported) && ++count == target) {
        // Tells the test that the fault was met (a failure may go unseen).
        if (const char* mark = std::getenv("BRENMOOR_FAULT_MARK")) ::close(::open(mark, O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        if (stop) ::kill(::getpid(), SIGKILL);
        return reported ? error : 0;
    }
#else
    (void)reported;
#endif
    return 0;
}

// ---- Durability ----------------------------------------------------------------

namespace {

struct PendingSyncs {
    bool durable = true;
    std::unordered_set<std::string> dirs;           // directories changed since the last sync
    std::unordered_map<dev_t, int> descriptors;     // a duplicate descriptor on each file system changed through one
    std::unordered_map<int, dev_t> devices;         // the file system of each open descriptor noted
};

PendingSyncs& Pending() {
    static PendingSyncs pending;
    return pending;
}

// The directory whose entry names path, as open(2) takes it.
std::string ParentDirectory(const std::string& path) {
    const std::size_t slash = path.rfind(PathSeparator);
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

// The file system of path is to be synced: its directory is noted (a
// directory path counts as its own).

void NoteChanged(const std::string& path) {
    PendingSyncs& pending = Pending();
    if (!pending.durable || path.empty()) return;
    pending.dirs.insert(ParentDirectory(path));
}

// One file made durable before something that depends on it (the source of
// a copy unlinked): the file and the directory entry naming it.
int SyncFileNow(const std::string& path) {
    if (!Pending().durable) return 0;
    int error = 0;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) error = errno;
    if (fd >= 0) ::close(fd);
    int dirFd = ::open(ParentDirectory(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0 || ::fsync(dirFd) != 0) error = error != 0 ? error : errno;
    if (dirFd >= 0) ::close(dirFd);
    return error;
}

}  // namespace

void KeepChangesDurable(bool on) { Pending().durable = on; }

bool ChangesKeptDurable() { return Pending().durable; }

void NoteChangedFile(const std::string& path) { NoteChanged(path); }

void NoteChangedDescriptor(int fd) {
    PendingSyncs& pending = Pending();
    if (!pending.durable) return;
    auto known = pending.devices.find(fd);
    if (known == pending.devices.end()) {
        struct stat st {};
        if (::fstat(fd, &st) != 0) return;
        known = pending.devices.emplace(fd, st.st_dev).first;
    }
    if (pending.descriptors.count(known->second)) return;
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy >= 0) pending.descriptors.emplace(known->second, copy);
}

int SyncChanges() {
    PendingSyncs& pending = Pending();
    if (!pending.durable || (pending.dirs.empty() && pending.descriptors.empty())) return 0;
    if (int fault = InjectedFault()) return fault;
    // One syncfs(2) per file system: a batch's hundreds of files cost one
    // journal commit, where fsync(2) of each would cost one apiece.
    std::unordered_map<dev_t, std::string> dirs;
    for (const std::string& dir : pending.dirs) {
        struct stat st {};
        // A directory gone since (a temporary one) leaves nothing to sync.
        if (::stat(dir.c_str(), &st) == 0 && !pending.descriptors.count(st.st_dev)) dirs.emplace(st.st_dev, dir);
    }
    int error = 0;
    std::string failed;
    for (const auto& [device, dir] : dirs) {
        const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0 || ::syncfs(fd) != 0) {
            if (error == 0) failed = dir;
            error = error != 0 ? error : errno;
        }
        if (fd >= 0) ::close(fd);
    }
    for (const auto& [device, fd] : pending.descriptors) {
        if (::syncfs(fd) != 0 && error == 0) error = errno;
        ::close(fd);
    }
    pending.descriptors.clear();
    if (error != 0) return NoteFailure(failed, error);
    pending.dirs.clear();
    return 0;
}

namespace {

// Writes all bytes; written counts those that got there.
int WriteAll(int fd, const char* data, std::size_t size, std::size_t& written) {
    written = 0;
    while (size > 0) {
        ssize_t put = ::write(fd, data, size);
        if (put < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (put == 0) return EIO;
        data += put;
        size -= static_cast<std::size_t>(put);
        written += static_cast<std::size_t>(put);
    }
    return 0;
}

// WriteAll, but under the full-disk fault (ENOSPC) only part of the data is
// written, as on a disk that fills up in the middle.
int WriteUnlessFull(int fd, const char* data, std::size_t size, int fault, std::size_t& written) {
    if (fault != ENOSPC) return WriteAll(fd, data, size, written);
    WriteAll(fd, data, size / 2, written);
    return ENOSPC;
}

int WriteUnlessFull(int fd, const char* data, std::size_t size, int fault) {
    std::size_t written = 0;
    return WriteUnlessFull(fd, data, size, fault, written);
}

// What a failed append wrote is taken back off the end, so that the next
// append is not glued to half a line.
void TakeBackAppended(int fd, std::size_t written) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && static_cast<std::size_t>(st.st_size) >= written)
        (void)::ftruncate(fd, st.st_size - static_cast<off_t>(written));
}

int CloseChecked(int fd) {
    if (::close(fd) != 0 && errno != EINTR) return errno;
    return 0;
}

// Writes content to a file opened with the given flags; 0 or errno. An
// append is whole or not at all: a disk that fills up in the middle must not
// leave half a line that the next append would be glued to. A new file that
// could not be written whole is removed.
int WriteFileWithFlags(const std::string& path, std::string_view content, int flags) {
    int fault = InjectedFault();
    if (fault != 0 && fault != ENOSPC) return fault;
    // An existing file is opened under its own name or, when that is
    // missing, under the one that differs in letter case only; only then is
    // a new one made.
    std::string target = path;
    int fd = (flags & O_EXCL) ? -1 : ::open(path.c_str(), (flags & ~O_CREAT) | O_WRONLY | O_CLOEXEC);
    if (fd < 0 && !(flags & O_EXCL) && errno != ENOENT) return errno;
    if (fd < 0) {
        if (!(flags & O_EXCL)) target = ResolveMissing(path);
        int error = InExistingDirectory(target, [&] {
            fd = ::open(target.c_str(), flags | O_WRONLY | O_CLOEXEC, 0666);
            return fd < 0 ? errno : 0;
        });
        if (error != 0) return error;
        NoteName(target, true);
        InjectedFault(false);  // made, nothing written yet
    } else if (flags & O_TRUNC) {
        InjectedFault(false);  // emptied, nothing written yet
    }
    std::size_t written = 0;
    int error = WriteUnlessFull(fd, content.data(), content.size(), fault, written);
    if (error != 0 && (flags & O_APPEND)) TakeBackAppended(fd, written);
    int closeError = CloseChecked(fd);
    if (error != 0 && (flags & O_EXCL)) {
        ::unlink(target.c_str());
        NoteName(target, false);
    }
    if (error == 0) NoteChanged(target);
    return error != 0 ? error : closeError;
}

// ---- Temporary names --------------------------------------------------------
// A file others read is written under ".NAME~PID.XXXXXX" beside it and
// renamed into place when complete. The dot keeps mailers and tossers off
// it (and no mask of theirs, "*.msg", "*.?lo", "*.tic", matches the last
// part); the PID tells a killed run's leftover from a file a live run is
// still writing, without holding any lock.

constexpr std::size_t MaxTemporaryStem = 200;  // leaves room for "~PID.XXXXXX" within NAME_MAX

// The PID a temporary name was made by; 0 when it is none of ours.
long long TemporaryNameWriter(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (name.size() < 2 || name[0] != '.' || dot == 0 || dot == std::string_view::npos || name.size() - dot != 7)
        return 0;
    for (char c : name.substr(dot + 1))
        if (!std::isalnum(static_cast<unsigned char>(c))) return 0;
    const std::size_t tilde = name.rfind('~', dot);
    if (tilde == std::string_view::npos || tilde == 0 || tilde + 1 == dot || dot - tilde > 11) return 0;
    long long pid = 0;
    for (char c : name.substr(tilde + 1, dot - tilde - 1)) {
        if (c < '0' || c > '9') return 0;
        pid = pid * 10 + (c - '0');
    }
    return pid;
}

// Makes a new temporary file for name in dir (dir without its trailing
// "/"); the descriptor, or -1 with the errno in error. The first time in a
// run, what killed runs left in dir goes.
int MakeTemporaryFile(const std::string& dir, const std::string& name, std::string& temp, int& error) {
    if (Known().swept.insert(dir).second) RemoveLeftoverTemporaries(dir);
    std::string stem = name.substr(0, std::min(name.size(), MaxTemporaryStem));
    // Made with 0666 less the umask, as any new file: mkstemp's 0600 would
    // cost a chmod per file.
    static constexpr std::string_view Letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const std::string prefix = dir + PathSeparator + "." + stem + "~" + std::to_string(CurrentProcessId()) + ".";
    int fd = -1;
    error = InExistingDirectory(dir + PathSeparator + stem, [&] {
        for (int attempt = 0; attempt < 100; ++attempt) {
            temp = prefix;
            for (int i = 0; i < 6; ++i) temp += Letters[RandomNumber(static_cast<std::uint32_t>(Letters.size()))];
            fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0 || errno != EEXIST) break;
        }
        return fd < 0 ? errno : 0;
    });
    if (fd >= 0) NoteName(temp, true);
    return fd;
}

void RemoveTemporary(const std::string& temp) {
    ::unlink(temp.c_str());
    NoteName(temp, false);
}

// Writes content to a new temporary file beside path; 0 or errno. The
// temporary file is removed when it could not be written whole.
int WriteTemporary(const std::string& path, std::string_view content, int fault, std::string& temp) {
    std::string dir, name;
    SplitDirectoryPart(path, dir, name);
    int error = 0;
    int fd = MakeTemporaryFile(dir, name, temp, error);
    if (fd < 0) return error;
    InjectedFault(false);  // made, nothing written yet
    error = WriteUnlessFull(fd, content.data(), content.size(), fault);
    int closeError = CloseChecked(fd);
    if (error == 0) error = closeError;
    if (error != 0) RemoveTemporary(temp);
    return error;
}

enum class CopyStage { Done, SourceOpen, TargetCreate, Transfer };

// The copy behind CopyFile: written under a temporary name in workDir (the
// target's directory when empty) and renamed over the target when complete,
// so the target is never seen cut short, and a failed copy leaves it as it
// was.
CopyStage CopyFileContents(const std::string& source, const std::string& target, const std::string& workDir,
                           int& error) {
    const int fault = InjectedFault();
    if (fault != 0 && fault != ENOSPC) {
        error = fault;
        return CopyStage::TargetCreate;
    }
    error = 0;
    std::string from = ResolvePath(source);
    int in = ::open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0) {
        error = errno;
        return CopyStage::SourceOpen;
    }
    struct stat st {};
    if (::fstat(in, &st) != 0) {
        error = errno;
        ::close(in);
        return CopyStage::SourceOpen;
    }
    // Only a file's bytes are copied: not a directory, a FIFO or a device.
    if (!S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(in);
        return CopyStage::SourceOpen;
    }
    std::string to = ResolvePath(target);
    // Copying a file onto itself would truncate it before reading.
    struct stat targetStat {};
    if (StatPath(to, targetStat) && targetStat.st_dev == st.st_dev && targetStat.st_ino == st.st_ino) {
        ::close(in);
        return CopyStage::Done;
    }
    std::string dir, name;
    SplitDirectoryPart(to, dir, name);
    if (!workDir.empty()) dir = DirectoryKey(workDir);
    std::string temp;
    int out = MakeTemporaryFile(dir, name, temp, error);
    if (out < 0) {
        ::close(in);
        return CopyStage::TargetCreate;
    }
    InjectedFault(false);  // made, nothing copied yet
    char block[CopyBlockSize];
    for (;;) {
        ssize_t got = ::read(in, block, sizeof block);
        if (got < 0) {
            if (errno == EINTR) continue;
            error = errno;
            break;
        }
        if (got == 0) break;
        error = WriteUnlessFull(out, block, static_cast<std::size_t>(got), fault);
        if (error != 0) break;
        InjectedFault(false);  // part copied, or all of it but not yet in place
    }
    if (error == 0) {
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(out, times);
        ::fchmod(out, st.st_mode & 07777);
    }
    int closeError = CloseChecked(out);
    ::close(in);
    if (error == 0) error = closeError;
    if (error == 0 && ::rename(temp.c_str(), to.c_str()) != 0) error = errno;
    if (error != 0) {
        RemoveTemporary(temp);
        return CopyStage::Transfer;
    }
    NoteName(temp, false);
    NoteName(to, true);
    NoteChanged(to);
    return CopyStage::Done;
}

std::mt19937& RandomEngine() {
    static std::mt19937 engine(5489u);
    return engine;
}

}  // namespace

// ---- Program directory -----------------------------------------------------

std::string ExecutableDirectory() {
    char buffer[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return std::string();
    std::string dir(buffer, static_cast<std::size_t>(length));
    dir.erase(dir.rfind(PathSeparator) + 1);
    return dir;
}

std::string ProgramDirectory() {
    const char* configured = std::getenv("BRENMOOR_DIR");
    std::string dir;
    if (configured != nullptr && *configured != '\0') {
        dir = configured;
    } else {
        dir = ExecutableDirectory();
        if (dir.empty()) return dir;
        // An installed binary (/usr/bin) keeps its node in /etc.
        if (!FileExists(dir + "BRENMOOR.CTL")) dir = InstalledProgramDirectory;
    }
    if (dir.back() != PathSeparator) dir += PathSeparator;
    return dir;
}

std::string InstalledDataDirectory() {
    std::string dir = ExecutableDirectory();
    return dir.empty() ? dir : dir + "../share/brenmoor/";
}

// ---- Names and directory search -------------------------------------------

bool MatchDosWildcard(std::string_view name, std::string_view mask) {
    if (GlobNoCase(name, mask)) return true;
    // "NAME.*" also takes a name without any extension, "*.*" every name.
    if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" && name.find('.') == std::string_view::npos)
        return GlobNoCase(name, mask.substr(0, mask.size() - 2));
    return false;
}

std::vector<DirEntry> FindFiles(const std::string& pathMask, SearchKind kind) {
    std::vector<DirEntry> entries;
    std::string dir, mask;
    SplitDirectoryPart(pathMask, dir, mask);
    if (mask.empty()) return entries;
    std::string prefix = dir;
    if (prefix.back() != PathSeparator) prefix += PathSeparator;
    // The kept names of the directory serve, unless names in it differ in
    // letter case only: the directory is then read.
    std::vector<std::string> names;
    const Listing* listing = CurrentListing(dir);
    const bool listed = listing != nullptr && !listing->twins;
    if (listed && mask.find_first_of("*?") == std::string::npos) {
        auto at = listing->names.find(LowerName(mask));
        if (at != listing->names.end()) names.push_back(at->second.first);
    } else if (listed) {
        // Only names that begin with the mask's letters before its first
        // wildcard can match ("NAME.*" also takes "NAME"): a search for one
        // file's renamed copies must not cost a pass over a full inbound.
        std::string prefix = LowerName(mask.substr(0, mask.find_first_of("*?")));
        if (mask.ends_with(".*") && prefix.size() == mask.size() - 1) prefix.pop_back();
        for (auto at = listing->names.lower_bound(prefix);
             at != listing->names.end() && at->first.starts_with(prefix); ++at)
            if (MatchDosWildcard(at->second.first, mask)) names.push_back(at->second.first);
    }
    DIR* handle = listed ? nullptr : ::opendir(dir.c_str());
    if (!listed && handle == nullptr) return entries;
    std::size_t next = 0;
    auto nextName = [&](std::string& name) {
        if (listed) {
            if (next == names.size()) return false;
            name = names[next++];
            return true;
        }
        struct dirent* item = ::readdir(handle);
        if (item == nullptr) return false;
        name = item->d_name;
        return true;
    };
    for (std::string name; nextName(name);) {
        if (name == "." || name == "..") continue;
        if (!MatchDosWildcard(name, mask)) continue;
        struct stat st {};
        DirEntry entry;
        if (kind == SearchKind::Listing) {
            if (::lstat((prefix + name).c_str(), &st) != 0) continue;
            entry.isLink = S_ISLNK(st.st_mode);
            if (entry.isLink && !StatPath(prefix + name, st)) entry.isDangling = true;
        } else if (!StatPath(prefix + name, st)) {
            continue;  // dangling link
        }
        entry.name = name;
        entry.isDirectory = S_ISDIR(st.st_mode);
        if (kind == SearchKind::FilesOnly && entry.isDirectory) continue;
        if (kind == SearchKind::DirectoriesOnly && !entry.isDirectory) continue;
        entry.isReadOnly = (st.st_mode & S_IWUSR) == 0;
        entry.isHidden = name[0] == '.';
        entry.size = static_cast<std::uint64_t>(st.st_size);
        entry.modified = st.st_mtime;
        entries.push_back(std::move(entry));
    }
    if (handle != nullptr) ::closedir(handle);
    std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return entries;
}

std::string ResolvePath(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) == 0) return path;
    return ResolveMissing(path);
}

void RereadDirectory(const std::string& dir) { Known().listings.erase(DirectoryKey(dir)); }

// ---- Attributes --------------------------------------------------------------

bool FileExists(const std::string& path) {
    struct stat st {};
    return StatResolved(path, st);
}

bool DirectoryExists(const std::string& path) {
    std::string dir = path;
    if (dir.size() > 1 && dir.back() == PathSeparator) dir.pop_back();
    struct stat st {};
    return StatPath(dir, st) && S_ISDIR(st.st_mode) && ::access(dir.c_str(), X_OK) == 0;
}

bool IsListableDirectory(const std::string& path) {
    return DirectoryExists(path) && ReadAccessError(path, true) == 0;
}

int ReadAccessError(const std::string& path, bool directory) {
    return ::access(path.c_str(), directory ? R_OK | X_OK : R_OK) == 0 ? 0 : errno;
}

std::string LinkDestination(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return {};
    std::string destination(resolved);
    std::free(resolved);
    return destination;
}

bool IsWritableDirectory(const std::string& path) {
    return DirectoryExists(path) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

bool CanReplaceFile(const std::string& path) {
    std::string dir, name;
    SplitDirectoryPart(path, dir, name);
    if (!IsWritableDirectory(dir)) return false;
    // In a sticky directory only the owner of a name may rename over it.
    struct stat dirInfo {}, fileInfo {};
    if (::stat(dir.c_str(), &dirInfo) != 0 || !(dirInfo.st_mode & S_ISVTX)) return true;
    const uid_t user = ::geteuid();
    return user == 0 || dirInfo.st_uid == user || !StatResolved(path, fileInfo) || fileInfo.st_uid == user;
}

bool IsWritableFile(const std::string& path) { return ::access(ResolvePath(path).c_str(), W_OK) == 0; }

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return StatResolved(path, st) && S_ISREG(st.st_mode);
}

bool IsReadOnlyFile(const std::string& path) {
    struct stat st {};
    return StatResolved(path, st) && (st.st_mode & S_IWUSR) == 0;
}

bool GetFileSize(const std::string& path, std::uint64_t& size) {
    struct stat st {};
    if (!StatResolved(path, st)) return false;
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool GetFileIdentity(const std::string& path, FileIdentity& identity) {
    struct stat st {};
    if (!StatResolved(path, st)) return false;
    identity = IdentityOf(st);
    return true;
}

bool GetOpenFileIdentity(int fd, FileIdentity& identity) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    identity = IdentityOf(st);
    return true;
}

FileStatus GetFileStatus(const std::string& path) {
    struct stat st {};
    if (!StatResolved(path, st)) return {};
    return {true, S_ISREG(st.st_mode), (st.st_mode & S_IWUSR) == 0, static_cast<std::uint64_t>(st.st_size)};
}

bool GetFileTime(const std::string& path, std::time_t& modified) {
    struct stat st {};
    if (!StatResolved(path, st)) return false;
    modified = st.st_mtime;
    return true;
}

bool SetFileTime(const std::string& path, std::time_t modified) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = modified;
    times[1].tv_nsec = 0;
    std::string resolved = ResolvePath(path);
    return !resolved.empty() && ::utimensat(AT_FDCWD, resolved.c_str(), times, 0) == 0;
}

// ---- Directories, copy, rename, delete ---------------------------------------

bool ForceDirectories(const std::string& path) {
    if (path.empty()) return false;
    // Made or found once a run; a call that finds it gone makes it again.
    const std::string key = DirectoryKey(path);
    DirectoryKnowledge& known = Known();
    if (known.existing.count(key)) return true;
    if (!DirectoryExists(key)) {
        const std::size_t slash = key.rfind(PathSeparator);
        // Made even when the parent cannot be: its mkdir tells why.
        if (slash != std::string::npos && slash > 0) ForceDirectories(key.substr(0, slash));
        if (InjectedFault() == 0 && ::mkdir(key.c_str(), 0777) == 0) {
            NoteName(key, true);
            NoteChanged(key);
        }
        if (!DirectoryExists(key)) return false;
    }
    known.existing.insert(key);
    return true;
}

void DeleteFile(const std::string& path) {
    if (path.empty()) return;
    std::string resolved = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        resolved = ResolveMissing(path);
        if (resolved == path || ::lstat(resolved.c_str(), &st) != 0) return;
    }
    if (S_ISDIR(st.st_mode)) return;
    if (InjectedFault(false) == 0 && ::unlink(resolved.c_str()) == 0) NoteName(resolved, false);
}

void DeleteOwnFile(const std::string& path) {
    if (!path.empty() && InjectedFault(false) == 0 && ::unlink(path.c_str()) == 0) NoteName(path, false);
}

void DeleteFiles(const std::string& pathMask) {
    std::string dir, mask;
    SplitDirectoryPart(pathMask, dir, mask);
    std::string prefix = pathMask.substr(0, pathMask.size() - mask.size());
    for (const DirEntry& entry : FindFiles(pathMask, SearchKind::FilesOnly)) DeleteFile(prefix + entry.name);
}

int CopyFile(const std::string& source, const std::string& target, const std::string& workDir) {
    int error = 0;
    const CopyStage stage = CopyFileContents(source, target, workDir, error);
    return NoteFailure(stage == CopyStage::SourceOpen ? source : target, error);
}

bool IsTemporaryName(std::string_view name) { return TemporaryNameWriter(name) > 0; }

void RemoveLeftoverTemporaries(const std::string& dir) {
    const std::string key = DirectoryKey(dir);
    Known().swept.insert(key);
    for (const DirEntry& entry : FindFiles(key + PathSeparator + ".*")) {
        const long long pid = TemporaryNameWriter(entry.name);
        if (pid > 0 && (pid > INT_MAX || !ProcessExists(static_cast<int>(pid))))
            DeleteOwnFile(key + PathSeparator + entry.name);
    }
}

namespace {

// Writes content under a temporary name beside path, then gives it the name:
// rename(2) over a file of that name (replace), or link(2), which fails
// while the name is taken.
int Publish(const std::string& path, std::string_view content, bool replace) {
    if (path.empty()) return ENOENT;
    const int fault = InjectedFault();
    if (fault != 0 && fault != ENOSPC) return fault;
    std::string temp;
    if (int error = WriteTemporary(path, content, fault, temp)) return error;
    InjectedFault(false);  // written, not yet in place
    if (replace) {
        if (::rename(temp.c_str(), path.c_str()) != 0) {
            int error = errno;
            RemoveTemporary(temp);
            return error;
        }
        NoteName(temp, false);
        NoteName(path, true);
        NoteChanged(path);
        return 0;
    }
    int error = ::link(temp.c_str(), path.c_str()) == 0 ? 0 : errno;
    if (error == 0) {
        NoteName(path, true);
        NoteChanged(path);
        InjectedFault(false);  // in place, the temporary name not yet gone
    }
    RemoveTemporary(temp);
    // A file system without hard links: FAT (EPERM), SMB without its Unix
    // extensions (EOPNOTSUPP), FUSE ones without the operation (ENOSYS,
    // EPERM). The name is then taken by an exclusive create and the content
    // written right after; a kill in between leaves it empty.
    if (error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK)
        return WriteFileWithFlags(path, content, O_CREAT | O_EXCL);
    return error;
}

}  // namespace

int PublishFile(const std::string& path, std::string_view content) {
    return NoteFailure(path, Publish(path, content, true));
}

int PublishNewFile(const std::string& path, std::string_view content) {
    return NoteFailure(path, Publish(path, content, false));
}

namespace {

// rename(2) of a file under its own name or the one that differs in letter
// case only; the names noted. The source found under which name, in source.
int RenameResolved(const std::string& from, const std::string& to, std::string& source) {
    source = from;
    auto rename = [&] { return ::rename(source.c_str(), to.c_str()) == 0 ? 0 : errno; };
    int error = rename();
    if (error == ENOENT) {
        struct stat st {};
        if (::lstat(from.c_str(), &st) != 0) {
            source = ResolveMissing(from);
            if (source != from) error = rename();
        }
        std::string dir, name;
        SplitDirectoryPart(to, dir, name);
        if (error == ENOENT && RemakeVanishedDirectory(dir)) error = rename();
    }
    if (error == 0) {
        NoteName(source, false);
        NoteName(to, true);
        NoteChanged(to);
    }
    return error;
}

}  // namespace

namespace {

// A rename names both ends: either may be what failed.
int NoteRenameFailure(const std::string& from, const std::string& to, int error) {
    return error == 0 ? 0 : NoteFailure(from + " -> " + to, error);
}

}  // namespace

int RenameFile(const std::string& from, const std::string& to) {
    if (int fault = InjectedFault()) return NoteRenameFailure(from, to, fault);
    std::string source;
    return NoteRenameFailure(from, to, RenameResolved(from, to, source));
}

int RenameNoReplace(const std::string& from, const std::string& to) {
    if (int fault = InjectedFault()) return NoteRenameFailure(from, to, fault);
    if (::link(from.c_str(), to.c_str()) != 0) return NoteRenameFailure(from, to, errno);
    InjectedFault(false);  // under both names
    ::unlink(from.c_str());
    NoteName(from, false);
    NoteName(to, true);
    NoteChanged(to);
    return 0;
}

int MoveFile(const std::string& from, const std::string& to) {
    if (int fault = InjectedFault()) return NoteRenameFailure(from, to, fault);
    std::string source;
    int error = RenameResolved(from, to, source);
    if (error != EXDEV) return NoteRenameFailure(from, to, error);
    error = CopyFile(source, to);
    if (error != 0) return error;
    // The source goes only once its copy would survive a power cut.
    if (int syncError = SyncFileNow(ResolvePath(to))) return NoteFailure(to, syncError);
    InjectedFault(false);  // copied, the source not yet gone
    if (::unlink(source.c_str()) != 0) return NoteFailure(source, errno);
    NoteName(source, false);
    return 0;
}

// ---- Whole-file reading and writing -----------------------------------------

bool ReadWholeFile(const std::string& path, std::string& content, FileIdentity* identity) {
    content.clear();
    if (path.empty()) return false;
    // A FIFO never holds the run up: it reads as empty.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        std::string resolved = ResolveMissing(path);
        if (resolved != path) fd = ::open(resolved.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
    if (fd < 0) {
        NoteFailure(path, errno);
        return false;
    }
    // Read in one call when the size is known; a file that grows meanwhile
    // is read on to its end.
    struct stat st {};
    const bool known = ::fstat(fd, &st) == 0;
    std::size_t expected = known && S_ISREG(st.st_mode) ? static_cast<std::size_t>(st.st_size) : 0;
    if (identity != nullptr) *identity = known ? IdentityOf(st) : FileIdentity{};
    std::size_t block = std::max<std::size_t>(expected + 1, 65536);
    bool ok = true;
    for (;;) {
        std::size_t had = content.size();
        content.resize(had + block);
        ssize_t got = ::read(fd, content.data() + had, block);
        content.resize(had + (got > 0 ? static_cast<std::size_t>(got) : 0));
        if (got < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (got == 0) break;
        block = 65536;
    }
    const int error = errno;
    ::close(fd);
    if (!ok) {
        content.clear();
        // A directory in the place of a file fails here, not at its open.
        NoteFailure(path, error);
        errno = error;
    }
    return ok;
}

// ---- Files from outside ------------------------------------------------------

namespace {

FileKind KindOfMode(mode_t mode) {
    if (S_ISREG(mode)) return FileKind::Regular;
    if (S_ISDIR(mode)) return FileKind::Directory;
    if (S_ISLNK(mode)) return FileKind::SymbolicLink;
    if (S_ISFIFO(mode)) return FileKind::Fifo;
    if (S_ISCHR(mode) || S_ISBLK(mode)) return FileKind::Device;
    if (S_ISSOCK(mode)) return FileKind::Socket;
    return FileKind::Unreadable;
}

FileKind KindOfError(int error) {
    return error == ENOENT || error == ENOTDIR ? FileKind::Missing : FileKind::Unreadable;
}

// The kind of what path names, under its own name or, when that is missing,
// the one that differs in letter case only; that name in resolved.
FileKind KindOfResolved(const std::string& path, bool followLink, std::string& resolved) {
    resolved = path;
    if (path.empty()) return FileKind::Missing;
    struct stat st {};
    auto look = [&] { return (followLink ? ::stat(resolved.c_str(), &st) : ::lstat(resolved.c_str(), &st)) == 0; };
    if (look()) return KindOfMode(st.st_mode);
    if (errno != ENOENT) return KindOfError(errno);
    // A dangling link under its own name is missing when followed.
    if (followLink && ::lstat(path.c_str(), &st) == 0) return FileKind::Missing;
    resolved = ResolveMissing(path);
    if (resolved == path) return FileKind::Missing;
    return look() ? KindOfMode(st.st_mode) : KindOfError(errno);
}

}  // namespace

FileKind GetFileKind(const std::string& path, bool followLink) {
    std::string resolved;
    return KindOfResolved(path, followLink, resolved);
}

std::string NearestExistingPath(std::string path) {
    auto trim = [](std::string& text) {
        while (text.size() > 1 && text.back() == PathSeparator) text.pop_back();
    };
    trim(path);
    while (path.size() > 1 && GetFileKind(path, true) == FileKind::Missing) {
        std::string name;
        SplitDirectoryPart(std::string(path), path, name);
        trim(path);
    }
    return path;
}

std::string_view FileKindText(FileKind kind) {
    switch (kind) {
        case FileKind::Missing: return "missing";
        case FileKind::Regular: return "a regular file";
        case FileKind::Directory: return "a directory";
        case FileKind::SymbolicLink: return "a symbolic link";
        case FileKind::Fifo: return "a FIFO";
        case FileKind::Device: return "a device";
        case FileKind::Socket: return "a socket";
        case FileKind::Unreadable: break;
    }
    return "not readable";
}

FileKind RegularFile::Open(const std::string& path, bool followLink) {
    Close();
    // Anything but a regular file is refused before it is opened: opening a
    // device can do things.
    std::string resolved;
    FileKind kind = KindOfResolved(path, followLink, resolved);
    if (kind != FileKind::Regular) return kind;
    int fd = ::open(resolved.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    if (fd < 0) return errno == ELOOP ? FileKind::SymbolicLink : KindOfError(errno);
    // What was opened may not be what was looked at a moment before.
    struct stat st {};
    const bool known = ::fstat(fd, &st) == 0;
    if (!known || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return known ? KindOfMode(st.st_mode) : FileKind::Unreadable;
    }
    fd_ = fd;
    identity_ = IdentityOf(st);
    return FileKind::Regular;
}

bool RegularFile::ReadAll(std::string& content) {
    content.clear();
    if (fd_ < 0) return false;
    std::size_t block = std::max<std::size_t>(identity_.size + 1, 65536);
    for (off_t at = 0;;) {
        const std::size_t had = content.size();
        content.resize(had + block);
        ssize_t got = ::pread(fd_, content.data() + had, block, at);
        content.resize(had + (got > 0 ? static_cast<std::size_t>(got) : 0));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            content.clear();
            return false;
        }
        if (got == 0) return true;
        at += got;
        block = 65536;
    }
}

void RegularFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    identity_ = {};
}

bool ReadRegularFile(const std::string& path, bool followLink, std::string& content, FileKind& kind) {
    content.clear();
    RegularFile file;
    kind = file.Open(path, followLink);
    return kind == FileKind::Regular && file.ReadAll(content);
}

std::size_t NextTextLine(std::string_view text, std::size_t at, std::string_view& line) {
    std::size_t end = std::min(text.find_first_of("\r\n", at), text.size());
    line = text.substr(at, end - at);
    if (end == text.size()) return end;
    if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    return end + 1;
}

std::vector<std::string> SplitLines(std::string_view content, std::size_t maxLength) {
    std::vector<std::string> lines;
    std::string_view line;
    for (std::size_t start = 0; start < content.size();) {
        start = NextTextLine(content, start, line);
        lines.emplace_back(line.substr(0, std::min(line.size(), maxLength)));
    }
    return lines;
}

bool ReadTextLines(const std::string& path, std::vector<std::string>& lines, std::size_t maxLength) {
    std::string content;
    lines.clear();
    if (!ReadWholeFile(path, content)) return false;
    lines = SplitLines(content, maxLength);
    return true;
}

bool ReadSysopTextLines(const std::string& path, std::vector<std::string>& lines, std::size_t maxLength) {
    std::string content;
    lines.clear();
    if (!ReadWholeFile(path, content)) return false;
    lines = SplitLines(WithoutByteOrderMark(content), maxLength);
    return true;
}

int WriteWholeFile(const std::string& path, std::string_view content) {
    if (path.empty()) return ENOENT;
    return NoteFailure(path, WriteFileWithFlags(path, content, O_CREAT | O_TRUNC));
}

int CreateNewFile(const std::string& path, std::string_view content) {
    if (path.empty()) return ENOENT;
    return NoteFailure(path, WriteFileWithFlags(path, content, O_CREAT | O_EXCL));
}

int AppendToFile(const std::string& path, std::string_view content) {
    if (path.empty()) return ENOENT;
    return NoteFailure(path, WriteFileWithFlags(path, content, O_CREAT | O_APPEND));
}

namespace {

int OpenAppending(const std::string& path, bool& created) {
    created = false;
    if (path.empty()) {
        errno = ENOENT;
        return -1;
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd >= 0 || errno != ENOENT) return fd;
    std::string target = ResolveMissing(path);
    if (target != path) {
        fd = ::open(target.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd >= 0 || errno != ENOENT) return fd;
        target = path;  // that one has gone meanwhile
    }
    int error = InExistingDirectory(target, [&] {
        fd = ::open(target.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        return fd < 0 ? errno : 0;
    });
    if (error == EEXIST) return ::open(target.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);  // made meanwhile
    if (error != 0) {
        errno = error;
        return -1;
    }
    created = true;
    NoteName(target, true);
    return fd;
}

}  // namespace

int OpenAppendFile(const std::string& path, bool& created) {
    const int fd = OpenAppending(path, created);
    if (fd < 0) {
        const int error = errno;
        NoteFailure(path, error);
        errno = error;
    }
    return fd;
}

int AppendToOpenFile(int fd, std::string_view content) {
    int fault = InjectedFault();
    if (fault != 0 && fault != ENOSPC) return fault;
    std::size_t written = 0;
    int error = WriteUnlessFull(fd, content.data(), content.size(), fault, written);
    if (error != 0) TakeBackAppended(fd, written);
    else NoteChangedDescriptor(fd);  // a journal's lines are synced with the work they record
    return error;
}

void CloseOpenFile(int fd) {
    if (fd < 0) return;
    Pending().devices.erase(fd);  // the number may be another file's next
    ::close(fd);
}

namespace {

int ReplaceFile(const std::string& path, std::string_view content, const std::string& backupPath) {
    if (path.empty()) return ENOENT;
    const int fault = InjectedFault();
    if (fault != 0 && fault != ENOSPC) return fault;
    std::string target = ResolvePath(path);
    // A control file kept as a symbolic link to elsewhere: the file it names
    // is rewritten and the link stays, instead of the link being replaced.
    struct stat linkStat {};
    if (::lstat(target.c_str(), &linkStat) == 0 && S_ISLNK(linkStat.st_mode)) {
        char real[PATH_MAX];
        if (::realpath(target.c_str(), real) != nullptr) target = real;
    }
    struct stat st {};
    bool exists = StatPath(target, st);
    if (exists && !backupPath.empty()) {
        int error = CopyFile(target, backupPath);
        if (error != 0) return error;
    }
    std::string dir, name;
    SplitDirectoryPart(target, dir, name);
    std::string temp;
    int error = 0;
    int fd = MakeTemporaryFile(dir, name, temp, error);
    if (fd < 0) return error;
    InjectedFault(false);  // made, nothing written yet
    error = WriteUnlessFull(fd, content.data(), content.size(), fault);
    if (error == 0) {
        if (exists) ::fchmod(fd, st.st_mode & 07777);  // a new one has its mode
        if (ChangesKeptDurable() && ::fsync(fd) != 0) error = errno;
    }
    int closeError = CloseChecked(fd);
    if (error == 0) error = closeError;
    if (error == 0) InjectedFault(false);  // written, not yet in place
    if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) {
        RemoveTemporary(temp);
        return error;
    }
    NoteName(temp, false);
    NoteName(target, true);
    // Make the rename itself durable.
    int dirFd = ChangesKeptDurable() ? ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return 0;
}

}  // namespace

int ReplaceFileSafely(const std::string& path, std::string_view content, const std::string& backupPath) {
    const int error = ReplaceFile(path, content, backupPath);
    // The backup's copy names its own file already.
    return error == 0 || (!backupPath.empty() && FailedPath(error) == backupPath) ? error : NoteFailure(path, error);
}

// ---- Processes ---------------------------------------------------------------

std::string FindProgram(const std::string& program) {
    if (program.empty()) return std::string();
    auto executable = [](const std::string& candidate) {
        struct stat st {};
        return StatPath(candidate, st) && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0;
    };
    if (executable(program)) return AbsolutePath(program);
    if (program.find(PathSeparator) != std::string::npos) return std::string();
    const char* pathVariable = std::getenv("PATH");
    if (pathVariable == nullptr) return std::string();
    std::string_view rest = pathVariable;
    while (true) {
        std::size_t colon = rest.find(':');
        std::string dir(rest.substr(0, colon));
        if (!dir.empty()) {
            if (dir.back() != PathSeparator) dir += PathSeparator;
            if (executable(dir + program)) return dir + program;
        }
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    return std::string();
}

int RunCommand(const std::string& program, const std::string& params) {
    std::string found = FindProgram(program);
    if (found.empty()) return -1;
    // The found path is quoted for the shell; the parameters are a command line.
    std::string quoted = "'";
    for (char c : found) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    quoted += "'";
    std::string command = quoted;
    if (!params.empty()) command += " " + params;
    command += " >/dev/null 2>&1";
    std::fflush(nullptr);
    pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

namespace {

// A small file of /proc read in one go; false when it cannot be read.
bool ReadProcFile(const std::string& path, std::string& content) {
    content.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;
        content.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return got == 0;
}

// When the machine started, by the real clock ("btime" of /proc/stat).
std::time_t BootTime() {
    static std::time_t boot = -1;
    if (boot >= 0) return boot;
    boot = 0;
    std::string stat;
    if (!ReadProcFile("/proc/stat", stat)) return boot;
    std::size_t at = stat.find("\nbtime ");
    if (at != std::string::npos) boot = static_cast<std::time_t>(std::strtoll(stat.c_str() + at + 7, nullptr, 10));
    return boot;
}

}  // namespace

ProcessInfo ReadProcessInfo(int pid) {
    ProcessInfo info;
    info.exists = ProcessExists(pid);
    if (!info.exists) return info;
    const std::string dir = "/proc/" + std::to_string(pid) + "/";
    // "PID (comm) S ppid ...": the name may hold blanks and ")", so the
    // fields are counted from the last ")"; the state is field 3, the start
    // in clock ticks after boot field 22.
    std::string stat;
    std::size_t close = std::string::npos;
    if (ReadProcFile(dir + "stat", stat)) close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) return info;
    info.readable = true;
    info.zombie = stat[close + 2] == 'Z';
    std::size_t field = 3, at = close + 2;
    while (field < 22 && at != std::string::npos) {
        at = stat.find(' ', at);
        if (at != std::string::npos) ++at, ++field;
    }
    const long ticks = ::sysconf(_SC_CLK_TCK);
    if (at != std::string::npos) info.startTicks = std::strtoull(stat.c_str() + at, nullptr, 10);
    if (info.startTicks > 0 && ticks > 0 && BootTime() > 0)
        info.started = BootTime() + static_cast<std::time_t>(info.startTicks / static_cast<unsigned long long>(ticks));
    std::string comm;
    if (ReadProcFile(dir + "comm", comm)) info.name = comm.substr(0, comm.find('\n'));
    // Another user's program cannot be looked at (EACCES); a zombie and a
    // kernel thread have none (ENOENT).
    struct stat program {}, own {};
    if (::stat((dir + "exe").c_str(), &program) == 0) {
        info.programKnown = true;
        info.sameProgram = ::stat("/proc/self/exe", &own) == 0 && own.st_dev == program.st_dev &&
                           own.st_ino == program.st_ino;
    } else {
        info.programKnown = errno == ENOENT;
    }
    if (info.name.empty()) {
        char buffer[PATH_MAX];
        ssize_t length = ::readlink((dir + "exe").c_str(), buffer, sizeof buffer - 1);
        if (length > 0) {
            std::string target(buffer, static_cast<std::size_t>(length));
            info.name = target.substr(target.rfind(PathSeparator) + 1);
        }
    }
    return info;
}

// ---- Lock files ----------------------------------------------------------------

int ReserveTemporaryName(const std::string& path, std::string& temp) {
    std::string dir, name;
    SplitDirectoryPart(path, dir, name);
    int error = 0;
    const int fd = MakeTemporaryFile(dir, name, temp, error);
    if (fd < 0) return error;
    return CloseChecked(fd);
}

// ---- Clock, random, memory, errors ---------------------------------------------

LocalDateTime LocalTimeOf(std::time_t when) {
    struct tm parts {};
    ::localtime_r(&when, &parts);
    LocalDateTime t;
    t.year = parts.tm_year + 1900;
    t.month = parts.tm_mon + 1;
    t.day = parts.tm_mday;
    t.hour = parts.tm_hour;
    t.minute = parts.tm_min;
    t.second = parts.tm_sec > 59 ? 59 : parts.tm_sec;
    t.weekday = parts.tm_wday;
    return t;
}

LocalDateTime LocalNow() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    // Tests fix the clock, as git's tests fix their dates: seconds since 1970.
    const char* fixed = std::getenv("BRENMOOR_TEST_TIME");
    if (fixed != nullptr && *fixed != '\0') {
        now.tv_sec = static_cast<time_t>(std::strtoll(fixed, nullptr, 10));
        now.tv_nsec = 0;
    }
    LocalDateTime t = LocalTimeOf(now.tv_sec);
    t.millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return t;
}

std::uint64_t MillisecondTick() {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec / 1000000);
}

void SleepMilliseconds(unsigned milliseconds) {
    struct timespec wait {static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

void SeedRandom() {
    std::random_device device;
    std::seed_seq seed{device(), static_cast<unsigned>(::time(nullptr)), static_cast<unsigned>(::getpid()),
                       static_cast<unsigned>(MillisecondTick())};
    RandomEngine().seed(seed);
}

std::uint32_t RandomNumber(std::uint32_t limit) {
    if (limit == 0) return 0;
    std::uniform_int_distribution<std::uint32_t> pick(0, limit - 1);
    return pick(RandomEngine());
}

namespace {

std::string DecodeMountField(std::string_view field) {
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
            field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
            text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

}  // namespace

std::vector<MountPoint> ParseMountTable(std::string_view table) {
    std::vector<MountPoint> mounts;
    for (const std::string& line : SplitLines(table, 4096)) {
        std::vector<std::string_view> fields;
        std::size_t at = 0;
        while (fields.size() < 3) {
            at = line.find_first_not_of(" \t", at);
            if (at == std::string::npos) break;
            std::size_t end = line.find_first_of(" \t", at);
            if (end == std::string::npos) end = line.size();
            fields.push_back(std::string_view(line).substr(at, end - at));
            at = end;
        }
        if (fields.size() < 3) continue;
        MountPoint mount{DecodeMountField(fields[1]), std::string(fields[2])};
        if (!mount.path.empty() && mount.path[0] == '/') mounts.push_back(std::move(mount));
    }
    return mounts;
}

std::vector<MountPoint> ReadMountPoints() {
    std::string table;
    std::string source = "/proc/self/mounts";
#ifdef BRENMOOR_FAULT_INJECTION
    // Tests lay a table of their own: the machine's mounts differ.
    if (const char* test = std::getenv("BRENMOOR_TEST_MOUNTS")) source = test;
#endif
    if (!ReadWholeFile(source, table)) return {};
    return ParseMountTable(table);
}

std::uint64_t MemoryAvailable() {
    // Kept open: the toss asks once a TIC.
    static const int meminfo = ::open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
    char text[4096];
    const ssize_t got = meminfo < 0 ? -1 : ::pread(meminfo, text, sizeof text - 1, 0);
    if (got <= 0) return 0;
    text[got] = '\0';
    const char* line = std::strstr(text, "MemAvailable:");
    unsigned long long kilobytes = 0;
    if (line == nullptr || std::sscanf(line, "MemAvailable: %llu kB", &kilobytes) != 1) return 0;
    return static_cast<std::uint64_t>(kilobytes) * 1024u;
}

int LastErrorNumber() { return errno; }

std::string ErrorReason(int errorNumber) {
    // The C locale's English text: the log stays plain ASCII.
    static locale_t c = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    const char* text = c ? ::strerror_l(errorNumber, c) : nullptr;
    return text ? std::string(text) : std::string();
}

std::string ErrorText(int errorNumber) {
    const std::string reason = ErrorReason(errorNumber);
    return std::to_string(errorNumber) + (reason.empty() ? std::string() : " (" + reason + ")");
}

namespace {

// The last failure a file call noted: its number and path.
struct NotedFailure {
    int error = 0;
    std::string path;
};

NotedFailure& LastFailure() {
    static NotedFailure failure;
    return failure;
}

}  // namespace

int NoteFailure(const std::string& path, int error) {
    if (error != 0) LastFailure() = {error, path};
    return error;
}

std::string FailedPath(int errorNumber) {
    const NotedFailure& failure = LastFailure();
    return failure.error == errorNumber ? failure.path : std::string();
}

int TruncateFile(const std::string& path, std::uint64_t size) {
    if (int fault = InjectedFault()) return NoteFailure(path, fault);
    if (::truncate(ResolvePath(path).c_str(), static_cast<off_t>(size)) != 0) return NoteFailure(path, errno);
    return 0;
}

bool GetFileAge(const std::string& path, std::int64_t& seconds) {
    std::time_t modified = 0;
    if (!GetFileTime(path, modified)) return false;
    seconds = static_cast<std::int64_t>(std::time(nullptr) - modified);  // the real clock, never the test's
    return true;
}

int CurrentProcessId() {
    static const int pid = static_cast<int>(::getpid());
    return pid;
}

bool ProcessExists(int pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

void ClearErrorNumber() {
    errno = 0;
    LastFailure() = {};
}

// ---- Current directory (for utils' AbsolutePath) -------------------------------

std::string AbsolutePath(const std::string& path) {
    if (path.empty() || path[0] == PathSeparator) return path;
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer) == nullptr) return path;
    std::string base = buffer;
    if (base.back() != PathSeparator) base += PathSeparator;
    std::string_view rest = path;
    // "./name" and "." name the current directory itself.
    while (rest.size() >= 2 && rest[0] == '.' && rest[1] == PathSeparator) {
        rest.remove_prefix(2);
        while (!rest.empty() && rest[0] == PathSeparator) rest.remove_prefix(1);
    }
    if (rest == ".") rest = std::string_view();
    return base + std::string(rest);
}

bool RunningAsRoot() { return ::geteuid() == 0; }

bool GetPathOwner(const std::string& path, unsigned& user, unsigned& group) {
    struct stat info {};
    if (!StatResolved(path, info)) return false;
    user = info.st_uid;
    group = info.st_gid;
    return true;
}

std::string UserName(unsigned user) {
    const struct passwd* entry = ::getpwuid(user);
    return entry != nullptr ? std::string(entry->pw_name) : std::to_string(user);
}

int BecomeUser(unsigned user, unsigned group) {
    const struct passwd* entry = ::getpwuid(user);
    if (entry != nullptr) group = entry->pw_gid;
    const int groups = entry != nullptr ? ::initgroups(entry->pw_name, group) : ::setgroups(1, &group);
    // The group before the user: once the user is changed, no group can be.
    if (groups != 0 || ::setgid(group) != 0 || ::setuid(user) != 0) return errno;
    return 0;
}
