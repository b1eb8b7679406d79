#include "robot/netmail.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "frame/console.h"
#include "frame/exit.h"
#include "frame/utils.h"
#include "testkit.h"

namespace {

const std::string Product = "Brenmoor v.1.29.Linux";

class NetmailTest : public ::testing::Test {
protected:
    void SetUp() override { InitConsoleForTest(80, 25, false, &console); }
    std::string console;
    ScratchDir dir;
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

// The MSGID serial of a written message (8 hex digits after the address).
std::string SerialAfter(const std::string& bytes, const std::string& msgidPrefix) {
    std::size_t at = bytes.find(msgidPrefix);
    if (at == std::string::npos) return "";
    return bytes.substr(at + msgidPrefix.size(), 8);
}

TEST_F(NetmailTest, WritesMessageByteForByte) {
    WriteFileBytes(dir / "body.txt", "Hello\r\n\r\nWorld\r\n");
    std::int64_t before = UnixTimeNow();
    WriteNetmail(dir / "5.msg", "Brenmoor", "SysOp", "1:23/45.6", "1:23/0", "Re: request", dir / "body.txt",
                 "dir pvt loc k/s", "Test node (1:23/45.6)");
    std::int64_t after = UnixTimeNow();
    std::string bytes = ReadFileBytes(dir / "5.msg");
    ASSERT_GT(bytes.size(), NetmailHeaderSize);

    // The date field: 19 characters of the message date form and one NUL.
    std::string date = bytes.substr(144, 20);
    EXPECT_EQ(date.find('\0'), 19u);
    EXPECT_EQ(date.substr(2, 1) + date.substr(9, 2), "   ");

    const std::string msgid = "\x01MSGID: 1:23/45.6 ";
    std::string serial = SerialAfter(bytes, msgid);
    ASSERT_EQ(serial.size(), 8u);
    std::uint32_t value = static_cast<std::uint32_t>(std::stoul(serial, nullptr, 16));
    EXPECT_EQ(serial, HexLong(value));  // upper case, 8 digits
    EXPECT_GE(value, static_cast<std::uint32_t>(before));
    EXPECT_LE(value, static_cast<std::uint32_t>(after));

    EXPECT_EQ(bytes, HeaderBytes("Brenmoor", "SysOp", "Re: request", date, 0, 45, 23, 23, 1, 1, 0, 6, 385) +
                         "\x01INTL 1:23/0 1:23/45\r\x01TOPT 0\r\x01" "FMPT 6\r\x01" "FLAGS DIR \r" + msgid + serial +
                         "\r\x01PID: " + Product + "\rHello\r\rWorld\r\r--- " + Product +
                         "\r * Origin: Test node (1:23/45.6)\r" + std::string(2, '\0'));
}

TEST_F(NetmailTest, MessageWithoutBodyEndsAfterKludges) {
    // File attaches: no body file, no origin, no tear line; one NUL.
    WriteNetmail(dir / "2.msg", "Brenmoor", "SysOp", "2:5020/100", "2:0/7", "/srv/files/a.zip", "",
                 "HLD PVT LOC K/S ATT KFS", "");
    std::string bytes = ReadFileBytes(dir / "2.msg");
    std::string date = bytes.substr(144, 20);
    std::string serial = SerialAfter(bytes, "\x01MSGID: 2:5020/100.0 ");
    // Destination net 0 takes the origin's net.
    EXPECT_EQ(bytes, HeaderBytes("Brenmoor", "SysOp", "/srv/files/a.zip", date, 7, 100, 5020, 5020, 2, 2, 0, 0, 913) +
                         "\x01INTL 2:5020/7 2:5020/100\r\x01TOPT 0\r\x01" "FMPT 0\r\x01" "FLAGS KFS\r" +
                         "\x01MSGID: 2:5020/100.0 " + serial + "\r\x01PID: " + Product + "\r" + std::string(1, '\0'));
}

TEST_F(NetmailTest, LongNamesAndSubjectsFillTheirFields) {
    WriteNetmail(dir / "2.msg", std::string(40, 'N'), std::string(35, 'T'), "1:2/3", "1:2/4", std::string(80, 'S'), "",
                 "", "");
    std::string bytes = ReadFileBytes(dir / "2.msg");
    EXPECT_EQ(bytes.substr(0, 36), std::string(36, 'N'));
    EXPECT_EQ(bytes.substr(36, 36), std::string(35, 'T') + '\0');
    EXPECT_EQ(bytes.substr(72, 72), std::string(72, 'S'));
    EXPECT_EQ(bytes.find("FLAGS"), std::string::npos);  // no flag words, no FLAGS line
    NetmailHeader header;
    ASSERT_TRUE(ReadNetmailHeader(dir / "2.msg", header));
    EXPECT_EQ(header.FromName, std::string(36, 'N'));
    EXPECT_EQ(header.Subject, std::string(72, 'S'));
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

TEST_F(NetmailTest, NextMessageNameSkipsOneAndFollowsTheHighest) {
    EXPECT_EQ(NextMessageName(dir.path), dir.path + "2.msg");
    std::string noSlash = dir.path.substr(0, dir.path.size() - 1);
    EXPECT_EQ(NextMessageName(noSlash), dir.path + "2.msg");

    WriteFileBytes(dir / "1.msg", "x");
    EXPECT_EQ(NextMessageName(dir.path), dir.path + "2.msg");

    WriteFileBytes(dir / "2.MSG", "x");
    WriteFileBytes(dir / "17.msg", "x");
    WriteFileBytes(dir / "README.TXT", "x");
    WriteFileBytes(dir / "notes.msg", "x");   // not a number: counts as 0
    WriteFileBytes(dir / "99.txt", "x");
    EXPECT_EQ(NextMessageName(dir.path), dir.path + "18.msg");

    MakeDirs(dir / "30.msg");  // a directory would block that name as well
    EXPECT_EQ(NextMessageName(dir.path), dir.path + "31.msg");
}

TEST_F(NetmailTest, WrittenMessageReadsBack) {
    WriteFileBytes(dir / "body.txt", "%LIST\n%HELP\n");
    WriteNetmail(dir / "2.msg", "Sysop Name", "Brenmoor", "2:5020/1.7", "1:23/45", "secret", dir / "body.txt",
                 "PVT LOC", "Origin text");
    NetmailMessage message = ReadNetmail(dir / "2.msg");
    const NetmailHeader& h = message.Header;
    EXPECT_EQ(h.FromName + "|" + h.ToName + "|" + h.Subject, "Sysop Name|Brenmoor|secret");
    EXPECT_EQ(FormatAddressParts(h.OrigZone, h.OrigNet, h.OrigNode, h.OrigPoint), "2:5020/1.7");
    EXPECT_EQ(FormatAddressParts(h.DestZone, h.DestNet, h.DestNode, h.DestPoint), "1:23/45");
    EXPECT_EQ(h.Attribute, 257);
    EXPECT_EQ(message.Body,
              (std::vector<std::string>{"%LIST", "%HELP", "", "--- " + Product, " * Origin: Origin text"}));
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

TEST_F(NetmailTest, HugeBodyWithoutLineEnds) {
    std::string text(10 * 1024 * 1024, 'x');
    text += "\rsecond line\r";
    WriteFileBytes(dir / "2.msg", ForeignMessage(text));
    auto start = std::chrono::steady_clock::now();
    NetmailMessage m = ReadNetmail(dir / "2.msg");
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(m.Body.size(), 2u);
    EXPECT_EQ(m.Body[0], std::string(255, 'x'));
    EXPECT_EQ(m.Body[1], "second line");
    EXPECT_LT(seconds, 20.0);
}

TEST_F(NetmailTest, ShortOrMissingMessageFiles) {
    std::string shortBytes = ForeignMessage("").substr(0, 100);
    WriteFileBytes(dir / "2.msg", shortBytes);
    NetmailHeader header;
    header.Subject = "kept";
    header.OrigNet = 42;
    EXPECT_FALSE(ReadNetmailHeader(dir / "2.msg", header));
    EXPECT_FALSE(ReadNetmailHeader(dir / "missing.msg", header));
    EXPECT_EQ(header.Subject, "kept");
    EXPECT_EQ(header.OrigNet, 42);

    // ReadNetmail ends the run with a failure code and leaves the file alone.
    EXPECT_GT(ExitCodeOf<ProgramExit>([&] { ReadNetmail(dir / "2.msg"); }), 0);
    EXPECT_EQ(ReadFileBytes(dir / "2.msg"), shortBytes);
    EXPECT_NE(console.find("Runtime error"), std::string::npos);
    EXPECT_EQ(ExitCodeOf<ProgramExit>([&] { ReadNetmail(dir / "missing.msg"); }), 2);  // ENOENT
}

TEST_F(NetmailTest, MissingBodyFileOrUnwritableMessageLeavesNoMessage) {
    WriteFileBytes(dir / "2.msg", "old message");
    EXPECT_EQ(ExitCodeOf<ProgramExit>([&] {
                  WriteNetmail(dir / "3.msg", "Brenmoor", "SysOp", "1:2/3", "1:2/4", "s", dir / "no-body.txt", "PVT",
                               "o");
              }),
              2);
    EXPECT_FALSE(PathExists(dir / "3.msg"));
    EXPECT_EQ(ReadFileBytes(dir / "2.msg"), "old message");
    EXPECT_EQ(ExitCodeOf<ProgramExit>([&] {
                  WriteNetmail(dir / "no-such-dir/2.msg", "Brenmoor", "SysOp", "1:2/3", "1:2/4", "s", "", "PVT", "");
              }),
              2);
    EXPECT_FALSE(PathExists(dir / "no-such-dir"));
}

TEST(NetmailHeaderLayout, EncodeDecodeRoundTrip) {
    NetmailHeader h;
    h.FromName = "A";
    h.ToName = "B";
    h.Subject = "C";
    h.DateTime = "01 Feb 24  01:02:03";
    std::uint16_t value = 0x0102;
    for (std::uint16_t* field : {&h.TimesRead, &h.DestNode, &h.OrigNode, &h.Cost, &h.OrigNet, &h.DestNet, &h.DestZone,
                                 &h.OrigZone, &h.DestPoint, &h.OrigPoint, &h.ReplyTo, &h.Attribute, &h.NextReply})
        *field = value++;
    std::string bytes = EncodeNetmailHeader(h);
    ASSERT_EQ(bytes.size(), 190u);
    EXPECT_EQ(bytes.substr(164, 2), std::string("\x02\x01"));
    EXPECT_EQ(bytes.substr(188, 2), std::string("\x0E\x01"));
    EXPECT_EQ(EncodeNetmailHeader(DecodeNetmailHeader(bytes)), bytes);
    EXPECT_EQ(DecodeNetmailHeader(bytes).DateTime, h.DateTime);
}

}  // namespace
