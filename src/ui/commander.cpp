#include "ui/commander.h"

#include <cerrno>
#include <optional>

#include "frame/busyflag.h"
#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/exit.h"
#include "frame/platform.h"
#include "frame/utils.h"
#include "tic/hatch.h"
#include "tic/outbound.h"
#include "tic/tic.h"
#include "ui/areapanel.h"
#include "ui/filepanel.h"
#include "ui/windows.h"

namespace {

constexpr unsigned char WindowAttr = ColourOn(Blue, LightGray);
constexpr unsigned char LabelAttr = ColourOn(Black, LightGray);
constexpr unsigned char ValueAttr = ColourOn(Red, LightGray);
constexpr std::size_t FieldWidth = 56;     // columns 19..74 of the dialog

struct Dialog {
    std::string fileName;  // as shown: code page 866
    std::string area, description, replaces;
    char copy = 'N', hatch = 'N';
    bool asking = false;  // the last question is on the screen
    std::string note;     // on the status row while the dialog is open
    unsigned char noteAttr = LightGray;
};

void DrawDialog(const Dialog& d) {
    if (!ScreenLargeEnough()) return;  // the notice stays
    DrawWindow("Hatch file", 3, 8, 77, 17, WindowAttr, LabelAttr, 0);
    const char* labels[] = {"File name  :", "To area    :", "Description:", "Replaces   :", "Copy file  :"};
    for (int i = 0; i < 5; ++i) WriteAt(6, 9 + i, LabelAttr, labels[i]);
    WriteAt(19, 9, ValueAttr, FitText(Console().utf8 ? d.fileName : NameForView(d.fileName), FieldWidth));
    WriteAt(19, 10, ValueAttr, FitText(d.area, FieldWidth));
    WriteAt(19, 11, ValueAttr, FitText(d.description, FieldWidth));
    WriteAt(19, 12, ValueAttr, FitText(d.replaces, FieldWidth));
    WriteAt(19, 13, ValueAttr, std::string(1, d.copy));
    if (d.asking) {
        WriteAt(6, 15, LabelAttr, "Hatch file?:");
        WriteAt(19, 15, ValueAttr, std::string(1, d.hatch));
    }
    if (!d.note.empty()) WriteAt(1, PanelHeight() + 2, d.noteAttr, FitField(" " + d.note, ViewColumns));
}

// A Y/N answer at (19, row). False when it ended with a leave key and
// leaveEnds; without leaveEnds Esc is ignored and only Enter answers.
bool AskYesNo(Dialog& d, char& answer, int row, bool leaveEnds) {
    for (;;) {
        if (ScreenLargeEnough()) {
            WriteAt(19, row, ValueAttr, std::string(1, answer));
            GotoXY(20, row);
            SetCursorVisible(true);
        }
        std::uint16_t key = ReadViewKey();
        if (key == 'Y' || key == 'N' || key == 'y' || key == 'n') answer = static_cast<char>(key);
        else if (key == KeyEnter) return true;
        else if (leaveEnds && IsLeaveKey(key)) return false;
        // Ctrl+C and the end of input still leave a question that Esc cannot.
        else if (key == KeyCtrlC || key == KeyInputEnded) {
            answer = 'N';
            DrawDialog(d);
            return true;
        }
    }
}

// The details of one hatch; false when the operator cancelled.
bool AskDetails(Dialog& d) {
    ViewScope view([&d] { DrawDialog(d); });
    if (!EditLine(19, 11, FieldWidth, 57, ValueAttr, d.description)) return false;
    if (!EditLine(19, 12, FieldWidth, MaxText + 1, ValueAttr, d.replaces)) return false;
    if (!AskYesNo(d, d.copy, 13, true)) return false;
    d.asking = true;
    d.hatch = 'Y';
    DrawDialog(d);
    AskYesNo(d, d.hatch, 15, false);
    return d.hatch == 'Y' || d.hatch == 'y';
}

// One file into one area through the dialog; the note for the status row
// (empty when cancelled), and whether the file was hatched.
std::string HatchThroughDialog(const NodeConfig& node, const CommanderRun& run, const CommanderRequest& request,
                               const std::string& file, const std::string& area, SavedScreen& whole,
                               bool panelsAfter, bool& hatched) {
    hatched = false;
    const std::string name = ExtractFileNameAsIs(file);
    if (std::string refusal = HatchRefusal(node.main, file); !refusal.empty()) return refusal;
    const bool utf8 = Console().utf8;
    Dialog d;
    d.fileName = utf8 ? Utf8ToCp866(name) : name;
    d.area = area;
    d.description = request.description;
    d.replaces = ReplacesOf(d.fileName);
    d.copy = request.copyToArea ? 'Y' : 'N';
    d.noteAttr = node.colors[PanelStatusStr];
    if (!AskDetails(d)) return {};
    // The file may have gone while the dialog was open.
    if (!IsRegularFile(file)) return d.fileName + ": not a regular file, nothing hatched";
    // Unreadable, it would go out with a wrong CRC or end the run in the copy.
    if (int error = ReadAccessError(file, false))
        return Fill(MessageText(Msg::HATCHUNREADABLE), "%f", d.fileName, "%e", ErrorText(error));
    // The busy flag is held for the hatch only. While another run holds it
    // beyond BSYWAIT, the dialog stays with its text and asks again.
    {
        std::optional<ViewScope> view;
        for (;;) {
            const int error =
                TakeBusyFlag(run.frame, BusyFlagPath(node.main.semaphores), node.main.logName, node.main.bsyWait);
            if (error == 0) break;
            if (error != EEXIST) RuntimeError(error);
            d.note = MessageText(Msg::HATCHBUSY);
            d.hatch = 'Y';
            if (view) DrawDialog(d);
            else view.emplace([&d] { DrawDialog(d); });
            AskYesNo(d, d.hatch, 15, false);
            if (d.hatch != 'Y' && d.hatch != 'y') return {};
        }
    }
    // Lines an earlier run could not give a busy link go first.
    FlushFlowRetries(run.busy, node.main);
    HatchRequest hatch;
    hatch.filePath = file;
    hatch.areaTag = area;
    hatch.description = d.description;
    // Names are bytes of the file system: the name as it is, typed text back
    // in the terminal's character set.
    hatch.replaces = d.replaces == d.fileName ? name : utf8 ? Cp866ToUtf8(d.replaces) : d.replaces;
    hatch.copyToArea = d.copy == 'Y' || d.copy == 'y';
    // The hatch runs on the normal screen: a message that ends the program
    // stays there readable, not over the dialog.
    RestoreScreen(-1, whole);
    HatchFile(node, run.areas, run.serials, run.busy, hatch);
    ReleaseBusyFlag(run.frame);
    if (panelsAfter) {
        int columns = 0, rows = 0;
        GetScreenSize(columns, rows);
        SaveScreen(rows, whole);
        ClearScreen(LightGray);
        RedrawViews();
    }
    hatched = true;
    return Fill(MessageText(Msg::HATCHFILE), "%f", d.fileName, "%a", UpperCase(area));
}

}  // namespace

