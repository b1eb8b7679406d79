#include "frame/console.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdlib>

#include "frame/latin.h"
#include "frame/platform.h"
#include "frame/platform_console.h"

namespace {

// Bookkeeping behind the shadow screen that callers never see.
struct ConsoleInternals {
    std::string pending;          // output not yet written
    int emittedAttr = -1;         // colour the terminal is set to, -1 unknown
    bool coloured = false;        // the terminal is not in its default colours
    bool needSync = false;        // the terminal cursor is not where ours is
    int alternateDepth = 0;       // saved screens while on the alternate screen
    std::vector<ScreenCell> mainCells;  // the normal screen behind the alternate one
    int mainWidth = 0, mainX = 0, mainY = 0;
    bool quiet = false;           // status screen without a terminal: shadow only
    bool held = false;            // a status screen is being drawn: one flush at its end
    std::string line;             // what was written on the console's current line
    std::string input;            // key bytes read but not yet decoded
    // Not UTF-8: the bytes 128..255 the locale's character set has, as its
    // bytes; the others are written in Latin letters.
    std::bitset<128> shown;
    std::array<std::string, 128> glyphs;
    int endOfInputCount = 0;
    bool reportsWanted = false;   // a view takes pastes and the mouse
    bool reportsOn = false;       // the terminal was told to send them
    std::string pasted;           // the last paste, code page 866
    MouseEvent mouse;             // the last mouse event
    std::uint64_t lastClickTick = 0;
    int lastClickColumn = -1, lastClickRow = -1;
};

ConsoleInternals& Internals() {
    static ConsoleInternals internals;
    return internals;
}

constexpr int SavedColumns = 80;  // a save buffer always covers columns 1-80
constexpr int MaxScreenSide = 1024;

// Code page 866, bytes 128..255.
constexpr char16_t HighCodePoints[128] = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,
};

// How a console shows the control bytes 0..31 when they sit in a cell.
constexpr char16_t ControlGlyphs[32] = {
    0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,
    0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C,
    0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,
    0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,
};
constexpr char16_t DeleteGlyph = 0x2302;

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Decodes one UTF-8 character: length 0 = incomplete, -1 = malformed (one byte).
int DecodeUtf8(std::string_view bytes, char32_t& code) {
    unsigned char first = static_cast<unsigned char>(bytes[0]);
    int length;
    if (first < 0x80) {
        code = first;
        return 1;
    } else if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
        code = first & 0x1F;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        code = first & 0x0F;
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        code = first & 0x07;
    } else {
        return -1;
    }
    for (int i = 1; i < length; ++i) {
        if (static_cast<std::size_t>(i) >= bytes.size()) return 0;
        unsigned char next = static_cast<unsigned char>(bytes[i]);
        if ((next & 0xC0) != 0x80) return -1;
        code = (code << 6) | (next & 0x3F);
    }
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF))
        return -1;
    return length;
}

// CP866 byte of a code point, or -1.
int Cp866Of(char32_t code) {
    if (code < 0x80) return static_cast<int>(code);
    for (int i = 0; i < 128; ++i)
        if (HighCodePoints[i] == code) return 128 + i;
    return -1;
}

void EnsureCells() {
    ConsoleState& console = Console();
    console.width = std::clamp(console.width, 1, MaxScreenSide);
    console.height = std::clamp(console.height, 1, MaxScreenSide);
    std::size_t size = static_cast<std::size_t>(console.width) * static_cast<std::size_t>(console.height);
    if (console.cells.size() != size) console.cells.assign(size, ScreenCell{});
    console.cursorX = std::clamp(console.cursorX, 0, console.width - 1);
    console.cursorY = std::clamp(console.cursorY, 0, console.height - 1);
}

ScreenCell& Cell(int x, int y) {
    ConsoleState& console = Console();
    return console.cells[static_cast<std::size_t>(y) * static_cast<std::size_t>(console.width) +
                         static_cast<std::size_t>(x)];
}

void Out(std::string_view bytes) {
    if (Internals().quiet || Console().quiet) return;
    Internals().pending.append(bytes);
}

std::string CursorTo(int x, int y) {
    return "\x1b[" + std::to_string(y + 1) + ";" + std::to_string(x + 1) + "H";
}

// What the terminal shows for a cell's byte.
void AppendGlyph(std::string& out, unsigned char ch) {
    const ConsoleState& console = Console();
    const ConsoleInternals& internals = Internals();
    if (ch >= 0x20 && ch < 0x7F) {
        out += static_cast<char>(ch);
    } else if (console.utf8) {
        char32_t code = ch < 0x20 ? ControlGlyphs[ch] : ch == 0x7F ? DeleteGlyph : HighCodePoints[ch - 128];
        AppendUtf8(out, code);
    } else if (ch >= 0x80 && internals.shown[ch - 128]) {
        out += internals.glyphs[ch - 128];
    } else if (ch >= 0x80) {
        out += Cp866LatinCell(ch);
    } else {
        // A control byte must never reach the terminal as a command.
        out += ch == 0 ? ' ' : '?';
    }
}

// Output to a pipe or file (cron mail, a mailer's log) is text in the
// locale's character set: code page 866 becomes UTF-8 in a UTF-8 locale and
// the locale's own bytes in any other (what it lacks was made Latin before).
std::string PlainText(std::string_view text) {
    const ConsoleInternals& internals = Internals();
    const bool utf8 = Console().utf8;
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) {
        unsigned char ch = static_cast<unsigned char>(c);
        if (ch < 0x80) out += c;
        else if (utf8) AppendUtf8(out, HighCodePoints[ch - 128]);
        else if (internals.shown[ch - 128]) out += internals.glyphs[ch - 128];
        else out += Cp866LatinCell(ch);
    }
    return out;
}

