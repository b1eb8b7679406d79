#include <gtest/gtest.h>

#include <array>
#include <bitset>
#include <string>
#include <utility>

#include "frame/console.h"
#include "frame/latin.h"
#include "frame/platform_console.h"

namespace {

// Every test of this program starts with a fresh console whose output is
// dropped: a fixture's capture string must not outlive its test.
struct FreshConsolePerTest : ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        static std::string dropped;
        dropped.clear();
        InitConsoleForTest(80, 25, false, &dropped);
    }
};
const bool FreshConsoleInstalled =
    (::testing::UnitTest::GetInstance()->listeners().Append(new FreshConsolePerTest), true);

// A plain console by default; Terminal() makes it one on a terminal.
class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override { InitConsoleForTest(80, 25, false, &output); }
    void Terminal() { InitConsoleForTest(80, 25, true, &output); }
    std::string Take() { return std::exchange(output, std::string()); }
    std::string output;
};

// "character/attribute" of a cell.
std::string Cell(int column, int row) {
    return std::string(1, static_cast<char>(CellAt(column, row).ch)) + "/" + std::to_string(CellAt(column, row).attr);
}

// ---- What reaches standard output -----------------------------------------------

TEST_F(ConsoleTest, TerminalGetsSgrColoursUtf8TextAndPositions) {
    Terminal();
    WriteColored("\x80\xC9\xB0", 0x1C);  // "А╔░", light red on blue
    EXPECT_EQ(Take(), "\x1b[0;91;44m\xD0\x90\xE2\x95\x94\xE2\x96\x91");
    WriteColored("x", 0x1C);  // same colour: no new sequence
    EXPECT_EQ(Take(), "x");
    // Ordinary grey on black is the terminal's own default on the normal screen.
    WriteColored("y", 7);
    EXPECT_EQ(Take(), "\x1b[0my");
    WriteColored("z", 0x63);  // cyan on brown: console order differs from ANSI
    EXPECT_EQ(Take(), "\x1b[0;36;43mz");

    WriteAt(10, 3, 0x0E, "hi");
    EXPECT_EQ(Take(), "\x1b[3;10H\x1b[0;93mhi\x1b[1;7H");
    GotoXY(5, 7);
    EXPECT_EQ(Take(), "\x1b[7;5H");
    SetCursorVisible(false);
    SetCursorVisible(true);
    EXPECT_EQ(Take(), "\x1b[?25l\x1b[?25h");
    WriteLine("k");
    EXPECT_EQ(Take(), "\x1b[0;36;43mk\r\n");

    // Control bytes in text never reach the terminal as commands.
    WriteText("a\x1b[2Jb\x07");
    EXPECT_EQ(Take(), "a\xE2\x86\x90[2Jb\a");  // ESC shown as its glyph; the bell rings
    EXPECT_EQ(CellAt(2, 8).ch, 0x1B);
}

TEST_F(ConsoleTest, WithoutColourAViewShowsBackgroundsInReverseVideo) {
    Terminal();
    Console().colour = false;
    WriteColored("a", 0x30);  // the normal screen gets no sequence at all
    EXPECT_EQ(Take(), "a");
    SavedScreen saved;
    SaveScreen(25, saved);
    WriteAt(1, 1, 0x07, "x");  // the view's plain look
    Take();
    struct Case {
        unsigned char attr;
        const char* want;
    } cases[] = {
        {0x30, "\x1b[1;1H\x1b[0;7mx"},  // black on cyan: a cursor bar
        {0x1B, "\x1b[1;1Hx"},            // a coloured window: reverse still
        {0x0E, "\x1b[1;1H\x1b[0mx"},    // no background: plain again
        {0x07, "\x1b[1;1Hx"},            // plain still
    };
    for (const Case& c : cases) {
        WriteAt(1, 1, c.attr, "x");
        EXPECT_EQ(Take().substr(0, std::string(c.want).size()), c.want) << int(c.attr);
    }
    RestoreScreen(-1, saved);
}

