#include "config/groups.h"

#include "config/ctlline.h"
#include "config/mainconfig.h"
#include "frame/platform.h"
#include "frame/utils.h"

namespace {

std::string GroupLetterProblem(std::string_view value) {
    if (value.empty()) return MessageText(Msg::CHECKNOGROUPLETTER);
    return value.size() > 1 ? CheckText(Msg::CHECKNOTONELETTER, {{"%v", "\"" + std::string(value) + "\""}}) : std::string();
}

// Letter case matters: "a" and "A" are two groups.
void StoreLetter(GroupRecord& group, const ParsedValue& value) {
    group.Letter = value.written.empty() ? '\0' : value.written[0];
}

// A directory keeps its letter case here; only Windows could afford to
// upper-case it. Areas are written with the path as the file gives it.
void StorePath(GroupRecord& group, const ParsedValue& value) {
    group.Path = value.text;
    group.WrittenPath = value.written;
    if (!value.written.empty()) AddTrailingSlash(group.WrittenPath);
}

// Taken by the toss relative to the program directory, as written.
void StoreFlag(GroupRecord& group, const ParsedValue& value) { group.Flag = value.written; }

void StoreAka(GroupRecord& group, const ParsedValue& value) { group.AKA = value.written; }

constexpr ValueRule SecurityRule = NumberRule(0, 65535);

const KeywordRow<GroupRecord> GroupKeywords[] = {
    {"GROUP", CheckedRule(LetterRule, GroupLetterProblem), StoreLetter},
    {"PATH", DirectoryRule, StorePath},
    {"COMMENT", TextRule(), Store<&GroupRecord::Comment>},
    {"NAFILE", ExistingFileRule, Store<&GroupRecord::NAFile>},
    {"FLAG", FileInRule, StoreFlag},
    {"SECURITYREAD", SecurityRule, Store<&GroupRecord::SecurityRead>},
    {"SECURITYWRITE", SecurityRule, Store<&GroupRecord::SecurityWrite>},
    {"SECURITYSHOW", SecurityRule, Store<&GroupRecord::SecurityShow>},
    {"AKA", AddressRule, StoreAka},
};

// The groups of the entries; with problems, what check finds in them.
void ApplyGroupEntries(const std::vector<ControlEntry>& entries, const std::string& path,
                       std::vector<GroupRecord>& groups, std::vector<ConfigProblem>* problems,
                       std::vector<std::size_t>* starts = nullptr) {
    ApplyRecordEntries<GroupRecord>(GroupKeywords, entries, groups, GroupRecord{}, ExtractDir(ResolvePath(path)),
                                    ExtractFileName(path), problems, starts);
}

}  // namespace

int ReadGroups(const std::string& path, std::vector<GroupRecord>& groups) {
    groups.clear();
    std::vector<ControlEntry> entries;
    if (!ReadControlEntries(path, entries)) return ControlReadFailure();
    ApplyGroupEntries(entries, path, groups, nullptr);
    return 0;
}

std::vector<ConfigProblem> CheckGroups(const std::string& path) {
    const std::string file = ExtractFileName(path);
    std::vector<ConfigProblem> problems;
    std::vector<ControlEntry> entries;
    if (!ReadEntriesToCheck(path, 4, entries, problems)) return problems;
    std::vector<GroupRecord> groups;
    std::vector<std::size_t> starts;
    ApplyGroupEntries(entries, path, groups, &problems, &starts);
    if (groups.empty()) problems.push_back({file, 0, CheckText(Msg::CHECKNOGROUPS, {{"%n", "4"}})});
    for (std::size_t i = 0; i < groups.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (groups[j].Letter != groups[i].Letter || groups[i].Letter == '\0') continue;
            problems.push_back({file, starts[i],
                                "GROUP: " + CheckText(Msg::CHECKGROUPAGAIN, {{"%g", std::string(1, groups[i].Letter)},
                                                                             {"%l", std::to_string(starts[j])}})});
            break;
        }
    }
    SortProblems(problems);
    return problems;
}

GroupRecord FindGroup(const std::vector<GroupRecord>& groups, char letter) {
    for (const GroupRecord& group : groups) {
        if (group.Letter == letter) return group;
    }
    return GroupRecord{};
}

bool FindInListFile(const std::string& fileName, const std::string& tag, std::string& description) {
    description.clear();
    if (fileName.empty() || tag.empty()) return false;
    std::vector<std::string> lines;
    if (!ReadSysopTextLines(fileName, lines)) return false;
    for (std::string& line : lines) {
        TrimLeft(line);
        std::size_t blank = line.find(' ');
        if (UpperCase(std::string_view(line).substr(0, blank)) != tag) continue;
        description = blank == std::string::npos ? std::string() : line.substr(blank + 1);
        Trim(description);
        return true;
    }
    return false;
}
