#include "config/areas.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/utils.h"
#include "testkit.h"

namespace {

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

std::string WithLineEnds(std::string text, const std::string& end) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += end;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

void ExpectSameArea(const AreaRecord& a, const AreaRecord& b) {
    EXPECT_EQ(a.Name, b.Name);
    EXPECT_EQ(a.Path, b.Path);
    EXPECT_EQ(a.Desc, b.Desc);
    EXPECT_EQ(a.CreateFlag, b.CreateFlag);
    EXPECT_EQ(a.Group, b.Group);
    EXPECT_EQ(a.AKA, b.AKA);
    EXPECT_EQ(a.Links, b.Links);
    EXPECT_EQ(a.PassThrough, b.PassThrough);
    EXPECT_EQ(a.SecurityRead, b.SecurityRead);
    EXPECT_EQ(a.SecurityWrite, b.SecurityWrite);
    EXPECT_EQ(a.SecurityShow, b.SecurityShow);
}

AreaRecord FullRecord() {
    AreaRecord area;
    area.Name = "NEW.AREA";
    area.Path = "/srv/files/new/";
    area.Desc = "New files";
    area.CreateFlag = "/tmp/new.flg";
    area.Group = "AB";
    area.AKA = "1:23/4";
    area.Links = "45 .7 2:5020/100";
    area.SecurityRead = 3;
    area.SecurityWrite = 65535;
    area.SecurityShow = 1;
    return area;
}

// ---- Reading ----------------------------------------------------------------

TEST(ReadArea, ReadsEveryFieldWhateverTheCaseOfHeaderAndKeywords) {
    ScratchDir dir;
    WriteFileBytes(dir / "areas.ctl", Sample);

    AreaRecord area = ReadArea(dir / "areas.ctl", "  foo.BAR ");
    EXPECT_EQ(area.Name, "FOO.BAR");
    EXPECT_EQ(area.Path, "/srv/files/foobar/");
    EXPECT_EQ(area.Desc, "Foo and bar files");
    EXPECT_EQ(area.CreateFlag, "/tmp/created.flg");
    EXPECT_EQ(area.Group, "AB");
    EXPECT_EQ(area.AKA, "1:23/4");
    EXPECT_EQ(area.Links, "1:23/45 67 .5");
    EXPECT_EQ(area.SecurityRead, 10);
    EXPECT_EQ(area.SecurityWrite, 20);
    EXPECT_EQ(area.SecurityShow, 5);
    EXPECT_FALSE(area.PassThrough);

    std::vector<std::string> expanded;
    for (const std::string& entry : SplitLinks(area.Links)) expanded.push_back(ExpandLinkEntry(area.AKA, entry));
    EXPECT_EQ(expanded, (std::vector<std::string>{"1:23/45", "1:23/67", "1:23/4.5"}));

    // The block ends at the next AREA line: nothing of it leaks in.
    AreaRecord pass = ReadArea(dir / "areas.ctl", "pass.me");
    EXPECT_EQ(pass.Name, "PASS.ME");
    EXPECT_EQ(pass.Path, "");
    EXPECT_TRUE(pass.PassThrough);
    EXPECT_EQ(pass.Desc, "");
    EXPECT_EQ(pass.AKA, "2:5020/100.1");
    EXPECT_EQ(pass.SecurityRead, 0);

    AreaRecord missing = ReadArea(dir / "areas.ctl", "NO.SUCH");
    EXPECT_EQ(missing.Name, "");
    EXPECT_FALSE(missing.PassThrough);
}

TEST(ReadArea, AcceptsLfCrLfAndBareCrAlike) {
    for (const std::string end : {"\n", "\r\n", "\r"}) {
        ScratchDir dir;
        WriteFileBytes(dir / "areas.ctl", WithLineEnds(Sample, end));
        AreaRecord area = ReadArea(dir / "areas.ctl", "FOO.BAR");
        EXPECT_EQ(area.Name, "FOO.BAR");
        EXPECT_EQ(area.CreateFlag, "/tmp/created.flg");
        EXPECT_EQ(area.Links, "1:23/45 67 .5");
        EXPECT_EQ(ReadArea(dir / "areas.ctl", "PASS.ME").Links, ".2 2:5020/7");
    }
}

TEST(ReadArea, ShortHeaderIsNeverFoundButStillListed) {
    ScratchDir dir;
    WriteFileBytes(dir / "areas.ctl", "AREA XY\r\nPath /a\r\nAREA XYZ\r\nPath /b\r\n");
    EXPECT_EQ(ReadArea(dir / "areas.ctl", "XY").Name, "");
    EXPECT_EQ(ReadArea(dir / "areas.ctl", "XYZ").Path, "/b/");

    std::vector<AreaNameEntry> names;
    int width = 0;
    ASSERT_EQ(ListAreaNames(dir / "areas.ctl", names, width), AreaListDone);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0].Text, " XY  ");
}

