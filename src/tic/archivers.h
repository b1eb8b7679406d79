#pragma once
// Running the archivers of "arc.ctl" on stored files.
#include <string>
#include <vector>

#include "config/archivers.h"

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
