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

// Parts being written: the current one is the last.
struct PartWriter {
    ReportParts parts;
    std::size_t counter = 0;

    explicit PartWriter(const ReportTemplate& report) {
        parts.emplace_back(report.lines.begin(),
                           report.lines.begin() + static_cast<std::ptrdiff_t>(std::min(report.areaLine, report.lines.size())));
    }
    void NextPart() {
        parts.push_back({MessageText(Msg::CONTINUE), ""});
        counter = 1;
    }
    // The lines after the area line; a second area line gives nothing.
    ReportParts Finish(const ReportTemplate& report) {
        for (std::size_t i = report.areaLine + 1; i < report.lines.size(); ++i)
            if (UpperCase(report.lines[i]).find("@F") == std::string::npos) parts.back().push_back(report.lines[i]);
        return std::move(parts);
    }
};

}  // namespace

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
    PartWriter writer(report);
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
        ++writer.counter;
        // A list of no limit is one part.
        if (maxLines != 0 && writer.counter > maxLines && i + 1 < tags.size()) writer.NextPart();
        writer.parts.back().push_back(FillAreaLine(report, tag, area.Group + " ", area.Desc));
    }
    return writer.Finish(report);
}

ReportParts BuildAvailReport(const LinkRecord& link, const std::vector<ForwardRecord>& forwards,
                             UplinkLists& uplinkLists, const ReportTemplate& report, std::uint16_t maxLines) {
    if (report.areaLine == std::string::npos) return {report.lines};
    PartWriter writer(report);
    for (const ForwardRecord& forward : forwards) {
        if (forward.Security > link.Security || !SharesGroup(link.Group, forward.Groups) || forward.ListFile.empty())
            continue;
        const UplinkList& list = UplinkListOf(uplinkLists, forward.ListFile);
        if (!list.readable) continue;
        const std::string group = " " + std::string(forward.DefaultGroup != 0 ? 1 : 0, forward.DefaultGroup);
        for (const UplinkListLine& line : list.lines) {
            // A part is opened for a line that does not fit, so every part
            // holds MSGMAXLINES lines and none is left empty at the end.
            if (maxLines != 0 && writer.counter == maxLines) writer.NextPart();
            else ++writer.counter;
            writer.parts.back().push_back(FillAreaLine(report, line.tag, group, line.description));
        }
    }
    return writer.Finish(report);
}

std::vector<std::string> BuildAnswer(const std::vector<std::string>& answerTemplate,
                                     const std::vector<std::string>& results) {
    std::vector<std::string> body;
    for (const std::string& line : answerTemplate) {
        std::string word = line;
        StripComment(word);
        Trim(word);
        if (UpperCase(word) == "@STATECHOLIST")
            body.insert(body.end(), results.begin(), results.end());
        else
            body.push_back(line);
    }
    return body;
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