TEST(ReadArea, FirstMatchingBlockWinsAndLaterLinesWinInsideIt) {
    ScratchDir dir;
    WriteFileBytes(dir / "areas.ctl",
                   "Path /before/first/area\n"
                   "AREA TWICE\nDesc one\nDesc two\nAKA 1:2/3\nPath\n"
                   "AREA TWICE\nDesc three\nAKA 9:9/9\n");
    AreaRecord area = ReadArea(dir / "areas.ctl", "twice");
    EXPECT_EQ(area.Desc, "two");
    EXPECT_EQ(area.AKA, "1:2/3");
    EXPECT_EQ(area.Path, "");
    EXPECT_TRUE(area.PassThrough);
}

TEST(ReadArea, CutsValuesAndReadsBadLevelsAsZero) {
    ScratchDir dir;
    WriteFileBytes(dir / "areas.ctl",
                   "AREA CUTS\r\nAKA 12345:12345/12345.12345678\r\nSecurityRead ten\r\n"
                   "SecurityWrite 70000\r\nSecurityShow -3\r\n");
    AreaRecord area = ReadArea(dir / "areas.ctl", "CUTS");
    EXPECT_EQ(area.AKA, "12345:12345/12345.123456");
    EXPECT_EQ(area.SecurityRead, 0);
    EXPECT_EQ(area.SecurityWrite, 0);
    EXPECT_EQ(area.SecurityShow, 0);
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
    AreaRecord cut = ReadArea(dir / "cut.ctl", "FOO.BAR");
    EXPECT_EQ(cut.Path, "/x/");
    EXPECT_EQ(cut.Links, "");

    // A 10,000-character line is cut at 255 and the lines after it still count.
    std::string longLine = "Desc " + std::string(10000, 'd');
    WriteFileBytes(dir / "long.ctl", "AREA LONG.ONE\n" + longLine + "\nAKA 1:2/3\nAREA " + std::string(10000, 'T') +
                                         "\nAREA NEXT.ONE\nGroup Q\n");
    AreaRecord area = ReadArea(dir / "long.ctl", "LONG.ONE");
    EXPECT_EQ(area.Desc, std::string(250, 'd'));
    EXPECT_EQ(area.AKA, "1:2/3");
    EXPECT_EQ(ReadArea(dir / "long.ctl", "NEXT.ONE").Group, "Q");

    // An empty tag asks for nothing, even with a bare AREA line in the file.
    WriteFileBytes(dir / "bare.ctl", "AREA          ; no tag\r\nPath /x\r\n");
    EXPECT_EQ(ReadArea(dir / "bare.ctl", "").Name, "");
}

// ---- Lists --------------------------------------------------------------------

