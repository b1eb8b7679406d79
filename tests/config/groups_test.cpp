#include "config/groups.h"

#include <gtest/gtest.h>

#include "testkit.h"

namespace {

std::vector<GroupRecord> LoadText(const ScratchDir& dir, const std::string& text) {
    WriteFileBytes(dir / "Groups.ctl", text);
    std::vector<GroupRecord> groups;
    ReadGroups(dir / "Groups.ctl", groups);
    return groups;
}

TEST(ReadGroups, FieldsOfEachGroup) {
    ScratchDir dir;
    auto groups = LoadText(dir,
                           "COMMENT before the first group is ignored\r\n"
                           "GROUP A\r\n"
                           "  path   Files/New   ; comment\r\n"
                           "Comment  Fido file echoes\r\n"
                           "NAFile   lists/fido.na\r\n"
                           "Flag     AUTO\r\n"
                           "SecurityRead 5\r\n"
                           "SecurityWrite 100\r\n"
                           "SecurityShow x\r\n"
                           "AKA 2:5020/1\r\n"
                           "Unknown value\r\n"
                           "\r\n"
                           "Group b\r\n"
                           "Path /srv/fido/files\r\n"
                           "Path /srv/fido/local/\r\n"
                           "Group C\r\n");
    ASSERT_EQ(groups.size(), 3u);
    const GroupRecord& a = groups[0];
    EXPECT_EQ(a.Letter, 'A');
    EXPECT_EQ(a.Path, dir / "Files/New/");
    EXPECT_EQ(a.Comment, "Fido file echoes");
    EXPECT_EQ(a.NAFile, dir / "lists/fido.na");
    EXPECT_EQ(a.Flag, "AUTO");
    EXPECT_EQ(a.SecurityRead, 5);
    EXPECT_EQ(a.SecurityWrite, 100);
    EXPECT_EQ(a.SecurityShow, 0);
    EXPECT_EQ(a.AKA, "2:5020/1");
    EXPECT_EQ(groups[1].Letter, 'b');
    EXPECT_EQ(groups[1].Path, "/srv/fido/local/");  // the later line wins
    EXPECT_EQ(groups[1].Comment, "");
    EXPECT_EQ(groups[2].Path, "");  // new areas of C are pass-through
}

TEST(FindGroup, LetterCaseMatters) {
    ScratchDir dir;
    auto groups = LoadText(dir, "GROUP a\nCOMMENT small\nGROUP A\nCOMMENT capital\n");
    EXPECT_EQ(FindGroup(groups, 'A').Comment, "capital");
    EXPECT_EQ(FindGroup(groups, 'a').Comment, "small");
    GroupRecord none = FindGroup(groups, 'Z');
    EXPECT_EQ(none.Letter, '\0');
    EXPECT_EQ(none.Comment, "");
    EXPECT_EQ(FindGroup(groups, ' ').Letter, '\0');
}

TEST(ReadGroups, BadFiles) {
    ScratchDir dir;
    std::vector<GroupRecord> groups{GroupRecord{}};
    ReadGroups(dir / "none.ctl", groups);
    EXPECT_TRUE(groups.empty());
    EXPECT_TRUE(LoadText(dir, "").empty());
    EXPECT_TRUE(LoadText(dir, std::string("\xFF\x00\x01 PATH x", 10)).empty());
    auto cut = LoadText(dir, "GROUP A\nCOMMENT " + std::string(10000, 'x') + "\nGROUP");
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[0].Comment.size(), 255u - 8);
    EXPECT_EQ(cut[1].Letter, '\0');
}

TEST(FindInListFile, TagIsTheFirstWordAndTheRestTheDescription) {
    ScratchDir dir;
    WriteFileBytes(dir / "fido.na",
                   "OTHER      Other files\r\n"
                   "   myecho    Some files   \r\n"
                   "MYECHO     second entry\r\n"
                   "BARE\n");
    std::string description = "stale";
    EXPECT_TRUE(FindInListFile(dir / "fido.na", "MYECHO", description));
    EXPECT_EQ(description, "Some files");
    EXPECT_TRUE(FindInListFile(dir / "fido.na", "BARE", description));
    EXPECT_EQ(description, "");
    EXPECT_FALSE(FindInListFile(dir / "fido.na", "MISSING", description));
    EXPECT_FALSE(FindInListFile(dir / "fido.na", "", description));
    EXPECT_FALSE(FindInListFile("", "MYECHO", description));
    EXPECT_FALSE(FindInListFile(dir / "none.na", "MYECHO", description));
    EXPECT_EQ(description, "");
}

}  // namespace
