// The Linux side of the platform layer: files, directories, processes, clock.
#include "frame/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>


namespace {

constexpr std::size_t CopyBlockSize = 8192;

bool StatPath(const std::string& path, struct stat& st) { return !path.empty() && ::stat(path.c_str(), &st) == 0; }

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameNameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

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
// only, so long names cannot make it slow.
bool GlobNoCase(std::string_view name, std::string_view mask) {
    std::size_t n = 0, m = 0;
    std::size_t starMask = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || AsciiLower(mask[m]) == AsciiLower(name[n]))) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
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

}  // namespace

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
    if (target > 0 && ++count == target) {
        if (stop) ::kill(::getpid(), SIGKILL);
        return reported ? error : 0;
    }
#else
    (void)reported;
#endif
    return 0;
}

namespace {

int WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (written == 0) return EIO;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

// WriteAll, but under the full-disk fault (ENOSPC) only part of the data is
// written, as on a disk that fills up in the middle.
int WriteUnlessFull(int fd, const char* data, std::size_t size, int fault) {
    if (fault != ENOSPC) return WriteAll(fd, data, size);
    WriteAll(fd, data, size / 2);
    return ENOSPC;
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
    int fd = ::open(path.c_str(), flags | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    off_t start = (flags & O_APPEND) ? ::lseek(fd, 0, SEEK_END) : 0;
    int error = WriteUnlessFull(fd, content.data(), content.size(), fault);
    if (error != 0 && (flags & O_APPEND) && start >= 0) (void)::ftruncate(fd, start);
    int closeError = CloseChecked(fd);
    if (error != 0 && (flags & O_EXCL)) ::unlink(path.c_str());
    return error != 0 ? error : closeError;
}

enum class CopyStage { Done, SourceOpen, TargetCreate, Transfer };

// The copy behind CopyFile and CopyFile. A partly written target is
// removed, so a failed copy never looks like a complete one.
CopyStage CopyFileContents(const std::string& source, const std::string& target, int& error) {
    const int fault = InjectedFault();
    if (fault != 0 && fault != ENOSPC) {
        error = fault;
        return CopyStage::TargetCreate;
    }
    error = 0;
    std::string from = ResolvePath(source);
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
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
    if (S_ISDIR(st.st_mode)) {
        error = EISDIR;
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
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
        error = errno;
        ::close(in);
        return CopyStage::TargetCreate;
    }
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
    }
    if (error == 0) {
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(out, times);
        ::fchmod(out, st.st_mode & 07777);
    }
    int closeError = CloseChecked(out);
    ::close(in);
    if (error == 0) error = closeError;
    if (error != 0) {
        ::unlink(to.c_str());
        return CopyStage::Transfer;
    }
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
    DIR* handle = ::opendir(dir.c_str());
    if (handle == nullptr) return entries;
    std::string prefix = dir;
    if (prefix.back() != PathSeparator) prefix += PathSeparator;
    while (struct dirent* item = ::readdir(handle)) {
        std::string name = item->d_name;
        if (name == "." || name == "..") continue;
        if (!MatchDosWildcard(name, mask)) continue;
        struct stat st {};
        if (!StatPath(prefix + name, st)) continue;  // dangling link
        DirEntry entry;
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
    ::closedir(handle);
    std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return entries;
}

std::string ResolvePath(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) == 0) return path;
    std::string dir, last;
    SplitDirectoryPart(path, dir, last);
    if (last.empty()) return path;
    DIR* handle = ::opendir(dir.c_str());
    if (handle == nullptr) return path;
    std::string best;
    bool found = false;
    while (struct dirent* item = ::readdir(handle)) {
        std::string_view name = item->d_name;
        if (!SameNameNoCase(name, last)) continue;
        if (!found || name < best) best = name;
        found = true;
    }
    ::closedir(handle);
    if (!found) return path;
    return path.substr(0, path.size() - last.size()) + best;
}

// ---- Attributes --------------------------------------------------------------

bool FileExists(const std::string& path) {
    struct stat st {};
    return StatPath(ResolvePath(path), st);
}

bool DirectoryExists(const std::string& path) {
    std::string dir = path;
    if (dir.size() > 1 && dir.back() == PathSeparator) dir.pop_back();
    struct stat st {};
    return StatPath(dir, st) && S_ISDIR(st.st_mode) && ::access(dir.c_str(), X_OK) == 0;
}

bool IsListableDirectory(const std::string& path) {
    return DirectoryExists(path) && ::access(path.c_str(), R_OK | X_OK) == 0;
}

bool IsWritableDirectory(const std::string& path) {
    return DirectoryExists(path) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return StatPath(ResolvePath(path), st) && S_ISREG(st.st_mode);
}

bool IsReadOnlyFile(const std::string& path) {
    struct stat st {};
    return StatPath(ResolvePath(path), st) && (st.st_mode & S_IWUSR) == 0;
}

