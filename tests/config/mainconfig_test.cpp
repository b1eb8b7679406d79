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
        ParseCatalogueText(
            "ERROR ERROR\n"
            "CANTCREATEDIR Cannot create directory %d.\n"
            "FILENOTFOUND File %f not found.\n");
    }

    // Writes BRENMOOR.CTL into the scratch directory and loads it.
    MainConfig Load(const std::string& text) {
        WriteFileBytes(dir / "BRENMOOR.CTL", text);
        MainConfig config;
        LoadMainConfig(dir / "BRENMOOR.CTL", config);
        return config;
    }

    // The exit code with which loading the text ends the run, -1 when it does not.
    int ExitCodeOfLoading(const std::string& text) {
        try {
            Load(text);
        } catch (const ProgramExit& end) {
            return end.code;
        }
        return -1;
    }

    ScratchDir dir;
    std::string screen;
};

TEST_F(MainConfigTest, EmptyFileGivesTheDefaults) {
    MainConfig config = Load("");
    EXPECT_EQ(config.mode, "AMA");
    EXPECT_EQ(config.descPos, 14);
    EXPECT_EQ(config.dlcPos, 14);
    EXPECT_EQ(config.descMode, "DESC");
    EXPECT_EQ(config.executeMode, "WINDOW");
    EXPECT_EQ(config.maxDupeRec, 1);
    EXPECT_EQ(config.sortBy, "EXT");
    EXPECT_EQ(config.remoteProgram, "AllFix");
    EXPECT_EQ(config.baseDir, "/");
    EXPECT_TRUE(config.lfnChangePoint);
    EXPECT_FALSE(config.lfn);
    EXPECT_EQ(config.msgMaxLines, 400);
    EXPECT_EQ(config.interface, "STANDART");
    EXPECT_EQ(config.defaultDesc, "Description not available");
    EXPECT_EQ(config.messageAttrDir, "DIR PVT LOC K/S");
    EXPECT_EQ(config.messageAttrHld, "HLD PVT LOC K/S");
    EXPECT_EQ(config.separator, '\0');
    EXPECT_TRUE(config.addresses.empty());
    EXPECT_TRUE(config.mainAddress.empty());
    EXPECT_TRUE(config.inbound.empty());
}

TEST_F(MainConfigTest, DirectoryKeywordIgnoresCaseAndCommentAndIsCreated) {
    std::string absolute = dir / "Fido/In";
    MainConfig config = Load("inbound " + absolute + "   ; the inbound\r\n");
    EXPECT_EQ(config.inbound, absolute + "/");
    EXPECT_TRUE(PathExists(absolute));
}

TEST_F(MainConfigTest, RelativePathsBelongToTheConfigurationDirectory) {
    WriteFileBytes(dir / "tpl/help.txt", "help\r\n");
    MainConfig config = Load(
        "Outbound out/tic\n"
        "LogName log/brenmoor.log\n"
        "DupeFile data/brenmoor.dup\n"
        "HelpFile tpl/help.txt\n");
    EXPECT_EQ(config.outbound, dir / "out/tic/");
    EXPECT_TRUE(PathExists(dir / "out/tic"));
    EXPECT_EQ(config.logName, dir / "log/brenmoor.log");
    EXPECT_TRUE(PathExists(dir / "log"));
    EXPECT_FALSE(PathExists(dir / "log/brenmoor.log"));
    EXPECT_EQ(config.dupeFile, dir / "data/brenmoor.dup");
    EXPECT_TRUE(PathExists(dir / "data"));
    EXPECT_EQ(config.helpFile, dir / "tpl/help.txt");
}

TEST_F(MainConfigTest, FileGroupsGetCommasAndUpperCase) {
    MainConfig config = Load("GROUP1 zip,rar\nGROUP2 ,ARJ,\nGroup7 Txt\nGROUP8 exe\n");
    EXPECT_EQ(config.fileGroups[0], ",ZIP,RAR,");
    EXPECT_EQ(config.fileGroups[1], ",ARJ,");
    EXPECT_EQ(config.fileGroups[2], "");
    EXPECT_EQ(config.fileGroups[6], ",TXT,");
}

