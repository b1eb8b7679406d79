#include <gtest/gtest.h>

#include "frame/driver.h"

namespace {

TEST(ParseCommandLine, CommandWordIsUpperCasedAsciiOnly) {
    EXPECT_EQ(ParseCommandLine({"tossScan"}).commandWord, "TOSSSCAN");
    EXPECT_EQ(ParseCommandLine({"ann:cur", "AB"}).commandWord, "ANN:CUR");
    // Code page 866 letters keep their case.
    EXPECT_EQ(ParseCommandLine({"x\xA0y"}).commandWord, "X\xA0Y");
    EXPECT_EQ(ParseCommandLine({std::string(300, 'a')}).commandWord, std::string(255, 'A'));
    EXPECT_EQ(ParseCommandLine({}).commandWord, "");
}

TEST(ParseCommandLine, HatchOptionsInAnyCaseKeepTheDescription) {
    CommandLine line = ParseCommandLine({"hatch", "file.zip", "AREA", "-n", "-c", "-dNew Release 2.0"});
    EXPECT_TRUE(line.immediateHatch);
    EXPECT_TRUE(line.copyToArea);
    EXPECT_EQ(line.hatchDescription, "New Release 2.0");
    EXPECT_EQ(line.commandWord, "HATCH");
    EXPECT_EQ(CommandArgument(line, 2), "file.zip");
    EXPECT_EQ(CommandArgument(line, 3), "AREA");
}

TEST(ParseCommandLine, OptionsCountFromArgumentFour) {
    CommandLine line = ParseCommandLine({"HATCH", "-N", "-C", "-DText"});
    EXPECT_FALSE(line.immediateHatch);
    EXPECT_FALSE(line.copyToArea);
    EXPECT_EQ(line.hatchDescription, "Text");
}

TEST(ParseCommandLine, OnlyWholeArgumentsAreFlags) {
    CommandLine line = ParseCommandLine({"HATCH", "f", "a", "-NC", "-Cx", "-", "-D", "x"});
    EXPECT_FALSE(line.immediateHatch);
    EXPECT_FALSE(line.copyToArea);
    EXPECT_EQ(line.hatchDescription, "");
}

TEST(ParseCommandLine, LastDescriptionWinsAndIsCut) {
    CommandLine line = ParseCommandLine({"HATCH", "f", "a", "-dfirst", "-D" + std::string(300, 'd')});
    EXPECT_EQ(line.hatchDescription, std::string(255, 'd'));
}

TEST(ParseCommandLine, MissingArgumentsAreEmpty) {
    CommandLine line = ParseCommandLine({"RELINK"});
    EXPECT_EQ(CommandArgument(line, 1), "RELINK");
    EXPECT_EQ(CommandArgument(line, 2), "");
    EXPECT_EQ(CommandArgument(line, 0), "");
    EXPECT_EQ(CommandArgument(line, -1), "");
}

}  // namespace
