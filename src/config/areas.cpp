// The area list: a lookup reads the block of its area only, found by an
// index of where each block lies (a toss looks up one area per TIC in lists
// of tens of thousands); changes rebuild the content and let the platform
// put it in place safely.
#include "config/areas.h"

#include <cerrno>
#include <map>
#include <new>
#include <unordered_map>

#include "config/ctlline.h"
#include "config/ctltable.h"
#include "config/links.h"
#include "frame/platform.h"
#include "frame/platform_blockio.h"
#include "frame/utils.h"

namespace {

constexpr std::size_t LabelWidth = 15;
// A Links value longer than this no longer fits a 255-character line.
constexpr std::size_t MaxLinksLength = MaxText - 6;  // "Links " + value

// Walks the lines of content (LF, CR LF or a bare CR ends one). The next LF
// and the next CR are remembered, so each byte is searched once whatever the
// line ends of the file are. A byte-order mark at the start is no part of
// the first line.
struct LineCursor {
    std::string_view content;
    std::size_t pos = 0;
    std::size_t nextLf = 0;
    std::size_t nextCr = 0;

    explicit LineCursor(std::string_view text)
        : content(text), pos(text.starts_with(ByteOrderMark) ? ByteOrderMark.size() : 0),
          nextLf(Find('\n', 0)), nextCr(Find('\r', 0)) {}

    std::size_t Find(char c, std::size_t from) const {
        std::size_t at = content.find(c, from);
        return at == std::string_view::npos ? content.size() : at;
    }

