// Description lists: entry layout, removal, lookup and file masks.
#include <gtest/gtest.h>

#include <cstdio>

#include "testkit.h"
#include "tic/descriptions.h"

namespace {

using Lines = std::vector<std::string>;

TEST(DescriptionFormat, ColumnsAndLongDescriptions) {
    const Lines ldesc{"First", "Second", "Third"};
    const struct {
        const char *mode, *name;
        Lines ldesc;
        int descPos, dlcPos;
        const char *counter, *prefix;
        Lines lines;
    } cases[] = {
        {"DESC", "FOO.ZIP", {}, 20, 14, "[00]", "", {"FOO.ZIP      [00]  Test"}},
        // The name part longer than DESCPOS: the description follows directly.
        {"DESC", "A_VERY_LONG_NAME.ZIP", {}, 14, 14, "[00]", "", {"A_VERY_LONG_NAME.ZIP[00]Test"}},
        {"DESC", "FOO.ZIP", {}, 14, 14, "", "", {"FOO.ZIP      Test"}},
        {"LDESC", "FOO.ZIP", ldesc, 14, 14, "", " +", {"FOO.ZIP      First", " +Second", " +Third"}},
        {"EXTRACT", "FOO.ZIP", ldesc, 6, 3, "", "", {"FOO.ZIPFirst", "     Second", "     Third"}},
        // DESC mode and an empty long description both give the one-line form.
        {"DESC", "FOO.ZIP", ldesc, 14, 14, "", " +", {"FOO.ZIP      Test"}},
        {"LDESC", "FOO.ZIP", {}, 14, 14, "", " +", {"FOO.ZIP      Test"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatDescription(c.mode, c.name, "Test", c.ldesc, c.descPos, c.dlcPos, c.counter, c.prefix), c.lines)
            << c.mode << " " << c.name;
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

TEST(DescriptionList, RemoveByMaskWithContinuationsKeepsLongLinesWhole) {
    ScratchDir dir;
    MakeDirs(dir / "temp");
    std::string list = dir / "files.bbs";
    const std::string longLine = "BIG.ZIP      " + std::string(400, 'x');
    WriteFileBytes(list,
                   "FOO.ZIP      Foo archive\r\n +more about foo\r\n +and more\r\n"
                   "BAR.ZIP      Bar\r\n +bar continued\r\n\r\n"
                   "foo.txt      Foo text\r\n +foo text continued\r\n"
                   "FOOD.ZIP     Not foo\r\n" + longLine + "\r\n\r\n");
    EXPECT_EQ(RemoveDescription(list, "foo.*  ", dir / "temp/", " +"), RemoveDescriptionStatus::Done);
    EXPECT_EQ(ReadFileBytes(list),
              "BAR.ZIP      Bar\r\n +bar continued\r\n\r\nFOOD.ZIP     Not foo\r\n" + longLine + "\r\n");
    EXPECT_TRUE(ListDir(dir / "temp").empty());  // the work copy is gone

    // Without a prefix the entry takes the lines led by blanks; with one, only prefixed lines.
    EXPECT_EQ(RemoveDescriptionLines({"FOO.ZIP      Foo", "             second", "BAR.ZIP      Bar", "  bar 2"},
                                     "FOO.ZIP", ""),
              (Lines{"BAR.ZIP      Bar", "  bar 2"}));
    EXPECT_EQ(RemoveDescriptionLines({"FOO.ZIP x", "+a", " b", "BAR.ZIP y"}, "FOO.ZIP", "+"),
              (Lines{" b", "BAR.ZIP y"}));
}

TEST(DescriptionList, RemoveFailureLeavesTheListAsItWas) {
    ScratchDir dir;
    std::string list = dir / "files.bbs";
    std::string original = "FOO.ZIP      Foo\r\nBAR.ZIP      Bar\n";
    WriteFileBytes(list, original);
    // The work copy cannot be written: TEMPDIR does not exist.
    EXPECT_EQ(RemoveDescription(list, "FOO.ZIP", dir / "no-temp/", ""), RemoveDescriptionStatus::WorkFailed);
    EXPECT_EQ(ReadFileBytes(list), original);
    // Nothing happens to a list that does not exist.
    EXPECT_EQ(RemoveDescription(dir / "none.bbs", "FOO.ZIP", dir.path, ""), RemoveDescriptionStatus::NoList);
    EXPECT_FALSE(PathExists(dir / "none.bbs"));

    // The work copy's name is the list's own name (in another letter case):
    // the list must come out rewritten, not deleted.
    WriteFileBytes(dir / "area/FILES.BBS", "FOO.ZIP      Foo\r\n +more\r\nBAR.ZIP      Bar\r\n");
    EXPECT_EQ(RemoveDescription(dir / "area/FILES.BBS", "FOO.ZIP", dir / "area/", " +"), RemoveDescriptionStatus::Done);
    EXPECT_EQ(ReadFileBytes(dir / "area/FILES.BBS"), "BAR.ZIP      Bar\r\n");
    EXPECT_EQ(ListDir(dir / "area"), Lines{"FILES.BBS"});
}

TEST(DescriptionList, RemoveFromTenThousandEntries) {
    ScratchDir dir;
    std::string list = dir / "files.bbs", content, expected;
    int removed = 0;
    for (int i = 0; i < 10000; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "FILE%05d.ZIP", i);
        std::string entry = std::string(name) + " Description " + std::to_string(i) + "\r\n";
        if (i % 3 == 0) entry += " +continued " + std::to_string(i) + "\r\n +again\r\n";
        content += entry;
        // FILE?7??3.* : second digit 7, last digit 3.
        if (name[5] == '7' && name[8] == '3') ++removed;
        else expected += entry;
    }
    WriteFileBytes(list, content);
    MakeDirs(dir / "temp");
    ASSERT_EQ(removed, 100);
    EXPECT_EQ(RemoveDescription(list, "file?7??3.*", dir / "temp/", " +"), RemoveDescriptionStatus::Done);
    EXPECT_TRUE(ReadFileBytes(list) == expected);
}

TEST(DescriptionList, ReadEntriesAndExistence) {
    ScratchDir dir;
    std::string list = dir / "files.bbs";
    WriteFileBytes(list,
                   "OTHER.ZIP    Other\r\n"
                   "FOO.ZIP [00] First line\r\n +second\r\n   blank-led without prefix\r\n +third\r\n"
                   "BAR.ZIP      Bar\r\n             bar 2\r\n             bar 3\r\n"
                   "NEXT.ZIP     Next\r\n +FOO.TXT is mentioned\r\nbare.zip\r\n");
    EXPECT_EQ(ReadDescription(list, "foo.zip  ", " +", 14),
              (Lines{"First line", "second", "   blank-led without prefix", "third"}));
    EXPECT_EQ(ReadDescription(list, "BAR.ZIP", "", 14), (Lines{"Bar", "bar 2", "bar 3"}));
    EXPECT_EQ(ReadDescription(list, "OTHER.ZIP", "", 40), Lines{""});
    EXPECT_EQ(ReadDescription(list, "OTHER.ZIP", "", 0), Lines{"OTHER.ZIP    Other"});
    EXPECT_TRUE(ReadDescription(list, "NONE.ZIP", "", 14).empty());
    EXPECT_TRUE(ReadDescription(dir / "missing.bbs", "FOO.ZIP", "", 14).empty());

    EXPECT_TRUE(DescriptionExists(list, "foo.zip"));
    EXPECT_TRUE(DescriptionExists(list, "BARE.ZIP "));
    EXPECT_FALSE(DescriptionExists(list, "FOO.TXT"));
    EXPECT_FALSE(DescriptionExists(list, "FOO"));
    EXPECT_FALSE(DescriptionExists(dir / "missing.bbs", "FOO.ZIP"));
}

TEST(DescriptionList, FileMasks) {
    const struct {
        const char *name, *mask;
        bool matches;
    } cases[] = {
        {"FOO.ZIP", "FOO.*", true},   {"foo.zip", "F?O.Z*", true},   {"README", "*.*", true},
        {"README", "README", true},   {"ARC.TAR.GZ", "ARC.*", true}, {"FOOD.ZIP", "FOO.*", false},
        {"FOO.ZIP", "FOO.ARJ", false}, {"FOO", "FOO.ZIP", false},
    };
    for (const auto& c : cases) EXPECT_EQ(MatchFileMask(c.name, c.mask), c.matches) << c.name << " ~ " << c.mask;
}

}  // namespace
