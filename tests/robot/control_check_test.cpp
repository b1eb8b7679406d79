// The not-allowed masks that keep nothing back or are not closed, and the
// end of the robot when an uplink's list is missing. What check says of the
// forward and not-allowed lists is in the check scenarios.
#include <gtest/gtest.h>

#include "frame/catalogue.h"
#include "frame/exit.h"
#include "robot/uplinks.h"
#include "testkit.h"

namespace {

// A list file of an uplink that is missing ends the robot with 2.
TEST(ForwardListLoad, MissingListFileOfAnUplinkEndsTheRobot) {
    ScratchDir dir;
    WriteFileBytes(dir / "FORWARD.CTL", "Forward 2:9999/10\r\nListFile lists/gone.na\r\n");
    EXPECT_EQ(ExitCodeOf<ProgramExit>([&] { ReadForwardList(dir / "FORWARD.CTL", dir.path, "Brenmoor"); }), 2);
}

TEST(NotAllowedCheck, EntriesThatKeepNothingBackOrAreNotClosed) {
    LoadCatalogue(SourceDir() + "lang/brenmoor.lng");
    const struct {
        std::string_view entry;
        std::string_view problem;  // its beginning; empty: good
    } cases[] = {
        {"SAMPLE.PICS", ""},
        {"<'SAMPLE.'> <ANYWHERE 'PICS'>", ""},
        {"<'SAMPLE.' OR 'FIDO.'><anywhere 'PICS' or 'FOTO'>", ""},
        {"<'SAMPLE.INFO", "a group \"<\" without its \">\""},
        {"<'SAMPLE.'> <ANYWHERE 'PI", "a group \"<\" without its \">\""},
        {"<'SAMPLE.'> <ANYWHERE 'PI>", "a quote without its closing quote"},
        {"'SAMPLE.DIFFS'>", "is neither a tag nor a mask"},
        {">", "is neither a tag nor a mask"},
        {"SAMPLE PICS", "is neither a tag nor a mask"},
        {"<ANYWHERE>", "a group \"<ANYWHERE>\" holds no quoted text"},
        {"<>", "a group \"<>\" holds no quoted text"},
        {"<'SAMPLE.'> <ANYHERE 'PICS'>", "\"ANYHERE\" in a group is not ANYWHERE or OR"},
        {"<'SAMPLE.'> PICS", "\"PICS\" after the groups"},
    };
    for (const auto& c : cases) {
        const std::string problem = NotAllowedEntryProblem(c.entry);
        if (c.problem.empty()) EXPECT_EQ(problem, "") << c.entry;
        else EXPECT_TRUE(problem.starts_with(c.problem)) << c.entry << ": " << problem;
    }
}

}  // namespace
