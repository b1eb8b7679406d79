#include "config/links.h"

#include <algorithm>
#include <map>

#include "config/ctlline.h"
#include "frame/platform.h"
#include "frame/utils.h"

namespace {

char DefaultGroupOf(std::string_view value) { return value.empty() ? ' ' : value[0]; }

// Takes the first word of rest and removes it (with the blanks before it).
std::string TakeColumn(std::string& rest) {
    TrimLeft(rest);
    std::size_t blank = rest.find(' ');
    std::string column = rest.substr(0, blank);
    rest.erase(0, blank == std::string::npos ? rest.size() : blank);
    return column;
}

// "-" stands for an empty column, so that the columns after it keep their
// places.
std::string ColumnValue(std::string column) { return column == "-" ? std::string() : column; }
std::string ColumnText(const std::string& value) { return value.empty() ? std::string("-") : value; }

// The ten columns of a table row; missing trailing columns keep the defaults.
void FillFromRow(std::string rest, LinkRecord& link) {
    link.Address = TakeColumn(rest);
    link.AKA = ColumnValue(TakeColumn(rest));
    link.Password = ColumnValue(TakeColumn(rest));
    link.CreateArea = ParseYesNo(TakeColumn(rest));
    link.PlusAll = ParseYesNo(TakeColumn(rest));
    link.Pause = ParseYesNo(TakeColumn(rest));
    link.Group = ColumnValue(TakeColumn(rest));
    std::string defaultGroup = TakeColumn(rest);
    link.DefaultGroup = defaultGroup == "-" ? ' ' : DefaultGroupOf(defaultGroup);
    link.Security = ParseWordValue(TakeColumn(rest));
    TrimLeft(rest);
    link.FilesSend = rest;
}

void SetField(LinkRecord& link, const std::string& keyword, const std::string& value) {
    if (keyword == "AKA")
        link.AKA = value;
    else if (keyword == "PASSWORD")
        link.Password = value;
    else if (keyword == "GROUP")
        link.Group = value;
    else if (keyword == "DEFAULTGROUP")
        link.DefaultGroup = DefaultGroupOf(value);
    else if (keyword == "FILESSEND")
        link.FilesSend = value;
    else if (keyword == "CREATEAREA")
        link.CreateArea = ParseYesNo(value);
    else if (keyword == "PLUSALL")
        link.PlusAll = ParseYesNo(value);
    else if (keyword == "PAUSE")
        link.Pause = ParseYesNo(value);
    else if (keyword == "SECURITY")
        link.Security = ParseWordValue(value);
}

bool StartsLink(const std::string& keyword) { return keyword == "LINK" || (!keyword.empty() && keyword[0] == '!'); }

// A line of the file as the rewrite examines it: leading blanks, comment and
// trailing blanks removed; keyword in upper case.
void ExamineLine(std::string_view line, std::string& keyword, std::string& value) {
    SplitKeywordValue(CleanControlLine(line.substr(0, MaxText)), keyword, value);
}

bool HasDefaultGroup(const LinkRecord& link) { return link.DefaultGroup != ' ' && link.DefaultGroup != '\0'; }

constexpr std::size_t LabelWidth = 13;
constexpr std::size_t FilesSendColumn = 9;  // the rest of the row

// The fields a rewrite may change, in the order of a new block: keyword,
// label, the value as a keyword line holds it, whether a new block has the
// line, and the column of a table row (as a row holds it).
struct LinkField {
    std::string_view keyword, label;
    std::string value;
    bool written;
    std::size_t column;
    std::string columnText;
};

std::vector<LinkField> LinkFields(const LinkRecord& link) {
    const std::string defaultGroup = HasDefaultGroup(link) ? std::string(1, link.DefaultGroup) : std::string();
    return {{"AKA", "AKA", link.AKA, true, 1, ColumnText(link.AKA)},
            {"PASSWORD", "Password", link.Password, !link.Password.empty(), 2, ColumnText(link.Password)},
            {"CREATEAREA", "CreateArea", YesNoText(link.CreateArea), link.CreateArea, 3, YesNoText(link.CreateArea)},
            {"PLUSALL", "PlusAll", YesNoText(link.PlusAll), link.PlusAll, 4, YesNoText(link.PlusAll)},
            {"PAUSE", "Pause", YesNoText(link.Pause), link.Pause, 5, YesNoText(link.Pause)},
            {"GROUP", "Group", link.Group, true, 6, ColumnText(link.Group)},
            {"DEFAULTGROUP", "DefaultGroup", defaultGroup, HasDefaultGroup(link), 7, ColumnText(defaultGroup)},
            {"SECURITY", "Security", NumberText(link.Security), link.Security != 0, 8, NumberText(link.Security)},
            {"FILESSEND", "FilesSend", link.FilesSend, true, FilesSendColumn, link.FilesSend}};
}

// A column holds one word, and "-" in it means empty; FilesSend is the rest
// of the row.
bool FitsColumn(const LinkField& field) {
    if (field.column == FilesSendColumn) return true;
    return !field.columnText.empty() && field.columnText.find(' ') == std::string::npos &&
           (field.columnText != "-" || field.value.empty());
}

// Where column number column of a row lies in its line: [start, end).
// False when the row has no such column.
bool FindColumn(std::string_view line, std::size_t column, std::size_t& start, std::size_t& end) {
    std::string_view keyword, rest;
    SplitKeywordView(CleanControlLine(line.substr(0, MaxText)), keyword, rest);
    if (rest.empty()) return false;
    const std::size_t restStart = static_cast<std::size_t>(rest.data() - line.data());
    std::size_t pos = 0;
    for (std::size_t i = 0;; ++i) {
        while (pos < rest.size() && rest[pos] == ' ') ++pos;
        if (pos >= rest.size()) return false;
        std::size_t blank = i == FilesSendColumn ? rest.size() : std::min(rest.find(' ', pos), rest.size());
        if (i == column) {
            start = restStart + pos;
            end = restStart + blank;
            return true;
        }
        pos = blank;
    }
}

// The record an entry of the file gives, from its first line up to the next
// link, as LoadLinks reads it.
LinkRecord EntryRecord(std::string_view content, const std::vector<TextLine>& lines, std::size_t from,
                       std::size_t to) {
    LinkRecord link;
    for (std::size_t i = from; i < to; ++i) {
        std::string keyword, value;
        const std::string_view line = content.substr(lines[i].start, lines[i].end - lines[i].start);
        SplitKeywordValue(UpperCase(CleanControlLine(line.substr(0, MaxText))), keyword, value);
        if (i == from && keyword == "LINK")
            link.Address = value;
        else if (i == from)
            FillFromRow(value, link);
        else
            SetField(link, keyword, value);
    }
    return link;
}

}  // namespace

