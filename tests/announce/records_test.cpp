#include "announce/records.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "testkit.h"

namespace {

LocalDateTime Day(int year, int month, int day) {
    LocalDateTime t;
    t.year = year, t.month = month, t.day = day, t.hour = 12;
    return t;
}

std::string Padded(const std::string& text, std::size_t size) {
    std::string field = text.substr(0, size);
    field.resize(size, ' ');
    return field;
}

// Appends a simple record naming file into dir on the given day.
bool AppendNamed(const std::string& dir, const LocalDateTime& day, const std::string& file) {
    return AppendAnnouncementRecordAt(day, dir, "ECHO", "Echo files", file, "/files/echo/", "2:5020/1",
                                      "2:5020/2", "A");
}

TEST(AnnouncementRecordTest, WrittenByteForByte) {
    ScratchDir dir;
    const std::string tag(30, 'T');
    const std::string comment = std::string(69, 'c') + "\xE0\xE1" + std::string(9, 'x');  // 80, cp866 inside
    const std::string directory = "/srv/" + std::string(295, 'd');
    ASSERT_TRUE(AppendAnnouncementRecordAt(Day(2026, 12, 5), dir.path, tag, comment, "averylongfilename.zip",
                                           directory, "2:5020/100.7@fidonet", "1:65535/258", "Bgroup"));

    // Tag, comment, file name and directory cut to their fields, the group letter, then
    // origin and sender as four little-endian words each.
    EXPECT_EQ(ReadFileBytes(dir / "05-12-26.ann"), std::string(25, 'T') + comment.substr(0, 70) + "averylongfil" +
                                                       directory.substr(0, 250) + "B" +
                                                       std::string("\x02\x00\x9C\x13\x64\x00\x07\x00", 8) +
                                                       std::string("\x01\x00\xFF\xFF\x02\x01\x00\x00", 8));
}

TEST(AnnouncementRecordTest, ShortFieldsArePaddedWithBlanks) {
    ScratchDir dir;
    ASSERT_TRUE(AppendAnnouncementRecordAt(Day(2024, 2, 29), dir.path, "ECHO", "", "a.zip", "/in/", "not an address",
                                           "", ""));
    const std::string bytes = ReadFileBytes(dir / "29-02-24.ann");
    EXPECT_EQ(bytes, Padded("ECHO", 25) + std::string(70, ' ') + Padded("a.zip", 12) + Padded("/in/", 250) + " " +
                         std::string(16, '\0'));
    const AnnouncementRecord record = AnnouncementRecordFromBytes(bytes);
    EXPECT_EQ(RecordText(record.FileEcho) + "|" + RecordText(record.File) + "|" + RecordText(record.Directory) + "|" +
                  record.Group,
              "ECHO|a.zip|/in/| ");
    EXPECT_EQ(FormatAddress(record.Origin) + FormatAddress(record.From), "0:0/00:0/0");
}

TEST(AnnouncementRecordTest, BytesRoundTrip) {
    std::string bytes;
    for (int i = 0; i < 374; ++i) bytes += static_cast<char>((i * 37 + 11) & 0xFF);
    const AnnouncementRecord record = AnnouncementRecordFromBytes(bytes);
    EXPECT_EQ(record.Origin.zone,
              (static_cast<unsigned char>(bytes[359]) << 8) | static_cast<unsigned char>(bytes[358]));
    EXPECT_EQ(AnnouncementRecordBytes(record), bytes);
    // Too short to be a record: a blank one, not a read past the end.
    EXPECT_EQ(AnnouncementRecordBytes(AnnouncementRecordFromBytes(bytes.substr(0, 100))),
              AnnouncementRecordBytes(BlankAnnouncementRecord()));
}

TEST(AnnouncementFileTest, NamedByDayTodayByDefault) {
    EXPECT_EQ(AnnouncementFileName("05-12-2026"), "05-12-26.ann");
    ScratchDir dir;
    ASSERT_TRUE(AppendNamed(dir.path, Day(2025, 1, 31), "one.zip"));
    ASSERT_TRUE(AppendNamed(dir.path, Day(2025, 1, 31), "two.zip"));
    ASSERT_TRUE(AppendNamed(dir.path, Day(2025, 2, 1), "three.zip"));
    EXPECT_EQ(ListDir(dir.path), (std::vector<std::string>{"01-02-25.ann", "31-01-25.ann"}));
    const auto first = ReadAnnouncementRecords(dir / "31-01-25.ann");
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(RecordText(first[0].File), "one.zip");
    EXPECT_EQ(RecordText(first[1].File), "two.zip");
    EXPECT_EQ(FormatAddress(first[1].Origin), "2:5020/1");
    EXPECT_EQ(FormatAddress(first[1].From), "2:5020/2");
    EXPECT_EQ(ReadAnnouncementRecords(dir / "01-02-25.ann").size(), 1u);

    ScratchDir today;
    ASSERT_TRUE(AppendAnnouncementRecord(today.path.substr(0, today.path.size() - 1), "ECHO", "", "f.zip", "/d/", "",
                                         "", "A"));
    // Around midnight the day may change between the append and this check.
    const auto names = ListDir(today.path);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(names[0] == AnnouncementFileName(TodayText()) || names[0] == AnnouncementFileName(YesterdayText()))
        << names[0];
}

TEST(AnnouncementFileTest, NothingIsRecordedWithoutAWritableDirectoryOrFile) {
    EXPECT_FALSE(AppendNamed("", Day(2025, 1, 1), "a.zip"));
    EXPECT_FALSE(AppendNamed("/", Day(2025, 1, 1), "a.zip"));
    EXPECT_FALSE(PathExists("/01-01-25.ann"));
    ScratchDir dir;
    EXPECT_FALSE(AppendNamed(dir / "missing/", Day(2025, 1, 1), "a.zip"));
    WriteFileBytes(dir / "plain", "x");
    EXPECT_FALSE(AppendNamed(dir / "plain/", Day(2025, 1, 1), "a.zip"));
    MakeDirs(dir / "busy/01-01-25.ann");
    EXPECT_FALSE(AppendNamed(dir / "busy/", Day(2025, 1, 1), "a.zip"));
    // A read-only file is left alone.
    ASSERT_TRUE(AppendNamed(dir.path, Day(2025, 3, 3), "a.zip"));
    ASSERT_EQ(::chmod((dir / "03-03-25.ann").c_str(), 0444), 0);
    EXPECT_FALSE(AppendNamed(dir.path, Day(2025, 3, 3), "b.zip"));
    EXPECT_EQ(ReadFileBytes(dir / "03-03-25.ann").size(), 374u);
}

TEST(AnnouncementFileTest, ExistingFileInAnyCaseIsAppendedToWithRecordsAligned) {
    ScratchDir dir;
    const std::string old = std::string(374, 'o');
    WriteFileBytes(dir / "03-03-25.ANN", old + std::string(100, 'z'));  // a crash mid-record
    ASSERT_TRUE(AppendNamed(dir.path, Day(2025, 3, 3), "b.zip"));
    ASSERT_TRUE(AppendNamed(dir.path, Day(2025, 3, 3), "c.zip"));
    EXPECT_EQ(ListDir(dir.path), std::vector<std::string>{"03-03-25.ANN"});
    const std::string bytes = ReadFileBytes(dir / "03-03-25.ANN");
    ASSERT_EQ(bytes.size(), 3 * 374u);
    EXPECT_EQ(bytes.substr(0, 374), old);
    const auto records = ReadAnnouncementRecords(dir / "03-03-25.ANN");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(RecordText(records[1].File), "b.zip");
    EXPECT_EQ(RecordText(records[2].File), "c.zip");
}

TEST(ReadAnnouncementRecordsTest, OddFiles) {
    ScratchDir dir;
    std::vector<AnnouncementRecord> records{BlankAnnouncementRecord()};
    EXPECT_NE(ReadAnnouncementRecords(dir / "missing.ann", records), 0);
    EXPECT_TRUE(records.empty());
    EXPECT_NE(ReadAnnouncementRecords(dir.path, records), 0);  // a directory
    // Empty, or shorter than one record: no record.
    for (const std::size_t size : {0, 373}) {
        WriteFileBytes(dir / "short.ann", std::string(size, 'x'));
        EXPECT_EQ(ReadAnnouncementRecords(dir / "short.ann", records), 0);
        EXPECT_TRUE(records.empty());
    }
    // Binary noise across many read blocks, ending in a partial record.
    std::string noise;
    for (std::size_t i = 0; i < 1000 * 374 + 200; ++i) noise += static_cast<char>((i * 7919 + i / 374) & 0xFF);
    WriteFileBytes(dir / "noise.ann", noise);
    EXPECT_EQ(ReadAnnouncementRecords(dir / "noise.ann", records), 0);
    ASSERT_EQ(records.size(), 1000u);
    for (std::size_t i : {0, 63, 64, 999})
        EXPECT_EQ(AnnouncementRecordBytes(records[i]), noise.substr(i * 374, 374)) << i;
}

TEST(ResolveRecordedFileTest, CutNamesFindTheirFile) {
    ScratchDir dir;
    for (const char* name : {"averylongfilename.zip", "Short.ZIP", "twinfilename.one.zip", "twinfilename.two.zip"})
        WriteFileBytes(dir / name, "x");
    MakeDirs(dir / "directoryname.long");
    EXPECT_EQ(ResolveRecordedFile(dir.path, "AVERYLONGFIL"), dir / "averylongfilename.zip");
    EXPECT_EQ(ResolveRecordedFile(dir.path.substr(0, dir.path.size() - 1), "averylongfil"),
              dir / "averylongfilename.zip");
    EXPECT_EQ(ResolveRecordedFile(dir.path, "short.zip   "), dir / "Short.ZIP");
    // Ambiguous, a directory, or a name that was not cut: no guess.
    for (const char* name : {"twinfilename", "directorynam", "averylong"})
        EXPECT_EQ(ResolveRecordedFile(dir.path, name), dir / name);

    // The name of an appended record leads back to the file.
    MakeDirs(dir / "ann");
    ASSERT_TRUE(AppendNamed(dir / "ann/", Day(2025, 5, 5), "averylongfilename.zip"));
    const auto records = ReadAnnouncementRecords(dir / "ann/05-05-25.ann");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(ResolveRecordedFile(dir.path, std::string(records[0].File, 12)), dir / "averylongfilename.zip");
}

}  // namespace
