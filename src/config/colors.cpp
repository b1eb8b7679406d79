#include "config/colors.h"

#include <vector>

#include "config/ctlline.h"
#include "frame/exit.h"
#include "frame/platform.h"
#include "frame/utils.h"

namespace {

constexpr std::string_view ColorKeys[ColorItemCount] = {
    "FILEPANEL_PANEL",       "FILEPANEL_NAME",        "FILEPANEL_FILES",       "FILEPANEL_DIRS",
    "FILEPANEL_CURSOR",      "FILEPANEL_PATH",        "FILEPANEL_FILEINFOSTR", "FILEPANEL_FILEGROUP1",
    "FILEPANEL_FILEGROUP2",  "FILEPANEL_FILEGROUP3",  "FILEPANEL_FILEGROUP4",  "FILEPANEL_FILEGROUP5",
    "FILEPANEL_FILEGROUP6",  "FILEPANEL_FILEGROUP7",  "AREAPANEL_PANEL",       "AREAPANEL_NAME",
    "AREAPANEL_AREANAME",    "AREAPANEL_CURSOR",      "AREAPANEL_PATH",        "AREAPANEL_AREAINFOSTR",
    "AREAPANEL_WINHEADER",   "AREAPANEL_WINCOLOR",    "AREAPANEL_WINNAME",     "AREAPANEL_WINDESC",
    "PANEL_STATUSSTR",
};

// Decimal, or hexadecimal after "$"; only the low byte counts, and text that
// is not a number gives 0.
std::uint8_t ColorValue(const std::string& value) {
    if (!value.empty() && value[0] == '$') {
        std::uint32_t number = 0;
        return ParseHexValue(std::string_view(value).substr(1), number) ? static_cast<std::uint8_t>(number & 0xFF) : 0;
    }
    return static_cast<std::uint8_t>(static_cast<unsigned long long>(ParseNumber(value)) & 0xFF);
}

}  // namespace

void ReadColorScheme(const std::string& path, ColorScheme& scheme) {
    scheme = ColorScheme{};
    std::vector<std::string> lines;
    if (!ReadTextLines(path, lines)) RuntimeError(LastErrorNumber());
    for (const std::string& line : lines) {
        std::string keyword, value;
        SplitKeywordValue(CleanControlLine(line), keyword, value);
        if (keyword.empty()) continue;
        for (int i = 0; i < ColorItemCount; ++i) {
            if (keyword == ColorKeys[i]) {
                scheme.attr[static_cast<std::size_t>(i)] = ColorValue(value);
                break;
            }
        }
    }
}