// Console colour order (blue = 1, red = 4) to ANSI order (red = 1, blue = 4).
constexpr int AnsiColour[8] = {0, 4, 2, 6, 1, 5, 3, 7};

void UpdateGuard() {
    const ConsoleState& console = Console();
    const ConsoleInternals& internals = Internals();
    if (!console.terminal || console.capture) return;
    SetTerminalGuard(internals.alternateDepth > 0, !console.cursorVisible, internals.coloured, internals.reportsOn);
}

void SwitchReports(bool on) {
    ConsoleInternals& internals = Internals();
    if (internals.reportsOn == on) return;
    Out(on ? ReportsOn : ReportsOff);
    internals.reportsOn = on;
}

// Sets the terminal's colours. On the normal screen light grey and black are
// the terminal's own default colours, so ordinary lines look like the user's
// other programs; full-screen views use exact colours.
void EmitAttr(unsigned char attr) {
    ConsoleState& console = Console();
    ConsoleInternals& internals = Internals();
    if (!console.terminal || internals.quiet) return;
    bool exact = internals.alternateDepth > 0;
    // Without colour (NO_COLOR) a full-screen view still needs its bars and
    // windows: a cell on a background shows in reverse video.
    if (!console.colour && !exact) return;
    // Without colour only the two looks count.
    if (!console.colour) attr = (attr >> 4) != Black ? ColourOn(Black, LightGray) : ColourOn(LightGray, Black);
    if (internals.emittedAttr == attr) return;
    int fg = attr & 15, bg = attr >> 4;
    std::string sgr = "\x1b[0";
    if (!console.colour) {
        if (bg != Black) sgr += ";7";
    } else {
        if (exact || fg != LightGray) sgr += ";" + std::to_string((fg & 8 ? 90 : 30) + AnsiColour[fg & 7]);
        if (exact || bg != Black) sgr += ";" + std::to_string((bg & 8 ? 100 : 40) + AnsiColour[bg & 7]);
    }
    sgr += "m";
    Out(sgr);
    internals.emittedAttr = attr;
    bool wasColoured = internals.coloured;
    internals.coloured = sgr != "\x1b[0m";
    if (wasColoured != internals.coloured) UpdateGuard();
}

void SyncCursor() {
    ConsoleState& console = Console();
    ConsoleInternals& internals = Internals();
    if (!console.terminal || !internals.needSync) return;
    Out(CursorTo(console.cursorX, console.cursorY));
    internals.needSync = false;
}

void ScrollUp() {
    ConsoleState& console = Console();
    std::size_t width = static_cast<std::size_t>(console.width);
    std::move(console.cells.begin() + static_cast<std::ptrdiff_t>(width), console.cells.end(), console.cells.begin());
    std::fill(console.cells.end() - static_cast<std::ptrdiff_t>(width), console.cells.end(),
              ScreenCell{' ', console.attr});
}

// Line feed as the console does it: next line, first column, scrolling at the bottom.
void LineFeed() {
    ConsoleState& console = Console();
    console.cursorX = 0;
    if (++console.cursorY >= console.height) {
        ScrollUp();
        console.cursorY = console.height - 1;
    }
}

// Puts a byte into the cell under the cursor and moves on; true when the
// cursor wrapped to the next line.
bool PutAtCursor(unsigned char ch) {
    ConsoleState& console = Console();
    Cell(console.cursorX, console.cursorY) = ScreenCell{ch, console.attr};
    if (++console.cursorX < console.width) return false;
    LineFeed();
    return true;
}

void DoWriteText(std::string_view text) {
    if (text.empty()) return;
    ConsoleState& console = Console();
    const ConsoleInternals& internals = Internals();
    EnsureCells();
    // A line may grow: what the locale cannot show is written in Latin
    // letters, and the shadow holds what was written. Full-screen views
    // keep their widths, one character a cell (AppendGlyph).
    std::string latin;
    if (!console.utf8 && !internals.quiet && !(console.terminal && internals.alternateDepth > 0)) {
        latin = Cp866ToLatin(text, internals.shown);
        text = latin;
    }
    if (!console.terminal) {
        Out(PlainText(text));
    } else {
        SyncCursor();
        EmitAttr(console.attr);
    }
    std::string out;
    std::string& line = Internals().line;
    for (char c : text) {
        unsigned char ch = static_cast<unsigned char>(c);
        if (ch == '\r' || ch == '\n') line.clear();
        else if (ch != '\b' && ch != '\a') line += c;
        switch (ch) {
        case '\r':
            console.cursorX = 0;
            out += '\r';
            break;
        case '\n':
            LineFeed();
            out += "\r\n";
            break;
        case '\b':
            if (console.cursorX > 0) {
                --console.cursorX;
                out += '\b';
                if (!line.empty()) line.pop_back();
            }
            break;
        case '\a':
            out += '\a';
            break;
        case '\t':
            do {
                out += ' ';
                if (PutAtCursor(' ')) {
                    out += "\r\n";
                    break;
                }
            } while (console.cursorX % 8 != 0);
            break;
        default:
            AppendGlyph(out, ch);
            // The terminal would keep the cursor on the last column; ours moves on.
            if (PutAtCursor(ch)) out += "\r\n";
        }
    }
    if (console.terminal) Out(out);
}

