#pragma once
// Addresses, text cleaning, macros, paths and dates shared by the whole
// program. Texts are code page 866 bytes of at most MaxText characters.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "frame/platform.h"

// ---- Addresses -------------------------------------------------------------------

struct FidoAddress {
    std::uint16_t zone = 0, net = 0, node = 0, point = 0;
    bool operator==(const FidoAddress&) const = default;
};

FidoAddress ParseAddress(std::string_view text);
std::string FormatAddress(const FidoAddress& address);
std::string FormatAddressParts(unsigned zone, unsigned net, unsigned node, unsigned point);
std::string NormalizeAddress(std::string_view text);
bool SameAddress(const FidoAddress& a, const FidoAddress& b);
bool SameAddressText(std::string_view a, std::string_view b);
bool AddressMatchesMask(std::string_view address, std::string_view mask);
bool AddressInList(std::string_view address, const std::vector<FidoAddress>& list);
bool AddressTextInList(std::string_view address, const std::vector<std::string>& addressTexts);
bool MatchWildcard(std::string_view value, std::string_view pattern);

// ---- Text ----------------------------------------------------------------------------

void CutText(std::string& text, std::size_t limit = MaxText);
void TrimLeft(std::string& text);   // blanks (32) only
void TrimRight(std::string& text);
void Trim(std::string& text);
void StripComment(std::string& text);
void StripCommentAndPercent(std::string& text);
void TabsToSpaces(std::string& text);
std::string FirstWord(std::string_view text);
std::string UpperCase(std::string_view text);
void UpperCaseInPlace(std::string& text);
void UpperCaseRussian(std::string& text);
void LowerCaseInPlace(std::string& text);
std::string LowerCase(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);  // ASCII
void TruncateTo8(std::string& text);
void DotsToUnderscores(std::string& text);
bool IsDigit(char c);
bool ParseYesNo(std::string_view text);
std::string YesNoText(bool value);
std::string NumberText(long long value);
// The size in decimal, digits grouped by threes with the separator when it
// is not 0; a value below 1 is "0".
std::string SizeText(std::int64_t value, char separator);
std::string TwoDigits(int value);
std::string HexByte(std::uint32_t value);
std::string HexWord(std::uint32_t value);
std::string HexLong(std::uint32_t value);
// Decimal value of the text, 0 when it is empty or not a valid number.
long long ParseNumber(std::string_view text);

// First occurrence of each macro (case ignored) replaced; cut at MaxText.
std::string SubstituteMacros(std::string_view text, std::string_view macro1, std::string_view macro2,
                             std::string_view value1, std::string_view value2);
std::string SubstituteMacros(std::string_view text, std::string_view macro, std::string_view value);

// The same with each macro beside its value.
std::string Fill(std::string_view text, std::string_view macro, std::string_view value);
std::string Fill(std::string_view text, std::string_view macro1, std::string_view value1, std::string_view macro2,
                 std::string_view value2);

// Several macros at once: the first occurrence (case ignored) of each, in the
// order given; text a value brought in is never taken for a later macro.
// Empty macros are skipped; the result is cut at limit.
struct MacroValue {
    std::string_view macro;
    std::string_view value;
};
std::string SubstituteMacroList(std::string_view text, std::span<const MacroValue> macros,
                                std::size_t limit = MaxText);

// Position of the first occurrence of needle at or after from, ASCII case
// ignored; npos when there is none or needle is empty.
std::size_t FindNoCase(std::string_view text, std::string_view needle, std::size_t from = 0);

// The text with every CR and LF made a blank: a value written into a line
// of a file can never open lines of its own.
std::string SingleLine(std::string_view text);

// The text with every control byte (below 32, and 127) made "?": text from
// outside shown on a terminal or written to the log cannot move the cursor
// or clear the screen.
std::string PrintableText(std::string_view text);
// The same with blanks: for descriptions and tags that are kept, not only
// shown. Code page 866 letters (128 and up) stay.
std::string ControlsToBlanks(std::string_view text);

// ---- Control-file lines ------------------------------------------------------------

// The part of a line before its first ";" or NUL, without blanks at either end.
std::string_view CleanControlLine(std::string_view line);

// Splits a cleaned line at its first blank (only the blank separates): the
// keyword, and the value without leading blanks. The views point into line.
void SplitKeywordView(std::string_view line, std::string_view& keyword, std::string_view& value);

// The same with the keyword in upper case.
void SplitKeywordValue(std::string_view line, std::string& keyword, std::string& value);

// The main configuration's grammar: TABs as blanks, CleanControlLine, then
// SplitKeywordValue. False for a line that is empty after cleaning.
bool SplitControlLine(std::string line, std::string& keyword, std::string& value);

// ---- Little-endian numbers of the binary files ------------------------------------

std::uint16_t LittleEndianWord(std::string_view bytes, std::size_t at);
std::uint32_t LittleEndianLong(std::string_view bytes, std::size_t at);
void AppendLittleEndianWord(std::string& bytes, std::uint16_t value);
void AppendLittleEndianLong(std::string& bytes, std::uint32_t value);
void SetLittleEndianWord(std::string& bytes, std::size_t at, std::uint16_t value);

// ---- Paths -------------------------------------------------------------------------

void AddTrailingSlash(std::string& path);
std::string ExtractDir(std::string_view path);
std::string ExtractFileName(std::string_view path);
// The last part of a path as the file system names it, trailing blanks
// kept: "note.txt " is another file than "note.txt".
std::string ExtractFileNameAsIs(std::string_view path);
void SplitPath(std::string_view path, std::string& dir, std::string& name, std::string& ext);

// A name that stays inside the directory it is joined to: not empty, not
// "." or "..", no "/" and no NUL. TIC values naming files, the Replaces mask
// and the directories of new areas must be such names.
bool IsPlainName(std::string_view name);
// A byte below 32 or DEL: such a name cannot stand in a flow file, a TIC or
// the log as one line.
bool HasControlCharacters(std::string_view text);
// A file name the program can write into TICs, flow files and description
// lists: no control character (a tab is one) and no '"', which would end
// the quotes around a name with blanks. Hatch, AutoHatch and the toss
// refuse other names.
bool IsUsableFileName(std::string_view name);

// ---- Dates and times (local clock) ------------------------------------------------

bool IsLeapYear(int year);
int FullYear(int twoDigitYear);
int DaysInMonth(int month, int year);

std::string TodayText();       // DD-MM-YYYY
std::string YesterdayText();   // DD-MM-YYYY
std::string TimeText();        // HH:MM:SS
std::string MessageDateText(); // DD Mon YY  HH:MM:SS
std::int64_t UnixTimeNow();

// The same, from a given moment (the functions above pass LocalNow()).
std::string DateText(const LocalDateTime& t);
std::string YesterdayTextOf(const LocalDateTime& t);
std::string TimeTextOf(const LocalDateTime& t);
std::string MessageDateTextOf(const LocalDateTime& t);
std::int64_t UnixTimeOf(const LocalDateTime& t);
std::string_view MonthAbbreviation(int month);  // 1..12
