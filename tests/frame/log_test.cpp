#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "frame/console.h"
#include "frame/exit.h"
#include "frame/log.h"
#include "testkit.h"

namespace {

class LogTest : public ::testing::Test {
protected:
    void SetUp() override { InitConsoleForTest(80, 25, false, &output); }
    std::string output;
    ScratchDir dir;
};

const std::string Header = "\xDA" + std::string(76, '\xC4') + "\xBF\r\n\xB3" + std::string(19, ' ') +
                           "Brenmoor version 1.29 LOG file" + std::string(27, ' ') + "\xB3\r\n\xC0" +
                           std::string(76, '\xC4') + "\xD9\r\n";

bool IsTimeText(const std::string& text) {
    if (text.size() != 8 || text[2] != ':' || text[5] != ':') return false;
    for (std::size_t i : {0, 1, 3, 4, 6, 7})
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    return true;
}

// The lines after the header, each "HH:MM:SS" and the rest.
std::vector<std::string> Entries(const std::string& path) {
    EXPECT_EQ(ReadFileBytes(path).substr(0, Header.size()), Header);
    std::vector<std::string> lines = CrLfLines(path), entries;
    for (std::size_t i = 3; i < lines.size(); ++i) {
        EXPECT_TRUE(IsTimeText(lines[i].substr(0, 8))) << lines[i];
        entries.push_back(lines[i].substr(8));
    }
    return entries;
}

TEST_F(LogTest, NewFileStartsWithHeaderThenOneCutLinePerWrite) {
    WriteLog(dir / "brenmoor.log", "First event");
    WriteLog(dir / "brenmoor.log", std::string(300, 'm'));
    EXPECT_EQ(Entries(dir / "brenmoor.log"), (std::vector<std::string>{" First event", " " + std::string(246, 'm')}));
    EXPECT_TRUE(ReadFileBytes(dir / "brenmoor.log").ends_with("m\r\n"));
    EXPECT_EQ(output, "");
}

TEST_F(LogTest, ExistingFileInAnyLetterCaseGetsNoHeader) {
    WriteFileBytes(dir / "BRENMOOR.LOG", "earlier run\r\n");
    WriteLog(dir / "brenmoor.log", "next run");
    EXPECT_FALSE(PathExists(dir / "brenmoor.log"));
    std::string bytes = ReadFileBytes(dir / "BRENMOOR.LOG");
    ASSERT_EQ(bytes.size(), 13u + 8 + 9 + 2);
    EXPECT_EQ(bytes.substr(0, 13), "earlier run\r\n");
    EXPECT_TRUE(IsTimeText(bytes.substr(13, 8)));
    EXPECT_EQ(bytes.substr(21), " next run\r\n");
}

TEST_F(LogTest, StartOfRunEntryHasDateBetweenOrnaments) {
    StartLogRun(dir / "run.log");
    auto entries = Entries(dir / "run.log");
    ASSERT_EQ(entries.size(), 1u);
    const std::string& line = entries[0];
    std::string left = " \xFE " + std::string(9, '\xCD') + "\xB5 ", right = " \xC6" + std::string(9, '\xCD') + " \xFE";
    ASSERT_EQ(line.size(), left.size() + 19 + right.size()) << line;
    EXPECT_EQ(line.substr(0, left.size()), left);
    std::string date = line.substr(left.size(), 19);  // "06 Dec 26  02:28:18"
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(date[0])) && std::isdigit(static_cast<unsigned char>(date[1])));
    EXPECT_NE(std::string("JanFebMarAprMayJunJulAugSepOctNovDec").find(date.substr(3, 3)), std::string::npos) << date;
    EXPECT_EQ(date.substr(2, 1) + date.substr(6, 1) + date.substr(9, 2), "    ");
    EXPECT_TRUE(IsTimeText(date.substr(11)));
    EXPECT_EQ(line.substr(line.size() - right.size()), right);
}

TEST_F(LogTest, EmptyNameIsNoLogAndAnUnwritableLogEndsWithRuntimeError) {
    // A write to the empty path would fail and end the run.
    EXPECT_NO_THROW(WriteLog("", "nothing"));
    EXPECT_NO_THROW(StartLogRun(""));
    EXPECT_TRUE(ListDir(dir.path).empty());
    EXPECT_EQ(output, "");
    EXPECT_EQ(ExitCodeOf<ProgramExit>([&] { WriteLog(dir / "missing/dir/brenmoor.log", "event"); }), 2);  // ENOENT
    EXPECT_EQ(output, "Runtime error 2\n");
}

}  // namespace
