// check makes nothing on disk: a directory BRENMOOR.CTL names but that is
// missing is only reported (what it says is in the check scenarios).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/mainconfig.h"
#include "frame/catalogue.h"
#include "frame/platform.h"
#include "testkit.h"

namespace {

std::vector<std::string> Check(const ScratchDir& dir, const std::string& text) {
    LoadCatalogue(SourceDir() + "lang/brenmoor.lng");
    WriteFileBytes(dir / "BRENMOOR.CTL", text);
    MainConfig config;
    std::vector<std::string> found;
    for (const ConfigProblem& problem : CheckMainConfig(dir / "BRENMOOR.CTL", config))
        found.push_back(problem.file + ":" + std::to_string(problem.line) + ": " + problem.text);
    return found;
}

TEST(CheckMainConfig, MakesNothing) {
    ScratchDir dir;
    Check(dir, "Inbound in/\nOutbound deep/out/\nLogName logs/brenmoor.log\nTempDir tmp/\n");
    for (const char* made : {"in", "deep", "logs", "tmp"}) EXPECT_FALSE(DirectoryExists(dir / made)) << made;
}

}  // namespace
