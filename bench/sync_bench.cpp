// Which way of making a toss's batch durable costs less on a real file
// system: one syncfs(2) for the file system, or fdatasync(2) of each file
// the batch wrote and fsync(2) of each directory it changed.
//
//   sync_bench DIR [BATCHES]
//
// DIR must be on the file system to measure (not tmpfs, where a sync is
// free). A batch is shaped like a toss's of 100 TICs for 10 links: 100
// received files (written just before, unsynced, as a mailer leaves them)
// renamed into 100 area directories, each area's description list appended
// to, the dupe database, the announcement record and the log appended to,
// one journal made, 1,000 outgoing TICs made in the outbound, then one
// append to each of the 10 flow files; the batch is made durable one way or
// the other, then its inbound TICs and its journal are deleted. The two ways
// take turns, BATCHES (5) each; between batches the outgoing TICs go (as a
// mailer sends them) and the file system is synced, untimed, so that each
// batch starts from a clean page cache.
//
// Then the same again while a child process keeps rewriting a 200 MiB file
// on the same file system without syncing it: syncfs flushes another
// writer's pages too, fdatasync only the batch's.
//
// Prints for each way the milliseconds of making a batch durable (median
// and mean), of the whole batch (mean), and the sync calls per batch.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int TicsPerBatch = 100;
constexpr int Links = 10;
constexpr std::size_t OtherWriterBytes = 200u << 20;

std::string g_root;  // DIR/sync-bench/

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "sync_bench: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

void MakeDir(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) Fail(path);
}

int Open(const std::string& path, int flags) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) Fail(path);
    return fd;
}

void Write(int fd, const std::string& bytes, const std::string& what) {
    if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) Fail(what);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    int fd = Open(path, O_WRONLY | O_CREAT | O_TRUNC);
    Write(fd, bytes, path);
    ::close(fd);
}

void Append(const std::string& path, const std::string& bytes) {
    int fd = Open(path, O_WRONLY | O_CREAT | O_APPEND);
    Write(fd, bytes, path);
    ::close(fd);
}

void SyncAll() {
    int fd = Open(g_root, O_RDONLY | O_DIRECTORY);
    if (::syncfs(fd) != 0) Fail("syncfs");
    ::close(fd);
}

