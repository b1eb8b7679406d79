#include "frame/busyflag.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <vector>

#include "frame/log.h"
#include "frame/platform.h"
#include "frame/utils.h"

namespace {

constexpr std::int64_t EmptyFlagSeconds = 60;  // an empty flag older than this was left by a killed run
constexpr std::time_t StartSlackSeconds = 2;   // the boot time of /proc is whole seconds
constexpr unsigned BusyPollMilliseconds = 100;

bool NamedLikeThisProgram(const std::string& name) {
    return name.size() >= 8 && EqualNoCase(std::string_view(name).substr(0, 8), "brenmoor");
}

}  // namespace

StaleLock RemoveStaleLock(const std::string& lock, const std::function<bool(const std::string&)>& isStale) {
    if (!isStale(lock)) return StaleLock::Live;
    std::string taken;
    if (ReserveTemporaryName(lock, taken) != 0) return StaleLock::Live;
    if (RenameFile(lock, taken) != 0) {
        DeleteOwnFile(taken);
        return StaleLock::Gone;
    }
    if (isStale(taken)) {
        DeleteOwnFile(taken);
        return StaleLock::Removed;
    }
    // A live lock: given back, unless a new one stands there now.
    int error = RenameNoReplace(taken, lock);
    if (error != 0 && error != EEXIST && !FileExists(lock)) error = RenameFile(taken, lock);
    if (error != 0) DeleteOwnFile(taken);
    return StaleLock::Live;
}

int LockProcessId(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return 0;
    const std::string number(text.substr(first, text.find_last_not_of(" \t\r\n") + 1 - first));
    if (number.size() > 10 || number.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const long long pid = ParseNumber(number);
    return pid > 0 && pid <= 0x7FFFFFFF ? static_cast<int>(pid) : 0;
}

std::string BusyFlagPath(const std::string& semaphoresDir) { return semaphoresDir + "BRENMOOR.BSY"; }

namespace {

// The flag's lines: the process ID, then when that process started (clock
// ticks after boot), which tells a process that got the ID anew without
// the wall clock, which may jump while a run holds the flag.
std::string FlagContent() {
    static const std::uint64_t started = ReadProcessInfo(CurrentProcessId()).startTicks;
    return NumberText(CurrentProcessId()) + "\n" + std::to_string(started) + "\n";
}

}  // namespace

bool IsStaleBusyFlag(const FrameRunState& run, const std::string& flag) {
    std::string content;
    std::time_t written = 0;
    if (!ReadWholeFile(flag, content) || !GetFileTime(flag, written)) return false;
    std::vector<std::string> lines = SplitLines(content);
    std::string text = lines.empty() ? std::string() : lines[0];
    Trim(text);
    std::string startText = lines.size() > 1 ? lines[1] : std::string();
    Trim(startText);
    if (text.empty()) {
        // Only a run that could not link its flag makes it empty first.
        std::int64_t age = 0;
        return GetFileAge(flag, age) && age > EmptyFlagSeconds;
    }
    const int pid = LockProcessId(text);
    if (pid == 0) return false;
    if (pid == CurrentProcessId()) return flag != run.busyFlag;  // an earlier life of this ID
    const ProcessInfo process = ReadProcessInfo(pid);
    if (!process.exists) return true;
    if (!process.readable) return false;
    if (process.zombie) return true;
    if (!startText.empty() && startText.find_first_not_of("0123456789") == std::string::npos) {
        if (process.startTicks != 0 && std::to_string(process.startTicks) != startText) return true;
    } else if (process.started > written + StartSlackSeconds) {
        return true;  // a flag without its start: judged by the clock
    }
    // An upgrade replaces the program file under a running copy: its name
    // still tells.
    return process.programKnown && !process.sameProgram && !NamedLikeThisProgram(process.name);
}

std::string ExistingBusyFlag(const std::string& flagPath) {
    const std::string flag = ResolvePath(flagPath);
    return FileExists(flag) ? flag : std::string();
}

bool ClearStaleBusyFlag(const FrameRunState& run, const std::string& flag, const std::string& logName) {
    switch (RemoveStaleLock(flag, [&run](const std::string& lock) { return IsStaleBusyFlag(run, lock); })) {
        case StaleLock::Removed:
            WriteLog(logName, "Stale busy flag " + flag + " removed");
            return true;
        case StaleLock::Gone:
            return true;
        case StaleLock::Live:
            break;
    }
    return false;
}

int TakeBusyFlag(FrameRunState& run, const std::string& flagPath, const std::string& logName, int waitSeconds) {
    const std::uint64_t deadline = MillisecondTick() + static_cast<std::uint64_t>(std::max(0, waitSeconds)) * 1000u;
    for (;;) {
        const std::string existing = ExistingBusyFlag(flagPath);
        if (existing.empty() || ClearStaleBusyFlag(run, existing, logName)) {
            // Linked whole: of two runs started together only one wins,
            // and a kill never leaves an empty flag.
            int error = PublishNewFile(flagPath, FlagContent());
            if (error == 0) {
                run.busyFlag = flagPath;
                return 0;
            }
            if (error != EEXIST) return error;
        }
        if (MillisecondTick() >= deadline) return EEXIST;
        SleepMilliseconds(BusyPollMilliseconds);
    }
}

void ReleaseBusyFlag(FrameRunState& run) {
    if (run.busyFlag.empty()) return;
    DeleteOwnFile(run.busyFlag);
    run.busyFlag.clear();
}
