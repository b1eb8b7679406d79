#include <gtest/gtest.h>

#include "testkit.h"
#include "tic/archivers.h"

namespace {

std::vector<ArchiverRecord> LoadText(const ScratchDir& dir, const std::string& text) {
    WriteFileBytes(dir / "arc.ctl", text);
    return ReadArchivers(dir / "arc.ctl");
}

// An archiver as "NAME offset,signature|extract|add".
std::string Fields(const ArchiverRecord& a) {
    return a.Name + " " + std::to_string(a.Offset) + "," + a.Signature + "|" + a.ExtractFile + "|" + a.AddFile;
}

TEST(ReadArchivers, BlocksInFileOrderAndSignatureValues) {
    ScratchDir dir;
    auto archivers = LoadText(dir,
                              "; archivers\r\n"
                              "EXTRACTFILE ignored before the first archiver\r\n"
                              "Archiver zip\r\n"
                              "Signature 0,504b0304   ; PK\r\n"
                              "ExtractFile unzip -o -qq -j %A %F -d %T\r\n"
                              "AddFile zip -q -j %A %F\r\n"
                              "Archiver Lha\r\nSignature 2,2D6C68\r\nExtractFile /usr/bin/LHA e %A %F\r\n"
                              "Archiver ZIP\r\nSignature 1A, 1F8B\r\n"  // the same name again is another archiver
                              "ARCHIVER A\nSIGNATURE 504B0304\n"       // no comma: ignored
                              "ARCHIVER B\nSIGNATURE zz,504B\nARCHIVER C\nSIGNATURE 10,\n"
                              "ARCHIVER D\nSIGNATURE 1,2,3\n");
    std::vector<std::string> fields;
    for (const ArchiverRecord& a : archivers) fields.push_back(Fields(a));
    EXPECT_EQ(fields, (std::vector<std::string>{
                          "ZIP 0,504B0304|unzip -o -qq -j %A %F -d %T|zip -q -j %A %F",
                          "LHA 2,2D6C68|/usr/bin/LHA e %A %F|",
                          "ZIP 26,1F8B||",
                          "A 0,||",
                          "B 0,504B||",
                          "C 16,||",
                          "D 1,2,3||",
                      }));
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
