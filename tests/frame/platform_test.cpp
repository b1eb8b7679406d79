#include "frame/platform.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "frame/exit.h"
#include "frame/utils.h"
#include "testkit.h"

namespace {

std::vector<std::string> Names(const std::vector<DirEntry>& entries) {
    std::vector<std::string> names;
    for (const DirEntry& e : entries) names.push_back(e.name);
    return names;
}

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

// Names in dir that are not in the expected set: leftovers such as temp files.
std::vector<std::string> Leftovers(const std::string& dir, const std::vector<std::string>& expected) {
    std::vector<std::string> extra;
    for (const std::string& name : ListDir(dir)) {
        bool known = false;
        for (const std::string& e : expected) known = known || e == name;
        if (!known) extra.push_back(name);
    }
    return extra;
}

TEST(MatchDosWildcard, DosRules) {
    EXPECT_TRUE(MatchDosWildcard("README", "*.*"));
    EXPECT_TRUE(MatchDosWildcard("a.b.c", "*.*"));
    EXPECT_TRUE(MatchDosWildcard("0001ABCD.TIC", "*.tic"));
    EXPECT_TRUE(MatchDosWildcard("0001abcd.Tic", "*.TIC"));
    EXPECT_FALSE(MatchDosWildcard("0001abcd.tic.bak", "*.tic"));
    EXPECT_FALSE(MatchDosWildcard("tic", "*.tic"));
    EXPECT_TRUE(MatchDosWildcard("a1.msg", "a?.MSG"));
    EXPECT_FALSE(MatchDosWildcard("a12.msg", "a?.msg"));
    EXPECT_TRUE(MatchDosWildcard("areas", "areas.*"));
    EXPECT_TRUE(MatchDosWildcard("aXbYc", "a*b*c"));
    EXPECT_FALSE(MatchDosWildcard("aXbYcd", "a*b*c"));
    EXPECT_FALSE(MatchDosWildcard(std::string(200, 'a') + "b", std::string(20, '*') + "a*a*a*a*a*c"));
}

TEST(FindFiles, MaskInAnyCaseSortedByBytes) {
    ScratchDir dir;
    for (const char* name : {"b.TIC", "A.tic", "c.Tic", "d.txt", "e.tic.bak", ".h.tic"}) WriteFileBytes(dir / name, "x");
    MakeDirs(dir / "sub.tic");

    EXPECT_EQ(Names(FindFiles(dir / "*.tic")), (std::vector<std::string>{".h.tic", "A.tic", "b.TIC", "c.Tic"}));
    EXPECT_EQ(Names(FindFiles(dir / "*.TIC", SearchKind::DirectoriesOnly)), (std::vector<std::string>{"sub.tic"}));
    EXPECT_EQ(FindFiles(dir / "*.*", SearchKind::Any).size(), 7u);
    EXPECT_TRUE(FindFiles(dir / "nothere/*.*").empty());
    EXPECT_TRUE(FindFiles(dir.path).empty());

    std::vector<DirEntry> found = FindFiles(dir / "*.tic");
    EXPECT_TRUE(found[0].isHidden);
    EXPECT_FALSE(found[1].isHidden);
    EXPECT_EQ(found[1].size, 1u);
}

TEST(FindFiles, FlagsAndRelativeMask) {
    ScratchDir dir;
    WriteFileBytes(dir / "ro.dat", "12345");
    chmod((dir / "ro.dat").c_str(), 0444);
    std::vector<DirEntry> found = FindFiles(dir / "RO.DAT");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0].isReadOnly);
    EXPECT_EQ(found[0].size, 5u);
    EXPECT_TRUE(IsReadOnlyFile(dir / "ro.dat"));
    SetArchiveOnly(dir / "ro.dat");
    EXPECT_FALSE(IsReadOnlyFile(dir / "ro.dat"));

    char* old = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    EXPECT_EQ(Names(FindFiles("*.DAT")), (std::vector<std::string>{"ro.dat"}));
    EXPECT_EQ(AbsolutePath("x/y/"), dir.path + "x/y/");
    EXPECT_EQ(AbsolutePath("./f.tic"), dir.path + "f.tic");
    ASSERT_EQ(chdir(old), 0);
    free(old);
    EXPECT_EQ(AbsolutePath("/abs/path"), "/abs/path");
}

