#include "tic/tossscreen.h"

#include <algorithm>
#include <string>

#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/platform.h"

namespace {

constexpr int TossWidth = 80;

void CutLabel(Msg key, std::size_t limit) {
    const std::string& text = MessageText(key);
    if (text.size() > limit) SetMessageText(key, text.substr(0, limit));
}

std::string Repeat(std::string_view piece, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += piece;
    return text;
}

void DrawProgress(unsigned done, unsigned total) {
    unsigned long long percent = 100;
    if (total > 0) {
        if (done > total) done = total;
        percent = static_cast<unsigned long long>(done) * 100 / total;
    }
    int cells = static_cast<int>(percent * 28 / 100);
    GotoXY(47, 8);
    WriteColored(Repeat("\xDB", cells), ColourOn(LightBlue, DarkGray));
    std::string number = std::to_string(percent);
    WriteAt(76, 8, ColourOn(LightCyan, DarkGray), std::string(3 - number.size(), ' ') + number);
}

// One field of the status screen: cleared, then the value; a value longer
// than the inside of the frame is cut there instead of wrapping into the
// rows below.
void ShowField(int row, std::string_view value) {
    GotoXY(3, row);
    WriteColored(std::string(42, ' '), ColourOn(LightCyan, DarkGray));
    GotoXY(3, row);
    WriteColored(value.substr(0, std::min<std::size_t>(value.size(), TossWidth - 3)), ColourOn(LightCyan, DarkGray));
}

void ShowCount(int row, unsigned count, unsigned char attr) {
    GotoXY(72, row);
    WriteColored(std::string(7, ' '), ColourOn(LightCyan, DarkGray));
    GotoXY(72, row);
    WriteColored(std::to_string(count), attr);
}

}  // namespace

void DrawTossScreen() {
    StatusScreenScope drawing;
    const Msg left[] = {Msg::TOSSSCRRECEIVEFILE, Msg::TOSSSCRRECEIVEFROM, Msg::TOSSSCRORIGIN, Msg::TOSSSCRFILEECHO,
                        Msg::TOSSSCRDESC};
    const Msg right[] = {Msg::TOSSSCRALLWORKUPTIC, Msg::TOSSSCRBADTICFILES, Msg::TOSSSCRCOMPLETE};
    for (Msg key : left) CutLabel(key, 41);
    for (Msg key : right) CutLabel(key, 25);

    const std::string top = "\xC9" + Repeat("\xCD", 43) + "\xD1" + Repeat("\xCD", 34) + "\xBB";
    const std::string field = "\xBA" + std::string(43, ' ') + "\xB3" + std::string(34, ' ') + "\xBA";
    const std::string rule = "\xBA" + Repeat("\xC4", 43) + "\xB3" + std::string(34, ' ') + "\xBA";
    const std::string lastRule = "\xBA" + Repeat("\xC4", 43) + "\xD9" + std::string(34, ' ') + "\xBA";
    const std::string empty = "\xBA" + std::string(78, ' ') + "\xBA";
    const std::string bottom = "\xC8" + Repeat("\xCD", 78) + "\xBC";
    for (int row = 1; row <= 25; ++row) {
        const std::string* text = &empty;
        if (row == 1) text = &top;
        else if (row == 25) text = &bottom;
        else if (row == 16) text = &lastRule;
        else if (row <= 15) text = row % 3 == 1 ? &rule : &field;
        WriteAt(1, row, ColourOn(White, DarkGray), *text);
    }

    for (int i = 0; i < 5; ++i) WriteAt(3, 2 + 3 * i, ColourOn(LightGreen, DarkGray), MessageText(left[i]));
    WriteAt(47, 2, ColourOn(Yellow, DarkGray), MessageText(Msg::TOSSSCRALLWORKUPTIC));
    WriteAt(47, 3, ColourOn(Yellow, DarkGray), MessageText(Msg::TOSSSCRBADTICFILES));
    WriteAt(62, 1, ColourOn(White, DarkGray), " Brenmoor v." + std::string(VersionNumber) + " ");
    WriteAt(47, 8, ColourOn(LightCyan, DarkGray), Repeat("\xB0", 28) + "   0%");
    const std::string& complete = MessageText(Msg::TOSSSCRCOMPLETE);
    WriteAt(61 - static_cast<int>(complete.size() / 2), 9, ColourOn(Yellow, DarkGray), complete);
    FlushConsole();
}

void UpdateTossScreen(std::string_view from, std::string_view origin, std::string_view fileEcho,
                      std::string_view fileName, std::string_view description, unsigned processed, unsigned bad,
                      unsigned total) {
    StatusScreenScope drawing;
    ShowField(3, fileName);
    ShowField(6, from);
    ShowField(9, origin);
    ShowField(12, fileEcho.substr(0, std::min<std::size_t>(fileEcho.size(), 40)));
    ShowField(15, description);
    ShowCount(2, processed, 138);
    ShowCount(3, bad, 140);
    DrawProgress(processed, total);
    FlushConsole();
}

void ShowTossProgress(unsigned done, unsigned total) {
    StatusScreenScope drawing;
    DrawProgress(done, total);
    FlushConsole();
}
