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
    EXPECT_EQ(date[19], '\0');
    EXPECT_EQ(date.find('\0'), 19u);
    EXPECT_EQ(date.substr(2, 1), " ");
    EXPECT_EQ(date.substr(9, 2), "  ");

    const std::string msgid = "\x01MSGID: 1:23/45.6 ";
    std::string serial = SerialAfter(bytes, msgid);
    ASSERT_EQ(serial.size(), 8u);
    std::uint32_t value = static_cast<std::uint32_t>(std::stoul(serial, nullptr, 16));
    EXPECT_EQ(serial, HexLong(value));  // upper case, 8 digits
    EXPECT_GE(value, static_cast<std::uint32_t>(before));
    EXPECT_LE(value, static_cast<std::uint32_t>(after));

    std::string expected = HeaderBytes("Brenmoor", "SysOp", "Re: request", date, 0, 45, 23, 23, 1, 1, 0, 6, 385);
    expected += "\x01INTL 1:23/0 1:23/45\r";
    expected += "\x01TOPT 0\r";
    expected += "\x01" "FMPT 6\r";
    expected += "\x01" "FLAGS DIR \r";
    expected += msgid + serial + "\r";
    expected += "\x01PID: " + Product + "\r";
    expected += "Hello\r\rWorld\r";
    expected += "\r--- " + Product + "\r";
    expected += " * Origin: Test node (1:23/45.6)\r";
    expected += std::string(2, '\0');
    EXPECT_EQ(bytes, expected);
}

TEST_F(NetmailTest, MessageWithoutBodyEndsAfterKludges) {
    // File attaches: no body file, no origin, no tear line; one NUL.
    WriteNetmail(dir / "2.msg", "Brenmoor", "SysOp", "2:5020/100", "2:0/7", "/srv/files/a.zip", "",
                 "HLD PVT LOC K/S ATT KFS", "");
    std::string bytes = ReadFileBytes(dir / "2.msg");
    std::string date = bytes.substr(144, 20);
    std::string serial = SerialAfter(bytes, "\x01MSGID: 2:5020/100.0 ");
    // Destination net 0 takes the origin's net.
    std::string expected =
        HeaderBytes("Brenmoor", "SysOp", "/srv/files/a.zip", date, 7, 100, 5020, 5020, 2, 2, 0, 0, 1 + 16 + 128 + 256 + 512);
    expected += "\x01INTL 2:5020/7 2:5020/100\r\x01TOPT 0\r\x01" "FMPT 0\r\x01" "FLAGS KFS\r";
    expected += "\x01MSGID: 2:5020/100.0 " + serial + "\r\x01PID: " + Product + "\r";
    expected += '\0';
    EXPECT_EQ(bytes, expected);
}

TEST_F(NetmailTest, LongNamesAndSubjectsFillTheirFields) {
    std::string longName(40, 'N');
    std::string longSubject(80, 'S');
    WriteNetmail(dir / "2.msg", longName, std::string(35, 'T'), "1:2/3", "1:2/4", longSubject, "", "", "");
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
    EXPECT_EQ(AttributeWord("dir pvt loc k/s"), 385);
    EXPECT_EQ(AttributeWord("HLD PVT LOC K/S"), 512 + 385);
    EXPECT_EQ(AttributeWord("PVT CRA RCV SNT ATT TRS ORP K/S LOC HLD UNS FRQ RRQ RRC ARQ URQ"), 0xFFFF);
    EXPECT_EQ(AttributeWord("XPVT"), 1);   // found as a substring followed by a blank
    EXPECT_EQ(AttributeWord("PVTX"), 0);
    EXPECT_EQ(AttributeWord("DIR KFS"), 0);
    EXPECT_EQ(AttributeWord(""), 0);

    EXPECT_EQ(FlagWords("dir pvt"), "DIR ");
    EXPECT_EQ(FlagWords("DIR PVT KFS"), "DIR KFS");
    EXPECT_EQ(FlagWords("PVT KFS"), "KFS");
    EXPECT_EQ(FlagWords("PVT LOC"), "");
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
    EXPECT_EQ(h.FromName, "Sysop Name");
    EXPECT_EQ(h.ToName, "Brenmoor");
    EXPECT_EQ(h.Subject, "secret");
    EXPECT_EQ(h.OrigZone, 2);
    EXPECT_EQ(h.OrigNet, 5020);
    EXPECT_EQ(h.OrigNode, 1);
    EXPECT_EQ(h.OrigPoint, 7);
    EXPECT_EQ(h.DestZone, 1);
    EXPECT_EQ(h.DestNet, 23);
    EXPECT_EQ(h.DestNode, 45);
    EXPECT_EQ(h.DestPoint, 0);
    EXPECT_EQ(h.Attribute, 257);
    std::vector<std::string> body = {"%LIST", "%HELP", "", "--- " + Product, " * Origin: Origin text"};
    EXPECT_EQ(message.Body, body);
}