TEST(ResolvePath, LastComponentInAnyCase) {
    ScratchDir dir;
    WriteFileBytes(dir / "Areas.Ctl", "one");
    WriteFileBytes(dir / "LINKS.CTL", "two");
    WriteFileBytes(dir / "links.ctl", "three");

    EXPECT_EQ(ResolvePath(dir / "Areas.Ctl"), dir / "Areas.Ctl");
    EXPECT_EQ(ResolvePath(dir / "areas.ctl"), dir / "Areas.Ctl");
    EXPECT_EQ(ResolvePath(dir / "Links.ctl"), dir / "LINKS.CTL");  // first in byte order
    EXPECT_EQ(ResolvePath(dir / "new.ctl"), dir / "new.ctl");
    EXPECT_EQ(ResolvePath(dir / "NoDir/areas.ctl"), dir / "NoDir/areas.ctl");
    EXPECT_EQ(ResolvePath(""), "");

    EXPECT_TRUE(FileExists(dir / "AREAS.CTL"));
    EXPECT_TRUE(FileExists(dir.path));  // a directory counts
    EXPECT_FALSE(FileExists(dir / "areas.old"));
    EXPECT_FALSE(FileExists(""));
    EXPECT_TRUE(IsRegularFile(dir / "areas.ctl"));
    EXPECT_FALSE(IsRegularFile(dir.path));

    std::string content;
    ASSERT_TRUE(ReadWholeFile(dir / "AREAS.ctl", content));
    EXPECT_EQ(content, "one");
    EXPECT_FALSE(ReadWholeFile(dir / "missing", content));

    // Appending to an existing file of another case goes to that file.
    EXPECT_EQ(AppendToFile(dir / "areas.CTL", "+"), 0);
    EXPECT_EQ(ReadFileBytes(dir / "Areas.Ctl"), "one+");

    DeleteFile(dir / "AREAS.CTL");
    EXPECT_FALSE(PathExists(dir / "Areas.Ctl"));
    DeleteFile("");
    DeleteFile(dir / "missing");
}

TEST(Directories, ExistsAndForce) {
    ScratchDir dir;
    EXPECT_TRUE(DirectoryExists(dir.path));
    EXPECT_TRUE(DirectoryExists(dir.path.substr(0, dir.path.size() - 1)));
    EXPECT_FALSE(DirectoryExists(dir / "none"));

    EXPECT_TRUE(ForceDirectories(dir / "a/b/c/"));
    EXPECT_TRUE(DirectoryExists(dir / "a/b/c"));
    EXPECT_TRUE(ForceDirectories(dir / "a/b/d"));
    EXPECT_TRUE(DirectoryExists(dir / "a/b/d/"));

    WriteFileBytes(dir / "file", "x");
    EXPECT_FALSE(DirectoryExists(dir / "file"));
    EXPECT_FALSE(ForceDirectories(dir / "file/sub"));
    EXPECT_FALSE(ForceDirectories(""));

    WriteFileBytes(dir / "a/1.tmp", "x");
    WriteFileBytes(dir / "a/2.TMP", "x");
    WriteFileBytes(dir / "a/3.keep", "x");
    DeleteFiles(dir / "a/*.tmp");
    EXPECT_EQ(ListDir(dir / "a"), (std::vector<std::string>{"3.keep", "b"}));
}

TEST(CopyFile, KeepsBytesTimeAndMode) {
    ScratchDir dir;
    const std::string bytes = Pattern(8192 * 3 + 17);
    WriteFileBytes(dir / "src.zip", bytes);
    ASSERT_TRUE(SetFileTime(dir / "src.zip", 1000000000));
    chmod((dir / "src.zip").c_str(), 0640);
    WriteFileBytes(dir / "dst.zip", std::string(100000, 'o'));  // longer: must be truncated

    CopyFile(dir / "SRC.ZIP", dir / "dst.zip");
    EXPECT_EQ(ReadFileBytes(dir / "dst.zip"), bytes);
    std::time_t modified = 0;
    ASSERT_TRUE(GetFileTime(dir / "dst.zip", modified));
    EXPECT_EQ(modified, 1000000000);
    EXPECT_EQ(ModeOf(dir / "dst.zip"), 0640u);
    std::uint64_t size = 0;
    ASSERT_TRUE(GetFileSize(dir / "dst.zip", size));
    EXPECT_EQ(size, bytes.size());

    // A read-only source gives a read-only copy, still with the whole content.
    chmod((dir / "src.zip").c_str(), 0444);
    CopyFile(dir / "src.zip", dir / "ro.zip");
    EXPECT_EQ(ModeOf(dir / "ro.zip"), 0444u);
    EXPECT_EQ(ReadFileBytes(dir / "ro.zip"), bytes);

    WriteFileBytes(dir / "empty", "");
    CopyFile(dir / "empty", dir / "empty2");
    EXPECT_EQ(ReadFileBytes(dir / "empty2"), "");
}

TEST(CopyFile, OntoItselfKeepsTheFile) {
    ScratchDir dir;
    WriteFileBytes(dir / "same.zip", "payload");
    CopyFile(dir / "same.zip", dir / "SAME.ZIP");
    EXPECT_EQ(ReadFileBytes(dir / "same.zip"), "payload");
    EXPECT_EQ(TryCopyFile(dir / "same.zip", dir / "same.zip"), 0);
    EXPECT_EQ(ReadFileBytes(dir / "same.zip"), "payload");
}

