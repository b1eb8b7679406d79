#pragma once
// Files of this node put into file echoes: one file (Hatch), every file of
// the areas that has no description entry yet (AutoHatch), and the clean-up
// of the pass-through directory (Purge).
#include <string>
#include <string_view>
#include <vector>

#include "config/areas.h"
#include "config/node.h"
#include "robot/netmail.h"
#include "tic/outbound.h"

struct HatchRequest {
    std::string filePath;     // the file as given, its name kept as it is
    std::string areaTag;
    std::string description;  // "-D": code page 866; empty: file_id.diz or the list entry
    std::string replaces;     // the TIC's Replaces (may be empty)
    bool copyToArea = false;  // "-C"
};

// Why the file cannot be hatched (a control character, a tab or a '"' in
// its name, the name of the description list, a file the user cannot
// read), as the console line; empty when it can.
std::string HatchRefusal(const MainConfig& config, std::string_view filePath);

// Hatches one file into one area: description and announcement record when
// the file is copied into the area, file and TIC to every subscribed link.
// The area must exist (the caller checks with ReadArea).
void HatchFile(const NodeConfig& node, AreaIndexes& areas, MsgIdSerials& serials, BusyState& busy,
               const HatchRequest& request);

// Sends a file the area holds to one link again, with a new TIC and the
// file's entry of the description list; 0, or errno when it is gone.
int ResendFile(const NodeConfig& node, MsgIdSerials& serials, BusyState& busy, const AreaRecord& area,
               const std::string& filePath, const LinkRecord& link, const std::string& journalPath);

// Hatches every file of an area directory without a description entry;
// with listOnly only names them.
void AutoHatch(const NodeConfig& node, MsgIdSerials& serials, BusyState& busy, bool listOnly);

// What killed runs left: their temporary files in the node's directories,
// and the journals of hatches that were complete. At the start of a run
// that changes files.
void SweepLeftovers(const NodeConfig& node);

// Deletes the files of the pass-through directory that no waiting outbound
// TIC and no unfinished toss still names, with their description entries.
void Purge(const NodeConfig& node);
