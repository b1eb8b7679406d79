// Two commands in one process: each run starts with what it finds on disk,
// not with what the run before it learnt.
#include "driver/driver.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testkit.h"

namespace {

namespace fs = std::filesystem;

// The sample node with the TICs of the busy-link scenario in its inbound:
// one of them opens a new echo, which sends the sysop a notice.
std::string MakeNode(const ScratchDir& scratch, const std::string& name) {
    const std::string node = scratch / (name + "/");
    const std::string scenarios = SourceDir() + "tests/scenarios/";
    fs::copy(scenarios + "base", node, fs::copy_options::recursive);
    fs::copy(scenarios + "toss/busy-link-gets-its-flow-lines-from-the-retry-list/given", node,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    WriteFileBytes(node + "BRENMOOR.CTL", ReadFileBytes(node + "BRENMOOR.CTL") + "BsyWait 0\r\n");
    return node;
}

int RunIn(const std::string& node, const std::string& command) {
    setenv("BRENMOOR_DIR", node.c_str(), 1);
    std::vector<std::string> words = {"brenmoor", command};
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    return RunBrenmoor(static_cast<int>(words.size()), argv.data());
}

// The MSGID serial of a message file, as written.
std::string MsgIdSerial(const std::string& message) {
    const std::string bytes = ReadFileBytes(message);
    const std::size_t at = bytes.find("\x01MSGID: ");
    if (at == std::string::npos) return {};
    const std::size_t blank = bytes.find(' ', at + 8);
    return bytes.substr(blank + 1, bytes.find('\r', blank) - blank - 1);
}

// A link busy through the first toss gets its lines in the retry list; the
// second run, once the link is free, must hand them over, as a new process
// would. A run that took the first run's knowledge for its own would find
// the list flushed already and the link given up.
TEST(RunContext, SecondRunFlushesTheRetryListTheFirstFilled) {
    ScratchDir scratch;
    const std::string node = MakeNode(scratch, "node");
    const std::string busy = node + "out/outbound/270f0014.bsy";
    WriteFileBytes(busy, "");

    ASSERT_EQ(RunIn(node, "toss"), 0);
    ASSERT_TRUE(PathExists(node + "FLOWRETRY.LST"));
    ASSERT_FALSE(PathExists(node + "out/outbound/270f0014.dlo"));

    fs::remove(busy);
    ASSERT_EQ(RunIn(node, "toss"), 0);
    EXPECT_FALSE(PathExists(node + "FLOWRETRY.LST"));
    const std::string flow = ReadFileBytes(node + "out/outbound/270f0014.dlo");
    EXPECT_NE(flow.find("SOFT.ZIP"), std::string::npos) << flow;
    EXPECT_NE(flow.find("PASS.ZIP"), std::string::npos) << flow;
}

// Each node keeps its last MSGID serial in its own msgid.dat: a run over
// the second node goes on from that one, not from the serial the run over
// the first node took.
TEST(RunContext, SecondNodeTakesItsOwnMsgIdSerials) {
    ScratchDir scratch;
    const std::string first = MakeNode(scratch, "first");
    const std::string second = MakeNode(scratch, "second");
    WriteFileBytes(second + "msgid.dat", "FFFFFF00\n");

    ASSERT_EQ(RunIn(first, "toss"), 0);
    ASSERT_FALSE(MsgIdSerial(first + "netmail/out/2.msg").empty());
    ASSERT_EQ(RunIn(second, "toss"), 0);
    EXPECT_EQ(MsgIdSerial(second + "netmail/out/2.msg"), "FFFFFF01");
}

}  // namespace
