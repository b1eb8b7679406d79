// Robot requests: the fuzzed bytes are the text of a request (kludges and
// command lines) that a link sends to the robot of a scratch copy of the
// scenarios' base node, and the robot's scan carries it out, answers it and
// rewrites the area list as the real command does. The first byte picks the
// link: even 2:9999/20 (a downlink, no "+*"), odd 2:9999/10 (the uplink,
// which may do everything). Each input starts from the node as it was.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "config/node.h"
#include "driver/startup.h"
#include "frame/exit.h"
#include "frame/platform.h"
#include "robot/netmail.h"
#include "robot/requests.h"
#include "scratch.h"

namespace {

struct Node {
    NodeConfig config;
    std::string areas, links;  // the files as they were
};

Node& BaseNode() {
    static Node node = [] {
        Node made;
        const std::string dir = ScratchDir() + "node/";
        std::filesystem::copy(SourcePath("tests/scenarios/base"), dir, std::filesystem::copy_options::recursive);
        made.config.programDir = dir;
        try {
            LoadNodeConfig(made.config);
        } catch (const ProgramExit& end) {
            std::fprintf(stderr, "brenmoor fuzz: the base node does not load (%d)\n", end.code);
            std::abort();
        }
        if (!ReadWholeFile(dir + "areas.ctl", made.areas) || !ReadWholeFile(dir + "Links.ctl", made.links))
            std::abort();
        KeepCreatedDirectories();
        return made;
    }();
    return node;
}

std::string RequestHeader(bool uplink) {
    NetmailHeader header;
    header.FromName = "Jan Tester";
    header.ToName = "FileFix";
    header.Subject = uplink ? "uplinkpw" : "downpw";
    header.DateTime = "07 Dec 26  10:00:00";
    header.OrigZone = header.DestZone = 2;
    header.OrigNet = header.DestNet = 9999;
    header.OrigNode = uplink ? 10 : 20;
    header.DestNode = 1;
    header.Attribute = AttrPrivate | AttrLocal;
    return EncodeNetmailHeader(header);
}

void Restore(const Node& node) {
    const MainConfig& main = node.config.main;
    for (const std::string& dir : {main.netmailIn, main.netmailOut})
        for (const DirEntry& entry : FindFiles(dir + "*")) DeleteFile(dir + entry.name);
    const std::string& dir = node.config.programDir;
    DeleteFile(dir + "areas.old");
    DeleteFile(dir + "links.old");
    DeleteFile(main.logName);
    RemoveCreatedDirectories();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    QuietConsole();
    const Node& node = BaseNode();
    const std::string& dir = node.config.programDir;
    if (WriteWholeFile(dir + "areas.ctl", node.areas) != 0 || WriteWholeFile(dir + "Links.ctl", node.links) != 0 ||
        WriteWholeFile(node.config.main.netmailIn + "2.msg",
                       RequestHeader(data[0] & 1) + std::string(InputBytes(data, size).substr(1))) != 0)
        std::abort();
    try {
        // A file asked for again counts as sent: the toss's delivery is not fuzzed here.
        // Each input is a run of its own.
        AreaIndexes areas;
        MsgIdSerials serials;
        RunScan(node.config, areas, serials, [](const auto&...) { return 0; });
    } catch (const ProgramExit&) {
        // A run-time error the scan ends with.
    }
    Restore(node);
    return 0;
}
