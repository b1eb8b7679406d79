#include "config/groups.h"

#include "config/ctlline.h"
#include "config/mainconfig.h"
#include "frame/platform.h"
#include "frame/utils.h"

void ReadGroups(const std::string& path, std::vector<GroupRecord>& groups) {
    groups.clear();
    std::vector<std::string> lines;
    if (!ReadTextLines(path, lines)) return;
    const std::string baseDir = ExtractDir(ResolvePath(path));
    for (const std::string& line : lines) {
        std::string keyword, value;
        SplitKeywordValue(CleanControlLine(line), keyword, value);
        if (keyword.empty()) continue;
        if (keyword == "GROUP") {
            groups.emplace_back();
            groups.back().Letter = value.empty() ? '\0' : value[0];
            continue;
        }
        if (groups.empty()) continue;
        GroupRecord& group = groups.back();
        if (keyword == "PATH") {
            // A directory keeps its letter case here; only Windows could
            // afford to upper-case it.
            group.Path = ResolveConfigPath(baseDir, value);
            AddTrailingSlash(group.Path);
            CutText(group.Path);
            group.WrittenPath = value;
            if (!value.empty()) AddTrailingSlash(group.WrittenPath);
        } else if (keyword == "COMMENT") {
            group.Comment = value;
        } else if (keyword == "NAFILE") {
            group.NAFile = ResolveConfigPath(baseDir, value);
            CutText(group.NAFile);
        } else if (keyword == "FLAG") {
            group.Flag = value;
        } else if (keyword == "SECURITYREAD") {
            group.SecurityRead = ParseWordValue(value);
        } else if (keyword == "SECURITYWRITE") {
            group.SecurityWrite = ParseWordValue(value);
        } else if (keyword == "SECURITYSHOW") {
            group.SecurityShow = ParseWordValue(value);
        } else if (keyword == "AKA") {
            group.AKA = value;
        }
    }
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
    if (!ReadTextLines(fileName, lines)) return false;
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
