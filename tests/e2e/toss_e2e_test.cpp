// The toss end to end: "brenmoor toss" run over copies of the sample node,
// checking every file it stores, writes, moves aside or leaves in place.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "testkit.h"

namespace {

namespace fs = std::filesystem;

// ---- Texts of the shipped language file ------------------------------------------

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
            result[line.substr(0, blank)] = line.substr(line.find_first_not_of(' ', blank));
        }
        return result;
    }();
    return texts;
}

using Macros = std::initializer_list<std::pair<std::string, std::string>>;

// The key's text with the first occurrence of each macro filled in.
std::string Text(const std::string& key, Macros macros = {}) {
    auto it = Texts().find(key);
    std::string text = it == Texts().end() ? std::string() : it->second;
    for (const auto& [macro, value] : macros) {
        std::size_t at = text.find(macro);
        if (at != std::string::npos) text.replace(at, macro.size(), value);
    }
    return text;
}

std::string ReadOk(const std::string& key) { return Text(key) + Text("OK") + "\n"; }

std::string AllReadOk() {
    return "Brenmoor version 1.29.Linux\n" + ReadOk("READINGBRENMOORCTL") + ReadOk("READINGLINKSCTL") +
           ReadOk("READINGGROUPSCTL") + ReadOk("READINGARCCTL") + ReadOk("READINGBBSSOFTCTL") +
           ReadOk("READINGCOLORSCTL");
}

// The summary at the end of a toss, with the exit routine's blank line.
std::string Summary(int processed, int bad) {
    return "\n" + Text("ALLTIC") + " " + std::to_string(processed) + "\n" + Text("BADTIC") + " " + std::to_string(bad) +
           "\n\n";
}

std::string Tossing(const std::string& file, const std::string& area) {
    return Text("TOSSCONSOLE", {{"%f", file}, {"%a", area}}) + "\n";
}

// ---- Bytes ---------------------------------------------------------------------------