bool GetFileSize(const std::string& path, std::uint64_t& size) {
    struct stat st {};
    if (!StatPath(ResolvePath(path), st)) return false;
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool GetFileTime(const std::string& path, std::time_t& modified) {
    struct stat st {};
    if (!StatPath(ResolvePath(path), st)) return false;
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
    if (DirectoryExists(path)) return true;
    std::string full = path;
    if (full.back() != PathSeparator) full += PathSeparator;
    for (std::size_t slash = full.find(PathSeparator, 1); slash != std::string::npos;
         slash = full.find(PathSeparator, slash + 1)) {
        const std::string part = full.substr(0, slash);
        if (!DirectoryExists(part) && InjectedFault() == 0) ::mkdir(part.c_str(), 0777);
    }
    return DirectoryExists(full);
}

void DeleteFile(const std::string& path) {
    if (path.empty()) return;
    std::string resolved = ResolvePath(path);
    struct stat st {};
    if (::lstat(resolved.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return;
    if (InjectedFault(false) == 0) ::unlink(resolved.c_str());
}

void DeleteFiles(const std::string& pathMask) {
    std::string dir, mask;
    SplitDirectoryPart(pathMask, dir, mask);
    std::string prefix = pathMask.substr(0, pathMask.size() - mask.size());
    for (const DirEntry& entry : FindFiles(pathMask, SearchKind::FilesOnly)) DeleteFile(prefix + entry.name);
}

int CopyFile(const std::string& source, const std::string& target) {
    int error = 0;
    CopyFileContents(source, target, error);
    return error;
}

int RenameFile(const std::string& from, const std::string& to) {
    if (int fault = InjectedFault()) return fault;
    if (::rename(ResolvePath(from).c_str(), to.c_str()) != 0) return errno;
    return 0;
}

int RenameNoReplace(const std::string& from, const std::string& to) {
    if (int fault = InjectedFault()) return fault;
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    ::unlink(from.c_str());
    return 0;
}

int MoveFile(const std::string& from, const std::string& to) {
    if (int fault = InjectedFault()) return fault;
    std::string source = ResolvePath(from);
    if (::rename(source.c_str(), to.c_str()) == 0) return 0;
    if (errno != EXDEV) return errno;
    int error = CopyFile(source, to);
    if (error != 0) return error;
    if (::unlink(source.c_str()) != 0) return errno;
    return 0;
}

// ---- Whole-file reading and writing -----------------------------------------

bool ReadWholeFile(const std::string& path, std::string& content) {
    content.clear();
    if (path.empty()) return false;
    int fd = ::open(ResolvePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char block[65536];
    bool ok = true;
    for (;;) {
        ssize_t got = ::read(fd, block, sizeof block);
        if (got < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (got == 0) break;
        content.append(block, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (!ok) content.clear();
    return ok;
}

std::vector<std::string> SplitLines(std::string_view content, std::size_t maxLength) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find_first_of("\r\n", start);
        std::size_t next;
        if (end == std::string_view::npos) {
            end = content.size();
            next = end;
        } else if (content[end] == '\r' && end + 1 < content.size() && content[end + 1] == '\n') {
            next = end + 2;
        } else {
            next = end + 1;
        }
        lines.emplace_back(content.substr(start, std::min(end - start, maxLength)));
        start = next;
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

int WriteWholeFile(const std::string& path, std::string_view content) {
    if (path.empty()) return ENOENT;
    return WriteFileWithFlags(ResolvePath(path), content, O_CREAT | O_TRUNC);
}

int CreateNewFile(const std::string& path, std::string_view content) {
    if (path.empty()) return ENOENT;
    return WriteFileWithFlags(path, content, O_CREAT | O_EXCL);
}

int AppendToFile(const std::string& path, std::string_view content) {
    if (path.empty()) return ENOENT;
    return WriteFileWithFlags(ResolvePath(path), content, O_CREAT | O_APPEND);
}

int ReplaceFileSafely(const std::string& path, std::string_view content, const std::string& backupPath) {
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
    // Work copies a killed rewrite of this file left behind.
    for (const DirEntry& entry : FindFiles(dir + PathSeparator + "." + name + ".??????"))
        if (entry.name.size() == name.size() + 8 && entry.name.compare(1, name.size(), name) == 0) ::unlink((dir + PathSeparator + entry.name).c_str());
    std::string temp = dir + PathSeparator + "." + name + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return errno;
    int error = WriteUnlessFull(fd, content.data(), content.size(), fault);
    if (error == 0) {
        mode_t mode = 0;
        if (exists) {
            mode = st.st_mode & 07777;
        } else {
            mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        ::fchmod(fd, mode);
        if (::fsync(fd) != 0) error = errno;
    }
    int closeError = CloseChecked(fd);
    if (error == 0) error = closeError;
    if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        return error;
    }
    // Make the rename itself durable.
    int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return 0;
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
    if (!ReadWholeFile("/proc/self/mounts", table)) return {};
    return ParseMountTable(table);
}

std::uint64_t MemoryAvailable() {
    FILE* meminfo = std::fopen("/proc/meminfo", "r");
    if (meminfo == nullptr) return 0;
    char line[256];
    std::uint64_t bytes = 0;
    while (std::fgets(line, sizeof line, meminfo) != nullptr) {
        unsigned long long kilobytes = 0;
        if (std::sscanf(line, "MemAvailable: %llu kB", &kilobytes) == 1) {
            bytes = static_cast<std::uint64_t>(kilobytes) * 1024u;
            break;
        }
    }
    std::fclose(meminfo);
    return bytes;
}

int LastErrorNumber() { return errno; }

std::string ErrorText(int errorNumber) {
    // The C locale's English text: the log stays plain ASCII.
    static locale_t c = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    const char* text = c ? ::strerror_l(errorNumber, c) : nullptr;
    return std::to_string(errorNumber) + (text ? " (" + std::string(text) + ")" : std::string());
}

int TruncateFile(const std::string& path, std::uint64_t size) {
    if (int fault = InjectedFault()) return fault;
    if (::truncate(ResolvePath(path).c_str(), static_cast<off_t>(size)) != 0) return errno;
    return 0;
}

bool GetFileAge(const std::string& path, std::int64_t& seconds) {
    std::time_t modified = 0;
    if (!GetFileTime(path, modified)) return false;
    seconds = static_cast<std::int64_t>(std::time(nullptr) - modified);  // the real clock, never the test's
    return true;
}

int CurrentProcessId() { return static_cast<int>(::getpid()); }

bool ProcessExists(int pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

void ClearErrorNumber() { errno = 0; }

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
