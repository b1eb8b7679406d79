#include "ui/filepanel.h"

#include <algorithm>

#include "frame/console.h"
#include "frame/platform.h"
#include "frame/utils.h"
#include "ui/windows.h"

namespace {

std::string PadRight(std::string text, std::size_t width) {
    text.resize(std::max(text.size(), width), ' ');
    return text;
}

std::string PadLeft(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// The name without its extension.
std::string_view Stem(const FileEntry& entry) {
    std::string_view name = entry.name;
    return entry.ext.empty() ? name : name.substr(0, name.size() - entry.ext.size() - 1);
}

// Case does not order names; bytes decide between names equal without it.
int CompareNoCase(std::string_view a, std::string_view b) {
    std::string la = LowerCase(a), lb = LowerCase(b);
    return la < lb ? -1 : la > lb ? 1 : 0;
}

bool Before(const FileEntry& a, const FileEntry& b, std::string_view mode) {
    int order = 0;
    if (mode == "NAME") {
        order = CompareNoCase(Stem(a), Stem(b));
        if (order == 0) order = CompareNoCase(a.ext, b.ext);
    } else if (mode == "EXT") {
        order = CompareNoCase(a.ext, b.ext);
        if (order == 0) order = CompareNoCase(Stem(a), Stem(b));
    } else if (mode == "SIZE") {
        if (a.size != b.size) return a.size < b.size;
    } else {
        return false;  // UNSORT: as read
    }
    if (order != 0) return order < 0;
    return a.name < b.name;
}

std::string ExtensionOf(std::string_view name) {
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || name == "..") return {};
    return std::string(name.substr(dot + 1));
}

FileEntry MakeEntry(const std::string& name, bool isDirectory, std::uint64_t size, std::time_t modified) {
    FileEntry entry;
    entry.name = name;
    // Linux names are mostly UTF-8; the console shows code page 866.
    entry.shown = Console().utf8 ? Utf8ToCp866(name) : name;
    entry.ext = ExtensionOf(name);
    entry.isDirectory = isDirectory;
    entry.size = isDirectory ? 0 : size;
    LocalDateTime t = LocalTimeOf(modified);
    entry.date = std::to_string(t.day) + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.year % 100);
    entry.time = std::to_string(t.hour) + ":" + TwoDigits(t.minute);
    return entry;
}

const std::string StatusText = " ENTER - Hatch file/Change Dir" + std::string(39, ' ') + "ESC - Exit ";

}  // namespace

void SortFileEntries(std::vector<FileEntry>& entries, std::string_view mode) {
    auto begin = entries.begin();
    if (begin != entries.end() && begin->name == "..") ++begin;
    auto files = std::stable_partition(begin, entries.end(), [](const FileEntry& e) { return e.isDirectory; });
    auto less = [mode](const FileEntry& a, const FileEntry& b) { return Before(a, b, mode); };
    std::stable_sort(begin, files, less);
    std::stable_sort(files, entries.end(), less);
}

int FileGroupOf(std::string_view ext, const std::array<std::string, 7>& groups) {
    const std::string key = ext.empty() ? std::string(".,") : "," + UpperCase(ext) + ",";
    int group = 0;
    for (int i = 0; i < 7; ++i)
        if (FindNoCase(groups[static_cast<std::size_t>(i)], key) != std::string::npos) group = i + 1;
    return group;
}

std::string FileEntryLabel(const FileEntry& entry) {
    const std::string& name = entry.shown;
    if (name == "..") return PadRight("..", LabelWidth);
    // A name that fits 8.3 keeps the columns of name and extension. Measured
    // in what is shown: a UTF-8 name is longer on disk.
    const std::string ext = ExtensionOf(name);
    const std::string stem = ext.empty() ? name : name.substr(0, name.size() - ext.size() - 1);
    if (stem.size() <= 8 && ext.size() <= 3 && stem.find('.') == std::string::npos)
        return PadRight(stem, 8) + " " + PadRight(ext, 3);
    return FitField(name, LabelWidth);
}

