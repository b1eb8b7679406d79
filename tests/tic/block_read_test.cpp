// Block reads of whole files, as the file CRC uses them: windows, files
// that change while they are read, and files that cannot be mapped.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <utility>

#include "frame/platform_blockio.h"
#include "testkit.h"

namespace {

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
    return bytes;
}

// Reads path in windows of the given size; seen gets the bytes, then each block is handed to after.
int ReadAll(const std::string& path, std::size_t window, std::string& seen,
            const std::function<void()>& after = [] {}) {
    return ReadFileBlocks(path, window, [&](const unsigned char* data, std::size_t size) {
        seen.append(reinterpret_cast<const char*>(data), size);
        after();
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

TEST(BlockRead, FileShrinkingWhileReadIsAnErrorNotACrash) {
    ScratchDir dir;
    const std::string path = dir / "f.bin";
    WriteFileBytes(path, Pattern(8 * 4096));
    struct sigaction before {}, after {};
    sigaction(SIGBUS, nullptr, &before);
    std::string seen;
    EXPECT_NE(ReadAll(path, 4096, seen, [&] { std::filesystem::resize_file(path, 100); }), 0);
    sigaction(SIGBUS, nullptr, &after);
    EXPECT_EQ(before.sa_handler, after.sa_handler);  // the program's own handling is back
}

TEST(BlockRead, FileGrowingWhileReadIsReadToItsEnd) {
    ScratchDir dir;
    const std::string path = dir / "f.bin";
    std::string bytes = Pattern(2 * 4096), seen;
    WriteFileBytes(path, bytes);
    bool grown = false;
    EXPECT_EQ(ReadAll(path, 4096, seen, [&] {
                  if (!std::exchange(grown, true)) WriteFileBytes(path, bytes + "tail");
              }),
              0);
    EXPECT_TRUE(seen == bytes + "tail");
}

}  // namespace
