// Reading and writing TIC files, TIC names and this node's Path line.
#include "tic/tic.h"

#include <algorithm>
#include <limits>
#include <new>

#include "config/ctlline.h"
#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/exit.h"
#include "frame/utils.h"

namespace {

constexpr std::string_view TicDigits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

std::string ProgramMark() {
    return "Brenmoor v." + std::string(VersionNumber) + "." + std::string(PlatformWord);
}

// Hexadecimal into 32 bits; anything that is not a hexadecimal number of at
// most eight significant digits reads as 0.
std::uint32_t ParseCrc(std::string_view text) {
    std::uint32_t value = 0;
    ParseHexValue(text, value);
    return value;
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
    // No comments in a TIC: a ";" belongs to the value.
    std::string keyword, value;
    SplitKeywordValue(line, keyword, value);

    // Texts that go on into lists, TICs, the log and the terminal carry no
    // control characters (ESC, SOH); names keep theirs, and the toss refuses them.
    if (keyword == "DESC" || keyword == "LDESC" || keyword == "AREA" || keyword == "AREADESC") {
        value = ControlsToBlanks(value);
        Trim(value);
    }
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
    else if (keyword == "SIZE") tic.Size = ParseSizeValue(value);
    else if (keyword == "CRC") tic.Crc = ParseCrc(value);
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
    ExitProgram(10);  // as every other lack of memory: a run that stopped is no success
}

// A value can never open a line of its own (a hatched file name with a line
// break in it would otherwise add keywords to the TIC).
void AddLine(std::string& out, std::string_view keyword, std::string_view value) {
    out += keyword;
    out += ' ';
    out += SingleLine(value);
    out += "\r\n";
}

}  // namespace

void ParseTic(std::string_view content, TicRecord& tic) {
    if (!ParseTicContent(content, tic)) EndForLackOfMemory();
}

TicReadStatus ReadTic(const std::string& path, TicRecord& tic, std::string* identity) {
    // A TIC is read only when it is a regular file, never through a symlink.
    std::string content;
    FileKind kind = FileKind::Missing;
    if (!ReadRegularFile(path, false, content, kind)) {
        tic = TicRecord{};
        return TicReadStatus::CannotRead;
    }
    if (identity) *identity = std::to_string(content.size()) + " " + HexLong(TextCrc32(content));
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

std::int64_t TicSize(std::uint64_t bytes) {
    constexpr auto limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    return static_cast<std::int64_t>(std::min(bytes, limit));
}

std::int32_t DupeSize(std::int64_t bytes) {
    constexpr auto limit = static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(bytes, 0, limit));
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
