#include "robot/uplinks.h"

#include <algorithm>
#include <cerrno>

#include "config/ctlline.h"
#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/exit.h"
#include "frame/log.h"
#include "frame/platform.h"
#include "frame/utils.h"
#include "robot/reports.h"

namespace {


std::string OriginWith(const MainConfig& config, std::string_view address) {
    std::string origin = config.origin + " (" + std::string(address) + ")";
    CutText(origin);
    return origin;
}

// The text of a quoted run of a mask group: the characters after the quote
// at i up to the next quote (or the end); i moves past it.
std::string_view QuotedText(std::string_view group, std::size_t& i) {
    std::size_t close = group.find('\'', i + 1);
    std::string_view text = group.substr(i + 1, close == std::string_view::npos ? std::string_view::npos : close - i - 1);
    i = close == std::string_view::npos ? group.size() : close + 1;
    return text;
}

// How much of rest one group "<...>" consumes; 0 when no quoted text matches.
std::size_t ApplyMaskGroup(std::string_view group, std::string_view rest) {
    bool anywhere = false;
    std::size_t i = 0;
    while (i < group.size()) {
        std::string_view from = group.substr(i);
        if (group[i] == '\'') {
            std::string_view text = QuotedText(group, i);
            if (anywhere) {
                if (rest.find(text) != std::string_view::npos) return rest.size();
            } else if (rest.starts_with(text)) {
                return text.size();
            }
        } else if (from.starts_with("ANYWHERE")) {
            anywhere = true;
            i += 8;
        } else if (from.starts_with("OR")) {
            anywhere = false;
            i += 2;
        } else {
            ++i;
        }
    }
    return 0;
}

// An area tag that may stand in areas.ctl and name a directory: no control
// characters, no path, and short enough for its "Area" line to read back.
bool IsSafeAreaTag(std::string_view tag) {
    if (tag.size() > MaxText - 5) return false;
    for (char c : tag)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return IsPlainName(tag);
}

// Groups of echoes are upper case here.
void StoreDefaultGroup(ForwardRecord& uplink, const ParsedValue& value) {
    uplink.DefaultGroup = value.written.empty() ? 0 : UpperCase(value.written.substr(0, 1))[0];
}

// Found in any letter case, like every file the sysop names.
void StoreListFile(ForwardRecord& uplink, const ParsedValue& value) { uplink.ListFile = ResolvePath(value.text); }

std::string LetterProblem(std::string_view value) {
    return value.size() > 1 ? CheckText(Msg::CHECKNOTONELETTER, {{"%v", "\"" + std::string(value) + "\""}}) : std::string();
}

std::string ListFileProblem(std::string_view value) {
    return value.empty() ? CheckText(Msg::CHECKNOLISTFILE, {{"%n", "2"}}) : std::string();
}

const KeywordRow<ForwardRecord> ForwardKeywords[] = {
    {"FORWARD", AddressRule, Store<&ForwardRecord::Address>},
    {"LISTFILE", CheckedRule(ExistingFileRule, ListFileProblem), StoreListFile},
    {"REMOTEPROGRAM", TextRule(MaxRemoteProgram), Store<&ForwardRecord::RemoteProgram>},
    {"GROUPS", UpperRule(MaxForwardGroups), Store<&ForwardRecord::Groups>},
    {"DEFAULTGROUP", CheckedRule(TextRule(), LetterProblem), StoreDefaultGroup},
    {"SECURITY", NumberRule(0, 65535), Store<&ForwardRecord::Security>},
    {"PASSTHROUGH", YesNoRule, Store<&ForwardRecord::PassThrough>},
};

// Uplinks start with the robot name the node uses for all of them.
void ApplyForwardEntries(const std::vector<ControlEntry>& entries, const std::string& file,
                         const std::string& programDir, std::string_view defaultRobot,
                         std::vector<ForwardRecord>& forwards, std::vector<ConfigProblem>* problems) {
    ForwardRecord fresh;
    fresh.RemoteProgram = std::string(defaultRobot.substr(0, MaxRemoteProgram));
    ApplyRecordEntries<ForwardRecord>(ForwardKeywords, entries, forwards, fresh, programDir, ExtractFileName(file),
                                      problems);
}

}  // namespace

std::vector<ForwardRecord> ReadForwardList(const std::string& file, const std::string& programDir,
                                           std::string_view defaultRobot) {
    std::vector<ControlEntry> entries;
    if (!ReadControlEntries(file, entries)) {
        ClearErrorNumber();
        return {};
    }
    std::vector<ForwardRecord> forwards;
    ApplyForwardEntries(entries, file, programDir, defaultRobot, forwards, nullptr);
    // A list file an uplink names must be there: requests could not be
    // forwarded.
    bool uplink = false;
    for (const ControlEntry& entry : entries) {
        uplink = uplink || entry.keyword == "FORWARD";
        if (!uplink || entry.keyword != "LISTFILE") continue;
        std::string path = ResolvePath(ResolveConfigPath(programDir, entry.value));
        if (!IsRegularFile(path))
            FailProgram(2, MessageText(Msg::ERROR) + ": " + Fill(MessageText(Msg::FILENOTFOUND), "%f", entry.value));
    }
    return forwards;
}

