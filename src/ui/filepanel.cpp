#include "ui/filepanel.h"

#include <algorithm>
#include <cerrno>

#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/platform.h"
#include "frame/utils.h"
#include "ui/areapanel.h"
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
    entry.shown = NameForView(name);
    entry.ext = ExtensionOf(name);
    entry.isDirectory = isDirectory;
    entry.size = isDirectory ? 0 : size;
    LocalDateTime t = LocalTimeOf(modified);
    entry.date = std::to_string(t.day) + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.year % 100);
    entry.time = std::to_string(t.hour) + ":" + TwoDigits(t.minute);
    return entry;
}

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

std::string FileEntryLabel(const FileEntry& entry, int width) {
    const std::size_t room = static_cast<std::size_t>(std::max(1, width));
    const std::string& name = entry.shown;
    if (entry.isLink) return std::string(1, entry.isDangling ? '!' : '@') + FitField(name, room - 1);
    if (name == "..") return PadRight("..", room);
    // A name that fits 8.3 keeps the columns of name and extension. Measured
    // in what is shown: a UTF-8 name is longer on disk.
    const std::string ext = ExtensionOf(name);
    const std::string stem = ext.empty() ? name : name.substr(0, name.size() - ext.size() - 1);
    if (stem.size() <= 8 && ext.size() <= 3 && stem.find('.') == std::string::npos && room >= 12)
        return PadRight(PadRight(stem, 8) + " " + PadRight(ext, 3), room);
    return FitField(name, room);
}

std::string CutInMiddle(std::string_view name, std::size_t width) {
    if (name.size() <= width) return std::string(name);
    if (width < 3) return FitText(name, width);
    std::size_t tail = (width - 1) - (width - 1) / 2;
    const std::string ext = ExtensionOf(name);
    if (!ext.empty()) tail = std::max(tail, std::min(ext.size() + 1, width - 2));
    const std::size_t head = width - 1 - tail;
    return std::string(name.substr(0, head)) + "~" + std::string(name.substr(name.size() - tail));
}

std::string FileInfoLine(const FileEntry& entry, int width) {
    // Size, date and time take 26 columns; the name has the rest.
    const std::size_t room = static_cast<std::size_t>(std::max(3, width - 26));
    std::string size;
    if (entry.isDangling) {
        size = "no target";
    } else if (!entry.isDirectory) {
        size = std::to_string(entry.size);
        if (size.size() > 10) size = std::to_string(entry.size >> 10) + "K";
    }
    return PadRight(CutInMiddle(entry.shown, room), room) + PadLeft(size, 10) + " " + PadLeft(entry.date, 8) + "  " +
           PadLeft(entry.time, 5);
}

std::string PanelPathText(std::string_view path, int width) {
    std::string text = NameForView(path);
    if (text.size() > 1 && text.back() == PathSeparator) text.pop_back();
    // Between the corners: a blank on each side of the path.
    const std::size_t room = static_cast<std::size_t>(std::max(8, width - 4));
    if (text.size() > room) text = text.substr(0, 3) + "..." + text.substr(text.size() - (room - 6));
    return " " + text + " ";
}

// The three columns and their two lines fill the frame's inside.
int FileColumnWidth(int panelWidth) { return (panelWidth - 4) / 3; }

