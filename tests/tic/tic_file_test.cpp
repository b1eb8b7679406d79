// TIC reading and writing, TIC names, the Path line and file CRC.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "frame/platform.h"
#include "testkit.h"
#include "tic/tic.h"

namespace {

LocalDateTime FixedMoment() {
    LocalDateTime t;
    t.year = 2024, t.month = 3, t.day = 5, t.hour = 14, t.minute = 7, t.second = 9;
    return t;
}

TicRecord SampleTic() {
    return {"NODELIST.Z12", "nodelist.z12", "Nodelist of day 12", "NODEDIFF", "Nodelist diffs", "2:5020/1",
            "2:5020/100", "2:2/0", "2:5020/100", "NODELIST.Z*", "SECRET", 123456, {"Line one", "Line two"},
            {"2:5020/1", "2:5020/100"}, {"2:2/0 1709600000 05 Mar 24  01:00:00", "2:5020/1 1709610000"}, 0x0A1B2C3D};
}

TicRecord ParseText(const std::string& text) {
    TicRecord tic;
    ParseTic(text, tic);
    return tic;
}

std::string WithoutFirstLine(const std::string& text) { return text.substr(text.find("\r\n") + 2); }

// What a TIC text reads as, in the written form without its first line.
std::string Read(const std::string& text) { return WithoutFirstLine(FormatTic(ParseText(text), FixedMoment())); }

}  // namespace

TEST(TicWrite, LayoutIsExact) {
    EXPECT_EQ(FormatTic(SampleTic(), FixedMoment()),
              "Created 05 Mar 24  14:07:09 by Brenmoor v.1.29.Linux\r\n"
              "File NODELIST.Z12\r\n"
              "Fullname nodelist.z12\r\n"
              "Size 123456\r\n"
              "Desc Nodelist of day 12\r\n"
              "Ldesc Line one\r\n"
              "Ldesc Line two\r\n"
              "Area NODEDIFF\r\n"
              "Areadesc Nodelist diffs\r\n"
              "Origin 2:2/0\r\n"
              "From 2:5020/1\r\n"
              "To 2:5020/100\r\n"
              "Replaces NODELIST.Z*\r\n"
              "Crc 0A1B2C3D\r\n"
              "Path 2:2/0 1709600000 05 Mar 24  01:00:00\r\n"
              "Path 2:5020/1 1709610000\r\n"
              "SeenBy 2:5020/1\r\n"
              "SeenBy 2:5020/100\r\n"
              "Pw SECRET\r\n");
}

TEST(TicWrite, OptionalLinesLeftOutMandatoryLinesKeptValuesOnOneLine) {
    EXPECT_EQ(Read("File A.ZIP\r\nArea X\r\n"),
              "File A.ZIP\r\nFullname A.ZIP\r\nSize 0\r\nDesc \r\nArea X\r\nAreadesc \r\nFrom \r\nTo \r\n"
              "Crc FFFFFFFF\r\nPw \r\n");
    TicRecord tic;
    tic.File = "A.ZIP";
    tic.Area = "X";
    EXPECT_EQ(WithoutFirstLine(FormatTic(tic, FixedMoment())),
              "File A.ZIP\r\nSize 0\r\nDesc \r\nArea X\r\nAreadesc \r\nFrom \r\nTo \r\nCrc FFFFFFFF\r\nPw \r\n");
    // Values cannot open lines of their own.
    tic.File = "evil.zip\r\nArea OTHER";
    tic.Area = "MINE";
    tic.LDesc = {"one\nPw GUESSED"};
    TicRecord back = ParseText(FormatTic(tic, FixedMoment()));
    EXPECT_EQ(back.File + "|" + back.Area + "|" + back.Pw, "evil.zip  Area OTHER|MINE|");
    EXPECT_EQ(back.LDesc, std::vector<std::string>{"one Pw GUESSED"});
}

TEST(TicWrite, FileMatchesFormatAndReadsBack) {
    ScratchDir dir;
    TicRecord tic = SampleTic();
    ASSERT_EQ(WriteTic(dir / "BM000001.TIC", tic), 0);
    std::string bytes = ReadFileBytes(dir / "BM000001.TIC");
    EXPECT_TRUE(std::regex_match(bytes.substr(0, bytes.find("\r\n")),
                                 std::regex("Created \\d\\d [A-Z][a-z][a-z] \\d\\d  \\d\\d:\\d\\d:\\d\\d by "
                                            "Brenmoor v\\.1\\.29\\.Linux")));
    EXPECT_EQ(WithoutFirstLine(bytes), WithoutFirstLine(FormatTic(tic, FixedMoment())));
    // Read back, every field comes out as written; Destination is never written.
    TicRecord back;
    ASSERT_EQ(ReadTic(dir / "bm000001.tic", back), TicReadStatus::Ok);  // found in any letter case
    EXPECT_EQ(back.Destination, "");
    EXPECT_EQ(FormatTic(back, FixedMoment()), FormatTic(tic, FixedMoment()));
    EXPECT_NE(WriteTic(dir / "missing-dir/BM000001.TIC", tic), 0);
}

