#include "ui/windows.h"

#include <algorithm>
#include <array>

#include "frame/console.h"
#include "frame/platform.h"
#include "frame/utils.h"

namespace {

std::vector<std::function<void()>>& Views() {
    static std::vector<std::function<void()>> views;
    return views;
}

void ShowSizeNotice() {
    int columns = 0, rows = 0;
    GetScreenSize(columns, rows);
    ClearScreen(LightGray);
    SetCursorVisible(false);
    std::string notice = "Make the window at least " + std::to_string(ViewColumns) + "x" + std::to_string(ViewRows) +
                         " (now " + std::to_string(columns) + "x" + std::to_string(rows) + ").";
    WriteAt(1, 1, LightGray, notice.substr(0, static_cast<std::size_t>(columns)));
}

// Frame characters of code page 866: top-left, line, top-right, side,
// bottom-left, bottom-right.
constexpr std::array<std::array<char, 6>, 2> FrameChars = {{
    {'\xC9', '\xCD', '\xBB', '\xBA', '\xC8', '\xBC'},
    {'\xDA', '\xC4', '\xBF', '\xB3', '\xC0', '\xD9'},
}};

}  // namespace

bool IsLeaveKey(std::uint16_t key) {
    return key == KeyEsc || key == KeyF10 || key == KeyCtrlC || key == KeyInputEnded;
}

const std::vector<KeyHelpLine> KeyHelp = {
    {"Up, Down, PgUp, PgDn", "move the cursor"},
    {"Home, End", "the first or the last entry"},
    {"Left, Right", "a column back or on in the file panel"},
    {"Enter", "open a directory, pick a file or an echo"},
    {"Tab", "the other panel"},
    {"letters", "the first entry that begins with them"},
    {"Ctrl+R", "read the directory again"},
    {"Alt+F1", "mount points"},
    {"Ctrl+\\", "the root directory"},
    {"F3", "the file echo's settings"},
    {"click, wheel", "select an entry, scroll"},
    {"double click", "as Enter"},
    {"Ctrl+Z", "stop; fg in the shell goes on"},
    {"F1", "this help"},
    {"Esc", "back to the file panel; there it leaves"},
    {"F10", "leave"},
};

void ShowKeyHelp() {
    const bool cursorWas = Console().cursorVisible;
    const int top = 4, rows = static_cast<int>(KeyHelp.size());
    auto draw = [&] {
        if (!ScreenLargeEnough()) return;
        constexpr unsigned char window = ColourOn(Black, LightGray), keys = ColourOn(Blue, LightGray);
        DrawWindow("Keys", 7, top, 74, top + rows + 1, window, window, 0);
        for (int i = 0; i < rows; ++i) {
            const KeyHelpLine& line = KeyHelp[static_cast<std::size_t>(i)];
            WriteAt(10, top + 1 + i, keys, line.keys);
            WriteAt(32, top + 1 + i, window, line.what);
        }
    };
    SetCursorVisible(false);
    {
        ViewScope view(draw);
        ReadClosingKey();
    }
    SetCursorVisible(cursorWas);
}

ViewScope::ViewScope(std::function<void()> draw) {
    Views().push_back(std::move(draw));
    if (ScreenLargeEnough()) Views().back()();
    else ShowSizeNotice();
}

ViewScope::~ViewScope() {
    Views().pop_back();
    // The last view gone, the screen is the caller's again.
    if (!Views().empty()) RedrawViews();
}

bool ScreenLargeEnough() {
    int columns = 0, rows = 0;
    GetScreenSize(columns, rows);
    return columns >= ViewColumns && rows >= ViewRows;
}

void RedrawViews() {
    if (!ScreenLargeEnough()) {
        ShowSizeNotice();
        return;
    }
    for (const auto& draw : Views()) draw();
}

std::uint16_t ReadViewKey() {
    for (;;) {
        std::uint16_t key = ReadKeyCode();
        if (key == KeyResize) {
            RedrawViews();
            continue;
        }
        if (key == KeyCtrlZ) {
            // The stop gives the terminal to the shell; going on, the reader
            // draws the views again.
            SuspendToShell();
            continue;
        }
        if (key == KeyF1 && ScreenLargeEnough()) {
            ShowKeyHelp();
            continue;
        }
        // While the notice is shown only leaving is possible.
        if (!ScreenLargeEnough() && !IsLeaveKey(key)) continue;
        return key;
    }
}

std::uint16_t ReadClosingKey() {
    for (;;) {
        std::uint16_t key = ReadViewKey();
        if (key == KeyPaste) continue;
        if (key == KeyMouse && LastMouseEvent().action != MouseAction::Click &&
            LastMouseEvent().action != MouseAction::DoubleClick)
            continue;
        return key;
    }
}

