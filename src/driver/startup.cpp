#include "driver/startup.h"

#include <cerrno>
#include <new>

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
    // Without a setting, work files and the busy flag stay with the node:
    // cron and the mailer start the program from other directories.
    if (config.main.semaphores.empty()) config.main.semaphores = dir;
    if (config.main.tempDir.empty()) {
        config.main.tempDir = dir + "tmp/";
        if (!ForceDirectories(config.main.tempDir)) {
            WriteLine(MessageText(Msg::ERROR));
            SetTextColor(12);
            WriteLine(SubstituteMacros(MessageText(Msg::CANTCREATEDIR), "%d", config.main.tempDir));
            ExitProgram(2);
        }
    }
    if (config.main.mode == "BINK" && config.main.binkStyleOutbound.empty()) {
        WriteLine(MessageText(Msg::ERROR));
        SetTextColor(12);
        WriteLine(MessageText(Msg::BSONOTDEFINED));
        ExitProgram(2);
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

std::string BusyFlagPath(const MainConfig& config) { return config.semaphores + "BRENMOOR.BSY"; }

namespace {

std::string OwnedFlag;  // the flag this run created, removed when it ends

[[noreturn]] void OtherCopyRuns() {
    SetTextColor(12);
    WriteLine(MessageText(Msg::DETECTBUSYFLAG));
    WriteLine(MessageText(Msg::RUNINGOTHERCOPY));
    ExitProgram(8);
}

// A flag is stale when the process it names is gone, or when it names none
// and is older than a minute (a run killed between creating and filling it).
bool IsStale(const std::string& flag) {
    std::string content;
    if (!ReadWholeFile(flag, content)) return false;
    std::string text = content.substr(0, content.find_first_of("\r\n"));
    Trim(text);
    if (!text.empty()) {
        long long pid = ParseNumber(text);
        return pid > 0 && pid <= 0x7FFFFFFF && !ProcessExists(static_cast<int>(pid));
    }
    std::int64_t age = 0;
    return GetFileAge(flag, age) && age > 60;
}

// The flag as it stands in the directory, in any letter case; empty when none.
std::string ExistingFlag(const MainConfig& config) {
    const std::string flag = ResolvePath(BusyFlagPath(config));
    return FileExists(flag) ? flag : std::string();
}

// Removes a stale flag with a log line; false while another run holds it.
// The flag is first taken under a name of this run's own and judged again
// there: two runs that both found it stale must not delete the flag the
// faster one has created meanwhile.
bool ClearStaleFlag(const MainConfig& config, const std::string& flag) {
    if (!IsStale(flag)) return false;
    const std::string taken = flag + "." + NumberText(CurrentProcessId()) + ".stale";
    if (RenameFile(flag, taken) != 0) return true;  // another run took it away first
    if (IsStale(taken)) {
        WriteLog(config.logName, "Stale busy flag " + flag + " removed");
        DeleteFile(taken);
        return true;
    }
    // A live flag: give it back, unless yet another one stands there now.
    if (RenameNoReplace(taken, flag) != 0) DeleteFile(taken);
    return false;
}

}  // namespace

void CheckBusyFlag(const MainConfig& config) {
    const std::string flag = ExistingFlag(config);
    if (!flag.empty() && !ClearStaleFlag(config, flag)) OtherCopyRuns();
}

void AcquireBusyFlag(const MainConfig& config) {
    const std::string flag = BusyFlagPath(config);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::string existing = ExistingFlag(config);
        if (!existing.empty() && !ClearStaleFlag(config, existing)) OtherCopyRuns();
        // Created exclusively: of two runs started together only one wins.
        int error = CreateNewFile(flag, NumberText(CurrentProcessId()) + "\n");
        if (error == 0) {
            OwnedFlag = flag;
            return;
        }
        if (error != EEXIST) RuntimeError(error);
    }
    OtherCopyRuns();
}

void ReleaseBusyFlag() {
    if (OwnedFlag.empty()) return;
    DeleteFile(OwnedFlag);
    OwnedFlag.clear();
}
