#include "config/colors.h"

#include "config/ctlline.h"
#include "frame/exit.h"
#include "frame/platform.h"
#include "frame/utils.h"

namespace {

// Decimal, or hexadecimal after "$"; only the low byte counts, and text that
// is not a number gives 0.
std::uint8_t ColorValue(const std::string& value) {
    if (!value.empty() && value[0] == '$') {
        std::uint32_t number = 0;
        return ParseHexValue(std::string_view(value).substr(1), number) ? static_cast<std::uint8_t>(number & 0xFF) : 0;
    }
    return static_cast<std::uint8_t>(static_cast<unsigned long long>(ParseNumber(value)) & 0xFF);
}

std::string ColorProblem(std::string_view value) {
    const std::string shown = "\"" + std::string(value) + "\"";
    auto outOfBounds = [&shown] { return CheckText(Msg::CHECKNOTWITHIN, {{"%v", shown}, {"%l", "0"}, {"%h", "255"}}); };
    std::uint32_t number = 0;
    if (value.starts_with('$')) {
        if (!ParseHexValue(value.substr(1), number)) return CheckText(Msg::CHECKNOTHEX, {{"%v", shown}});
    } else {
        if (value.empty() || value.find_first_not_of("0123456789") != std::string_view::npos)
            return CheckText(Msg::CHECKNOTCOLOUR, {{"%v", shown}});
        if (value.size() > 3 || ParseNumber(value) > 255) return outOfBounds();
        return {};
    }
    return number > 255 ? outOfBounds() : std::string();
}

template <ColorItem Item>
void StoreColor(ColorScheme& scheme, const ParsedValue& value) {
    scheme.attr[static_cast<std::size_t>(Item)] = ColorValue(value.written);
}

constexpr ValueRule ColorRule = CheckedRule(TextRule(), ColorProblem);

const KeywordRow<ColorScheme> ColorKeywords[] = {
    {"FILEPANEL_PANEL", ColorRule, StoreColor<FilePanelPanel>},
    {"FILEPANEL_NAME", ColorRule, StoreColor<FilePanelName>},
    {"FILEPANEL_FILES", ColorRule, StoreColor<FilePanelFiles>},
    {"FILEPANEL_DIRS", ColorRule, StoreColor<FilePanelDirs>},
    {"FILEPANEL_CURSOR", ColorRule, StoreColor<FilePanelCursor>},
    {"FILEPANEL_PATH", ColorRule, StoreColor<FilePanelPath>},
    {"FILEPANEL_FILEINFOSTR", ColorRule, StoreColor<FilePanelFileInfoStr>},
    {"FILEPANEL_FILEGROUP1", ColorRule, StoreColor<FilePanelFileGroup1>},
    {"FILEPANEL_FILEGROUP2", ColorRule, StoreColor<FilePanelFileGroup2>},
    {"FILEPANEL_FILEGROUP3", ColorRule, StoreColor<FilePanelFileGroup3>},
    {"FILEPANEL_FILEGROUP4", ColorRule, StoreColor<FilePanelFileGroup4>},
    {"FILEPANEL_FILEGROUP5", ColorRule, StoreColor<FilePanelFileGroup5>},
    {"FILEPANEL_FILEGROUP6", ColorRule, StoreColor<FilePanelFileGroup6>},
    {"FILEPANEL_FILEGROUP7", ColorRule, StoreColor<FilePanelFileGroup7>},
    {"AREAPANEL_PANEL", ColorRule, StoreColor<AreaPanelPanel>},
    {"AREAPANEL_NAME", ColorRule, StoreColor<AreaPanelName>},
    {"AREAPANEL_AREANAME", ColorRule, StoreColor<AreaPanelAreaName>},
    {"AREAPANEL_CURSOR", ColorRule, StoreColor<AreaPanelCursor>},
    {"AREAPANEL_PATH", ColorRule, StoreColor<AreaPanelPath>},
    {"AREAPANEL_AREAINFOSTR", ColorRule, StoreColor<AreaPanelAreaInfoStr>},
    {"AREAPANEL_WINHEADER", ColorRule, StoreColor<AreaPanelWinHeader>},
    {"AREAPANEL_WINCOLOR", ColorRule, StoreColor<AreaPanelWinColor>},
    {"AREAPANEL_WINNAME", ColorRule, StoreColor<AreaPanelWinName>},
    {"AREAPANEL_WINDESC", ColorRule, StoreColor<AreaPanelWinDesc>},
    {"PANEL_STATUSSTR", ColorRule, StoreColor<PanelStatusStr>},
};
static_assert(std::size(ColorKeywords) == ColorItemCount, "a row for every colour");

}  // namespace

int ReadColorScheme(const std::string& path, ColorScheme& scheme) {
    scheme = ColorScheme{};
    std::vector<ControlEntry> entries;
    if (!ReadControlEntries(path, entries)) return ControlReadFailure();
    ApplyEntries<ColorScheme>(ColorKeywords, entries, scheme, std::string(), ExtractFileName(path), nullptr);
    return 0;
}

std::vector<ConfigProblem> CheckColorScheme(const std::string& path) {
    const std::string file = ExtractFileName(path);
    std::vector<ConfigProblem> problems;
    std::vector<ControlEntry> entries;
    if (!ReadControlEntries(path, entries)) {
        problems.push_back({file, 0, FileExists(path) ? MessageText(Msg::CHECKCANTREAD)
                                                      : CheckText(Msg::CHECKMISSINGRUNENDS, {{"%n", "3"}})});
        return problems;
    }
    ColorScheme scheme;
    ApplyEntries<ColorScheme>(ColorKeywords, entries, scheme, std::string(), file, &problems);
    bool set = false;
    for (const ControlEntry& entry : entries) set = set || FindRow<ColorScheme>(ColorKeywords, entry.keyword) != nullptr;
    if (!set) problems.push_back({file, 0, MessageText(Msg::CHECKNOCOLOURS)});
    return problems;
}
