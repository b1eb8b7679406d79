#include "config/mainconfig.h"

#include <algorithm>
#include <new>

#include "config/ctlline.h"
#include "config/ctltable.h"
#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/exit.h"
#include "frame/platform.h"

namespace {

// "GROUP1".."GROUP7": the commander's colour classes.
template <std::size_t N>
void StoreFileGroup(MainConfig& config, const ParsedValue& value) {
    config.fileGroups[N] = value.text;
}

void StoreAddress(MainConfig& config, const ParsedValue& value) {
    if (config.addresses.empty()) {
        config.mainAddress = FormatAddress(value.address);
        CutText(config.mainAddress, 25);
    }
    config.addresses.push_back(value.address);
}

void StoreQuoted(std::string& field, const ParsedValue& value, std::size_t limit) {
    std::string text = value.text;
    RemoveQuotes(text, '\'');
    CutText(text, limit);
    field = text;
}

void StoreLongDescChars(MainConfig& config, const ParsedValue& value) {
    StoreQuoted(config.longDescChars, value, 20);
}

void StoreSeparator(MainConfig& config, const ParsedValue& value) {
    std::string text;
    StoreQuoted(text, value, MaxText);
    if (!text.empty()) config.separator = text[0];
}

// A BASEDIR that is not there leaves the commander in "/".
void StoreBaseDir(MainConfig& config, const ParsedValue& value) {
    if (!value.text.empty() && DirectoryExists(value.text)) config.baseDir = value.text;
}

// A word `check` does not know keeps the safe default.
void StoreDurability(MainConfig& config, const ParsedValue& value) {
    config.durability = value.number == 1 ? Durability::None : Durability::Full;
}

constexpr long long MaxLong = 2147483647;

const KeywordRow<MainConfig> MainKeywords[] = {
    {"ADDRESS", AddressRule, StoreAddress},
    {"ALIAS", UpperRule(), Store<&MainConfig::aliases>},
    {"NETMAILIN", DirectoryRule, Store<&MainConfig::netmailIn>},
    {"NETMAILOUT", DirectoryRule, Store<&MainConfig::netmailOut>},
    {"INBOUND", DirectoryRule, Store<&MainConfig::inbound>},
    {"OUTBOUND", DirectoryRule, Store<&MainConfig::outbound>},
    {"PASSTROUGH", DirectoryRule, Store<&MainConfig::passThrough>},
    {"BINKSTYLEOUTBOUND", DirectoryRule, Store<&MainConfig::binkStyleOutbound>},
    {"FILEBOXES", DirectoryRule, Store<&MainConfig::fileBoxes>},
    {"BADTICDIR", DirectoryRule, Store<&MainConfig::badTicDir>},
    {"SEMAPHORES", DirectoryRule, Store<&MainConfig::semaphores>},
    {"STATEDIR", DirectoryRule, Store<&MainConfig::stateDir>},
    {"TEMPDIR", DirectoryRule, Store<&MainConfig::tempDir>},
    {"DUPEDIR", DirectoryRule, Store<&MainConfig::dupeDir>},
    {"ANNOUNCEDIR", DirectoryRule, Store<&MainConfig::announceDir>},
    {"DUPEFILE", FileInRule, Store<&MainConfig::dupeFile>},
    {"LOGNAME", FileInRule, Store<&MainConfig::logName>},
    {"ANNOUNCEFILE", FileInRule, Store<&MainConfig::announceFile>},
    {"ANNOUNCETPL", ExistingFileRule, Store<&MainConfig::announceTpl>},
    {"ANNOUNCENEWAREATPL", ExistingFileRule, Store<&MainConfig::announceNewAreaTpl>},
    {"HELPFILE", ExistingFileRule, Store<&MainConfig::helpFile>},
    {"CANTPLUSALL", ExistingFileRule, Store<&MainConfig::cantPlusAll>},
    {"BADPWD", ExistingFileRule, Store<&MainConfig::badPwd>},
    {"UNKNOWN", ExistingFileRule, Store<&MainConfig::unknown>},
    {"LIST", ExistingFileRule, Store<&MainConfig::list>},
    {"QUERYTPL", ExistingFileRule, Store<&MainConfig::queryTpl>},
    {"FORWARDTPL", ExistingFileRule, Store<&MainConfig::forwardTpl>},
    {"NOTIFYROTPL", ExistingFileRule, Store<&MainConfig::notifyRoTpl>},
    {"ANSWER", ExistingFileRule, Store<&MainConfig::answer>},
    {"PAUSE", ExistingFileRule, Store<&MainConfig::pause>},
    {"RESUME", ExistingFileRule, Store<&MainConfig::resume>},
    {"DLCSTRING", TextRule(), Store<&MainConfig::dlcString>},
    {"DESCFILE", TextRule(12), Store<&MainConfig::descFile>},
    {"DEFAULTDESC", TextRule(80), Store<&MainConfig::defaultDesc>},
    {"REMOTEPROGRAM", TextRule(12), Store<&MainConfig::remoteProgram>},
    {"ORIGIN", TextRule(), Store<&MainConfig::origin>},
    {"MESSAGEATTRDIR", TextRule(), Store<&MainConfig::messageAttrDir>},
    {"MESSAGEATTRHLD", TextRule(), Store<&MainConfig::messageAttrHld>},
    {"DESCMODE", UpperRule(12), Store<&MainConfig::descMode>},
    {"EXECUTEMODE", UpperRule(12), Store<&MainConfig::executeMode>},
    {"MODE", ChoiceRule(OutboundModeWords), Store<&MainConfig::mode>},
    {"DURABILITY", ChoiceRule(DurabilityWords), StoreDurability},
    {"INTERFACE", UpperRule(8), Store<&MainConfig::interface>},
    {"SORTBY", UpperRule(6), Store<&MainConfig::sortBy>},
    {"GROUP1", TextRule(), StoreFileGroup<0>},
    {"GROUP2", TextRule(), StoreFileGroup<1>},
    {"GROUP3", TextRule(), StoreFileGroup<2>},
    {"GROUP4", TextRule(), StoreFileGroup<3>},
    {"GROUP5", TextRule(), StoreFileGroup<4>},
    {"GROUP6", TextRule(), StoreFileGroup<5>},
    {"GROUP7", TextRule(), StoreFileGroup<6>},
    {"AUTOADDINGPLUS", YesNoRule, Store<&MainConfig::autoAddingPlus>},
    {"DELBADTIC", YesNoRule, Store<&MainConfig::delBadTic>},
    {"WAITFILE", YesNoRule, Store<&MainConfig::waitFile>},
    {"REPLACES", YesNoRule, Store<&MainConfig::replaces>},
    {"CALCULATIONCRC", YesNoRule, Store<&MainConfig::calculationCrc>},
    {"LFN", YesNoRule, Store<&MainConfig::lfn>},
    {"LFNCHANGEPOINT", YesNoRule, Store<&MainConfig::lfnChangePoint>},
    {"USEEXT", YesNoRule, Store<&MainConfig::useExt>},
    {"USEGROUPCOMMENT", YesNoRule, Store<&MainConfig::useGroupComment>},
    {"USETOBESENTFILE", YesNoRule, Store<&MainConfig::useToBeSentFile>},
    {"ANNOUNCEPASSTROUGH", YesNoRule, Store<&MainConfig::announcePassThrough>},
    {"MSGMAXLINES", NumberRule(0, 65535), Store<&MainConfig::msgMaxLines>},
    {"MAXDUPEREC", NumberRule(0, MaxLong), Store<&MainConfig::maxDupeRec>},
    {"BSYWAIT", NumberRule(0, MaxLong), Store<&MainConfig::bsyWait>},
    {"BSYSTALE", NumberRule(0, MaxLong), Store<&MainConfig::bsyStale>},
    {"DESCPOS", NumberRule(0, 255), Store<&MainConfig::descPos>},
    {"DLCPOS", NumberRule(0, 255), Store<&MainConfig::dlcPos>},
    {"LONGDESCCHARS", TextRule(), StoreLongDescChars},
    {"SEPARATOR", TextRule(), StoreSeparator},
    {"BASEDIR", DirectoryRule, StoreBaseDir},
};

[[noreturn]] void CannotCreateDirectory(const std::string& dir) {
    FailProgram(2, MessageText(Msg::ERROR) + ": " + SubstituteMacros(MessageText(Msg::CANTCREATEDIR), "%d", dir));
}

[[noreturn]] void TemplateNotFound(const std::string& file) {
    FailProgram(240, MessageText(Msg::ERROR) + ": " + SubstituteMacros(MessageText(Msg::FILENOTFOUND), "%f", file));
}

// What a run needs of a path before it starts: directories made, templates
// there. An empty value leaves the setting unconfigured.
void PreparePath(ValueKind kind, const std::string& value) {
    if (value.empty()) return;
    switch (kind) {
        case ValueKind::Directory:
            if (!ForceDirectories(value)) CannotCreateDirectory(value);
            break;
        case ValueKind::FileIn: {
            std::string dir = ExtractDir(value);
            if (!dir.empty() && !ForceDirectories(dir)) CannotCreateDirectory(dir);
            break;
        }
        case ValueKind::ExistingFile:
            if (!FileExists(value)) TemplateNotFound(value);
            break;
        default:
            break;
    }
}

void CompleteConfig(MainConfig& config, const std::string& baseDir) {
    if (config.stateDir.empty()) config.stateDir = baseDir;
    if (config.remoteProgram.empty()) config.remoteProgram = "Brenmoor";
    for (std::string& group : config.fileGroups) {
        if (group.empty()) continue;
        if (group.back() != ',') group += ',';
        if (group.front() != ',') group.insert(0, 1, ',');
        CutText(group);
    }
    if (config.dupeDir.empty()) config.dupeDir = config.badTicDir;
    if (config.messageAttrDir.empty()) config.messageAttrDir = "DIR PVT LOC K/S";
    if (config.messageAttrHld.empty()) config.messageAttrHld = "HLD PVT LOC K/S";
    for (std::string& group : config.fileGroups) UpperCaseInPlace(group);
    if (config.defaultDesc.empty()) config.defaultDesc = "Description not available";
    if (config.dlcPos == 0) config.dlcPos = 14;
    AddTrailingSlash(config.baseDir);
}

// Reads the file through the table; with problems, reports instead of
// preparing paths (nothing is made on disk).
// 0, or why the file could not be read.
int ReadMainConfig(const std::string& path, MainConfig& config, std::vector<ConfigProblem>* problems) {
    config = MainConfig{};
    std::vector<ControlEntry> entries;
    if (!ReadControlEntries(path, entries)) {
        if (problems) problems->push_back({ExtractFileName(path), 0, MessageText(Msg::CHECKCANTREAD)});
        return ControlReadFailure();
    }
    // Relative paths belong to the node, not to whatever directory the
    // program was started from (cron, mailer events).
    const std::string baseDir = ExtractDir(ResolvePath(path));
    const std::string file = ExtractFileName(path);
    for (const ControlEntry& entry : entries) {
        // The sample's two-character lines were never keywords.
        if (entry.keyword.size() + (entry.value.empty() ? 0 : entry.value.size() + 1) <= 2) continue;
        ParsedValue value;
        const KeywordRow<MainConfig>* row =
            ApplyEntry<MainConfig>(MainKeywords, entry, config, baseDir, file, problems, &value);
        if (row == nullptr || row->keyword == "BASEDIR") continue;  // a missing BASEDIR leaves "/"
        if (problems) {
            const std::string problem = PathProblem(row->rule.kind, value.text);
            if (!problem.empty()) problems->push_back(LineProblem(file, entry, problem));
            // A service with PrivateTmp= gets a /tmp of its own for each run:
            // the journals a killed run leaves there are gone for the next.
            if (row->keyword == "TEMPDIR" && (value.text.starts_with("/tmp/") || value.text.starts_with("/var/tmp/")) &&
                value.written.starts_with(PathSeparator))
                problems->push_back(LineProblem(file, entry, Fill(MessageText(Msg::CHECKTEMPINTMP), "%d", value.text)));
        } else if (!value.text.empty()) {
            config.paths.emplace_back(row->rule.kind, value.text);
        }
    }
    CompleteConfig(config, baseDir);
    config.flowRetryFile = config.stateDir + std::string(FlowRetryFileName);
    return 0;
}

}  // namespace

