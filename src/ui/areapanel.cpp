#include "ui/areapanel.h"

#include <algorithm>

#include "config/areas.h"
#include "frame/console.h"
#include "frame/utils.h"
#include "ui/filepanel.h"
#include "ui/windows.h"

namespace {

std::string Upper(std::string_view text) {
    std::string upper(text);
    UpperCaseRussian(upper);
    return upper;
}

void ShowAreaInfo(const AreaPanel& panel) {
    const ColorScheme& c = panel.colors;
    const AreaRecord area =
        ReadArea(*panel.areaIndexes, panel.areasFile, panel.tags[static_cast<std::size_t>(panel.current)]);
    const std::pair<const char*, std::string> fields[] = {
        {"FileEcho: ", area.Name},
        {"Path    : ", area.Path},
        {"Desc    : ", area.Desc},
        {"Group   : ", area.Group},
        {"AKA     : ", area.AKA},
        {"SecShow : ", std::to_string(area.SecurityShow)},
        {"SecRead : ", std::to_string(area.SecurityRead)},
        {"SecWrite: ", std::to_string(area.SecurityWrite)},
    };
    auto draw = [&] {
        DrawWindow("FileEcho info", 7, 5, 74, 14, c[AreaPanelWinHeader], c[AreaPanelWinColor], 0);
        int row = 6;
        for (const auto& [label, value] : fields) {
            WriteAt(10, row, c[AreaPanelWinName], label);
            WriteAt(20, row, c[AreaPanelWinDesc], FitText(value, 52));
            ++row;
        }
    };
    ViewScope view(draw);
    ReadClosingKey();
}

}  // namespace

int FindAreaByPrefix(const std::vector<std::string>& tags, std::string_view search) {
    const std::string wanted = Upper(search);
    for (std::size_t i = 0; i < tags.size(); ++i)
        if (Upper(tags[i]).starts_with(wanted)) return static_cast<int>(i);
    return -1;
}

int SearchAreaKey(const std::vector<std::string>& tags, std::string& search, std::uint16_t key) {
    if (key == KeyBackspace) {
        if (search.empty()) return -1;
        search.pop_back();
        return search.empty() ? -1 : FindAreaByPrefix(tags, search);
    }
    if (key < 32 || key > 255) return -1;
    std::string longer = search + Upper(std::string(1, static_cast<char>(key)));
    int found = FindAreaByPrefix(tags, longer);
    if (found >= 0) search = longer;
    return found;
}

void InitAreaPanel(AreaPanel& panel, AreaIndexes& areaIndexes, const std::string& areasFile, const ColorScheme& colors,
                   int left, int top) {
    panel = AreaPanel{};
    panel.areasFile = areasFile;
    panel.areaIndexes = &areaIndexes;
    panel.colors = colors;
    panel.left = left;
    panel.top = top;
}

bool LoadAreaPanel(AreaPanel& panel) {
    AreaList list;
    panel.tags.clear();
    if (LoadAreaList(panel.areasFile, list) == 0) {
        for (std::string tag : AreaTags(list)) {
            Trim(tag);
            if (!tag.empty()) panel.tags.push_back(std::move(tag));
        }
    }
    std::stable_sort(panel.tags.begin(), panel.tags.end(),
                     [](const std::string& a, const std::string& b) { return Upper(a) < Upper(b); });
    panel.first = panel.current = 0;
    panel.loadError = panel.tags.empty();
    return !panel.loadError;
}

