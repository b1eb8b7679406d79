#include "tic/outbound.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <set>
#include <stdexcept>
#include <utility>

#include "config/areas.h"
#include "frame/busyflag.h"
#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/exit.h"
#include "frame/log.h"
#include "frame/platform.h"
#include "frame/utils.h"
#include "robot/netmail.h"

namespace {

constexpr std::string_view AttachFromName = "Brenmoor";
constexpr std::string_view AttachToName = "SysOp";
constexpr std::size_t MaxAttachPath = 71;  // the subject field: 72 bytes with its NUL
constexpr std::size_t TicNameLength = 12;  // "BM123456.TIC"
constexpr std::string_view Base32Digits = "0123456789ABCDEFGHIJKLMNOPQRSTUV";

// The flavour words are tested with a blank in front, so that "DIR" is found
// at the start of the text as well.
bool HasFlavourWord(std::string_view flavour, std::string_view word) {
    for (std::size_t at = 0; at + word.size() <= flavour.size(); ++at)
        if ((at == 0 || flavour[at - 1] == ' ') && EqualNoCase(flavour.substr(at, word.size()), word)) return true;
    return false;
}

// The mailer deletes a TIC once it is sent.
std::string TicFlavour(std::string_view flavour) {
    return flavour.empty() ? "KFS" : std::string(flavour) + " KFS";
}

std::string Base32(std::uint16_t value) {
    std::string digits;
    digits += Base32Digits[(value >> 10) & 31];
    digits += Base32Digits[(value >> 5) & 31];
    digits += Base32Digits[value & 31];
    return digits;
}

// Flow and list files name every file by its full path: the mailer does not
// run in our current directory. A line break in a name must not give the
// mailer a second line (a "^" line would have it delete that file).
std::string FlowLine(const std::string& path, std::string_view flavour) {
    std::string line = HasFlavourWord(flavour, "KFS") ? "^" : "";
    line += SingleLine(AbsolutePath(path));
    line += '\n';
    return line;
}

// True when the file lists the line already (a delivery finished after an
// interrupted run).
bool ListsLine(const std::string& file, const std::string& line) {
    std::string content;
    return ReadWholeFile(file, content) && ("\n" + content).find("\n" + line) != std::string::npos;
}

// Appends the line; once: only when the file does not list it yet.
void AppendOrFail(const std::string& file, const std::string& line, bool once) {
    if (once && ListsLine(file, line)) return;
    int error = AppendToFile(file, line);
    if (error != 0) RuntimeError(error);
}

// ---- A link's busy file in the binkley-style outbound ----------------------
// While a mailer holds "nnnnnnnn.bsy" it may be sending the flow file and cut
// it afterwards; an append in between would be lost. So a flow file is only
// appended to while this run holds the busy file itself. Lines of a link that
// stays busy go to the retry list, which the next run flushes first.

constexpr unsigned BusyPollMilliseconds = 100;
constexpr int MaxStaleRemovals = 3;  // a busy file that keeps coming back stale is waited for

std::string BusyFileOf(const std::string& flowFile) { return flowFile.substr(0, flowFile.rfind('.')) + ".bsy"; }

bool IsFlowFileName(const std::string& path) {
    std::string name = LowerCase(ExtractFileName(path));
    return name.size() > 4 && (name.ends_with(".flo") || name.ends_with(".dlo") || name.ends_with(".hlo"));
}

// A busy file no session holds any more: the process it names is gone, or
// it is older than BSYSTALE seconds, whatever it holds (binkd touches the
// busy files of its live sessions every minute; a run killed while it made
// one may have left it empty). BSYSTALE 0 leaves age out.
bool IsStaleBusyFile(const std::string& path, std::int32_t staleSeconds) {
    std::int64_t age = 0;
    if (staleSeconds > 0 && GetFileAge(path, age) && age > staleSeconds) return true;
    std::string content;
    if (!ReadWholeFile(path, content)) return false;
    const int pid = LockProcessId(content);
    return pid > 0 && !ProcessExists(pid);
}

// Holds a link's busy file for as long as it lives, also when the run ends
// through the exit routine.
class BusyHold {
public:
    BusyHold() = default;
    BusyHold(const BusyHold&) = delete;
    BusyHold& operator=(const BusyHold&) = delete;
    ~BusyHold() { Release(); }

