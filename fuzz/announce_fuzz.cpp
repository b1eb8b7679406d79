// Announcement records on any record file: every whole record is read, and
// each one's bytes come back from the record unchanged (a record file is
// rewritten by nobody, so the layout must lose nothing).
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "announce/records.h"
#include "frame/exit.h"
#include "scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QuietConsole();
    const std::string_view bytes = InputBytes(data, size);
    try {
        std::vector<AnnouncementRecord> records;
        if (ReadAnnouncementRecords(WriteScratchFile("07-12-26.ann", bytes), records) != 0) std::abort();
        if (records.size() != bytes.size() / AnnouncementRecordSize) {
            std::fprintf(stderr, "%zu records read of %zu\n", records.size(), bytes.size() / AnnouncementRecordSize);
            std::abort();
        }
        for (std::size_t i = 0; i < records.size(); ++i) {
            const std::string_view stored = bytes.substr(i * AnnouncementRecordSize, AnnouncementRecordSize);
            if (AnnouncementRecordBytes(AnnouncementRecordFromBytes(stored)) != stored ||
                AnnouncementRecordBytes(records[i]) != stored) {
                std::fprintf(stderr, "record %zu does not come back as it was stored\n", i + 1);
                std::abort();
            }
        }
        for (const AnnouncementRecord& record : records)
            ResolveRecordedFile(ScratchDir(), std::string_view(record.File, sizeof record.File));
    } catch (const ProgramExit&) {
        // A read failure: the program ends there too.
    }
    return 0;
}