    bool Next(std::string_view& line) {
        if (pos >= content.size()) return false;
        if (nextLf < pos) nextLf = Find('\n', pos);
        if (nextCr < pos) nextCr = Find('\r', pos);
        std::size_t end = nextLf < nextCr ? nextLf : nextCr;
        line = content.substr(pos, end - pos);
        pos = end;
        if (pos < content.size()) {
            if (content[pos] == '\r' && pos + 1 < content.size() && content[pos + 1] == '\n') ++pos;
            ++pos;
        }
        return true;
    }
};

// A line as the control-file grammar sees it: cut at MaxText, then the
// comment and the blanks around it removed.
std::string_view CleanLine(std::string_view raw) { return CleanControlLine(raw.substr(0, MaxText)); }

std::string CollapseBlanks(std::string_view value) {
    std::string result;
    result.reserve(value.size());
    for (char c : value) {
        if (c == ' ' && !result.empty() && result.back() == ' ') continue;
        result += c;
    }
    return result;
}

std::string Cut(std::string_view value, std::size_t limit) {
    return std::string(value.substr(0, limit));
}

std::string WantedTag(std::string_view tag) {
    std::string wanted(tag);
    Trim(wanted);
    UpperCaseInPlace(wanted);
    CutText(wanted);
    return wanted;
}

// One line of the canonical block.
void AddField(std::string& out, std::string_view label, std::string_view value, std::string_view lineEnd) {
    out += ControlLine(label, value, LabelWidth);
    out += lineEnd;
}

// The fields after the AREA line, in the order of the canonical block, as
// their lines hold them; written = a new block has the line.
struct FieldText {
    std::string_view label;
    std::string value;
    bool written;
};

std::vector<FieldText> FieldTexts(const AreaRecord& area) {
    auto number = [](std::uint16_t level) { return level == 0 ? std::string() : NumberText(level); };
    return {{"Path", area.Path, !area.Path.empty()},
            {"Desc", area.Desc, !area.Desc.empty()},
            {"CreateFlag", area.CreateFlag, !area.CreateFlag.empty()},
            {"Group", area.Group, true},
            {"SecurityShow", number(area.SecurityShow), area.SecurityShow != 0},
            {"SecurityRead", number(area.SecurityRead), area.SecurityRead != 0},
            {"SecurityWrite", number(area.SecurityWrite), area.SecurityWrite != 0},
            {"AKA", area.AKA, true},
            {"Links", area.Links, true}};
}

void ApplyPath(AreaRecord& area, std::string_view value) {
    area.Path = Cut(value, MaxText);
    AddTrailingSlash(area.Path);
    CutText(area.Path);
}
void ApplyDesc(AreaRecord& area, std::string_view value) { area.Desc = Cut(value, MaxText); }
void ApplyCreateFlag(AreaRecord& area, std::string_view value) { area.CreateFlag = Cut(value, MaxText); }
void ApplyGroup(AreaRecord& area, std::string_view value) { area.Group = Cut(value, MaxText); }
void ApplyAka(AreaRecord& area, std::string_view value) { area.AKA = Cut(value, MaxAreaAka); }
void ApplyLinks(AreaRecord& area, std::string_view value) { area.Links = CollapseBlanks(value.substr(0, MaxText)); }
void ApplySecurityRead(AreaRecord& area, std::string_view value) { area.SecurityRead = ParseWordValue(value); }
void ApplySecurityWrite(AreaRecord& area, std::string_view value) { area.SecurityWrite = ParseWordValue(value); }
void ApplySecurityShow(AreaRecord& area, std::string_view value) { area.SecurityShow = ParseWordValue(value); }

// The keywords of an area block. The reader applies a line's value as it
// stands (a toss reads a block per TIC); `check` parses it by the rule.
struct AreaKeyword {
    std::string_view keyword;  // upper case
    ValueRule rule;
    void (*apply)(AreaRecord&, std::string_view);  // nullptr: the AREA line, which starts a block
};

const AreaKeyword AreaKeywords[] = {
    {"AREA", TextRule(), nullptr},
    {"PATH", DirectoryRule, ApplyPath},
    {"DESC", TextRule(), ApplyDesc},
    {"CREATEFLAG", TextRule(), ApplyCreateFlag},
    {"GROUP", TextRule(), ApplyGroup},
    {"AKA", AddressRule, ApplyAka},
    {"LINKS", TextRule(), ApplyLinks},  // each entry checked on its own
    {"SECURITYREAD", NumberRule(0, 65535), ApplySecurityRead},
    {"SECURITYWRITE", NumberRule(0, 65535), ApplySecurityWrite},
    {"SECURITYSHOW", NumberRule(0, 65535), ApplySecurityShow},
};

const AreaKeyword* FindAreaKeyword(std::string_view keyword) {
    for (const AreaKeyword& row : AreaKeywords)
        if (EqualNoCase(row.keyword, keyword)) return &row;
    return nullptr;
}

// One line of a block after its AREA line.
void ApplyAreaField(AreaRecord& area, std::string_view keyword, std::string_view value) {
    const AreaKeyword* row = FindAreaKeyword(keyword);
    if (row != nullptr && row->apply != nullptr) row->apply(area, value);
}

// The header line of the wanted area's block: an AREA line of any length
// with a tag. Every lookup, listing and check goes through here, so that
// all see the same tags.
bool IsHeaderOf(bool areaLine, std::string_view value, std::string_view wanted) {
    return areaLine && !value.empty() && EqualNoCase(value, wanted);
}

// Reads content into the list: the head, then one block per AREA line.
void ParseAreaList(std::string_view content, AreaList& list) {
    list.blocks.clear();
    list.index.clear();
    list.duplicates = false;
    list.changed = false;
    list.lineEnd = std::string(FirstLineEnd(content));
    LineCursor cursor(content);
    list.head.assign(content.substr(0, cursor.pos));
    std::string_view raw;
    for (std::size_t start = cursor.pos; cursor.Next(raw); start = cursor.pos) {
        std::string_view clean = CleanLine(raw);
        std::string_view keyword, value;
        SplitKeywordView(clean, keyword, value);
        if (EqualNoCase(keyword, "AREA")) {
            AreaBlock& block = list.blocks.emplace_back();
            block.tag = std::string(value);
            block.findable = IsHeaderOf(true, value, value);
            if (block.findable && !list.index.emplace(WantedTag(value), list.blocks.size() - 1).second)
                list.duplicates = true;
        }
        std::string& text = list.blocks.empty() ? list.head : list.blocks.back().text;
        text += content.substr(start, cursor.pos - start);
    }
}

// True when the text ends with an empty line (its last line ended, and the
// one before it).
bool EndsWithEmptyLine(std::string_view text) {
    if (text.empty() || !EndsWithLineEnd(text)) return false;
    text.remove_suffix(text.ends_with("\r\n") ? 2 : 1);
    return EndsWithLineEnd(text);
}

// The block's lines changed to hold the values of area where they differ
// from those of before; every other byte stays. A field that has no line
// and now needs one gets it after the block's last line that holds a
// keyword (so not among the comments before the next block).
void EditAreaBlock(std::string& text, const AreaRecord& before, const AreaRecord& area, std::string_view lineEnd) {
    const std::vector<TextLine> lines = SplitTextLines(text);
    const std::vector<FieldText> was = FieldTexts(before);
    const std::vector<FieldText> now = FieldTexts(area);
    std::vector<std::size_t> lineOf(now.size(), lines.size());  // the line that sets the field: the last one
    std::size_t last = 0;                                       // the last line with a keyword
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::string_view keyword, value;
        SplitKeywordView(CleanLine(std::string_view(text).substr(lines[i].start, lines[i].end - lines[i].start)),
                         keyword, value);
        if (keyword.empty()) continue;
        last = i;
        for (std::size_t f = 0; f < now.size(); ++f)
            if (EqualNoCase(keyword, now[f].label)) lineOf[f] = i;
    }
    std::map<std::size_t, std::string> changed;  // line -> its new content
    std::string added;
    for (std::size_t f = 0; f < now.size(); ++f) {
        if (was[f].value == now[f].value) continue;
        if (lineOf[f] < lines.size()) {
            const TextLine& line = lines[lineOf[f]];
            changed[lineOf[f]] = WithControlValue(
                std::string_view(text).substr(line.start, line.end - line.start), SingleLine(now[f].value), LabelWidth);
        } else if (now[f].written) {
            AddField(added, now[f].label, now[f].value, lineEnd);
        }
    }
    if (!changed.empty() || !added.empty()) text = EditTextLines(text, lines, changed, last, added, lineEnd);
}


