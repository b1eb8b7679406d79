#include "announce/bbsareas.h"

#include <gtest/gtest.h>

#include "frame/console.h"
#include "frame/exit.h"
#include "testkit.h"

namespace {

int CountOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

class BbsAreaTest : public ::testing::Test {
protected:
    void SetUp() override { InitConsoleForTest(80, 25, false, &screen); }

    BbsSoftSettings Maximus() {
        BbsSoftSettings s;
        s.Kind = 1;
        s.AreaFile = dir / "max/filearea.ctl";
        s.Acs = "Normal";
        return s;
    }
    BbsSoftSettings Tornado() {
        BbsSoftSettings s;
        s.Kind = 2;
        s.AreaFile = dir / "tornado/fareas.ctl";
        s.Upload = "/bbs/upload/";
        s.ScanNewFiles = true;
        s.DlSecurity = 10;
        s.UlSecurity = 20;
        s.ListSecurity = 30;
        s.ShowSecurity = 65535;
        s.Group = "Fido files";
        return s;
    }

    ScratchDir dir;
    std::string screen;
};

TEST_F(BbsAreaTest, MaximusDefinitionInANewFile) {
    const BbsSoftSettings s = Maximus();
    ASSERT_TRUE(RegisterBbsArea(s, "NODELIST", "/fido/files/nodelist/"));
    EXPECT_EQ(ReadFileBytes(s.AreaFile),
              "\r\n"
              "% Added by Brenmoor\r\n"
              "FileArea 1\r\n"
              "        ACS            Normal\r\n"
              "        Desc           NODELIST\r\n"
              "        DownLoad       /fido/files/nodelist/\r\n"
              "        UpLoad         /fido/files/nodelist/\r\n"
              "End FileArea\r\n");
}

TEST_F(BbsAreaTest, TornadoDefinitionInANewFile) {
    const BbsSoftSettings s = Tornado();
    ASSERT_TRUE(RegisterBbsArea(s, "NODELIST", "/fido/files/nodelist/"));
    EXPECT_EQ(ReadFileBytes(s.AreaFile),
              "\r\n"
              "; Added by Brenmoor\r\n"
              "[FileArea]\r\n"
              "Name          \"NODELIST\"\r\n"
              "DLPath        /fido/files/nodelist/\r\n"
              "FileList      /fido/files/nodelist/files.bbs\r\n"
              "ULPath        /bbs/upload/\r\n"
              "Scan_NewFiles Yes\r\n"
              "DL_Security   10\r\n"
              "UL_Security   20\r\n"
              "List_Security 30\r\n"
              "Show_Security 65535\r\n"
              "Group         Fido files\r\n"
              ";\r\n");
}

TEST_F(BbsAreaTest, AppendedOncePerArea) {
    for (const BbsSoftSettings& s : {Maximus(), Tornado()}) {
        for (int file = 0; file < 10; ++file) RegisterBbsArea(s, "NEWECHO", "/files/newecho/");
        RegisterBbsArea(s, " newecho ", "/files/newecho/");
        EXPECT_TRUE(RegisterBbsArea(s, "OTHER", "/files/other/"));
        const std::string text = ReadFileBytes(s.AreaFile);
        EXPECT_EQ(CountOf(text, "Added by Brenmoor"), 2) << s.AreaFile;
        EXPECT_EQ(CountOf(text, "NEWECHO"), 1) << s.AreaFile;
    }
    EXPECT_NE(ReadFileBytes(Maximus().AreaFile).find("FileArea 2\r\n"), std::string::npos);
}

TEST_F(BbsAreaTest, MaximusNumbersFollowTheLargest) {
    const BbsSoftSettings s = Maximus();
    MakeDirs(dir / "max");
    WriteFileBytes(s.AreaFile,
                   "FileArea 3\r\nEnd FileArea\r\n"
                   "  fileArea   12  ; twelve\r\nEnd FileArea\r\n"
                   "FileArea abc\r\nEnd FileArea\r\n"
                   "FileArea 99999999999999999999999\r\n"
                   "; FileArea 50\r\n"
                   "%FileArea 40\r\n");
    EXPECT_EQ(NextMaximusAreaNumber(s.AreaFile), 13);
    ASSERT_TRUE(RegisterBbsArea(s, "ECHO", "/e/"));
    EXPECT_NE(ReadFileBytes(s.AreaFile).find("\r\n\r\n% Added by Brenmoor\r\nFileArea 13\r\n"), std::string::npos);
    EXPECT_EQ(NextMaximusAreaNumber(dir / "none.ctl"), 1);
}

TEST_F(BbsAreaTest, FindsAreasWrittenByHand) {
    const std::string file = dir / "areas.ctl";
    WriteFileBytes(file,
                   "FileArea 1\n"
                   "desc   MyEcho\n"
                   "\tDesc\tTabbed\n"
                   "Desc Commented   % the echo\n"
                   "Desc \xAF\xE0\xA8\xA2\xA5\xE2\n"  // lower-case Cyrillic
                   "; Desc Hidden\n"
                   "Name \"Quoted\"\n"
                   "Name 'Apos'\n"
                   "Name Bare\n");
    EXPECT_TRUE(BbsAreaPresent(file, "MYECHO", "DESC", false));
    EXPECT_TRUE(BbsAreaPresent(file, " myecho ", "DESC", false));
    EXPECT_TRUE(BbsAreaPresent(file, "TABBED", "DESC", false));
    EXPECT_FALSE(BbsAreaPresent(file, "COMMENTED", "DESC", false));  // keeps its blanks before "%"
    EXPECT_TRUE(BbsAreaPresent(file, "\x8F\x90\x88\x82\x85\x92", "DESC", false));
    EXPECT_FALSE(BbsAreaPresent(file, "HIDDEN", "DESC", false));
    EXPECT_FALSE(BbsAreaPresent(file, "MYECHO", "NAME", true));

    EXPECT_TRUE(BbsAreaPresent(file, "QUOTED", "NAME", true));
    EXPECT_TRUE(BbsAreaPresent(file, "APOS", "NAME", true));
    EXPECT_TRUE(BbsAreaPresent(file, "BARE", "NAME", true));
    EXPECT_FALSE(BbsAreaPresent(file, "QUOTED", "NAME", false));
    EXPECT_FALSE(BbsAreaPresent(dir / "missing.ctl", "MYECHO", "DESC", false));
}

TEST_F(BbsAreaTest, KeepsTheLineEndsOfTheFile) {
    BbsSoftSettings s = Maximus();
    MakeDirs(dir / "max");
    WriteFileBytes(s.AreaFile, "FileArea 7\nDesc OLD\nEnd FileArea");  // no line end at the end
    ASSERT_TRUE(RegisterBbsArea(s, "NEW", "/n/"));
    const std::string text = ReadFileBytes(s.AreaFile);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text.substr(0, 52), "FileArea 7\nDesc OLD\nEnd FileArea\n% Added by Brenmoor");
    EXPECT_NE(text.find("FileArea 8\n"), std::string::npos);
    EXPECT_FALSE(RegisterBbsArea(s, "OLD", "/o/"));
}

