#pragma once
// The start-up sequence after the language file: every control file of the
// program directory, the busy flag.
#include "config/node.h"

// Reads BRENMOOR.CTL, Links.ctl, Groups.ctl, arc.ctl, bbssoft.ctl and
// colors.ctl from config.programDir (which the caller sets), printing the
// progress lines; a missing or empty mandatory file ends the run with its
// exit code.
void LoadNodeConfig(NodeConfig& config);

// "BRENMOOR.BSY" in the SEMAPHORES directory (the program directory when
// that is not set).
std::string BusyFlagPath(const MainConfig& config);

// Ends the run with 8 while another run holds the busy flag (in any letter
// case). A flag whose process is gone, or an empty one older than a minute,
// is stale: logged, removed, and the run goes on.
void CheckBusyFlag(const MainConfig& config);

// For commands that change files: the same check, then the flag created
// exclusively with this process's ID in it; losing the race to another run
// ends with 8.
void AcquireBusyFlag(const MainConfig& config);

// Removes the flag this run created, if any; the driver calls it however the
// run ends.
void ReleaseBusyFlag();
