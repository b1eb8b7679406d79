// Description lists of the file areas.
#include "tic/descriptions.h"

#include <algorithm>

#include "frame/platform.h"
#include "frame/platform_blockio.h"
#include "frame/utils.h"

namespace {

constexpr std::string_view LineEnd = "\r\n";

void PadTo(std::string& text, int width) {
    if (width > 0 && text.size() < static_cast<std::size_t>(width)) text.resize(static_cast<std::size_t>(width), ' ');
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::size_t SkipBlanks(std::string_view text, std::size_t from) {
    while (from < text.size() && IsBlank(text[from])) ++from;
    return from;
}

// The name as the list holds it. First-word readers would cut a name at its
// first blank, so such a name goes in double quotes (as does one that starts
// with a quote, which would read as quoted).
std::string ListName(std::string_view fileName) {
    std::string name = SingleLine(fileName);
    if (name.find_first_of(" \t") == std::string::npos && !name.starts_with('"')) return name;
    return "\"" + name + "\"";
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return !prefix.empty() && text.starts_with(prefix);
}

// The length of the download counter that starts at at in line, 0 when
// none does: each run of digits of DLCSTRING takes any run of digits, the
// rest must be there as it is. A counter that begins with digits does not
// begin inside a number.
std::size_t CounterLength(std::string_view line, std::size_t at, std::string_view dlcString) {
    if (dlcString.empty() || at > line.size()) return 0;
    if (IsDigit(dlcString.front()) && at > 0 && IsDigit(line[at - 1])) return 0;
    std::size_t pos = at;
    for (std::size_t i = 0; i < dlcString.size();) {
        if (!IsDigit(dlcString[i])) {
            if (pos >= line.size() || line[pos] != dlcString[i]) return 0;
            ++pos;
            ++i;
            continue;
        }
        while (i < dlcString.size() && IsDigit(dlcString[i])) ++i;
        const std::size_t digits = pos;
        while (pos < line.size() && IsDigit(line[pos])) ++pos;
        if (pos == digits) return 0;
    }
    return pos - at;
}

// A line that carries on the entry above it.
bool IsContinuation(std::string_view line, std::string_view longChars) {
    if (!longChars.empty()) return StartsWith(line, longChars) || (!line.empty() && line[0] == ' ');
    return !line.empty() && line[0] == ' ';
}

// Continuation test used when removing: the prefix when one is configured,
// a leading blank otherwise.
bool IsRemovedContinuation(std::string_view line, std::string_view longChars) {
    if (!longChars.empty()) return StartsWith(line, longChars);
    return !line.empty() && line[0] == ' ';
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += LineEnd;
    }
    return text;
}

std::string CutLine(std::string_view text) {
    return std::string(text.substr(0, std::min(text.size(), MaxText)));
}

// The description on an entry's first line: after the name and the
// counter, from the description column when only blanks lie before it (the
// column keeps blanks the text begins with), else from the first non-blank
// (a long name, or a list other software wrote with one blank).
std::string FirstLineText(std::string_view line, std::size_t nameEnd, const DescriptionLayout& layout) {
    std::size_t at = nameEnd;
    const std::size_t counter = SkipBlanks(line, at);
    if (const std::size_t length = CounterLength(line, counter, layout.dlcString)) at = counter + length;
    const std::size_t column = layout.descPos > 1 ? static_cast<std::size_t>(layout.descPos - 1) : 0;
    if (at < column && line.find_first_not_of(' ', at) >= column)
        return CutLine(line.substr(std::min(column, line.size())));
    return CutLine(line.substr(SkipBlanks(line, at)));
}

// The description lines of the entry whose first line is first; next(line)
// gives the lines after it in order, false at the end of the list.
template <class NextLine>
std::vector<std::string> EntryLines(std::string_view first, std::size_t nameEnd, NextLine next,
                                    const DescriptionLayout& layout) {
    std::vector<std::string> result{FirstLineText(first, nameEnd, layout)};
    const std::string_view longChars = layout.longChars;
    const std::size_t column = layout.descPos > 1 ? static_cast<std::size_t>(layout.descPos - 1) : 0;
    std::string_view line;
    while (next(line) && IsContinuation(line, longChars)) {
        if (longChars.empty()) result.push_back(column < line.size() ? CutLine(line.substr(column)) : std::string());
        else if (StartsWith(line, longChars)) result.push_back(CutLine(line.substr(longChars.size())));
        else result.push_back(CutLine(line));
    }
    return result;
}

// A hash of a name in any letter case (FNV-1a of its upper case).
std::uint64_t NameHash(std::string_view name) {
    std::uint64_t hash = 14695981039346656037ull;
    for (char c : name) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

}  // namespace

DescriptionLayout ListLayout(const MainConfig& config) {
    return {config.descPos, config.dlcPos, config.dlcString, config.longDescChars};
}

EntryName ParseEntryName(std::string_view line, const DescriptionLayout& layout) {
    if (line.empty() || IsBlank(line[0])) return {};
    if (line[0] == '"') {
        // The closing quote is the one a blank or the line's end follows.
        for (std::size_t close = line.find('"', 1); close != std::string_view::npos; close = line.find('"', close + 1))
            if (close > 1 && (close + 1 == line.size() || IsBlank(line[close + 1])))
                return {true, line.substr(1, close - 1), close + 1};
    }
    const std::size_t wordEnd = std::min(line.find_first_of(" \t"), line.size());
    const std::string_view dlcString = layout.dlcString;
    if (dlcString.empty() || CounterLength(line, SkipBlanks(line, wordEnd), dlcString) > 0)
        return {true, line.substr(0, wordEnd), wordEnd};
    // Earlier versions wrote names bare, blanks and all: a short one padded
    // up to the counter column, a long one run into the counter. A counter
    // elsewhere belongs to the description (or to another program's list).
    const std::size_t column = layout.dlcPos > 1 ? static_cast<std::size_t>(layout.dlcPos - 1) : 0;
    for (std::size_t at = std::max<std::size_t>(column, 1); at < line.size(); ++at) {
        if ((at != column && IsBlank(line[at - 1])) || CounterLength(line, at, dlcString) == 0) continue;
        std::size_t end = at;
        while (IsBlank(line[end - 1])) --end;
        return {true, line.substr(0, end), end};
    }
    return {true, line.substr(0, wordEnd), wordEnd};
}

bool MatchFileMask(std::string_view name, std::string_view mask) {
    std::string n = UpperCase(name);
    std::string m = UpperCase(mask);
    if (n.find('.') == std::string::npos) n += '.';
    if (m.find('.') == std::string::npos) m += '.';
    std::size_t nd = n.find('.');
    std::size_t md = m.find('.');
    return MatchWildcard(n.substr(0, nd), m.substr(0, md)) && MatchWildcard(n.substr(nd + 1), m.substr(md + 1));
}

std::vector<std::string> FormatDescription(std::string_view mode, std::string_view fileName, std::string_view desc,
                                           const std::vector<std::string>& ldesc, const DescriptionLayout& layout) {
    std::string first = ListName(fileName);
    // A name that reaches the counter column keeps one blank after it, so
    // that its first word stays the name; without a counter that blank is
    // all that stands before the description.
    const bool reaches = static_cast<int>(first.size()) >= layout.dlcPos - 1;
    if (reaches) first += ' ';
    else PadTo(first, layout.dlcPos - 1);
    first += layout.dlcString;
    if (!reaches || !layout.dlcString.empty()) PadTo(first, layout.descPos - 1);
    // Only the text is cut at the line limit: a cut name would be another
    // file's, or an open quote.
    const std::size_t limit = std::max(MaxText, first.size());

    std::vector<std::string> lines;
    if (mode != "DESC" && !ldesc.empty()) {
        std::string continuation(layout.longChars);
        if (continuation.empty()) PadTo(continuation, layout.descPos - 1);
        lines.push_back(first + SingleLine(ldesc.front()));
        for (std::size_t i = 1; i < ldesc.size(); ++i) lines.push_back(SingleLine(continuation + ldesc[i]));
    } else {
        lines.push_back(first + SingleLine(desc));
    }
    CutText(lines.front(), limit);
    for (std::size_t i = 1; i < lines.size(); ++i) CutText(lines[i]);
    return lines;
}

int AddDescription(std::string_view mode, std::string_view fileName, const std::string& descFile,
                   std::string_view desc, const std::vector<std::string>& ldesc, const DescriptionLayout& layout) {
    std::string text = JoinLines(FormatDescription(mode, fileName, desc, ldesc, layout));
    // A list edited by hand may lack its last line end; the new entry must
    // not run into the last line.
    std::uint64_t size = 0;
    if (GetFileSize(descFile, size) && size > 0) {
        std::string last;
        if (ReadFileRange(descFile, size - 1, 1, last) == 0 && last != "\n" && last != "\r")
            text.insert(0, LineEnd);
    }
    return AppendToFile(descFile, text);
}

std::vector<std::string> RemoveDescriptionLines(const std::vector<std::string>& lines, std::string_view mask,
                                                const DescriptionLayout& layout, EntryMatch given) {
    // A name is matched as a whole; a mask (from Replaces) by its wildcards.
    const bool wildcards = given == EntryMatch::Mask && mask.find_first_of("*?") != std::string_view::npos;
    std::vector<std::string> kept;
    kept.reserve(lines.size());
    bool dropping = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (dropping && IsRemovedContinuation(line, layout.longChars)) continue;
        dropping = false;
        if (line.empty()) {
            if (i + 1 < lines.size()) kept.push_back(line);
            continue;
        }
        const EntryName entry = ParseEntryName(line, layout);
        if (entry.found && !mask.empty() &&
            (wildcards ? MatchFileMask(entry.name, mask) : EqualNoCase(entry.name, mask))) {
            dropping = true;
            continue;
        }
        kept.push_back(line);
    }
    return kept;
}

