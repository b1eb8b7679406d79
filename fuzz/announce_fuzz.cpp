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
        std::size_t blocks = join.strays;
        for (const StoredRecord& stored : records) blocks += stored.blocks;
        // A left-out record takes at least one block.
        if (blocks + join.torn > bytes.size() / AnnouncementRecordSize) Fail("more blocks than the file holds", 0);
        std::size_t at = 0;
        for (std::size_t i = 0; i < records.size(); ++i) {
            const StoredRecord& stored = records[i];
            const std::string block = AnnouncementRecordBytes(stored.record);
            const std::size_t found = bytes.find(block, at);
            if (found == std::string_view::npos || found % AnnouncementRecordSize != 0)
                Fail("does not come back as it was stored", i + 1);
            at = found + stored.blocks * AnnouncementRecordSize;
            const AnnouncementRecord& r = stored.record;
            const std::string again = AnnouncementBytes(
                stored.fileEcho, std::string_view(r.Comment, sizeof r.Comment), stored.fileName,
                std::string_view(r.Directory, sizeof r.Directory), AddressText(r.Origin), AddressText(r.From),
                std::string_view(&r.Group, 1));
            StoredRecord read;
            RecordJoin rejoin;
            bool whole = false;
            for (std::size_t n = 0; n < again.size(); n += AnnouncementRecordSize)
                whole = JoinRecordBlock(rejoin, std::string_view(again).substr(n, AnnouncementRecordSize), read);
            if (!whole || read.fileEcho != stored.fileEcho.substr(0, 255) || read.fileName != stored.fileName)
                Fail("written again reads back otherwise", i + 1);
        }
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