void DoNewLine() {
    ConsoleState& console = Console();
    EnsureCells();
    Internals().line.clear();
    if (console.terminal) {
        SyncCursor();
        EmitAttr(console.attr);
        Out("\r\n");
    } else {
        Out("\n");
    }
    LineFeed();
}

void DoWriteAt(int column, int row, unsigned char attr, std::string_view text) {
    ConsoleState& console = Console();
    EnsureCells();
    if (text.empty() || row < 1 || row > console.height || column < 1 || column > console.width) return;
    Internals().line.clear();
    std::size_t room = static_cast<std::size_t>(console.width - column + 1);
    if (text.size() > room) text = text.substr(0, room);
    for (std::size_t i = 0; i < text.size(); ++i)
        Cell(column - 1 + static_cast<int>(i), row - 1) = ScreenCell{static_cast<unsigned char>(text[i]), attr};
    if (!console.terminal) return;
    std::string out = CursorTo(column - 1, row - 1);
    Out(out);
    EmitAttr(attr);
    out.clear();
    for (char c : text) AppendGlyph(out, static_cast<unsigned char>(c));
    Out(out);
    Internals().needSync = true;
}

void DoGotoXY(int column, int row) {
    ConsoleState& console = Console();
    EnsureCells();
    if (row < 1 || row > console.height || column < 1 || column > console.width) return;
    console.cursorX = column - 1;
    console.cursorY = row - 1;
    Internals().line.clear();
    if (console.terminal) Internals().needSync = true;
}

void DoWriteColored(std::string_view text, unsigned char attr) {
    Console().attr = attr;
    DoWriteText(text);
}

void FlushUnlessHeld() {
    if (!Internals().held) FlushConsole();
}

// Draws rows [from, to) of the shadow on the terminal.
void Repaint(int from, int to) {
    ConsoleState& console = Console();
    std::string out;
    for (int y = from; y < to; ++y) {
        Out(CursorTo(0, y));
        int lastAttr = -1;
        for (int x = 0; x < console.width; ++x) {
            const ScreenCell& cell = Cell(x, y);
            if (lastAttr != cell.attr) {
                Out(out);
                out.clear();
                EmitAttr(cell.attr);
                lastAttr = cell.attr;
            }
            AppendGlyph(out, cell.ch);
        }
        Out(out);
        out.clear();
    }
    Internals().needSync = true;
}

// After a full-screen view was left at exit: what it showed is written again
// on the normal screen, so a final message shown on it stays readable.
void ReplayView(const std::vector<ScreenCell>& view, int width, int height, int viewY) {
    ConsoleState& console = Console();
    int lastRow = viewY;
    for (int y = height - 1; y > lastRow; --y) {
        bool blank = true;
        for (int x = 0; x < width && blank; ++x)
            blank = view[static_cast<std::size_t>(y * width + x)].ch == ' ';
        if (!blank) {
            lastRow = y;
            break;
        }
    }
    if (console.cursorX > 0) DoNewLine();
    for (int y = 0; y <= lastRow; ++y) {
        int end = width;
        while (end > 0 && view[static_cast<std::size_t>(y * width + end - 1)].ch == ' ' &&
               (view[static_cast<std::size_t>(y * width + end - 1)].attr >> 4) == 0)
            --end;
        int x = 0;
        while (x < end) {
            unsigned char attr = view[static_cast<std::size_t>(y * width + x)].attr;
            std::string run;
            while (x < end && view[static_cast<std::size_t>(y * width + x)].attr == attr) {
                unsigned char ch = view[static_cast<std::size_t>(y * width + x)].ch;
                run += ch < 0x20 ? ' ' : static_cast<char>(ch);
                ++x;
            }
            DoWriteColored(run, attr);
        }
        console.attr = LightGray;
        if (end < console.width || console.cursorX > 0) DoNewLine();
    }
}

bool EqualCodeset(const std::string& codeset, std::string_view name) {
    std::string a, b;
    for (char c : codeset)
        if (c != '-' && c != '_') a += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    for (char c : name)
        if (c != '-' && c != '_') b += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return a == b;
}

void RestoreAtExit() { RestoreTerminal(); }

// ---- Key decoding ----------------------------------------------------------

enum KeyName { KeyHome, KeyUp, KeyPgUp, KeyLeft, KeyRight, KeyEnd, KeyDown, KeyPgDn, KeyIns, KeyDel,
               KeyF1, KeyF2, KeyF3, KeyF4, KeyF5, KeyF6, KeyF7, KeyF8, KeyF9, KeyF10, KeyF11, KeyF12,
               KeyNone };

// PC scan codes: plain (also with Shift for the cursor keys), Shift, Ctrl, Alt.
constexpr std::uint8_t ScanCodes[KeyNone][4] = {
    {71, 71, 119, 151}, {72, 72, 141, 152}, {73, 73, 132, 153}, {75, 75, 115, 155},
    {77, 77, 116, 157}, {79, 79, 117, 159}, {80, 80, 145, 160}, {81, 81, 118, 161},
    {82, 82, 146, 162}, {83, 83, 147, 163},
    {59, 84, 94, 104}, {60, 85, 95, 105}, {61, 86, 96, 106}, {62, 87, 97, 107},
    {63, 88, 98, 108}, {64, 89, 99, 109}, {65, 90, 100, 110}, {66, 91, 101, 111},
    {67, 92, 102, 112}, {68, 93, 103, 113}, {133, 135, 137, 139}, {134, 136, 138, 140},
};

// Scan codes of the letters a..z, for Alt+letter.
constexpr std::uint8_t LetterScanCodes[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                                              49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};

