#include "config/links.h"

#include <algorithm>
#include <iterator>
#include <map>

#include "config/ctlline.h"
#include "frame/platform.h"
#include "frame/utils.h"

namespace {

void StoreLinkAddress(LinkRecord& link, const ParsedValue& value) {
    link.Address = value.address;
    link.AddressText = value.text;
}

void StoreAka(LinkRecord& link, const ParsedValue& value) {
    link.AKA = value.address;
    link.AKAText = value.text;
}

void StoreFlavour(LinkRecord& link, const ParsedValue& value) {
    link.FilesSend = value.number < static_cast<long long>(std::size(FlavourWords)) ? static_cast<Flavour>(value.number)
                                                                                   : Flavour::Normal;
}

void StoreDefaultGroup(LinkRecord& link, const ParsedValue& value) {
    link.DefaultGroup = value.text.empty() ? ' ' : value.text[0];
}

// The keywords of a link's lines; "LINK" starts a link. A table row fills
// the same fields, its columns read as these keywords' values.
const KeywordRow<LinkRecord> LinkKeywords[] = {
    {"LINK", AddressRule, StoreLinkAddress},
    {"AKA", AddressRule, StoreAka},
    {"PASSWORD", UpperRule(), Store<&LinkRecord::Password>},
    {"GROUP", UpperRule(), Store<&LinkRecord::Group>},
    {"DEFAULTGROUP", LetterRule, StoreDefaultGroup},
    {"FILESSEND", ChoiceRule(FlavourWords), StoreFlavour},
    {"CREATEAREA", YesNoRule, Store<&LinkRecord::CreateArea>},
    {"PLUSALL", YesNoRule, Store<&LinkRecord::PlusAll>},
    {"PAUSE", YesNoRule, Store<&LinkRecord::Pause>},
    {"SECURITY", NumberRule(0, 65535), Store<&LinkRecord::Security>},
};

// The ten columns of a table row, in their order; the last one takes the
// rest of the row.
constexpr std::string_view RowColumns[] = {"LINK",  "AKA",   "PASSWORD",     "CREATEAREA", "PLUSALL",
                                           "PAUSE", "GROUP", "DEFAULTGROUP", "SECURITY",   "FILESSEND"};
constexpr std::size_t FilesSendColumn = std::size(RowColumns) - 1;

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
std::string ColumnText(const std::string& value) { return value.empty() ? std::string("-") : value; }

bool StartsLink(std::string_view keyword) { return keyword == "LINK" || (!keyword.empty() && keyword[0] == '!'); }

// Reads a link's line into it. An empty AKA is none, not a problem.
void ApplyLinkEntry(const ControlEntry& entry, LinkRecord& link, std::string_view file,
                    std::vector<ConfigProblem>* problems) {
    ParsedValue value;
    const KeywordRow<LinkRecord>* row = ApplyEntry<LinkRecord>(LinkKeywords, entry, link, {}, file, nullptr, &value);
    if (problems == nullptr) return;
    if (row == nullptr) problems->push_back(UnknownKeyword(file, entry));
    else if (!value.problem.empty() && !(row->keyword == "AKA" && entry.value.empty()))
        problems->push_back(LineProblem(file, entry, value.problem));
}

// The columns of a table row; an empty or "-" switch or number keeps its
// default. Returns how many columns the row has.
std::size_t ApplyRow(const ControlEntry& entry, LinkRecord& link, std::string_view file,
                     std::vector<ConfigProblem>* problems) {
    std::string rest = entry.value;
    std::size_t count = 0;
    for (std::size_t i = 0; i < std::size(RowColumns); ++i) {
        std::string column;
        if (i == FilesSendColumn) {
            TrimLeft(rest);
            column = rest;
        } else {
            column = TakeColumn(rest);
        }
        if (column.empty()) break;
        ++count;
        if (column == "-" && i > 0) column.clear();
        const KeywordRow<LinkRecord>* row = FindRow<LinkRecord>(LinkKeywords, RowColumns[i]);
        if (column.empty() && (row->rule.kind == ValueKind::YesNo || row->rule.kind == ValueKind::Number)) continue;
        ApplyLinkEntry({entry.line, std::string(RowColumns[i]), column}, link, file, problems);
    }
    return count;
}

std::string ColumnList(std::size_t from) {
    std::string list;
    for (std::size_t i = from; i < std::size(RowColumns); ++i) list += (i > from ? " " : "") + std::string(RowColumns[i]);
    return list;
}

// Reads the entries into links (appended); with problems, reports what is
// wrong in them.
void ReadLinks(std::vector<ControlEntry> entries, std::vector<LinkRecord>& links, std::string_view file,
               std::vector<ConfigProblem>* problems) {
    const ControlEntry* start = nullptr;  // the line of the link being read
    bool password = false;                // it has a password line or column
    auto finish = [&] {
        if (problems && start && !password)
            problems->push_back(
                LineProblem(file, *start, CheckText(Msg::CHECKNOPASSWORD, {{"%a", links.back().AddressText}})));
    };
    for (ControlEntry& entry : entries) {
        // The file is read in upper case.
        UpperCaseInPlace(entry.value);
        if (StartsLink(entry.keyword)) {
            finish();
            start = &entry;
            links.emplace_back();
            if (entry.keyword == "LINK") {
                ApplyLinkEntry(entry, links.back(), file, problems);
                password = false;
                continue;
            }
            const std::size_t columns = ApplyRow(entry, links.back(), file, problems);
            password = columns > 2;
            if (problems && columns < std::size(RowColumns))
                problems->push_back(LineProblem(
                    file, entry,
                    CheckText(Msg::CHECKROWCUTSHORT, {{"%n", std::to_string(columns)},
                                                      {"%m", std::to_string(std::size(RowColumns))},
                                                      {"%c", ColumnList(columns)}})));
            continue;
        }
        if (links.empty()) {
            if (problems)
                problems->push_back(LineProblem(file, entry, FindRow<LinkRecord>(LinkKeywords, entry.keyword)
                                                                 ? MessageText(Msg::CHECKBEFORELINK)
                                                                 : MessageText(Msg::CHECKUNKNOWNKEY)));
            continue;
        }
        if (entry.keyword == "PASSWORD") password = true;
        ApplyLinkEntry(entry, links.back(), file, problems);
    }
    finish();
}

// The entries of the lines of content [from, to), as ReadControlEntries
// gives them.
std::vector<ControlEntry> LineEntries(std::string_view content, const std::vector<TextLine>& lines, std::size_t from,
                                      std::size_t to) {
    std::vector<ControlEntry> entries;
    for (std::size_t i = from; i < to; ++i) {
        ControlEntry entry;
        entry.line = i + 1;
        if (SplitControlLine(std::string(content.substr(lines[i].start, lines[i].end - lines[i].start)), entry.keyword,
                             entry.value))
            entries.push_back(std::move(entry));
    }
    return entries;
}

// A line of the file as the rewrite examines it: leading blanks, comment and
// trailing blanks removed; keyword in upper case.
void ExamineLine(std::string_view line, std::string& keyword, std::string& value) {
    SplitKeywordValue(CleanControlLine(line.substr(0, MaxText)), keyword, value);
}

bool HasDefaultGroup(const LinkRecord& link) { return link.DefaultGroup != ' ' && link.DefaultGroup != '\0'; }

constexpr std::size_t LabelWidth = 13;

// FilesSend as a line holds it; the normal flavour as none.
std::string FlavourText(Flavour flavour) {
    return flavour == Flavour::Normal ? std::string() : std::string(FlavourWords[static_cast<std::size_t>(flavour)]);
}

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
    const std::string filesSend = FlavourText(link.FilesSend);
    return {{"AKA", "AKA", link.AKAText, true, 1, ColumnText(link.AKAText)},
            {"PASSWORD", "Password", link.Password, !link.Password.empty(), 2, ColumnText(link.Password)},
            {"CREATEAREA", "CreateArea", YesNoText(link.CreateArea), link.CreateArea, 3, YesNoText(link.CreateArea)},
            {"PLUSALL", "PlusAll", YesNoText(link.PlusAll), link.PlusAll, 4, YesNoText(link.PlusAll)},
            {"PAUSE", "Pause", YesNoText(link.Pause), link.Pause, 5, YesNoText(link.Pause)},
            {"GROUP", "Group", link.Group, true, 6, ColumnText(link.Group)},
            {"DEFAULTGROUP", "DefaultGroup", defaultGroup, HasDefaultGroup(link), 7, ColumnText(defaultGroup)},
            {"SECURITY", "Security", NumberText(link.Security), link.Security != 0, 8, NumberText(link.Security)},
            {"FILESSEND", "FilesSend", filesSend, true, FilesSendColumn, filesSend}};
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
    std::vector<LinkRecord> links;
    ReadLinks(LineEntries(content, lines, from, to), links, {}, nullptr);
    return links.empty() ? LinkRecord{} : links.front();
}

}  // namespace

