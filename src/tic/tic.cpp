// Reading and writing TIC files, TIC names and this node's Path line.
#include "tic/tic.h"

#include <new>

#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/exit.h"
#include "frame/utils.h"

namespace {

constexpr std::string_view TicDigits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

std::string ProgramMark() {
    return "Brenmoor v." + std::string(VersionNumber) + "." + std::string(PlatformWord);
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Hexadecimal into 32 bits; anything that is not a hexadecimal number of at
// most eight significant digits reads as 0.
std::uint32_t ParseHex32(std::string_view text) {
    if (text.empty()) return 0;
    std::uint64_t value = 0;
    for (char c : text) {
        int digit = HexDigitValue(c);
        if (digit < 0) return 0;
        value = value * 16 + static_cast<std::uint64_t>(digit);
        if (value > 0xFFFFFFFFull) return 0;
    }
    return static_cast<std::uint32_t>(value);
}

std::int32_t ParseSize(std::string_view text) {
    long long value = ParseNumber(text);
    if (value < INT32_MIN || value > INT32_MAX) return 0;
    return static_cast<std::int32_t>(value);
}

// Appends a list line; false when there is no memory for it.
bool AppendEntry(std::vector<std::string>& list, std::string value, std::size_t limit) {
    CutText(value, limit);
    try {
        list.push_back(std::move(value));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// One TIC line into the record; false when a list line was dropped for lack of memory.
bool ParseTicLine(std::string line, TicRecord& tic) {
    TabsToSpaces(line);
    Trim(line);
    if (line.empty()) return true;
    std::string keyword = FirstWord(line);
    std::string value = line.substr(keyword.size());
    TrimLeft(value);
    UpperCaseInPlace(keyword);

    if (keyword == "FILE") tic.File = value;
    else if (keyword == "FULLNAME") tic.FullName = value;
    else if (keyword == "DESC") tic.Desc = value;
    else if (keyword == "AREA") tic.Area = UpperCase(value);
    else if (keyword == "AREADESC") tic.AreaDesc = value;
    else if (keyword == "FROM") tic.From = NormalizeAddress(value);
    else if (keyword == "TO") {
        std::size_t digit = value.find_first_of("0123456789");
        tic.To = digit == std::string::npos ? std::string() : NormalizeAddress(std::string_view(value).substr(digit));
    }
    else if (keyword == "ORIGIN") tic.Origin = value;
    else if (keyword == "DESTINATION") tic.Destination = value;
    else if (keyword == "REPLACES") tic.Replaces = value;
    else if (keyword == "PW") tic.Pw = UpperCase(value);
    else if (keyword == "SIZE") tic.Size = ParseSize(value);
    else if (keyword == "CRC") tic.Crc = ParseHex32(value);
    else if (keyword == "LDESC") return AppendEntry(tic.LDesc, value, MaxText);
    else if (keyword == "SEENBY") return AppendEntry(tic.SeenBy, value, MaxSeenByText);
    else if (keyword == "PATH") return AppendEntry(tic.Path, value, MaxPathText);
    return true;
}

// Fills the record; false when list lines were dropped for lack of memory.
bool ParseTicContent(std::string_view content, TicRecord& tic) {
    tic = TicRecord{};
    bool complete = true;
    for (std::string& line : SplitLines(content, MaxText)) {
        if (!ParseTicLine(std::move(line), tic)) complete = false;
    }
    if (tic.FullName.empty()) tic.FullName = tic.File;
    return complete;
}

[[noreturn]] void EndForLackOfMemory() {
    WriteLine(MessageText(Msg::NOTENOUGHMEMORY));
    ExitProgram(0);
}

void AddLine(std::string& out, std::string_view keyword, std::string_view value) {
    out += keyword;
    out += ' ';
    out += value;
    out += "\r\n";
}

}  // namespace

void ParseTic(std::string_view content, TicRecord& tic) {
    if (!ParseTicContent(content, tic)) EndForLackOfMemory();
}

TicReadStatus ReadTic(const std::string& path, TicRecord& tic) {
    std::string content;
    if (!ReadWholeFile(path, content)) {
        tic = TicRecord{};
        return TicReadStatus::CannotRead;
    }
    ParseTic(content, tic);
    return TicReadStatus::Ok;
}

std::string FormatTic(const TicRecord& tic, const LocalDateTime& now) {
    std::string out;
    AddLine(out, "Created", MessageDateTextOf(now) + " by " + ProgramMark());
    AddLine(out, "File", tic.File);
    if (!tic.FullName.empty()) AddLine(out, "Fullname", tic.FullName);
    AddLine(out, "Size", NumberText(tic.Size));
    AddLine(out, "Desc", tic.Desc);
    for (const std::string& line : tic.LDesc) AddLine(out, "Ldesc", line);
    AddLine(out, "Area", tic.Area);
    AddLine(out, "Areadesc", tic.AreaDesc);
    if (!tic.Origin.empty()) AddLine(out, "Origin", tic.Origin);
    AddLine(out, "From", tic.From);
    AddLine(out, "To", tic.To);
    if (!tic.Replaces.empty()) AddLine(out, "Replaces", tic.Replaces);
    AddLine(out, "Crc", HexLong(tic.Crc));
    for (const std::string& line : tic.Path) AddLine(out, "Path", line);
    for (const std::string& line : tic.SeenBy) AddLine(out, "SeenBy", line);
    AddLine(out, "Pw", tic.Pw);
    return out;
}

int WriteTic(const std::string& path, const TicRecord& tic) {
    return WriteWholeFile(path, FormatTic(tic, LocalNow()));
}

std::string NewTicName() {
    std::string name = "BM";
    for (int i = 0; i < 6; ++i) name += TicDigits[RandomNumber(static_cast<std::uint32_t>(TicDigits.size()))];
    return name + ".TIC";
}

std::string ThisNodePathLineAt(std::string_view aka, const LocalDateTime& now) {
    std::string line(aka);
    line += " " + NumberText(UnixTimeOf(now)) + " " + MessageDateTextOf(now) + " [" + ProgramMark() + "]";
    CutText(line, MaxPathText);
    return line;
}

std::string ThisNodePathLine(std::string_view aka) { return ThisNodePathLineAt(aka, LocalNow()); }
