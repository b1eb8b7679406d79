#include "tic/outbound.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "frame/catalogue.h"
#include "frame/console.h"
#include "robot/netmail.h"
#include "testkit.h"

namespace {

LinkRecord Link(const std::string& address, const std::string& filesSend, std::uint16_t security = 10,
                bool pause = false) {
    LinkRecord link;
    link.Address = address;
    link.AKA = "2:5020/100";
    link.Password = "PW" + address.substr(address.find('/') + 1);
    link.Group = "A";
    link.FilesSend = filesSend;
    link.Security = security;
    link.Pause = pause;
    return link;
}

class OutboundTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitConsoleForTest(80, 25, false, &console);
        SetMessageText(Msg::LOGHATCHSENDTO, "Sending to %t");
        for (const char* made : {"node", "out", "netmail"}) MakeDirs(dir / made);
        WriteFileBytes(filePath, "hello");

        config.mainAddress = "2:5020/100";
        config.mode = "BINK";
        config.outbound = dir / "out/", config.binkStyleOutbound = dir / "bink/", config.fileBoxes = dir / "boxes/";
        config.netmailOut = dir / "netmail/", config.logName = dir / "brenmoor.log";

        ParseTic("Area TEST.AREA\nFile TEST.ZIP\nDesc A test file\nFrom 2:5020/4\nTo 2:5020/100\nPw SECRET\n"
                 "Origin 2:5020/4\nSeenBy 2:5020/4\nSeenBy 2:5020/7\n"
                 "Path 2:5020/4 1700000000 Tue Nov 14 22:13:20 2023 UTC\n",
                 tic);
    }

    void WriteAreas(const std::string& links, int securityRead = 5) {
        WriteFileBytes(nodeDir + "areas.ctl", "Area TEST.AREA\r\nPath " + dir.path + "files/\r\nDesc Test files\r\n"
                                              "Group A\r\nSecurityRead " + std::to_string(securityRead) +
                                              "\r\nAKA 2:5020/100\r\nLinks " + links + "\r\n");
    }

    void Send() { SendToLinks(filePath, nodeDir, links, config, tic); }

    // The TICs written to OUTBOUND, by their To address.
    std::map<std::string, std::pair<std::string, TicRecord>> Tics() {
        std::map<std::string, std::pair<std::string, TicRecord>> result;
        for (const std::string& name : ListDir(dir / "out")) {
            TicRecord read;
            EXPECT_EQ(ReadTic(dir / "out/" + name, read), TicReadStatus::Ok);
            result[read.To] = {name, read};
        }
        return result;
    }

    std::string console;
    ScratchDir dir;
    std::string nodeDir = dir / "node/", filePath = dir / "files/test.zip";
    MainConfig config;
    std::vector<LinkRecord> links;
    TicRecord tic;
};

TEST_F(OutboundTest, ChoosesReceiversAndSharesOneSeenByList) {
    WriteAreas("1 2 3 4 5 6 7 2:5020/8");
    links = {Link("2:5020/1", "DIRECT"), Link("2:5020/2", "HOLD"),     Link("2:5020/3", "CRASH"),
             Link("2:5020/4", "DIRECT"), Link("2:5020/5", "", 10, true), Link("2:5020/6", "", 1),
             Link("2:5020/7", "DIRECT")};
    Send();

    auto tics = Tics();
    ASSERT_EQ(tics.size(), 3u);
    std::vector<std::string> seenBy = {"2:5020/4", "2:5020/7", "2:5020/1", "2:5020/2", "2:5020/3"};
    std::uint32_t crc = FileCrc32(filePath);
    for (std::string to : {"2:5020/1", "2:5020/2", "2:5020/3"}) {
        SCOPED_TRACE(to);
        ASSERT_EQ(tics.count(to), 1u);
        const TicRecord& t = tics[to].second;
        EXPECT_EQ(t.File + "|" + std::to_string(t.Size) + "|" + t.From + "|" + t.Pw + "|" + t.AreaDesc + "|" + t.Desc,
                  "test.zip|5|2:5020/100|PW" + to.substr(7) + "|Test files|A test file");
        EXPECT_EQ(t.Crc, crc);
        EXPECT_EQ(t.SeenBy, seenBy);
        ASSERT_EQ(t.Path.size(), 2u);
        EXPECT_EQ(t.Path[0], tic.Path[0]);
        EXPECT_TRUE(t.Path[1].starts_with("2:5020/100 "));
    }

    // One flow file per receiver, each in the link's own flavour: the link
    // with an unknown FilesSend after a held one gets the normal flavour.
    EXPECT_EQ(ListDir(dir / "bink"), (std::vector<std::string>{"139c0001.dlo", "139c0002.hlo", "139c0003.flo"}));
    EXPECT_EQ(ReadFileBytes(dir / "bink/139c0001.dlo"),
              filePath + "\n^" + dir.path + "out/" + tics["2:5020/1"].first + "\n");
    EXPECT_EQ(ReadFileBytes(dir / "bink/139c0003.flo"),
              filePath + "\n^" + dir.path + "out/" + tics["2:5020/3"].first + "\n");

    std::vector<std::string> lines = CrLfLines(config.logName), logged;  // after the header, without the time
    for (std::size_t i = 3; i < lines.size(); ++i) logged.push_back(lines[i].substr(9));
    EXPECT_EQ(logged, (std::vector<std::string>{"Sending to 2:5020/1", "Sending to 2:5020/2", "Sending to 2:5020/3"}));
}