RemoveDescriptionStatus RemoveDescription(const std::string& descFile, std::string_view mask,
                                          const DescriptionLayout& layout, EntryMatch given) {
    // Lines are copied whole: an unrelated long line must survive the rewrite.
    std::vector<std::string> lines;
    if (!ReadTextLines(descFile, lines, std::string::npos)) return RemoveDescriptionStatus::NoList;
    std::vector<std::string> kept = RemoveDescriptionLines(lines, mask, layout, given);
    if (kept == lines) return RemoveDescriptionStatus::Done;
    lines.clear();
    int error = ReplaceFileSafely(descFile, JoinLines(kept), "");
    return error == 0 ? RemoveDescriptionStatus::Done : RemoveDescriptionStatus::WorkFailed;
}

std::vector<std::string> FindDescription(const std::vector<std::string>& lines, std::string_view fileName,
                                         const DescriptionLayout& layout) {
    if (fileName.empty()) return {};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const EntryName entry = ParseEntryName(lines[i], layout);
        if (!entry.found || !EqualNoCase(entry.name, fileName)) continue;
        auto next = [&lines, n = i + 1](std::string_view& line) mutable {
            if (n >= lines.size()) return false;
            line = lines[n++];
            return true;
        };
        return EntryLines(lines[i], entry.end, next, layout);
    }
    return {};
}