// A message as another program might have stored it.
std::string ForeignMessage(const std::string& text) {
    NetmailHeader header;
    header.FromName = "Some Sysop";
    header.ToName = "Brenmoor";
    header.Subject = "PASSWORD";
    header.DateTime = "01 Jan 24  10:00:00";
    header.OrigNet = 5020;
    header.OrigNode = 1;
    header.DestNet = 5020;
    header.DestNode = 100;
    // Zone and point fields of the header are not trusted.
    header.DestZone = 7;
    header.OrigZone = 8;
    header.DestPoint = 9;
    header.OrigPoint = 10;
    std::string bytes = EncodeNetmailHeader(header);
    EXPECT_EQ(bytes.size(), NetmailHeaderSize);
    return bytes + text;
}

TEST(NetmailParse, ForeignMessages) {
    {
        SCOPED_TRACE("no kludges");
        NetmailMessage m = ParseNetmail(ForeignMessage("%LIST\r%QUERY\r"), false);
        EXPECT_EQ(m.Header.FromName, "Some Sysop");
        EXPECT_EQ(m.Header.OrigNet, 5020);
        EXPECT_EQ(m.Header.DestNode, 100);
        EXPECT_EQ(m.Header.DestZone, 0);
        EXPECT_EQ(m.Header.OrigZone, 0);
        EXPECT_EQ(m.Header.DestPoint, 0);
        EXPECT_EQ(m.Header.OrigPoint, 0);
        EXPECT_EQ(m.Body, (std::vector<std::string>{"%LIST", "%QUERY"}));
    }
    {
        SCOPED_TRACE("only MSGID");
        NetmailMessage m = ParseNetmail(ForeignMessage("\x01MSGID: 2:5020/1.3@fidonet 1a2b3c4d\r%LIST\r"), false);
        EXPECT_EQ(m.Header.OrigZone, 2);
        EXPECT_EQ(m.Header.DestZone, 2);
        EXPECT_EQ(m.Header.OrigPoint, 0);  // points come from FMPT/TOPT only
        EXPECT_EQ(m.Body, std::vector<std::string>{"%LIST"});
    }
    {
        SCOPED_TRACE("INTL with points, TOPT, FMPT, leading blanks");
        NetmailMessage m = ParseNetmail(
            ForeignMessage("\x01INTL 3:5020/100.5 4:5020/1.6\r  \x01TOPT 5\r\x01" "FMPT 6\r\x01PID: X\rtext\r"), false);
        EXPECT_EQ(m.Header.DestZone, 3);
        EXPECT_EQ(m.Header.OrigZone, 4);
        EXPECT_EQ(m.Header.DestPoint, 5);
        EXPECT_EQ(m.Header.OrigPoint, 6);
        EXPECT_EQ(m.Body, std::vector<std::string>{"text"});
    }
    {
        SCOPED_TRACE("REPLY gives the destination zone");
        NetmailMessage m = ParseNetmail(ForeignMessage("\x01MSGID: 2:1/2 0\r\x01REPLY: 5:6/7 1\r"), false);
        EXPECT_EQ(m.Header.DestZone, 5);
        EXPECT_EQ(m.Header.OrigZone, 2);
        EXPECT_TRUE(m.Body.empty());
    }
    {
        SCOPED_TRACE("trailing garbage after the NUL");
        NetmailMessage m = ParseNetmail(ForeignMessage(std::string("%LIST\r\0garbage\r\x01INTL 9:9/9 9:9/9\r", 33)),
                                        false);
        EXPECT_EQ(m.Body, std::vector<std::string>{"%LIST"});
        EXPECT_EQ(m.Header.DestZone, 0);
    }
    {
        SCOPED_TRACE("no final NUL, no final CR");
        NetmailMessage m = ParseNetmail(ForeignMessage("%LIST\r%HELP"), false);
        EXPECT_EQ(m.Body, (std::vector<std::string>{"%LIST", "%HELP"}));
    }
    {
        SCOPED_TRACE("empty text");
        NetmailMessage m = ParseNetmail(ForeignMessage(""), false);
        EXPECT_TRUE(m.Body.empty());
        EXPECT_EQ(m.Header.Subject, "PASSWORD");
    }
}

TEST(NetmailParse, LineEndsReadAlike) {
    std::vector<std::string> expected = {"%LIST", "", "  indented ", "-- end"};
    for (const std::string& text : {std::string("%LIST\r\r  indented \r-- end\r"),
                                    std::string("%LIST\r\n\r\n  indented \r\n-- end\r\n"),
                                    std::string("%LIST\n\n  indented \n-- end\n")}) {
        NetmailMessage m = ParseNetmail(ForeignMessage("\x01INTL 2:1/1 2:1/2\r\n" + text), false);
        EXPECT_EQ(m.Body, expected);
        EXPECT_EQ(m.Header.DestZone, 2);
    }
}