TEST(AreaLists, NamesArePaddedToOneWidthInFileOrder) {
    ScratchDir dir;
    WriteFileBytes(dir / "areas.ctl", "Links 1:1/1\nAREA short\nAREA A.Longer.Tag ; c\nAREA mid.tag\n");
    std::vector<AreaNameEntry> names;
    int width = 0;
    ASSERT_EQ(ListAreaNames(dir / "areas.ctl", names, width), AreaListDone);
    EXPECT_EQ(width, 14);
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0].Text, " short        ");
    EXPECT_EQ(names[1].Text, " A.Longer.Tag ");
    EXPECT_EQ(names[2].Text, " mid.tag      ");
    EXPECT_EQ(names[0].Number, 1);
    EXPECT_EQ(names[2].Number, 3);

    names.push_back({"stale", 9});
    EXPECT_EQ(ListAreaNames(dir / "none.ctl", names, width), AreaListNoFile);
    EXPECT_TRUE(names.empty());
}

TEST(AreaLists, LinksListTakesAkaAndLinksOfEachBlockAndCutsThem) {
    ScratchDir dir;
    const std::string longTag(60, 'L');
    WriteFileBytes(dir / "areas.ctl",
                   "AKA 9:9/9\nLINKS 9:9/1\n"
                   "AREA one\r\nLinks 1:2/3  4 ; c\r\nAKA 1:2/1\r\n"
                   "AREA two\r\n"
                   "AREA " + longTag + "\rAKA 12345:12345/12345.123456\r");
    std::vector<AreaLinksEntry> list;
    ASSERT_EQ(ListAreasWithLinks(dir / "areas.ctl", list), AreaListDone);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].Name, "one");
    EXPECT_EQ(list[0].AKA, "1:2/1");
    EXPECT_EQ(list[0].Links, "1:2/3 4");
    EXPECT_EQ(list[1].AKA, "");
    EXPECT_EQ(list[1].Links, "");
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

    AreaRecord bare;
    bare.Name = "BARE";
    EXPECT_EQ(FormatAreaBlock(bare),
              "Area           BARE\r\n"
              "Group          \r\n"
              "AKA            \r\n"
              "Links          \r\n");
}

TEST(AreaBlock, ValuesCannotOpenLinesOfTheirOwn) {
    AreaRecord area;
    area.Name = "EVIL";
    area.Desc = "text\r\nPath /etc\nx";
    const std::string block = FormatAreaBlock(area);
    EXPECT_NE(block.find("Desc           text  Path /etc x\r\n"), std::string::npos);

    ScratchDir dir;
    ASSERT_EQ(AppendArea(dir / "areas.ctl", area), 0);
    EXPECT_TRUE(ReadArea(dir / "areas.ctl", "EVIL").PassThrough);
}

TEST(AreaBlock, LongLinksStillFitOneLine) {
    AreaRecord area = FullRecord();
    area.Links = std::string(249, '7');
    ScratchDir dir;
    ASSERT_EQ(AppendArea(dir / "areas.ctl", area), 0);
    EXPECT_NE(ReadFileBytes(dir / "areas.ctl").find("\r\nLinks " + area.Links + "\r\n"), std::string::npos);
    EXPECT_EQ(ReadArea(dir / "areas.ctl", "NEW.AREA").Links, area.Links);
}

TEST(AreaBlock, AppendCreatesTheFileAndReadsBackTheSameRecord) {
    ScratchDir dir;
    AreaRecord area = FullRecord();
    ASSERT_EQ(AppendArea(dir / "areas.ctl", area), 0);
    AreaRecord pass;
    pass.Name = "PASS";
    pass.Group = "C";
    pass.AKA = "2:5020/100";
    ASSERT_EQ(AppendArea(dir / "areas.ctl", pass), 0);
    EXPECT_EQ(ReadFileBytes(dir / "areas.ctl"), "\r\n" + FormatAreaBlock(area) + "\r\n" + FormatAreaBlock(pass));

    ExpectSameArea(ReadArea(dir / "areas.ctl", "new.area"), area);
    pass.PassThrough = true;
    ExpectSameArea(ReadArea(dir / "areas.ctl", "PASS"), pass);

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
    ExpectSameArea(ReadArea(dir / "areas.ctl", "foo.bar"), area);
}

