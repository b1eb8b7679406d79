// The dupe database on any file: looked up, then a file added to it. The
// file asked for is the input's first record (a real database holds it), so
// that lookups find something; once added, it must be found, and be the last
// record the header names, whatever the file held before.
#include <cstdio>
#include <cstdlib>

#include "frame/exit.h"
#include "frame/platform.h"
#include "frame/utils.h"
#include "scratch.h"
#include "tic/dupes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QuietConsole();
    const std::string_view bytes = InputBytes(data, size);
    const std::string path = WriteScratchFile("brenmoor.dup", bytes);
    AreaRecord area;
    area.Name = "FIDO.SOFT";
    std::string name = "FILE.ZIP";
    std::uint32_t crc = 0x1234ABCD;
    std::int32_t fileSize = 4096;
    if (bytes.size() >= 2 * DupeRecordSize) {
        area.Name = std::string(bytes.substr(44, 20));
        name = std::string(bytes.substr(64, 12));
        crc = LittleEndianLong(bytes, 76);
        fileSize = static_cast<std::int32_t>(LittleEndianLong(bytes, 80));
    }
    // A ring as long as the file, or a few records longer: it wraps or grows.
    const std::int32_t ring =
        static_cast<std::int32_t>(bytes.size() / DupeRecordSize) + (size ? data[size - 1] & 3 : 0);
    DupeIndex index;
    try {
        IsDupe(index, path, area.Name, name, crc, fileSize);
        IsLastDupe(path, area.Name, name, crc, fileSize);
        const DupeAddStatus status = AddDupe(index, path, ring, area, name, crc, fileSize);
        if (status == DupeAddStatus::Added || status == DupeAddStatus::ForeignMoved) {
            if (!IsDupe(index, path, area.Name, name, crc, fileSize)) {
                std::fprintf(stderr, "added file is no dupe\n");
                std::abort();
            }
            if (!IsLastDupe(path, area.Name, name, crc, fileSize)) {
                std::fprintf(stderr, "added file is not the last record\n");
                std::abort();
            }
        }
    } catch (const ProgramExit&) {
        // A run-time error on the database: the program ends there too.
    }
    DeleteFile(ForeignDupeFileName(path));
    DeleteFile(path + ".bad");
    return 0;
}