TEST(NameForView, OneCellForEachByteThatIsNoAscii) {
    Console().utf8 = true;
    EXPECT_EQ(NameForView("Ёлка.txt"), "\xF0\xAB\xAA\xA0.txt");
    Console().utf8 = false;
    EXPECT_EQ(NameForView("Ёлка.txt"), "????????.txt");
    EXPECT_EQ(NameForView("caf\xE9.zip"), "caf?.zip");  // Latin-1 bytes alike
}

TEST_F(ConsoleTest, EveryByteReachesATerminalAsAGlyphNeverAsACommand) {
    // The bytes at the edges of the control and printable ranges decide
    // whether a name from a TIC can move the cursor or clear the screen.
    const struct {
        unsigned char byte;
        const char *utf8, *plain;
    } cases[] = {
        {0x00, " ", " "},         {0x01, "\u263A", "?"}, {0x07, "\u2022", "?"}, {0x1B, "\u2190", "?"},
        {0x1F, "\u25BC", "?"},    {0x20, " ", " "},       {0x7E, "~", "~"},       {0x7F, "\u2302", "?"},
        {0x80, "\u0410", "A"}, {0xB0, "\u2591", "."}, {0x97, "\u0427", "C"}, {0xFF, "\u00A0", " "},
    };
    for (bool utf8 : {true, false}) {
        Terminal();
        Console().utf8 = utf8;
        WriteAt(1, 1, 7, "x");
        for (const auto& c : cases) {
            Take();
            WriteAt(1, 1, 7, std::string(1, static_cast<char>(c.byte)));
            const std::string glyph = utf8 ? c.utf8 : c.plain;
            EXPECT_EQ(Take().substr(0, 6 + glyph.size()), "\x1b[1;1H" + glyph) << int(c.byte) << " utf8 " << utf8;
        }
    }
}

// ---- Error lines ---------------------------------------------------------------

