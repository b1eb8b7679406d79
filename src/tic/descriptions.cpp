// Description lists of the file areas.
#include "tic/descriptions.h"

#include "frame/platform.h"
#include "frame/platform_blockio.h"
#include "frame/utils.h"

namespace {

constexpr std::string_view LineEnd = "\r\n";

void PadTo(std::string& text, int width) {
    if (width > 0 && text.size() < static_cast<std::size_t>(width)) text.resize(static_cast<std::size_t>(width), ' ');
}

std::string EntryKey(std::string_view fileName) {
    std::string key = UpperCase(fileName);
    TrimRight(key);
    return key;
}

// Whether the line is the first line of the file's entry (key: EntryKey).
// Names are padded to the description column, so up to that column only
// blanks and the download counter may follow the name: "Weekly" is not the
// entry "Weekly News.txt". A name that reaches the column runs straight into
// the counter ("Long Name.zip[00]Text"). Without a column, or in a line
// that ends before it (a list written with a narrower layout), the first
// word decides.
bool IsEntryOf(const std::string& line, const std::string& key, int descPos) {
    if (key.empty() || line.size() < key.size() || UpperCase(std::string_view(line).substr(0, key.size())) != key)
        return false;
    if (line.size() == key.size() || line[key.size()] == '[') return true;
    if (line[key.size()] != ' ') return false;
    const std::size_t column = descPos > 1 ? static_cast<std::size_t>(descPos - 1) : 0;
    if (key.size() + 1 >= column || line.size() < column) return true;
    const std::size_t next = line.find_first_not_of(' ', key.size());
    return next == std::string::npos || next >= column || line[next] == '[';
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return !prefix.empty() && text.starts_with(prefix);
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

}  // namespace

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
                                           const std::vector<std::string>& ldesc, int descPos, int dlcPos,
                                           std::string_view dlcString, std::string_view longChars) {
    std::string first(fileName);
    PadTo(first, dlcPos - 1);
    first += dlcString;
    PadTo(first, descPos - 1);

    std::vector<std::string> lines;
    if (mode != "DESC" && !ldesc.empty()) {
        std::string continuation(longChars);
        if (continuation.empty()) PadTo(continuation, descPos - 1);
        lines.push_back(first + ldesc.front());
        for (std::size_t i = 1; i < ldesc.size(); ++i) lines.push_back(continuation + ldesc[i]);
    } else {
        lines.push_back(first + std::string(desc));
    }
    for (std::string& line : lines) {
        line = SingleLine(line);  // a name or text cannot open entries of its own
        CutText(line);
    }
    return lines;
}

int AddDescription(std::string_view mode, std::string_view fileName, const std::string& descFile,
                   std::string_view desc, const std::vector<std::string>& ldesc, int descPos, int dlcPos,
                   std::string_view dlcString, std::string_view longChars) {
    std::string text =
        JoinLines(FormatDescription(mode, fileName, desc, ldesc, descPos, dlcPos, dlcString, longChars));
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
                                                std::string_view longChars, int descPos, EntryName given) {
    std::string wanted = UpperCase(mask);
    TrimRight(wanted);
    // A plain name is matched as a whole, blanks included; a mask by the
    // first word.
    const bool plain =
        !wanted.empty() && (given == EntryName::Exact || wanted.find_first_of("*?") == std::string::npos);
    std::vector<std::string> kept;
    kept.reserve(lines.size());
    bool dropping = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (dropping && IsRemovedContinuation(line, longChars)) continue;
        dropping = false;
        if (line.empty()) {
            if (i + 1 < lines.size()) kept.push_back(line);
            continue;
        }
        if (plain ? IsEntryOf(line, wanted, descPos) : MatchFileMask(UpperCase(FirstWord(line)), wanted)) {
            dropping = true;
            continue;
        }
        kept.push_back(line);
    }
    return kept;
}

RemoveDescriptionStatus RemoveDescription(const std::string& descFile, std::string_view mask,
                                          std::string_view longChars, int descPos, EntryName given) {
    // Lines are copied whole: an unrelated long line must survive the rewrite.
    std::vector<std::string> lines;
    if (!ReadTextLines(descFile, lines, std::string::npos)) return RemoveDescriptionStatus::NoList;
    std::vector<std::string> kept = RemoveDescriptionLines(lines, mask, longChars, descPos, given);
    if (kept == lines) return RemoveDescriptionStatus::Done;
    lines.clear();
    int error = ReplaceFileSafely(descFile, JoinLines(kept), "");
    return error == 0 ? RemoveDescriptionStatus::Done : RemoveDescriptionStatus::WorkFailed;
}

std::vector<std::string> FindDescription(const std::vector<std::string>& lines, std::string_view fileName,
                                         std::string_view longChars, int descPos) {
    const std::string key = EntryKey(fileName);
    std::vector<std::string> result;
    std::size_t i = 0;
    while (i < lines.size() && !IsEntryOf(lines[i], key, descPos)) ++i;
    if (i == lines.size()) return result;

    const std::string& first = lines[i];
    std::size_t column = descPos > 1 ? static_cast<std::size_t>(descPos - 1) : 0;
    if (column > 0 && key.size() >= column && first.size() > key.size() && first[key.size()] == '[') {
        // The text follows the name and its counter.
        std::size_t start = key.size();
        if (start < first.size() && first[start] == '[') {
            std::size_t close = first.find(']', start);
            start = close == std::string::npos ? first.size() : close + 1;
        }
        std::string text = start < first.size() ? first.substr(start) : std::string();
        TrimLeft(text);
        result.push_back(text);
    } else {
        result.push_back(column < first.size() ? first.substr(column) : std::string());
    }
    for (++i; i < lines.size() && IsContinuation(lines[i], longChars); ++i) {
        const std::string& line = lines[i];
        if (longChars.empty()) result.push_back(column < line.size() ? line.substr(column) : std::string());
        else if (StartsWith(line, longChars)) result.push_back(line.substr(longChars.size()));
        else result.push_back(line);
    }
    return result;
}

std::vector<std::string> ReadDescription(const std::string& descFile, std::string_view fileName,
                                         std::string_view longChars, int descPos) {
    std::vector<std::string> lines;
    if (!ReadTextLines(descFile, lines)) return {};
    return FindDescription(lines, fileName, longChars, descPos);
}

bool DescriptionExists(const std::string& descFile, std::string_view fileName, int descPos) {
    std::vector<std::string> lines;
    if (!ReadTextLines(descFile, lines)) return false;
    const std::string key = EntryKey(fileName);
    for (const std::string& line : lines)
        if (IsEntryOf(line, key, descPos)) return true;
    return false;
}
