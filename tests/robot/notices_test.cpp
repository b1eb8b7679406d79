#include "robot/notices.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/utils.h"
#include "robot/netmail.h"
#include "testkit.h"

namespace {

class NoticesTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitConsoleForTest(80, 25, false, &console);
        SetMessageText(Msg::CREATEDNEWFECHOSUBJ, "New file echo created");
        SetMessageText(Msg::NOTIFYROSUBJ, "Read-only file echo");
        MakeDirs(dir / "netmail");
        MakeDirs(dir / "temp");
        config.mainAddress = "2:5020/100";
        config.netmailOut = dir / "netmail/";
        config.tempDir = dir / "temp/";
        config.origin = "Brenmoor node";

        area.Name = "NEW.ECHO";
        area.Desc = "New files";
        area.Group = "A";
        link.Address = "2:5020/1";
        link.AKA = "2:5020/100.5";
        group.Letter = 'A';
        group.Comment = "Main group";
    }

    std::vector<std::string> Messages() { return ListDir(dir / "netmail"); }

    std::string console;
    ScratchDir dir;
    MainConfig config;
    AreaRecord area;
    LinkRecord link;
    GroupRecord group;
};

TEST_F(NoticesTest, NewAreaFillsTheTemplateWithoutExpandingValuesAgain) {
    WriteFileBytes(dir / "newarea.tpl",
                   "Area @FILEECHO (@Desc) created\n"
                   "Group @GROUPCOMMENT / @GROUP, again @GROUP\n"
                   "by @link, @fileecho @FILEECHO\n"
                   "no macro here\n");
    config.announceNewAreaTpl = dir / "newarea.tpl";
    NotifyNewArea(config, area, link, group);

    ASSERT_EQ(Messages(), std::vector<std::string>{"2.msg"});
    NetmailMessage m = ReadNetmail(dir / "netmail/2.msg");
    const NetmailHeader& h = m.Header;
    EXPECT_EQ(h.FromName + "|" + h.ToName + "|" + h.Subject, "Brenmoor|SysOp|New file echo created");
    EXPECT_EQ(FormatAddressParts(h.OrigZone, h.OrigNet, h.OrigNode, h.OrigPoint), "2:5020/100");
    EXPECT_EQ(FormatAddressParts(h.DestZone, h.DestNet, h.DestNode, h.DestPoint), "2:5020/100");
    EXPECT_EQ(h.Attribute, 1 + 256);  // PVT LOC
    EXPECT_EQ(m.Body, (std::vector<std::string>{
                          "Area NEW.ECHO (New files) created",
                          "Group Main group / A, again @GROUP",
                          "by 2:5020/1, NEW.ECHO @FILEECHO",
                          "no macro here",
                          "",
                          "--- Brenmoor v.1.29.Linux",
                          " * Origin: Brenmoor node (2:5020/100)",
                      }));
    // The body file is gone, the template stays.
    EXPECT_TRUE(ListDir(dir / "temp").empty());
    EXPECT_TRUE(PathExists(dir / "newarea.tpl"));

    // Values are not expanded again, and long lines are cut.
    area.Desc = "Files for @LINK and @GROUP " + std::string(300, 'd');
    WriteFileBytes(dir / "newarea.tpl", "@GROUP: @DESC by @LINK\n");
    NotifyNewArea(config, area, link, group);
    m = ReadNetmail(dir / "netmail/3.msg");
    ASSERT_FALSE(m.Body.empty());
    EXPECT_EQ(m.Body[0], ("A: Files for @LINK and @GROUP " + std::string(300, 'd')).substr(0, 255));
}

TEST_F(NoticesTest, ReadOnlyNoticeGoesToTheLink) {
    WriteFileBytes(dir / "ro.tpl", "Your file @FILENAME was refused in @FileEcho.\r\n");
    config.notifyRoTpl = dir / "ro.tpl";
    WriteFileBytes(dir / "netmail/2.msg", "older");
    NotifyReadOnly(config, link, "PROTECTED", "file.zip");

    ASSERT_EQ(Messages(), (std::vector<std::string>{"2.msg", "3.msg"}));
    NetmailMessage m = ReadNetmail(dir / "netmail/3.msg");
    const NetmailHeader& h = m.Header;
    EXPECT_EQ(h.Subject, "Read-only file echo");
    EXPECT_EQ(FormatAddressParts(h.OrigZone, h.OrigNet, h.OrigNode, h.OrigPoint), "2:5020/100.5");
    EXPECT_EQ(FormatAddressParts(h.DestZone, h.DestNet, h.DestNode, h.DestPoint), "2:5020/1");
    EXPECT_EQ(h.Attribute, 1 + 128 + 256);  // PVT LOC K/S
    EXPECT_EQ(m.Body, (std::vector<std::string>{"Your file file.zip was refused in PROTECTED.", "",
                                                "--- Brenmoor v.1.29.Linux", " * Origin: Brenmoor node (2:5020/100.5)"}));
    EXPECT_TRUE(ListDir(dir / "temp").empty());
}

TEST_F(NoticesTest, NothingIsSentWithoutATemplateOrABodyFile) {
    // Not configured, configured but gone, or a body file that cannot be written.
    WriteFileBytes(dir / "ro.tpl", "text\n");
    for (const std::string tpl : {"", "gone.tpl", "ro.tpl"}) {
        SCOPED_TRACE(tpl);
        config.announceNewAreaTpl = config.notifyRoTpl = tpl.empty() ? "" : dir / tpl;
        config.tempDir = dir / (tpl == "ro.tpl" ? "no-such-temp/" : "temp/");
        NotifyNewArea(config, area, link, group);
        NotifyReadOnly(config, link, "PROTECTED", "file.zip");
        EXPECT_TRUE(Messages().empty());
    }
}

}  // namespace
