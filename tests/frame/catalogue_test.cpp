#include <gtest/gtest.h>

#include <set>
#include <string>

#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/exit.h"
#include "testkit.h"

namespace {

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitConsoleForTest(80, 25, false, &output);
        ClearCatalogue();
    }
    void TearDown() override { ClearCatalogue(); }
    std::string output;
};

TEST_F(CatalogueTest, KeyNamesAreDistinct) {
    // The first and the last key of the list.
    EXPECT_EQ(MessageKeyName(Msg::OK), "OK");
    EXPECT_EQ(MessageKeyName(Msg::ALLUNLINKED), "ALLUNLINKED");
    std::set<std::string_view> names;
    for (int i = 0; i < MessageKeyCount; ++i) names.insert(MessageKeyName(static_cast<Msg>(i)));
    EXPECT_EQ(names.size(), static_cast<std::size_t>(MessageKeyCount));
}

TEST_F(CatalogueTest, LanguageFileLines) {
    const std::string lineEnds = "OK one\r\nERROR two\rNEEDCMD three\nPURGE four";
    const struct {
        std::string content;
        Msg key;
        std::string text;
    } cases[] = {
        {"ok   Done well\n", Msg::OK, "Done well"},  // key in any case, blanks before the text go
        {"  needcmd Give a command  \n", Msg::NEEDCMD, "Give a command"},
        {"ERROR\tFailed\n", Msg::ERROR, ""},  // a TAB does not separate key and text
        {"TOSSCONSOLE Tossing %f to %a    ; %f file, %a area\n", Msg::TOSSCONSOLE, "Tossing %f to %a"},
        {"; OK commented out\n", Msg::OK, ""},
        {"HELPSUBJ " + std::string(200, 'x') + "\n", Msg::HELPSUBJ, std::string(128, 'x')},
        {"OK first\nOK second\n", Msg::OK, "second"},
        {"ERROR bad\nERROR\n", Msg::ERROR, ""},  // a bare key sets an empty text
        // The line is cut at 255 first: this text would start at column 258.
        {"NEEDCMD" + std::string(250, ' ') + "lost\n", Msg::NEEDCMD, ""},
        {lineEnds, Msg::OK, "one"}, {lineEnds, Msg::ERROR, "two"},
        {lineEnds, Msg::NEEDCMD, "three"}, {lineEnds, Msg::PURGE, "four"},
    };
    for (const auto& c : cases) {
        ClearCatalogue();
        ParseCatalogueText(c.content);
        EXPECT_EQ(MessageText(c.key), c.text) << c.content.substr(0, 40);
    }
    SetMessageText(Msg::TOSSSCRDESC, std::string(300, 'd'));
    EXPECT_EQ(MessageText(Msg::TOSSSCRDESC), std::string(128, 'd'));
}

TEST_F(CatalogueTest, UnknownKeysPrefixesAndBinaryContentDoNoHarm) {
    ParseCatalogueText("OKAY yes\nNOSUCHKEY text\nREADING text\n");
    for (int i = 0; i < MessageKeyCount; ++i) EXPECT_EQ(MessageText(static_cast<Msg>(i)), "");

    std::string junk;
    for (int round = 0; round < 40; ++round)
        for (int c = 0; c < 256; ++c) junk += static_cast<char>((c * 7 + round) & 0xFF);
    ParseCatalogueText(junk + "\nOK after junk\n" + std::string(10000, 'Z') + "\n" +
                       std::string("RELINK te\0xt\n", 13) + std::string("\0PURGE hidden\n", 14) + "ERROR " +
                       std::string(10000, 'e'));
    EXPECT_EQ(MessageText(Msg::OK), "after junk");
    EXPECT_EQ(MessageText(Msg::RELINK), std::string("te\0xt", 5));
    EXPECT_EQ(MessageText(Msg::PURGE), "");
    EXPECT_EQ(MessageText(Msg::ERROR), std::string(128, 'e'));
}

TEST_F(CatalogueTest, LoadEmptiesEveryEntryFirstAndAMissingFileEndsWithTwo) {
    ScratchDir dir;
    WriteFileBytes(dir / "brenmoor.lng", "OK fine\n");
    SetMessageText(Msg::ERROR, "left over");
    LoadCatalogue(dir / "brenmoor.lng");
    EXPECT_EQ(MessageText(Msg::OK), "fine");
    EXPECT_EQ(MessageText(Msg::ERROR), "");
    EXPECT_EQ(output, "");

    EXPECT_EQ(ExitCodeOf<ProgramExit>([&] { LoadCatalogue(dir / "none.lng"); }), 2);
    EXPECT_EQ(output, "Language file not found.\n\n");
    EXPECT_EQ(Console().attr, 7);
}

