#include "config/links.h"

#include <gtest/gtest.h>

#include "testkit.h"

namespace {

std::vector<LinkRecord> LoadText(const ScratchDir& dir, const std::string& text) {
    WriteFileBytes(dir / "Links.ctl", text);
    std::vector<LinkRecord> links;
    LoadLinks(dir / "Links.ctl", links);
    return links;
}

// The fields of a link as one line, to compare whole records.
std::string Fields(const LinkRecord& l) {
    return l.Address + "|" + l.AKA + "|" + l.Password + "|" + (l.CreateArea ? "C" : "-") + (l.PlusAll ? "P" : "-") +
           (l.Pause ? "Z" : "-") + "|" + l.Group + "|" + l.DefaultGroup + "|" + std::to_string(l.Security) + "|" +
           l.FilesSend;
}

TEST(LoadLinks, BothFormsInFileOrderWithDashesMissingColumnsAndBadValues) {
    ScratchDir dir;
    auto links = LoadText(dir,
                          "; links of the node\r\n"
                          "Password ignored before the first link\r\n"
                          "Link 2:5020/100\r\n"
                          "  aka 2:5020/1   ; own address\r\n"
                          "Password secret\r\nCreateArea yes\r\nPlusAll +\r\nPause no\r\nGroup abc\r\n"
                          "DefaultGroup b\r\nSecurity 50\r\nFilesSend hold\r\nUnknown keyword\r\n"
                          "! 2:5020/200 2:5020/1 pw2 No Yes Yes A - 7 direct\r\n"
                          "LINK 1:2/3\nPASSWORD -\nSECURITY 70000\n"  // "-" means none only in a row
                          "! 1:2/4 1:2/1 - no no no A - 65535 HOLD\n"
                          "! 1:2/5 1:2/1\n"  // missing columns
                          "LINK 1:2/6\nDEFAULTGROUP\nSECURITY lots\n!\n");
    std::vector<std::string> fields;
    for (const LinkRecord& link : links) fields.push_back(Fields(link));
    EXPECT_EQ(fields, (std::vector<std::string>{
                          "2:5020/100|2:5020/1|SECRET|CP-|ABC|B|50|HOLD",
                          "2:5020/200|2:5020/1|PW2|-PZ|A| |7|DIRECT",
                          "1:2/3||-|---|| |0|",
                          "1:2/4|1:2/1||---|A| |65535|HOLD",
                          "1:2/5|1:2/1||---|| |0|",
                          "1:2/6|||---|| |0|",
                          "|||---|| |0|",
                      }));
}

TEST(LoadLinks, BadFilesGiveNoLinkOrNoHarm) {
    ScratchDir dir;
    std::vector<LinkRecord> links{LinkRecord{}};
    LoadLinks(dir / "missing.ctl", links);
    EXPECT_TRUE(links.empty());
    EXPECT_TRUE(LoadText(dir, "").empty());
    EXPECT_TRUE(LoadText(dir, std::string("\0\x01\xFF\xFE", 4) + "AKA 1:2/3\n").empty());
    // A long line is cut, not refused.
    auto cut = LoadText(dir, "LINK 1:2/3\nGROUP " + std::string(10000, 'a') + "\n");
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].Group, std::string(255 - 6, 'A'));
    // A file cut in the middle of a block keeps what it has.
    auto truncated = LoadText(dir, "LINK 1:2/3\nAKA 1:2/1\nPASSW");
    ASSERT_EQ(truncated.size(), 1u);
    EXPECT_EQ(Fields(truncated[0]), "1:2/3|1:2/1||---|| |0|");
}

TEST(FindLink, MatchesAnyWrittenFormOfTheAddress) {
    ScratchDir dir;
    auto links = LoadText(dir, "LINK 2:5020/100\nLINK 2:5020/100\nAKA second\n! 2:5020/100.5 2:5020/1\n");
    LinkRecord found = FindLink(links, "2:5020/100.0");
    EXPECT_EQ(found.Address, "2:5020/100");
    EXPECT_EQ(found.AKA, "");  // the first of two blocks wins
    EXPECT_EQ(FindLink(links, "2:5020/100.5").AKA, "2:5020/1");
    EXPECT_EQ(Fields(FindLink(links, "2:5020/101")), "|||---|| |0|");
}

// ---- RewriteLink -------------------------------------------------------------

const std::string KeywordFile =
    "; Links\r\n"
    "Link 2:5020/100\r\n"
    "AKA 2:5020/1\r\n"
    "; a comment inside the block\r\n"
    "Password pw\r\n"
    "Group AB\r\n"
    "\r\n"
    "link 2:5020/200\r\n"
    "AKA 2:5020/1\r\n"
    "FilesSend direct\r\n";

LinkRecord SampleLink() {
    LinkRecord link;
    link.Address = "2:5020/100.0";
    link.AKA = "2:5020/1";
    link.Password = "PW";
    link.Group = "AB";
    link.Pause = true;
    link.DefaultGroup = 'A';
    link.Security = 20;
    link.FilesSend = "HOLD";
    return link;
}

