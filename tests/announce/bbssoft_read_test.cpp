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

// The settings as one line.
std::string Fields(const BbsSoftSettings& s) {
    return std::to_string(s.Kind) + "|" + s.AreaFile + "|" + s.Acs + "|" + s.Upload + "|" +
           (s.ScanNewFiles ? "scan" : "") + "|" + std::to_string(s.DlSecurity) + "/" +
           std::to_string(s.UlSecurity) + "/" + std::to_string(s.ListSecurity) + "/" +
           std::to_string(s.ShowSecurity) + "|" + s.Group;
}

TEST_F(ReadBbsSoftTest, TornadoSettings) {
    BbsSoftSettings s = Load("; comment\r\ntornado_area /bbs/Fareas.ctl  ; areas\r\nTORNADO_SCAN_NEWFILES yes\r\n"
                             "TORNADO_DL_SECURITY 10\r\nTORNADO_UL_SECURITY 20\r\nTORNADO_LIST_SECURITY x\r\n"
                             "TORNADO_SHOW_SECURITY 70000\r\nGROUP File Echoes\r\nUPLOAD upload/\r\nAb\r\n");
    EXPECT_EQ(Fields(s), "2|/bbs/Fareas.ctl||" + (dir / "upload/") + "|scan|10/20/0/0|File Echoes");
}

TEST_F(ReadBbsSoftTest, TheLaterAreaKeywordDecidesAndOddFilesGiveNoBbs) {
    EXPECT_EQ(Fields(Load("TORNADO_AREA /t.ctl\nMAXIMUS_AREA /m.ctl\nMAXIMUS_ACS Normal\n")),
              "1|/m.ctl|Normal|||0/0/0/0|");
    EXPECT_EQ(Fields(Load("MAXIMUS_AREA /m.ctl\nTORNADO_AREA /t.ctl\n")), "2|/t.ctl||||0/0/0/0|");
    EXPECT_EQ(Fields(Load("")), "0|||||0/0/0/0|");
    EXPECT_EQ(Fields(Load(std::string("\x01\x02\xFF\0 MAXIMUS_AREA", 17) + "\nMAXIMUS_ACS " + std::string(10000, 'a'))),
              "0||" + std::string(128, 'a') + "|||0/0/0/0|");
}

TEST_F(ReadBbsSoftTest, UnreadableFileEndsWithTwo) {
    BbsSoftSettings s;
    EXPECT_EQ(ExitCodeOf<ProgramExit>([&] { ReadBbsSoft(dir / "bbssoft.ctl", s); }), 2);
    EXPECT_EQ(screen, "ERROR\n\n");
}

}  // namespace
