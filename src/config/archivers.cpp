#include "config/archivers.h"

#include "config/ctlline.h"
#include "frame/platform.h"
#include "frame/utils.h"

namespace {

// "offset,bytes": a hexadecimal offset, then hexadecimal digit pairs.
std::string SignatureProblem(std::string_view value) {
    const std::string shown = "\"" + std::string(value) + "\"";
    const std::size_t comma = value.find(',');
    if (comma == std::string_view::npos) return CheckText(Msg::CHECKNOTOFFSETBYTES, {{"%v", shown}});
    std::string offset(value.substr(0, comma)), bytes(value.substr(comma + 1));
    Trim(offset);
    Trim(bytes);
    std::uint32_t number = 0;
    if (!ParseHexValue(offset, number)) return CheckText(Msg::CHECKOFFSETNOTHEX, {{"%v", shown}});
    bool hex = !bytes.empty() && bytes.size() % 2 == 0;
    for (char c : bytes) hex = hex && HexDigitValue(c) >= 0;
    return hex ? std::string() : CheckText(Msg::CHECKBYTESNOTHEX, {{"%v", shown}});
}

void StoreSignature(ArchiverRecord& archiver, const ParsedValue& value) {
    const std::size_t comma = value.written.find(',');
    if (comma == std::string::npos) return;
    std::string offset = value.written.substr(0, comma);
    std::string signature = value.written.substr(comma + 1);
    Trim(offset);
    Trim(signature);
    std::uint32_t number = 0;
    archiver.Offset = ParseHexValue(offset, number) ? static_cast<std::int32_t>(number) : 0;
    archiver.Signature = UpperCase(signature);
}

// Without the archive nothing is extracted; without the target directory
// file_id.diz lands where the run was started, and is never found.
std::string ExtractMacrosProblem(std::string_view value) {
    const bool archive = FindNoCase(value, "%A") != std::string_view::npos;
    const bool target = FindNoCase(value, "%T") != std::string_view::npos;
    const std::string shown = "\"" + std::string(value) + "\"";
    if (!archive && !target) return CheckText(Msg::CHECKLACKSMACROS, {{"%v", shown}});
    if (!archive || !target) return CheckText(Msg::CHECKLACKSMACRO, {{"%v", shown}, {"%m", archive ? "%T" : "%A"}});
    return {};
}

// Command lines name programs and paths: their case stays.
const KeywordRow<ArchiverRecord> ArchiverKeywords[] = {
    {"ARCHIVER", UpperRule(), Store<&ArchiverRecord::Name>},
    {"SIGNATURE", CheckedRule(TextRule(), SignatureProblem), StoreSignature},
    {"EXTRACTFILE", CheckedRule({ValueKind::Command}, ExtractMacrosProblem), Store<&ArchiverRecord::ExtractFile>},
    {"ADDFILE", TextRule(), Store<&ArchiverRecord::AddFile>},
};

void ApplyArchiverEntries(const std::vector<ControlEntry>& entries, const std::string& path,
                          std::vector<ArchiverRecord>& archivers, std::vector<ConfigProblem>* problems,
                          std::vector<std::size_t>* starts = nullptr) {
    ApplyRecordEntries<ArchiverRecord>(ArchiverKeywords, entries, archivers, ArchiverRecord{},
                                       ExtractDir(ResolvePath(path)), ExtractFileName(path), problems, starts);
}

}  // namespace

int ReadArchivers(const std::string& path, std::vector<ArchiverRecord>& archivers) {
    archivers.clear();
    std::vector<ControlEntry> entries;
    if (!ReadControlEntries(path, entries)) return ControlReadFailure();
    ApplyArchiverEntries(entries, path, archivers, nullptr);
    return 0;
}

std::vector<ConfigProblem> CheckArchivers(const std::string& path) {
    const std::string file = ExtractFileName(path);
    std::vector<ConfigProblem> problems;
    std::vector<ControlEntry> entries;
    if (!ReadEntriesToCheck(path, 4, entries, problems)) return problems;
    std::vector<ArchiverRecord> archivers;
    std::vector<std::size_t> starts;
    ApplyArchiverEntries(entries, path, archivers, &problems, &starts);
    if (archivers.empty()) problems.push_back({file, 0, CheckText(Msg::CHECKNOARCHIVERS, {{"%n", "4"}})});
    for (std::size_t i = 0; i < archivers.size(); ++i) {
        const ArchiverRecord& archiver = archivers[i];
        if (archiver.Signature.empty())
            problems.push_back({file, starts[i], "ARCHIVER: " + CheckText(Msg::CHECKNOSIGNATURE, {{"%r", archiver.Name}})});
        if (archiver.ExtractFile.empty())
            problems.push_back({file, starts[i], "ARCHIVER: " + CheckText(Msg::CHECKNOEXTRACTFILE, {{"%r", archiver.Name}})});
    }
    SortProblems(problems);
    return problems;
}