// xterm modifier parameter: 1 + (1 Shift, 2 Alt, 4 Ctrl, 8 Meta).
std::uint16_t KeyCode(KeyName key, int modifier, bool alt) {
    if (key == KeyNone) return 0;
    int bits = modifier > 1 ? modifier - 1 : 0;
    if (alt) bits |= 2;
    int column = (bits & 4) ? 2 : (bits & 10) ? 3 : (bits & 1) ? 1 : 0;
    return static_cast<std::uint16_t>(ScanCodes[key][column] << 8);
}

KeyName KeyOfFinal(char final) {
    switch (final) {
    case 'A': return KeyUp;
    case 'B': return KeyDown;
    case 'C': return KeyRight;
    case 'D': return KeyLeft;
    case 'H': return KeyHome;
    case 'F': return KeyEnd;
    case 'P': return KeyF1;
    case 'Q': return KeyF2;
    case 'R': return KeyF3;
    case 'S': return KeyF4;
    default: return KeyNone;
    }
}

KeyName KeyOfTilde(int number) {
    switch (number) {
    case 1: case 7: return KeyHome;
    case 2: return KeyIns;
    case 3: return KeyDel;
    case 4: case 8: return KeyEnd;
    case 5: return KeyPgUp;
    case 6: return KeyPgDn;
    case 11: return KeyF1;
    case 12: return KeyF2;
    case 13: return KeyF3;
    case 14: return KeyF4;
    case 15: return KeyF5;
    case 17: return KeyF6;
    case 18: return KeyF7;
    case 19: return KeyF8;
    case 20: return KeyF9;
    case 21: return KeyF10;
    case 23: return KeyF11;
    case 24: return KeyF12;
    default: return KeyNone;
    }
}

// ESC [ ... final, starting at start (just after the "["). A sequence that is
// not a key (a cursor position report, focus or mouse events) is consumed and
// gives 0.
std::uint16_t DecodeCsi(std::string_view bytes, std::size_t start, bool alt, std::size_t& consumed) {
    consumed = 0;
    if (start >= bytes.size()) return 0;
    // The Linux console's F1..F5: ESC [ [ A..E.
    if (bytes[start] == '[') {
        if (start + 1 >= bytes.size()) return 0;
        char key = bytes[start + 1];
        consumed = start + 2;
        if (key >= 'A' && key <= 'E') return KeyCode(static_cast<KeyName>(KeyF1 + (key - 'A')), 1, alt);
        return 0;
    }
    if (bytes[start] == '<') {
        // An SGR mouse report: ESC [ < button ; column ; row M or m.
        std::size_t i = start + 1;
        while (i < bytes.size() && ((bytes[i] >= '0' && bytes[i] <= '9') || bytes[i] == ';')) ++i;
        if (i >= bytes.size()) return 0;
        consumed = i + 1;
        return bytes[i] == 'M' || bytes[i] == 'm' ? KeyMouse : 0;
    }
    int params[2] = {0, 0};
    int count = 0;
    bool other = false;
    std::size_t i = start;
    for (; i < bytes.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= '0' && c <= '9') {
            if (count < 2 && params[count] < 10000) params[count] = params[count] * 10 + (c - '0');
        } else if (c == ';') {
            ++count;
        } else if (c >= 0x20 && c <= 0x3F) {
            other = true;  // private markers such as "<" or "?"
        } else {
            break;
        }
    }
    if (i >= bytes.size()) return 0;
    unsigned char final = static_cast<unsigned char>(bytes[i]);
    if (final < 0x40 || final > 0x7E) {
        // Not a sequence after all: the ESC was a key of its own.
        consumed = 1;
        return 27;
    }
    consumed = i + 1;
    if (other) return 0;
    int first = params[0] == 0 ? 1 : params[0];
    int modifier = count >= 1 && params[1] > 0 ? params[1] : 1;
    if (modifier > 16) return 0;
    if (final == '~' && first == 200 && count == 0) return KeyPasteBegin;
    if (final == '~' && first == 201 && count == 0) return 0;  // the end of a paste that was not begun
    if (final == '~') return KeyCode(KeyOfTilde(first), modifier, alt);
    if (final == 'Z') return 15 << 8;  // Shift+Tab
    // A cursor position report looks like F3 with a modifier; a key always has 1 first.
    if (first != 1) return 0;
    return KeyCode(KeyOfFinal(static_cast<char>(final)), modifier, alt);
}

// ESC O [modifier] final.
std::uint16_t DecodeSs3(std::string_view bytes, std::size_t start, bool alt, std::size_t& consumed) {
    consumed = 0;
    std::size_t i = start;
    int modifier = 0;
    while (i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9') {
        if (modifier < 100) modifier = modifier * 10 + (bytes[i] - '0');
        ++i;
    }
    if (i >= bytes.size()) return 0;
    char final = bytes[i];
    consumed = i + 1;
    if (final == 'M') return 13;  // keypad Enter
    // Keypad characters in application mode: ESC O j .. ESC O y.
    static constexpr std::string_view keypad = "*+,-./0123456789";
    if (final >= 'j' && final <= 'y') return static_cast<unsigned char>(keypad[final - 'j']);
    KeyName key = KeyOfFinal(final);
    if (key == KeyNone) return 0;
    return KeyCode(key, modifier, alt);
}

}  // namespace

// ---- State -------------------------------------------------------------------

ConsoleState& Console() {
    static ConsoleState console;
    return console;
}

