#pragma once
// The toss: every TIC of the inbound is checked, its file stored in its file
// echo (the echo created when the sending link may), described, announced and
// sent on to the subscribed links; refused files and TICs are moved aside
// with a reason line.
#include <cstdint>
#include <string>
#include <string_view>

#include "config/node.h"

// What the toss frame and the per-TIC step share for one run.
struct TossState {
    unsigned InboundTicCount = 0;    // TICs in the inbound when the toss started
    unsigned ProcessedTicCount = 0;  // every TIC taken up, refused ones included
    unsigned BadTicCount = 0;        // TICs refused or left waiting
    bool ContinueSearch = false;     // a TIC was left in the inbound this run
    bool Screen = false;             // the status screen is shown (else TOSSCONSOLE lines)
};

// The per-TIC step for the TIC ticName (a name in INBOUND).
void TossTic(const std::string& ticName, const NodeConfig& node, TossState& state);

// Moves inbound + fileName into badDir and appends the reason line to
// badDir + descFileName (no line when descFileName is empty). An earlier file
// of that name stays: this one gets a number before its extension
// (FILE.1.ZIP), and the line names it so. False when the file could not be
// moved: it then stays in the inbound.
bool BadFile(const std::string& inbound, const std::string& fileName, const std::string& badDir,
             const std::string& logName, const std::string& descFileName, const std::string& reason);

// Moves the TIC into badDir (under a free name, as BadFile), or deletes it
// when deleteBadTic. False when it could not be moved: it then stays in the
// inbound.
bool BadTic(const std::string& inbound, const std::string& ticName, const std::string& badDir,
            const std::string& logName, bool deleteBadTic);



// The toss frame: status screen or a blank line, every TIC of the inbound
// ("*.tic" in any case, hidden ones left for a later run) handed to TossTic
// once, then the summary printed. The caller holds the busy flag. Without
// an INBOUND the run ends with 2. The cursor is left hidden; the caller
// shows it when it ends.
TossState RunToss(const NodeConfig& node, int screenRows);
