#pragma once
// The command line: the command word, its arguments and the hatch options.
#include <string>
#include <vector>

// The command line as the driver reads it. Arguments are counted from 1, as
// on the command line; the program's own name is not one of them.
struct CommandLine {
    std::vector<std::string> arguments;  // arguments[0] is argument 1
    std::string commandWord;             // argument 1 in upper case, at most 255 characters
    bool quiet = false;                  // "-q" or "--quiet" anywhere: taken out of the arguments
    // Hatch options from argument 4 on.
    bool immediateHatch = false;         // "-N"
    bool copyToArea = false;             // "-C"
    std::string hatchDescription;        // rest of "-D...", or the argument after a lone "-D"; letter case kept
    bool descriptionMissing = false;     // a lone "-D" without a text after it
};

CommandLine ParseCommandLine(std::vector<std::string> args);

// Argument n (1-based), or "" when there are fewer arguments.
const std::string& CommandArgument(const CommandLine& commandLine, int n);
