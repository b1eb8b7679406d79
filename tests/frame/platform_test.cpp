#include "frame/busyflag.h"
#include "frame/platform.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "frame/exit.h"
#include "frame/utils.h"
#include "testkit.h"

namespace {

using Names = std::vector<std::string>;

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST(MatchDosWildcard, DosRules) {
    const struct {
        std::string name, mask;
        bool matches;
    } cases[] = {
        {"README", "*.*", true},           {"a.b.c", "*.*", true},          {"0001abcd.Tic", "*.TIC", true},
        {"0001abcd.tic.bak", "*.tic", false}, {"tic", "*.tic", false},      {"a1.msg", "a?.MSG", true},
        {"a12.msg", "a?.msg", false},      {"areas", "areas.*", true},      {"aXbYc", "a*b*c", true},
        {"aXbYcd", "a*b*c", false},
        // Names may hold "*" and "?" themselves; in the mask they stay wildcards.
        {"*.zip", "*", true},              {"*x.zip", "*.zip", true},       {"a?.zip", "a?.zip", true},
        {"ab.zip", "a?.zip", true},        {"*", "a*", false},
        {std::string(200, 'a') + "b", std::string(20, '*') + "a*a*a*a*a*c", false},
    };
    for (const auto& c : cases) EXPECT_EQ(MatchDosWildcard(c.name, c.mask), c.matches) << c.name << " ~ " << c.mask;
}

// The run keeps the names of the directories it looks in and the
// directories it made. Each step changes the directory through the program
// or as another program would (the test's own file calls, dated an hour on,
// as a later change of another program is), then the lookups must see the
// directory as it stands.
TEST(DirectoryKnowledge, LookupsSeeEveryChange) {
    namespace fs = std::filesystem;
    ScratchDir scratch;
    const std::string dir = scratch / "in";
    fs::create_directories(dir);
    auto byOther = [&](const std::function<void()>& change) {
        change();
        fs::last_write_time(dir, fs::last_write_time(dir) + std::chrono::hours(1));
    };
    auto found = [&](const std::string& mask) {
        std::string names;
        for (const DirEntry& entry : FindFiles(dir + "/" + mask)) names += entry.name + " ";
        return names;
    };
    const struct {
        const char* what;
        std::function<void()> change;
        const char* tics;     // FindFiles "*.tic"
        const char* bigZip;   // FindFiles "BIG.ZIP"
        bool foundInCase;     // FileExists of "big.zip"
    } steps[] = {
        {"first look", [&] { WriteFileBytes(dir + "/A.TIC", ""); }, "A.TIC ", "", false},
        {"made by another", [&] { byOther([&] { WriteFileBytes(dir + "/BIG.ZIP", "x"); }); }, "A.TIC ", "BIG.ZIP ", true},
        {"own new files", [&] { ASSERT_EQ(CreateNewFile(dir + "/b.tic", ""), 0); }, "A.TIC b.tic ", "BIG.ZIP ", true},
        {"own rename", [&] { ASSERT_EQ(RenameFile(dir + "/big.zip", dir + "/Moved.ZIP"), 0); }, "A.TIC b.tic ", "", false},
        {"own delete", [&] { DeleteFile(dir + "/a.tic"); }, "b.tic ", "", false},
        {"taken away by another", [&] { byOther([&] { fs::remove(dir + "/b.tic"); }); }, "", "", false},
        {"twins by another", [&] { byOther([&] {
             WriteFileBytes(dir + "/big.zip", "");
             WriteFileBytes(dir + "/BIG.zip", "");
         }); }, "", "BIG.zip big.zip ", true},
        {"one twin gone", [&] { DeleteFile(dir + "/BIG.zip"); }, "", "big.zip ", true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        for (int round = 0; round < 2; ++round) {  // the second from what was kept
            EXPECT_EQ(found("*.tic"), step.tics);
            EXPECT_EQ(found("BIG.ZIP"), step.bigZip);
            EXPECT_EQ(FileExists(dir + "/big.zip"), step.foundInCase);
        }
    }
    // A directory made once and taken away meanwhile is made again by the
    // write that needs it.
    const std::string point = scratch / "out/0000ffff.pnt";
    ASSERT_TRUE(ForceDirectories(point));
    fs::remove(point);
    EXPECT_TRUE(ForceDirectories(point));  // known: not tested again
    EXPECT_EQ(AppendToFile(point + "/00000001.flo", "line\n"), 0);
    EXPECT_EQ(ReadFileBytes(point + "/00000001.flo"), "line\n");
}

TEST(CopyFile, KeepsBytesTimeAndMode) {
    ScratchDir dir;
    const std::string bytes = Pattern(8192 * 3 + 17);
    WriteFileBytes(dir / "src.zip", bytes);
    ASSERT_TRUE(SetFileTime(dir / "src.zip", 1000000000));
    chmod((dir / "src.zip").c_str(), 0640);
    WriteFileBytes(dir / "dst.zip", std::string(100000, 'o'));  // longer: must be truncated
    EXPECT_EQ(CopyFile(dir / "SRC.ZIP", dir / "dst.zip"), 0);
    EXPECT_EQ(ReadFileBytes(dir / "dst.zip"), bytes);
    std::time_t modified = 0;
    std::uint64_t size = 0;
    ASSERT_TRUE(GetFileTime(dir / "dst.zip", modified) && GetFileSize(dir / "dst.zip", size));
    EXPECT_EQ(modified, 1000000000);
    EXPECT_EQ(size, bytes.size());
    EXPECT_EQ(ModeOf(dir / "dst.zip"), 0640u);

    // A read-only source gives a read-only copy, still with the whole content.
    chmod((dir / "src.zip").c_str(), 0444);
    EXPECT_EQ(CopyFile(dir / "src.zip", dir / "ro.zip"), 0);
    EXPECT_EQ(ModeOf(dir / "ro.zip"), 0444u);
    EXPECT_EQ(ReadFileBytes(dir / "ro.zip"), bytes);

    // Onto itself, in any letter case, the file stays.
    EXPECT_EQ(CopyFile(dir / "dst.zip", dir / "DST.ZIP"), 0);
    EXPECT_EQ(CopyFile(dir / "dst.zip", dir / "dst.zip"), 0);
    EXPECT_EQ(ReadFileBytes(dir / "dst.zip"), bytes);
}

TEST(CopyFile, FailuresAreReported) {
    ScratchDir dir;
    WriteFileBytes(dir / "src", "data");
    EXPECT_EQ(CopyFile(dir / "missing", dir / "dst"), ENOENT);
    EXPECT_EQ(CopyFile(dir / "src", dir / "no/such/dir/dst"), ENOENT);
    EXPECT_NE(CopyFile(dir.path, dir / "dst"), 0);  // a directory is no source
    EXPECT_FALSE(PathExists(dir / "dst"));
}

TEST(RegularFile, OnlyRegularFilesAreReadAndNothingWaitsOnAFifo) {
    ScratchDir dir;
    WriteFileBytes(dir / "plain.zip", "payload");
    ASSERT_EQ(symlink((dir / "plain.zip").c_str(), (dir / "link.zip").c_str()), 0);
    ASSERT_EQ(mkfifo((dir / "pipe.zip").c_str(), 0600), 0);
    ASSERT_EQ(symlink((dir / "pipe.zip").c_str(), (dir / "pipelink.zip").c_str()), 0);
    ASSERT_EQ(symlink((dir / "gone.zip").c_str(), (dir / "dangling.zip").c_str()), 0);
    ASSERT_EQ(mkdir((dir / "sub").c_str(), 0700), 0);
    const struct {
        std::string name;
        bool followLink;
        FileKind kind;
    } cases[] = {
        {"plain.zip", false, FileKind::Regular},   {"PLAIN.ZIP", false, FileKind::Regular},
        {"link.zip", false, FileKind::SymbolicLink}, {"link.zip", true, FileKind::Regular},
        {"pipe.zip", false, FileKind::Fifo},       {"pipe.zip", true, FileKind::Fifo},
        {"pipelink.zip", false, FileKind::SymbolicLink}, {"pipelink.zip", true, FileKind::Fifo},
        {"dangling.zip", false, FileKind::SymbolicLink}, {"dangling.zip", true, FileKind::Missing},
        {"sub", false, FileKind::Directory},       {"missing.zip", false, FileKind::Missing},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetFileKind(dir / c.name, c.followLink), c.kind) << c.name << " " << c.followLink;
        RegularFile file;
        EXPECT_EQ(file.Open(dir / c.name, c.followLink), c.kind) << c.name << " " << c.followLink;
        EXPECT_EQ(file.IsOpen(), c.kind == FileKind::Regular) << c.name;
        std::string content;
        FileKind kind = FileKind::Unreadable;
        EXPECT_EQ(ReadRegularFile(dir / c.name, c.followLink, content, kind), c.kind == FileKind::Regular) << c.name;
        EXPECT_EQ(kind, c.kind) << c.name;
        if (c.kind != FileKind::Regular) continue;
        EXPECT_EQ(content, "payload") << c.name;
        EXPECT_EQ(file.Identity().size, 7u) << c.name;
        ASSERT_TRUE(file.ReadAll(content));
        EXPECT_EQ(content, "payload") << c.name;
    }
    // The other readers never wait for a writer either.
    std::string content = "old";
    EXPECT_TRUE(ReadWholeFile(dir / "pipe.zip", content));
    EXPECT_EQ(content, "");
    EXPECT_EQ(CopyFile(dir / "pipelink.zip", dir / "copy.zip"), EINVAL);
    EXPECT_FALSE(PathExists(dir / "copy.zip"));
}

TEST(MoveFile, AcrossFileSystemsCopiesThenDeletes) {
    ScratchDir dir;
    std::string other = "/dev/shm/brenmoor-move-XXXXXX";
    if (mkdtemp(other.data()) == nullptr) GTEST_SKIP() << "no /dev/shm";
    struct stat a {}, b {};
    stat(dir.path.c_str(), &a);
    stat(other.c_str(), &b);
    if (a.st_dev == b.st_dev) {
        rmdir(other.c_str());
        GTEST_SKIP() << "/dev/shm is on the same file system";
    }
    const std::string bytes = Pattern(20000), target = other + "/big.rar";
    WriteFileBytes(dir / "big.rar", bytes);
    ASSERT_TRUE(SetFileTime(dir / "big.rar", 1200000000));
    EXPECT_EQ(MoveFile(dir / "big.rar", target), 0);
    EXPECT_EQ(ReadFileBytes(target), bytes);
    EXPECT_FALSE(PathExists(dir / "big.rar"));
    std::time_t modified = 0;
    EXPECT_TRUE(GetFileTime(target, modified));
    EXPECT_EQ(modified, 1200000000);
    // A copy that cannot be made leaves the source in place.
    WriteFileBytes(dir / "keep.rar", bytes);
    EXPECT_NE(MoveFile(dir / "keep.rar", other + "/missing/keep.rar"), 0);
    EXPECT_EQ(ReadFileBytes(dir / "keep.rar"), bytes);
    unlink(target.c_str());
    rmdir(other.c_str());
}

TEST(ReplaceFileSafely, BackupNewContentAndLinkKept) {
    ScratchDir dir;
    WriteFileBytes(dir / "Areas.ctl", "old areas\r\n");
    chmod((dir / "Areas.ctl").c_str(), 0600);
    EXPECT_EQ(ReplaceFileSafely(dir / "areas.ctl", "new areas\r\n", dir / "areas.old"), 0);
    EXPECT_EQ(ReadFileBytes(dir / "Areas.ctl"), "new areas\r\n");
    EXPECT_EQ(ReadFileBytes(dir / "areas.old"), "old areas\r\n");
    EXPECT_EQ(ModeOf(dir / "Areas.ctl"), 0600u);
    // A new file without a backup; no temporary file is left anywhere.
    EXPECT_EQ(ReplaceFileSafely(dir / "links.ctl", "links", ""), 0);
    EXPECT_EQ(ReadFileBytes(dir / "links.ctl"), "links");
    EXPECT_EQ(ListDir(dir.path), (Names{"Areas.ctl", "areas.old", "links.ctl"}));

    // A linked control file keeps its link; the file it names gets the content.
    WriteFileBytes(dir / "real/groups.ctl", "old");
    ASSERT_EQ(symlink((dir / "real/groups.ctl").c_str(), (dir / "groups.ctl").c_str()), 0);
    EXPECT_EQ(ReplaceFileSafely(dir / "groups.ctl", "new", dir / "groups.old"), 0);
    struct stat st {};
    ASSERT_EQ(lstat((dir / "groups.ctl").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFileBytes(dir / "real/groups.ctl"), "new");
    EXPECT_EQ(ReadFileBytes(dir / "groups.old"), "old");
    EXPECT_EQ(ListDir(dir / "real"), Names{"groups.ctl"});
}

TEST(ReplaceFileSafely, FailureLeavesOriginalAndNoTempFile) {
    ScratchDir dir;
    // The path is a directory holding a file: the final rename cannot happen.
    WriteFileBytes(dir / "areas.ctl/inside", "keep");
    EXPECT_NE(ReplaceFileSafely(dir / "areas.ctl", "new", ""), 0);
    EXPECT_EQ(ReadFileBytes(dir / "areas.ctl/inside"), "keep");
    EXPECT_EQ(ListDir(dir.path), Names{"areas.ctl"});
    // The directory of the file does not exist.
    EXPECT_NE(ReplaceFileSafely(dir / "none/areas.ctl", "new", ""), 0);
    EXPECT_FALSE(PathExists(dir / "none"));
    // The backup cannot be written: nothing is replaced.
    WriteFileBytes(dir / "links.ctl", "original");
    EXPECT_NE(ReplaceFileSafely(dir / "links.ctl", "new", dir / "no/links.old"), 0);
    EXPECT_EQ(ReadFileBytes(dir / "links.ctl"), "original");
    EXPECT_EQ(ListDir(dir.path), (Names{"areas.ctl", "links.ctl"}));
}

TEST(TemporaryNames, ShapeOfTheNamesAndWhoseLeftoversGo) {
    const struct {
        const char* name;
        bool temporary;
    } cases[] = {
        {".Report.txt~1234.AbC9xZ", true},    {".2.msg~77.qDEZ56", true},
        {".a b~c.zip~4194304.000000", true},  {"Report.txt~1234.AbC9xZ", false},  // no dot first
        {".Report.txt~1234.AbC9x", false},    {".Report.txt~1234.AbC9xZ7", false},  // five, seven
        {".Report.txt~12a4.AbC9xZ", false},   {".Report.txt~.AbC9xZ", false},
        {".Report.txt.AbC9xZ", false},        {".Report.txt~1234.Ab-9xZ", false},
        {".htaccess", false},                 {".Report.txt~123456789012.AbC9xZ", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsTemporaryName(c.name), c.temporary) << c.name;

    ScratchDir dir;
    const std::string own = std::to_string(CurrentProcessId());
    WriteFileBytes(dir / ".cut.zip~99999999.AbCdEf", "cut");  // its run is gone
    WriteFileBytes(dir / (".live.zip~" + own + ".AbCdEf"), "being written");
    WriteFileBytes(dir / ".sysop notes", "kept");
    WriteFileBytes(dir / "file.zip", "kept");
    RemoveLeftoverTemporaries(dir.path + "/");
    EXPECT_EQ(ListDir(dir.path), (Names{".live.zip~" + own + ".AbCdEf", ".sysop notes", "file.zip"}));
}

TEST(PublishFile, WholeUnderItsNameOrNotAtAll) {
    ScratchDir dir;
    EXPECT_EQ(PublishNewFile(dir / "2.msg", "first"), 0);
    EXPECT_EQ(PublishNewFile(dir / "2.msg", "second"), EEXIST);  // the name is taken: it stays as it was
    EXPECT_EQ(ReadFileBytes(dir / "2.msg"), "first");
    EXPECT_EQ(PublishFile(dir / "2.msg", "replaced"), 0);
    EXPECT_EQ(ReadFileBytes(dir / "2.msg"), "replaced");
    EXPECT_EQ(ModeOf(dir / "2.msg") & 0600u, 0600u);
    EXPECT_NE(PublishNewFile(dir / "no/3.msg", "x"), 0);
    EXPECT_EQ(ListDir(dir.path), Names{"2.msg"});  // no temporary name left

    // A box's copy is made beside the box and renamed into it.
    WriteFileBytes(dir / "src/big.zip", Pattern(9000));
    WriteFileBytes(dir / "boxes/box/old.zip", "x");
    EXPECT_EQ(CopyFile(dir / "src/big.zip", dir / "boxes/box/big.zip", dir / "boxes"), 0);
    EXPECT_EQ(ReadFileBytes(dir / "boxes/box/big.zip"), Pattern(9000));
    EXPECT_EQ(ListDir(dir / "boxes"), Names{"box"});
}

TEST(SplitLines, LineEnds) {
    const struct {
        std::string text;
        Names lines;
    } cases[] = {
        {"a\nb\n", {"a", "b"}},      {"a\r\nb\r\n", {"a", "b"}},   {"a\rb\r", {"a", "b"}},
        {"a\r\n\r\nb", {"a", "", "b"}}, {"a\n\rb", {"a", "", "b"}},  // LF CR is two line ends
        {"last", {"last"}},          {"", {}},                     {"\n", {""}},
        {std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
        {std::string(10000, 'x') + "\r\nnext", {std::string(255, 'x'), "next"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitLines(c.text), c.lines) << c.text.substr(0, 20);
    EXPECT_EQ(SplitLines("abcdef\n", 3), Names{"abc"});
}

TEST(Processes, FindAndRun) {
    ScratchDir dir;
    EXPECT_FALSE(FindProgram("sh").empty());
    EXPECT_EQ(FindProgram("brenmoor-no-such-program"), "");
    EXPECT_EQ(FindProgram(""), "");
    EXPECT_EQ(RunCommand("brenmoor-no-such-program", ""), -1);
    EXPECT_EQ(RunCommand("sh", "-c 'exit 3'"), 3);
    EXPECT_EQ(RunCommand("touch", "'" + (dir / "made by touch") + "'"), 0);
    EXPECT_TRUE(PathExists(dir / "made by touch"));

    // A file that is not executable is not a program.
    WriteFileBytes(dir / "seven", "#!/bin/sh\nexit 7\n");
    EXPECT_EQ(FindProgram(dir / "seven"), "");
    chmod((dir / "seven").c_str(), 0755);
    EXPECT_EQ(FindProgram(dir / "seven"), dir / "seven");
    // Found in the current directory: the shell must not go looking in PATH.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path);
    EXPECT_EQ(FindProgram("seven"), dir / "seven");
    EXPECT_EQ(RunCommand("seven", ""), 7);
    std::filesystem::current_path(before);
}

TEST(AbsolutePath, FromTheCurrentDirectory) {
    ScratchDir dir;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path);
    const std::string cwd = std::filesystem::current_path().string() + "/";
    const struct {
        const char *path, *absolute;
    } cases[] = {{"out/x.tic", "out/x.tic"}, {"./out", "out"}, {".//./a", "a"}, {".", ""}, {"/abs/a", "/abs/a"}};
    for (const auto& c : cases)
        EXPECT_EQ(AbsolutePath(c.path), c.absolute[0] == '/' ? c.absolute : cwd + c.absolute) << c.path;
    std::filesystem::current_path(before);
}

TEST(ProgramDirectory, EnvironmentOrExecutable) {
    const char* saved = getenv("BRENMOOR_DIR");
    std::string keep = saved ? saved : "";
    setenv("BRENMOOR_DIR", "/srv/fido", 1);
    EXPECT_EQ(ProgramDirectory(), "/srv/fido/");
    setenv("BRENMOOR_DIR", "", 1);
    char exe[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    EXPECT_EQ(ExecutableDirectory(), ExtractDir(exe));
    // The test binary's directory holds no BRENMOOR.CTL: an installed binary.
    EXPECT_EQ(ProgramDirectory(), std::string(InstalledProgramDirectory));
    EXPECT_EQ(InstalledDataDirectory(), ExtractDir(exe) + "../share/brenmoor/");
    if (saved) setenv("BRENMOOR_DIR", keep.c_str(), 1);
    else unsetenv("BRENMOOR_DIR");
}

TEST(ParseMountTable, FieldsAndEscapes) {
    std::vector<MountPoint> mounts = ParseMountTable(
        "/dev/sda1 / ext4 rw,relatime 0 0\n"
        "tmpfs /dev/shm tmpfs rw 0 0\r\n"
        "/dev/sdb1 /media/usb\\040stick vfat rw 0 0\n"
        "server:/x /mnt/a\\134b\\011c nfs4 rw 0 0\n"
        "broken-line-without-fields\n"
        "none relative ext4 rw 0 0\n"
        "\n"
        "/dev/sdc1 /mnt/odd\\04 ext4 rw 0 0\n");
    ASSERT_EQ(mounts.size(), 5u);
    EXPECT_EQ(mounts[0].path, "/");
    EXPECT_EQ(mounts[0].type, "ext4");
    EXPECT_EQ(mounts[1].path, "/dev/shm");
    EXPECT_EQ(mounts[1].type, "tmpfs");
    EXPECT_EQ(mounts[2].path, "/media/usb stick");
    EXPECT_EQ(mounts[3].path, "/mnt/a\\b\tc");
    EXPECT_EQ(mounts[4].path, "/mnt/odd\\04");  // a cut escape stays as it is
    EXPECT_TRUE(ParseMountTable("").empty());
    EXPECT_TRUE(ParseMountTable(std::string("\0\xFF\n", 3)).empty());
}

TEST(RemoveStaleLock, JudgedUnderAReservedNameAndGivenBackWhenLive) {
    ScratchDir dir;
    auto deadWhenSaid = [](const std::string& path) { return ReadFileBytes(path) == "dead\n"; };
    // Live: it stands as it was, under its own name, and no other name is left.
    WriteFileBytes(dir / "x.bsy", "1\n");
    EXPECT_EQ(RemoveStaleLock(dir / "x.bsy", deadWhenSaid), StaleLock::Live);
    EXPECT_EQ(ListDir(dir.path), (Names{"x.bsy"}));
    EXPECT_EQ(ReadFileBytes(dir / "x.bsy"), "1\n");
    // Stale: gone, with nothing beside it.
    WriteFileBytes(dir / "x.bsy", "dead\n");
    EXPECT_EQ(RemoveStaleLock(dir / "x.bsy", deadWhenSaid), StaleLock::Removed);
    EXPECT_TRUE(ListDir(dir.path).empty());
    // Judged stale, then live when taken (a run made it anew meanwhile).
    int asked = 0;
    WriteFileBytes(dir / "x.bsy", "2\n");
    EXPECT_EQ(RemoveStaleLock(dir / "x.bsy", [&asked](const std::string&) { return ++asked == 1; }), StaleLock::Live);
    EXPECT_EQ(ListDir(dir.path), (Names{"x.bsy"}));
    // Taken away by another run first.
    EXPECT_EQ(RemoveStaleLock(dir / "z.bsy", [](const std::string&) { return true; }), StaleLock::Gone);
    EXPECT_EQ(ListDir(dir.path), (Names{"x.bsy"}));
    // A lock is made whole, and only while its name is free.
    EXPECT_EQ(PublishNewFile(dir / "x.bsy", "3\n"), EEXIST);
    EXPECT_EQ(ReadFileBytes(dir / "x.bsy"), "2\n");
    EXPECT_EQ(ListDir(dir.path), (Names{"x.bsy"}));
}

TEST(ReadProcessInfo, ThisProcessAZombieAndNone) {
    const ProcessInfo self = ReadProcessInfo(getpid());
    EXPECT_TRUE(self.exists && self.readable && self.programKnown && self.sameProgram);
    EXPECT_FALSE(self.zombie);
    EXPECT_FALSE(self.name.empty());
    const std::time_t now = std::time(nullptr);
    EXPECT_LE(self.started, now + 2);
    EXPECT_GT(self.started, now - 3600);

    EXPECT_FALSE(ReadProcessInfo(999999999).exists);

    // A child that has ended and is not waited for yet.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(0);
    ProcessInfo ended;
    for (int i = 0; i < 200 && !ended.zombie; ++i) {
        ended = ReadProcessInfo(child);
        if (!ended.zombie) usleep(10000);
    }
    EXPECT_TRUE(ended.exists && ended.zombie);
    EXPECT_FALSE(ended.sameProgram);
    waitpid(child, nullptr, 0);
    EXPECT_FALSE(ReadProcessInfo(child).exists);
}

// A copy of this program holds the flag (a child that runs on); the clock
// then jumps a day ahead of when the flag was written. Its start, noted in
// the flag, still names it; another start in the flag is a process that got
// the ID anew.
TEST(IsStaleBusyFlag, JudgedByTheStartOfItsProcessNotByTheClock) {
    ScratchDir dir;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        pause();
        _exit(0);
    }
    const ProcessInfo running = ReadProcessInfo(child);
    ASSERT_TRUE(running.readable && running.startTicks > 0);
    const std::time_t dayAgo = std::time(nullptr) - 86400;
    struct Case {
        std::string content;
        bool stale;
    } cases[] = {
        {std::to_string(child) + "\n" + std::to_string(running.startTicks) + "\n", false},
        {std::to_string(child) + "\n" + std::to_string(running.startTicks + 1) + "\n", true},
        {std::to_string(child) + "\n", true},  // without its start: judged by the clock
    };
    for (const Case& c : cases) {
        WriteFileBytes(dir / "BRENMOOR.BSY", c.content);
        ASSERT_TRUE(SetFileTime(dir / "BRENMOOR.BSY", dayAgo));
        EXPECT_EQ(IsStaleBusyFlag(FrameRunState{}, dir / "BRENMOOR.BSY"), c.stale) << c.content;
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

}  // namespace
