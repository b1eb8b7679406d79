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

TEST_F(BbsAreaTest, DefinitionsInANewFile) {
    const struct {
        BbsSoftSettings settings;
        std::string text;
    } cases[] = {
        {Maximus(),
         "\r\n% Added by Brenmoor\r\n"
         "FileArea 1\r\n"
         "        ACS            Normal\r\n"
         "        Desc           NODELIST\r\n"
         "        DownLoad       /fido/files/nodelist/\r\n"
         "        UpLoad         /fido/files/nodelist/\r\n"
         "End FileArea\r\n"},
        {Tornado(),
         "\r\n; Added by Brenmoor\r\n"
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
         ";\r\n"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(RegisterBbsArea(c.settings, "NODELIST", "/fido/files/nodelist/"));
        EXPECT_EQ(ReadFileBytes(c.settings.AreaFile), c.text);
    }
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
    const struct {
        const char *tag, *keyword;
        bool quoted, present;
    } cases[] = {
        {"MYECHO", "DESC", false, true},     {" myecho ", "DESC", false, true}, {"TABBED", "DESC", false, true},
        {"COMMENTED", "DESC", false, false},  // keeps its blanks before "%"
        {"\x8F\x90\x88\x82\x85\x92", "DESC", false, true}, {"HIDDEN", "DESC", false, false},
        {"MYECHO", "NAME", true, false},     {"QUOTED", "NAME", true, true},    {"APOS", "NAME", true, true},
        {"BARE", "NAME", true, true},        {"QUOTED", "NAME", false, false},
    };
    for (const auto& c : cases) EXPECT_EQ(BbsAreaPresent(file, c.tag, c.keyword, c.quoted), c.present) << c.tag;
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
    BbsSoftSettings none = Maximus(), noFile = Tornado(), unknown = Maximus();
    none.Kind = 0;
    noFile.AreaFile = "";
    unknown.Kind = 3;
    for (const BbsSoftSettings& s : {none, noFile, unknown}) EXPECT_FALSE(RegisterBbsArea(s, "ECHO", "/e/"));
    // No tag, a pass-through area, or a tag that cannot stand in the file.
    for (const char* tag : {"", "   ", "A;B", "100%"}) EXPECT_FALSE(RegisterBbsArea(Maximus(), tag, "/e/")) << tag;
    EXPECT_FALSE(RegisterBbsArea(Maximus(), "ECHO", ""));
    EXPECT_FALSE(PathExists(dir / "max"));
    EXPECT_FALSE(PathExists(dir / "tornado"));
}

TEST_F(BbsAreaTest, UnwritableAreaFileEndsTheRun) {
    WriteFileBytes(dir / "plain", "x");
    BbsSoftSettings s = Tornado();
    s.AreaFile = dir / "plain/fareas.ctl";
    int code = ExitCodeOf<ProgramExit>([&] { RegisterBbsArea(s, "ECHO", "/e/"); });
    EXPECT_GT(code, 0);
    EXPECT_EQ(screen, "Runtime error " + std::to_string(code) + "\n");
}

}  // namespace