TEST(CopyFile, FailuresEndTheRunWithTwo) {
    ScratchDir dir;
    WriteFileBytes(dir / "src", "data");
    try {
        CopyFile(dir / "missing", dir / "dst");
        ADD_FAILURE() << "no exit for a missing source";
    } catch (const ProgramExit& e) {
        EXPECT_EQ(e.code, 2);
    }
    try {
        CopyFile(dir / "src", dir / "no/such/dir/dst");
        ADD_FAILURE() << "no exit for a target that cannot be created";
    } catch (const ProgramExit& e) {
        EXPECT_EQ(e.code, 2);
    }
    EXPECT_FALSE(PathExists(dir / "dst"));

    EXPECT_NE(TryCopyFile(dir / "missing", dir / "dst"), 0);
    EXPECT_NE(TryCopyFile(dir.path, dir / "dst"), 0);  // a directory is no source
    EXPECT_FALSE(PathExists(dir / "dst"));
}

TEST(MoveFile, SameFileSystemAndFailure) {
    ScratchDir dir;
    WriteFileBytes(dir / "In.Zip", "zip");
    EXPECT_EQ(MoveFile(dir / "in.zip", dir / "moved.zip"), 0);
    EXPECT_EQ(ReadFileBytes(dir / "moved.zip"), "zip");
    EXPECT_FALSE(PathExists(dir / "In.Zip"));

    EXPECT_NE(MoveFile(dir / "moved.zip", dir / "no/dir/x.zip"), 0);
    EXPECT_EQ(ReadFileBytes(dir / "moved.zip"), "zip");
    EXPECT_NE(MoveFile(dir / "missing", dir / "x"), 0);

    EXPECT_EQ(RenameFile(dir / "MOVED.ZIP", dir / "r.zip"), 0);
    EXPECT_TRUE(PathExists(dir / "r.zip"));
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
    const std::string bytes = Pattern(20000);
    WriteFileBytes(dir / "big.rar", bytes);
    ASSERT_TRUE(SetFileTime(dir / "big.rar", 1200000000));
    std::string target = other + "/big.rar";
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

TEST(ReplaceFileSafely, BackupAndNewContent) {
    ScratchDir dir;
    WriteFileBytes(dir / "Areas.ctl", "old areas\r\n");
    chmod((dir / "Areas.ctl").c_str(), 0600);
    EXPECT_EQ(ReplaceFileSafely(dir / "areas.ctl", "new areas\r\n", dir / "areas.old"), 0);
    EXPECT_EQ(ReadFileBytes(dir / "Areas.ctl"), "new areas\r\n");
    EXPECT_EQ(ReadFileBytes(dir / "areas.old"), "old areas\r\n");
    EXPECT_EQ(ModeOf(dir / "Areas.ctl"), 0600u);
    EXPECT_EQ(ListDir(dir.path), (std::vector<std::string>{"Areas.ctl", "areas.old"}));

    // A new file without a backup.
    EXPECT_EQ(ReplaceFileSafely(dir / "links.ctl", "links", ""), 0);
    EXPECT_EQ(ReadFileBytes(dir / "links.ctl"), "links");
    EXPECT_EQ(Leftovers(dir.path, {"Areas.ctl", "areas.old", "links.ctl"}), std::vector<std::string>{});
}

TEST(ReplaceFileSafely, LinkedControlFileKeepsItsLink) {
    ScratchDir dir;
    WriteFileBytes(dir / "real/areas.ctl", "old");
    MakeDirs(dir / "node");
    ASSERT_EQ(symlink((dir / "real/areas.ctl").c_str(), (dir / "node/areas.ctl").c_str()), 0);
    EXPECT_EQ(ReplaceFileSafely(dir / "node/areas.ctl", "new", dir / "node/areas.old"), 0);
    struct stat st {};
    ASSERT_EQ(lstat((dir / "node/areas.ctl").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFileBytes(dir / "real/areas.ctl"), "new");
    EXPECT_EQ(ReadFileBytes(dir / "node/areas.old"), "old");
    EXPECT_EQ(ListDir(dir / "real"), std::vector<std::string>{"areas.ctl"});
}

TEST(ReplaceFileSafely, FailureLeavesOriginalAndNoTempFile) {
    ScratchDir dir;
    // The path is a directory holding a file: the final rename cannot happen.
    WriteFileBytes(dir / "areas.ctl/inside", "keep");
    EXPECT_NE(ReplaceFileSafely(dir / "areas.ctl", "new", ""), 0);
    EXPECT_EQ(ReadFileBytes(dir / "areas.ctl/inside"), "keep");
    EXPECT_EQ(ListDir(dir.path), (std::vector<std::string>{"areas.ctl"}));

    // The directory of the file does not exist.
    EXPECT_NE(ReplaceFileSafely(dir / "none/areas.ctl", "new", ""), 0);
    EXPECT_FALSE(PathExists(dir / "none"));

    // The backup cannot be written: nothing is replaced.
    WriteFileBytes(dir / "links.ctl", "original");
    EXPECT_NE(ReplaceFileSafely(dir / "links.ctl", "new", dir / "no/links.old"), 0);
    EXPECT_EQ(ReadFileBytes(dir / "links.ctl"), "original");
    EXPECT_EQ(ListDir(dir.path), (std::vector<std::string>{"areas.ctl", "links.ctl"}));
}

TEST(WholeFiles, WriteAndAppend) {
    ScratchDir dir;
    EXPECT_EQ(WriteWholeFile(dir / "f", "long content"), 0);
    EXPECT_EQ(WriteWholeFile(dir / "f", "short"), 0);
    EXPECT_EQ(ReadFileBytes(dir / "f"), "short");
    EXPECT_EQ(AppendToFile(dir / "log", "a\r\n"), 0);
    EXPECT_EQ(AppendToFile(dir / "log", "b\r\n"), 0);
    EXPECT_EQ(ReadFileBytes(dir / "log"), "a\r\nb\r\n");
    EXPECT_NE(WriteWholeFile(dir / "no/f", "x"), 0);
    EXPECT_NE(AppendToFile(dir / "no/f", "x"), 0);

    WriteFileBytes(dir / "Lines.txt", "one\r\ntwo\rthree\nfour");
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadTextLines(dir / "lines.TXT", lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "three", "four"}));
    EXPECT_FALSE(ReadTextLines(dir / "missing", lines));
    EXPECT_TRUE(lines.empty());
}

