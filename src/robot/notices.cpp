#include "robot/notices.h"

#include <utility>
#include <vector>

#include "frame/catalogue.h"
#include "frame/platform.h"
#include "frame/utils.h"
#include "robot/netmail.h"

namespace {

constexpr std::string_view NoticeFromName = "Brenmoor";
constexpr std::string_view NoticeToName = "SysOp";

struct Macro {
    std::string_view name;  // upper case
    std::string value;
};

// Replaces the first occurrence of each macro, in the order given, found in
// any letter case. Values already put into the line are not searched again,
// so a description holding "@LINK" stays as it is.
std::string ExpandLine(std::string line, const std::vector<Macro>& macros) {
    std::vector<std::pair<std::size_t, std::size_t>> inserted;  // [from, to) of values
    for (const Macro& macro : macros) {
        std::string upper = UpperCase(line);
        std::size_t at = upper.find(macro.name);
        while (at != std::string::npos) {
            bool overlaps = false;
            for (const auto& range : inserted)
                if (at < range.second && at + macro.name.size() > range.first) overlaps = true;
            if (!overlaps) break;
            at = upper.find(macro.name, at + 1);
        }
        if (at == std::string::npos) continue;
        line.replace(at, macro.name.size(), macro.value);
        long shift = static_cast<long>(macro.value.size()) - static_cast<long>(macro.name.size());
        for (auto& range : inserted) {
            if (range.first >= at + macro.name.size()) {
                range.first = static_cast<std::size_t>(static_cast<long>(range.first) + shift);
                range.second = static_cast<std::size_t>(static_cast<long>(range.second) + shift);
            }
        }
        inserted.emplace_back(at, at + macro.value.size());
    }
    CutText(line);
    return line;
}

// Fills the template into the body file (CR LF lines), sends it and deletes
// it. A template or body file that cannot be used means no notice.
void SendNotice(const MainConfig& config, const std::string& templatePath, std::string_view bodyName,
                const std::vector<Macro>& macros, std::string_view fromAddress, std::string_view toAddress,
                std::string_view subject, std::string_view attributes, std::string_view originAddress) {
    std::vector<std::string> lines;
    if (!ReadTextLines(templatePath, lines)) return;
    std::string body;
    for (const std::string& line : lines) {
        body += ExpandLine(line, macros);
        body += "\r\n";
    }
    std::string bodyPath = config.tempDir + std::string(bodyName);
    if (WriteWholeFile(bodyPath, body) != 0) {
        DeleteFile(bodyPath);
        return;
    }
    std::string origin = config.origin + " (" + std::string(originAddress) + ")";
    CutText(origin);
    WriteNetmail(NextMessageName(config.netmailOut), NoticeFromName, NoticeToName, fromAddress, toAddress, subject,
                 bodyPath, attributes, origin);
    DeleteFile(bodyPath);
}

}  // namespace

void NotifyNewArea(const MainConfig& config, const AreaRecord& area, const LinkRecord& link,
                   const GroupRecord& group) {
    if (config.announceNewAreaTpl.empty()) return;
    // "@GROUPCOMMENT" goes before "@GROUP", which is a prefix of it.
    std::vector<Macro> macros = {
        {"@FILEECHO", area.Name},     {"@DESC", area.Desc},  {"@GROUPCOMMENT", group.Comment},
        {"@GROUP", area.Group},       {"@LINK", link.Address},
    };
    SendNotice(config, config.announceNewAreaTpl, NewAreaBodyName, macros, config.mainAddress, config.mainAddress,
               MessageText(Msg::CREATEDNEWFECHOSUBJ), "PVT LOC", config.mainAddress);
}

void NotifyReadOnly(const MainConfig& config, const LinkRecord& link, std::string_view areaTag,
                    std::string_view fileName) {
    if (config.notifyRoTpl.empty()) return;
    std::vector<Macro> macros = {
        {"@FILEECHO", std::string(areaTag)},
        {"@FILENAME", std::string(fileName)},
    };
    SendNotice(config, config.notifyRoTpl, ReadOnlyBodyName, macros, link.AKA, link.Address,
               MessageText(Msg::NOTIFYROSUBJ), "PVT LOC K/S", link.AKA);
}
