#include "driver/startup.h"

#include <cerrno>
#include <new>

#include "frame/busyflag.h"
#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/exit.h"
#include "frame/log.h"
#include "frame/platform.h"
#include "frame/utils.h"

namespace {

void PrintOk() { WriteLine(MessageText(Msg::OK)); }

// A list file that gave nothing: "ERROR", the reason in the log, the code.
[[noreturn]] void EmptyList(const MainConfig& main, Msg logMessage, int code) {
    WriteLine(MessageText(Msg::ERROR));
    WriteLog(main.logName, MessageText(logMessage));
    ExitProgram(code);
}

void LoadEverything(NodeConfig& config) {
    const std::string& dir = config.programDir;

    WriteText(MessageText(Msg::READINGBRENMOORCTL));
    if (!FileExists(dir + "BRENMOOR.CTL")) {
        WriteLine(MessageText(Msg::ERROR));
        ExitProgram(3);
    }
    LoadMainConfig(dir + "BRENMOOR.CTL", config.main);
    // Without a setting, work files and the busy flag stay with the node's
    // state: cron and the mailer start the program from other directories.
    if (config.main.semaphores.empty()) config.main.semaphores = config.main.stateDir;
    if (const std::string refusal = BecomeStateOwner(config.main); !refusal.empty()) {
        WriteLine(MessageText(Msg::ERROR));
        SetTextColor(LightRed);
        WriteLine(refusal);
        ExitProgram(2);
    }
    PrepareMainPaths(config.main);
    if (config.main.tempDir.empty()) {
        config.main.tempDir = config.main.stateDir + "tmp/";
        if (!ForceDirectories(config.main.tempDir)) {
            WriteLine(MessageText(Msg::ERROR));
            SetTextColor(LightRed);
            WriteLine(SubstituteMacros(MessageText(Msg::CANTCREATEDIR), "%d", config.main.tempDir));
            ExitProgram(2);
        }
    }
    PrintOk();

    WriteText(MessageText(Msg::READINGLINKSCTL));
    LoadLinks(dir + "Links.ctl", config.links);
    if (config.links.empty()) EmptyList(config.main, Msg::LOGERRORINLINKSCTL, 3);
    PrintOk();

    WriteText(MessageText(Msg::READINGGROUPSCTL));
    ReadGroups(dir + "Groups.ctl", config.groups);
    if (config.groups.empty()) EmptyList(config.main, Msg::LOGERRORINGROUPSCTL, 4);
    PrintOk();

    WriteText(MessageText(Msg::READINGARCCTL));
    config.archivers = ReadArchivers(dir + "arc.ctl");
    if (config.archivers.empty()) EmptyList(config.main, Msg::LOGERRORINARCCTL, 4);
    PrintOk();

    WriteText(MessageText(Msg::READINGBBSSOFTCTL));
    ReadBbsSoft(dir + "bbssoft.ctl", config.bbs);
    PrintOk();

    WriteText(MessageText(Msg::READINGCOLORSCTL));
    if (!FileExists(dir + "colors.ctl")) {
        WriteLine(MessageText(Msg::ERROR));
        ExitProgram(3);
    }
    ReadColorScheme(dir + "colors.ctl", config.colors);
    PrintOk();
}

}  // namespace

void LoadNodeConfig(NodeConfig& config) {
    if (config.programDir.empty()) config.programDir = ProgramDirectory();
    try {
        LoadEverything(config);
    } catch (const std::bad_alloc&) {
        WriteLine(MessageText(Msg::NOTENOUGHMEMORY));
        ExitProgram(10);
    }
}

std::string BecomeStateOwner(const MainConfig& config) {
    unsigned user = 0, group = 0;
    if (!RunningAsRoot() || !GetPathOwner(config.stateDir, user, group) || user == 0) return {};
    if (const int error = BecomeUser(user, group))
        return Fill(Fill(MessageText(Msg::CANTBECOMEUSER), "%d", config.stateDir, "%u", UserName(user)), "%e",
                    ErrorText(error));
    return {};
}

std::string BusyFlagPath(const MainConfig& config) { return BusyFlagPath(config.semaphores); }

namespace {

[[noreturn]] void OtherCopyRuns() {
    SetTextColor(LightRed);
    WriteLine(MessageText(Msg::DETECTBUSYFLAG));
    WriteLine(MessageText(Msg::RUNINGOTHERCOPY));
    ExitProgram(8);
}

}  // namespace

void CheckBusyFlag(const FrameRunState& run, const MainConfig& config) {
    const std::string flag = ExistingBusyFlag(BusyFlagPath(config));
    if (!flag.empty() && !ClearStaleBusyFlag(run, flag, config.logName)) OtherCopyRuns();
}

void AcquireBusyFlag(FrameRunState& run, const MainConfig& config) {
    int error = TakeBusyFlag(run, BusyFlagPath(config), config.logName);
    if (error == EEXIST) OtherCopyRuns();
    if (error != 0) RuntimeError(error);
}
