#pragma once
// The dupe database: a ring of 44-byte records remembering which files were
// received in which file echo. The file stays the only copy: the run keeps
// an index of which record may hold which file, checked against the file's
// identity before each use.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/areas.h"
#include "frame/platform.h"

constexpr std::size_t DupeRecordSize = 44;
constexpr std::string_view DupeSignature = "Brenmoor DUPE file  ";  // first 20 bytes of the header

// Which record may hold which file: the dupe database's part of a run (the
// driver makes one per command). A check looks only at the records whose
// area, name and size hash alike; the index is made again when the file is
// not the one indexed (another program wrote it), and follows this
// program's own adds. The file indexed stays open while the index lives.
struct DupeIndex {
    DupeIndex() = default;
    ~DupeIndex();
    DupeIndex(const DupeIndex&) = delete;
    DupeIndex& operator=(const DupeIndex&) = delete;
    std::string file;
    FileIdentity identity;
    int fd = -1;  // the file indexed, open for the run
    bool writable = false;
    std::vector<std::size_t> keys;                                         // of each record position (0: the header)
    std::unordered_map<std::size_t, std::vector<std::uint32_t>> positions;  // key -> positions holding it
};

enum class DupeAddStatus {
    Added,           // recorded (also into a freshly created file)
    NoDupeFile,      // DUPEFILE is empty: nothing recorded
    ForeignMoved,    // the file was not a dupe database: it was renamed to
                     // ForeignDupeFileName() and a new database was started
    ForeignKept,     // not a dupe database and it could not be moved: left
                     // untouched, nothing recorded
};

// True when a record with the same area tag, file name (both compared
// upper-cased and cut to 20 and 12 characters), CRC and size exists anywhere
// in the file. A missing, unreadable or foreign file holds no dupes; a
// trailing partial record is ignored.
bool IsDupe(DupeIndex& index, const std::string& dupeFile, std::string_view area, std::string_view fileName,
            std::uint32_t crc, std::int32_t size);

// The record the header names as the last one written is this file's: an
// add that ended before it was noted elsewhere need not be done again. (An
// add cut short between record and header is redone into the same slot.)
bool IsLastDupe(const std::string& dupeFile, std::string_view area, std::string_view fileName, std::uint32_t crc,
                std::int32_t size);

// Records a received file in the ring of maxRecords records (low 16 bits of
// MAXDUPEREC). A write failure on the open file ends the run with a run-time
// error.
DupeAddStatus AddDupe(DupeIndex& index, const std::string& dupeFile, std::int32_t maxRecords, const AreaRecord& area,
                      std::string_view fileName, std::uint32_t crc, std::int32_t size);

// Where a foreign file found under the dupe database's name is moved:
// the name + ".bad", or + ".bad1" ... when that is taken.
std::string ForeignDupeFileName(const std::string& dupeFile);