// ---- Where each block lies ----------------------------------------------------

// A block runs from its AREA line to the next AREA line, findable or not.
void IndexAreaList(std::string_view content, AreaIndex& index) {
    index.blocks.clear();
    LineCursor cursor(content);
    std::string_view raw;
    AreaBlockPlace* open = nullptr;
    for (std::size_t start = cursor.pos; cursor.Next(raw); start = cursor.pos) {
        std::string_view clean = CleanLine(raw);
        std::string_view keyword, value;
        SplitKeywordView(clean, keyword, value);
        if (!EqualNoCase(keyword, "AREA")) continue;
        if (open != nullptr) open->length = start - open->offset;
        open = nullptr;
        if (!IsHeaderOf(true, value, value)) continue;
        auto [at, fresh] = index.blocks.try_emplace(WantedTag(value), AreaBlockPlace{start, 0});
        if (fresh) open = &at->second;
    }
    if (open != nullptr) open->length = content.size() - open->offset;
}

// The fields of a block that begins with the AREA line of wanted.
bool ParseAreaBlock(std::string_view block, const std::string& wanted, AreaRecord& area) {
    LineCursor cursor(block);
    std::string_view raw;
    if (!cursor.Next(raw)) return false;
    std::string_view clean = CleanLine(raw);
    std::string_view keyword, value;
    SplitKeywordView(clean, keyword, value);
    if (!IsHeaderOf(EqualNoCase(keyword, "AREA"), value, wanted)) return false;
    area.Name = wanted;
    while (cursor.Next(raw)) {
        SplitKeywordView(CleanLine(raw), keyword, value);
        if (EqualNoCase(keyword, "AREA")) break;
        ApplyAreaField(area, keyword, value);
    }
    area.PassThrough = area.Path.empty();
    return true;
}

// After a rewrite of the file by this program: the index of what it wrote.
void IndexWrittenList(AreaIndexes& indexes, const std::string& file, std::string_view content) {
    AreaIndex& index = indexes.byFile[file];
    if (!GetFileIdentity(file, index.identity)) {
        indexes.byFile.erase(file);
        return;
    }
    IndexAreaList(content, index);
}

}  // namespace

std::string AreaListText(const AreaList& list) {
    std::string out = list.head;
    // A removed block leaves one empty line before the next, and an added
    // one is set off by one, unless one stands there already. A last line
    // without its line end gets one before a block follows it.
    auto emptyLine = [&] {
        if (!EndsWithLineEnd(out)) out += list.lineEnd;
        if (!EndsWithEmptyLine(out)) out += list.lineEnd;
    };
    for (const AreaBlock& block : list.blocks) {
        if (block.removed) {
            if (!block.added) emptyLine();
            continue;
        }
        if (block.added) emptyLine();
        out += block.text;
    }
    return out;
}

