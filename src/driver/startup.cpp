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

// "ERROR: path: reason" ends the "Reading ..." line; the log, once its
// name is known, has it too (or logText).
[[noreturn]] void FailReading(const std::string& logName, int code, const std::string& path,
                              const std::string& reason, const std::string& logText = std::string()) {
    const std::string text = MessageText(Msg::ERROR) + ": " + path + ": " + reason;
    WriteErrorLine(text);
    WriteLog(logName, logText.empty() ? text : logText);
    ExitProgram(code);
}

// A control file that could not be read: which one and why, then the code.
// Without a code of its own, the error number is the exit code, as for any
// failed read.
[[noreturn]] void Unreadable(const NodeConfig& config, const std::string& path, int error, int code = 0) {
    FailReading(config.main.logName, code != 0 ? code : error, path, ErrorReason(error));
}

// A list file that gave nothing: what it lacks.
[[noreturn]] void EmptyList(const MainConfig& main, const std::string& path, Msg lack, Msg logMessage, int code) {
    FailReading(main.logName, code, path, MessageText(lack), MessageText(logMessage));
}

void LoadEverything(NodeConfig& config) {
    const std::string& dir = config.programDir;

    WriteText(MessageText(Msg::READINGBRENMOORCTL));
    const std::string mainFile = dir + "BRENMOOR.CTL";
    if (!FileExists(mainFile)) Unreadable(config, mainFile, ENOENT, 3);
    if (int error = LoadMainConfig(mainFile, config.main)) Unreadable(config, mainFile, error);
    KeepChangesDurable(config.main.durability == Durability::Full);
    // Without a setting, work files and the busy flag stay with the node's
    // state: cron and the mailer start the program from other directories.
    if (config.main.semaphores.empty()) config.main.semaphores = config.main.stateDir;
    if (const std::string refusal = BecomeStateOwner(config.main); !refusal.empty())
        FailProgram(2, MessageText(Msg::ERROR) + ": " + refusal);
    PrepareMainPaths(config.main);
    if (config.main.tempDir.empty()) {
        config.main.tempDir = config.main.stateDir + "tmp/";
        if (!ForceDirectories(config.main.tempDir))
            FailProgram(2, MessageText(Msg::ERROR) + ": " +
                               SubstituteMacros(MessageText(Msg::CANTCREATEDIR), "%d", config.main.tempDir));
    }
    PrintOk();

    WriteText(MessageText(Msg::READINGLINKSCTL));
    const std::string linksFile = dir + "Links.ctl";
    if (int error = LoadLinks(linksFile, config.links)) Unreadable(config, linksFile, error, 3);
    if (config.links.empty()) EmptyList(config.main, linksFile, Msg::NOLINKDEFINED, Msg::LOGERRORINLINKSCTL, 3);
    PrintOk();

    WriteText(MessageText(Msg::READINGGROUPSCTL));
    const std::string groupsFile = dir + "Groups.ctl";
    if (int error = ReadGroups(groupsFile, config.groups)) Unreadable(config, groupsFile, error, 4);
    if (config.groups.empty()) EmptyList(config.main, groupsFile, Msg::NOGROUPDEFINED, Msg::LOGERRORINGROUPSCTL, 4);
    PrintOk();

    WriteText(MessageText(Msg::READINGARCCTL));
    const std::string arcFile = dir + "arc.ctl";
    if (int error = ReadArchivers(arcFile, config.archivers)) Unreadable(config, arcFile, error, 4);
    if (config.archivers.empty()) EmptyList(config.main, arcFile, Msg::NOARCHIVERDEFINED, Msg::LOGERRORINARCCTL, 4);
    PrintOk();

    WriteText(MessageText(Msg::READINGBBSSOFTCTL));
    const std::string bbsFile = dir + "bbssoft.ctl";
    if (int error = ReadBbsSoft(bbsFile, config.bbs)) Unreadable(config, bbsFile, error, 2);
    PrintOk();

    WriteText(MessageText(Msg::READINGCOLORSCTL));
    const std::string colorsFile = dir + "colors.ctl";
    if (!FileExists(colorsFile)) Unreadable(config, colorsFile, ENOENT, 3);
    if (int error = ReadColorScheme(colorsFile, config.colors)) Unreadable(config, colorsFile, error);
    PrintOk();
}

}  // namespace

void LoadNodeConfig(NodeConfig& config) {
    if (config.programDir.empty()) config.programDir = ProgramDirectory();
    try {
        LoadEverything(config);
    } catch (const std::bad_alloc&) {
        FailProgram(10, MessageText(Msg::NOTENOUGHMEMORY));
    }
}

std::string BecomeStateOwner(const MainConfig& config) {
    if (!RunningAsRoot()) return {};
    // A STATEDIR not made yet belongs to whoever owns the directory it will
    // be made in.
    unsigned user = 0, group = 0;
    std::string dir = NearestExistingPath(config.stateDir);
    AddTrailingSlash(dir);
    if (!GetPathOwner(dir, user, group) || user == 0) return {};
    if (const int error = BecomeUser(user, group))
        return Fill(Fill(MessageText(Msg::CANTBECOMEUSER), "%d", dir, "%u", UserName(user)), "%e",
                    ErrorText(error));
    return {};
}

std::string BusyFlagPath(const MainConfig& config) { return BusyFlagPath(config.semaphores); }

namespace {

[[noreturn]] void OtherCopyRuns() {
    WriteErrorLine(MessageText(Msg::DETECTBUSYFLAG));
    WriteErrorLine(MessageText(Msg::RUNINGOTHERCOPY));
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