void InitConsole(bool quiet) {
    ConsoleState& console = Console();
    ConsoleInternals& internals = Internals();
    console = ConsoleState{};
    internals = ConsoleInternals{};
    const char* term = std::getenv("TERM");
    console.quiet = quiet;
    console.errorSharesOutput = ErrorSharesOutput();
    // Quiet, the run draws as without a terminal, and then drops it all.
    console.terminal = !quiet && OutputIsTerminal() && !(term && std::string_view(term) == "dumb");
    int columns = 80, rows = 25;
    if (console.terminal && TerminalWindowSize(columns, rows)) {
        console.width = columns;
        console.height = rows;
    }
    const char* noColour = std::getenv("NO_COLOR");
    console.colour = console.terminal && !(noColour && *noColour);
    std::string codeset = TerminalCodeset();
    console.utf8 = EqualCodeset(codeset, "UTF-8");
    if (!console.utf8 && HighByteGlyphs(codeset, internals.glyphs))
        for (int i = 0; i < 128; ++i) internals.shown[i] = !internals.glyphs[i].empty();
    EnsureCells();
    if (console.terminal) {
        // Where the shell left the cursor, so that positions on the normal
        // screen match; a terminal that does not say is taken to be scrolling
        // at its bottom line.
        int column = 0, row = 0;
        if (QueryCursorPosition(column, row, internals.input, 300)) {
            console.cursorX = std::min(column, console.width - 1);
            console.cursorY = std::min(row, console.height - 1);
        } else {
            console.cursorY = console.height - 1;
        }
    }
    // Also without a terminal on standard output: keys may still be read raw.
    InstallTerminalGuards(RestoreAtExit);
}

void InitConsoleForTest(int width, int height, bool terminal, std::string* sink) {
    ConsoleState& console = Console();
    console = ConsoleState{};
    Internals() = ConsoleInternals{};
    console.width = width;
    console.height = height;
    console.terminal = terminal;
    console.colour = terminal;
    console.utf8 = terminal;
    console.capture = sink;
    // As with "2>&1": error lines come out among the others.
    console.errorSharesOutput = true;
    EnsureCells();
}

const ScreenCell& CellAt(int column, int row) {
    static const ScreenCell outside{};
    const ConsoleState& console = Console();
    EnsureCells();
    if (column < 1 || column > console.width || row < 1 || row > console.height) return outside;
    return Cell(column - 1, row - 1);
}

std::string RowText(int row, int column, int length) {
    const ConsoleState& console = Console();
    EnsureCells();
    std::string text;
    if (row < 1 || row > console.height || column < 1 || column > console.width) return text;
    int end = length < 0 ? console.width : std::min(console.width, column - 1 + length);
    for (int x = column - 1; x < end; ++x) text += static_cast<char>(Cell(x, row - 1).ch);
    return text;
}

// ---- Output --------------------------------------------------------------------

void SetTextColor(unsigned char attr) { Console().attr = attr; }

void WriteText(std::string_view text) {
    DoWriteText(text);
    FlushUnlessHeld();
}

void WriteLine(std::string_view text) {
    DoWriteText(text);
    DoNewLine();
    FlushUnlessHeld();
}

void WriteColored(std::string_view text, unsigned char attr) {
    DoWriteColored(text, attr);
    FlushUnlessHeld();
}

void WriteAt(int column, int row, unsigned char attr, std::string_view text) {
    DoWriteAt(column, row, attr, text);
    FlushUnlessHeld();
}

namespace {

void ShowError(std::string_view text, bool onScreen) {
    ConsoleState& console = Console();
    ConsoleInternals& internals = Internals();
    // Standard error gets the whole line, the progress it ends included.
    std::string whole = PlainText(internals.line);
    whole += PlainText(text);
    whole += '\n';
    const bool onConsole = onScreen && !console.quiet && (console.terminal || console.errorSharesOutput);
    if (onConsole) {
        const unsigned char previous = console.attr;
        console.attr = LightRed;
        DoWriteText(text);
        DoNewLine();
        console.attr = previous;
    } else if (onScreen && console.cursorX > 0) {
        DoNewLine();
    }
    FlushUnlessHeld();
    // Where standard error leads to the console, the console showed it, or
    // a full-screen view stands there; quiet, it is the one place left.
    if (console.errorSharesOutput && !console.quiet) return;
    if (console.errorCapture)
        console.errorCapture->append(whole);
    else if (!console.capture)
        WriteErrorBytes(whole);
}

}  // namespace

void WriteErrorLine(std::string_view text) { ShowError(text, true); }

void WriteErrorLineBehindView(std::string_view text) { ShowError(text, false); }

void WriteCharAt(char ch, int column, int row, unsigned char attr) {
    WriteAt(column, row, attr, std::string_view(&ch, 1));
}

void GotoXY(int column, int row) {
    DoGotoXY(column, row);
    FlushUnlessHeld();
}

StatusScreenScope::StatusScreenScope() : previousQuiet(Internals().quiet), previousHeld(Internals().held) {
    Internals().quiet = !Console().terminal;
    Internals().held = true;
}

StatusScreenScope::~StatusScreenScope() {
    Internals().quiet = previousQuiet;
    Internals().held = previousHeld;
}

int WhereX() {
    EnsureCells();
    return Console().cursorX;
}

int WhereY() {
    EnsureCells();
    return Console().cursorY;
}

void GetScreenSize(int& columns, int& rows) {
    EnsureCells();
    columns = Console().width;
    rows = Console().height;
}

void SetCursorVisible(bool visible) {
    ConsoleState& console = Console();
    console.cursorVisible = visible;
    if (console.terminal) {
        Out(visible ? "\x1b[?25h" : "\x1b[?25l");
        UpdateGuard();
    }
    FlushConsole();
}

