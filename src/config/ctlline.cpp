#include "config/ctlline.h"

#include <limits>

#include "frame/utils.h"

namespace {

// The decimal value when the whole text is a number within low..high.
long long RangedNumber(std::string_view text, long long low, long long high) {
    std::string trimmed(text);
    Trim(trimmed);
    long long value = ParseNumber(trimmed);
    return value < low || value > high ? 0 : value;
}

}  // namespace

std::uint8_t ParseByteValue(std::string_view text) {
    return static_cast<std::uint8_t>(RangedNumber(text, 0, std::numeric_limits<std::uint8_t>::max()));
}

std::uint16_t ParseWordValue(std::string_view text) {
    return static_cast<std::uint16_t>(RangedNumber(text, 0, std::numeric_limits<std::uint16_t>::max()));
}

std::int32_t ParseLongValue(std::string_view text) {
    return static_cast<std::int32_t>(
        RangedNumber(text, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::int64_t ParseSizeValue(std::string_view text) {
    return RangedNumber(text, std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max());
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool ParseHexValue(std::string_view text, std::uint32_t& value) {
    value = 0;
    if (text.empty()) return false;
    std::uint64_t result = 0;
    for (char c : text) {
        int digit = HexDigitValue(c);
        if (digit < 0) return false;
        result = result * 16 + static_cast<std::uint64_t>(digit);
        if (result > 0xFFFFFFFFull) return false;
    }
    value = static_cast<std::uint32_t>(result);
    return true;
}

void RemoveQuotes(std::string& text, char quote) {
    if (!text.empty() && text.front() == quote) text.erase(0, 1);
    if (!text.empty() && text.back() == quote) text.pop_back();
}
