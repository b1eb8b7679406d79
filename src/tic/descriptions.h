#pragma once
// Description lists ("files.bbs" style, DESCFILE in every area directory):
// one entry per file, its first line holding name, download counter and
// description, continuation lines holding the rest of a long description.
// Lines end in CR LF.
#include <string>
#include <string_view>
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

enum class RemoveDescriptionStatus {
    Done,        // the list was rewritten (possibly unchanged)
    NoList,      // the list cannot be opened: nothing happened
    WorkFailed,  // the new list could not be written: the list is as it was
};

// What RemoveDescription is given: a mask (a Replaces value), or the name of
// one known file, whose "*" and "?" are characters of the name.
enum class EntryName { Mask, Exact };

// Removes the entries of every file matching mask (MatchFileMask; a name
// without wildcards as a whole, blanks included, with the description
// column descPos telling a name from its text) with their continuation
// lines. The list is rebuilt beside itself and renamed into
// place, never anywhere else: a failure leaves it complete. A list without
// such an entry is not rewritten.
RemoveDescriptionStatus RemoveDescription(const std::string& descFile, std::string_view mask,
                                          std::string_view longChars, int descPos,
                                          EntryName given = EntryName::Mask);

// The same on list text in memory: the lines that stay, without line ends.
std::vector<std::string> RemoveDescriptionLines(const std::vector<std::string>& lines, std::string_view mask,
                                                std::string_view longChars, int descPos,
                                                EntryName given = EntryName::Mask);

// The description lines of one file (first line from column descPos, then
// its continuation lines), or an empty list.
std::vector<std::string> ReadDescription(const std::string& descFile, std::string_view fileName,
                                         std::string_view longChars, int descPos);
std::vector<std::string> FindDescription(const std::vector<std::string>& lines, std::string_view fileName,
                                         std::string_view longChars, int descPos);

// Whether the list holds an entry of the file (case ignored).
bool DescriptionExists(const std::string& descFile, std::string_view fileName, int descPos);

// File-name match with wildcards on name and extension separately.
bool MatchFileMask(std::string_view name, std::string_view mask);
