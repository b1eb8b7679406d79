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
// still count: their name ends where the download counter follows.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The lines of one entry (without line ends), as AddDescription writes them.
// mode "DESC" (or an empty ldesc) gives one line with desc; any other mode
// gives one line per ldesc entry.
std::vector<std::string> FormatDescription(std::string_view mode, std::string_view fileName,
                                           std::string_view desc, const std::vector<std::string>& ldesc,
                                           int descPos, int dlcPos, std::string_view dlcString,
                                           std::string_view longChars);

// Appends one entry, creating the list when needed. Returns 0 or errno.
int AddDescription(std::string_view mode, std::string_view fileName, const std::string& descFile,
                   std::string_view desc, const std::vector<std::string>& ldesc, int descPos, int dlcPos,
                   std::string_view dlcString, std::string_view longChars);

// The file name a line of a list is the entry of (a part of the line), and
// where the name ends in the line (quotes included); found is false for a
// line that is no entry (empty, or led by a blank).
struct EntryName {
    bool found = false;
    std::string_view name;
    std::size_t end = 0;
};
EntryName ParseEntryName(std::string_view line, std::string_view dlcString);

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
                                          std::string_view longChars, std::string_view dlcString,
                                          EntryMatch given = EntryMatch::Mask);

// The same on list text in memory: the lines that stay, without line ends.
std::vector<std::string> RemoveDescriptionLines(const std::vector<std::string>& lines, std::string_view mask,
                                                std::string_view longChars, std::string_view dlcString,
                                                EntryMatch given = EntryMatch::Mask);

// The description lines of one file (the first line's text after name and
// counter, from column descPos when the name leaves room, then its
// continuation lines), or an empty list. Names compare in any letter case.
std::vector<std::string> ReadDescription(const std::string& descFile, std::string_view fileName,
                                         std::string_view longChars, int descPos, std::string_view dlcString);
std::vector<std::string> FindDescription(const std::vector<std::string>& lines, std::string_view fileName,
                                         std::string_view longChars, int descPos, std::string_view dlcString);

// Whether the list holds an entry of the file (case ignored).
bool DescriptionExists(const std::string& descFile, std::string_view fileName, std::string_view dlcString);

// A list read once for many lookups: its text and, for each entry, a hash
// of its name in upper case with where its first line starts, ordered by
// hash and place. Lookups through it give what FindDescription gives on the
// lines.
struct DescriptionIndex {
    std::string text;
    std::vector<std::pair<std::uint64_t, std::size_t>> entries;
};
DescriptionIndex IndexDescriptions(std::string text, std::string_view dlcString);
// False (and an empty index) when the list cannot be read.
bool ReadDescriptionIndex(const std::string& descFile, std::string_view dlcString, DescriptionIndex& index);
std::vector<std::string> FindDescription(const DescriptionIndex& index, std::string_view fileName,
                                         std::string_view longChars, int descPos, std::string_view dlcString);

// File-name match with wildcards on name and extension separately.
bool MatchFileMask(std::string_view name, std::string_view mask);
