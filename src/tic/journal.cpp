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

void SweepJournals(const std::string& tempDir, const std::string& inbound, const std::string& badTicDir) {
    SweepJournalDir(tempDir + std::string(JournalDir), inbound);
    SweepJournalDir(tempDir + std::string(BadJournalDir), badTicDir);
}
