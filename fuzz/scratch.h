#pragma once
// What the fuzz targets share. Each process works in a scratch directory of
// its own under TMPDIR; the readers that take a path get their input written
// there. Directories can be created inside it only: a fuzzed BRENMOOR.CTL
// names directories anywhere, and the program creates what it names.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The scratch directory with a trailing "/", made at the first call and
// removed when the process ends normally.
const std::string& ScratchDir();

// Writes the bytes to ScratchDir() + name and gives that path; a failure
// aborts (the target cannot work without it).
std::string WriteScratchFile(const std::string& name, std::string_view bytes);

// The directories the program created since the last call go again, with
// what it wrote into them, so that inputs do not see each other's.
void RemoveCreatedDirectories();
// The ones created so far stay (a target's own set-up).
void KeepCreatedDirectories();

// The source tree, for the language file and the sample nodes.
std::string SourcePath(const std::string& relative);

// Console output goes into a buffer that each input empties, the
// catalogue is the English language file.
void QuietConsole();

inline std::string_view InputBytes(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}
