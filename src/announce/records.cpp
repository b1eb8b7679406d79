#include "announce/records.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "frame/exit.h"
#include "frame/platform_blockio.h"
#include "frame/utils.h"

static_assert(sizeof(AnnouncementRecord) == AnnouncementRecordSize);
static_assert(offsetof(AnnouncementRecord, FileEcho) == RecordFileEchoAt);
static_assert(offsetof(AnnouncementRecord, Comment) == RecordCommentAt);
static_assert(offsetof(AnnouncementRecord, File) == RecordFileAt);
static_assert(offsetof(AnnouncementRecord, Directory) == RecordDirectoryAt);
static_assert(offsetof(AnnouncementRecord, Group) == RecordGroupAt);
static_assert(offsetof(AnnouncementRecord, Origin) == RecordOriginAt);
static_assert(offsetof(AnnouncementRecord, From) == RecordFromAt);

namespace {

constexpr std::size_t RecordedNameSize = sizeof(AnnouncementRecord::File);

void PutText(char* field, std::size_t size, std::string_view text) {
    std::memset(field, ' ', size);
    std::memcpy(field, text.data(), text.size() < size ? text.size() : size);
}

void PutAddress(std::string& bytes, std::size_t at, const FidoAddress& address) {
    SetLittleEndianWord(bytes, at, address.zone);
    SetLittleEndianWord(bytes, at + 2, address.net);
    SetLittleEndianWord(bytes, at + 4, address.node);
    SetLittleEndianWord(bytes, at + 6, address.point);
}

FidoAddress GetAddress(std::string_view bytes, std::size_t at) {
    FidoAddress address;
    address.zone = LittleEndianWord(bytes, at);
    address.net = LittleEndianWord(bytes, at + 2);
    address.node = LittleEndianWord(bytes, at + 4);
    address.point = LittleEndianWord(bytes, at + 6);
    return address;
}

// An extension block: the mark, then its share of the extension text, which
// is the tag's length, the name's length, the tag, the name and blanks.
constexpr std::size_t ExtensionRoom = AnnouncementRecordSize - 1;
constexpr std::size_t MaxWholeText = 255;

std::size_t ExtensionBlocksFor(std::size_t textSize) { return (textSize + ExtensionRoom - 1) / ExtensionRoom; }

std::string FieldText(const char* field, std::size_t size) {
    std::string text(field, size);
    TrimRight(text);
    return text;
}

// The record of a joined record's bytes; false when its extension does not
// hold what the record says.
bool DecodeStoredRecord(std::string_view bytes, StoredRecord& stored) {
    stored.record = AnnouncementRecordFromBytes(bytes);
    stored.blocks = bytes.size() / AnnouncementRecordSize;
    stored.fileEcho = FieldText(stored.record.FileEcho, sizeof stored.record.FileEcho);
    if (stored.blocks == 1) {
        stored.fileName = FieldText(stored.record.File, sizeof stored.record.File);
        stored.wholeName = false;
        return true;
    }
    std::string text;
    for (std::size_t at = AnnouncementRecordSize; at < bytes.size(); at += AnnouncementRecordSize)
        text.append(bytes.substr(at + 1, ExtensionRoom));
    if (text.size() < 2) return false;
    const std::size_t tagSize = static_cast<unsigned char>(text[0]);
    const std::size_t nameSize = static_cast<unsigned char>(text[1]);
    if (ExtensionBlocksFor(2 + tagSize + nameSize) != stored.blocks - 1) return false;
    stored.fileEcho = text.substr(2, tagSize);
    stored.fileName = text.substr(2 + tagSize, nameSize);
    stored.wholeName = true;
    return true;
}

// A file that refuses to be opened drops the record; any other failure
// happened while writing.
bool IsOpenRefusal(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == EISDIR || error == ENOENT;
}

// Appends a record's bytes in one write after the last whole block (a
// partial block left by a crash is written over, so blocks stay aligned).
bool AppendBytesTo(const std::string& path, const std::string& bytes) {
    if (path.empty()) return false;
    const FileStatus status = GetFileStatus(path);
    if (!status.exists) {
        int error = AppendToFile(path, bytes);
        if (error == 0) return true;
        if (!FileExists(path)) return false;  // could not be created
        RuntimeError(error);
    }
    if (!status.regular || status.readOnly) return false;  // cannot be opened for writing
    const std::uint64_t end = status.size / AnnouncementRecordSize * AnnouncementRecordSize;
    int error = WriteFileRange(path, end, bytes);
    if (error == 0) return true;
    if (IsOpenRefusal(error)) return false;
    RuntimeError(error);
}

}  // namespace

