#include <gtest/gtest.h>

#include <string>

#include "frame/catalogue.h"
#include "frame/console.h"

namespace {

// Every test of this program starts with a fresh console whose output is
// dropped: a fixture's capture string must not outlive its test.
class FreshConsolePerTest : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        static std::string dropped;
        dropped.clear();
        InitConsoleForTest(80, 25, false, &dropped);
    }
};

const bool FreshConsoleInstalled = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshConsolePerTest);
    return true;
}();

class PlainConsole : public ::testing::Test {
protected:
    void SetUp() override { InitConsoleForTest(80, 25, false, &output); }
    std::string output;
};

class TerminalConsole : public ::testing::Test {
protected:
    void SetUp() override { InitConsoleForTest(80, 25, true, &output); }
    std::string output;
};

std::size_t Count(const std::string& text, const std::string& piece) {
    std::size_t count = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size()))
        ++count;
    return count;
}

// ---- Shadow screen -------------------------------------------------------------

TEST_F(PlainConsole, WriteAtLeavesCursorAndColourAlone) {
    SetTextColor(10);
    WriteText("ab");
    WriteAt(20, 5, 0x1E, "xyz");
    WriteAt(30, 5, 0x1E, "");
    WriteText("cd");
    EXPECT_EQ(RowText(1, 1, 4), "abcd");
    EXPECT_EQ(CellAt(3, 1).attr, 10);
    EXPECT_EQ(RowText(5, 20, 3), "xyz");
    EXPECT_EQ(CellAt(21, 5).attr, 0x1E);
    EXPECT_EQ(CellAt(30, 5).ch, ' ');
    EXPECT_EQ(Console().attr, 10);
    EXPECT_EQ(WhereX(), 4);
    EXPECT_EQ(WhereY(), 0);
    EXPECT_EQ(output, "abcd");
}

TEST_F(PlainConsole, WriteAtIsCutAtTheRightEdgeAndIgnoresCellsOffScreen) {
    WriteAt(78, 2, 7, "12345");
    EXPECT_EQ(RowText(2, 78), "123");
    EXPECT_EQ(CellAt(1, 3).ch, ' ');
    WriteAt(1, 26, 7, "x");
    WriteAt(0, 1, 7, "x");
    WriteCharAt('q', 80, 25, 0x4F);
    EXPECT_EQ(CellAt(80, 25).ch, 'q');
    EXPECT_EQ(CellAt(80, 25).attr, 0x4F);
    EXPECT_EQ(RowText(1), std::string(80, ' '));
}

TEST_F(PlainConsole, EmptyLineMovesToTheNextLineOnly) {
    GotoXY(5, 3);
    WriteLine("");
    EXPECT_EQ(WhereX(), 0);
    EXPECT_EQ(WhereY(), 3);
    EXPECT_EQ(RowText(3), std::string(80, ' '));
    EXPECT_EQ(output, "\n");
}

TEST_F(PlainConsole, LinesScrollAtTheBottomAndLongTextWraps) {
    for (int i = 1; i <= 26; ++i) WriteLine("line " + std::to_string(i));
    EXPECT_EQ(RowText(1, 1, 6), "line 3");
    EXPECT_EQ(RowText(24, 1, 7), "line 26");
    EXPECT_EQ(RowText(25), std::string(80, ' '));
    EXPECT_EQ(WhereY(), 24);

    InitConsoleForTest(80, 25, false, &output);
    WriteText(std::string(81, 'w'));
    EXPECT_EQ(WhereX(), 1);
    EXPECT_EQ(WhereY(), 1);
    EXPECT_EQ(RowText(2, 1, 2), "w ");
}

TEST_F(PlainConsole, GotoOutsideTheScreenKeepsTheCursor) {
    GotoXY(10, 4);
    GotoXY(81, 4);
    GotoXY(10, 0);
    EXPECT_EQ(WhereX(), 9);
    EXPECT_EQ(WhereY(), 3);
    WriteColored("z", 12);
    EXPECT_EQ(CellAt(10, 4).ch, 'z');
    EXPECT_EQ(CellAt(10, 4).attr, 12);
    EXPECT_EQ(Console().attr, 12);
}

