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

// A group's fields as one line.
std::string Fields(const GroupRecord& g) {
    return std::string(1, g.Letter) + "|" + g.Path + "|" + g.Comment + "|" + g.NAFile + "|" + g.Flag + "|" +
           std::to_string(g.SecurityRead) + "/" + std::to_string(g.SecurityWrite) + "/" +
           std::to_string(g.SecurityShow) + "|" + g.AKA;
}

TEST(ReadGroups, FieldsOfEachGroupAndLookupByLetter) {
    ScratchDir dir;
    auto groups = LoadText(dir, "COMMENT before the first group is ignored\r\n"
                                "GROUP A\r\n  path   Files/New   ; comment\r\nComment  Fido file echoes\r\n"
                                "NAFile   lists/fido.na\r\nFlag     AUTO\r\nSecurityRead 5\r\nSecurityWrite 100\r\n"
                                "SecurityShow x\r\nAKA 2:5020/1\r\n"
                                "Unknown value\r\n\r\nGroup a\r\nPath /srv/fido/files\r\nPath /srv/fido/local/\r\n"
                                "Comment small\r\nGroup C\r\n");
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(Fields(groups[0]), "A|" + (dir / "Files/New/") + "|Fido file echoes|" + (dir / "lists/fido.na") +
                                     "|AUTO|5/100/0|2:5020/1");
    EXPECT_EQ(Fields(groups[1]), "a|/srv/fido/local/|small|||0/0/0|");  // the later line wins
    EXPECT_EQ(Fields(groups[2]), "C|||||0/0/0|");  // new areas of C are pass-through
    // Letter case matters.
    EXPECT_EQ(FindGroup(groups, 'a').Comment, "small");
    EXPECT_EQ(FindGroup(groups, 'A').Comment, "Fido file echoes");
    EXPECT_EQ(Fields(FindGroup(groups, 'Z')), std::string(1, '\0') + "|||||0/0/0|");
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
                   "OTHER      Other files\r\n   myecho    Some files   \r\nMYECHO     second entry\r\nBARE\n");
    std::string description = "stale";
    EXPECT_TRUE(FindInListFile(dir / "fido.na", "MYECHO", description));
    EXPECT_EQ(description, "Some files");
    EXPECT_TRUE(FindInListFile(dir / "fido.na", "BARE", description));
    EXPECT_EQ(description, "");
    EXPECT_FALSE(FindInListFile(dir / "fido.na", "MISSING", description));
    EXPECT_FALSE(FindInListFile(dir / "fido.na", "", description));
    EXPECT_FALSE(FindInListFile("", "MYECHO", description));
    description = "stale";
    EXPECT_FALSE(FindInListFile(dir / "none.na", "MYECHO", description));
    EXPECT_EQ(description, "");
}

}  // namespace