AnnouncementRecord BlankAnnouncementRecord() {
    AnnouncementRecord record;
    std::memset(record.FileEcho, ' ', sizeof record.FileEcho);
    std::memset(record.Comment, ' ', sizeof record.Comment);
    std::memset(record.File, ' ', sizeof record.File);
    std::memset(record.Directory, ' ', sizeof record.Directory);
    record.Group = ' ';
    record.Origin = FidoAddress{};
    record.From = FidoAddress{};
    return record;
}

AnnouncementRecord MakeAnnouncementRecord(std::string_view fileEcho, std::string_view comment,
                                          std::string_view fileName, std::string_view fileDirectory,
                                          std::string_view originText, std::string_view fromText,
                                          std::string_view group) {
    AnnouncementRecord record = BlankAnnouncementRecord();
    record.Origin = ParseAddress(originText);
    record.From = ParseAddress(fromText);
    PutText(record.FileEcho, sizeof record.FileEcho, fileEcho);
    PutText(record.Comment, sizeof record.Comment, comment);
    PutText(record.File, sizeof record.File, fileName);
    PutText(record.Directory, sizeof record.Directory, fileDirectory);
    if (!group.empty()) record.Group = group[0];
    return record;
}

std::string AnnouncementRecordBytes(const AnnouncementRecord& record) {
    std::string bytes(AnnouncementRecordSize, ' ');
    bytes.replace(RecordFileEchoAt, sizeof record.FileEcho, record.FileEcho, sizeof record.FileEcho);
    bytes.replace(RecordCommentAt, sizeof record.Comment, record.Comment, sizeof record.Comment);
    bytes.replace(RecordFileAt, sizeof record.File, record.File, sizeof record.File);
    bytes.replace(RecordDirectoryAt, sizeof record.Directory, record.Directory, sizeof record.Directory);
    bytes[RecordGroupAt] = record.Group;
    PutAddress(bytes, RecordOriginAt, record.Origin);
    PutAddress(bytes, RecordFromAt, record.From);
    return bytes;
}

AnnouncementRecord AnnouncementRecordFromBytes(std::string_view bytes) {
    AnnouncementRecord record = BlankAnnouncementRecord();
    if (bytes.size() < AnnouncementRecordSize) return record;
    std::memcpy(record.FileEcho, bytes.data() + RecordFileEchoAt, sizeof record.FileEcho);
    std::memcpy(record.Comment, bytes.data() + RecordCommentAt, sizeof record.Comment);
    std::memcpy(record.File, bytes.data() + RecordFileAt, sizeof record.File);
    std::memcpy(record.Directory, bytes.data() + RecordDirectoryAt, sizeof record.Directory);
    record.Group = bytes[RecordGroupAt];
    record.Origin = GetAddress(bytes, RecordOriginAt);
    record.From = GetAddress(bytes, RecordFromAt);
    return record;
}

std::string AnnouncementBytes(std::string_view fileEcho, std::string_view comment, std::string_view fileName,
                              std::string_view fileDirectory, std::string_view originText,
                              std::string_view fromText, std::string_view group) {
    AnnouncementRecord record =
        MakeAnnouncementRecord(fileEcho, comment, fileName, fileDirectory, originText, fromText, group);
    // A name or tag must read back from its field as it is: not cut, no
    // blank at its end lost, no last byte of a name taken for a count of
    // extension blocks, no tag taken for an extension block by its mark.
    const bool countLike = fileName.size() == sizeof record.File &&
                           static_cast<unsigned char>(fileName.back()) - 1u < MaxRecordExtensions;
    const bool markLike = fileEcho.starts_with(RecordExtensionMark);
    const bool fits = fileEcho.size() <= sizeof record.FileEcho && fileName.size() <= sizeof record.File &&
                      !fileEcho.ends_with(' ') && !fileName.ends_with(' ') && !countLike && !markLike;
    if (fits) return AnnouncementRecordBytes(record);
    if (markLike) record.FileEcho[0] = ' ';
    fileEcho = fileEcho.substr(0, std::min(fileEcho.size(), MaxWholeText));
    fileName = fileName.substr(0, std::min(fileName.size(), MaxWholeText));
    std::string text;
    text += static_cast<char>(fileEcho.size());
    text += static_cast<char>(fileName.size());
    text.append(fileEcho).append(fileName);
    const std::size_t blocks = ExtensionBlocksFor(text.size());
    text.resize(blocks * ExtensionRoom, ' ');
    record.File[sizeof record.File - 1] = static_cast<char>(blocks);
    std::string bytes = AnnouncementRecordBytes(record);
    for (std::size_t n = 0; n < blocks; ++n) {
        bytes += RecordExtensionMark;
        bytes.append(text, n * ExtensionRoom, ExtensionRoom);
    }
    return bytes;
}

