#pragma once
// The platform layer: every file, directory, process, clock and terminal
// service the program uses goes through here. Nothing else calls POSIX.
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "frame/version.h"

constexpr char PathSeparator = '/';
constexpr std::string_view PlatformWord = "Linux";
constexpr std::size_t MaxText = 255;  // longest text the program builds

// ---- What one run learns ----------------------------------------------------

// What the platform layer learns of the directories in one run: the names
// they hold, which it made or found, which it swept of leftover temporaries.
// Files change between runs, so this lives no longer than a run. Every call
// below works on the state of the scope bound last; outside any scope (a
// tool or a unit test calling the layer directly) on one of the process.
struct DirectoryKnowledge;

// The frame's part of a run: the driver makes one per command.
struct FrameRunState {
    FrameRunState();
    ~FrameRunState();
    FrameRunState(const FrameRunState&) = delete;
    FrameRunState& operator=(const FrameRunState&) = delete;
    std::unique_ptr<DirectoryKnowledge> directories;
    std::string busyFlag;  // the busy flag this run made, removed when it ends
};

// Binds a run's state to the platform layer while it lives; the one bound
// before comes back after it.
class FrameRunScope {
public:
    explicit FrameRunScope(FrameRunState& state);
    ~FrameRunScope();
    FrameRunScope(const FrameRunScope&) = delete;
    FrameRunScope& operator=(const FrameRunScope&) = delete;

private:
    DirectoryKnowledge* previous_;
};

// ---- Program directory -----------------------------------------------------

// Directory of the running program with a trailing "/", or the value of
// BRENMOOR_DIR (with a trailing "/" added) when that is set and not empty.
// A program whose own directory holds no BRENMOOR.CTL, as an installed one
// in /usr/bin, takes InstalledProgramDirectory.
constexpr std::string_view InstalledProgramDirectory = "/etc/brenmoor/";
std::string ProgramDirectory();
// Where the running binary lies, with a trailing "/"; empty when unknown.
std::string ExecutableDirectory();
// The shared files of an installed binary: <prefix>/share/brenmoor/.
std::string InstalledDataDirectory();

// ---- Names and directory search -------------------------------------------

// DOS wildcard match of a file name, ASCII case ignored: "*" any run, "?" one
// character, "*.*" every name (also one without a dot).
bool MatchDosWildcard(std::string_view name, std::string_view mask);

struct DirEntry {
    std::string name;      // name only
    bool isDirectory = false;
    bool isReadOnly = false;
    bool isHidden = false;
    std::uint64_t size = 0;
    std::time_t modified = 0;
    bool isLink = false;      // a symbolic link (SearchKind::Listing only)
    bool isDangling = false;  // a link to nothing: size and time of the link
};

// Listing: every entry, symbolic links marked and dangling ones kept.
enum class SearchKind { FilesOnly, DirectoriesOnly, Any, Listing };

// Entries of the directory part of pathMask whose names match its last part
// ("in/*.tic"), sorted by name in byte order; "." and ".." never appear.
std::vector<DirEntry> FindFiles(const std::string& pathMask, SearchKind kind = SearchKind::FilesOnly);

// The path of an existing file: the path itself when it exists, otherwise
// its last component looked up in its directory without regard to ASCII case
// (first match in byte order). When nothing matches, the path unchanged.
std::string ResolvePath(const std::string& path);

// The names of a directory are kept for such lookups and read again when
// the directory has changed; this forgets them, so that the next lookup in
// dir reads it afresh (a miss that decides something).
void RereadDirectory(const std::string& dir);

// ---- Attributes --------------------------------------------------------------