std::string FileInfoLine(const FileEntry& entry) {
    const std::string& name = entry.shown;
    if (name.size() > LabelWidth) {
        // A long name takes the whole line; its end shows the extension.
        if (name.size() <= InfoWidth) return PadRight(name, InfoWidth);
        return name.substr(0, InfoWidth / 2 - 1) + "~" + name.substr(name.size() - InfoWidth / 2);
    }
    std::string size;
    if (!entry.isDirectory) {
        size = std::to_string(entry.size);
        if (size.size() > 10) size = std::to_string(entry.size >> 10) + "K";
    }
    return PadRight(name, LabelWidth) + PadLeft(size, 10) + " " + PadLeft(entry.date, 8) + "  " +
           PadLeft(entry.time, 5);
}

std::string PanelPathText(std::string_view path) {
    std::string text = Console().utf8 ? Utf8ToCp866(path) : std::string(path);
    if (text.size() > 1 && text.back() == PathSeparator) text.pop_back();
    // Between the corners: a blank on each side of the path.
    constexpr std::size_t room = InfoWidth - 2;
    if (text.size() > room) text = text.substr(0, 3) + "..." + text.substr(text.size() - (room - 6));
    return " " + text + " ";
}

std::string ParentDirectory(std::string_view path, std::string& left) {
    std::string dir(path);
    if (dir.size() > 1 && dir.back() == PathSeparator) dir.pop_back();
    std::size_t slash = dir.rfind(PathSeparator);
    if (slash == std::string::npos || dir == "/") {
        left.clear();
        return "/";
    }
    left = dir.substr(slash + 1);
    return dir.substr(0, slash + 1);
}

void MoveFileCursor(int& first, int& current, int count, int rows, std::uint16_t key) {
    if (count <= 0) {
        first = current = 0;
        return;
    }
    rows = std::max(1, rows);
    const int page = 3 * rows;
    auto up = [&] {
        if (current > 0) --current;
        if (current < first) first = current;
    };
    auto down = [&] {
        if (current + 1 < count) ++current;
        if (current >= first + page) first = current - page + 1;
    };
    switch (key) {
    case KeyUp: up(); break;
    case KeyDown: down(); break;
    case KeyLeft: for (int i = 0; i < rows; ++i) up(); break;
    case KeyRight: for (int i = 0; i < rows; ++i) down(); break;
    case KeyPageUp: for (int i = 0; i < page; ++i) up(); break;
    case KeyPageDown: for (int i = 0; i < page; ++i) down(); break;
    case KeyHome: first = current = 0; break;
    case KeyEnd:
        current = count - 1;
        first = std::max(0, count - page);
        break;
    default: break;
    }
    // Also after a resize: the current entry stays in view.
    current = std::clamp(current, 0, count - 1);
    first = std::clamp(first, std::max(0, current - page + 1), current);
}

void InitFilePanel(FilePanel& panel, const std::string& startDir, const std::string& mask,
                   const std::array<std::string, 7>& groups, const ColorScheme& colors, const std::string& sortMode,
                   int left, int top) {
    panel = FilePanel{};
    panel.left = left;
    panel.top = top;
    panel.path = startDir.empty() ? std::string("/") : AbsolutePath(startDir);
    AddTrailingSlash(panel.path);
    panel.mask = mask;
    panel.groups = groups;
    panel.colors = colors;
    panel.sortMode = UpperCase(sortMode);
}

