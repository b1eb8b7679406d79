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
// file and its size are noted before the first try, and a try repeated after
// a run cut short cuts the file back to that size first. False when the
// record could not be written (errno set); true when written or when there
// is no directory to write to.
bool AppendAnnouncementRecordOnce(Journal& journal, std::string_view directory, std::string_view fileEcho,
                                  std::string_view comment, std::string_view fileName,
                                  std::string_view fileDirectory, std::string_view originText,
                                  std::string_view fromText, std::string_view group);

// The log line of a record AppendAnnouncementRecordOnce could not write.
std::string RecordNotWrittenLine(const Journal& journal, int error);

// Every whole record of a record file, in file order. A trailing partial
// record is ignored. Returns 0 or the error number of a failed open or read
// (the records read before a failed read are kept).
int ReadAnnouncementRecords(const std::string& path, std::vector<AnnouncementRecord>& records);
// The same; an unreadable file gives no records.
std::vector<AnnouncementRecord> ReadAnnouncementRecords(const std::string& path);

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

// The same on the directory itself: directory + the name found, or
// directory + the name as recorded when nothing matches.
std::string ResolveRecordedFile(const std::string& directory, std::string_view recordedName);