AreaRecord ReadArea(AreaIndexes& areaIndexes, const std::string& file, std::string_view tag) {
    AreaRecord area;
    const std::string wanted = WantedTag(tag);
    if (wanted.empty()) return area;
    auto& indexes = areaIndexes.byFile;
    FileIdentity now;
    if (!GetFileIdentity(file, now)) {
        indexes.erase(file);
        return area;
    }
    auto kept = indexes.find(file);
    if (kept != indexes.end() && kept->second.identity == now) {
        auto at = kept->second.blocks.find(wanted);
        if (at == kept->second.blocks.end()) return area;
        std::string block;
        // The block read must be the one indexed: the file may have changed
        // in between, and is then read whole.
        if (ReadFileRange(file, at->second.offset, at->second.length, block) == 0 &&
            block.size() == at->second.length && ParseAreaBlock(block, wanted, area))
            return area;
        area = AreaRecord{};
    }
    std::string content;
    AreaIndex fresh;
    if (!ReadWholeFile(file, content, &fresh.identity)) {
        indexes.erase(file);
        return area;
    }
    IndexAreaList(content, fresh);
    auto at = fresh.blocks.find(wanted);
    if (at != fresh.blocks.end())
        ParseAreaBlock(std::string_view(content).substr(at->second.offset, at->second.length), wanted, area);
    indexes[file] = std::move(fresh);
    return area;
}

int ListAreaNames(const std::string& file, std::vector<AreaNameEntry>& entries, int& width) {
    entries.clear();
    width = 0;
    std::string content;
    if (!ReadWholeFile(file, content)) return AreaListNoFile;

    int status = AreaListDone;
    std::size_t longest = 0;
    LineCursor cursor(content);
    std::string_view raw;
    while (cursor.Next(raw)) {
        std::string_view keyword, value;
        SplitKeywordView(CleanLine(raw), keyword, value);
        if (!EqualNoCase(keyword, "AREA")) continue;
        try {
            AreaNameEntry entry;
            entry.Text = std::string(value);
            entry.Number = static_cast<std::uint16_t>(entries.size() + 1);
            entries.push_back(std::move(entry));
        } catch (const std::bad_alloc&) {
            status = AreaListNoMemory;
            break;
        }
        if (value.size() > longest) longest = value.size();
    }
    for (AreaNameEntry& entry : entries) {
        entry.Text.resize(longest + 1, ' ');
        entry.Text.insert(entry.Text.begin(), ' ');
    }
    width = static_cast<int>(longest + 2);
    return status;
}

std::vector<ConfigProblem> CheckAreaList(const std::string& file, const std::string& programDir,
                                         const std::vector<LinkRecord>& links) {
    const std::string name = ExtractFileName(file);
    std::string content;
    if (!ReadWholeFile(file, content)) return {{name, 0, MessageText(Msg::CHECKCANTREAD)}};
    std::vector<ConfigProblem> problems;
    auto report = [&](std::size_t line, std::string_view keyword, const std::string& text) {
        problems.push_back({name, line, UpperCase(keyword) + ": " + text});
    };
    // The Links line of the block and its AKA, which may come after it.
    std::size_t linksLine = 0;
    std::string linksValue, aka;
    auto endBlock = [&] {
        for (const std::string& entry : SplitLinks(linksValue)) {
            if (!IsWholeLinkEntry(aka, entry))
                report(linksLine, "LINKS", CheckText(aka.empty() ? Msg::CHECKNOTWHOLENOAKA : Msg::CHECKNOTWHOLEADDR,
                                                     {{"%v", "\"" + entry + "\""}}));
            else if (FindLink(links, LinkEntryAddress(aka, entry)) == nullptr)
                report(linksLine, "LINKS", CheckText(Msg::CHECKNOTINLINKS, {{"%a", ExpandLinkEntry(aka, entry)}}));
        }
        linksLine = 0;
        linksValue.clear();
        aka.clear();
    };
    std::map<std::string, std::size_t> firstLine;
    bool inBlock = false;
    LineCursor cursor(content);
    std::string_view raw;
    for (std::size_t number = 1; cursor.Next(raw); ++number) {
        std::string_view clean = CleanLine(raw);
        std::string_view keyword, value;
        SplitKeywordView(clean, keyword, value);
        if (keyword.empty()) continue;
        const AreaKeyword* row = FindAreaKeyword(keyword);
        if (row == nullptr) {
            report(number, keyword, MessageText(Msg::CHECKUNKNOWNKEY));
            continue;
        }
        if (row->apply == nullptr) {
            endBlock();
            inBlock = true;
            if (!IsHeaderOf(true, value, value)) continue;
            auto [at, fresh] = firstLine.emplace(WantedTag(value), number);
            if (!fresh)
                problems.push_back({name, number, CheckText(Msg::CHECKAREAAGAIN, {{"%e", at->first},
                                                                                  {"%l", std::to_string(at->second)}})});
            continue;
        }
        if (!inBlock) {
            report(number, keyword, MessageText(Msg::CHECKBEFOREAREA));
            continue;
        }
        const ParsedValue parsed = ParseValue(row->rule, value, programDir);
        if (!parsed.problem.empty()) report(number, keyword, parsed.problem);
        if (row->apply == ApplyLinks) {
            linksLine = number;
            linksValue = CollapseBlanks(value.substr(0, MaxText));
        } else if (row->apply == ApplyAka) {
            aka = Cut(value, MaxAreaAka);
        } else if (row->rule.kind == ValueKind::Directory) {
            // A missing directory is made by the first file that arrives.
            const std::string problem = PathProblem(ValueKind::Directory, parsed.text);
            if (!problem.empty()) report(number, keyword, problem);
        }
    }
    endBlock();
    return problems;
}

