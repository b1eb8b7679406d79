#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "frame/catalogue.h"
#include "frame/utils.h"
#include "robot/reports.h"
#include "robot/requests.h"
#include "robot/uplinks.h"
#include "testkit.h"

namespace {

TEST(Robot, NotAllowedMasks) {
    const struct {
        const char *entry, *tag;
        bool match;
    } cases[] = {
        {"RU.SOFT", "ru.soft", true},
        {"RU.SOFT", "RU.SOFTWARE", false},
        {"<'RU.'><ANYWHERE 'XXX'>", "RU.FOO.XXX.BAR", true},
        {"<'RU.'> <ANYWHERE 'XXX'>", "RU.XXX", true},
        {"<'RU.'><ANYWHERE 'XXX'>", "SU.XXX", false},
        {"<'RU.'><ANYWHERE 'XXX'>", "RU.FOO", false},
        {"<'RU.' OR 'SU.'>", "SU.", true},
        {"<'RU.' OR 'SU.'>", "SU.FOO", false},  // the rest of the tag is left
        {"<'RU.' 'SU.'><'A'>", "SU.A", true},
        {"<ANYWHERE 'X' OR 'Y'>", "YZ", false},  // OR goes back to the start of the tag
        {"<ANYWHERE 'X' OR 'Y'>", "ZX", true},
        {"<'A'><'B'>", "A", false},
        // Unbalanced entries match what they can and never run past their end.
        {"<'RU.", "RU.", true},
        {"<'RU.'", "RU.X", false},
        {"<RU.>", "RU.", false},
        {"<'RU.'>>", "RU.", false},
        {"<", "X", false},
        {"<''>", "X", false},
        {"<ANYWHERE ''>", "X", true},
    };
    for (const auto& c : cases) EXPECT_EQ(MatchAreaMask(c.entry, c.tag), c.match) << c.entry << " " << c.tag;
}

TEST(Robot, MarksAndColumns) {
    // Link level 10 against read and write levels.
    const struct {
        bool subscribed;
        int read, write;
        char mark;
    } marks[] = {
        {true, 20, 20, '-'}, {true, 10, 20, '+'}, {true, 10, 10, '&'}, {true, 20, 10, '*'},
        {false, 20, 20, '-'}, {false, 0, 20, ' '}, {false, 0, 0, ' '}, {false, 20, 0, '*'},
    };
    for (const auto& m : marks)
        EXPECT_EQ(AreaMark(m.subscribed, 10, m.read, m.write), m.mark) << m.subscribed << m.read << m.write;

    const struct {
        const char *line, *filled;
    } columns[] = {
        {"@F******** @G @D***", "&LONGTAGCU B  Descr"},
        {"x @d* @f", "x Des &L"},        // any order and letter case; "@F" alone is 2 wide
        {"@F**|", "&LON|"},              // no group or description column
    };
    for (const auto& c : columns) {
        ReportTemplate report = ParseReportTemplate({"head", c.line, "tail"});
        ASSERT_EQ(report.areaLine, 1u);
        EXPECT_EQ(FillAreaLine(report, "&LONGTAGCUT", "B ", "Description"), c.filled) << c.line;
    }
    EXPECT_EQ(ResultLine("SAMPLE.INFO", "Added"), "SAMPLE.INFO" + std::string(43, '.') + "  Added");
    EXPECT_EQ(ResultLine(std::string(60, 'T'), "Added"), std::string(60, 'T') + "  Added");
}

// Answers are split as the reports are: at most MSGMAXLINES result lines a
// part, the parts after the first opened by the CONTINUE text and an empty
// line, the template's lines around the result lines in the first and the
// last part.
TEST(Robot, AnswersComeInParts) {
    using Parts = std::vector<std::vector<std::string>>;
    const std::string more = MessageText(Msg::CONTINUE);
    const std::vector<std::string> answer{"a", " @StatEchoList ; here", "b"};
    const struct {
        std::vector<std::string> answerTemplate, results;
        std::uint16_t maxLines;
        Parts parts;
    } cases[] = {
        {answer, {"1", "2"}, 400, {{"a", "1", "2", "b"}}},
        {answer, {"1", "2"}, 2, {{"a", "1", "2", "b"}}},  // a full part opens no empty one
        {answer, {"1", "2", "3"}, 2, {{"a", "1", "2"}, {more, "", "3", "b"}}},
        {answer, {"1", "2", "3", "4", "5"}, 2, {{"a", "1", "2"}, {more, "", "3", "4"}, {more, "", "5", "b"}}},
        {answer, {"1", "2", "3"}, 1, {{"a", "1"}, {more, "", "2"}, {more, "", "3", "b"}}},
        {answer, {"1", "2", "3"}, 0, {{"a", "1", "2", "3", "b"}}},  // no limit
        {answer, {}, 2, {{"a", "b"}}},
        {{"a", "b"}, {"1", "2", "3"}, 1, {{"a", "b"}}},  // no list line: the template alone
        {{"@statecholist", "x", "@STATECHOLIST"}, {"1", "2"}, 1, {{"1"}, {more, "", "2", "x"}}},  // once
    };
    for (const auto& c : cases)
        EXPECT_EQ(BuildAnswer(c.answerTemplate, c.results, c.maxLines), c.parts) << c.results.size() << " " << c.maxLines;
}

TEST(Robot, TagMasks) {
    const struct {
        const char* tag;
        bool mask;
    } cases[] = {
        {"FIDO.*", true}, {"FIDO.N?WS", true}, {"*", false}, {"*.NEWS", false}, {"*FIDO*", false},
        {"FIDO.NEWS", false}, {"", false}, {"?", true}, {"A*B", true},
    };
    for (const auto& c : cases) EXPECT_EQ(IsTagMask(c.tag), c.mask) << c.tag;
}

// The help the sample node sends for %HELP and the man page list the words of
// the robot's table: each word they give is one the robot carries out, and
// each row of the table is given ("+ECHO" for the row "+").
TEST(Robot, HelpAndManPageListTheCommandTable) {
    std::string helpFile;
    std::istringstream control(ReadFileBytes(SourceDir() + "examples/node/BRENMOOR.CTL"));
    for (std::string line; std::getline(control, line);) {
        std::istringstream words(line);
        std::string keyword, value;
        words >> keyword >> value;
        if (UpperCase(keyword) == "HELPFILE") helpFile = value;
    }
    ASSERT_FALSE(helpFile.empty());
    // A command line of the help: indented, the word first.
    std::vector<std::string> helpWords;
    std::istringstream help(ReadFileBytes(SourceDir() + "examples/node/" + helpFile));
    for (std::string line; std::getline(help, line);) {
        std::istringstream words(line);
        std::string word;
        if (line.starts_with("  ") && words >> word && std::string("+-%").find(word[0]) != std::string::npos)
            helpWords.push_back(word);
    }
    // The paragraph of the scan command; "\-" is a minus there.
    const std::string man = ReadFileBytes(SourceDir() + "doc/brenmoor.1");
    const std::size_t scan = man.find(".B scan\n");
    ASSERT_NE(scan, std::string::npos);
    const std::string paragraph = man.substr(scan, man.find(".TP", scan) - scan);
    std::vector<std::string> manWords;
    const std::regex command(R"((\\-|[+%])[A-Z*][A-Z*.]*)");
    for (auto it = std::sregex_iterator(paragraph.begin(), paragraph.end(), command); it != std::sregex_iterator(); ++it) {
        std::string word = it->str()[0] == '\\' ? "-" + it->str().substr(2) : it->str();
        while (word.ends_with('.')) word.pop_back();  // the full stop of the sentence
        manWords.push_back(word);
    }

    for (const auto& [source, words] : {std::pair{"help", helpWords}, std::pair{"man page", manWords}}) {
        std::set<std::string_view> rows;
        for (const std::string& word : words) {
            EXPECT_FALSE(RobotCommandOf(word).empty()) << source << " gives " << word << ", which the robot lacks";
            rows.insert(RobotCommandOf(word));
        }
        for (std::string_view row : RobotCommandWords())
            EXPECT_TRUE(rows.count(row)) << source << " lacks " << row;
    }
}

}  // namespace
