#include "config/mainconfig.h"

#include <algorithm>
#include <new>

#include "config/ctlline.h"
#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/exit.h"
#include "frame/platform.h"

namespace {

enum class Handling {
    Dir,        // gets a trailing "/" and is created
    FileDir,    // the directory part is created
    Template,   // the file must exist
    Text,       // stored as written
    Upper,      // stored in upper case
};

struct TextKeyword {
    const char* keyword;
    std::string MainConfig::*field;
    Handling handling;
    std::size_t limit;
};

const TextKeyword TextKeywords[] = {
    {"NETMAILIN", &MainConfig::netmailIn, Handling::Dir, MaxText},
    {"NETMAILOUT", &MainConfig::netmailOut, Handling::Dir, MaxText},
    {"INBOUND", &MainConfig::inbound, Handling::Dir, MaxText},
    {"OUTBOUND", &MainConfig::outbound, Handling::Dir, MaxText},
    {"PASSTROUGH", &MainConfig::passThrough, Handling::Dir, MaxText},
    {"BINKSTYLEOUTBOUND", &MainConfig::binkStyleOutbound, Handling::Dir, MaxText},
    {"FILEBOXES", &MainConfig::fileBoxes, Handling::Dir, MaxText},
    {"BADTICDIR", &MainConfig::badTicDir, Handling::Dir, MaxText},
    {"SEMAPHORES", &MainConfig::semaphores, Handling::Dir, MaxText},
    {"TEMPDIR", &MainConfig::tempDir, Handling::Dir, MaxText},
    {"DUPEDIR", &MainConfig::dupeDir, Handling::Dir, MaxText},
    {"ANNOUNCEDIR", &MainConfig::announceDir, Handling::Dir, MaxText},
    {"DUPEFILE", &MainConfig::dupeFile, Handling::FileDir, MaxText},
    {"LOGNAME", &MainConfig::logName, Handling::FileDir, MaxText},
    {"ANNOUNCEFILE", &MainConfig::announceFile, Handling::FileDir, MaxText},
    {"ANNOUNCETPL", &MainConfig::announceTpl, Handling::Template, MaxText},
    {"ANNOUNCENEWAREATPL", &MainConfig::announceNewAreaTpl, Handling::Template, MaxText},
    {"HELPFILE", &MainConfig::helpFile, Handling::Template, MaxText},
    {"CANTPLUSALL", &MainConfig::cantPlusAll, Handling::Template, MaxText},
    {"BADPWD", &MainConfig::badPwd, Handling::Template, MaxText},
    {"UNKNOWN", &MainConfig::unknown, Handling::Template, MaxText},
    {"LIST", &MainConfig::list, Handling::Template, MaxText},
    {"QUERYTPL", &MainConfig::queryTpl, Handling::Template, MaxText},
    {"FORWARDTPL", &MainConfig::forwardTpl, Handling::Template, MaxText},
    {"NOTIFYROTPL", &MainConfig::notifyRoTpl, Handling::Template, MaxText},
    {"ANSWER", &MainConfig::answer, Handling::Template, MaxText},
    {"PAUSE", &MainConfig::pause, Handling::Template, MaxText},
    {"RESUME", &MainConfig::resume, Handling::Template, MaxText},
    {"DLCSTRING", &MainConfig::dlcString, Handling::Text, MaxText},
    {"DESCFILE", &MainConfig::descFile, Handling::Text, 12},
    {"DEFAULTDESC", &MainConfig::defaultDesc, Handling::Text, 80},
    {"REMOTEPROGRAM", &MainConfig::remoteProgram, Handling::Text, 12},
    {"ORIGIN", &MainConfig::origin, Handling::Text, MaxText},
    {"MESSAGEATTRDIR", &MainConfig::messageAttrDir, Handling::Text, MaxText},
    {"MESSAGEATTRHLD", &MainConfig::messageAttrHld, Handling::Text, MaxText},
    {"DESCMODE", &MainConfig::descMode, Handling::Upper, 12},
    {"EXECUTEMODE", &MainConfig::executeMode, Handling::Upper, 12},
    {"MODE", &MainConfig::mode, Handling::Upper, MaxText},
    {"INTERFACE", &MainConfig::interface, Handling::Upper, 8},
    {"SORTBY", &MainConfig::sortBy, Handling::Upper, 6},
};

struct SwitchKeyword {
    const char* keyword;
    bool MainConfig::*field;
};

const SwitchKeyword SwitchKeywords[] = {
    {"AUTOADDINGPLUS", &MainConfig::autoAddingPlus},
    {"DELBADTIC", &MainConfig::delBadTic},
    {"WAITFILE", &MainConfig::waitFile},
    {"REPLACES", &MainConfig::replaces},
    {"CALCULATIONCRC", &MainConfig::calculationCrc},
    {"LFN", &MainConfig::lfn},
    {"LFNCHANGEPOINT", &MainConfig::lfnChangePoint},
    {"USEEXT", &MainConfig::useExt},
    {"USEGROUPCOMMENT", &MainConfig::useGroupComment},
    {"USETOBESENTFILE", &MainConfig::useToBeSentFile},
    {"ANNOUNCEPASSTROUGH", &MainConfig::announcePassThrough},
};

// "GROUP1".."GROUP7" give 0..6, anything else -1.
int FileGroupIndex(const std::string& keyword) {
    if (keyword.size() == 6 && keyword.compare(0, 5, "GROUP") == 0 && keyword[5] >= '1' && keyword[5] <= '7')
        return keyword[5] - '1';
    return -1;
}

[[noreturn]] void CannotCreateDirectory(const std::string& dir) {
    WriteLine(MessageText(Msg::ERROR));
    SetTextColor(LightRed);
    WriteLine(SubstituteMacros(MessageText(Msg::CANTCREATEDIR), "%d", dir));
    ExitProgram(2);
}

[[noreturn]] void TemplateNotFound(const std::string& file) {
    WriteLine(MessageText(Msg::ERROR));
    SetTextColor(LightRed);
    WriteLine(SubstituteMacros(MessageText(Msg::FILENOTFOUND), "%f", file));
    ExitProgram(240);
}

// Directory values end in "/" and exist afterwards. An empty value leaves the
// setting unconfigured: there is nothing to create.
void HandlePathValue(std::string& value, Handling handling, const std::string& baseDir) {
    if (value.empty() || handling == Handling::Text || handling == Handling::Upper) return;
    value = ResolveConfigPath(baseDir, value);
    CutText(value);
    switch (handling) {
        case Handling::Dir:
            AddTrailingSlash(value);
            CutText(value);
            if (!ForceDirectories(value)) CannotCreateDirectory(value);
            break;
        case Handling::FileDir: {
            std::string dir = ExtractDir(value);
            if (!dir.empty() && !ForceDirectories(dir)) CannotCreateDirectory(dir);
            break;
        }
        case Handling::Template:
            if (!FileExists(value)) TemplateNotFound(value);
            break;
        case Handling::Text:
        case Handling::Upper:
            break;
    }
}

void HandleLine(std::string line, MainConfig& config, const std::string& baseDir) {
    TabsToSpaces(line);
    const std::string_view clean = CleanControlLine(line);
    if (clean.size() <= 2) return;
    std::string keyword, value;
    SplitKeywordValue(clean, keyword, value);

    int group = FileGroupIndex(keyword);
    if (group >= 0) {
        config.fileGroups[static_cast<std::size_t>(group)] = value;
        return;
    }
    for (const TextKeyword& entry : TextKeywords) {
        if (keyword != entry.keyword) continue;
        CutText(value, entry.limit);
        if (entry.handling == Handling::Upper) UpperCaseInPlace(value);
        HandlePathValue(value, entry.handling, baseDir);
        config.*entry.field = value;
        return;
    }
    for (const SwitchKeyword& entry : SwitchKeywords) {
        if (keyword == entry.keyword) {
            config.*entry.field = ParseYesNo(value);
            return;
        }
    }
    if (keyword == "ADDRESS") {
        FidoAddress address = ParseAddress(value);
        if (config.addresses.empty()) {
            config.mainAddress = FormatAddress(address);
            CutText(config.mainAddress, 25);
        }
        config.addresses.push_back(address);
    } else if (keyword == "ALIAS") {
        UpperCaseInPlace(value);
        config.aliases.push_back(value);
    } else if (keyword == "MSGMAXLINES") {
        config.msgMaxLines = ParseWordValue(value);
    } else if (keyword == "MAXDUPEREC") {
        config.maxDupeRec = ParseLongValue(value);
    } else if (keyword == "BSYWAIT") {
        config.bsyWait = std::max<std::int32_t>(0, ParseLongValue(value));
    } else if (keyword == "BSYSTALE") {
        config.bsyStale = std::max<std::int32_t>(0, ParseLongValue(value));
    } else if (keyword == "DESCPOS") {
        config.descPos = ParseByteValue(value);
    } else if (keyword == "DLCPOS") {
        config.dlcPos = ParseByteValue(value);
    } else if (keyword == "LONGDESCCHARS") {
        RemoveQuotes(value, '\'');
        CutText(value, 20);
        config.longDescChars = value;
    } else if (keyword == "SEPARATOR") {
        RemoveQuotes(value, '\'');
        if (!value.empty()) config.separator = value[0];
    } else if (keyword == "BASEDIR") {
        if (value.empty()) return;
        value = ResolveConfigPath(baseDir, value);
        CutText(value);
        if (DirectoryExists(value)) config.baseDir = value;
    }
}

void CompleteConfig(MainConfig& config) {
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
    if (config.mode.empty()) config.mode = "AMA";
    AddTrailingSlash(config.baseDir);
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

std::vector<ConfigProblem> CheckMainConfig(const std::string& path, const MainConfig& config) {
    std::vector<ConfigProblem> problems;
    const std::string file = ExtractFileName(path);
    std::vector<std::string> lines;
    if (!ReadTextLines(path, lines)) return {{file, 0, "cannot be read"}};
    auto isNumber = [](const std::string& value) {
        std::string text = value;
        Trim(text);
        return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string keyword, value;
        if (!SplitControlLine(lines[i], keyword, value)) continue;
        auto report = [&](const std::string& text) { problems.push_back({file, i + 1, keyword + ": " + text}); };
        bool known = FileGroupIndex(keyword) >= 0;
        for (const TextKeyword& entry : TextKeywords) known = known || keyword == entry.keyword;
        for (const SwitchKeyword& entry : SwitchKeywords) {
            if (keyword != entry.keyword) continue;
            known = true;
            std::string word = UpperCase(value);
            if (word != "YES" && word != "NO" && word != "+" && word != "-") report("\"" + value + "\" is not Yes or No");
        }
        if (keyword == "MSGMAXLINES" || keyword == "MAXDUPEREC" || keyword == "DESCPOS" || keyword == "DLCPOS" ||
            keyword == "BSYWAIT" || keyword == "BSYSTALE") {
            known = true;
            if (!isNumber(value)) report("\"" + value + "\" is not a number");
        }
        if (keyword == "ADDRESS") {
            known = true;
            if (!IsAddressText(value)) report("\"" + value + "\" is not an address");
        }
        known = known || keyword == "ALIAS" || keyword == "LONGDESCCHARS" || keyword == "SEPARATOR" ||
                keyword == "BASEDIR";
        if (!known) report("unknown keyword");
    }
    for (const TextKeyword& entry : TextKeywords) {
        if (entry.handling != Handling::Dir) continue;
        const std::string& dir = config.*entry.field;
        if (dir.empty()) continue;
        if (!DirectoryExists(dir)) problems.push_back({file, 0, std::string(entry.keyword) + ": " + dir + " is missing"});
        else if (!IsWritableDirectory(dir))
            problems.push_back({file, 0, std::string(entry.keyword) + ": " + dir + " is not writable"});
    }
    if (config.inbound.empty()) problems.push_back({file, 0, "INBOUND is not set: nothing can be tossed"});
    return problems;
}

std::string ResolveConfigPath(const std::string& baseDir, const std::string& value) {
    if (value.empty() || value.front() == PathSeparator) return value;
    return baseDir + value;
}

void LoadMainConfig(const std::string& path, MainConfig& config) {
    try {
        config = MainConfig{};
        std::vector<std::string> lines;
        if (!ReadTextLines(path, lines)) RuntimeError(LastErrorNumber());
        // Relative paths belong to the node, not to whatever directory the
        // program was started from (cron, mailer events).
        const std::string baseDir = ExtractDir(ResolvePath(path));
        for (std::string& line : lines) HandleLine(std::move(line), config, baseDir);
        CompleteConfig(config);
        config.flowRetryFile = baseDir + std::string(FlowRetryFileName);
    } catch (const std::bad_alloc&) {
        WriteLine(MessageText(Msg::NOTENOUGHMEMORY));
        ExitProgram(10);
    }
}