void DrawAreaPanel(AreaPanel& panel) {
    if (!ScreenLargeEnough()) return;  // the notice stays
    const ColorScheme& c = panel.colors;
    int columns = 0, screenRows = 0;
    GetScreenSize(columns, screenRows);
    // Right of the file panel, which takes what a wider screen gives.
    panel.left = FilePanelWidth(columns) + 1;
    const int width = std::max(AreaTagWidth, columns - panel.left - 1);
    panel.width = width;
    const std::size_t inner = static_cast<std::size_t>(width);
    const int height = PanelHeight();
    const int rows = std::max(1, height - 4);
    const int left = panel.left, top = panel.top;
    const int count = static_cast<int>(panel.tags.size());
    panel.current = std::clamp(panel.current, 0, std::max(0, count - 1));
    panel.first = std::clamp(panel.first, std::max(0, panel.current - rows + 1), panel.current);

    const unsigned char frame = PanelAttr(c[AreaPanelPanel]);
    WriteAt(left, top, frame, "\xC9" + RepeatText("\xCD", width) + "\xBB");
    for (int row = top + 1; row <= top + height - 3; ++row)
        WriteAt(left, row, frame, "\xBA" + std::string(inner, ' ') + "\xBA");
    WriteAt(left, top + height - 2, frame, "\xBA" + RepeatText("\xC4", width) + "\xBA");
    WriteAt(left, top + height - 1, frame, "\xBA" + std::string(inner, ' ') + "\xBA");
    WriteAt(left, top + height, frame, "\xC8" + RepeatText("\xCD", width) + "\xBC");
    // The active panel shows its title highlighted.
    const std::string title = " File echoes ";
    const unsigned char titleAttr =
        panel.active ? PanelAttr(SwappedAttr(c[AreaPanelPanel]), true) : PanelAttr(c[AreaPanelPanel]);
    WriteAt(left + (width + 2) / 2 - static_cast<int>(title.size() / 2), top, titleAttr, title);
    WriteAt(left + 5, top + 1, PanelAttr(c[AreaPanelName]), "Fileecho");
    for (int i = 0; i < rows && panel.first + i < count; ++i) {
        int index = panel.first + i;
        const bool bar = panel.active && index == panel.current;
        WriteAt(left + 1, top + 2 + i, bar ? PanelAttr(c[AreaPanelCursor], true) : PanelAttr(c[AreaPanelAreaName]),
                FitField(panel.tags[static_cast<std::size_t>(index)], inner));
    }
    const unsigned char info = PanelAttr(c[AreaPanelAreaInfoStr]);
    if (!panel.search.empty())
        WriteAt(left + 1, top + height - 1, info, FitField(panel.search, 29));
    else if (count > 0)
        WriteAt(left + 1, top + height - 1, info, FitField(panel.tags[static_cast<std::size_t>(panel.current)], inner));
    if (panel.active)
        WriteAt(1, height + 2, PanelAttr(c[PanelStatusStr], true), StatusRow(" F3 - View fileecho info", "ESC - Back "));
}

int AreaTagAt(const AreaPanel& panel, int rows, int column, int row) {
    const int x = column - panel.left - 1, y = row - panel.top - 2;
    if (x < 0 || x >= panel.width || y < 0 || y >= rows) return -1;
    const int index = panel.first + y;
    return index < static_cast<int>(panel.tags.size()) ? index : -1;
}

PanelExit RunAreaPanel(AreaPanel& panel, const MouseEvent* start) {
    panel.result.clear();
    panel.search.clear();
    panel.active = true;
    SetCursorVisible(false);
    DrawAreaPanel(panel);
    const int count = static_cast<int>(panel.tags.size());
    for (;;) {
        std::uint16_t key = start ? KeyMouse : ReadViewKey();
        const MouseEvent mouse = start ? *start : LastMouseEvent();
        start = nullptr;
        if (key == KeyPaste) continue;  // a paste is no key here
        const int rows = std::max(1, PanelHeight() - 4);
        if (key == KeyF10) return PanelExit::Quit;
        if (IsLeaveKey(key)) return PanelExit::Back;
        if (key == KeyTab || key == KeyShiftTab) return PanelExit::Switch;
        if (key == KeyMouse) {
            const bool inside = mouse.column >= panel.left && mouse.column < panel.left + panel.width + 2 &&
                                mouse.row >= panel.top && mouse.row <= panel.top + PanelHeight();
            if (!inside) {
                panel.handoff = mouse;
                return PanelExit::Elsewhere;
            }
            panel.search.clear();
            if (mouse.action == MouseAction::WheelUp || mouse.action == MouseAction::WheelDown) {
                ScrollList(panel.first, panel.current, count, rows, mouse.action == MouseAction::WheelUp ? -3 : 3);
            } else if (int index = AreaTagAt(panel, rows, mouse.column, mouse.row); index >= 0) {
                panel.current = index;
                if (mouse.action == MouseAction::DoubleClick) key = KeyEnter;
            }
        }
        if (key == KeyEnter && count > 0) {
            panel.result = panel.tags[static_cast<std::size_t>(panel.current)];
            return PanelExit::Picked;
        }
        if (key == KeyMouse || key == KeyEnter) {
            // done above
        } else if (key > 255) {
            panel.search.clear();
            int steps = key == KeyPageUp || key == KeyPageDown ? rows : 1;
            for (int i = 0; i < steps; ++i) {
                if ((key == KeyUp || key == KeyPageUp) && panel.current > 0) --panel.current;
                if ((key == KeyDown || key == KeyPageDown) && panel.current + 1 < count) ++panel.current;
            }
            if (key == KeyHome) panel.current = 0;
            if (key == KeyEnd) panel.current = std::max(0, count - 1);
            if (key == KeyF3 && count > 0) ShowAreaInfo(panel);
        } else {
            int found = SearchAreaKey(panel.tags, panel.search, key);
            if (found >= 0) panel.current = found;
        }
        DrawAreaPanel(panel);
    }
}