void ClearScreen(unsigned char attr) {
    ConsoleState& console = Console();
    EnsureCells();
    std::fill(console.cells.begin(), console.cells.end(), ScreenCell{' ', attr});
    Internals().line.clear();
    if (console.terminal) {
        Internals().emittedAttr = -1;
        EmitAttr(attr);
        Out("\x1b[2J");
        Internals().needSync = true;
    }
    FlushConsole();
}

void FlushConsole() {
    ConsoleState& console = Console();
    ConsoleInternals& internals = Internals();
    SyncCursor();
    if (internals.pending.empty()) return;
    if (console.capture)
        console.capture->append(internals.pending);
    else
        WriteOutputBytes(internals.pending);
    internals.pending.clear();
}

// ---- Saving the screen ------------------------------------------------------------

void SaveScreen(int rows, SavedScreen& saved) {
    ConsoleState& console = Console();
    ConsoleInternals& internals = Internals();
    EnsureCells();
    saved = SavedScreen{};
    rows = std::min(rows, 255);  // the row count is a byte
    if (rows <= 0) return;
    saved.present = true;
    saved.rows = rows;
    saved.cells.assign(static_cast<std::size_t>(rows) * SavedColumns, ScreenCell{});
    for (int y = 0; y < std::min(rows, console.height); ++y)
        for (int x = 0; x < std::min(SavedColumns, console.width); ++x)
            saved.cells[static_cast<std::size_t>(y * SavedColumns + x)] = Cell(x, y);
    saved.cursorX = console.cursorX;
    saved.cursorY = console.cursorY;
    if (!console.terminal) return;
    if (internals.alternateDepth == 0) {
        // The terminal keeps the normal screen; the alternate one starts as a
        // copy of it so that views drawn over part of it look as intended.
        internals.mainCells = console.cells;
        internals.mainWidth = console.width;
        internals.mainX = console.cursorX;
        internals.mainY = console.cursorY;
        Out("\x1b[?1049h");
        if (internals.reportsWanted) SwitchReports(true);
        internals.alternateDepth = 1;
        internals.emittedAttr = -1;
        Repaint(0, console.height);
        internals.needSync = true;
    } else {
        ++internals.alternateDepth;
    }
    UpdateGuard();
    FlushConsole();
}

void RestoreScreen(int rows, SavedScreen& saved) {
    ConsoleState& console = Console();
    ConsoleInternals& internals = Internals();
    if (!saved.present) return;
    EnsureCells();
    int count = saved.rows;
    if (rows >= 0 && rows < count) count = rows;
    int shown = std::min(count, console.height);
    for (int y = 0; y < shown; ++y)
        for (int x = 0; x < std::min(SavedColumns, console.width); ++x)
            Cell(x, y) = saved.cells[static_cast<std::size_t>(y * SavedColumns + x)];
    console.cursorX = std::clamp(saved.cursorX, 0, console.width - 1);
    console.cursorY = std::clamp(saved.cursorY, 0, console.height - 1);
    saved = SavedScreen{};
    if (!console.terminal || internals.alternateDepth == 0) return;
    if (--internals.alternateDepth == 0) {
        // Leaving the alternate screen brings back the normal one and its
        // cursor, and the terminal's own input: Ctrl+C works again.
        SwitchReports(false);
        Out("\x1b[?1049l");
        LeaveRawInput();
        if (internals.mainWidth == console.width && internals.mainCells.size() == console.cells.size()) {
            console.cells = internals.mainCells;
            console.cursorX = internals.mainX;
            console.cursorY = internals.mainY;
        }
        internals.mainCells.clear();
        internals.emittedAttr = -1;
        internals.coloured = console.colour;
        internals.needSync = false;
    } else {
        Repaint(0, shown);
    }
    UpdateGuard();
    FlushConsole();
}

void RestoreTerminal() {
    ConsoleState& console = Console();
    ConsoleInternals& internals = Internals();
    if (console.terminal) {
        EnsureCells();
        if (internals.alternateDepth > 0) {
            std::vector<ScreenCell> view = console.cells;
            int width = console.width, height = console.height, viewY = console.cursorY;
            SwitchReports(false);
            Out("\x1b[0m\x1b[?1049l");
            internals.alternateDepth = 0;
            internals.emittedAttr = -1;
            internals.needSync = false;
            if (internals.mainCells.size() == console.cells.size()) {
                console.cells = internals.mainCells;
                console.cursorX = internals.mainX;
                console.cursorY = internals.mainY;
            }
            internals.mainCells.clear();
            ReplayView(view, width, height, viewY);
        }
        if (!console.cursorVisible) Out("\x1b[?25h");
        console.cursorVisible = true;
        if (internals.coloured) Out("\x1b[0m");
        internals.coloured = false;
        internals.emittedAttr = -1;
    }
    SwitchReports(false);
    FlushConsole();
    if (internals.reportsWanted && !console.capture) {
        // Keys typed ahead, or the rest of a sequence, are no command for the shell.
        internals.input.clear();
        DiscardTypeahead();
    }
    LeaveRawInput();
    if (console.terminal && !console.capture) SetTerminalGuard(false, false, false, false);
}

// ---- Keys ------------------------------------------------------------------------

std::uint16_t DecodeKeyBytes(std::string_view bytes, std::size_t& consumed) {
    return DecodeKeyBytes(bytes, consumed, true);
}