bool FileExists(const std::string& path);       // a directory counts
bool DirectoryExists(const std::string& path);  // trailing "/" ignored
bool IsRegularFile(const std::string& path);
bool IsListableDirectory(const std::string& path);  // its entries can be read
// Why the running user cannot read a file (or list a directory): an error
// number, 0 when it can.
int ReadAccessError(const std::string& path, bool directory);
// Where a symbolic link finally leads, as an absolute path; empty when
// nothing is there.
std::string LinkDestination(const std::string& path);
bool IsWritableDirectory(const std::string& path);  // files can be created in it
bool IsWritableFile(const std::string& path);       // the running user may write it
// A new file made beside it may be renamed over it (a rewrite by rename).
bool CanReplaceFile(const std::string& path);
bool IsReadOnlyFile(const std::string& path);   // no owner write permission
bool GetFileSize(const std::string& path, std::uint64_t& size);
bool GetFileTime(const std::string& path, std::time_t& modified);
bool SetFileTime(const std::string& path, std::time_t modified);

// Who a file is and how it stands: equal identities mean the file has not
// been replaced or changed in between (as far as its stamps tell).
struct FileIdentity {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modifiedSeconds = 0, modifiedNanoseconds = 0, changedSeconds = 0, changedNanoseconds = 0;
    bool operator==(const FileIdentity&) const = default;
};
bool GetFileIdentity(const std::string& path, FileIdentity& identity);
bool GetOpenFileIdentity(int fd, FileIdentity& identity);

// What one stat(2) tells of a path (after ResolvePath).
struct FileStatus {
    bool exists = false, regular = false, readOnly = false;
    std::uint64_t size = 0;
};
FileStatus GetFileStatus(const std::string& path);

// ---- Files from outside ------------------------------------------------------

// What a directory entry is. Files that arrive from outside (payloads, TICs,
// requests) are used only when they are Regular; a symlink, a FIFO or a
// device there is refused, and nothing ever blocks on opening one.
enum class FileKind { Missing, Regular, Directory, SymbolicLink, Fifo, Device, Socket, Unreadable };

// The kind of path's last component (after ResolvePath): the link itself
// unless followLink, the file it leads to with it. Missing for a dangling link
// followed.
FileKind GetFileKind(const std::string& path, bool followLink);
// The path itself when it exists, else the nearest directory above it that
// does (the one a missing directory would be made in); no trailing "/".
std::string NearestExistingPath(std::string path);
// "a symbolic link", "a FIFO", ... for log and reason lines.
std::string_view FileKindText(FileKind kind);

// A file opened for reading only when it is a regular file: the last
// component is not followed when it is a symlink (unless followLink), the
// open never blocks (O_NONBLOCK), and the type is checked on the open
// descriptor, so what is read is the very file that was checked.
class RegularFile {
public:
    RegularFile() = default;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;
    ~RegularFile() { Close(); }

    // Regular when the file is open; otherwise what was there, and the file
    // stays closed.
    FileKind Open(const std::string& path, bool followLink);
    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }
    // Who the open file is (its size among it).
    const FileIdentity& Identity() const { return identity_; }
    // The whole content; false when it cannot be read.
    bool ReadAll(std::string& content);
    void Close();

private:
    int fd_ = -1;
    FileIdentity identity_;
};

// ReadWholeFile for a file from outside: only a regular file is read (see
// RegularFile). kind tells what was there.
bool ReadRegularFile(const std::string& path, bool followLink, std::string& content, FileKind& kind);

// ---- Directories, copy, rename, delete ---------------------------------------

// A path relative to the current directory made absolute (for flow files).
std::string AbsolutePath(const std::string& path);

// Creates every missing directory of the path; true when it exists afterwards.
// A directory made or found once is not tested again in the run; a create
// or rename that finds it gone makes it again.
bool ForceDirectories(const std::string& path);

// Ignores every failure; nothing for an empty path.
void DeleteFile(const std::string& path);
// Deletes a file this run made under exactly that name (a lock it holds).
void DeleteOwnFile(const std::string& path);
// Deletes every file matching the mask ("dir/*.tmp"); failures ignored.
void DeleteFiles(const std::string& pathMask);

