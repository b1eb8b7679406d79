// Addresses, text cleaning, macros, paths and dates.
#include "frame/utils.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// One piece of an address: decimal digits only and within 16 bits, else 0.
std::uint16_t AddressNumber(std::string_view piece) {
    if (piece.empty() || piece.size() > 5) return 0;
    unsigned value = 0;
    for (char c : piece) {
        if (!IsDigit(c)) return 0;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value > 0xFFFF ? 0 : static_cast<std::uint16_t>(value);
}

// Takes the part of mask before the first separator and drops it together
// with the separator; without the separator the whole rest is taken.
std::string TakeMaskPart(std::string_view& mask, char separator) {
    std::size_t at = mask.find(separator);
    std::string part(mask.substr(0, at));
    mask = at == std::string_view::npos ? std::string_view() : mask.substr(at + 1);
    return part;
}

constexpr int DaysPerMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr int DaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

}  // namespace

// ---- Addresses -------------------------------------------------------------------

FidoAddress ParseAddress(std::string_view text) {
    FidoAddress address;
    // A domain may itself hold dots ("@fidonet.org"); it never carries numbers.
    std::size_t at = text.find('@');
    if (at != std::string_view::npos) text = text.substr(0, at);
    std::size_t colon = text.find(':');
    std::size_t slash = text.find('/');
    std::size_t dot = text.find('.');
    if (colon != std::string_view::npos) address.zone = AddressNumber(text.substr(0, colon));
    std::size_t netStart = colon == std::string_view::npos ? 0 : colon + 1;
    if (slash != std::string_view::npos && slash >= netStart)
        address.net = AddressNumber(text.substr(netStart, slash - netStart));
    std::size_t nodeStart = slash == std::string_view::npos ? 0 : slash + 1;
    if (dot != std::string_view::npos) {
        if (dot >= nodeStart) address.node = AddressNumber(text.substr(nodeStart, dot - nodeStart));
        address.point = AddressNumber(text.substr(dot + 1));
    } else {
        std::size_t end = nodeStart;
        while (end < text.size() && IsDigit(text[end])) ++end;
        address.node = AddressNumber(text.substr(nodeStart, end - nodeStart));
    }
    return address;
}

std::string FormatAddress(const FidoAddress& address) {
    return FormatAddressParts(address.zone, address.net, address.node, address.point);
}

std::string FormatAddressParts(unsigned zone, unsigned net, unsigned node, unsigned point) {
    std::string text = std::to_string(zone) + ":" + std::to_string(net) + "/" + std::to_string(node);
    if (point != 0) text += "." + std::to_string(point);
    return text;
}

std::string NormalizeAddress(std::string_view text) { return FormatAddress(ParseAddress(text)); }

bool SameAddress(const FidoAddress& a, const FidoAddress& b) {
    return a.zone == b.zone && a.net == b.net && a.node == b.node && a.point == b.point;
}

bool SameAddressText(std::string_view a, std::string_view b) { return SameAddress(ParseAddress(a), ParseAddress(b)); }

bool AddressMatchesMask(std::string_view address, std::string_view mask) {
    FidoAddress parsed = ParseAddress(address);
    std::string zone = TakeMaskPart(mask, ':');
    std::string net = TakeMaskPart(mask, '/');
    std::string node = TakeMaskPart(mask, '.');
    std::string point(mask);
    if (zone.empty()) zone = "*";
    if (net.empty()) net = "*";
    if (node.empty()) node = "*";
    if (node == "*" && point.empty()) point = "*";
    if (point.empty()) point = "0";
    return MatchWildcard(std::to_string(parsed.zone), zone) && MatchWildcard(std::to_string(parsed.net), net) &&
           MatchWildcard(std::to_string(parsed.node), node) && MatchWildcard(std::to_string(parsed.point), point);
}

bool AddressInList(std::string_view address, const std::vector<FidoAddress>& list) {
    FidoAddress parsed = ParseAddress(address);
    for (const FidoAddress& entry : list) {
        if (SameAddress(parsed, entry)) return true;
    }
    return false;
}

bool AddressTextInList(std::string_view address, const std::vector<std::string>& addressTexts) {
    FidoAddress parsed = ParseAddress(address);
    for (const std::string& entry : addressTexts) {
        if (SameAddress(parsed, ParseAddress(entry))) return true;
    }
    return false;
}