bool ReadFilePanel(FilePanel& panel) {
    panel.readError = !IsListableDirectory(panel.path);
    if (panel.readError) return false;
    panel.entries.clear();
    if (panel.path != "/") {
        std::time_t modified = 0;
        GetFileTime(panel.path + "..", modified);
        panel.entries.push_back(MakeEntry("..", true, 0, modified));
        panel.entries.back().color = panel.colors[FilePanelDirs];
    }
    for (const DirEntry& found : FindFiles(panel.path + panel.mask, SearchKind::Any)) {
        FileEntry entry = MakeEntry(found.name, found.isDirectory, found.size, found.modified);
        if (entry.isDirectory) {
            entry.color = panel.colors[FilePanelDirs];
        } else {
            int group = FileGroupOf(entry.ext, panel.groups);
            entry.color = group == 0 ? panel.colors[FilePanelFiles]
                                     : panel.colors[static_cast<ColorItem>(FilePanelFileGroup1 + group - 1)];
        }
        panel.entries.push_back(std::move(entry));
    }
    SortFileEntries(panel.entries, panel.sortMode);
    panel.first = panel.current = 0;
    return true;
}

void DrawFilePanel(FilePanel& panel) {
    if (!ScreenLargeEnough()) return;  // the notice stays
    const ColorScheme& c = panel.colors;
    const int height = PanelHeight();
    const int rows = height - 4;
    const int left = panel.left, top = panel.top;
    const unsigned char frame = c[FilePanelPanel];
    MoveFileCursor(panel.first, panel.current, static_cast<int>(panel.entries.size()), rows, 0);

    WriteAt(left, top, frame, "\xC9" + RepeatText("\xCD", InfoWidth) + "\xBB");
    const std::string column = std::string(LabelWidth, ' ');
    for (int row = top + 1; row <= top + height - 3; ++row)
        WriteAt(left, row, frame, "\xBA" + column + "\xB3" + column + "\xB3" + column + "\xBA");
    const std::string rule = RepeatText("\xC4", LabelWidth);
    WriteAt(left, top + height - 2, frame, "\xBA" + rule + "\xC1" + rule + "\xC1" + rule + "\xBA");
    WriteAt(left, top + height - 1, frame, "\xBA" + std::string(InfoWidth, ' ') + "\xBA");
    WriteAt(left, top + height, frame, "\xC8" + RepeatText("\xCD", InfoWidth) + "\xBC");
    for (int x : {5, 18, 31}) WriteAt(left + x, top + 1, c[FilePanelName], "Name");
    std::string path = PanelPathText(panel.path);
    WriteAt(left + 20 - static_cast<int>(path.size() / 2), top, c[FilePanelPath], path);

    for (int i = 0; i < 3 * rows; ++i) {
        std::size_t index = static_cast<std::size_t>(panel.first + i);
        if (index >= panel.entries.size()) break;
        const FileEntry& entry = panel.entries[index];
        unsigned char attr = static_cast<int>(index) == panel.current ? c[FilePanelCursor] : entry.color;
        WriteAt(left + 1 + (i / rows) * (LabelWidth + 1), top + 2 + i % rows, attr, FileEntryLabel(entry));
    }
    if (!panel.entries.empty())
        WriteAt(left + 1, top + height - 1, c[FilePanelFileInfoStr],
                FileInfoLine(panel.entries[static_cast<std::size_t>(panel.current)]));
    if (panel.active) {
        std::string status = panel.note.empty() ? StatusText : PadRight(" " + panel.note, ViewColumns);
        WriteAt(1, height + 2, c[PanelStatusStr], status.substr(0, ViewColumns));
    }
}

namespace {

// Reads the new path, or the previous one again when it cannot be read.
void ChangeDirectory(FilePanel& panel, const std::string& path, const std::string& select) {
    std::string previous = panel.path;
    panel.path = path;
    if (!ReadFilePanel(panel)) {
        panel.path = previous;
        ReadFilePanel(panel);
        return;
    }
    for (std::size_t i = 0; i < panel.entries.size(); ++i)
        if (!select.empty() && panel.entries[i].name == select) {
            panel.current = static_cast<int>(i);
            MoveFileCursor(panel.first, panel.current, static_cast<int>(panel.entries.size()), PanelHeight() - 4, 0);
            break;
        }
}

}  // namespace

void RefreshFilePanel(FilePanel& panel) {
    std::string current;
    if (!panel.entries.empty()) current = panel.entries[static_cast<std::size_t>(panel.current)].name;
    ChangeDirectory(panel, panel.path, current);
}

