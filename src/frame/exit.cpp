#include "frame/exit.h"

#include <string>

#include "frame/console.h"
#include "frame/platform.h"
#include "frame/utils.h"

void ExitProgram(int code) {
    SetTextColor(LightGray);
    WriteLine("");
    FlushConsole();
    throw ProgramExit{code};
}

void FailProgram(int code, const std::string& text) {
    WriteErrorLine(text);
    SetTextColor(LightGray);
    WriteLine("");
    FlushConsole();
    throw ProgramExit{code, text};
}

void RuntimeError(int errorNumber) {
    // The number becomes the exit code: 0 would report success, so a failure
    // without an error number counts as an I/O error (EIO).
    if (errorNumber <= 0) errorNumber = 5;
    if (errorNumber > 255) errorNumber = 255;
    if (WhereX() > 0) WriteLine("");
    // The file the failed call named, when it is that failure's.
    const std::string path = FailedPath(errorNumber);
    const std::string text = "Runtime error " + ErrorText(errorNumber) + (path.empty() ? "" : ": " + path);
    WriteErrorLine(text);
    FlushConsole();
    throw ProgramExit{errorNumber, text};
}
