// Block reads of whole files, and the mapped checksum the file CRC uses:
// windows, files that change while they are read, files that cannot be mapped.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "frame/platform_blockio.h"
#include "testkit.h"

namespace {

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
    return bytes;
}

// Reads path in blocks of the given size; seen gets the bytes.
int ReadAll(const std::string& path, std::size_t window, std::string& seen) {
    return ReadFileBlocks(path, window, [&](const unsigned char* data, std::size_t size) {
        seen.append(reinterpret_cast<const char*>(data), size);
    });
}

TEST(BlockRead, WindowsCoverTheFileInOrder) {
    ScratchDir dir;
    std::string bytes = Pattern(3 * 4096 + 17);
    WriteFileBytes(dir / "f.bin", bytes);
    for (std::size_t window : {std::size_t{1}, std::size_t{4096}, std::size_t{5000}, std::size_t{1} << 24}) {
        std::string seen;
        EXPECT_EQ(ReadAll(dir / "f.bin", window, seen), 0);
        EXPECT_TRUE(seen == bytes) << "window " << window;
    }
    std::string seen;
    EXPECT_NE(ReadAll(dir / "missing", 4096, seen), 0);
    EXPECT_NE(ReadAll(dir.path, 4096, seen), 0);
    // procfs files report size 0 and are read through the buffer.
    EXPECT_EQ(ReadAll("/proc/self/status", 1 << 20, seen), 0);
    EXPECT_NE(seen.find("Name:"), std::string::npos);
}

// Checksum updates for ChecksumFile: order-sensitive, and able to change the
// file under the read after the first window (plain functions, as it needs).
char g_changedFile[4096];
int g_updates = 0;
enum class Change { None, Shrink, Grow } g_change = Change::None;

std::uint32_t Mix(std::uint32_t value, const unsigned char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) value = value * 31 + data[i];
    if (g_updates++ == 0) {
        if (g_change == Change::Shrink && ::truncate(g_changedFile, 100) != 0) std::abort();
        if (g_change == Change::Grow) {
            int fd = ::open(g_changedFile, O_WRONLY | O_APPEND);
            if (fd < 0 || ::write(fd, "tail", 4) != 4) std::abort();
            ::close(fd);
        }
    }
    return value;
}

std::uint32_t MixOf(const std::string& bytes) {
    return Mix(0, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

int Checksum(const std::string& path, std::size_t window, Change change, std::uint32_t& value) {
    std::snprintf(g_changedFile, sizeof g_changedFile, "%s", path.c_str());
    g_change = change;
    g_updates = 0;
    value = 0;
    int error = ChecksumFile(path, window, Mix, value);
    g_change = Change::None;
    return error;
}

// Small files are read, larger ones mapped: both roads give one checksum.
TEST(ChecksumFile, WindowsCoverTheFileInOrder) {
    ScratchDir dir;
    for (std::size_t size : {std::size_t{3 * 4096 + 17}, std::size_t{20 * 4096 + 17}}) {
        std::string bytes = Pattern(size);
        WriteFileBytes(dir / "f.bin", bytes);
        const std::uint32_t expected = MixOf(bytes);
        for (std::size_t window : {std::size_t{1}, std::size_t{4096}, std::size_t{5000}, std::size_t{1} << 24}) {
            std::uint32_t value = 0;
            EXPECT_EQ(Checksum(dir / "f.bin", window, Change::None, value), 0);
            EXPECT_EQ(value, expected) << "size " << size << ", window " << window;
        }
    }
    std::uint32_t value = 0;
    EXPECT_NE(Checksum(dir / "missing", 4096, Change::None, value), 0);
    EXPECT_NE(Checksum(dir.path, 4096, Change::None, value), 0);
}

TEST(ChecksumFile, FileShrinkingUnderTheMappingIsAnErrorNotACrash) {
    ScratchDir dir;
    const std::string path = dir / "f.bin";
    WriteFileBytes(path, Pattern(24 * 4096));  // mapped
    struct sigaction before {}, after {};
    sigaction(SIGBUS, nullptr, &before);
    std::uint32_t value = 0;
    EXPECT_NE(Checksum(path, 4096, Change::Shrink, value), 0);
    sigaction(SIGBUS, nullptr, &after);
    EXPECT_EQ(before.sa_handler, after.sa_handler);  // the program's own handling is back
}

TEST(ChecksumFile, FileGrowingWhileReadIsReadToItsEnd) {
    ScratchDir dir;
    const std::string path = dir / "f.bin";
    for (std::size_t size : {std::size_t{2 * 4096}, std::size_t{20 * 4096}}) {
        std::string bytes = Pattern(size);
        WriteFileBytes(path, bytes);
        std::uint32_t value = 0;
        EXPECT_EQ(Checksum(path, 4096, Change::Grow, value), 0);
        EXPECT_EQ(value, MixOf(bytes + "tail")) << "size " << size;
    }
}

}  // namespace
