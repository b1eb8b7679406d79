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

// The first archiver whose signature stands at its offset in the file, or an
// empty record (empty Name). A file that cannot be read matches none.
ArchiverRecord FindArchiver(const std::string& archivePath, const std::vector<ArchiverRecord>& archivers);

// Runs the archiver's ExtractFile command (%A archive, %F "file_id.diz",
// %T tempDir) and returns the lines of tempDir + "file_id.diz", which is
// deleted afterwards; empty when nothing was extracted. An archiver program
// that is not found is not run.
std::vector<std::string> ExtractDescription(const ArchiverRecord& archiver, const std::string& archivePath,
                                            const std::string& tempDir);

// The command line of ExtractDescription: each macro replaced once.
std::string ExtractCommandLine(const ArchiverRecord& archiver, const std::string& archivePath,
                               const std::string& tempDir);
