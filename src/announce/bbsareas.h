#pragma once
// File-area entries for the BBS: every file echo the toss fills gets one
// definition in the BBS's area file, appended the first time a file arrives.
// The program only appends; it never edits or removes a definition.
#include <cstdint>
#include <string>
#include <string_view>

#include "config/bbssoft.h"

// True when a line of the area file has the keyword (upper case) and a value
// equal to the tag. Lines are cut at ";", trimmed and upper-cased, then cut
// at ";" and "%"; the value is compared in upper case (Cyrillic letters
// too), with unquote one leading and one trailing quote (" or ') removed.
// An unreadable area file holds no area.
bool BbsAreaPresent(const std::string& areaFile, std::string_view tag, std::string_view keyword, bool unquote);

// One more than the largest number given to a "FileArea" line, 1 when there
// is none or the file cannot be read.
long long NextMaximusAreaNumber(const std::string& areaFile);

// Append a definition unless the area file is empty (no BBS) or already has
// the area. A missing file is created with its directories; a file that can
// be neither opened nor created ends the run with a run-time error. True
// when a definition was appended.
bool AddMaximusArea(const std::string& areaFile, std::string_view acs, std::string_view tag,
                    std::string_view downloadDir, std::string_view uploadDir);
bool AddTornadoArea(const std::string& areaFile, std::string_view tag, std::string_view areaDir,
                    std::string_view uploadDir, std::string_view group, bool scanNewFiles,
                    std::uint16_t dlSecurity, std::uint16_t ulSecurity, std::uint16_t listSecurity,
                    std::uint16_t showSecurity);

// What the toss calls after it stored a file in a file echo with a
// directory: the definition for the BBS named in the settings, the upload
// directory being the area's own unless the settings name one. Nothing
// without a BBS, for an empty tag or directory, or for a tag holding ";" or
// "%" (the search could never find it). True when a definition was appended.
bool RegisterBbsArea(const BbsSoftSettings& settings, std::string_view tag, std::string_view areaDir);