// Where an error line goes: each place sees it once, a progress line it ends
// is whole on standard error, and the console's colour is kept.
TEST_F(ConsoleTest, ErrorLinesReachEachPlaceOnce) {
    const struct {
        const char* what;
        bool terminal, shares, quiet, behindView;
        const char* out;  // standard output, escapes left out
        const char* err;
    } cases[] = {
        {"pipes apart", false, false, false, false, "Reading x...\n", "Reading x...ERROR: f\n"},
        {"2>&1", false, true, false, false, "Reading x...ERROR: f\n", ""},
        {"terminal", true, true, false, false, "Reading x...ERROR: f\r\n", ""},
        {"terminal, 2>file", true, false, false, false, "Reading x...ERROR: f\r\n", "Reading x...ERROR: f\n"},
        {"quiet, 2>&1", false, true, true, false, "", "Reading x...ERROR: f\n"},
        {"quiet", false, false, true, false, "", "Reading x...ERROR: f\n"},
        {"view on the terminal", true, true, false, true, "Reading x...", ""},
        {"view, 2>file", true, false, false, true, "Reading x...", "Reading x...ERROR: f\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string errors;
        InitConsoleForTest(80, 25, c.terminal, &output);
        Console().colour = false;
        Console().utf8 = false;  // ASCII: the Latin letter of \xE4 (the conversion is tested below)
        Console().errorSharesOutput = c.shares;
        Console().quiet = c.quiet;
        Console().errorCapture = &errors;
        SetTextColor(Cyan);
        WriteText("Reading x...");
        if (c.behindView)
            WriteErrorLineBehindView("ERROR: \xE4");
        else
            WriteErrorLine("ERROR: \xE4");
        std::string shown = Take();
        for (std::size_t at; (at = shown.find('\x1b')) != std::string::npos;)
            shown.erase(at, shown.find_first_of("HmhlJ", at) - at + 1);
        EXPECT_EQ(shown, c.out);
        EXPECT_EQ(errors, c.err);
        EXPECT_EQ(Console().attr, Cyan);
    }
    // On the console the line is light red; standard error gets the
    // locale's characters.
    std::string errors;
    Terminal();
    Console().errorSharesOutput = false;
    Console().errorCapture = &errors;
    WriteErrorLine("\x8E\xE8\xA8\xA1\xAA\xA0");  // Ошибка
    EXPECT_EQ(Cell(1, 1), "\x8E/12");
    EXPECT_EQ(errors, "\xD0\x9E\xD1\x88\xD0\xB8\xD0\xB1\xD0\xBA\xD0\xB0\n");
}

TEST(DecodeKeyBytes, TerminalSequencesBecomePcKeyCodes) {
    const struct {
        const char* bytes;
        std::uint16_t code;
        std::size_t consumed;
    } cases[] = {
        {"\x1b[A", 72 << 8, 3}, {"\x1bOA", 72 << 8, 3}, {"\x1b[B", 80 << 8, 3}, {"\x1b[D", 75 << 8, 3},
        {"\x1b[C", 77 << 8, 3}, {"\x1b[H", 71 << 8, 3}, {"\x1bOH", 71 << 8, 3}, {"\x1b[1~", 71 << 8, 4},
        {"\x1b[7~", 71 << 8, 4}, {"\x1b[F", 79 << 8, 3}, {"\x1b[4~", 79 << 8, 4}, {"\x1b[8~", 79 << 8, 4},
        {"\x1b[5~", 73 << 8, 4}, {"\x1b[6~", 81 << 8, 4}, {"\x1b[2~", 82 << 8, 4}, {"\x1b[3~", 83 << 8, 4},
        {"\x1bOR", 61 << 8, 3}, {"\x1b[13~", 61 << 8, 5}, {"\x1b[[C", 61 << 8, 4}, {"\x1bOP", 59 << 8, 3},
        {"\x1b[24~", 134 << 8, 5}, {"\x1b[1;3P", 104 << 8, 6}, {"\x1b\x1bOP", 104 << 8, 4}, {"\x1b[11;3~", 104 << 8, 7},
        {"\x1bO3P", 104 << 8, 4}, {"\x1b[1;5D", 115 << 8, 6}, {"\x1b[1;2A", 72 << 8, 6}, {"\x1b[3;5~", 147 << 8, 6},
        {"\x1b\x1b[A", 152 << 8, 4}, {"\x1b[Z", 15 << 8, 3}, {"\x1bq", 16 << 8, 2}, {"\x1bQ", 16 << 8, 2},
        {"\x1b" "a", 30 << 8, 2}, {"\x1b" "1", 120 << 8, 2}, {"\x1bOM", 13, 3}, {"\x1b-", 27, 1},
        {"\r", 13, 1}, {"\n", 13, 1}, {"\t", 9, 1}, {"\x7f", 8, 1},
        {"\x08", 8, 1}, {"\x1c", 28, 1}, {"q", 'q', 1}, {"\xD0\x90", 0x80, 2},
        {"\xD1\x8F", 0xEF, 2}, {"\xE2\x96\x88", 0xDB, 3}, {"\xE2\x82\xAC", 0, 3}, {"\x80", 0, 1},
        {"\x1b[24;80R", 0, 8}, {"\x1b[I", 0, 3}, {"\x1b[21~", 68 << 8, 5}, {"\x1a", 26, 1},
        // Pastes and the mouse: the reader takes them further.
        {"\x1b[200~", KeyPasteBegin, 6}, {"\x1b[201~", 0, 6}, {"\x1b[200;5~", 0, 8},
        {"\x1b[<0;3;4M", KeyMouse, 9}, {"\x1b[<0;3;4m", KeyMouse, 9}, {"\x1b[<65;120;40Mx", KeyMouse, 13},
        {"\x1b[<0;3", 0, 0}, {"\x1b[<", 0, 0},
        // A key is taken from the front; the rest waits. An escape interrupted
        // by a control byte was a lone Esc. Incomplete input asks for more.
        {"\x1b[Ax", 72 << 8, 3}, {"\x1b[\r", 27, 1}, {"", 0, 0}, {"\x1b", 0, 0},
        {"\x1b[", 0, 0}, {"\x1b[1;", 0, 0}, {"\x1b[1;3", 0, 0}, {"\x1bO", 0, 0},
        {"\x1b\x1b", 0, 0}, {"\x1b[[", 0, 0}, {"\xD0", 0, 0}, {"\xE2\x96", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)));
        std::size_t consumed = 99;
        EXPECT_EQ(DecodeKeyBytes(c.bytes, consumed), c.code);
        EXPECT_EQ(consumed, c.consumed);
    }
    // Without UTF-8 a high byte is a key of its own.
    std::size_t consumed = 0;
    EXPECT_EQ(DecodeKeyBytes("\xD0\x90", consumed, false), 0xD0);
    EXPECT_EQ(consumed, 1u);
}

