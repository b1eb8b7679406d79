#pragma once
// What a run has done of one piece of work, kept in a small file beside the
// work files, so that a run killed or failing halfway is finished by the
// next one: every step that the journal names is not done again.
#include <string>
#include <string_view>
#include <vector>

#include "frame/platform.h"

struct Journal {
    std::string path;                // empty: kept in memory only
    std::vector<std::string> lines;  // "key value" or "key"
    KeptFile file;                   // open from the first line added to the end
};

// The journal read from path; no lines when there is none.
Journal OpenJournal(const std::string& path);

bool JournalHas(const Journal& journal, std::string_view line);

// The value of the last line "key value"; empty when there is none.
std::string JournalValue(const Journal& journal, std::string_view key);

// Adds lines (the file is created with the first); a journal that cannot be
// written ends the run with a run-time error, since going on could do a
// step twice or never.
void JournalAdd(Journal& journal, const std::vector<std::string>& lines);
void JournalAdd(Journal& journal, const std::string& line);

// The work is done: the journal goes.
void CloseJournal(Journal& journal);