std::uint32_t Crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string Hex8(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

std::string Le16(std::uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string Le32(std::uint32_t v) {
    return Le16(static_cast<std::uint16_t>(v & 0xFFFF)) + Le16(static_cast<std::uint16_t>(v >> 16));
}

std::string Padded(std::string text, std::size_t width) {
    text.resize(width, ' ');
    return text;
}

std::vector<std::string> Lines(const std::string& content) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    for (const std::string& l : lines)
        if (l == line) return true;
    return false;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool HaveProgram(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// ---- A node to toss on -----------------------------------------------------------------

class TestNode {
public:
    TestNode() {
        CopySampleNode(dir.path);
        InstallLanguageFile(dir.path);
        for (const char* made : {"in", "out", "pass", "bad", "dupes", "tmp", "flags", "netmail", "boxes", "data", "log",
                                 "announce", "files", "sample"})
            fs::remove_all(dir / made);
        MakeDirs(dir / "in");
    }

    std::string operator/(const std::string& name) const { return dir / name; }
    const std::string& Path() const { return dir.path; }

    void Append(const std::string& file, const std::string& text) {
        WriteFileBytes(dir / file, ReadFileBytes(dir / file) + "\n" + text + "\n");
    }
    void Config(const std::string& lines) { Append("BRENMOOR.CTL", lines); }
    void Replace(const std::string& file, const std::string& from, const std::string& to) {
        std::string content = ReadFileBytes(dir / file);
        std::size_t at = content.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        content.replace(at, from.size(), to);
        WriteFileBytes(dir / file, content);
    }

    void Put(const std::string& name, const std::string& content) { WriteFileBytes(dir / ("in/" + name), content); }

    // The file into the inbound and a TIC for it with its size and CRC; the
    // extra lines come last, so that a keyword given there wins.
    void PutTic(const std::string& ticName, const std::string& file, const std::string& content,
                const std::string& area, const std::string& from = "2:9999/10", const std::string& pw = "UPLINKPW",
                const std::string& extra = "") {
        Put(file, content);
        PutTicOnly(ticName, file, content, area, from, pw, extra);
    }
    void PutTicOnly(const std::string& ticName, const std::string& file, const std::string& content,
                    const std::string& area, const std::string& from = "2:9999/10", const std::string& pw = "UPLINKPW",
                    const std::string& extra = "") {
        std::string tic = "Area " + area + "\r\nOrigin " + from + "\r\nFrom " + from +
                          "\r\nTo Sysop 2:9999/1\r\nFile " + file + "\r\nDesc Description of " + file + "\r\nSize " +
                          std::to_string(content.size()) + "\r\nCrc " + Hex8(Crc32(content)) + "\r\nPath " + from +
                          " 1780000000 Sun Jun 28 09:46:40 2026 UTC\r\nSeenby " + from + "\r\nPw " + pw + "\r\n" +
                          extra;
        Put(ticName, tic);
    }

    RunResult Toss(const std::string& command = "toss") { return RunBrenmoor(dir.path, {command}, {}, work.path); }

    // Log lines of the last run after its start-of-run entry, without their
    // time stamps and without the "[i]" memory lines.
    std::vector<std::string> Log() const {
        std::vector<std::string> all = Lines(ReadFileBytes(dir / "log/brenmoor.log"));
        std::size_t start = 0;
        for (std::size_t i = 0; i < all.size(); ++i)
            if (all[i].find("\xFE \xCD") != std::string::npos) start = i + 1;
        std::vector<std::string> events;
        for (std::size_t i = start; i < all.size(); ++i) {
            std::string text = all[i].size() > 9 ? all[i].substr(9) : std::string();
            if (text.rfind("[i] ", 0) == 0) continue;
            events.push_back(text);
        }
        return events;
    }

    std::vector<std::string> Files(const std::string& sub) const { return ListDir(dir / sub); }
    std::string Read(const std::string& name) const { return ReadFileBytes(dir / name); }
    bool Exists(const std::string& name) const { return PathExists(dir / name); }

    ScratchDir dir;
    ScratchDir work;  // the current directory of the runs
};

using Names = std::vector<std::string>;

// The one TIC written into the outbound, as lines.
std::vector<std::string> OutboundTic(const TestNode& node) {
    Names tics = node.Files("out/tic");
    EXPECT_EQ(tics.size(), 1u);
    if (tics.empty()) return {};
    EXPECT_EQ(tics[0].size(), 12u);
    EXPECT_EQ(tics[0].substr(0, 2), "BM");
    EXPECT_EQ(tics[0].substr(8), ".TIC");
    return Lines(node.Read("out/tic/" + tics[0]));
}

// ---- Accepted roads ------------------------------------------------------------------------

TEST(Toss, StoresTheFileInItsAreaAndSendsItToTheSubscribedLinks) {
    TestNode node;
    const std::string content = "program bytes";
    node.PutTic("BM000001.TIC", "SOFT.ZIP", content, "SAMPLE.SOFT", "2:9999/10", "UPLINKPW",
                "Desc A small program\r\nPath 2:9999/10 1780000000 second line\r\n");

    RunResult result = node.Toss();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, AllReadOk() + "\n" + Tossing("SOFT.ZIP", "SAMPLE.SOFT") + Summary(1, 0));
    EXPECT_EQ(result.err, "");

    // The file in its area, nothing left in the inbound, no busy flag.
    const std::string area = node / "files/fido/soft/";
    EXPECT_EQ(ReadFileBytes(area + "SOFT.ZIP"), content);
    EXPECT_EQ(node.Files("in"), Names{});
    EXPECT_FALSE(node.Exists("flags/BRENMOOR.BSY"));
    EXPECT_EQ(node.Files("bad"), Names{});

    // Description list: name to DLCPOS 14, counter, description from column 19.
    EXPECT_EQ(ReadFileBytes(area + "files.bbs"), "SOFT.ZIP     [00] A small program\r\n");

    // Dupe database: header and the one record.
    EXPECT_EQ(node.Read("data/brenmoor.dup"), std::string("Brenmoor DUPE file  ") + std::string(20, '\0') + Le32(1) +
                                                  Padded("SAMPLE.SOFT", 20) + Padded("SOFT.ZIP", 12) +
                                                  Le32(Crc32(content)) + Le32(13) + Le32(1));

    // Announcement record of today.
    Names days = node.Files("announce");
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(days[0].size(), 12u);
    EXPECT_EQ(days[0].substr(8), ".ann");
    std::string record = node.Read("announce/" + days[0]);
    ASSERT_EQ(record.size(), 374u);
    EXPECT_EQ(record.substr(0, 25), Padded("SAMPLE.SOFT", 25));
    EXPECT_EQ(record.substr(25, 70), Padded("Software for the sample net", 70));
    EXPECT_EQ(record.substr(95, 12), Padded("SOFT.ZIP", 12));
    EXPECT_EQ(record.substr(107, 250), Padded(area, 250));
    EXPECT_EQ(record.substr(357, 1), "A");
    const std::string link10 = Le16(2) + Le16(9999) + Le16(10) + Le16(0);
    EXPECT_EQ(record.substr(358, 8), link10);  // origin
    EXPECT_EQ(record.substr(366, 8), link10);  // from

    // One TIC for 2:9999/20: the sender 10 and the unknown point .1 get none.
    std::vector<std::string> tic = OutboundTic(node);
    for (const char* line :
         {"File SOFT.ZIP", "Size 13", "Desc A small program", "Area SAMPLE.SOFT",
          "Areadesc Software for the sample net", "Origin 2:9999/10", "From 2:9999/1", "To 2:9999/20", "Pw DOWNPW",
          "SeenBy 2:9999/10", "SeenBy 2:9999/20", "Path 2:9999/10 1780000000 second line"})
        EXPECT_TRUE(Contains(tic, line)) << line;
    EXPECT_TRUE(Contains(tic, "Crc " + Hex8(Crc32(content))));
    ASSERT_GE(tic.size(), 2u);
    EXPECT_EQ(tic[tic.size() - 4].rfind("Path 2:9999/1 ", 0), 0u) << tic[tic.size() - 4];
    EXPECT_TRUE(EndsWith(tic[tic.size() - 4], " [Brenmoor v.1.29.Linux]"));

    // Flow file of the DIRECT link: the file as it is, the TIC to be killed.
    EXPECT_EQ(node.Files("out/outbound"), Names{"270f0014.dlo"});
    EXPECT_EQ(node.Read("out/outbound/270f0014.dlo"),
              area + "SOFT.ZIP\n^" + node / ("out/tic/" + node.Files("out/tic")[0]) + "\n");

    EXPECT_EQ(node.Log(),
              (Names{Text("LOGOPENTICFILE", {{"%f", node / "in/BM000001.TIC"}}),
                     Text("LOGFROMFECHO", {{"%a", "2:9999/10"}, {"%e", "SAMPLE.SOFT"}}),
                     Text("LOGREMOVEFILE", {{"%f", "SOFT.ZIP"}, {"%d", area}}), Text("LOGDESCADDED"),
                     Text("LOGHATCHSENDTO", {{"%t", "2:9999/20"}}), Text("LOGDELETETICFILE"), Text("LOGNOMOREFILES")}));
    // Every TIC starts with its memory line.
    std::vector<std::string> raw = Lines(node.Read("log/brenmoor.log"));
    EXPECT_EQ(raw[raw.size() - 8].substr(9, 4), "[i] ");
}

TEST(Toss, PassThroughAreaKeepsTheFileInThePassThroughDirectory) {
    TestNode node;
    node.PutTic("BM000001.TIC", "PASS.ZIP", "pass bytes", "SAMPLE.PASS");
    RunResult result = node.Toss();
    EXPECT_EQ(result.out, AllReadOk() + "\n" + Tossing("PASS.ZIP", "SAMPLE.PASS") + Summary(1, 0));
    EXPECT_EQ(node.Read("pass/PASS.ZIP"), "pass bytes");
    EXPECT_EQ(node.Read("pass/files.bbs"), "PASS.ZIP     [00] Description of PASS.ZIP\r\n");
    // Not announced (ANNOUNCEPASSTROUGH off), but sent on.
    EXPECT_EQ(node.Files("announce"), Names{});
    EXPECT_TRUE(Contains(OutboundTic(node), "To 2:9999/20"));
    EXPECT_EQ(Lines(node.Read("out/outbound/270f0014.dlo"))[0], node / "pass/PASS.ZIP");

    // With ANNOUNCEPASSTROUGH the record names the pass-through directory.
    TestNode announced;
    announced.Config("AnnouncePassTrough Yes");
    announced.PutTic("BM000001.TIC", "PASS.ZIP", "pass bytes", "SAMPLE.PASS");
    announced.Toss();
    Names days = announced.Files("announce");
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(announced.Read("announce/" + days[0]).substr(107, 250), Padded(announced / "pass/", 250));
}

TEST(Toss, NewAreaIsCreatedFromTheSendersDefaultGroup) {
    TestNode node;
    node.Append("bbssoft.ctl", "TORNADO_AREA bbs/fareas.ctl");
    const std::string areasBefore = node.Read("areas.ctl");
    node.PutTic("BM000001.TIC", "NODEDIFF.A48", "diff 48", "SAMPLE.DIFFS");
    node.PutTic("BM000002.TIC", "NODEDIFF.A49", "diff 49", "SAMPLE.DIFFS");
    node.PutTic("BM000003.TIC", "STUFF.ZIP", "stuff", "NEW.STUFF");

    RunResult result = node.Toss();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(EndsWith(result.out, Summary(3, 0))) << result.out;

    // Two blocks appended: the description from the group's NA file, or the
    // group's comment (USEGROUPCOMMENT) for a tag the NA file lacks.
    const std::string diffs = node / "files/fido/SAMPLE_DIFFS/";
    const std::string stuff = node / "files/fido/NEW_STUFF/";
    EXPECT_EQ(node.Read("areas.ctl"),
              areasBefore + "\r\nArea           SAMPLE.DIFFS\r\nPath           " + diffs +
                  "\r\nDesc           Nodelist differences\r\nCreateFlag     flags/newfiles.flg\r\nGroup          A\r\n"
                  "SecurityWrite  100\r\nAKA            2:9999/1\r\nLinks          10\r\n"
                  "\r\nArea           NEW.STUFF\r\nPath           " +
                  stuff +
                  "\r\nDesc           FidoNet file echoes\r\nCreateFlag     flags/newfiles.flg\r\nGroup          A\r\n"
                  "SecurityWrite  100\r\nAKA            2:9999/1\r\nLinks          10\r\n");
    EXPECT_EQ(ReadFileBytes(diffs + "NODEDIFF.A48"), "diff 48");
    EXPECT_EQ(ReadFileBytes(diffs + "NODEDIFF.A49"), "diff 49");
    EXPECT_EQ(ReadFileBytes(stuff + "STUFF.ZIP"), "stuff");
    EXPECT_EQ(Lines(ReadFileBytes(diffs + "files.bbs")).size(), 2u);
    EXPECT_TRUE(node.Exists("flags/newfiles.flg"));  // the CreateFlag, relative to the node

    // One notice per new area, to the node's own operator.
    ASSERT_EQ(node.Files("netmail/out"), (Names{"2.msg", "3.msg"}));
    std::string notice = node.Read("netmail/out/2.msg");
    for (const std::string& part :
         {Text("CREATEDNEWFECHOSUBJ"), std::string("File echo:   SAMPLE.DIFFS"),
          std::string("Description: Nodelist differences"), std::string("Group:       A (FidoNet file echoes)"),
          std::string("Created by:  2:9999/10")})
        EXPECT_NE(notice.find(part), std::string::npos) << part;
    EXPECT_NE(node.Read("netmail/out/3.msg").find("File echo:   NEW.STUFF"), std::string::npos);

    // One BBS definition per area, although two files went into SAMPLE.DIFFS.
    std::string bbs = node.Read("bbs/fareas.ctl");
    EXPECT_NE(bbs.find("Name          \"SAMPLE.DIFFS\"\r\nDLPath        " + diffs), std::string::npos) << bbs;
    EXPECT_NE(bbs.find("Name          \"NEW.STUFF\""), std::string::npos);
    std::size_t definitions = 0;
    for (std::size_t at = bbs.find("[FileArea]"); at != std::string::npos; at = bbs.find("[FileArea]", at + 1))
        ++definitions;
    EXPECT_EQ(definitions, 2u);

    // The sender is the only link: nothing goes out.
    EXPECT_EQ(node.Files("out/tic"), Names{});
}

TEST(Toss, NewAreaDirectoryNamesAndPassThroughGroups) {
    TestNode node;
    node.Config("Lfn No\nUseExt Yes");
    node.PutTic("BM000001.TIC", "A.ZIP", "a", "AB.CD.EFGH");
    node.PutTic("BM000002.TIC", "B.ZIP", "b", "ABCDEFGHIJK");
    node.Toss();
    EXPECT_EQ(node.Read("files/fido/AB_CD_EF.GH/A.ZIP"), "a");
    EXPECT_EQ(node.Read("files/fido/ABCDEFGH.IJK/B.ZIP"), "b");

    TestNode eight;
    eight.Config("Lfn No\nUseExt No");
    eight.PutTic("BM000001.TIC", "A.ZIP", "a", "SAMPLE.LONGTAG");
    eight.Toss();
    EXPECT_EQ(eight.Read("files/fido/SAMPLE_L/A.ZIP"), "a");

    // A group without a path makes pass-through areas.
    TestNode pass;
    pass.Replace("Links.ctl", "DefaultGroup A", "DefaultGroup B");
    pass.PutTic("BM000001.TIC", "P.ZIP", "p", "NEW.PASS");
    RunResult result = pass.Toss();
    EXPECT_TRUE(EndsWith(result.out, Summary(1, 0)));
    EXPECT_EQ(pass.Read("pass/P.ZIP"), "p");
    std::string areas = pass.Read("areas.ctl");
    std::size_t block = areas.find("Area           NEW.PASS\r\n");
    ASSERT_NE(block, std::string::npos);
    EXPECT_EQ(areas.find("Path", block), std::string::npos);
    EXPECT_NE(areas.find("Desc           Pass-through echoes\r\n", block), std::string::npos);
}

TEST(Toss, DuplicateGoesToTheDupeDirectory) {
    TestNode node;
    node.PutTic("BM000001.TIC", "DUP.ZIP", "same bytes", "SAMPLE.NODELIST");
    EXPECT_TRUE(EndsWith(node.Toss().out, Summary(1, 0)));
    ASSERT_EQ(node.Files("out/tic").size(), 1u);

    node.PutTic("BM000002.TIC", "DUP.ZIP", "same bytes", "SAMPLE.NODELIST");
    RunResult result = node.Toss();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(EndsWith(result.out, Summary(1, 1)));
    EXPECT_EQ(node.Files("dupes"), (Names{"BM000002.TIC", "DUP.ZIP", "files.bbs"}));
    EXPECT_EQ(node.Read("dupes/files.bbs"), "DUP.ZIP      " + Text("FILESBBSDUPE") + "\r\n");
    EXPECT_EQ(node.Files("in"), Names{});
    EXPECT_EQ(node.Files("out/tic").size(), 1u);  // nothing more sent
    EXPECT_EQ(node.Log(), (Names{Text("LOGOPENTICFILE", {{"%f", node / "in/BM000002.TIC"}}),
                                 Text("LOGFROMFECHO", {{"%a", "2:9999/10"}, {"%e", "SAMPLE.NODELIST"}}),
                                 Text("LOGDUPE"), Text("LOGREMOVEBADFILE", {{"%f", "DUP.ZIP"}}),
                                 Text("LOGREMOVETIC", {{"%f", "BM000002.TIC"}}), Text("LOGNOMOREFILES")}));

    // The same name with other contents is a new file.
    node.PutTic("BM000003.TIC", "DUP.ZIP", "new bytes", "SAMPLE.NODELIST");
    EXPECT_TRUE(EndsWith(node.Toss().out, Summary(1, 0)));
    EXPECT_EQ(node.Read("files/fido/nodelist/DUP.ZIP"), "new bytes");
}

// ---- The failure table ---------------------------------------------------------------------------

struct FailureRow {
    std::string name;
    std::string area = "SAMPLE.SOFT";
    std::string from = "2:9999/10";
    std::string pw = "UPLINKPW";
    std::string extra;
    void (*prepare)(TestNode&) = nullptr;
    std::string logText;  // the log line of the refusal
    std::string reason;   // the reason line's text in bad/files.bbs
};

TEST(Toss, EveryRowOfTheFailureTableMovesFileAndTicAside) {
    const std::string content = "refused!";  // 8 bytes
    const std::vector<FailureRow> rows = {
        {"sender not in links", "SAMPLE.SOFT", "2:9999/99", "X", "", nullptr,
         Text("LOGLINKNDEF", {{"%a", "2:9999/99"}}), Text("LINKNDEF", {{"%a", "2:9999/99"}})},
        {"destination not ours", "SAMPLE.SOFT", "2:9999/10", "UPLINKPW", "To 2:9999/5\r\n", nullptr,
         Text("LOGADDRNDEF", {{"%a", "2:9999/5"}}), Text("ADDRNDEF", {{"%a", "2:9999/5"}})},
        {"wrong password", "SAMPLE.SOFT", "2:9999/10", "WRONG", "", nullptr,
         Text("LOGBADTICPWD", {{"%w", "UPLINKPW"}, {"%r", "WRONG"}}),
         Text("BADTICPWD", {{"%w", "UPLINKPW"}, {"%r", "WRONG"}})},
        {"wrong size", "SAMPLE.SOFT", "2:9999/10", "UPLINKPW", "Size 1234567\r\n", nullptr,
         Text("LOGBADSIZE", {{"%m", "1,234,567"}, {"%c", "8"}}), Text("BADSIZE", {{"%m", "1,234,567"}, {"%c", "8"}})},
        {"wrong CRC", "SAMPLE.SOFT", "2:9999/10", "UPLINKPW", "Crc 1a2b3c4d\r\n", nullptr,
         Text("LOGBADCRC", {{"%m", "1A2B3C4D"}, {"%c", Hex8(Crc32(content))}}),
         Text("BADCRC", {{"%m", "1A2B3C4D"}, {"%c", Hex8(Crc32(content))}})},
        {"unknown area, link may not create", "NEW.ECHO", "2:9999/20", "DOWNPW", "", nullptr,
         Text("LOGLINKCANTCRAR", {{"%l", "2:9999/20"}}), Text("LINKCANTCRAR", {{"%l", "2:9999/20"}})},
        {"unknown group for a new area", "NEW.ECHO", "2:9999/10", "UPLINKPW", "",
         [](TestNode& n) { n.Replace("Links.ctl", "DefaultGroup A", "DefaultGroup Z"); },
         Text("LOGGROUPNDEF", {{"%g", "Z"}}), Text("GROUPNDEF", {{"%g", "Z"}})},
        {"sender not subscribed", "OTHER.ECHO", "2:9999/10", "UPLINKPW", "",
         [](TestNode& n) {
             n.Append("areas.ctl", "Area OTHER.ECHO\r\nPath files/other/\r\nGroup A\r\nAKA 2:9999/1\r\nLinks 20\r\n");
         },
         Text("LOGLINKNSIGNED", {{"%l", "2:9999/10"}, {"%a", "OTHER_ECHO"}}),
         Text("LINKNSIGNED", {{"%l", "2:9999/10"}, {"%a", "OTHER_ECHO"}})},
        {"security too low", "SAMPLE.SOFT", "2:9999/20", "DOWNPW", "", nullptr,
         Text("LOGLINKCANTWRITE", {{"%a", "2:9999/20"}, {"%f", "SAMPLE.SOFT"}}),
         Text("LINKCANTWRITE", {{"%a", "2:9999/20"}, {"%f", "SAMPLE.SOFT"}})},
    };
    for (const FailureRow& row : rows) {
        SCOPED_TRACE(row.name);
        TestNode node;
        if (row.prepare) row.prepare(node);
        node.PutTic("BM000001.TIC", "FILE.ZIP", content, row.area, row.from, row.pw, row.extra);
        const std::string areasBefore = node.Read("areas.ctl");

        RunResult result = node.Toss();
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out, AllReadOk() + "\n" + Tossing("FILE.ZIP", row.area) + Summary(1, 1));
        EXPECT_EQ(node.Files("in"), Names{});
        EXPECT_EQ(node.Files("bad"), (Names{"BM000001.TIC", "FILE.ZIP", "files.bbs"}));
        EXPECT_EQ(node.Read("bad/FILE.ZIP"), content);
        EXPECT_EQ(node.Read("bad/files.bbs"), "FILE.ZIP     " + row.reason + "\r\n");
        std::vector<std::string> log = node.Log();
        ASSERT_EQ(log.size(), 6u);
        EXPECT_EQ(log[2], row.logText);
        EXPECT_EQ(log[3], Text("LOGREMOVEBADFILE", {{"%f", "FILE.ZIP"}}));
        EXPECT_EQ(log[4], Text("LOGREMOVETIC", {{"%f", "BM000001.TIC"}}));
        // Nothing stored, recorded, sent or created.
        EXPECT_EQ(node.Files("out/tic"), Names{});
        EXPECT_FALSE(node.Exists("data/brenmoor.dup"));
        EXPECT_EQ(node.Files("announce"), Names{});
        EXPECT_EQ(node.Read("areas.ctl"), areasBefore);
        EXPECT_FALSE(node.Exists("files/fido/NEW_ECHO"));

        if (row.name == "security too low") {
            // The read-only notice goes to the link.
            ASSERT_EQ(node.Files("netmail/out"), Names{"2.msg"});
            std::string notice = node.Read("netmail/out/2.msg");
            EXPECT_NE(notice.find(Text("NOTIFYROSUBJ")), std::string::npos);
            EXPECT_NE(notice.find("INTL 2:9999/20 2:9999/1"), std::string::npos);
            EXPECT_NE(notice.find("You sent the file FILE.ZIP into the file echo SAMPLE.SOFT"), std::string::npos);
        } else {
            EXPECT_EQ(node.Files("netmail/out"), Names{});
        }
    }
}

TEST(Toss, DeletedBadTicsAndReasonLinesWithoutDescriptionList) {
    TestNode deleting;
    deleting.Config("DelBadTic Yes");
    deleting.PutTic("BM000001.TIC", "FILE.ZIP", "x", "SAMPLE.SOFT", "2:9999/10", "WRONG");
    EXPECT_TRUE(EndsWith(deleting.Toss().out, Summary(1, 1)));
    EXPECT_EQ(deleting.Files("bad"), (Names{"FILE.ZIP", "files.bbs"}));
    EXPECT_EQ(deleting.Files("in"), Names{});
    EXPECT_EQ(deleting.Log()[4], Text("LOGDELETETICFILE"));

    // Without DESCFILE a refused file is still moved, with no reason line,
    // and a stored file gets no description.
    TestNode plain;
    plain.Config("DescFile");
    plain.PutTic("BM000001.TIC", "FILE.ZIP", "x", "SAMPLE.SOFT", "2:9999/10", "WRONG");
    plain.PutTic("BM000002.TIC", "GOOD.ZIP", "good", "SAMPLE.SOFT");
    EXPECT_TRUE(EndsWith(plain.Toss().out, Summary(2, 1)));
    EXPECT_EQ(plain.Files("bad"), (Names{"BM000001.TIC", "FILE.ZIP"}));
    EXPECT_EQ(plain.Read("bad/FILE.ZIP"), "x");
    EXPECT_EQ(plain.Files("files/fido/soft"), Names{"GOOD.ZIP"});
    EXPECT_FALSE(Contains(plain.Log(), Text("LOGDESCADDED")));
}

// ---- TICs left in place ----------------------------------------------------------------------------

TEST(Toss, TicsWaitingForTheirFilesStayInPlace) {
    TestNode node;  // WAITFILE is on in the sample
    node.PutTicOnly("BM000001.TIC", "LATE.ZIP", "late", "SAMPLE.SOFT");
    node.PutTic("BM000002.TIC", ".RECV.ZIP", "partial", "SAMPLE.SOFT");
    node.PutTic("BM000003.TIC", "OWN.ZIP", "own", "SAMPLE.SOFT", "2:9999/1.1", "");

    RunResult result = node.Toss();
    EXPECT_EQ(result.exitCode, 0);
    // The TIC from our own address is neither shown nor counted.
    EXPECT_EQ(result.out, AllReadOk() + "\n" + Tossing("LATE.ZIP", "SAMPLE.SOFT") +
                              Tossing(".RECV.ZIP", "SAMPLE.SOFT") + Summary(2, 2));
    EXPECT_EQ(node.Files("in"), (Names{".RECV.ZIP", "BM000001.TIC", "BM000002.TIC", "BM000003.TIC", "OWN.ZIP"}));
    EXPECT_EQ(node.Log(), (Names{Text("LOGOPENTICFILE", {{"%f", node / "in/BM000001.TIC"}}),
                                 Text("LOGFROMFECHO", {{"%a", "2:9999/10"}, {"%e", "SAMPLE.SOFT"}}),
                                 Text("LOGTICFILESKIPPED"), Text("LOGOPENTICFILE", {{"%f", node / "in/BM000002.TIC"}}),
                                 Text("LOGFROMFECHO", {{"%a", "2:9999/10"}, {"%e", "SAMPLE.SOFT"}}),
                                 Text("LOGTICFILESKIPPED"), Text("LOGNOMOREFILES")}));
    EXPECT_EQ(node.Files("bad"), Names{});

    // The file arrives: the next run stores it; the others wait on.
    node.Put("LATE.ZIP", "late");
    result = node.Toss();
    EXPECT_TRUE(EndsWith(result.out, Summary(2, 1)));
    EXPECT_EQ(node.Read("files/fido/soft/LATE.ZIP"), "late");
    EXPECT_EQ(node.Files("in"), (Names{".RECV.ZIP", "BM000002.TIC", "BM000003.TIC", "OWN.ZIP"}));

    // Without WAITFILE a TIC without its file goes to the bad directory alone.
    TestNode impatient;
    impatient.Config("WaitFile No");
    impatient.PutTicOnly("BM000001.TIC", "LATE.ZIP", "late", "SAMPLE.SOFT");
    EXPECT_TRUE(EndsWith(impatient.Toss().out, Summary(1, 1)));
    EXPECT_EQ(impatient.Files("bad"), Names{"BM000001.TIC"});
    EXPECT_EQ(impatient.Files("in"), Names{});
    EXPECT_EQ(impatient.Log()[2], Text("LOGNOFILE"));
    EXPECT_EQ(impatient.Log()[3], Text("LOGREMOVETIC", {{"%f", "BM000001.TIC"}}));
}

TEST(Toss, ChecksThatNeedNoSizeOrCrc) {
    // No size line, a size of 0 and no CRC line are not checked.
    TestNode node;
    node.Put("A.ZIP", "aaaa");
    node.Put("BM000001.TIC", "Area SAMPLE.SOFT\r\nFrom 2:9999/10\r\nTo 2:9999/1\r\nFile A.ZIP\r\nPw UPLINKPW\r\n");
    node.PutTic("BM000002.TIC", "B.ZIP", "bbbb", "SAMPLE.SOFT", "2:9999/10", "UPLINKPW", "Size 0\r\n");
    RunResult result = node.Toss();
    EXPECT_TRUE(EndsWith(result.out, Summary(2, 0))) << result.out;
    EXPECT_EQ(node.Files("files/fido/soft"), (Names{"A.ZIP", "B.ZIP", "files.bbs"}));
    // The default description, and the real CRC for the links.
    EXPECT_EQ(Lines(node.Read("files/fido/soft/files.bbs"))[0], "A.ZIP        [00] Description not available");
    bool sawCrc = false;
    for (const std::string& name : node.Files("out/tic")) {
        std::vector<std::string> tic = Lines(node.Read("out/tic/" + name));
        if (Contains(tic, "File A.ZIP")) sawCrc = Contains(tic, "Crc " + Hex8(Crc32("aaaa")));
    }
    EXPECT_TRUE(sawCrc);
}

// ---- Names from the TIC --------------------------------------------------------------------------

TEST(Toss, FileNamesOutsideTheInboundAreRefusedAndNothingOutsideIsTouched) {
    TestNode node;
    WriteFileBytes(node / "victim.txt", "keep me");
    ScratchDir outside;
    WriteFileBytes(outside / "victim.txt", "keep me too");
    node.PutTicOnly("BM000001.TIC", "../victim.txt", "keep me", "SAMPLE.SOFT");
    node.PutTicOnly("BM000002.TIC", outside / "victim.txt", "keep me too", "SAMPLE.SOFT");
    node.PutTicOnly("BM000003.TIC", "..", "", "SAMPLE.SOFT");
    node.PutTic("BM000004.TIC", "GOOD.ZIP", "good", "SAMPLE.SOFT", "2:9999/10", "UPLINKPW",
                "Fullname ../../escaped.zip\r\n");

    RunResult result = node.Toss();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(EndsWith(result.out, Summary(4, 4))) << result.out;
    EXPECT_EQ(node.Read("victim.txt"), "keep me");
    EXPECT_EQ(ReadFileBytes(outside / "victim.txt"), "keep me too");
    EXPECT_FALSE(PathExists(node / "../escaped.zip"));
    EXPECT_FALSE(node.Exists("files/fido/soft/GOOD.ZIP"));
    EXPECT_EQ(node.Files("in"), Names{});
    // The TICs go aside; a good file with a bad Fullname goes with its TIC.
    EXPECT_EQ(node.Files("bad"),
              (Names{"BM000001.TIC", "BM000002.TIC", "BM000003.TIC", "BM000004.TIC", "GOOD.ZIP", "files.bbs"}));
    EXPECT_EQ(node.Read("bad/files.bbs"),
              "GOOD.ZIP     TIC refused: \"../../escaped.zip\" is not a plain file name\r\n");
    std::vector<std::string> log = node.Log();
    EXPECT_TRUE(Contains(log, "TIC refused: \"../victim.txt\" is not a plain file name"));
    EXPECT_TRUE(Contains(log, "TIC refused: \"" + outside / "victim.txt" + "\" is not a plain file name"));
    EXPECT_TRUE(Contains(log, "TIC refused: \"..\" is not a plain file name"));
    EXPECT_EQ(node.Files("out/tic"), Names{});
}

TEST(Toss, ReplacesWithADirectoryPartDeletesNothingOutsideTheArea) {
    TestNode node;  // REPLACES is on in the sample
    WriteFileBytes(node / "files/fido/victim.txt", "keep me");
    WriteFileBytes(node / "files/fido/soft/OLD.ZIP", "old");
    WriteFileBytes(node / "files/fido/soft/KEEP.ZIP", "keep");
    WriteFileBytes(node / "files/fido/soft/files.bbs",
                   "OLD.ZIP      [00] Old one\r\n                 |second line\r\nKEEP.ZIP     [00] Kept\r\n");
    node.PutTic("BM000001.TIC", "NEW.ZIP", "new", "SAMPLE.SOFT", "2:9999/10", "UPLINKPW", "Replaces ../victim.txt\r\n");
    EXPECT_TRUE(EndsWith(node.Toss().out, Summary(1, 0)));
    EXPECT_EQ(node.Read("files/fido/victim.txt"), "keep me");
    EXPECT_EQ(node.Read("files/fido/soft/NEW.ZIP"), "new");
    EXPECT_TRUE(Contains(node.Log(), "Replaces \"../victim.txt\" ignored: not a name in the area directory"));

    // A plain Replaces removes the old file and its description.
    node.PutTic("BM000002.TIC", "NEWER.ZIP", "newer", "SAMPLE.SOFT", "2:9999/10", "UPLINKPW", "Replaces OLD.*\r\n");
    EXPECT_TRUE(EndsWith(node.Toss().out, Summary(1, 0)));
    EXPECT_EQ(node.Files("files/fido/soft"), (Names{"KEEP.ZIP", "NEW.ZIP", "NEWER.ZIP", "files.bbs"}));
    EXPECT_EQ(node.Read("files/fido/soft/files.bbs"),
              "KEEP.ZIP     [00] Kept\r\nNEW.ZIP      [00] Description of NEW.ZIP\r\n"
              "NEWER.ZIP    [00] Description of NEWER.ZIP\r\n");
}

TEST(Toss, AreaTagsThatLeaveTheGroupsPathCreateNoArea) {
    for (const std::string tag : {"../../ESCAPE", "A/B", ".."}) {
        SCOPED_TRACE(tag);
        TestNode node;
        node.Config("LfnChangePoint No");
        const std::string areasBefore = node.Read("areas.ctl");
        node.PutTic("BM000001.TIC", "FILE.ZIP", "x", tag);
        EXPECT_TRUE(EndsWith(node.Toss().out, Summary(1, 1)));
        EXPECT_EQ(node.Read("areas.ctl"), areasBefore);
        EXPECT_FALSE(node.Exists("ESCAPE"));
        EXPECT_FALSE(node.Exists("files/ESCAPE"));
        EXPECT_FALSE(node.Exists("files/fido/A"));
        EXPECT_EQ(node.Files("bad"), (Names{"BM000001.TIC", "FILE.ZIP", "files.bbs"}));
        const std::string text = "Area tag \"" + tag + "\" cannot name a directory, no area created";
        EXPECT_EQ(node.Read("bad/files.bbs"), "FILE.ZIP     " + text + "\r\n");
        EXPECT_TRUE(Contains(node.Log(), text));
        EXPECT_EQ(node.Files("netmail/out"), Names{});
    }
}

// ---- Moving files ------------------------------------------------------------------------------------

TEST(Toss, FileThatCannotBeStoredStaysWithItsTic) {
    TestNode node;
    WriteFileBytes(node / "blocker", "a file, not a directory");
    node.Append("areas.ctl", "Area BLOCKED.ECHO\r\nPath blocker/sub/\r\nGroup A\r\nAKA 2:9999/1\r\nLinks 10 20\r\n");
    node.PutTic("BM000001.TIC", "FILE.ZIP", "precious", "BLOCKED.ECHO");

    RunResult result = node.Toss();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(EndsWith(result.out, Summary(1, 1)));
    EXPECT_EQ(node.Files("in"), (Names{"BM000001.TIC", "FILE.ZIP"}));
    EXPECT_EQ(node.Read("in/FILE.ZIP"), "precious");
    std::vector<std::string> log = node.Log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[2].rfind("Cannot move FILE.ZIP to " + node / "blocker/sub/ (error ", 0), 0u) << log[2];
    EXPECT_TRUE(EndsWith(log[2], "), left in the inbound"));
    EXPECT_FALSE(node.Exists("data/brenmoor.dup"));
    EXPECT_EQ(node.Files("out/tic"), Names{});
    EXPECT_FALSE(node.Exists("flags/BRENMOOR.BSY"));

    // Once the directory can be made, the next run stores the file: it was
    // not recorded as received.
    fs::remove(node / "blocker");
    EXPECT_TRUE(EndsWith(node.Toss().out, Summary(1, 0)));
    EXPECT_EQ(node.Read("blocker/sub/FILE.ZIP"), "precious");
    EXPECT_EQ(node.Files("in"), Names{});

    // A move that fails in an existing directory replaces nothing: the old
    // file and its description stay until the new one is in place.
    TestNode replacing;
    WriteFileBytes(replacing / "files/fido/soft/OLD.ZIP", "old");
    WriteFileBytes(replacing / "files/fido/soft/files.bbs", "OLD.ZIP      [00] Old one\r\n");
    MakeDirs(replacing / "files/fido/soft/NEW.ZIP");  // in the way of the new file
    replacing.PutTic("BM000001.TIC", "NEW.ZIP", "new", "SAMPLE.SOFT", "2:9999/10", "UPLINKPW", "Replaces OLD.ZIP\r\n");
    EXPECT_TRUE(EndsWith(replacing.Toss().out, Summary(1, 1)));
    EXPECT_EQ(replacing.Read("files/fido/soft/OLD.ZIP"), "old");
    EXPECT_EQ(replacing.Read("files/fido/soft/files.bbs"), "OLD.ZIP      [00] Old one\r\n");
    EXPECT_EQ(replacing.Files("in"), (Names{"BM000001.TIC", "NEW.ZIP"}));
}

