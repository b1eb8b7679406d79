#pragma once
// TIC files: the control file that travels with every file of a file echo.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "frame/platform.h"

constexpr std::size_t MaxSeenByText = 29;  // one SeenBy entry
constexpr std::size_t MaxPathText = 80;    // one Path entry
constexpr std::uint32_t NoTicCrc = 0xFFFFFFFF;  // the TIC had no CRC line; also "file not readable"

// A Replaces mask made only of wildcards would empty the area: it replaces
// nothing, and the log says so (EVERYFILEREPLACES).
inline bool ReplacesEveryFile(std::string_view mask) { return mask.find_first_not_of("*?.") == std::string_view::npos; }
// The suffix a mailer gives a received file whose name is taken: the digits
// of NAME.1, NAME.2, ...
inline bool IsMailerRenumbering(std::string_view suffix) {
    return !suffix.empty() && suffix.size() <= 4 && suffix.find_first_not_of("0123456789") == std::string_view::npos;
}
// A hatched file's own name as its Replaces; a name that holds wildcards
// would replace other files, so it replaces none.
inline std::string ReplacesOf(std::string_view fileName) {
    return fileName.find_first_of("*?") == std::string_view::npos ? std::string(fileName) : std::string();
}

struct TicRecord {
    std::string File;
    std::string FullName;     // after reading: File when the TIC has none
    std::string Desc;
    std::string Area;         // upper case
    std::string AreaDesc;
    std::string From;         // normalised address
    std::string To;           // normalised address, empty when the line held no digit
    std::string Origin;
    std::string Destination;  // read and kept, never written
    std::string Replaces;
    std::string Pw;           // upper case
    std::int64_t Size = 0;  // bytes; 0 when not given
    std::vector<std::string> LDesc;
    std::vector<std::string> SeenBy;  // entries cut to MaxSeenByText
    std::vector<std::string> Path;    // entries cut to MaxPathText
    std::uint32_t Crc = NoTicCrc;
};

enum class TicReadStatus {
    Ok,
    CannotRead,  // the file cannot be opened or read (e.g. still held by the mailer); tic is cleared
};

// Fills tic from the TIC file. Keywords in any letter case, TAB taken as a
// blank, LF / CR LF / CR line ends, unknown keywords ignored.
// With identity, also the size and CRC-32 of the bytes read ("SIZE CRC"),
// which tell this TIC from a later one of the same name.
TicReadStatus ReadTic(const std::string& path, TicRecord& tic, std::string* identity = nullptr);

// The same from TIC text already in memory.
void ParseTic(std::string_view content, TicRecord& tic);

// The TIC text, with the Created line of the given moment.
std::string FormatTic(const TicRecord& tic, const LocalDateTime& now);


// "BM" + six random characters of 0-9 A-Z + ".TIC". The caller makes sure
// the name is free in the directory it writes to.
std::string NewTicName();

// A file size as the TIC's Size field holds it: the real size.
std::int64_t TicSize(std::uint64_t bytes);
// The size as a dupe record holds it: beyond 2^31-1 bytes it stays there,
// as records of earlier runs hold it.
std::int32_t DupeSize(std::int64_t bytes);

// The Path entry this node adds when it sends a file on: the area's AKA,
// the Unix time, the message date and the program's version, cut to 80.
std::string ThisNodePathLine(std::string_view aka);
std::string ThisNodePathLineAt(std::string_view aka, const LocalDateTime& now);

// CRC-32 (zip) of the whole file, NoTicCrc when it cannot be opened.
std::uint32_t FileCrc32(const std::string& path);
// The same of a file opened as a RegularFile: the CRC of the very file whose
// type and size were checked.
std::uint32_t FileCrc32(const RegularFile& file);
std::uint32_t TextCrc32(std::string_view text);