TEST(ReplaceArea, UnknownAreaLeavesEveryLineAndKeepsLongLinesWhole) {
    ScratchDir dir;
    const std::string longComment = "; " + std::string(1000, 'c');
    WriteFileBytes(dir / "areas.ctl", longComment + "\nAREA ONE\nGroup A\n");
    ASSERT_EQ(ReplaceArea(dir / "areas.ctl", FullRecord()), 0);
    EXPECT_EQ(ReadFileBytes(dir / "areas.ctl"), longComment + "\r\nAREA ONE\r\nGroup A\r\n");
}

TEST(ReplaceArea, RoundTripKeepsEveryValue) {
    ScratchDir dir;
    WriteFileBytes(dir / "areas.ctl", Sample);
    AreaRecord area = ReadArea(dir / "areas.ctl", "FOO.BAR");
    ASSERT_EQ(ReplaceArea(dir / "areas.ctl", area), 0);
    ExpectSameArea(ReadArea(dir / "areas.ctl", "FOO.BAR"), area);

    area.SecurityRead = 0;
    area.SecurityShow = 0;
    area.CreateFlag = "";
    ASSERT_EQ(ReplaceArea(dir / "areas.ctl", area), 0);
    const std::string text = ReadFileBytes(dir / "areas.ctl");
    EXPECT_EQ(text.find("SecurityRead"), std::string::npos);
    EXPECT_EQ(text.find("CreateFlag"), std::string::npos);
    ExpectSameArea(ReadArea(dir / "areas.ctl", "FOO.BAR"), area);
    EXPECT_EQ(ReadArea(dir / "areas.ctl", "PASS.ME").Links, ".2 2:5020/7");
}

TEST(ReplaceArea, RewritesTheFileInItsOwnLetterCase) {
    ScratchDir dir;
    WriteFileBytes(dir / "AREAS.CTL", Sample);
    AreaRecord area = ReadArea(dir / "areas.ctl", "PASS.ME");
    area.Desc = "now described";
    ASSERT_EQ(ReplaceArea(dir / "areas.ctl", area), 0);
    EXPECT_EQ(ListDir(dir.path), (std::vector<std::string>{"AREAS.CTL", "areas.old"}));
    EXPECT_EQ(ReadArea(dir / "AREAS.CTL", "PASS.ME").Desc, "now described");
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
    EXPECT_EQ(ReadArea(dir / "areas.ctl", "THREE").Name, "");
    EXPECT_EQ(ReadArea(dir / "areas.ctl", "ONE").Group, "A");
}

TEST(RewriteFailure, BackupThatCannotBeWrittenLeavesTheListAlone) {
    ScratchDir dir;
    WriteFileBytes(dir / "areas.ctl", Sample);
    MakeDirs(dir / "areas.old");
    AreaRecord area = ReadArea(dir / "areas.ctl", "FOO.BAR");
    area.Links = "";
    EXPECT_EQ(ReplaceArea(dir / "areas.ctl", area), 1);
    EXPECT_EQ(RemoveArea(dir / "areas.ctl", "FOO.BAR"), 1);
    EXPECT_EQ(ReadFileBytes(dir / "areas.ctl"), Sample);
}

TEST(RewriteFailure, NewContentThatCannotBeWrittenLeavesTheListAlone) {
    ScratchDir dir;
    // A name this long leaves no room for the name of a work file beside it.
    const std::string file = dir / std::string(250, 'a');
    WriteFileBytes(file, Sample);
    AreaRecord area = ReadArea(file, "FOO.BAR");
    ASSERT_EQ(area.Name, "FOO.BAR");
    area.Links = "";
    EXPECT_EQ(ReplaceArea(file, area), 1);
    EXPECT_EQ(RemoveArea(file, "PASS.ME"), 1);
    EXPECT_EQ(ReadFileBytes(file), Sample);
    EXPECT_EQ(ListDir(dir.path), (std::vector<std::string>{std::string(250, 'a'), "areas.old"}));
}

