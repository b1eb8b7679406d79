#pragma once
// What a toss has done for one TIC, kept in a small file beside the work
// files, so that a run killed or failing halfway is finished by the next
// one: every step that the journal names is not done again.
#include <string>
#include <string_view>
#include <vector>

struct TossJournal {
    std::string path;                // empty: kept in memory only (a hatch)
    std::vector<std::string> lines;  // "key value" or "key"
};

// The journal of the TIC ticName: tempDir + "journal/" + ticName + ".jnl".
std::string JournalPath(const std::string& tempDir, const std::string& ticName);

// The same for a TIC that "toss --bad" takes from BADTICDIR, in
// tempDir + "journal/bad/": its name may be an inbound TIC's too.
std::string BadJournalPath(const std::string& tempDir, const std::string& ticName);

// The paths of every journal, of the inbound's TICs and of the bad ones.
std::vector<std::string> JournalFiles(const std::string& tempDir);

// The journal read from path; no lines when there is none.
TossJournal OpenJournal(const std::string& path);

bool JournalHas(const TossJournal& journal, std::string_view line);

// The value of the last line "key value"; empty when there is none.
std::string JournalValue(const TossJournal& journal, std::string_view key);

// Adds lines (the file is created with the first); a journal that cannot be
// written ends the run with a run-time error, since going on could send a
// file twice or never.
void JournalAdd(TossJournal& journal, const std::vector<std::string>& lines);
void JournalAdd(TossJournal& journal, const std::string& line);

// The TIC is done: the journal goes.
void CloseJournal(TossJournal& journal);

// Journals whose TIC is no longer in the inbound (or, for the bad ones, in
// badTicDir) were finished before the run that wrote them ended: they go.
// An unset directory keeps its journals.
void SweepJournals(const std::string& tempDir, const std::string& inbound, const std::string& badTicDir);