TEST_F(MainConfigTest, AddressesKeepFileOrderAndTheFirstIsTheMainAddress) {
    MainConfig config = Load("ADDRESS 2:5020/100\nADDRESS 2:5020/100.1\nAddress garbage\n");
    EXPECT_EQ(config.mainAddress, "2:5020/100");
    ASSERT_EQ(config.addresses.size(), 3u);
    EXPECT_EQ(config.addresses[0], (FidoAddress{2, 5020, 100, 0}));
    EXPECT_EQ(config.addresses[1], (FidoAddress{2, 5020, 100, 1}));
    EXPECT_EQ(config.addresses[2], (FidoAddress{0, 0, 0, 0}));
}

TEST_F(MainConfigTest, AliasesAreUpperCased) {
    MainConfig config = Load("Alias FileFix\nALIAS Brenmoor\n");
    ASSERT_EQ(config.aliases.size(), 2u);
    EXPECT_EQ(config.aliases[0], "FILEFIX");
    EXPECT_EQ(config.aliases[1], "BRENMOOR");
}

TEST_F(MainConfigTest, QuotedValuesLoseOneQuoteAtEachEnd) {
    MainConfig config = Load("LONGDESCCHARS '  +'\nSEPARATOR ','\n");
    EXPECT_EQ(config.longDescChars, "  +");
    EXPECT_EQ(config.separator, ',');
    config = Load("SEPARATOR ''\nLONGDESCCHARS ''x''\n");
    EXPECT_EQ(config.separator, '\0');
    EXPECT_EQ(config.longDescChars, "'x'");
}

TEST_F(MainConfigTest, NumbersAndTheirCompletion) {
    MainConfig config = Load("DLCPOS 0\nDESCPOS 0\nMSGMAXLINES 12x\nMAXDUPEREC 5000\n");
    EXPECT_EQ(config.dlcPos, 14);
    EXPECT_EQ(config.descPos, 0);
    EXPECT_EQ(config.msgMaxLines, 0);
    EXPECT_EQ(config.maxDupeRec, 5000);
    // Values that do not fit their field are not numbers of that field.
    config = Load("DESCPOS 300\nMSGMAXLINES 70000\nMAXDUPEREC 99999999999\nDLCPOS -3\n");
    EXPECT_EQ(config.descPos, 0);
    EXPECT_EQ(config.msgMaxLines, 0);
    EXPECT_EQ(config.maxDupeRec, 0);
    EXPECT_EQ(config.dlcPos, 14);
}

TEST_F(MainConfigTest, BaseDirIsTakenOnlyWhenItExists) {
    MainConfig config = Load("BASEDIR /no/such/directory/here\n");
    EXPECT_EQ(config.baseDir, "/");
    MakeDirs(dir / "hatch");
    config = Load("BASEDIR hatch\n");
    EXPECT_EQ(config.baseDir, dir / "hatch/");
}

TEST_F(MainConfigTest, ValuesAreCutToTheirFields) {
    MainConfig config = Load(
        "DESCFILE files.bbs.longer.name\n"
        "DEFAULTDESC " + std::string(100, 'd') + "\n"
        "REMOTEPROGRAM VeryLongRobotName\n"
        "INTERFACE standard-plain\n"
        "SORTBY extension\n"
        "LONGDESCCHARS '" + std::string(30, '+') + "'\n"
        "ORIGIN " + std::string(10000, 'o') + "\n");
    EXPECT_EQ(config.descFile, "files.bbs.lo");
    EXPECT_EQ(config.defaultDesc, std::string(80, 'd'));
    EXPECT_EQ(config.remoteProgram, "VeryLongRobo");
    EXPECT_EQ(config.interface, "STANDARD");
    EXPECT_EQ(config.sortBy, "EXTENS");
    EXPECT_EQ(config.longDescChars, std::string(20, '+'));
    // The line itself is cut at 255 characters.
    EXPECT_EQ(config.origin, std::string(255 - 7, 'o'));
}

TEST_F(MainConfigTest, ModeWordsAreUpperCasedAndOtherTextsKeepTheirCase) {
    MainConfig config = Load("mode bink\nDescMode smart\nOrigin My Node\nDlcString [00]\nMessageAttrDir dir pvt\n");
    EXPECT_EQ(config.mode, "BINK");
    EXPECT_EQ(config.descMode, "SMART");
    EXPECT_EQ(config.origin, "My Node");
    EXPECT_EQ(config.dlcString, "[00]");
    EXPECT_EQ(config.messageAttrDir, "dir pvt");
}

