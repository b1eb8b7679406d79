#include "testkit.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <algorithm>
#include <stdexcept>

namespace fs = std::filesystem;
extern char** environ;

ScratchDir::ScratchDir() {
    std::string tmpl = (fs::temp_directory_path() / "brenmoor-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path = tmpl + "/";
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    // Tests may leave directories without write permission behind.
    for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path, ec);
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    fs::path p(path);
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

bool PathExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

void MakeDirs(const std::string& path) { fs::create_directories(path); }

std::vector<std::string> ListDir(const std::string& path) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::directory_iterator(path, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

CurrentDirectory::CurrentDirectory(const std::string& dir) : saved(fs::current_path().string()) {
    fs::current_path(dir);
}

CurrentDirectory::~CurrentDirectory() {
    std::error_code ec;
    fs::current_path(saved, ec);
}

static std::string DrainFd(int fd) {
    std::string data;
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) data.append(buf, static_cast<std::size_t>(n));
    return data;
}

RunResult RunBrenmoor(const std::string& nodeDir, const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& extraEnv, const std::string& workDir) {
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string kv(*e);
        auto eq = kv.find('=');
        if (eq != std::string::npos) env[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
    env["BRENMOOR_DIR"] = nodeDir;
    env.erase("NO_COLOR");
    for (auto& [k, v] : extraEnv) env[k] = v;
    std::vector<std::string> envStrings;
    for (auto& [k, v] : env) envStrings.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (auto& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);

    std::string binary = BrenmoorBinary();
    std::vector<std::string> argStrings{binary};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : argStrings) argv.push_back(s.data());
    argv.push_back(nullptr);

    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) throw std::runtime_error("pipe failed");

    // A child process keeps the working directory change to itself.
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        if (!workDir.empty() && chdir(workDir.c_str()) != 0) _exit(126);
        execve(binary.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    RunResult result;
    // Standard error is small; read stdout fully first, then stderr.
    result.out = DrainFd(outPipe[0]);
    result.err = DrainFd(errPipe[0]);
    close(outPipe[0]);
    close(errPipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::string BrenmoorBinary() { return BRENMOOR_BINARY; }

std::string SourceDir() { return std::string(BRENMOOR_SOURCE_DIR) + "/"; }

void CopySampleNode(const std::string& dir) {
    fs::copy(SourceDir() + "examples/node", dir, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

void InstallLanguageFile(const std::string& dir) {
    fs::copy_file(SourceDir() + "lang/brenmoor.lng", fs::path(dir) / "brenmoor.lng", fs::copy_options::overwrite_existing);
}

std::string LanguageText(const std::string& key) {
    static const std::map<std::string, std::string> texts = [] {
        std::map<std::string, std::string> result;
        std::istringstream content(ReadFileBytes(SourceDir() + "lang/brenmoor.lng"));
        for (std::string line; std::getline(content, line);) {
            line = line.substr(0, line.find(';'));
            while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
            std::size_t blank = line.find(' ');
            if (blank == std::string::npos) continue;
            result[line.substr(0, blank)] = line.substr(line.find_first_not_of(' ', blank));
        }
        return result;
    }();
    auto it = texts.find(key);
    return it == texts.end() ? std::string() : it->second;
}

std::string ReadingOk(const std::string& key) { return LanguageText(key) + LanguageText("OK") + "\n"; }

std::string VersionLine() { return "Brenmoor version 1.29.Linux\n"; }

std::string StartupReadOk() {
    std::string out = VersionLine();
    for (const char* key : {"READINGBRENMOORCTL", "READINGLINKSCTL", "READINGGROUPSCTL", "READINGARCCTL",
                            "READINGBBSSOFTCTL", "READINGCOLORSCTL"})
        out += ReadingOk(key);
    return out;
}

std::vector<std::string> CrLfLines(const std::string& path) {
    std::vector<std::string> lines;
    std::string content = ReadFileBytes(path);
    for (std::size_t start = 0; start < content.size();) {
        std::size_t end = std::min(content.find("\r\n", start), content.size());
        lines.push_back(content.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}
