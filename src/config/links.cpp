#include "config/links.h"

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
void ExamineLine(const std::string& line, std::string& keyword, std::string& value) {
    SplitKeywordValue(CleanControlLine(line), keyword, value);
}

bool HasDefaultGroup(const LinkRecord& link) { return link.DefaultGroup != ' ' && link.DefaultGroup != '\0'; }

std::string Label(const char* label) {
    std::string text = label;
    text.resize(13, ' ');
    return text;
}

void AddLine(std::string& out, const std::string& line) { out += line + "\r\n"; }

void AddBlock(std::string& out, const LinkRecord& link, const std::string& address) {
    AddLine(out, Label("Link") + address);
    AddLine(out, Label("AKA") + link.AKA);
    if (!link.Password.empty()) AddLine(out, Label("Password") + link.Password);
    if (link.CreateArea) AddLine(out, Label("CreateArea") + "Yes");
    if (link.PlusAll) AddLine(out, Label("PlusAll") + "Yes");
    if (link.Pause) AddLine(out, Label("Pause") + "Yes");
    AddLine(out, Label("Group") + link.Group);
    if (HasDefaultGroup(link)) AddLine(out, Label("DefaultGroup") + std::string(1, link.DefaultGroup));
    if (link.Security != 0) AddLine(out, Label("Security") + NumberText(link.Security));
    AddLine(out, Label("FilesSend") + link.FilesSend);
}

std::string Row(const LinkRecord& link, const std::string& address) {
    return "! " + address + " " + ColumnText(link.AKA) + " " + ColumnText(link.Password) + " " +
           YesNoText(link.CreateArea) + " " + YesNoText(link.PlusAll) + " " + YesNoText(link.Pause) + " " +
           ColumnText(link.Group) + " " + (HasDefaultGroup(link) ? std::string(1, link.DefaultGroup) : std::string("-")) + " " +
           NumberText(link.Security) + " " + link.FilesSend;
}

// A column holds one word, and "-" in it means empty: other values need
// the keyword form, and so does a row longer than a line is read.
bool FitsRow(const LinkRecord& link) {
    for (const std::string* value : {&link.AKA, &link.Password, &link.Group})
        if (*value == "-" || value->find(' ') != std::string::npos) return false;
    return link.DefaultGroup != '-';
}

}  // namespace

void LoadLinks(const std::string& path, std::vector<LinkRecord>& links) {
    links.clear();
    std::vector<std::string> lines;
    if (!ReadTextLines(path, lines)) return;
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
    // Lines are copied whole: the rewrite must not cut what it does not own.
    std::vector<std::string> lines;
    if (!ReadTextLines(file, lines, std::string::npos)) return true;

    std::string out;
    std::string keyword, value;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ExamineLine(lines[i], keyword, value);
        if (keyword == "LINK" && NormalizeAddress(value) == address) {
            AddBlock(out, record, address);
            // The old block goes, comments inside it included.
            std::size_t next = i + 1;
            for (; next < lines.size(); ++next) {
                ExamineLine(lines[next], keyword, value);
                if (StartsLink(keyword)) break;
            }
            if (next < lines.size()) {
                AddLine(out, "");
                AddLine(out, lines[next]);
            }
            i = next;
        } else if (!keyword.empty() && keyword[0] == '!' && NormalizeAddress(FirstWord(value)) == address) {
            const std::string row = Row(record, address);
            if (FitsRow(record) && row.size() <= MaxText) AddLine(out, row);
            else AddBlock(out, record, address);
            // Keyword lines after a row set the row's link too: their values
            // now stand in the entry, and left there they would undo the change.
            std::size_t next = i + 1;
            for (; next < lines.size(); ++next) {
                ExamineLine(lines[next], keyword, value);
                if (StartsLink(keyword)) break;
                if (keyword.empty()) AddLine(out, lines[next]);
            }
            i = next - 1;
        } else {
            AddLine(out, lines[i]);
        }
    }
    return ReplaceFileSafely(file, out, ExtractDir(file) + "links.old") != 0;
}
