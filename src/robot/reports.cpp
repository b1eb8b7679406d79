#include "robot/reports.h"

#include <algorithm>

#include "frame/catalogue.h"
#include "frame/utils.h"

namespace {

constexpr std::size_t ResultTagWidth = 54;

// The column of a marker in the upper-cased line, with the asterisks after
// it when stars is set.
ReportColumn FindColumn(const std::string& upper, std::string_view marker, bool stars) {
    ReportColumn column;
    std::size_t at = upper.find(marker);
    if (at == std::string::npos) return column;
    std::size_t end = at + marker.size();
    if (stars)
        while (end < upper.size() && upper[end] == '*') ++end;
    column.at = at;
    column.width = end - at;
    return column;
}

void Overwrite(std::string& line, const ReportColumn& column, std::string_view text) {
    if (column.at == std::string::npos) return;
    std::string cell(text.substr(0, column.width));
    cell.resize(column.width, ' ');
    line.replace(column.at, column.width, cell);
}

// A report's parts: the template up to its area line, then its area lines.
PartWriter ReportWriter(const ReportTemplate& report, std::uint16_t maxLines) {
    return PartWriter({report.lines.begin(),
                       report.lines.begin() + static_cast<std::ptrdiff_t>(std::min(report.areaLine, report.lines.size()))},
                      maxLines, ContinuedLines());
}

// The lines after the area line; a second area line gives nothing.
ReportParts FinishReport(PartWriter& writer, const ReportTemplate& report) {
    for (std::size_t i = report.areaLine + 1; i < report.lines.size(); ++i)
        if (UpperCase(report.lines[i]).find("@F") == std::string::npos) writer.AddTail(report.lines[i]);
    return std::move(writer.parts);
}

}  // namespace

PartWriter::PartWriter(std::vector<std::string> head, std::uint16_t maxLines, std::vector<std::string> continued)
    : parts{std::move(head)}, maxLines(maxLines), continued(std::move(continued)) {}

void PartWriter::Add(std::string line, bool mayOpen) {
    // A part is opened for a line that does not fit, so none is left empty
    // at the end.
    if (maxLines != 0 && counter >= maxLines && mayOpen) {
        parts.push_back(continued);
        counter = 1;
    } else {
        ++counter;
    }
    parts.back().push_back(std::move(line));
}

std::vector<std::string> ContinuedLines() { return {MessageText(Msg::CONTINUE), ""}; }

ReportTemplate ParseReportTemplate(std::vector<std::string> lines) {
    ReportTemplate report;
    report.lines = std::move(lines);
    for (std::size_t i = 0; i < report.lines.size(); ++i) {
        const std::string upper = UpperCase(report.lines[i]);
        if (upper.find("@F") == std::string::npos) continue;
        report.areaLine = i;
        report.tag = FindColumn(upper, "@F", true);
        report.group = FindColumn(upper, "@G", false);
        report.desc = FindColumn(upper, "@D", true);
        break;
    }
    return report;
}

std::string FillAreaLine(const ReportTemplate& report, std::string_view tag, std::string_view group,
                         std::string_view desc) {
    std::string line = report.lines[report.areaLine];
    Overwrite(line, report.tag, tag);
    Overwrite(line, report.group, group);
    Overwrite(line, report.desc, desc);
    return line;
}

char AreaMark(bool subscribed, std::uint16_t linkSecurity, std::uint16_t securityRead, std::uint16_t securityWrite) {
    const bool read = securityRead <= linkSecurity;
    const bool write = securityWrite <= linkSecurity;
    if (!read) return write ? '*' : '-';
    if (!subscribed) return ' ';
    return write ? '&' : '+';
}

ReportParts BuildAreaReport(const AreaList& areas, const ReportTemplate& report, std::uint16_t maxLines,
                            const LinkRecord& link, AreaReportKind kind) {
    if (report.areaLine == std::string::npos) return {report.lines};
    PartWriter writer = ReportWriter(report, maxLines);
    const std::vector<std::string> tags = AreaTags(areas);
    for (std::size_t i = 0; i < tags.size(); ++i) {
        const AreaRecord area = FindArea(areas, tags[i]);
        if (link.Security < area.SecurityShow || area.Group.empty() ||
            link.Group.find(area.Group) == std::string::npos)
            continue;
        const bool subscribed = AreaHasLink(area, link.Address);
        if (kind == AreaReportKind::Linked && !subscribed) continue;
        if (kind == AreaReportKind::Unlinked && (subscribed || link.Security < area.SecurityRead)) continue;
        std::string tag = area.Name;
        if (kind != AreaReportKind::Linked)
            tag.insert(tag.begin(), AreaMark(subscribed, link.Security, area.SecurityRead, area.SecurityWrite));
        // The last area of the list never opens a part.
        writer.Add(FillAreaLine(report, tag, area.Group + " ", area.Desc), i + 1 < tags.size());
    }
    return FinishReport(writer, report);
}

ReportParts BuildAvailReport(const LinkRecord& link, const std::vector<ForwardRecord>& forwards,
                             UplinkLists& uplinkLists, const ReportTemplate& report, std::uint16_t maxLines) {
    if (report.areaLine == std::string::npos) return {report.lines};
    PartWriter writer = ReportWriter(report, maxLines);
    for (const ForwardRecord& forward : forwards) {
        if (forward.Security > link.Security || !SharesGroup(link.Group, forward.Groups) || forward.ListFile.empty())
            continue;
        const UplinkList& list = UplinkListOf(uplinkLists, forward.ListFile);
        if (!list.readable) continue;
        const std::string group = " " + std::string(forward.DefaultGroup != 0 ? 1 : 0, forward.DefaultGroup);
        for (const UplinkListLine& line : list.lines) writer.Add(FillAreaLine(report, line.tag, group, line.description));
    }
    return FinishReport(writer, report);
}

ReportParts BuildAnswer(const std::vector<std::string>& answerTemplate, const std::vector<std::string>& results,
                        std::uint16_t maxLines) {
    auto isListLine = [](std::string word) {
        StripComment(word);
        Trim(word);
        return UpperCase(word) == "@STATECHOLIST";
    };
    const auto at = std::find_if(answerTemplate.begin(), answerTemplate.end(), isListLine);
    if (at == answerTemplate.end()) return {answerTemplate};
    PartWriter writer({answerTemplate.begin(), at}, maxLines, ContinuedLines());
    for (const std::string& result : results) writer.Add(result);
    // A second list line gives nothing, as a report's second area line.
    for (auto line = at + 1; line != answerTemplate.end(); ++line)
        if (!isListLine(*line)) writer.AddTail(*line);
    return std::move(writer.parts);
}

std::string ResultLine(std::string_view tag, std::string_view text) {
    // A tag too long for the line gives way, so that the status is read whole.
    std::string line(tag.substr(0, MaxText - std::min(MaxText, text.size() + 2)));
    if (line.size() < ResultTagWidth) line.resize(ResultTagWidth, '.');
    line += "  ";
    line += text;
    CutText(line);
    return line;
}
