#pragma once
// The links file "Links.ctl": the node's links, in keyword form or table form.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/ctltable.h"
#include "frame/utils.h"

// How files and TICs go to a link (FilesSend). A word that is none of these
// sends them normal; `check` reports it.
enum class Flavour : std::uint8_t { Normal, Direct, Hold };
inline constexpr std::string_view FlavourWords[] = {"NORMAL", "DIRECT", "HOLD"};

struct LinkRecord {
    FidoAddress Address;
    std::string AddressText;  // as written, upper case: for messages; empty = no such link
    FidoAddress AKA;          // this node's address towards the link
    std::string AKAText;      // as written: the From of its TICs and netmail
    std::string Password;     // upper case; empty = none
    std::string Group;        // group letters of the areas the link may use
    Flavour FilesSend = Flavour::Normal;
    std::uint16_t Security = 0;
    bool CreateArea = false;
    bool PlusAll = false;
    bool Pause = false;
    char DefaultGroup = ' ';  // group of areas the link creates; ' ' = none
};

// Reads the file into links (emptied first). Returns 0, or the error number
// when the file cannot be read (links then stays empty).
int LoadLinks(const std::string& path, std::vector<LinkRecord>& links);

// For `brenmoor check`: reads the file as LoadLinks does and reports each
// unknown keyword, value that does not parse, table row cut short and link
// without a password line, with its line.
std::vector<ConfigProblem> CheckLinks(const std::string& path, std::vector<LinkRecord>& links);

// The first link of that address; nullptr when there is none.
const LinkRecord* FindLink(const std::vector<LinkRecord>& links, const FidoAddress& address);

// Replaces the entry of record's link in the file with the record's values,
// leaving every other line as it was. The previous file is kept as
// "links.old" beside it. Returns true when it failed; the file is then
// unchanged.
bool RewriteLink(const std::string& path, const LinkRecord& record);
