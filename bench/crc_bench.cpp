// File CRC throughput beside zlib's crc32 over the same bytes in memory.
// Creates a 256 MiB file in a temporary directory and removes it again.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tic/tic.h"

namespace {

constexpr std::size_t FileSize = 256u << 20;

std::string g_bytes;
std::string g_path;

void MakeSample() {
    g_bytes.resize(FileSize);
    std::mt19937_64 rng(42);
    for (std::size_t i = 0; i < FileSize; i += 8) {
        std::uint64_t v = rng();
        for (int k = 0; k < 8; ++k) g_bytes[i + k] = static_cast<char>(v >> (8 * k));
    }
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("brenmoor-crc-bench-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    g_path = (dir / "sample.bin").string();
    std::ofstream out(g_path, std::ios::binary);
    out.write(g_bytes.data(), static_cast<std::streamsize>(g_bytes.size()));
}

void RemoveSample() {
    if (!g_path.empty()) std::filesystem::remove_all(std::filesystem::path(g_path).parent_path());
}

void BM_FileCrc32(benchmark::State& state) {
    std::uint32_t crc = 0;
    for (auto _ : state) {
        crc = FileCrc32(g_path);
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(FileSize));
    state.counters["crc"] = crc;
}

void BM_ZlibCrc32InMemory(benchmark::State& state) {
    uLong crc = 0;
    for (auto _ : state) {
        crc = crc32(0L, Z_NULL, 0);
        const auto* data = reinterpret_cast<const Bytef*>(g_bytes.data());
        for (std::size_t done = 0; done < FileSize; done += 1u << 30) {
            std::size_t n = std::min<std::size_t>(FileSize - done, 1u << 30);
            crc = crc32(crc, data + done, static_cast<uInt>(n));
        }
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(FileSize));
    state.counters["crc"] = static_cast<double>(crc);
}

// Repetitions, interleaved (see main), with medians: a shared machine is noisy.
BENCHMARK(BM_FileCrc32)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(6)->ReportAggregatesOnly(true);
BENCHMARK(BM_ZlibCrc32InMemory)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(6)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    // Interleave the repetitions of both benchmarks so that load from other
    // processes falls on both alike.
    std::vector<char*> args(argv, argv + argc);
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    argc = count;
    argv = args.data();
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    MakeSample();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveSample();
    return 0;
}
