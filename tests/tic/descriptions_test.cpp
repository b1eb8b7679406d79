// Description lists: entry layout, removal, lookup and file masks.
#include <gtest/gtest.h>

#include <cstdio>

#include "testkit.h"
#include "tic/descriptions.h"

namespace {

using Lines = std::vector<std::string>;

}  // namespace

TEST(DescriptionFormat, Columns) {
    EXPECT_EQ(FormatDescription("DESC", "FOO.ZIP", "Test", {}, 20, 14, "[00]", ""),
              Lines{"FOO.ZIP      [00]  Test"});
    // The name part longer than DESCPOS: the description follows directly.
    EXPECT_EQ(FormatDescription("DESC", "A_VERY_LONG_NAME.ZIP", "Test", {}, 14, 14, "[00]", ""),
              Lines{"A_VERY_LONG_NAME.ZIP[00]Test"});
    // No counter.
    EXPECT_EQ(FormatDescription("DESC", "FOO.ZIP", "Test", {}, 14, 14, "", ""), Lines{"FOO.ZIP      Test"});
}

TEST(DescriptionFormat, LongDescriptions) {
    Lines ldesc{"First", "Second", "Third"};
    EXPECT_EQ(FormatDescription("LDESC", "FOO.ZIP", "ignored", ldesc, 14, 14, "", " +"),
              (Lines{"FOO.ZIP      First", " +Second", " +Third"}));
    EXPECT_EQ(FormatDescription("EXTRACT", "FOO.ZIP", "ignored", ldesc, 6, 3, "", ""),
              (Lines{"FOO.ZIPFirst", "     Second", "     Third"}));
    // DESC mode and an empty long description both give the one-line form.
    EXPECT_EQ(FormatDescription("DESC", "FOO.ZIP", "One", ldesc, 14, 14, "", " +"), Lines{"FOO.ZIP      One"});
    EXPECT_EQ(FormatDescription("LDESC", "FOO.ZIP", "One", {}, 14, 14, "", " +"), Lines{"FOO.ZIP      One"});
}

TEST(DescriptionList, AddAppendsCrLfEntries) {
    ScratchDir dir;
    std::string list = dir / "files.bbs";
    ASSERT_EQ(AddDescription("DESC", "A.ZIP", list, "Alpha", {}, 14, 14, "", ""), 0);
    ASSERT_EQ(AddDescription("LDESC", "B.ZIP", list, "", {"Beta 1", "Beta 2"}, 14, 14, "", " |"), 0);
    EXPECT_EQ(ReadFileBytes(list), "A.ZIP        Alpha\r\nB.ZIP        Beta 1\r\n |Beta 2\r\n");

    // A list edited by hand without a last line end: the entry starts a new line.
    WriteFileBytes(list, "OLD.ZIP      Old");
    AddDescription("DESC", "NEW.ZIP", list, "New", {}, 14, 14, "", "");
    EXPECT_EQ(ReadFileBytes(list), "OLD.ZIP      Old\r\nNEW.ZIP      New\r\n");

    EXPECT_NE(AddDescription("DESC", "A.ZIP", dir / "no/such/dir/files.bbs", "x", {}, 14, 14, "", ""), 0);
}

TEST(DescriptionList, RemoveByMaskWithContinuations) {
    ScratchDir dir;
    MakeDirs(dir / "temp");
    std::string list = dir / "files.bbs";
    WriteFileBytes(list,
                   "FOO.ZIP      Foo archive\r\n"
                   " +more about foo\r\n"
                   " +and more\r\n"
                   "BAR.ZIP      Bar\r\n"
                   " +bar continued\r\n"
                   "\r\n"
                   "foo.txt      Foo text\r\n"
                   " +foo text continued\r\n"
                   "FOOD.ZIP     Not foo\r\n"
                   "\r\n");
    EXPECT_EQ(RemoveDescription(list, "foo.*  ", dir.path + "temp/", " +"), RemoveDescriptionStatus::Done);
    EXPECT_EQ(ReadFileBytes(list),
              "BAR.ZIP      Bar\r\n"
              " +bar continued\r\n"
              "\r\n"
              "FOOD.ZIP     Not foo\r\n");
    EXPECT_TRUE(ListDir(dir / "temp").empty());  // the work copy is gone
}

TEST(DescriptionList, RemoveWithoutPrefixUsesLeadingBlanks) {
    Lines lines{"FOO.ZIP      Foo", "             second", "BAR.ZIP      Bar", "             bar 2"};
    EXPECT_EQ(RemoveDescriptionLines(lines, "FOO.ZIP", ""), (Lines{"BAR.ZIP      Bar", "             bar 2"}));
    // With a prefix configured, only prefixed lines go with the entry.
    EXPECT_EQ(RemoveDescriptionLines({"FOO.ZIP x", "+a", " b", "BAR.ZIP y"}, "FOO.ZIP", "+"),
              (Lines{" b", "BAR.ZIP y"}));
}

TEST(DescriptionList, RemoveKeepsLongUnrelatedLinesWhole) {
    ScratchDir dir;
    std::string list = dir / "files.bbs";
    std::string longLine = "BIG.ZIP      " + std::string(400, 'x');
    WriteFileBytes(list, longLine + "\r\nFOO.ZIP      Foo\r\n");
    MakeDirs(dir / "temp");
    EXPECT_EQ(RemoveDescription(list, "FOO.ZIP", dir.path + "temp/", ""), RemoveDescriptionStatus::Done);
    EXPECT_EQ(ReadFileBytes(list), longLine + "\r\n");
}

