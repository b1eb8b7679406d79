// The toss status screen on the console's shadow screen, with a terminal
// and without one.
#include <gtest/gtest.h>

#include <string>

#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/platform.h"
#include "tic/tossscreen.h"

namespace {

std::string Times(const std::string& piece, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += piece;
    return text;
}

// "character/attribute" of a cell.
std::string Cell(int column, int row) {
    return std::string(1, static_cast<char>(CellAt(column, row).ch)) + "/" + std::to_string(CellAt(column, row).attr);
}

class TossScreen : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        InitConsoleForTest(80, 25, GetParam(), &output);
        ClearCatalogue();
        ParseCatalogueText("TOSSSCRRECEIVEFILE Received file:\nTOSSSCRRECEIVEFROM From:\nTOSSSCRORIGIN Origin:\n"
                           "TOSSSCRFILEECHO File echo:\nTOSSSCRDESC " + std::string(50, 'd') +
                           "\nTOSSSCRALLWORKUPTIC Processed TIC files:\nTOSSSCRBADTICFILES " + std::string(30, 'b') +
                           "\nTOSSSCRCOMPLETE Complete\n");
        DrawTossScreen();
    }
    void TearDown() override {
        ClearCatalogue();
        if (!GetParam()) {
            EXPECT_EQ(output, "");  // nothing without a terminal
        }
        static std::string dropped;  // output must not outlive the test
        InitConsoleForTest(80, 25, false, &dropped);
    }
    std::string output;
};

TEST_P(TossScreen, FrameLabelsTitleAndEmptyBar) {
    const std::string blank43(43, ' '), blank34(34, ' ');
    const std::string title = " Brenmoor v." + std::string(VersionNumber) + " ";
    EXPECT_EQ(RowText(1, 1, 61), "\xC9" + Times("\xCD", 43) + "\xD1" + Times("\xCD", 16));
    EXPECT_EQ(RowText(1, 62, static_cast<int>(title.size())) + RowText(1, 80), title + "\xBB");
    EXPECT_EQ(RowText(6), "\xBA" + blank43 + "\xB3" + blank34 + "\xBA");
    EXPECT_EQ(RowText(13), "\xBA" + Times("\xC4", 43) + "\xB3" + blank34 + "\xBA");
    EXPECT_EQ(RowText(16), "\xBA" + Times("\xC4", 43) + "\xD9" + blank34 + "\xBA");
    EXPECT_EQ(RowText(20), "\xBA" + std::string(78, ' ') + "\xBA");
    EXPECT_EQ(RowText(25), "\xC8" + Times("\xCD", 78) + "\xBC");
    for (int row = 1; row <= 25; ++row) EXPECT_EQ(CellAt(1, row).attr + CellAt(80, row).attr, 2 * 143) << row;
    EXPECT_EQ(RowText(2, 3, 14) + Cell(3, 2), "Received file:R/138");
    EXPECT_EQ(RowText(5, 3, 5) + RowText(11, 3, 10), "From:File echo:");
    EXPECT_EQ(RowText(14, 3, 42), std::string(41, 'd') + " ");
    EXPECT_EQ(RowText(2, 47, 20) + Cell(47, 2), "Processed TIC files:P/142");
    EXPECT_EQ(RowText(3, 47, 26), std::string(25, 'b') + " ");
    EXPECT_EQ(RowText(8, 47, 33), Times("\xB0", 28) + "   0%");
    EXPECT_EQ(CellAt(47, 8).attr + CellAt(79, 8).attr, 2 * 139);
    EXPECT_EQ(RowText(9, 57, 8) + Cell(57, 9), "CompleteC/142");
    // The cut labels stay in the catalogue.
    EXPECT_EQ(MessageText(Msg::TOSSSCRBADTICFILES), std::string(25, 'b'));
    EXPECT_EQ(MessageText(Msg::TOSSSCRDESC), std::string(41, 'd'));
}

TEST_P(TossScreen, ProgressBarCellsAndPercent) {
    ShowTossProgress(0, 7);
    EXPECT_EQ(RowText(8, 47, 33), Times("\xB0", 28) + "   0%");
    EXPECT_EQ(Console().attr, 137);
    ShowTossProgress(1, 3);
    EXPECT_EQ(RowText(8, 47, 33), Times("\xDB", 9) + Times("\xB0", 19) + "  33%");
    EXPECT_EQ(Cell(55, 8) + " " + Cell(56, 8), "\xDB/137 \xB0/139");
    ShowTossProgress(5, 3);
    EXPECT_EQ(RowText(8, 47, 33), Times("\xDB", 28) + " 100%");
    ShowTossProgress(29, 100);  // whole numbers: no rounding down to 28
    EXPECT_EQ(RowText(8, 76, 3), " 29");
    ShowTossProgress(3, 0);
    EXPECT_EQ(RowText(8, 76, 3), "100");
}

TEST_P(TossScreen, FieldsCountsAndFileEchoCut) {
    const std::string echo45 = "ECHO.WITH.A.VERY.LONG.NAME.THAT.GOES.ON.12345";
    UpdateTossScreen("2:5020/1", "2:5020/2", echo45, "a_rather_long_file_name.zip", "Some file", 12, 3, 24);
    UpdateTossScreen("2:5020/9", "2:5020/2", echo45, "short.zip", "Other", 13, 4, 24);
    EXPECT_EQ(RowText(3, 3, 43), "short.zip" + std::string(33, ' ') + "\xB3");
    EXPECT_EQ(Cell(3, 3) + " " + Cell(44, 3), "s/139  /139");
    EXPECT_EQ(RowText(6, 3, 9) + RowText(9, 3, 9), "2:5020/9 2:5020/2 ");
    EXPECT_EQ(RowText(12, 3, 42), echo45.substr(0, 40) + "  ");
    EXPECT_EQ(RowText(15, 3, 6), "Other ");
    EXPECT_EQ(RowText(2, 72, 9), "13" + std::string(6, ' ') + "\xBA");
    EXPECT_EQ(Cell(72, 2) + " " + Cell(74, 2) + " " + Cell(72, 3), "1/138  /139 4/140");
    EXPECT_EQ(RowText(3, 73, 1) + RowText(8, 47, 15) + RowText(8, 76, 3), " " + Times("\xDB", 15) + " 54");
    // A value longer than the inside of the frame never spills into the next row.
    UpdateTossScreen(std::string(100, 'f'), "o", "e", "n", "d", 1, 0, 1);
    EXPECT_EQ(RowText(7), "\xBA" + Times("\xC4", 43) + "\xB3" + std::string(34, ' ') + "\xBA");
    EXPECT_EQ(CellAt(80, 6).ch, 0xBA);
}

INSTANTIATE_TEST_SUITE_P(Toss, TossScreen, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Terminal" : "Plain"; });

}  // namespace