    // Makes the busy file whole, waiting up to BSYWAIT seconds while
    // another program holds it; a stale one is logged and removed. False
    // when it stays busy.
    bool Take(BusyState& busy, const MainConfig& config, const std::string& busyFile) {
        if (busy.givenUp.count(busyFile)) return false;
        const std::string mark = std::to_string(CurrentProcessId()) + "\n";
        const std::uint64_t deadline = MillisecondTick() + static_cast<std::uint64_t>(config.bsyWait) * 1000u;
        auto stale = [&config](const std::string& path) { return IsStaleBusyFile(path, config.bsyStale); };
        int removals = 0;
        for (;;) {
            int error = PublishNewFile(busyFile, mark);
            if (error == 0) {
                path_ = busyFile;
                return true;
            }
            if (error != EEXIST) RuntimeError(error);
            if (removals < MaxStaleRemovals) {
                StaleLock judged = RemoveStaleLock(busyFile, stale);
                if (judged == StaleLock::Removed)
                    WriteLog(config.logName, SubstituteMacros(MessageText(Msg::STALEBUSY), "%f", busyFile));
                if (judged != StaleLock::Live) {
                    ++removals;
                    continue;
                }
            }
            if (MillisecondTick() >= deadline) break;
            SleepMilliseconds(BusyPollMilliseconds);
        }
        busy.givenUp.insert(busyFile);
        WriteLog(config.logName, SubstituteMacros(MessageText(Msg::BUSYGIVENUP), "%f", busyFile));
        return false;
    }

    void Release() {
        if (!path_.empty()) DeleteOwnFile(path_);
        path_.clear();
    }

private:
    std::string path_;
};

// An entry of the retry list: the flow file, a tab, the flow line.
std::string RetryEntry(const std::string& flowFile, const std::string& line) {
    std::string entry = flowFile + '\t' + line;
    if (entry.back() != '\n') entry += '\n';
    return entry;
}

// Puts the lines into the retry list in one append, so that a run killed
// meanwhile leaves all of them or none.
void QueueFlowLines(BusyState& busy, const MainConfig& config, const std::string& flowFile,
                    const std::vector<std::string>& lines, bool once) {
    std::string entries;
    for (const std::string& line : lines) {
        std::string entry = RetryEntry(flowFile, line);
        if (once && (ListsLine(flowFile, line) || ListsLine(config.flowRetryFile, entry))) continue;
        entries += entry;
    }
    busy.queued.insert(flowFile);
    if (entries.empty()) return;
    int error = AppendToFile(config.flowRetryFile, entries);
    if (error != 0) RuntimeError(error);
}

// Appends the lines to the flow file while holding the link's busy file; a
// link that stays busy, or that has lines waiting from before, gets them
// queued behind those.
void AppendFlowLines(BusyState& busy, const MainConfig& config, const std::string& flowFile,
                     const std::vector<std::string>& lines, bool once) {
    BusyHold hold;
    if (busy.queued.count(flowFile) || !hold.Take(busy, config, BusyFileOf(flowFile))) {
        QueueFlowLines(busy, config, flowFile, lines, once);
        return;
    }
    if (once) {
        for (const std::string& line : lines) AppendOrFail(flowFile, line, true);
        return;
    }
    // One append: a run killed meanwhile leaves all of them or none. A new
    // flow file is not made under a temporary name: the mailer leaves it
    // alone while we hold the busy file, and what a kill can leave is an
    // empty flow file, which sends nothing.
    std::string text;
    for (const std::string& line : lines) text += line;
    AppendOrFail(flowFile, text, false);
}

void SendToBox(const std::string& box, const std::string& path, std::string_view flavour, bool useToBeSent,
               bool once) {
    ForceDirectories(box);
    std::string dir = box;
    AddTrailingSlash(dir);
    if (useToBeSent) {
        AppendOrFail(dir + std::string(ToBeSentFileName), FlowLine(path, flavour), once);
        return;
    }
    // The mailer sends whatever lies in a box, so a file comes in whole, by a
    // rename: moved when the mailer is to delete it anyway, otherwise copied
    // beside the box first.
    const std::string target = dir + ExtractFileName(path);
    const bool kfs = HasFlavourWord(flavour, "KFS");
    if (kfs && RenameFile(path, target) == 0) return;
    int error = CopyFile(path, target, ExtractDir(box));
    if (error != 0) {
        FailProgram(2, "Cannot copy " + path + " to " + target + ": error " + ErrorText(error));
    }
    if (kfs) DeleteFile(path);
}

std::string BoxBase(const std::string& boxesDir) {
    std::string dir = boxesDir;
    AddTrailingSlash(dir);
    return dir;
}

}  // namespace

