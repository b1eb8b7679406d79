// Every control-file reader on any text. The first byte picks the file
// ('0' BRENMOOR.CTL, '1' Links.ctl, '2' areas.ctl, '3' Groups.ctl and a
// description list, '4' arc.ctl, '5' bbssoft.ctl, '6' colors.ctl); the
// rest is the file, written into the scratch directory under its own name.
// Beside not crashing, what one reader finds the others must agree on: the
// area list in memory and the file reader, a canonical area block and the
// record it was made of, a rewritten link and the link.
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "config/archivers.h"
#include "config/areas.h"
#include "config/bbssoft.h"
#include "config/colors.h"
#include "config/groups.h"
#include "config/links.h"
#include "config/mainconfig.h"
#include "frame/exit.h"
#include "frame/platform.h"
#include "frame/utils.h"
#include "scratch.h"

namespace {

[[noreturn]] void Disagree(const char* what, const std::string& tag) {
    std::fprintf(stderr, "%s: %s\n", what, tag.c_str());
    std::abort();
}

bool SameArea(const AreaRecord& a, const AreaRecord& b) {
    return a.Name == b.Name && a.Path == b.Path && a.Desc == b.Desc && a.CreateFlag == b.CreateFlag &&
           a.Group == b.Group && a.AKA == b.AKA && a.Links == b.Links && a.PassThrough == b.PassThrough &&
           a.SecurityRead == b.SecurityRead && a.SecurityWrite == b.SecurityWrite &&
           a.SecurityShow == b.SecurityShow;
}

bool SameLink(const LinkRecord& a, const LinkRecord& b) {
    return SameAddress(a.Address, b.Address) && a.AKAText == b.AKAText &&
           a.Password == b.Password && a.Group == b.Group && a.FilesSend == b.FilesSend &&
           a.Security == b.Security && a.CreateArea == b.CreateArea && a.PlusAll == b.PlusAll &&
           a.Pause == b.Pause && a.DefaultGroup == b.DefaultGroup;
}

void MainFile(std::string_view text) {
    const std::string path = WriteScratchFile("BRENMOOR.CTL", text);
    MainConfig config;
    LoadMainConfig(path, config);
    CheckMainConfig(path, config);
}

void LinksFile(std::string_view text) {
    const std::string path = WriteScratchFile("Links.ctl", text);
    std::vector<LinkRecord> links;
    LoadLinks(path, links);
    for (const LinkRecord& link : links) {
        const LinkRecord* found = FindLink(links, link.Address);
        if (found == nullptr || !SameAddress(found->Address, link.Address))
            Disagree("link not found by its address", link.AddressText);
    }
    if (links.empty() || links.front().AddressText.empty()) return;
    // A rewritten entry is laid out anew: a line that was near the length
    // of a control-file line may then be cut by the reader.
    for (const std::string& line : SplitLines(text, text.size() + 1))
        if (line.size() > MaxText - 40) return;
    // %PAUSE and %RESUME rewrite one link: it must read back paused or
    // resumed and otherwise as it was, and no link may come or go.
    LinkRecord first = *FindLink(links, links.front().Address);
    first.Pause = !first.Pause;
    if (RewriteLink(path, first)) return;
    std::vector<LinkRecord> again;
    LoadLinks(path, again);
    if (again.size() != links.size()) Disagree("rewriting a link changed the number of links", first.AddressText);
    const LinkRecord* found = FindLink(again, first.Address);
    if (found == nullptr) Disagree("rewritten link is not found", first.AddressText);
    const LinkRecord back = *found;
    if (!SameLink(back, first)) {
        for (const LinkRecord* link : {&std::as_const(first), &back})
            std::fprintf(stderr, "[%s] [%s] [%s] [%s] [%d] %u %d%d%d [%c]\n", link->AddressText.c_str(),
                         link->AKAText.c_str(), link->Password.c_str(), link->Group.c_str(),
                         static_cast<int>(link->FilesSend), link->Security, link->CreateArea, link->PlusAll,
                         link->Pause, link->DefaultGroup);
        Disagree("rewritten link reads back otherwise", first.AddressText);
    }
}

void AreasFile(std::string_view text) {
    const std::string path = WriteScratchFile("areas.ctl", text);
    AreaList list;
    if (LoadAreaList(path, list) != 0) return;
    AreaIndexes indexes;
    for (const std::string& tag : AreaTags(list)) {
        const AreaRecord inMemory = FindArea(list, tag);
        if (!SameArea(inMemory, ReadArea(indexes, path, tag))) Disagree("area list and file reader differ", tag);
        if (inMemory.Name.empty()) continue;
        const std::string block = WriteScratchFile("block.ctl", FormatAreaBlock(inMemory));
        // An AKA cut at its length may end in blanks that no line keeps.
        AreaRecord written = inMemory;
        TrimRight(written.AKA);
        if (!SameArea(ReadArea(indexes, block, inMemory.Name), written)) Disagree("canonical block reads back otherwise", tag);
    }
    std::vector<AreaNameEntry> names;
    int width = 0;
    ListAreaNames(path, names, width);
    std::vector<AreaLinksEntry> withLinks;
    ListAreasWithLinks(path, withLinks);
    CheckAreaList(path, ScratchDir(), {});
}

void GroupsFile(std::string_view text) {
    const std::string path = WriteScratchFile("Groups.ctl", text);
    std::vector<GroupRecord> groups;
    ReadGroups(path, groups);
    for (const GroupRecord& group : groups) FindGroup(groups, group.Letter);
    // The same text as a description list, asked for its first word.
    std::string tag(text.substr(0, text.find_first_of(" \t\r\n")));
    std::string description;
    FindInListFile(path, tag, description);
    FindInListFile(path, "FIDO.SOFT", description);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    QuietConsole();
    const std::string_view text = InputBytes(data, size).substr(1);
    try {
        switch (static_cast<unsigned char>(data[0] - '0') % 7) {
            case 0: MainFile(text); break;
            case 1: LinksFile(text); break;
            case 2: AreasFile(text); break;
            case 3: GroupsFile(text); break;
            case 4: {
                std::vector<ArchiverRecord> archivers;
                ReadArchivers(WriteScratchFile("arc.ctl", text), archivers);
                break;
            }
            case 5: {
                BbsSoftSettings settings;
                ReadBbsSoft(WriteScratchFile("bbssoft.ctl", text), settings);
                break;
            }
            case 6: {
                ColorScheme scheme;
                ReadColorScheme(WriteScratchFile("colors.ctl", text), scheme);
                break;
            }
        }
    } catch (const ProgramExit&) {
        // A fatal control-file error: the program ends there too.
    }
    RemoveCreatedDirectories();
    return 0;
}
