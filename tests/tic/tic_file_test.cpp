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
    t.year = 2024;
    t.month = 3;
    t.day = 5;
    t.hour = 14;
    t.minute = 7;
    t.second = 9;
    return t;
}

TicRecord SampleTic() {
    TicRecord tic;
    tic.File = "NODELIST.Z12";
    tic.FullName = "nodelist.z12";
    tic.Desc = "Nodelist of day 12";
    tic.Area = "NODEDIFF";
    tic.AreaDesc = "Nodelist diffs";
    tic.From = "2:5020/1";
    tic.To = "2:5020/100";
    tic.Origin = "2:2/0";
    tic.Destination = "2:5020/100";
    tic.Replaces = "NODELIST.Z*";
    tic.Pw = "SECRET";
    tic.Size = 123456;
    tic.LDesc = {"Line one", "Line two"};
    tic.SeenBy = {"2:5020/1", "2:5020/100"};
    tic.Path = {"2:2/0 1709600000 05 Mar 24  01:00:00", "2:5020/1 1709610000"};
    tic.Crc = 0x0A1B2C3D;
    return tic;
}

TicRecord ParseText(const std::string& text) {
    TicRecord tic;
    ParseTic(text, tic);
    return tic;
}

std::string WithoutFirstLine(const std::string& text) { return text.substr(text.find("\r\n") + 2); }

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

TEST(TicWrite, OptionalLinesLeftOutMandatoryLinesKept) {
    TicRecord tic;
    tic.File = "A.ZIP";
    tic.Area = "X";
    EXPECT_EQ(WithoutFirstLine(FormatTic(tic, FixedMoment())),
              "File A.ZIP\r\n"
              "Size 0\r\n"
              "Desc \r\n"
              "Area X\r\n"
              "Areadesc \r\n"
              "From \r\n"
              "To \r\n"
              "Crc FFFFFFFF\r\n"
              "Pw \r\n");
}

TEST(TicWrite, ValuesCannotOpenLinesOfTheirOwn) {
    TicRecord tic;
    tic.File = "evil.zip\r\nArea OTHER";
    tic.Area = "MINE";
    tic.LDesc = {"one\nPw GUESSED"};
    TicRecord back = ParseText(FormatTic(tic, FixedMoment()));
    EXPECT_EQ(back.File, "evil.zip  Area OTHER");
    EXPECT_EQ(back.Area, "MINE");
    EXPECT_EQ(back.Pw, "");
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
    ASSERT_EQ(ReadTic(dir / "BM000001.TIC", back), TicReadStatus::Ok);
    EXPECT_EQ(back.Destination, "");
    EXPECT_EQ(FormatTic(back, FixedMoment()), FormatTic(tic, FixedMoment()));
}

TEST(TicWrite, UnwritableTargetReportsError) {
    ScratchDir dir;
    EXPECT_NE(WriteTic(dir / "missing-dir/BM000001.TIC", SampleTic()), 0);
}

TEST(TicRead, KeywordCaseAndBlanks) {
    EXPECT_EQ(ParseText("desc  Some text here \r\n").Desc, "Some text here");
    EXPECT_EQ(ParseText("DESC Some text here\r\n").Desc, "Some text here");
    TicRecord tic = ParseText("aReA foo_bar\r\nArea second\r\npw MixedCase\r\n");
    EXPECT_EQ(tic.Area, "SECOND");
    EXPECT_EQ(tic.Pw, "MIXEDCASE");
}

