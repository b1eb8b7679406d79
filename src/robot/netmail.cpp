#include "robot/netmail.h"

#include <algorithm>
#include <cerrno>
#include <new>

#include "config/ctlline.h"
#include "frame/exit.h"
#include "frame/platform.h"
#include "frame/utils.h"

namespace {

constexpr char Soh = '\x01';
constexpr char Cr = '\r';

struct AttributeBit {
    std::string_view word;
    std::uint16_t bit;
};

constexpr AttributeBit AttributeBits[] = {
    {"PVT", 1},    {"CRA", 2},    {"RCV", 4},     {"SNT", 8},     {"ATT", 16},    {"TRS", 32},
    {"ORP", 64},   {"K/S", 128},  {"LOC", 256},   {"HLD", 512},   {"UNS", 1024},  {"FRQ", 2048},
    {"RRQ", 4096}, {"RRC", 8192}, {"ARQ", 16384}, {"URQ", 32768},
};

void PutField(std::string& out, std::string_view text, std::size_t size) {
    if (text.size() > size) text = text.substr(0, size);
    out.append(text);
    out.append(size - text.size(), '\0');
}

std::string GetField(std::string_view bytes, std::size_t offset, std::size_t size) {
    std::string_view field = bytes.substr(offset, size);
    std::size_t nul = field.find('\0');
    return std::string(nul == std::string_view::npos ? field : field.substr(0, nul));
}

std::string_view SkipBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    return text;
}

// The next blank-separated word of text; text moves past it.
std::string_view NextWord(std::string_view& text) {
    text = SkipBlanks(text);
    std::size_t end = text.find(' ');
    std::string_view word = text.substr(0, end);
    text.remove_prefix(word.size());
    return word;
}

// The zone of an address: the number before its first ":" (0 without one).
std::uint16_t ZoneOf(std::string_view address) {
    std::size_t colon = address.find(':');
    return colon == std::string_view::npos ? 0 : ParseWordValue(address.substr(0, colon));
}

void ApplyKludge(std::string_view kludge, NetmailHeader& header) {
    if (kludge.starts_with("REPLY:")) {
        std::string_view rest = kludge.substr(6);
        header.DestZone = ZoneOf(NextWord(rest));
    } else if (kludge.starts_with("MSGID:")) {
        std::string_view rest = kludge.substr(6);
        header.OrigZone = ZoneOf(NextWord(rest));
    } else if (kludge.starts_with("TOPT")) {
        std::string_view rest = kludge.substr(4);
        header.DestPoint = ParseWordValue(NextWord(rest));
    } else if (kludge.starts_with("FMPT")) {
        std::string_view rest = kludge.substr(4);
        header.OrigPoint = ParseWordValue(NextWord(rest));
    } else if (kludge.starts_with("INTL")) {
        std::string_view rest = kludge.substr(4);
        header.DestZone = ZoneOf(NextWord(rest));
        header.OrigZone = ZoneOf(NextWord(rest));
    }
}

// errno of the failed operation, or a stand-in so that a failure never ends
// the run with exit code 0.
int FileErrorNumber(const std::string& path) {
    int error = LastErrorNumber();
    if (error != 0) return error;
    return FileExists(path) ? EIO : ENOENT;
}

}  // namespace

std::string EncodeNetmailHeader(const NetmailHeader& header) {
    std::string out;
    out.reserve(NetmailHeaderSize);
    PutField(out, header.FromName, NetmailNameSize);
    PutField(out, header.ToName, NetmailNameSize);
    PutField(out, header.Subject, NetmailSubjectSize);
    PutField(out, header.DateTime, NetmailDateSize);
    for (std::uint16_t value : {header.TimesRead, header.DestNode, header.OrigNode, header.Cost, header.OrigNet,
                                header.DestNet, header.DestZone, header.OrigZone, header.DestPoint, header.OrigPoint,
                                header.ReplyTo, header.Attribute, header.NextReply})
        AppendLittleEndianWord(out, value);
    return out;
}