// Copies in 8192-byte blocks, keeping time stamp and mode; errno, 0 on
// success. The copy is made under a temporary name in workDir (the target's
// directory when empty; it must lie on the target's file system) and renamed
// over the target when complete: the target is never seen cut short.
int CopyFile(const std::string& source, const std::string& target, const std::string& workDir = std::string());

// Temporary names: ".NAME~PID.XXXXXX" beside the file they become (PID of
// the run that writes it). They begin with a dot and match no mask of a
// mailer or tosser ("*.msg", "*.?lo", "*.?ut", "*.tic").
bool IsTemporaryName(std::string_view name);
// Removes the temporary files in dir whose run is gone. Every writer below
// does so once a run for each directory it makes a temporary file in.
void RemoveLeftoverTemporaries(const std::string& dir);

// rename(2); returns 0 or errno.
int RenameFile(const std::string& from, const std::string& to);

// Gives the file the name to only while that name is free (EEXIST
// otherwise), on the same file system. Returns 0 or errno.
int RenameNoReplace(const std::string& from, const std::string& to);

// rename(2), and on EXDEV copy and delete. The source is removed only after
// the copy is complete. Returns 0 or errno; on failure the source is intact.
int MoveFile(const std::string& from, const std::string& to);

// ---- Whole-file reading and writing -----------------------------------------

// Reads the file (after ResolvePath). False when it cannot be opened or read.
// With identity, also who the file read was.
bool ReadWholeFile(const std::string& path, std::string& content, FileIdentity* identity = nullptr);

// The line of text that starts at at, without its line end (LF, CR LF or a
// bare CR); returns where the next line starts (text.size() after the last).
std::size_t NextTextLine(std::string_view text, std::size_t at, std::string_view& line);

// A UTF-8 byte-order mark: editors put it before the first line of a text
// the sysop writes; it is no part of that line.
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

// The text without a byte-order mark at its start.
constexpr std::string_view WithoutByteOrderMark(std::string_view text) {
    return text.starts_with(ByteOrderMark) ? text.substr(ByteOrderMark.size()) : text;
}

// Splits text into lines on LF, CR LF and bare CR; each line is cut at
// maxLength characters. A final line without a line end counts.
std::vector<std::string> SplitLines(std::string_view content, std::size_t maxLength = MaxText);

// ReadWholeFile + SplitLines. False when the file cannot be read.
bool ReadTextLines(const std::string& path, std::vector<std::string>& lines, std::size_t maxLength = MaxText);

// The same for a text the sysop writes (a control file, a template, a list):
// a byte-order mark before the first line is skipped.
bool ReadSysopTextLines(const std::string& path, std::vector<std::string>& lines, std::size_t maxLength = MaxText);

// Creates or truncates the file and writes the bytes. Returns 0 or errno.
int WriteWholeFile(const std::string& path, std::string_view content);

// Creates the file only when that exact name is free (EEXIST otherwise) and
// writes the bytes. Returns 0 or errno.
int CreateNewFile(const std::string& path, std::string_view content);

// Files others read (TICs, netmail): written whole under a temporary name
// beside path, then given the name. PublishFile replaces a file of that
// name; PublishNewFile gives the name only while it is free (EEXIST
// otherwise). Returns 0 or errno; nothing is left under either name on
// failure.
int PublishFile(const std::string& path, std::string_view content);
int PublishNewFile(const std::string& path, std::string_view content);

// Appends the bytes, creating the file when needed. Returns 0 or errno.
// One write(2); a failed one is taken back. A SIGKILL may still cut a
// write that crosses a page boundary.
int AppendToFile(const std::string& path, std::string_view content);

int LastErrorNumber();  // errno

// The file calls of this layer remember the path of their last failure,
// as errno remembers its number. The path of the last failure that gave
// errorNumber; empty when the last one noted gave another number, or the
// error number was cleared since (ClearErrorNumber).
std::string FailedPath(int errorNumber);
// Notes a failure the caller found on path (nothing when error is 0);
// returns error.
int NoteFailure(const std::string& path, int error);

