#include "tic/journal.h"

#include "frame/exit.h"
#include "frame/platform.h"
#include "frame/utils.h"

namespace {

constexpr std::string_view JournalDir = "journal/";
constexpr std::string_view BadJournalDir = "journal/bad/";
constexpr std::string_view JournalExtension = ".jnl";

void SweepJournalDir(const std::string& dir, const std::string& ticDir) {
    if (ticDir.empty()) return;
    for (const DirEntry& entry : FindFiles(dir + "*" + std::string(JournalExtension))) {
        const std::string ticName = entry.name.substr(0, entry.name.size() - JournalExtension.size());
        if (!IsRegularFile(ticDir + ticName)) DeleteFile(dir + entry.name);
    }
}

}  // namespace

std::string JournalPath(const std::string& tempDir, const std::string& ticName) {
    return tempDir + std::string(JournalDir) + ticName + std::string(JournalExtension);
}

std::string BadJournalPath(const std::string& tempDir, const std::string& ticName) {
    return tempDir + std::string(BadJournalDir) + ticName + std::string(JournalExtension);
}

std::vector<std::string> JournalFiles(const std::string& tempDir) {
    std::vector<std::string> paths;
    for (std::string_view dir : {JournalDir, BadJournalDir})
        for (const DirEntry& entry : FindFiles(tempDir + std::string(dir) + "*" + std::string(JournalExtension)))
            paths.push_back(tempDir + std::string(dir) + entry.name);
    return paths;
}

TossJournal OpenJournal(const std::string& path) {
    TossJournal journal;
    journal.path = path;
    std::string content;
    if (!ReadWholeFile(path, content)) return journal;
    // A line cut short by the end of a killed run was never a step done.
    std::size_t end = content.rfind('\n');
    content.resize(end == std::string::npos ? 0 : end + 1);
    journal.lines = SplitLines(content, std::string::npos);
    return journal;
}

bool JournalHas(const TossJournal& journal, std::string_view line) {
    for (const std::string& entry : journal.lines)
        if (entry == line) return true;
    return false;
}

std::string JournalValue(const TossJournal& journal, std::string_view key) {
    for (auto it = journal.lines.rbegin(); it != journal.lines.rend(); ++it)
        if (it->size() > key.size() && it->compare(0, key.size(), key) == 0 && (*it)[key.size()] == ' ')
            return it->substr(key.size() + 1);
    return std::string();
}

void JournalAdd(TossJournal& journal, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        journal.lines.push_back(SingleLine(line));
        text += journal.lines.back() + "\n";
    }
    if (journal.path.empty()) return;
    ForceDirectories(ExtractDir(journal.path));
    int error = AppendToFile(journal.path, text);
    if (error != 0) RuntimeError(error);
}

void JournalAdd(TossJournal& journal, const std::string& line) { JournalAdd(journal, std::vector<std::string>{line}); }

void CloseJournal(TossJournal& journal) {
    DeleteFile(journal.path);
    journal.lines.clear();
}

void SweepJournals(const std::string& tempDir, const std::string& inbound, const std::string& badTicDir) {
    SweepJournalDir(tempDir + std::string(JournalDir), inbound);
    SweepJournalDir(tempDir + std::string(BadJournalDir), badTicDir);
}
