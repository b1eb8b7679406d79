// The netmail reader on any message bytes: whole and header-only, and the
// 190-byte header, which must encode back to what it decoded from.
#include <cstdio>
#include <cstdlib>

#include "frame/exit.h"
#include "frame/platform.h"
#include "robot/netmail.h"
#include "scratch.h"

namespace {

bool SameHeader(const NetmailHeader& a, const NetmailHeader& b) {
    return a.FromName == b.FromName && a.ToName == b.ToName && a.Subject == b.Subject &&
           a.DateTime == b.DateTime && a.TimesRead == b.TimesRead && a.DestNode == b.DestNode &&
           a.OrigNode == b.OrigNode && a.Cost == b.Cost && a.OrigNet == b.OrigNet && a.DestNet == b.DestNet &&
           a.DestZone == b.DestZone && a.OrigZone == b.OrigZone && a.DestPoint == b.DestPoint &&
           a.OrigPoint == b.OrigPoint && a.ReplyTo == b.ReplyTo && a.Attribute == b.Attribute &&
           a.NextReply == b.NextReply;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QuietConsole();
    const std::string_view bytes = InputBytes(data, size);
    try {
        const NetmailMessage whole = ParseNetmail(bytes, false);
        const NetmailMessage head = ParseNetmail(bytes, true);
        for (const std::string& line : whole.Body)
            if (line.size() > MaxText) std::abort();
        (void)head;
        if (bytes.size() >= NetmailHeaderSize) {
            const NetmailHeader header = DecodeNetmailHeader(bytes);
            const std::string encoded = EncodeNetmailHeader(header);
            if (encoded.size() != NetmailHeaderSize || !SameHeader(DecodeNetmailHeader(encoded), header)) {
                std::fprintf(stderr, "header does not encode back\n");
                std::abort();
            }
        }
    } catch (const ProgramExit&) {
        // Out of memory: the program's own end.
    }
    return 0;
}
