#include "tic/badpairs.h"

#include <algorithm>
#include <set>

#include "frame/platform.h"
#include "frame/utils.h"

namespace {

constexpr std::string_view FieldSeparator = " / ";
constexpr std::string_view LineEnd = "\r\n";

// One line of the list; false when it is no pair. The last separator may
// have lost its blank to an editor that trims lines.
bool ParsePairLine(std::string_view line, BadPair& pair) {
    const std::size_t first = line.find('/');
    if (first == std::string_view::npos || first < 2 || line.substr(first - 1, 3) != FieldSeparator) return false;
    const std::string_view rest = line.substr(first + 2);
    const std::size_t second = rest.find('/');
    if (second == std::string_view::npos || second < 1 || rest[second - 1] != ' ') return false;
    if (second + 1 < rest.size() && rest[second + 1] != ' ') return false;
    pair.tic = std::string(line.substr(0, first - 1));
    pair.file = std::string(rest.substr(0, second - 1));
    pair.reason = second + 2 <= rest.size() ? std::string(rest.substr(second + 2)) : std::string();
    return IsPlainName(pair.tic) && (pair.file.empty() || IsPlainName(pair.file));
}

std::string PairListPath(const std::string& dir) { return dir + std::string(PairListName); }

std::string FormatPairList(const std::vector<BadPair>& pairs) {
    std::string text;
    for (const BadPair& pair : pairs) text += FormatPairLine(pair) + std::string(LineEnd);
    return text;
}

}  // namespace

std::string FormatPairLine(const BadPair& pair) {
    return SingleLine(pair.tic) + std::string(FieldSeparator) + SingleLine(pair.file) + std::string(FieldSeparator) +
           SingleLine(pair.reason);
}

std::vector<BadPair> ParsePairList(std::string_view content) {
    // A line cut short by the end of a killed run was never written whole.
    const std::size_t end = content.rfind('\n');
    content = content.substr(0, end == std::string_view::npos ? 0 : end + 1);
    std::vector<BadPair> all;
    for (const std::string& line : SplitLines(content, std::string::npos)) {
        BadPair pair;
        if (ParsePairLine(line, pair)) all.push_back(std::move(pair));
    }
    std::vector<BadPair> last;
    std::set<std::string> seen;
    for (auto it = all.rbegin(); it != all.rend(); ++it)
        if (seen.insert(it->tic).second) last.push_back(std::move(*it));
    std::reverse(last.begin(), last.end());
    return last;
}

const BadPair* FindPair(const std::vector<BadPair>& pairs, std::string_view ticName) {
    for (const BadPair& pair : pairs)
        if (pair.tic == ticName) return &pair;
    return nullptr;
}

std::vector<BadPair> ReadPairList(const std::string& dir) {
    std::string content;
    if (!ReadWholeFile(PairListPath(dir), content)) return {};
    return ParsePairList(content);
}

int AddPair(const std::string& dir, const BadPair& pair) {
    std::string content;
    if (!ReadWholeFile(PairListPath(dir), content)) content.clear();
    const std::vector<BadPair> pairs = ParsePairList(content);
    if (const BadPair* known = FindPair(pairs, pair.tic); known != nullptr && *known == pair) return 0;
    std::string text = FormatPairLine(pair) + std::string(LineEnd);
    // After a line cut short, the new one starts a line of its own.
    if (!content.empty() && content.back() != '\n') text.insert(0, LineEnd);
    return AppendToFile(PairListPath(dir), text);
}

int KeepPresentPairs(const std::string& dir) {
    std::string content;
    if (!ReadWholeFile(PairListPath(dir), content)) return 0;
    std::vector<BadPair> kept;
    for (BadPair& pair : ParsePairList(content))
        if (IsRegularFile(dir + pair.tic)) kept.push_back(std::move(pair));
    const std::string text = FormatPairList(kept);
    if (text == content) return 0;
    if (kept.empty()) {
        DeleteFile(PairListPath(dir));
        return 0;
    }
    return ReplaceFileSafely(PairListPath(dir), text, "");
}

std::string ReasonLine(std::string_view keptName, std::string_view reason) {
    std::string line(keptName);
    if (line.size() < 12) line.resize(12, ' ');
    line += ' ';
    line += reason;
    CutText(line);
    return line;
}

std::string WithoutLastLine(std::string_view content, const std::function<bool(std::string_view)>& matches) {
    std::size_t found = std::string_view::npos, foundEnd = 0;
    for (std::size_t start = 0; start < content.size();) {
        std::size_t end = content.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = content.size();
        std::size_t next = end;
        if (next < content.size()) next += content.compare(end, 2, "\r\n") == 0 ? 2 : 1;
        if (matches(content.substr(start, end - start))) {
            found = start;
            foundEnd = next;
        }
        start = next;
    }
    std::string result(content);
    if (found != std::string_view::npos) result.erase(found, foundEnd - found);
    return result;
}
