// Pieces of the toss that need no node: sizes in messages, directory names
// of new areas, the names a TIC may give, and moving refused files aside.
#include "tic/toss.h"

#include <gtest/gtest.h>

#include "frame/catalogue.h"
#include "testkit.h"

TEST(SizeText, GroupsDigitsByThreesWithTheSeparator) {
    EXPECT_EQ(SizeText(1234567, ','), "1,234,567");
    EXPECT_EQ(SizeText(1234567, '.'), "1.234.567");
    EXPECT_EQ(SizeText(123456, ','), "123,456");
    EXPECT_EQ(SizeText(12345, ' '), "12 345");
    EXPECT_EQ(SizeText(1000, ','), "1,000");
    EXPECT_EQ(SizeText(999, ','), "999");
    EXPECT_EQ(SizeText(1, ','), "1");
    EXPECT_EQ(SizeText(2147483647, ','), "2,147,483,647");
}

TEST(SizeText, NoSeparatorAndValuesBelowOne) {
    EXPECT_EQ(SizeText(1234567, 0), "1234567");
    EXPECT_EQ(SizeText(0, ','), "0");
    EXPECT_EQ(SizeText(-5, ','), "0");
    EXPECT_EQ(SizeText(-1234, 0), "0");
}

TEST(ShortDirectoryName, EightThreeForm) {
    EXPECT_EQ(ShortDirectoryName("AB.CD.EFGH"), "AB_CD_EF.GH");
    EXPECT_EQ(ShortDirectoryName("ABCDEFGHIJK"), "ABCDEFGH.IJK");
    EXPECT_EQ(ShortDirectoryName("ABCDEFGHIJKLMNOP"), "ABCDEFGH.IJK");
    EXPECT_EQ(ShortDirectoryName("ABCDEFGHI"), "ABCDEFGH.I");
    // A "_" (or a dot) in the 9th place becomes the extension's dot.
    EXPECT_EQ(ShortDirectoryName("ABCDEFGH.IJ"), "ABCDEFGH.IJ");
    EXPECT_EQ(ShortDirectoryName("ABCDEFGH_IJKLMN"), "ABCDEFGH.IJK");
    // Up to eight characters the name stays, dots aside.
    EXPECT_EQ(ShortDirectoryName("ABCDEFGH"), "ABCDEFGH");
    EXPECT_EQ(ShortDirectoryName("A.B"), "A_B");
    EXPECT_EQ(ShortDirectoryName(""), "");
}

TEST(AreaDirectoryName, FollowsLfnChangePointAndUseExt) {
    // LFN: the whole tag, dots changed only with LFNCHANGEPOINT.
    EXPECT_EQ(AreaDirectoryName("SAMPLE.NODELIST.DIFFS", true, true, false), "SAMPLE_NODELIST_DIFFS");
    EXPECT_EQ(AreaDirectoryName("SAMPLE.NODELIST.DIFFS", true, false, false), "SAMPLE.NODELIST.DIFFS");
    EXPECT_EQ(AreaDirectoryName("SAMPLE.NODELIST", true, false, true), "SAMPLE.NODELIST");
    // Short names: the first eight characters, or 8.3 with USEEXT.
    EXPECT_EQ(AreaDirectoryName("SAMPLE.NODELIST", false, true, false), "SAMPLE_N");
    EXPECT_EQ(AreaDirectoryName("SAMPLE.NODELIST", false, false, false), "SAMPLE.N");
    EXPECT_EQ(AreaDirectoryName("AB.CD.EFGH", false, true, true), "AB_CD_EF.GH");
    EXPECT_EQ(AreaDirectoryName("AB.CD.EFGH", false, false, true), "AB_CD_EF.GH");
    EXPECT_EQ(AreaDirectoryName("ABCDEFGHIJK", false, false, true), "ABCDEFGH.IJK");
    EXPECT_EQ(AreaDirectoryName("SHORT", false, true, true), "SHORT");
}