int FilePanelWidth(int screenColumns) {
    if (screenColumns <= ViewColumns) return PanelWidth;
    return PanelWidth + 3 * ((screenColumns - ViewColumns) / 3);
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
    panel.search.clear();
    if (panel.path != "/") {
        std::time_t modified = 0;
        GetFileTime(panel.path + "..", modified);
        panel.entries.push_back(MakeEntry("..", true, 0, modified));
        panel.entries.back().color = panel.colors[FilePanelDirs];
    }
    for (const DirEntry& found : FindFiles(panel.path + panel.mask, SearchKind::Listing)) {
        FileEntry entry = MakeEntry(found.name, found.isDirectory, found.size, found.modified);
        entry.isLink = found.isLink;
        entry.isDangling = found.isDangling;
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
    int columns = 0, screenRows = 0;
    GetScreenSize(columns, screenRows);
    panel.width = FilePanelWidth(columns);
    const int inner = panel.width - 2;
    const int label = FileColumnWidth(panel.width);
    const int height = PanelHeight();
    const int rows = height - 4;
    const int left = panel.left, top = panel.top;
    const unsigned char frame = PanelAttr(c[FilePanelPanel]);
    MoveFileCursor(panel.first, panel.current, static_cast<int>(panel.entries.size()), rows, 0);

    WriteAt(left, top, frame, "\xC9" + RepeatText("\xCD", inner) + "\xBB");
    const std::string column = std::string(static_cast<std::size_t>(label), ' ');
    for (int row = top + 1; row <= top + height - 3; ++row)
        WriteAt(left, row, frame, "\xBA" + column + "\xB3" + column + "\xB3" + column + "\xBA");
    const std::string rule = RepeatText("\xC4", label);
    WriteAt(left, top + height - 2, frame, "\xBA" + rule + "\xC1" + rule + "\xC1" + rule + "\xBA");
    WriteAt(left, top + height - 1, frame, "\xBA" + std::string(static_cast<std::size_t>(inner), ' ') + "\xBA");
    WriteAt(left, top + height, frame, "\xC8" + RepeatText("\xCD", inner) + "\xBC");
    for (int i = 0; i < 3; ++i) WriteAt(left + 1 + i * (label + 1) + (label - 4) / 2, top + 1, PanelAttr(c[FilePanelName]), "Name");
    // The active panel shows its title highlighted.
    std::string path = PanelPathText(panel.path, panel.width);
    const unsigned char pathAttr =
        panel.active ? PanelAttr(SwappedAttr(c[FilePanelPath]), true) : PanelAttr(c[FilePanelPath]);
    WriteAt(left + panel.width / 2 - static_cast<int>(path.size() / 2), top, pathAttr, path);

    for (int i = 0; i < 3 * rows; ++i) {
        std::size_t index = static_cast<std::size_t>(panel.first + i);
        if (index >= panel.entries.size()) break;
        const FileEntry& entry = panel.entries[index];
        const bool bar = panel.active && static_cast<int>(index) == panel.current;
        unsigned char attr = bar ? PanelAttr(c[FilePanelCursor], true) : PanelAttr(entry.color);
        WriteAt(left + 1 + (i / rows) * (label + 1), top + 2 + i % rows, attr, FileEntryLabel(entry, label));
    }
    const unsigned char info = PanelAttr(c[FilePanelFileInfoStr]);
    if (!panel.search.empty())
        WriteAt(left + 1, top + height - 1, info, FitField(panel.search, static_cast<std::size_t>(inner)));
    else if (!panel.entries.empty())
        WriteAt(left + 1, top + height - 1, info,
                FileInfoLine(panel.entries[static_cast<std::size_t>(panel.current)], inner));
    if (panel.active) {
        std::string status = panel.note.empty() ? StatusRow(" ENTER - Hatch file/Change Dir", "ESC - Exit ")
                                                : StatusRow(" " + panel.note, "");
        WriteAt(1, height + 2, PanelAttr(c[PanelStatusStr], true), status);
    }
}

namespace {

// Reads the new path, or the previous one again when it cannot be read:
// the status row then says why.
void ChangeDirectory(FilePanel& panel, std::string path, const std::string& select) {
    AddTrailingSlash(path);
    std::string previous = panel.path;
    panel.path = path;
    if (!ReadFilePanel(panel)) {
        int error = ReadAccessError(path, true);
        if (error == 0) error = ENOTDIR;
        panel.note = Fill(MessageText(Msg::PANELDIRUNREADABLE), "%f", NameForView(path), "%e", ErrorText(error));
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

// Enter on a file: its path, or empty with the reason on the status row. A
// link gives the file it leads to.
std::string PickFile(FilePanel& panel, const FileEntry& entry) {
    if (entry.isDangling) {
        panel.note = Fill(MessageText(Msg::PANELDANGLING), "%f", entry.shown);
        return {};
    }
    const std::string path = entry.isLink ? LinkDestination(panel.path + entry.name) : panel.path + entry.name;
    const std::string name = ExtractFileNameAsIs(path);
    // A pipe or a device would hang the hatch; a control byte cannot go into
    // a flow file or a TIC line, a '"' not into a description list.
    if (!IsRegularFile(path)) {
        panel.note = entry.shown + ": not a regular file";
        return {};
    }
    if (!IsUsableFileName(name)) {
        panel.note = "A name with control characters or '\"' cannot be hatched";
        return {};
    }
    // An unreadable file would go out with a wrong CRC, or end the copy.
    if (int error = ReadAccessError(path, false)) {
        panel.note = Fill(MessageText(Msg::HATCHUNREADABLE), "%f", NameForView(name), "%e", ErrorText(error));
        return {};
    }
    return path;
}

}  // namespace

void RefreshFilePanel(FilePanel& panel) {
    std::string current;
    if (!panel.entries.empty()) current = panel.entries[static_cast<std::size_t>(panel.current)].name;
    ChangeDirectory(panel, panel.path, current);
}

int FileEntryAt(const FilePanel& panel, int rows, int column, int row) {
    const int label = FileColumnWidth(panel.width);
    const int x = column - panel.left - 1, y = row - panel.top - 2;
    if (rows <= 0 || x < 0 || y < 0 || y >= rows || x >= 3 * (label + 1) - 1) return -1;
    if (x % (label + 1) == label) return -1;  // a column's line
    const int index = panel.first + (x / (label + 1)) * rows + y;
    return index < static_cast<int>(panel.entries.size()) ? index : -1;
}

PanelExit RunFilePanel(FilePanel& panel, const MouseEvent* start) {
    panel.result.clear();
    panel.search.clear();
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
            const bool inside = mouse.column >= panel.left && mouse.column < panel.left + panel.width &&
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
        if ((key >= 32 && key <= 255) || key == KeyBackspace) {
            // Typed letters find a name, as in the area panel.
            std::vector<std::string> names;
            for (const FileEntry& entry : panel.entries) names.push_back(entry.shown);
            int found = SearchAreaKey(names, panel.search, key);
            if (found >= 0) {
                panel.current = found;
                MoveFileCursor(panel.first, panel.current, count, rows, 0);
            }
            DrawFilePanel(panel);
            continue;
        }
        panel.search.clear();
        if (key == KeyAltF1) {
            std::vector<DriveItem> drives = DriveList();
            std::vector<std::string> labels;
            for (const DriveItem& drive : drives) labels.push_back(drive.label);
            int columns = 0, screenRows = 0;
            GetScreenSize(columns, screenRows);
            int chosen = PopupMenu("Disk", labels, 10, 5, std::max(1, screenRows - 6), 1);
            // A mount point is a directory, never a mask.
            if (chosen > 0) ChangeDirectory(panel, drives[static_cast<std::size_t>(chosen - 1)].path, {});
        } else if (key == KeyCtrlBackslash) {
            ChangeDirectory(panel, "/", {});
        } else if (key == KeyCtrlR) {
            // Files that came meanwhile are listed; the cursor stays on its name.
            RereadDirectory(panel.path);
            RefreshFilePanel(panel);
        } else if (key == KeyEnter && count > 0) {
            const FileEntry& entry = panel.entries[static_cast<std::size_t>(panel.current)];
            if (!entry.isDirectory) {
                panel.result = PickFile(panel, entry);
                if (!panel.result.empty()) return PanelExit::Picked;
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