std::string LinkFlavour(Flavour filesSend) {
    switch (filesSend) {
        case Flavour::Direct: return "DIR";
        case Flavour::Hold: return "HLD";
        case Flavour::Normal: break;
    }
    return "";
}

std::string AttachAttributes(Flavour filesSend) {
    std::string flavour = LinkFlavour(filesSend);
    return flavour.empty() ? "PVT LOC K/S ATT" : flavour + " PVT LOC K/S ATT";
}

std::string BinkFlowFile(const std::string& outboundBase, const MainConfig& config, std::string_view linkAddress,
                         std::string_view flavour) {
    FidoAddress link = ParseAddress(linkAddress);
    FidoAddress main = ParseAddress(config.mainAddress);

    std::string zoneDir = outboundBase;
    while (zoneDir.size() > 1 && zoneDir.back() == PathSeparator) zoneDir.pop_back();
    ForceDirectories(zoneDir);
    if (link.zone != main.zone) {
        zoneDir += "." + LowerCase(HexWord(link.zone).substr(1));
        ForceDirectories(zoneDir);
    }
    AddTrailingSlash(zoneDir);

    std::string netNode = LowerCase(HexWord(link.net) + HexWord(link.node));
    std::string flow;
    if (link.point == 0) {
        flow = zoneDir + netNode;
    } else {
        std::string pointDir = zoneDir + netNode + ".pnt";
        ForceDirectories(pointDir);
        flow = pointDir + PathSeparator + "0000" + LowerCase(HexWord(link.point));
    }
    if (HasFlavourWord(flavour, "DIR"))
        flow += ".dlo";
    else if (HasFlavourWord(flavour, "HLD"))
        flow += ".hlo";
    else
        flow += ".flo";
    return flow;
}

void SendBink(BusyState& busy, const std::string& outboundBase, const MainConfig& config,
              std::string_view linkAddress, const std::string& filePath, const std::string& ticPath,
              std::string_view flavour, bool once) {
    const std::string flowFile = BinkFlowFile(outboundBase, config, linkAddress, flavour);
    std::vector<std::string> lines{FlowLine(filePath, flavour), FlowLine(ticPath, TicFlavour(flavour))};
    if (!busy.batching) return AppendFlowLines(busy, config, flowFile, lines, once);
    auto flow = std::find_if(busy.pendingFlows.begin(), busy.pendingFlows.end(),
                             [&](const BusyState::PendingFlow& f) { return f.flowFile == flowFile; });
    if (flow == busy.pendingFlows.end()) flow = busy.pendingFlows.insert(flow, {flowFile, {}, false});
    flow->lines.insert(flow->lines.end(), lines.begin(), lines.end());
    flow->once = flow->once || once;
}

void FlushBatchFlowLines(BusyState& busy, const MainConfig& config) {
    for (const BusyState::PendingFlow& flow : busy.pendingFlows) {
        ForceDirectories(ExtractDir(flow.flowFile));  // a point directory the mailer removed meanwhile
        AppendFlowLines(busy, config, flow.flowFile, flow.lines, flow.once);
    }
    busy.pendingFlows.clear();
}

