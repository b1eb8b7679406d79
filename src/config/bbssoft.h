#pragma once
// "bbssoft.ctl": which BBS file-area configuration the toss keeps up to date.
#include <cstdint>
#include <string>
#include <vector>

#include "config/ctltable.h"

struct BbsSoftSettings {
    std::uint8_t Kind = 0;        // 0 none, 1 Maximus, 2 Tornado
    std::string AreaFile;         // the BBS's file-area configuration (128)
    std::string Acs;              // MAXIMUS_ACS (128)
    std::string Upload;           // UPLOAD (128); empty = the area's own directory
    bool ScanNewFiles = false;    // TORNADO_SCAN_NEWFILES
    std::uint16_t DlSecurity = 0;    // TORNADO_DL_SECURITY
    std::uint16_t UlSecurity = 0;    // TORNADO_UL_SECURITY
    std::uint16_t ListSecurity = 0;  // TORNADO_LIST_SECURITY
    std::uint16_t ShowSecurity = 0;  // TORNADO_SHOW_SECURITY
    std::string Group;               // GROUP: group of new Tornado areas
};

// Fills settings from the file (reset first). Returns 0, or the error
// number when the file cannot be read. Relative AreaFile and Upload
// paths are taken relative to the file's directory.
int ReadBbsSoft(const std::string& path, BbsSoftSettings& settings);

// What `brenmoor check` finds in the file: what ReadBbsSoft lets pass, an
// area file the toss cannot write, and a file that cannot be read (the run
// ends with 2).
std::vector<ConfigProblem> CheckBbsSoft(const std::string& path);