TEST(SplitLines, LineEnds) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(SplitLines("a\nb\n"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitLines("a\r\nb\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitLines("a\rb\r"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitLines("a\r\n\r\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitLines("a\n\rb"), (Lines{"a", "", "b"}));  // LF CR is two line ends
    EXPECT_EQ(SplitLines("last"), (Lines{"last"}));
    EXPECT_EQ(SplitLines("x\r"), (Lines{"x"}));
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines("\n"), (Lines{""}));
    EXPECT_EQ(SplitLines(std::string("a\0b\n", 4)), (Lines{std::string("a\0b", 3)}));

    std::string longLine(10000, 'x');
    Lines cut = SplitLines(longLine + "\r\nnext");
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[0], std::string(255, 'x'));
    EXPECT_EQ(cut[1], "next");
    EXPECT_EQ(SplitLines("abcdef\n", 3), (Lines{"abc"}));
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
    WriteFileBytes(dir / "script", "#!/bin/sh\nexit 0\n");
    EXPECT_EQ(FindProgram(dir / "script"), "");
    chmod((dir / "script").c_str(), 0755);
    EXPECT_EQ(FindProgram(dir / "script"), dir / "script");
    EXPECT_EQ(RunCommand(dir / "script", ""), 0);

    // Found in the current directory: the shell must not go looking in PATH.
    WriteFileBytes(dir / "seven", "#!/bin/sh\nexit 7\n");
    chmod((dir / "seven").c_str(), 0755);
    char* old = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    EXPECT_EQ(FindProgram("seven"), dir / "seven");
    EXPECT_EQ(RunCommand("seven", ""), 7);
    ASSERT_EQ(chdir(old), 0);
    free(old);
}

TEST(ProgramDirectory, EnvironmentOrExecutable) {
    const char* saved = getenv("BRENMOOR_DIR");
    std::string keep = saved ? saved : "";
    setenv("BRENMOOR_DIR", "/srv/fido", 1);
    EXPECT_EQ(ProgramDirectory(), "/srv/fido/");
    setenv("BRENMOOR_DIR", "", 1);
    std::string own = ProgramDirectory();
    char exe[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    EXPECT_EQ(own, ExtractDir(exe));
    EXPECT_EQ(own.back(), '/');
    if (saved) setenv("BRENMOOR_DIR", keep.c_str(), 1);
    else unsetenv("BRENMOOR_DIR");
}

TEST(Random, SeededNumbersStayInRange) {
    SeedRandom();
    bool different = false;
    std::uint32_t first = RandomNumber(1000000);
    for (int i = 0; i < 20; ++i) {
        std::uint32_t n = RandomNumber(1000000);
        EXPECT_LT(n, 1000000u);
        different = different || n != first;
    }
    EXPECT_TRUE(different);
    EXPECT_EQ(RandomNumber(0), 0u);
}

}  // namespace
