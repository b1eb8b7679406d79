// The TIC reader on any bytes, from memory and from a file; a TIC the node
// writes of what it read must read back to the same file, area, size and CRC
// (that is what the next node checks and the dupe database keeps).
#include <cstdio>
#include <cstdlib>

#include "frame/exit.h"
#include "frame/platform.h"
#include "scratch.h"
#include "tic/tic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QuietConsole();
    const std::string_view bytes = InputBytes(data, size);
    try {
        TicRecord parsed;
        ParseTic(bytes, parsed);
        TicRecord read;
        if (ReadTic(WriteScratchFile("input.tic", bytes), read) != TicReadStatus::Ok) std::abort();
        if (read.File != parsed.File || read.Area != parsed.Area || read.Crc != parsed.Crc) std::abort();

        const std::string written = FormatTic(parsed, LocalDateTime{});
        // Lines longer than a TIC line are cut by any reader.
        bool fits = true;
        for (const std::string& line : SplitLines(written, written.size() + 1)) fits = fits && line.size() <= MaxText;
        if (!fits) return 0;
        TicRecord again;
        ParseTic(written, again);
        if (again.File != parsed.File || again.Area != parsed.Area || again.Size != parsed.Size ||
            again.Crc != parsed.Crc || again.Pw != parsed.Pw) {
            std::fprintf(stderr, "written TIC reads back otherwise:\n%s\n", written.c_str());
            std::abort();
        }
    } catch (const ProgramExit&) {
        // Out of memory for the list lines: the program's own end.
    }
    return 0;
}
