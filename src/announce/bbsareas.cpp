#include "announce/bbsareas.h"

#include <limits>
#include <vector>

#include "frame/exit.h"
#include "frame/platform.h"
#include "frame/utils.h"

namespace {

// A line of the BBS's area file as the search sees it. TABs count as blanks:
// area files are often laid out with them.
void SplitAreaLine(std::string line, std::string& keyword, std::string& value) {
    TabsToSpaces(line);
    std::string clean = UpperCase(CleanControlLine(line));
    StripCommentAndPercent(clean);
    SplitKeywordValue(clean, keyword, value);
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

// The line end of the definitions: the one the file already uses, so that a
// file kept with Linux line ends does not get mixed ones.
std::string LineEndOf(const std::string& content) {
    std::size_t lf = content.find('\n');
    if (lf != std::string::npos && (lf == 0 || content[lf - 1] != '\r')) return "\n";
    return "\r\n";
}

void AppendDefinition(const std::string& areaFile, const std::vector<std::string>& lines) {
    std::string existing;
    ReadWholeFile(areaFile, existing);
    const std::string lineEnd = LineEndOf(existing);
    std::string text;
    for (const std::string& line : lines) text += line + lineEnd;
    int error = AppendToFile(areaFile, text);
    if (error != 0) {
        ForceDirectories(ExtractDir(areaFile));
        error = AppendToFile(areaFile, text);
    }
    if (error != 0) RuntimeError(error);
}

}  // namespace

bool BbsAreaPresent(const std::string& areaFile, std::string_view tag, std::string_view keyword, bool unquote) {
    std::string wanted(tag);
    Trim(wanted);
    UpperCaseRussian(wanted);
    std::vector<std::string> lines;
    if (!ReadTextLines(areaFile, lines)) return false;
    for (const std::string& line : lines) {
        std::string lineKeyword, value;
        SplitAreaLine(line, lineKeyword, value);
        if (lineKeyword != keyword) continue;
        TrimLeft(value);
        UpperCaseRussian(value);
        if (unquote) {
            if (!value.empty() && IsQuote(value.front())) value.erase(0, 1);
            if (!value.empty() && IsQuote(value.back())) value.pop_back();
        }
        if (value == wanted) return true;
    }
    return false;
}

long long NextMaximusAreaNumber(const std::string& areaFile) {
    std::vector<std::string> lines;
    if (!ReadTextLines(areaFile, lines)) return 1;
    long long largest = 0;
    for (const std::string& line : lines) {
        std::string keyword, value;
        SplitAreaLine(line, keyword, value);
        if (keyword != "FILEAREA") continue;
        TrimRight(value);
        long long number = ParseNumber(value);
        if (number > largest) largest = number;
    }
    return largest < std::numeric_limits<long long>::max() ? largest + 1 : largest;
}

bool AddMaximusArea(const std::string& areaFile, std::string_view acs, std::string_view tag,
                    std::string_view downloadDir, std::string_view uploadDir) {
    if (areaFile.empty()) return false;
    if (BbsAreaPresent(areaFile, tag, "DESC", false)) return false;
    AppendDefinition(areaFile, {
                                   "",
                                   "% Added by Brenmoor",
                                   "FileArea " + NumberText(NextMaximusAreaNumber(areaFile)),
                                   "        ACS            " + std::string(acs),
                                   "        Desc           " + std::string(tag),
                                   "        DownLoad       " + std::string(downloadDir),
                                   "        UpLoad         " + std::string(uploadDir),
                                   "End FileArea",
                               });
    return true;
}

bool AddTornadoArea(const std::string& areaFile, std::string_view tag, std::string_view areaDir,
                    std::string_view uploadDir, std::string_view group, bool scanNewFiles,
                    std::uint16_t dlSecurity, std::uint16_t ulSecurity, std::uint16_t listSecurity,
                    std::uint16_t showSecurity) {
    if (areaFile.empty()) return false;
    if (BbsAreaPresent(areaFile, tag, "NAME", true)) return false;
    std::string listDir(areaDir);
    AddTrailingSlash(listDir);
    AppendDefinition(areaFile, {
                                   "",
                                   "; Added by Brenmoor",
                                   "[FileArea]",
                                   "Name          \"" + std::string(tag) + "\"",
                                   "DLPath        " + std::string(areaDir),
                                   "FileList      " + listDir + "files.bbs",
                                   "ULPath        " + std::string(uploadDir),
                                   "Scan_NewFiles " + YesNoText(scanNewFiles),
                                   "DL_Security   " + NumberText(dlSecurity),
                                   "UL_Security   " + NumberText(ulSecurity),
                                   "List_Security " + NumberText(listSecurity),
                                   "Show_Security " + NumberText(showSecurity),
                                   "Group         " + std::string(group),
                                   ";",
                               });
    return true;
}

bool RegisterBbsArea(const BbsSoftSettings& settings, std::string_view tag, std::string_view areaDir) {
    if (settings.Kind == 0) return false;
    std::string trimmedTag(tag);
    Trim(trimmedTag);
    if (trimmedTag.empty() || areaDir.empty()) return false;
    // The search cuts lines at ";" and "%": such a tag would never be found
    // and would be appended again for every file.
    if (trimmedTag.find_first_of(";%") != std::string::npos) return false;
    const std::string_view uploadDir = settings.Upload.empty() ? areaDir : std::string_view(settings.Upload);
    if (settings.Kind == 1) return AddMaximusArea(settings.AreaFile, settings.Acs, trimmedTag, areaDir, uploadDir);
    if (settings.Kind == 2) {
        return AddTornadoArea(settings.AreaFile, trimmedTag, areaDir, uploadDir, settings.Group, settings.ScanNewFiles,
                              settings.DlSecurity, settings.UlSecurity, settings.ListSecurity,
                              settings.ShowSecurity);
    }
    return false;
}
