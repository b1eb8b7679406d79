// The dupe database file, byte for byte, its ring and damaged files.
#include <gtest/gtest.h>

#include "testkit.h"
#include "tic/dupes.h"

namespace {

std::string Le32(std::uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

std::string Header(std::uint32_t last) {
    return std::string("Brenmoor DUPE file  ") + std::string(20, '\0') + Le32(last);
}

// A record of area "E" unless another 20-character area is given.
std::string Record(const std::string& name12, std::uint32_t crc, std::uint32_t size, std::uint32_t number,
                   const std::string& area20 = "E                   ") {
    return area20 + name12 + Le32(crc) + Le32(size) + Le32(number);
}

AreaRecord Area(const std::string& name) {
    AreaRecord area;
    area.Name = name;
    return area;
}

std::string At(const std::string& bytes, std::size_t position) { return bytes.substr(position * 44, 44); }

class DupeFile : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string db = dir / "dupes.dat";
};

TEST_F(DupeFile, FirstRecordCreatesTheFileAndNamesAreCut) {
    EXPECT_EQ(AddDupe(db, 100, Area("NodeDiff"), "nodelist.z12", 0x11223344, 5000), DupeAddStatus::Added);
    EXPECT_EQ(ReadFileBytes(db), Header(1) + Record("NODELIST.Z12", 0x11223344, 5000, 1, "NODEDIFF            "));
    AddDupe(db, 100, Area("A_VERY_LONG_AREA_TAG_NAME"), "a_long_file_name.zip", 1, 2);
    std::string bytes = ReadFileBytes(db);
    EXPECT_EQ(bytes.size(), 132u);
    EXPECT_EQ(bytes.substr(40, 4), Le32(2));
    EXPECT_EQ(At(bytes, 2), Record("A_LONG_FILE_", 1, 2, 2, "A_VERY_LONG_AREA_TAG"));
    // No dupe file configured: nothing.
    EXPECT_EQ(AddDupe("", 10, Area("X"), "A", 1, 1), DupeAddStatus::NoDupeFile);
    EXPECT_FALSE(IsDupe("", "X", "A", 1, 1));
}

TEST_F(DupeFile, RingWrapsAndLookupsSeeEveryPosition) {
    for (int i = 1; i <= 5; ++i) AddDupe(db, 3, Area("E"), "F" + std::to_string(i) + ".ZIP", 100u + i, 1000 + i);
    std::string bytes = ReadFileBytes(db);
    ASSERT_EQ(bytes.size(), 176u);
    EXPECT_EQ(bytes.substr(0, 44), Header(2));
    EXPECT_EQ(At(bytes, 1), Record("F4.ZIP      ", 104, 1004, 1));
    EXPECT_EQ(At(bytes, 2), Record("F5.ZIP      ", 105, 1005, 2));
    EXPECT_EQ(At(bytes, 3), Record("F3.ZIP      ", 103, 1003, 3));
    EXPECT_TRUE(IsDupe(db, "E", "F3.ZIP", 103, 1003));  // beyond the header's number
    EXPECT_TRUE(IsDupe(db, "E", "F5.ZIP", 105, 1005));
    EXPECT_FALSE(IsDupe(db, "E", "F1.ZIP", 101, 1001));  // overwritten

    // A ring of one remembers the last file only; only the low 16 bits of
    // MAXDUPEREC count, so 65537 is a ring of one.
    const std::string one = dir / "one.dat";
    AddDupe(one, 1, Area("E"), "ONE.ZIP", 1, 1);
    AddDupe(one, 65537, Area("E"), "TWO.ZIP", 2, 2);
    EXPECT_EQ(ReadFileBytes(one).size(), 88u);
    EXPECT_FALSE(IsDupe(one, "E", "ONE.ZIP", 1, 1));
    EXPECT_TRUE(IsDupe(one, "E", "TWO.ZIP", 2, 2));
}

TEST_F(DupeFile, WhatCountsAsADupe) {
    AddDupe(db, 50, Area("Files"), "Program.Zip", 0xCAFEBABE, 777);
    EXPECT_TRUE(IsDupe(db, "files", "program.zip", 0xCAFEBABE, 777));
    EXPECT_FALSE(IsDupe(db, "FILES", "PROGRAM.ZIP", 0xCAFEBABF, 777));
    EXPECT_FALSE(IsDupe(db, "FILES", "PROGRAM.ZIP", 0xCAFEBABE, 778));
    EXPECT_FALSE(IsDupe(db, "OTHER", "PROGRAM.ZIP", 0xCAFEBABE, 777));
    EXPECT_FALSE(IsDupe(dir / "missing.dat", "FILES", "PROGRAM.ZIP", 0xCAFEBABE, 777));
    AddDupe(db, 50, Area("Files"), "LongFileName1.zip", 5, 6);
    EXPECT_TRUE(IsDupe(db, "FILES", "LONGFILENAME2.ZIP", 5, 6));  // same first 12 characters
    AddDupe(db, 50, Area("Files"), "semi;colon.zip", 0xFFFFFFFFu, 8);
    EXPECT_TRUE(IsDupe(db, "FILES", "semi;colon.zip", 0xFFFFFFFFu, 8));
}

TEST_F(DupeFile, TrailingPartialRecordIsIgnoredAndHealed) {
    for (int i = 1; i <= 3; ++i) AddDupe(db, 10, Area("E"), "F" + std::to_string(i), i, i);
    std::string bytes = ReadFileBytes(db);
    // A crash half-way through a fourth record: 20 bytes of it made it.
    WriteFileBytes(db, bytes + Record("F4          ", 4, 4, 4).substr(0, 20));
    EXPECT_FALSE(IsDupe(db, "E", "F4", 4, 4));
    EXPECT_TRUE(IsDupe(db, "E", "F3", 3, 3));
    AddDupe(db, 10, Area("E"), "F5", 5, 5);
    std::string after = ReadFileBytes(db);
    ASSERT_EQ(after.size(), 5u * 44u);
    EXPECT_EQ(after.substr(44, 3 * 44), bytes.substr(44, 3 * 44));  // valid records untouched
    EXPECT_EQ(At(after, 4), Record("F5          ", 5, 5, 4));
    EXPECT_EQ(after.substr(40, 4), Le32(4));
}

TEST_F(DupeFile, HeaderNumberOutsideTheFileLeavesNoHoleAndNeverOverwritesTheHeader) {
    const std::string r1 = Record("A           ", 1, 1, 1), r2 = Record("B           ", 2, 2, 2);
    WriteFileBytes(db, Header(40) + r1 + r2);  // truncated file of a larger ring
    AddDupe(db, 100, Area("E"), "C", 3, 3);
    EXPECT_EQ(ReadFileBytes(db), Header(3) + r1 + r2 + Record("C           ", 3, 3, 3));

    WriteFileBytes(db, Header(0xFFFFFFF0u) + r1);  // negative
    AddDupe(db, 100, Area("E"), "Z", 9, 9);
    EXPECT_EQ(ReadFileBytes(db), Header(1) + Record("Z           ", 9, 9, 1));
}

TEST_F(DupeFile, ForeignFileIsMovedAsideUntouched) {
    std::string foreign = "This is somebody else's file, not a dupe database at all. " + std::string(100, 'x');
    WriteFileBytes(db, foreign);
    EXPECT_FALSE(IsDupe(db, "E", "A", 1, 1));
    EXPECT_EQ(ReadFileBytes(db), foreign);
    EXPECT_EQ(AddDupe(db, 10, Area("E"), "A", 1, 1), DupeAddStatus::ForeignMoved);
    EXPECT_EQ(ReadFileBytes(dir / "dupes.dat.bad"), foreign);
    EXPECT_EQ(ReadFileBytes(db), Header(1) + Record("A           ", 1, 1, 1));

    // A second foreign file does not replace the first one kept aside.
    WriteFileBytes(db, "short");
    EXPECT_EQ(ForeignDupeFileName(db), dir / "dupes.dat.bad1");
    EXPECT_EQ(AddDupe(db, 10, Area("E"), "B", 2, 2), DupeAddStatus::ForeignMoved);
    EXPECT_EQ(ReadFileBytes(dir / "dupes.dat.bad"), foreign);
    EXPECT_EQ(ReadFileBytes(dir / "dupes.dat.bad1"), "short");
    EXPECT_TRUE(IsDupe(db, "E", "B", 2, 2));
}

TEST_F(DupeFile, EmptyFileStartsAFreshDatabaseAndADirectoryIsLeftAlone) {
    WriteFileBytes(db, "");
    EXPECT_FALSE(IsDupe(db, "E", "A", 1, 1));
    EXPECT_EQ(AddDupe(db, 10, Area("E"), "A", 1, 1), DupeAddStatus::Added);
    EXPECT_EQ(ReadFileBytes(db), Header(1) + Record("A           ", 1, 1, 1));
    const std::string folder = dir / "folder.dat";
    MakeDirs(folder);
    EXPECT_FALSE(IsDupe(folder, "E", "A", 1, 1));
    EXPECT_EQ(AddDupe(folder, 10, Area("E"), "A", 1, 1), DupeAddStatus::ForeignKept);
    EXPECT_TRUE(PathExists(folder));
}

}  // namespace
