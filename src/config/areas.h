#pragma once
// The area list "areas.ctl": one block per file echo. There is no in-memory
// copy of it; every lookup reads the file and every change rewrites it, so
// the file stays the only copy of the data. Every operation takes the full
// path of the file from its caller.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/mainconfig.h"

constexpr std::size_t MaxAreaAka = 24;      // AKA field of an area
constexpr std::size_t MaxListedTag = 50;    // tag in AreaLinksEntry
constexpr std::size_t MaxListedAka = 23;    // AKA in AreaLinksEntry

struct AreaRecord {
    std::string Name;         // tag, upper case; empty = not found
    std::string Path;         // ends in "/" when not empty; empty = pass-through
    std::string Desc;
    std::string CreateFlag;   // kept and written back as text
    std::string Group;        // one or more group letters
    std::string AKA;          // the node's own address for this area, <= 24
    std::string Links;        // link entries separated by single blanks
    bool PassThrough = false; // Path empty after reading
    std::uint16_t SecurityRead = 0;
    std::uint16_t SecurityWrite = 0;
    std::uint16_t SecurityShow = 0;
};

struct AreaNameEntry {
    std::string Text;         // tag as written, padded to a common width
    std::uint16_t Number = 0; // 1-based ordinal in the file
};

struct AreaLinksEntry {
    std::string Name;         // tag as written, <= 50
    std::string AKA;          // <= 23
    std::string Links;        // <= 255
};

// Status of the list builders.
constexpr int AreaListDone = 0;
constexpr int AreaListNoMemory = 1;
constexpr int AreaListNoFile = 2;

// The block of one area (tag trimmed and upper-cased; the first matching
// block wins). A missing or unreadable file gives a cleared record.
AreaRecord ReadArea(const std::string& file, std::string_view tag);

// One entry per AREA line in file order, tags padded with trailing blanks to
// the longest tag plus one, then given one leading blank; width = longest + 2.
// Status AreaListDone, AreaListNoMemory (the part read so far is returned)
// or AreaListNoFile.
int ListAreaNames(const std::string& file, std::vector<AreaNameEntry>& entries, int& width);

// One entry per AREA line in file order with the AKA and LINKS of its block.
// Status as for ListAreaNames.
int ListAreasWithLinks(const std::string& file, std::vector<AreaLinksEntry>& entries);

// The canonical block of an area, lines ending in CR LF.
std::string FormatAreaBlock(const AreaRecord& area);

// Appends an empty line and the canonical block, creating the file when
// needed. 0 done, 1 the file cannot be written.
int AppendArea(const std::string& file, const AreaRecord& area);

// Rewrite the file with the block of area.Name replaced by the record, or
// with the block of the tag removed. The previous file is kept as
// "areas.old" beside it; the new content replaces the file only when it is
// complete. 0 done, 1 failure (the file then stays as it was).
int ReplaceArea(const std::string& file, const AreaRecord& area);
int RemoveArea(const std::string& file, std::string_view tag);

// Link entries are written relative to the area's AKA.
std::string ExpandLinkEntry(std::string_view aka, std::string_view entry);   // full address text
std::string ShortLinkEntry(std::string_view aka, std::string_view address);  // shortest entry

// The blank-separated entries of a Links value (empty entries skipped).
std::vector<std::string> SplitLinks(std::string_view links);

// True when an entry of the area's Links expands to the address.
bool AreaHasLink(const AreaRecord& area, std::string_view address);

// Adds the address as its shortest entry unless it is already there; true
// when the Links value changed. A Links value that would grow beyond 255
// characters is left alone and false returned.
bool AddLinkToArea(AreaRecord& area, std::string_view address);

// Removes every entry that expands to the address; true when one was removed.
bool RemoveLinkFromArea(AreaRecord& area, std::string_view address);

// True when a character of group string a occurs in group string b.
bool SharesGroup(std::string_view a, std::string_view b);

// For `brenmoor check`: every area tag that a block before it has already
// used (the reader only ever finds the first), and PATH directories that are
// missing (relative ones taken in programDir).
std::vector<ConfigProblem> CheckAreaList(const std::string& file, const std::string& programDir);