bool MatchWildcard(std::string_view value, std::string_view pattern) {
    std::string padded(value);
    while (pattern.size() > padded.size() + 1) padded += ' ';
    for (std::size_t i = 0; i < padded.size(); ++i) {
        // "*" takes the rest, also a value that holds a "*" there.
        if (i < pattern.size() && pattern[i] == '*') return true;
        if (i < pattern.size() && (padded[i] == pattern[i] || pattern[i] == '?')) continue;
        return false;
    }
    // A value one character shorter than the pattern passes only a trailing
    // "?" or "*": "10" must not match "100".
    return pattern.size() <= padded.size() || pattern[padded.size()] == '?' || pattern[padded.size()] == '*';
}

// ---- Text ----------------------------------------------------------------------------

void CutText(std::string& text, std::size_t limit) {
    if (text.size() > limit) text.resize(limit);
}

void TrimLeft(std::string& text) { text.erase(0, text.find_first_not_of(' ')); }

void TrimRight(std::string& text) {
    std::size_t last = text.find_last_not_of(' ');
    text.erase(last == std::string::npos ? 0 : last + 1);
}

void Trim(std::string& text) {
    TrimRight(text);
    TrimLeft(text);
}

void StripComment(std::string& text) {
    std::size_t at = text.find(';');
    if (at != std::string::npos) text.erase(at);
}

void StripCommentAndPercent(std::string& text) {
    StripComment(text);
    std::size_t at = text.find('%');
    if (at != std::string::npos) text.erase(at);
}

void TabsToSpaces(std::string& text) {
    for (char& c : text) {
        if (c == '\t') c = ' ';
    }
}

std::string FirstWord(std::string_view text) {
    std::size_t blank = text.find(' ');
    if (blank == std::string_view::npos || blank == 0) return std::string(text);
    return std::string(text.substr(0, blank));
}

std::string UpperCase(std::string_view text) {
    std::string copy(text);
    UpperCaseInPlace(copy);
    return copy;
}

void UpperCaseInPlace(std::string& text) {
    for (char& c : text) c = AsciiUpper(c);
}

void UpperCaseRussian(std::string& text) {
    for (char& c : text) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b >= 'a' && b <= 'z') b = static_cast<unsigned char>(b - 32);
        else if (b >= 160 && b <= 175) b = static_cast<unsigned char>(b - 32);
        else if (b >= 224 && b <= 239) b = static_cast<unsigned char>(b - 80);
        else if (b == 241) b = 240;
        c = static_cast<char>(b);
    }
}

void LowerCaseInPlace(std::string& text) {
    for (char& c : text) c = AsciiLower(c);
}

std::string LowerCase(std::string_view text) {
    std::string copy(text);
    LowerCaseInPlace(copy);
    return copy;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

void TruncateTo8(std::string& text) { CutText(text, 8); }

void DotsToUnderscores(std::string& text) {
    for (char& c : text) {
        if (c == '.') c = '_';
    }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool ParseYesNo(std::string_view text) {
    std::string value(text);
    Trim(value);
    UpperCaseInPlace(value);
    return value == "YES" || value == "+";
}

std::string YesNoText(bool value) { return value ? "Yes" : "No"; }

std::string SizeText(std::int64_t value, char separator) {
    if (value < 1) return "0";
    std::string digits = std::to_string(value);
    if (separator == 0) return digits;
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += separator;
        text += digits[i];
    }
    return text;
}

std::string NumberText(long long value) { return std::to_string(value); }

std::string TwoDigits(int value) {
    std::string text = std::to_string(value);
    if (text.size() == 1) text.insert(0, 1, '0');
    return text;
}

std::string HexByte(std::uint32_t value) {
    return {HexDigits[(value >> 4) & 0xF], HexDigits[value & 0xF]};
}

std::string HexWord(std::uint32_t value) { return HexByte(value >> 8) + HexByte(value); }

std::string HexLong(std::uint32_t value) { return HexWord(value >> 16) + HexWord(value & 0xFFFF); }

long long ParseNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return 0;
    unsigned long long value = 0;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i])) return 0;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
        if (value > static_cast<unsigned long long>(9223372036854775807LL)) return 0;
    }
    long long result = static_cast<long long>(value);
    return negative ? -result : result;
}

