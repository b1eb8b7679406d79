#include "config/bbssoft.h"

#include "config/ctlline.h"
#include "config/mainconfig.h"
#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/exit.h"
#include "frame/platform.h"
#include "frame/utils.h"

namespace {

constexpr std::size_t MaxBbsText = 128;

// The value as written is cut to its field; a relative path then belongs to
// the program directory like every other path of the control files.
std::string PathValue(std::string value, const std::string& baseDir) {
    CutText(value, MaxBbsText);
    return ResolveConfigPath(baseDir, value);
}

}  // namespace

void ReadBbsSoft(const std::string& path, BbsSoftSettings& settings) {
    settings = BbsSoftSettings{};
    std::vector<std::string> lines;
    if (!ReadTextLines(path, lines)) {
        WriteLine(MessageText(Msg::ERROR));
        ExitProgram(2);
    }
    const std::string baseDir = ExtractDir(ResolvePath(path));
    for (const std::string& line : lines) {
        if (line.size() < 3) continue;
        std::string keyword, value;
        SplitKeywordValue(CleanControlLine(line), keyword, value);
        if (keyword == "MAXIMUS_AREA" || keyword == "TORNADO_AREA") {
            settings.Kind = keyword == "MAXIMUS_AREA" ? 1 : 2;
            settings.AreaFile = PathValue(value, baseDir);
        } else if (keyword == "MAXIMUS_ACS") {
            CutText(value, MaxBbsText);
            settings.Acs = value;
        } else if (keyword == "UPLOAD") {
            settings.Upload = PathValue(value, baseDir);
        } else if (keyword == "TORNADO_SCAN_NEWFILES") {
            settings.ScanNewFiles = ParseYesNo(value);
        } else if (keyword == "TORNADO_DL_SECURITY") {
            settings.DlSecurity = ParseWordValue(value);
        } else if (keyword == "TORNADO_UL_SECURITY") {
            settings.UlSecurity = ParseWordValue(value);
        } else if (keyword == "TORNADO_LIST_SECURITY") {
            settings.ListSecurity = ParseWordValue(value);
        } else if (keyword == "TORNADO_SHOW_SECURITY") {
            settings.ShowSecurity = ParseWordValue(value);
        } else if (keyword == "GROUP") {
            settings.Group = value;
        }
    }
}
