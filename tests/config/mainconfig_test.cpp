#include "config/mainconfig.h"

#include <gtest/gtest.h>

#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/exit.h"
#include "testkit.h"

namespace {

class MainConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitConsoleForTest(80, 25, false, &screen);
        ClearCatalogue();
        ParseCatalogueText("ERROR ERROR\nCANTCREATEDIR Cannot create directory %d.\nFILENOTFOUND File %f not found.\n");
    }
    // Writes BRENMOOR.CTL into the scratch directory and loads it.
    MainConfig Load(const std::string& text) {
        WriteFileBytes(dir / "BRENMOOR.CTL", text);
        MainConfig config;
        LoadMainConfig(dir / "BRENMOOR.CTL", config);
        return config;
    }
    ScratchDir dir;
    std::string screen;
};

TEST_F(MainConfigTest, EmptyFileKeepsTheDefaults) {
    MainConfig config = Load(""), defaults;
    EXPECT_EQ(config.mode + config.descMode + config.remoteProgram + config.baseDir + config.interface +
                  config.defaultDesc + config.messageAttrDir + config.messageAttrHld + config.sortBy,
              defaults.mode + defaults.descMode + defaults.remoteProgram + defaults.baseDir + defaults.interface +
                  defaults.defaultDesc + defaults.messageAttrDir + defaults.messageAttrHld + defaults.sortBy);
    EXPECT_EQ(config.dlcPos, 14);
    EXPECT_EQ(config.msgMaxLines, 400);
    EXPECT_TRUE(config.addresses.empty());
    EXPECT_EQ(config.mainAddress + config.inbound, "");
}

TEST_F(MainConfigTest, DirectoriesAreMadeAndRelativePathsBelongToTheConfigurationDirectory) {
    WriteFileBytes(dir / "tpl/Help.TXT", "help\r\n");
    MainConfig config = Load("inbound " + (dir / "Fido/In") + "   ; the inbound\r\n"
                             "Outbound out/tic\nLogName log/brenmoor.log\nDupeFile data/brenmoor.dup\n"
                             "HelpFile tpl/help.txt\nANSWER\n"
                             "BADTICDIR " + dir.path + "bad1\nBADTICDIR bad2\nBASEDIR /no/such/directory/here\n");
    EXPECT_EQ(config.inbound, dir / "Fido/In/");
    EXPECT_TRUE(PathExists(dir / "Fido/In"));
    EXPECT_EQ(config.outbound, dir / "out/tic/");
    EXPECT_TRUE(PathExists(dir / "out/tic"));
    EXPECT_EQ(config.logName, dir / "log/brenmoor.log");
    EXPECT_TRUE(PathExists(dir / "log"));
    EXPECT_FALSE(PathExists(dir / "log/brenmoor.log"));
    EXPECT_EQ(config.dupeFile, dir / "data/brenmoor.dup");
    EXPECT_TRUE(PathExists(dir / "data"));
    EXPECT_EQ(config.helpFile, dir / "tpl/help.txt");  // templates are found in any letter case
    EXPECT_EQ(config.answer, "");  // not configured
    // The last value wins, and DUPEDIR falls back to BADTICDIR.
    EXPECT_EQ(config.badTicDir, dir / "bad2/");
    EXPECT_EQ(config.dupeDir, dir / "bad2/");
    EXPECT_EQ(config.baseDir, "/");  // taken only when it exists
    MakeDirs(dir / "hatch");
    config = Load("BADTICDIR bad\nDUPEDIR dupes\nBASEDIR hatch\n");
    EXPECT_EQ(config.dupeDir, dir / "dupes/");
    EXPECT_EQ(config.baseDir, dir / "hatch/");
}

TEST_F(MainConfigTest, ListsAddressesAndFileGroups) {
    MainConfig config = Load("ADDRESS 2:5020/100\nADDRESS 2:5020/100.1\nAddress garbage\nAlias FileFix\n"
                             "ALIAS Brenmoor\nGROUP1 zip,rar\nGROUP2 ,ARJ,\nGroup7 Txt\nGROUP8 exe\n");
    EXPECT_EQ(config.mainAddress, "2:5020/100");
    EXPECT_EQ(config.addresses, (std::vector<FidoAddress>{{2, 5020, 100, 0}, {2, 5020, 100, 1}, {0, 0, 0, 0}}));
    EXPECT_EQ(config.aliases, (std::vector<std::string>{"FILEFIX", "BRENMOOR"}));
    EXPECT_EQ(config.fileGroups[0], ",ZIP,RAR,");
    EXPECT_EQ(config.fileGroups[1], ",ARJ,");
    EXPECT_EQ(config.fileGroups[2], "");
    EXPECT_EQ(config.fileGroups[6], ",TXT,");
}