TEST(TicRead, KeywordsValuesAndDefaults) {
    EXPECT_EQ(Read("File foo.zip\r\ndesc  Some text here \r\nLdesc one\r\nLdesc two\r\nLDESC three\r\nSize 1024\r\n"
                   "From 2:5020/1.0\r\naReA foo_bar\r\nArea second\r\npw MixedCase\r\nTo Sysop 2:5020/1.0\r\n"
                   "Crc 1a2b3c4d\r\n"),
              "File foo.zip\r\nFullname foo.zip\r\nSize 1024\r\nDesc Some text here\r\nLdesc one\r\nLdesc two\r\n"
              "Ldesc three\r\nArea SECOND\r\nAreadesc \r\nFrom 2:5020/1\r\nTo 2:5020/1\r\nCrc 1A2B3C4D\r\n"
              "Pw MIXEDCASE\r\n");
    EXPECT_EQ(ParseText("Crc 1a2b3c4d\r\n").Crc, 0x1A2B3C4Du);
    EXPECT_EQ(ParseText("File x\r\n").Crc, NoTicCrc);
    // Bad numbers read as 0; a To line without digits gives no address.
    for (const char* bad : {"xyz", "123456789"}) EXPECT_EQ(ParseText(std::string("Crc ") + bad).Crc, 0u) << bad;
    for (const char* bad : {"12k", "99999999999"}) EXPECT_EQ(ParseText(std::string("Size ") + bad).Size, 0) << bad;
    EXPECT_EQ(ParseText("To Sysop\r\n").To, "");
    EXPECT_EQ(ParseText("To 2:5020/100.5@fidonet\r\n").To, "2:5020/100.5");
}

TEST(TicRead, LongLinesAndListEntriesAreCut) {
    std::string path(100, 'p'), seen(40, 's');
    TicRecord tic = ParseText("Path " + path + "\r\nSeenBy " + seen + "\r\nDesc " + std::string(300, 'd') + "\r\n");
    EXPECT_EQ(tic.Path, std::vector<std::string>{path.substr(0, 80)});
    EXPECT_EQ(tic.SeenBy, std::vector<std::string>{seen.substr(0, 29)});
    // A line beyond 255 characters is cut at 255 before it is taken apart.
    EXPECT_EQ(tic.Desc, std::string(250, 'd'));
}

TEST(TicRead, ForeignTossersTics) {
    // LF only, tabs after keywords, unknown keywords, no final line end.
    EXPECT_EQ(Read("Created by OtherTosser 2.0\nMagic NODELIST\nArea\tNODEDIFF\nLfn Nodelist.Z12\n"
                   "file\t\tNODELIST.Z12\nDate 1709600000\nCost 0\nDESC Nodelist\tdiff\nSize 42\nFrom 2:5020/1\n"
                   "Crc DEADBEEF"),
              "File NODELIST.Z12\r\nFullname NODELIST.Z12\r\nSize 42\r\nDesc Nodelist diff\r\nArea NODEDIFF\r\n"
              "Areadesc \r\nFrom 2:5020/1\r\nTo \r\nCrc DEADBEEF\r\nPw \r\n");
    // Bare CR line ends and empty lines; keywords without values.
    EXPECT_EQ(Read("\rArea A\r\rFile b.zip\rDesc\rFoo\rReplaces\r"),
              "File b.zip\r\nFullname b.zip\r\nSize 0\r\nDesc \r\nArea A\r\nAreadesc \r\nFrom \r\nTo \r\n"
              "Crc FFFFFFFF\r\nPw \r\n");
}

TEST(TicRead, UnreadableTicIsAStatusAndAClearedRecord) {
    ScratchDir dir;
    TicRecord tic = SampleTic();
    EXPECT_EQ(ReadTic(dir / "missing.tic", tic), TicReadStatus::CannotRead);
    EXPECT_EQ(tic.File, "");
    EXPECT_TRUE(tic.Path.empty());
    MakeDirs(dir / "dir.tic");
    EXPECT_EQ(ReadTic(dir / "dir.tic", tic), TicReadStatus::CannotRead);
}

TEST(TicNames, ShapeAndSpread) {
    SeedRandom();
    std::regex shape("BM[0-9A-Z]{6}\\.TIC");
    std::set<std::string> names;
    std::set<char> characters;
    for (int i = 0; i < 2000; ++i) {
        std::string name = NewTicName();
        ASSERT_TRUE(std::regex_match(name, shape)) << name;
        names.insert(name);
        characters.insert(name.begin() + 2, name.begin() + 8);
    }
    EXPECT_GT(names.size(), 1990u);
    EXPECT_EQ(characters.size(), 36u);  // every digit and letter turns up
    EXPECT_EQ(RandomNumber(0), 0u);
}

TEST(TicPathLine, LayoutAndCut) {
    EXPECT_EQ(ThisNodePathLineAt("2:5020/100", FixedMoment()),
              "2:5020/100 1709647629 05 Mar 24  14:07:09 [Brenmoor v.1.29.Linux]");
    std::string line = ThisNodePathLineAt(std::string(40, '9'), FixedMoment());
    EXPECT_EQ(line.size(), 80u);
    EXPECT_EQ(line.substr(0, 41), std::string(40, '9') + " ");
}

namespace {

// Bitwise reference CRC-32 (reflected 0xEDB88320).
std::uint32_t ReferenceCrc(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

}  // namespace

TEST(FileCrc, KnownValuesAndBlockBoundaries) {
    ScratchDir dir;
    WriteFileBytes(dir / "abc", "abc");
    WriteFileBytes(dir / "empty", "");
    EXPECT_EQ(FileCrc32(dir / "abc"), 0x352441C2u);
    EXPECT_EQ(FileCrc32(dir / "empty"), 0x00000000u);
    EXPECT_EQ(FileCrc32(dir / "missing"), 0xFFFFFFFFu);
    EXPECT_EQ(FileCrc32(dir.path), 0xFFFFFFFFu);

    std::string bytes((3u << 20) + 17, '\0');
    std::uint32_t x = 12345;
    for (char& c : bytes) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    WriteFileBytes(dir / "big.bin", bytes);
    EXPECT_EQ(FileCrc32(dir / "big.bin"), ReferenceCrc(bytes));
}