// ---- What reaches standard output -----------------------------------------------

TEST_F(PlainConsole, OutputIsPlainBytesWithoutEscapes) {
    SetCursorVisible(false);
    SetTextColor(12);
    WriteText("\x8F\xE0\xA8\xA2\xA5\xE2 ");  // "Привет" in code page 866
    WriteAt(1, 10, 0x4E, "frame \xC9\xCD");
    GotoXY(1, 20);
    SavedScreen saved;
    SaveScreen(25, saved);
    WriteColored("done", 10);
    RestoreScreen(25, saved);
    WriteLine("");
    SetCursorVisible(true);
    EXPECT_EQ(output, "\x8F\xE0\xA8\xA2\xA5\xE2 done\n");
    EXPECT_EQ(output.find('\x1b'), std::string::npos);
}

TEST_F(TerminalConsole, ColoursBecomeSgrAndTextBecomesUtf8) {
    WriteColored("\x80\xC9\xB0", 0x1C);  // "А╔░", light red on blue
    EXPECT_EQ(output, "\x1b[0;91;44m\xD0\x90\xE2\x95\x94\xE2\x96\x91");
    output.clear();
    WriteColored("x", 0x1C);  // same colour: no new sequence
    EXPECT_EQ(output, "x");
    output.clear();
    // Ordinary grey on black is the terminal's own default on the normal screen.
    WriteColored("y", 7);
    EXPECT_EQ(output, "\x1b[0my");
    output.clear();
    WriteColored("z", 0x63);  // cyan on brown: console order differs from ANSI
    EXPECT_EQ(output, "\x1b[0;36;43mz");
}

TEST_F(TerminalConsole, PositionsAndCursorVisibility) {
    WriteText("ab");
    output.clear();
    WriteAt(10, 3, 0x0E, "hi");
    EXPECT_EQ(output, "\x1b[3;10H\x1b[0;93mhi\x1b[1;3H");
    output.clear();
    GotoXY(5, 7);
    EXPECT_EQ(output, "\x1b[7;5H");
    output.clear();
    SetCursorVisible(false);
    SetCursorVisible(true);
    EXPECT_EQ(output, "\x1b[?25l\x1b[?25h");
    output.clear();
    WriteLine("k");
    EXPECT_EQ(output, "\x1b[0mk\r\n");
}

TEST_F(TerminalConsole, ControlBytesInTextNeverReachTheTerminalAsCommands) {
    WriteText("a\x1b[2Jb\x07");
    EXPECT_EQ(Count(output, "\x1b"), 1u);  // the colour sequence only
    EXPECT_NE(output.find("\xE2\x86\x90[2Jb"), std::string::npos);  // ESC shown as its glyph
    EXPECT_EQ(CellAt(2, 1).ch, 0x1B);
}

TEST_F(TerminalConsole, NoColourStillPositions) {
    Console().colour = false;
    WriteColored("red", 12);
    WriteAt(2, 2, 0x4F, "x");
    EXPECT_EQ(output.find('m'), std::string::npos);
    EXPECT_NE(output.find("\x1b[2;2H"), std::string::npos);
    EXPECT_EQ(output.substr(0, 3), "red");
}

TEST_F(TerminalConsole, NonUtf8TerminalWithoutTableGetsTheBytes) {
    Console().utf8 = false;
    Console().colour = false;
    WriteText("\xC9\x80");
    EXPECT_EQ(output, "\xC9\x80");
}

// ---- Saving the screen --------------------------------------------------------------

