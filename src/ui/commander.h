#pragma once
// The hatch commander: the file panel and the area panel side by side to
// pick a file and a file echo, and a dialog for the details of a hatch.
#include <string>

#include "config/areas.h"
#include "config/node.h"
#include "frame/platform.h"
#include "robot/netmail.h"
#include "tic/outbound.h"

struct CommanderRequest {
    std::string filePath;     // from the command line; empty: chosen in the panels
    std::string areaTag;      // likewise
    std::string description;  // "-D", code page 866
    bool copyToArea = false;  // "-C": the dialog's first answer
};

// The parts of the run the commander works with; the driver owns them.
struct CommanderRun {
    FrameRunState& frame;  // the busy flag, taken for each hatch
    AreaIndexes& areas;
    MsgIdSerials& serials;
    BusyState& busy;
};

// Asks for the details and hatches; with the file or the area not given,
// the panels come first and come back after each hatch until Esc.
// An areas.ctl without any area ends the program with exit code 1.
void RunCommander(const NodeConfig& node, const CommanderRun& run, const CommanderRequest& request);