TEST(AreaDirectoryName, UnsafeTagsStayUnsafe) {
    // Whatever the settings make of a tag, a path in it must be seen.
    EXPECT_FALSE(IsPlainName(AreaDirectoryName("../../ESCAPE", true, false, false)));
    EXPECT_FALSE(IsPlainName(AreaDirectoryName("A/B", true, true, false)));
    EXPECT_FALSE(IsPlainName(AreaDirectoryName("..", true, false, false)));
    EXPECT_FALSE(IsPlainName(AreaDirectoryName("", true, true, false)));
    EXPECT_FALSE(IsPlainName(AreaDirectoryName("../ETC/PASSWD", false, false, false)));
    // Dots made underscores cannot climb.
    EXPECT_TRUE(IsPlainName(AreaDirectoryName("..", true, true, false)));
    EXPECT_TRUE(IsPlainName(AreaDirectoryName("SAMPLE.SOFT", true, false, false)));
}

TEST(IsPlainName, OnlyNamesInsideTheirDirectory) {
    EXPECT_TRUE(IsPlainName("NODELIST.341"));
    EXPECT_TRUE(IsPlainName("Long name archive.zip"));
    EXPECT_TRUE(IsPlainName("*.ZIP"));
    EXPECT_TRUE(IsPlainName("...."));
    EXPECT_TRUE(IsPlainName(".hidden"));
    EXPECT_FALSE(IsPlainName(""));
    EXPECT_FALSE(IsPlainName("."));
    EXPECT_FALSE(IsPlainName(".."));
    EXPECT_FALSE(IsPlainName("../../etc/passwd"));
    EXPECT_FALSE(IsPlainName("/etc/passwd"));
    EXPECT_FALSE(IsPlainName("sub/file.zip"));
    EXPECT_FALSE(IsPlainName("file.zip/"));
    EXPECT_FALSE(IsPlainName(std::string("file\0/../x", 10)));
}

class MoveAsideTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearCatalogue();
        ParseCatalogueText(
            "LOGREMOVEBADFILE File %f moved aside\nLOGREMOVETIC TIC %f moved aside\n"
            "LOGDELETETICFILE TIC file deleted\n");
        MakeDirs(dir / "in");
        MakeDirs(dir / "bad");
        WriteFileBytes(dir / "in/FILE.ZIP", "contents");
        WriteFileBytes(dir / "in/BM000001.TIC", "File FILE.ZIP\r\n");
    }
    void TearDown() override { ClearCatalogue(); }

    std::string Log() const { return ReadFileBytes(dir / "log"); }

    ScratchDir dir;
    std::string in = dir / "in/";
    std::string bad = dir / "bad/";
};

TEST_F(MoveAsideTest, BadFileMovesTheFileAndWritesTheReasonLine) {
    ASSERT_TRUE(BadFile(in, "FILE.ZIP", bad, dir / "log", "files.bbs", "Duplicate file"));
    EXPECT_FALSE(PathExists(in + "FILE.ZIP"));
    EXPECT_EQ(ReadFileBytes(bad + "FILE.ZIP"), "contents");
    EXPECT_EQ(ReadFileBytes(bad + "files.bbs"), "FILE.ZIP     Duplicate file\r\n");
    EXPECT_NE(Log().find("File FILE.ZIP moved aside\r\n"), std::string::npos);

    // A longer name is not cut; the next line is appended.
    WriteFileBytes(in + "A_LONGER_NAME.ZIP", "x");
    ASSERT_TRUE(BadFile(in, "A_LONGER_NAME.ZIP", bad, dir / "log", "files.bbs", "Wrong size"));
    EXPECT_EQ(ReadFileBytes(bad + "files.bbs"), "FILE.ZIP     Duplicate file\r\nA_LONGER_NAME.ZIP Wrong size\r\n");
}

