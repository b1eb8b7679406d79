#pragma once
// The file panel: a directory in three columns, from which the operator
// picks the file to hatch.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/colors.h"
#include "frame/console.h"
#include "ui/windows.h"

// At 80 columns; a wider screen gives the file panel its extra width.
constexpr int PanelWidth = 40;
constexpr int LabelWidth = 12;  // one entry in a column
constexpr int InfoWidth = 38;   // the inside of a panel

struct FileEntry {
    std::string name;     // as on disk; ".." for the parent
    std::string shown;    // the name as the console shows it (code page 866)
    std::string ext;      // after the last dot; none for ".profile" or "README"
    std::string date;     // D-MM-YY
    std::string time;     // H:MM
    std::uint64_t size = 0;
    bool isDirectory = false;  // also a link to one
    bool isLink = false;
    bool isDangling = false;   // a link to nothing
    unsigned char color = 0;
};

struct FilePanel {
    int left = 1, top = 1;
    std::string path;                 // ends in "/"
    std::string mask = "*.*";
    std::string sortMode;             // UNSORT, NAME, EXT or SIZE
    std::array<std::string, 7> groups;  // ",ZIP,RAR," lists of GROUP1..GROUP7
    ColorScheme colors;
    std::vector<FileEntry> entries;
    int first = 0, current = 0;       // first shown and current entry
    int width = PanelWidth;           // columns of the frame, set as it is drawn
    std::string search;               // typed first letters of a name
    bool readError = false;           // the last directory could not be read
    bool active = false;              // takes the keys; its key line is on the status row
    std::string note;                 // shown on the status row until the next key
    std::string result;               // the chosen file's full path; empty: none
    MouseEvent handoff;               // a click or the wheel outside the panel
};

void InitFilePanel(FilePanel& panel, const std::string& startDir, const std::string& mask,
                   const std::array<std::string, 7>& groups, const ColorScheme& colors, const std::string& sortMode,
                   int left, int top);
// Reads panel.path; false (and readError) when it is no readable directory.
bool ReadFilePanel(FilePanel& panel);
// Reads the directory again, the cursor kept on the same name.
void RefreshFilePanel(FilePanel& panel);
void DrawFilePanel(FilePanel& panel);
// Keys until a file is chosen (result), Esc, F10, Tab or a mouse event
// outside the panel; start is a mouse event handed over from the other panel.
PanelExit RunFilePanel(FilePanel& panel, const MouseEvent* start = nullptr);

// Directories first, then files, each sorted by the mode; ".." stays first.
void SortFileEntries(std::vector<FileEntry>& entries, std::string_view mode);
// 1..7: the GROUPn list that holds the extension (a later list wins); 0: none.
int FileGroupOf(std::string_view ext, const std::array<std::string, 7>& groups);
// What a column shows of an entry, width characters; a link is marked "@",
// one to nothing "!".
std::string FileEntryLabel(const FileEntry& entry, int width = LabelWidth);
// The information line, width characters: name, size, date and time. A name
// longer than its room is cut in the middle and keeps its extension.
std::string FileInfoLine(const FileEntry& entry, int width = InfoWidth);
// A name cut to width characters in the middle with "~", its extension kept.
std::string CutInMiddle(std::string_view name, std::size_t width);
// The directory as the top border shows it, within a frame of width columns.
std::string PanelPathText(std::string_view path, int width = PanelWidth);
// The file panel's width on a screen of that many columns: the area panel
// keeps its 40, the file panel's three columns share the rest.
int FilePanelWidth(int screenColumns);
// The width of each of the panel's three columns of entries.
int FileColumnWidth(int panelWidth);
// The parent of a directory path ("/a/b/" -> "/a/"), and the name left.
std::string ParentDirectory(std::string_view path, std::string& left);
// The entry under a screen cell, or -1; rows entries a column.
int FileEntryAt(const FilePanel& panel, int rows, int column, int row);
// Cursor keys over count entries shown in three columns of rows entries.
void MoveFileCursor(int& first, int& current, int count, int rows, std::uint16_t key);
