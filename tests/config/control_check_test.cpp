// check of Groups.ctl, arc.ctl, colors.ctl and bbssoft.ctl: one table of
// broken lines, each reported alone with its file and line (the check
// scenario shows the commonest ones in a whole node).
#include <gtest/gtest.h>

#include <functional>

#include "config/archivers.h"
#include "config/bbssoft.h"
#include "config/colors.h"
#include "config/groups.h"
#include "frame/catalogue.h"
#include "testkit.h"

namespace {

using CheckFunction = std::function<std::vector<ConfigProblem>(const std::string&)>;

struct BrokenLine {
    std::string file;
    std::string content;  // lines end in CR LF
    std::size_t line;     // 0: the file as a whole
    std::string says;     // "KEYWORD: ..." as it begins
};

CheckFunction CheckOf(const std::string& file) {
    if (file == "Groups.ctl") return CheckGroups;
    if (file == "arc.ctl") return CheckArchivers;
    if (file == "colors.ctl") return CheckColorScheme;
    return CheckBbsSoft;
}

std::string Shown(const std::vector<ConfigProblem>& problems) {
    std::string text;
    for (const ConfigProblem& problem : problems)
        text += problem.file + ":" + std::to_string(problem.line) + ": " + problem.text + "\n";
    return text;
}

const std::string GoodGroup = "Group A\r\nPath files/\r\nAKA 2:9999/1\r\n";
const std::string GoodArchiver = "Archiver ZIP\r\nSignature 0,504B0304\r\nExtractFile sh -c %A%T\r\n";

const BrokenLine BrokenLines[] = {
    {"Groups.ctl", GoodGroup + "Coment typo\r\n", 4, "COMENT: unknown keyword"},
    {"Groups.ctl", "; head\r\nPath files/\r\n" + GoodGroup, 2, "PATH: before the first GROUP line"},
    {"Groups.ctl", GoodGroup + "SecurityShow 65536\r\n", 4, "SECURITYSHOW: \"65536\" is not within 0..65535"},
    {"Groups.ctl", GoodGroup + "NAFile lists/none.na\r\n", 4, "NAFILE: "},
    {"Groups.ctl", GoodGroup + "Flag flags\\new.flg\r\n", 4, "FLAG: \"flags\\new.flg\" is a Windows path"},
    {"Groups.ctl", GoodGroup + "Group CD\r\n", 4, "GROUP: \"CD\" is not one letter"},
    {"Groups.ctl", GoodGroup + "Group\r\n", 4, "GROUP: no group letter"},
    {"Groups.ctl", GoodGroup + "\r\nGroup A\r\n", 5, "GROUP: A again (first at line 1)"},
    {"Groups.ctl", "; nothing but comments\r\n", 0, "defines no group"},
    {"arc.ctl", GoodArchiver + "Extract sh %A %T\r\n", 4, "EXTRACT: unknown keyword"},
    {"arc.ctl", "Signature 0,504B0304\r\n" + GoodArchiver, 1, "SIGNATURE: before the first ARCHIVER line"},
    {"arc.ctl", GoodArchiver + "Signature 504B0304\r\n", 4, "SIGNATURE: \"504B0304\" is not offset,bytes"},
    {"arc.ctl", GoodArchiver + "Signature 1G,504B\r\n", 4, "SIGNATURE: \"1G,504B\": the offset"},
    {"arc.ctl", GoodArchiver + "Signature 0,PK\r\n", 4, "SIGNATURE: \"0,PK\": the bytes"},
    {"arc.ctl", GoodArchiver + "ExtractFile sh -c %F\r\n", 4, "EXTRACTFILE: \"sh -c %F\" lacks %A and %T"},
    {"arc.ctl", GoodArchiver + "ExtractFile sh -c %a\r\n", 4, "EXTRACTFILE: \"sh -c %a\" lacks %T"},
    {"arc.ctl", GoodArchiver + "ExtractFile no-such-archiver-program %A %T\r\n", 4,
     "EXTRACTFILE: program no-such-archiver-program is not found"},
    {"arc.ctl", GoodArchiver + "Archiver ARJ\r\nExtractFile sh %A %T\r\n", 4, "ARCHIVER: ARJ has no signature"},
    {"arc.ctl", GoodArchiver + "Archiver ARJ\r\nSignature 0,60EA\r\n", 4, "ARCHIVER: ARJ has no EXTRACTFILE"},
    {"arc.ctl", "; only comments\r\n", 0, "defines no archiver"},
    {"colors.ctl", "FILEPANEL_PANEL $1F\r\nFILEPANEL_PANL 7\r\n", 2, "FILEPANEL_PANL: unknown keyword"},
    {"colors.ctl", "FILEPANEL_PANEL $1F\r\nPANEL_STATUSSTR blue\r\n", 2, "PANEL_STATUSSTR: \"blue\" is not a colour"},
    {"colors.ctl", "FILEPANEL_PANEL $1F\r\nPANEL_STATUSSTR 300\r\n", 2, "PANEL_STATUSSTR: \"300\" is not within 0..255"},
    {"colors.ctl", "FILEPANEL_PANEL $1F\r\nPANEL_STATUSSTR -1\r\n", 2, "PANEL_STATUSSTR: \"-1\" is not a colour"},
    {"colors.ctl", "FILEPANEL_PANEL $1F\r\nPANEL_STATUSSTR $1G\r\n", 2, "PANEL_STATUSSTR: \"$1G\" is not a hexadecimal"},
    {"colors.ctl", "; no colour\r\n", 0, "sets no colour"},
    {"bbssoft.ctl", "TORNADO_SCAN_NEWFILE Yes\r\n", 1, "TORNADO_SCAN_NEWFILE: unknown keyword"},
    {"bbssoft.ctl", "TORNADO_SCAN_NEWFILES Sometimes\r\n", 1, "TORNADO_SCAN_NEWFILES: \"Sometimes\" is not Yes or No"},
    {"bbssoft.ctl", "MAXIMUS_AREA C:\\MAX\\FILEAREA.CTL\r\n", 1, "MAXIMUS_AREA: \"C:\\MAX\\FILEAREA.CTL\" is a Windows"},
    {"bbssoft.ctl", "UPLOAD d:/upload/\r\n", 1, "UPLOAD: \"d:/upload/\" is a Windows path"},
};

TEST(ControlCheck, EveryBrokenLineIsReportedWithItsFileAndLine) {
    LoadCatalogue(SourceDir() + "lang/brenmoor.lng");
    for (const BrokenLine& broken : BrokenLines) {
        ScratchDir dir;
        WriteFileBytes(dir / broken.file, broken.content);
        const std::vector<ConfigProblem> problems = CheckOf(broken.file)(dir / broken.file);
        bool found = false;
        for (const ConfigProblem& problem : problems)
            found = found || (problem.file == broken.file && problem.line == broken.line &&
                              problem.text.starts_with(broken.says));
        EXPECT_TRUE(found) << broken.file << ":" << broken.line << ": " << broken.says << "\nreported:\n"
                           << Shown(problems);
        EXPECT_EQ(problems.size(), 1u) << broken.content << "\nreported:\n" << Shown(problems);
    }
}

TEST(ControlCheck, GoodFilesAndMissingOnes) {
    LoadCatalogue(SourceDir() + "lang/brenmoor.lng");
    ScratchDir dir;
    WriteFileBytes(dir / "Groups.ctl", "\xEF\xBB\xBFGroup A\r\nPath\tfiles/\r\nComment ; none\r\nSecurityRead 10\r\n");
    WriteFileBytes(dir / "arc.ctl", GoodArchiver);
    WriteFileBytes(dir / "colors.ctl", "FILEPANEL_PANEL 27 ; light cyan on blue\r\nPANEL_STATUSSTR $30\r\n");
    WriteFileBytes(dir / "bbssoft.ctl", "TORNADO_AREA bbs/fareas.ctl\r\nTORNADO_SCAN_NEWFILES +\r\n");
    for (const std::string file : {"Groups.ctl", "arc.ctl", "colors.ctl", "bbssoft.ctl"})
        EXPECT_EQ(Shown(CheckOf(file)(dir / file)), "") << file;

    ScratchDir empty;
    EXPECT_EQ(Shown(CheckGroups(empty / "Groups.ctl")), "Groups.ctl:0: is missing: the run ends with 4\n");
    EXPECT_EQ(Shown(CheckArchivers(empty / "arc.ctl")), "arc.ctl:0: is missing: the run ends with 4\n");
    EXPECT_EQ(Shown(CheckColorScheme(empty / "colors.ctl")), "colors.ctl:0: is missing: the run ends with 3\n");
    EXPECT_EQ(Shown(CheckBbsSoft(empty / "bbssoft.ctl")), "bbssoft.ctl:0: is missing: the run ends with 2\n");
}

}  // namespace