NetmailHeader DecodeNetmailHeader(std::string_view bytes) {
    NetmailHeader header;
    if (bytes.size() < NetmailHeaderSize) return header;
    header.FromName = GetField(bytes, 0, NetmailNameSize);
    header.ToName = GetField(bytes, 36, NetmailNameSize);
    header.Subject = GetField(bytes, 72, NetmailSubjectSize);
    header.DateTime = GetField(bytes, 144, NetmailDateSize);
    header.TimesRead = LittleEndianWord(bytes, 164);
    header.DestNode = LittleEndianWord(bytes, 166);
    header.OrigNode = LittleEndianWord(bytes, 168);
    header.Cost = LittleEndianWord(bytes, 170);
    header.OrigNet = LittleEndianWord(bytes, 172);
    header.DestNet = LittleEndianWord(bytes, 174);
    header.DestZone = LittleEndianWord(bytes, 176);
    header.OrigZone = LittleEndianWord(bytes, 178);
    header.DestPoint = LittleEndianWord(bytes, 180);
    header.OrigPoint = LittleEndianWord(bytes, 182);
    header.ReplyTo = LittleEndianWord(bytes, 184);
    header.Attribute = LittleEndianWord(bytes, 186);
    header.NextReply = LittleEndianWord(bytes, 188);
    return header;
}

std::uint16_t AttributeWord(std::string_view attributes) {
    std::string text = UpperCase(attributes) + " ";
    std::uint16_t word = 0;
    for (const AttributeBit& entry : AttributeBits)
        if (text.find(std::string(entry.word) + " ") != std::string::npos) word |= entry.bit;
    return word;
}

std::string FlagWords(std::string_view attributes) {
    std::string text = UpperCase(attributes);
    std::string flags;
    if (text.find("DIR") != std::string::npos) flags = "DIR";
    if (!flags.empty()) flags += ' ';
    if (text.find("KFS") != std::string::npos) flags += "KFS";
    return flags;
}

namespace {

constexpr std::uint32_t SerialReserve = 100;

}  // namespace

std::uint32_t NextMsgIdSerial(MsgIdSerials& serials) {
    std::uint32_t last = serials.last;
    std::string content;
    if (last == 0 && !serials.file.empty() && ReadWholeFile(serials.file, content)) {
        std::string text = content.substr(0, content.find_first_of("\r\n"));
        Trim(text);
        ParseHexValue(text, last);
    }
    // The clock keeps serials growing across runs and nodes; last + 1 keeps
    // them apart within one second.
    std::uint32_t serial = std::max(last + 1, static_cast<std::uint32_t>(UnixTimeNow()));
    // The file is rewritten once for a run of serials, not for every
    // message of a long list: it holds the last one this run may use.
    if (!serials.file.empty() && serial > serials.reserved) {
        int error = ReplaceFileSafely(serials.file, HexLong(serial + SerialReserve) + "\n", "");
        if (error != 0) RuntimeError(error);
        serials.reserved = serial + SerialReserve;
    }
    serials.last = serial;
    return serial;
}

std::string NextMessageName(const std::string& directory) {
    std::string dir = directory;
    AddTrailingSlash(dir);
    unsigned long long highest = 1;  // 1.msg is the high-water mark of other tossers
    for (const DirEntry& entry : FindFiles(dir + "*.msg", SearchKind::Any)) {
        std::string_view stem = std::string_view(entry.name).substr(0, entry.name.find('.'));
        if (stem.empty() || stem.size() > 18) continue;
        unsigned long long number = 0;
        bool digits = true;
        for (char c : stem) {
            if (!IsDigit(c)) {
                digits = false;
                break;
            }
            number = number * 10 + static_cast<unsigned>(c - '0');
        }
        if (digits && number > highest) highest = number;
    }
    // A tosser that deletes the mail it exports (crashmail, with
    // MSG_HIGHWATER) keeps the number of the last one in the reply field of
    // 1.msg; a message numbered below it would never be exported.
    NetmailHeader mark;
    if (ReadNetmailHeader(dir + "1.msg", mark) && mark.ReplyTo > highest) highest = mark.ReplyTo;
    return dir + std::to_string(highest + 1) + ".msg";
}