// A file kept open for appending for a whole run (the log): opened under
// its own name, or the one that differs in letter case only, or made (then
// created is true). -1 with errno on failure.
int OpenAppendFile(const std::string& path, bool& created);
// One write of the bytes, whole or not at all. Returns 0 or errno.
int AppendToOpenFile(int fd, std::string_view content);
void CloseOpenFile(int fd);

// Holds such a file open until it is closed or dropped; moves, never copies.
class KeptFile {
public:
    KeptFile() = default;
    KeptFile(KeptFile&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) { other.fd_ = -1; }
    KeptFile& operator=(KeptFile&& other) noexcept {
        if (this != &other) {
            Close();
            fd_ = other.fd_;
            path_ = std::move(other.path_);
            other.fd_ = -1;
        }
        return *this;
    }
    KeptFile(const KeptFile&) = delete;
    KeptFile& operator=(const KeptFile&) = delete;
    ~KeptFile() { Close(); }

    bool IsOpen() const { return fd_ >= 0; }
    // 0 or errno; created tells whether the file was made.
    int Open(const std::string& path, bool& created) {
        Close();
        fd_ = OpenAppendFile(path, created);
        path_ = path;
        return fd_ >= 0 ? 0 : LastErrorNumber();
    }
    int Append(std::string_view content) { return NoteFailure(path_, AppendToOpenFile(fd_, content)); }
    void Close() {
        CloseOpenFile(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    std::string path_;
};

// Rewrites a control file safely: copies the current file to backupPath (when
// not empty and the file exists), writes content to a temporary file in the
// same directory, flushes it and renames it over path. On any failure the
// original file is left complete and errno is returned; 0 on success. Work
// copies that an interrupted rewrite of the same file left are removed.
int ReplaceFileSafely(const std::string& path, std::string_view content, const std::string& backupPath);

// ---- Durability ----------------------------------------------------------------
// What this layer writes stays in the page cache until it is synced: a power
// cut may lose it. While changes are kept durable (the default), each file
// system that a write, create, rename or new directory touches is noted, and
// SyncChanges makes all of them durable, one syncfs(2) each. Work is
// acknowledged (an inbound TIC or a request deleted, a hatch reported) only
// after that. Off, nothing is synced: for tmpfs and tests.
void KeepChangesDurable(bool on);
bool ChangesKeptDurable();
// Syncs every file system changed since the last sync. Returns 0 or errno
// (the path of a failed one noted); what failed stays noted for the next.
int SyncChanges();
// A change made outside the writers of this layer: to a file by its path,
// or through a descriptor that is closed with CloseOpenFile (its file
// system is looked up once while it stays open).
void NoteChangedFile(const std::string& path);
void NoteChangedDescriptor(int fd);

// ---- Processes ---------------------------------------------------------------

// Looks the program up as given, then in each PATH directory; must be executable.
// Returns the full path, or "" when not found.
std::string FindProgram(const std::string& program);

// /bin/sh -c 'PROGRAM PARAMS >/dev/null 2>&1' and waits. Returns the exit
// status, or -1 when the program cannot be found or started.
int RunCommand(const std::string& program, const std::string& params);

// What /proc tells of a process.
struct ProcessInfo {
    bool exists = false;      // a process of that ID runs, or is a zombie
    bool readable = false;    // its /proc/PID/stat could be read
    bool zombie = false;
    std::time_t started = 0;  // when it started, by the real clock; 0 unknown
    std::uint64_t startTicks = 0;  // when it started, in clock ticks after boot; 0 unknown
    bool programKnown = false;  // its program file could be looked at (not another user's)
    bool sameProgram = false;   // that file is this program's own
    std::string name;           // /proc/PID/comm, else its program's name; empty when unknown
};
ProcessInfo ReadProcessInfo(int pid);

// ---- Lock files --------------------------------------------------------------
// A lock (a link's ".bsy", the busy flag) is made by PublishNewFile: written
// whole before it has its name, so a kill never leaves an empty one.

// A new empty temporary file beside path (see IsTemporaryName), this run's
// alone: a lock is renamed over it while it is judged stale. 0 or errno.
int ReserveTemporaryName(const std::string& path, std::string& temp);

// ---- Clock, random, memory, errors ---------------------------------------------

struct LocalDateTime {
    int year = 1970, month = 1, day = 1;  // month 1..12
    int hour = 0, minute = 0, second = 0;
    int millisecond = 0;
    int weekday = 4;  // 0 = Sunday
};

// The local clock; BRENMOOR_TEST_TIME (seconds since 1970) fixes it for tests.
LocalDateTime LocalNow();
LocalDateTime LocalTimeOf(std::time_t when);
std::uint64_t MillisecondTick();
void SleepMilliseconds(unsigned milliseconds);

void SeedRandom();
std::uint32_t RandomNumber(std::uint32_t limit);  // 0 .. limit-1

// A mounted file system: where it is mounted and its type ("ext4", "tmpfs").
struct MountPoint {
    std::string path;
    std::string type;
};
// The lines of a mount table (/proc/self/mounts): device, mount point, type,
// ...; "\040" and the other octal escapes of names decoded.
std::vector<MountPoint> ParseMountTable(std::string_view table);
// The mount table of this process; empty when it cannot be read.
std::vector<MountPoint> ReadMountPoints();

// MemAvailable of /proc/meminfo in bytes, 0 when unknown.
std::uint64_t MemoryAvailable();

// The fault switch of test builds, asked before every file operation that
// changes something, and between the system calls of one operation (after
// a create and before its write, after a write and before its rename, after
// a link and before the old name goes, after each block of a copy). Those
// points count as operations of their own. BRENMOOR_FAULT "stop:N" kills
// the process at its N-th point, as SIGKILL or a power cut would; "fail:N"
// makes that operation fail with EIO, when it is one that reports failures
// (reported; the points inside an operation are not: there the operation
// goes on); "nospace:N" makes it fail with ENOSPC, a write after writing
// part of its data.
// "fail:" and "nospace:" count only the operations that report failures.
// With BRENMOOR_FAULT_MARK set, the file it names is made when the fault
// is met.
// Returns the error to report, 0 to go on; always 0 in other builds.
int InjectedFault(bool reported = true);

int LastErrorNumber();  // errno
// "28 (No space left on device)": the number and the system's English text.
std::string ErrorText(int errorNumber);
// "No space left on device": the system's English text alone.
std::string ErrorReason(int errorNumber);

// Cuts the file to size bytes. Returns 0 or errno.
int TruncateFile(const std::string& path, std::uint64_t size);

// Seconds since the file was last changed, by the real clock.
bool GetFileAge(const std::string& path, std::int64_t& seconds);

int CurrentProcessId();

// ---- Users ---------------------------------------------------------------------

// The user the program runs as is root (effective ID 0).
bool RunningAsRoot();
// Owner and group of an existing path (a symlink followed; the name in any
// letter case).
bool GetPathOwner(const std::string& path, unsigned& user, unsigned& group);
// The login name of a user ID; the number as text when it has none.
std::string UserName(unsigned user);
// Becomes that user for good: its groups and its own group (the group given
// alone when the user has no entry), then the user. Returns 0 or errno.
int BecomeUser(unsigned user, unsigned group);

bool ProcessExists(int pid);  // a process of that ID runs (ours or another user's)
// errno, and the failed path with it.
void ClearErrorNumber();


// ---- Stop requests -------------------------------------------------------------

// SIGTERM (systemctl stop, a shutdown) asks the run to stop: the current TIC
// or request is finished, locks are released and the summary is given. A
// second signal ends the run at once, as the handler before did. Installed
// by the commands that work through a queue; the commander keeps its own.
void CatchStopRequests();
bool StopRequested();
