#pragma once
// Shared helpers for the tests: scratch directories, files, and running the
// built binary over a node directory.
#include <map>
#include <string>
#include <vector>

// A fresh directory under the system's temporary directory, removed with the object.
struct ScratchDir {
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string path;  // with a trailing "/"
    std::string operator/(const std::string& name) const { return path + name; }
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool PathExists(const std::string& path);
void MakeDirs(const std::string& path);
// Names in a directory, sorted; empty when it does not exist.
std::vector<std::string> ListDir(const std::string& path);

// Makes dir the current directory for the object's lifetime.
struct CurrentDirectory {
    explicit CurrentDirectory(const std::string& dir);
    ~CurrentDirectory();
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;
    std::string saved;
};

struct RunResult {
    int exitCode = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs the built brenmoor binary with BRENMOOR_DIR=nodeDir and the given
// arguments; standard input is /dev/null, standard output a pipe.
RunResult RunBrenmoor(const std::string& nodeDir, const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& extraEnv = {},
                      const std::string& workDir = "");

// Paths of the build: the binary and the shipped files.
std::string BrenmoorBinary();
std::string SourceDir();  // repository root, with a trailing "/"

// Copies examples/node into dir (which must exist), ready to run.
void CopySampleNode(const std::string& dir);

// Writes the English language file of the build into dir.
void InstallLanguageFile(const std::string& dir);

// The text of a key in the shipped English language file ("" when absent).
std::string LanguageText(const std::string& key);
// "Reading X... OK" as the start-up prints it for one control file.
std::string ReadingOk(const std::string& key);
// The version line every run prints first.
std::string VersionLine();
// Version line and every control file read without a fault.
std::string StartupReadOk();
// Lines of a file whose lines end in CR LF.
std::vector<std::string> CrLfLines(const std::string& path);

// The code of the exit thrown by f (the program's ProgramExit), -1 when f returns.
template <class Exit, class F>
int ExitCodeOf(F f) {
    try {
        f();
    } catch (const Exit& end) {
        return end.code;
    }
    return -1;
}
