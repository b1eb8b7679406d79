// The start-up sequence run end to end on copies of the sample node.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <vector>

#include "testkit.h"

namespace {

namespace fs = std::filesystem;

std::string SubstituteFirst(std::string text, const std::string& macro, const std::string& value) {
    std::size_t at = text.find(macro);
    return at == std::string::npos ? text : text.replace(at, macro.size(), value);
}

bool IsTimeStamp(const std::string& text) {
    return text.size() == 8 && isdigit(static_cast<unsigned char>(text[0])) && text[2] == ':' && text[5] == ':';
}

// "HH:MM:SS ■ ═════════╡ DD Mon YY  HH:MM:SS ╞═════════ ■" in code page 866.
bool IsStartOfRunEntry(const std::string& line) {
    const std::string left = "\xFE " + std::string(9, '\xCD') + "\xB5 ";
    const std::string right = " \xC6" + std::string(9, '\xCD') + " \xFE";
    return line.size() == 9 + left.size() + 19 + right.size() && IsTimeStamp(line.substr(0, 8)) &&
           line.substr(9, left.size()) == left && IsTimeStamp(line.substr(9 + left.size() + 11, 8)) &&
           line.substr(line.size() - right.size()) == right;
}

// A copy of the sample node, run from an empty current directory.
struct Node {
    Node() {
        CopySampleNode(node.path);
        InstallLanguageFile(node.path);
        // Whatever a run of the sample in place may have left there.
        for (const char* made : {"in", "out", "pass", "bad", "dupes", "tmp", "flags", "netmail", "boxes", "data",
                                 "log", "announce", "files"})
            fs::remove_all(node / made);
    }
    RunResult Run(const std::string& command) { return RunBrenmoor(node.path, {command}, {}, work.path); }
    void AppendToConfig(const std::string& lines) {
        WriteFileBytes(node / "BRENMOOR.CTL", ReadFileBytes(node / "BRENMOOR.CTL") + lines);
    }
    std::string Log() const { return node / "log/brenmoor.log"; }
    ScratchDir node, work;
};

TEST(Startup, UnknownCommandReadsEverythingLogsTheStartAndEndsWithZero) {
    Node n;
    RunResult result = n.Run("nosuchcommand");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, StartupReadOk());
    EXPECT_EQ(result.err, "");
    auto lines = CrLfLines(n.Log());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(IsStartOfRunEntry(lines[3])) << lines[3];
    // Relative directories of the sample were made inside the node, and the
    // current directory got nothing.
    for (const char* made : {"in", "out/tic", "out/outbound", "pass", "bad", "dupes", "tmp", "flags", "netmail/in",
                             "netmail/out", "boxes", "data", "announce"})
        EXPECT_TRUE(fs::is_directory(n.node / made)) << made;
    EXPECT_TRUE(ListDir(n.work.path).empty());
    EXPECT_FALSE(PathExists(n.node / "flags/BRENMOOR.BSY"));

    // Control files are found in any letter case; a second run appends its
    // entry without a new header.
    fs::rename(n.node / "BRENMOOR.CTL", n.node / "brenmoor.ctl");
    fs::rename(n.node / "Links.ctl", n.node / "LINKS.CTL");
    fs::rename(n.node / "colors.ctl", n.node / "Colors.Ctl");
    result = n.Run("another");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, StartupReadOk());
    lines = CrLfLines(n.Log());
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_TRUE(IsStartOfRunEntry(lines[4]));
}