std::string BuildNetmail(MsgIdSerials& serials, std::string_view fromName, std::string_view toName,
                         std::string_view fromAddress, std::string_view toAddress, std::string_view subject,
                         const std::vector<std::string>* bodyLines, std::string_view attributes,
                         std::string_view origin) {
    FidoAddress from = ParseAddress(fromAddress);
    FidoAddress to = ParseAddress(toAddress);
    if (to.net == 0) to.net = from.net;

    NetmailHeader header;
    header.FromName = std::string(fromName);
    header.ToName = std::string(toName);
    header.Subject = std::string(subject);
    header.DateTime = MessageDateText();
    header.DestNode = to.node;
    header.OrigNode = from.node;
    header.OrigNet = from.net;
    header.DestNet = to.net;
    header.DestZone = to.zone;
    header.OrigZone = from.zone;
    header.DestPoint = to.point;
    header.OrigPoint = from.point;
    header.Attribute = AttributeWord(attributes);

    const std::string product = "Brenmoor v." + std::string(VersionNumber) + "." + std::string(PlatformWord);
    std::string out = EncodeNetmailHeader(header);
    auto kludge = [&out](const std::string& text) {
        out += Soh;
        out += text;
        out += Cr;
    };
    kludge("INTL " + FormatAddressParts(to.zone, to.net, to.node, 0) + " " +
           FormatAddressParts(from.zone, from.net, from.node, 0));
    kludge("TOPT " + NumberText(to.point));
    kludge("FMPT " + NumberText(from.point));
    std::string flags = FlagWords(attributes);
    if (!flags.empty()) kludge("FLAGS " + flags);
    // The point is always written here, also 0.
    kludge("MSGID: " + NumberText(from.zone) + ":" + NumberText(from.net) + "/" + NumberText(from.node) + "." +
           NumberText(from.point) + " " + HexLong(NextMsgIdSerial(serials)));
    kludge("PID: " + product);

    if (bodyLines == nullptr) {
        out += '\0';
        return out;
    }
    for (const std::string& line : *bodyLines) {
        out += line;
        out += Cr;
    }
    out += Cr;
    out += "--- " + product;
    out += Cr;
    if (!origin.empty()) {
        out += " * Origin: ";
        out += origin;
        out += Cr;
    }
    out.append(2, '\0');
    return out;
}

void WriteNetmail(MsgIdSerials& serials, const std::string& fileName, std::string_view fromName,
                  std::string_view toName, std::string_view fromAddress, std::string_view toAddress, std::string_view subject,
                  const std::string& bodyFileName, std::string_view attributes, std::string_view origin) {
    // The body is read before the message file is created, so a body that
    // cannot be read leaves no half-written message for the mailer.
    std::vector<std::string> lines;
    const std::vector<std::string>* body = nullptr;
    if (!bodyFileName.empty()) {
        ClearErrorNumber();
        if (!ReadSysopTextLines(bodyFileName, lines)) RuntimeError(FileErrorNumber(bodyFileName));
        body = &lines;
    }
    std::string bytes =
        BuildNetmail(serials, fromName, toName, fromAddress, toAddress, subject, body, attributes, origin);
    // Only a free name is taken. A message standing there with our sender,
    // addressee and subject is this one, written by a run that was killed
    // before it noted so; another program's message is never replaced.
    constexpr std::size_t NamesAndSubject = 36 + 36 + 72;
    std::string target = fileName;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const int error = PublishNewFile(target, bytes);
        if (error == 0) return;
        if (error != EEXIST) RuntimeError(error);
        std::string existing;
        if (ReadWholeFile(target, existing) && existing.size() >= NamesAndSubject &&
            existing.compare(0, NamesAndSubject, bytes, 0, NamesAndSubject) == 0)
            return;
        target = NextMessageName(ExtractDir(target));
    }
    RuntimeError(EEXIST);
}

