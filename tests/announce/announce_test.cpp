#include "announce/announce.h"

#include <gtest/gtest.h>

#include "announce/records.h"

namespace {

TEST(FindFieldTokenTest, WidthsComeFromTheToken) {
    struct Case {
        const char* line;
        const char* macro;
        std::size_t at, length, width;
        bool padLeft;
    };
    const Case cases[] = {
        {" @FILEECHO***", "@FILEECHO", 1, 12, 12, false},
        {"@fileecho", "@FILEECHO", 0, 9, 9, false},  // without "*": the first 9 characters of the tag
        {"x @Comment** y", "@COMMENT", 2, 10, 10, false},
        {"@FILE_______ @DESC", "@FILE", 0, 12, 12, false},
        {"@FILE*@FS", "@FILE", 0, 9, 12, false},  // cut short by the line's end, still 12 wide
        {"@FILE", "@FILE", 0, 5, 12, false},
        {"@FSR*****", "@FS", 0, 9, 9, true},
        {"@FSl**", "@FS", 0, 6, 6, false},
        {"@FSL", "@FS", 0, 4, 4, false},
        {"@FS*** x", "@FS", 0, 6, 6, true},  // the letter may be a "*" too
        {"@FS", "@FS", 0, 3, 4, true},
        {"a @DESC*****", "@DESC", 2, 10, 10, false},
        {"@ORIGIN*", "@ORIGIN", 0, 8, 8, false},
        {"@from", "@FROM", 0, 5, 5, false},
    };
    for (const Case& c : cases) {
        const FieldToken token = FindFieldToken(c.line, c.macro);
        ASSERT_TRUE(token.found()) << c.line;
        EXPECT_EQ(token.at, c.at) << c.line;
        EXPECT_EQ(token.length, c.length) << c.line;
        EXPECT_EQ(token.width, c.width) << c.line;
        EXPECT_EQ(token.padLeft, c.padLeft) << c.line;
    }
    EXPECT_FALSE(FindFieldToken("no macro", "@DESC").found());
    EXPECT_EQ(FindFieldToken("@DESC @DESC**", "@DESC", 1).at, 6u);
}

TEST(FitTextTest, CutsOrPads) {
    struct Case {
        const char* value;
        std::size_t width;
        bool padLeft;
        const char* result;
    };
    const Case cases[] = {
        {"1,234,567", 9, true, "1,234,567"},
        {"1,234,567", 6, false, "1,234,"},  // cut to its first characters
        {"1,234,567", 6, true, "1,234,"},
        {"512", 6, true, "   512"},
        {"512", 6, false, "512   "},
        {"", 3, false, "   "},
        {"abc", 0, false, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(FitText(c.value, c.width, c.padLeft), c.result) << c.value << " " << c.width;
}

TEST(RecordFileDateTest, CenturyFromTheYearDigits) {
    const std::pair<const char*, const char*> cases[] = {
        {"05-12-26.ANN", "05-12-2026"}, {"07-12-26.ann", "07-12-2026"}, {"01-01-79.ann", "01-01-2079"},
        {"31-12-80.ann", "31-12-1980"}, {"31-12-99", "31-12-1999"},     {"OLD.ANN", "OLD.ANN"},
        {"05-12-2026.ann", "05-12-2026.ann"},
    };
    for (const auto& [name, date] : cases) EXPECT_EQ(RecordFileDate(name), date) << name;
}

TEST(FindRecordedFileTest, ExactThenAnyCaseThenCutNames) {
    std::vector<DirEntry> entries;
    for (const char* name : {"twinfilename.two.zip", "Short.ZIP", "short.zip", "TwinFileName.one.zip",
                             "averylongfilename.zip", "averylongfil", "ABCDEFGHIJKL.ZIP"})
        entries.push_back(DirEntry{name});
    const DirectoryListing listing = MakeDirectoryListing(entries);
    struct Case {
        const char* field;
        const char* found;  // nullptr: nothing
        std::size_t candidates;
    };
    const Case cases[] = {
        {"short.zip   ", "short.zip", 1},       // exact first
        {"SHORT.ZIP   ", "Short.ZIP", 2},       // any case: first in byte order
        {"averylongfil", "averylongfil", 1},    // a file of exactly the cut name wins
        {"AVERYLONGFIL", "averylongfil", 1},    // ... in any case too
        {"twinfilename", "TwinFileName.one.zip", 2},
        {"ABCDEFGHIJKL", "ABCDEFGHIJKL.ZIP", 1},
        {"abcdefgh    ", nullptr, 0},           // not cut: no prefix match
        {"abcdefgh", nullptr, 0},
        {"            ", nullptr, 0},
        {"missing.zip ", nullptr, 0},
    };
    for (const Case& c : cases) {
        const RecordedFileMatch match = FindRecordedFile(listing, c.field);
        EXPECT_EQ(match.candidates, c.candidates) << c.field;
        EXPECT_EQ(match.entry ? match.entry->name : std::string(), c.found ? c.found : "") << c.field;
    }
}

}  // namespace
