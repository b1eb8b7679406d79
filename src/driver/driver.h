#pragma once
// The driver: start-up and the one command table, above every subsystem.
#include "config/areas.h"
#include "frame/platform.h"
#include "robot/netmail.h"
#include "tic/toss.h"

// What one command keeps for as long as it runs, beside the configuration:
// each subsystem's part, handed to the functions that need it. Made afresh
// for every run, so nothing learnt by one run is taken for true by the next.
struct RunContext {
    FrameRunState frame;   // directories known, swept temporaries, the busy flag held
    AreaIndexes areas;     // where each area's block lies in areas.ctl
    MsgIdSerials serials;  // the MSGID serials taken
    TicRunState toss;      // the dupe index, the links' busy files and the retry list
};

// Runs one command of the program and returns the process exit code.
int RunBrenmoor(int argc, char** argv);