TEST(Toss, RefusedFileThatCannotBeMovedAsideStaysWithItsTic) {
    TestNode node;
    MakeDirs(node / "bad/FILE.ZIP");  // in the way of the refused file
    node.PutTic("BM000001.TIC", "FILE.ZIP", "x", "SAMPLE.SOFT", "2:9999/10", "WRONG");
    RunResult result = node.Toss();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(EndsWith(result.out, Summary(1, 1)));
    EXPECT_EQ(node.Files("in"), (Names{"BM000001.TIC", "FILE.ZIP"}));
    EXPECT_FALSE(node.Exists("bad/files.bbs"));
    EXPECT_EQ(node.Log()[3].rfind("Cannot move FILE.ZIP to " + node / "bad/", 0), 0u);
}

TEST(Toss, StoresAcrossFileSystems) {
    struct stat tmp {
    }, shm{};
    ScratchDir probe;
    if (stat(probe.path.c_str(), &tmp) != 0 || stat("/dev/shm", &shm) != 0 || tmp.st_dev == shm.st_dev)
        GTEST_SKIP() << "no second file system at /dev/shm";
    char pattern[] = "/dev/shm/brenmoor-area-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string area = std::string(pattern) + "/";
    TestNode node;
    node.Append("areas.ctl", "Area SHM.ECHO\r\nPath " + area + "\r\nGroup A\r\nAKA 2:9999/1\r\nLinks 10 20\r\n");
    node.PutTic("BM000001.TIC", "FILE.ZIP", "across", "SHM.ECHO");
    EXPECT_TRUE(EndsWith(node.Toss().out, Summary(1, 0)));
    EXPECT_EQ(ReadFileBytes(area + "FILE.ZIP"), "across");
    EXPECT_EQ(node.Files("in"), Names{});
    EXPECT_EQ(Lines(node.Read("out/outbound/270f0014.dlo"))[0], area + "FILE.ZIP");
    fs::remove_all(area);
}

