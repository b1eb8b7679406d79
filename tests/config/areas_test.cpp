#include "config/areas.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/utils.h"
#include "testkit.h"

namespace {

using Names = std::vector<std::string>;

const std::string Sample =
    "; file echoes of the node\r\n"
    "\r\n"
    "area Foo.Bar\r\n"
    "  path /srv/files/foobar ; where it lives\r\n"
    "DESC   Foo and bar files\r\n"
    "Group AB\r\n"
    "AKA 1:23/4\r\n"
    "LINKS 1:23/45   67  .5 ; comment\r\n"
    "SecurityRead 10\r\n"
    "SECURITYWRITE 20\r\n"
    "securityshow 5\r\n"
    "CreateFlag /tmp/created.flg\r\n"
    "\r\n"
    "; next one passes through\r\n"
    "AREA PASS.ME\r\n"
    "Group A\r\n"
    "AKA 2:5020/100.1\r\n"
    "Links .2 2:5020/7\r\n";

// Every field of a record as one line, to compare records whole.
std::string Fields(const AreaRecord& a) {
    return a.Name + "|" + a.Path + "|" + a.Desc + "|" + a.CreateFlag + "|" + a.Group + "|" + a.AKA + "|" + a.Links +
           "|" + std::to_string(a.SecurityRead) + "/" + std::to_string(a.SecurityWrite) + "/" +
           std::to_string(a.SecurityShow) + (a.PassThrough ? "|pass" : "");
}

AreaRecord FullRecord() {
    return {"NEW.AREA", "/srv/files/new/", "New files", "/tmp/new.flg", "AB", "1:23/4", "45 .7 2:5020/100", false, 3,
            65535, 1};
}

AreaRecord Named(const std::string& name, const std::string& group = "", const std::string& aka = "") {
    return {name, "", "", "", group, aka, "", false, 0, 0, 0};
}

// ---- Reading ----------------------------------------------------------------

TEST(ReadArea, EveryFieldWhateverTheCaseAndLineEnds) {
    for (const std::string end : {"\n", "\r\n", "\r"}) {
        SCOPED_TRACE(testing::PrintToString(end));
        ScratchDir dir;
        std::string text = Sample;
        for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += end.size())
            text.replace(at, 2, end);
        WriteFileBytes(dir / "areas.ctl", text);
        AreaRecord area = ReadArea(dir / "areas.ctl", "  foo.BAR ");
        EXPECT_EQ(Fields(area),
                  "FOO.BAR|/srv/files/foobar/|Foo and bar files|/tmp/created.flg|AB|1:23/4|1:23/45 67 .5|10/20/5");
        Names expanded;
        for (const std::string& entry : SplitLinks(area.Links)) expanded.push_back(ExpandLinkEntry(area.AKA, entry));
        EXPECT_EQ(expanded, (Names{"1:23/45", "1:23/67", "1:23/4.5"}));

        // The block ends at the next AREA line: nothing of it leaks in.
        EXPECT_EQ(Fields(ReadArea(dir / "areas.ctl", "pass.me")), "PASS.ME||||A|2:5020/100.1|.2 2:5020/7|0/0/0|pass");
        EXPECT_EQ(Fields(ReadArea(dir / "areas.ctl", "NO.SUCH")), "|||||||0/0/0");
    }
}

TEST(ReadArea, WhichBlockAndWhichLineCounts) {
    ScratchDir dir;
    WriteFileBytes(dir / "areas.ctl",
                   "Path /before/first/area\n"
                   "AREA XY\nPath /a\n"  // a tag this short is never found
                   "AREA TWICE\nDesc one\nDesc two\nAKA 1:2/3\nPath\n"
                   "AREA TWICE\nDesc three\nAKA 9:9/9\n"
                   "AREA CUTS\r\nAKA 12345:12345/12345.12345678\r\nSecurityRead ten\r\n"
                   "SecurityWrite 70000\r\nSecurityShow -3\r\n");
    EXPECT_EQ(ReadArea(dir / "areas.ctl", "XY").Name, "");
    // The first matching block wins; inside it the later line wins.
    EXPECT_EQ(Fields(ReadArea(dir / "areas.ctl", "twice")), "TWICE||two|||1:2/3||0/0/0|pass");
    // Values are cut; bad levels read as zero.
    EXPECT_EQ(Fields(ReadArea(dir / "areas.ctl", "CUTS")), "CUTS|||||12345:12345/12345.123456||0/0/0|pass");
}