bool JoinRecordBlock(RecordJoin& join, std::string_view block, StoredRecord& record) {
    const bool extension = !block.empty() && block[0] == RecordExtensionMark;
    if (!join.pending.empty() && !extension) {
        // The extension of the record before never came.
        ++join.torn;
        join.pending.clear();
    }
    if (join.pending.empty()) {
        if (extension) {
            ++join.strays;
            return false;
        }
        const auto count = static_cast<unsigned char>(block[RecordExtensionCountAt]);
        join.expected = count >= 1 && count <= MaxRecordExtensions ? 1 + count : 1;
        if (join.expected == 1) return DecodeStoredRecord(block, record);
    }
    join.pending.append(block);
    if (join.pending.size() < join.expected * AnnouncementRecordSize) return false;
    const bool whole = DecodeStoredRecord(join.pending, record);
    if (!whole) ++join.torn;
    join.pending.clear();
    return whole;
}

void EndRecordBlocks(RecordJoin& join) {
    if (join.pending.empty()) return;
    ++join.torn;
    join.pending.clear();
}

std::string AnnouncementFileName(std::string_view dateText) {
    std::string name(dateText);
    if (name.size() >= 8) name.erase(6, 2);  // DD-MM-YYYY -> DD-MM-YY
    return name + ".ann";
}

std::string AnnouncementFilePath(std::string_view directory, const LocalDateTime& when) {
    std::string dir(directory);
    AddTrailingSlash(dir);
    if (dir.empty() || dir.size() == 1) return std::string();
    return ResolvePath(dir + AnnouncementFileName(DateText(when)));
}

bool AppendAnnouncementRecord(std::string_view directory, std::string_view fileEcho, std::string_view comment,
                              std::string_view fileName, std::string_view fileDirectory,
                              std::string_view originText, std::string_view fromText, std::string_view group) {
    return AppendAnnouncementRecordTo(AnnouncementFilePath(directory, LocalNow()), fileEcho, comment, fileName,
                                      fileDirectory, originText, fromText, group);
}

bool AppendAnnouncementRecordOnce(Journal& journal, std::string_view directory, std::string_view fileEcho,
                                  std::string_view comment, std::string_view fileName,
                                  std::string_view fileDirectory, std::string_view originText,
                                  std::string_view fromText, std::string_view group) {
    const std::string bytes =
        AnnouncementBytes(fileEcho, comment, fileName, fileDirectory, originText, fromText, group);
    std::string path = JournalValue(journal, "announce-file");
    if (path.empty()) {
        path = AnnouncementFilePath(directory, LocalNow());
        if (path.empty()) return true;
        std::uint64_t size = 0;
        if (!GetFileSize(path, size)) size = 0;
        size -= size % AnnouncementRecordSize;
        JournalAdd(journal, {"announce-file " + path, "announce-size " + std::to_string(size)});
    } else {
        // Only what this record wrote is ever written over: records that
        // other runs appended after it stay.
        const auto at = static_cast<std::uint64_t>(ParseNumber(JournalValue(journal, "announce-size")));
        std::string found;
        if (ReadFileRange(path, at, bytes.size(), found) == 0 && !found.empty()) {
            if (found == bytes) return true;
            std::uint64_t size = 0;
            if (GetFileSize(path, size) && size == at + found.size() && bytes.starts_with(found)) {
                ClearErrorNumber();
                const int error = WriteFileRange(path, at, bytes);
                if (error == 0) return true;
                if (IsOpenRefusal(error)) return false;
                RuntimeError(error);
            }
        }
    }
    ClearErrorNumber();
    return AppendBytesTo(path, bytes);
}

std::string RecordNotWrittenLine(const Journal& journal, int error) {
    return Fill("Cannot write the announcement record file %f: error %e", "%f", JournalValue(journal, "announce-file"),
                "%e", ErrorText(error));
}