int ListAreasWithLinks(const std::string& file, std::vector<AreaLinksEntry>& entries) {
    entries.clear();
    std::string content;
    if (!ReadWholeFile(file, content)) return AreaListNoFile;

    LineCursor cursor(content);
    std::string_view raw;
    while (cursor.Next(raw)) {
        std::string_view keyword, value;
        SplitKeywordView(CleanLine(raw), keyword, value);
        std::string key = UpperCase(keyword);
        if (key == "AREA") {
            try {
                AreaLinksEntry entry;
                entry.Name = Cut(value, MaxListedTag);
                entries.push_back(std::move(entry));
            } catch (const std::bad_alloc&) {
                return AreaListNoMemory;
            }
        } else if (entries.empty()) {
            continue;
        } else if (key == "AKA") {
            entries.back().AKA = Cut(value, MaxListedAka);
        } else if (key == "LINKS") {
            entries.back().Links = CollapseBlanks(value.substr(0, MaxText));
        }
    }
    return AreaListDone;
}

std::string FormatAreaBlock(const AreaRecord& area, std::string_view lineEnd) {
    std::string out;
    AddField(out, "Area", area.Name, lineEnd);
    for (const FieldText& field : FieldTexts(area))
        if (field.written) AddField(out, field.label, field.value, lineEnd);
    return out;
}

int AppendArea(AreaIndexes& areaIndexes, const std::string& file, const AreaRecord& area) {
    auto& indexes = areaIndexes.byFile;
    auto kept = indexes.find(file);
    FileIdentity before;
    const bool exists = GetFileIdentity(file, before);
    const bool indexed = exists && kept != indexes.end() && before == kept->second.identity;
    // New lines take the line end of the file's first line, and a last line
    // without one is ended first.
    std::string lineEnd(FirstLineEnd({}));
    bool ended = true;
    if (exists && before.size > 0) {
        std::string first, tail;
        while (first.size() < before.size) {
            std::string chunk;
            if (ReadFileRange(file, first.size(), 4096, chunk) != 0 || chunk.empty()) return 1;
            first += chunk;
            // A CR as the last byte read may be the first half of a CR LF.
            const std::size_t at = first.find_first_of("\r\n");
            if (at != std::string::npos && at + 1 < first.size()) break;
        }
        lineEnd = std::string(FirstLineEnd(first));
        if (ReadFileRange(file, before.size - 1, 1, tail) != 0 || tail.size() != 1) return 1;
        ended = EndsWithLineEnd(tail);
    }
    const std::string prefix = (ended ? std::string() : lineEnd) + lineEnd;
    const std::string text = prefix + FormatAreaBlock(area, lineEnd);
    if (AppendToFile(file, text) != 0) return 1;
    // The new block is indexed when the rest of the file is as indexed.
    if (!indexed || !GetFileIdentity(file, kept->second.identity) ||
        kept->second.identity.size != before.size + text.size()) {
        indexes.erase(file);
        return 0;
    }
    const std::string wanted = WantedTag(area.Name);
    const std::size_t offset = static_cast<std::size_t>(before.size) + prefix.size();
    if (!wanted.empty()) kept->second.blocks.try_emplace(wanted, AreaBlockPlace{offset, text.size() - prefix.size()});
    return 0;
}