void DrawWindow(std::string_view title, int left, int top, int right, int bottom, unsigned char attr,
                unsigned char titleAttr, int style) {
    const auto& frame = FrameChars[style == 0 ? 0 : 1];
    const int inner = right - left - 3;  // cells between the two sides
    if (inner < 0 || bottom <= top) return;
    const std::string line(static_cast<std::size_t>(inner), frame[1]);
    const std::string fill(static_cast<std::size_t>(inner), ' ');
    WriteAt(left, top, attr, " " + std::string(1, frame[0]) + line + frame[2] + " ");
    for (int row = top + 1; row < bottom; ++row)
        WriteAt(left, row, attr, " " + std::string(1, frame[3]) + fill + frame[3] + " ");
    WriteAt(left, bottom, attr, " " + std::string(1, frame[4]) + line + frame[5] + " ");
    if (!title.empty()) {
        std::string shown = " " + FitText(title, static_cast<std::size_t>(std::max(0, inner - 2))) + " ";
        int column = left + (right - 2 - left) / 2 - static_cast<int>(shown.size() - 2) / 2;
        WriteAt(column, top, titleAttr, shown);
    }
}

int PopupMenu(std::string_view title, const std::vector<std::string>& items, int left, int top, int maxRows,
              int style) {
    if (items.empty()) return 0;
    int columns = 0, screenRows = 0;
    GetScreenSize(columns, screenRows);
    std::size_t width = 0;
    for (const std::string& item : items) width = std::max(width, item.size() + 2);
    // The menu stays on an 80-column screen.
    width = std::min<std::size_t>(width, static_cast<std::size_t>(std::max(4, ViewColumns - left - 3)));
    int current = 0, first = 0;
    const int count = static_cast<int>(items.size());
    auto rowsShown = [&] {
        GetScreenSize(columns, screenRows);
        return std::max(1, std::min({count, maxRows, screenRows - top - 1}));
    };
    auto draw = [&] {
        const int rows = rowsShown();
        first = std::clamp(first, std::max(0, current - rows + 1), current);
        const unsigned char menu = ColourOn(Black, LightGray);
        DrawWindow(title, left, top, left + static_cast<int>(width) + 3, top + rows + 1, menu, menu, style);
        for (int i = 0; i < rows && first + i < count; ++i) {
            std::string text = " " + FitText(items[static_cast<std::size_t>(first + i)], width - 2);
            text.resize(width, ' ');
            // Without colour the menu is in reverse video and its current item plain.
            const unsigned char bar = Console().colour ? ColourOn(Black, Green) : ColourOn(LightGray, Black);
            WriteAt(left + 2, top + 1 + i, first + i == current ? bar : menu, text);
        }
    };
    SetCursorVisible(false);
    int chosen = 0;
    {
        ViewScope view(draw);
        for (;;) {
            std::uint16_t key = ReadViewKey();
            if (key == KeyUp && current > 0) --current;
            else if (key == KeyDown && current + 1 < count) ++current;
            else if (key == KeyHome) current = 0;
            else if (key == KeyEnd) current = count - 1;
            else if (key == KeyEnter) {
                chosen = current + 1;
                break;
            } else if (IsLeaveKey(key) || key == KeyAltQ) {
                break;
            }
            draw();
        }
    }
    return chosen;
}

std::string DriveTypeText(std::string_view fsType) {
    if (fsType == "tmpfs" || fsType == "ramfs") return " RAM Disk";
    if (fsType == "iso9660" || fsType == "udf") return " CD-ROM";
    if (fsType == "nfs" || fsType == "nfs4" || fsType == "cifs" || fsType == "smb3" || fsType == "fuse.sshfs")
        return " Remote";
    return " Fixed";
}

std::string DriveLabel(const MountPoint& mount) {
    static constexpr std::string_view kernelTypes[] = {
        "proc", "sysfs", "cgroup", "cgroup2", "devpts", "devtmpfs", "mqueue", "debugfs", "tracefs",
        "securityfs", "pstore", "bpf", "configfs", "fusectl", "hugetlbfs", "autofs", "binfmt_misc",
        "efivarfs", "rpc_pipefs", "nsfs", "selinuxfs"};
    for (std::string_view type : kernelTypes)
        if (mount.type == type) return {};
    const std::string& path = mount.path;
    auto under = [&path](std::string_view dir) {
        return path == dir || (path.starts_with(dir) && path[dir.size()] == '/');
    };
    if (under("/proc") || under("/sys") || (under("/dev") && !under("/dev/shm"))) return {};
    return path + DriveTypeText(mount.type);
}

std::vector<DriveItem> DriveList() {
    std::vector<DriveItem> drives;
    for (const MountPoint& mount : ReadMountPoints()) {
        std::string label = DriveLabel(mount);
        if (label.empty()) continue;
        // A later mount on the same path hides the earlier one.
        auto same = std::find_if(drives.begin(), drives.end(), [&](const DriveItem& d) { return d.path == mount.path; });
        if (same != drives.end()) drives.erase(same);
        drives.push_back({mount.path, label});
    }
    if (drives.empty()) drives.push_back({"/", "/ Fixed"});
    return drives;
}