void FlushFlowRetries(BusyState& state, const MainConfig& config) {
    if (state.retriesFlushed || config.flowRetryFile.empty()) return;
    state.retriesFlushed = true;
    std::vector<std::string> entries;
    if (!ReadTextLines(config.flowRetryFile, entries)) return;
    // The lines of each flow file, in the order they were queued.
    std::vector<std::pair<std::string, std::vector<std::string>>> flows;
    for (const std::string& entry : entries) {
        std::size_t tab = entry.find('\t');
        std::string flowFile = entry.substr(0, tab);
        if (tab == std::string::npos || !IsFlowFileName(flowFile)) {
            if (!entry.empty()) WriteLog(config.logName, SubstituteMacros(MessageText(Msg::RETRYDROPPED), "%f", entry));
            continue;
        }
        auto flow = std::find_if(flows.begin(), flows.end(), [&](const auto& f) { return f.first == flowFile; });
        if (flow == flows.end()) flow = flows.insert(flows.end(), {flowFile, {}});
        flow->second.push_back(entry.substr(tab + 1) + "\n");
    }
    // A line already in its flow file was appended by a run killed before it
    // could shorten the list: it is not appended again.
    std::string left;
    for (const auto& [flowFile, lines] : flows) {
        ForceDirectories(ExtractDir(flowFile));  // a point directory the mailer removed when it was done
        BusyHold hold;
        if (!hold.Take(state, config, BusyFileOf(flowFile))) {
            for (const std::string& line : lines) left += RetryEntry(flowFile, line);
            state.queued.insert(flowFile);
            continue;
        }
        for (const std::string& line : lines) AppendOrFail(flowFile, line, true);
    }
    int error = left.empty() ? 0 : ReplaceFileSafely(config.flowRetryFile, left, "");
    if (left.empty()) DeleteFile(config.flowRetryFile);
    if (error != 0) RuntimeError(error);
}

std::string FileBoxName(std::string_view address, bool hold) {
    FidoAddress a = ParseAddress(address);
    std::string name = Base32(a.zone).substr(1) + Base32(a.net) + Base32(a.node) + "." + Base32(a.point).substr(1);
    if (hold) name += 'H';
    return name;
}

std::string LongFileBoxName(std::string_view address, bool hold) {
    // The address in its written form with the point always given.
    std::string name = NormalizeAddress(address);
    if (name.find('.') == std::string::npos) name += ".0";
    std::size_t colon = name.find(':');
    if (colon != std::string::npos) name[colon] = '.';
    std::size_t slash = name.find('/');
    if (slash != std::string::npos) name[slash] = '.';
    if (hold) name += ".H";
    return name;
}

void SendFileBox(const std::string& boxesDir, std::string_view linkAddress, const std::string& path,
                 std::string_view flavour, bool useToBeSent, bool once) {
    std::string box = BoxBase(boxesDir) + FileBoxName(linkAddress, HasFlavourWord(flavour, "HLD"));
    SendToBox(box, path, flavour, useToBeSent, once);
}

void SendLongFileBox(const std::string& boxesDir, std::string_view linkAddress, const std::string& path,
                     std::string_view flavour, bool useToBeSent, bool once) {
    std::string box = BoxBase(boxesDir) + LongFileBoxName(linkAddress, HasFlavourWord(flavour, "HLD"));
    SendToBox(box, path, flavour, useToBeSent, once);
}

std::vector<std::string> WaitingTicFiles(const std::string& outbound) {
    std::vector<std::string> names;
    if (outbound.empty()) return names;
    for (const DirEntry& entry : FindFiles(outbound + "*.tic")) {
        TicRecord tic;
        if (ReadTic(outbound + entry.name, tic) != TicReadStatus::Ok) continue;
        if (!tic.File.empty()) names.push_back(tic.File);
        if (!tic.FullName.empty() && tic.FullName != tic.File) names.push_back(tic.FullName);
    }
    return names;
}