bool IsAddressText(std::string_view text) {
    text = text.substr(0, text.find('@'));
    std::size_t colon = text.find(':'), slash = text.find('/');
    if (colon == std::string_view::npos || slash == std::string_view::npos || slash < colon) return false;
    std::size_t dot = text.find('.', slash);
    auto number = [](std::string_view digits) {
        return !digits.empty() && digits.size() <= 5 &&
               digits.find_first_not_of("0123456789") == std::string_view::npos && ParseNumber(digits) <= 65535;
    };
    return number(text.substr(0, colon)) && number(text.substr(colon + 1, slash - colon - 1)) &&
           number(text.substr(slash + 1, dot == std::string_view::npos ? std::string_view::npos : dot - slash - 1)) &&
           (dot == std::string_view::npos || number(text.substr(dot + 1)));
}

std::string ResolveConfigPath(const std::string& baseDir, const std::string& value) {
    if (value.empty() || value.front() == PathSeparator) return value;
    return baseDir + value;
}

int LoadMainConfig(const std::string& path, MainConfig& config) {
    try {
        return ReadMainConfig(path, config, nullptr);
    } catch (const std::bad_alloc&) {
        FailProgram(10, MessageText(Msg::NOTENOUGHMEMORY));
    }
}

void PrepareMainPaths(const MainConfig& config) {
    for (const auto& [kind, path] : config.paths) PreparePath(kind, path);
}

std::vector<ConfigProblem> CheckMainConfig(const std::string& path, MainConfig& config) {
    std::vector<ConfigProblem> problems;
    ReadMainConfig(path, config, &problems);
    const std::string file = ExtractFileName(path);
    if (config.inbound.empty()) problems.push_back({file, 0, MessageText(Msg::CHECKNOINBOUND)});
    return problems;
}