TEST_F(TerminalConsole, SaveUsesTheAlternateScreenAndRestoreBringsBackShadowAndCursor) {
    WriteLine("before");
    GotoXY(4, 6);
    SavedScreen saved;
    output.clear();
    SaveScreen(25, saved);
    EXPECT_TRUE(saved.present);
    EXPECT_EQ(output.substr(0, 8), "\x1b[?1049h");
    EXPECT_NE(output.find("before"), std::string::npos);  // the copy is drawn on it
    WriteAt(1, 1, 0x1F, "view");
    GotoXY(30, 20);

    // A nested save stays on the alternate screen.
    SavedScreen inner;
    SaveScreen(3, inner);
    WriteAt(1, 2, 0x70, "menu");
    output.clear();
    RestoreScreen(3, inner);
    EXPECT_FALSE(inner.present);
    EXPECT_EQ(output.find("\x1b[?1049l"), std::string::npos);
    EXPECT_EQ(RowText(1, 1, 4), "view");
    EXPECT_EQ(RowText(2, 1, 4), "    ");
    EXPECT_EQ(WhereX(), 29);

    output.clear();
    RestoreScreen(25, saved);
    EXPECT_NE(output.find("\x1b[?1049l"), std::string::npos);
    EXPECT_FALSE(saved.present);
    EXPECT_EQ(RowText(1, 1, 6), "before");
    EXPECT_EQ(CellAt(1, 1).attr, 7);
    EXPECT_EQ(WhereX(), 3);
    EXPECT_EQ(WhereY(), 5);

    output.clear();
    RestoreScreen(25, saved);  // nothing saved: nothing happens
    EXPECT_EQ(output, "");
    EXPECT_EQ(RowText(1, 1, 6), "before");
}

TEST_F(PlainConsole, SaveAndRestoreWithoutTerminalKeepTheShadow) {
    WriteAt(1, 1, 7, "keep");
    SavedScreen saved;
    SaveScreen(2, saved);
    EXPECT_EQ(saved.cells.size(), 160u);
    WriteAt(1, 1, 7, "gone");
    WriteAt(1, 3, 7, "stay");
    RestoreScreen(2, saved);
    EXPECT_EQ(RowText(1, 1, 4), "keep");
    EXPECT_EQ(RowText(3, 1, 4), "stay");
    SavedScreen none;
    SaveScreen(0, none);
    EXPECT_FALSE(none.present);
}

TEST_F(TerminalConsole, ExitDuringAFullScreenViewKeepsItsLastMessageVisible) {
    SetCursorVisible(false);
    SavedScreen saved;
    SaveScreen(25, saved);
    WriteAt(1, 1, 0x8F, "status");
    GotoXY(1, 10);
    WriteColored("Runtime error 13", 12);
    output.clear();
    RestoreTerminal();
    std::size_t left = output.find("\x1b[?1049l");
    ASSERT_NE(left, std::string::npos);
    EXPECT_NE(output.find("Runtime error 13", left), std::string::npos);
    EXPECT_NE(output.find("\x1b[?25h"), std::string::npos);
    EXPECT_GT(output.rfind("\x1b[0m"), output.rfind("\x1b[0;"));  // default colours at the end
    output.clear();
    RestoreTerminal();  // once is enough
    EXPECT_EQ(output, "");
}

// ---- Toss status screen ------------------------------------------------------------

class TossScreen : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        InitConsoleForTest(80, 25, GetParam(), &output);
        ClearCatalogue();
        SetMessageText(Msg::TOSSSCRRECEIVEFILE, "Received file:");
        SetMessageText(Msg::TOSSSCRRECEIVEFROM, "From:");
        SetMessageText(Msg::TOSSSCRORIGIN, "Origin:");
        SetMessageText(Msg::TOSSSCRFILEECHO, "File echo:");
        SetMessageText(Msg::TOSSSCRDESC, std::string(50, 'd'));
        SetMessageText(Msg::TOSSSCRALLWORKUPTIC, "Processed TIC files:");
        SetMessageText(Msg::TOSSSCRBADTICFILES, std::string(30, 'b'));
        SetMessageText(Msg::TOSSSCRCOMPLETE, "Complete");
    }
    void TearDown() override { ClearCatalogue(); }
    std::string output;
};

std::string Times(const std::string& piece, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += piece;
    return text;
}

