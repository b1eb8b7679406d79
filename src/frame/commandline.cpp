#include <string_view>

#include "frame/commandline.h"
#include "frame/platform.h"
#include "frame/utils.h"

// Kept apart from the driver, which reaches every subsystem, so that the
// command line can be read without them.

CommandLine ParseCommandLine(std::vector<std::string> args) {
    CommandLine commandLine;
    // Quiet may stand before or after the command word, as cron lines have
    // it; the other arguments keep their numbers without it.
    for (std::string& arg : args) {
        if (EqualNoCase(arg, "-q") || EqualNoCase(arg, "--quiet"))
            commandLine.quiet = true;
        else
            commandLine.arguments.push_back(std::move(arg));
    }
    if (commandLine.arguments.empty()) return commandLine;

    commandLine.commandWord = UpperCase(commandLine.arguments[0]);
    CutText(commandLine.commandWord, MaxText);

    // Hatch options stand from argument 4 on; the last "-D" wins.
    const auto isOption = [](std::string_view arg) {
        return EqualNoCase(arg, "-N") || EqualNoCase(arg, "-C") || EqualNoCase(arg, "-D");
    };
    for (std::size_t i = 3; i < commandLine.arguments.size(); ++i) {
        std::string_view option = commandLine.arguments[i];
        if (EqualNoCase(option, "-N")) {
            commandLine.immediateHatch = true;
        } else if (EqualNoCase(option, "-C")) {
            commandLine.copyToArea = true;
        } else if (EqualNoCase(option.substr(0, 2), "-D")) {
            // Whole: the hatch cuts it where its line ends, after any
            // conversion, so no character is split. A blank after "-D"
            // makes the description the next argument, unless that is an
            // option: then the text was forgotten, not meant to be "-N".
            if (option.size() > 2) {
                commandLine.hatchDescription = std::string(option.substr(2));
                commandLine.descriptionMissing = false;
            } else if (i + 1 < commandLine.arguments.size() && !isOption(commandLine.arguments[i + 1])) {
                commandLine.hatchDescription = commandLine.arguments[++i];
                commandLine.descriptionMissing = false;
            } else {
                commandLine.descriptionMissing = true;
            }
        }
    }
    return commandLine;
}

const std::string& CommandArgument(const CommandLine& commandLine, int n) {
    static const std::string none;
    if (n < 1 || static_cast<std::size_t>(n) > commandLine.arguments.size()) return none;
    return commandLine.arguments[static_cast<std::size_t>(n) - 1];
}
