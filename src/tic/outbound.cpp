#include "tic/outbound.h"

#include <cerrno>
#include <cstdint>

#include "config/areas.h"
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
constexpr std::string_view AttachTooLongText = "No file attach to %t: the path %f is longer than a subject holds";
constexpr std::size_t MaxAttachPath = 71;  // the subject field: 72 bytes with its NUL
constexpr std::size_t TicNameLength = 12;  // "BM123456.TIC"
constexpr std::string_view Base32Digits = "0123456789ABCDEFGHIJKLMNOPQRSTUV";

// The flavour words are tested with a blank in front, so that "DIR" is found
// at the start of the text as well.
bool HasFlavourWord(std::string_view flavour, std::string_view word) {
    std::string text = " " + UpperCase(flavour);
    return text.find(" " + std::string(word)) != std::string::npos;
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

// Appends the line; once: only when the file does not list it yet (a
// delivery finished after an interrupted run).
void AppendOrFail(const std::string& file, const std::string& line, bool once) {
    if (once) {
        std::string content;
        if (ReadWholeFile(file, content) && ("\n" + content).find("\n" + line) != std::string::npos) return;
    }
    int error = AppendToFile(file, line);
    if (error != 0) RuntimeError(error);
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
    std::string target = dir + ExtractFileName(path);
    int error = CopyFile(path, target);
    if (error != 0) {
        WriteLine("Cannot copy " + path + " to " + target + ": error " + ErrorText(error));
        ExitProgram(2);
    }
    if (HasFlavourWord(flavour, "KFS") && FileExists(target)) DeleteFile(path);
}

std::string BoxBase(const std::string& boxesDir) {
    std::string dir = boxesDir;
    AddTrailingSlash(dir);
    return dir;
}

}  // namespace

std::string LinkFlavour(std::string_view filesSend) {
    std::string value(filesSend);
    Trim(value);
    if (EqualNoCase(value, "DIRECT")) return "DIR";
    if (EqualNoCase(value, "HOLD")) return "HLD";
    return "";
}

std::string AttachAttributes(std::string_view filesSend) {
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

void SendBink(const std::string& outboundBase, const MainConfig& config, std::string_view linkAddress,
              const std::string& path, std::string_view flavour, bool once) {
    AppendOrFail(BinkFlowFile(outboundBase, config, linkAddress, flavour), FlowLine(path, flavour), once);
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

// A name for the link's TIC: the one an interrupted run chose, or a free
// one, noted before the TIC is written.
std::string LinkTicName(const MainConfig& config, TossJournal& journal, const std::string& address, bool& again) {
    std::string name = JournalValue(journal, "tic " + address);
    again = !name.empty();
    if (again) return name;
    do name = NewTicName();
    while (FileExists(config.outbound + name));
    JournalAdd(journal, "tic " + address + " " + name);
    return name;
}

// A file-attach netmail, under the message name an interrupted run chose
// when it had chosen one, so that no attach is written twice.
void Attach(const MainConfig& config, TossJournal& journal, const std::string& key, const LinkRecord& link,
            const std::string& path, const std::string& attributes) {
    std::string message = JournalValue(journal, key);
    if (message.empty()) {
        message = NextMessageName(config.netmailOut);
        JournalAdd(journal, key + " " + message);
    }
    WriteNetmail(message, AttachFromName, AttachToName, link.AKA, link.Address, path, "", attributes, "");
}

}  // namespace

void SendToLinks(const std::string& filePath, const AreaRecord& area, const std::vector<LinkRecord>& links,
                 const MainConfig& config, const TicRecord& tic, TossJournal* journal) {
    TossJournal memory;
    TossJournal& done = journal ? *journal : memory;
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
    std::vector<std::string> entries = SplitLinks(area.Links);
    for (std::size_t i = 0; i < entries.size();) {
        std::string address = ExpandLinkEntry(area.AKA, entries[i]);
        TrimRight(address);
        LinkRecord link = FindLink(links, address);
        // A link missing from the links file gets nothing, and so is not
        // claimed to have seen the file either.
        if (link.Address.empty() || SameAddressText(link.Address, tic.From)) {
            ++i;
            continue;
        }
        FidoAddress linkAddress = ParseAddress(link.Address);
        bool seen = false;
        for (const std::string& entry : out.SeenBy)
            if (SameAddress(ParseAddress(entry), linkAddress)) seen = true;
        if (seen) {
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        if (area.SecurityRead <= link.Security && !link.Pause) {
            std::string entry = address;
            CutText(entry, MaxSeenByText);
            out.SeenBy.push_back(entry);
        }
        ++i;
    }

    const std::string mode = UpperCase(config.mode);
    for (const std::string& entry : entries) {
        std::string address = ExpandLinkEntry(area.AKA, entry);
        TrimRight(address);
        LinkRecord link = FindLink(links, address);
        out.To = address;
        out.Pw = link.Password;
        out.From = link.AKA;
        out.AreaDesc = area.Desc;
        if (area.SecurityRead > link.Security || link.Address.empty() || SameAddressText(link.Address, tic.From) ||
            link.Pause)
            continue;

        const std::string sent = "sent " + address;
        if (JournalHas(done, sent)) continue;
        // An attach names the file in the 72 bytes of the subject: a longer
        // path would point nowhere.
        if (mode == "AMA" && (AbsolutePath(filePath).size() > MaxAttachPath ||
                              AbsolutePath(config.outbound).size() + TicNameLength > MaxAttachPath)) {
            WriteLog(config.logName, SubstituteMacros(SubstituteMacros(AttachTooLongText, "%t", address), "%f",
                                                      AbsolutePath(filePath)));
            continue;
        }

        bool again = false;
        const std::string ticName = LinkTicName(config, done, address, again);
        const std::string ticPath = config.outbound + ticName;
        int error = again ? WriteWholeFile(ticPath, FormatTic(out, LocalNow()))
                          : CreateNewFile(ticPath, FormatTic(out, LocalNow()));
        WriteLog(config.logName, SubstituteMacros(MessageText(Msg::LOGHATCHSENDTO), "%t", address));
        if (error != 0) RuntimeError(error);

        // Each link gets its own flavour; nothing carries over from the
        // previous link.
        const std::string flavour = LinkFlavour(link.FilesSend);
        const std::string ticFlavour = flavour.empty() ? "KFS" : flavour + " KFS";
        if (mode == "AMA") {
            const std::string attributes = AttachAttributes(link.FilesSend);
            Attach(config, done, "attach-file " + address, link, AbsolutePath(filePath), attributes);
            Attach(config, done, "attach-tic " + address, link, AbsolutePath(ticPath), attributes + " KFS");
        } else if (mode == "BINK") {
            SendBink(config.binkStyleOutbound, config, link.Address, filePath, flavour, again);
            SendBink(config.binkStyleOutbound, config, link.Address, ticPath, ticFlavour, again);
        } else if (mode == "FILEBOX") {
            SendFileBox(config.fileBoxes, link.Address, filePath, flavour, config.useToBeSentFile, again);
            SendFileBox(config.fileBoxes, link.Address, ticPath, ticFlavour, config.useToBeSentFile, again);
        } else if (mode == "LFILEBOX") {
            SendLongFileBox(config.fileBoxes, link.Address, filePath, flavour, config.useToBeSentFile, again);
            SendLongFileBox(config.fileBoxes, link.Address, ticPath, ticFlavour, config.useToBeSentFile, again);
        }
        JournalAdd(done, sent);
    }
    ClearErrorNumber();
}

