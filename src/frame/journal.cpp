#include "frame/journal.h"

#include "frame/exit.h"
#include "frame/platform.h"
#include "frame/utils.h"

std::vector<std::string> ReadJournalLines(const std::string& path) {
    std::string content;
    if (!ReadWholeFile(path, content)) return {};
    std::size_t end = content.rfind('\n');
    content.resize(end == std::string::npos ? 0 : end + 1);
    return SplitLines(content, std::string::npos);
}

namespace {

void AppendJournalText(KeptFile& file, const std::string& path, const std::string& text) {
    if (!file.IsOpen()) {
        ForceDirectories(ExtractDir(path));
        bool created = false;
        if (int error = file.Open(path, created)) RuntimeError(error);
    }
    if (int error = file.Append(text)) RuntimeError(error);
}

}  // namespace

Journal OpenJournal(const std::string& path) {
    Journal journal;
    journal.path = path;
    journal.lines = ReadJournalLines(path);
    return journal;
}

void AddSharedJournalLines(const std::vector<std::string>& lines,
                           std::map<std::string, std::vector<std::string>>& journals) {
    for (const std::string& line : lines) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        std::vector<std::string>& lines = journals[line.substr(0, tab)];
        if (line.compare(tab + 1, std::string::npos, JournalClosedLine) == 0)
            lines.clear();
        else
            lines.push_back(line.substr(tab + 1));
    }
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
    const std::string tag = journal.shared ? journal.tag + "\t" : std::string();
    for (const std::string& line : lines) {
        journal.lines.push_back(SingleLine(line));
        text += tag + journal.lines.back() + "\n";
    }
    if (journal.shared) {
        journal.shared->open.insert(journal.tag);
        AppendJournalText(journal.shared->file, journal.shared->path, text);
    } else if (!journal.path.empty()) {
        AppendJournalText(journal.file, journal.path, text);
    }
}

void JournalAdd(Journal& journal, const std::string& line) { JournalAdd(journal, std::vector<std::string>{line}); }

void CloseJournal(Journal& journal) {
    journal.file.Close();
    DeleteFile(journal.path);
    // Lines an earlier run left count until the shared file says closed.
    if (journal.shared && !journal.lines.empty())
        AppendJournalText(journal.shared->file, journal.shared->path,
                          journal.tag + "\t" + std::string(JournalClosedLine) + "\n");
    if (journal.shared) journal.shared->open.erase(journal.tag);
    journal.lines.clear();
}