void RunCommander(const NodeConfig& node, const CommanderRun& run, const CommanderRequest& request) {
    int columns = 0, rows = 0;
    GetScreenSize(columns, rows);
    SavedScreen whole;
    // Pastes go into the field they are pasted into, and the mouse picks.
    SetInputReports(true);
    SaveScreen(rows, whole);
    EnableResizeKeys();
    ClearScreen(LightGray);
    const bool panels = request.filePath.empty() || request.areaTag.empty();
    FilePanel filePanel;
    AreaPanel areaPanel;
    if (!panels) {
        bool hatched = false;
        const std::string note =
            HatchThroughDialog(node, run, request, request.filePath, request.areaTag, whole, false, hatched);
        // Without panels there is no status row: a refusal ends the command.
        if (!hatched && !note.empty()) {
            RestoreScreen(-1, whole);
            SetInputReports(false);
            FailProgram(1, note);
        }
    } else {
        SetCursorVisible(false);
        InitAreaPanel(areaPanel, run.areas, ResolvePath(node.programDir + "areas.ctl"), node.colors, 41, 1);
        if (!LoadAreaPanel(areaPanel)) {
            RestoreScreen(-1, whole);
            WriteColored(MessageText(Msg::AREASNOTFOUND), LightRed);
            SetTextColor(LightGray);
            WriteLine("");
            ExitProgram(1);
        }
        const MainConfig& main = node.main;
        InitFilePanel(filePanel, main.baseDir, "*.*", main.fileGroups, node.colors, main.sortBy, 1, 1);
        if (!ReadFilePanel(filePanel)) {
            filePanel.path.assign(1, PathSeparator);  // BASEDIR is gone: the root
            ReadFilePanel(filePanel);
        }
        ViewScope base([&] {
            DrawFilePanel(filePanel);
            DrawAreaPanel(areaPanel);
        });
        // A hatch needs a file picked in the file panel and an echo picked
        // in the area panel, in either order; Tab goes between them.
        ActivePanel active = ActivePanel::Files;
        std::string file, area;
        std::optional<MouseEvent> handoff;
        for (;;) {
            filePanel.active = active == ActivePanel::Files;
            areaPanel.active = active == ActivePanel::Areas;
            RedrawViews();
            const MouseEvent* start = handoff ? &*handoff : nullptr;
            const PanelExit exit = filePanel.active ? RunFilePanel(filePanel, start) : RunAreaPanel(areaPanel, start);
            handoff.reset();
            filePanel.search.clear();  // a search ends with its panel's keys
            areaPanel.search.clear();
            if (exit == PanelExit::Quit) break;
            if (exit == PanelExit::Back) {
                // Esc in the area panel goes back to the file panel; in the file panel it leaves.
                if (filePanel.active || !request.filePath.empty()) break;
                file.clear();
                area.clear();
                active = ActivePanel::Files;
                continue;
            }
            if (exit == PanelExit::Switch || exit == PanelExit::Elsewhere) {
                const MouseEvent& mouse = filePanel.active ? filePanel.handoff : areaPanel.handoff;
                const int other = filePanel.active ? areaPanel.left : filePanel.left;
                const int otherWidth = filePanel.active ? areaPanel.width + 2 : filePanel.width;
                // A click or the wheel counts in the other panel only.
                if (exit == PanelExit::Elsewhere &&
                    (mouse.column < other || mouse.column >= other + otherWidth || mouse.row > PanelHeight() + 1))
                    continue;
                if (exit == PanelExit::Elsewhere) handoff = mouse;
                active = filePanel.active ? ActivePanel::Areas : ActivePanel::Files;
                continue;
            }
            if (filePanel.active) file = filePanel.result;
            else area = areaPanel.result;
            if (area.empty()) {
                active = ActivePanel::Areas;
                continue;
            }
            if (file.empty()) {
                filePanel.note = Fill(MessageText(Msg::HATCHPICKFILE), "%a", UpperCase(area));
                active = ActivePanel::Files;
                continue;
            }
            // Under the dialog neither panel takes keys, nor looks as if it did.
            filePanel.active = areaPanel.active = false;
            RedrawViews();
            bool hatched = false;
            filePanel.note = HatchThroughDialog(node, run, request, file, area, whole, true, hatched);
            // A copy into the shown directory is listed at once.
            RefreshFilePanel(filePanel);
            file.clear();
            area.clear();
            active = ActivePanel::Files;
            if (!request.filePath.empty()) break;
        }
        filePanel.active = areaPanel.active = false;
    }
    RestoreScreen(-1, whole);
    SetInputReports(false);
}
