#include "tic/journal.h"

#include <algorithm>

#include "frame/platform.h"
#include "frame/utils.h"

namespace {

constexpr std::string_view JournalDir = "journal/";
constexpr std::string_view BadJournalDir = "journal/bad/";
constexpr std::string_view JournalExtension = ".jnl";
constexpr std::string_view BatchPrefix = "batch-";

// The number of a batch file's name; 0 for a file of one TIC.
unsigned BatchNumber(std::string_view name) {
    if (!name.starts_with(BatchPrefix) || !name.ends_with(JournalExtension)) return 0;
    const std::string_view digits = name.substr(BatchPrefix.size(), name.size() - BatchPrefix.size() - JournalExtension.size());
    unsigned number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9' || number > 99999999) return 0;
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    return number;
}

std::string BatchFileName(unsigned number) {
    std::string digits = std::to_string(number);
    if (digits.size() < 8) digits.insert(0, 8 - digits.size(), '0');
    return std::string(BatchPrefix) + digits + std::string(JournalExtension);
}

struct JournalFileEntry {
    unsigned batch;  // 0: a file of one TIC
    std::string name;
};

// The journal files of dir, the files of one TIC first, then the batches in
// the order they were written.
std::vector<JournalFileEntry> JournalFilesIn(const std::string& dir) {
    std::vector<JournalFileEntry> files;
    for (const DirEntry& entry : FindFiles(dir + "*" + std::string(JournalExtension)))
        files.push_back({BatchNumber(entry.name), entry.name});
    std::stable_sort(files.begin(), files.end(),
                     [](const JournalFileEntry& a, const JournalFileEntry& b) { return a.batch < b.batch; });
    return files;
}

std::string TicNameOf(const std::string& journalName) {
    return journalName.substr(0, journalName.size() - JournalExtension.size());
}

// A journal file is done with once none of its TICs is left.
bool NoTicLeft(const std::string& ticDir, const std::vector<std::string>& tics) {
    return std::none_of(tics.begin(), tics.end(), [&](const std::string& tic) { return IsRegularFile(ticDir + tic); });
}

}  // namespace

std::string TossJournalDir(const std::string& tempDir, bool badTics) {
    return tempDir + std::string(badTics ? BadJournalDir : JournalDir);
}

void LoadTossJournals(TossJournals& journals, const std::string& dir, const std::string& ticDir) {
    journals.dir = dir;
    journals.ticDir = ticDir;
    journals.earlier.clear();
    journals.earlierFiles.clear();
    journals.ownFiles.clear();
    for (const JournalFileEntry& file : JournalFilesIn(dir)) {
        const std::string path = dir + file.name;
        journals.next = std::max(journals.next, file.batch + 1);
        const std::vector<std::string> lines = ReadJournalLines(path);
        std::map<std::string, std::vector<std::string>> read;
        if (file.batch == 0)
            read[TicNameOf(file.name)] = lines;
        else
            AddSharedJournalLines(lines, read);
        std::vector<std::string> tics;
        for (const auto& tic : read) tics.push_back(tic.first);
        if (!ticDir.empty() && NoTicLeft(ticDir, tics)) {
            DeleteFile(path);
            continue;
        }
        journals.earlierFiles.push_back({path, std::move(tics)});
        if (file.batch == 0) {
            journals.ownFiles.insert(TicNameOf(file.name));
            journals.earlier.insert(read.begin(), read.end());
        } else {
            AddSharedJournalLines(lines, journals.earlier);
        }
    }
    journals.batch = {};
    journals.batch.path = dir + BatchFileName(journals.next);
}

Journal OpenTossJournal(TossJournals& journals, const std::string& ticName) {
    Journal journal;
    journal.shared = &journals.batch;
    journal.tag = ticName;
    auto earlier = journals.earlier.find(ticName);
    if (earlier != journals.earlier.end()) journal.lines = earlier->second;
    // A file of its own from an earlier version goes when it is done with.
    if (journals.ownFiles.count(ticName)) journal.path = journals.dir + ticName + std::string(JournalExtension);
    return journal;
}

void FinishTossJournal(TossJournals& journals, Journal& journal) {
    if (!journal.path.empty()) {
        DeleteFile(journal.path);
        journals.ownFiles.erase(journal.tag);
    }
    journals.batch.open.erase(journal.tag);
    journal.lines.clear();
}

void EndJournalBatch(TossJournals& journals) {
    SharedJournalFile& batch = journals.batch;
    batch.file.Close();
    if (batch.open.empty()) DeleteFile(batch.path);
    if (FileExists(batch.path)) ++journals.next;
    batch.open.clear();
    batch.path = journals.dir + BatchFileName(journals.next);
    std::erase_if(journals.earlierFiles, [&](const auto& file) {
        const bool done = NoTicLeft(journals.ticDir, file.second);
        if (done) DeleteFile(file.first);
        return done;
    });
}

std::vector<Journal> ReadTossJournals(const std::string& tempDir) {
    std::vector<Journal> all;
    for (bool bad : {false, true}) {
        TossJournals journals;
        LoadTossJournals(journals, TossJournalDir(tempDir, bad), std::string());
        for (auto& [tic, lines] : journals.earlier) {
            Journal journal;
            journal.lines = std::move(lines);
            all.push_back(std::move(journal));
        }
    }
    return all;
}
