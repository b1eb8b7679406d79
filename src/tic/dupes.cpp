// The dupe database: a header record and a ring of file records, 44 bytes
// each, little-endian.
#include "tic/dupes.h"

#include <functional>
#include <unordered_map>
#include <vector>

#include "frame/exit.h"
#include "frame/platform.h"
#include "frame/platform_blockio.h"
#include "frame/utils.h"
#include "tic/tic.h"

namespace {

constexpr std::size_t DupeAreaLength = 20;
constexpr std::size_t DupeNameLength = 12;
constexpr std::size_t DupeNumberOffset = 40;

std::string PaddedField(std::string_view text, std::size_t length) {
    std::string field = UpperCase(text.substr(0, std::min(text.size(), length)));
    field.resize(length, ' ');
    return field;
}

std::string HeaderBytes(std::int32_t last) {
    std::string header(DupeSignature);
    header.append(20, '\0');
    AppendLittleEndianLong(header, static_cast<std::uint32_t>(last));
    return header;
}

std::string RecordBytes(std::string_view area, std::string_view fileName, std::uint32_t crc, std::int32_t size,
                        std::int32_t number) {
    std::string record = PaddedField(area, DupeAreaLength) + PaddedField(fileName, DupeNameLength);
    AppendLittleEndianLong(record, crc);
    AppendLittleEndianLong(record, static_cast<std::uint32_t>(size));
    AppendLittleEndianLong(record, static_cast<std::uint32_t>(number));
    return record;
}

// A stored or requested tag or name as it is compared: up to a zero byte,
// cut at ";", trimmed and upper-cased. Both sides go through this, so a name
// holding ";" still finds its own record.
std::string ComparableField(std::string_view text, std::size_t length) {
    text = text.substr(0, std::min(text.size(), length));
    std::string field(text.substr(0, text.find('\0')));
    StripComment(field);
    Trim(field);
    UpperCaseInPlace(field);
    return field;
}

bool HasDupeHeader(std::string_view content) {
    return content.size() >= DupeRecordSize && content.substr(0, DupeSignature.size()) == DupeSignature;
}

// ---- Which record may hold which file -----------------------------------------

using DupeKey = std::size_t;

DupeKey KeyOf(std::string_view comparableArea, std::string_view comparableName, std::uint32_t size) {
    std::string text(comparableArea);
    text += '\0';
    text += comparableName;
    text += '\0';
    text += std::to_string(size);
    return std::hash<std::string>{}(text);
}

DupeKey RecordKey(std::string_view record) {
    return KeyOf(ComparableField(record.substr(0, DupeAreaLength), DupeAreaLength),
                 ComparableField(record.substr(DupeAreaLength, DupeNameLength), DupeNameLength),
                 LittleEndianLong(record, 36));
}

void DropIndex(DupeIndex& index) {
    CloseOpenFile(index.fd);
    index.fd = -1;
    index.file.clear();
}

void IndexContent(DupeIndex& index, std::string_view content) {
    index.keys.assign(1, 0);
    index.positions.clear();
    const std::size_t records = content.size() / DupeRecordSize;
    for (std::size_t position = 1; position < records; ++position) {
        const DupeKey key = RecordKey(content.substr(position * DupeRecordSize, DupeRecordSize));
        index.keys.push_back(key);
        index.positions[key].push_back(static_cast<std::uint32_t>(position));
    }
}

// The index of the file as it stands, or null when it holds no records.
const DupeIndex* CurrentIndex(DupeIndex& index, const std::string& file) {
    FileIdentity now;
    if (!GetFileIdentity(file, now)) {
        DropIndex(index);
        return nullptr;
    }
    if (index.file == file && index.identity == now) return &index;
    DropIndex(index);
    std::string content;
    FileIdentity read;
    bool writable = false;
    const int fd = OpenRecordFile(file, read, writable);
    if (fd < 0) return nullptr;
    if (ReadOpenFileRange(fd, 0, static_cast<std::size_t>(read.size), content) != 0 || !HasDupeHeader(content)) {
        CloseOpenFile(fd);
        return nullptr;
    }
    index.fd = fd;
    index.writable = writable;
    index.file = file;
    index.identity = read;
    IndexContent(index, content);
    return &index;
}

// The index when it is the one of the file as it stood (before), open for
// writing.
DupeIndex* IndexOf(DupeIndex& index, const std::string& file, const FileIdentity& before) {
    return index.fd >= 0 && index.writable && index.file == file && index.identity == before ? &index : nullptr;
}

// After this program wrote the record at position through the index's file:
// the index follows.
void IndexWrittenRecord(DupeIndex& index, std::size_t position, std::string_view record) {
    if (position > index.keys.size() || !GetOpenFileIdentity(index.fd, index.identity)) {
        DropIndex(index);
        return;
    }
    const DupeKey key = RecordKey(record);
    if (position == index.keys.size()) {
        index.keys.push_back(key);
    } else {
        std::vector<std::uint32_t>& old = index.positions[index.keys[position]];
        std::erase(old, static_cast<std::uint32_t>(position));
        if (old.empty()) index.positions.erase(index.keys[position]);
        index.keys[position] = key;
    }
    index.positions[key].push_back(static_cast<std::uint32_t>(position));
}

[[noreturn]] void DupeFileFailure(int error) { RuntimeError(error != 0 ? error : 5); }

void CreateDupeFile(const std::string& dupeFile, const std::string& record) {
    int error = WriteWholeFile(dupeFile, HeaderBytes(1) + record);
    if (error != 0) DupeFileFailure(error);
}

}  // namespace

