#pragma once
// Netmail notices the toss sends: a new file echo was created, and a link
// sent a file into an area it may not write to. Each is built from its
// template and sent only when its template setting is not empty.
#include <string>
#include <string_view>

#include "config/areas.h"
#include "config/groups.h"
#include "config/links.h"
#include "config/mainconfig.h"
#include "robot/netmail.h"

// Body files of the notices, in TEMPDIR; deleted after sending.
constexpr std::string_view NewAreaBodyName = "newarea.b-m";
constexpr std::string_view ReadOnlyBodyName = "notifyro.b-m";

// To the node's own operator: area was created for a file of link. Written
// as messageFile when given (a notice that must not be written twice), else
// under the next free message name.
void NotifyNewArea(MsgIdSerials& serials, const MainConfig& config, const AreaRecord& area, const LinkRecord& link,
                   const GroupRecord& group, const std::string& messageFile = std::string());

// To the link: its file fileName was refused in the read-only area areaTag.
void NotifyReadOnly(MsgIdSerials& serials, const MainConfig& config, const LinkRecord& link, std::string_view areaTag,
                    std::string_view fileName);
