#pragma once
// The toss: every TIC of the inbound is checked, its file stored in its file
// echo (the echo created when the sending link may), described, announced and
// sent on to the subscribed links; refused files and TICs are moved aside
// with a reason line. "toss --bad" does the same with the TICs moved aside
// into BADTICDIR, once their cause is mended: what is refused again stays
// there, with the reason line of the latest refusal.
#include <cstdint>
#include <string>
#include <string_view>

#include <vector>

#include "config/areas.h"
#include "config/node.h"
#include "robot/netmail.h"
#include "tic/dupes.h"
#include "tic/journal.h"
#include "tic/outbound.h"

// The toss's part of a run (the driver makes one per command).
struct TicRunState {
    DupeIndex dupes;
    BusyState busy;  // the links' busy files and the retry list
};

// What the toss frame and the per-TIC step share for one run.
struct TossState {
    unsigned InboundTicCount = 0;    // TICs in the inbound when the toss started
    unsigned ProcessedTicCount = 0;  // every TIC taken up, refused ones included
    unsigned BadTicCount = 0;        // TICs refused or left waiting
    bool ContinueSearch = false;     // a TIC was left in the inbound this run
    bool WorkLeftUndone = false;     // a failure, or a stop request, left TICs for a later run
    bool Screen = false;             // the status screen is shown (else TOSSCONSOLE lines)
    bool FromBadDir = false;         // "toss --bad": the TICs come from BADTICDIR
    std::string SourceDir;           // INBOUND, or BADTICDIR
    // TICs whose work is done but not yet on disk: each is deleted, its
    // journal with it, only once what the batch wrote has been synced.
    struct DoneTic {
        std::string ticPath;
        Journal journal;
    };
    std::vector<DoneTic> Batch;
    TossJournals Journals;
    std::uint64_t BatchStarted = 0;  // MillisecondTick of its first TIC
};

// A batch is committed after this many TICs or this many milliseconds of
// work, whichever comes first: one sync then serves up to a hundred TICs,
// and a mailer that has sent a file waits at most about two seconds more
// for the TIC to go.
constexpr std::size_t BatchTicLimit = 100;
constexpr std::uint64_t BatchMilliseconds = 2000;

// The per-TIC step for the TIC ticName (a name in state.SourceDir).
void TossTic(const std::string& ticName, const NodeConfig& node, AreaIndexes& areas, MsgIdSerials& serials,
             TicRunState& run, TossState& state);

enum class TossSource { Inbound, BadTicDir };

// The toss frame: status screen or a blank line, every TIC of the inbound
// (or of BADTICDIR) ("*.tic" in any case, hidden ones left for a later run)
// handed to TossTic once, then the summary printed. The caller holds the
// busy flag. Without that directory the run ends with 2. The cursor is left
// hidden; the caller shows it when it ends.
TossState RunToss(const NodeConfig& node, AreaIndexes& areas, MsgIdSerials& serials, TicRunState& run,
                   int screenRows, TossSource from = TossSource::Inbound);
