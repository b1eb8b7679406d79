#pragma once
// The one way the program ends. Every fatal condition throws ProgramExit,
// which main() catches and turns into the process exit code, so tests can
// check exit codes without ending the test runner.
#include <string>

struct ProgramExit {
    int code;
    std::string failure = {};  // why the run failed, for the log; empty otherwise
};

// The exit routine: colour light grey, a blank line, then end with the code.
[[noreturn]] void ExitProgram(int code);

// A failure that ends the run: the text on the console and in the log
// (when it is open), then the exit routine with the code.
[[noreturn]] void FailProgram(int code, const std::string& text);

// A failed open, read or write on a file the program treats as always
// present: prints "Runtime error N (reason): path" (the path of the call
// that failed with N, when known) and ends with exit code N.
[[noreturn]] void RuntimeError(int errorNumber);