TEST(Toss, LongFullNameAndLongDescription) {
    TestNode node;
    const std::string longDesc(100, 'd');
    node.PutTic("BM000001.TIC", "LONGNA~1.ZIP", "long", "SAMPLE.SOFT", "2:9999/10", "UPLINKPW",
                "Fullname Long name archive.zip\r\nDesc " + longDesc + "\r\n");
    EXPECT_TRUE(EndsWith(node.Toss().out, Summary(1, 0)));
    EXPECT_EQ(node.Read("files/fido/soft/Long name archive.zip"), "long");
    // The name is longer than the columns before the description: the
    // description follows it directly.
    EXPECT_EQ(node.Read("files/fido/soft/files.bbs"), "Long name archive.zip[00]" + longDesc.substr(0, 80) + "\r\n");
    std::vector<std::string> tic = OutboundTic(node);
    EXPECT_TRUE(Contains(tic, "File Long name archive.zip"));
    EXPECT_TRUE(Contains(tic, "Fullname Long name archive.zip"));
    EXPECT_TRUE(Contains(tic, "Desc " + longDesc.substr(0, 80)));
}

// ---- Descriptions from archives, busy flag ----------------------------------------------------------

TEST(Toss, ExtractModeTakesFileIdDizFromARealZip) {
    if (!HaveProgram("zip") || !HaveProgram("unzip")) GTEST_SKIP() << "zip and unzip are needed";
    TestNode node;
    node.Config("DescMode Extract");
    ScratchDir work;
    WriteFileBytes(work / "FILE_ID.DIZ", "Zipped tool 2.0\r\nFrom the diz.\r\n");
    WriteFileBytes(work / "TOOL.EXE", "MZ tool");
    ASSERT_EQ(std::system(("cd " + work.path + " && zip -q -X TOOL.ZIP FILE_ID.DIZ TOOL.EXE").c_str()), 0);
    const std::string zip = ReadFileBytes(work / "TOOL.ZIP");
    node.PutTic("BM000001.TIC", "TOOL.ZIP", zip, "SAMPLE.SOFT", "2:9999/10", "UPLINKPW",
                "Ldesc The TIC's own line\r\n");
    EXPECT_TRUE(EndsWith(node.Toss().out, Summary(1, 0)));
    EXPECT_EQ(node.Read("files/fido/soft/files.bbs"),
              "TOOL.ZIP     [00] Zipped tool 2.0\r\n                 |From the diz.\r\n");
    std::vector<std::string> tic = OutboundTic(node);
    EXPECT_TRUE(Contains(tic, "Ldesc Zipped tool 2.0"));
    EXPECT_TRUE(Contains(tic, "Ldesc From the diz."));
    EXPECT_FALSE(Contains(tic, "Ldesc The TIC's own line"));
    EXPECT_EQ(node.Files("tmp"), Names{});  // the extracted diz is gone

    // SMART keeps the TIC's own long description.
    TestNode smart;
    smart.PutTic("BM000001.TIC", "TOOL.ZIP", zip, "SAMPLE.SOFT", "2:9999/10", "UPLINKPW",
                 "Ldesc The TIC's own line\r\n");
    smart.Toss();
    EXPECT_EQ(smart.Read("files/fido/soft/files.bbs"), "TOOL.ZIP     [00] The TIC's own line\r\n");
}

