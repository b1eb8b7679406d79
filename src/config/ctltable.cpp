#include "config/ctltable.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "config/ctlline.h"
#include "config/mainconfig.h"
#include "frame/catalogue.h"
#include "frame/platform.h"

namespace {

std::string Quoted(std::string_view value) { return "\"" + std::string(value) + "\""; }

// A check text with the value, in quotes, for %v.
std::string ValueText(Msg key, std::string_view value) { return Fill(MessageText(key), "%v", Quoted(value)); }

bool IsDecimal(std::string_view text) {
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

std::string ChoiceList(std::span<const std::string_view> words) {
    std::string list;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0) list += ", ";
        list += words[i];
    }
    return list;
}

}  // namespace

std::string CheckText(Msg key, std::initializer_list<MacroValue> macros) {
    return SubstituteMacroList(MessageText(key), std::span<const MacroValue>(macros.begin(), macros.size()),
                               std::string::npos);
}

bool IsWindowsPath(std::string_view path) {
    return path.find('\\') != std::string_view::npos ||
           (path.size() >= 2 && path[1] == ':' && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')));
}

ParsedValue ParseValue(const ValueRule& rule, std::string_view value, const std::string& baseDir) {
    ParsedValue out;
    std::string text(value);
    Trim(text);
    out.written = text;
    switch (rule.kind) {
        case ValueKind::Text:
        case ValueKind::Command:
        case ValueKind::Letter:
            CutText(text, rule.limit);
            out.text = std::move(text);
            break;
        case ValueKind::Upper:
            CutText(text, rule.limit);
            out.text = UpperCase(text);
            break;
        case ValueKind::YesNo: {
            out.number = ParseYesNo(text);
            const std::string word = UpperCase(text);
            if (!out.number && word != "NO" && word != "-") out.problem = ValueText(Msg::CHECKNOTYESNO, text);
            break;
        }
        case ValueKind::Number: {
            const long long number = ParseNumber(text);
            if (!IsDecimal(text)) out.problem = ValueText(Msg::CHECKNOTNUMBER, text);
            else if (number < rule.low || number > rule.high || text.size() > 19)
                out.problem = SubstituteMacros(Fill(ValueText(Msg::CHECKNOTWITHIN, text), "%l", NumberText(rule.low)),
                                               "%h", NumberText(rule.high));
            else out.number = number;
            break;
        }
        case ValueKind::Address:
            out.address = ParseAddress(text);
            out.text = text;
            if (!IsAddressText(text)) out.problem = ValueText(Msg::CHECKNOTADDRESS, text);
            break;
        case ValueKind::Choice: {
            out.text = UpperCase(text);
            if (out.text.empty()) break;  // the first word, the default
            out.number = static_cast<long long>(rule.words.size());
            for (std::size_t i = 0; i < rule.words.size(); ++i)
                if (out.text == rule.words[i]) out.number = static_cast<long long>(i);
            if (out.number == static_cast<long long>(rule.words.size()))
                out.problem = Fill(ValueText(Msg::CHECKNOTCHOICE, text), "%w", ChoiceList(rule.words));
            break;
        }
        case ValueKind::Directory:
        case ValueKind::FileIn:
        case ValueKind::ExistingFile:
        case ValueKind::Path:
            if (text.empty()) break;  // not configured
            if (IsWindowsPath(text)) out.problem = ValueText(Msg::CHECKWINDOWSPATH, text);
            CutText(text, rule.limit);
            out.text = ResolveConfigPath(baseDir, text);
            CutText(out.text, MaxText);
            if (rule.kind == ValueKind::Directory) {
                AddTrailingSlash(out.text);
                CutText(out.text, MaxText);
            }
            break;
    }
    if (out.problem.empty() && rule.check != nullptr) out.problem = rule.check(out.written);
    return out;
}

std::string PathProblem(ValueKind kind, const std::string& path) {
    if (path.empty()) return {};
    switch (kind) {
        case ValueKind::Directory:
        case ValueKind::FileIn: {
            const std::string dir = kind == ValueKind::Directory ? path : ExtractDir(path);
            if (dir.empty()) return {};
            // A log or dupe file left by a run of another user (root's, say)
            // is appended to or rewritten in place.
            if (kind == ValueKind::FileIn && FileExists(path) && !IsWritableFile(path))
                return Fill(MessageText(Msg::CHECKNOTWRITABLE), "%d", path);
            if (DirectoryExists(dir)) return IsWritableDirectory(dir) ? std::string() : Fill(MessageText(Msg::CHECKNOTWRITABLE), "%d", dir);
            // Missing: fine when the run can make it, as it does: the
            // nearest part that exists is a directory it may write in.
            const std::string parent = NearestExistingPath(dir);
            return DirectoryExists(parent) && IsWritableDirectory(parent)
                       ? std::string()
                       : Fill(MessageText(Msg::CHECKCANTCREATE), "%d", dir);
        }
        case ValueKind::ExistingFile: {
            if (!IsRegularFile(path)) return Fill(MessageText(Msg::CHECKNOFILE), "%f", path);
            std::string content;
            return ReadWholeFile(path, content) ? std::string() : Fill(MessageText(Msg::CHECKFILEUNREADABLE), "%f", path);
        }
        case ValueKind::Command: {
            // As the run finds it: the first word, as given, then on PATH.
            const std::string program = FirstWord(path);
            return program.empty() || !FindProgram(program).empty()
                       ? std::string()
                       : Fill(MessageText(Msg::CHECKNOPROGRAM), "%p", program);
        }
        default:
            return {};
    }
}

bool ReadControlEntries(const std::string& path, std::vector<ControlEntry>& entries) {
    entries.clear();
    std::vector<std::string> lines;
    if (!ReadTextLines(path, lines)) return false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string& line = lines[i];
        if (i == 0 && line.starts_with(ByteOrderMark)) line.erase(0, ByteOrderMark.size());
        ControlEntry entry;
        if (!SplitControlLine(std::move(line), entry.keyword, entry.value)) continue;
        entry.line = i + 1;
        entries.push_back(std::move(entry));
    }
    return true;
}

int ControlReadFailure() {
    const int error = LastErrorNumber();
    return error != 0 ? error : EIO;
}

void SortProblems(std::vector<ConfigProblem>& problems) {
    std::stable_sort(problems.begin(), problems.end(), [](const ConfigProblem& a, const ConfigProblem& b) {
        return (a.line == 0 ? SIZE_MAX : a.line) < (b.line == 0 ? SIZE_MAX : b.line);
    });
}

ConfigProblem LineProblem(std::string_view file, const ControlEntry& entry, std::string_view text) {
    return {std::string(file), entry.line, entry.keyword + ": " + std::string(text)};
}

ConfigProblem UnknownKeyword(std::string_view file, const ControlEntry& entry) {
    return LineProblem(file, entry, MessageText(Msg::CHECKUNKNOWNKEY));
}

bool ReadEntriesToCheck(const std::string& path, int exitCode, std::vector<ControlEntry>& entries,
                        std::vector<ConfigProblem>& problems) {
    if (ReadControlEntries(path, entries)) return true;
    const Msg text = FileExists(path) ? Msg::CHECKUNREADRUNENDS : Msg::CHECKMISSINGRUNENDS;
    problems.push_back({ExtractFileName(path), 0, CheckText(text, {{"%n", NumberText(exitCode)}})});
    return false;
}
