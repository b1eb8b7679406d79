#include "frame/log.h"

#include "frame/exit.h"
#include "frame/platform.h"
#include "frame/utils.h"

namespace {

constexpr std::string_view LineEnd = "\r\n";

// Box characters of code page 866.
constexpr char BoxTopLeft = '\xDA', BoxTopRight = '\xBF';
constexpr char BoxBottomLeft = '\xC0', BoxBottomRight = '\xD9';
constexpr char BoxHorizontal = '\xC4', BoxVertical = '\xB3';

std::string LogHeader() {
    std::string header;
    header += BoxTopLeft;
    header.append(76, BoxHorizontal);
    header += BoxTopRight;
    header += LineEnd;
    header += BoxVertical;
    header.append(19, ' ');
    header += "Brenmoor version ";
    header += VersionNumber;
    header += " LOG file";
    header.append(27, ' ');
    header += BoxVertical;
    header += LineEnd;
    header += BoxBottomLeft;
    header.append(76, BoxHorizontal);
    header += BoxBottomRight;
    header += LineEnd;
    return header;
}

// The log stays open for the run: each line is one write, so the file is
// complete up to the last event also when the run is killed.
struct OpenLog {
    std::string name;
    KeptFile file;
};

OpenLog& CurrentLog() {
    static OpenLog log;
    return log;
}

}  // namespace

void WriteLog(const std::string& logName, const std::string& message) {
    if (logName.empty()) return;
    ClearErrorNumber();
    std::string line = TimeText() + " " + message;
    CutText(line, MaxText);
    OpenLog& log = CurrentLog();
    std::string bytes;
    if (!log.file.IsOpen() || log.name != logName) {
        bool created = false;
        log.name.clear();
        if (int error = log.file.Open(logName, created)) RuntimeError(error);
        log.name = logName;
        if (created) bytes = LogHeader();
    }
    bytes += line;
    bytes += LineEnd;
    int error = log.file.Append(bytes);
    if (error != 0) RuntimeError(error);
}

void StartLogRun(const std::string& logName) {
    if (logName.empty()) return;
    // "■ ═════════╡ " date " ╞═════════ ■" in code page 866.
    std::string entry = "\xFE ";
    entry.append(9, '\xCD');
    entry += "\xB5 ";
    entry += MessageDateText();
    entry += " \xC6";
    entry.append(9, '\xCD');
    entry += " \xFE";
    WriteLog(logName, entry);
}

void LogFatal(const std::string& message) {
    OpenLog& log = CurrentLog();
    if (!log.file.IsOpen()) return;
    std::string line = TimeText() + " " + message;
    CutText(line, MaxText);
    line += LineEnd;
    log.file.Append(line);
}
