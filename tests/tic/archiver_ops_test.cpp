// Recognising archives and taking file_id.diz out of them.
#include <gtest/gtest.h>

#include <filesystem>

#include "frame/platform.h"
#include "testkit.h"
#include "tic/archivers.h"

namespace {

ArchiverRecord Archiver(const std::string& name, const std::string& signature, std::int32_t offset,
                        const std::string& extract = "") {
    ArchiverRecord archiver;
    archiver.Name = name;
    archiver.Signature = signature;
    archiver.Offset = offset;
    archiver.ExtractFile = extract;
    return archiver;
}

std::vector<ArchiverRecord> SampleArchivers() {
    return {Archiver("ARJ", "60EA", 0), Archiver("ZIP", "504B0304", 0), Archiver("LZH", "2D6C68", 2),
            Archiver("NUL", "00FF", 0)};
}

}  // namespace

TEST(ArchiverSignature, FirstMatchingArchiverWins) {
    ScratchDir dir;
    WriteFileBytes(dir / "a.zip", std::string("PK\x03\x04", 4) + "rest of archive");
    WriteFileBytes(dir / "a.lzh", "xx-lh5-rest");
    WriteFileBytes(dir / "short", "PK");
    WriteFileBytes(dir / "text", "Hello");
    WriteFileBytes(dir / "empty", "");
    WriteFileBytes(dir / "zero", std::string("\0\x11", 2));
    auto archivers = SampleArchivers();
    EXPECT_EQ(FindArchiver(dir / "a.zip", archivers).Name, "ZIP");
    EXPECT_EQ(FindArchiver(dir / "a.lzh", archivers).Name, "LZH");
    EXPECT_EQ(FindArchiver(dir / "short", archivers).Name, "ZIP");  // compared over the bytes it has
    EXPECT_EQ(FindArchiver(dir / "text", archivers).Name, "");
    EXPECT_EQ(FindArchiver(dir / "empty", archivers).Name, "");
    EXPECT_EQ(FindArchiver(dir / "missing", archivers).Name, "");
    EXPECT_EQ(FindArchiver(dir / "zero", archivers).Name, "NUL");  // compared up to the common zero byte
    EXPECT_EQ(FindArchiver(dir / "a.zip", {}).Name, "");
    EXPECT_EQ(FindArchiver(dir / "a.zip", {Archiver("FAR", "504B", 1000)}).Name, "");
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

TEST(ArchiverExtract, RealZipWithTheSampleArcCtl) {
    ASSERT_FALSE(FindProgram("zip").empty());
    ASSERT_FALSE(FindProgram("unzip").empty());
    ScratchDir dir;
    MakeDirs(dir / "src");
    MakeDirs(dir / "temp");
    WriteFileBytes(dir / "src/file_id.diz", "Brenmoor test archive\r\nSecond line of the diz\r\n");
    WriteFileBytes(dir / "src/PROGRAM.EXE", "MZ program");
    ASSERT_EQ(RunCommand("zip", "-q -j " + dir.path + "test.zip " + dir.path + "src/file_id.diz " + dir.path +
                                    "src/PROGRAM.EXE"),
              0);

    std::vector<ArchiverRecord> archivers = ReadArchivers(SourceDir() + "examples/node/arc.ctl");
    ArchiverRecord zip = FindArchiver(dir / "test.zip", archivers);
    ASSERT_EQ(zip.Name, "ZIP");
    EXPECT_EQ(ExtractDescription(zip, dir / "test.zip", dir.path + "temp/"),
              (std::vector<std::string>{"Brenmoor test archive", "Second line of the diz"}));
    EXPECT_TRUE(ListDir(dir / "temp").empty());

    // An archive holding FILE_ID.DIZ in upper case, named with a blank.
    WriteFileBytes(dir / "src/FILE_ID.DIZ", "Upper case diz\x1A");
    ASSERT_EQ(RunCommand("zip", "-q -j '" + dir.path + "my arc.zip' " + dir.path + "src/FILE_ID.DIZ"), 0);
    EXPECT_EQ(ExtractDescription(zip, dir / "my arc.zip", dir.path + "temp/"),
              std::vector<std::string>{"Upper case diz"});
    EXPECT_TRUE(ListDir(dir / "temp").empty());

    // An archive without a description gives nothing, and an old one is not reused.
    WriteFileBytes(dir / "temp/file_id.diz", "stale");
    ASSERT_EQ(RunCommand("zip", "-q -j " + dir.path + "nodiz.zip " + dir.path + "src/PROGRAM.EXE"), 0);
    EXPECT_TRUE(ExtractDescription(zip, dir / "nodiz.zip", dir.path + "temp/").empty());
    EXPECT_TRUE(ListDir(dir / "temp").empty());
}

TEST(ArchiverExtract, ProgramNotOnPathIsNotRun) {
    ScratchDir dir;
    MakeDirs(dir / "temp");
    WriteFileBytes(dir / "temp/file_id.diz", "stale");
    ArchiverRecord missing = Archiver("X", "504B", 0, "brenmoor-no-such-archiver -x %A %F %T");
    EXPECT_TRUE(ExtractDescription(missing, dir / "a.zip", dir.path + "temp/").empty());
    EXPECT_TRUE(ListDir(dir / "temp").empty());
    EXPECT_TRUE(ExtractDescription(Archiver("E", "", 0, ""), dir / "a.zip", dir.path + "temp/").empty());
}

TEST(ArchiverExtract, ArchiveNameCannotBecomeACommand) {
    ScratchDir dir;
    MakeDirs(dir / "temp");
    std::string tool = dir / "fakearc";
    WriteFileBytes(tool, "#!/bin/sh\ncp \"$1\" \"$2file_id.diz\"\n");
    std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
    std::string archive = dir / "x;touch PWNED;$(touch PWNED2) `touch PWNED3`.zip";
    WriteFileBytes(archive, "Description from a strange name\n");
    ArchiverRecord fake = Archiver("FAKE", "44", 0, tool + " %A %T");
    EXPECT_EQ(ExtractDescription(fake, archive, dir.path + "temp/"),
              std::vector<std::string>{"Description from a strange name"});
    EXPECT_FALSE(std::filesystem::exists("PWNED"));
    EXPECT_FALSE(std::filesystem::exists("PWNED2"));
    EXPECT_FALSE(std::filesystem::exists("PWNED3"));
}