int LoadLinks(const std::string& path, std::vector<LinkRecord>& links) {
    links.clear();
    std::vector<ControlEntry> entries;
    if (!ReadControlEntries(path, entries)) return ControlReadFailure();
    ReadLinks(std::move(entries), links, {}, nullptr);
    return 0;
}

std::vector<ConfigProblem> CheckLinks(const std::string& path, std::vector<LinkRecord>& links) {
    links.clear();
    const std::string file = ExtractFileName(path);
    std::vector<ControlEntry> entries;
    if (!FileExists(path)) return {{file, 0, CheckText(Msg::CHECKMISSINGEXIT, {{"%n", "3"}})}};
    if (!ReadControlEntries(path, entries)) return {{file, 0, MessageText(Msg::CHECKCANTREAD)}};
    std::vector<ConfigProblem> problems;
    ReadLinks(std::move(entries), links, file, &problems);
    // A link's missing password is found at its end: in line order.
    std::stable_sort(problems.begin(), problems.end(),
                     [](const ConfigProblem& a, const ConfigProblem& b) { return a.line < b.line; });
    if (links.empty()) problems.push_back({file, 0, CheckText(Msg::CHECKNOLINKS, {{"%n", "3"}})});
    return problems;
}

const LinkRecord* FindLink(const std::vector<LinkRecord>& links, const FidoAddress& address) {
    for (const LinkRecord& link : links)
        if (SameAddress(link.Address, address)) return &link;
    return nullptr;
}

bool RewriteLink(const std::string& path, const LinkRecord& record) {
    const std::string file = ResolvePath(path);
    std::string content;
    if (!ReadWholeFile(file, content)) return true;
    const std::vector<TextLine> lines = SplitTextLines(content);
    // The reader takes a TAB for a blank, so the entry and its columns are
    // found, and changed lines written, as it reads them; a TAB is one byte
    // as a blank is, so the lines keep their places.
    std::string examined = content;
    TabsToSpaces(examined);
    auto lineText = [&](std::size_t i) {
        return std::string_view(examined).substr(lines[i].start, lines[i].end - lines[i].start);
    };

    // The link's entry: the first, the one the program reads.
    std::size_t from = lines.size();
    std::string keyword, value;
    for (std::size_t i = 0; i < lines.size() && from == lines.size(); ++i) {
        ExamineLine(lineText(i), keyword, value);
        if ((keyword == "LINK" && SameAddress(ParseAddress(value), record.Address)) ||
            (!keyword.empty() && keyword[0] == '!' && SameAddress(ParseAddress(FirstWord(value)), record.Address)))
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