TEST_P(TossScreen, FrameLabelsTitleAndEmptyBar) {
    DrawTossScreen();
    const std::string blank43(43, ' '), blank34(34, ' ');
    EXPECT_EQ(RowText(1, 1, 61), "\xC9" + Times("\xCD", 43) + "\xD1" + Times("\xCD", 16));
    EXPECT_EQ(RowText(1, 62, 19), " Brenmoor v.1.29 \xCD\xBB");
    EXPECT_EQ(RowText(6), "\xBA" + blank43 + "\xB3" + blank34 + "\xBA");
    EXPECT_EQ(RowText(13), "\xBA" + Times("\xC4", 43) + "\xB3" + blank34 + "\xBA");
    EXPECT_EQ(RowText(16), "\xBA" + Times("\xC4", 43) + "\xD9" + blank34 + "\xBA");
    EXPECT_EQ(RowText(20), "\xBA" + std::string(78, ' ') + "\xBA");
    EXPECT_EQ(RowText(25), "\xC8" + Times("\xCD", 78) + "\xBC");
    for (int row = 1; row <= 25; ++row) {
        EXPECT_EQ(CellAt(1, row).attr, 143) << row;
        EXPECT_EQ(CellAt(80, row).attr, 143) << row;
    }

    EXPECT_EQ(RowText(2, 3, 14), "Received file:");
    EXPECT_EQ(CellAt(3, 2).attr, 138);
    EXPECT_EQ(RowText(5, 3, 5), "From:");
    EXPECT_EQ(RowText(11, 3, 10), "File echo:");
    EXPECT_EQ(RowText(14, 3, 42), std::string(41, 'd') + " ");
    EXPECT_EQ(RowText(2, 47, 20), "Processed TIC files:");
    EXPECT_EQ(CellAt(47, 2).attr, 142);
    EXPECT_EQ(RowText(3, 47, 26), std::string(25, 'b') + " ");
    EXPECT_EQ(RowText(8, 47, 33), Times("\xB0", 28) + "   0%");
    EXPECT_EQ(CellAt(47, 8).attr, 139);
    EXPECT_EQ(CellAt(79, 8).attr, 139);
    EXPECT_EQ(RowText(9, 57, 8), "Complete");
    EXPECT_EQ(CellAt(57, 9).attr, 142);

    // The cut labels stay in the catalogue.
    EXPECT_EQ(MessageText(Msg::TOSSSCRBADTICFILES), std::string(25, 'b'));
    EXPECT_EQ(MessageText(Msg::TOSSSCRDESC), std::string(41, 'd'));
    EXPECT_EQ(MessageText(Msg::TOSSSCRCOMPLETE), "Complete");

    if (!GetParam()) {
        EXPECT_EQ(output, "");
    }
}

TEST_P(TossScreen, ProgressBarCellsAndPercent) {
    DrawTossScreen();
    ShowTossProgress(0, 7);
    EXPECT_EQ(RowText(8, 47, 33), Times("\xB0", 28) + "   0%");
    EXPECT_EQ(Console().attr, 137);
    ShowTossProgress(1, 3);
    EXPECT_EQ(RowText(8, 47, 33), Times("\xDB", 9) + Times("\xB0", 19) + "  33%");
    EXPECT_EQ(CellAt(55, 8).attr, 137);
    EXPECT_EQ(CellAt(56, 8).attr, 139);
    EXPECT_EQ(CellAt(76, 8).attr, 139);
    ShowTossProgress(5, 3);
    EXPECT_EQ(RowText(8, 47, 33), Times("\xDB", 28) + " 100%");
    ShowTossProgress(29, 100);  // whole numbers: no rounding down to 28
    EXPECT_EQ(RowText(8, 76, 3), " 29");
    ShowTossProgress(3, 0);
    EXPECT_EQ(RowText(8, 76, 3), "100");
    if (!GetParam()) {
        EXPECT_EQ(output, "");
    }
}

