#include "announce/records.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "testkit.h"

namespace {

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
    EXPECT_EQ(ReadAnnouncementRecords(dir / "noise.ann").size(), 1000u);
    EXPECT_TRUE(ReadAnnouncementRecords(dir / "missing.ann").empty());
}

TEST(ResolveRecordedFileTest, CutNamesFindTheirFile) {
    ScratchDir dir;
    for (const char* name : {"averylongfilename.zip", "Short.ZIP", "twinfilename.one.zip", "twinfilename.two.zip"})
        WriteFileBytes(dir / name, "x");
    WriteFileBytes(dir / "directoryname.long/x", "");
    EXPECT_EQ(ResolveRecordedFile(dir.path, "AVERYLONGFIL"), dir / "averylongfilename.zip");
    EXPECT_EQ(ResolveRecordedFile(dir.path.substr(0, dir.path.size() - 1), "averylongfil"),
              dir / "averylongfilename.zip");
    EXPECT_EQ(ResolveRecordedFile(dir.path, "short.zip   "), dir / "Short.ZIP");
    // Of two the first in byte order; a directory, or a name that was not
    // cut: the name as recorded.
    EXPECT_EQ(ResolveRecordedFile(dir.path, "twinfilename"), dir / "twinfilename.one.zip");
    for (const char* name : {"directorynam", "averylong"})
        EXPECT_EQ(ResolveRecordedFile(dir.path, name), dir / name);
}

}  // namespace