namespace {

// Adds the address to SEEN-BY unless it stands there already.
void AddSeenBy(std::vector<std::string>& seenBy, const std::string& address) {
    if (address.empty()) return;
    FidoAddress wanted = ParseAddress(address);
    for (const std::string& entry : seenBy)
        if (SameAddress(ParseAddress(entry), wanted)) return;
    std::string entry = NormalizeAddress(address);
    CutText(entry, MaxSeenByText);
    seenBy.push_back(entry);
}

// A new name for the link's TIC, noted before the TIC is written.
std::string NoteNewTicName(Journal& journal, const std::string& address) {
    std::string name = NewTicName();
    JournalAdd(journal, "tic " + address + " " + name);
    return name;
}


// A file-attach netmail, under the message name an interrupted run chose
// when it had chosen one, so that no attach is written twice.
void Attach(MsgIdSerials& serials, const MainConfig& config, Journal& journal, const std::string& key,
            const LinkRecord& link, const std::string& path, const std::string& attributes) {
    std::string message = JournalValue(journal, key);
    if (message.empty()) {
        message = NextMessageName(config.netmailOut);
        JournalAdd(journal, key + " " + message);
    }
    WriteNetmail(serials, message, AttachFromName, AttachToName, link.AKAText, link.AddressText, path, "", attributes, "");
}

// One file and its TIC for one link.
struct Delivery {
    BusyState& busy;
    MsgIdSerials& serials;
    const MainConfig& config;
    Journal& done;
    const LinkRecord& link;
    const std::string& address;
    const std::string& filePath;
    const std::string& ticPath;
    std::string flavour;
    bool again;  // an interrupted run may have delivered it in part
};

void DeliverAttach(const Delivery& job) {
    const std::string attributes = AttachAttributes(job.link.FilesSend);
    Attach(job.serials, job.config, job.done, "attach-file " + job.address, job.link, AbsolutePath(job.filePath), attributes);
    Attach(job.serials, job.config, job.done, "attach-tic " + job.address, job.link, AbsolutePath(job.ticPath), attributes + " KFS");
}

void DeliverBink(const Delivery& job) {
    SendBink(job.busy, job.config.binkStyleOutbound, job.config, job.address, job.filePath, job.ticPath, job.flavour,
             job.again);
}

void DeliverFileBox(const Delivery& job) {
    const MainConfig& config = job.config;
    SendFileBox(config.fileBoxes, job.address, job.filePath, job.flavour, config.useToBeSentFile, job.again);
    SendFileBox(config.fileBoxes, job.address, job.ticPath, TicFlavour(job.flavour), config.useToBeSentFile,
                job.again);
}

void DeliverLongFileBox(const Delivery& job) {
    const MainConfig& config = job.config;
    SendLongFileBox(config.fileBoxes, job.address, job.filePath, job.flavour, config.useToBeSentFile, job.again);
    SendLongFileBox(config.fileBoxes, job.address, job.ticPath, TicFlavour(job.flavour),
                    config.useToBeSentFile, job.again);
}

// The ways of handing files to the mailer, in the order of OutboundMode: the
// directory setting each delivers into, and its delivery.
struct ModeRow {
    OutboundMode mode;
    std::string_view keyword;
    std::string MainConfig::*directory;
    void (*deliver)(const Delivery&);
};

constexpr ModeRow Modes[] = {
    {OutboundMode::Ama, "NETMAILOUT", &MainConfig::netmailOut, DeliverAttach},
    {OutboundMode::Bink, "BINKSTYLEOUTBOUND", &MainConfig::binkStyleOutbound, DeliverBink},
    {OutboundMode::FileBox, "FILEBOXES", &MainConfig::fileBoxes, DeliverFileBox},
    {OutboundMode::LongFileBox, "FILEBOXES", &MainConfig::fileBoxes, DeliverLongFileBox},
};
static_assert(std::size(Modes) == std::size(OutboundModeWords));

const ModeRow& ModeOf(OutboundMode mode) {
    for (const ModeRow& row : Modes)
        if (row.mode == mode) return row;
    // Start-up refuses an unknown mode before any command sends a file.
    throw std::logic_error("no delivery for this MODE");
}

}  // namespace

std::string OutboundModeProblem(const MainConfig& config) {
    const std::size_t index = static_cast<std::size_t>(config.mode);
    if (index >= std::size(Modes)) return MessageText(Msg::UNKNOWNMODE);
    const ModeRow& row = ModeOf(config.mode);
    if ((config.*row.directory).empty())
        return Fill(MessageText(Msg::MODENEEDSDIR), "%m", OutboundModeWords[index], "%k", row.keyword);
    return {};
}

