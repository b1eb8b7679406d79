#include "announce/bbssoft.h"

#include <gtest/gtest.h>

#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/exit.h"
#include "testkit.h"

namespace {

class ReadBbsSoftTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitConsoleForTest(80, 25, false, &screen);
        ClearCatalogue();
        ParseCatalogueText("ERROR ERROR\n");
    }
    BbsSoftSettings Load(const std::string& text) {
        WriteFileBytes(dir / "bbssoft.ctl", text);
        BbsSoftSettings settings;
        ReadBbsSoft(dir / "bbssoft.ctl", settings);
        return settings;
    }
    ScratchDir dir;
    std::string screen;
};

TEST_F(ReadBbsSoftTest, TornadoSettings) {
    BbsSoftSettings s = Load(
        "; comment\r\n"
        "tornado_area /bbs/Fareas.ctl  ; areas\r\n"
        "TORNADO_SCAN_NEWFILES yes\r\n"
        "TORNADO_DL_SECURITY 10\r\n"
        "TORNADO_UL_SECURITY 20\r\n"
        "TORNADO_LIST_SECURITY x\r\n"
        "TORNADO_SHOW_SECURITY 70000\r\n"
        "GROUP File Echoes\r\n"
        "UPLOAD upload/\r\n"
        "Ab\r\n");
    EXPECT_EQ(s.Kind, 2);
    EXPECT_EQ(s.AreaFile, "/bbs/Fareas.ctl");
    EXPECT_TRUE(s.ScanNewFiles);
    EXPECT_EQ(s.DlSecurity, 10);
    EXPECT_EQ(s.UlSecurity, 20);
    EXPECT_EQ(s.ListSecurity, 0);
    EXPECT_EQ(s.ShowSecurity, 0);
    EXPECT_EQ(s.Group, "File Echoes");
    EXPECT_EQ(s.Upload, dir / "upload/");
}

TEST_F(ReadBbsSoftTest, TheLaterAreaKeywordDecides) {
    BbsSoftSettings s = Load("TORNADO_AREA /t.ctl\nMAXIMUS_AREA /m.ctl\nMAXIMUS_ACS Normal\n");
    EXPECT_EQ(s.Kind, 1);
    EXPECT_EQ(s.AreaFile, "/m.ctl");
    EXPECT_EQ(s.Acs, "Normal");
    s = Load("MAXIMUS_AREA /m.ctl\nTORNADO_AREA /t.ctl\n");
    EXPECT_EQ(s.Kind, 2);
    EXPECT_EQ(s.AreaFile, "/t.ctl");
}

TEST_F(ReadBbsSoftTest, EmptyOrOddFilesGiveNoBbs) {
    BbsSoftSettings s = Load("");
    EXPECT_EQ(s.Kind, 0);
    EXPECT_EQ(s.AreaFile, "");
    s = Load(std::string("\x01\x02\xFF\0 MAXIMUS_AREA", 17) + "\nMAXIMUS_ACS " + std::string(10000, 'a') + "\n");
    EXPECT_EQ(s.Kind, 0);
    EXPECT_EQ(s.Acs, std::string(128, 'a'));
}

TEST_F(ReadBbsSoftTest, UnreadableFileEndsWithTwo) {
    int code = -1;
    try {
        BbsSoftSettings s;
        ReadBbsSoft(dir / "bbssoft.ctl", s);
    } catch (const ProgramExit& end) {
        code = end.code;
    }
    EXPECT_EQ(code, 2);
    EXPECT_EQ(screen, "ERROR\n\n");
}

}  // namespace
