// BRENMOOR.CTL's defaults and value handling, the area list's link entries,
// lookups and rewrites, and the rewrite of a link. What a toss shows of the
// control files is in the scenarios.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "config/areas.h"
#include "config/links.h"
#include "config/mainconfig.h"
#include "frame/catalogue.h"
#include "frame/console.h"
#include "testkit.h"

namespace {

MainConfig LoadConfig(const std::string& text) {
    static std::string screen;
    InitConsoleForTest(80, 25, false, &screen);
    ScratchDir dir;
    WriteFileBytes(dir / "BRENMOOR.CTL", text);
    MainConfig config;
    LoadMainConfig(dir / "BRENMOOR.CTL", config);
    return config;
}

using Field = std::function<std::string(const MainConfig&)>;
std::string Bool(bool value) { return value ? "Yes" : "No"; }
std::string Mode(OutboundMode mode) {
    const auto index = static_cast<std::size_t>(mode);
    return index < std::size(OutboundModeWords) ? std::string(OutboundModeWords[index]) : "unknown";
}
std::string Durable(Durability durability) { return durability == Durability::None ? "NONE" : "FULL"; }

TEST(MainConfig, EveryDefault) {
    const MainConfig c = LoadConfig("");
    const struct {
        const char* keyword;
        std::string value;
        const char* expected;
    } defaults[] = {
        {"MODE", Mode(c.mode), "AMA"},                      {"DESCMODE", c.descMode, "DESC"},
        {"EXECUTEMODE", c.executeMode, "WINDOW"},     {"DEFAULTDESC", c.defaultDesc, "Description not available"},
        {"REMOTEPROGRAM", c.remoteProgram, "AllFix"}, {"MESSAGEATTRDIR", c.messageAttrDir, "DIR PVT LOC K/S"},
        {"MESSAGEATTRHLD", c.messageAttrHld, "HLD PVT LOC K/S"}, {"INTERFACE", c.interface, "STANDART"},
        {"SORTBY", c.sortBy, "EXT"},                  {"BASEDIR", c.baseDir, "/"},
        {"INBOUND", c.inbound, ""},                   {"DUPEDIR", c.dupeDir, ""},
        {"DESCFILE", c.descFile, ""},                 {"LONGDESCCHARS", c.longDescChars, ""},
        {"SEMAPHORES", c.semaphores, ""},             {"LOGNAME", c.logName, ""},
        {"ADDRESS", c.mainAddress, ""},               {"GROUP1", c.fileGroups[0], ""},
        {"MSGMAXLINES", std::to_string(c.msgMaxLines), "400"}, {"DLCPOS", std::to_string(c.dlcPos), "14"},
        {"DESCPOS", std::to_string(c.descPos), "14"}, {"MAXDUPEREC", std::to_string(c.maxDupeRec), "1"},
        {"SEPARATOR", std::to_string(c.separator), "0"},
        {"BSYWAIT", std::to_string(c.bsyWait), "10"}, {"BSYSTALE", std::to_string(c.bsyStale), "600"},
        {"LFNCHANGEPOINT", Bool(c.lfnChangePoint), "Yes"}, {"LFN", Bool(c.lfn), "No"},
        {"USEEXT", Bool(c.useExt), "No"},             {"AUTOADDINGPLUS", Bool(c.autoAddingPlus), "No"},
        {"DELBADTIC", Bool(c.delBadTic), "No"},       {"CALCULATIONCRC", Bool(c.calculationCrc), "No"},
        {"WAITFILE", Bool(c.waitFile), "No"},         {"REPLACES", Bool(c.replaces), "No"},
        {"DURABILITY", Durable(c.durability), "FULL"},
        {"ANNOUNCEPASSTROUGH", Bool(c.announcePassThrough), "No"},
        {"USEGROUPCOMMENT", Bool(c.useGroupComment), "No"}, {"USETOBESENTFILE", Bool(c.useToBeSentFile), "No"},
    };
    for (const auto& d : defaults) EXPECT_EQ(d.value, d.expected) << d.keyword;
    EXPECT_TRUE(c.addresses.empty() && c.aliases.empty());
}

TEST(MainConfig, Values) {
    const struct {
        std::string lines;
        Field field;
        std::string expected;
    } cases[] = {
        // Quotes, numbers and switches.
        {"LONGDESCCHARS '  +'", [](auto& c) { return c.longDescChars; }, "  +"},
        {"LONGDESCCHARS ''x''", [](auto& c) { return c.longDescChars; }, "'x'"},
        {"SEPARATOR ','", [](auto& c) { return std::string(1, c.separator); }, ","},
        {"SEPARATOR ''", [](auto& c) { return std::to_string(c.separator); }, "0"},
        {"DLCPOS 0\nDESCPOS 0", [](auto& c) { return std::to_string(c.dlcPos) + "/" + std::to_string(c.descPos); },
         "14/0"},
        {"DLCPOS -3\nDESCPOS 300", [](auto& c) { return std::to_string(c.dlcPos) + "/" + std::to_string(c.descPos); },
         "14/0"},
        {"MSGMAXLINES 12x", [](auto& c) { return std::to_string(c.msgMaxLines); }, "0"},
        {"MSGMAXLINES 70000", [](auto& c) { return std::to_string(c.msgMaxLines); }, "0"},
        {"MAXDUPEREC 5000", [](auto& c) { return std::to_string(c.maxDupeRec); }, "5000"},
        {"MAXDUPEREC 99999999999", [](auto& c) { return std::to_string(c.maxDupeRec); }, "0"},
        // 0 turns the age of a link's .bsy off; a negative age would make every .bsy stale.
        {"BSYSTALE 0\nBSYWAIT 3", [](auto& c) { return std::to_string(c.bsyStale) + "/" + std::to_string(c.bsyWait); },
         "0/3"},
        {"BSYSTALE -5", [](auto& c) { return std::to_string(c.bsyStale); }, "0"},
        {"DELBADTIC yes\nWAITFILE +\nLFN YES\nUSEEXT 1\nREPLACES\nLFNCHANGEPOINT no",
         [](auto& c) {
             return Bool(c.delBadTic) + Bool(c.waitFile) + Bool(c.lfn) + Bool(c.useExt) + Bool(c.replaces) +
                    Bool(c.lfnChangePoint);
         },
         "YesYesYesNoNoNo"},
        // A TAB separates like a blank; comments and short lines count for nothing.
        {"CALCULATIONCRC\tYes\n;WAITFILE yes\nab", [](auto& c) { return Bool(c.calculationCrc) + Bool(c.waitFile); },
         "YesNo"},
        // Texts cut to their fields, mode words upper-cased.
        {"DESCFILE files.bbs.longer.name", [](auto& c) { return c.descFile; }, "files.bbs.lo"},
        {"DEFAULTDESC " + std::string(100, 'd'), [](auto& c) { return c.defaultDesc; }, std::string(80, 'd')},
        {"REMOTEPROGRAM VeryLongRobotName", [](auto& c) { return c.remoteProgram; }, "VeryLongRobo"},
        {"INTERFACE standard-plain\nSORTBY extension", [](auto& c) { return c.interface + "/" + c.sortBy; },
         "STANDARD/EXTENS"},
        {"LONGDESCCHARS '" + std::string(30, '+') + "'", [](auto& c) { return c.longDescChars; },
         std::string(20, '+')},
        {"ORIGIN " + std::string(10000, 'o'), [](auto& c) { return c.origin; }, std::string(255 - 7, 'o')},
        {"mode bink\nDescMode smart\nMessageAttrDir dir pvt",
         [](auto& c) { return Mode(c.mode) + "/" + c.descMode + "/" + c.messageAttrDir; }, "BINK/SMART/dir pvt"},
        // Empty values overwrite the defaults; only some come back.
        {"REMOTEPROGRAM\nMODE\nDESCMODE\nMESSAGEATTRHLD\nDEFAULTDESC",
         [](auto& c) {
             return c.remoteProgram + "/" + Mode(c.mode) + "/" + c.descMode + "/" + c.messageAttrHld + "/" + c.defaultDesc;
         },
         "Brenmoor/AMA//HLD PVT LOC K/S/Description not available"},
        // Lists, file groups, line ends, binary junk.
        {"ADDRESS 2:5020/100\nADDRESS 2:5020/100.1\nAddress garbage",
         [](auto& c) {
             std::string text = c.mainAddress;
             for (const FidoAddress& a : c.addresses) text += " " + FormatAddress(a);
             return text;
         },
         "2:5020/100 2:5020/100 2:5020/100.1 0:0/0"},
        {"Alias FileFix\nALIAS Brenmoor", [](auto& c) { return c.aliases[0] + "/" + c.aliases[1]; },
         "FILEFIX/BRENMOOR"},
        {"GROUP1 zip,rar\nGROUP2 ,ARJ,\nGroup7 Txt\nGROUP8 exe",
         [](auto& c) { return c.fileGroups[0] + c.fileGroups[1] + c.fileGroups[2] + c.fileGroups[6]; },
         ",ZIP,RAR,,ARJ,,TXT,"},
        {"ORIGIN a b\rSORTBY name\r\nDESCFILE x.bbs",
         [](auto& c) { return c.origin + "/" + c.sortBy + "/" + c.descFile; }, "a b/NAME/x.bbs"},
        {std::string("\x01\xFF\0junk\xFE\n", 9) + "MODE FILEBOX", [](auto& c) { return Mode(c.mode); }, "FILEBOX"},
        {"MODE Binkley", [](auto& c) { return Mode(c.mode); }, "unknown"},
        // Only the word None gives up syncing: anything else is the safe default.
        {"Durability none", [](auto& c) { return Durable(c.durability); }, "NONE"},
        {"DURABILITY None\nDurability Sometimes", [](auto& c) { return Durable(c.durability); }, "FULL"},
        {"DURABILITY None\nDurability", [](auto& c) { return Durable(c.durability); }, "FULL"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.field(LoadConfig(c.lines)), c.expected) << c.lines.substr(0, 60);
}

// ---- Area list -----------------------------------------------------------------

std::string Fields(const AreaRecord& a) {
    return a.Name + "|" + a.Path + "|" + a.Desc + "|" + a.CreateFlag + "|" + a.Group + "|" + a.AKA + "|" + a.Links +
           "|" + std::to_string(a.SecurityRead) + "/" + std::to_string(a.SecurityWrite) + "/" +
           std::to_string(a.SecurityShow) + (a.PassThrough ? "|pass" : "");
}

TEST(AreaList, Lookups) {
    AreaIndexes indexes;
    const std::string file =
        "Path /before/first/area\n"
        "area Foo.Bar\r\n  path /srv/foobar ; where it lives\r\nDESC   Foo files\r\nGroup AB\r\nAKA 1:23/4\r\n"
        "LINKS 1:23/45   67  .5 ; comment\r\nSecurityRead 10\r\nSECURITYWRITE 20\r\nsecurityshow 5\r\n"
        "CreateFlag /tmp/created.flg\r\n"
        "AREA XY\nPath /a\n"  // a header this short is never found
        "AREA XYZ\nPath /b\n"
        "AREA TWICE\nDesc one\nDesc two\nAKA 1:2/3\nPath\n"
        "AREA TWICE\nDesc three\n"
        "AREA CUTS\rAKA 12345:12345/12345.12345678\rSecurityRead ten\rSecurityWrite 70000\r"
        "AREA LONG\nDesc " + std::string(10000, 'd') + "\nGroup Q\nAREA CUT.OFF\r\nPath /x\r\nLin";
    const struct {
        const char* tag;
        std::string fields;
    } cases[] = {
        {"  foo.BAR ", "FOO.BAR|/srv/foobar/|Foo files|/tmp/created.flg|AB|1:23/4|1:23/45 67 .5|10/20/5"},
        {"XY", "|||||||0/0/0"},
        {"xyz", "XYZ|/b/||||||0/0/0"},
        {"TWICE", "TWICE||two|||1:2/3||0/0/0|pass"},  // the first block wins, the later line in it
        {"CUTS", "CUTS|||||12345:12345/12345.123456||0/0/0|pass"},
        {"LONG", "LONG||" + std::string(250, 'd') + "||Q|||0/0/0|pass"},
        {"CUT.OFF", "CUT.OFF|/x/||||||0/0/0"},
        {"", "|||||||0/0/0"},
    };
    ScratchDir dir;
    WriteFileBytes(dir / "areas.ctl", file);
    for (const auto& c : cases) EXPECT_EQ(Fields(ReadArea(indexes, dir / "areas.ctl", c.tag)), c.fields) << c.tag;
    EXPECT_EQ(ReadArea(indexes, dir / "missing.ctl", "FOO.BAR").Name, "");

    std::vector<AreaNameEntry> names;
    int width = 0;
    ASSERT_EQ(ListAreaNames(dir / "areas.ctl", names, width), AreaListDone);
    ASSERT_EQ(names.size(), 8u);
    EXPECT_EQ(width, 9);
    EXPECT_EQ(names[0].Text + "|" + names[1].Text + "|" + std::to_string(names[7].Number), " Foo.Bar | XY      |8");
    std::vector<AreaLinksEntry> links;
    ASSERT_EQ(ListAreasWithLinks(dir / "areas.ctl", links), AreaListDone);
    ASSERT_EQ(links.size(), 8u);
    EXPECT_EQ(links[0].Name + "|" + links[0].AKA + "|" + links[0].Links, "Foo.Bar|1:23/4|1:23/45 67 .5");
    EXPECT_EQ(links[5].AKA, "12345:12345/12345.12345");
    EXPECT_EQ(ListAreaNames(dir / "none.ctl", names, width), AreaListNoFile);
    EXPECT_TRUE(names.empty());
}

TEST(AreaList, Rewrites) {
    AreaIndexes indexes;
    AreaRecord two{"two", "/srv/two/", "Two files", "", "B", "1:23/4", "45 .7", false, 3, 0, 0};
    const std::string block = "Area           TWO\r\nPath           /srv/two/\r\nDesc           Two files\r\n"
                              "Group          B\r\nSecurityRead   3\r\nAKA            1:23/4\r\nLinks          45 .7\r\n";
    const std::string longComment = "; " + std::string(1000, 'c');
    const std::string bom = "\xEF\xBB\xBF";
    const struct {
        std::string before;
        bool remove;
        std::string after;
    } cases[] = {
        // Only the lines whose values change: comments, unknown keywords,
        // a byte-order mark and the line ends stay as they are.
        {bom + "; list\narea Two ; the second\n  path /srv/two ; here\nDesc Two files\nModerator Joe\nGroup B\n"
               "SecurityRead 3\nAKA 1:23/4\nLinks   45   ; who\nReplaces yes\n\n; next\nArea THREE\n",
         false,
         bom + "; list\narea Two ; the second\n  path /srv/two ; here\nDesc Two files\nModerator Joe\nGroup B\n"
               "SecurityRead 3\nAKA 1:23/4\nLinks   45 .7   ; who\nReplaces yes\n\n; next\nArea THREE\n"},
        // Missing lines go after the block's last keyword line, in the first
        // line's line end; a last line without its end gets one first.
        {"; list\r\nArea two\nGroup B\n; inside\n", false,
         "; list\r\nArea two\nGroup B\nPath           /srv/two/\r\nDesc           Two files\r\nSecurityRead   3\r\n"
         "AKA            1:23/4\r\nLinks          45 .7\r\n; inside\n"},
        {"AREA TWO\rGroup B", false,
         "AREA TWO\rGroup B\rPath           /srv/two/\rDesc           Two files\rSecurityRead   3\r"
         "AKA            1:23/4\rLinks          45 .7\r"},
        // The later of two lines is the value; a value that no longer fits
        // its padding within a line loses the padding; a value gone leaves
        // its keyword and comment.
        {"AREA TWO\nPath /srv/two\nDesc Two files\nGroup B\nSecurityRead 3\nSecurityWrite 9 ; no more\nAKA 1:23/4\n"
         "Links 1\nLinks" + std::string(246, ' ') + "45\n",
         false,
         "AREA TWO\nPath /srv/two\nDesc Two files\nGroup B\nSecurityRead 3\nSecurityWrite ; no more\nAKA 1:23/4\n"
         "Links 1\nLinks 45 .7\n"},
        // Only the first block of a tag is the area: a second one stays.
        {"AREA TWO\nGroup A\n\nAREA TWO\nGroup B\n", false,
         "AREA TWO\nGroup B\nPath           /srv/two/\nDesc           Two files\nSecurityRead   3\n"
         "AKA            1:23/4\nLinks          45 .7\n\nAREA TWO\nGroup B\n"},
        // Lines the rewrite does not touch stay whole, long ones too.
        {longComment + "\r\nAREA TWO\r\nGroup A\r\n", false,
         longComment + "\r\nAREA TWO\r\nGroup B\r\nPath           /srv/two/\r\nDesc           Two files\r\n"
                       "SecurityRead   3\r\nAKA            1:23/4\r\nLinks          45 .7\r\n"},
        // Removing keeps what stands before the block and drops what is inside.
        {"AREA ONE\nGroup A\n\n; before two\nAREA TWO\nGroup B\n; inside two\n\nAREA THREE\nGroup C\n", true,
         "AREA ONE\nGroup A\n\n; before two\n\nAREA THREE\nGroup C\n"},
        {"AREA ONE\r\nGroup A\r\nAREA TWO\r\nGroup B\r\n", true, "AREA ONE\r\nGroup A\r\n\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before.substr(0, 30));
        ScratchDir dir;
        WriteFileBytes(dir / "Areas.CTL", c.before);
        EXPECT_EQ(c.remove ? RemoveArea(indexes, dir / "areas.ctl", " two ")
                           : ReplaceArea(indexes, dir / "areas.ctl", two),
                  0);
        EXPECT_EQ(ReadFileBytes(dir / "Areas.CTL"), c.after);
        EXPECT_EQ(ReadFileBytes(dir / "areas.old"), c.before);
        if (!c.remove) {
            AreaRecord back = two;
            back.Name = "TWO";
            EXPECT_EQ(Fields(ReadArea(indexes, dir / "areas.ctl", "TWO")), Fields(back));
        }
    }
    // The rewritten block reads back as the record; a failed rewrite (the
    // backup cannot be written) leaves the list as it was.
    ScratchDir dir;
    WriteFileBytes(dir / "areas.ctl", block);
    two.Name = "TWO";
    EXPECT_EQ(Fields(ReadArea(indexes, dir / "areas.ctl", "TWO")), Fields(two));
    WriteFileBytes(dir / "areas.old/keep", "");
    EXPECT_EQ(RemoveArea(indexes, dir / "areas.ctl", "TWO"), 1);
    EXPECT_EQ(ReadFileBytes(dir / "areas.ctl"), block);
    EXPECT_EQ(RemoveArea(indexes, dir / "areas.ctl", "  "), 1);
    // An area that is not there changes nothing, not even the line ends.
    WriteFileBytes(dir / "areas.ctl", "AREA ONE\nGroup A\n");
    EXPECT_EQ(RemoveArea(indexes, dir / "areas.ctl", "TWO"), 0);
    EXPECT_EQ(ReadFileBytes(dir / "areas.ctl"), "AREA ONE\nGroup A\n");
}

// A new block takes the line end of the file's first line and starts on a
// line of its own.
TEST(AreaList, AppendKeepsTheLineEnds) {
    AreaIndexes indexes;
    const AreaRecord area{"NEW.ONE", "", "", "", "A", "1:2/3", "4", true, 0, 0, 0};
    const struct {
        std::string before;
        bool exists;
        std::string after;
    } cases[] = {
        {"", false, "\r\nArea           NEW.ONE\r\nGroup          A\r\nAKA            1:2/3\r\nLinks          4\r\n"},
        {"; list\nAREA OLD\nGroup A", true,
         "; list\nAREA OLD\nGroup A\n\nArea           NEW.ONE\nGroup          A\nAKA            1:2/3\nLinks          4\n"},
        {"\xEF\xBB\xBF; list\rAREA OLD\r", true,
         "\xEF\xBB\xBF; list\rAREA OLD\r\rArea           NEW.ONE\rGroup          A\rAKA            1:2/3\rLinks          4\r"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        ScratchDir dir;
        if (c.exists) WriteFileBytes(dir / "areas.ctl", c.before);
        ASSERT_EQ(AppendArea(indexes, dir / "areas.ctl", area), 0);
        EXPECT_EQ(ReadFileBytes(dir / "areas.ctl"), c.after);
    }
    // A Path line must read back whole.
    EXPECT_TRUE(AreaPathFits("files/" + std::string(243, 'x') + "/"));
    EXPECT_FALSE(AreaPathFits("files/" + std::string(244, 'x') + "/"));
}

// A lookup after the first reads one block where the index says it lies:
// the index must follow every change, the program's own and others'.
TEST(AreaList, LookupsFollowTheFile) {
    AreaIndexes indexes;
    ScratchDir dir;
    const std::string file = dir / "areas.ctl";
    auto path = [&](const std::string& tag) { return ReadArea(indexes, file, tag).Path; };
    const AreaRecord added{"NEW.ONE", "/new/", "", "", "A", "1:2/3", "", false, 0, 0, 0};
    const struct {
        const char* what;
        std::function<void()> change;
        std::vector<std::pair<std::string, std::string>> found;  // tag, its Path
    } steps[] = {
        {"read first", [&] { WriteFileBytes(file, "AREA ONE\nPath /one\nAREA TWO\nPath /two"); },
         {{"ONE", "/one/"}, {"TWO", "/two/"}, {"NEW.ONE", ""}}},
        {"own append after a last line without its end", [&] { ASSERT_EQ(AppendArea(indexes, file, added), 0); },
         {{"TWO", "/two/"}, {"NEW.ONE", "/new/"}}},
        {"own rewrite", [&] { ASSERT_EQ(RemoveArea(indexes, file, "ONE"), 0); },
         {{"ONE", ""}, {"TWO", "/two/"}, {"NEW.ONE", "/new/"}}},
        {"rewritten by another program, blocks moved",
         [&] { WriteFileBytes(file, "; moved\r\nAREA TWO\r\nPath /two.b\r\nAREA ONE\r\nPath /back\r\n"); },
         {{"ONE", "/back/"}, {"TWO", "/two.b/"}, {"NEW.ONE", ""}}},
        {"appended to by another program", [&] { WriteFileBytes(file, ReadFileBytes(file) + "AREA ONE\r\nPath /second\r\nAREA THREE\r\nPath /3\r\n"); },
         {{"ONE", "/back/"}, {"THREE", "/3/"}}},
        {"own append beside another's", [&] { ASSERT_EQ(AppendArea(indexes, file, added), 0); },
         {{"THREE", "/3/"}, {"NEW.ONE", "/new/"}, {"TWO", "/two.b/"}}},
        {"gone", [&] { std::remove(file.c_str()); }, {{"TWO", ""}}},
        {"back", [&] { WriteFileBytes(file, "AREA TWO\nPath /again\n"); }, {{"TWO", "/again/"}, {"THREE", ""}}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        for (int round = 0; round < 2; ++round)  // the second round from the index
            for (const auto& [tag, expected] : step.found) EXPECT_EQ(path(tag), expected) << tag;
    }
}

// One copy of the list takes many changes and is written once; every
// lookup sees the changes before it.
TEST(AreaList, ChangesInMemoryAreWrittenOnce) {
    AreaIndexes indexes;
    ScratchDir dir;
    const std::string before = "; head\nArea ONE\nGroup A\n\nArea TWO\nGroup B\n\nArea ONE\nGroup C\nArea X\n";
    WriteFileBytes(dir / "areas.ctl", before);
    AreaList list;
    ASSERT_EQ(LoadAreaList(dir / "Areas.Ctl", list), 0);
    EXPECT_EQ(FindArea(list, "one").Group, "A");
    EXPECT_TRUE(FindArea(list, "X").Name.empty());  // too short to be read
    DropArea(list, "ONE");
    EXPECT_EQ(FindArea(list, "ONE").Group, "C");  // the second block is found now
    AreaRecord two = FindArea(list, "TWO");
    two.Links = "10";
    StoreArea(list, two);
    AreaRecord three{"Three", "", "", "", "A", "2:9999/1", "20", true, 0, 0, 0};
    AddArea(list, three);
    EXPECT_EQ(FindArea(list, "THREE").Links, "20");
    EXPECT_EQ(AreaTags(list), (std::vector<std::string>{"TWO", "ONE", "X", "THREE"}));
    EXPECT_EQ(ReadFileBytes(dir / "areas.ctl"), before);
    ASSERT_EQ(SaveAreaList(indexes, list), 0);
    EXPECT_EQ(ReadFileBytes(dir / "areas.old"), before);
    EXPECT_EQ(ReadFileBytes(dir / "areas.ctl"),
              "; head\n\nArea TWO\nGroup B\nLinks          10\n\nArea ONE\nGroup C\nArea X\n\n"
              "Area           THREE\nGroup          A\nAKA            2:9999/1\nLinks          20\n");
    EXPECT_EQ(FindArea(list, "three").Links, "20");  // the list goes on as written
}

TEST(AreaList, LinkEntries) {
    const struct {
        const char *aka, *entry, *full;
    } expand[] = {
        {"1:23/4", "/45", "1:23/45"},   {"1:23/4.1", "67", "1:23/67"},  {"1:23/4", ".0", "1:23/4"},
        {"1:23/4", ".5", "1:23/4.5"},   {"1:23/4.1", ".5", "1:23/4.5"}, {"1:23/4", "45.6", "1:23/45.6"},
        {"1:23/4", "2:5020/100.0", "2:5020/100"}, {"1:23/4", "2:5020/100.3@fidonet", "2:5020/100.3"},
        {"1:23/4", "45  ", "1:23/45"},
    };
    for (const auto& c : expand) EXPECT_EQ(ExpandLinkEntry(c.aka, c.entry), c.full) << c.aka << " " << c.entry;
    // The shortest entry expands back to the address.
    const struct {
        const char *aka, *address, *entry;
    } shorten[] = {
        {"1:23/4", "1:23/4.7", ".7"},       {"1:23/4.1", "1:23/4.7", ".7"}, {"1:23/4", "1:23/45", "45"},
        {"1:23/4", "1:23/45.6", "45.6"},    {"1:23/4", "1:23/4", "4"},      {"1:23/4", "1:24/4", "1:24/4"},
        {"1:23/4", "2:23/4.7", "2:23/4.7"}, {"2:5020/100", "2:5020/100.0", "100"},
    };
    for (const auto& c : shorten) {
        SCOPED_TRACE(std::string(c.aka) + " " + c.address);
        EXPECT_EQ(ShortLinkEntry(c.aka, ParseAddress(c.address)), c.entry);
        EXPECT_EQ(ExpandLinkEntry(c.aka, c.entry), NormalizeAddress(c.address));
    }

    AreaRecord area{"", "", "", "", "", "1:23/4", "1:23/45  .5 2:5020/1", false, 0, 0, 0};
    EXPECT_TRUE(AreaHasLink(area, ParseAddress("1:23/4.5")));
    EXPECT_FALSE(AreaHasLink(area, ParseAddress("1:23/4")));
    EXPECT_FALSE(AddLinkToArea(area, ParseAddress("1:23/45.0")));
    EXPECT_TRUE(AddLinkToArea(area, ParseAddress("1:23/4.6")));
    EXPECT_TRUE(RemoveLinkFromArea(area, ParseAddress("1:23/45")));
    EXPECT_EQ(area.Links, ".5 2:5020/1 .6");
    area.Links = std::string(248, '9');  // the Links line must still read back whole
    EXPECT_FALSE(AddLinkToArea(area, ParseAddress("1:23/5")));
    EXPECT_TRUE(SharesGroup("AB", "XB"));
    EXPECT_FALSE(SharesGroup("AB", "CD"));
}

// ---- Rewriting a link ---------------------------------------------------------------

TEST(LinksFile, RewriteLink) {
    LinkRecord link;
    link.Address = ParseAddress("2:5020/100.0");
    link.AKAText = "2:5020/1";
    link.AKA = ParseAddress(link.AKAText);
    link.Group = "AB";
    link.Pause = true;
    link.DefaultGroup = 'A';
    link.Security = 20;
    link.FilesSend = Flavour::Hold;
    const std::string longComment = "; " + std::string(1000, 'c') + "\r\n";
    const struct {
        std::string before, after;
    } cases[] = {
        // Keyword form: the changed value in place, comments, unknown
        // keywords and LF line ends kept, also after the last link.
        {"; Links\nLink 2:5020/100 ; hub\n  AKA 2:5020/1\nGroup AB ; all\nDefaultGroup A\nSecurity 20\nTicPacker zip\n"
         "Pause No   ; holiday?\nFilesSend HOLD\n; the end\n",
         "; Links\nLink 2:5020/100 ; hub\n  AKA 2:5020/1\nGroup AB ; all\nDefaultGroup A\nSecurity 20\nTicPacker zip\n"
         "Pause Yes   ; holiday?\nFilesSend HOLD\n; the end\n"},
        // Missing lines go after the entry's last keyword line; a value gone
        // leaves its keyword.
        {"; Links\r\nLink 2:5020/100\r\nAKA 2:5020/1\r\n; inside\r\nPassword pw\r\n\r\nlink 2:5020/200\r\nAKA x\r\n",
         "; Links\r\nLink 2:5020/100\r\nAKA 2:5020/1\r\n; inside\r\nPassword\r\nPause        Yes\r\nGroup        AB\r\n"
         "DefaultGroup A\r\nSecurity     20\r\nFilesSend    HOLD\r\n\r\nlink 2:5020/200\r\nAKA x\r\n"},
        {"Link 2:5020/100\nAKA 2:5020/1\nGroup AB\nDefaultGroup A\nSecurity 20\nFilesSend HOLD",
         "Link 2:5020/100\nAKA 2:5020/1\nGroup AB\nDefaultGroup A\nSecurity 20\nFilesSend HOLD\nPause        Yes\n"},
        // A table row: its columns in place; other rows and long lines whole.
        {longComment + "! 2:5020/200 2:5020/1 PW1 No No No A B 5 DIRECT ; first\r\n"
                       "!  2:5020/100   2:5020/1 PW2 Yes No No AB - 10 HOLD ; me\r\n",
         longComment + "! 2:5020/200 2:5020/1 PW1 No No No A B 5 DIRECT ; first\r\n"
                       "!  2:5020/100   2:5020/1 - No No Yes AB A 20 HOLD ; me\r\n"},
        // A long comment behind a row does not keep its columns from changing.
        {"! 2:5020/100 2:5020/1 - No No No AB A 20 HOLD ; " + std::string(300, 'c') + "\n",
         "! 2:5020/100 2:5020/1 - No No Yes AB A 20 HOLD ; " + std::string(300, 'c') + "\n"},
        // Another link: the file stays as it is.
        {"LINK 3:1/1\nAKA 3:1/2\n", "LINK 3:1/1\nAKA 3:1/2\n"},
        // TABs separate columns as blanks do: the row is found and its
        // column changed; only the changed line loses its TABs.
        {"!\t2:5020/100\t2:5020/1 -\tNo No No AB A 20 HOLD\r\nTicPacker\tzip\r\n",
         "! 2:5020/100 2:5020/1 - No No Yes AB A 20 HOLD\r\nTicPacker\tzip\r\n"},
        // Keyword lines after a row belong to its link: the one that sets a
        // value is where it changes (a "Pause No" left there would undo the
        // pause).
        {"! 2:5020/100 2:5020/1 PW2 No No No AB - 10 HOLD\r\n; note\r\nPause No\r\nSecurity 20\r\nTicPacker zip\r\n"
         "! 2:5020/200 2:5020/1 PW1 No No No A B 5 DIRECT\r\n",
         "! 2:5020/100 2:5020/1 - No No No AB A 10 HOLD\r\n; note\r\nPause Yes\r\nSecurity 20\r\nTicPacker zip\r\n"
         "! 2:5020/200 2:5020/1 PW1 No No No A B 5 DIRECT\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before.substr(0, 40));
        ScratchDir dir;
        WriteFileBytes(dir / "Links.ctl", c.before);
        ASSERT_FALSE(RewriteLink(dir / "LINKS.CTL", link));
        EXPECT_EQ(ReadFileBytes(dir / "Links.ctl"), c.after);
        EXPECT_EQ(ReadFileBytes(dir / "links.old"), c.before);
    }
    // Empty columns are written "-" and read back empty, the later columns in their places.
    LinkRecord bare;
    bare.Address = ParseAddress("2:5020/100");
    bare.Security = 7;
    bare.FilesSend = Flavour::Hold;
    {
        ScratchDir dir;
        WriteFileBytes(dir / "Links.ctl", "! 2:5020/100 2:5020/1 PW Yes No No AB A 20 DIRECT\r\n");
        ASSERT_FALSE(RewriteLink(dir / "Links.ctl", bare));
        EXPECT_EQ(ReadFileBytes(dir / "Links.ctl"), "! 2:5020/100 - - No No No - - 7 HOLD\r\n");
        std::vector<LinkRecord> back;
        LoadLinks(dir / "Links.ctl", back);
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0].AKAText + "|" + back[0].Password + "|" + back[0].Group + "|" + back[0].DefaultGroup + "|" +
                      std::to_string(back[0].Security),
                  "||| |7");
        EXPECT_EQ(back[0].FilesSend, Flavour::Hold);
    }
    // A value that a column cannot hold (a blank in it, or "-") goes on a
    // keyword line after the row; in the row it would shift every column
    // after it. So does a value that would make the row too long to be read
    // whole.
    for (const std::string& password : std::vector<std::string>{"TWO WORDS", "-", std::string(240, 'P')}) {
        ScratchDir dir;
        WriteFileBytes(dir / "Links.ctl", "! 2:5020/100 2:5020/1 - No No No AB - 10 HOLD\r\nLink 2:5020/200\r\n");
        std::vector<LinkRecord> links;
        LoadLinks(dir / "Links.ctl", links);
        ASSERT_EQ(links.size(), 2u);
        LinkRecord paused = links[0];
        paused.Password = password;
        paused.Pause = true;
        ASSERT_FALSE(RewriteLink(dir / "Links.ctl", paused));
        std::vector<LinkRecord> back;
        LoadLinks(dir / "Links.ctl", back);
        ASSERT_EQ(back.size(), 2u);
        EXPECT_EQ(back[0].Password, password);
        EXPECT_TRUE(back[0].Pause);
        EXPECT_EQ(back[0].Group + "|" + std::to_string(back[0].Security), "AB|10");
        EXPECT_EQ(back[0].FilesSend, Flavour::Hold);
        EXPECT_EQ(back[1].AddressText, "2:5020/200");
    }
    ScratchDir dir;
    WriteFileBytes(dir / "Links.ctl", "LINK 2:5020/100\n");
    WriteFileBytes(dir / "links.old/keep", "");
    EXPECT_TRUE(RewriteLink(dir / "Links.ctl", link));
    EXPECT_EQ(ReadFileBytes(dir / "Links.ctl"), "LINK 2:5020/100\n");
}

}  // namespace

namespace {

// ---- Links.ctl and the area list as check reads them ------------------------------

// "FILE:LINE: text" of each problem, in order.
std::vector<std::string> ProblemLines(const std::vector<ConfigProblem>& problems) {
    std::vector<std::string> lines;
    for (const ConfigProblem& problem : problems)
        lines.push_back(problem.file + ":" + std::to_string(problem.line) + ": " + problem.text);
    return lines;
}

TEST(LinksFile, BothFormsFillTheSameLink) {
    ScratchDir dir;
    WriteFileBytes(dir / "Links.ctl",
                   "\xEF\xBB\xBFLink 2:9999/010\r\nAKA\t2:9999/1\r\nPassword pw\r\nGroup ab\r\nDefaultGroup b\r\n"
                   "FilesSend hold\r\nCreateArea yes\r\nPlusAll +\r\nPause No\r\nSecurity 70000\r\n"
                   "! 2:9999/10.1 2:9999/1 pw No Yes No AB b 0 hold\r\n"
                   "! 2:9999/20 - - - - - - - - -\r\n");
    std::vector<LinkRecord> links;
    LoadLinks(dir / "Links.ctl", links);
    ASSERT_EQ(links.size(), 3u);
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(links[i].AKA, ParseAddress("2:9999/1"));
        EXPECT_EQ(links[i].Password + "|" + links[i].Group + "|" + links[i].DefaultGroup, "PW|AB|B");
        EXPECT_EQ(links[i].FilesSend, Flavour::Hold);
        EXPECT_EQ(links[i].Security, 0);  // out of bounds reads 0
        EXPECT_EQ(links[i].PlusAll, true);
        EXPECT_EQ(links[i].Pause, false);
    }
    EXPECT_EQ(links[0].CreateArea, true);
    EXPECT_EQ(links[0].AddressText, "2:9999/010");
    EXPECT_EQ(links[2].AKAText + "|" + links[2].Password + "|" + links[2].DefaultGroup, "|| ");
    EXPECT_EQ(links[2].FilesSend, Flavour::Normal);
    // Entries of an area reach the link whatever way they write its address.
    AreaRecord area{"", "", "", "", "", "2:9999/1", "", false, 0, 0, 0};
    const struct {
        const char* entry;
        std::size_t link;  // 3: none
    } entries[] = {{"2:9999/10.0", 0}, {"2:9999/010", 0}, {"10", 0},  {".1", 3},
                   {"10.1", 1},        {"/20", 2},        {"2:9999/20@fidonet", 2}, {"30", 3}};
    for (const auto& c : entries) {
        const LinkRecord* link = FindLink(links, LinkEntryAddress(area.AKA, c.entry));
        EXPECT_EQ(link == nullptr ? 3 : static_cast<std::size_t>(link - links.data()), c.link) << c.entry;
    }
}

TEST(LinksFile, CheckReportsEachBrokenLine) {
    LoadCatalogue(SourceDir() + "lang/brenmoor.lng");
    const struct {
        const char* lines;
        std::vector<std::string> problems;
    } cases[] = {
        {"Link 2:9999/10\nPassword PW\nFilesSend Direct\nSecurity 10\n", {}},
        {"! 2:9999/20 2:9999/1 - No No No A - 10 -\n", {}},
        {"Link 2:9999/10\nPassword\n", {}},
        {"Link 2:9999/10\nPasword PW\n",
         {"Links.ctl:1: LINK: link 2:9999/10 has no password line (\"Password\" alone or a \"-\" column says it has none)",
          "Links.ctl:2: PASWORD: unknown keyword"}},
        {"Link 2:9999/10\nPassword PW\nSecurity lots\n", {"Links.ctl:3: SECURITY: \"LOTS\" is not a number"}},
        {"Link 2:9999/10\nPassword PW\nSecurity 65536\n", {"Links.ctl:3: SECURITY: \"65536\" is not within 0..65535"}},
        {"Link 2:9999/10\nPassword PW\nFilesSend crash\n",
         {"Links.ctl:3: FILESSEND: \"CRASH\" is not one of NORMAL, DIRECT, HOLD"}},
        {"Link 2:bogus\nPassword PW\n", {"Links.ctl:1: LINK: \"2:BOGUS\" is not an address"}},
        {"Link 2:9999/10\nPassword PW\nAKA 2:9999\nPause maybe\n",
         {"Links.ctl:3: AKA: \"2:9999\" is not an address", "Links.ctl:4: PAUSE: \"MAYBE\" is not Yes or No"}},
        {"; links\nPassword PW\nLink 2:9999/10\nPassword PW\n",
         {"Links.ctl:2: PASSWORD: before the first link: it belongs to none"}},
        {"; no link\n", {"Links.ctl:0: holds no link: every other command ends with exit 3"}},
        {"! 2:9999/20 2:9999/1 PW No No No A - 10\n",
         {"Links.ctl:1: !: the row has 9 of 10 columns, FILESSEND missing (\"-\" is an empty column)"}},
        {"! 2:9999/20 2:9999/1\n",
         {"Links.ctl:1: !: the row has 2 of 10 columns, PASSWORD CREATEAREA PLUSALL PAUSE GROUP DEFAULTGROUP SECURITY "
          "FILESSEND missing (\"-\" is an empty column)",
          "Links.ctl:1: !: link 2:9999/20 has no password line (\"Password\" alone or a \"-\" column says it has none)"}},
        {"! 2:9999/20 2:9999/1 PW No No No A - lots HOLD\n! - 2:9999/1 PW No No No A - 10 HOLD\n",
         {"Links.ctl:1: SECURITY: \"LOTS\" is not a number", "Links.ctl:2: LINK: \"-\" is not an address"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        ScratchDir dir;
        WriteFileBytes(dir / "Links.ctl", c.lines);
        std::vector<LinkRecord> links;
        EXPECT_EQ(ProblemLines(CheckLinks(dir / "Links.ctl", links)), c.problems);
        std::vector<LinkRecord> loaded;
        LoadLinks(dir / "Links.ctl", loaded);
        EXPECT_EQ(links.size(), loaded.size());  // check reads what a run loads
    }
}

TEST(AreaList, CheckReportsEachBrokenLine) {
    LoadCatalogue(SourceDir() + "lang/brenmoor.lng");
    const std::string head = "Area ONE\nAKA 2:9999/1\n";
    const struct {
        std::string lines;
        std::vector<std::string> problems;
    } cases[] = {
        {head + "Desc Fine\nLinks 10 2:9999/010 2:9999/10.0\nSecurityRead 10\n", {}},
        {head + "Descr Typo\n", {"areas.ctl:3: DESCR: unknown keyword"}},
        {head + "Links 10 2:bogus\n", {"areas.ctl:3: LINKS: \"2:bogus\" is not a whole address"}},
        {head + "Links 10 30\n", {"areas.ctl:3: LINKS: 2:9999/30 is not in Links.ctl: it gets nothing"}},
        // The AKA the entries are relative to may come after them.
        {"Area ONE\nLinks 10 .5\nAKA 2:9999/1\n", {"areas.ctl:2: LINKS: 2:9999/1.5 is not in Links.ctl: it gets nothing"}},
        {"Area ONE\nLinks 10\n", {"areas.ctl:2: LINKS: \"10\" is not a whole address (the area has no AKA)"}},
        {head + "SecurityRead lots\nSecurityWrite 70000\n",
         {"areas.ctl:3: SECURITYREAD: \"lots\" is not a number", "areas.ctl:4: SECURITYWRITE: \"70000\" is not within 0..65535"}},
        {head + "Path C:\\FIDO\\IN\\\n", {"areas.ctl:3: PATH: \"C:\\FIDO\\IN\\\" is a Windows path: write it with / and no drive"}},
        {head + "AKA 2:9999\n", {"areas.ctl:3: AKA: \"2:9999\" is not an address"}},
        {"Group A\n" + head, {"areas.ctl:1: GROUP: before the first Area line: it belongs to no area"}},
        {head + "Area one\n", {"areas.ctl:3: area ONE again (first at line 1): only the first block counts"}},
    };
    std::vector<LinkRecord> links(1);
    links[0].Address = ParseAddress("2:9999/10");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        ScratchDir dir;
        WriteFileBytes(dir / "areas.ctl", c.lines);
        EXPECT_EQ(ProblemLines(CheckAreaList(dir / "areas.ctl", dir / "", links)), c.problems);
    }
}

}  // namespace