void SendToLinks(BusyState& busy, MsgIdSerials& serials, const std::string& filePath, const AreaRecord& area,
                 const std::vector<LinkRecord>& links, const MainConfig& config, const TicRecord& tic,
                 Journal* journal) {
    Journal memory;
    Journal& done = journal ? *journal : memory;
    TicRecord out = tic;
    out.File = ExtractFileName(filePath);
    std::uint64_t size = 0;
    if (GetFileSize(filePath, size)) out.Size = TicSize(size);
    out.From.clear();
    out.To.clear();
    out.Pw.clear();
    out.Crc = tic.Crc != NoTicCrc ? tic.Crc : FileCrc32(filePath);
    const std::string ownAka = area.AKA.empty() ? config.mainAddress : area.AKA;
    out.Path.push_back(ThisNodePathLine(ownAka));
    // This node and the sender have seen the file: a downlink that sends it
    // back would otherwise make a loop.
    AddSeenBy(out.SeenBy, ownAka);
    AddSeenBy(out.SeenBy, tic.From);
    // Who receives the file. Every receiver goes into SEEN-BY before the
    // first TIC is written, so that each TIC names all of them; a link that
    // has already seen the file is dropped.
    struct Receiver {
        std::string address;
        const LinkRecord* link;
    };
    std::vector<Receiver> receivers;
    const FidoAddress sender = ParseAddress(tic.From);
    for (const std::string& entry : SplitLinks(area.Links)) {
        std::string address = ExpandLinkEntry(area.AKA, entry);
        const LinkRecord* link = FindLink(links, LinkEntryAddress(area.AKA, entry));
        // A link missing from the links file gets nothing, and so is not
        // claimed to have seen the file either; its entry stays in the area.
        if (link == nullptr) {
            WriteLog(config.logName, Fill(MessageText(Msg::LOGHATCHNOLINK), "%t", address, "%a", area.Name));
            continue;
        }
        if (SameAddress(link->Address, sender)) continue;
        bool seen = false;
        for (const std::string& seenBy : out.SeenBy)
            if (SameAddress(ParseAddress(seenBy), link->Address)) seen = true;
        if (seen) continue;
        if (area.SecurityRead <= link->Security && !link->Pause) {
            std::string seenBy = address;
            CutText(seenBy, MaxSeenByText);
            out.SeenBy.push_back(seenBy);
        }
        receivers.push_back({std::move(address), link});
    }

    // The names of the new TICs are noted together, in one append before
    // the first is written; a name an interrupted run noted is its own.
    std::set<std::string> fresh;
    std::vector<std::string> names;
    for (const Receiver& receiver : receivers)
        if (area.SecurityRead <= receiver.link->Security && !receiver.link->Pause &&
            !JournalHas(done, "sent " + receiver.address) && JournalValue(done, "tic " + receiver.address).empty() &&
            fresh.insert(receiver.address).second)
            names.push_back("tic " + receiver.address + " " + NewTicName());
    if (!names.empty()) JournalAdd(done, names);

    for (const Receiver& receiver : receivers) {
        const std::string& address = receiver.address;
        const LinkRecord& link = *receiver.link;
        out.To = address;
        out.Pw = link.Password;
        out.From = link.AKAText;
        out.AreaDesc = area.Desc;
        if (area.SecurityRead > link.Security || link.Pause) continue;

        const std::string sent = "sent " + address;
        if (JournalHas(done, sent)) continue;
        // An attach names the file in the 72 bytes of the subject: a longer
        // path would point nowhere.
        if (config.mode == OutboundMode::Ama &&
            (AbsolutePath(filePath).size() > MaxAttachPath ||
             AbsolutePath(config.outbound).size() + TicNameLength > MaxAttachPath)) {
            WriteLog(config.logName,
                     SubstituteMacros(SubstituteMacros(MessageText(Msg::ATTACHTOOLONG), "%t", address), "%f",
                                      AbsolutePath(filePath)));
            continue;
        }

        std::string name = JournalValue(done, "tic " + address);
        const bool again = !name.empty() && !fresh.count(address);  // an interrupted run may have delivered it in part
        if (name.empty()) name = NoteNewTicName(done, address);
        std::string ticPath = config.outbound + name;
        const std::string ticText = FormatTic(out, LocalNow());
        // A new TIC is written under its own name: no mailer takes it before
        // a flow line, an attach or a file box names it, and those follow the
        // whole write. One a killed run left in part is its journal's and is
        // written again whole.
        int error = again ? PublishFile(ticPath, ticText) : CreateNewFile(ticPath, ticText);
        // A name that is taken gets another: the exclusive create tells.
        for (int tries = 0; error == EEXIST && !again && tries < 100; ++tries) {
            ticPath = config.outbound + NoteNewTicName(done, address);
            error = CreateNewFile(ticPath, ticText);
        }
        WriteLog(config.logName, SubstituteMacros(MessageText(Msg::LOGHATCHSENDTO), "%t", address));
        if (error != 0) RuntimeError(error);

        // Each link gets its own flavour; nothing carries over from the
        // previous link.
        const Delivery delivery{busy, serials, config, done, link, address,
                                filePath, ticPath, LinkFlavour(link.FilesSend), again};
        ModeOf(config.mode).deliver(delivery);
        if (!(busy.batching && config.mode == OutboundMode::Bink)) JournalAdd(done, sent);
    }
    ClearErrorNumber();
}