TEST(ParseMouseReport, SgrReports) {
    const struct {
        const char* sequence;
        bool valid;
        int button, column, row;
        bool pressed;
    } cases[] = {
        {"\x1b[<0;3;4M", true, 0, 3, 4, true},
        {"\x1b[<0;3;4m", true, 0, 3, 4, false},
        {"\x1b[<64;120;40M", true, 64, 120, 40, true},
        {"\x1b[<65;1;1M", true, 65, 1, 1, true},
        {"\x1b[<16;10;2M", true, 16, 10, 2, true},  // with Ctrl
        {"\x1b[<0;0;4M", false, 0, 0, 0, false},    // cells count from 1
        {"\x1b[<0;3M", false, 0, 0, 0, false},
        {"\x1b[<0;3;4;5M", false, 0, 0, 0, false},
        {"\x1b[<;3;4M", false, 0, 0, 0, false},
        {"\x1b[<0;3;4", false, 0, 0, 0, false},
        {"\x1b[<0;3;4Mx", false, 0, 0, 0, false},
        {"\x1b[0;3;4M", false, 0, 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.sequence)));
        MouseReport report;
        ASSERT_EQ(ParseMouseReport(c.sequence, report), c.valid);
        if (!c.valid) continue;
        EXPECT_EQ(report.button, c.button);
        EXPECT_EQ(report.column, c.column);
        EXPECT_EQ(report.row, c.row);
        EXPECT_EQ(report.pressed, c.pressed);
    }
}

TEST(PastedLine, LineEndsBecomeBlanksAndControlsGo) {
    const struct {
        const char* pasted;
        const char* line;
    } cases[] = {
        {"Notes of the week", "Notes of the week"},
        {"one\r\ntwo\r\n", "one two "},
        {"one\ntwo\rthree", "one two three"},
        {"one\n\ntwo", "one  two"},
        {"a\tb", "a b"},
        {"a\x1b[Bb\x07\x7f", "a[Bb"},
        {"\x8F\xE0\r\n", "\x8F\xE0 "},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(PastedLine(c.pasted), c.line) << c.pasted;
}

// ---- Code page 866 -------------------------------------------------------------------

TEST(CodePage866, RoundTripAndBrokenUtf8) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    EXPECT_EQ(Utf8ToCp866(Cp866ToUtf8(all)), all);
    EXPECT_EQ(Cp866ToUtf8("\x80\x9F\xA0\xAF\xE0\xEF\xF0\xF1\xFC"), "АЯапряЁё№");
    EXPECT_EQ(Cp866ToUtf8("\xC9\xCD\xBB\xBA\xB3\xC4\xD9\xC8\xBC\xD1"), "╔═╗║│─┘╚╝╤");
    EXPECT_EQ(Cp866ToUtf8("\xB0\xB1\xB2\xDB\xDC\xDF\xFE\xFF"), "░▒▓█▄▀■\xC2\xA0");
    // Unknown or broken UTF-8 becomes question marks.
    EXPECT_EQ(Utf8ToCp866("a€b"), "a?b");
    EXPECT_EQ(Utf8ToCp866("\xD0"), "?");
    EXPECT_EQ(Utf8ToCp866("\xC0\xAF"), "??");
    EXPECT_EQ(Utf8ToCp866("\xED\xA0\x80"), "???");
    EXPECT_EQ(Utf8ToCp866("Ж😀"), "\x86?");
}

