// What `check` says of BRENMOOR.CTL: each broken line with its line number
// and its value, through the same table the run loads with; and that it
// makes nothing on disk.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/mainconfig.h"
#include "frame/catalogue.h"
#include "frame/platform.h"
#include "testkit.h"

namespace {

std::vector<std::string> Check(const ScratchDir& dir, const std::string& text) {
    LoadCatalogue(SourceDir() + "lang/brenmoor.lng");
    WriteFileBytes(dir / "BRENMOOR.CTL", text);
    MainConfig config;
    std::vector<std::string> found;
    for (const ConfigProblem& problem : CheckMainConfig(dir / "BRENMOOR.CTL", config))
        found.push_back(problem.file + ":" + std::to_string(problem.line) + ": " + problem.text);
    return found;
}

TEST(CheckMainConfig, EachBrokenLineWithItsValue) {
    ScratchDir dir;
    const std::string inbound = "Inbound in/\n";
    const struct {
        std::string lines;  // after a good INBOUND line
        std::vector<std::string> expected;
    } cases[] = {
        {"", {}},
        {"Mode Binkley\n", {"BRENMOOR.CTL:2: MODE: \"Binkley\" is not one of AMA, BINK, FILEBOX, LFILEBOX"}},
        {"mode lfilebox\nMode\n", {}},
        {"DelBadTic maybe\nLfn +\nUseExt -\n", {"BRENMOOR.CTL:2: DELBADTIC: \"maybe\" is not Yes or No"}},
        {"MsgMaxLines many\nMsgMaxLines 70000\nDescPos 300\nBsyWait -1\nBsyStale +30\n",
         {"BRENMOOR.CTL:2: MSGMAXLINES: \"many\" is not a number",
          "BRENMOOR.CTL:3: MSGMAXLINES: \"70000\" is not within 0..65535",
          "BRENMOOR.CTL:4: DESCPOS: \"300\" is not within 0..255",
          "BRENMOOR.CTL:5: BSYWAIT: \"-1\" is not within 0..2147483647"}},
        {"Address 2:5020/bogus\nAddress 2:5020/1.3@fidonet\n",
         {"BRENMOOR.CTL:2: ADDRESS: \"2:5020/bogus\" is not an address"}},
        {"Adress 2:5020/1\nGroup8 zip\n\xEF\xBB\xBFMode AMA\n",
         {"BRENMOOR.CTL:2: ADRESS: unknown keyword", "BRENMOOR.CTL:3: GROUP8: unknown keyword",
          "BRENMOOR.CTL:4: \xEF\xBB\xBFMODE: unknown keyword"}},
        {"Outbound C:\\FIDO\\OUT\\\nNetmailOut d:/fido/mail\n",
         {"BRENMOOR.CTL:2: OUTBOUND: \"C:\\FIDO\\OUT\\\" is a Windows path: write it with / and no drive",
          "BRENMOOR.CTL:3: NETMAILOUT: \"d:/fido/mail\" is a Windows path: write it with / and no drive"}},
        {"Outbound /dev/null/out/\nLogName /dev/null/log/brenmoor.log\nHelpFile tpl/none.txt\n",
         {"BRENMOOR.CTL:2: OUTBOUND: /dev/null/out/ is missing and cannot be created",
          "BRENMOOR.CTL:3: LOGNAME: /dev/null/log/ is missing and cannot be created",
          "BRENMOOR.CTL:4: HELPFILE: " + (dir / "tpl/none.txt") + " does not exist"}},
        // Journals under /tmp are lost to a service's private /tmp; a
        // relative TEMPDIR lives with the node, wherever the node is.
        {"TempDir /var/tmp/brenmoor/\nTempDir tmp/\nStateDir state/\n",
         {"BRENMOOR.CTL:2: TEMPDIR: /var/tmp/brenmoor/ lies under /tmp: a service's private /tmp loses its journals"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Check(dir, inbound + c.lines), c.expected) << c.lines;
    EXPECT_EQ(Check(dir, "\xEF\xBB\xBF" "ADDRESS 2:5020/1\n"),
              std::vector<std::string>{"BRENMOOR.CTL:0: INBOUND is not set: nothing can be tossed"});
}

TEST(CheckMainConfig, MakesNothing) {
    ScratchDir dir;
    Check(dir, "Inbound in/\nOutbound deep/out/\nLogName logs/brenmoor.log\nTempDir tmp/\n");
    for (const char* made : {"in", "deep", "logs", "tmp"}) EXPECT_FALSE(DirectoryExists(dir / made)) << made;
}

}  // namespace
