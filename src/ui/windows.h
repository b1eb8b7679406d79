#pragma once
// The commander's building blocks: views that draw themselves from their
// state, a framed window, the pop-up menu with the drive list and the
// one-line editor.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "frame/platform.h"

// The commander's layout needs this much screen.
constexpr int ViewColumns = 80;
constexpr int ViewRows = 25;

// Keys by their codes from ReadKeyCode.
constexpr std::uint16_t KeyUp = 72 << 8, KeyDown = 80 << 8, KeyLeft = 75 << 8, KeyRight = 77 << 8;
constexpr std::uint16_t KeyHome = 71 << 8, KeyEnd = 79 << 8, KeyPageUp = 73 << 8, KeyPageDown = 81 << 8;
constexpr std::uint16_t KeyInsert = 82 << 8, KeyDelete = 83 << 8, KeyF3 = 61 << 8, KeyAltF1 = 104 << 8;
constexpr std::uint16_t KeyAltQ = 16 << 8, KeyF1 = 59 << 8, KeyF10 = 68 << 8, KeyShiftTab = 15 << 8;
constexpr std::uint16_t KeyCtrlR = 18;
constexpr std::uint16_t KeyEnter = 13, KeyEsc = 27, KeyBackspace = 8, KeyCtrlC = 3, KeyCtrlBackslash = 28;
constexpr std::uint16_t KeyTab = 9, KeyCtrlZ = 26;

// Esc, F10, and Ctrl+C, which arrives as a key in raw mode: all leave.
bool IsLeaveKey(std::uint16_t key);

// How a panel's keys ended: a pick (Enter or a double click), Esc, F10,
// Tab, or a click or the wheel outside the panel (its handoff).
enum class PanelExit { Picked, Back, Quit, Switch, Elsewhere };
// Which panel of the commander takes the keys.
enum class ActivePanel { Files, Areas };

// One line of the key help (F1); the man page lists the same keys.
struct KeyHelpLine {
    const char* keys;
    const char* what;
};
extern const std::vector<KeyHelpLine> KeyHelp;
// The key help over the views until any key or click.
void ShowKeyHelp();

// Every view on the screen, bottom first, draws itself again after the
// window's size changed or a view above it closed. A ViewScope puts a view
// on the stack for its lifetime and draws it.
class ViewScope {
public:
    explicit ViewScope(std::function<void()> draw);
    ~ViewScope();
    ViewScope(const ViewScope&) = delete;
    ViewScope& operator=(const ViewScope&) = delete;
};
void RedrawViews();
// A key for a view. A resize or a return from a stop is handled here (views
// drawn again, or a notice while the window is smaller than 80x25), and so
// are F1 (the key help) and Ctrl+Z (a stop); KeyPaste and KeyMouse reach
// the view, which takes or ignores them.
std::uint16_t ReadViewKey();
// A key that closes a window: any but a paste.
std::uint16_t ReadClosingKey();
bool ScreenLargeEnough();

// A frame from (left, top) to (right, bottom): style 0 double lines, 1 single.
void DrawWindow(std::string_view title, int left, int top, int right, int bottom, unsigned char attr,
                unsigned char titleAttr, int style);

// A menu of items; the 1-based number of the chosen one, 0 after Esc.
int PopupMenu(std::string_view title, const std::vector<std::string>& items, int left, int top, int maxRows,
              int style);

// The drive menu: the mount points of real file systems, each with its type.
struct DriveItem {
    std::string path;   // where it is mounted
    std::string label;  // what the menu shows
};
// " RAM Disk", " CD-ROM", " Remote" or " Fixed" by file-system type.
std::string DriveTypeText(std::string_view fsType);
// What the menu shows of a mount point; empty for the kernel's own file
// systems (proc, sysfs, cgroup, devpts, ...) and what is mounted under
// /proc, /sys and /dev, which are no drives (/dev/shm is one).
std::string DriveLabel(const MountPoint& mount);
std::vector<DriveItem> DriveList();

// The one-line editor. Codes 32..255 are typed characters (code page 866).
struct EditState {
    std::string text;
    std::size_t cursor = 0;  // 0 .. text.size()
    bool insert = true;
};
enum class EditResult { Editing, Done, Cancelled };
// One key; the text never grows beyond maxLength - 1 characters.
EditResult EditStep(EditState& state, std::uint16_t key, std::size_t maxLength);
// A pasted line at the cursor, cut to what the field still takes.
void EditPaste(EditState& state, std::string_view pasted, std::size_t maxLength);
// Edits text at (column, row) in the attribute, in a field of width columns
// that scrolls with the cursor; false when cancelled (text unchanged then).
// Leading and trailing blanks are removed at the end.
bool EditLine(int column, int row, std::size_t width, std::size_t maxLength, unsigned char attr,
              std::string& text);

// The view of a list scrolled by delta entries (the wheel): first moves
// within 0 .. count - shown, and the current entry stays in view.
void ScrollList(int& first, int& current, int count, int shown, int delta);
// What a panel draws in an attribute: the attribute itself in colour.
// Without colour (NO_COLOR) a view has two looks, plain and reverse video
// for what is highlighted: the cursor bar and the active panel's title.
unsigned char PanelAttr(unsigned char attr, bool highlighted = false);
// The attribute with text and background colours exchanged.
unsigned char SwappedAttr(unsigned char attr);
// The status row: left and right parts at the ends of the screen's width.
std::string StatusRow(std::string_view left, std::string_view right);

// The piece count times over: frame lines.
std::string RepeatText(std::string_view piece, int count);
// The height of the panels: the screen's rows less the status row and one.
int PanelHeight();

// A text cut to width columns for display: a cut is marked with "~".
std::string FitText(std::string_view text, std::size_t width);
// FitText, padded with blanks to exactly width columns.
std::string FitField(std::string_view text, std::size_t width);