int FileEntryAt(const FilePanel& panel, int rows, int column, int row) {
    const int x = column - panel.left - 1, y = row - panel.top - 2;
    if (rows <= 0 || x < 0 || y < 0 || y >= rows || x >= 3 * (LabelWidth + 1) - 1) return -1;
    if (x % (LabelWidth + 1) == LabelWidth) return -1;  // a column's line
    const int index = panel.first + (x / (LabelWidth + 1)) * rows + y;
    return index < static_cast<int>(panel.entries.size()) ? index : -1;
}

PanelExit RunFilePanel(FilePanel& panel, const MouseEvent* start) {
    panel.result.clear();
    panel.active = true;
    SetCursorVisible(false);
    DrawFilePanel(panel);
    for (;;) {
        std::uint16_t key = start ? KeyMouse : ReadViewKey();
        const MouseEvent mouse = start ? *start : LastMouseEvent();
        start = nullptr;
        if (key == KeyPaste) continue;  // a paste is no key here
        panel.note.clear();
        const int count = static_cast<int>(panel.entries.size());
        const int rows = PanelHeight() - 4;
        if (key == KeyF10) return PanelExit::Quit;
        if (IsLeaveKey(key)) return PanelExit::Back;
        if (key == KeyTab || key == KeyShiftTab) return PanelExit::Switch;
        if (key == KeyMouse) {
            const bool inside = mouse.column >= panel.left && mouse.column < panel.left + PanelWidth &&
                                mouse.row >= panel.top && mouse.row <= panel.top + PanelHeight();
            if (!inside) {
                panel.handoff = mouse;
                return PanelExit::Elsewhere;
            }
            if (mouse.action == MouseAction::WheelUp || mouse.action == MouseAction::WheelDown) {
                ScrollList(panel.first, panel.current, count, 3 * rows, mouse.action == MouseAction::WheelUp ? -3 : 3);
                key = 0;
            } else {
                const int index = FileEntryAt(panel, rows, mouse.column, mouse.row);
                if (index >= 0) panel.current = index;
                // A double click opens what the first click selected.
                key = index >= 0 && mouse.action == MouseAction::DoubleClick ? KeyEnter : 0;
            }
        }
        if (key == KeyAltF1) {
            std::vector<DriveItem> drives = DriveList();
            std::vector<std::string> labels;
            for (const DriveItem& drive : drives) labels.push_back(drive.label);
            int columns = 0, screenRows = 0;
            GetScreenSize(columns, screenRows);
            int chosen = PopupMenu("Disk", labels, 10, 5, std::max(1, screenRows - 6), 1);
            if (chosen > 0) ChangeDirectory(panel, drives[static_cast<std::size_t>(chosen - 1)].path, {});
        } else if (key == KeyCtrlBackslash) {
            ChangeDirectory(panel, "/", {});
        } else if (key == KeyEnter && count > 0) {
            const FileEntry& entry = panel.entries[static_cast<std::size_t>(panel.current)];
            if (!entry.isDirectory) {
                const std::string path = panel.path + entry.name;
                // A pipe or a device would hang the hatch; a control byte
                // cannot go into a flow file or a TIC line, a '"' not into
                // a description list.
                if (IsRegularFile(path) && IsUsableFileName(entry.name)) {
                    panel.result = path;
                    return PanelExit::Picked;
                }
                panel.note = IsRegularFile(path) ? "A name with control characters or '\"' cannot be hatched"
                                                 : entry.shown + ": not a regular file";
            } else if (entry.name == "..") {
                std::string left;
                std::string parent = ParentDirectory(panel.path, left);
                ChangeDirectory(panel, parent, left);
            } else {
                ChangeDirectory(panel, panel.path + entry.name + "/", {});
            }
        } else if (key != 0) {
            MoveFileCursor(panel.first, panel.current, count, rows, key);
        }
        DrawFilePanel(panel);
    }
}
