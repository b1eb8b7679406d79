#include "tic/outbound.h"

#include <cerrno>
#include <cstdint>

#include "config/areas.h"
#include "frame/catalogue.h"
#include "frame/exit.h"
#include "frame/log.h"
#include "frame/platform.h"
#include "frame/utils.h"
#include "robot/netmail.h"

namespace {

constexpr std::string_view AttachFromName = "Brenmoor";
constexpr std::string_view AttachToName = "SysOp";
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

void AppendOrFail(const std::string& file, const std::string& line) {
    int error = AppendToFile(file, line);
    if (error != 0) RuntimeError(error);
}

void SendToBox(const std::string& box, const std::string& path, std::string_view flavour, bool useToBeSent) {
    ForceDirectories(box);
    std::string dir = box;
    AddTrailingSlash(dir);
    if (useToBeSent) {
        AppendOrFail(dir + std::string(ToBeSentFileName), FlowLine(path, flavour));
        return;
    }
    std::string target = dir + ExtractFileName(path);
    CopyFile(path, target);
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
              const std::string& path, std::string_view flavour) {
    AppendOrFail(BinkFlowFile(outboundBase, config, linkAddress, flavour), FlowLine(path, flavour));
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
                 std::string_view flavour, bool useToBeSent) {
    std::string box = BoxBase(boxesDir) + FileBoxName(linkAddress, HasFlavourWord(flavour, "HLD"));
    SendToBox(box, path, flavour, useToBeSent);
}

void SendLongFileBox(const std::string& boxesDir, std::string_view linkAddress, const std::string& path,
                     std::string_view flavour, bool useToBeSent) {
    std::string box = BoxBase(boxesDir) + LongFileBoxName(linkAddress, HasFlavourWord(flavour, "HLD"));
    SendToBox(box, path, flavour, useToBeSent);
}

void SendToLinks(const std::string& filePath, const AreaRecord& area, const std::vector<LinkRecord>& links,
                 const MainConfig& config, const TicRecord& tic) {
    TicRecord out = tic;
    out.File = ExtractFileName(filePath);
    std::uint64_t size = 0;
    if (GetFileSize(filePath, size)) out.Size = TicSize(size);
    out.From.clear();
    out.To.clear();
    out.Pw.clear();
    out.Crc = tic.Crc != NoTicCrc ? tic.Crc : FileCrc32(filePath);
    out.Path.push_back(ThisNodePathLine(area.AKA));

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

        std::string ticName;
        int error;
        do {
            ticName = NewTicName();
            error = CreateNewFile(config.outbound + ticName, FormatTic(out, LocalNow()));
        } while (error == EEXIST);
        const std::string ticPath = config.outbound + ticName;
        WriteLog(config.logName, SubstituteMacros(MessageText(Msg::LOGHATCHSENDTO), "%t", address));
        if (error != 0) RuntimeError(error);

        // Each link gets its own flavour; nothing carries over from the
        // previous link.
        const std::string flavour = LinkFlavour(link.FilesSend);
        const std::string ticFlavour = flavour.empty() ? "KFS" : flavour + " KFS";
        if (mode == "AMA") {
            const std::string attributes = AttachAttributes(link.FilesSend);
            WriteNetmail(NextMessageName(config.netmailOut), AttachFromName, AttachToName, link.AKA, link.Address,
                         AbsolutePath(filePath), "", attributes, "");
            WriteNetmail(NextMessageName(config.netmailOut), AttachFromName, AttachToName, link.AKA, link.Address,
                         AbsolutePath(ticPath), "", attributes + " KFS", "");
        } else if (mode == "BINK") {
            SendBink(config.binkStyleOutbound, config, link.Address, filePath, flavour);
            SendBink(config.binkStyleOutbound, config, link.Address, ticPath, ticFlavour);
        } else if (mode == "FILEBOX") {
            SendFileBox(config.fileBoxes, link.Address, filePath, flavour, config.useToBeSentFile);
            SendFileBox(config.fileBoxes, link.Address, ticPath, ticFlavour, config.useToBeSentFile);
        } else if (mode == "LFILEBOX") {
            SendLongFileBox(config.fileBoxes, link.Address, filePath, flavour, config.useToBeSentFile);
            SendLongFileBox(config.fileBoxes, link.Address, ticPath, ticFlavour, config.useToBeSentFile);
        }
    }
    ClearErrorNumber();
}

