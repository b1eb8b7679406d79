#include "config/bbssoft.h"

#include "config/ctlline.h"
#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/exit.h"
#include "frame/platform.h"
#include "frame/utils.h"

namespace {

constexpr std::size_t MaxBbsText = 128;

// The later of the two area lines wins. The toss appends to the area file
// and makes its directory when it has to.
template <std::uint8_t Kind>
void StoreAreaFile(BbsSoftSettings& settings, const ParsedValue& value) {
    settings.Kind = Kind;
    settings.AreaFile = value.text;
}

constexpr ValueRule SecurityRule = NumberRule(0, 65535);

// Paths are cut to their field as written; a relative one then belongs to
// the program directory like every other path of the control files.
const KeywordRow<BbsSoftSettings> BbsSoftKeywords[] = {
    {"MAXIMUS_AREA", PathRule(ValueKind::FileIn, MaxBbsText), StoreAreaFile<1>},
    {"TORNADO_AREA", PathRule(ValueKind::FileIn, MaxBbsText), StoreAreaFile<2>},
    {"MAXIMUS_ACS", TextRule(MaxBbsText), Store<&BbsSoftSettings::Acs>},
    {"UPLOAD", PathRule(ValueKind::Path, MaxBbsText), Store<&BbsSoftSettings::Upload>},
    {"TORNADO_SCAN_NEWFILES", YesNoRule, Store<&BbsSoftSettings::ScanNewFiles>},
    {"TORNADO_DL_SECURITY", SecurityRule, Store<&BbsSoftSettings::DlSecurity>},
    {"TORNADO_UL_SECURITY", SecurityRule, Store<&BbsSoftSettings::UlSecurity>},
    {"TORNADO_LIST_SECURITY", SecurityRule, Store<&BbsSoftSettings::ListSecurity>},
    {"TORNADO_SHOW_SECURITY", SecurityRule, Store<&BbsSoftSettings::ShowSecurity>},
    {"GROUP", TextRule(), Store<&BbsSoftSettings::Group>},
};

}  // namespace

int ReadBbsSoft(const std::string& path, BbsSoftSettings& settings) {
    settings = BbsSoftSettings{};
    std::vector<ControlEntry> entries;
    if (!ReadControlEntries(path, entries)) return ControlReadFailure();
    ApplyEntries<BbsSoftSettings>(BbsSoftKeywords, entries, settings, ExtractDir(ResolvePath(path)),
                                  ExtractFileName(path), nullptr);
    return 0;
}

std::vector<ConfigProblem> CheckBbsSoft(const std::string& path) {
    const std::string file = ExtractFileName(path);
    std::vector<ConfigProblem> problems;
    std::vector<ControlEntry> entries;
    if (!ReadEntriesToCheck(path, 2, entries, problems)) return problems;
    BbsSoftSettings settings;
    ApplyEntries<BbsSoftSettings>(BbsSoftKeywords, entries, settings, ExtractDir(ResolvePath(path)), file, &problems);
    return problems;
}
