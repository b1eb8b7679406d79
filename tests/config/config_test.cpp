// BRENMOOR.CTL's defaults and value handling, the area list's index and its
// link entries. What the program makes of the control files, and how it
// rewrites them, is in the scenarios.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "config/areas.h"
#include "config/mainconfig.h"
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

}  // namespace