TEST(NetmailParse, KludgesAnywhere) {
    std::string text = "first\r\x01INTL 2:1/1 3:1/2\rsecond\r\x01" "FMPT 4\r";
    NetmailMessage full = ParseNetmail(ForeignMessage(text), false);
    EXPECT_EQ(full.Body, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(full.Header.DestZone, 2);
    EXPECT_EQ(full.Header.OrigZone, 3);
    EXPECT_EQ(full.Header.OrigPoint, 4);

    // The header reader stops at the first line that is not a kludge.
    NetmailMessage head = ParseNetmail(ForeignMessage(text), true);
    EXPECT_TRUE(head.Body.empty());
    EXPECT_EQ(head.Header.DestZone, 0);
    EXPECT_EQ(head.Header.OrigPoint, 0);
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
    EXPECT_EQ(header.Subject, "kept");
    EXPECT_EQ(header.OrigNet, 42);
    EXPECT_FALSE(ReadNetmailHeader(dir / "missing.msg", header));
    EXPECT_EQ(header.Subject, "kept");

    // ReadNetmail ends the run with a failure code and leaves the file alone.
    try {
        ReadNetmail(dir / "2.msg");
        FAIL() << "no run-time error";
    } catch (const ProgramExit& e) {
        EXPECT_NE(e.code, 0);
    }
    EXPECT_EQ(ReadFileBytes(dir / "2.msg"), shortBytes);
    EXPECT_NE(console.find("Runtime error"), std::string::npos);

    try {
        ReadNetmail(dir / "missing.msg");
        FAIL() << "no run-time error";
    } catch (const ProgramExit& e) {
        EXPECT_EQ(e.code, 2);  // ENOENT
    }
}

TEST_F(NetmailTest, MissingBodyFileLeavesNoMessage) {
    WriteFileBytes(dir / "2.msg", "old message");
    try {
        WriteNetmail(dir / "3.msg", "Brenmoor", "SysOp", "1:2/3", "1:2/4", "subj", dir / "no-body.txt", "PVT", "o");
        FAIL() << "no run-time error";
    } catch (const ProgramExit& e) {
        EXPECT_EQ(e.code, 2);
    }
    EXPECT_FALSE(PathExists(dir / "3.msg"));
    EXPECT_EQ(ReadFileBytes(dir / "2.msg"), "old message");
}

TEST_F(NetmailTest, UnwritableMessageFileIsARuntimeError) {
    try {
        WriteNetmail(dir / "no-such-dir/2.msg", "Brenmoor", "SysOp", "1:2/3", "1:2/4", "subj", "", "PVT", "");
        FAIL() << "no run-time error";
    } catch (const ProgramExit& e) {
        EXPECT_EQ(e.code, 2);
    }
    EXPECT_FALSE(PathExists(dir / "no-such-dir/2.msg"));
}

TEST(NetmailHeaderLayout, EncodeDecodeRoundTrip) {
    NetmailHeader h;
    h.FromName = "A";
    h.ToName = "B";
    h.Subject = "C";
    h.DateTime = "01 Feb 24  01:02:03";
    h.TimesRead = 0x0102;
    h.DestNode = 0xFFFF;
    h.OrigNode = 3;
    h.Cost = 4;
    h.OrigNet = 5;
    h.DestNet = 6;
    h.DestZone = 7;
    h.OrigZone = 8;
    h.DestPoint = 9;
    h.OrigPoint = 10;
    h.ReplyTo = 11;
    h.Attribute = 0x8001;
    h.NextReply = 13;
    std::string bytes = EncodeNetmailHeader(h);
    ASSERT_EQ(bytes.size(), 190u);
    EXPECT_EQ(bytes.substr(164, 2), std::string("\x02\x01"));
    EXPECT_EQ(bytes.substr(186, 2), std::string("\x01\x80"));
    NetmailHeader back = DecodeNetmailHeader(bytes);
    EXPECT_EQ(back.DateTime, h.DateTime);
    EXPECT_EQ(back.TimesRead, h.TimesRead);
    EXPECT_EQ(back.DestNode, h.DestNode);
    EXPECT_EQ(back.Cost, h.Cost);
    EXPECT_EQ(back.OrigZone, h.OrigZone);
    EXPECT_EQ(back.ReplyTo, h.ReplyTo);
    EXPECT_EQ(back.Attribute, h.Attribute);
    EXPECT_EQ(back.NextReply, h.NextReply);
}

}  // namespace
