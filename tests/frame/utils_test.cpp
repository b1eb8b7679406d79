#include "frame/utils.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

namespace {

TEST(ParseAddress, PiecesAndBadPieces) {
    // A bad piece becomes 0 without touching the others.
    const struct {
        const char* text;
        unsigned zone, net, node, point;
    } cases[] = {
        {"2:5020/100", 2, 5020, 100, 0},          {"2:5020/100.7@fidonet", 2, 5020, 100, 7},
        {"2:5020/100@fidonet.org", 2, 5020, 100, 0},  // a dot in the domain is not a point
        {"5020/100", 0, 5020, 100, 0},            {"2:5020/100 trailing words", 2, 5020, 100, 0},
        {"65535:65535/65535.65535", 65535, 65535, 65535, 65535},
        {"2:5020", 2, 0, 2, 0},                   // no "/": net 0, node is the leading digit run
        {"2:50x0/100", 2, 0, 100, 0},             {"z:5020/100", 0, 5020, 100, 0},
        {"2:5020/100.7x", 2, 5020, 100, 0},       {"2:5020/12ab", 2, 5020, 12, 0},
        {"70000:5020/100", 0, 5020, 100, 0},      {"2:65536/100.99999", 2, 0, 100, 0},
        {"2:5020/99999999999999999999", 2, 5020, 0, 0}, {"2:-1/100", 2, 0, 100, 0},
        {"5020/100:2", 0, 0, 100, 0},             // ":" after "/"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        FidoAddress a = ParseAddress(c.text);
        EXPECT_EQ(a, (FidoAddress{static_cast<std::uint16_t>(c.zone), static_cast<std::uint16_t>(c.net),
                                  static_cast<std::uint16_t>(c.node), static_cast<std::uint16_t>(c.point)}));
    }
    for (const std::string& text : {std::string(""), std::string(":/.@"), std::string("@2:5020/100"),
                                    std::string(10000, '9'), "2:" + std::string(5000, '/') + "."}) {
        FidoAddress a = ParseAddress(text);
        EXPECT_LE(a.zone + a.net + a.node + a.point, 2u) << text.substr(0, 40);
    }
    EXPECT_EQ(ParseAddress("@2:5020/100"), FidoAddress{});
    EXPECT_EQ(ParseAddress(std::string("2:5\0/1", 6)), (FidoAddress{2, 0, 1, 0}));
}

TEST(AddressText, FormatCompareAndLists) {
    EXPECT_EQ(FormatAddress(ParseAddress("2:5020/100.7")), "2:5020/100.7");
    EXPECT_EQ(FormatAddressParts(0, 0, 0, 4), "0:0/0.4");
    EXPECT_EQ(NormalizeAddress("2:05020/0100.00@fidonet"), "2:5020/100");
    EXPECT_TRUE(SameAddressText("2:5020/100", "2:5020/100.0@fidonet"));
    EXPECT_FALSE(SameAddressText("2:5020/100", "2:5020/100.1"));
    std::vector<FidoAddress> own = {ParseAddress("2:5020/100"), ParseAddress("2:5020/100.7")};
    EXPECT_TRUE(AddressInList("2:5020/100.7@fidonet", own));
    EXPECT_FALSE(AddressInList("2:5020/101", own));
    EXPECT_TRUE(AddressTextInList("2:5020/100", {"1:1/1", "2:5020/100.0"}));
    EXPECT_FALSE(AddressTextInList("2:5020/100.1", {"1:1/1", "2:5020/100.0"}));
}

TEST(AddressMatchesMask, Masks) {
    const struct {
        const char *address, *mask;
        bool matches;
    } cases[] = {
        {"2:5020/100.3", "2:5020/100", false}, {"2:5020/100", "2:5020/100", true},
        {"2:5020/100.3", "2:5020/100.*", true}, {"2:5020/100", "2:5020/100.*", true},
        {"2:5020/100.3", "2:50*", true},       {"2:5021/1", "2:5020/*", false},
        {"2:5020/1.5", "2:5020/*", true},      {"1:463/1", "2:*", false},
        {"1:463/1.2", "*", true},              {"2:5020/100", "2:5020/10", false},
        {"2:5020/10", "2:5020/100", false},    {"2:502/1", "2:5020/*", false},
        {"2:5020/100", "2:5020/10?", true},
        {"2:5020/10", "2:5020/10?", true},  // trailing "?" accepts one character less
        {"2:5020/100", "2", true},          // a mask without ":" is the zone pattern only
        {"2:5020/100", "", true},              {"2:5020/100", "2:/", true},
        {"garbage", "0:0/0", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AddressMatchesMask(c.address, c.mask), c.matches) << c.address << " ~ " << c.mask;
}

TEST(MatchWildcard, Rules) {
    const struct {
        const char *value, *pattern;
        bool matches;
    } cases[] = {
        {"5", "5?", true},     {"5", "5*", true},      {"5", "5??", true},  // padded with a blank that "?" takes
        {"5", "55?", false},   {"1", "12", false},  // only a trailing wildcard accepts a shorter value
        {"12", "1234", false}, {"1234", "12", false},  {"1234", "12*", true}, {"1234", "1?3?", true},
        {"1234", "1?4?", false}, {"1234", "*", true},  {"1234", "*999", true},  // "*" accepts all from there
        {"1234", "", false},   {"", "*", true},        {"abc", "ABC", false},  // letter case counts
        {"*34", "*", true},    {"1*4", "1*", true},    {"1*4", "1*5", true},  // a "*" of the value is no wildcard
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchWildcard(c.value, c.pattern), c.matches) << c.value << " ~ " << c.pattern;
}

TEST(SubstituteMacros, FirstOccurrenceOnceAndCut) {
    EXPECT_EQ(SubstituteMacros("File %F not found", "%f", "a.zip"), "File a.zip not found");
    EXPECT_EQ(SubstituteMacros("%f and %f", "%f", "x"), "x and %f");
    EXPECT_EQ(SubstituteMacros("%a sent %f", "%f", "%a", "file", "2:5020/1"), "2:5020/1 sent file");
    EXPECT_EQ(SubstituteMacros("x%f", "%f", "", "1", "2"), "x1");
    // A value holding the second macro, or ending in a piece of one, reaches the text as is.
    EXPECT_EQ(SubstituteMacros("%f from %a", "%f", "%a", "100%all", "2:5020/1"), "100%all from 2:5020/1");
    EXPECT_EQ(SubstituteMacros("%fa", "%f", "%a", "%", "X"), "%a");
    std::string cut = SubstituteMacros("<%f>", "%f", std::string(300, 'x'));
    EXPECT_EQ(cut, "<" + std::string(254, 'x'));
}

TEST(SubstituteMacros, ListOfMacros) {
    // "@GROUPCOMMENT" before "@GROUP", which is a prefix of it; a value
    // inserted before an earlier one must not hide a later macro behind it.
    const MacroValue macros[] = {{"@B", "b-@A"}, {"@GROUPCOMMENT", "comment"}, {"@GROUP", "G"}, {"@A", "a"}};
    EXPECT_EQ(SubstituteMacroList("@group: @GroupComment; @b @a @b", macros), "G: comment; b-@A a @b");
    const MacroValue empty[] = {{"", "never"}};
    EXPECT_EQ(SubstituteMacroList("text", empty), "text");
    const MacroValue pathMacro[] = {{"%A", std::string_view("/a/very/long/path", 17)}};
    EXPECT_EQ(SubstituteMacroList("<%a>", pathMacro, 5), "</a/v");
    EXPECT_EQ(SubstituteMacroList(std::string(300, 'x') + "%a", pathMacro, std::string::npos).size(), 317u);
}

TEST(TextCleaning, TrimCommentsWordsCaseAndNumbers) {
    std::string s = "\t a b \t";
    TrimLeft(s);
    EXPECT_EQ(s, "\t a b \t");  // TAB is not a blank
    s = "  a b  ";
    Trim(s);
    EXPECT_EQ(s, "a b");
    s = "value ; comment; more";
    StripComment(s);
    EXPECT_EQ(s, "value ");
    s = "50% off; note";
    StripCommentAndPercent(s);
    EXPECT_EQ(s, "50");
    EXPECT_EQ(FirstWord("two words"), "two");
    EXPECT_EQ(FirstWord(" leading"), " leading");
    EXPECT_EQ(FirstWord("tab\tword"), "tab\tword");

    std::string ru = "ab\xA0\xAF\xE0\xEF\xF1\x80\xF0Z";
    UpperCaseRussian(ru);
    EXPECT_EQ(ru, "AB\x80\x8F\x90\x9F\xF0\x80\xF0Z");
    EXPECT_TRUE(EqualNoCase("Areas.CTL", "areas.ctl"));
    EXPECT_FALSE(EqualNoCase("areas", "areas.ctl"));
    for (const char* yes : {"  yes ", "+", "YeS"}) EXPECT_TRUE(ParseYesNo(yes)) << yes;
    for (const char* no : {"No", "1", "On", "yes please"}) EXPECT_FALSE(ParseYesNo(no)) << no;
    // Control bytes and DEL become blanks (a TAB too), code page 866 letters stay.
    EXPECT_EQ(ControlsToBlanks(std::string("a\x01" "b\x1B[2J\t\x7F\x80\xFF\0z", 13)), "a b [2J  \x80\xFF z");
    EXPECT_EQ(TwoDigits(123), "123");
    EXPECT_EQ(HexByte(0x1AB), "AB");
    EXPECT_EQ(ParseNumber("-7"), -7);
    for (const char* bad : {"", "-", "12abc", "99999999999999999999"}) EXPECT_EQ(ParseNumber(bad), 0) << bad;
}

TEST(SplitControlLine, Grammar) {
    EXPECT_EQ(CleanControlLine("  key  value ; comment ; more"), "key  value");
    EXPECT_EQ(CleanControlLine(" ;all comment"), "");
    EXPECT_EQ(CleanControlLine(std::string_view("NetmailOut \0 x", 14)), "NetmailOut");  // NUL ends the line
    EXPECT_EQ(CleanControlLine(std::string_view("Semaphores f\0", 13)), "Semaphores f");
    std::string_view key, rest;
    SplitKeywordView("Key\tTab  value", key, rest);  // only the blank separates
    EXPECT_EQ(key, "Key\tTab");
    EXPECT_EQ(rest, "value");

    std::string keyword, value;
    ASSERT_TRUE(SplitControlLine("  inbound\t /var/Fido/In ; where files arrive", keyword, value));
    EXPECT_EQ(keyword + "|" + value, "INBOUND|/var/Fido/In");
    ASSERT_TRUE(SplitControlLine("Keyword", keyword, value));
    EXPECT_EQ(keyword + "|" + value, "KEYWORD|");
    ASSERT_TRUE(SplitControlLine("Origin Two  blanks  kept", keyword, value));
    EXPECT_EQ(value, "Two  blanks  kept");
    EXPECT_FALSE(SplitControlLine("   ; only a comment", keyword, value));
    EXPECT_FALSE(SplitControlLine("", keyword, value));
    EXPECT_EQ(keyword, "");
}

TEST(Paths, PiecesOfAPath) {
    const struct {
        const char *path, *dir, *file, *splitDir, *name, *ext;
    } cases[] = {
        {"/fido/log/file.log", "/fido/log/", "file.log", "/fido/log/", "file", ".log"},
        {"/fido/a/b/", "/fido/a/", "", "/fido/a/b/", "", ""},
        {"file.log", "", "file.log", "", "file", ".log"},
        {"/", "", "", "/", "", ""},
        {"/file", "/", "file", "/", "file", ""},
        {"/in/ARC.TAR.GZ", "/in/", "ARC.TAR.GZ", "/in/", "ARC", ".TAR.GZ"},
        {"/v1.2/file", "/v1.2/", "file", "/v1.2/", "file", ""},  // dots in the directory do not count
        {"/in/.hidden", "/in/", ".hidden", "/in/", "", ".hidden"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ExtractDir(c.path), c.dir);
        EXPECT_EQ(ExtractFileName(c.path), c.file);
        std::string dir, name, ext;
        SplitPath(c.path, dir, name, ext);
        EXPECT_EQ(dir + "|" + name + "|" + ext, std::string(c.splitDir) + "|" + c.name + "|" + c.ext);
    }
    EXPECT_EQ(ExtractFileName("/in/name.tic  "), "name.tic");
    for (std::string path : {"/fido", "/fido/"}) {
        AddTrailingSlash(path);
        EXPECT_EQ(path, "/fido/");
    }
    std::string empty;
    AddTrailingSlash(empty);
    EXPECT_EQ(empty, "");
}

LocalDateTime Moment(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    LocalDateTime t;
    t.year = year, t.month = month, t.day = day, t.hour = hour, t.minute = minute, t.second = second;
    return t;
}

TEST(Dates, YesterdayAndTexts) {
    const struct {
        LocalDateTime day;
        const char* yesterday;
    } cases[] = {
        {Moment(2024, 3, 1), "29-02-2024"}, {Moment(2023, 3, 1), "28-02-2023"}, {Moment(2000, 3, 1), "29-02-2000"},
        {Moment(1900, 3, 1), "28-02-1900"}, {Moment(2024, 1, 1), "31-12-2023"}, {Moment(2024, 5, 1), "30-04-2024"},
        {Moment(2024, 7, 15), "14-07-2024"},
    };
    for (const auto& c : cases) EXPECT_EQ(YesterdayTextOf(c.day), c.yesterday) << DateText(c.day);

    LocalDateTime t = Moment(2005, 7, 4, 9, 5, 3);
    EXPECT_EQ(DateText(t), "04-07-2005");
    EXPECT_EQ(TimeTextOf(t), "09:05:03");
    EXPECT_EQ(MessageDateTextOf(t), "04 Jul 05  09:05:03");
    EXPECT_EQ(FullYear(79), 2079);
    EXPECT_EQ(FullYear(80), 1980);
}

TEST(Dates, UnixTimeAgreesWithTheCalendarAndTheLocalClock) {
    for (const LocalDateTime& t : {Moment(1970, 1, 1), Moment(1972, 2, 29, 12), Moment(1999, 12, 31, 23, 59, 59),
                                   Moment(2024, 3, 1), Moment(2038, 1, 19, 3, 14, 8), Moment(2100, 3, 1, 1, 2, 3)}) {
        struct tm parts {};
        parts.tm_year = t.year - 1900, parts.tm_mon = t.month - 1, parts.tm_mday = t.day;
        parts.tm_hour = t.hour, parts.tm_min = t.minute, parts.tm_sec = t.second;
        EXPECT_EQ(UnixTimeOf(t), static_cast<std::int64_t>(timegm(&parts))) << DateText(t) << " " << TimeTextOf(t);
    }
    std::time_t before = std::time(nullptr);
    std::int64_t now = UnixTimeNow();
    struct tm local {};
    localtime_r(&before, &local);
    std::int64_t expected = static_cast<std::int64_t>(before) + local.tm_gmtoff;
    EXPECT_GE(now, expected);
    EXPECT_LE(now, expected + 2);
}

}  // namespace
