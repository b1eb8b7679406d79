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

std::string ExpectedHeader() {
    std::string top = "\xDA" + std::string(76, '\xC4') + "\xBF";
    std::string middle = "\xB3" + std::string(19, ' ') + "Brenmoor version 1.29 LOG file" + std::string(27, ' ') + "\xB3";
    std::string bottom = "\xC0" + std::string(76, '\xC4') + "\xD9";
    EXPECT_EQ(top.size(), 78u);
    EXPECT_EQ(middle.size(), 78u);
    return top + "\r\n" + middle + "\r\n" + bottom + "\r\n";
}

bool IsTimeText(const std::string& text) {
    if (text.size() != 8 || text[2] != ':' || text[5] != ':') return false;
    for (std::size_t i : {0, 1, 3, 4, 6, 7})
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    return true;
}

// Splits the log after its header into lines without their CR LF.
std::vector<std::string> LogLines(const std::string& bytes, std::size_t from) {
    std::vector<std::string> lines;
    while (from < bytes.size()) {
        std::size_t end = bytes.find("\r\n", from);
        if (end == std::string::npos) {
            lines.push_back("<unterminated>" + bytes.substr(from));
            break;
        }
        lines.push_back(bytes.substr(from, end - from));
        from = end + 2;
    }
    return lines;
}

TEST_F(LogTest, NewFileStartsWithHeaderThenOneLinePerWrite) {
    std::string log = dir / "brenmoor.log";
    WriteLog(log, "First event");
    WriteLog(log, "Second event");
    std::string bytes = ReadFileBytes(log);
    std::string header = ExpectedHeader();
    ASSERT_EQ(bytes.substr(0, header.size()), header);
    auto lines = LogLines(bytes, header.size());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(IsTimeText(lines[0].substr(0, 8))) << lines[0];
    EXPECT_EQ(lines[0].substr(8), " First event");
    EXPECT_TRUE(IsTimeText(lines[1].substr(0, 8))) << lines[1];
    EXPECT_EQ(lines[1].substr(8), " Second event");
    EXPECT_EQ(output, "");
}

TEST_F(LogTest, ExistingFileGetsNoHeader) {
    std::string log = dir / "old.log";
    WriteFileBytes(log, "earlier run\r\n");
    WriteLog(log, "next run");
    std::string bytes = ReadFileBytes(log);
    ASSERT_EQ(bytes.size(), 13u + 8 + 9 + 2);
    EXPECT_EQ(bytes.substr(0, 13), "earlier run\r\n");
    EXPECT_EQ(bytes.substr(21), " next run\r\n");
}

TEST_F(LogTest, ExistingFileIsFoundWhateverItsLetterCase) {
    WriteFileBytes(dir / "BRENMOOR.LOG", "x\r\n");
    WriteLog(dir / "brenmoor.log", "event");
    EXPECT_FALSE(PathExists(dir / "brenmoor.log"));
    std::string bytes = ReadFileBytes(dir / "BRENMOOR.LOG");
    EXPECT_EQ(bytes.size(), 3u + 8 + 6 + 2);
}

TEST_F(LogTest, StartOfRunEntryHasDateBetweenOrnaments) {
    std::string log = dir / "run.log";
    StartLogRun(log);
    std::string bytes = ReadFileBytes(log);
    auto lines = LogLines(bytes, ExpectedHeader().size());
    ASSERT_EQ(lines.size(), 1u);
    const std::string& line = lines[0];
    std::string left = " \xFE " + std::string(9, '\xCD') + "\xB5 ";
    std::string right = " \xC6" + std::string(9, '\xCD') + " \xFE";
    ASSERT_EQ(line.size(), 8 + left.size() + 19 + right.size()) << line;
    EXPECT_TRUE(IsTimeText(line.substr(0, 8)));
    EXPECT_EQ(line.substr(8, left.size()), left);
    std::string date = line.substr(8 + left.size(), 19);  // "06 Dec 26  02:28:18"
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(date[0])) && std::isdigit(static_cast<unsigned char>(date[1])));
    EXPECT_EQ(date[2], ' ');
    EXPECT_NE(std::string("JanFebMarAprMayJunJulAugSepOctNovDec").find(date.substr(3, 3)), std::string::npos) << date;
    EXPECT_EQ(date.substr(6, 1), " ");
    EXPECT_EQ(date.substr(9, 2), "  ");
    EXPECT_TRUE(IsTimeText(date.substr(11)));
    EXPECT_EQ(line.substr(line.size() - right.size()), right);
}

TEST_F(LogTest, LongMessageIsCutTo255Characters) {
    std::string log = dir / "long.log";
    WriteLog(log, std::string(300, 'm'));
    auto lines = LogLines(ReadFileBytes(log), ExpectedHeader().size());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 255u);
    EXPECT_EQ(lines[0].substr(9), std::string(246, 'm'));
}

TEST_F(LogTest, EmptyNameMeansLoggingIsOff) {
    // A write to the empty path would fail and end the run.
    EXPECT_NO_THROW(WriteLog("", "nothing"));
    EXPECT_NO_THROW(StartLogRun(""));
    EXPECT_TRUE(ListDir(dir.path).empty());
    EXPECT_EQ(output, "");
}

TEST_F(LogTest, UnwritableLogEndsWithRuntimeError) {
    try {
        WriteLog(dir / "missing/dir/brenmoor.log", "event");
        FAIL() << "no exit";
    } catch (const ProgramExit& end) {
        EXPECT_EQ(end.code, 2);  // ENOENT
    }
    EXPECT_EQ(output, "Runtime error 2\n");
}

}  // namespace
