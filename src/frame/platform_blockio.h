#pragma once
// Block and record access to files, beside the whole-file services of
// platform.h: record files are read and written in place, large files are
// read in big blocks without holding them in memory.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "frame/platform.h"

// Reads up to size bytes from offset (after ResolvePath) into data; fewer
// at the end of the file. Returns 0 or errno.
int ReadFileRange(const std::string& path, std::uint64_t offset, std::size_t size, std::string& data);

// Writes the bytes at offset into an existing file (after ResolvePath),
// without truncating it. Returns 0 or errno.
int WriteFileRange(const std::string& path, std::uint64_t offset, std::string_view bytes);

// A record file kept open for a run: opened for reading and writing (for
// reading only when writing is refused: writable tells), with who it was
// when opened. -1 with errno on failure.
int OpenRecordFile(const std::string& path, FileIdentity& identity, bool& writable);
// The same range reads and writes on such a file (GetOpenFileIdentity tells
// who it is now).
int ReadOpenFileRange(int fd, std::uint64_t offset, std::size_t size, std::string& data);
int WriteOpenFileRange(int fd, std::uint64_t offset, std::string_view bytes);

// Hands the whole file to consume in order, in blocks of up to blockSize
// bytes (a read() buffer of at most 1 MiB). Returns 0 or errno (the blocks
// seen so far were consumed).
int ReadFileBlocks(const std::string& path, std::size_t blockSize,
                   const std::function<void(const unsigned char* data, std::size_t size)>& consume);

// A running checksum over a block, such as zlib's crc32.
using ChecksumUpdate = std::uint32_t (*)(std::uint32_t value, const unsigned char* data, std::size_t size);

// Runs update over the whole file in order: over mapped windows of up to
// windowSize bytes where the file can be mapped (no copy out of the page
// cache), through a read() buffer otherwise. A file that shrinks under the
// mapping abandons the update midway and gives EIO, never a crash, so update
// must be a plain function that allocates and holds nothing. Returns 0 or
// errno; value holds the checksum when 0 is returned.
int ChecksumFile(const std::string& path, std::size_t windowSize, ChecksumUpdate update, std::uint32_t& value);

// The same over a file already open (a RegularFile's descriptor), which stays open.
int ChecksumOpenFile(int fd, std::size_t windowSize, ChecksumUpdate update, std::uint32_t& value);

// True when both paths (after ResolvePath) name one existing file.
bool IsSameFile(const std::string& a, const std::string& b);
