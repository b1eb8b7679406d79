#pragma once
// Description lists ("files.bbs" style, DESCFILE in every area directory):
// one entry per file, its first line holding name, download counter and
// description, continuation lines holding the rest of a long description.
// Lines end in CR LF.
//
// An entry is known by its first word, as BBS software reads it: a name
// that holds a blank is written in double quotes, and a name too long for
// the counter column is followed by one blank. Entries that earlier
// versions wrote bare ("My file.zip  [00] x", "LongName2026.zip[00]x")
// still count: their name ends where they put the download counter.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/mainconfig.h"

// How the lists of this node are laid out: the description column
// (DESCPOS), the download counter's column and text (DLCPOS, DLCSTRING)
// and the prefix of continuation lines (LONGDESCCHARS).
struct DescriptionLayout {
    int descPos = 14;
    int dlcPos = 14;
    std::string dlcString;
    std::string longChars;
};
DescriptionLayout ListLayout(const MainConfig& config);

// The lines of one entry (without line ends), as AddDescription writes them.
// mode "DESC" (or an empty ldesc) gives one line with desc; any other mode
// gives one line per ldesc entry.
std::vector<std::string> FormatDescription(std::string_view mode, std::string_view fileName,
                                           std::string_view desc, const std::vector<std::string>& ldesc,
                                           const DescriptionLayout& layout);

// Appends one entry, creating the list when needed. Returns 0 or errno.
int AddDescription(std::string_view mode, std::string_view fileName, const std::string& descFile,
                   std::string_view desc, const std::vector<std::string>& ldesc, const DescriptionLayout& layout);

// The file name a line of a list is the entry of (a part of the line), and
// where the name ends in the line (quotes included); found is false for a
// line that is no entry (empty, or led by a blank). A download counter is
// DLCSTRING with any number in place of each of its numbers: the BBS counts
// downloads there.
struct EntryName {
    bool found = false;
    std::string_view name;
    std::size_t end = 0;
};
EntryName ParseEntryName(std::string_view line, const DescriptionLayout& layout);

enum class RemoveDescriptionStatus {
    Done,        // the list was rewritten (possibly unchanged)
    NoList,      // the list cannot be opened: nothing happened
    WorkFailed,  // the new list could not be written: the list is as it was
};

// What RemoveDescription is given: a mask (a Replaces value), or the name of
// one known file, whose "*" and "?" are characters of the name.
enum class EntryMatch { Mask, Exact };

// Removes the entries of every file matching mask (a name without
// wildcards as a whole, any letter case; a mask by MatchFileMask) with
// their continuation lines. The list is rebuilt beside itself and renamed
// into place, never anywhere else: a failure leaves it complete. A list
// without such an entry is not rewritten.
RemoveDescriptionStatus RemoveDescription(const std::string& descFile, std::string_view mask,
                                          const DescriptionLayout& layout, EntryMatch given = EntryMatch::Mask);

// The same on list text in memory: the lines that stay, without line ends.
std::vector<std::string> RemoveDescriptionLines(const std::vector<std::string>& lines, std::string_view mask,
                                                const DescriptionLayout& layout, EntryMatch given = EntryMatch::Mask);

// The description lines of one file (the first line's text after name and
// counter, from the description column when the name leaves room, then its
// continuation lines), or an empty list. Names compare in any letter case.
std::vector<std::string> ReadDescription(const std::string& descFile, std::string_view fileName,
                                         const DescriptionLayout& layout);
std::vector<std::string> FindDescription(const std::vector<std::string>& lines, std::string_view fileName,
                                         const DescriptionLayout& layout);

// Whether the list holds an entry of the file (case ignored).
bool DescriptionExists(const std::string& descFile, std::string_view fileName, const DescriptionLayout& layout);

// A list read once for many lookups: its text and, for each entry, a hash
// of its name in upper case with where its first line starts, ordered by
// hash and place. Lookups through it give what FindDescription gives on the
// lines.
struct DescriptionIndex {
    std::string text;
    std::vector<std::pair<std::uint64_t, std::size_t>> entries;
};
DescriptionIndex IndexDescriptions(std::string text, const DescriptionLayout& layout);
// False (and an empty index) when the list cannot be read.
bool ReadDescriptionIndex(const std::string& descFile, const DescriptionLayout& layout, DescriptionIndex& index);
std::vector<std::string> FindDescription(const DescriptionIndex& index, std::string_view fileName,
                                         const DescriptionLayout& layout);

// File-name match with wildcards on name and extension separately.
bool MatchFileMask(std::string_view name, std::string_view mask);