namespace {

// "dir/N.msg" -> "dir/N+1.msg".
std::string FollowingMessageName(const std::string& name) {
    const std::string dir = ExtractDir(name);
    const std::string file = ExtractFileName(name);
    return dir + std::to_string(std::stoull(file.substr(0, file.find('.'))) + 1) + ".msg";
}

}  // namespace

std::string BuildOutgoingNetmail(MsgIdSerials& serials, const OutgoingNetmail& m) {
    return BuildNetmail(serials, m.fromName, m.toName, m.fromAddress, m.toAddress, m.subject,
                        m.hasBody ? &m.body : nullptr, m.attributes, m.origin);
}

int WriteOutgoingNetmail(MsgIdSerials& serials, const std::string& directory,
                         const std::vector<OutgoingNetmail>& messages, std::vector<std::string>* names) {
    if (directory.empty()) return ENOENT;
    // Every message is built before the first is written: building takes
    // the serials, and a serial that cannot be kept ends the run.
    std::vector<std::string> built;
    built.reserve(messages.size());
    for (const OutgoingNetmail& m : messages) built.push_back(BuildOutgoingNetmail(serials, m));
    std::vector<std::string> written;
    for (const std::string& bytes : built) {
        // A free name only: a tosser may write one meanwhile.
        // The number after the last one written, without a new search of
        // the directory for each part of a long list.
        std::string name = written.empty() ? NextMessageName(directory) : FollowingMessageName(written.back());
        int error = PublishNewFile(name, bytes);
        for (int attempt = 0; attempt < 3 && error == EEXIST; ++attempt) {
            name = NextMessageName(directory);
            error = PublishNewFile(name, bytes);
        }
        if (error != 0) {
            for (const std::string& done : written) DeleteFile(done);
            return error;
        }
        written.push_back(name);
    }
    if (names != nullptr) names->insert(names->end(), written.begin(), written.end());
    return 0;
}

NetmailMessage ParseNetmail(std::string_view bytes, bool headerOnly) {
    NetmailMessage message;
    if (bytes.size() < NetmailHeaderSize) return message;
    message.Header = DecodeNetmailHeader(bytes);
    NetmailHeader& header = message.Header;
    // Zones and points come from the kludges only.
    header.DestZone = header.OrigZone = header.DestPoint = header.OrigPoint = 0;

    // The text runs to its NUL; whatever follows it is not part of the message.
    std::string_view text = bytes.substr(NetmailHeaderSize);
    std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);

    // CR LF is one line end; a bare CR or a bare LF ends a line too.
    for (std::string& line : SplitLines(text, MaxText)) {
        std::string_view lead = SkipBlanks(line);
        if (!lead.empty() && lead.front() == Soh) {
            ApplyKludge(lead.substr(1), header);
            continue;
        }
        if (headerOnly) break;
        message.Body.push_back(std::move(line));
    }

    if (header.DestZone == 0) header.DestZone = header.OrigZone;
    return message;
}

bool ReadNetmailHeader(const std::string& fileName, NetmailHeader& header) {
    std::string bytes;
    if (!ReadWholeFile(fileName, bytes) || bytes.size() < NetmailHeaderSize) {
        ClearErrorNumber();
        return false;
    }
    header = ParseNetmail(bytes, true).Header;
    return true;
}

NetmailMessage ReadNetmail(const std::string& fileName) {
    // A message that cannot be read ends the run before anything else is
    // done with it: the file stays where it is for the next run.
    try {
        std::string bytes;
        ClearErrorNumber();
        if (!ReadWholeFile(fileName, bytes)) RuntimeError(FileErrorNumber(fileName));
        if (bytes.size() < NetmailHeaderSize) RuntimeError(EIO);
        return ParseNetmail(bytes, false);
    } catch (const std::bad_alloc&) {
        ExitProgram(10);
    }
}
