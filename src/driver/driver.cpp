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

// The usage text comes from the language file: a key for each thing typed
// and one for each line of help. Help stands in a column of its own; a
// language that needs fewer lines leaves the rest of its keys empty.
constexpr int UsageHelpColumn = 28;
constexpr Msg NoForm = Msg::Count;

struct UsageLine {
    enum Kind {
        Command,   // a command word and its arguments, then its help
        More,      // one more line of help
        Argument,  // a value of an argument, under the help, then what it means
        Option,    // an option, then its help
    } kind;
    Msg form;  // what is typed
    Msg text;  // the help
};

constexpr UsageLine TossUsage[] = {
    {UsageLine::Command, Msg::USAGETOSS, Msg::USAGETOSS1},
    {UsageLine::Command, Msg::USAGETOSSBAD, Msg::USAGETOSSBAD1},
};
constexpr UsageLine ScanUsage[] = {{UsageLine::Command, Msg::USAGESCAN, Msg::USAGESCAN1}};
constexpr UsageLine TossScanUsage[] = {{UsageLine::Command, Msg::USAGETOSSSCAN, Msg::USAGETOSSSCAN1}};
constexpr UsageLine HatchUsage[] = {
    {UsageLine::Command, Msg::USAGEHATCH, Msg::USAGEHATCH1}, {UsageLine::More, NoForm, Msg::USAGEHATCH2},
    {UsageLine::More, NoForm, Msg::USAGEHATCH3},             {UsageLine::More, NoForm, Msg::USAGEHATCH4},
    {UsageLine::More, NoForm, Msg::USAGEHATCH5},             {UsageLine::More, NoForm, Msg::USAGEHATCH6},
};
constexpr UsageLine AutoHatchUsage[] = {
    {UsageLine::Command, Msg::USAGEAUTOHATCH, Msg::USAGEAUTOHATCH1},
    {UsageLine::More, NoForm, Msg::USAGEAUTOHATCH2},
};
constexpr UsageLine PurgeUsage[] = {{UsageLine::Command, Msg::USAGEPURGE, Msg::USAGEPURGE1}};
constexpr UsageLine RelinkUsage[] = {{UsageLine::Command, Msg::USAGERELINK, Msg::USAGERELINK1}};
constexpr UsageLine AnnUsage[] = {
    {UsageLine::Command, Msg::USAGEANN, Msg::USAGEANN1},
    {UsageLine::Argument, Msg::USAGEANNKEYS, Msg::USAGEANNKEYS1},
    {UsageLine::Argument, Msg::USAGEANNDATE, Msg::USAGEANNDATE1},
};
constexpr UsageLine CheckUsage[] = {
    {UsageLine::Command, Msg::USAGECHECK, Msg::USAGECHECK1},
    {UsageLine::More, NoForm, Msg::USAGECHECK2},
};
constexpr UsageLine OptionUsage[] = {
    {UsageLine::Option, Msg::USAGEQUIET, Msg::USAGEQUIET1},
    {UsageLine::Option, Msg::USAGEHELP, Msg::USAGEHELP1},
    {UsageLine::Option, Msg::USAGEVERSION, Msg::USAGEVERSION1},
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
    // the old one: the program directory must take new files, and in a
    // sticky one the two must be the running user's.
    for (const char* file : {"areas.ctl", "Links.ctl"})
        if (!CanReplaceFile(dir + file))
            problems.push_back({file, 0, Fill(MessageText(Msg::CHECKCTLNOTWRITABLE), "%d", dir)});
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
    // A typed "-D" without its text would hatch with the default
    // description: refused before anything is looked at.
    if (line.descriptionMissing) FailProgram(1, MessageText(Msg::HATCHNODESCRIPTION));
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
    // A file is new when its description list has no entry for it: without
    // a list every file of every echo would be sent again on every run.
    if (state.node.main.descFile.empty()) FailProgram(2, MessageText(Msg::AUTOHATCHNODESCFILE));
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
    bool noLink = false;
    if (int error = Relink(state.context.serials, forwards, node.links, node.programDir + "areas.ctl", mask, node.main,
                           noLink))
        RuntimeError(error);
    if (noLink) {
        // A mistyped address must not pass for a relink done.
        const std::string text = Fill(MessageText(Msg::RELINKNOLINK), "%a", PrintableText(mask));
        WriteLine(MessageText(Msg::ERROR));
        WriteErrorLine(text);
        WriteLog(node.main.logName, text);
        ExitProgram(1);
    }
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
    std::span<const UsageLine> usage;
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


void PrintUsageLine(const UsageLine& line) {
    const std::string& form = MessageText(line.form);  // none for NoForm
    const std::string& text = MessageText(line.text);
    if (form.empty() && text.empty()) return;
    const std::string indent(UsageHelpColumn, ' ');
    switch (line.kind) {
    case UsageLine::Command:
    case UsageLine::Option:
        SetTextColor(line.kind == UsageLine::Command ? LightMagenta : Yellow);
        if (text.empty()) {
            WriteLine(form);
            return;
        }
        WriteText(form);
        // A long form gets its help on the next line.
        if (form.size() < indent.size()) {
            WriteText(indent.substr(form.size()));
        } else {
            WriteLine("");
            WriteText(indent);
        }
        break;
    case UsageLine::More:
        SetTextColor(LightGray);
        WriteText(indent);
        break;
    case UsageLine::Argument:
        SetTextColor(Yellow);
        WriteText(indent + form);
        if (!text.empty()) WriteText(" ");
        break;
    }
    SetTextColor(LightGray);
    WriteLine(text);
}

// Without a language file, or with one that has no usage text: the command
// words of the table, so that --help still helps.
void PrintBuiltInUsage() {
    SetTextColor(LightGreen);
    WriteText("brenmoor ");
    SetTextColor(LightMagenta);
    WriteLine("[-q] <command> [arguments]");
    std::string words;
    for (const Command& command : Commands)
        words += " " + LowerCase(std::string(command.word)) + (command.prefix ? "<key>" : "");
    SetTextColor(LightGray);
    WriteLine("Commands:" + words);
    WriteLine("Options: -q, --quiet  --help  --version");
    WriteLine("The usage text is in the language file (brenmoor.lng) and in brenmoor(1).");
}

void PrintUsage() {
    WriteLine("");
    if (MessageText(Msg::USAGE).empty()) {
        PrintBuiltInUsage();
        return;
    }
    SetTextColor(LightGreen);
    WriteText("brenmoor ");
    SetTextColor(LightMagenta);
    WriteLine(MessageText(Msg::USAGE));
    SetTextColor(LightCyan);
    WriteLine(MessageText(Msg::USAGECOMMANDS));
    for (const Command& command : Commands)
        for (const UsageLine& line : command.usage) PrintUsageLine(line);
    if (!MessageText(Msg::USAGEOPTIONS).empty()) {
        SetTextColor(LightCyan);
        WriteLine(MessageText(Msg::USAGEOPTIONS));
    }
    for (const UsageLine& line : OptionUsage) PrintUsageLine(line);
}

// The language file of the node, else the one installed with the program.
bool LoadLanguageFile(const std::string& programDir) {
    return LoadCatalogue(programDir + "brenmoor.lng") || LoadCatalogue(InstalledDataDirectory() + "brenmoor.lng");
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

    // Neither needs a control file; the help is in the node's language,
    // and a short one is built in for a node without a language file.
    if (!arguments.empty() && arguments[0] == "--version") ExitProgram(0);
    if (!arguments.empty() && arguments[0] == "--help") {
        LoadLanguageFile(state.programDir);
        PrintUsage();
        ExitProgram(0);
    }

    if (!LoadLanguageFile(state.programDir)) {
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
