#pragma once
// Uplinks: the forward list "FORWARD.CTL" (who carries which echoes, named in
// a list file per uplink), the echoes no link may ask for "NOTALLOW.CTL",
// the requests the robot sends uplinks, and the Relink command.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/areas.h"
#include "config/ctltable.h"
#include "config/groups.h"
#include "config/links.h"
#include "config/mainconfig.h"
#include "robot/netmail.h"

constexpr std::size_t MaxRemoteProgram = 15;
constexpr std::size_t MaxForwardGroups = 30;

struct ForwardRecord {
    FidoAddress Address;        // the uplink
    std::string ListFile;       // the echoes it carries; empty = none
    std::string RemoteProgram;  // to name of requests to its robot, <= 15
    std::string Groups;         // group letters of links that may use it, upper case, <= 30
    char DefaultGroup = 0;      // group of echoes created through it, upper case
    std::uint16_t Security = 0; // level a link needs
    bool PassThrough = false;   // echoes created through it are pass-through
};

// Reads the forward list; a missing file gives no uplink. Relative list
// files belong to programDir. A LISTFILE that does not exist ends the run
// with exit code 2 after "ERROR" and FILENOTFOUND.
std::vector<ForwardRecord> ReadForwardList(const std::string& file, const std::string& programDir,
                                           std::string_view defaultRobot);

// What `brenmoor check` finds in the forward list: what ReadForwardList lets
// pass, and list files that are missing (the robot ends with 2) or cannot
// be read. A missing forward list is no problem.
std::vector<ConfigProblem> CheckForwardList(const std::string& file, const std::string& programDir);

// Reads the not-allowed list (entries upper case, in file order). A file
// that cannot be opened ends the run with exit code 2 after "ERROR".
std::vector<std::string> ReadNotAllowedList(const std::string& file);

// What is wrong with a not-allowed entry: a mask that is not closed, that
// holds a word other than ANYWHERE and OR or a group without quoted text,
// or text after its groups; an entry that is no tag. Empty when it is good.
std::string NotAllowedEntryProblem(std::string_view entry);

// The problems of each entry of the not-allowed list, and a list that
// cannot be read (the robot ends with 2).
std::vector<ConfigProblem> CheckNotAllowedList(const std::string& file);

// A plain entry matches only its own tag; an entry of "<...>" groups must
// consume the whole tag from the left. Both are compared in upper case.
bool MatchAreaMask(std::string_view entry, std::string_view tag);
bool IsNotAllowed(const std::vector<std::string>& list, std::string_view tag);

// An uplink's list file, read once per run however often it is asked.
struct UplinkListLine {
    std::string_view tag;          // first word, as written
    std::string_view description;  // the rest, blanks around it removed
};

struct UplinkList {
    bool readable = false;
    std::string content;
    std::vector<UplinkListLine> lines;  // file order, lines without a tag left out
    std::unordered_map<std::string, std::size_t> index;  // upper-case tag -> first line; built on first lookup
};

using UplinkLists = std::map<std::string, UplinkList>;

UplinkList& UplinkListOf(UplinkLists& lists, const std::string& path);

// The description of the tag (upper case) in the list file; false when the
// file does not name it or cannot be read.
bool FindInUplinkList(UplinkLists& lists, const std::string& path, const std::string& tag,
                      std::string& description);

// Everything the work on one request reads and changes. Changes stay in
// memory (areas, answers) until the whole request is done, so that a
// request that cannot be answered changes nothing.
struct RobotWork {
    const MainConfig& config;
    const std::vector<GroupRecord>& groups;
    const std::vector<LinkRecord>& links;
    const std::vector<ForwardRecord>& forwards;
    UplinkLists& uplinkLists;
    AreaList areas;
    std::vector<OutgoingNetmail> answers;
};

// Whether the link may see and read the area: its level and one of its
// group letters.
bool MayReadArea(const LinkRecord& link, const AreaRecord& area);

enum class ForwardResult : std::uint8_t {
    Forwarded,
    NotCarried,  // no uplink the link may use carries it
    Hidden,      // an uplink carries it, but the new area would be hidden from the link
};

// A tag the node does not carry: the first uplink that carries it and that
// the link may use gets a subscription request, and the area is created in
// the copy with the uplink and the link as its links. An uplink whose new
// area the link could neither see nor leave (its DefaultGroup not defined or
// not one of the link's groups, levels above the link's) is passed over
// with a log line.
ForwardResult ForwardSubscription(RobotWork& work, const std::string& tag, const LinkRecord& link);

// A pass-through area whose last downlink left: it is removed, and the
// remaining link (its uplink) is sent an unsubscribe request.
void UnsubscribeAtUplink(RobotWork& work, const AreaRecord& area, const std::string& remainingEntry,
                         const LinkRecord& leaving);

// The Relink command: every target gets a request of "+TAG" lines for the
// areas it is linked to, in parts of at most MSGMAXLINES lines. Without a
// mask the targets are the uplinks of the forward list, with one the links
// whose address matches it; noLink is set when a mask matches no link.
// Returns 0 or the errno of a message that could not be written.
int Relink(MsgIdSerials& serials, const std::vector<ForwardRecord>& forwards, const std::vector<LinkRecord>& links,
           const std::string& areaFile, std::string_view mask, const MainConfig& config, bool& noLink);
