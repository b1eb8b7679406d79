#include "driver/driver.h"

#include <cstdlib>
#include <exception>
#include <map>
#include <new>
#include <span>
#include <string_view>

#include "announce/announce.h"
#include "config/areas.h"
#include "driver/startup.h"
#include "frame/catalogue.h"
#include "frame/commandline.h"
#include "frame/console.h"
#include "frame/exit.h"
#include "frame/log.h"
#include "frame/platform.h"
#include "frame/platform_console.h"
#include "frame/utils.h"
#include "robot/netmail.h"
#include "robot/requests.h"
#include "robot/uplinks.h"
#include "tic/descriptions.h"
#include "tic/hatch.h"
#include "tic/outbound.h"
#include "tic/tic.h"
#include "tic/toss.h"
#include "ui/commander.h"

namespace {

// The usage text: the pieces in their colours, in code page 866. A piece
// either ends its line or the next piece continues it.
struct UsagePiece {
    unsigned char colour;
    std::string_view text;
    bool endsLine;
};

// The head of the usage text, then each command's lines with its row.
constexpr UsagePiece UsageHead[] = {
    {LightGreen, "brenmoor ", false},
    {LightMagenta, "<\xAF\xA0\xE0\xA0\xAC\xA5\xE2\xE0\xEB>", true},  // <параметры>
    {LightCyan, "\x8F\xA0\xE0\xA0\xAC\xA5\xE2\xE0\xEB:", true},  // Параметры:
};

constexpr UsagePiece TossUsage[] = {
    {LightMagenta, "Toss", false},
    {LightGray, "                        \x92\xAE\xE1\xE1\xA8\xE2\xEC \xAF\xE0\xA8\xE8\xA5\xA4\xE8\xA8\xA5 \xE4\xA0\xA9\xAB\xEB", true},  // Тоссить пришедшие файлы
    {LightMagenta, "Toss --bad", false},
    {LightGray, "                  \x92\xAE\xE1\xE1\xA8\xE2\xEC \xA7\xA0\xAD\xAE\xA2\xAE \xAE\xE2\xAB\xAE\xA6\xA5\xAD\xAD\xEB\xA5 \xE4\xA0\xA9\xAB\xEB (BadTicDir)", true},  // Тоссить заново отложенные файлы (BadTicDir)
};

constexpr UsagePiece ScanUsage[] = {
    {LightMagenta, "Scan", false},
    {LightGray, "                        \x91\xAA\xA0\xAD\xA8\xE0\xAE\xA2\xA0\xE2\xEC NetMail \xAD\xA0 \xA7\xA0\xAF\xE0\xAE\xE1\xEB \xAA \xAC\xA5\xAD\xA5\xA4\xA6\xA5\xE0\xE3 \xAF\xAE\xA4\xAF\xA8\xE1\xAA\xA8", true},  // Сканировать NetMail на запросы к менеджеру подписки
};

constexpr UsagePiece TossScanUsage[] = {
    {LightMagenta, "TossScan", false},
    {LightGray, "                    Toss & Scan", true},
};

constexpr UsagePiece HatchUsage[] = {
    {LightMagenta, "Hatch <File> <Area> [-N,-C]", false},
    {LightGray, " \x87\xA0\xE5\xA0\xE2\xE7\xA8\xE2\xEC \xE4\xA0\xA9\xAB \xA2 \xE4\xA0\xA9\xAB\xED\xE5\xE3(\xA4\xAE\xAF\xAE\xAB\xAD\xA8\xE2\xA5\xAB\xEC\xAD\xEB\xA5 \xAF\xA0\xE0\xA0\xAC\xA5\xE2\xE0\xEB", true},  // Захатчить файл в файлэху(дополнительные параметры
    {LightGray, "                            \xAD\xA5 \xAE\xA1\xEF\xA7\xA0\xE2\xA5\xAB\xEC\xAD\xEB - \xA7\xA0\xAF\xE3\xE1\xE2\xA8\xE2\xE1\xEF \xA2\xE1\xE2\xE0\xAE\xA5\xAD\xAD\xEB\xA9 commander).", true},  // не обязательны - запустится встроенный commander).
    {LightGray, "                            \x85\xE1\xAB\xA8 \xE3\xAA\xA0\xA7\xA0\xE2\xEC \xAA\xAB\xEE\xE7 -N, \xE2\xAE \xE4\xA0\xA9\xAB \xE5\xA0\xE2\xE7\xA8\xE2\xE1\xEF \xE1\xE0\xA0\xA7\xE3.", true},  // Если указать ключ -N, то файл хатчится сразу.
    {LightGray, "                            \x8A\xAB\xEE\xE7 -C, \xE3\xAA\xA0\xA7\xEB\xA2\xA0\xA5\xE2 \xAD\xA0 \xAD\xA5\xAE\xA1\xE5\xAE\xA4\xA8\xAC\xAE\xE1\xE2\xEC \xAA\xAE\xAF\xA8\xE0\xAE\xA2\xA0\xE2\xEC \xE4\xA0\xA9\xAB", true},  // Ключ -C, указывает на необходимость копировать файл
    {LightGray, "                            \xA2 \xAA\xA0\xE2\xA0\xAB\xAE\xA3 \xE1 \xE4\xA0\xA9\xAB-\xED\xE5\xAE\xA9.", true},  // в каталог с файл-эхой.
    {LightGray, "                            \x92\xA0\xAA \xA6\xA5 \xAC\xAE\xA6\xAD\xAE \xE3\xAA\xA0\xA7\xA0\xE2\xEC \xA8 \xAE\xAF\xA8\xE1\xA0\xAD\xA8\xA5 \xE4\xA0\xA9\xAB\xA0 -D\"\x8E\xAF\xA8\xE1\xA0\xAD\xA8\xA5\"", true},  // Так же можно указать и описание файла -D"Описание"
};

constexpr UsagePiece AutoHatchUsage[] = {
    {LightMagenta, "AutoHatch  [-I]  ", false},
    {LightGray, "           \x80\xA2\xE2\xAE\xAC\xA0\xE2\xA8\xE7\xA5\xE1\xAA\xA8 \xA7\xA0\xE5\xA0\xE2\xE7\xA8\xE2\xEC \xE4\xA0\xA9\xAB\xEB \xA2 \xE4\xA0\xA9\xAB\xED\xE5\xE3.", true},  // Автоматически захатчить файлы в файлэху.
    {LightGray, "                            \x8A\xAB\xEE\xE7 -I \xA2\xEB\xA2\xA5\xE1\xE2\xA8 \xE1\xAF\xA8\xE1\xAE\xAA \xE4\xA0\xA9\xAB\xAE\xA2 \xA1\xA5\xA7 \xE5\xA0\xE2\xE7\xA8\xAD\xA3\xA0.  ", true},  // Ключ -I вывести список файлов без хатчинга.
};

constexpr UsagePiece PurgeUsage[] = {
    {LightMagenta, "Purge", false},
    {LightGray, "                       \x8F\xE3\xE0\xA6\xA8\xE2\xEC passtrough \xE4-\xED\xE5\xA8", true},  // Пуржить passtrough ф-эхи
};

constexpr UsagePiece RelinkUsage[] = {
    {LightMagenta, "Relink <adr>", false},
    {LightGray, "                \x8F\xA5\xE0\xA5\xAF\xAE\xA4\xAF\xA8\xE1\xA0\xE2\xEC\xE1\xEF \xAD\xA0 \xE4-\xED\xE5\xA8 \xE3 \xA0\xE0\xA5\xE1\xA0(\xAE\xA2)", true},  // Переподписаться на ф-эхи у ареса(ов)
};

constexpr UsagePiece AnnUsage[] = {
    {LightMagenta, "ANN:<key> [Groups]", false},
    {LightGray, "          \x80\xAD\xAE\xAD\xE1 \xE4\xA0\xA9\xAB\xAE\xA2. \x83\xA4\xA5 <key>:", true},  // Анонс файлов. Где <key>:
    {Yellow, "                            PRV,CUR,ALL", false},
    {LightGray, " - \xA7\xA0 \xAF\xE0\xA5\xA4\xEB\xA4\xE3\xE9\xA5\xA5/\xE2\xA5\xAA\xE3\xE9\xA5\xA5/\xA2\xE1\xA5 \xE7\xA8\xE1\xAB(\xAE,\xA0)", true},  // - за предыдущее/текущее/все числ(о,а)
    {Yellow, "                            DD-MM-YY", false},
    {LightGray, " - \xA7\xA0 \xA4\xA5\xAD\xEC-\xAC\xA5\xE1\xEF\xE6-\xA3\xAE\xA4", true},  // - за день-месяц-год
};

constexpr UsagePiece CheckUsage[] = {
    {LightMagenta, "Check", false},
    {LightGray, "                       \x8F\xE0\xAE\xA2\xA5\xE0\xA8\xE2\xEC \xE4\xA0\xA9\xAB\xEB \xAD\xA0\xE1\xE2\xE0\xAE\xA9\xAA\xA8", true},  // Проверить файлы настройки
    {LightGray, "                            \xAA\xAE\xA4 0: \xA2\xE1\xF1 \xA2 \xAF\xAE\xE0\xEF\xA4\xAA\xA5, 1: \xAD\xA0\xA9\xA4\xA5\xAD\xEB \xAE\xE8\xA8\xA1\xAA\xA8", true},  // код 0: всё в порядке, 1: найдены ошибки
};

// "check": every problem of the control files, one line each with its file
// and line; exit 0 only when there is none. It reads what a run would load
// but makes, changes and logs nothing and takes no flag, so that it may run
// beside a toss.
[[noreturn]] void RunCheck(const std::string& dir) {
    NodeConfig node;
    node.programDir = dir;
    std::vector<ConfigProblem> problems;
    auto add = [&problems](std::vector<ConfigProblem> more) {
        for (ConfigProblem& problem : more) problems.push_back(std::move(problem));
    };
    const std::string mainFile = dir + "BRENMOOR.CTL";
    if (!FileExists(mainFile)) problems.push_back({"BRENMOOR.CTL", 0, MessageText(Msg::CHECKMISSING)});
    else {
        // What cannot be written is judged as the user a run becomes, so
        // the file is read once for STATEDIR before it is checked.
        MainConfig first;
        CheckMainConfig(mainFile, first);
        if (const std::string refusal = BecomeStateOwner(first); !refusal.empty())
            problems.push_back({"BRENMOOR.CTL", 0, refusal});
        add(CheckMainConfig(mainFile, node.main));
    }
    // An unknown MODE is named on its line already.
    if (FileExists(mainFile) && node.main.mode != OutboundMode::Unknown) {
        if (const std::string problem = OutboundModeProblem(node.main); !problem.empty())
            problems.push_back({"BRENMOOR.CTL", 0, problem});
    }
    // The areas' links are looked up in the links file.
    std::vector<ConfigProblem> linkProblems = CheckLinks(dir + "Links.ctl", node.links);
    add(CheckAreaList(ResolvePath(dir + "areas.ctl"), dir, node.links));
    add(std::move(linkProblems));
    // The robot and the toss rewrite these two by a new file renamed over
    // the old one: the program directory itself must take new files.
    if (!IsWritableDirectory(dir))
        for (const char* file : {"areas.ctl", "Links.ctl"})
            problems.push_back({file, 0, Fill(MessageText(Msg::CHECKCTLNOTWRITABLE), "%d", dir, "%f", file)});
    // The other control files in the order a run reads them, then the robot's lists.
    add(CheckGroups(dir + "Groups.ctl"));
    add(CheckArchivers(dir + "arc.ctl"));
    add(CheckBbsSoft(dir + "bbssoft.ctl"));
    add(CheckColorScheme(dir + "colors.ctl"));
    add(CheckForwardList(ResolvePath(dir + "FORWARD.CTL"), dir));
    add(CheckNotAllowedList(ResolvePath(dir + "NOTALLOW.CTL")));
    WriteLine("");
    for (const ConfigProblem& problem : problems) {
        SetTextColor(LightRed);
        WriteLine(problem.file + (problem.line > 0 ? ":" + std::to_string(problem.line) : std::string()) + ": " +
                  problem.text);
    }
    SetTextColor(problems.empty() ? LightGreen : LightRed);
    WriteLine(problems.empty() ? MessageText(Msg::CHECKCLEAN)
                               : Fill(MessageText(Msg::CHECKFOUND), "%n", NumberText(static_cast<long long>(problems.size()))));
    ExitProgram(problems.empty() ? 0 : 1);
}

// Everything the driver sets up for the rest of the run.
struct RunState {
    int screenColumns = 80;
    int screenRows = 25;
    std::string programDir;
    CommandLine commandLine;
    NodeConfig node;          // the control files, read once
    RunContext context;       // what the run learns and holds meanwhile
    bool workLeftUndone = false;  // a failure or a stop left work for a later run
};

void Scan(RunState& state) {
    CatchStopRequests();
    const NodeConfig& node = state.node;
    RunContext& run = state.context;
    const FileResender resend = [&node, &run](const AreaRecord& area, const std::string& path,
                                              const LinkRecord& link, const std::string& journalPath) {
        return ResendFile(node, run.serials, run.toss.busy, area, path, link, journalPath);
    };
    if (int error = RunScan(node, run.areas, run.serials, resend)) RuntimeError(error);
    if (StopRequested()) state.workLeftUndone = true;
}

void PrintUsage();

// "toss --bad" tosses the TICs of BADTICDIR again; any other word after
// the command is a typo that must not pass for a toss.
void Toss(RunState& state) {
    const std::string& option = CommandArgument(state.commandLine, 2);
    const bool bad = state.commandLine.commandWord == "TOSS" && UpperCase(option) == "--BAD";
    if (!option.empty() && !bad) {
        PrintUsage();
        ExitProgram(1);
    }
    CatchStopRequests();
    RunContext& run = state.context;
    const TossState toss = RunToss(state.node, run.areas, run.serials, run.toss, state.screenRows,
                                   bad ? TossSource::BadTicDir : TossSource::Inbound);
    SetCursorVisible(true);
    if (toss.WorkLeftUndone) state.workLeftUndone = true;
    // The requests are scanned also after a failed toss, not after a stop.
    if (state.commandLine.commandWord == "TOSSSCAN" && !StopRequested()) Scan(state);
}

constexpr int InternalErrorCode = 70;  // a fault of the program (EX_SOFTWARE)
constexpr int TryAgainLaterCode = 75;  // work left for a later run (EX_TEMPFAIL)

// A hatch that asks: without -N, or without a file or an area.
bool UsesCommander(const CommandLine& line) {
    return line.commandWord == "HATCH" &&
           (!line.immediateHatch || CommandArgument(line, 2).empty() || CommandArgument(line, 3).empty());
}

void Hatch(RunState& state) {
    const NodeConfig& node = state.node;
    const CommandLine& line = state.commandLine;
    HatchRequest request;
    // The file as it is named on disk, also when typed in another letter case.
    request.filePath = CommandArgument(line, 2).empty() ? std::string() : ResolvePath(CommandArgument(line, 2));
    request.areaTag = CommandArgument(line, 3);
    request.copyToArea = line.copyToArea;
    // Hatched at once, a file replaces its namesakes when REPLACES is on.
    if (node.main.replaces) request.replaces = ReplacesOf(ExtractFileNameAsIs(request.filePath));
    // Typed in a UTF-8 terminal, the description is stored in code page 866
    // like every other text of the node; file and area stay bytes.
    request.description = Console().utf8 ? Utf8ToCp866(line.hatchDescription) : line.hatchDescription;
    if (!request.filePath.empty() && !IsRegularFile(request.filePath))
        FailProgram(5, SubstituteMacros(MessageText(Msg::FILENOTFOUND), "%f", request.filePath));
    if (const std::string refusal = HatchRefusal(node.main, request.filePath); !refusal.empty())
        FailProgram(1, refusal);
    // Quiet, the console counts as no terminal: the commander is refused.
    const bool commander = UsesCommander(line);
    if (commander && !(Console().terminal && InputIsTerminal())) FailProgram(1, MessageText(Msg::HATCHNOTERMINAL));
    // Checked before anything is copied: a TIC for an area that is not
    // there would reach no link.
    if (!request.areaTag.empty() &&
        ReadArea(state.context.areas, ResolvePath(node.programDir + "areas.ctl"), request.areaTag).Name.empty())
        FailProgram(1, SubstituteMacros(MessageText(Msg::HATCHUNKNOWNAREA), "%a", request.areaTag));
    if (commander) {
        RunContext& run = state.context;
        RunCommander(node, {run.frame, run.areas, run.serials, run.toss.busy},
                     {request.filePath, request.areaTag, request.description, request.copyToArea});
        return;
    }
    CatchStopRequests();  // the hatch, once begun, is finished
    SetTextColor(LightGray);
    WriteLine(SubstituteMacros(MessageText(Msg::HATCHFILE), "%f", "%a", ExtractFileNameAsIs(request.filePath),
                               UpperCase(request.areaTag)));
    HatchFile(node, state.context.areas, state.context.serials, state.context.toss.busy, request);
}

void AutoHatchCommand(RunState& state) {
    SetTextColor(LightGray);
    const bool listOnly = UpperCase(CommandArgument(state.commandLine, 2)) == "-I";
    if (listOnly) WriteLine(MessageText(Msg::FILESFORHATCH));
    CatchStopRequests();
    AutoHatch(state.node, state.context.serials, state.context.toss.busy, listOnly);
    if (StopRequested()) state.workLeftUndone = true;
}

void PurgeCommand(RunState& state) {
    SetTextColor(Yellow);
    WriteText(MessageText(Msg::PURGE));
    Purge(state.node);
    WriteLine(MessageText(Msg::OK));
}

void Announce(RunState& state) {
    const NodeConfig& node = state.node;
    // Each description list is read and indexed once for the whole
    // announcement: a record finds its entry without a scan of the list.
    std::map<std::string, DescriptionIndex> lists;
    const DescriptionLayout layout = ListLayout(node.main);
    const DescriptionReader readDescription = [&layout, &lists](const std::string& descFile,
                                                                std::string_view fileName) {
        auto [at, fresh] = lists.try_emplace(descFile);
        if (fresh && !ReadDescriptionIndex(descFile, layout, at->second)) ClearErrorNumber();
        return FindDescription(at->second, fileName, layout);
    };
    ExitProgram(RunAnnouncement(node, state.commandLine.commandWord, CommandArgument(state.commandLine, 2),
                                readDescription));
}

void Relink(RunState& state) {
    const NodeConfig& node = state.node;
    const std::string& mask = CommandArgument(state.commandLine, 2);
    std::vector<ForwardRecord> forwards;
    if (mask.empty()) {
        SetTextColor(Cyan);
        WriteText(MessageText(Msg::READINGFORWARDCTL));
        forwards = ReadForwardList(ResolvePath(node.programDir + "FORWARD.CTL"), node.programDir,
                                   node.main.remoteProgram);
        WriteLine(MessageText(Msg::OK));
    }
    SetTextColor(Yellow);
    WriteText(MessageText(Msg::RELINK));
    if (int error = Relink(state.context.serials, forwards, node.links, node.programDir + "areas.ctl", mask, node.main))
        RuntimeError(error);
    WriteLine(MessageText(Msg::OK));
}

void Check(RunState& state) { RunCheck(state.programDir); }

// A row of the command table: the word (a prefix for "ANN:"), what runs it,
// whether it runs on the loaded control files, whether it changes files and so holds the busy flag, whether it sends
// files to links and so needs a MODE it can deliver with, and its lines of
// the usage text.
struct Command {
    std::string_view word;
    bool prefix;
    void (*handler)(RunState&);
    bool loadsNode;  // check reads the control files its own way
    bool changesFiles;
    bool sendsFiles;
    std::span<const UsagePiece> usage;
};

const Command Commands[] = {
    {"TOSS", false, Toss, true, true, true, TossUsage},
    {"SCAN", false, Scan, true, true, true, ScanUsage},
    {"TOSSSCAN", false, Toss, true, true, true, TossScanUsage},
    {"HATCH", false, Hatch, true, true, true, HatchUsage},
    {"AUTOHATCH", false, AutoHatchCommand, true, true, true, AutoHatchUsage},
    {"PURGE", false, PurgeCommand, true, true, false, PurgeUsage},
    {"RELINK", false, Relink, true, true, false, RelinkUsage},
    {"ANN:", true, Announce, true, false, false, AnnUsage},
    {"CHECK", false, Check, false, false, false, CheckUsage},
};


void PrintPieces(std::span<const UsagePiece> pieces) {
    for (const UsagePiece& piece : pieces) {
        SetTextColor(piece.colour);
        if (piece.endsLine)
            WriteLine(piece.text);
        else
            WriteText(piece.text);
    }
}

void PrintUsage() {
    WriteLine("");
    PrintPieces(UsageHead);
    for (const Command& command : Commands) PrintPieces(command.usage);
}

const Command* FindCommand(const std::string& word) {
    for (const Command& command : Commands)
        if (command.prefix ? word.starts_with(command.word) : word == command.word) return &command;
    return nullptr;
}

// Start-up up to the dispatch; ends through the exit routine.
void Run(RunState& state, int argc, char** argv) {
    // File names need no code page switch here: the file system takes the
    // CP866 bytes of the control files unchanged.
    SeedRandom();
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    state.commandLine = ParseCommandLine(std::move(args));
    const std::vector<std::string>& arguments = state.commandLine.arguments;
    // Asked for, the version and the usage are shown also with -q.
    const bool shows = !arguments.empty() && (arguments[0] == "--version" || arguments[0] == "--help");
    InitConsole(state.commandLine.quiet && !shows);
    GetScreenSize(state.screenColumns, state.screenRows);
    state.programDir = ProgramDirectory();

    SetTextColor(White);
    WriteLine("Brenmoor version " + std::string(VersionNumber) + "." + std::string(PlatformWord));

    // Neither needs a control or a language file.
    if (!arguments.empty() && arguments[0] == "--version") ExitProgram(0);
    if (!arguments.empty() && arguments[0] == "--help") {
        PrintUsage();
        ExitProgram(0);
    }

    // An installed binary finds the language files among its shared files.
    if (!LoadCatalogue(state.programDir + "brenmoor.lng") &&
        !LoadCatalogue(InstalledDataDirectory() + "brenmoor.lng")) {
        // The catalogue cannot supply this one message.
        FailProgram(2, "Language file not found.");
    }
    SetTextColor(Cyan);

    if (arguments.empty()) {
        WriteErrorLine(MessageText(Msg::NEEDCMD));
        PrintUsage();
        ExitProgram(0);
    }
    const std::string& word = state.commandLine.commandWord;
    // A word that is no command, as a typo in a cron line, must not pass for
    // a run that did its work.
    const Command* command = FindCommand(word);
    if (command == nullptr) {
        PrintUsage();
        ExitProgram(1);
    }

    if (!command->loadsNode) {
        command->handler(state);
        ExitProgram(0);
    }
    state.node.programDir = state.programDir;
    LoadNodeConfig(state.node);
    // A MODE files cannot go out with would have every link logged as
    // served while nothing reaches the mailer.
    if (command->sendsFiles) {
        if (const std::string problem = OutboundModeProblem(state.node.main); !problem.empty())
            FailProgram(2, problem);
    }
    state.context.serials.file = state.node.main.stateDir + std::string(MsgIdFileName);
    // The commander opens also while a toss runs: it takes the flag only
    // for the hatch.
    if (!UsesCommander(state.commandLine)) CheckBusyFlag(state.context.frame, state.node.main);
    StartLogRun(state.node.main.logName);
    ClearErrorNumber();

    // Commands that change files hold the flag, so that no two of them
    // rewrite areas.ctl or a flow file at once. Flow lines an earlier run
    // could not deliver to a busy link go first. The commander takes it
    // for each hatch only: a sysop browsing the panels must not stop the
    // mailer's tosses.
    if (command->changesFiles && !UsesCommander(state.commandLine)) {
        AcquireBusyFlag(state.context.frame, state.node.main);
        SweepLeftovers(state.node);
        FlushFlowRetries(state.context.toss.busy, state.node.main);
    }
    command->handler(state);
    ExitProgram(state.workLeftUndone ? TryAgainLaterCode : 0);
}

}  // namespace

int RunBrenmoor(int argc, char** argv) {
    int code = 0;
    RunState state;
    const FrameRunScope frame(state.context.frame);
    // Whatever ends the program, the terminal is given back.
    std::set_terminate([] {
        RestoreTerminal();
        std::abort();
    });
    try {
        try {
            Run(state, argc, argv);
        } catch (const std::bad_alloc&) {
            FailProgram(10, MessageText(Msg::NOTENOUGHMEMORY));
        } catch (const std::exception& error) {
            FailProgram(InternalErrorCode, std::string("Internal error: ") + error.what());
        }
    } catch (const ProgramExit& end) {
        code = end.code;
        try {
            if (!end.failure.empty()) LogFatal(end.failure);
        } catch (const std::bad_alloc&) {
        }
    } catch (const std::bad_alloc&) {
        // Memory ran out again while reporting it.
        code = 10;
    }
    ReleaseBusyFlag(state.context.frame);
    RestoreTerminal();
    return code;
}
