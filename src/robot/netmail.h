#pragma once
// Stored netmail messages ("N.msg"): the 190-byte header, the kludge lines
// and the text. Answers and notices are written here, requests read here.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr std::size_t NetmailHeaderSize = 190;
constexpr std::size_t NetmailNameSize = 36;     // from name, to name
constexpr std::size_t NetmailSubjectSize = 72;
constexpr std::size_t NetmailDateSize = 20;

// The fixed header at the start of every message file. On disk the texts are
// NUL-padded fields and the numbers unsigned 16-bit little-endian, in this
// order; here the texts hold the bytes before the first NUL of their field.
struct NetmailHeader {
    std::string FromName;      // offset 0, 36 bytes
    std::string ToName;        // 36, 36 bytes
    std::string Subject;       // 72, 72 bytes
    std::string DateTime;      // 144, 20 bytes
    std::uint16_t TimesRead = 0;   // 164
    std::uint16_t DestNode = 0;    // 166
    std::uint16_t OrigNode = 0;    // 168
    std::uint16_t Cost = 0;        // 170
    std::uint16_t OrigNet = 0;     // 172
    std::uint16_t DestNet = 0;     // 174
    std::uint16_t DestZone = 0;    // 176
    std::uint16_t OrigZone = 0;    // 178
    std::uint16_t DestPoint = 0;   // 180
    std::uint16_t OrigPoint = 0;   // 182
    std::uint16_t ReplyTo = 0;     // 184
    std::uint16_t Attribute = 0;   // 186
    std::uint16_t NextReply = 0;   // 188
};

// A message as read: the header with zones and points taken from the
// kludges, and the body lines (kludges left out, CR removed, <= 255 each).
struct NetmailMessage {
    NetmailHeader Header;
    std::vector<std::string> Body;
};

// Attribute bits of the header.
constexpr std::uint16_t AttrPrivate = 1;
constexpr std::uint16_t AttrCrash = 2;
constexpr std::uint16_t AttrReceived = 4;
constexpr std::uint16_t AttrSent = 8;
constexpr std::uint16_t AttrFileAttached = 16;
constexpr std::uint16_t AttrInTransit = 32;
constexpr std::uint16_t AttrOrphan = 64;
constexpr std::uint16_t AttrKillSent = 128;
constexpr std::uint16_t AttrLocal = 256;
constexpr std::uint16_t AttrHold = 512;
constexpr std::uint16_t AttrFileRequest = 2048;

// The header in its 190-byte file form, and back (bytes must hold at least
// NetmailHeaderSize bytes). Texts longer than their field are cut.
std::string EncodeNetmailHeader(const NetmailHeader& header);
NetmailHeader DecodeNetmailHeader(std::string_view bytes);

// The 16-bit attribute word of a text of blank-separated words such as
// "DIR PVT LOC K/S": each known word followed by a blank sets its bit.
std::uint16_t AttributeWord(std::string_view attributes);

// The "FLAGS" kludge words of an attribute text: "DIR " for DIR, "DIR KFS"
// for both, "KFS" alone, empty for neither.
std::string FlagWords(std::string_view attributes);

// Directory + the next free "N.msg": one above the highest number of the
// "*.msg" names (any letter case), never 1, so an empty directory gives 2.
std::string NextMessageName(const std::string& directory);

// MSGID serials: unique per message and never repeated, also by the next run
// a second later. The larger of the last serial + 1 and the clock; the last
// one is kept in file (the driver names it at start-up).
struct MsgIdSerials {
    std::string file;           // where the last serial is kept between runs
    std::uint32_t last = 0;     // the last serial of this run
    std::uint32_t reserved = 0; // the file holds this one: serials up to it are this run's
};
std::uint32_t NextMsgIdSerial(MsgIdSerials& serials);

// The complete file contents of one message; bodyLines null means no body
// file (the text is only the kludges and a NUL, no tear line).
std::string BuildNetmail(MsgIdSerials& serials, std::string_view fromName, std::string_view toName,
                         std::string_view fromAddress, std::string_view toAddress,
                         std::string_view subject, const std::vector<std::string>* bodyLines,
                         std::string_view attributes, std::string_view origin);

// Writes one message file under that name, or under the next free one when
// another program's message stands there. The body file
// and the origin may be empty. A body file that cannot be read, or a message
// file that cannot be written, ends the run with a run-time error; no message
// file is left behind then.
void WriteNetmail(MsgIdSerials& serials, const std::string& fileName, std::string_view fromName,
                  std::string_view toName, std::string_view fromAddress, std::string_view toAddress, std::string_view subject,
                  const std::string& bodyFileName, std::string_view attributes, std::string_view origin);

// A message built in memory and written later, with the others of its
// request: everything BuildNetmail takes.
struct OutgoingNetmail {
    std::string fromName, toName, fromAddress, toAddress, subject;
    bool hasBody = true;             // false: only the kludges, no tear line
    std::vector<std::string> body;
    std::string attributes, origin;
};

// The file contents of the message.
std::string BuildOutgoingNetmail(MsgIdSerials& serials, const OutgoingNetmail& message);

// Writes the messages under the next free names of the directory, in
// order, and adds their names to written (when given). When one cannot be
// written, the ones written before it are removed again. 0, or the errno of
// the failure.
int WriteOutgoingNetmail(MsgIdSerials& serials, const std::string& directory,
                         const std::vector<OutgoingNetmail>& messages, std::vector<std::string>* written);

// The header and the kludges at the start of the text. False, with the
// header left as it was, when the file cannot be read or is shorter than
// the header.
bool ReadNetmailHeader(const std::string& fileName, NetmailHeader& header);

// Header, all kludges and every body line. A file that cannot be read or is
// shorter than the header ends the run with a run-time error and is left as
// it is; running out of memory ends the run with exit code 10.
NetmailMessage ReadNetmail(const std::string& fileName);

// Parses message file bytes (an empty message when there are fewer than
// NetmailHeaderSize). The text ends at its NUL or at the end of the bytes;
// lines end at CR, CR LF or LF and are cut at 255. Kludges are taken from
// anywhere in the text; headerOnly stops at the first line that is not one.
NetmailMessage ParseNetmail(std::string_view bytes, bool headerOnly);
