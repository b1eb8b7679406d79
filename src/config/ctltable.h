#pragma once
// Control files read through keyword tables. A row names a keyword, how its
// value is read and which field it fills; loading and `brenmoor check` walk
// the same table, so a keyword one of them knows is known to the other.
//
// Load rules: unknown keywords are ignored; a value that does not parse is
// read as well as it goes (a number out of bounds or not one is 0, a switch
// that is not Yes is No, a word that is not a choice is the choice past the
// last) and `check` reports it with its file and line.
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "frame/catalogue.h"
#include "frame/utils.h"

// A problem `brenmoor check` reports: the file, its line (0: the file as a
// whole) and what is wrong.
struct ConfigProblem {
    std::string file;
    std::size_t line = 0;
    std::string text;
};

// A problem's text from the language file with its macros filled in; not cut,
// as the values it shows are the sysop's own.
std::string CheckText(Msg key, std::initializer_list<MacroValue> macros = {});

enum class ValueKind {
    Text,          // as written, cut to the row's limit
    Upper,         // in upper case, cut to the limit
    YesNo,         // Yes or No ("+" and "-" too)
    Number,        // decimal within [low, high]
    Address,       // one whole address: zone:net/node[.point][@domain]
    Choice,        // one of the row's words, any case; number = its index (empty: the first)
    Directory,     // a path, ends in "/"; the directory is made when missing
    FileIn,        // a path of a file the program writes; its directory is made
    ExistingFile,  // a path of a file that must exist
    Path,          // a path another program uses (the BBS); nothing is made or required
    Command,       // a command line the program runs, case kept; its program must be found
    Letter,        // its first character
};

// A file's own grammar for a value (an archiver signature, a colour): what
// `check` says of the value, empty when it is good. The row's store reads it.
using ValueCheck = std::string (*)(std::string_view value);

struct ValueRule {
    ValueKind kind = ValueKind::Text;
    std::size_t limit = MaxText;  // Text, Upper, Letter and paths are cut to it
    long long low = 0, high = 0;  // Number
    std::span<const std::string_view> words{};  // Choice, upper case
    ValueCheck check = nullptr;  // after the kind's own reading, when that found nothing wrong
};

constexpr ValueRule TextRule(std::size_t limit = MaxText) { return {ValueKind::Text, limit}; }
constexpr ValueRule UpperRule(std::size_t limit = MaxText) { return {ValueKind::Upper, limit}; }
constexpr ValueRule NumberRule(long long low, long long high) { return {ValueKind::Number, MaxText, low, high}; }
constexpr ValueRule ChoiceRule(std::span<const std::string_view> words) {
    return {ValueKind::Choice, MaxText, 0, 0, words};
}
constexpr ValueRule YesNoRule{ValueKind::YesNo};
constexpr ValueRule AddressRule{ValueKind::Address};
constexpr ValueRule DirectoryRule{ValueKind::Directory};
constexpr ValueRule FileInRule{ValueKind::FileIn};
constexpr ValueRule ExistingFileRule{ValueKind::ExistingFile};
constexpr ValueRule LetterRule{ValueKind::Letter, 1};
constexpr ValueRule PathRule(ValueKind kind, std::size_t limit = MaxText) { return {kind, limit}; }
constexpr ValueRule CheckedRule(ValueRule rule, ValueCheck check) {
    rule.check = check;
    return rule;
}

// A value as its rule reads it.
struct ParsedValue {
    std::string text;       // the value (upper case for Upper and Choice, resolved for paths)
    std::string written;    // the value as written, blanks around it removed
    long long number = 0;   // Number; YesNo 1 or 0; Choice the word's index (words.size(): none)
    FidoAddress address{};  // Address
    std::string problem;    // what `check` says of the value; empty when it is good
};

// Reads a value by its rule. Paths are taken relative to baseDir (which ends
// in "/"); the limit applies to the path as written. Nothing is created or
// checked on disk here.
ParsedValue ParseValue(const ValueRule& rule, std::string_view value, const std::string& baseDir);

// What is wrong on disk with a path value (a directory that is missing and
// cannot be made by this user, or is not writable; a file that must exist
// and does not or cannot be read; a command whose program is not found as
// the run looks for it); empty when nothing is.
std::string PathProblem(ValueKind kind, const std::string& path);

// A Windows path: a back slash or a drive letter, which a Linux node would
// take as part of a name.
bool IsWindowsPath(std::string_view path);

// A row of a keyword table of records of type R.
template <class R>
struct KeywordRow {
    std::string_view keyword;  // upper case
    ValueRule rule;
    void (*store)(R&, const ParsedValue&);
};

// The store of a row for a field: a std::vector field builds a list (every
// line adds an entry), any other field takes the last line's value.
template <auto Field, class R>
void StoreValue(R& record, const ParsedValue& value) {
    using T = std::remove_cvref_t<decltype(record.*Field)>;
    T& field = record.*Field;
    if constexpr (std::is_same_v<T, std::string>) field = value.text;
    else if constexpr (std::is_same_v<T, bool>) field = value.number != 0;
    else if constexpr (std::is_same_v<T, char>) field = value.text.empty() ? ' ' : value.text[0];
    else if constexpr (std::is_same_v<T, FidoAddress>) field = value.address;
    else if constexpr (std::is_same_v<T, std::vector<FidoAddress>>) field.push_back(value.address);
    else if constexpr (std::is_same_v<T, std::vector<std::string>>) field.push_back(value.text);
    else if constexpr (std::is_enum_v<T> || std::is_integral_v<T>) field = static_cast<T>(value.number);
    else static_assert(!sizeof(T), "no store for this field type");
}

