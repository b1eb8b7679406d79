#pragma once
// The subscription robot: requests in NETMAILIN addressed to one of the
// robot's names are checked, carried out and answered by netmail.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "config/areas.h"
#include "config/links.h"
#include "config/node.h"
#include "robot/uplinks.h"

// Statuses of one subscription; their names are the catalogue keys of the
// result lines.
// LinksFull: the Links line has no room for the link; ForwardRefused: an
// uplink carries the area, but the area made for it would be hidden from the
// link.
enum class SubscribeStatus : std::uint8_t {
    Added, NotFound, AccessFailure, AlreadyLinked, RequestForwarded, LinksFull, ForwardRefused
};
enum class UnsubscribeStatus : std::uint8_t { Unlinked, NotFound, AccessFailure, NotLinked };

// Subscribes the link to the area of the tag in the work's area list, or
// asks an uplink for an area the node does not carry.
SubscribeStatus SubscribeArea(RobotWork& work, std::string_view tag, const LinkRecord& link);
UnsubscribeStatus UnsubscribeArea(RobotWork& work, std::string_view tag, const LinkRecord& link);
// Takes the link out of the area whatever its groups (Unlinked or NotLinked).
UnsubscribeStatus LeaveArea(RobotWork& work, AreaRecord area, const LinkRecord& link);

// Sends a file of an area to one link again with a new TIC, as the toss
// delivers, noting its steps in the journal at journalPath so that a resend
// cut short is finished once; 0 or errno. The driver hands in the toss's
// delivery.
using FileResender = std::function<int(const AreaRecord& area, const std::string& filePath, const LinkRecord& link,
                                       const std::string& journalPath)>;

// The words of the robot's command table, in the order they are tried ("+"
// and "-" stand for a tag after the sign), and the word of the row that
// carries out a word of a request (upper case); empty when none does.
std::vector<std::string_view> RobotCommandWords();
std::string_view RobotCommandOf(std::string_view word);

// Whether a subscription tag is a mask: "*" or "?" in it, not at its start
// ("+*" stays the word for every area).
bool IsTagMask(std::string_view tag);

// The Scan command. Every request is answered and deleted, or, when its
// answers cannot be built, left unchanged for the next run; one that a run
// cut short after deciding it is finished, not carried out again. Returns
// 0, or the errno of the first request left.
int RunScan(const NodeConfig& node, AreaIndexes& areaIndexes, MsgIdSerials& serials, const FileResender& resend);
