#pragma once
// The commander's colour scheme "colors.ctl": console attributes
// (foreground + 16 x background) by key.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/ctltable.h"

// Index of each colour in the scheme, in the order of the keys.
enum ColorItem : int {
    FilePanelPanel,        // FILEPANEL_PANEL
    FilePanelName,         // FILEPANEL_NAME
    FilePanelFiles,        // FILEPANEL_FILES
    FilePanelDirs,         // FILEPANEL_DIRS
    FilePanelCursor,       // FILEPANEL_CURSOR
    FilePanelPath,         // FILEPANEL_PATH
    FilePanelFileInfoStr,  // FILEPANEL_FILEINFOSTR
    FilePanelFileGroup1,   // FILEPANEL_FILEGROUP1 .. FILEPANEL_FILEGROUP7 follow
    FilePanelFileGroup2,
    FilePanelFileGroup3,
    FilePanelFileGroup4,
    FilePanelFileGroup5,
    FilePanelFileGroup6,
    FilePanelFileGroup7,
    AreaPanelPanel,        // AREAPANEL_PANEL
    AreaPanelName,         // AREAPANEL_NAME
    AreaPanelAreaName,     // AREAPANEL_AREANAME
    AreaPanelCursor,       // AREAPANEL_CURSOR
    AreaPanelPath,         // AREAPANEL_PATH (stored, nothing is drawn in it)
    AreaPanelAreaInfoStr,  // AREAPANEL_AREAINFOSTR
    AreaPanelWinHeader,    // AREAPANEL_WINHEADER
    AreaPanelWinColor,     // AREAPANEL_WINCOLOR
    AreaPanelWinName,      // AREAPANEL_WINNAME
    AreaPanelWinDesc,      // AREAPANEL_WINDESC
    PanelStatusStr,        // PANEL_STATUSSTR
    ColorItemCount
};

struct ColorScheme {
    std::array<std::uint8_t, ColorItemCount> attr{};  // 0 until the file sets it
    std::uint8_t operator[](ColorItem item) const { return attr[static_cast<std::size_t>(item)]; }
};

// Fills the scheme from the file (reset first). Returns 0, or the error
// number when the file cannot be read. Values are decimal or "$"
// hexadecimal; the low 8 bits count.
int ReadColorScheme(const std::string& path, ColorScheme& scheme);

// What `brenmoor check` finds in the file: unknown keys, values that are no
// colour (0..255), and a file that is missing (the run ends with 3) or sets
// no colour at all.
std::vector<ConfigProblem> CheckColorScheme(const std::string& path);
