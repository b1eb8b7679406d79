#include "config/ctlline.h"

#include <algorithm>
#include <limits>

#include "frame/platform.h"
#include "frame/utils.h"

namespace {

// The decimal value when the whole text is a number within low..high.
long long RangedNumber(std::string_view text, long long low, long long high) {
    std::string trimmed(text);
    Trim(trimmed);
    long long value = ParseNumber(trimmed);
    return value < low || value > high ? 0 : value;
}

}  // namespace

std::uint16_t ParseWordValue(std::string_view text) {
    return static_cast<std::uint16_t>(RangedNumber(text, 0, std::numeric_limits<std::uint16_t>::max()));
}

std::int64_t ParseSizeValue(std::string_view text) {
    return RangedNumber(text, std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max());
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool ParseHexValue(std::string_view text, std::uint32_t& value) {
    value = 0;
    if (text.empty()) return false;
    std::uint64_t result = 0;
    for (char c : text) {
        int digit = HexDigitValue(c);
        if (digit < 0) return false;
        result = result * 16 + static_cast<std::uint64_t>(digit);
        if (result > 0xFFFFFFFFull) return false;
    }
    value = static_cast<std::uint32_t>(result);
    return true;
}

void RemoveQuotes(std::string& text, char quote) {
    if (!text.empty() && text.front() == quote) text.erase(0, 1);
    if (!text.empty() && text.back() == quote) text.pop_back();
}

std::vector<TextLine> SplitTextLines(std::string_view content) {
    std::vector<TextLine> lines;
    std::string_view line;
    for (std::size_t pos = content.starts_with(ByteOrderMark) ? ByteOrderMark.size() : 0; pos < content.size();) {
        const std::size_t next = NextTextLine(content, pos, line);
        lines.push_back({pos, pos + line.size(), next});
        pos = next;
    }
    return lines;
}

std::string_view FirstLineEnd(std::string_view content) {
    const std::size_t at = content.find_first_of("\r\n");
    if (at == std::string_view::npos) return "\r\n";
    if (content[at] == '\n') return "\n";
    return content.substr(at + 1, 1) == "\n" ? "\r\n" : "\r";
}

bool EndsWithLineEnd(std::string_view content) {
    return content.empty() || content.back() == '\n' || content.back() == '\r';
}

std::string ControlLine(std::string_view label, std::string_view value, std::size_t labelWidth) {
    std::string line(label);
    if (labelWidth + value.size() > MaxText) line += ' ';
    else line.resize(std::max(labelWidth, line.size() + 1), ' ');
    line += SingleLine(value);
    return line;
}

std::string WithControlValue(std::string_view line, std::string_view value, std::size_t labelWidth) {
    std::string_view keyword, old;
    SplitKeywordView(CleanControlLine(line.substr(0, MaxText)), keyword, old);
    const std::size_t keyEnd = keyword.empty() ? 0 : static_cast<std::size_t>(keyword.data() - line.data()) + keyword.size();
    const std::size_t valueStart = old.empty() ? keyEnd : static_cast<std::size_t>(old.data() - line.data());
    std::size_t valueEnd = std::min({line.find(';'), line.find('\0'), line.size()});
    while (valueEnd > valueStart && line[valueEnd - 1] == ' ') --valueEnd;
    if (valueEnd < valueStart) valueEnd = valueStart;
    std::string out;
    if (value.empty()) {
        out.assign(line.substr(0, keyEnd));
    } else {
        out.assign(line.substr(0, valueStart));
        if (old.empty()) out.append(keyEnd < labelWidth ? labelWidth - keyEnd : 1, ' ');
        if (out.size() + value.size() > MaxText) out = std::string(keyword) + ' ';
        out += value;
    }
    out += line.substr(valueEnd);
    return out;
}

std::string EditTextLines(std::string_view content, const std::vector<TextLine>& lines,
                          const std::map<std::size_t, std::string>& changed, std::size_t after, std::string_view added,
                          std::string_view lineEnd) {
    std::string out;
    std::size_t copied = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        auto at = changed.find(i);
        if (at != changed.end()) {
            out.append(content.substr(copied, lines[i].start - copied));
            out += at->second;
            copied = lines[i].end;
        }
        if (i == after && !added.empty()) {
            out.append(content.substr(copied, lines[i].next - copied));
            copied = lines[i].next;
            if (lines[i].next == lines[i].end) out += lineEnd;
            out += added;
        }
    }
    out.append(content.substr(copied));
    return out;
}