TEST_P(TossScreen, FieldsCountsAndFileEchoCut) {
    DrawTossScreen();
    const std::string echo45 = "ECHO.WITH.A.VERY.LONG.NAME.THAT.GOES.ON.12345";
    ASSERT_EQ(echo45.size(), 45u);
    UpdateTossScreen("2:5020/1", "2:5020/2", echo45, "a_rather_long_file_name.zip", "Some file", 12, 3, 24);
    UpdateTossScreen("2:5020/9", "2:5020/2", echo45, "short.zip", "Other", 13, 4, 24);
    EXPECT_EQ(RowText(3, 3, 43), "short.zip" + std::string(33, ' ') + "\xB3");
    EXPECT_EQ(CellAt(3, 3).attr, 139);
    EXPECT_EQ(CellAt(44, 3).attr, 139);
    EXPECT_EQ(RowText(6, 3, 9), "2:5020/9 ");
    EXPECT_EQ(RowText(9, 3, 9), "2:5020/2 ");
    EXPECT_EQ(RowText(12, 3, 42), echo45.substr(0, 40) + "  ");
    EXPECT_EQ(RowText(15, 3, 6), "Other ");
    EXPECT_EQ(RowText(2, 72, 9), "13" + std::string(6, ' ') + "\xBA");
    EXPECT_EQ(CellAt(72, 2).attr, 138);
    EXPECT_EQ(CellAt(74, 2).attr, 139);
    EXPECT_EQ(RowText(3, 72, 2), "4 ");
    EXPECT_EQ(CellAt(72, 3).attr, 140);
    EXPECT_EQ(RowText(8, 47, 15), Times("\xDB", 15));
    EXPECT_EQ(RowText(8, 76, 3), " 54");
    // A value longer than the inside of the frame never spills into the next row.
    UpdateTossScreen(std::string(100, 'f'), "o", "e", "n", "d", 1, 0, 1);
    EXPECT_EQ(RowText(7), "\xBA" + Times("\xC4", 43) + "\xB3" + std::string(34, ' ') + "\xBA");
    EXPECT_EQ(CellAt(80, 6).ch, 0xBA);
    if (!GetParam()) {
        EXPECT_EQ(output, "");
    }
}