double Ms(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

std::string AreaDir(int area) { return g_root + "files/area" + std::to_string(area) + "/"; }
std::string FlowFile(int link) { return g_root + "outbound/0000" + std::to_string(1000 + link) + ".dlo"; }

// The shared files the toss keeps open for a run.
struct Shared {
    int dupes = -1, announce = -1, log = -1;
};

struct Way {
    const char* name;
    bool bySyncfs;
    std::vector<double> syncMs, batchMs;
    long syncCalls = 0;
};

// One batch, numbered; returns the sync calls made.
long Batch(int number, Way& way, const Shared& shared) {
    const std::string tag = std::to_string(number);
    // What the mailer received.
    for (int t = 0; t < TicsPerBatch; ++t) {
        const std::string name = "B" + tag + "F" + std::to_string(t);
        WriteFile(g_root + "in/" + name + ".BIN", std::string(200 + 37 * t % 800, 'x'));
        WriteFile(g_root + "in/" + name + ".TIC", "Area BENCH.AREA" + std::to_string(t) + "\r\nFile " + name +
                                                      ".BIN\r\nDesc A file of the bench\r\nCrc 01234567\r\n");
    }

    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> files, dirs;  // what the batch wrote and changed
    const std::string journal = g_root + "tmp/journal/B" + tag + ".jnl";
    int journalFd = Open(journal, O_WRONLY | O_CREAT | O_APPEND);
    files.push_back(journal);
    dirs.push_back(g_root + "tmp/journal");
    dirs.push_back(g_root + "in");
    std::vector<std::string> flows(Links);
    for (int t = 0; t < TicsPerBatch; ++t) {
        const std::string name = "B" + tag + "F" + std::to_string(t) + ".BIN";
        const std::string area = AreaDir(t);
        Write(journalFd, "tic " + name + " 01234567 1234\n", journal);
        if (::rename((g_root + "in/" + name).c_str(), (area + name).c_str()) != 0) Fail(area + name);
        files.push_back(area + name);
        dirs.push_back(area.substr(0, area.size() - 1));
        Append(area + "files.bbs", name + " A file of the bench\r\n");
        files.push_back(area + "files.bbs");
        if (::pwrite(shared.dupes, std::string(44, 'd').data(), 44, 44 * (1 + (number * TicsPerBatch + t) % 1000)) != 44)
            Fail("dupes");
        Write(shared.announce, std::string(364, 'a'), "announce");
        Write(shared.log, "12:00:00 File " + name + " moved\r\n", "log");
        for (int l = 0; l < Links; ++l) {
            const std::string tic = g_root + "out/B" + tag + "T" + std::to_string(t) + "L" + std::to_string(l) + ".TIC";
            WriteFile(tic, std::string(420, 't'));
            files.push_back(tic);
            flows[static_cast<std::size_t>(l)] += area + name + "\n^" + tic + "\n";
        }
    }
    for (int l = 0; l < Links; ++l) {
        Append(FlowFile(l), flows[static_cast<std::size_t>(l)]);
        files.push_back(FlowFile(l));
    }
    ::close(journalFd);
    files.push_back(g_root + "data/dupes.dat");
    files.push_back(g_root + "announce/today.ann");
    files.push_back(g_root + "log/bench.log");
    dirs.push_back(g_root + "out");

    const auto written = std::chrono::steady_clock::now();
    long calls = 0;
    if (way.bySyncfs) {
        SyncAll();
        calls = 1;
    } else {
        std::sort(files.begin(), files.end());
        files.erase(std::unique(files.begin(), files.end()), files.end());
        for (const std::string& file : files) {
            int fd = Open(file, O_RDONLY);
            if (::fdatasync(fd) != 0) Fail(file);
            ::close(fd);
        }
        std::sort(dirs.begin(), dirs.end());
        dirs.erase(std::unique(dirs.begin(), dirs.end()), dirs.end());
        for (const std::string& dir : dirs) {
            int fd = Open(dir, O_RDONLY | O_DIRECTORY);
            if (::fsync(fd) != 0) Fail(dir);
            ::close(fd);
        }
        calls = static_cast<long>(files.size() + dirs.size());
    }
    const auto synced = std::chrono::steady_clock::now();
    // Acknowledged: the inbound TICs and the journal go.
    for (int t = 0; t < TicsPerBatch; ++t) ::unlink((g_root + "in/B" + tag + "F" + std::to_string(t) + ".TIC").c_str());
    ::unlink(journal.c_str());
    const auto done = std::chrono::steady_clock::now();
    way.syncMs.push_back(Ms(written, synced));
    way.batchMs.push_back(Ms(start, done));

    // Sent by the mailer; then a clean start for the next batch.
    for (int t = 0; t < TicsPerBatch; ++t)
        for (int l = 0; l < Links; ++l)
            ::unlink((g_root + "out/B" + tag + "T" + std::to_string(t) + "L" + std::to_string(l) + ".TIC").c_str());
    SyncAll();
    return calls;
}

// A child that rewrites a file of its own on the same file system, never
// syncing, until it is killed.
pid_t StartOtherWriter() {
    const std::string path = g_root + "other-writer.dat";
    std::string block(1u << 20, 'w');
    // Its blocks exist before: the child only dirties pages, as a writer
    // of a file being received again would.
    int fd = Open(path, O_WRONLY | O_CREAT | O_TRUNC);
    for (std::size_t at = 0; at < OtherWriterBytes; at += block.size()) Write(fd, block, path);
    if (::fsync(fd) != 0) Fail(path);
    ::close(fd);
    pid_t pid = ::fork();
    if (pid < 0) Fail("fork");
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // not left behind when the bench fails
        int out = Open(path, O_WRONLY);
        for (char mark = 'a';; mark = mark == 'z' ? 'a' : static_cast<char>(mark + 1)) {
            block.assign(block.size(), mark);
            for (std::size_t at = 0; at < OtherWriterBytes; at += block.size())
                if (::pwrite(out, block.data(), block.size(), static_cast<off_t>(at)) < 0) ::_exit(1);
        }
    }
    return pid;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Mean(const std::vector<double>& values) {
    double sum = 0;
    for (double v : values) sum += v;
    return values.empty() ? 0 : sum / static_cast<double>(values.size());
}

void Measure(const char* while_, int batches, int& number, const Shared& shared) {
    Way ways[] = {{"syncfs", true, {}, {}, 0}, {"fdatasync+fsync", false, {}, {}, 0}};
    for (int b = 0; b < batches; ++b)
        for (Way& way : ways) way.syncCalls = Batch(number++, way, shared);
    for (const Way& way : ways)
        std::printf("%-14s %-16s %10.1f %10.1f %12.1f %11ld\n", while_, way.name, Median(way.syncMs), Mean(way.syncMs),
                    Mean(way.batchMs), way.syncCalls);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: sync_bench DIR [BATCHES]\n");
        return 2;
    }
    const int batches = argc == 3 ? std::atoi(argv[2]) : 5;
    if (batches < 1) {
        std::fprintf(stderr, "sync_bench: BATCHES must be at least 1\n");
        return 2;
    }
    g_root = std::string(argv[1]) + "/sync-bench/";
    MakeDir(g_root);
    for (const char* dir : {"in", "files", "out", "outbound", "tmp", "tmp/journal", "data", "announce", "log"})
        MakeDir(g_root + dir);
    for (int area = 0; area < TicsPerBatch; ++area) MakeDir(AreaDir(area));
    // The links' flow files exist: appending to them changes no directory.
    for (int link = 0; link < Links; ++link) Append(FlowFile(link), "");
    Shared shared;
    shared.dupes = Open(g_root + "data/dupes.dat", O_RDWR | O_CREAT);
    shared.announce = Open(g_root + "announce/today.ann", O_WRONLY | O_CREAT | O_APPEND);
    shared.log = Open(g_root + "log/bench.log", O_WRONLY | O_CREAT | O_APPEND);
    SyncAll();

    std::printf("%d batches each of %d TICs for %d links, in %s\n", batches, TicsPerBatch, Links, argv[1]);
    std::printf("%-14s %-16s %10s %10s %12s %11s\n", "", "", "sync ms", "sync ms", "batch ms", "sync calls");
    std::printf("%-14s %-16s %10s %10s %12s %11s\n", "while", "way", "median", "mean", "mean", "per batch");
    int number = 0;
    Measure("quiet", batches, number, shared);
    const pid_t writer = StartOtherWriter();
    Measure("other writer", batches, number, shared);
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);
    // The tree stays for the caller to remove with its file system.
    return 0;
}