// An archiver that reports, as the file's description, what the flag
// directory holds while the toss runs.
void InstallProbeArchiver(TestNode& node, const std::string& extraCommand = "") {
    const std::string script = node / "probe.sh";
    WriteFileBytes(script, "#!/bin/sh\n{ echo \"Probe\"; ls " + node / "flags" + "; } > \"$2/file_id.diz\"\n" +
                               extraCommand + "\n");
    chmod(script.c_str(), 0755);
    WriteFileBytes(node / "arc.ctl", "Archiver PROBE\nSignature 0,50524F4245\nExtractFile " + script + " %A %T\n");
}

TEST(Toss, BusyFlagExistsWhileTheTossRunsAndIsRemovedAfterwards) {
    TestNode node;
    InstallProbeArchiver(node);
    node.PutTic("BM000001.TIC", "PROBE.BIN", "PROBE data", "SAMPLE.SOFT");
    RunResult result = node.Toss();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(node.Read("files/fido/soft/files.bbs"), "PROBE.BIN    [00] Probe\r\n                 |BRENMOOR.BSY\r\n");
    EXPECT_FALSE(node.Exists("flags/BRENMOOR.BSY"));

    // No TIC at all: the flag comes and goes, and the counts are 0 and 0.
    TestNode empty;
    result = empty.Toss();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, AllReadOk() + "\n" + Summary(0, 0));
    EXPECT_EQ(empty.Log(), Names{Text("LOGNOMOREFILES")});
    EXPECT_TRUE(empty.Exists("flags"));
    EXPECT_FALSE(empty.Exists("flags/BRENMOOR.BSY"));

    // A flag that cannot be created ends the run with the error number.
    TestNode blocked;
    blocked.Config("Semaphores flagfile/");
    WriteFileBytes(blocked / "flagfile", "");
    blocked.PutTic("BM000001.TIC", "FILE.ZIP", "x", "SAMPLE.SOFT");
    result = blocked.Toss();
    EXPECT_NE(result.exitCode, 0);
    EXPECT_EQ(blocked.Files("in"), (Names{"BM000001.TIC", "FILE.ZIP"}));
}

