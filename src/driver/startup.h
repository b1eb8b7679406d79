#pragma once
// The start-up sequence after the language file: every control file of the
// program directory, the busy flag.
#include "config/node.h"
#include "frame/busyflag.h"

// Reads BRENMOOR.CTL, Links.ctl, Groups.ctl, arc.ctl, bbssoft.ctl and
// colors.ctl from config.programDir (which the caller sets), printing the
// progress lines; a missing or empty mandatory file ends the run with its
// exit code.
void LoadNodeConfig(NodeConfig& config);

// Started as root for a node whose STATEDIR belongs to another user (the
// mailer's, such as ftn), the process becomes that user, so that no file
// of root's is left where the service must write. Returns why it could
// not, empty when it did or had nothing to do.
std::string BecomeStateOwner(const MainConfig& config);

// "BRENMOOR.BSY" in the SEMAPHORES directory (STATEDIR when that is not set).
std::string BusyFlagPath(const MainConfig& config);

// Ends the run with 8 while another run holds the busy flag (in any letter
// case). A stale flag (IsStaleBusyFlag) is logged and removed, and the run
// goes on.
void CheckBusyFlag(const FrameRunState& run, const MainConfig& config);

// For commands that change files: the same check, then the flag made
// whole with this process's ID in it; losing the race to another run ends
// with 8. ReleaseBusyFlag removes it.
void AcquireBusyFlag(FrameRunState& run, const MainConfig& config);
