#pragma once
// Delivery of a stored file to the subscribed links: one TIC per link in
// OUTBOUND, and file and TIC handed to the mailer by MODE: binkley-style flow
// files ("BINK"), file boxes ("FILEBOX", "LFILEBOX") or file-attach netmail
// ("AMA").
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "config/links.h"
#include "config/mainconfig.h"
#include "config/areas.h"
#include "robot/netmail.h"
#include "tic/journal.h"
#include "tic/tic.h"

// The links' busy files and the retry list: the outbound's part of a run
// (the driver makes one per command).
struct BusyState {
    bool retriesFlushed = false;
    std::set<std::string> givenUp;  // busy files that stayed busy: not waited for again this run
    std::set<std::string> queued;   // flow files with lines in the retry list
    // While the toss works through a batch, flow lines wait here, each flow
    // file's in the order they came, and go out with one append per flow
    // file (FlushBatchFlowLines): each link's busy file is taken once a batch.
    bool batching = false;
    struct PendingFlow {
        std::string flowFile;
        std::vector<std::string> lines;
        bool once = false;  // a resumed delivery: lines the flow file lists already are left out
    };
    std::vector<PendingFlow> pendingFlows;
};

// Flavour text of a link: "DIR" for FilesSend DIRECT, "HLD" for HOLD, empty
// for the normal flavour. Flavour texts are words separated by blanks;
// " KFS" is appended for a file the mailer deletes after sending (the TIC).
std::string LinkFlavour(Flavour filesSend);

// Attributes of the file-attach netmail of a link ("AMA").
std::string AttachAttributes(Flavour filesSend);

// Why files cannot be sent with the configured MODE: the mode is unknown,
// or the directory it delivers into is not set. Empty when they can.
std::string OutboundModeProblem(const MainConfig& config);

// Forwards the stored file at filePath with its TIC to every link of the
// area that may receive it. SEEN-BY names this node's AKA of the area, the
// sender and every receiver. With a journal, each link is noted when served
// and skipped when a journal of an interrupted run names it; a link whose
// delivery was cut short gets the same TIC again and no flow line twice.
// Flow lines held for a batch are noted by the batch's end instead (the
// journal's "done"), since until then they are in memory only.
void SendToLinks(BusyState& busy, MsgIdSerials& serials, const std::string& filePath, const AreaRecord& area,
                 const std::vector<LinkRecord>& links, const MainConfig& config, const TicRecord& tic,
                 Journal* journal = nullptr);

// The File and Fullname values of every TIC waiting in the outbound: files
// still to be sent, which nothing may delete.
std::vector<std::string> WaitingTicFiles(const std::string& outbound);

// Appends the lines for the file and its TIC to the link's flow file under
// outboundBase: ".dlo" (DIR), ".hlo" (HLD) or ".flo" (normal); the TIC's line
// with "^" in front. Names are lower case: zone directory "outbound.00a",
// point directory "139c0002.pnt", flow file "0000pppp.?lo" inside it.
// The link's ".bsy" is held meanwhile; while another program holds it longer
// than BSYWAIT, the lines go to the retry list instead. once: only lines the
// flow file and the retry list do not hold yet.
void SendBink(BusyState& busy, const std::string& outboundBase, const MainConfig& config,
              std::string_view linkAddress, const std::string& filePath, const std::string& ticPath,
              std::string_view flavour, bool once = false);

// Appends the lines an earlier run left in the retry list to their flow
// files, each under its link's ".bsy"; lines of links still busy stay, and
// new lines for them are queued behind. Once per run, before any new line:
// the driver calls it when a command that changes files starts.
void FlushFlowRetries(BusyState& busy, const MainConfig& config);

// Appends the lines the batch has gathered, one append per flow file under
// its link's busy file, as SendBink does; the gathered lines are gone after.
void FlushBatchFlowLines(BusyState& busy, const MainConfig& config);

// The path of the flow file SendBink appends to.
std::string BinkFlowFile(const std::string& outboundBase, const MainConfig& config, std::string_view linkAddress,
                         std::string_view flavour);

// File boxes: with useToBeSent the path is listed in the box's
// "TOBESENT.$$$"; otherwise the file is copied into the box, and moved there
// when the flavour holds KFS.
void SendFileBox(const std::string& boxesDir, std::string_view linkAddress, const std::string& path,
                 std::string_view flavour, bool useToBeSent, bool once = false);
void SendLongFileBox(const std::string& boxesDir, std::string_view linkAddress, const std::string& path,
                     std::string_view flavour, bool useToBeSent, bool once = false);

// Box directory names: 2:5020/1 gives "024SS001.00" ("024SS001.00H" held)
// and "2.5020.1.0" ("2.5020.1.0.H" held).
std::string FileBoxName(std::string_view address, bool hold);
std::string LongFileBoxName(std::string_view address, bool hold);

// The list file of a box that the USETOBESENTFILE setting fills.
constexpr std::string_view ToBeSentFileName = "TOBESENT.$$$";
