#pragma once
// Archivers of "arc.ctl": recognised by a signature, run to extract file_id.diz.
#include <cstdint>
#include <string>
#include <vector>

#include "config/ctltable.h"

struct ArchiverRecord {
    std::string Name;         // value of ARCHIVER
    std::string Signature;    // signature bytes as hexadecimal digit pairs
    std::string ExtractFile;  // command line extracting one file (%A %F %T); case kept
    std::string AddFile;      // command line adding a file; case kept
    std::int32_t Offset = 0;  // where the signature stands in the archive
};

// The archivers of the file in file order (emptied first). Returns 0, or
// the error number when the file cannot be read.
int ReadArchivers(const std::string& path, std::vector<ArchiverRecord>& archivers);

// What `brenmoor check` finds in the file: what ReadArchivers lets pass,
// archivers that can never give a description (no signature, no extract
// command, a command without the archive or the target, a program that is
// not found) and a file that gives no archiver (the run ends with 4).
std::vector<ConfigProblem> CheckArchivers(const std::string& path);