TEST(DescriptionList, RemoveFailureLeavesTheListAsItWas) {
    ScratchDir dir;
    std::string list = dir / "files.bbs";
    std::string original = "FOO.ZIP      Foo\r\nBAR.ZIP      Bar\n";
    WriteFileBytes(list, original);
    // The work copy cannot be written: TEMPDIR does not exist.
    EXPECT_EQ(RemoveDescription(list, "FOO.ZIP", dir.path + "no-temp/", ""), RemoveDescriptionStatus::WorkFailed);
    EXPECT_EQ(ReadFileBytes(list), original);
    // Nothing happens to a list that does not exist.
    EXPECT_EQ(RemoveDescription(dir / "none.bbs", "FOO.ZIP", dir.path, ""), RemoveDescriptionStatus::NoList);
    EXPECT_FALSE(PathExists(dir / "none.bbs"));
}

TEST(DescriptionList, RemoveFromTenThousandEntries) {
    ScratchDir dir;
    std::string list = dir / "files.bbs";
    std::string content, expected;
    int removed = 0;
    for (int i = 0; i < 10000; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "FILE%05d.ZIP", i);
        std::string entry = std::string(name) + " Description " + std::to_string(i) + "\r\n";
        if (i % 3 == 0) entry += " +continued " + std::to_string(i) + "\r\n +again\r\n";
        content += entry;
        // FILE?7??3.* : second digit 7, last digit 3.
        bool matches = name[5] == '7' && name[8] == '3';
        if (matches) ++removed;
        else expected += entry;
    }
    WriteFileBytes(list, content);
    MakeDirs(dir / "temp");
    ASSERT_EQ(removed, 100);
    EXPECT_EQ(RemoveDescription(list, "file?7??3.*", dir.path + "temp/", " +"), RemoveDescriptionStatus::Done);
    std::string after = ReadFileBytes(list);
    EXPECT_EQ(after.size(), expected.size());
    EXPECT_TRUE(after == expected);
}

TEST(DescriptionList, TempDirIsTheAreaDirectory) {
    // The work copy's name is the list's own name (in another letter case):
    // the list must come out rewritten, not deleted.
    ScratchDir dir;
    std::string list = dir / "FILES.BBS";
    WriteFileBytes(list, "FOO.ZIP      Foo\r\n +more\r\nBAR.ZIP      Bar\r\n");
    EXPECT_EQ(RemoveDescription(list, "FOO.ZIP", dir.path, " +"), RemoveDescriptionStatus::Done);
    EXPECT_EQ(ReadFileBytes(list), "BAR.ZIP      Bar\r\n");
    EXPECT_EQ(ListDir(dir.path), std::vector<std::string>{"FILES.BBS"});
}

TEST(DescriptionList, ReadEntries) {
    ScratchDir dir;
    std::string list = dir / "files.bbs";
    WriteFileBytes(list,
                   "OTHER.ZIP    Other\r\n"
                   "FOO.ZIP [00] First line\r\n"
                   " +second\r\n"
                   "   blank-led without prefix\r\n"
                   " +third\r\n"
                   "BAR.ZIP      Bar\r\n"
                   "             bar 2\r\n"
                   "             bar 3\r\n"
                   "NEXT.ZIP     Next\r\n");
    EXPECT_EQ(ReadDescription(list, "foo.zip  ", " +", 14),
              (Lines{"First line", "second", "   blank-led without prefix", "third"}));
    EXPECT_EQ(ReadDescription(list, "BAR.ZIP", "", 14), (Lines{"Bar", "bar 2", "bar 3"}));
    EXPECT_EQ(ReadDescription(list, "NEXT.ZIP", "", 40), Lines{""});
    EXPECT_EQ(ReadDescription(list, "NEXT.ZIP", "", 0), Lines{"NEXT.ZIP     Next"});
    EXPECT_TRUE(ReadDescription(list, "NONE.ZIP", "", 14).empty());
    EXPECT_TRUE(ReadDescription(dir / "missing.bbs", "FOO.ZIP", "", 14).empty());
}

TEST(DescriptionList, Exists) {
    ScratchDir dir;
    std::string list = dir / "files.bbs";
    WriteFileBytes(list, "FOO.ZIP      Foo\n +FOO.TXT is mentioned\nbar.zip\n");
    EXPECT_TRUE(DescriptionExists(list, "foo.zip"));
    EXPECT_TRUE(DescriptionExists(list, "BAR.ZIP "));
    EXPECT_FALSE(DescriptionExists(list, "FOO.TXT"));
    EXPECT_FALSE(DescriptionExists(list, "FOO"));
    EXPECT_FALSE(DescriptionExists(dir / "missing.bbs", "FOO.ZIP"));
}

TEST(DescriptionList, FileMasks) {
    EXPECT_TRUE(MatchFileMask("FOO.ZIP", "FOO.*"));
    EXPECT_TRUE(MatchFileMask("foo.zip", "F?O.Z*"));
    EXPECT_TRUE(MatchFileMask("README", "*.*"));
    EXPECT_TRUE(MatchFileMask("README", "README"));
    EXPECT_TRUE(MatchFileMask("ARC.TAR.GZ", "ARC.*"));
    EXPECT_FALSE(MatchFileMask("FOOD.ZIP", "FOO.*"));
    EXPECT_FALSE(MatchFileMask("FOO.ZIP", "FOO.ARJ"));
    EXPECT_FALSE(MatchFileMask("FOO", "FOO.ZIP"));
}