DupeIndex::~DupeIndex() { CloseOpenFile(fd); }

std::string ForeignDupeFileName(const std::string& dupeFile) {
    std::string name = dupeFile + ".bad";
    for (int n = 1; FileExists(name) && n < 10000; ++n) name = dupeFile + ".bad" + NumberText(n);
    return name;
}

bool IsDupe(DupeIndex& dupeIndex, const std::string& dupeFile, std::string_view area, std::string_view fileName,
            std::uint32_t crc, std::int32_t size) {
    if (dupeFile.empty()) return false;
    const DupeIndex* index = CurrentIndex(dupeIndex, dupeFile);
    if (index == nullptr) return false;
    const std::string wantedArea = ComparableField(UpperCase(area), DupeAreaLength);
    const std::string wantedName = ComparableField(UpperCase(fileName), DupeNameLength);
    auto candidates = index->positions.find(KeyOf(wantedArea, wantedName, static_cast<std::uint32_t>(size)));
    if (candidates == index->positions.end()) return false;
    for (std::uint32_t position : candidates->second) {
        std::string record;
        if (ReadOpenFileRange(index->fd, std::uint64_t{position} * DupeRecordSize, DupeRecordSize, record) != 0 ||
            record.size() != DupeRecordSize)
            continue;
        // A record from a TIC without a Crc line holds FFFFFFFF: name and
        // size decide for it.
        const std::uint32_t recordCrc = LittleEndianLong(record, 32);
        if ((recordCrc != crc && recordCrc != NoTicCrc) ||
            LittleEndianLong(record, 36) != static_cast<std::uint32_t>(size))
            continue;
        if (ComparableField(record.substr(0, DupeAreaLength), DupeAreaLength) != wantedArea) continue;
        if (ComparableField(record.substr(DupeAreaLength, DupeNameLength), DupeNameLength) != wantedName) continue;
        return true;
    }
    return false;
}

bool IsLastDupe(const std::string& dupeFile, std::string_view area, std::string_view fileName, std::uint32_t crc,
                std::int32_t size) {
    std::string header, record;
    if (ReadFileRange(dupeFile, 0, DupeRecordSize, header) != 0 || !HasDupeHeader(header)) return false;
    const std::int32_t last = static_cast<std::int32_t>(LittleEndianLong(header, DupeNumberOffset));
    if (last < 1) return false;
    return ReadFileRange(dupeFile, static_cast<std::uint64_t>(last) * DupeRecordSize, DupeRecordSize, record) == 0 &&
           record == RecordBytes(area, fileName, crc, size, last);
}

DupeAddStatus AddDupe(DupeIndex& dupeIndex, const std::string& dupeFile, std::int32_t maxRecords,
                      const AreaRecord& area, std::string_view fileName, std::uint32_t crc, std::int32_t size) {
    if (dupeFile.empty()) return DupeAddStatus::NoDupeFile;
    const std::uint16_t ringSize = static_cast<std::uint16_t>(maxRecords);

    FileIdentity before;
    if (!GetFileIdentity(dupeFile, before) || before.size == 0) {
        CreateDupeFile(dupeFile, RecordBytes(area.Name, fileName, crc, size, 1));
        return DupeAddStatus::Added;
    }
    if (!IsRegularFile(dupeFile)) return DupeAddStatus::ForeignKept;
    // Through the indexed file when it is this one; a write through it must
    // reach the file the path names.
    DupeIndex* index = IndexOf(dupeIndex, dupeFile, before);
    auto read = [&](std::uint64_t offset, std::string& data) {
        return index ? ReadOpenFileRange(index->fd, offset, DupeRecordSize, data)
                     : ReadFileRange(dupeFile, offset, DupeRecordSize, data);
    };
    auto write = [&](std::uint64_t offset, std::string_view bytes) {
        return index ? WriteOpenFileRange(index->fd, offset, bytes) : WriteFileRange(dupeFile, offset, bytes);
    };
    std::string header;
    int error = read(0, header);
    if (error != 0) DupeFileFailure(error);
    const std::uint64_t fileSize = before.size;

    if (!HasDupeHeader(header)) {
        // Not ours: keep it for its owner and start a new database.
        std::string target = ForeignDupeFileName(dupeFile);
        if (FileExists(target) || RenameFile(dupeFile, target) != 0) return DupeAddStatus::ForeignKept;
        CreateDupeFile(dupeFile, RecordBytes(area.Name, fileName, crc, size, 1));
        return DupeAddStatus::ForeignMoved;
    }

    // The header's number is trusted only as far as the file holds records:
    // never write over the header, and never leave a hole after the last
    // complete record.
    const std::int64_t complete = static_cast<std::int64_t>(fileSize / DupeRecordSize) - 1;
    std::int64_t next = static_cast<std::int32_t>(LittleEndianLong(header, DupeNumberOffset));
    next = next < 0 ? 1 : next + 1;
    if (next > ringSize) next = 1;
    else if (next > complete + 1) next = complete + 1;

    const std::int32_t number = static_cast<std::int32_t>(next);
    const std::string record = RecordBytes(area.Name, fileName, crc, size, number);
    error = write(static_cast<std::uint64_t>(number) * DupeRecordSize, record);
    if (error == 0) {
        std::string numberBytes;
        AppendLittleEndianLong(numberBytes, static_cast<std::uint32_t>(number));
        error = write(DupeNumberOffset, numberBytes);
    }
    if (error != 0) {
        DropIndex(dupeIndex);
        DupeFileFailure(error);
    }
    if (index) IndexWrittenRecord(*index, static_cast<std::size_t>(number), record);
    return DupeAddStatus::Added;
}