TEST(Startup, FaultsEndTheRunWithTheirCodeAfterTheFilesReadSoFar) {
    const char* const files[] = {"READINGBRENMOORCTL", "READINGLINKSCTL",   "READINGGROUPSCTL",
                                 "READINGARCCTL",      "READINGBBSSOFTCTL", "READINGCOLORSCTL"};
    const struct {
        const char* name;
        std::vector<std::string> removed;
        std::map<std::string, std::string> written;  // node files and their new content
        std::string configLines;  // added to BRENMOOR.CTL
        int failing;  // index of the file whose reading fails
        std::string detailKey, macro, macroPath;  // the line after ERROR, if any
        const char* command;
        int code;
        const char* logKey;  // the logged message; none: no log at all
    } cases[] = {
        {"no main configuration", {"BRENMOOR.CTL"}, {}, "", 0, "", "", "", "toss", 3, nullptr},
        {"bink mode without its outbound", {}, {}, "Mode bink\nBinkStyleOutbound\n", 0, "BSONOTDEFINED", "", "", "scan",
         2, nullptr},
        {"directory that cannot be created", {}, {{"blocker", "not a directory"}}, "TempDir blocker/tmp\n", 0,
         "CANTCREATEDIR", "%d", "blocker/tmp/", "x", 2, nullptr},
        {"missing template", {"tpl/answer.tpl"}, {}, "", 0, "FILENOTFOUND", "%f", "tpl/answer.tpl", "x", 240, nullptr},
        {"links file without a link", {}, {{"Links.ctl", "; no links yet\r\nAKA 2:9999/1\r\n"}}, "", 1, "", "", "",
         "toss", 3, "LOGERRORINLINKSCTL"},
        {"no groups file", {"Groups.ctl"}, {}, "", 2, "", "", "", "scan", 4, "LOGERRORINGROUPSCTL"},
        {"archiver file without an archiver", {}, {{"arc.ctl", "; nothing\nSignature 0,504B0304\n"}}, "", 3, "", "", "",
         "ann:cur", 4, "LOGERRORINARCCTL"},
        // No start-of-run entry before every file is read.
        {"no BBS file", {"bbssoft.ctl"}, {}, "", 4, "", "", "", "x", 2, nullptr},
        {"no colour file", {"colors.ctl"}, {}, "", 5, "", "", "", "toss", 3, nullptr},
        // Several faults and the busy flag: the first check in start-up order decides.
        {"links and colour file missing, busy", {"Links.ctl", "colors.ctl"}, {{"flags/BRENMOOR.BSY", ""}}, "", 1,
         "", "", "", "toss", 3, "LOGERRORINLINKSCTL"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Node n;
        for (const std::string& file : c.removed) fs::remove(n.node / file);
        for (const auto& [file, content] : c.written) WriteFileBytes(n.node / file, content);
        if (!c.configLines.empty()) n.AppendToConfig(c.configLines);
        std::string expected = VersionLine();
        for (int i = 0; i < c.failing; ++i) expected += ReadingOk(files[i]);
        expected += LanguageText(files[c.failing]) + LanguageText("ERROR") + "\n";
        if (!c.detailKey.empty()) {
            std::string detail = LanguageText(c.detailKey);
            expected += (c.macro.empty() ? detail : SubstituteFirst(detail, c.macro, n.node / c.macroPath)) + "\n";
        }
        RunResult result = n.Run(c.command);
        EXPECT_EQ(result.exitCode, c.code);
        EXPECT_EQ(result.out, expected + "\n");
        if (!c.logKey) {
            EXPECT_FALSE(PathExists(n.Log()));
            continue;
        }
        auto lines = CrLfLines(n.Log());
        ASSERT_EQ(lines.size(), 4u);  // header and the one message, no start-of-run entry
        EXPECT_TRUE(IsTimeStamp(lines[3].substr(0, 8)));
        EXPECT_EQ(lines[3].substr(8), " " + LanguageText(c.logKey));
    }
}

TEST(Startup, BusyFlagInAnyLetterCaseStopsEveryCommandWithEight) {
    Node n;
    WriteFileBytes(n.node / "flags/BRENMOOR.BSY", "");
    for (const std::string command : {"toss", "Scan", "ann:cur", "TOSSSCAN", "whatever"}) {
        SCOPED_TRACE(command);
        RunResult result = n.Run(command);
        EXPECT_EQ(result.exitCode, 8);
        EXPECT_EQ(result.out,
                  StartupReadOk() + LanguageText("DETECTBUSYFLAG") + "\n" + LanguageText("RUNINGOTHERCOPY") + "\n\n");
        EXPECT_FALSE(PathExists(n.Log()));
    }
    EXPECT_TRUE(PathExists(n.node / "flags/BRENMOOR.BSY"));
    fs::rename(n.node / "flags/BRENMOOR.BSY", n.node / "flags/brenmoor.bsy");
    EXPECT_EQ(n.Run("toss").exitCode, 8);
}

}  // namespace