// Member pointers as template arguments need the record type spelled out;
// this names the field once: Store<&MainConfig::inbound>.
template <auto Field>
struct FieldRecord;
template <class R, class T, T R::*Field>
struct FieldRecord<Field> {
    using type = R;
};
template <auto Field>
void Store(typename FieldRecord<Field>::type& record, const ParsedValue& value) {
    StoreValue<Field>(record, value);
}

// One line of a control file as its grammar reads it: TABs as blanks, the
// comment after ";" removed, the keyword in upper case.
struct ControlEntry {
    std::size_t line = 0;  // 1-based
    std::string keyword;
    std::string value;
};

// The entries of a control file (a byte-order mark before the first line
// skipped, empty lines left out). False when the file cannot be read.
bool ReadControlEntries(const std::string& path, std::vector<ControlEntry>& entries);
// Why ReadControlEntries just failed: its error number, never 0.
int ControlReadFailure();

// The entries of a control file a run cannot do without, for check: false,
// with the problem that the file is missing or unreadable and the run ends
// with exitCode, when they cannot be read.
bool ReadEntriesToCheck(const std::string& path, int exitCode, std::vector<ControlEntry>& entries,
                        std::vector<ConfigProblem>& problems);

// The row of the keyword, nullptr when the table has none.
template <class R>
const KeywordRow<R>* FindRow(std::span<const KeywordRow<R>> table, std::string_view keyword) {
    for (const KeywordRow<R>& row : table)
        if (row.keyword == keyword) return &row;
    return nullptr;
}

// What `check` says of a line: "KEYWORD: problem".
ConfigProblem LineProblem(std::string_view file, const ControlEntry& entry, std::string_view text);
ConfigProblem UnknownKeyword(std::string_view file, const ControlEntry& entry);

// Applies an entry to a record through the table. With problems, an unknown
// keyword and a value that does not parse are reported there (file names
// the file in the report). The row of the keyword (nullptr when the table
// has none); parsed, when given, receives the value as read.
template <class R>
const KeywordRow<R>* ApplyEntry(std::span<const KeywordRow<R>> table, const ControlEntry& entry, R& record,
                                const std::string& baseDir, std::string_view file,
                                std::vector<ConfigProblem>* problems, ParsedValue* parsed = nullptr) {
    const KeywordRow<R>* row = FindRow(table, entry.keyword);
    if (row == nullptr) {
        if (problems) problems->push_back(UnknownKeyword(file, entry));
        return nullptr;
    }
    ParsedValue value = ParseValue(row->rule, entry.value, baseDir);
    if (problems && !value.problem.empty()) problems->push_back(LineProblem(file, entry, value.problem));
    row->store(record, value);
    if (parsed) *parsed = std::move(value);
    return row;
}

// Problems in the order of their lines; those of the file as a whole last.
void SortProblems(std::vector<ConfigProblem>& problems);

// An entry applied as ApplyEntry does; with problems, the path or command
// of the value is checked on disk as well.
template <class R>
const KeywordRow<R>* ApplyCheckedEntry(std::span<const KeywordRow<R>> table, const ControlEntry& entry, R& record,
                                       const std::string& baseDir, std::string_view file,
                                       std::vector<ConfigProblem>* problems) {
    ParsedValue value;
    const KeywordRow<R>* row = ApplyEntry(table, entry, record, baseDir, file, problems, &value);
    if (row != nullptr && problems != nullptr) {
        const std::string problem = PathProblem(row->rule.kind, value.text);
        if (!problem.empty()) problems->push_back(LineProblem(file, entry, problem));
    }
    return row;
}

// A file of one record: every entry fills it.
template <class R>
void ApplyEntries(std::span<const KeywordRow<R>> table, const std::vector<ControlEntry>& entries, R& record,
                  const std::string& baseDir, std::string_view file, std::vector<ConfigProblem>* problems) {
    for (const ControlEntry& entry : entries) ApplyCheckedEntry(table, entry, record, baseDir, file, problems);
}

// A file of records that each start at a line of the table's first keyword
// (GROUP, ARCHIVER, FORWARD) and begin as fresh. Lines before the first start
// fill no record; with problems they are reported. starts, when given,
// receives the line of each record's start.
template <class R>
void ApplyRecordEntries(std::span<const KeywordRow<R>> table, const std::vector<ControlEntry>& entries,
                        std::vector<R>& records, const R& fresh, const std::string& baseDir, std::string_view file,
                        std::vector<ConfigProblem>* problems, std::vector<std::size_t>* starts = nullptr) {
    const std::string_view start = table.front().keyword;
    for (const ControlEntry& entry : entries) {
        if (entry.keyword == start) {
            records.push_back(fresh);
            if (starts) starts->push_back(entry.line);
        } else if (records.empty()) {
            if (problems == nullptr) continue;
            // Read all the same, so that check names what is wrong with it.
            R none = fresh;
            if (ApplyCheckedEntry(table, entry, none, baseDir, file, problems) != nullptr)
                problems->push_back(LineProblem(file, entry, CheckText(Msg::CHECKBEFOREFIRST, {{"%k", start}})));
            continue;
        }
        ApplyCheckedEntry(table, entry, records.back(), baseDir, file, problems);
    }
}