std::size_t FindNoCase(std::string_view text, std::string_view needle, std::size_t from) {
    if (needle.empty() || needle.size() > text.size()) return std::string_view::npos;
    for (std::size_t i = from; i + needle.size() <= text.size(); ++i) {
        if (EqualNoCase(text.substr(i, needle.size()), needle)) return i;
    }
    return std::string_view::npos;
}

std::string SubstituteMacroList(std::string_view text, std::span<const MacroValue> macros, std::size_t limit) {
    std::string result(text);
    // Where the values stand in the result, [from, to): a macro is looked for
    // in the template only, so a value that happens to hold one (a
    // description with "%a") stays as it is.
    std::vector<std::pair<std::size_t, std::size_t>> inserted;
    for (const MacroValue& entry : macros) {
        std::size_t at = FindNoCase(result, entry.macro, 0);
        auto insideValue = [&](std::size_t pos) {
            for (const auto& range : inserted)
                if (pos < range.second && pos + entry.macro.size() > range.first) return true;
            return false;
        };
        while (at != std::string::npos && insideValue(at)) at = FindNoCase(result, entry.macro, at + 1);
        if (at == std::string::npos) continue;
        result.replace(at, entry.macro.size(), entry.value);
        const std::size_t end = at + entry.macro.size();
        for (auto& range : inserted) {
            if (range.first >= end) {
                range.first = range.first - entry.macro.size() + entry.value.size();
                range.second = range.second - entry.macro.size() + entry.value.size();
            }
        }
        inserted.emplace_back(at, at + entry.value.size());
    }
    CutText(result, limit);
    return result;
}

std::string SubstituteMacros(std::string_view text, std::string_view macro1, std::string_view macro2,
                             std::string_view value1, std::string_view value2) {
    const MacroValue macros[] = {{macro1, value1}, {macro2, value2}};
    return SubstituteMacroList(text, macros);
}

std::string SubstituteMacros(std::string_view text, std::string_view macro, std::string_view value) {
    const MacroValue macros[] = {{macro, value}};
    return SubstituteMacroList(text, macros);
}

std::string Fill(std::string_view text, std::string_view macro, std::string_view value) {
    return SubstituteMacros(text, macro, value);
}

std::string Fill(std::string_view text, std::string_view macro1, std::string_view value1, std::string_view macro2,
                 std::string_view value2) {
    return SubstituteMacros(text, macro1, macro2, value1, value2);
}

std::string SingleLine(std::string_view text) {
    std::string line(text);
    for (char& c : line) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return line;
}

std::string PrintableText(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
    return result;
}

std::string ControlsToBlanks(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = ' ';
    return result;
}

// ---- Control-file lines ------------------------------------------------------------

std::string_view CleanControlLine(std::string_view line) {
    // A NUL ends the line as a comment does: a value of NUL bytes is no value.
    line = line.substr(0, std::min(line.find(';'), line.find('\0')));
    std::size_t first = line.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    std::size_t last = line.find_last_not_of(' ');
    return line.substr(first, last - first + 1);
}

void SplitKeywordView(std::string_view line, std::string_view& keyword, std::string_view& value) {
    std::size_t blank = line.find(' ');
    keyword = line.substr(0, blank);
    value = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
    std::size_t first = value.find_first_not_of(' ');
    value = first == std::string_view::npos ? std::string_view() : value.substr(first);
}

void SplitKeywordValue(std::string_view line, std::string& keyword, std::string& value) {
    std::string_view key, rest;
    SplitKeywordView(line, key, rest);
    keyword = UpperCase(key);
    value.assign(rest);
}

bool SplitControlLine(std::string line, std::string& keyword, std::string& value) {
    TabsToSpaces(line);
    SplitKeywordValue(CleanControlLine(line), keyword, value);
    return !keyword.empty();
}

// ---- Paths -------------------------------------------------------------------------

void AddTrailingSlash(std::string& path) {
    if (!path.empty() && path.back() != PathSeparator) path += PathSeparator;
}

std::string ExtractDir(std::string_view path) {
    // Always drops at least one character, so "a/b/" gives "a/".
    std::string dir(path);
    do {
        if (!dir.empty()) dir.pop_back();
    } while (!dir.empty() && dir.back() != PathSeparator);
    return dir;
}

