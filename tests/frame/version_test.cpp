// The version is written once, in CMakeLists.txt; what repeats it by hand
// must say the same.
#include <gtest/gtest.h>

#include <string>

#include "frame/platform.h"
#include "testkit.h"

namespace {

TEST(Version, ManPageTitleNamesTheBuiltVersion) {
    const std::string page = ReadFileBytes(SourceDir() + "doc/brenmoor.1");
    const std::string title = page.substr(0, page.find('\n'));
    ASSERT_EQ(title.rfind(".TH BRENMOOR 1 ", 0), 0u) << title;
    EXPECT_NE(title.find(" \"Brenmoor " + std::string(VersionNumber) + "\" "), std::string::npos) << title;
}

}  // namespace
