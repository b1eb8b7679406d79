// The toss end to end: "brenmoor toss" run over copies of the sample node,
// checking every file it stores, writes, moves aside or leaves in place.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "testkit.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using Macros = std::vector<std::pair<std::string, std::string>>;

// ---- Texts and bytes -------------------------------------------------------------------

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

// The key's text with the first occurrence of each macro filled in.
std::string Text(const std::string& key, const Macros& macros = {}) {
    std::string text = LanguageText(key);
    for (const auto& [macro, value] : macros) {
        std::size_t at = text.find(macro);
        if (at != std::string::npos) text.replace(at, macro.size(), value);
    }
    return text;
}

// The start-up lines and the toss's blank line before its first TIC.
std::string AllReadOk() { return StartupReadOk() + "\n"; }

// The summary at the end of a toss, with the exit routine's blank line.
std::string Summary(int processed, int bad) {
    return "\n" + Text("ALLTIC") + " " + std::to_string(processed) + "\n" + Text("BADTIC") + " " + std::to_string(bad) +
           "\n\n";
}

std::string Tossing(const std::string& file, const std::string& area) {
    return Text("TOSSCONSOLE", {{"%f", file}, {"%a", area}}) + "\n";
}

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

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
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

    // A TIC for the file with its size and CRC, from the uplink 10 unless
    // said otherwise; the extra lines come last, so that a keyword given
    // there wins. PutTic puts the file into the inbound as well.
    void PutTicOnly(const std::string& ticName, const std::string& file, const std::string& content,
                    const std::string& area, const std::string& extra = "", const std::string& from = "2:9999/10",
                    const std::string& pw = "UPLINKPW") {
        Put(ticName, "Area " + area + "\r\nOrigin " + from + "\r\nFrom " + from + "\r\nTo Sysop 2:9999/1\r\nFile " +
                         file + "\r\nDesc Description of " + file + "\r\nSize " + std::to_string(content.size()) +
                         "\r\nCrc " + Hex8(Crc32(content)) + "\r\nPath " + from +
                         " 1780000000 Sun Jun 28 09:46:40 2026 UTC\r\nSeenby " + from + "\r\nPw " + pw + "\r\n" +
                         extra);
    }
    void PutTic(const std::string& ticName, const std::string& file, const std::string& content,
                const std::string& area, const std::string& extra = "", const std::string& from = "2:9999/10",
                const std::string& pw = "UPLINKPW") {
        Put(file, content);
        PutTicOnly(ticName, file, content, area, extra, from, pw);
    }

    RunResult Toss(const std::string& command = "toss") { return RunBrenmoor(dir.path, {command}, {}, work.path); }

    // A toss that ends normally with these counts; its standard output.
    std::string TossExpecting(int processed, int bad) {
        RunResult result = Toss();
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_TRUE(EndsWith(result.out, Summary(processed, bad))) << result.out;
        EXPECT_FALSE(Exists("flags/BRENMOOR.BSY"));
        return result.out;
    }

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
            if (text.rfind("[i] ", 0) != 0) events.push_back(text);
        }
        return events;
    }

    // The log lines that open a TIC.
    Names Opened(const std::string& tic, const std::string& area, const std::string& from = "2:9999/10") const {
        return {Text("LOGOPENTICFILE", {{"%f", dir / ("in/" + tic)}}),
                Text("LOGFROMFECHO", {{"%a", from}, {"%e", area}})};
    }

    Names Files(const std::string& sub) const { return ListDir(dir / sub); }
    std::string Read(const std::string& name) const { return ReadFileBytes(dir / name); }
    bool Exists(const std::string& name) const { return PathExists(dir / name); }

    ScratchDir dir;
    ScratchDir work;  // the current directory of the runs
};

