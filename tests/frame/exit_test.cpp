#include <gtest/gtest.h>

#include "frame/console.h"
#include "frame/exit.h"

namespace {

class ExitTest : public ::testing::Test {
protected:
    void SetUp() override { InitConsoleForTest(80, 25, false, &output); }
    std::string output;
};

int CodeOf(void (*ending)()) {
    try {
        ending();
    } catch (const ProgramExit& end) {
        return end.code;
    }
    return -1;
}

TEST_F(ExitTest, ExitRoutineTurnsGreyAndPrintsBlankLine) {
    SetTextColor(12);
    EXPECT_EQ(CodeOf([] { ExitProgram(3); }), 3);
    EXPECT_EQ(output, "\n");
    EXPECT_EQ(Console().attr, 7);
}

TEST_F(ExitTest, EndProgramPrintsNothing) {
    SetTextColor(12);
    EXPECT_EQ(CodeOf([] { EndProgram(0); }), 0);
    EXPECT_EQ(output, "");
}

TEST_F(ExitTest, RuntimeErrorReportsItsNumberOnALineOfItsOwn) {
    WriteText("Reading Links.ctl...");
    EXPECT_EQ(CodeOf([] { RuntimeError(13); }), 13);
    EXPECT_EQ(output, "Reading Links.ctl...\nRuntime error 13\n");
}

TEST_F(ExitTest, RuntimeErrorWithoutNumberIsNeverSuccess) {
    EXPECT_EQ(CodeOf([] { RuntimeError(0); }), 5);
    EXPECT_EQ(output, "Runtime error 5\n");
}

}  // namespace