TEST(RewriteFailure, MissingListOrEmptyTagChangesNothing) {
    ScratchDir dir;
    EXPECT_EQ(ReplaceArea(dir / "areas.ctl", FullRecord()), 1);
    EXPECT_EQ(RemoveArea(dir / "areas.ctl", "NEW.AREA"), 1);
    EXPECT_TRUE(ListDir(dir.path).empty());

    WriteFileBytes(dir / "areas.ctl", "AREA\r\nGroup A\r\n");
    EXPECT_EQ(RemoveArea(dir / "areas.ctl", "  "), 1);
    EXPECT_EQ(ReadFileBytes(dir / "areas.ctl"), "AREA\r\nGroup A\r\n");
}

// ---- Link entries -------------------------------------------------------------------

TEST(LinkEntries, ExpandRelativeToTheAka) {
    struct Case {
        const char* aka;
        const char* entry;
        const char* full;
    };
    const Case cases[] = {
        {"1:23/4", "45", "1:23/45"},
        {"1:23/4", "45.6", "1:23/45.6"},
        {"1:23/4", "/45", "1:23/45"},
        {"1:23/4", ".7", "1:23/4.7"},
        {"1:23/4.1", ".7", "1:23/4.7"},
        {"1:23/4.1", "67", "1:23/67"},
        {"1:23/4", ".0", "1:23/4"},
        {"1:23/4", "2:5020/100.0", "2:5020/100"},
        {"1:23/4", "2:5020/100.3@fidonet", "2:5020/100.3"},
        {"1:23/4", "45  ", "1:23/45"},
    };
    for (const Case& c : cases) EXPECT_EQ(ExpandLinkEntry(c.aka, c.entry), c.full) << c.aka << " " << c.entry;
}

TEST(LinkEntries, ShortestEntryExpandsBackToTheAddress) {
    struct Case {
        const char* aka;
        const char* address;
        const char* entry;
    };
    const Case cases[] = {
        {"1:23/4", "1:23/4.7", ".7"},
        {"1:23/4.1", "1:23/4.7", ".7"},
        {"1:23/4", "1:23/45", "45"},
        {"1:23/4", "1:23/45.6", "45.6"},
        {"1:23/4", "1:23/4", "4"},
        {"1:23/4", "1:24/4", "1:24/4"},
        {"1:23/4", "2:23/4.7", "2:23/4.7"},
        {"2:5020/100", "2:5020/100.0", "100"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShortLinkEntry(c.aka, c.address), c.entry) << c.aka << " " << c.address;
        EXPECT_EQ(ExpandLinkEntry(c.aka, c.entry), NormalizeAddress(c.address)) << c.aka << " " << c.entry;
    }
}

TEST(LinkEntries, AddFindAndRemoveLinks) {
    AreaRecord area;
    area.AKA = "1:23/4";
    area.Links = "1:23/45  .5 2:5020/1";
    EXPECT_EQ(SplitLinks(area.Links), (std::vector<std::string>{"1:23/45", ".5", "2:5020/1"}));
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

    AreaRecord empty;
    empty.AKA = "1:23/4";
    EXPECT_TRUE(AddLinkToArea(empty, "1:23/4.1"));
    EXPECT_EQ(empty.Links, ".1");

    // The Links line must still read back whole.
    AreaRecord full;
    full.AKA = "1:23/4";
    full.Links = std::string(248, '9');
    EXPECT_FALSE(AddLinkToArea(full, "1:23/5"));
    EXPECT_EQ(full.Links, std::string(248, '9'));
}

TEST(LinkEntries, SharesGroup) {
    EXPECT_TRUE(SharesGroup("AB", "XB"));
    EXPECT_FALSE(SharesGroup("AB", "CD"));
    EXPECT_FALSE(SharesGroup("", "CD"));
    EXPECT_FALSE(SharesGroup("A", ""));
}

}  // namespace
