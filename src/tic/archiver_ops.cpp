// Recognising archives by signature and extracting file_id.diz with the
// archiver's own command line.
#include "config/ctlline.h"
#include "frame/console.h"
#include "frame/platform.h"
#include "frame/platform_blockio.h"
#include "frame/utils.h"
#include "tic/archivers.h"

namespace {

constexpr std::string_view DizName = "file_id.diz";

// Digit pairs to bytes; a pair that is not hexadecimal gives 0.
std::string SignatureBytes(std::string_view signature) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < signature.size(); i += 2) {
        int high = HexDigitValue(signature[i]);
        int low = HexDigitValue(signature[i + 1]);
        bytes += static_cast<char>(high < 0 || low < 0 ? 0 : high * 16 + low);
    }
    return bytes;
}

// Compares like two zero-terminated strings limited to the bytes read.
bool SignatureMatches(std::string_view read, std::string_view signature) {
    for (std::size_t i = 0; i < read.size() && i < signature.size(); ++i) {
        if (read[i] != signature[i]) return false;
        if (read[i] == '\0') return true;
    }
    return true;
}

// A value put into a shell command line: left alone when it holds only
// characters the shell takes literally, otherwise single-quoted, so a file
// name from a TIC can never become a command.
std::string ShellWord(std::string_view value) {
    bool plain = !value.empty();
    for (char c : value) {
        unsigned char b = static_cast<unsigned char>(c);
        bool safe = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
                    c == '/' || c == '.' || c == '_' || c == '-' || c == '+' || c == ',' || c == ':' ||
                    c == '@' || c == '%' || c == '=';
        if (!safe) plain = false;
    }
    if (plain) return std::string(value);
    std::string quoted = "'";
    for (char c : value) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}

}  // namespace

ArchiverRecord FindArchiver(const std::string& archivePath, const std::vector<ArchiverRecord>& archivers) {
    for (const ArchiverRecord& archiver : archivers) {
        std::size_t length = archiver.Signature.size() / 2;
        if (length == 0 || archiver.Offset < 0) continue;
        std::string read;
        if (ReadFileRange(archivePath, static_cast<std::uint64_t>(archiver.Offset), length, read) != 0) continue;
        if (read.empty()) continue;
        if (SignatureMatches(read, SignatureBytes(archiver.Signature))) return archiver;
    }
    return ArchiverRecord{};
}

std::string ExtractCommandLine(const ArchiverRecord& archiver, const std::string& archivePath,
                               const std::string& tempDir) {
    // Text that a path brings along is never taken for a macro, and a long
    // path is not cut: a cut command line would run the wrong command.
    const std::string archive = ShellWord(archivePath);
    const std::string temp = ShellWord(tempDir);
    const MacroValue macros[] = {{"%A", archive}, {"%F", DizName}, {"%T", temp}};
    return SubstituteMacroList(archiver.ExtractFile, macros, std::string::npos);
}

std::vector<std::string> ExtractDescription(const ArchiverRecord& archiver, const std::string& archivePath,
                                            const std::string& tempDir) {
    std::string command = ExtractCommandLine(archiver, archivePath, tempDir);
    Trim(command);
    std::string program = FirstWord(command);
    std::string params = command.size() > program.size() ? command.substr(program.size() + 1) : std::string();

    const std::string diz = tempDir + std::string(DizName);
    DeleteFiles(diz);  // every letter case of an old one
    if (!program.empty() && !FindProgram(program).empty()) {
        int rows = 25, columns = 80;
        GetScreenSize(columns, rows);
        SavedScreen saved;
        SaveScreen(rows, saved);
        RunCommand(program, params);
        RestoreScreen(rows, saved);
    }

    std::vector<std::string> lines;
    std::string content;
    if (!ReadWholeFile(diz, content)) return lines;
    DeleteFiles(diz);
    // DOS descriptions may end with a Ctrl+Z end-of-file mark.
    std::size_t eof = content.find('\x1A');
    if (eof != std::string::npos) content.resize(eof);
    lines = SplitLines(content, MaxText);
    return lines;
}