std::uint16_t DecodeKeyBytes(std::string_view bytes, std::size_t& consumed, bool utf8) {
    consumed = 0;
    if (bytes.empty()) return 0;
    unsigned char first = static_cast<unsigned char>(bytes[0]);
    if (first == 0x1B) {
        if (bytes.size() < 2) return 0;
        unsigned char next = static_cast<unsigned char>(bytes[1]);
        if (next == '[') return DecodeCsi(bytes, 2, false, consumed);
        if (next == 'O') return DecodeSs3(bytes, 2, false, consumed);
        if (next == 0x1B && bytes.size() >= 3 && (bytes[2] == '[' || bytes[2] == 'O')) {
            // Alt with a cursor or function key, as some terminals send it.
            std::uint16_t code = bytes[2] == '[' ? DecodeCsi(bytes, 3, true, consumed)
                                                 : DecodeSs3(bytes, 3, true, consumed);
            if (consumed == 1) code = 27;
            return code;
        }
        if (next == 0x1B && bytes.size() < 3) return 0;
        unsigned char lower = next >= 'A' && next <= 'Z' ? next + 32 : next;
        if (lower >= 'a' && lower <= 'z') {
            consumed = 2;
            return static_cast<std::uint16_t>(LetterScanCodes[lower - 'a'] << 8);
        }
        if (next >= '1' && next <= '9') {
            consumed = 2;
            return static_cast<std::uint16_t>((120 + (next - '1')) << 8);
        }
        if (next == '0') {
            consumed = 2;
            return 129 << 8;
        }
        consumed = 1;
        return 27;
    }
    if (first < 0x80 || !utf8) {
        consumed = 1;
        switch (first) {
        case 0x7F: return 8;
        case '\n': return 13;
        case 0: return 0;
        default: return first;
        }
    }
    char32_t code = 0;
    int length = DecodeUtf8(bytes, code);
    if (length == 0) return 0;
    if (length < 0) {
        consumed = 1;
        return 0;
    }
    consumed = static_cast<std::size_t>(length);
    int byte = Cp866Of(code);
    return byte < 0 ? 0 : static_cast<std::uint16_t>(byte);
}

void EnableResizeKeys() {
    if (Console().terminal && !Console().capture) EnableResizeEvents();
}

void SetInputReports(bool wanted) {
    ConsoleState& console = Console();
    ConsoleInternals& internals = Internals();
    if (!console.terminal || console.capture) return;
    internals.reportsWanted = wanted;
    if (wanted && internals.alternateDepth > 0) SwitchReports(true);
    if (!wanted) {
        SwitchReports(false);
        internals.input.clear();
        DiscardTypeahead();
    }
    UpdateGuard();
    FlushConsole();
}

void SuspendToShell() {
    FlushConsole();
    SuspendProcess();
}

std::string TakePastedText() {
    std::string text;
    text.swap(Internals().pasted);
    return text;
}

std::string PastedLine(std::string_view text) {
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char ch = static_cast<unsigned char>(text[i]);
        if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;  // one blank for CR LF
        if (ch == '\r' || ch == '\n' || ch == '\t') line += ' ';
        else if (ch >= 0x20 && ch != 0x7F) line += static_cast<char>(ch);
    }
    return line;
}

MouseEvent LastMouseEvent() { return Internals().mouse; }

bool ParseMouseReport(std::string_view sequence, MouseReport& report) {
    if (sequence.size() < 4 || sequence.substr(0, 3) != "\x1b[<") return false;
    int numbers[3] = {0, 0, 0};
    int index = 0;
    bool digits = false;
    std::size_t i = 3;
    for (; i < sequence.size(); ++i) {
        char c = sequence[i];
        if (c >= '0' && c <= '9') {
            if (numbers[index] < 100000) numbers[index] = numbers[index] * 10 + (c - '0');
            digits = true;
        } else if (c == ';' && index < 2 && digits) {
            ++index;
            digits = false;
        } else {
            break;
        }
    }
    if (index != 2 || !digits || i + 1 != sequence.size() || (sequence[i] != 'M' && sequence[i] != 'm')) return false;
    if (numbers[1] < 1 || numbers[2] < 1) return false;
    report.button = numbers[0];
    report.column = numbers[1];
    report.row = numbers[2];
    report.pressed = sequence[i] == 'M';
    return true;
}

