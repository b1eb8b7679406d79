#pragma once
// The area panel: the file echoes of areas.ctl, sorted, with a search by
// the first letters of a tag and an information window.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/areas.h"
#include "config/colors.h"
#include "frame/console.h"
#include "ui/windows.h"

constexpr int AreaTagWidth = 38;

struct AreaPanel {
    int left = 41, top = 1;
    std::string areasFile;            // path of areas.ctl
    AreaIndexes* areaIndexes = nullptr;  // of the run
    ColorScheme colors;
    std::vector<std::string> tags;    // sorted, as written
    int width = AreaTagWidth;         // inside the frame, as last drawn
    int first = 0, current = 0;
    std::string search;               // typed first letters, upper case
    bool loadError = false;           // no AREA line could be read
    bool active = false;              // takes the keys; its key line is on the status row
    std::string result;               // the chosen tag; empty: none
    MouseEvent handoff;               // a click or the wheel outside the panel
};

void InitAreaPanel(AreaPanel& panel, AreaIndexes& areaIndexes, const std::string& areasFile, const ColorScheme& colors,
                   int left, int top);
// Loads the tags; false (and loadError) when the file is missing or has none.
bool LoadAreaPanel(AreaPanel& panel);
void DrawAreaPanel(AreaPanel& panel);
// Keys until a tag is chosen (result), Esc, F10, Tab or a mouse event
// outside the panel; start is a mouse event handed over from the other panel.
PanelExit RunAreaPanel(AreaPanel& panel, const MouseEvent* start = nullptr);
// The tag under a screen cell, or -1; rows tags are shown.
int AreaTagAt(const AreaPanel& panel, int rows, int column, int row);

// The first tag in list order that begins with the search text (ASCII and
// Cyrillic case ignored), or -1.
int FindAreaByPrefix(const std::vector<std::string>& tags, std::string_view search);
// One typed key for the search: Backspace takes the last letter off, a
// character is added when some tag then still matches. Returns the tag to
// move to, or -1 to stay.
int SearchAreaKey(const std::vector<std::string>& tags, std::string& search, std::uint16_t key);