EditResult EditStep(EditState& state, std::uint16_t key, std::size_t maxLength) {
    std::string& text = state.text;
    const std::size_t limit = maxLength > 0 ? maxLength - 1 : 0;
    state.cursor = std::min(state.cursor, text.size());
    switch (key) {
    case KeyEnter: return EditResult::Done;
    case KeyLeft:
        if (state.cursor > 0) --state.cursor;
        break;
    case KeyRight:
        if (state.cursor < text.size()) ++state.cursor;
        break;
    case KeyHome: state.cursor = 0; break;
    case KeyEnd: state.cursor = text.size(); break;
    case KeyInsert: state.insert = !state.insert; break;
    case KeyDelete:
        if (state.cursor < text.size()) text.erase(state.cursor, 1);
        break;
    case KeyBackspace:
        if (state.cursor > 0) text.erase(--state.cursor, 1);
        break;
    default:
        if (IsLeaveKey(key)) return EditResult::Cancelled;
        if (key < 32 || key > 255) break;
        if (!state.insert && state.cursor < text.size()) {
            text[state.cursor++] = static_cast<char>(key);
        } else if (text.size() < limit) {
            text.insert(state.cursor++, 1, static_cast<char>(key));
        }
    }
    return EditResult::Editing;
}

void EditPaste(EditState& state, std::string_view pasted, std::size_t maxLength) {
    std::string& text = state.text;
    const std::size_t limit = maxLength > 0 ? maxLength - 1 : 0;
    state.cursor = std::min(state.cursor, text.size());
    if (text.size() >= limit) return;
    std::string_view piece = pasted.substr(0, limit - text.size());
    text.insert(state.cursor, piece);
    state.cursor += piece.size();
}

bool EditLine(int column, int row, std::size_t width, std::size_t maxLength, unsigned char attr,
              std::string& text) {
    if (width == 0) return false;
    EditState state;
    state.text = text.substr(0, maxLength > 0 ? maxLength - 1 : 0);
    state.cursor = state.text.size();
    std::size_t offset = 0;
    auto draw = [&] {
        if (state.cursor < offset) offset = state.cursor;
        if (state.cursor >= offset + width) offset = state.cursor - width + 1;
        std::string shown = state.text.substr(std::min(offset, state.text.size()), width);
        shown.resize(width, ' ');
        WriteAt(column, row, attr, shown);
        GotoXY(column + static_cast<int>(state.cursor - offset), row);
        SetCursorVisible(true);
    };
    ViewScope view(draw);
    for (;;) {
        const std::uint16_t key = ReadViewKey();
        if (key == KeyPaste) {
            EditPaste(state, TakePastedText(), maxLength);
            draw();
            continue;
        }
        EditResult result = EditStep(state, key, maxLength);
        if (result == EditResult::Cancelled) return false;
        if (result == EditResult::Done) break;
        draw();
    }
    Trim(state.text);
    text = state.text;
    return true;
}

void ScrollList(int& first, int& current, int count, int shown, int delta) {
    if (count <= 0) {
        first = current = 0;
        return;
    }
    shown = std::max(1, shown);
    first = std::clamp(first + delta, 0, std::max(0, count - shown));
    current = std::clamp(current, first, std::min(count, first + shown) - 1);
}

unsigned char PanelAttr(unsigned char attr, bool highlighted) {
    if (Console().colour) return attr;
    return highlighted ? ColourOn(Black, LightGray) : ColourOn(LightGray, Black);
}

unsigned char SwappedAttr(unsigned char attr) {
    return static_cast<unsigned char>(((attr & 15) << 4) | (attr >> 4));
}

std::string StatusRow(std::string_view left, std::string_view right) {
    int columns = 0, rows = 0;
    GetScreenSize(columns, rows);
    const std::size_t width = static_cast<std::size_t>(std::max(columns, ViewColumns));
    std::string row(left);
    if (row.size() + right.size() < width) row.append(width - row.size() - right.size(), ' ');
    row += right;
    return row.substr(0, width);
}

std::string RepeatText(std::string_view piece, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += piece;
    return text;
}

int PanelHeight() {
    int columns = 0, rows = 0;
    GetScreenSize(columns, rows);
    return rows - 2;
}

std::string FitText(std::string_view text, std::size_t width) {
    if (text.size() <= width) return std::string(text);
    if (width == 0) return {};
    return std::string(text.substr(0, width - 1)) + "~";
}

std::string FitField(std::string_view text, std::size_t width) {
    std::string shown = FitText(text, width);
    shown.resize(width, ' ');
    return shown;
}
