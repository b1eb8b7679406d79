// The start-up sequence run end to end on copies of the sample node.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "testkit.h"

namespace {

namespace fs = std::filesystem;

// Texts of the shipped language file by key.
const std::map<std::string, std::string>& Texts() {
    static const std::map<std::string, std::string> texts = [] {
        std::map<std::string, std::string> result;
        std::string content = ReadFileBytes(SourceDir() + "lang/brenmoor.lng");
        std::size_t start = 0;
        while (start < content.size()) {
            std::size_t end = content.find('\n', start);
            if (end == std::string::npos) end = content.size();
            std::string line = content.substr(start, end - start);
            start = end + 1;
            line = line.substr(0, line.find(';'));
            while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
            std::size_t blank = line.find(' ');
            if (line.empty() || blank == std::string::npos) continue;
            std::size_t text = line.find_first_not_of(' ', blank);
            result[line.substr(0, blank)] = line.substr(text);
        }
        return result;
    }();
    return texts;
}

std::string Text(const std::string& key) {
    auto it = Texts().find(key);
    return it == Texts().end() ? std::string() : it->second;
}

std::string WithMacro(std::string text, const std::string& macro, const std::string& value) {
    std::size_t at = text.find(macro);
    if (at != std::string::npos) text.replace(at, macro.size(), value);
    return text;
}

const std::string VersionLine = "Brenmoor version 1.29.Linux\n";

std::string ReadOk(const std::string& key) { return Text(key) + Text("OK") + "\n"; }

std::string AllReadOk() {
    return VersionLine + ReadOk("READINGBRENMOORCTL") + ReadOk("READINGLINKSCTL") + ReadOk("READINGGROUPSCTL") +
           ReadOk("READINGARCCTL") + ReadOk("READINGBBSSOFTCTL") + ReadOk("READINGCOLORSCTL");
}

std::vector<std::string> LogLines(const std::string& path) {
    std::vector<std::string> lines;
    std::string content = ReadFileBytes(path);
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find("\r\n", start);
        if (end == std::string::npos) end = content.size();
        lines.push_back(content.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

bool IsTimeStamp(const std::string& text) {
    return text.size() == 8 && isdigit(static_cast<unsigned char>(text[0])) && text[2] == ':' && text[5] == ':';
}

// "HH:MM:SS ■ ═════════╡ DD Mon YY  HH:MM:SS ╞═════════ ■" in code page 866.
bool IsStartOfRunEntry(const std::string& line) {
    const std::string left = "\xFE \xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xB5 ";
    const std::string right = " \xC6\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD \xFE";
    if (line.size() != 9 + left.size() + 19 + right.size()) return false;
    return IsTimeStamp(line.substr(0, 8)) && line.substr(9, left.size()) == left &&
           IsTimeStamp(line.substr(9 + left.size() + 11, 8)) && line.substr(line.size() - right.size()) == right;
}

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        CopySampleNode(node.path);
        InstallLanguageFile(node.path);
        // Whatever a run of the sample in place may have left there.
        for (const char* made : {"in", "out", "pass", "bad", "dupes", "tmp", "flags", "netmail", "boxes", "data",
                                 "log", "announce", "files"})
            fs::remove_all(node / made);
    }

    RunResult Run(const std::vector<std::string>& args) { return RunBrenmoor(node.path, args, {}, work.path); }

    void AppendToConfig(const std::string& lines) {
        WriteFileBytes(node / "BRENMOOR.CTL", ReadFileBytes(node / "BRENMOOR.CTL") + lines);
    }

    std::string LogFile() const { return node / "log/brenmoor.log"; }

    ScratchDir node;
    ScratchDir work;  // the current directory of the runs
};

TEST_F(StartupTest, UnknownCommandReadsEverythingLogsTheStartAndEndsWithZero) {
    RunResult result = Run({"nosuchcommand"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, AllReadOk());
    EXPECT_EQ(result.err, "");
    auto lines = LogLines(LogFile());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(IsStartOfRunEntry(lines[3])) << lines[3];
    // Relative directories of the sample were made inside the node, and the
    // current directory got nothing.
    for (const char* made : {"in", "out/tic", "out/outbound", "pass", "bad", "dupes", "tmp", "flags", "netmail/in",
                             "netmail/out", "boxes", "data", "announce"})
        EXPECT_TRUE(fs::is_directory(node / made)) << made;
    EXPECT_TRUE(ListDir(work.path).empty());
    EXPECT_FALSE(PathExists(node / "flags/BRENMOOR.BSY"));

    // A second run appends its entry without a new header.
    EXPECT_EQ(Run({"another"}).exitCode, 0);
    lines = LogLines(LogFile());
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_TRUE(IsStartOfRunEntry(lines[4]));
}

TEST_F(StartupTest, ControlFileNamesAreFoundInAnyLetterCase) {
    fs::rename(node / "BRENMOOR.CTL", node / "brenmoor.ctl");
    fs::rename(node / "Links.ctl", node / "LINKS.CTL");
    fs::rename(node / "colors.ctl", node / "Colors.Ctl");
    RunResult result = Run({"x"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, AllReadOk());
}

TEST_F(StartupTest, MissingMainConfigurationEndsWithThree) {
    fs::remove(node / "BRENMOOR.CTL");
    RunResult result = Run({"toss"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out, VersionLine + Text("READINGBRENMOORCTL") + Text("ERROR") + "\n\n");
    EXPECT_FALSE(PathExists(LogFile()));
}

TEST_F(StartupTest, BinkModeWithoutItsOutboundEndsWithTwo) {
    AppendToConfig("Mode bink\nBinkStyleOutbound\n");
    RunResult result = Run({"scan"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out,
              VersionLine + Text("READINGBRENMOORCTL") + Text("ERROR") + "\n" + Text("BSONOTDEFINED") + "\n\n");
}

TEST_F(StartupTest, DirectoryThatCannotBeCreatedEndsWithTwo) {
    WriteFileBytes(node / "blocker", "not a directory");
    AppendToConfig("TempDir blocker/tmp\n");
    RunResult result = Run({"x"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, VersionLine + Text("READINGBRENMOORCTL") + Text("ERROR") + "\n" +
                              WithMacro(Text("CANTCREATEDIR"), "%d", node / "blocker/tmp/") + "\n\n");
}

TEST_F(StartupTest, MissingTemplateEndsWith240) {
    fs::remove(node / "tpl/answer.tpl");
    RunResult result = Run({"x"});
    EXPECT_EQ(result.exitCode, 240);
    EXPECT_EQ(result.out, VersionLine + Text("READINGBRENMOORCTL") + Text("ERROR") + "\n" +
                              WithMacro(Text("FILENOTFOUND"), "%f", node / "tpl/answer.tpl") + "\n\n");
}

TEST_F(StartupTest, LinksFileWithoutLinkEndsWithThreeAndIsLogged) {
    WriteFileBytes(node / "Links.ctl", "; no links yet\r\nAKA 2:9999/1\r\n");
    RunResult result = Run({"toss"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out, VersionLine + ReadOk("READINGBRENMOORCTL") + Text("READINGLINKSCTL") + Text("ERROR") + "\n\n");
    auto lines = LogLines(LogFile());
    ASSERT_EQ(lines.size(), 4u);  // header and the one message, no start-of-run entry
    EXPECT_TRUE(IsTimeStamp(lines[3].substr(0, 8)));
    EXPECT_EQ(lines[3].substr(8), " " + Text("LOGERRORINLINKSCTL"));

    fs::remove(node / "Links.ctl");
    EXPECT_EQ(Run({"toss"}).exitCode, 3);
}

TEST_F(StartupTest, MissingGroupsFileEndsWithFourAndIsLogged) {
    fs::remove(node / "Groups.ctl");
    RunResult result = Run({"scan"});
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_EQ(result.out, VersionLine + ReadOk("READINGBRENMOORCTL") + ReadOk("READINGLINKSCTL") +
                              Text("READINGGROUPSCTL") + Text("ERROR") + "\n\n");
    auto lines = LogLines(LogFile());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3].substr(8), " " + Text("LOGERRORINGROUPSCTL"));
}

TEST_F(StartupTest, ArchiverFileWithoutArchiverEndsWithFourAndIsLogged) {
    WriteFileBytes(node / "arc.ctl", "; nothing\nSignature 0,504B0304\n");
    RunResult result = Run({"ann:cur"});
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_EQ(result.out, VersionLine + ReadOk("READINGBRENMOORCTL") + ReadOk("READINGLINKSCTL") +
                              ReadOk("READINGGROUPSCTL") + Text("READINGARCCTL") + Text("ERROR") + "\n\n");
    auto lines = LogLines(LogFile());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3].substr(8), " " + Text("LOGERRORINARCCTL"));
}

TEST_F(StartupTest, MissingBbsSoftFileEndsWithTwo) {
    fs::remove(node / "bbssoft.ctl");
    RunResult result = Run({"x"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, VersionLine + ReadOk("READINGBRENMOORCTL") + ReadOk("READINGLINKSCTL") +
                              ReadOk("READINGGROUPSCTL") + ReadOk("READINGARCCTL") + Text("READINGBBSSOFTCTL") +
                              Text("ERROR") + "\n\n");
    EXPECT_FALSE(PathExists(LogFile()));  // no start-of-run entry before every file is read
}

TEST_F(StartupTest, MissingColourFileEndsWithThree) {
    fs::remove(node / "colors.ctl");
    RunResult result = Run({"toss"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out, VersionLine + ReadOk("READINGBRENMOORCTL") + ReadOk("READINGLINKSCTL") +
                              ReadOk("READINGGROUPSCTL") + ReadOk("READINGARCCTL") + ReadOk("READINGBBSSOFTCTL") +
                              Text("READINGCOLORSCTL") + Text("ERROR") + "\n\n");
    EXPECT_FALSE(PathExists(LogFile()));
}

TEST_F(StartupTest, BusyFlagStopsEveryCommandWithEight) {
    WriteFileBytes(node / "flags/BRENMOOR.BSY", "");
    for (const std::string command : {"toss", "Scan", "ann:cur", "TOSSSCAN", "whatever"}) {
        RunResult result = Run({command});
        EXPECT_EQ(result.exitCode, 8) << command;
        EXPECT_EQ(result.out, AllReadOk() + Text("DETECTBUSYFLAG") + "\n" + Text("RUNINGOTHERCOPY") + "\n\n")
            << command;
        EXPECT_FALSE(PathExists(LogFile())) << command;
    }
    EXPECT_TRUE(PathExists(node / "flags/BRENMOOR.BSY"));
}

TEST_F(StartupTest, BusyFlagIsFoundInAnyLetterCase) {
    WriteFileBytes(node / "flags/brenmoor.bsy", "");
    EXPECT_EQ(Run({"toss"}).exitCode, 8);
}

TEST_F(StartupTest, ChecksRunInStartUpOrder) {
    // Both the links file and the colour file are missing: the first decides.
    fs::remove(node / "Links.ctl");
    fs::remove(node / "colors.ctl");
    WriteFileBytes(node / "flags/BRENMOOR.BSY", "");
    EXPECT_EQ(Run({"toss"}).exitCode, 3);
    auto lines = LogLines(LogFile());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3].substr(8), " " + Text("LOGERRORINLINKSCTL"));
}

}  // namespace
