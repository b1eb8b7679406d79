#pragma once
// The links file "Links.ctl": the node's links, in keyword form or table form.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct LinkRecord {
    std::string Address;    // as written, upper case; compared as an address
    std::string AKA;        // this node's address towards the link
    std::string Password;   // upper case; empty = none
    std::string Group;      // group letters of the areas the link may use
    std::string FilesSend;  // flavour: "DIRECT" and "HOLD" matter
    std::uint16_t Security = 0;
    bool CreateArea = false;
    bool PlusAll = false;
    bool Pause = false;
    char DefaultGroup = ' ';  // group of areas the link creates; ' ' = none
};

// Reads the file into links (emptied first). A missing file gives no link.
void LoadLinks(const std::string& path, std::vector<LinkRecord>& links);

// The first link whose address is the same address as the text; a record with
// an empty Address when there is none.
LinkRecord FindLink(const std::vector<LinkRecord>& links, std::string_view address);

// Replaces the entry of record's link in the file with the record's values,
// leaving every other line as it was. The previous file is kept as
// "links.old" beside it. Returns true when it failed; the file is then
// unchanged.
bool RewriteLink(const std::string& path, const LinkRecord& record);
