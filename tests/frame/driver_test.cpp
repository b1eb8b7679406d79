#include <gtest/gtest.h>

#include "frame/driver.h"

namespace {

TEST(ParseCommandLine, CommandWordAndArguments) {
    EXPECT_EQ(ParseCommandLine({"tossScan"}).commandWord, "TOSSSCAN");
    EXPECT_EQ(ParseCommandLine({"x\xA0y"}).commandWord, "X\xA0Y");  // code page 866 letters keep their case
    EXPECT_EQ(ParseCommandLine({std::string(300, 'a')}).commandWord, std::string(255, 'A'));
    EXPECT_EQ(ParseCommandLine({}).commandWord, "");
    // Arguments count from one; missing ones are empty.
    CommandLine line = ParseCommandLine({"HATCH", "file.zip", "AREA"});
    EXPECT_EQ(CommandArgument(line, 1), "HATCH");
    EXPECT_EQ(CommandArgument(line, 3), "AREA");
    EXPECT_EQ(CommandArgument(line, 4), "");
    EXPECT_EQ(CommandArgument(line, 0), "");
}

TEST(ParseCommandLine, HatchOptions) {
    const struct {
        std::vector<std::string> args;
        bool immediate, copy;
        std::string description;
    } cases[] = {
        // Any letter case; the description keeps its own.
        {{"hatch", "file.zip", "AREA", "-n", "-c", "-dNew Release 2.0"}, true, true, "New Release 2.0"},
        // Options count from argument 4 on, so these are file and area.
        {{"HATCH", "-N", "-C", "-DText"}, false, false, "Text"},
        // Only whole arguments are flags; "-D" alone is an empty description.
        {{"HATCH", "f", "a", "-NC", "-Cx", "-", "-D", "x"}, false, false, ""},
        // The last description wins and is cut.
        {{"HATCH", "f", "a", "-dfirst", "-D" + std::string(300, 'd')}, false, false, std::string(255, 'd')},
    };
    for (const auto& c : cases) {
        CommandLine line = ParseCommandLine(c.args);
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(line.immediateHatch, c.immediate);
        EXPECT_EQ(line.copyToArea, c.copy);
        EXPECT_EQ(line.hatchDescription, c.description);
    }
}

}  // namespace