TEST(Toss, CommandWordInAnyLetterCase) {
    for (const std::string command : {"Toss", "tOSS", "TOSSSCAN", "tossscan"}) {
        SCOPED_TRACE(command);
        TestNode node;
        node.PutTic("BM000001.TIC", "FILE.ZIP", "x", "SAMPLE.SOFT");
        RunResult result = node.Toss(command);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out, AllReadOk() + "\n" + Tossing("FILE.ZIP", "SAMPLE.SOFT") + Summary(1, 0));
        EXPECT_EQ(node.Read("files/fido/soft/FILE.ZIP"), "x");
    }
}

// ---- The sample node's inbound --------------------------------------------------------------------

TEST(Toss, SampleInboundTossesAsDocumented) {
    TestNode node;
    for (const std::string& name : ListDir(SourceDir() + "examples/node/sample/inbound"))
        fs::copy_file(SourceDir() + "examples/node/sample/inbound/" + name, node / ("in/" + name));
    MakeDirs(node / "data");
    fs::copy_file(SourceDir() + "examples/node/sample/brenmoor.dup", node / "data/brenmoor.dup");

    RunResult result = node.Toss();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(EndsWith(result.out, Summary(4, 2))) << result.out;
    EXPECT_EQ(node.Files("in"), Names{});
    EXPECT_EQ(node.Files("files/fido/soft"), (Names{"TOOLKIT.ZIP", "files.bbs"}));
    EXPECT_EQ(node.Files("files/fido/SAMPLE_DIFFS"), (Names{"NODEDIFF.A48", "files.bbs"}));
    EXPECT_EQ(node.Files("dupes"), (Names{"LIST0341.TIC", "NODELIST.341", "files.bbs"}));
    EXPECT_EQ(node.Files("bad"), (Names{"NEWS.TXT", "NEWS0001.TIC", "files.bbs"}));
    EXPECT_EQ(node.Read("bad/files.bbs"),
              "NEWS.TXT     " + Text("BADTICPWD", {{"%w", "DOWNPW"}, {"%r", "GUESSED"}}) + "\r\n");
    EXPECT_EQ(node.Files("netmail/out"), Names{"2.msg"});
    EXPECT_EQ(node.Files("out/outbound"), Names{"270f0014.dlo"});

    // The script behind "scripts/run" does the same on a fresh copy, every time.
    ScratchDir scratch;
    const std::string command = "bash " + SourceDir() + "scripts/sample-toss " + BrenmoorBinary() + " " +
                                scratch / "node" + " >" + scratch / "output" + " 2>&1";
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(std::system(command.c_str()), 0) << ReadFileBytes(scratch / "output");
        std::string output = ReadFileBytes(scratch / "output");
        EXPECT_NE(output.find(Text("ALLTIC") + " 4\n"), std::string::npos) << output;
        EXPECT_NE(output.find("NODELIST.341 " + Text("FILESBBSDUPE")), std::string::npos);
        EXPECT_NE(output.find("TOOLKIT.ZIP  [00] "), std::string::npos);
    }
}