TEST_F(MainConfigTest, EmptyValuesOverwriteDefaultsAndOnlySomeComeBack) {
    MainConfig config = Load("REMOTEPROGRAM\nMODE\nDESCMODE\nMESSAGEATTRHLD\nDEFAULTDESC\n");
    EXPECT_EQ(config.remoteProgram, "Brenmoor");
    EXPECT_EQ(config.mode, "AMA");
    EXPECT_EQ(config.descMode, "");
    EXPECT_EQ(config.messageAttrHld, "HLD PVT LOC K/S");
    EXPECT_EQ(config.defaultDesc, "Description not available");
}

TEST_F(MainConfigTest, SwitchesAndShortLines) {
    MainConfig config = Load(
        "DELBADTIC yes\nWAITFILE +\nLFN YES\nLFNCHANGEPOINT no\nUSEEXT 1\nREPLACES\n"
        "ab\n;LFN yes\n  \t \nCALCULATIONCRC\tYes\n");
    EXPECT_TRUE(config.delBadTic);
    EXPECT_TRUE(config.waitFile);
    EXPECT_TRUE(config.lfn);
    EXPECT_FALSE(config.lfnChangePoint);
    EXPECT_FALSE(config.useExt);
    EXPECT_FALSE(config.replaces);
    EXPECT_TRUE(config.calculationCrc);  // a TAB separates like a blank
}

TEST_F(MainConfigTest, LastValueWinsAndDupeDirFallsBackToBadTicDir) {
    MainConfig config = Load("BADTICDIR " + dir.path + "bad1\nBADTICDIR " + dir.path + "bad2\n");
    EXPECT_EQ(config.badTicDir, dir / "bad2/");
    EXPECT_EQ(config.dupeDir, dir / "bad2/");
    config = Load("BADTICDIR bad\nDUPEDIR dupes\n");
    EXPECT_EQ(config.dupeDir, dir / "dupes/");
}

TEST_F(MainConfigTest, LineEndsOfEveryKind) {
    MainConfig config = Load("ORIGIN a b\rSORTBY name\r\nDESCFILE x.bbs\nINTERFACE plain");
    EXPECT_EQ(config.origin, "a b");
    EXPECT_EQ(config.sortBy, "NAME");
    EXPECT_EQ(config.descFile, "x.bbs");
    EXPECT_EQ(config.interface, "PLAIN");
}

TEST_F(MainConfigTest, BinaryContentIsAcceptedWithoutHarm) {
    std::string junk;
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 37) % 256);
    MainConfig config = Load(junk + "\nMODE FILEBOX\n");
    EXPECT_EQ(config.mode, "FILEBOX");
}

TEST_F(MainConfigTest, DirectoryThatCannotBeCreatedEndsWithTwo) {
    WriteFileBytes(dir / "blocker", "a file, not a directory");
    const std::string wanted = dir / "blocker/in/";
    EXPECT_EQ(ExitCodeOfLoading("TEMPDIR tmp\nINBOUND blocker/in\nOUTBOUND later\n"), 2);
    EXPECT_EQ(screen, "ERROR\nCannot create directory " + wanted + ".\n\n");
    EXPECT_TRUE(PathExists(dir / "tmp"));
    EXPECT_FALSE(PathExists(dir / "later"));  // lines after the failing one are not handled
}

TEST_F(MainConfigTest, MissingTemplateEndsWith240) {
    EXPECT_EQ(ExitCodeOfLoading("HELPFILE tpl/missing.txt\n"), 240);
    EXPECT_EQ(screen, "ERROR\nFile " + (dir / "tpl/missing.txt") + " not found.\n\n");
}

TEST_F(MainConfigTest, TemplatesAreFoundWithoutRegardToCase) {
    WriteFileBytes(dir / "Help.TXT", "help");
    MainConfig config = Load("HELPFILE help.txt\nANSWER\n");
    EXPECT_EQ(config.helpFile, dir / "help.txt");
    EXPECT_EQ(config.answer, "");  // not configured
}

}  // namespace