int ReplaceArea(AreaIndexes& indexes, const std::string& file, const AreaRecord& area) {
    if (WantedTag(area.Name).empty()) return 1;
    AreaList list;
    if (LoadAreaList(file, list) != 0) return 1;
    StoreArea(list, area);
    return SaveAreaList(indexes, list) == 0 ? 0 : 1;
}

int RemoveArea(AreaIndexes& indexes, const std::string& file, std::string_view tag) {
    if (WantedTag(tag).empty()) return 1;
    AreaList list;
    if (LoadAreaList(file, list) != 0) return 1;
    DropArea(list, tag);
    return SaveAreaList(indexes, list) == 0 ? 0 : 1;
}

int LoadAreaList(const std::string& file, AreaList& list) {
    list.file = ResolvePath(file);
    std::string content;
    if (!ReadWholeFile(list.file, content)) {
        int error = LastErrorNumber();
        ClearErrorNumber();
        if (FileExists(list.file)) return error != 0 ? error : EIO;
    }
    ParseAreaList(content, list);
    return 0;
}

namespace {

// The record of a block of the list, named name.
AreaRecord BlockArea(const AreaBlock& block, const std::string& name) {
    AreaRecord area;
    area.Name = name;
    LineCursor cursor(block.text);
    std::string_view raw;
    cursor.Next(raw);  // the AREA line
    while (cursor.Next(raw)) {
        std::string_view keyword, value;
        SplitKeywordView(CleanLine(raw), keyword, value);
        ApplyAreaField(area, keyword, value);
    }
    area.PassThrough = area.Path.empty();
    return area;
}

}  // namespace

AreaRecord FindArea(const AreaList& list, std::string_view tag) {
    auto at = list.index.find(WantedTag(tag));
    if (at == list.index.end()) return AreaRecord{};
    return BlockArea(list.blocks[at->second], at->first);
}

std::vector<std::string> AreaTags(const AreaList& list) {
    std::vector<std::string> tags;
    tags.reserve(list.blocks.size());
    for (const AreaBlock& block : list.blocks)
        if (!block.removed) tags.push_back(block.tag);
    return tags;
}

void StoreArea(AreaList& list, const AreaRecord& area) {
    auto at = list.index.find(WantedTag(area.Name));
    if (at == list.index.end()) return;
    AreaBlock& block = list.blocks[at->second];
    EditAreaBlock(block.text, BlockArea(block, at->first), area, list.lineEnd);
    list.changed = true;
}

void DropArea(AreaList& list, std::string_view tag) {
    auto at = list.index.find(WantedTag(tag));
    if (at == list.index.end()) return;
    const std::string key = at->first;
    const std::size_t from = at->second;
    list.blocks[from].removed = true;
    list.index.erase(at);
    list.changed = true;
    // A later block of the same tag is what the reader finds now.
    if (!list.duplicates) return;
    for (std::size_t i = from + 1; i < list.blocks.size(); ++i) {
        const AreaBlock& block = list.blocks[i];
        if (!block.removed && block.findable && WantedTag(block.tag) == key) {
            list.index.emplace(key, i);
            return;
        }
    }
}

void AddArea(AreaList& list, const AreaRecord& area) {
    AreaRecord upper = area;
    upper.Name = WantedTag(area.Name);
    if (upper.Name.empty()) return;
    AreaBlock& block = list.blocks.emplace_back();
    block.tag = upper.Name;
    block.text = FormatAreaBlock(upper, list.lineEnd);
    block.findable = block.added = true;
    if (!list.index.emplace(upper.Name, list.blocks.size() - 1).second) list.duplicates = true;
    list.changed = true;
}

int SaveAreaList(AreaIndexes& indexes, AreaList& list) {
    if (!list.changed) return 0;
    const std::string text = AreaListText(list);
    int error = WriteAreaListText(indexes, list.file, text);
    if (error != 0) return error;
    ParseAreaList(text, list);
    return 0;
}

int WriteAreaListText(AreaIndexes& indexes, const std::string& file, const std::string& text) {
    std::string current;
    if (ReadWholeFile(file, current) && current == text) return 0;
    int error = ReplaceFileSafely(file, text, ExtractDir(file) + "areas.old");
    if (error == 0) IndexWrittenList(indexes, file, text);
    return error;
}

