// Announcement records on any record file: every whole block is read into
// a record or counted as a piece left out, each record block comes back
// unchanged, and a record written again from what was read reads back the
// same (a record file is rewritten by nobody, so the layout must lose
// nothing).
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "announce/records.h"
#include "frame/exit.h"
#include "scratch.h"

namespace {

[[noreturn]] void Fail(const char* what, std::size_t record) {
    std::fprintf(stderr, "record %zu: %s\n", record, what);
    std::abort();
}

std::string AddressText(const FidoAddress& address) {
    return std::to_string(address.zone) + ":" + std::to_string(address.net) + "/" + std::to_string(address.node) +
           "." + std::to_string(address.point);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QuietConsole();
    const std::string_view bytes = InputBytes(data, size);
    try {
        std::vector<StoredRecord> records;
        RecordJoin join;
        if (ReadAnnouncementRecords(WriteScratchFile("07-12-26.ann", bytes), records, join) != 0) std::abort();
        // The same blocks joined one by one: the same records, each from
        // the blocks it ends at.
        RecordJoin again;
        StoredRecord joined;
        std::size_t count = 0;
        const std::size_t whole = bytes.size() / AnnouncementRecordSize;
        for (std::size_t n = 0; n < whole; ++n) {
            if (!JoinRecordBlock(again, bytes.substr(n * AnnouncementRecordSize, AnnouncementRecordSize), joined))
                continue;
            if (count >= records.size()) Fail("read fewer records than joined", count + 1);
            const StoredRecord& stored = records[count++];
            const std::size_t first = (n + 1 - stored.blocks) * AnnouncementRecordSize;
            if (stored.fileName != joined.fileName || stored.fileEcho != joined.fileEcho ||
                AnnouncementRecordBytes(stored.record) != bytes.substr(first, AnnouncementRecordSize))
                Fail("does not come back as it was stored", count);
            const AnnouncementRecord& r = stored.record;
            const std::string written = AnnouncementBytes(
                stored.fileEcho, std::string_view(r.Comment, sizeof r.Comment), stored.fileName,
                std::string_view(r.Directory, sizeof r.Directory), AddressText(r.Origin), AddressText(r.From),
                std::string_view(&r.Group, 1));
            StoredRecord read;
            RecordJoin rejoin;
            bool complete = false;
            for (std::size_t at = 0; at < written.size(); at += AnnouncementRecordSize)
                complete = JoinRecordBlock(rejoin, std::string_view(written).substr(at, AnnouncementRecordSize), read);
            if (!complete || read.fileEcho != stored.fileEcho.substr(0, 255) || read.fileName != stored.fileName)
                Fail("written again reads back otherwise", count);
        }
        EndRecordBlocks(again);
        if (count != records.size() || again.torn != join.torn || again.strays != join.strays)
            Fail("joined otherwise than read", count);
        for (const StoredRecord& stored : records) {
            const DirectoryListing listing = MakeDirectoryListing(FindFiles(ScratchDir() + "*", SearchKind::FilesOnly));
            if (stored.wholeName)
                FindWholeName(listing, stored.fileName);
            else
                ResolveRecordedFile(ScratchDir(), std::string_view(stored.record.File, sizeof stored.record.File));
        }
    } catch (const ProgramExit&) {
        // A read failure: the program ends there too.
    }
    return 0;
}
