#include "config/colors.h"

#include <gtest/gtest.h>

#include "testkit.h"

namespace {

ColorScheme LoadText(const ScratchDir& dir, const std::string& text) {
    WriteFileBytes(dir / "colors.ctl", text);
    ColorScheme scheme;
    scheme.attr.fill(99);
    ReadColorScheme(dir / "colors.ctl", scheme);
    return scheme;
}

TEST(ReadColorScheme, KeysValuesAndComments) {
    ScratchDir dir;
    ColorScheme scheme = LoadText(dir,
                                  "FILEPANEL_CURSOR 48\r\n"
                                  "  areapanel_cursor   48   ; black on cyan\r\n"
                                  "AREAPANEL_PANEL=31\r\n"
                                  "PANEL_STATUSSTR 300\r\n"
                                  "FILEPANEL_PANEL $1F\r\n"
                                  "FILEPANEL_NAME $1g\r\n"
                                  "FILEPANEL_FILES blue\r\n"
                                  "FILEPANEL_DIRS 5\r\n"
                                  "FILEPANEL_DIRS 6\r\n"
                                  "FILEPANEL_FILEGROUP7 -1\r\n"
                                  "UNKNOWN_KEY 12\r\n");
    EXPECT_EQ(scheme[FilePanelCursor], 48);
    EXPECT_EQ(scheme[AreaPanelCursor], 48);
    EXPECT_EQ(scheme[AreaPanelPanel], 0);
    EXPECT_EQ(scheme[PanelStatusStr], 44);
    EXPECT_EQ(scheme[FilePanelPanel], 0x1F);
    EXPECT_EQ(scheme[FilePanelName], 0);
    EXPECT_EQ(scheme[FilePanelFiles], 0);
    EXPECT_EQ(scheme[FilePanelDirs], 6);
    EXPECT_EQ(scheme[FilePanelFileGroup7], 255);
    EXPECT_EQ(scheme[AreaPanelWinDesc], 0);  // not in the file
}

TEST(ReadColorScheme, OddContentDoesNoHarm) {
    ScratchDir dir;
    ColorScheme scheme = LoadText(dir, std::string("\0\xFF\x1B[31m", 7) + "\nPANEL_STATUSSTR " + std::string(10000, '9') +
                               "\nFILEPANEL_PATH 7");
    EXPECT_EQ(scheme[PanelStatusStr], 0);
    EXPECT_EQ(scheme[FilePanelPath], 7);
    EXPECT_EQ(LoadText(dir, "")[FilePanelPanel], 0);
}

}  // namespace
