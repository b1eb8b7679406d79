// check of the forward and not-allowed lists: each broken line reported with
// its file and line; the not-allowed masks that keep nothing back or are not
// closed.
#include <gtest/gtest.h>

#include "frame/catalogue.h"
#include "frame/exit.h"
#include "robot/uplinks.h"
#include "testkit.h"

namespace {

std::string Shown(const std::vector<ConfigProblem>& problems) {
    std::string text;
    for (const ConfigProblem& problem : problems)
        text += problem.file + ":" + std::to_string(problem.line) + ": " + problem.text + "\n";
    return text;
}

struct BrokenForward {
    std::string lines;  // after a good uplink of lines 1-2
    std::size_t line;
    std::string says;
};

TEST(ForwardListCheck, EveryBrokenLineIsReportedWithItsLine) {
    LoadCatalogue(SourceDir() + "lang/brenmoor.lng");
    const std::string good = "Forward 2:9999/10\r\nListFile lists/uplink.na\r\n";
    const BrokenForward cases[] = {
        {"Secrity 10\r\n", 3, "SECRITY: unknown keyword"},
        {"Security lots\r\n", 3, "SECURITY: \"lots\" is not a number"},
        {"PassThrough maybe\r\n", 3, "PASSTHROUGH: \"maybe\" is not Yes or No"},
        {"DefaultGroup AB\r\n", 3, "DEFAULTGROUP: \"AB\" is not one letter"},
        {"Forward 2:9999\r\n", 3, "FORWARD: \"2:9999\" is not an address"},
        {"ListFile lists/missing.na\r\n", 3, "LISTFILE: "},
        {"ListFile\r\n", 3, "LISTFILE: no file named"},
        {"ListFile lists\\uplink.na\r\n", 3, "LISTFILE: \"lists\\uplink.na\" is a Windows path"},
    };
    for (const BrokenForward& broken : cases) {
        ScratchDir dir;
        WriteFileBytes(dir / "lists/uplink.na", "SAMPLE.NEW  A new echo\r\n");
        WriteFileBytes(dir / "FORWARD.CTL", good + broken.lines);
        const std::vector<ConfigProblem> problems = CheckForwardList(dir / "FORWARD.CTL", dir.path);
        ASSERT_FALSE(problems.empty()) << broken.lines;
        EXPECT_EQ(problems[0].file, "FORWARD.CTL");
        EXPECT_EQ(problems[0].line, broken.line) << broken.lines;
        EXPECT_TRUE(problems[0].text.starts_with(broken.says)) << Shown(problems);
    }

    // A byte-order mark does not hide the keyword of the first line.
    ScratchDir dir;
    WriteFileBytes(dir / "lists/uplink.na", "SAMPLE.NEW  A new echo\r\n");
    WriteFileBytes(dir / "FORWARD.CTL", "\xEF\xBB\xBFListFile lists/x.na\r\n" + good);
    EXPECT_EQ(Shown(CheckForwardList(dir / "FORWARD.CTL", dir.path)),
              "FORWARD.CTL:1: LISTFILE: " + dir.path + "lists/x.na does not exist\n"
              "FORWARD.CTL:1: LISTFILE: before the first FORWARD line: it belongs to nothing and is ignored\n");
    EXPECT_EQ(Shown(CheckForwardList(dir / "none.ctl", dir.path)), "");  // no forward list: no uplink
}

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

    ScratchDir dir;
    WriteFileBytes(dir / "NOTALLOW.CTL", "\xEF\xBB\xBF<'SAMPLE.' ; a comment\r\n\r\nSAMPLE.PICS\r\n<>\r\n");
    EXPECT_EQ(Shown(CheckNotAllowedList(dir / "NOTALLOW.CTL")),
              "NOTALLOW.CTL:1: \"<'SAMPLE.'\": a group \"<\" without its \">\"\n"
              "NOTALLOW.CTL:4: \"<>\": a group \"<>\" holds no quoted text: the entry keeps nothing back\n");
    EXPECT_EQ(Shown(CheckNotAllowedList(dir / "none.ctl")), "none.ctl:0: is missing: the robot ends with 2\n");
}

}  // namespace
