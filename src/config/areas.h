#pragma once
// The area list "areas.ctl": one block per file echo. The file stays the
// only copy of the data: a lookup reads the block of its area from the file,
// found by the run's index of where each block lies (checked against the
// file's identity before each use, made again when another program changed
// the file), and every change rewrites the file. Every operation takes the
// full path of the file from its caller.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/links.h"
#include "config/mainconfig.h"
#include "frame/platform.h"

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

// ---- Where each block lies ---------------------------------------------------
// The index remembers only where the block of each tag begins and ends, for
// the file as it was when read (its identity). A file someone else has
// changed since is read again; the program's own rewrites index what they
// wrote.

struct AreaBlockPlace {
    std::size_t offset = 0, length = 0;
};

struct AreaIndex {
    FileIdentity identity;
    std::unordered_map<std::string, AreaBlockPlace> blocks;  // tag as looked up -> its first findable block
};

// The area list's part of a run: the driver makes one per command.
struct AreaIndexes {
    std::unordered_map<std::string, AreaIndex> byFile;  // by the path as given
};

// Status of the list builders.
constexpr int AreaListDone = 0;
constexpr int AreaListNoMemory = 1;
constexpr int AreaListNoFile = 2;

// The block of one area (tag trimmed and upper-cased; the first matching
// block wins). A missing or unreadable file gives a cleared record. The
// first lookup of a run reads the whole file; later ones read one block.
AreaRecord ReadArea(AreaIndexes& indexes, const std::string& file, std::string_view tag);

// One entry per AREA line in file order, tags padded with trailing blanks to
// the longest tag plus one, then given one leading blank; width = longest + 2.
// Status AreaListDone, AreaListNoMemory (the part read so far is returned)
// or AreaListNoFile.
int ListAreaNames(const std::string& file, std::vector<AreaNameEntry>& entries, int& width);

// One entry per AREA line in file order with the AKA and LINKS of its block.
// Status as for ListAreaNames.
int ListAreasWithLinks(const std::string& file, std::vector<AreaLinksEntry>& entries);

// The canonical block of an area, each line ended by lineEnd.
std::string FormatAreaBlock(const AreaRecord& area, std::string_view lineEnd = "\r\n");

// Appends an empty line and the canonical block, creating the file when
// needed. The new lines end as the file's first line does (CR LF in a new
// file); a last line without its line end is ended first. 0 done, 1 the
// file cannot be read or written.
int AppendArea(AreaIndexes& indexes, const std::string& file, const AreaRecord& area);

// Rewrite the file with the block of area.Name changed to hold the record's
// values, or with the block of the tag removed. A changed block keeps every
// line whose value stays, comments and unknown keywords included; changed
// values are put in place on their lines, missing lines added. The previous file is kept as
// "areas.old" beside it; the new content replaces the file only when it is
// complete. 0 done (also when the tag is not there: nothing is written),
// 1 failure (the file then stays as it was).
int ReplaceArea(AreaIndexes& indexes, const std::string& file, const AreaRecord& area);
int RemoveArea(AreaIndexes& indexes, const std::string& file, std::string_view tag);

// ---- The area list in memory, for work that changes many areas at once ----
//
// A robot request reads the list once, works on this copy (every change is
// seen by the lookups after it) and writes it back once. What the work does
// not change is written back byte for byte.

struct AreaBlock {
    std::string tag;         // the value of its AREA line, as written
    std::string text;        // its lines as they stand in the file, line ends included
    bool findable = false;   // ReadArea would find it (the AREA line names a tag)
    bool added = false;      // not in the file yet
    bool removed = false;
};

struct AreaList {
    std::string file;                 // the path it was read from
    std::string lineEnd = "\r\n";     // of new lines: that of the file's first line
    std::string head;                 // the lines before the first AREA line (a byte-order mark too)
    std::vector<AreaBlock> blocks;    // in file order
    std::unordered_map<std::string, std::size_t> index;  // upper-case tag -> its first findable block
    bool duplicates = false;          // a tag has more than one findable block
    bool changed = false;
};

// Reads the list; a missing file is an empty list. 0, or errno when the file
// exists and cannot be read.
int LoadAreaList(const std::string& file, AreaList& list);

// The area as ReadArea would find it in the list as it stands now.
AreaRecord FindArea(const AreaList& list, std::string_view tag);

// The tags of the AREA lines in order, as written (removed blocks left out).
std::vector<std::string> AreaTags(const AreaList& list);

// Changes of the copy: replace the block of area.Name (nothing when it is
// not there), remove the block of a tag, add a block at the end.
void StoreArea(AreaList& list, const AreaRecord& area);
void DropArea(AreaList& list, std::string_view tag);
void AddArea(AreaList& list, const AreaRecord& area);

// Writes a changed list back in one rewrite ("areas.old" keeps the file as
// it was read). 0 done or nothing to write, else errno; the file is then
// unchanged.
int SaveAreaList(AreaIndexes& indexes, AreaList& list);

// The file SaveAreaList would write for the list as it stands.
std::string AreaListText(const AreaList& list);

// Writes text as the area list in one rewrite, "areas.old" keeping the file
// as it was; nothing when the file holds that text already (a rewrite done
// by a run that was then cut short). 0 or errno.
int WriteAreaListText(AreaIndexes& indexes, const std::string& file, const std::string& text);

// True when a Path can stand in areas.ctl: its Path line reads back whole
// (then no name in it is too long for a directory either).
bool AreaPathFits(std::string_view path);

// Where an area's files lie: its Path, a relative one taken in programDir
// (not the current directory); empty for a pass-through area.
std::string AreaDirectory(const std::string& programDir, const AreaRecord& area);

// The directory name the rule of LFN, LFNCHANGEPOINT and USEEXT makes of a
// tag for a new area, and the 8.3 form of USEEXT.
std::string AreaDirectoryName(std::string_view tag, bool lfn, bool lfnChangePoint, bool useExt);
std::string ShortDirectoryName(std::string_view name);

// Link entries are written relative to the area's AKA.
std::string ExpandLinkEntry(std::string_view aka, std::string_view entry);      // full address text
FidoAddress LinkEntryAddress(std::string_view aka, std::string_view entry);     // the address
std::string ShortLinkEntry(std::string_view aka, const FidoAddress& address);  // shortest entry
// True when the entry expands to a whole address (not "2:bogus").
bool IsWholeLinkEntry(std::string_view aka, std::string_view entry);

// The blank-separated entries of a Links value (empty entries skipped).
std::vector<std::string> SplitLinks(std::string_view links);

// True when an entry of the area's Links expands to the address.
bool AreaHasLink(const AreaRecord& area, const FidoAddress& address);

// Adds the address as its shortest entry unless it is already there; true
// when the Links value changed. A Links value that would grow beyond 255
// characters is left alone and false returned.
bool AddLinkToArea(AreaRecord& area, const FidoAddress& address);

// Removes every entry that expands to the address; true when one was removed.
bool RemoveLinkFromArea(AreaRecord& area, const FidoAddress& address);

// True when a character of group string a occurs in group string b.
bool SharesGroup(std::string_view a, std::string_view b);

// For `brenmoor check`: unknown keywords, values that do not parse, link
// entries that are no whole address or whose link is not in links, every
// area tag that a block before it has already used (the reader only ever
// finds the first), and PATH directories that are missing and cannot be made
// or are not writable (relative ones taken in programDir).
std::vector<ConfigProblem> CheckAreaList(const std::string& file, const std::string& programDir,
                                         const std::vector<LinkRecord>& links);
