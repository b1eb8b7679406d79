#include "tic/archivers.h"

#include <gtest/gtest.h>

#include "testkit.h"

namespace {

std::vector<ArchiverRecord> LoadText(const ScratchDir& dir, const std::string& text) {
    WriteFileBytes(dir / "arc.ctl", text);
    return ReadArchivers(dir / "arc.ctl");
}

TEST(ReadArchivers, BlocksInFileOrder) {
    ScratchDir dir;
    auto archivers = LoadText(dir,
                              "; archivers\r\n"
                              "EXTRACTFILE ignored before the first archiver\r\n"
                              "Archiver zip\r\n"
                              "Signature 0,504b0304   ; PK\r\n"
                              "ExtractFile unzip -o -qq -j %A %F -d %T\r\n"
                              "AddFile zip -q -j %A %F\r\n"
                              "Archiver Lha\r\n"
                              "Signature 2,2D6C68\r\n"
                              "ExtractFile /usr/bin/LHA e %A %F\r\n"
                              "Archiver ZIP\r\n"
                              "Signature 1A, 1F8B\r\n");
    ASSERT_EQ(archivers.size(), 3u);
    EXPECT_EQ(archivers[0].Name, "ZIP");
    EXPECT_EQ(archivers[0].Offset, 0);
    EXPECT_EQ(archivers[0].Signature, "504B0304");
    EXPECT_EQ(archivers[0].ExtractFile, "unzip -o -qq -j %A %F -d %T");
    EXPECT_EQ(archivers[0].AddFile, "zip -q -j %A %F");
    EXPECT_EQ(archivers[1].Name, "LHA");
    EXPECT_EQ(archivers[1].Offset, 2);
    EXPECT_EQ(archivers[1].ExtractFile, "/usr/bin/LHA e %A %F");
    EXPECT_EQ(archivers[1].AddFile, "");
    // A second block of the same name is a second archiver.
    EXPECT_EQ(archivers[2].Name, "ZIP");
    EXPECT_EQ(archivers[2].Offset, 0x1A);
    EXPECT_EQ(archivers[2].Signature, "1F8B");
}

TEST(ReadArchivers, SignatureValues) {
    ScratchDir dir;
    auto archivers = LoadText(dir,
                              "ARCHIVER A\nSIGNATURE 504B0304\n"
                              "ARCHIVER B\nSIGNATURE zz,504B\n"
                              "ARCHIVER C\nSIGNATURE 10,\n"
                              "ARCHIVER D\nSIGNATURE 1,2,3\n");
    ASSERT_EQ(archivers.size(), 4u);
    EXPECT_EQ(archivers[0].Signature, "");  // no comma: ignored
    EXPECT_EQ(archivers[0].Offset, 0);
    EXPECT_EQ(archivers[1].Offset, 0);
    EXPECT_EQ(archivers[1].Signature, "504B");
    EXPECT_EQ(archivers[2].Offset, 16);
    EXPECT_EQ(archivers[2].Signature, "");
    EXPECT_EQ(archivers[3].Offset, 1);
    EXPECT_EQ(archivers[3].Signature, "2,3");
}

TEST(ReadArchivers, BadFiles) {
    ScratchDir dir;
    EXPECT_TRUE(ReadArchivers(dir / "missing.ctl").empty());
    EXPECT_TRUE(LoadText(dir, "").empty());
    EXPECT_TRUE(LoadText(dir, "SIGNATURE 0,504B\nEXTRACTFILE x\n").empty());
    auto cut = LoadText(dir, "ARCHIVER X\nEXTRACTFILE " + std::string(10000, 'e') + "\nARCHIVER");
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[0].ExtractFile.size(), 255u - 12);
    EXPECT_EQ(cut[1].Name, "");
}

}  // namespace
