#include "frame/journal.h"

#include "frame/exit.h"
#include "frame/platform.h"
#include "frame/utils.h"

Journal OpenJournal(const std::string& path) {
    Journal journal;
    journal.path = path;
    std::string content;
    if (!ReadWholeFile(path, content)) return journal;
    // A line cut short by the end of a killed run was never a step done.
    std::size_t end = content.rfind('\n');
    content.resize(end == std::string::npos ? 0 : end + 1);
    journal.lines = SplitLines(content, std::string::npos);
    return journal;
}

bool JournalHas(const Journal& journal, std::string_view line) {
    for (const std::string& entry : journal.lines)
        if (entry == line) return true;
    return false;
}

std::string JournalValue(const Journal& journal, std::string_view key) {
    for (auto it = journal.lines.rbegin(); it != journal.lines.rend(); ++it)
        if (it->size() > key.size() && it->compare(0, key.size(), key) == 0 && (*it)[key.size()] == ' ')
            return it->substr(key.size() + 1);
    return std::string();
}

void JournalAdd(Journal& journal, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        journal.lines.push_back(SingleLine(line));
        text += journal.lines.back() + "\n";
    }
    if (journal.path.empty()) return;
    if (!journal.file.IsOpen()) {
        ForceDirectories(ExtractDir(journal.path));
        bool created = false;
        if (int error = journal.file.Open(journal.path, created)) RuntimeError(error);
    }
    int error = journal.file.Append(text);
    if (error != 0) RuntimeError(error);
}

void JournalAdd(Journal& journal, const std::string& line) { JournalAdd(journal, std::vector<std::string>{line}); }

void CloseJournal(Journal& journal) {
    journal.file.Close();
    DeleteFile(journal.path);
    journal.lines.clear();
}