Names Concat(std::initializer_list<Names> parts) {
    Names all;
    for (const Names& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The lines of the TIC written into the outbound for the file.
std::vector<std::string> OutboundTic(const TestNode& node, const std::string& file) {
    for (const std::string& name : node.Files("out/tic")) {
        EXPECT_TRUE(std::regex_match(name, std::regex("BM[0-9A-Z]{6}\\.TIC"))) << name;
        std::vector<std::string> lines = Lines(node.Read("out/tic/" + name));
        if (Contains(lines, "File " + file)) return lines;
    }
    return {};
}

// A directory's description list: one entry line per file and reason.
std::string BadList(const Macros& entries) {
    std::string list;
    for (const auto& [name, reason] : entries)
        list += Padded(name, std::max<std::size_t>(12, name.size())) + " " + reason + "\r\n";
    return list;
}

class Toss : public ::testing::Test {
protected:
    TestNode node;
};

// ---- Accepted roads ------------------------------------------------------------------------

TEST_F(Toss, StoresTheFileInItsAreaAndSendsItToTheSubscribedLinks) {
    const std::string content = "program bytes";
    // A TIC named in lower case is found as well.
    node.PutTic("bm000001.tic", "SOFT.ZIP", content, "SAMPLE.SOFT",
                "Desc A small program\r\nPath 2:9999/10 1780000000 second line\r\n");

    EXPECT_EQ(node.TossExpecting(1, 0), AllReadOk() + Tossing("SOFT.ZIP", "SAMPLE.SOFT") + Summary(1, 0));
    const std::string area = node / "files/fido/soft/";
    EXPECT_EQ(ReadFileBytes(area + "SOFT.ZIP"), content);
    EXPECT_EQ(node.Files("in"), Names{});
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
    EXPECT_TRUE(std::regex_match(days[0], std::regex("\\d\\d-\\d\\d-\\d\\d\\.ann"))) << days[0];
    const std::string link10 = Le16(2) + Le16(9999) + Le16(10) + Le16(0);
    EXPECT_EQ(node.Read("announce/" + days[0]), Padded("SAMPLE.SOFT", 25) + Padded("Software for the sample net", 70) +
                                                    Padded("SOFT.ZIP", 12) + Padded(area, 250) + "A" + link10 + link10);

    // One TIC for 2:9999/20: the sender 10 and the unknown point .1 get none.
    ASSERT_EQ(node.Files("out/tic").size(), 1u);
    std::vector<std::string> tic = OutboundTic(node, "SOFT.ZIP");
    ASSERT_EQ(tic.size(), 18u);
    EXPECT_TRUE(std::regex_match(tic[0], std::regex("Created \\d\\d \\w{3} \\d\\d  \\d\\d:\\d\\d:\\d\\d by "
                                                    "Brenmoor v\\.1\\.29\\.Linux")))
        << tic[0];
    EXPECT_TRUE(std::regex_match(tic[14], std::regex("Path 2:9999/1 \\d+ \\d\\d \\w{3} \\d\\d  \\d\\d:\\d\\d:\\d\\d "
                                                     "\\[Brenmoor v\\.1\\.29\\.Linux\\]")))
        << tic[14];
    tic[0] = tic[14] = "";
    EXPECT_EQ(tic, (Names{"", "File SOFT.ZIP", "Fullname SOFT.ZIP", "Size 13", "Desc A small program",
                          "Area SAMPLE.SOFT", "Areadesc Software for the sample net", "Origin 2:9999/10",
                          "From 2:9999/1", "To 2:9999/20", "Replaces SOFT.ZIP", "Crc " + Hex8(Crc32(content)),
                          "Path 2:9999/10 1780000000 Sun Jun 28 09:46:40 2026 UTC",
                          "Path 2:9999/10 1780000000 second line", "", "SeenBy 2:9999/10", "SeenBy 2:9999/20",
                          "Pw DOWNPW"}));

    // Flow file of the DIRECT link: the file as it is, the TIC to be killed.
    EXPECT_EQ(node.Files("out/outbound"), Names{"270f0014.dlo"});
    EXPECT_EQ(node.Read("out/outbound/270f0014.dlo"),
              area + "SOFT.ZIP\n^" + node / ("out/tic/" + node.Files("out/tic")[0]) + "\n");

    EXPECT_EQ(node.Log(), Concat({node.Opened("bm000001.tic", "SAMPLE.SOFT"),
                                  {Text("LOGREMOVEFILE", {{"%f", "SOFT.ZIP"}, {"%d", area}}), Text("LOGDESCADDED"),
                                   Text("LOGHATCHSENDTO", {{"%t", "2:9999/20"}}), Text("LOGDELETETICFILE"),
                                   Text("LOGNOMOREFILES")}}));
    // Every TIC starts with its memory line.
    std::vector<std::string> raw = Lines(node.Read("log/brenmoor.log"));
    EXPECT_TRUE(std::regex_match(raw[raw.size() - 8], std::regex("\\d\\d:\\d\\d:\\d\\d \\[i\\] \\d+")));
}

TEST_F(Toss, PassThroughAreaKeepsTheFileInThePassThroughDirectory) {
    node.PutTic("BM000001.TIC", "PASS.ZIP", "pass bytes", "SAMPLE.PASS");
    EXPECT_EQ(node.TossExpecting(1, 0), AllReadOk() + Tossing("PASS.ZIP", "SAMPLE.PASS") + Summary(1, 0));
    EXPECT_EQ(node.Read("pass/PASS.ZIP"), "pass bytes");
    EXPECT_EQ(node.Read("pass/files.bbs"), "PASS.ZIP     [00] Description of PASS.ZIP\r\n");
    // Not announced (ANNOUNCEPASSTROUGH off), but sent on.
    EXPECT_EQ(node.Files("announce"), Names{});
    EXPECT_TRUE(Contains(OutboundTic(node, "PASS.ZIP"), "To 2:9999/20"));
    EXPECT_EQ(Lines(node.Read("out/outbound/270f0014.dlo"))[0], node / "pass/PASS.ZIP");
}

TEST_F(Toss, NewAreaIsCreatedFromTheSendersDefaultGroup) {
    node.Append("bbssoft.ctl", "TORNADO_AREA bbs/fareas.ctl");
    const std::string areasBefore = node.Read("areas.ctl");
    node.PutTic("BM000001.TIC", "NODEDIFF.A48", "diff 48", "SAMPLE.DIFFS");
    node.PutTic("BM000002.TIC", "NODEDIFF.A49", "diff 49", "SAMPLE.DIFFS");
    node.PutTic("BM000003.TIC", "STUFF.ZIP", "stuff", "NEW.STUFF");
    node.TossExpecting(3, 0);

    // Two blocks appended: the description from the group's NA file, or the
    // group's comment (USEGROUPCOMMENT) for a tag the NA file lacks.
    const std::string diffs = node / "files/fido/SAMPLE_DIFFS/";
    const std::string stuff = node / "files/fido/NEW_STUFF/";
    auto block = [](const std::string& tag, const std::string& path, const std::string& desc) {
        return "\r\nArea           " + tag + "\r\nPath           " + path + "\r\nDesc           " + desc +
               "\r\nCreateFlag     flags/newfiles.flg\r\nGroup          A\r\nSecurityWrite  100\r\n"
               "AKA            2:9999/1\r\nLinks          10\r\n";
    };
    EXPECT_EQ(node.Read("areas.ctl"), areasBefore + block("SAMPLE.DIFFS", diffs, "Nodelist differences") +
                                          block("NEW.STUFF", stuff, "FidoNet file echoes"));
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
    auto definition = [](const std::string& tag, const std::string& dir) {
        return "\r\n; Added by Brenmoor\r\n[FileArea]\r\nName          \"" + tag + "\"\r\nDLPath        " + dir +
               "\r\nFileList      " + dir + "files.bbs\r\nULPath        " + dir +
               "\r\nScan_NewFiles Yes\r\nDL_Security   10\r\nUL_Security   10\r\nList_Security 10\r\n"
               "Show_Security 10\r\nGroup         FileEchoes\r\n;\r\n";
    };
    EXPECT_EQ(node.Read("bbs/fareas.ctl"), definition("SAMPLE.DIFFS", diffs) + definition("NEW.STUFF", stuff));

    // The sender is the only link: nothing goes out.
    EXPECT_EQ(node.Files("out/tic"), Names{});
}

TEST_F(Toss, NewAreaDirectoryNamesAndPassThroughGroups) {
    node.Config("Lfn No\nUseExt Yes");
    node.PutTic("BM000001.TIC", "A.ZIP", "a", "AB.CD.EFGH");
    node.PutTic("BM000002.TIC", "B.ZIP", "b", "ABCDEFGHIJK");
    node.TossExpecting(2, 0);
    EXPECT_EQ(node.Read("files/fido/AB_CD_EF.GH/A.ZIP"), "a");
    EXPECT_EQ(node.Read("files/fido/ABCDEFGH.IJK/B.ZIP"), "b");

    // A group without a path makes pass-through areas; with
    // ANNOUNCEPASSTROUGH their files are announced in the pass-through
    // directory.
    TestNode pass;
    pass.Replace("Links.ctl", "DefaultGroup A", "DefaultGroup B");
    pass.Config("AnnouncePassTrough Yes");
    pass.PutTic("BM000001.TIC", "P.ZIP", "p", "NEW.PASS");
    pass.TossExpecting(1, 0);
    EXPECT_EQ(pass.Read("pass/P.ZIP"), "p");
    Names days = pass.Files("announce");
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(pass.Read("announce/" + days[0]).substr(95, 262), Padded("P.ZIP", 12) + Padded(pass / "pass/", 250));
    std::string areas = pass.Read("areas.ctl");
    std::size_t block = areas.find("Area           NEW.PASS\r\n");
    ASSERT_NE(block, std::string::npos);
    EXPECT_EQ(areas.find("Path", block), std::string::npos);
    EXPECT_NE(areas.find("Desc           Pass-through echoes\r\n", block), std::string::npos);
}

TEST_F(Toss, LongFullNameAndLongDescription) {
    const std::string longDesc(100, 'd');
    node.PutTic("BM000001.TIC", "LONGNA~1.ZIP", "long", "SAMPLE.SOFT",
                "Fullname LongNameArchive.zip\r\nDesc " + longDesc + "\r\n");
    // Two short names of one long name: the second replaces the first, and
    // so does its description.
    node.PutTic("BM000002.TIC", "ARCHIV~1.ZIP", "first", "SAMPLE.SOFT", "Fullname Archive.zip\r\n");
    node.PutTic("BM000003.TIC", "ARCHIV~2.ZIP", "second", "SAMPLE.SOFT", "Fullname Archive.zip\r\n");
    node.TossExpecting(3, 0);
    EXPECT_EQ(node.Files("files/fido/soft"), (Names{"Archive.zip", "LongNameArchive.zip", "files.bbs"}));
    EXPECT_EQ(node.Read("files/fido/soft/LongNameArchive.zip"), "long");
    EXPECT_EQ(node.Read("files/fido/soft/Archive.zip"), "second");
    // A name longer than the columns before the description is followed
    // directly by it, cut to 80.
    EXPECT_EQ(node.Read("files/fido/soft/files.bbs"), "LongNameArchive.zip[00]" + longDesc.substr(0, 80) +
                                                          "\r\nArchive.zip  [00] Description of ARCHIV~2.ZIP\r\n");
    // The file goes out under the name it is stored under.
    std::vector<std::string> tic = OutboundTic(node, "LongNameArchive.zip");
    EXPECT_TRUE(Contains(tic, "Fullname LongNameArchive.zip"));
    EXPECT_TRUE(Contains(tic, "Replaces LongNameArchive.zip"));
    EXPECT_TRUE(Contains(tic, "Desc " + longDesc.substr(0, 80)));
}

// ---- Descriptions from archives ----------------------------------------------------------------

// An archiver for files that begin with "PROBE": its file_id.diz holds the
// lines the script prints.
void InstallProbeArchiver(TestNode& node, const std::string& script) {
    const std::string path = node / "probe.sh";
    WriteFileBytes(path, "#!/bin/sh\n{ " + script + "; } > \"$2/file_id.diz\"\n");
    chmod(path.c_str(), 0755);
    WriteFileBytes(node / "arc.ctl", "Archiver PROBE\nSignature 0,50524F4245\nExtractFile " + path + " %A %T\n");
}

TEST(TossDescriptions, DescModeDescLdescExtractAndSmart) {
    struct Row {
        std::string mode;
        std::string withLdesc;     // entry of PROBE.A, whose TIC has two Ldesc lines
        std::string withoutLdesc;  // entry of PROBE.B, whose TIC has none
        std::string extracted;     // the files whose TICs carry the archive's lines
    };
    const std::string tic = "PROBE.A      [00] TIC line 1\r\n                 |TIC line 2\r\n";
    const std::string diz = "[00] From the archive\r\n                 |second\r\n";
    const std::vector<Row> rows = {
        {"DESC", "PROBE.A      [00] Description of PROBE.A\r\n", "PROBE.B      [00] Description of PROBE.B\r\n", ""},
        {"LDESC", tic, "PROBE.B      [00] Description of PROBE.B\r\n", ""},
        {"EXTRACT", "PROBE.A      " + diz, "PROBE.B      " + diz, "AB"},
        {"SMART", tic, "PROBE.B      " + diz, "B"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        TestNode modes;
        modes.Config("DescMode " + row.mode);
        InstallProbeArchiver(modes, "echo 'From the archive'; echo second");
        modes.PutTic("BM000001.TIC", "PROBE.A", "PROBE a", "SAMPLE.SOFT", "Ldesc TIC line 1\r\nLdesc TIC line 2\r\n");
        modes.PutTic("BM000002.TIC", "PROBE.B", "PROBE b", "SAMPLE.SOFT");
        modes.TossExpecting(2, 0);
        EXPECT_EQ(modes.Read("files/fido/soft/files.bbs"), row.withLdesc + row.withoutLdesc);
        // Extracted lines travel with the file; the diz is gone.
        Names tics = modes.Files("out/tic");
        ASSERT_EQ(tics.size(), 2u);
        for (const std::string& name : tics) {
            std::vector<std::string> lines = Lines(modes.Read("out/tic/" + name));
            const char file = Contains(lines, "File PROBE.A") ? 'A' : 'B';
            EXPECT_EQ(Contains(lines, "Ldesc From the archive"), row.extracted.find(file) != std::string::npos)
                << file;
            EXPECT_EQ(Contains(lines, "Ldesc TIC line 1"), file == 'A' && row.extracted.find('A') == std::string::npos)
                << file;
        }
        EXPECT_EQ(modes.Files("tmp"), Names{});
    }
}

TEST_F(Toss, ExtractModeTakesFileIdDizFromARealZip) {
    if (!HaveProgram("zip") || !HaveProgram("unzip")) GTEST_SKIP() << "zip and unzip are needed";
    node.Config("DescMode Extract");
    ScratchDir work;
    WriteFileBytes(work / "FILE_ID.DIZ", "Zipped tool 2.0\r\nFrom the diz.\r\n");
    WriteFileBytes(work / "TOOL.EXE", "MZ tool");
    ASSERT_EQ(std::system(("cd " + work.path + " && zip -q -X TOOL.ZIP FILE_ID.DIZ TOOL.EXE").c_str()), 0);
    // A name the shell would take apart reaches the archiver whole.
    node.PutTic("BM000001.TIC", "TOOL.ZIP", ReadFileBytes(work / "TOOL.ZIP"), "SAMPLE.SOFT",
                "Fullname Tool 2.0 (final).zip\r\n");
    node.TossExpecting(1, 0);
    EXPECT_EQ(node.Read("files/fido/soft/files.bbs"),
              "Tool 2.0 (final).zip[00]Zipped tool 2.0\r\n                 |From the diz.\r\n");
}

// ---- Duplicates and the failure table --------------------------------------------------------------

TEST_F(Toss, DuplicatesGoToTheDupeDirectoryAndNoneOverwritesAnother) {
    node.PutTic("BM000001.TIC", "DUP.ZIP", "same bytes", "SAMPLE.NODELIST");
    node.TossExpecting(1, 0);
    ASSERT_EQ(node.Files("out/tic").size(), 1u);

    node.PutTic("BM000002.TIC", "DUP.ZIP", "same bytes", "SAMPLE.NODELIST");
    node.TossExpecting(1, 1);
    EXPECT_EQ(node.Files("dupes"), (Names{"BM000002.TIC", "DUP.ZIP", "files.bbs"}));
    EXPECT_EQ(node.Files("in"), Names{});
    EXPECT_EQ(node.Files("out/tic").size(), 1u);  // nothing more sent
    EXPECT_EQ(node.Log(), Concat({node.Opened("BM000002.TIC", "SAMPLE.NODELIST"),
                                  {Text("LOGDUPE"), Text("LOGREMOVEBADFILE", {{"%f", "DUP.ZIP"}}),
                                   Text("LOGREMOVETIC", {{"%f", "BM000002.TIC"}}), Text("LOGNOMOREFILES")}}));

    // The same duplicate under the same TIC name again: the earlier ones
    // stay, the new ones take free names.
    node.PutTic("BM000002.TIC", "DUP.ZIP", "same bytes", "SAMPLE.NODELIST");
    node.TossExpecting(1, 1);
    EXPECT_EQ(node.Files("dupes"), (Names{"BM000002.1.TIC", "BM000002.TIC", "DUP.1.ZIP", "DUP.ZIP", "files.bbs"}));
    EXPECT_EQ(node.Read("dupes/DUP.ZIP"), "same bytes");
    EXPECT_EQ(node.Read("dupes/DUP.1.ZIP"), "same bytes");
    EXPECT_EQ(node.Read("dupes/files.bbs"),
              BadList({{"DUP.ZIP", Text("FILESBBSDUPE")}, {"DUP.1.ZIP", Text("FILESBBSDUPE")}}));
    EXPECT_TRUE(Contains(node.Log(), Text("LOGREMOVETIC", {{"%f", "BM000002.1.TIC"}})));

    // The same name with other contents is a new file.
    node.PutTic("BM000003.TIC", "DUP.ZIP", "new bytes", "SAMPLE.NODELIST");
    node.TossExpecting(1, 0);
    EXPECT_EQ(node.Read("files/fido/nodelist/DUP.ZIP"), "new bytes");
}

struct FailureRow {
    std::string name;
    std::string area, extra, from, pw;
    void (*prepare)(TestNode&);
    std::string logKey, reasonKey;
    Macros macros;
};

TEST(TossFailures, EveryRowOfTheFailureTableMovesFileAndTicAside) {
    const std::string content = "refused!";  // 8 bytes
    const std::string crc = Hex8(Crc32(content));
    const std::string soft = "SAMPLE.SOFT", uplink = "2:9999/10", uplinkPw = "UPLINKPW";
    const std::vector<FailureRow> rows = {
        {"sender not in links", soft, "", "2:9999/99", "X", nullptr, "LOGLINKNDEF", "LINKNDEF", {{"%a", "2:9999/99"}}},
        {"destination not ours", soft, "To 2:9999/5\r\n", uplink, uplinkPw, nullptr, "LOGADDRNDEF", "ADDRNDEF",
         {{"%a", "2:9999/5"}}},
        {"wrong password", soft, "", uplink, "WRONG", nullptr, "LOGBADTICPWD", "BADTICPWD",
         {{"%w", "UPLINKPW"}, {"%r", "WRONG"}}},
        {"wrong size", soft, "Size 1234567\r\n", uplink, uplinkPw, nullptr, "LOGBADSIZE", "BADSIZE",
         {{"%m", "1,234,567"}, {"%c", "8"}}},
        {"wrong CRC", soft, "Crc 1a2b3c4d\r\n", uplink, uplinkPw, nullptr, "LOGBADCRC", "BADCRC",
         {{"%m", "1A2B3C4D"}, {"%c", crc}}},
        {"unknown area, link may not create", "NEW.ECHO", "", "2:9999/20", "DOWNPW", nullptr, "LOGLINKCANTCRAR",
         "LINKCANTCRAR", {{"%l", "2:9999/20"}}},
        {"unknown group for a new area", "NEW.ECHO", "", uplink, uplinkPw,
         [](TestNode& n) { n.Replace("Links.ctl", "DefaultGroup A", "DefaultGroup Z"); }, "LOGGROUPNDEF",
         "GROUPNDEF", {{"%g", "Z"}}},
        {"sender not subscribed", "OTHER.ECHO", "", uplink, uplinkPw,
         [](TestNode& n) {
             n.Append("areas.ctl", "Area OTHER.ECHO\r\nPath files/other/\r\nGroup A\r\nAKA 2:9999/1\r\nLinks 20\r\n");
         },
         "LOGLINKNSIGNED", "LINKNSIGNED", {{"%l", "2:9999/10"}, {"%a", "OTHER_ECHO"}}},
        {"security too low", soft, "", "2:9999/20", "DOWNPW", nullptr, "LOGLINKCANTWRITE", "LINKCANTWRITE",
         {{"%a", "2:9999/20"}, {"%f", "SAMPLE.SOFT"}}},
    };
    for (const FailureRow& row : rows) {
        SCOPED_TRACE(row.name);
        TestNode node;
        if (row.prepare) row.prepare(node);
        node.PutTic("BM000001.TIC", "FILE.ZIP", content, row.area, row.extra, row.from, row.pw);
        const std::string areasBefore = node.Read("areas.ctl");

        EXPECT_EQ(node.TossExpecting(1, 1), AllReadOk() + Tossing("FILE.ZIP", row.area) + Summary(1, 1));
        EXPECT_EQ(node.Files("in"), Names{});
        EXPECT_EQ(node.Files("bad"), (Names{"BM000001.TIC", "FILE.ZIP", "files.bbs"}));
        EXPECT_EQ(node.Read("bad/FILE.ZIP"), content);
        EXPECT_EQ(node.Read("bad/files.bbs"), BadList({{"FILE.ZIP", Text(row.reasonKey, row.macros)}}));
        EXPECT_EQ(node.Log(), Concat({node.Opened("BM000001.TIC", row.area, row.from),
                                      {Text(row.logKey, row.macros), Text("LOGREMOVEBADFILE", {{"%f", "FILE.ZIP"}}),
                                       Text("LOGREMOVETIC", {{"%f", "BM000001.TIC"}}), Text("LOGNOMOREFILES")}}));
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

TEST_F(Toss, DeletedBadTicsNoDescriptionListAndTicsWithoutSizeOrCrc) {
    node.Config("DelBadTic Yes");
    node.PutTic("BM000001.TIC", "FILE.ZIP", "x", "SAMPLE.SOFT", "", "2:9999/10", "WRONG");
    node.TossExpecting(1, 1);
    EXPECT_EQ(node.Files("bad"), (Names{"FILE.ZIP", "files.bbs"}));
    EXPECT_EQ(node.Files("in"), Names{});
    EXPECT_EQ(node.Log()[4], Text("LOGDELETETICFILE"));

    // Without DESCFILE a refused file is still moved, with no reason line,
    // and a stored file gets no description. No size line, a size of 0 and
    // no CRC line are not checked; without a To line the TIC is for the
    // sender's AKA.
    TestNode plain;
    plain.Config("DescFile");
    plain.PutTic("BM000001.TIC", "FILE.ZIP", "x", "SAMPLE.SOFT", "", "2:9999/10", "WRONG");
    plain.Put("A.ZIP", "aaaa");
    plain.Put("BM000002.TIC", "Area SAMPLE.SOFT\r\nFrom 2:9999/10\r\nFile A.ZIP\r\nPw UPLINKPW\r\n");
    plain.PutTic("BM000003.TIC", "B.ZIP", "bbbb", "SAMPLE.SOFT", "Size 0\r\n");
    plain.TossExpecting(3, 1);
    EXPECT_EQ(plain.Files("bad"), (Names{"BM000001.TIC", "FILE.ZIP"}));
    EXPECT_EQ(plain.Read("bad/FILE.ZIP"), "x");
    EXPECT_EQ(plain.Files("files/fido/soft"), (Names{"A.ZIP", "B.ZIP"}));
    EXPECT_FALSE(Contains(plain.Log(), Text("LOGDESCADDED")));
    // The links get the default description, the real size and the real CRC.
    std::vector<std::string> tic = OutboundTic(plain, "A.ZIP");
    for (const std::string& line : Names{"Desc Description not available", "Size 4", "Crc " + Hex8(Crc32("aaaa"))})
        EXPECT_TRUE(Contains(tic, line)) << line;
}

// ---- TICs left in place ----------------------------------------------------------------------------

TEST_F(Toss, TicsWaitingForTheirFilesStayInPlace) {
    // WAITFILE is on in the sample.
    node.PutTicOnly("BM000001.TIC", "LATE.ZIP", "late", "SAMPLE.SOFT");
    node.PutTic("BM000002.TIC", ".RECV.ZIP", "partial", "SAMPLE.SOFT");
    node.PutTic("BM000003.TIC", "OWN.ZIP", "own", "SAMPLE.SOFT", "", "2:9999/1.1", "");
    // A TIC the mailer is still writing.
    node.PutTic(".BM000004.TIC", "HALF.ZIP", "half", "SAMPLE.SOFT");

    // The TIC from our own address is neither shown nor counted.
    EXPECT_EQ(node.TossExpecting(2, 2),
              AllReadOk() + Tossing("LATE.ZIP", "SAMPLE.SOFT") + Tossing(".RECV.ZIP", "SAMPLE.SOFT") + Summary(2, 2));
    EXPECT_EQ(node.Files("in"), (Names{".BM000004.TIC", ".RECV.ZIP", "BM000001.TIC", "BM000002.TIC", "BM000003.TIC",
                                       "HALF.ZIP", "OWN.ZIP"}));
    EXPECT_EQ(node.Log(), Concat({node.Opened("BM000001.TIC", "SAMPLE.SOFT"), {Text("LOGTICFILESKIPPED")},
                                  node.Opened("BM000002.TIC", "SAMPLE.SOFT"),
                                  {Text("LOGTICFILESKIPPED"), Text("LOGNOMOREFILES")}}));
    EXPECT_EQ(node.Files("bad"), Names{});

    // The file arrives: the next run stores it; the others wait on.
    node.Put("LATE.ZIP", "late");
    node.TossExpecting(2, 1);
    EXPECT_EQ(node.Read("files/fido/soft/LATE.ZIP"), "late");
    EXPECT_EQ(node.Files("in"),
              (Names{".BM000004.TIC", ".RECV.ZIP", "BM000002.TIC", "BM000003.TIC", "HALF.ZIP", "OWN.ZIP"}));

    // Without WAITFILE a TIC without its file goes to the bad directory alone.
    TestNode impatient;
    impatient.Config("WaitFile No");
    impatient.PutTicOnly("BM000001.TIC", "LATE.ZIP", "late", "SAMPLE.SOFT");
    impatient.TossExpecting(1, 1);
    EXPECT_EQ(impatient.Files("bad"), Names{"BM000001.TIC"});
    EXPECT_EQ(impatient.Files("in"), Names{});
    EXPECT_EQ(impatient.Log(), Concat({impatient.Opened("BM000001.TIC", "SAMPLE.SOFT"),
                                       {Text("LOGNOFILE"), Text("LOGREMOVETIC", {{"%f", "BM000001.TIC"}}),
                                        Text("LOGNOMOREFILES")}}));
}

// ---- Names from the TIC --------------------------------------------------------------------------

TEST_F(Toss, NamesFromTheTicNeverReachOutsideTheInboundOrTheArea) {
    node.Config("LfnChangePoint No");
    const std::string areasBefore = node.Read("areas.ctl");
    WriteFileBytes(node / "victim.txt", "keep me");
    WriteFileBytes(node / "files/fido/victim.txt", "keep me");
    ScratchDir outside;
    WriteFileBytes(outside / "victim.txt", "keep me too");
    const std::string area = node / "files/fido/soft/";
    WriteFileBytes(area + "OLD.ZIP", "old");
    WriteFileBytes(area + "KEEP.ZIP", "keep");
    WriteFileBytes(area + "files.bbs", "OLD.ZIP      [00] Old one\r\n                 |second line\r\n"
                                       "KEEP.ZIP     [00] Kept\r\n");

    // File names with a path: only the TIC goes aside.
    node.PutTicOnly("BM000001.TIC", "../victim.txt", "keep me", "SAMPLE.SOFT");
    node.PutTicOnly("BM000002.TIC", outside / "victim.txt", "keep me too", "SAMPLE.SOFT");
    node.PutTicOnly("BM000003.TIC", "..", "", "SAMPLE.SOFT");
    // A bad Fullname or a wildcard name: the file goes with its TIC.
    node.PutTic("BM000004.TIC", "GOOD.ZIP", "good", "SAMPLE.SOFT", "Fullname ../../escaped.zip\r\n");
    node.PutTic("BM000005.TIC", "ALL*.ZIP", "wild", "SAMPLE.SOFT");
    // Area tags that would leave the group's path create no area.
    node.PutTic("BM000006.TIC", "T6.ZIP", "6", "../../ESCAPE");
    node.PutTic("BM000007.TIC", "T7.ZIP", "7", "A/B");
    node.PutTic("BM000008.TIC", "T8.ZIP", "8", "..");
    // Replaces with a directory part is ignored; the file is stored.
    node.PutTic("BM000009.TIC", "NEW.ZIP", "new", "SAMPLE.SOFT", "Replaces ../victim.txt\r\n");
    // A file that would take the place of the description list.
    node.PutTic("BM000010.TIC", "FILES.BBS", "not a list", "SAMPLE.SOFT");
    node.TossExpecting(10, 9);

    EXPECT_EQ(node.Read("victim.txt"), "keep me");
    EXPECT_EQ(node.Read("files/fido/victim.txt"), "keep me");
    EXPECT_EQ(ReadFileBytes(outside / "victim.txt"), "keep me too");
    EXPECT_FALSE(PathExists(node / "../escaped.zip"));
    EXPECT_FALSE(node.Exists("ESCAPE"));
    EXPECT_FALSE(node.Exists("files/ESCAPE"));
    EXPECT_FALSE(node.Exists("files/fido/A"));
    EXPECT_EQ(node.Read("areas.ctl"), areasBefore);
    EXPECT_EQ(node.Files("in"), Names{});
    EXPECT_EQ(node.Files("bad"), (Names{"ALL*.ZIP", "BM000001.TIC", "BM000002.TIC", "BM000003.TIC", "BM000004.TIC",
                                        "BM000005.TIC", "BM000006.TIC", "BM000007.TIC", "BM000008.TIC", "BM000010.TIC",
                                        "FILES.1.BBS", "GOOD.ZIP", "T6.ZIP", "T7.ZIP", "T8.ZIP", "files.bbs"}));
    auto refused = [](const std::string& name) { return "TIC refused: \"" + name + "\" is not a plain file name"; };
    auto noArea = [](const std::string& tag) { return "Area tag \"" + tag + "\" cannot name a directory, no area created"; };
    EXPECT_EQ(node.Read("bad/files.bbs"),
              BadList({{"GOOD.ZIP", refused("../../escaped.zip")}, {"ALL*.ZIP", refused("ALL*.ZIP")},
                       {"T6.ZIP", noArea("../../ESCAPE")}, {"T7.ZIP", noArea("A/B")}, {"T8.ZIP", noArea("..")},
                       {"FILES.1.BBS", "TIC refused: \"FILES.BBS\" would replace the description list"}}));
    std::vector<std::string> log = node.Log();
    for (const std::string& name : {std::string("../victim.txt"), outside / "victim.txt", std::string("..")})
        EXPECT_TRUE(Contains(log, refused(name))) << name;
    EXPECT_TRUE(Contains(log, "Replaces \"../victim.txt\" ignored: not a name in the area directory"));
    EXPECT_EQ(ReadFileBytes(area + "NEW.ZIP"), "new");
    EXPECT_EQ(node.Files("out/tic").size(), 1u);
    EXPECT_EQ(node.Files("netmail/out"), Names{});

    // A plain Replaces removes the old files and their descriptions, but
    // never the description list.
    node.PutTic("BM000020.TIC", "NEWER.ZIP", "newer", "SAMPLE.SOFT", "Replaces OLD.*\r\n");
    node.PutTic("BM000021.TIC", "LAST.ZIP", "last", "SAMPLE.SOFT", "Replaces FILES.*\r\n");
    node.TossExpecting(2, 0);
    EXPECT_EQ(node.Files("files/fido/soft"), (Names{"KEEP.ZIP", "LAST.ZIP", "NEW.ZIP", "NEWER.ZIP", "files.bbs"}));
    EXPECT_EQ(ReadFileBytes(area + "files.bbs"),
              "KEEP.ZIP     [00] Kept\r\nNEW.ZIP      [00] Description of NEW.ZIP\r\n"
              "NEWER.ZIP    [00] Description of NEWER.ZIP\r\nLAST.ZIP     [00] Description of LAST.ZIP\r\n");
}

// ---- Moves that fail ------------------------------------------------------------------------------

TEST_F(Toss, FilesThatCannotBeMovedStayWithTheirTics) {
    WriteFileBytes(node / "blocker", "a file, not a directory");
    node.Append("areas.ctl", "Area BLOCKED.ECHO\r\nPath blocker/sub/\r\nGroup A\r\nAKA 2:9999/1\r\nLinks 10 20\r\n");
    node.PutTic("BM000001.TIC", "FILE.ZIP", "precious", "BLOCKED.ECHO");
    node.TossExpecting(1, 1);
    EXPECT_EQ(node.Files("in"), (Names{"BM000001.TIC", "FILE.ZIP"}));
    EXPECT_EQ(node.Read("in/FILE.ZIP"), "precious");
    std::vector<std::string> log = node.Log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[2].rfind("Cannot move FILE.ZIP to " + node / "blocker/sub/ (error ", 0), 0u) << log[2];
    EXPECT_TRUE(EndsWith(log[2], "), left in the inbound")) << log[2];
    EXPECT_FALSE(node.Exists("data/brenmoor.dup"));
    EXPECT_EQ(node.Files("out/tic"), Names{});

    // Once the directory can be made, the next run stores the file: it was
    // not recorded as received.
    fs::remove(node / "blocker");
    node.TossExpecting(1, 0);
    EXPECT_EQ(node.Read("blocker/sub/FILE.ZIP"), "precious");
    EXPECT_EQ(node.Files("in"), Names{});

    // A move that fails in an existing directory replaces nothing: the old
    // file and its description stay until the new one is in place.
    TestNode replacing;
    WriteFileBytes(replacing / "files/fido/soft/OLD.ZIP", "old");
    WriteFileBytes(replacing / "files/fido/soft/files.bbs", "OLD.ZIP      [00] Old one\r\n");
    MakeDirs(replacing / "files/fido/soft/NEW.ZIP");  // in the way of the new file
    replacing.PutTic("BM000001.TIC", "NEW.ZIP", "new", "SAMPLE.SOFT", "Replaces OLD.ZIP\r\n");
    replacing.TossExpecting(1, 1);
    EXPECT_EQ(replacing.Read("files/fido/soft/OLD.ZIP"), "old");
    EXPECT_EQ(replacing.Read("files/fido/soft/files.bbs"), "OLD.ZIP      [00] Old one\r\n");
    EXPECT_EQ(replacing.Files("in"), (Names{"BM000001.TIC", "NEW.ZIP"}));

    // A refused file that cannot be moved aside stays with its TIC.
    TestNode refused;
    MakeDirs(refused / "bad/FILE.ZIP");  // in the way of the refused file
    refused.PutTic("BM000001.TIC", "FILE.ZIP", "x", "SAMPLE.SOFT", "", "2:9999/10", "WRONG");
    refused.TossExpecting(1, 1);
    EXPECT_EQ(refused.Files("in"), (Names{"BM000001.TIC", "FILE.ZIP"}));
    EXPECT_FALSE(refused.Exists("bad/files.bbs"));
    EXPECT_EQ(refused.Log()[3].rfind("Cannot move FILE.ZIP to " + refused / "bad/", 0), 0u);
}

// ---- Busy flag and the sample ------------------------------------------------------------

TEST_F(Toss, BusyFlagExistsWhileTheTossRunsAndIsRemovedAfterwards) {
    // The archiver reports what the flag directory holds during the toss.
    InstallProbeArchiver(node, "echo Probe; ls " + node / "flags");
    node.PutTic("BM000001.TIC", "PROBE.BIN", "PROBE data", "SAMPLE.SOFT");
    node.TossExpecting(1, 0);
    EXPECT_EQ(node.Read("files/fido/soft/files.bbs"), "PROBE.BIN    [00] Probe\r\n                 |BRENMOOR.BSY\r\n");

    // No TIC at all: the flag comes and goes, and the counts are 0 and 0.
    TestNode empty;
    EXPECT_EQ(empty.TossExpecting(0, 0), AllReadOk() + Summary(0, 0));
    EXPECT_EQ(empty.Log(), Names{Text("LOGNOMOREFILES")});
    EXPECT_TRUE(empty.Exists("flags"));

    // A flag that cannot be created (it would lie in a missing directory)
    // ends the run with the error number, before any TIC is touched.
    TestNode blocked;
    MakeDirs(blocked / "flags");
    fs::create_symlink(blocked / "missing/BRENMOOR.BSY", blocked / "flags/BRENMOOR.BSY");
    blocked.PutTic("BM000001.TIC", "FILE.ZIP", "x", "SAMPLE.SOFT");
    RunResult result = blocked.Toss();
    EXPECT_EQ(result.exitCode, 2);  // ENOENT
    EXPECT_EQ(result.out, AllReadOk().substr(0, AllReadOk().size() - 1) + "Runtime error 2\n");
    EXPECT_EQ(blocked.Files("in"), (Names{"BM000001.TIC", "FILE.ZIP"}));
}

TEST(TossSample, SampleInboundTossesAsDocumentedEveryTime) {
    // scripts/sample-toss, behind scripts/run, tosses the sample inbound on a
    // fresh copy of the sample node.
    ScratchDir scratch;
    const std::string node = scratch / "node/";
    const std::string command = "bash " + SourceDir() + "scripts/sample-toss " + BrenmoorBinary() + " " + node +
                                " >" + scratch / "output" + " 2>&1";
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(std::system(command.c_str()), 0) << ReadFileBytes(scratch / "output");
        std::string output = ReadFileBytes(scratch / "output");
        EXPECT_NE(output.find(Summary(4, 2) + "exit code 0\n"), std::string::npos) << output;
        EXPECT_EQ(ListDir(node + "in"), Names{});
        EXPECT_EQ(ListDir(node + "files/fido/soft"), (Names{"TOOLKIT.ZIP", "files.bbs"}));
        EXPECT_EQ(ListDir(node + "files/fido/SAMPLE_DIFFS"), (Names{"NODEDIFF.A48", "files.bbs"}));
        EXPECT_EQ(ListDir(node + "dupes"), (Names{"LIST0341.TIC", "NODELIST.341", "files.bbs"}));
        EXPECT_EQ(ListDir(node + "bad"), (Names{"NEWS.TXT", "NEWS0001.TIC", "files.bbs"}));
        EXPECT_EQ(ReadFileBytes(node + "bad/files.bbs"),
                  BadList({{"NEWS.TXT", Text("BADTICPWD", {{"%w", "DOWNPW"}, {"%r", "GUESSED"}})}}));
        EXPECT_EQ(ListDir(node + "netmail/out"), Names{"2.msg"});
        EXPECT_EQ(ListDir(node + "out/outbound"), Names{"270f0014.dlo"});
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

TEST_F(Toss, StatusScreenOnATerminalAndTheSummaryBelowIt) {
    if (!HaveProgram("tmux")) GTEST_SKIP() << "tmux is needed";
    const std::string socket = "brenmoor-toss-" + std::to_string(getpid());
    // The probe archiver photographs the pane while the status screen shows.
    InstallProbeArchiver(node, "env -u TMUX tmux -L " + socket + " capture-pane -p -t toss > " + node / "screen.txt");
    node.PutTic("BM000001.TIC", "PROBE.BIN", "PROBE data", "SAMPLE.SOFT",
                "Desc Shown on the status screen, 40 long: cut\r\n");

    const std::string run = "cd " + node.work.path + " && echo before-the-toss && BRENMOOR_DIR=" + node.dir.path +
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
    // A description of 40 characters shows its first 39 and "...".
    for (const std::string& part :
         {std::string(" Brenmoor v.1.29 "), Text("TOSSSCRRECEIVEFILE"), std::string("PROBE.BIN"),
          Text("TOSSSCRFILEECHO"), std::string("SAMPLE.SOFT"), std::string("2:9999/10"),
          std::string("Shown on the status screen, 40 long: cu...\u2502"), Text("TOSSSCRALLWORKUPTIC")})
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