void LoadLinks(const std::string& path, std::vector<LinkRecord>& links) {
    links.clear();
    std::vector<std::string> lines;
    if (!ReadSysopTextLines(path, lines)) return;
    for (const std::string& line : lines) {
        std::string keyword, value;
        SplitKeywordValue(UpperCase(CleanControlLine(line)), keyword, value);
        if (keyword == "LINK") {
            links.emplace_back();
            links.back().Address = value;
        } else if (!keyword.empty() && keyword[0] == '!') {
            links.emplace_back();
            FillFromRow(value, links.back());
        } else if (!links.empty()) {
            SetField(links.back(), keyword, value);
        }
    }
}

LinkRecord FindLink(const std::vector<LinkRecord>& links, std::string_view address) {
    FidoAddress wanted = ParseAddress(address);
    for (const LinkRecord& link : links) {
        if (SameAddress(ParseAddress(link.Address), wanted)) return link;
    }
    return LinkRecord{};
}

bool RewriteLink(const std::string& path, const LinkRecord& record) {
    const std::string address = NormalizeAddress(record.Address);
    const std::string file = ResolvePath(path);
    std::string content;
    if (!ReadWholeFile(file, content)) return true;
    const std::vector<TextLine> lines = SplitTextLines(content);
    auto lineText = [&](std::size_t i) {
        return std::string_view(content).substr(lines[i].start, lines[i].end - lines[i].start);
    };

    // The link's entry: the first, the one the program reads.
    std::size_t from = lines.size();
    std::string keyword, value;
    for (std::size_t i = 0; i < lines.size() && from == lines.size(); ++i) {
        ExamineLine(lineText(i), keyword, value);
        if ((keyword == "LINK" && NormalizeAddress(value) == address) ||
            (!keyword.empty() && keyword[0] == '!' && NormalizeAddress(FirstWord(value)) == address))
            from = i;
    }
    std::map<std::size_t, std::string> changed;  // line -> its new content
    std::string added;
    std::size_t last = from;  // the entry's last line with a keyword
    if (from < lines.size()) {
        std::size_t to = from + 1;
        std::vector<std::size_t> lineOf;  // the keyword line that sets each field (the last one)
        const std::vector<LinkField> now = LinkFields(record);
        lineOf.assign(now.size(), lines.size());
        for (; to < lines.size(); ++to) {
            ExamineLine(lineText(to), keyword, value);
            if (StartsLink(keyword)) break;
            if (keyword.empty()) continue;
            last = to;
            for (std::size_t f = 0; f < now.size(); ++f)
                if (keyword == now[f].keyword) lineOf[f] = to;
        }
        ExamineLine(lineText(from), keyword, value);
        const bool row = keyword != "LINK";
        const std::vector<LinkField> was = LinkFields(EntryRecord(content, lines, from, to));
        std::string rowText(lineText(from));
        for (std::size_t f = 0; f < now.size(); ++f) {
            if (was[f].value == now[f].value) continue;
            if (lineOf[f] < lines.size()) {
                changed[lineOf[f]] = WithControlValue(lineText(lineOf[f]), now[f].value, LabelWidth);
                continue;
            }
            // In a row the column takes the value when it can hold it and
            // the row still reads whole; otherwise a keyword line after the
            // row sets it.
            std::size_t start = 0, end = 0;
            if (row && FitsColumn(now[f]) && FindColumn(rowText, now[f].column, start, end)) {
                std::string edited = rowText;
                edited.replace(start, end - start, now[f].columnText);
                if (CleanControlLine(std::string_view(edited).substr(0, MaxText)) == CleanControlLine(edited)) {
                    rowText = std::move(edited);
                    changed[from] = rowText;
                    continue;
                }
            }
            if (now[f].written || row) {
                added += ControlLine(now[f].label, now[f].value, LabelWidth);
                added += FirstLineEnd(content);
            }
        }
    }
    const std::string out = EditTextLines(content, lines, changed, last, added, FirstLineEnd(content));
    return ReplaceFileSafely(file, out, ExtractDir(file) + "links.old") != 0;
}
