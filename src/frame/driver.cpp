#include "frame/driver.h"

#include <new>
#include <string_view>

#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/driver_startup.h"
#include "frame/exit.h"
#include "frame/log.h"
#include "frame/platform.h"
#include "frame/utils.h"
#include "config/areas.h"
#include "robot/netmail.h"
#include "tic/toss.h"

namespace {

// The usage text: the pieces in their colours, in code page 866. A piece
// either ends its line or the next piece continues it.
struct UsagePiece {
    unsigned char colour;
    std::string_view text;
    bool endsLine;
};

constexpr UsagePiece UsageText[] = {
    {10, "brenmoor ", false},
    {13, "<\xAF\xA0\xE0\xA0\xAC\xA5\xE2\xE0\xEB>", true},  // <параметры>
    {11, "\x8F\xA0\xE0\xA0\xAC\xA5\xE2\xE0\xEB:", true},  // Параметры:
    {13, "Toss", false},
    {7, "                        \x92\xAE\xE1\xE1\xA8\xE2\xEC \xAF\xE0\xA8\xE8\xA5\xA4\xE8\xA8\xA5 \xE4\xA0\xA9\xAB\xEB", true},  // Тоссить пришедшие файлы
    {13, "Scan", false},
    {7, "                        \x91\xAA\xA0\xAD\xA8\xE0\xAE\xA2\xA0\xE2\xEC NetMail \xAD\xA0 \xA7\xA0\xAF\xE0\xAE\xE1\xEB \xAA \xAC\xA5\xAD\xA5\xA4\xA6\xA5\xE0\xE3 \xAF\xAE\xA4\xAF\xA8\xE1\xAA\xA8", true},  // Сканировать NetMail на запросы к менеджеру подписки
    {13, "TossScan", false},
    {7, "                    Toss & Scan", true},
    {13, "Hatch <File> <Area> [-N,-C]", false},
    {7, " \x87\xA0\xE5\xA0\xE2\xE7\xA8\xE2\xEC \xE4\xA0\xA9\xAB \xA2 \xE4\xA0\xA9\xAB\xED\xE5\xE3(\xA4\xAE\xAF\xAE\xAB\xAD\xA8\xE2\xA5\xAB\xEC\xAD\xEB\xA5 \xAF\xA0\xE0\xA0\xAC\xA5\xE2\xE0\xEB", true},  // Захатчить файл в файлэху(дополнительные параметры
    {7, "                            \xAD\xA5 \xAE\xA1\xEF\xA7\xA0\xE2\xA5\xAB\xEC\xAD\xEB - \xA7\xA0\xAF\xE3\xE1\xE2\xA8\xE2\xE1\xEF \xA2\xE1\xE2\xE0\xAE\xA5\xAD\xAD\xEB\xA9 commander).", true},  // не обязательны - запустится встроенный commander).
    {7, "                            \x85\xE1\xAB\xA8 \xE3\xAA\xA0\xA7\xA0\xE2\xEC \xAA\xAB\xEE\xE7 -N, \xE2\xAE \xE4\xA0\xA9\xAB \xE5\xA0\xE2\xE7\xA8\xE2\xE1\xEF \xE1\xE0\xA0\xA7\xE3.", true},  // Если указать ключ -N, то файл хатчится сразу.
    {7, "                            \x8A\xAB\xEE\xE7 -C, \xE3\xAA\xA0\xA7\xEB\xA2\xA0\xA5\xE2 \xAD\xA0 \xAD\xA5\xAE\xA1\xE5\xAE\xA4\xA8\xAC\xAE\xE1\xE2\xEC \xAA\xAE\xAF\xA8\xE0\xAE\xA2\xA0\xE2\xEC \xE4\xA0\xA9\xAB", true},  // Ключ -C, указывает на необходимость копировать файл
    {7, "                            \xA2 \xAA\xA0\xE2\xA0\xAB\xAE\xA3 \xE1 \xE4\xA0\xA9\xAB-\xED\xE5\xAE\xA9.", true},  // в каталог с файл-эхой.
    {7, "                            \x92\xA0\xAA \xA6\xA5 \xAC\xAE\xA6\xAD\xAE \xE3\xAA\xA0\xA7\xA0\xE2\xEC \xA8 \xAE\xAF\xA8\xE1\xA0\xAD\xA8\xA5 \xE4\xA0\xA9\xAB\xA0 -D\"\x8E\xAF\xA8\xE1\xA0\xAD\xA8\xA5\"", true},  // Так же можно указать и описание файла -D"Описание"
    {13, "AutoHatch  [-I]  ", false},
    {7, "           \x80\xA2\xE2\xAE\xAC\xA0\xE2\xA8\xE7\xA5\xE1\xAA\xA8 \xA7\xA0\xE5\xA0\xE2\xE7\xA8\xE2\xEC \xE4\xA0\xA9\xAB\xEB \xA2 \xE4\xA0\xA9\xAB\xED\xE5\xE3.", true},  // Автоматически захатчить файлы в файлэху.
    {7, "                            \x8A\xAB\xEE\xE7 -I \xA2\xEB\xA2\xA5\xE1\xE2\xA8 \xE1\xAF\xA8\xE1\xAE\xAA \xE4\xA0\xA9\xAB\xAE\xA2 \xA1\xA5\xA7 \xE5\xA0\xE2\xE7\xA8\xAD\xA3\xA0.  ", true},  // Ключ -I вывести список файлов без хатчинга.
    {13, "Purge", false},
    {7, "                       \x8F\xE3\xE0\xA6\xA8\xE2\xEC passtrough \xE4-\xED\xE5\xA8", true},  // Пуржить passtrough ф-эхи
    {13, "Relink <adr>", false},
    {7, "                \x8F\xA5\xE0\xA5\xAF\xAE\xA4\xAF\xA8\xE1\xA0\xE2\xEC\xE1\xEF \xAD\xA0 \xE4-\xED\xE5\xA8 \xE3 \xA0\xE0\xA5\xE1\xA0(\xAE\xA2)", true},  // Переподписаться на ф-эхи у ареса(ов)
    {13, "ANN:<key> [Groups]", false},
    {7, "          \x80\xAD\xAE\xAD\xE1 \xE4\xA0\xA9\xAB\xAE\xA2. \x83\xA4\xA5 <key>:", true},  // Анонс файлов. Где <key>:
    {14, "                            PRV,CUR,ALL", false},
    {7, " - \xA7\xA0 \xAF\xE0\xA5\xA4\xEB\xA4\xE3\xE9\xA5\xA5/\xE2\xA5\xAA\xE3\xE9\xA5\xA5/\xA2\xE1\xA5 \xE7\xA8\xE1\xAB(\xAE,\xA0)", true},  // - за предыдущее/текущее/все числ(о,а)
    {14, "                            DD-MM-YY", false},
    {7, " - \xA7\xA0 \xA4\xA5\xAD\xEC-\xAC\xA5\xE1\xEF\xE6-\xA3\xAE\xA4", true},  // - за день-месяц-год
};

void PrintUsage() {
    WriteLine("");
    for (const UsagePiece& piece : UsageText) {
        SetTextColor(piece.colour);
        if (piece.endsLine)
            WriteLine(piece.text);
        else
            WriteText(piece.text);
    }
}

// "check": every problem of the control files that loading let pass, one
// line each with its file and line; exit 0 only when there is none.
[[noreturn]] void RunCheck(const NodeConfig& node) {
    const std::string& dir = node.programDir;
    std::vector<ConfigProblem> problems = CheckMainConfig(dir + "BRENMOOR.CTL", node.main);
    for (ConfigProblem& problem : CheckAreaList(ResolvePath(dir + "areas.ctl"), dir)) problems.push_back(problem);
    for (const LinkRecord& link : node.links)
        if (!IsAddressText(link.Address)) problems.push_back({"Links.ctl", 0, "\"" + link.Address + "\" is not an address"});
    for (const char* list : {"FORWARD.CTL", "NOTALLOW.CTL"}) {
        std::string content;
        const std::string path = ResolvePath(dir + list);
        if (FileExists(path) && !ReadWholeFile(path, content)) problems.push_back({list, 0, "cannot be read"});
    }
    WriteLine("");
    for (const ConfigProblem& problem : problems) {
        SetTextColor(12);
        WriteLine(problem.file + (problem.line > 0 ? ":" + std::to_string(problem.line) : std::string()) + ": " +
                  problem.text);
    }
    SetTextColor(problems.empty() ? 10 : 12);
    WriteLine(problems.empty() ? std::string("No problems found") : std::to_string(problems.size()) + " problem(s) found");
    ExitProgram(problems.empty() ? 0 : 1);
}

// Everything the driver sets up for the rest of the run.
struct RunState {
    int screenColumns = 80;
    int screenRows = 25;
    std::string programDir;
    CommandLine commandLine;
    NodeConfig node;  // the control files, read once
};

RunState State;

// Start-up up to the dispatch; ends through the exit routine or EndProgram.
void Run(int argc, char** argv) {
    // File names need no code page switch here: the file system takes the
    // CP866 bytes of the control files unchanged.
    SeedRandom();
    InitConsole();
    GetScreenSize(State.screenColumns, State.screenRows);
    State.programDir = ProgramDirectory();

    SetTextColor(15);
    WriteLine("Brenmoor version " + std::string(VersionNumber) + "." + std::string(PlatformWord));

    LoadCatalogue(State.programDir + "brenmoor.lng");
    SetTextColor(3);

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    if (args.empty()) {
        SetTextColor(12);
        WriteLine(MessageText(Msg::NEEDCMD));
        PrintUsage();
        ExitProgram(0);
    }
    State.commandLine = ParseCommandLine(std::move(args));

    State.node.programDir = State.programDir;
    LoadNodeConfig(State.node);
    SetMsgIdSerialFile(State.programDir + "msgid.dat");
    CheckBusyFlag(State.node.main);
    StartLogRun(State.node.main.logName);
    ClearErrorNumber();

    const std::string& command = State.commandLine.commandWord;
    // Commands that change files hold the flag, so that no two of them
    // rewrite areas.ctl or a flow file at once.
    for (std::string_view word : {"TOSS", "SCAN", "TOSSSCAN", "HATCH", "AUTOHATCH", "PURGE", "RELINK"})
        if (command == word) AcquireBusyFlag(State.node.main);
    if (command == "TOSS" || command == "TOSSSCAN") {
        RunToss(State.node, State.screenRows);
        SetCursorVisible(true);
        ExitProgram(0);
    }

    if (command == "CHECK") RunCheck(State.node);

    // Every other command word ends normally.
    EndProgram(0);
}

}  // namespace

int RunBrenmoor(int argc, char** argv) {
    int code = 0;
    try {
        try {
            Run(argc, argv);
        } catch (const std::bad_alloc&) {
            SetTextColor(12);
            WriteLine(MessageText(Msg::NOTENOUGHMEMORY));
            ExitProgram(10);
        }
    } catch (const ProgramExit& end) {
        code = end.code;
    } catch (const std::bad_alloc&) {
        // Memory ran out again while reporting it.
        code = 10;
    }
    ReleaseBusyFlag();
    RestoreTerminal();
    return code;
}
