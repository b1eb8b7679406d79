#pragma once
// Where the toss keeps the journal of each TIC.
#include <string>
#include <string_view>
#include <vector>

#include "frame/journal.h"

// The journal of the TIC ticName: tempDir + "journal/" + ticName + ".jnl".
std::string JournalPath(const std::string& tempDir, const std::string& ticName);

// The same for a TIC that "toss --bad" takes from BADTICDIR, in
// tempDir + "journal/bad/": its name may be an inbound TIC's too.
std::string BadJournalPath(const std::string& tempDir, const std::string& ticName);

// The paths of every journal, of the inbound's TICs and of the bad ones.
std::vector<std::string> JournalFiles(const std::string& tempDir);

// Journals whose TIC is no longer in the inbound (or, for the bad ones, in
// badTicDir) were finished before the run that wrote them ended: they go.
// An unset directory keeps its journals.
void SweepJournals(const std::string& tempDir, const std::string& inbound, const std::string& badTicDir);