TEST_F(OutboundTest, LinkMissingFromTheLinksFile) {
    // Without a security level on the area, an undefined link would pass
    // every other test: it must neither get a TIC nor appear in SEEN-BY.
    WriteAreas("9 1", 0);
    links = {Link("2:5020/1", "DIRECT")};
    Send();
    auto tics = Tics();
    ASSERT_EQ(tics.size(), 1u);
    EXPECT_EQ(tics["2:5020/1"].second.SeenBy, (std::vector<std::string>{"2:5020/4", "2:5020/7", "2:5020/1"}));
    EXPECT_EQ(ListDir(dir / "bink"), std::vector<std::string>{"139c0001.dlo"});
}

TEST_F(OutboundTest, HatchedFileWithoutSender) {
    // A hatched file has no From and no SEEN-BY yet; a link that the area
    // lists twice still gets one TIC.
    tic.From.clear();
    tic.SeenBy.clear();
    tic.Path.clear();
    tic.Crc = 0x1234ABCD;
    WriteAreas("1 2:5020/1 .9");
    links = {Link("2:5020/1", "HOLD"), Link("2:5020/100.9", "")};
    Send();
    auto tics = Tics();
    ASSERT_EQ(tics.size(), 2u);
    EXPECT_EQ(tics["2:5020/1"].second.SeenBy, (std::vector<std::string>{"2:5020/1", "2:5020/100.9"}));
    EXPECT_EQ(tics["2:5020/1"].second.Crc, 0x1234ABCDu);
    EXPECT_EQ(tics["2:5020/1"].second.Path.size(), 1u);
    std::string hlo = ReadFileBytes(dir / "bink/139c0001.hlo");
    EXPECT_EQ(hlo, filePath + "\n^" + dir.path + "out/" + tics["2:5020/1"].first + "\n");
    EXPECT_TRUE(PathExists(dir / "bink/139c0064.pnt/00000009.flo"));
}

TEST_F(OutboundTest, ZoneAndPointDirectories) {
    WriteAreas("1:23/4.5 10:1/2 2:5020/1.3 .7");
    links = {Link("1:23/4.5", "HOLD"), Link("10:1/2", ""), Link("2:5020/1.3", "DIRECT"),
             Link("2:5020/100.7", "HOLD")};
    Send();
    EXPECT_EQ(ListDir(dir.path), (std::vector<std::string>{"bink", "bink.001", "bink.00a", "brenmoor.log", "files",
                                                            "netmail", "node", "out"}));
    EXPECT_EQ(ListDir(dir / "bink.001/00170004.pnt"), std::vector<std::string>{"00000005.hlo"});
    EXPECT_EQ(ListDir(dir / "bink.00a"), std::vector<std::string>{"00010002.flo"});
    EXPECT_EQ(ListDir(dir / "bink"), (std::vector<std::string>{"139c0001.pnt", "139c0064.pnt"}));
    EXPECT_EQ(ListDir(dir / "bink/139c0001.pnt"), std::vector<std::string>{"00000003.dlo"});
    EXPECT_EQ(ListDir(dir / "bink/139c0064.pnt"), std::vector<std::string>{"00000007.hlo"});
}

