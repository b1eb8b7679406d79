#pragma once
// What a run has done of one piece of work, kept in a small file beside the
// work files, so that a run killed or failing halfway is finished by the
// next one: every step that the journal names is not done again.
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "frame/platform.h"

// One file that the journals of many pieces of work share (a batch's):
// each line is the journal's tag, a tab, and the journal's line. A journal
// closed before its file goes gets a line JournalClosedLine, after which
// its earlier lines no longer count.
struct SharedJournalFile {
    std::string path;
    KeptFile file;                  // open from the first line added
    std::set<std::string> open;     // tags with lines and not yet closed
};
constexpr std::string_view JournalClosedLine = "closed";

struct Journal {
    std::string path;                // empty: kept in memory only, or in shared
    std::vector<std::string> lines;  // "key value" or "key"
    KeptFile file;                   // open from the first line added to the end
    SharedJournalFile* shared = nullptr;
    std::string tag;                 // its lines' tag in shared
};

// The whole lines of a journal file: one cut short by the end of a killed
// run was never a step done.
std::vector<std::string> ReadJournalLines(const std::string& path);

// The journals of a shared file's lines, tag by tag, added to those of
// earlier files (taken in the order they were written); a closed journal
// starts over.
void AddSharedJournalLines(const std::vector<std::string>& lines,
                           std::map<std::string, std::vector<std::string>>& journals);

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

// The work is done: the journal goes (in a shared file, it is marked closed).
void CloseJournal(Journal& journal);
