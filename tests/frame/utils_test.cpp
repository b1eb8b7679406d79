#include "frame/utils.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

namespace {

struct AddressCase {
    const char* text;
    unsigned zone, net, node, point;
};

TEST(ParseAddress, PiecesAndBadPieces) {
    // A bad piece becomes 0 without touching the others.
    const AddressCase cases[] = {
        {"2:5020/100", 2, 5020, 100, 0},
        {"2:5020/100.0", 2, 5020, 100, 0},
        {"2:5020/100.7", 2, 5020, 100, 7},
        {"2:5020/100.7@fidonet", 2, 5020, 100, 7},
        {"2:5020/100@fidonet", 2, 5020, 100, 0},
        {"2:5020/100@fidonet.org", 2, 5020, 100, 0},  // a dot in the domain is not a point
        {"5020/100", 0, 5020, 100, 0},
        {"2:5020/100 trailing words", 2, 5020, 100, 0},
        {"65535:65535/65535.65535", 65535, 65535, 65535, 65535},
        {"2:5020", 2, 0, 2, 0},          // no "/": net 0, node is the leading digit run
        {"2:50x0/100", 2, 0, 100, 0},    // letter in the net
        {"z:5020/100", 0, 5020, 100, 0}, // letter in the zone
        {"2:5020/100.7x", 2, 5020, 100, 0},
        {"2:5020/12ab", 2, 5020, 12, 0},  // node takes its digit run
        {"70000:5020/100", 0, 5020, 100, 0},
        {"2:65536/100.99999", 2, 0, 100, 0},
        {"2:5020/99999999999999999999", 2, 5020, 0, 0},
        {"2:-1/100", 2, 0, 100, 0},
        {"2:5020/100.", 2, 5020, 100, 0},
        {"5020/100:2", 0, 0, 100, 0},  // ":" after "/"
    };
    for (const AddressCase& c : cases) {
        SCOPED_TRACE(c.text);
        FidoAddress a = ParseAddress(c.text);
        EXPECT_EQ(a.zone, c.zone);
        EXPECT_EQ(a.net, c.net);
        EXPECT_EQ(a.node, c.node);
        EXPECT_EQ(a.point, c.point);
    }
}

TEST(ParseAddress, GarbageGivesZerosAndNeverFails) {
    const std::vector<std::string> texts = {"", ":", "/", ".", "@", ":/.@", "::://..", "@2:5020/100", "garbage",
                                            std::string(10000, '9'), "2:" + std::string(5000, '/') + "."};
    for (const std::string& text : texts) {
        FidoAddress a = ParseAddress(text);
        EXPECT_LE(a.zone + a.net + a.node + a.point, 2u) << text.substr(0, 40);
    }
    EXPECT_EQ(ParseAddress(""), FidoAddress{});
    EXPECT_EQ(ParseAddress("@2:5020/100"), FidoAddress{});
    FidoAddress withNul = ParseAddress(std::string("2:5\0/1", 6));
    EXPECT_EQ(withNul.net, 0u);
    EXPECT_EQ(withNul.node, 1u);
}

TEST(AddressText, FormatAndNormalize) {
    EXPECT_EQ(FormatAddress(ParseAddress("2:5020/100.0")), "2:5020/100");
    EXPECT_EQ(FormatAddress(ParseAddress("2:5020/100.7")), "2:5020/100.7");
    EXPECT_EQ(FormatAddressParts(0, 0, 0, 4), "0:0/0.4");
    EXPECT_EQ(NormalizeAddress("2:05020/0100.00@fidonet"), "2:5020/100");
    EXPECT_TRUE(SameAddressText("2:5020/100", "2:5020/100.0@fidonet"));
    EXPECT_FALSE(SameAddressText("2:5020/100", "2:5020/100.1"));
    EXPECT_FALSE(SameAddress(ParseAddress("1:2/3"), ParseAddress("2:2/3")));
}

TEST(AddressText, Lists) {
    std::vector<FidoAddress> own = {ParseAddress("2:5020/100"), ParseAddress("2:5020/100.7")};
    EXPECT_TRUE(AddressInList("2:5020/100.7@fidonet", own));
    EXPECT_TRUE(AddressInList("2:5020/100.0", own));
    EXPECT_FALSE(AddressInList("2:5020/101", own));
    EXPECT_FALSE(AddressInList("2:5020/100", {}));

    std::vector<std::string> texts = {"1:1/1", "2:5020/100.0"};
    EXPECT_TRUE(AddressTextInList("2:5020/100", texts));
    EXPECT_FALSE(AddressTextInList("2:5020/100.1", texts));
    EXPECT_FALSE(AddressTextInList("2:5020/100", {}));
}

TEST(AddressMatchesMask, Masks) {
    struct Case {
        const char* address;
        const char* mask;
        bool matches;
    };
    const Case cases[] = {
        {"2:5020/100.3", "2:5020/100", false},
        {"2:5020/100", "2:5020/100", true},
        {"2:5020/100.3", "2:5020/100.*", true},
        {"2:5020/100", "2:5020/100.*", true},
        {"2:5020/100.3", "2:50*", true},
        {"2:5021/1", "2:5020/*", false},
        {"2:5020/1.5", "2:5020/*", true},
        {"2:463/1", "2:*", true},
        {"1:463/1", "2:*", false},
        {"1:463/1.2", "*", true},
        {"2:5020/100.3", "2:5020/100.3", true},
        {"2:5020/100", "2:5020/10", false},
        {"2:5020/10", "2:5020/100", false},
        {"2:502/1", "2:5020/*", false},
        {"2:5020/100", "2:5020/10?", true},
        {"2:5020/10", "2:5020/10?", true},  // trailing "?" accepts one character less
        {"2:5020/100", "2", true},          // a mask without ":" is the zone pattern only
        {"2:5020/100", "", true},
        {"2:5020/100", "2:/", true},
        {"garbage", "0:0/0", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AddressMatchesMask(c.address, c.mask), c.matches) << c.address << " ~ " << c.mask;
    }
}

TEST(MatchWildcard, Rules) {
    EXPECT_TRUE(MatchWildcard("5", "5?"));
    EXPECT_TRUE(MatchWildcard("5", "5*"));
    EXPECT_TRUE(MatchWildcard("5", "5??"));  // padded with a blank that "?" takes
    EXPECT_FALSE(MatchWildcard("5", "55?"));
    EXPECT_FALSE(MatchWildcard("1", "12"));  // only a trailing wildcard accepts a shorter value
    EXPECT_FALSE(MatchWildcard("12", "1234"));
    EXPECT_FALSE(MatchWildcard("1234", "12"));
    EXPECT_TRUE(MatchWildcard("1234", "12*"));
    EXPECT_TRUE(MatchWildcard("1234", "1?3?"));
    EXPECT_FALSE(MatchWildcard("1234", "1?4?"));
    EXPECT_TRUE(MatchWildcard("1234", "*"));
    EXPECT_TRUE(MatchWildcard("1234", "*999"));  // "*" accepts everything from its position
    EXPECT_FALSE(MatchWildcard("1234", ""));
    EXPECT_TRUE(MatchWildcard("", "*"));
    EXPECT_FALSE(MatchWildcard("abc", "ABC"));  // letter case counts
}

TEST(SubstituteMacros, FirstOccurrenceIgnoringCase) {
    EXPECT_EQ(SubstituteMacros("File %F not found", "%f", "a.zip"), "File a.zip not found");
    EXPECT_EQ(SubstituteMacros("%f and %f", "%f", "x"), "x and %f");
    EXPECT_EQ(SubstituteMacros("nothing here", "%f", "x"), "nothing here");
    EXPECT_EQ(SubstituteMacros("%a sent %f", "%f", "%a", "file", "2:5020/1"), "2:5020/1 sent file");
    EXPECT_EQ(SubstituteMacros("%f%a", "%f", "%a", "", "A"), "A");
    EXPECT_EQ(SubstituteMacros("x%f", "%f", "", "1", "2"), "x1");
}

TEST(SubstituteMacros, ValueIsNotSubstitutedAgain) {
    // The first value holds the second macro; it must reach the text as is.
    EXPECT_EQ(SubstituteMacros("%f from %a", "%f", "%a", "100%all", "2:5020/1"), "100%all from 2:5020/1");
    EXPECT_EQ(SubstituteMacros("%f only", "%f", "%a", "50%a", "X"), "50%a only");
    // A macro built from the end of the value and the template is not one either.
    EXPECT_EQ(SubstituteMacros("%fa", "%f", "%a", "%", "X"), "%a");
}

TEST(SubstituteMacros, CutAt255) {
    std::string result = SubstituteMacros("<%f>", "%f", std::string(300, 'x'));
    EXPECT_EQ(result.size(), 255u);
    EXPECT_EQ(result.substr(0, 2), "<x");
}

TEST(SubstituteMacros, ListOfMacros) {
    // "@GROUPCOMMENT" before "@GROUP", which is a prefix of it; a value
    // inserted before an earlier one must not hide a later macro behind it.
    const MacroValue macros[] = {{"@B", "b-@A"}, {"@GROUPCOMMENT", "comment"}, {"@GROUP", "G"}, {"@A", "a"}};
    EXPECT_EQ(SubstituteMacroList("@group: @GroupComment; @b @a @b", macros), "G: comment; b-@A a @b");
    EXPECT_EQ(SubstituteMacroList("x", {}), "x");
    const MacroValue empty[] = {{"", "never"}};
    EXPECT_EQ(SubstituteMacroList("text", empty), "text");
    const MacroValue pathMacro[] = {{"%A", std::string_view("/a/very/long/path", 17)}};
    EXPECT_EQ(SubstituteMacroList("<%a>", pathMacro, 5), "</a/v");
    EXPECT_EQ(SubstituteMacroList(std::string(300, 'x') + "%a", pathMacro, std::string::npos).size(), 317u);
}

TEST(TextCleaning, TrimCommentsAndWords) {
    std::string s = "\t a b \t";
    TrimLeft(s);
    EXPECT_EQ(s, "\t a b \t");  // TAB is not a blank
    s = "  a b  ";
    Trim(s);
    EXPECT_EQ(s, "a b");
    s = "   ";
    Trim(s);
    EXPECT_EQ(s, "");
    s = "value ; comment; more";
    StripComment(s);
    EXPECT_EQ(s, "value ");
    s = "50% off; note";
    StripCommentAndPercent(s);
    EXPECT_EQ(s, "50");
    EXPECT_EQ(FirstWord("single"), "single");
    EXPECT_EQ(FirstWord("two words"), "two");
    EXPECT_EQ(FirstWord(" leading"), " leading");
    EXPECT_EQ(FirstWord("tab\tword"), "tab\tword");
}

TEST(TextCleaning, CaseAndNumbers) {
    std::string ru = "ab\xA0\xAF\xE0\xEF\xF1\x80\xF0Z";
    UpperCaseRussian(ru);
    EXPECT_EQ(ru, "AB\x80\x8F\x90\x9F\xF0\x80\xF0Z");
    EXPECT_TRUE(EqualNoCase("Areas.CTL", "areas.ctl"));
    EXPECT_FALSE(EqualNoCase("areas", "areas.ctl"));

    EXPECT_TRUE(ParseYesNo("  yes "));
    EXPECT_TRUE(ParseYesNo("+"));
    EXPECT_TRUE(ParseYesNo("YeS"));
    EXPECT_FALSE(ParseYesNo("No"));
    EXPECT_FALSE(ParseYesNo("1"));
    EXPECT_FALSE(ParseYesNo("On"));
    EXPECT_FALSE(ParseYesNo("yes please"));

    EXPECT_EQ(TwoDigits(5), "05");
    EXPECT_EQ(TwoDigits(123), "123");
    EXPECT_EQ(HexByte(0x1AB), "AB");
    EXPECT_EQ(HexLong(0xDEADBEEF), "DEADBEEF");
    EXPECT_EQ(HexLong(0x12), "00000012");

    EXPECT_EQ(ParseNumber("42"), 42);
    EXPECT_EQ(ParseNumber("-7"), -7);
    EXPECT_EQ(ParseNumber(""), 0);
    EXPECT_EQ(ParseNumber("-"), 0);
    EXPECT_EQ(ParseNumber("12abc"), 0);
    EXPECT_EQ(ParseNumber("99999999999999999999"), 0);

}

TEST(SplitControlLine, Grammar) {
    EXPECT_EQ(CleanControlLine("  key  value ; comment ; more"), "key  value");
    EXPECT_EQ(CleanControlLine(" ;all comment"), "");
    std::string_view key, rest;
    SplitKeywordView("Key\tTab  value", key, rest);  // only the blank separates
    EXPECT_EQ(key, "Key\tTab");
    EXPECT_EQ(rest, "value");

    std::string keyword, value;
    ASSERT_TRUE(SplitControlLine("  inbound\t /var/Fido/In ; where files arrive", keyword, value));
    EXPECT_EQ(keyword, "INBOUND");
    EXPECT_EQ(value, "/var/Fido/In");
    ASSERT_TRUE(SplitControlLine("Keyword", keyword, value));
    EXPECT_EQ(keyword, "KEYWORD");
    EXPECT_EQ(value, "");
    ASSERT_TRUE(SplitControlLine("Origin Two  blanks  kept", keyword, value));
    EXPECT_EQ(value, "Two  blanks  kept");
    EXPECT_FALSE(SplitControlLine("   ; only a comment", keyword, value));
    EXPECT_FALSE(SplitControlLine("", keyword, value));
    EXPECT_EQ(keyword, "");
}

TEST(Paths, ExtractDirAndFileName) {
    EXPECT_EQ(ExtractDir("/fido/log/file.log"), "/fido/log/");
    EXPECT_EQ(ExtractDir("/fido/a/b/"), "/fido/a/");
    EXPECT_EQ(ExtractDir("file.log"), "");
    EXPECT_EQ(ExtractDir(""), "");
    EXPECT_EQ(ExtractDir("/"), "");
    EXPECT_EQ(ExtractDir("/file"), "/");
    EXPECT_EQ(ExtractFileName("/in/name.tic  "), "name.tic");
    EXPECT_EQ(ExtractFileName("name"), "name");
    EXPECT_EQ(ExtractFileName("/in/"), "");

    std::string path = "/fido";
    AddTrailingSlash(path);
    EXPECT_EQ(path, "/fido/");
    AddTrailingSlash(path);
    EXPECT_EQ(path, "/fido/");
    path.clear();
    AddTrailingSlash(path);
    EXPECT_EQ(path, "");
}

TEST(Paths, SplitPath) {
    std::string dir, name, ext;
    SplitPath("/in/ARC.TAR.GZ", dir, name, ext);
    EXPECT_EQ(dir, "/in/");
    EXPECT_EQ(name, "ARC");
    EXPECT_EQ(ext, ".TAR.GZ");
    SplitPath("README", dir, name, ext);
    EXPECT_EQ(dir, "");
    EXPECT_EQ(name, "README");
    EXPECT_EQ(ext, "");
    SplitPath("/v1.2/file", dir, name, ext);  // dots in the directory do not count
    EXPECT_EQ(dir, "/v1.2/");
    EXPECT_EQ(name, "file");
    EXPECT_EQ(ext, "");
    SplitPath("/in/.hidden", dir, name, ext);
    EXPECT_EQ(name, "");
    EXPECT_EQ(ext, ".hidden");
}

LocalDateTime Moment(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    LocalDateTime t;
    t.year = year;
    t.month = month;
    t.day = day;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    return t;
}

TEST(Dates, YesterdayCrossesMonthsAndYears) {
    EXPECT_EQ(YesterdayTextOf(Moment(2024, 3, 1)), "29-02-2024");
    EXPECT_EQ(YesterdayTextOf(Moment(2023, 3, 1)), "28-02-2023");
    EXPECT_EQ(YesterdayTextOf(Moment(2000, 3, 1)), "29-02-2000");
    EXPECT_EQ(YesterdayTextOf(Moment(1900, 3, 1)), "28-02-1900");
    EXPECT_EQ(YesterdayTextOf(Moment(2024, 1, 1)), "31-12-2023");
    EXPECT_EQ(YesterdayTextOf(Moment(2024, 5, 1)), "30-04-2024");
    EXPECT_EQ(YesterdayTextOf(Moment(2024, 8, 1)), "31-07-2024");
    EXPECT_EQ(YesterdayTextOf(Moment(2024, 7, 15)), "14-07-2024");
}

TEST(Dates, Texts) {
    LocalDateTime t = Moment(2005, 7, 4, 9, 5, 3);
    EXPECT_EQ(DateText(t), "04-07-2005");
    EXPECT_EQ(TimeTextOf(t), "09:05:03");
    EXPECT_EQ(MessageDateTextOf(t), "04 Jul 05  09:05:03");
    EXPECT_EQ(MessageDateTextOf(t).size(), 19u);
    EXPECT_EQ(FullYear(79), 2079);
    EXPECT_EQ(FullYear(80), 1980);
    EXPECT_EQ(FullYear(0), 2000);
}

TEST(Dates, UnixTimeAgreesWithTheCalendar) {
    const LocalDateTime moments[] = {
        Moment(1970, 1, 1),           Moment(1972, 2, 29, 12, 0, 0), Moment(1999, 12, 31, 23, 59, 59),
        Moment(2000, 3, 1, 0, 0, 1),  Moment(2024, 2, 29, 6, 30, 0), Moment(2024, 3, 1),
        Moment(2038, 1, 19, 3, 14, 8), Moment(2100, 3, 1, 1, 2, 3),
    };
    for (const LocalDateTime& t : moments) {
        struct tm parts {};
        parts.tm_year = t.year - 1900;
        parts.tm_mon = t.month - 1;
        parts.tm_mday = t.day;
        parts.tm_hour = t.hour;
        parts.tm_min = t.minute;
        parts.tm_sec = t.second;
        EXPECT_EQ(UnixTimeOf(t), static_cast<std::int64_t>(timegm(&parts))) << DateText(t) << " " << TimeTextOf(t);
    }
}

TEST(Dates, NowFollowsTheLocalClock) {
    std::time_t before = std::time(nullptr);
    std::int64_t now = UnixTimeNow();
    struct tm local {};
    localtime_r(&before, &local);
    std::int64_t expected = static_cast<std::int64_t>(before) + local.tm_gmtoff;
    EXPECT_GE(now, expected);
    EXPECT_LE(now, expected + 2);
}

}  // namespace