TEST_F(OutboundTest, FileBoxesCopyTheFileAndMoveTheTic) {
    const struct {
        const char* mode;
        std::vector<std::string> boxes;
    } cases[] = {
        {"FILEBOX", {"024SS001.00", "024SS002.00H", "024SS003.00"}},
        {"LFILEBOX", {"2.5020.1.0", "2.5020.2.0.H", "2.5020.3.0"}},
    };
    WriteAreas("1 2 3");
    links = {Link("2:5020/1", "DIRECT"), Link("2:5020/2", "HOLD"), Link("2:5020/3", "CRASH")};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        config.mode = c.mode;
        config.fileBoxes = dir / c.mode + "/";
        Send();
        EXPECT_EQ(ListDir(config.fileBoxes), c.boxes);
        for (const std::string& box : c.boxes) {
            std::vector<std::string> names = ListDir(config.fileBoxes + box);
            ASSERT_EQ(names.size(), 2u) << box;
            EXPECT_EQ(names[0].substr(0, 2), "BM");
            EXPECT_EQ(ReadFileBytes(config.fileBoxes + box + "/test.zip"), "hello");
        }
        // The TICs were moved into the boxes; the file itself stays in its area.
        EXPECT_TRUE(ListDir(dir / "out").empty());
        EXPECT_EQ(ReadFileBytes(filePath), "hello");
    }
}

TEST_F(OutboundTest, ListsNameFilesByAbsolutePath) {
    CurrentDirectory here(dir.path);
    std::string cwd = std::filesystem::current_path().string() + "/";
    config.mode = "FILEBOX";
    config.useToBeSentFile = true;
    config.outbound = "out/";
    config.fileBoxes = "boxes";
    config.binkStyleOutbound = "bink/";
    filePath = "files/test.zip";
    WriteAreas("1 2");
    links = {Link("2:5020/1", "DIRECT"), Link("2:5020/2", "HOLD")};
    Send();

    auto tics = Tics();
    ASSERT_EQ(tics.size(), 2u);
    EXPECT_EQ(ReadFileBytes(dir / "boxes/024SS001.00/TOBESENT.$$$"),
              cwd + "files/test.zip\n^" + cwd + "out/" + tics["2:5020/1"].first + "\n");
    EXPECT_EQ(ReadFileBytes(dir / "boxes/024SS002.00H/TOBESENT.$$$"),
              cwd + "files/test.zip\n^" + cwd + "out/" + tics["2:5020/2"].first + "\n");
    // Listed, not copied: the files stay where they are.
    EXPECT_EQ(ListDir(dir / "boxes/024SS001.00"), std::vector<std::string>{"TOBESENT.$$$"});

    config.mode = "BINK";
    Send();
    std::string dlo = ReadFileBytes(dir / "bink/139c0001.dlo");
    EXPECT_EQ(dlo.substr(0, cwd.size() + 15), cwd + "files/test.zip\n");
    EXPECT_EQ(dlo.substr(cwd.size() + 15, cwd.size() + 1), "^" + cwd);
}

