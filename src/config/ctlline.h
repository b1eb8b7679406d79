#pragma once
// Small pieces shared by the control-file readers.
#include <cstdint>
#include <string>
#include <string_view>

// Splits a cleaned line at its first blank: the keyword in upper case and
// the value without leading blanks. Only the blank separates them.
void SplitKeywordValue(std::string_view line, std::string& keyword, std::string& value);

// Decimal numbers of the control files: 0 when the text is not a number or
// does not fit the field.
std::uint8_t ParseByteValue(std::string_view text);
std::uint16_t ParseWordValue(std::string_view text);
std::int32_t ParseLongValue(std::string_view text);

// Hexadecimal digits only; false when empty, not hexadecimal or too large.
bool ParseHexValue(std::string_view text, std::uint32_t& value);

// One quote character removed at the start and one at the end, when there.
void RemoveQuotes(std::string& text, char quote);