std::vector<std::string> ReadDescription(const std::string& descFile, std::string_view fileName,
                                         const DescriptionLayout& layout) {
    std::vector<std::string> lines;
    if (!ReadTextLines(descFile, lines, std::string::npos)) return {};
    return FindDescription(lines, fileName, layout);
}

bool DescriptionExists(const std::string& descFile, std::string_view fileName, const DescriptionLayout& layout) {
    std::vector<std::string> lines;
    if (fileName.empty() || !ReadTextLines(descFile, lines, std::string::npos)) return false;
    for (const std::string& line : lines) {
        const EntryName entry = ParseEntryName(line, layout);
        if (entry.found && EqualNoCase(entry.name, fileName)) return true;
    }
    return false;
}

DescriptionIndex IndexDescriptions(std::string text, const DescriptionLayout& layout) {
    DescriptionIndex index;
    index.text = std::move(text);
    index.text.shrink_to_fit();  // a list read whole keeps room for more: an announcement holds many
    const std::string_view all = index.text;
    std::string_view line;
    for (std::size_t at = 0; at < all.size();) {
        const std::size_t next = NextTextLine(all, at, line);
        const EntryName entry = ParseEntryName(line, layout);
        if (entry.found && !entry.name.empty()) index.entries.emplace_back(NameHash(entry.name), at);
        at = next;
    }
    std::sort(index.entries.begin(), index.entries.end());
    index.entries.shrink_to_fit();
    return index;
}

bool ReadDescriptionIndex(const std::string& descFile, const DescriptionLayout& layout, DescriptionIndex& index) {
    std::string text;
    const bool read = ReadWholeFile(descFile, text);
    index = IndexDescriptions(read ? std::move(text) : std::string(), layout);
    return read;
}

std::vector<std::string> FindDescription(const DescriptionIndex& index, std::string_view fileName,
                                         const DescriptionLayout& layout) {
    if (fileName.empty()) return {};
    const std::string_view all = index.text;
    // Entries of one hash in list order: the first that is the name's, as a
    // scan of the list would find it.
    const std::uint64_t hash = NameHash(fileName);
    for (auto at = std::lower_bound(index.entries.begin(), index.entries.end(), std::make_pair(hash, std::size_t{0}));
         at != index.entries.end() && at->first == hash; ++at) {
        std::string_view first;
        std::size_t following = NextTextLine(all, at->second, first);
        const EntryName entry = ParseEntryName(first, layout);
        if (!EqualNoCase(entry.name, fileName)) continue;
        auto next = [all, &following](std::string_view& line) {
            if (following >= all.size()) return false;
            following = NextTextLine(all, following, line);
            return true;
        };
        return EntryLines(first, entry.end, next, layout);
    }
    return {};
}