namespace {

// What a mouse report means to a view; false for what it ignores (releases,
// motion, other buttons).
bool TakeMouseReport(std::string_view sequence) {
    ConsoleInternals& internals = Internals();
    MouseReport report;
    if (!ParseMouseReport(sequence, report) || !report.pressed || (report.button & 32)) return false;
    const int button = report.button & ~(4 | 8 | 16);
    MouseEvent event;
    event.column = report.column;
    event.row = report.row;
    if (button == 64) {
        event.action = MouseAction::WheelUp;
    } else if (button == 65) {
        event.action = MouseAction::WheelDown;
    } else if (button == 0) {
        // A second press on the same cell soon after the first opens; a
        // third starts over.
        constexpr std::uint64_t DoubleClickMs = 400;
        const std::uint64_t now = MillisecondTick();
        const bool twice = internals.lastClickColumn == report.column && internals.lastClickRow == report.row &&
                           now - internals.lastClickTick <= DoubleClickMs;
        event.action = twice ? MouseAction::DoubleClick : MouseAction::Click;
        internals.lastClickTick = now;
        internals.lastClickColumn = twice ? -1 : report.column;
        internals.lastClickRow = twice ? -1 : report.row;
    } else {
        return false;
    }
    internals.mouse = event;
    return true;
}

// The rest of a paste after its start, up to its end mark: nothing of it
// may reach the keys, where a line end would answer a question. Beyond
// MaxPaste (far more than any field takes) the bytes are read and dropped.
// A resize or a stop meanwhile waits for the paste's end. Only a terminal
// silent for PasteSilenceMs, or the end of input, ends a paste without
// its mark.
std::string ReadPaste() {
    ConsoleInternals& internals = Internals();
    static constexpr std::string_view endMark = "\x1b[201~";
    constexpr std::size_t MaxPaste = 1 << 20;
    constexpr std::uint64_t PasteSilenceMs = 5000;
    std::string text;
    std::uint64_t lastByte = MillisecondTick();
    for (;;) {
        std::size_t end = internals.input.find(endMark);
        if (end != std::string::npos) {
            if (text.size() < MaxPaste) text += internals.input.substr(0, std::min(end, MaxPaste - text.size()));
            internals.input.erase(0, end + endMark.size());
            return text;
        }
        // All but what could be the start of a mark cut in two is paste.
        const std::size_t sure = internals.input.size() - std::min(internals.input.size(), endMark.size() - 1);
        if (text.size() < MaxPaste) text += internals.input.substr(0, std::min(sure, MaxPaste - text.size()));
        internals.input.erase(0, sure);
        if (MillisecondTick() - lastByte > PasteSilenceMs) break;
        int got = ReadInputBytes(internals.input, 100, true);
        if (got < 0) break;
        if (got > 0) lastByte = MillisecondTick();
    }
    if (text.size() < MaxPaste) text += internals.input;
    internals.input.clear();
    return text;
}

// A byte of the terminal's codeset back to code page 866.
std::uint16_t FromTerminalCodeset(std::uint16_t code) {
    const ConsoleInternals& internals = Internals();
    if (code < 0x80 || code >= 0x100 || Console().utf8) return code;
    for (int i = 0; i < 128; ++i)
        if (internals.shown[i] && internals.glyphs[i].size() == 1 &&
            static_cast<unsigned char>(internals.glyphs[i][0]) == code)
            return static_cast<std::uint16_t>(128 + i);
    return code;
}

}  // namespace

std::uint16_t ReadKeyCode() {
    ConsoleState& console = Console();
    ConsoleInternals& internals = Internals();
    FlushConsole();
    EnterRawInput();
    std::uint16_t code = 0;
    bool haveKey = false;
    while (!haveKey) {
        const bool resumed = TakeResume();
        if (TakeWindowResize() || resumed) {
            // After a stop the terminal showed the shell: everything is drawn again.
            int columns = 0, rows = 0;
            if (console.terminal && TerminalWindowSize(columns, rows)) {
                console.width = columns;
                console.height = rows;
            }
            EnsureCells();
            ClearScreen(console.attr);
            return KeyResize;
        }
        if (internals.input.empty()) {
            int got = ReadInputBytes(internals.input, -1);
            if (got < 0) {
                // Nobody is there to press a key: Esc, and after a while the
                // end, so that a question that waits for Enter cannot spin.
                if (++internals.endOfInputCount > 256) {
                    LeaveRawInput();
                    return KeyInputEnded;
                }
                code = 27;
                break;
            }
            internals.endOfInputCount = 0;
            continue;
        }
        std::size_t used = 0;
        std::uint16_t key = DecodeKeyBytes(internals.input, used, console.utf8);
        if (used > 0) {
            const std::string sequence = internals.input.substr(0, used);
            internals.input.erase(0, used);
            if (key == KeyPasteBegin) {
                std::string text = ReadPaste();
                std::string cp866;
                if (console.utf8) {
                    cp866 = Utf8ToCp866(text);
                } else {
                    for (char c : text)
                        cp866 += static_cast<char>(FromTerminalCodeset(static_cast<unsigned char>(c)));
                }
                internals.pasted = PastedLine(cp866);
                code = KeyPaste;
                break;
            }
            if (key == KeyMouse && !TakeMouseReport(sequence)) continue;
            if (key == 0) continue;
            code = key;
            haveKey = true;
            break;
        }
        // An incomplete sequence: the rest of an escape sequence follows
        // within a moment (also over a slow link), or the Esc was a key.
        constexpr int EscapeWaitMs = 300;
        if (ReadInputBytes(internals.input, EscapeWaitMs, true) > 0) continue;
        unsigned char first = static_cast<unsigned char>(internals.input[0]);
        internals.input.erase(0, 1);
        if (first == 0x1B) {
            code = 27;
            haveKey = true;
        }
    }
    code = FromTerminalCodeset(code);
    if (internals.alternateDepth == 0) LeaveRawInput();
    return code;
}

// ---- Code page 866 ---------------------------------------------------------------------

std::string Cp866ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) {
        unsigned char ch = static_cast<unsigned char>(c);
        if (ch < 0x80)
            out += c;
        else
            AppendUtf8(out, HighCodePoints[ch - 128]);
    }
    return out;
}

std::string Utf8ToCp866(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        char32_t code = 0;
        int length = DecodeUtf8(text, code);
        if (length <= 0) {
            // A broken or cut sequence: one byte, one question mark.
            out += '?';
            text.remove_prefix(1);
            continue;
        }
        int byte = Cp866Of(code);
        out += byte < 0 ? '?' : static_cast<char>(byte);
        text.remove_prefix(static_cast<std::size_t>(length));
    }
    return out;
}

std::string NameForView(std::string_view name) {
    if (Console().utf8) return Utf8ToCp866(name);
    std::string shown(name);
    for (char& c : shown)
        if (static_cast<unsigned char>(c) >= 0x80) c = '?';
    return shown;
}