INSTANTIATE_TEST_SUITE_P(Console, TossScreen, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Terminal" : "Plain"; });

TEST_F(TerminalConsole, TossScreenIsDrawnInBoxCharacters) {
    ClearCatalogue();
    DrawTossScreen();
    EXPECT_EQ(output.substr(0, 6), "\x1b[1;1H");
    EXPECT_NE(output.find("\x1b[0;97;100m\xE2\x95\x94\xE2\x95\x90"), std::string::npos);
    EXPECT_NE(output.find("\x1b[8;47H\x1b[0;96;100m\xE2\x96\x91"), std::string::npos);
    EXPECT_EQ(output.find('\xC9'), std::string::npos);
}

// ---- Keys ---------------------------------------------------------------------

struct KeyCase {
    const char* bytes;
    std::uint16_t code;
    std::size_t consumed;
};

TEST(DecodeKeyBytes, TerminalSequencesBecomePcKeyCodes) {
    const KeyCase cases[] = {
        {"\x1b[A", 72 << 8, 3},       {"\x1bOA", 72 << 8, 3},       {"\x1b[B", 80 << 8, 3},
        {"\x1b[D", 75 << 8, 3},       {"\x1b[C", 77 << 8, 3},       {"\x1b[H", 71 << 8, 3},
        {"\x1bOH", 71 << 8, 3},       {"\x1b[1~", 71 << 8, 4},      {"\x1b[7~", 71 << 8, 4},
        {"\x1b[F", 79 << 8, 3},       {"\x1b[4~", 79 << 8, 4},      {"\x1b[8~", 79 << 8, 4},
        {"\x1b[5~", 73 << 8, 4},      {"\x1b[6~", 81 << 8, 4},      {"\x1b[2~", 82 << 8, 4},
        {"\x1b[3~", 83 << 8, 4},      {"\x1bOR", 61 << 8, 3},       {"\x1b[13~", 61 << 8, 5},
        {"\x1b[[C", 61 << 8, 4},      {"\x1bOP", 59 << 8, 3},       {"\x1b[24~", 134 << 8, 5},
        {"\x1b[1;3P", 104 << 8, 6},   {"\x1b\x1bOP", 104 << 8, 4},  {"\x1b[11;3~", 104 << 8, 7},
        {"\x1bO3P", 104 << 8, 4},     {"\x1b[1;5D", 115 << 8, 6},   {"\x1b[1;2A", 72 << 8, 6},
        {"\x1b[3;5~", 147 << 8, 6},   {"\x1b\x1b[A", 152 << 8, 4},  {"\x1b[Z", 15 << 8, 3},
        {"\x1bq", 16 << 8, 2},        {"\x1bQ", 16 << 8, 2},        {"\x1b" "a", 30 << 8, 2},
        {"\x1b" "1", 120 << 8, 2},    {"\x1bOM", 13, 3},            {"\x1b-", 27, 1},
        {"\r", 13, 1},                {"\n", 13, 1},                {"\t", 9, 1},
        {"\x7f", 8, 1},               {"\x08", 8, 1},               {"\x1c", 28, 1},
        {"q", 'q', 1},                {"\xD0\x90", 0x80, 2},        {"\xD1\x8F", 0xEF, 2},
        {"\xE2\x96\x88", 0xDB, 3},    {"\xE2\x82\xAC", 0, 3},       {"\x80", 0, 1},
        {"\x1b[24;80R", 0, 8},        {"\x1b[<0;3;4M", 0, 9},      {"\x1b[I", 0, 3},
        {"\x1b[200~", 0, 6},
    };
    for (const KeyCase& c : cases) {
        std::size_t consumed = 99;
        std::string bytes = c.bytes;
        EXPECT_EQ(DecodeKeyBytes(bytes, consumed), c.code) << testing::PrintToString(bytes);
        EXPECT_EQ(consumed, c.consumed) << testing::PrintToString(bytes);
    }
}

TEST(DecodeKeyBytes, IncompleteInputAsksForMore) {
    for (const char* bytes : {"", "\x1b", "\x1b[", "\x1b[1;", "\x1b[1;3", "\x1bO", "\x1b\x1b", "\x1b[[", "\xD0",
                              "\xE2\x96"}) {
        std::size_t consumed = 99;
        EXPECT_EQ(DecodeKeyBytes(bytes, consumed), 0) << testing::PrintToString(std::string(bytes));
        EXPECT_EQ(consumed, 0u) << testing::PrintToString(std::string(bytes));
    }
    // A key is taken from the front; the rest waits for the next call.
    std::size_t consumed = 0;
    EXPECT_EQ(DecodeKeyBytes("\x1b[Ax", consumed), 72 << 8);
    EXPECT_EQ(consumed, 3u);
    // An escape interrupted by a control byte was a lone Esc.
    EXPECT_EQ(DecodeKeyBytes("\x1b[\r", consumed), 27);
    EXPECT_EQ(consumed, 1u);
}

TEST(DecodeKeyBytes, WithoutUtf8HighBytesAreKeysOfTheirOwn) {
    std::size_t consumed = 0;
    EXPECT_EQ(DecodeKeyBytes("\xD0\x90", consumed, false), 0xD0);
    EXPECT_EQ(consumed, 1u);
}

// ---- Code page 866 -------------------------------------------------------------------

TEST(CodePage866, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    std::string utf8 = Cp866ToUtf8(all);
    EXPECT_EQ(Utf8ToCp866(utf8), all);
    EXPECT_EQ(Cp866ToUtf8("\x80\x9F\xA0\xAF\xE0\xEF\xF0\xF1\xFC"), "АЯапряЁё№");
    EXPECT_EQ(Cp866ToUtf8("\xC9\xCD\xBB\xBA\xB3\xC4\xD9\xC8\xBC\xD1"), "╔═╗║│─┘╚╝╤");
    EXPECT_EQ(Cp866ToUtf8("\xB0\xB1\xB2\xDB\xDC\xDF\xFE\xFF"), "░▒▓█▄▀■\xC2\xA0");
}

TEST(CodePage866, UnknownOrBrokenUtf8BecomesQuestionMarks) {
    EXPECT_EQ(Utf8ToCp866("a€b"), "a?b");
    EXPECT_EQ(Utf8ToCp866("\xD0"), "?");
    EXPECT_EQ(Utf8ToCp866("\xC0\xAF"), "??");
    EXPECT_EQ(Utf8ToCp866("\xED\xA0\x80"), "???");
    EXPECT_EQ(Utf8ToCp866("Ж😀"), "\x86?");
}

}  // namespace
