#pragma once
// Console output on a shadow screen of cells. On a terminal the shadow is
// rendered with ANSI/VT sequences; otherwise text goes out plain and
// full-screen views are skipped. Either way CP866 becomes the locale's
// character set, and what that lacks is written in Latin letters.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The sixteen console colours. An attribute is a text colour plus 16 times
// a background colour; a colour alone is on black.
enum ConsoleColour : unsigned char {
    Black, Blue, Green, Cyan, Red, Magenta, Brown, LightGray,
    DarkGray, LightBlue, LightGreen, LightCyan, LightRed, LightMagenta, Yellow, White,
};
constexpr unsigned char ColourOn(ConsoleColour text, ConsoleColour background) {
    return static_cast<unsigned char>(text + 16 * background);
}

struct ScreenCell {
    unsigned char ch = ' ';
    unsigned char attr = LightGray;
};

struct ConsoleState {
    int width = 80, height = 25;
    int cursorX = 0, cursorY = 0;   // 0-based
    unsigned char attr = LightGray; // current attribute
    bool cursorVisible = true;
    bool terminal = false;          // standard output is a terminal
    bool colour = false;            // colour sequences wanted (terminal, no NO_COLOR)
    bool utf8 = false;              // terminal's codeset is UTF-8
    bool quiet = false;             // "-q": nothing on standard output
    bool errorSharesOutput = false; // standard error leads where standard output does
    std::vector<ScreenCell> cells;  // width * height
    std::string* capture = nullptr; // tests: output goes here instead of fd 1
    std::string* errorCapture = nullptr;  // tests: standard error goes here
};

ConsoleState& Console();

// Sets up the console for this process (terminal detection, size, locale).
// Quiet: nothing goes to standard output, and the console counts as no
// terminal (no full-screen view is drawn); error lines still reach
// standard error.
void InitConsole(bool quiet = false);
// Tests: a fresh console of the given size whose output goes to *sink;
// standard error leads there too.
void InitConsoleForTest(int width, int height, bool terminal, std::string* sink);

// Cell at 1-based (column, row) of the shadow screen.
const ScreenCell& CellAt(int column, int row);
// Characters of a row (1-based) from column to column+length-1.
std::string RowText(int row, int column = 1, int length = -1);

void SetTextColor(unsigned char attr);
void WriteText(std::string_view text);
void WriteLine(std::string_view text);
void WriteColored(std::string_view text, unsigned char attr);
void WriteAt(int column, int row, unsigned char attr, std::string_view text);

// An error line: the run's fatal message, a run-time error, a refused TIC.
// Progress stays on standard output; errors reach standard error too, and
// each is seen once:
// - on a terminal (or where standard error leads to the same place as
//   standard output) the line is written on the console in light red, and
//   on standard error only when that leads elsewhere;
// - otherwise it goes to standard error alone, plain; a progress line it
//   ends ("Reading Links.ctl...") is ended on standard output and given
//   whole on standard error.
void WriteErrorLine(std::string_view text);
// The same while a full-screen view stands: the view keeps its own lines,
// so the error goes to standard error only, and only when that is not the
// view's terminal.
void WriteErrorLineBehindView(std::string_view text);
void WriteCharAt(char ch, int column, int row, unsigned char attr);
void GotoXY(int column, int row);
int WhereX();
int WhereY();
void GetScreenSize(int& columns, int& rows);

struct SavedScreen {
    bool present = false;
    int rows = 0;
    std::vector<ScreenCell> cells;  // rows * 80
    int cursorX = 0, cursorY = 0;
};
void SaveScreen(int rows, SavedScreen& saved);
void RestoreScreen(int rows, SavedScreen& saved);
void SetCursorVisible(bool visible);
// Every cell blank in the attribute, on the terminal too.
void ClearScreen(unsigned char attr);

// Key codes: a character key gives its code, an extended key its scan code x 256.
// When input has ended, Esc a number of times (so that a question waiting
// for Enter cannot spin), then KeyInputEnded; the caller ends the run.
constexpr std::uint16_t KeyInputEnded = 0xFFFF;
// After EnableResizeEvents: the window changed its size; the shadow screen
// has the new size, is blank, and the view must be drawn again.
constexpr std::uint16_t KeyResize = 0xFFFE;
// Text pasted while bracketed paste is on: TakePastedText gives it.
constexpr std::uint16_t KeyPaste = 0xFFFD;
// A click or the wheel while mouse reports are on: LastMouseEvent tells which.
constexpr std::uint16_t KeyMouse = 0xFFFC;
// Decoding only: the start of a paste, which ReadKeyCode reads to its end.
constexpr std::uint16_t KeyPasteBegin = 0xFFFB;
std::uint16_t ReadKeyCode();
// Reports window size changes as KeyResize from now on.
void EnableResizeKeys();
// While a view takes pastes and the mouse: on the alternate screen the
// terminal marks pastes and reports the mouse; off again on every way out
// (the normal screen, exit, signals, a suspend), and what was typed ahead
// is dropped at the end so that it never reaches the shell.
void SetInputReports(bool wanted);

// Stops the process as SIGTSTP does (Ctrl+Z is a key in raw mode): the
// terminal goes back to the shell until the job goes on.
void SuspendToShell();

// The last paste as one line of code page 866.
std::string TakePastedText();
// Pasted text as one line: line ends (CR LF, CR, LF) and tabs become one
// blank each, other control bytes are dropped.
std::string PastedLine(std::string_view text);

enum class MouseAction { Click, DoubleClick, WheelUp, WheelDown };
struct MouseEvent {
    MouseAction action = MouseAction::Click;
    int column = 0, row = 0;  // 1-based cell
};
MouseEvent LastMouseEvent();
// An SGR mouse report, ESC [ < button ; column ; row M (press) or m (release).
struct MouseReport {
    int button = 0;  // 0 left, 1 middle, 2 right, 64/65 wheel; +4 Shift, +8 Alt, +16 Ctrl, +32 motion
    int column = 0, row = 0;
    bool pressed = false;
};
bool ParseMouseReport(std::string_view sequence, MouseReport& report);
// Decodes one key from the bytes a terminal sent; consumed = bytes used (0: need more).
// A code of 0 with bytes consumed is no key (a report or an unknown sequence).
std::uint16_t DecodeKeyBytes(std::string_view bytes, std::size_t& consumed);
// The same; with utf8 false a byte of 128 or more is one key of its own.
std::uint16_t DecodeKeyBytes(std::string_view bytes, std::size_t& consumed, bool utf8);

// Sends pending output to the terminal.
void FlushConsole();
// Restores terminal modes (raw mode, cursor, alternate screen); also on signals.
void RestoreTerminal();

// While a status screen is drawn: the writes go out together at the
// FlushConsole that ends the drawing, and without a terminal they reach the
// shadow screen only.
struct StatusScreenScope {
    StatusScreenScope();
    ~StatusScreenScope();
    StatusScreenScope(const StatusScreenScope&) = delete;
    StatusScreenScope& operator=(const StatusScreenScope&) = delete;
    bool previousQuiet, previousHeld;
};

// A file name as a view shows it: code page 866 in a UTF-8 locale; in any
// other each byte that is no ASCII is one "?" cell, so columns keep their width.
std::string NameForView(std::string_view name);

// CP866 byte to UTF-8 and back (console only; files are never converted).
std::string Cp866ToUtf8(std::string_view text);
std::string Utf8ToCp866(std::string_view text);