TEST_F(OutboundTest, FileAttachNetmail) {
    config.mode = "AMA";
    WriteAreas("1 2 3");
    links = {Link("2:5020/1", "DIRECT"), Link("2:5020/2", "HOLD"), Link("2:5020/3", "")};
    links[0].AKA = "2:5020/100.1";
    Send();
    auto tics = Tics();
    ASSERT_EQ(tics.size(), 3u);
    ASSERT_EQ(ListDir(dir / "netmail"),
              (std::vector<std::string>{"2.msg", "3.msg", "4.msg", "5.msg", "6.msg", "7.msg"}));

    // PVT ATT K/S LOC, HLD for the held link; the origin is the link's AKA.
    const std::string file = filePath, ticDir = dir.path + "out/";
    const struct {
        std::string msg, subject;
        std::uint16_t attribute, destNode, origPoint;
        std::string flags;
    } expected[] = {
        {"2.msg", file, 401, 1, 1, "\x01" "FLAGS DIR \r"},
        {"3.msg", ticDir + tics["2:5020/1"].first, 401, 1, 1, "\x01" "FLAGS DIR KFS\r"},
        {"4.msg", file, 913, 2, 0, ""},
        {"5.msg", ticDir + tics["2:5020/2"].first, 913, 2, 0, "\x01" "FLAGS KFS\r"},
        {"6.msg", file, 401, 3, 0, ""},
        {"7.msg", ticDir + tics["2:5020/3"].first, 401, 3, 0, "\x01" "FLAGS KFS\r"},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.msg);
        NetmailMessage m = ReadNetmail(dir / "netmail/" + e.msg);
        EXPECT_EQ(m.Header.FromName + "|" + m.Header.ToName + "|" + m.Header.Subject, "Brenmoor|SysOp|" + e.subject);
        EXPECT_EQ(m.Header.Attribute, e.attribute);
        EXPECT_EQ(m.Header.DestNode, e.destNode);
        EXPECT_EQ(m.Header.OrigNode, 100);
        EXPECT_EQ(m.Header.OrigPoint, e.origPoint);
        EXPECT_TRUE(m.Body.empty());
        // A kludge for the flag words only when there are any; no tear line; one NUL at the end.
        std::string bytes = ReadFileBytes(dir / "netmail/" + e.msg);
        EXPECT_EQ(bytes.find("FLAGS") == std::string::npos, e.flags.empty());
        EXPECT_TRUE(e.flags.empty() || bytes.find(e.flags) != std::string::npos);
        EXPECT_EQ(bytes.find("---"), std::string::npos);
        EXPECT_EQ(bytes.back(), '\0');
    }
}

TEST_F(OutboundTest, OtherModesWriteOnlyTheTicsAndAnUnknownAreaNothing) {
    WriteAreas("1");
    links = {Link("2:5020/1", "DIRECT")};
    tic.Area = "OTHER.AREA";
    Send();
    EXPECT_TRUE(ListDir(dir / "out").empty());
    EXPECT_FALSE(PathExists(dir / "bink"));

    tic.Area = "TEST.AREA";
    config.mode = "NONE";
    Send();
    EXPECT_EQ(Tics().size(), 1u);
    EXPECT_FALSE(PathExists(dir / "bink"));
    EXPECT_FALSE(PathExists(dir / "boxes"));
    EXPECT_TRUE(ListDir(dir / "netmail").empty());
}

TEST(OutboundNames, BoxesFlavoursAndFlowFiles) {
    EXPECT_EQ(FileBoxName("2:5020/1.33", false), "024SS001.11");
    EXPECT_EQ(FileBoxName("65535:65535/65535.1023", false), "VVVVVVVV.VV");
    EXPECT_EQ(LongFileBoxName("2:5020/1.7", true), "2.5020.1.7.H");
    EXPECT_EQ(LinkFlavour("hold"), "HLD");
    EXPECT_EQ(LinkFlavour("CRASH"), "");
    EXPECT_EQ(AttachAttributes("DIRECT"), "DIR PVT LOC K/S ATT");
    EXPECT_EQ(AttachAttributes("HOLD"), "HLD PVT LOC K/S ATT");
    EXPECT_EQ(AttachAttributes("NORMAL"), "PVT LOC K/S ATT");

    ScratchDir dir;
    MainConfig config;
    config.mainAddress = "2:5020/100";
    std::string base = dir / "outbound/";
    EXPECT_EQ(BinkFlowFile(base, config, "2:5020/1", "DIR KFS"), dir / "outbound/139c0001.dlo");
    EXPECT_EQ(BinkFlowFile(base, config, "2:5020/1", "KFS"), dir / "outbound/139c0001.flo");
    EXPECT_EQ(BinkFlowFile(base, config, "1:23/4.5", "HLD"), dir / "outbound.001/00170004.pnt/00000005.hlo");
    EXPECT_EQ(BinkFlowFile(base, config, "4095:65535/65535", ""), dir / "outbound.fff/ffffffff.flo");

    // A line break in a file name must not hand the mailer a "^" line of its own.
    SendBink(base, config, "2:5020/1", "/in/x\n^/etc/passwd", "DIR");
    EXPECT_EQ(ReadFileBytes(dir / "outbound/139c0001.dlo"), "/in/x ^/etc/passwd\n");
}

}  // namespace
