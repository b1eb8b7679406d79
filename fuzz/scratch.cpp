#include "scratch.h"

#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/platform.h"

namespace {

std::vector<std::string>& Created() {
    static std::vector<std::string> created;
    return created;
}

void RemoveScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(ScratchDir(), ignored);
}

}  // namespace

// The program's ForceDirectories calls mkdir: this one refuses every place
// outside the scratch directory, as a directory without write permission
// would, and notes what it made.
extern "C" int mkdir(const char* path, mode_t mode) noexcept {
    const std::string_view name(path);
    const std::string& root = ScratchDir();
    if (!name.starts_with(root) || name.find("/..") != std::string_view::npos) {
        errno = EACCES;
        return -1;
    }
    if (::syscall(SYS_mkdir, path, mode) != 0) return -1;
    Created().emplace_back(name);
    return 0;
}

const std::string& ScratchDir() {
    static const std::string dir = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/brenmoor-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::perror("brenmoor fuzz: scratch directory");
            std::abort();
        }
        return pattern + "/";
    }();
    static const bool removed = std::atexit(RemoveScratch) == 0;
    (void)removed;
    return dir;
}

std::string WriteScratchFile(const std::string& name, std::string_view bytes) {
    const std::string path = ScratchDir() + name;
    if (int error = WriteWholeFile(path, bytes)) {
        std::fprintf(stderr, "brenmoor fuzz: cannot write %s: %d\n", path.c_str(), error);
        std::abort();
    }
    return path;
}

void RemoveCreatedDirectories() {
    std::vector<std::string>& created = Created();
    std::error_code ignored;
    while (!created.empty()) {
        std::filesystem::remove_all(created.back(), ignored);
        created.pop_back();
    }
}

void KeepCreatedDirectories() { Created().clear(); }

std::string SourcePath(const std::string& relative) { return std::string(BRENMOOR_SOURCE_DIR) + "/" + relative; }

void QuietConsole() {
    static std::string sink;
    static const bool ready = [] {
        InitConsoleForTest(80, 25, false, &sink);
        if (!LoadCatalogue(SourcePath("lang/brenmoor.lng"))) {
            std::fprintf(stderr, "brenmoor fuzz: no language file\n");
            std::abort();
        }
        return true;
    }();
    (void)ready;
    sink.clear();
}
