#pragma once
// Announcement records: one fixed-size record per file placed into a file
// echo, appended to the record file of the day ("DD-MM-YY.ann" in
// ANNOUNCEDIR). The announcement command reads them back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "frame/journal.h"
#include "frame/platform.h"
#include "frame/utils.h"

constexpr std::size_t AnnouncementRecordSize = 374;

// The record as it lies in the file. Text fields are padded with blanks and
// not terminated; the addresses are four little-endian 16-bit numbers each
// (converted by the functions below, never copied as memory).
struct AnnouncementRecord {
    char FileEcho[25];    // file echo tag
    char Comment[70];     // description of the file echo
    char File[12];        // file name, cut to 12
    char Directory[250];  // directory that holds the file, ending in "/"
    char Group;           // group letter of the file echo
    FidoAddress Origin;   // TIC origin, or the area's AKA for a hatch
    FidoAddress From;     // the link the file came from, or the area's AKA
};
static_assert(sizeof(FidoAddress) == 8);

// Byte offsets of the fields in a record.
constexpr std::size_t RecordFileEchoAt = 0;
constexpr std::size_t RecordCommentAt = 25;
constexpr std::size_t RecordFileAt = 95;
constexpr std::size_t RecordDirectoryAt = 107;
constexpr std::size_t RecordGroupAt = 357;
constexpr std::size_t RecordOriginAt = 358;
constexpr std::size_t RecordFromAt = 366;

// A record whose tag or name its field cannot hold whole is followed, in
// the same append, by extension blocks of the record's size that carry
// both whole. An extension block begins with RecordExtensionMark, a byte no
// tag begins with; the record's file field then holds the first 11
// characters of the name and, as its last byte, the number of extension
// blocks that follow (1 or 2), a byte no file name holds. Records of names
// and tags that fit are written as they always were.
constexpr char RecordExtensionMark = '\x01';
constexpr std::size_t RecordExtensionCountAt = RecordFileAt + 11;
constexpr std::size_t MaxRecordExtensions = 2;

// A record with every text byte a blank and both addresses zero.
AnnouncementRecord BlankAnnouncementRecord();

// Fills the record: texts cut to their fields, addresses through
// ParseAddress, the group letter is the first character of group (a blank
// when group is empty).
AnnouncementRecord MakeAnnouncementRecord(std::string_view fileEcho, std::string_view comment,
                                          std::string_view fileName, std::string_view fileDirectory,
                                          std::string_view originText, std::string_view fromText,
                                          std::string_view group);

// The 374 bytes of the record, and back. bytes must hold at least
// AnnouncementRecordSize bytes; only the first record is taken.
std::string AnnouncementRecordBytes(const AnnouncementRecord& record);
AnnouncementRecord AnnouncementRecordFromBytes(std::string_view bytes);

// The bytes one append writes: the record, and its extension blocks when
// the tag or the name would not read back from its field as it is (longer
// than the field, or ending in a blank). Tag and name are kept to 255
// characters each.
std::string AnnouncementBytes(std::string_view fileEcho, std::string_view comment, std::string_view fileName,
                              std::string_view fileDirectory, std::string_view originText,
                              std::string_view fromText, std::string_view group);

// A record as read back: the record block, and its whole tag and name.
// Without extension they are the fields without their trailing blanks, and
// a full file field may hold a name cut to 12 (records of earlier versions).
struct StoredRecord {
    AnnouncementRecord record;
    std::string fileEcho;
    std::string fileName;
    bool wholeName = false;  // the name came from an extension: never a cut one
    std::size_t blocks = 1;  // blocks it takes in the file
};

// Joins the whole blocks of a record file, fed in file order, into
// records. A record whose extension blocks are cut off or damaged, and
// extension blocks without their record, are counted and left out: they
// are what a write cut short leaves, and the writer's next try writes the
// record again.
struct RecordJoin {
    std::string pending;       // a record block and the extension blocks read after it so far
    std::size_t expected = 0;  // blocks the pending record takes
    std::size_t torn = 0;      // records left out
    std::size_t strays = 0;    // extension blocks left out
};
// True when record holds a record completed by this block.
bool JoinRecordBlock(RecordJoin& join, std::string_view block, StoredRecord& record);
// The end of the file: a record still waiting for its extension is torn.
void EndRecordBlocks(RecordJoin& join);