std::vector<ConfigProblem> CheckForwardList(const std::string& file, const std::string& programDir) {
    std::vector<ConfigProblem> problems;
    std::vector<ControlEntry> entries;
    if (!ReadControlEntries(file, entries)) {
        if (FileExists(file)) problems.push_back({ExtractFileName(file), 0, MessageText(Msg::CHECKCANTREAD)});
        return problems;
    }
    std::vector<ForwardRecord> forwards;
    ApplyForwardEntries(entries, file, programDir, {}, forwards, &problems);
    return problems;
}

std::vector<std::string> ReadNotAllowedList(const std::string& file) {
    std::vector<std::string> lines;
    if (!ReadSysopTextLines(file, lines))
        FailProgram(2, MessageText(Msg::ERROR) + ": " + file + ": " + ErrorReason(LastErrorNumber()));
    std::vector<std::string> entries;
    for (const std::string& line : lines) {
        std::string entry = UpperCase(CleanControlLine(line));
        if (!entry.empty()) entries.push_back(std::move(entry));
    }
    return entries;
}

std::string NotAllowedEntryProblem(std::string_view entryText) {
    const std::string entryUpper = UpperCase(entryText);
    std::string_view entry = entryUpper;
    if (!entry.starts_with('<')) {
        return entry.find_first_of(" <>'") == std::string_view::npos
                   ? std::string()
                   : MessageText(Msg::CHECKNOTAGNORMASK);
    }
    while (!entry.empty()) {
        if (!entry.starts_with('<'))
            return CheckText(Msg::CHECKAFTERGROUPS, {{"%v", "\"" + std::string(entry) + "\""}});
        const std::size_t close = entry.find('>');
        if (close == std::string_view::npos) return MessageText(Msg::CHECKGROUPNOTCLOSED);
        const std::string_view group = entry.substr(1, close - 1);
        entry.remove_prefix(close + 1);
        while (!entry.empty() && entry.front() == ' ') entry.remove_prefix(1);
        bool quoted = false;
        for (std::size_t i = 0; i < group.size();) {
            if (group[i] == ' ') {
                ++i;
            } else if (group[i] == '\'') {
                if (group.find('\'', i + 1) == std::string_view::npos) return MessageText(Msg::CHECKQUOTENOTCLOSED);
                QuotedText(group, i);
                quoted = true;
            } else {
                const std::size_t end = std::min(group.find_first_of(" '", i), group.size());
                const std::string_view word = group.substr(i, end - i);
                if (word != "ANYWHERE" && word != "OR")
                    return CheckText(Msg::CHECKNOTANYWHEREOR, {{"%v", "\"" + std::string(word) + "\""}});
                i = end;
            }
        }
        if (!quoted) return CheckText(Msg::CHECKGROUPNOQUOTE, {{"%g", group}});
    }
    return {};
}

std::vector<ConfigProblem> CheckNotAllowedList(const std::string& file) {
    const std::string name = ExtractFileName(file);
    std::vector<std::string> lines;
    if (!ReadSysopTextLines(file, lines))
        return {{name, 0, CheckText(FileExists(file) ? Msg::CHECKUNREADROBOT : Msg::CHECKMISSINGROBOT, {{"%n", "2"}})}};
    std::vector<ConfigProblem> problems;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view entry = CleanControlLine(lines[i]);
        if (entry.empty()) continue;
        if (std::string problem = NotAllowedEntryProblem(entry); !problem.empty())
            problems.push_back({name, i + 1, "\"" + std::string(entry) + "\": " + problem});
    }
    return problems;
}

bool MatchAreaMask(std::string_view entryText, std::string_view tagText) {
    const std::string entryUpper = UpperCase(entryText);
    const std::string tagUpper = UpperCase(tagText);
    std::string_view entry = entryUpper, tag = tagUpper;
    if (!entry.starts_with('<')) return entry == tag;
    while (!entry.empty() && !tag.empty() && entry.front() == '<') {
        std::size_t close = entry.find('>');
        std::string_view group = entry.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
        entry.remove_prefix(close == std::string_view::npos ? entry.size() : close + 1);
        while (!entry.empty() && entry.front() == ' ') entry.remove_prefix(1);
        std::size_t used = ApplyMaskGroup(group, tag);
        if (used == 0) break;
        tag.remove_prefix(used);
    }
    return entry.empty() && tag.empty();
}

