#pragma once
// The bodies of the robot's answers: the area lists of %LIST, %QUERY and
// %AVAIL in parts of at most MSGMAXLINES area lines, and the answer that
// embeds the result lines of a request in its template.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/areas.h"
#include "config/links.h"
#include "robot/uplinks.h"

// A column of a report template's area line: where it starts and how wide
// it is ("@F" and N asterisks: N + 2; "@G": 2; "@D" and M asterisks: M + 2).
struct ReportColumn {
    std::size_t at = std::string::npos;  // npos: the line has no such column
    std::size_t width = 0;
};

struct ReportTemplate {
    std::vector<std::string> lines;
    std::size_t areaLine = std::string::npos;  // the first line with "@F"
    ReportColumn tag, group, desc;
};

ReportTemplate ParseReportTemplate(std::vector<std::string> lines);

// The area line with each column overwritten by its text, padded with
// blanks and cut to the column.
std::string FillAreaLine(const ReportTemplate& report, std::string_view tag, std::string_view group,
                         std::string_view desc);

// The mark of the tag column by the link's level and the area's read and
// write levels.
char AreaMark(bool subscribed, std::uint16_t linkSecurity, std::uint16_t securityRead, std::uint16_t securityWrite);

using ReportParts = std::vector<std::vector<std::string>>;

// The one way a body is split: a part holds at most maxLines counted lines
// (0: no limit, one part). The first part begins with the head; a part after
// it with the continued lines (the CONTINUE text and an empty line in what a
// link reads; nothing in a request to another robot, which would take them
// for commands).
struct PartWriter {
    ReportParts parts;
    std::size_t counter = 0;  // counted lines in the current part
    std::uint16_t maxLines = 0;
    std::vector<std::string> continued;

    PartWriter(std::vector<std::string> head, std::uint16_t maxLines, std::vector<std::string> continued);
    // A counted line; mayOpen false keeps it in the current part even when
    // that is full.
    void Add(std::string line, bool mayOpen = true);
    // A line after the counted ones, in the last part.
    void AddTail(std::string line) { parts.back().push_back(std::move(line)); }
};

// The continued lines of what a link reads: the CONTINUE text and an empty line.
std::vector<std::string> ContinuedLines();

// Which areas a report lists: %LIST every area the link may see, marked;
// %QUERY the areas it is linked to; %UNLINKED the areas it may read and is
// not linked to, marked as in %LIST.
enum class AreaReportKind { All, Linked, Unlinked };

// Parts after the first begin with the CONTINUE text and an empty line; the
// last area never opens a part.
ReportParts BuildAreaReport(const AreaList& areas, const ReportTemplate& report, std::uint16_t maxLines,
                            const LinkRecord& link, AreaReportKind kind);

// %AVAIL: the echoes of the uplinks the link may use.
ReportParts BuildAvailReport(const LinkRecord& link, const std::vector<ForwardRecord>& forwards,
                             UplinkLists& uplinkLists, const ReportTemplate& report, std::uint16_t maxLines);

// The ANSWER template with its first "@STATECHOLIST" line replaced by the
// results, in parts of at most maxLines result lines as a report is split.
ReportParts BuildAnswer(const std::vector<std::string>& answerTemplate, const std::vector<std::string>& results,
                        std::uint16_t maxLines);

// A result line: the tag, dots up to column 54, two blanks and the text.
std::string ResultLine(std::string_view tag, std::string_view text);
