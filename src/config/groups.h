#pragma once
// The groups file "Groups.ctl": where new areas of each group go and what
// they receive.
#include <cstdint>
#include <string>
#include <vector>

#include "config/ctltable.h"

struct GroupRecord {
    char Letter = 0;         // as written; case matters
    std::string Path;        // parent of new area directories, ends in "/"; empty = pass-through
    std::string WrittenPath; // Path as the file gives it (a relative one belongs to the program directory)
    std::string Comment;
    std::string NAFile;      // description list of the group's areas
    std::string Flag;        // CreateFlag of new areas
    std::uint16_t SecurityRead = 0;
    std::uint16_t SecurityWrite = 0;
    std::uint16_t SecurityShow = 0;
    std::string AKA;         // AKA of new areas
};

// Reads the file into groups (emptied first). Returns 0, or the error number
// when the file cannot be read (groups then stays empty).
// Relative PATH and NAFILE values are taken relative to the file's directory.
int ReadGroups(const std::string& path, std::vector<GroupRecord>& groups);

// What `brenmoor check` finds in the file: what ReadGroups lets pass, a
// group letter given twice, paths and lists that the toss cannot use, and
// a file that gives no group (the run ends with 4).
std::vector<ConfigProblem> CheckGroups(const std::string& path);

// The first group with exactly this letter; an all-empty record (Letter 0)
// when there is none.
GroupRecord FindGroup(const std::vector<GroupRecord>& groups, char letter);

// Looks the tag (upper case) up in a description list: one area per line,
// the tag as first word, then its description. False when not found, when
// fileName is empty or when the file cannot be read.
bool FindInListFile(const std::string& fileName, const std::string& tag, std::string& description);