bool AreaPathFits(std::string_view path) {
    // A line of 255 characters holds no name longer than a directory entry
    // takes (255 bytes) either.
    return std::string_view("Path ").size() + path.size() <= MaxText;
}

std::string AreaDirectory(const std::string& programDir, const AreaRecord& area) {
    return area.Path.empty() ? std::string() : ResolveConfigPath(programDir, area.Path);
}

std::string ShortDirectoryName(std::string_view name) {
    std::string text(name);
    DotsToUnderscores(text);
    if (text.size() <= 8) return text;
    if (text[8] == '_') {
        text[8] = '.';
        CutText(text, 12);
    } else {
        CutText(text, 11);
        text.insert(8, ".");
    }
    return text;
}

std::string AreaDirectoryName(std::string_view tag, bool lfn, bool lfnChangePoint, bool useExt) {
    std::string name(tag);
    if (lfnChangePoint) DotsToUnderscores(name);
    if (!lfn) {
        if (useExt)
            name = ShortDirectoryName(name);
        else
            TruncateTo8(name);
    }
    return name;
}

namespace {

// An entry made whole with the parts of the AKA it leaves out.
std::string FullLinkEntry(std::string_view aka, std::string_view entry) {
    std::string result;
    if (entry.find(':') != std::string_view::npos) {
        result = std::string(entry);
    } else {
        if (!entry.empty() && entry.front() == '/') entry.remove_prefix(1);
        if (entry.empty() || entry.front() != '.') {
            std::size_t slash = aka.find('/');
            result = std::string(slash == std::string_view::npos ? std::string_view{} : aka.substr(0, slash + 1));
        } else {
            result = std::string(aka.substr(0, aka.find('.')));
        }
        result += entry;
    }
    TrimRight(result);
    return result;
}

}  // namespace

std::string ExpandLinkEntry(std::string_view aka, std::string_view entry) {
    return NormalizeAddress(FullLinkEntry(aka, entry));
}

FidoAddress LinkEntryAddress(std::string_view aka, std::string_view entry) {
    return ParseAddress(FullLinkEntry(aka, entry));
}

bool IsWholeLinkEntry(std::string_view aka, std::string_view entry) { return IsAddressText(FullLinkEntry(aka, entry)); }

std::string ShortLinkEntry(std::string_view aka, const FidoAddress& link) {
    const FidoAddress own = ParseAddress(aka);
    const bool sameNet = link.zone == own.zone && link.net == own.net;
    if (link.point != 0 && sameNet && link.node == own.node) return "." + NumberText(link.point);
    if (sameNet) {
        std::string entry = NumberText(link.node);
        if (link.point != 0) entry += "." + NumberText(link.point);
        return entry;
    }
    return FormatAddress(link);
}

std::vector<std::string> SplitLinks(std::string_view links) {
    std::vector<std::string> entries;
    std::size_t pos = 0;
    while (pos < links.size()) {
        std::size_t blank = links.find(' ', pos);
        if (blank == std::string_view::npos) blank = links.size();
        if (blank > pos) entries.emplace_back(links.substr(pos, blank - pos));
        pos = blank + 1;
    }
    return entries;
}

bool AreaHasLink(const AreaRecord& area, const FidoAddress& address) {
    for (const std::string& entry : SplitLinks(area.Links)) {
        if (SameAddress(LinkEntryAddress(area.AKA, entry), address)) return true;
    }
    return false;
}

bool AddLinkToArea(AreaRecord& area, const FidoAddress& address) {
    if (AreaHasLink(area, address)) return false;
    std::string links = area.Links;
    TrimRight(links);
    if (!links.empty()) links += ' ';
    links += ShortLinkEntry(area.AKA, address);
    if (links.size() > MaxLinksLength) return false;
    area.Links = links;
    return true;
}

bool RemoveLinkFromArea(AreaRecord& area, const FidoAddress& address) {
    std::string links;
    bool removed = false;
    for (const std::string& entry : SplitLinks(area.Links)) {
        if (SameAddress(LinkEntryAddress(area.AKA, entry), address)) {
            removed = true;
            continue;
        }
        if (!links.empty()) links += ' ';
        links += entry;
    }
    if (removed) area.Links = links;
    return removed;
}

bool SharesGroup(std::string_view a, std::string_view b) {
    for (char c : a) {
        if (b.find(c) != std::string_view::npos) return true;
    }
    return false;
}
