#include "robot/notices.h"

#include <span>
#include <vector>

#include "frame/catalogue.h"
#include "frame/exit.h"
#include "frame/platform.h"
#include "frame/utils.h"
#include "robot/netmail.h"

namespace {

constexpr std::string_view NoticeFromName = "Brenmoor";
constexpr std::string_view NoticeToName = "SysOp";

// Fills the template into the body file (CR LF lines), sends it and deletes
// it. In each line the first occurrence of each macro, in the order given and
// in any letter case, is replaced; a value holding a macro ("@LINK" in a
// description) stays as it is. A template that cannot be read means no
// notice.
void SendNotice(MsgIdSerials& serials, const MainConfig& config, const std::string& templatePath,
                std::string_view bodyName, std::span<const MacroValue> macros, std::string_view fromAddress, std::string_view toAddress,
                std::string_view subject, std::string_view attributes, std::string_view originAddress,
                const std::string& messageFile) {
    std::vector<std::string> lines;
    if (!ReadSysopTextLines(templatePath, lines)) return;
    std::string body;
    for (const std::string& line : lines) {
        body += SubstituteMacroList(line, macros);
        body += "\r\n";
    }
    std::string bodyPath = config.tempDir + std::string(bodyName);
    // A notice that cannot be written stops the run, as a failed netmail
    // does: the next run sends it.
    if (int error = WriteWholeFile(bodyPath, body)) {
        DeleteFile(bodyPath);
        RuntimeError(error);
    }
    std::string origin = config.origin + " (" + std::string(originAddress) + ")";
    CutText(origin);
    WriteNetmail(serials, messageFile.empty() ? NextMessageName(config.netmailOut) : messageFile, NoticeFromName,
                 NoticeToName, fromAddress, toAddress, subject, bodyPath, attributes, origin);
    DeleteFile(bodyPath);
}

}  // namespace

void NotifyNewArea(MsgIdSerials& serials, const MainConfig& config, const AreaRecord& area, const LinkRecord& link,
                   const GroupRecord& group, const std::string& messageFile) {
    if (config.announceNewAreaTpl.empty()) return;
    // "@GROUPCOMMENT" goes before "@GROUP", which is a prefix of it.
    const MacroValue macros[] = {
        {"@FILEECHO", area.Name}, {"@DESC", area.Desc},    {"@GROUPCOMMENT", group.Comment},
        {"@GROUP", area.Group},   {"@LINK", link.AddressText},
    };
    SendNotice(serials, config, config.announceNewAreaTpl, NewAreaBodyName, macros, config.mainAddress,
               config.mainAddress, MessageText(Msg::CREATEDNEWFECHOSUBJ), "PVT LOC", config.mainAddress, messageFile);
}

void NotifyReadOnly(MsgIdSerials& serials, const MainConfig& config, const LinkRecord& link, std::string_view areaTag,
                    std::string_view fileName) {
    if (config.notifyRoTpl.empty()) return;
    const MacroValue macros[] = {
        {"@FILEECHO", areaTag},
        {"@FILENAME", fileName},
    };
    SendNotice(serials, config, config.notifyRoTpl, ReadOnlyBodyName, macros, link.AKAText, link.AddressText,
               MessageText(Msg::NOTIFYROSUBJ), "PVT LOC K/S", link.AKAText, std::string());
}
