#pragma once
// Where the toss keeps its journals: the TICs of one batch share one file,
// "batch-N.jnl" in tempDir + "journal/" (for "toss --bad", whose TIC names
// may be an inbound TIC's too, "journal/bad/"), each line tagged with its
// TIC's name. A file of one TIC, "NAME.jnl", is what an earlier version
// left; it is read and finished the same way.
#include <map>
#include <set>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "frame/journal.h"

struct TossJournals {
    std::string dir;
    std::string ticDir;  // where their TICs are
    // The files earlier runs left, with the TICs they name: each goes once
    // none of those is left.
    std::vector<std::pair<std::string, std::vector<std::string>>> earlierFiles;
    std::map<std::string, std::vector<std::string>> earlier;  // what earlier runs left, by TIC name
    std::set<std::string> ownFiles;  // TICs with a journal file of their own (an earlier version's)
    unsigned next = 1;         // the number of the next batch's file
    SharedJournalFile batch;   // the current batch's file
};

// The journal directory of the inbound's TICs, or of BADTICDIR's.
std::string TossJournalDir(const std::string& tempDir, bool badTics);

// Reads what earlier runs left in the journal directory; a file none of
// whose TICs is still in ticDir was finished, and goes.
void LoadTossJournals(TossJournals& journals, const std::string& dir, const std::string& ticDir);

// The journal of the TIC ticName: the lines earlier runs left, and new ones
// going into the batch's file.
Journal OpenTossJournal(TossJournals& journals, const std::string& ticName);

// The TIC is acknowledged: its journal is done with, without a line more.
void FinishTossJournal(TossJournals& journals, Journal& journal);

// The batch is acknowledged: its file goes unless a TIC left for a later
// run has lines in it; the next batch gets a file of its own.
void EndJournalBatch(TossJournals& journals);

// Every journal of the toss, of both directories (what purge must keep).
std::vector<Journal> ReadTossJournals(const std::string& tempDir);
