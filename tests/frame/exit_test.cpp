#include <gtest/gtest.h>

#include "frame/console.h"
#include "frame/exit.h"
#include "testkit.h"

namespace {

class ExitTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitConsoleForTest(80, 25, false, &output);
        SetTextColor(12);
    }
    std::string output;
};

TEST_F(ExitTest, ExitRoutineTurnsGreyAndPrintsBlankLineEndProgramNothing) {
    EXPECT_EQ(ExitCodeOf<ProgramExit>([] { ExitProgram(3); }), 3);
    EXPECT_EQ(output, "\n");
    EXPECT_EQ(Console().attr, 7);
    output.clear();
    EXPECT_EQ(ExitCodeOf<ProgramExit>([] { EndProgram(0); }), 0);
    EXPECT_EQ(output, "");
}

TEST_F(ExitTest, RuntimeErrorReportsItsNumberOnALineOfItsOwnAndIsNeverSuccess) {
    WriteText("Reading Links.ctl...");
    EXPECT_EQ(ExitCodeOf<ProgramExit>([] { RuntimeError(13); }), 13);
    EXPECT_EQ(output, "Reading Links.ctl...\nRuntime error 13\n");
    output.clear();
    EXPECT_EQ(ExitCodeOf<ProgramExit>([] { RuntimeError(0); }), 5);
    EXPECT_EQ(output, "Runtime error 5\n");
}

}  // namespace
