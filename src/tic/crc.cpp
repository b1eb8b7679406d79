// CRC-32 of whole files and of texts.
#include <zlib.h>

#include "frame/platform_blockio.h"
#include "tic/tic.h"

namespace {

// Big mapped windows: the CRC then runs over the page cache itself, at the
// speed of zlib's crc32 over memory.
constexpr std::size_t CrcBlockSize = 16 << 20;

std::uint32_t UpdateCrc(std::uint32_t crc, const unsigned char* data, std::size_t size) {
    return static_cast<std::uint32_t>(crc32_z(crc, data, size));
}

}  // namespace

std::uint32_t FileCrc32(const std::string& path) {
    std::uint32_t crc = static_cast<std::uint32_t>(crc32(0L, Z_NULL, 0));
    if (ChecksumFile(path, CrcBlockSize, UpdateCrc, crc) != 0) return NoTicCrc;
    return crc;
}

std::uint32_t FileCrc32(const RegularFile& file) {
    std::uint32_t crc = static_cast<std::uint32_t>(crc32(0L, Z_NULL, 0));
    if (!file.IsOpen() || ChecksumOpenFile(file.Descriptor(), CrcBlockSize, UpdateCrc, crc) != 0) return NoTicCrc;
    return crc;
}

std::uint32_t TextCrc32(std::string_view text) {
    return static_cast<std::uint32_t>(
        crc32_z(crc32(0L, Z_NULL, 0), reinterpret_cast<const unsigned char*>(text.data()), text.size()));
}