bool AppendAnnouncementRecordTo(const std::string& path, std::string_view fileEcho, std::string_view comment,
                                std::string_view fileName, std::string_view fileDirectory,
                                std::string_view originText, std::string_view fromText, std::string_view group) {
    return AppendBytesTo(path,
                         AnnouncementBytes(fileEcho, comment, fileName, fileDirectory, originText, fromText, group));
}

int ReadAnnouncementRecords(const std::string& path, std::vector<StoredRecord>& records, RecordJoin& join) {
    records.clear();
    join = RecordJoin{};
    std::string pending;
    StoredRecord record;
    int error = ReadFileBlocks(path, AnnouncementRecordSize * 64, [&](const unsigned char* data, std::size_t size) {
        pending.append(reinterpret_cast<const char*>(data), size);
        std::size_t at = 0;
        for (; at + AnnouncementRecordSize <= pending.size(); at += AnnouncementRecordSize)
            if (JoinRecordBlock(join, std::string_view(pending).substr(at, AnnouncementRecordSize), record))
                records.push_back(record);
        pending.erase(0, at);
    });
    EndRecordBlocks(join);
    return error;
}

std::vector<StoredRecord> ReadAnnouncementRecords(const std::string& path) {
    std::vector<StoredRecord> records;
    RecordJoin join;
    if (ReadAnnouncementRecords(path, records, join) != 0) records.clear();
    return records;
}

DirectoryListing MakeDirectoryListing(std::vector<DirEntry> entries) {
    DirectoryListing listing;
    listing.entries = std::move(entries);
    std::sort(listing.entries.begin(), listing.entries.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    listing.folded.reserve(listing.entries.size());
    for (std::size_t i = 0; i < listing.entries.size(); ++i)
        listing.folded.emplace_back(LowerCase(listing.entries[i].name), i);
    std::sort(listing.folded.begin(), listing.folded.end());
    return listing;
}

namespace {

// cut: the name may have been cut to the file field, so that files whose
// names begin with it count too.
RecordedFileMatch FindFile(const DirectoryListing& listing, std::string name, bool cut,
                           std::string_view recordedField) {
    RecordedFileMatch match;
    if (name.empty()) return match;
    const auto& entries = listing.entries;
    auto exact = std::lower_bound(entries.begin(), entries.end(), name,
                                  [](const DirEntry& entry, const std::string& key) { return entry.name < key; });
    if (exact != entries.end() && exact->name == name) {
        match.entry = &*exact;
        match.candidates = 1;
        return match;
    }
    // Case-blind: the names equal to it sort first, then those that begin
    // with it, which count only for a cut name.
    const std::string key = LowerCase(name);
    const std::string prefix = LowerCase(recordedField.substr(0, RecordedNameSize));
    std::size_t first = entries.size();
    auto it = std::lower_bound(listing.folded.begin(), listing.folded.end(), std::make_pair(key, std::size_t{0}));
    for (; it != listing.folded.end() && it->first == key; ++it) {
        ++match.candidates;
        first = std::min(first, it->second);
    }
    const bool prefixes = cut && match.candidates == 0;
    for (; prefixes && it != listing.folded.end() && it->first.starts_with(key); ++it) {
        if (!it->first.starts_with(prefix)) continue;
        ++match.candidates;
        first = std::min(first, it->second);
    }
    if (match.candidates > 0) match.entry = &entries[first];
    return match;
}

}  // namespace

RecordedFileMatch FindRecordedFile(const DirectoryListing& listing, std::string_view recordedField) {
    std::string name(recordedField);
    TrimRight(name);
    // A full field may hold a cut name, also one cut right after a blank
    // ("Weekly News " of "Weekly News 2026.txt"): its blanks belong to it.
    return FindFile(listing, std::move(name), recordedField.size() >= RecordedNameSize, recordedField);
}

RecordedFileMatch FindWholeName(const DirectoryListing& listing, std::string_view name) {
    return FindFile(listing, std::string(name), false, name);
}

std::string ResolveRecordedFile(const std::string& directory, std::string_view recordedName) {
    std::string dir = directory;
    AddTrailingSlash(dir);
    const DirectoryListing listing = MakeDirectoryListing(FindFiles(dir + "*", SearchKind::FilesOnly));
    const RecordedFileMatch match = FindRecordedFile(listing, recordedName);
    if (match.entry != nullptr) return dir + match.entry->name;
    std::string name(recordedName);
    TrimRight(name);
    return dir + name;
}
