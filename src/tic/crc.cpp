// CRC-32 of whole files.
#include <zlib.h>

#include "frame/platform_blockio.h"
#include "tic/tic.h"

namespace {

// Big mapped windows: the CRC then runs over the page cache itself, at the
// speed of zlib's crc32 over memory.
constexpr std::size_t CrcBlockSize = 16 << 20;

}  // namespace

std::uint32_t FileCrc32(const std::string& path) {
    uLong crc = crc32(0L, Z_NULL, 0);
    int error = ReadFileBlocks(path, CrcBlockSize, [&crc](const unsigned char* data, std::size_t size) {
        crc = crc32(crc, data, static_cast<uInt>(size));
    });
    if (error != 0) return NoTicCrc;
    return static_cast<std::uint32_t>(crc);
}