TEST(ReadArea, SurvivesBadFiles) {
    ScratchDir dir;
    EXPECT_EQ(ReadArea(dir / "missing.ctl", "FOO.BAR").Name, "");
    WriteFileBytes(dir / "empty.ctl", "");
    EXPECT_EQ(ReadArea(dir / "empty.ctl", "FOO.BAR").Name, "");
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 37) & 0xFF);
    WriteFileBytes(dir / "binary.ctl", binary);
    EXPECT_EQ(ReadArea(dir / "binary.ctl", "FOO.BAR").Name, "");

    // Truncated in the middle of a block, without a final line end.
    WriteFileBytes(dir / "cut.ctl", "AREA FOO.BAR\r\nPath /x\r\nLin");
    EXPECT_EQ(Fields(ReadArea(dir / "cut.ctl", "FOO.BAR")), "FOO.BAR|/x/||||||0/0/0");

    // A 10,000-character line is cut at 255 and the lines after it still count.
    WriteFileBytes(dir / "long.ctl", "AREA LONG.ONE\nDesc " + std::string(10000, 'd') + "\nAKA 1:2/3\nAREA " +
                                         std::string(10000, 'T') + "\nAREA NEXT.ONE\nGroup Q\n");
    EXPECT_EQ(Fields(ReadArea(dir / "long.ctl", "LONG.ONE")),
              "LONG.ONE||" + std::string(250, 'd') + "|||1:2/3||0/0/0|pass");
    EXPECT_EQ(ReadArea(dir / "long.ctl", "NEXT.ONE").Group, "Q");

    // An empty tag asks for nothing, even with a bare AREA line in the file.
    WriteFileBytes(dir / "bare.ctl", "AREA          ; no tag\r\nPath /x\r\n");
    EXPECT_EQ(ReadArea(dir / "bare.ctl", "").Name, "");
}

// ---- Lists --------------------------------------------------------------------

TEST(AreaLists, NamesArePaddedToOneWidthInFileOrder) {
    ScratchDir dir;
    WriteFileBytes(dir / "areas.ctl", "Links 1:1/1\nAREA short\nAREA A.Longer.Tag ; c\nAREA XY\n");
    std::vector<AreaNameEntry> names;
    int width = 0;
    ASSERT_EQ(ListAreaNames(dir / "areas.ctl", names, width), AreaListDone);
    EXPECT_EQ(width, 14);
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0].Text, " short        ");
    EXPECT_EQ(names[1].Text, " A.Longer.Tag ");
    EXPECT_EQ(names[2].Text, " XY           ");  // listed even though never found
    EXPECT_EQ(names[2].Number, 3);
    names.push_back({"stale", 9});
    EXPECT_EQ(ListAreaNames(dir / "none.ctl", names, width), AreaListNoFile);
    EXPECT_TRUE(names.empty());
}

TEST(AreaLists, LinksListTakesAkaAndLinksOfEachBlockAndCutsThem) {
    ScratchDir dir;
    WriteFileBytes(dir / "areas.ctl", "AKA 9:9/9\nLINKS 9:9/1\nAREA one\r\nLinks 1:2/3  4 ; c\r\nAKA 1:2/1\r\n"
                                      "AREA two\r\nAREA " + std::string(60, 'L') + "\rAKA 12345:12345/12345.123456\r");
    std::vector<AreaLinksEntry> list;
    ASSERT_EQ(ListAreasWithLinks(dir / "areas.ctl", list), AreaListDone);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].Name + "|" + list[0].AKA + "|" + list[0].Links, "one|1:2/1|1:2/3 4");
    EXPECT_EQ(list[1].AKA + list[1].Links, "");
    EXPECT_EQ(list[2].Name, std::string(50, 'L'));
    EXPECT_EQ(list[2].AKA, "12345:12345/12345.12345");
    EXPECT_EQ(ListAreasWithLinks(dir / "none.ctl", list), AreaListNoFile);
    EXPECT_TRUE(list.empty());
}

