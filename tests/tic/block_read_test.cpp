// Block reads of whole files, as the file CRC uses them: windows, files
// that change while they are read, and files that cannot be mapped.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "frame/platform_blockio.h"
#include "testkit.h"

namespace {

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
    return bytes;
}

}  // namespace

TEST(BlockRead, WindowsCoverTheFileInOrder) {
    ScratchDir dir;
    std::string bytes = Pattern(3 * 4096 + 17);
    WriteFileBytes(dir / "f.bin", bytes);
    for (std::size_t window : {std::size_t{1}, std::size_t{4096}, std::size_t{5000}, std::size_t{1} << 24}) {
        std::string seen;
        std::size_t blocks = 0;
        EXPECT_EQ(ReadFileBlocks(dir / "f.bin", window,
                                 [&](const unsigned char* data, std::size_t size) {
                                     seen.append(reinterpret_cast<const char*>(data), size);
                                     ++blocks;
                                 }),
                  0);
        EXPECT_TRUE(seen == bytes) << "window " << window;
        EXPECT_GE(blocks, 1u);
    }
    EXPECT_NE(ReadFileBlocks(dir / "missing", 4096, [](const unsigned char*, std::size_t) {}), 0);
}

TEST(BlockRead, FileShrinkingWhileReadIsAnErrorNotACrash) {
    ScratchDir dir;
    const std::string path = dir / "f.bin";
    WriteFileBytes(path, Pattern(8 * 4096));
    struct sigaction before {}, after {};
    sigaction(SIGBUS, nullptr, &before);
    bool truncated = false;
    unsigned sum = 0;
    int error = ReadFileBlocks(path, 4096, [&](const unsigned char* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) sum += data[i];
        if (!truncated) std::filesystem::resize_file(path, 100);
        truncated = true;
    });
    EXPECT_NE(error, 0);
    EXPECT_NE(sum, 0u);
    sigaction(SIGBUS, nullptr, &after);
    EXPECT_EQ(before.sa_handler, after.sa_handler);  // the program's own handling is back
}

TEST(BlockRead, FileGrowingWhileReadIsReadToItsEnd) {
    ScratchDir dir;
    const std::string path = dir / "f.bin";
    std::string bytes = Pattern(2 * 4096);
    WriteFileBytes(path, bytes);
    std::string seen;
    bool grown = false;
    EXPECT_EQ(ReadFileBlocks(path, 4096,
                             [&](const unsigned char* data, std::size_t size) {
                                 seen.append(reinterpret_cast<const char*>(data), size);
                                 if (!grown) WriteFileBytes(path, bytes + "tail");
                                 grown = true;
                             }),
              0);
    EXPECT_TRUE(seen == bytes + "tail");
}

TEST(BlockRead, FilesThatCannotBeMapped) {
    // procfs files report size 0 and are read through the buffer.
    std::string seen;
    EXPECT_EQ(ReadFileBlocks("/proc/self/status", 1 << 20,
                             [&](const unsigned char* data, std::size_t size) {
                                 seen.append(reinterpret_cast<const char*>(data), size);
                             }),
              0);
    EXPECT_NE(seen.find("Name:"), std::string::npos);

    ScratchDir dir;
    EXPECT_NE(ReadFileBlocks(dir.path, 4096, [](const unsigned char*, std::size_t) {}), 0);
}