bool IsNotAllowed(const std::vector<std::string>& list, std::string_view tag) {
    for (const std::string& entry : list)
        if (MatchAreaMask(entry, tag)) return true;
    return false;
}

UplinkList& UplinkListOf(UplinkLists& lists, const std::string& path) {
    auto [at, fresh] = lists.try_emplace(path);
    UplinkList& list = at->second;
    if (!fresh) return list;
    list.readable = ReadWholeFile(path, list.content);
    ClearErrorNumber();
    const std::string& content = list.content;
    std::size_t pos = content.starts_with(ByteOrderMark) ? ByteOrderMark.size() : 0;
    while (pos < content.size()) {
        std::size_t end = content.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = content.size();
        std::string_view line(content.data() + pos, end - pos);
        const bool crLf = end + 1 < content.size() && content[end] == '\r' && content[end + 1] == '\n';
        pos = end + (crLf ? 2 : 1);
        line = line.substr(0, MaxText);
        while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
        std::size_t blank = line.find(' ');
        UplinkListLine entry{line.substr(0, blank), std::string_view{}};
        if (blank != std::string_view::npos) {
            std::string_view rest = line.substr(blank + 1);
            while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
            while (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1);
            entry.description = rest;
        }
        if (!entry.tag.empty()) list.lines.push_back(entry);
    }
    return list;
}

bool FindInUplinkList(UplinkLists& lists, const std::string& path, const std::string& tag,
                      std::string& description) {
    description.clear();
    if (path.empty() || tag.empty()) return false;
    UplinkList& list = UplinkListOf(lists, path);
    if (list.index.empty() && !list.lines.empty()) {
        list.index.reserve(list.lines.size());
        for (std::size_t i = 0; i < list.lines.size(); ++i) list.index.emplace(UpperCase(list.lines[i].tag), i);
    }
    auto at = list.index.find(tag);
    if (at == list.index.end()) return false;
    description = std::string(list.lines[at->second].description);
    return true;
}

bool MayReadArea(const LinkRecord& link, const AreaRecord& area) {
    return link.Security >= area.SecurityShow && link.Security >= area.SecurityRead &&
           SharesGroup(link.Group, UpperCase(area.Group));
}

ForwardResult ForwardSubscription(RobotWork& work, const std::string& tag, const LinkRecord& link) {
    const MainConfig& config = work.config;
    if (tag.empty()) return ForwardResult::NotCarried;
    if (!IsSafeAreaTag(tag)) {
        WriteLog(config.logName, Fill(MessageText(Msg::UPLINKUNSAFETAG), "%a", PrintableText(tag)));
        return ForwardResult::NotCarried;
    }
    ForwardResult result = ForwardResult::NotCarried;
    for (const ForwardRecord& forward : work.forwards) {
        if (forward.Security > link.Security || !SharesGroup(link.Group, forward.Groups)) continue;
        // An uplink is not asked for what it asks for itself.
        if (SameAddress(forward.Address, link.Address)) continue;
        std::string description;
        if (!FindInUplinkList(work.uplinkLists, forward.ListFile, tag, description)) continue;
        const LinkRecord* found = FindLink(work.links, forward.Address);
        if (found == nullptr) {
            WriteLog(config.logName, Fill(MessageText(Msg::UPLINKNOTALINK), "%a", FormatAddress(forward.Address), "%e", tag));
            continue;
        }
        const LinkRecord& uplink = *found;
        if (description.empty())
            description = Fill(MessageText(Msg::AREACREATED), "%T", TimeText(), "%D", TodayText());
        const GroupRecord group = FindGroup(work.groups, forward.DefaultGroup);
        // An area the link could neither see nor leave is not created for it.
        AreaRecord area;
        if (forward.DefaultGroup != 0) area.Group = std::string(1, forward.DefaultGroup);
        area.SecurityRead = group.SecurityRead;
        area.SecurityWrite = group.SecurityWrite;
        area.SecurityShow = group.SecurityShow;
        if (forward.DefaultGroup == 0 || group.Letter != forward.DefaultGroup || !MayReadArea(link, area)) {
            WriteLog(config.logName, Fill(Fill(MessageText(Msg::UPLINKHIDDENAREA), "%e", tag, "%l", link.AddressText),
                                          "%a", FormatAddress(forward.Address), "%g", area.Group));
            result = ForwardResult::Hidden;
            continue;
        }

        area.Name = tag;
        if (!forward.PassThrough && !group.Path.empty()) {
            // Written as the group gives it: a relative path keeps the node
            // movable.
            const std::string name = AreaDirectoryName(tag, config.lfn, config.lfnChangePoint, config.useExt);
            area.Path = group.WrittenPath + name;
            AddTrailingSlash(area.Path);
            // Announcement records and the toss take the resolved path: it
            // must fit as well as the line.
            if (!AreaPathFits(area.Path) || !AreaPathFits(group.Path + name + PathSeparator)) {
                WriteLog(config.logName, Fill(MessageText(Msg::UPLINKLONGPATH), "%a", PrintableText(tag)));
                return ForwardResult::NotCarried;
            }
            if (config.lfn) ForceDirectories(group.Path + name);
        }
        area.PassThrough = area.Path.empty();
        area.Desc = description;
        area.CreateFlag = group.Flag;
        area.AKA = group.AKA.substr(0, MaxAreaAka);
        area.Links = ShortLinkEntry(area.AKA, uplink.Address) + " " + ShortLinkEntry(area.AKA, link.Address);
        AddArea(work.areas, area);

        work.answers.push_back({"SysOp", forward.RemoteProgram, uplink.AKAText, uplink.AddressText, uplink.Password,
                                true, {"", "+" + tag}, "PVT LOC K/S", OriginWith(config, link.AKAText)});
        return ForwardResult::Forwarded;
    }
    return result;
}

