#pragma once
// Everything the start-up sequence loads: handed to the commands that need it
// and never changed during the run.
#include <string>
#include <vector>

#include "config/bbssoft.h"
#include "config/groups.h"
#include "config/links.h"
#include "config/mainconfig.h"
#include "config/archivers.h"
#include "config/colors.h"

struct NodeConfig {
    std::string programDir;  // ends in "/"
    MainConfig main;
    std::vector<LinkRecord> links;
    std::vector<GroupRecord> groups;
    std::vector<ArchiverRecord> archivers;
    BbsSoftSettings bbs;
    ColorScheme colors;
};
