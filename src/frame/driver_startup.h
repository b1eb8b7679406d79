#pragma once
// The start-up sequence after the language file: every control file of the
// program directory, the busy flag.
#include "config/node.h"

// Reads BRENMOOR.CTL, Links.ctl, Groups.ctl, arc.ctl, bbssoft.ctl and
// colors.ctl from config.programDir (which the caller sets), printing the
// progress lines; a missing or empty mandatory file ends the run with its
// exit code.
void LoadNodeConfig(NodeConfig& config);

// "BRENMOOR.BSY" in the SEMAPHORES directory.
std::string BusyFlagPath(const MainConfig& config);

// Ends the run with 8 while the busy flag of another run exists.
void CheckBusyFlag(const MainConfig& config);