TEST_F(MainConfigTest, QuotesNumbersAndSwitches) {
    MainConfig config = Load("LONGDESCCHARS '  +'\nSEPARATOR ','\nDLCPOS 0\nDESCPOS 0\nMSGMAXLINES 12x\n"
                             "MAXDUPEREC 5000\nDELBADTIC yes\nWAITFILE +\nLFN YES\nLFNCHANGEPOINT no\nUSEEXT 1\n"
                             "REPLACES\nab\n;LFN yes\n  \t \nCALCULATIONCRC\tYes\n");
    EXPECT_EQ(config.longDescChars, "  +");  // one quote goes at each end
    EXPECT_EQ(config.separator, ',');
    EXPECT_EQ(config.dlcPos, 14);
    EXPECT_EQ(config.descPos, 0);
    EXPECT_EQ(config.msgMaxLines, 0);
    EXPECT_EQ(config.maxDupeRec, 5000);
    EXPECT_TRUE(config.delBadTic);
    EXPECT_TRUE(config.waitFile);
    EXPECT_TRUE(config.lfn);
    EXPECT_FALSE(config.lfnChangePoint);
    EXPECT_FALSE(config.useExt);
    EXPECT_FALSE(config.replaces);
    EXPECT_TRUE(config.calculationCrc);  // a TAB separates like a blank

    // Values that do not fit their field are not numbers of that field.
    config = Load("SEPARATOR ''\nLONGDESCCHARS ''x''\nDESCPOS 300\nMSGMAXLINES 70000\nMAXDUPEREC 99999999999\n"
                  "DLCPOS -3\n");
    EXPECT_EQ(config.separator, '\0');
    EXPECT_EQ(config.longDescChars, "'x'");
    EXPECT_EQ(config.descPos, 0);
    EXPECT_EQ(config.msgMaxLines, 0);
    EXPECT_EQ(config.maxDupeRec, 0);
    EXPECT_EQ(config.dlcPos, 14);
}

TEST_F(MainConfigTest, TextsAreCutToTheirFieldsAndModeWordsUpperCased) {
    MainConfig config = Load("DESCFILE files.bbs.longer.name\nDEFAULTDESC " + std::string(100, 'd') +
                             "\nREMOTEPROGRAM VeryLongRobotName\nINTERFACE standard-plain\nSORTBY extension\n"
                             "LONGDESCCHARS '" + std::string(30, '+') + "'\nORIGIN " + std::string(10000, 'o') +
                             "\nmode bink\nDescMode smart\nDlcString [00]\nMessageAttrDir dir pvt\n");
    EXPECT_EQ(config.descFile, "files.bbs.lo");
    EXPECT_EQ(config.defaultDesc, std::string(80, 'd'));
    EXPECT_EQ(config.remoteProgram, "VeryLongRobo");
    EXPECT_EQ(config.interface, "STANDARD");
    EXPECT_EQ(config.sortBy, "EXTENS");
    EXPECT_EQ(config.longDescChars, std::string(20, '+'));
    EXPECT_EQ(config.origin, std::string(255 - 7, 'o'));  // the line itself is cut at 255
    EXPECT_EQ(config.mode, "BINK");
    EXPECT_EQ(config.descMode, "SMART");
    EXPECT_EQ(config.dlcString, "[00]");
    EXPECT_EQ(config.messageAttrDir, "dir pvt");

    // Empty values overwrite the defaults, and only some come back.
    config = Load("REMOTEPROGRAM\nMODE\nDESCMODE\nMESSAGEATTRHLD\nDEFAULTDESC\n");
    EXPECT_EQ(config.remoteProgram, "Brenmoor");
    EXPECT_EQ(config.mode, "AMA");
    EXPECT_EQ(config.descMode, "");
    EXPECT_EQ(config.messageAttrHld, "HLD PVT LOC K/S");
    EXPECT_EQ(config.defaultDesc, "Description not available");
}

TEST_F(MainConfigTest, LineEndsOfEveryKindAndBinaryContent) {
    MainConfig config = Load("ORIGIN a b\rSORTBY name\r\nDESCFILE x.bbs\nINTERFACE plain");
    EXPECT_EQ(config.origin, "a b");
    EXPECT_EQ(config.sortBy, "NAME");
    EXPECT_EQ(config.descFile, "x.bbs");
    EXPECT_EQ(config.interface, "PLAIN");
    std::string junk;
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 37) % 256);
    EXPECT_EQ(Load(junk + "\nMODE FILEBOX\n").mode, "FILEBOX");
}

TEST_F(MainConfigTest, FailuresEndTheRun) {
    // A directory that cannot be created ends with 2; later lines are not handled.
    WriteFileBytes(dir / "blocker", "a file, not a directory");
    EXPECT_EQ(ExitCodeOf<ProgramExit>([&] { Load("TEMPDIR tmp\nINBOUND blocker/in\nOUTBOUND later\n"); }), 2);
    EXPECT_EQ(screen, "ERROR\nCannot create directory " + (dir / "blocker/in/") + ".\n\n");
    EXPECT_TRUE(PathExists(dir / "tmp"));
    EXPECT_FALSE(PathExists(dir / "later"));
    // A missing template ends with 240.
    screen.clear();
    EXPECT_EQ(ExitCodeOf<ProgramExit>([&] { Load("HELPFILE tpl/missing.txt\n"); }), 240);
    EXPECT_EQ(screen, "ERROR\nFile " + (dir / "tpl/missing.txt") + " not found.\n\n");
}

}  // namespace