TEST_F(BbsAreaTest, NothingWithoutABbsOrAUsableArea) {
    BbsSoftSettings none = Maximus();
    none.Kind = 0;
    EXPECT_FALSE(RegisterBbsArea(none, "ECHO", "/e/"));
    BbsSoftSettings noFile = Tornado();
    noFile.AreaFile = "";
    EXPECT_FALSE(RegisterBbsArea(noFile, "ECHO", "/e/"));
    BbsSoftSettings unknown = Maximus();
    unknown.Kind = 3;
    EXPECT_FALSE(RegisterBbsArea(unknown, "ECHO", "/e/"));

    const BbsSoftSettings s = Maximus();
    EXPECT_FALSE(RegisterBbsArea(s, "", "/e/"));
    EXPECT_FALSE(RegisterBbsArea(s, "   ", "/e/"));
    EXPECT_FALSE(RegisterBbsArea(s, "ECHO", ""));  // pass-through
    EXPECT_FALSE(RegisterBbsArea(s, "A;B", "/e/"));
    EXPECT_FALSE(RegisterBbsArea(s, "100%", "/e/"));
    EXPECT_FALSE(PathExists(s.AreaFile));
    EXPECT_FALSE(PathExists(dir / "tornado"));
}

TEST_F(BbsAreaTest, UnwritableAreaFileEndsTheRun) {
    WriteFileBytes(dir / "plain", "x");
    BbsSoftSettings s = Tornado();
    s.AreaFile = dir / "plain/fareas.ctl";
    int code = -1;
    try {
        RegisterBbsArea(s, "ECHO", "/e/");
    } catch (const ProgramExit& end) {
        code = end.code;
    }
    EXPECT_GT(code, 0);
    EXPECT_EQ(screen, "Runtime error " + std::to_string(code) + "\n");
}

}  // namespace
