#pragma once
// The subscription robot: requests in NETMAILIN addressed to one of the
// robot's names are checked, carried out and answered by netmail.
#include <cstdint>
#include <string>
#include <string_view>

#include "config/links.h"
#include "config/node.h"
#include "robot/uplinks.h"

// Statuses of one subscription; their names are the catalogue keys of the
// result lines.
enum class SubscribeStatus : std::uint8_t { Added, NotFound, AccessFailure, AlreadyLinked, RequestForwarded };
enum class UnsubscribeStatus : std::uint8_t { Unlinked, NotFound, AccessFailure, NotLinked };

// Subscribes the link to the area of the tag in the work's area list, or
// asks an uplink for an area the node does not carry.
SubscribeStatus SubscribeArea(RobotWork& work, std::string_view tag, const LinkRecord& link);
UnsubscribeStatus UnsubscribeArea(RobotWork& work, std::string_view tag, const LinkRecord& link);

// The Scan command. Every request is answered and deleted, or, when its
// answers cannot be written, left unchanged for the next run. Returns 0, or
// the errno of the first request left so.
int RunScan(const NodeConfig& node);