TEST(RewriteLink, KeywordBlockIsReplacedUpToTheNextLinkInTheFilesLetterCase) {
    ScratchDir dir;
    WriteFileBytes(dir / "Links.ctl", KeywordFile);
    ASSERT_FALSE(RewriteLink(dir / "LINKS.CTL", SampleLink()));
    EXPECT_EQ(ReadFileBytes(dir / "Links.ctl"),
              "; Links\r\n"
              "Link         2:5020/100\r\n"
              "AKA          2:5020/1\r\n"
              "Password     PW\r\n"
              "Pause        Yes\r\n"
              "Group        AB\r\n"
              "DefaultGroup A\r\n"
              "Security     20\r\n"
              "FilesSend    HOLD\r\n"
              "\r\n"
              "link 2:5020/200\r\n"
              "AKA 2:5020/1\r\n"
              "FilesSend direct\r\n");
    EXPECT_EQ(ReadFileBytes(dir / "links.old"), KeywordFile);
    EXPECT_EQ(ListDir(dir.path), (std::vector<std::string>{"Links.ctl", "links.old"}));
    // The rewritten file reads back to the same link.
    std::vector<LinkRecord> links;
    LoadLinks(dir / "Links.ctl", links);
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(Fields(links[0]), "2:5020/100|2:5020/1|PW|--Z|AB|A|20|HOLD");
}

TEST(RewriteLink, LastBlockAndOptionalLines) {
    ScratchDir dir;
    WriteFileBytes(dir / "Links.ctl", "LINK 1:2/3\nAKA 1:2/1\nPASSWORD x\nCREATEAREA yes\n");
    LinkRecord link;
    link.Address = "1:2/3";
    link.AKA = "1:2/1";
    link.CreateArea = link.PlusAll = true;
    link.Group = "A";
    ASSERT_FALSE(RewriteLink(dir / "Links.ctl", link));
    EXPECT_EQ(ReadFileBytes(dir / "Links.ctl"),
              "Link         1:2/3\r\n"
              "AKA          1:2/1\r\n"
              "CreateArea   Yes\r\n"
              "PlusAll      Yes\r\n"
              "Group        A\r\n"
              "FilesSend    \r\n");
}

TEST(RewriteLink, TableRowIsReplacedInPlaceAndLongLinesAreKeptWhole) {
    ScratchDir dir;
    const std::string longComment = "; " + std::string(1000, 'c') + "\r\n";
    const std::string before = longComment +
                               "! 2:5020/200 2:5020/1 PW1 No No No A B 5 DIRECT ; first\r\n"
                               "! 2:5020/100 2:5020/1 PW2 Yes No No AB - 10 HOLD\r\n"
                               "! 2:5020/300 2:5020/1 - No No No A - 0 HOLD\r\n";
    WriteFileBytes(dir / "Links.ctl", before);
    std::vector<LinkRecord> links;
    LoadLinks(dir / "Links.ctl", links);
    LinkRecord link = FindLink(links, "2:5020/100");
    link.Pause = true;
    link.Password.clear();
    ASSERT_FALSE(RewriteLink(dir / "Links.ctl", link));
    EXPECT_EQ(ReadFileBytes(dir / "Links.ctl"), longComment +
                                                    "! 2:5020/200 2:5020/1 PW1 No No No A B 5 DIRECT ; first\r\n"
                                                    "! 2:5020/100 2:5020/1 - Yes No Yes AB - 10 HOLD\r\n"
                                                    "! 2:5020/300 2:5020/1 - No No No A - 0 HOLD\r\n");
    EXPECT_EQ(ReadFileBytes(dir / "links.old"), before);
}

TEST(RewriteLink, UnknownLinkCopiesTheFileAndKeepsABackup) {
    ScratchDir dir;
    WriteFileBytes(dir / "Links.ctl", KeywordFile);
    WriteFileBytes(dir / "links.old", "an older backup");
    LinkRecord link = SampleLink();
    link.Address = "3:1/1";
    ASSERT_FALSE(RewriteLink(dir / "Links.ctl", link));
    EXPECT_EQ(ReadFileBytes(dir / "Links.ctl"), KeywordFile);
    EXPECT_EQ(ReadFileBytes(dir / "links.old"), KeywordFile);
}

TEST(RewriteLink, FailureLeavesTheFileAsItWas) {
    ScratchDir dir;
    WriteFileBytes(dir / "Links.ctl", KeywordFile);
    // The backup cannot be written: a directory holds its name.
    WriteFileBytes(dir / "links.old/keep", "x");
    EXPECT_TRUE(RewriteLink(dir / "Links.ctl", SampleLink()));
    EXPECT_EQ(ReadFileBytes(dir / "Links.ctl"), KeywordFile);
    EXPECT_EQ(ListDir(dir.path), (std::vector<std::string>{"Links.ctl", "links.old"}));
    ScratchDir empty;
    EXPECT_TRUE(RewriteLink(empty / "Links.ctl", SampleLink()));
    EXPECT_TRUE(ListDir(empty.path).empty());
}

}  // namespace
