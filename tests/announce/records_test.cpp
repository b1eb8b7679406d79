#include "announce/records.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "testkit.h"

using namespace std::string_literals;

namespace {

TEST(ReadAnnouncementRecordsTest, OddFiles) {
    ScratchDir dir;
    std::vector<StoredRecord> records(1);
    RecordJoin join;
    EXPECT_NE(ReadAnnouncementRecords(dir / "missing.ann", records, join), 0);
    EXPECT_TRUE(records.empty());
    EXPECT_NE(ReadAnnouncementRecords(dir.path, records, join), 0);  // a directory
    // Empty, or shorter than one record: no record.
    for (const std::size_t size : {0, 373}) {
        WriteFileBytes(dir / "short.ann", std::string(size, 'x'));
        EXPECT_EQ(ReadAnnouncementRecords(dir / "short.ann", records, join), 0);
        EXPECT_TRUE(records.empty());
    }
    EXPECT_TRUE(ReadAnnouncementRecords(dir / "missing.ann").empty());
}

std::string Bytes(std::string_view echo, std::string_view name) {
    return AnnouncementBytes(echo, "Comment", name, "/files/", "2:9999/10", "2:9999/20", "A");
}

// Records of earlier versions, records with extensions and the pieces a
// write cut short leaves, in one file and across read blocks.
TEST(ReadAnnouncementRecordsTest, ExtensionsJoinTheirRecord) {
    const std::string longTag = "SAMPLENET.NODELIST.WEEKLY.ZONE1";
    const std::string longName(255, 'n');
    const std::string old = Bytes("SAMPLE.SOFT", "AVERYLONGFIL");
    const std::string cut = Bytes("SAMPLE.SOFT", "Annual Report 2026.pdf");
    const std::string both = Bytes(std::string(300, 'T'), longName);
    ASSERT_EQ(old.size(), 374u);
    ASSERT_EQ(Bytes(longTag, "A.ZIP").size(), 2 * 374u);
    ASSERT_EQ(both.size(), 3 * 374u);
    EXPECT_EQ(Bytes("SAMPLE.SOFT", "Trailing blank ").size(), 2 * 374u);
    EXPECT_EQ(Bytes("SAMPLE.SOFT ", "A.ZIP").size(), 2 * 374u);  // a tag's blank too

    std::string file = old + cut + Bytes(longTag, "A.ZIP") + both;
    file += cut.substr(0, 374);                       // its extension cut off...
    file += old;                                      // ... by the next append
    file += cut.substr(374);                          // an extension without its record
    for (int i = 0; i < 200; ++i) file += old;        // across read blocks
    file += both.substr(0, 2 * 374) + both.substr(0, 100);  // torn at the end

    ScratchDir dir;
    WriteFileBytes(dir / "mixed.ann", file);
    std::vector<StoredRecord> records;
    RecordJoin join;
    ASSERT_EQ(ReadAnnouncementRecords(dir / "mixed.ann", records, join), 0);
    ASSERT_EQ(records.size(), 205u);
    EXPECT_EQ(join.torn, 2u);
    EXPECT_EQ(join.strays, 1u);

    EXPECT_EQ(records[0].fileName, "AVERYLONGFIL");
    EXPECT_FALSE(records[0].wholeName);
    EXPECT_EQ(AnnouncementRecordBytes(records[0].record), old);
    EXPECT_EQ(records[1].fileName, "Annual Report 2026.pdf");
    EXPECT_EQ(records[1].fileEcho, "SAMPLE.SOFT");
    EXPECT_TRUE(records[1].wholeName);
    EXPECT_EQ(std::string(records[1].record.File, 12), "Annual Repor"s.substr(0, 11) + '\x01');
    EXPECT_EQ(records[2].fileEcho, longTag);
    EXPECT_EQ(records[2].fileName, "A.ZIP");
    EXPECT_EQ(records[3].fileEcho, std::string(255, 'T'));
    EXPECT_EQ(records[3].fileName, longName);
    EXPECT_EQ(records[3].blocks, 3u);
    EXPECT_EQ(records[3].record.From.node, 20);
    EXPECT_EQ(records[4].fileName, "AVERYLONGFIL");
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

// A try repeated after a run cut short, with the file and offset the first
// try noted: what it finds there decides what it writes.
TEST(AppendAnnouncementRecordOnceTest, RetryWritesOnlyItsOwnRecord) {
    const std::string ours = Bytes("SAMPLENET.NODELIST.WEEKLY.ZONE1", "Annual Report 2026.pdf");
    const std::string other = Bytes("SAMPLE.SOFT", "TOOLS.ZIP");
    const std::string before = Bytes("SAMPLE.INFO", "RULES.TXT");
    struct Case {
        const char* what;
        std::string found;  // the file after the noted offset
        std::string result;
    };
    const Case cases[] = {
        {"nothing written yet", "", ours},
        {"written whole", ours, ours},
        {"written whole, another run's record after it", ours + other, ours + other},
        {"a piece of it at the end", ours.substr(0, 500), ours},
        {"its record without extension at the end", ours.substr(0, 374), ours},
        {"another run's record after a piece of it", ours.substr(0, 374) + other, ours.substr(0, 374) + other + ours},
        {"another run's record only", other, other + ours},
        {"another run's torn piece", other.substr(0, 100), ours},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        WriteFileBytes(dir / "07-12-26.ann", before + c.found);
        Journal journal;
        JournalAdd(journal, {"announce-file " + (dir / "07-12-26.ann"), "announce-size 374"});
        EXPECT_TRUE(AppendAnnouncementRecordOnce(journal, dir.path, "SAMPLENET.NODELIST.WEEKLY.ZONE1", "Comment",
                                                 "Annual Report 2026.pdf", "/files/", "2:9999/10", "2:9999/20", "A"))
            << c.what;
        EXPECT_EQ(ReadFileBytes(dir / "07-12-26.ann"), before + c.result) << c.what;
    }
}

}  // namespace
