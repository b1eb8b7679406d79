// The archivers of the sample node's arc.ctl work with the Debian tools.
#include <gtest/gtest.h>

#include <cstdlib>

#include "frame/platform.h"
#include "testkit.h"
#include "tic/archivers.h"

namespace {

void CheckSampleArchiver(const std::string& tool, const std::string& packCommand, const std::string& archiveName,
                         const std::string& wantedName) {
    if (FindProgram(tool).empty()) GTEST_SKIP() << tool << " is not installed";
    ScratchDir dir;
    MakeDirs(dir / "tmp");
    WriteFileBytes(dir / "FILE_ID.DIZ", "Sample tool v1.0\r\n  the second line\r\n");
    WriteFileBytes(dir / "readme.txt", "text\n");
    ASSERT_EQ(std::system(("cd '" + dir.path + "' && " + packCommand + " >/dev/null 2>&1").c_str()), 0);

    std::vector<ArchiverRecord> archivers = ReadArchivers(SourceDir() + "examples/node/arc.ctl");
    ArchiverRecord archiver = FindArchiver(dir / archiveName, archivers);
    ASSERT_EQ(archiver.Name, wantedName);
    std::vector<std::string> lines = ExtractDescription(archiver, dir / archiveName, dir / "tmp/");
    EXPECT_EQ(lines, (std::vector<std::string>{"Sample tool v1.0", "  the second line"}));
    EXPECT_TRUE(ListDir(dir / "tmp").empty());
}

TEST(SampleArchivers, ZipWithUnzip) { CheckSampleArchiver("unzip", "zip -q a.zip FILE_ID.DIZ readme.txt", "a.zip", "ZIP"); }

TEST(SampleArchivers, SevenZip) { CheckSampleArchiver("7z", "7z a -bd a.7z FILE_ID.DIZ readme.txt", "a.7z", "7Z"); }

}  // namespace
