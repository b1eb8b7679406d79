#include "robot/netmail.h"

#include <gtest/gtest.h>

#include <string>

#include "frame/console.h"
#include "frame/exit.h"
#include "frame/utils.h"
#include "testkit.h"

namespace {

class NetmailTest : public ::testing::Test {
protected:
    void SetUp() override { InitConsoleForTest(80, 25, false, &console); }
    std::string console;
    ScratchDir dir;
    MsgIdSerials serials;
};

std::string Field(std::string text, std::size_t size) {
    text.resize(size, '\0');
    return text;
}

std::string Word(unsigned value) {
    return std::string{static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}

// Header bytes with explicit numbers, in file order.
std::string HeaderBytes(const std::string& from, const std::string& to, const std::string& subject,
                        const std::string& date, unsigned destNode, unsigned origNode, unsigned origNet,
                        unsigned destNet, unsigned destZone, unsigned origZone, unsigned destPoint,
                        unsigned origPoint, unsigned attribute) {
    std::string h = Field(from, 36) + Field(to, 36) + Field(subject, 72) + date;
    for (unsigned v : {0u, destNode, origNode, 0u, origNet, destNet, destZone, origZone, destPoint, origPoint, 0u,
                       attribute, 0u})
        h += Word(v);
    return h;
}

TEST(NetmailAttributes, WordsSetTheirBits) {
    const struct {
        const char* words;
        std::uint16_t bits;
        const char* flags;
    } cases[] = {
        {"dir pvt loc k/s", 385, "DIR "},
        {"HLD PVT LOC K/S", 512 + 385, ""},
        {"PVT CRA RCV SNT ATT TRS ORP K/S LOC HLD UNS FRQ RRQ RRC ARQ URQ", 0xFFFF, ""},
        {"XPVT", 1, ""},  // found as a substring followed by a blank
        {"PVTX", 0, ""},
        {"DIR PVT KFS", 1, "DIR KFS"},
        {"PVT KFS", 1, "KFS"},
        {"", 0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AttributeWord(c.words), c.bits) << c.words;
        EXPECT_EQ(FlagWords(c.words), c.flags) << c.words;
    }
}

// A message as another program might have stored it, with zone and point
// fields that are not to be trusted.
std::string ForeignMessage(const std::string& text) {
    return HeaderBytes("Some Sysop", "Brenmoor", "PASSWORD", Field("01 Jan 24  10:00:00", 20), 100, 1, 5020, 5020, 7, 8,
                       9, 10, 0) +
           text;
}

TEST(NetmailParse, ForeignMessages) {
    using Lines = std::vector<std::string>;
    const struct {
        const char* name;
        std::string text;
        bool headerOnly;
        unsigned destZone, origZone, destPoint, origPoint;
        Lines body;
    } cases[] = {
        {"no kludges", "%LIST\r%QUERY\r", false, 0, 0, 0, 0, {"%LIST", "%QUERY"}},
        // Points come from FMPT/TOPT only.
        {"only MSGID", "\x01MSGID: 2:5020/1.3@fidonet 1a2b3c4d\r%LIST\r", false, 2, 2, 0, 0, {"%LIST"}},
        {"INTL with points, TOPT, FMPT, leading blanks",
         "\x01INTL 3:5020/100.5 4:5020/1.6\r  \x01TOPT 5\r\x01" "FMPT 6\r\x01PID: X\rtext\r", false, 3, 4, 5, 6,
         {"text"}},
        {"REPLY gives the destination zone", "\x01MSGID: 2:1/2 0\r\x01REPLY: 5:6/7 1\r", false, 5, 2, 0, 0, {}},
        {"trailing garbage after the NUL", std::string("%LIST\r\0garbage\r\x01INTL 9:9/9 9:9/9\r", 33), false, 0, 0, 0,
         0, {"%LIST"}},
        {"no final NUL, no final CR", "%LIST\r%HELP", false, 0, 0, 0, 0, {"%LIST", "%HELP"}},
        {"a line of 10,000 characters is cut", std::string(10000, 'x') + "\rnext\r", false, 0, 0, 0, 0,
         {std::string(255, 'x'), "next"}},
        {"empty text", "", false, 0, 0, 0, 0, {}},
        {"CR", "\x01INTL 2:1/1 2:1/2\r\n%LIST\r\r  indented \r-- end\r", false, 2, 2, 0, 0,
         {"%LIST", "", "  indented ", "-- end"}},
        {"CR LF", "\x01INTL 2:1/1 2:1/2\r\n%LIST\r\n\r\n  indented \r\n-- end\r\n", false, 2, 2, 0, 0,
         {"%LIST", "", "  indented ", "-- end"}},
        {"LF", "\x01INTL 2:1/1 2:1/2\r\n%LIST\n\n  indented \n-- end\n", false, 2, 2, 0, 0,
         {"%LIST", "", "  indented ", "-- end"}},
        {"kludges anywhere", "first\r\x01INTL 2:1/1 3:1/2\rsecond\r\x01" "FMPT 4\r", false, 2, 3, 0, 4,
         {"first", "second"}},
        // The header reader stops at the first line that is not a kludge.
        {"header only", "first\r\x01INTL 2:1/1 3:1/2\rsecond\r\x01" "FMPT 4\r", true, 0, 0, 0, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NetmailMessage m = ParseNetmail(ForeignMessage(c.text), c.headerOnly);
        EXPECT_EQ(m.Header.FromName, "Some Sysop");
        EXPECT_EQ(m.Header.Subject, "PASSWORD");
        EXPECT_EQ(m.Header.OrigNet, 5020);
        EXPECT_EQ(m.Header.DestNode, 100);
        EXPECT_EQ(m.Header.DestZone, c.destZone);
        EXPECT_EQ(m.Header.OrigZone, c.origZone);
        EXPECT_EQ(m.Header.DestPoint, c.destPoint);
        EXPECT_EQ(m.Header.OrigPoint, c.origPoint);
        EXPECT_EQ(m.Body, c.body);
    }
}

TEST_F(NetmailTest, MissingBodyFileOrUnwritableMessageLeavesNoMessage) {
    WriteFileBytes(dir / "2.msg", "old message");
    EXPECT_EQ(ExitCodeOf<ProgramExit>([&] {
                  WriteNetmail(serials, dir / "3.msg", "Brenmoor", "SysOp", "1:2/3", "1:2/4", "s",
                               dir / "no-body.txt", "PVT", "o");
              }),
              2);
    EXPECT_FALSE(PathExists(dir / "3.msg"));
    EXPECT_EQ(ReadFileBytes(dir / "2.msg"), "old message");
    EXPECT_EQ(ExitCodeOf<ProgramExit>([&] {
                  WriteNetmail(serials, dir / "no-such-dir/2.msg", "Brenmoor", "SysOp", "1:2/3", "1:2/4", "s", "",
                               "PVT", "");
              }),
              2);
    EXPECT_FALSE(PathExists(dir / "no-such-dir"));
}

}  // namespace