TEST(TicRead, ListsScalarsAndDefaults) {
    TicRecord tic = ParseText(
        "File foo.zip\r\n"
        "Ldesc one\r\nLdesc two\r\nLDESC three\r\n"
        "Size 1024\r\n"
        "From 2:5020/1.0\r\n");
    EXPECT_EQ(tic.LDesc, (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(tic.FullName, "foo.zip");
    EXPECT_EQ(tic.Crc, NoTicCrc);
    EXPECT_EQ(tic.Size, 1024);
    EXPECT_EQ(tic.From, "2:5020/1");

    EXPECT_EQ(ParseText("Crc 1a2b3c4d\r\n").Crc, 0x1A2B3C4Du);
    EXPECT_EQ(WithoutFirstLine(FormatTic(ParseText("Crc 1a2b3c4d\r\n"), FixedMoment())).find("Crc 1A2B3C4D\r\n") !=
                  std::string::npos,
              true);
    EXPECT_EQ(ParseText("Crc xyz\r\n").Crc, 0u);
    EXPECT_EQ(ParseText("Crc 123456789\r\n").Crc, 0u);  // does not fit 32 bits
    EXPECT_EQ(ParseText("Size 12k\r\n").Size, 0);
    EXPECT_EQ(ParseText("Size 99999999999\r\n").Size, 0);
}

TEST(TicRead, ToAddress) {
    EXPECT_EQ(ParseText("To Sysop 2:5020/1.0\r\n").To, "2:5020/1");
    EXPECT_EQ(ParseText("To Sysop\r\n").To, "");
    EXPECT_EQ(ParseText("To 2:5020/100.5@fidonet\r\n").To, "2:5020/100.5");
}

TEST(TicRead, LongListEntriesAreCut) {
    std::string path(100, 'p');
    std::string seen(40, 's');
    TicRecord tic = ParseText("Path " + path + "\r\nSeenBy " + seen + "\r\n");
    ASSERT_EQ(tic.Path.size(), 1u);
    EXPECT_EQ(tic.Path[0], path.substr(0, 80));
    ASSERT_EQ(tic.SeenBy.size(), 1u);
    EXPECT_EQ(tic.SeenBy[0], seen.substr(0, 29));
    EXPECT_NE(FormatTic(tic, FixedMoment()).find("Path " + path.substr(0, 80) + "\r\n"), std::string::npos);

    // A line beyond 255 characters is cut at 255 before it is taken apart.
    TicRecord longDesc = ParseText("Desc " + std::string(300, 'd') + "\r\n");
    EXPECT_EQ(longDesc.Desc, std::string(250, 'd'));
}

TEST(TicRead, ForeignTossersTics) {
    // LF only, tabs after keywords, unknown keywords, no final line end.
    TicRecord tic = ParseText(
        "Created by OtherTosser 2.0\n"
        "Magic NODELIST\n"
        "Area\tNODEDIFF\n"
        "Lfn Nodelist.Z12\n"
        "file\t\tNODELIST.Z12\n"
        "Date 1709600000\n"
        "Cost 0\n"
        "DESC Nodelist\tdiff\n"
        "Size 42\n"
        "From 2:5020/1\n"
        "Crc DEADBEEF");
    EXPECT_EQ(tic.Area, "NODEDIFF");
    EXPECT_EQ(tic.File, "NODELIST.Z12");
    EXPECT_EQ(tic.Desc, "Nodelist diff");
    EXPECT_EQ(tic.Size, 42);
    EXPECT_EQ(tic.From, "2:5020/1");
    EXPECT_EQ(tic.Crc, 0xDEADBEEFu);

    // Bare CR line ends and empty lines.
    TicRecord crOnly = ParseText("\rArea A\r\rFile b.zip\r");
    EXPECT_EQ(crOnly.Area, "A");
    EXPECT_EQ(crOnly.File, "b.zip");

    // A keyword without a value, and a value-less unknown line.
    TicRecord bare = ParseText("Desc\r\nFoo\r\nReplaces\r\n");
    EXPECT_EQ(bare.Desc, "");
    EXPECT_EQ(bare.Replaces, "");
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

TEST(TicRead, NameIsFoundInAnyLetterCase) {
    ScratchDir dir;
    WriteFileBytes(dir / "bm123456.tic", "Area lower\r\n");
    TicRecord tic;
    ASSERT_EQ(ReadTic(dir / "BM123456.TIC", tic), TicReadStatus::Ok);
    EXPECT_EQ(tic.Area, "LOWER");
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
}

TEST(TicPathLine, LayoutAndCut) {
    EXPECT_EQ(ThisNodePathLineAt("2:5020/100", FixedMoment()),
              "2:5020/100 1709647629 05 Mar 24  14:07:09 [Brenmoor v.1.29.Linux]");
    std::string longAka(40, '9');
    std::string line = ThisNodePathLineAt(longAka, FixedMoment());
    EXPECT_EQ(line.size(), 80u);
    EXPECT_EQ(line.substr(0, 41), longAka + " ");
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

TEST(FileCrc, KnownValues) {
    ScratchDir dir;
    WriteFileBytes(dir / "abc", "abc");
    WriteFileBytes(dir / "empty", "");
    EXPECT_EQ(FileCrc32(dir / "abc"), 0x352441C2u);
    EXPECT_EQ(FileCrc32(dir / "empty"), 0x00000000u);
    EXPECT_EQ(FileCrc32(dir / "missing"), 0xFFFFFFFFu);
    MakeDirs(dir / "sub");
    EXPECT_EQ(FileCrc32(dir / "sub"), 0xFFFFFFFFu);
}

TEST(FileCrc, AcrossBlockBoundaries) {
    ScratchDir dir;
    std::string bytes;
    std::uint32_t x = 12345;
    bytes.reserve((3u << 20) + 17);
    for (std::size_t i = 0; i < (3u << 20) + 17; ++i) {
        x = x * 1103515245u + 12345u;
        bytes += static_cast<char>(x >> 24);
    }
    WriteFileBytes(dir / "big.bin", bytes);
    EXPECT_EQ(FileCrc32(dir / "big.bin"), ReferenceCrc(bytes));
}
