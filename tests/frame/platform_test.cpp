#include "frame/busyflag.h"
#include "frame/platform.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

TEST(TemporaryNames, Shape) {
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

}  // namespace