// ---- The status screen ---------------------------------------------------------------------------

std::string Tmux(const std::string& socket, const std::string& args) {
    std::string command = "env -u TMUX tmux -L " + socket + " " + args + " 2>/dev/null";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[4096];
    std::size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    pclose(pipe);
    return output;
}

TEST(Toss, StatusScreenOnATerminalAndTheSummaryBelowIt) {
    if (!HaveProgram("tmux")) GTEST_SKIP() << "tmux is needed";
    TestNode node;
    const std::string socket = "brenmoor-toss-" + std::to_string(getpid());
    // The probe archiver photographs the pane while the status screen shows.
    InstallProbeArchiver(node, "env -u TMUX tmux -L " + socket + " capture-pane -p -t toss > " + node / "screen.txt");
    node.PutTic("BM000001.TIC", "PROBE.BIN", "PROBE data", "SAMPLE.SOFT", "2:9999/10", "UPLINKPW",
                "Desc Shown on the status screen\r\n");

    const std::string run = "cd " + node.work.path + " && echo before-the-toss && BRENMOOR_DIR=" + node.Path() +
                            " LANG=C.UTF-8 LC_ALL=C.UTF-8 " + BrenmoorBinary() + " toss; echo $? > " +
                            node / "exit-code" + "; sleep 60";
    Tmux(socket, "new-session -d -s toss -x 80 -y 25 \"" + run + "\"");
    for (int i = 0; i < 600 && !node.Exists("exit-code"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::string finalScreen = Tmux(socket, "capture-pane -p -t toss");
    Tmux(socket, "kill-server");

    ASSERT_TRUE(node.Exists("exit-code"));
    EXPECT_EQ(node.Read("exit-code"), "0\n");
    std::string screen = node.Read("screen.txt");
    for (const std::string& part :
         {std::string(" Brenmoor v.1.29 "), Text("TOSSSCRRECEIVEFILE"), std::string("PROBE.BIN"),
          Text("TOSSSCRFILEECHO"), std::string("SAMPLE.SOFT"), std::string("2:9999/10"),
          std::string("Shown on the status screen"), Text("TOSSSCRALLWORKUPTIC")})
        EXPECT_NE(screen.find(part), std::string::npos) << part << "\n" << screen;
    EXPECT_EQ(screen.find(Tossing("PROBE.BIN", "SAMPLE.SOFT").substr(0, 10)), std::string::npos);

    // Back on the normal screen, the summary follows what was there before.
    std::size_t before = finalScreen.find("before-the-toss");
    std::size_t summary = finalScreen.find(Text("ALLTIC") + " 1");
    ASSERT_NE(before, std::string::npos) << finalScreen;
    ASSERT_NE(summary, std::string::npos) << finalScreen;
    EXPECT_LT(before, summary);
    EXPECT_NE(finalScreen.find(Text("BADTIC") + " 0"), std::string::npos);
    EXPECT_EQ(finalScreen.find(Text("TOSSSCRRECEIVEFILE")), std::string::npos) << finalScreen;
    EXPECT_EQ(node.Read("files/fido/soft/PROBE.BIN"), "PROBE data");
}

}  // namespace