// ---- Canonical form and appending ----------------------------------------------

TEST(AreaBlock, CanonicalFormByteForByte) {
    EXPECT_EQ(FormatAreaBlock(FullRecord()),
              "Area           NEW.AREA\r\n"
              "Path           /srv/files/new/\r\n"
              "Desc           New files\r\n"
              "CreateFlag     /tmp/new.flg\r\n"
              "Group          AB\r\n"
              "SecurityShow   1\r\n"
              "SecurityRead   3\r\n"
              "SecurityWrite  65535\r\n"
              "AKA            1:23/4\r\n"
              "Links          45 .7 2:5020/100\r\n");
    EXPECT_EQ(FormatAreaBlock(Named("BARE")),
              "Area           BARE\r\nGroup          \r\nAKA            \r\nLinks          \r\n");

    // Values cannot open lines of their own.
    AreaRecord evil = Named("EVIL");
    evil.Desc = "text\r\nPath /etc\nx";
    EXPECT_NE(FormatAreaBlock(evil).find("Desc           text  Path /etc x\r\n"), std::string::npos);
    ScratchDir dir;
    ASSERT_EQ(AppendArea(dir / "areas.ctl", evil), 0);
    EXPECT_TRUE(ReadArea(dir / "areas.ctl", "EVIL").PassThrough);
}

TEST(AreaBlock, AppendCreatesTheFileAndReadsBackTheSameRecord) {
    ScratchDir dir;
    AreaRecord area = FullRecord();
    area.Links = std::string(249, '7');  // long links still fit one line
    ASSERT_EQ(AppendArea(dir / "areas.ctl", area), 0);
    AreaRecord pass = Named("PASS", "C", "2:5020/100");
    ASSERT_EQ(AppendArea(dir / "areas.ctl", pass), 0);
    EXPECT_EQ(ReadFileBytes(dir / "areas.ctl"), "\r\n" + FormatAreaBlock(area) + "\r\n" + FormatAreaBlock(pass));
    EXPECT_EQ(Fields(ReadArea(dir / "areas.ctl", "new.area")), Fields(area));
    pass.PassThrough = true;
    EXPECT_EQ(Fields(ReadArea(dir / "areas.ctl", "PASS")), Fields(pass));
    EXPECT_EQ(AppendArea(dir / "no/such/dir/areas.ctl", area), 1);
}

// ---- Rewriting ------------------------------------------------------------------

TEST(ReplaceArea, ReplacingTheLastBlockEndsWithOneEmptyLine) {
    ScratchDir dir;
    const std::string before = "; list\r\nAREA ONE\r\nGroup A\r\n\r\nArea two\r\nGroup B\r\n; inside\r\n";
    WriteFileBytes(dir / "areas.ctl", before);
    AreaRecord area = FullRecord();
    area.Name = "Two";
    ASSERT_EQ(ReplaceArea(dir / "areas.ctl", area), 0);
    area.Name = "TWO";
    EXPECT_EQ(ReadFileBytes(dir / "areas.ctl"),
              "; list\r\nAREA ONE\r\nGroup A\r\n\r\n" + FormatAreaBlock(area) + "\r\n");
    EXPECT_EQ(ReadFileBytes(dir / "areas.old"), before);
}

TEST(ReplaceArea, BlockFollowedByAnotherKeepsThatHeaderAlsoAsLastLine) {
    ScratchDir dir;
    // The header of the next block is the last line and has no line end.
    WriteFileBytes(dir / "areas.ctl", "area Foo.Bar ; old one\nPath /old\n\n; about next\n   Area Next.One  ; keep me");
    AreaRecord area = ReadArea(dir / "areas.ctl", "FOO.BAR");
    area.Name = "foo.bar";
    area.Links = "45";
    area.AKA = "1:23/4";
    ASSERT_EQ(ReplaceArea(dir / "areas.ctl", area), 0);
    area.Name = "FOO.BAR";
    EXPECT_EQ(ReadFileBytes(dir / "areas.ctl"), FormatAreaBlock(area) + "\r\n   Area Next.One  ; keep me\r\n");
}

