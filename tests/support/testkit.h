#pragma once
// What the unit tests share: scratch directories and whole files.
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
// Creates the missing directories of path first.
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool PathExists(const std::string& path);
// Names in a directory, sorted; empty when it does not exist.
std::vector<std::string> ListDir(const std::string& path);

// The repository root, with a trailing "/".
std::string SourceDir();

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
