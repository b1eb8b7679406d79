// The language-file grammar, the shipped language files, the command line
// and the exit codes of the exit routine.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/commandline.h"
#include "frame/exit.h"
#include "frame/platform.h"
#include "testkit.h"

namespace {

TEST(LanguageFile, Lines) {
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
        {"OKAY yes\nOK\n", Msg::OK, ""},  // a longer word is no key
        {std::string("RELINK te\0xt\n", 13), Msg::RELINK, "te"},  // a NUL ends the text
        {std::string("\0PURGE hidden\n", 14), Msg::PURGE, ""},
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
    ClearCatalogue();
}

class ShippedLanguageFile : public ::testing::TestWithParam<const char*> {};

TEST_P(ShippedLanguageFile, DefinesEveryKeyWithItsMacros) {
    // The macros each key receives; a translation that drops one loses a value.
    const std::pair<Msg, std::vector<std::string>> macroTable[] = {
        {Msg::FILENOTFOUND, {"%f"}},       {Msg::CANTCREATEDIR, {"%d"}},          {Msg::ERRANNOUNCE, {"%f"}},
        {Msg::TOSSCONSOLE, {"%f", "%a"}},  {Msg::LINKNDEF, {"%a"}},               {Msg::ADDRNDEF, {"%a"}},
        {Msg::BADTICPWD, {"%r"}},          {Msg::BADSIZE, {"%m", "%c"}},          {Msg::BADCRC, {"%m", "%c"}},
        {Msg::LINKCANTCRAR, {"%l"}},       {Msg::LINKGRNDEF, {"%l"}},             {Msg::GROUPNDEF, {"%g"}},
        {Msg::LINKNSIGNED, {"%l", "%a"}},  {Msg::LINKCANTWRITE, {"%a", "%f"}},    {Msg::AREACREATED, {"%D", "%T"}},
        {Msg::LOGOPENTICFILE, {"%f"}},     {Msg::LOGFROMFECHO, {"%a", "%e"}},     {Msg::LOGLINKNDEF, {"%a"}},
        {Msg::LOGADDRNDEF, {"%a"}},        {Msg::LOGBADTICPWD, {"%r"}},           {Msg::LOGBADSIZE, {"%m", "%c"}},
        {Msg::LOGBADCRC, {"%m", "%c"}},    {Msg::LOGLINKCANTCRAR, {"%l"}},        {Msg::LOGLINKGRNDEF, {"%l"}},
        {Msg::LOGGROUPNDEF, {"%g"}},       {Msg::LOGLINKNSIGNED, {"%l", "%a"}},   {Msg::LOGLINKCANTWRITE, {"%a", "%f"}},
        {Msg::LOGREMOVETIC, {"%f"}},       {Msg::LOGREMOVEBADFILE, {"%f"}},       {Msg::LOGREMOVEFILE, {"%f", "%d"}},
        {Msg::HATCHFILE, {"%f", "%a"}},    {Msg::LOGHATCHBEGIN, {"%f", "%a"}},    {Msg::LOGHATCHSENDTO, {"%t"}},
        {Msg::WORKUPMSG, {"%f"}},          {Msg::REQUESTFROM, {"%n", "%a"}},      {Msg::SIGNON, {"%A"}},
        {Msg::UNSIGNON, {"%A"}},           {Msg::LOGFROM, {"%n", "%a"}},          {Msg::LISTSUBJ, {"%c", "%a"}},
        {Msg::AVAILSUBJ, {"%c", "%a"}},    {Msg::QUERYSUBJ, {"%c", "%a"}},        {Msg::BADFILENAME, {"%f"}},
        {Msg::DESCFILENAME, {"%f"}},       {Msg::LOGBADFILENAME, {"%f"}},         {Msg::LOGDESCFILENAME, {"%f"}},
        {Msg::HATCHBADNAME, {"%f"}},       {Msg::HATCHDESCFILE, {"%f"}},
        {Msg::TOSSRENAMED, {"%f", "%n"}}, {Msg::TOSSUNSAFEFILENAME, {"%f"}}, {Msg::TOSSUNSAFEAREATAG, {"%a"}},
        {Msg::TOSSLONGAREAPATH, {"%a"}}, {Msg::TOSSUNSAFEREPLACES, {"%f"}}, {Msg::EVERYFILEREPLACES, {"%f"}},
        {Msg::TOSSWAITINGKEPT, {"%f"}}, {Msg::TOSSUNREADABLE, {"%f", "%e"}},
        {Msg::TOSSMOVEFAILED, {"%f", "%d", "%e"}}, {Msg::TOSSSTOREDGONE, {"%f"}}, {Msg::TOSSENDEDJOURNAL, {"%f"}},
        {Msg::TOSSOTHERJOURNAL, {"%f"}}, {Msg::TOSSRESUME, {"%f"}}, {Msg::TOSSNOAREATORESUME, {"%f", "%a"}},
        {Msg::TOSSDESCNOTWRITTEN, {"%f", "%e"}}, {Msg::TOSSNOARCHIVER, {"%p"}}, {Msg::TOSSNOTARGET, {"%f"}},
        {Msg::TOSSAREANOTADDED, {"%a"}}, {Msg::TOSSRESUMEASIDE, {"%f"}}, {Msg::TOSSFILESTAYS, {"%f"}},
        {Msg::TOSSTICSTAYS, {"%f"}}, {Msg::TOSSPAIRNOTWRITTEN, {"%d", "%e", "%f"}},
        {Msg::TOSSNOTSYNCED, {"%e"}}, {Msg::TOSSTICDELETED, {"%f"}},
        {Msg::TOSSNOREASONLINE, {"%d", "%e", "%f"}}, {Msg::TOSSREASONKEPT, {"%f", "%d", "%e"}},
        {Msg::TOSSNOTREGULARFILE, {"%f", "%k"}}, {Msg::TOSSNOTREGULARTIC, {"%f", "%k"}},
        {Msg::TOSSTICASFILE, {"%f"}}, {Msg::TOSSSTOREDCHANGED, {"%f"}}, {Msg::ATTACHTOOLONG, {"%t", "%f"}},
        {Msg::BUSYGIVENUP, {"%f"}}, {Msg::RETRYDROPPED, {"%f"}}, {Msg::STALEBUSY, {"%f"}},
        {Msg::HATCHUNKNOWNAREA, {"%a"}}, {Msg::HATCHDESCCUT, {"%f", "%n"}},
        {Msg::HATCHCOPYFAILED, {"%f", "%d", "%e"}}, {Msg::HATCHNOTREGULAR, {"%f", "%k"}}, {Msg::PURGED, {"%f"}},
        {Msg::PURGENOTREGULAR, {"%f", "%k"}}, {Msg::ANNREFUSEDKEY, {"%k"}}, {Msg::ANNTORN, {"%f", "%n"}},
        {Msg::ANNPIECES, {"%f", "%n"}}, {Msg::ANNAMBIGUOUS, {"%n", "%d", "%f", "%g"}}, {Msg::ANNNOBEGIN, {"%f"}},
        {Msg::ANNNOBEGIN2, {"%f"}}, {Msg::ANNNOEND2, {"%f"}}, {Msg::ROBOTSHORTMSG, {"%f"}},
        {Msg::ROBOTNOTREGULAR, {"%f", "%k"}}, {Msg::ROBOTNOTALINK, {"%a"}}, {Msg::ROBOTLEFT, {"%f", "%e"}},
        {Msg::ROBOTLONGREQUEST, {"%f", "%n"}}, {Msg::ROBOTREPEATED, {"%c"}}, {Msg::ROBOTNOTEMPLATE, {"%c"}},
        {Msg::ROBOTLINKSFULL, {"%a", "%l"}}, {Msg::ROBOTLINKSCTLFAILED, {"%a"}},
        {Msg::ROBOTRESENDFAILED, {"%f", "%a", "%e"}}, {Msg::ROBOTRESENDGONE, {"%f", "%a", "%t"}},
        {Msg::ROBOTFINISHING, {"%f"}}, {Msg::ROBOTNOTDELETED, {"%f"}}, {Msg::UPLINKNOTALINK, {"%a", "%e"}},
        {Msg::UPLINKUNSAFETAG, {"%a"}}, {Msg::UPLINKLONGPATH, {"%a"}}, {Msg::RELINKSENT, {"%n", "%a"}},
        {Msg::LOGHATCHNOLINK, {"%t", "%a"}},
        {Msg::MODENEEDSDIR, {"%m", "%k"}}, {Msg::CHECKFOUND, {"%n"}}, {Msg::CHECKNOTYESNO, {"%v"}},
        {Msg::CHECKNOTNUMBER, {"%v"}}, {Msg::CHECKNOTWITHIN, {"%v", "%l", "%h"}}, {Msg::CHECKNOTADDRESS, {"%v"}},
        {Msg::CHECKNOTCHOICE, {"%v", "%w"}}, {Msg::CHECKWINDOWSPATH, {"%v"}}, {Msg::CHECKNOTWRITABLE, {"%d"}},
        {Msg::CHECKCANTCREATE, {"%d"}}, {Msg::CHECKNOFILE, {"%f"}}, {Msg::CHECKFILEUNREADABLE, {"%f"}},
        {Msg::CHECKNOPROGRAM, {"%p"}}, {Msg::CHECKTEMPINTMP, {"%d"}}, {Msg::CHECKCTLNOTWRITABLE, {"%d"}},
        {Msg::CANTBECOMEUSER, {"%d", "%u", "%e"}},
        {Msg::CHECKMISSINGRUNENDS, {"%n"}}, {Msg::CHECKUNREADRUNENDS, {"%n"}}, {Msg::CHECKMISSINGROBOT, {"%n"}},
        {Msg::CHECKUNREADROBOT, {"%n"}}, {Msg::CHECKMISSINGEXIT, {"%n"}}, {Msg::CHECKNOGROUPS, {"%n"}},
        {Msg::CHECKNOTONELETTER, {"%v"}}, {Msg::CHECKBEFOREFIRST, {"%k"}},
        {Msg::CHECKGROUPAGAIN, {"%g", "%l"}}, {Msg::CHECKNOARCHIVERS, {"%n"}},
        {Msg::CHECKNOTOFFSETBYTES, {"%v"}}, {Msg::CHECKOFFSETNOTHEX, {"%v"}}, {Msg::CHECKBYTESNOTHEX, {"%v"}},
        {Msg::CHECKLACKSMACRO, {"%v", "%m"}}, {Msg::CHECKLACKSMACROS, {"%v"}}, {Msg::CHECKNOSIGNATURE, {"%r"}},
        {Msg::CHECKNOEXTRACTFILE, {"%r"}}, {Msg::CHECKNOTHEX, {"%v"}}, {Msg::CHECKNOTCOLOUR, {"%v"}},
        {Msg::CHECKNOLINKS, {"%n"}}, {Msg::CHECKNOPASSWORD, {"%a"}}, {Msg::CHECKROWCUTSHORT, {"%n", "%m", "%c"}},
        {Msg::CHECKNOTWHOLEADDR, {"%v"}}, {Msg::CHECKNOTWHOLENOAKA, {"%v"}}, {Msg::CHECKNOTINLINKS, {"%a"}},
        {Msg::CHECKAREAAGAIN, {"%e", "%l"}}, {Msg::CHECKNOLISTFILE, {"%n"}}, {Msg::CHECKAFTERGROUPS, {"%v"}},
        {Msg::CHECKNOTANYWHEREOR, {"%v"}}, {Msg::CHECKGROUPNOQUOTE, {"%g"}},
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
    // The usage text's help stands from column 29: a longer line would wrap
    // on an 80-column terminal.
    for (int i = 0; i < MessageKeyCount; ++i) {
        const Msg key = static_cast<Msg>(i);
        if (MessageKeyName(key).starts_with("USAGE")) {
            EXPECT_LE(MessageText(key).size(), 51u) << MessageKeyName(key);
        }
    }
    ClearCatalogue();
}

INSTANTIATE_TEST_SUITE_P(Files, ShippedLanguageFile, ::testing::Values("brenmoor.lng", "russian.lng"));

// The macros of a text, in order: "%f" and "%F" are two, "%%" and a "%"
// before a blank are none.
std::vector<std::string> MacrosOf(const std::string& text) {
    std::vector<std::string> macros;
    for (std::size_t at = text.find('%'); at != std::string::npos && at + 1 < text.size(); at = text.find('%', at + 1)) {
        const char c = text[at + 1];
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) macros.push_back(text.substr(at, 2));
    }
    std::sort(macros.begin(), macros.end());
    return macros;
}

TEST(ShippedLanguageFiles, TranslationKeepsEveryMacro) {
    std::vector<std::vector<std::string>> english;
    LoadCatalogue(SourceDir() + "lang/brenmoor.lng");
    for (int i = 0; i < MessageKeyCount; ++i) english.push_back(MacrosOf(MessageText(static_cast<Msg>(i))));
    LoadCatalogue(SourceDir() + "lang/russian.lng");
    for (int i = 0; i < MessageKeyCount; ++i) {
        const Msg key = static_cast<Msg>(i);
        EXPECT_EQ(MacrosOf(MessageText(key)), english[i]) << MessageKeyName(key) << ": " << MessageText(key);
    }
    ClearCatalogue();
}

TEST(CommandLine, WordArgumentsAndHatchOptions) {
    EXPECT_EQ(ParseCommandLine({"tossScan"}).commandWord, "TOSSSCAN");
    EXPECT_EQ(ParseCommandLine({"x\xA0y"}).commandWord, "X\xA0Y");  // code page 866 letters keep their case
    EXPECT_EQ(ParseCommandLine({std::string(300, 'a')}).commandWord, std::string(255, 'A'));
    CommandLine line = ParseCommandLine({"HATCH", "file.zip", "AREA"});
    EXPECT_EQ(CommandArgument(line, 3), "AREA");
    EXPECT_EQ(CommandArgument(line, 4), "");
    EXPECT_EQ(CommandArgument(line, 0), "");
    EXPECT_FALSE(line.quiet);
    line = ParseCommandLine({"-Q", "toss", "--quiet", "--bad", "-qq"});
    EXPECT_TRUE(line.quiet);
    EXPECT_EQ(line.commandWord, "TOSS");
    EXPECT_EQ(CommandArgument(line, 2), "--bad");
    EXPECT_EQ(CommandArgument(line, 3), "-qq");

    const struct {
        std::vector<std::string> args;
        bool immediate, copy;
        std::string description;
        bool missing = false;
    } cases[] = {
        // Any letter case; the description keeps its own.
        {{"hatch", "file.zip", "AREA", "-n", "-c", "-dNew Release 2.0"}, true, true, "New Release 2.0"},
        // Options count from argument 4 on, so these are file and area.
        {{"HATCH", "-N", "-C", "-DText"}, false, false, "Text"},
        // Only whole arguments are flags; "-D" alone takes the next argument.
        {{"HATCH", "f", "a", "-NC", "-Cx", "-", "-D", "x"}, false, false, "x"},
        {{"hatch", "f", "a", "-n", "-d", "Release notes", "-c"}, true, true, "Release notes"},
        {{"hatch", "f", "a", "-d", "-dash first"}, false, false, "-dash first"},
        {{"hatch", "f", "a", "-d", ""}, false, false, ""},
        // "-D" with nothing after it, or an option after it, has no text.
        {{"hatch", "f", "a", "-n", "-d"}, true, false, "", true},
        {{"hatch", "f", "a", "-d", "-N", "-c"}, true, true, "", true},
        {{"hatch", "f", "a", "-dOld", "-d", "-D"}, false, false, "Old", true},
        // A later text mends a "-D" left without one.
        {{"hatch", "f", "a", "-d", "-n", "-D", "New"}, true, false, "New"},
        // The last description wins, whole: the hatch cuts it to its line.
        {{"HATCH", "f", "a", "-dfirst", "-D" + std::string(300, 'd')}, false, false, std::string(300, 'd')},
        // Quiet anywhere is no argument: the options still count from 4.
        {{"-q", "HATCH", "f", "--QUIET", "a", "-n", "-Dx"}, true, false, "x"},
    };
    for (const auto& c : cases) {
        CommandLine parsed = ParseCommandLine(c.args);
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(parsed.immediateHatch, c.immediate);
        EXPECT_EQ(parsed.copyToArea, c.copy);
        EXPECT_EQ(parsed.hatchDescription, c.description);
        EXPECT_EQ(parsed.descriptionMissing, c.missing);
    }
}

TEST(ExitRoutine, CodesAndOutput) {
    std::string output;
    InitConsoleForTest(80, 25, false, &output);
    ClearErrorNumber();  // a failure an earlier test noted is not this test's
    SetTextColor(12);
    EXPECT_EQ(ExitCodeOf<ProgramExit>([] { ExitProgram(3); }), 3);
    EXPECT_EQ(output, "\n");
    EXPECT_EQ(Console().attr, 7);
    // A run-time error is never success, and stands on a line of its own.
    // The system's English text stands beside the number.
    const struct {
        int error, code;
        const char* text;
    } cases[] = {{13, 13, "13 (Permission denied)"}, {28, 28, "28 (No space left on device)"},
                 {0, 5, "5 (Input/output error)"}, {-4, 5, "5 (Input/output error)"},
                 {300, 255, "255 (Unknown error 255)"}};
    for (const auto& c : cases) {
        output.clear();
        WriteText("Reading...");
        EXPECT_EQ(ExitCodeOf<ProgramExit>([&] { RuntimeError(c.error); }), c.code);
        EXPECT_EQ(output, "Reading...\nRuntime error " + std::string(c.text) + "\n");
    }
    // The path of the failed call is named when the failure reported is its
    // own: not for another error number, nor after the number was cleared.
    const struct {
        int noted;
        bool cleared;
        int reported;
        const char* line;
    } paths[] = {{13, false, 13, "Runtime error 13 (Permission denied): /node/Links.ctl"},
                 {13, false, 28, "Runtime error 28 (No space left on device)"},
                 {13, true, 13, "Runtime error 13 (Permission denied)"}};
    for (const auto& c : paths) {
        output.clear();
        NoteFailure("/node/Links.ctl", c.noted);
        if (c.cleared) ClearErrorNumber();
        EXPECT_EQ(ExitCodeOf<ProgramExit>([&] { RuntimeError(c.reported); }), c.reported);
        EXPECT_EQ(output, std::string(c.line) + "\n");
    }
    ClearErrorNumber();
}

}  // namespace