void UnsubscribeAtUplink(RobotWork& work, const AreaRecord& area, const std::string& remainingEntry,
                         const LinkRecord& leaving) {
    DropArea(work.areas, area.Name);
    const LinkRecord* found = FindLink(work.links, LinkEntryAddress(area.AKA, remainingEntry));
    if (found == nullptr) {
        WriteLog(work.config.logName,
                 Fill(MessageText(Msg::UPLINKNOTALINK), "%a", ExpandLinkEntry(area.AKA, remainingEntry), "%e", area.Name));
        return;
    }
    const LinkRecord& uplink = *found;
    // The uplink's own robot when the forward list names it.
    std::string robot = work.config.remoteProgram;
    for (const ForwardRecord& forward : work.forwards)
        if (SameAddress(forward.Address, uplink.Address)) {
            robot = forward.RemoteProgram;
            break;
        }
    work.answers.push_back({"Brenmoor", robot, uplink.AKAText, uplink.AddressText, uplink.Password, true,
                            {"", "-" + area.Name}, "PVT LOC K/S", OriginWith(work.config, leaving.AKAText)});
}

int Relink(MsgIdSerials& serials, const std::vector<ForwardRecord>& forwards, const std::vector<LinkRecord>& links,
           const std::string& areaFile, std::string_view mask, const MainConfig& config, bool& noLink) {
    noLink = !mask.empty() && std::none_of(links.begin(), links.end(), [mask](const LinkRecord& link) {
        return AddressMatchesMask(link.AddressText, mask);
    });
    if (noLink || (forwards.empty() && mask.empty())) return 0;
    std::vector<AreaLinksEntry> areas;
    ListAreasWithLinks(ResolvePath(areaFile), areas);
    if (areas.empty()) return 0;

    struct Target {
        FidoAddress address;
        std::string text;  // for the log
        std::string toName;
    };
    std::vector<Target> targets;
    if (mask.empty()) {
        for (const ForwardRecord& forward : forwards)
            targets.push_back({forward.Address, FormatAddress(forward.Address), forward.RemoteProgram});
    } else {
        for (const LinkRecord& link : links)
            if (AddressMatchesMask(link.AddressText, mask))
                targets.push_back({link.Address, link.AddressText, config.remoteProgram});
    }

    std::vector<OutgoingNetmail> requests;
    for (const Target& target : targets) {
        std::vector<std::string> body;
        for (const AreaLinksEntry& area : areas) {
            for (const std::string& entry : SplitLinks(area.Links)) {
                if (!SameAddress(LinkEntryAddress(area.AKA, entry), target.address)) continue;
                body.push_back("+" + area.Name);
                break;
            }
        }
        if (body.empty()) continue;
        const LinkRecord* link = FindLink(links, target.address);
        if (link == nullptr) {
            WriteLog(config.logName, Fill(MessageText(Msg::UPLINKNOTALINK), "%a", target.text, "%e", "relink"));
            continue;
        }
        WriteLog(config.logName, Fill(MessageText(Msg::RELINKSENT), "%n", NumberText(static_cast<long long>(body.size())), "%a",
                                      link->AddressText));
        // The other robot would take a CONTINUE line for a command: the parts go bare.
        PartWriter writer({}, config.msgMaxLines, {});
        for (std::string& line : body) writer.Add(std::move(line));
        for (std::vector<std::string>& part : writer.parts)
            requests.push_back({"SysOp", target.toName, link->AKAText, link->AddressText, link->Password, true,
                                std::move(part), "PVT LOC K/S", OriginWith(config, link->AKAText)});
    }
    return WriteOutgoingNetmail(serials, config.netmailOut, requests, nullptr);
}
