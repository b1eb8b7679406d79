#pragma once
// Small pieces shared by the control-file readers.
#include <cstdint>
#include <string>
#include <string_view>

#include "frame/utils.h"  // the line splitters (SplitKeywordValue and friends)

// Decimal numbers of the control files: 0 when the text is not a number or
// does not fit the field.
std::uint8_t ParseByteValue(std::string_view text);
std::uint16_t ParseWordValue(std::string_view text);
std::int32_t ParseLongValue(std::string_view text);
// A file size: any 64-bit value, 0 when the text is none.
std::int64_t ParseSizeValue(std::string_view text);

// Value of one hexadecimal digit (either case), -1 for any other character.
int HexDigitValue(char c);

// Hexadecimal digits only; false (value 0) when empty, not hexadecimal or
// beyond 32 bits. Leading zeros do not count against the size.
bool ParseHexValue(std::string_view text, std::uint32_t& value);

// One quote character removed at the start and one at the end, when there.
void RemoveQuotes(std::string& text, char quote);
