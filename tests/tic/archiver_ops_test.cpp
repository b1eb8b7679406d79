// Recognising archives and taking file_id.diz out of them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "frame/platform.h"
#include "testkit.h"
#include "tic/archivers.h"

namespace {

using Lines = std::vector<std::string>;

ArchiverRecord Archiver(const std::string& name, const std::string& signature, std::int32_t offset,
                        const std::string& extract = "") {
    ArchiverRecord archiver;
    archiver.Name = name;
    archiver.Signature = signature;
    archiver.Offset = offset;
    archiver.ExtractFile = extract;
    return archiver;
}

TEST(ArchiverSignature, FirstMatchingArchiverWins) {
    ScratchDir dir;
    const std::vector<ArchiverRecord> archivers = {Archiver("ARJ", "60EA", 0), Archiver("ZIP", "504B0304", 0),
                                                   Archiver("LZH", "2D6C68", 2), Archiver("NUL", "00FF", 0)};
    const struct {
        std::string content;
        const char* kind;
    } cases[] = {
        {std::string("PK\x03\x04", 4) + "rest of archive", "ZIP"},
        {"xx-lh5-rest", "LZH"},
        {"PK", "ZIP"},  // compared over the bytes it has
        {"Hello", ""},
        {"", ""},
        {std::string("\0\x11", 2), "NUL"},  // compared up to the common zero byte
    };
    for (const auto& c : cases) {
        WriteFileBytes(dir / "f", c.content);
        EXPECT_EQ(FindArchiver(dir / "f", archivers).Name, c.kind) << testing::PrintToString(c.content);
    }
    EXPECT_EQ(FindArchiver(dir / "missing", archivers).Name, "");
    EXPECT_EQ(FindArchiver(dir / "f", {}).Name, "");
    WriteFileBytes(dir / "f", "PK");
    EXPECT_EQ(FindArchiver(dir / "f", {Archiver("FAR", "504B", 1000)}).Name, "");
}

TEST(ArchiverCommand, MacrosAreReplacedOnceAndValuesQuotedForTheShell) {
    ArchiverRecord archiver = Archiver("ZIP", "504B0304", 0, "unzip -o %a %F -d %T %A");
    EXPECT_EQ(ExtractCommandLine(archiver, "/in/x.zip", "/tmp/t/"), "unzip -o /in/x.zip file_id.diz -d /tmp/t/ %A");
    // Text of a path is never taken for a macro.
    EXPECT_EQ(ExtractCommandLine(archiver, "/in/x%Ty.zip", "/tmp/%A/"),
              "unzip -o /in/x%Ty.zip file_id.diz -d /tmp/%A/ %A");
    EXPECT_EQ(ExtractCommandLine(archiver, "/in/my file;rm x.zip", "/tmp/t/"),
              "unzip -o '/in/my file;rm x.zip' file_id.diz -d /tmp/t/ %A");
    EXPECT_EQ(ExtractCommandLine(archiver, "/in/it's.zip", "/tmp/t/"),
              "unzip -o '/in/it'\\''s.zip' file_id.diz -d /tmp/t/ %A");
    // No %F: the command is run as it stands.
    EXPECT_EQ(ExtractCommandLine(Archiver("X", "", 0, "tool %A"), "/a", "/t/"), "tool /a");
}

TEST(ArchiverExtract, RealArchivesWithTheSampleArcCtl) {
    ASSERT_FALSE(FindProgram("zip").empty());
    ASSERT_FALSE(FindProgram("unzip").empty());
    const std::vector<ArchiverRecord> archivers = ReadArchivers(SourceDir() + "examples/node/arc.ctl");
    const struct {
        const char *tool, *diz, *dizText, *pack, *archive, *kind;
        Lines lines;
    } cases[] = {
        {"zip", "file_id.diz", "Brenmoor test archive\r\n  the second line\r\n", "zip -q a.zip file_id.diz x.exe",
         "a.zip", "ZIP", {"Brenmoor test archive", "  the second line"}},
        // Upper-case FILE_ID.DIZ with an end-of-file mark, in an archive named with a blank.
        {"zip", "FILE_ID.DIZ", "Upper case diz\x1A", "zip -q 'my arc.zip' FILE_ID.DIZ", "my arc.zip", "ZIP",
         {"Upper case diz"}},
        // No description: nothing, and an old one left in the temporary directory is not reused.
        {"zip", "", "", "zip -q nodiz.zip x.exe", "nodiz.zip", "ZIP", {}},
        {"7z", "FILE_ID.DIZ", "Sample tool v1.0\r\n", "7z a -bd a.7z FILE_ID.DIZ x.exe", "a.7z", "7Z",
         {"Sample tool v1.0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive);
        if (FindProgram(c.tool).empty()) continue;  // 7z is optional for a node
        ScratchDir dir;
        MakeDirs(dir / "temp");
        WriteFileBytes(dir / "temp/file_id.diz", "stale");
        WriteFileBytes(dir / "x.exe", "MZ program");
        if (*c.diz) WriteFileBytes(dir / c.diz, c.dizText);
        ASSERT_EQ(std::system(("cd '" + dir.path + "' && " + c.pack + " >/dev/null 2>&1").c_str()), 0);
        ArchiverRecord archiver = FindArchiver(dir / c.archive, archivers);
        ASSERT_EQ(archiver.Name, c.kind);
        EXPECT_EQ(ExtractDescription(archiver, dir / c.archive, dir / "temp/"), c.lines);
        EXPECT_TRUE(ListDir(dir / "temp").empty());
    }
}

TEST(ArchiverExtract, ProgramNotOnPathIsNotRun) {
    ScratchDir dir;
    MakeDirs(dir / "temp");
    WriteFileBytes(dir / "temp/file_id.diz", "stale");
    ArchiverRecord missing = Archiver("X", "504B", 0, "brenmoor-no-such-archiver -x %A %F %T");
    EXPECT_TRUE(ExtractDescription(missing, dir / "a.zip", dir / "temp/").empty());
    EXPECT_TRUE(ListDir(dir / "temp").empty());
    EXPECT_TRUE(ExtractDescription(Archiver("E", "", 0, ""), dir / "a.zip", dir / "temp/").empty());
}

TEST(ArchiverExtract, ArchiveNameCannotBecomeACommand) {
    ScratchDir dir;
    MakeDirs(dir / "temp");
    std::string tool = dir / "fakearc";
    WriteFileBytes(tool, "#!/bin/sh\ncp \"$1\" \"$2file_id.diz\"\n");
    std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
    std::string archive = dir / "x;touch PWNED;$(touch PWNED2) `touch PWNED3`.zip";
    WriteFileBytes(archive, "Description from a strange name\n");
    CurrentDirectory here(dir.path);  // whatever an injected command makes lands here
    EXPECT_EQ(ExtractDescription(Archiver("FAKE", "44", 0, tool + " %A %T"), archive, dir / "temp/"),
              Lines{"Description from a strange name"});
    for (const char* made : {"PWNED", "PWNED2", "PWNED3"}) EXPECT_FALSE(PathExists(dir / made)) << made;
}

}  // namespace