TEST_F(MoveAsideTest, AnEarlierFileOfTheSameNameIsKept) {
    WriteFileBytes(bad + "FILE.ZIP", "earlier");
    WriteFileBytes(bad + "FILE.1.ZIP", "earlier too");
    WriteFileBytes(bad + "BM000001.TIC", "earlier TIC");
    ASSERT_TRUE(BadFile(in, "FILE.ZIP", bad, dir / "log", "files.bbs", "Wrong size"));
    ASSERT_TRUE(BadTic(in, "BM000001.TIC", bad, dir / "log", false));
    EXPECT_EQ(ReadFileBytes(bad + "FILE.ZIP"), "earlier");
    EXPECT_EQ(ReadFileBytes(bad + "FILE.1.ZIP"), "earlier too");
    EXPECT_EQ(ReadFileBytes(bad + "FILE.2.ZIP"), "contents");
    EXPECT_EQ(ReadFileBytes(bad + "BM000001.TIC"), "earlier TIC");
    EXPECT_EQ(ReadFileBytes(bad + "BM000001.1.TIC"), "File FILE.ZIP\r\n");
    EXPECT_EQ(ReadFileBytes(bad + "files.bbs"), "FILE.2.ZIP   Wrong size\r\n");
    EXPECT_NE(Log().find("File FILE.2.ZIP moved aside\r\n"), std::string::npos);
    EXPECT_NE(Log().find("TIC BM000001.1.TIC moved aside\r\n"), std::string::npos);

    // Names are compared without regard to case; no extension: the number ends the name.
    WriteFileBytes(bad + "readme", "old");
    WriteFileBytes(in + "README", "new");
    ASSERT_TRUE(BadFile(in, "README", bad, dir / "log", "", "reason"));
    EXPECT_EQ(ReadFileBytes(bad + "readme"), "old");
    EXPECT_EQ(ReadFileBytes(bad + "README.1"), "new");
}

TEST_F(MoveAsideTest, BadFileWithoutDescriptionListStillMoves) {
    ASSERT_TRUE(BadFile(in, "FILE.ZIP", bad, dir / "log", "", "Duplicate file"));
    EXPECT_EQ(ReadFileBytes(bad + "FILE.ZIP"), "contents");
    EXPECT_FALSE(PathExists(in + "FILE.ZIP"));
    EXPECT_EQ(ListDir(bad), std::vector<std::string>{"FILE.ZIP"});
}

TEST_F(MoveAsideTest, BadFileThatCannotMoveKeepsTheFile) {
    // A directory where the file should go: the move fails.
    MakeDirs(bad + "FILE.ZIP");
    EXPECT_FALSE(BadFile(in, "FILE.ZIP", bad, dir / "log", "files.bbs", "reason"));
    EXPECT_EQ(ReadFileBytes(in + "FILE.ZIP"), "contents");
    EXPECT_FALSE(PathExists(bad + "files.bbs"));
    EXPECT_EQ(Log().find("moved aside"), std::string::npos);

    // No bad directory at all: nothing moves into the current directory.
    EXPECT_FALSE(BadFile(in, "FILE.ZIP", "", dir / "log", "files.bbs", "reason"));
    EXPECT_EQ(ReadFileBytes(in + "FILE.ZIP"), "contents");
}

TEST_F(MoveAsideTest, BadTicMovesOrDeletes) {
    ASSERT_TRUE(BadTic(in, "BM000001.TIC", bad, dir / "log", false));
    EXPECT_EQ(ReadFileBytes(bad + "BM000001.TIC"), "File FILE.ZIP\r\n");
    EXPECT_FALSE(PathExists(in + "BM000001.TIC"));
    EXPECT_NE(Log().find("TIC BM000001.TIC moved aside\r\n"), std::string::npos);

    WriteFileBytes(in + "BM000002.TIC", "x");
    ASSERT_TRUE(BadTic(in, "BM000002.TIC", bad, dir / "log", true));
    EXPECT_FALSE(PathExists(in + "BM000002.TIC"));
    EXPECT_FALSE(PathExists(bad + "BM000002.TIC"));
    EXPECT_NE(Log().find("TIC file deleted\r\n"), std::string::npos);

    // A TIC that cannot be moved stays.
    WriteFileBytes(in + "BM000003.TIC", "x");
    MakeDirs(bad + "BM000003.TIC");
    EXPECT_FALSE(BadTic(in, "BM000003.TIC", bad, dir / "log", false));
    EXPECT_TRUE(PathExists(in + "BM000003.TIC"));
}