class ShippedLanguageFile : public CatalogueTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ShippedLanguageFile, DefinesEveryKeyWithItsMacros) {
    // The macros each key receives; a translation that drops one loses a value.
    const std::pair<Msg, std::vector<std::string>> macroTable[] = {
        {Msg::FILENOTFOUND, {"%f"}},       {Msg::CANTCREATEDIR, {"%d"}},          {Msg::ERRANNOUNCE, {"%f"}},
        {Msg::TOSSCONSOLE, {"%f", "%a"}},  {Msg::LINKNDEF, {"%a"}},               {Msg::ADDRNDEF, {"%a"}},
        {Msg::BADTICPWD, {"%w", "%r"}},    {Msg::BADSIZE, {"%m", "%c"}},          {Msg::BADCRC, {"%m", "%c"}},
        {Msg::LINKCANTCRAR, {"%l"}},       {Msg::LINKGRNDEF, {"%l"}},             {Msg::GROUPNDEF, {"%g"}},
        {Msg::LINKNSIGNED, {"%l", "%a"}},  {Msg::LINKCANTWRITE, {"%a", "%f"}},    {Msg::AREACREATED, {"%D", "%T"}},
        {Msg::LOGOPENTICFILE, {"%f"}},     {Msg::LOGFROMFECHO, {"%a", "%e"}},     {Msg::LOGLINKNDEF, {"%a"}},
        {Msg::LOGADDRNDEF, {"%a"}},        {Msg::LOGBADTICPWD, {"%w", "%r"}},     {Msg::LOGBADSIZE, {"%m", "%c"}},
        {Msg::LOGBADCRC, {"%m", "%c"}},    {Msg::LOGLINKCANTCRAR, {"%l"}},        {Msg::LOGLINKGRNDEF, {"%l"}},
        {Msg::LOGGROUPNDEF, {"%g"}},       {Msg::LOGLINKNSIGNED, {"%l", "%a"}},   {Msg::LOGLINKCANTWRITE, {"%a", "%f"}},
        {Msg::LOGREMOVETIC, {"%f"}},       {Msg::LOGREMOVEBADFILE, {"%f"}},       {Msg::LOGREMOVEFILE, {"%f", "%d"}},
        {Msg::HATCHFILE, {"%f", "%a"}},    {Msg::LOGHATCHBEGIN, {"%f", "%a"}},    {Msg::LOGHATCHSENDTO, {"%t"}},
        {Msg::WORKUPMSG, {"%f"}},          {Msg::REQUESTFROM, {"%n", "%a"}},      {Msg::SIGNON, {"%A"}},
        {Msg::UNSIGNON, {"%A"}},           {Msg::LOGFROM, {"%n", "%a"}},          {Msg::LISTSUBJ, {"%c", "%a"}},
        {Msg::AVAILSUBJ, {"%c", "%a"}},    {Msg::QUERYSUBJ, {"%c", "%a"}},
    };
    LoadCatalogue(SourceDir() + "lang/" + GetParam());
    for (int i = 0; i < MessageKeyCount; ++i) {
        Msg key = static_cast<Msg>(i);
        EXPECT_FALSE(MessageText(key).empty()) << MessageKeyName(key);
        // A text at the limit was probably cut.
        EXPECT_LT(MessageText(key).size(), MaxMessageText) << MessageKeyName(key);
    }
    for (const auto& [key, macros] : macroTable)
        for (const std::string& macro : macros)
            EXPECT_NE(MessageText(key).find(macro), std::string::npos) << MessageKeyName(key) << " lacks " << macro;
    // The toss screen shows its labels cut to these widths.
    for (Msg key : {Msg::TOSSSCRRECEIVEFILE, Msg::TOSSSCRRECEIVEFROM, Msg::TOSSSCRORIGIN, Msg::TOSSSCRFILEECHO,
                    Msg::TOSSSCRDESC})
        EXPECT_LE(MessageText(key).size(), 41u) << MessageKeyName(key);
    for (Msg key : {Msg::TOSSSCRALLWORKUPTIC, Msg::TOSSSCRBADTICFILES, Msg::TOSSSCRCOMPLETE})
        EXPECT_LE(MessageText(key).size(), 25u) << MessageKeyName(key);
}

INSTANTIATE_TEST_SUITE_P(Files, ShippedLanguageFile, ::testing::Values("brenmoor.lng", "russian.lng"));

}  // namespace