TEST(CodePage866, ACharacterSetShowsOnlyWhatItHasExactly) {
    // What a codeset lacks stays empty, so that it is made Latin and never
    // becomes a question mark or a byte of code page 866.
    const struct {
        const char* codeset;
        unsigned char byte;
        std::string glyph;
    } cases[] = {
        {"KOI8-R", 0x80, "\xE1"}, {"KOI8-R", 0xEF, "\xD1"}, {"KOI8-R", 0xC9, "\xA5"}, {"KOI8-R", 0xFC, ""},
        {"CP1251", 0x80, "\xC0"}, {"CP1251", 0xF1, "\xB8"}, {"CP1251", 0xC9, ""},       {"CP1251", 0xB0, ""},
        {"ANSI_X3.4-1968", 0x80, ""}, {"ANSI_X3.4-1968", 0xC4, ""}, {"ANSI_X3.4-1968", 0xFF, ""},
    };
    for (const auto& c : cases) {
        std::array<std::string, 128> glyphs;
        ASSERT_TRUE(HighByteGlyphs(c.codeset, glyphs)) << c.codeset;
        EXPECT_EQ(glyphs[c.byte - 128], c.glyph) << c.codeset << " " << int(c.byte);
    }
}

TEST(CodePage866, LatinLettersForALocaleWithoutCyrillic) {
    const struct {
        const char* utf8;
        const char* latin;
    } cases[] = {
        {"абвгдеёжзийклмноп", "abvgdeyozhzijklmnop"},
        {"рстуфхцчшщъыьэюя", "rstufxczchshshh``y'`e`yuya"},
        {"Щука, Жёлтый, Юг, Ёж", "Shhuka, Zhyolty'j, Yug, Yozh"},
        {"ЩУКА ЖЁЛТЫЙ ОБЩ Я", "SHHUKA ZHYOLTY'J OBSHH Ya"},  // among capitals, all capitals
        {"Цирк цех цыган цюрих ЦЕХ", "Cirk cex cy'gan cyurix CEX"},  // c before i, e, y, j
        {"Царь лицо конец цьх ЦАРЬ", "Czar` liczo konecz cz`x CZAR`"},
        {"цi Ц", "ci Cz"},
        {"Єва Ї ў", "Yeva Yi u`"},
        {"╔═╤╗║│╟─┼╢╚═╧╝", "+-++||+-+++-++"},
        {"░░▒▓█▄▌▐▀■", "..:#######"},
        {"№ 5 °√¤·∙\u00A0", "No 5 ???.. "},
    };
    for (const auto& c : cases) {
        const std::string latin = Cp866ToLatin(Utf8ToCp866(c.utf8));
        EXPECT_EQ(latin, c.latin) << c.utf8;
        for (char ch : latin) EXPECT_LT(static_cast<unsigned char>(ch), 0x80) << c.utf8;
    }
    // Letters the locale has stay; only the rest is made Latin.
    std::bitset<128> cyrillic;
    for (int byte : {0x80, 0x81, 0xA0, 0xE6, 0xE7}) cyrillic[byte - 128] = true;
    EXPECT_EQ(Cp866ToLatin("\x80\xC9\xE6\xA0\xEA", cyrillic), "\x80+\xE6\xA0``");
    // A cell keeps its width.
    EXPECT_EQ(Cp866LatinCell(0x99), 'S');   // Щ
    EXPECT_EQ(Cp866LatinCell(0xF1), 'e');   // ё
    EXPECT_EQ(Cp866LatinCell(0x9F), 'A');   // Я
    EXPECT_EQ(Cp866LatinCell(0xCD), '-');   // ═
    EXPECT_EQ(Cp866LatinCell('q'), 'q');
}

}  // namespace