TEST(ReplaceArea, UnknownAreaLeavesEveryLineAndKeepsLongLinesWhole) {
    ScratchDir dir;
    const std::string longComment = "; " + std::string(1000, 'c');
    WriteFileBytes(dir / "areas.ctl", longComment + "\nAREA ONE\nGroup A\n");
    ASSERT_EQ(ReplaceArea(dir / "areas.ctl", FullRecord()), 0);
    EXPECT_EQ(ReadFileBytes(dir / "areas.ctl"), longComment + "\r\nAREA ONE\r\nGroup A\r\n");
}

TEST(ReplaceArea, RoundTripKeepsEveryValueAndTheFilesLetterCase) {
    ScratchDir dir;
    WriteFileBytes(dir / "AREAS.CTL", Sample);
    AreaRecord area = ReadArea(dir / "areas.ctl", "FOO.BAR");
    ASSERT_EQ(ReplaceArea(dir / "areas.ctl", area), 0);
    EXPECT_EQ(Fields(ReadArea(dir / "AREAS.CTL", "FOO.BAR")), Fields(area));
    EXPECT_EQ(ListDir(dir.path), (Names{"AREAS.CTL", "areas.old"}));

    area.SecurityRead = area.SecurityShow = 0;
    area.CreateFlag = "";
    ASSERT_EQ(ReplaceArea(dir / "areas.ctl", area), 0);
    const std::string text = ReadFileBytes(dir / "AREAS.CTL");
    EXPECT_EQ(text.find("SecurityRead"), std::string::npos);
    EXPECT_EQ(text.find("CreateFlag"), std::string::npos);
    EXPECT_EQ(Fields(ReadArea(dir / "areas.ctl", "FOO.BAR")), Fields(area));
    EXPECT_EQ(ReadArea(dir / "areas.ctl", "PASS.ME").Links, ".2 2:5020/7");
}

TEST(RemoveArea, KeepsWhatStandsBeforeTheBlockAndDropsWhatIsInside) {
    ScratchDir dir;
    WriteFileBytes(dir / "areas.ctl",
                   "AREA ONE\nGroup A\n\n; before two\nAREA TWO\nGroup B\n; inside two\n\nAREA THREE\nGroup C\n");
    ASSERT_EQ(RemoveArea(dir / "areas.ctl", " two "), 0);
    EXPECT_EQ(ReadFileBytes(dir / "areas.ctl"),
              "AREA ONE\r\nGroup A\r\n\r\n; before two\r\n\r\nAREA THREE\r\nGroup C\r\n");
    ASSERT_EQ(RemoveArea(dir / "areas.ctl", "THREE"), 0);
    EXPECT_EQ(ReadFileBytes(dir / "areas.ctl"), "AREA ONE\r\nGroup A\r\n\r\n; before two\r\n\r\n\r\n");
    EXPECT_EQ(ReadArea(dir / "areas.ctl", "ONE").Group, "A");
}

TEST(RewriteFailure, ListStaysAsItWas) {
    ScratchDir dir;
    WriteFileBytes(dir / "areas.ctl", Sample);
    AreaRecord area = ReadArea(dir / "areas.ctl", "FOO.BAR");
    area.Links = "";
    // The backup cannot be written: a directory holds its name.
    MakeDirs(dir / "areas.old");
    EXPECT_EQ(ReplaceArea(dir / "areas.ctl", area), 1);
    EXPECT_EQ(RemoveArea(dir / "areas.ctl", "FOO.BAR"), 1);
    EXPECT_EQ(ReadFileBytes(dir / "areas.ctl"), Sample);

    // The new content cannot be written: a name this long leaves no room for
    // the name of a work file beside it.
    ScratchDir other;
    const std::string file = other / std::string(250, 'a');
    WriteFileBytes(file, Sample);
    ASSERT_EQ(ReadArea(file, "FOO.BAR").Name, "FOO.BAR");
    EXPECT_EQ(ReplaceArea(file, area), 1);
    EXPECT_EQ(RemoveArea(file, "PASS.ME"), 1);
    EXPECT_EQ(ReadFileBytes(file), Sample);
    EXPECT_EQ(ListDir(other.path), (Names{std::string(250, 'a'), "areas.old"}));

    // A missing list or an empty tag changes nothing.
    ScratchDir empty;
    EXPECT_EQ(ReplaceArea(empty / "areas.ctl", FullRecord()), 1);
    EXPECT_EQ(RemoveArea(empty / "areas.ctl", "NEW.AREA"), 1);
    EXPECT_TRUE(ListDir(empty.path).empty());
    WriteFileBytes(empty / "areas.ctl", "AREA\r\nGroup A\r\n");
    EXPECT_EQ(RemoveArea(empty / "areas.ctl", "  "), 1);
    EXPECT_EQ(ReadFileBytes(empty / "areas.ctl"), "AREA\r\nGroup A\r\n");
}