// Name of the record file of a day: "DD-MM-YYYY" (TodayText, YesterdayText)
// becomes "DD-MM-YY.ann".
std::string AnnouncementFileName(std::string_view dateText);

// Appends one record to today's record file in directory (ANNOUNCEDIR),
// creating the file for the first record of the day. Nothing is recorded
// when directory is empty or "/", or when the file can be neither opened
// nor created; a write that fails once the file is open ends the run with
// a run-time error. A trailing partial record left by an earlier crash is
// overwritten, so records stay aligned. True when the record was written.
bool AppendAnnouncementRecord(std::string_view directory, std::string_view fileEcho, std::string_view comment,
                              std::string_view fileName, std::string_view fileDirectory,
                              std::string_view originText, std::string_view fromText, std::string_view group);

// The record file of the day of when in directory; empty when directory is
// empty or "/".
std::string AnnouncementFilePath(std::string_view directory, const LocalDateTime& when);

// The same append to the record file at path (nothing for an empty path).
bool AppendAnnouncementRecordTo(const std::string& path, std::string_view fileEcho, std::string_view comment,
                                std::string_view fileName, std::string_view fileDirectory,
                                std::string_view originText, std::string_view fromText, std::string_view group);

// AppendAnnouncementRecord once for the work of the journal: the record
// file and its size are noted before the first try. A try repeated after a
// run cut short finds its record whole at that offset (nothing to do), or a
// piece of it ending the file (overwritten), or something else, such as
// another run's record appended meanwhile (kept; the record is appended).
// False when the record could not be written (errno set); true when written
// or when there is no directory to write to.
bool AppendAnnouncementRecordOnce(Journal& journal, std::string_view directory, std::string_view fileEcho,
                                  std::string_view comment, std::string_view fileName,
                                  std::string_view fileDirectory, std::string_view originText,
                                  std::string_view fromText, std::string_view group);

// The log line of a record AppendAnnouncementRecordOnce could not write.
std::string RecordNotWrittenLine(const Journal& journal, int error);

// Every whole record of a record file, in file order, joined as
// JoinRecordBlock does (join tells what was left out). A trailing partial
// block is ignored. Returns 0 or the error number of a failed open or read
// (the records read before a failed read are kept).
int ReadAnnouncementRecords(const std::string& path, std::vector<StoredRecord>& records, RecordJoin& join);
// The same; an unreadable file gives no records.
std::vector<StoredRecord> ReadAnnouncementRecords(const std::string& path);

// One directory's files for looking up the names records hold: the
// entries in byte order, and their names folded to lower case (with the
// entry's index) in byte order, so that case-blind and prefix lookups are
// binary searches.
struct DirectoryListing {
    std::vector<DirEntry> entries;
    std::vector<std::pair<std::string, std::size_t>> folded;
};
DirectoryListing MakeDirectoryListing(std::vector<DirEntry> entries);

// The file a record's file field names: the exact name (blanks at its end
// removed), else that name in any letter case, else, when the field is full
// (the name was cut to 12), the files whose names begin with it in any
// case. Of several candidates the first in byte order is taken; candidates
// tells how many there were. entry is null when nothing matches.
struct RecordedFileMatch {
    const DirEntry* entry = nullptr;
    std::size_t candidates = 0;
};
RecordedFileMatch FindRecordedFile(const DirectoryListing& listing, std::string_view recordedField);
// The file of a whole name: the exact name, else that name in any letter
// case (the first in byte order).
RecordedFileMatch FindWholeName(const DirectoryListing& listing, std::string_view name);

// The same on the directory itself: directory + the name found, or
// directory + the name as recorded when nothing matches.
std::string ResolveRecordedFile(const std::string& directory, std::string_view recordedName);
