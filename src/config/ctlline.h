#pragma once
// Small pieces shared by the control-file readers.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "frame/utils.h"  // the line splitters (SplitKeywordValue and friends)

// Decimal numbers of the control files: 0 when the text is not a number or
// does not fit the field.
std::uint16_t ParseWordValue(std::string_view text);
// A file size: any 64-bit value, 0 when the text is none.
std::int64_t ParseSizeValue(std::string_view text);

// Value of one hexadecimal digit (either case), -1 for any other character.
int HexDigitValue(char c);

// Hexadecimal digits only; false (value 0) when empty, not hexadecimal or
// beyond 32 bits. Leading zeros do not count against the size.
bool ParseHexValue(std::string_view text, std::uint32_t& value);

// One quote character removed at the start and one at the end, when there.
void RemoveQuotes(std::string& text, char quote);

// ---- Rewriting a control file the sysop edits -------------------------------
// A rewrite changes only the lines whose values change and keeps every other
// byte: comments, blanks, unknown keywords, the line ends and a byte-order
// mark (ByteOrderMark).

// One line of a text: its content [start, end), its line end [end, next).
struct TextLine {
    std::size_t start = 0, end = 0, next = 0;
};

// The lines of a text (LF, CR LF or a bare CR ends one); a byte-order mark
// at the start belongs to no line.
std::vector<TextLine> SplitTextLines(std::string_view content);

// The line end new lines get: that of the first line, CR LF when there is none.
std::string_view FirstLineEnd(std::string_view content);

// True when the text is empty or ends in a line end.
bool EndsWithLineEnd(std::string_view content);

// A new keyword line: the label padded to labelWidth, then the value; a
// value too long for the label column goes behind a single blank, so that
// the line still reads back whole.
std::string ControlLine(std::string_view label, std::string_view value, std::size_t labelWidth);

// A keyword line with its value replaced; blanks and comment around the
// value stay. An empty value leaves the keyword alone (with its comment).
// A value put on a line that had none goes into the label column of
// labelWidth; a line that would grow beyond MaxText before the end of the
// value loses its padding, so that it still reads back whole.
std::string WithControlValue(std::string_view line, std::string_view value, std::size_t labelWidth);

// The text with the lines of changed (line number -> new content) replaced,
// their line ends kept, and added put after line after, which is ended by
// lineEnd first when it has no line end.
std::string EditTextLines(std::string_view content, const std::vector<TextLine>& lines,
                          const std::map<std::size_t, std::string>& changed, std::size_t after, std::string_view added,
                          std::string_view lineEnd);
