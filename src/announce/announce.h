#pragma once
// The announcement command: the records of one day or of all days, sorted
// by file echo and file, written through the announcement template into
// ANNOUNCEFILE.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "config/node.h"

// The description lines of fileName in the description list descFile
// (empty when it has none).
using DescriptionReader = std::function<std::vector<std::string>(const std::string& descFile, std::string_view fileName)>;

// "ANN:<key> [groups]": commandWord is the first argument in upper case,
// groupsArgument the second. Writes the console lines of the run and
// returns the exit code: 0, or 3 when the record file of the key is missing
// or the key names something outside ANNOUNCEDIR. Failed reads and writes
// end the run with a run-time error.
int RunAnnouncement(const NodeConfig& node, const std::string& commandWord, const std::string& groupsArgument,
                    const DescriptionReader& readDescription);

// ---- Template pieces ---------------------------------------------------------

// A field macro found in a template line: where its token starts, how many
// characters it takes, the column width its value gets (the token's length
// but for a token cut short by the line's end) and whether the value is
// padded on its left (right-aligned).
struct FieldToken {
    std::size_t at = std::string::npos;
    std::size_t length = 0;
    std::size_t width = 0;
    bool padLeft = false;
    bool found() const { return at != std::string::npos; }
};

// The first token of macro ("@FILEECHO", "@COMMENT", "@FILE", "@FS",
// "@DESC", "@ORIGIN", "@FROM") in line at or after from, in any letter
// case. Most tokens are the macro and the "*"s after it; "@FILE" always
// takes the 7 characters after it, "@FS" the one letter after it ("L" pads
// on the right, anything else on the left) and then its "*"s.
FieldToken FindFieldToken(std::string_view line, std::string_view macro, std::size_t from = 0);

// value cut to width (its first characters) or padded with blanks.
std::string FitText(std::string_view value, std::size_t width, bool padLeft = false);

// The day of a record file as DD-MM-YYYY: "05-12-26.ANN" gives 05-12-2026,
// years from 80 on are 19xx. A name that is no date stays as it is.
std::string RecordFileDate(std::string_view fileName);
