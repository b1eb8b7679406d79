#pragma once
// Archivers of "arc.ctl": recognised by a signature, run to extract file_id.diz.
#include <cstdint>
#include <string>
#include <vector>

struct ArchiverRecord {
    std::string Name;         // value of ARCHIVER
    std::string Signature;    // signature bytes as hexadecimal digit pairs
    std::string ExtractFile;  // command line extracting one file (%A %F %T); case kept
    std::string AddFile;      // command line adding a file; case kept
    std::int32_t Offset = 0;  // where the signature stands in the archive
};

// The archivers of the file in file order; empty when it is missing.
std::vector<ArchiverRecord> ReadArchivers(const std::string& path);
