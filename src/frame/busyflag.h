#pragma once
// Lock files: the program's busy flag "BRENMOOR.BSY", and the removal of a
// stale lock that two runs may find at once. Here, below every subsystem,
// so that the driver, the commander and the outbound share them.
#include <functional>
#include <string>
#include <string_view>

#include "frame/platform.h"

enum class StaleLock {
    Live,     // it stands, or stands again
    Removed,  // this run removed it
    Gone,     // another run took it away first
};

// Takes a lock away that isStale judges stale. It is first renamed to a
// name of this run's own and judged again there: two runs that both found
// it stale must not remove the lock the faster one has made meanwhile. A
// lock that turns out live is given back.
StaleLock RemoveStaleLock(const std::string& lock, const std::function<bool(const std::string&)>& isStale);

// The process ID a lock's text names (blanks and line ends around it
// ignored); 0 when it
// is not one number of a process ID's range.
int LockProcessId(std::string_view text);

// "BRENMOOR.BSY" in the semaphores directory (which ends in "/").
std::string BusyFlagPath(const std::string& semaphoresDir);

// A flag no run of this program holds: its process is gone, a zombie, or
// started after the flag was written (the machine restarted and gave the
// ID anew), or it is another program (neither this program's file nor a
// name beginning with "brenmoor"); or the flag is empty and older than a
// minute. A process whose /proc entry cannot be read holds its flag.
// The flag run holds itself is not stale.
bool IsStaleBusyFlag(const FrameRunState& run, const std::string& flag);

// The flag as it stands, in any letter case; empty when there is none.
std::string ExistingBusyFlag(const std::string& flagPath);

// Removes a stale flag with a log line; false while another run holds it.
bool ClearStaleBusyFlag(const FrameRunState& run, const std::string& flag, const std::string& logName);

// Makes the flag whole with this process's ID, clearing a stale one first,
// waiting up to waitSeconds while another run holds it. 0 when run holds
// it now, EEXIST while another run does, else errno.
int TakeBusyFlag(FrameRunState& run, const std::string& flagPath, const std::string& logName, int waitSeconds = 0);

// Removes the flag run made, if any; called however the run ends.
void ReleaseBusyFlag(FrameRunState& run);