std::string ExtractFileName(std::string_view path) {
    std::string name = ExtractFileNameAsIs(path);
    TrimRight(name);
    return name;
}

std::string ExtractFileNameAsIs(std::string_view path) {
    std::size_t slash = path.rfind(PathSeparator);
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

void SplitPath(std::string_view path, std::string& dir, std::string& name, std::string& ext) {
    std::size_t slash = path.rfind(PathSeparator);
    std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    dir.assign(path.substr(0, nameStart));
    std::string_view rest = path.substr(nameStart);
    std::size_t dot = rest.find('.');
    name.assign(rest.substr(0, dot));
    ext.assign(dot == std::string_view::npos ? std::string_view() : rest.substr(dot));
}

bool IsPlainName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find(PathSeparator) == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

bool HasControlCharacters(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 32 || c == 127) return true;
    return false;
}

bool IsUsableFileName(std::string_view name) {
    return !HasControlCharacters(name) && name.find('"') == std::string_view::npos;
}


// ---- Dates and times (local clock) ------------------------------------------------

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int FullYear(int twoDigitYear) { return twoDigitYear < 80 ? 2000 + twoDigitYear : 1900 + twoDigitYear; }

int DaysInMonth(int month, int year) {
    if (month < 1 || month > 12) return 0;
    if (month == 2 && IsLeapYear(year)) return 29;
    return DaysPerMonth[month - 1];
}

std::string TodayText() { return DateText(LocalNow()); }
std::string YesterdayText() { return YesterdayTextOf(LocalNow()); }
std::string TimeText() { return TimeTextOf(LocalNow()); }
std::string MessageDateText() { return MessageDateTextOf(LocalNow()); }
std::int64_t UnixTimeNow() { return UnixTimeOf(LocalNow()); }

std::string DateText(const LocalDateTime& t) {
    char year[16];
    std::snprintf(year, sizeof year, "%04d", t.year);
    return TwoDigits(t.day) + "-" + TwoDigits(t.month) + "-" + year;
}

std::string YesterdayTextOf(const LocalDateTime& t) {
    LocalDateTime y = t;
    if (y.day > 1) {
        --y.day;
    } else if (y.month > 1) {
        --y.month;
        y.day = DaysInMonth(y.month, y.year);
    } else {
        y.year -= 1;
        y.month = 12;
        y.day = 31;
    }
    return DateText(y);
}

std::string TimeTextOf(const LocalDateTime& t) {
    return TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second);
}

std::string MessageDateTextOf(const LocalDateTime& t) {
    return TwoDigits(t.day) + " " + std::string(MonthAbbreviation(t.month)) + " " + TwoDigits(t.year % 100) + "  " +
           TimeTextOf(t);
}

std::int64_t UnixTimeOf(const LocalDateTime& t) {
    std::int64_t days = t.day - 1;
    if (t.month >= 1 && t.month <= 12) {
        days += DaysBeforeMonth[t.month - 1];
        if (t.month > 2 && IsLeapYear(t.year)) ++days;
    }
    for (int year = 1970; year < t.year; ++year) days += IsLeapYear(year) ? 366 : 365;
    return t.second + 60LL * t.minute + 3600LL * t.hour + 86400LL * days;
}

std::string_view MonthAbbreviation(int month) {
    static constexpr std::string_view Names[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (month < 1 || month > 12) return "???";
    return Names[month - 1];
}

std::uint16_t LittleEndianWord(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::uint32_t LittleEndianLong(std::string_view bytes, std::size_t at) {
    return LittleEndianWord(bytes, at) | static_cast<std::uint32_t>(LittleEndianWord(bytes, at + 2)) << 16;
}

void AppendLittleEndianWord(std::string& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<char>(value & 0xFF));
    bytes.push_back(static_cast<char>(value >> 8));
}

void AppendLittleEndianLong(std::string& bytes, std::uint32_t value) {
    AppendLittleEndianWord(bytes, static_cast<std::uint16_t>(value & 0xFFFF));
    AppendLittleEndianWord(bytes, static_cast<std::uint16_t>(value >> 16));
}

void SetLittleEndianWord(std::string& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
}