// ---- Link entries -------------------------------------------------------------------

TEST(LinkEntries, ExpandAndShorten) {
    const struct {
        const char *aka, *entry, *full;
    } expand[] = {
        {"1:23/4", "/45", "1:23/45"},     {"1:23/4.1", "67", "1:23/67"},   {"1:23/4", ".0", "1:23/4"},
        {"1:23/4", "2:5020/100.0", "2:5020/100"}, {"1:23/4", "2:5020/100.3@fidonet", "2:5020/100.3"},
        {"1:23/4", "45  ", "1:23/45"},
    };
    for (const auto& c : expand) EXPECT_EQ(ExpandLinkEntry(c.aka, c.entry), c.full) << c.aka << " " << c.entry;
    // The shortest entry expands back to the address.
    const struct {
        const char *aka, *address, *entry;
    } shorten[] = {
        {"1:23/4", "1:23/4.7", ".7"},     {"1:23/4.1", "1:23/4.7", ".7"},  {"1:23/4", "1:23/45", "45"},
        {"1:23/4", "1:23/45.6", "45.6"},  {"1:23/4", "1:23/4", "4"},       {"1:23/4", "1:24/4", "1:24/4"},
        {"1:23/4", "2:23/4.7", "2:23/4.7"}, {"2:5020/100", "2:5020/100.0", "100"},
    };
    for (const auto& c : shorten) {
        SCOPED_TRACE(std::string(c.aka) + " " + c.address);
        EXPECT_EQ(ShortLinkEntry(c.aka, c.address), c.entry);
        EXPECT_EQ(ExpandLinkEntry(c.aka, c.entry), NormalizeAddress(c.address));
    }
}

TEST(LinkEntries, AddFindAndRemoveLinksAndGroups) {
    AreaRecord area = Named("", "", "1:23/4");
    area.Links = "1:23/45  .5 2:5020/1";
    EXPECT_EQ(SplitLinks(area.Links), (Names{"1:23/45", ".5", "2:5020/1"}));
    EXPECT_TRUE(AreaHasLink(area, "1:23/4.5"));
    EXPECT_TRUE(AreaHasLink(area, "1:23/45.0"));
    EXPECT_FALSE(AreaHasLink(area, "1:23/4"));
    EXPECT_FALSE(AddLinkToArea(area, "1:23/45"));
    EXPECT_TRUE(AddLinkToArea(area, "1:23/4.6"));
    EXPECT_TRUE(AddLinkToArea(area, "1:23/99"));
    EXPECT_EQ(area.Links, "1:23/45  .5 2:5020/1 .6 99");
    EXPECT_TRUE(RemoveLinkFromArea(area, "1:23/45"));
    EXPECT_FALSE(RemoveLinkFromArea(area, "1:23/45"));
    EXPECT_EQ(area.Links, ".5 2:5020/1 .6 99");
    EXPECT_TRUE(RemoveLinkFromArea(area, "1:23/99"));
    EXPECT_EQ(area.Links, ".5 2:5020/1 .6");

    AreaRecord empty = Named("", "", "1:23/4");
    EXPECT_TRUE(AddLinkToArea(empty, "1:23/4.1"));
    EXPECT_EQ(empty.Links, ".1");
    // The Links line must still read back whole.
    empty.Links = std::string(248, '9');
    EXPECT_FALSE(AddLinkToArea(empty, "1:23/5"));
    EXPECT_EQ(empty.Links, std::string(248, '9'));

    EXPECT_TRUE(SharesGroup("AB", "XB"));
    EXPECT_FALSE(SharesGroup("AB", "CD"));
    EXPECT_FALSE(SharesGroup("", "CD"));
}

}  // namespace
