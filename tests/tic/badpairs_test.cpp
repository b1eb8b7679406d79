// The pair list of the bad-TIC directory and the reason lines of its
// description list: the grammar of a pair line, which pair counts, and
// taking out exactly one line.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "testkit.h"
#include "tic/badpairs.h"

namespace {

std::string Shown(const std::vector<BadPair>& pairs) {
    std::string text;
    for (const BadPair& pair : pairs) text += "[" + pair.tic + "|" + pair.file + "|" + pair.reason + "]";
    return text;
}

TEST(BadPairs, ListLines) {
    const struct {
        std::string content, pairs;
    } cases[] = {
        {"", ""},
        {"A.TIC / A.ZIP / Wrong CRC\r\n", "[A.TIC|A.ZIP|Wrong CRC]"},
        // A TIC aside alone; a reason with "/" in it; an editor that trimmed the last blank.
        {"A.TIC /  / \r\nB.TIC / B.1.ZIP / Link 2:9999/99 is not defined\nC.TIC / C.ZIP /\n",
         "[A.TIC||][B.TIC|B.1.ZIP|Link 2:9999/99 is not defined][C.TIC|C.ZIP|]"},
        // Names with blanks, at the ends too.
        {"Long Name.TIC / My File .ZIP / r\r\n", "[Long Name.TIC|My File .ZIP|r]"},
        // The last line of a TIC counts, in its place.
        {"A.TIC / A.ZIP / first\r\nB.TIC / B.ZIP / b\r\nA.TIC / A.1.ZIP / second\r\n",
         "[B.TIC|B.ZIP|b][A.TIC|A.1.ZIP|second]"},
        // A last line without its end was cut short: the earlier pair stands.
        {"A.TIC / A.ZIP / first\r\nA.TIC / A.1.Z", "[A.TIC|A.ZIP|first]"},
        {"A.TIC / A.ZIP / first\r\nA.TIC / A.1.ZIP / second\r", "[A.TIC|A.ZIP|first]"},
        // No pairs: fields not apart, no TIC name, a TIC name that is no plain name.
        {"A.TIC/A.ZIP/r\r\n / A.ZIP / r\r\nA.TIC / A.ZIP\r\nA.TIC / A.ZIP /r\r\n.. / A.ZIP / r\r\n", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(Shown(ParsePairList(c.content)), c.pairs) << c.content;

    // What is written reads back as it was; a line break cannot open a line.
    for (const BadPair& pair : {BadPair{"A.TIC", "A.1.ZIP", "a / b"}, BadPair{"A B.TIC", "", ""},
                                BadPair{"X.TIC", "X.ZIP", "two\r\nA.TIC / EVIL.ZIP / lines"}}) {
        const std::vector<BadPair> read = ParsePairList(FormatPairLine(pair) + "\r\n");
        ASSERT_EQ(read.size(), 1u) << FormatPairLine(pair);
        EXPECT_EQ(read[0].tic, pair.tic);
        EXPECT_EQ(read[0].file, pair.file);
    }
}

TEST(BadPairs, AddedOnceAndKeptWhileTheTicIsThere) {
    ScratchDir dir;
    const std::string list = dir / std::string(PairListName);
    // A line cut short by a crash: the new pair starts a line of its own.
    WriteFileBytes(list, "A.TIC / A.ZIP / old\r\nB.TIC / B.Z");
    ASSERT_EQ(AddPair(dir.path, {"B.TIC", "B.1.ZIP", "r"}), 0);
    ASSERT_EQ(AddPair(dir.path, {"B.TIC", "B.1.ZIP", "r"}), 0);  // its pair already: nothing written
    EXPECT_EQ(ReadFileBytes(list), "A.TIC / A.ZIP / old\r\nB.TIC / B.Z\r\nB.TIC / B.1.ZIP / r\r\n");
    EXPECT_EQ(Shown(ReadPairList(dir.path)), "[A.TIC|A.ZIP|old][B.TIC|B.1.ZIP|r]");

    WriteFileBytes(dir / "B.TIC", "");
    ASSERT_EQ(KeepPresentPairs(dir.path), 0);
    EXPECT_EQ(ReadFileBytes(list), "B.TIC / B.1.ZIP / r\r\n");
    std::remove((dir / "B.TIC").c_str());
    ASSERT_EQ(KeepPresentPairs(dir.path), 0);
    EXPECT_FALSE(PathExists(list));
}

TEST(BadPairs, ReasonLines) {
    EXPECT_EQ(ReasonLine("A.ZIP", "Why"), "A.ZIP        Why");
    EXPECT_EQ(ReasonLine("TWELVE__.ZIP", "Why"), "TWELVE__.ZIP Why");
    EXPECT_EQ(ReasonLine("Longer name.zip", "Why"), "Longer name.zip Why");
    EXPECT_EQ(ReasonLine("A.ZIP", std::string(300, 'x')).size(), 255u);

    auto is = [](std::string line) { return [line](std::string_view l) { return l == line; }; };
    auto starts = [](std::string start) { return [start](std::string_view l) { return l.starts_with(start); }; };
    const struct {
        std::string content;
        std::function<bool(std::string_view)> matches;
        std::string rest;
    } cases[] = {
        {"A.ZIP        x\r\nB.ZIP        y\r\n", is("A.ZIP        x"), "B.ZIP        y\r\n"},
        // The last of two like lines; every other byte stays, line ends too.
        {"A x\nB\rA x\r\nC", is("A x"), "A x\nB\rC"},
        {"B\r\nA x", is("A x"), "B\r\n"},
        {"A x\r\n\r\nB\r\n", is(""), "A x\r\nB\r\n"},
        // A line that only begins like it is another one's.
        {"A.ZIP        x and more\r\n", is("A.ZIP        x"), "A.ZIP        x and more\r\n"},
        {"", is("A"), ""},
        // By its start: "A.ZIP" is not "A.ZIP.1" nor "A B.ZIP".
        {"A.ZIP.1      x\r\nA B.ZIP      y\r\nA.ZIP        z\r\n", starts(ReasonLine("A.ZIP", "")),
         "A.ZIP.1      x\r\nA B.ZIP      y\r\n"},
        {"A B.ZIP      y\r\n", starts(ReasonLine("A", "")), "A B.ZIP      y\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(WithoutLastLine(c.content, c.matches), c.rest) << c.content;
}

}  // namespace
