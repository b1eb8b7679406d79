#include <gtest/gtest.h>

#include "frame/console.h"
#include "ui/areapanel.h"
#include "ui/filepanel.h"
#include "ui/windows.h"

namespace {

// Typed text as key codes.
std::vector<std::uint16_t> Typed(std::string_view text) {
    std::vector<std::uint16_t> keys;
    for (char c : text) keys.push_back(static_cast<unsigned char>(c));
    return keys;
}

std::vector<std::uint16_t> Then(std::vector<std::uint16_t> keys, std::initializer_list<std::uint16_t> more) {
    keys.insert(keys.end(), more);
    return keys;
}

TEST(EditStep, Keys) {
    struct Case {
        const char* what;
        std::string text;
        std::size_t cursor;
        bool insert;
        std::vector<std::uint16_t> keys;
        std::size_t maxLength;
        std::string wantText;
        std::size_t wantCursor;
        EditResult wantResult;
    };
    const Case cases[] = {
        {"max 13 takes 12 in insert mode", "", 0, true, Typed("ABCDEFGHIJKLMN"), 13, "ABCDEFGHIJKL", 12,
         EditResult::Editing},
        {"insert in the middle", "ac", 1, true, Typed("b"), 13, "abc", 2, EditResult::Editing},
        {"a full text takes no insert", "abc", 1, true, Typed("x"), 4, "abc", 1, EditResult::Editing},
        {"overwrite replaces and grows at the end only up to the limit", "abc", 1, false, Typed("XYZW"), 5, "aXYZ",
         4, EditResult::Editing},
        {"insert toggles", "abc", 0, true, {KeyInsert, 'X', KeyInsert, 'Y'}, 13, "XYbc", 2, EditResult::Editing},
        {"left stops at the start, right at the end", "ab", 1, true, {KeyLeft, KeyLeft, KeyLeft, 'x', KeyRight,
         KeyRight, KeyRight, 'y'}, 13, "xaby", 4, EditResult::Editing},
        {"backspace at the start does nothing", "ab", 0, true, {KeyBackspace}, 13, "ab", 0, EditResult::Editing},
        {"backspace removes before the cursor", "abc", 2, true, {KeyBackspace}, 13, "ac", 1, EditResult::Editing},
        {"delete removes under the cursor, not past the end", "abc", 2, true, {KeyDelete, KeyDelete}, 13, "ab", 2,
         EditResult::Editing},
        {"home and end", "abc", 1, true, {KeyHome, '<', KeyEnd, '>'}, 13, "<abc>", 5, EditResult::Editing},
        {"control bytes and other keys are no text", "ab", 2, true, {1, 9, KeyF3, 31}, 13, "ab", 2,
         EditResult::Editing},
        {"code page 866 letters are text", "", 0, true, {0x8F, 0xE0}, 13, "\x8F\xE0", 2, EditResult::Editing},
        {"enter ends", "ab", 2, true, Then(Typed("c"), {KeyEnter}), 13, "abc", 3, EditResult::Done},
        {"esc cancels", "ab", 2, true, {KeyEsc}, 13, "ab", 2, EditResult::Cancelled},
        {"ctrl+c cancels like esc", "ab", 2, true, {KeyCtrlC}, 13, "ab", 2, EditResult::Cancelled},
        {"f10 cancels like esc", "ab", 2, true, {KeyF10}, 13, "ab", 2, EditResult::Cancelled},
        {"a paste or a click is no key", "ab", 2, true, {KeyPaste, KeyMouse}, 13, "ab", 2, EditResult::Editing},
        {"the end of input cancels", "ab", 2, true, {KeyInputEnded}, 13, "ab", 2, EditResult::Cancelled},
        {"a cursor beyond the text is taken back", "ab", 9, true, Typed("c"), 13, "abc", 3, EditResult::Editing},
    };
    for (const Case& c : cases) {
        EditState state{c.text, c.cursor, c.insert};
        EditResult result = EditResult::Editing;
        for (std::uint16_t key : c.keys) {
            result = EditStep(state, key, c.maxLength);
            if (result != EditResult::Editing) break;
        }
        EXPECT_EQ(state.text, c.wantText) << c.what;
        EXPECT_EQ(state.cursor, c.wantCursor) << c.what;
        EXPECT_EQ(result, c.wantResult) << c.what;
    }
}

TEST(EditPaste, CutToTheField) {
    const struct {
        const char* what;
        const char* text;
        std::size_t cursor;
        const char* pasted;
        std::size_t maxLength;
        const char* result;
        std::size_t resultCursor;
    } cases[] = {
        {"into an empty field", "", 0, "Notes of the week", 57, "Notes of the week", 17},
        {"at the cursor", "ad", 1, "bc", 57, "abcd", 3},
        {"cut to what the field takes", "ab", 2, "cdefgh", 6, "abcde", 5},
        {"a full field takes nothing", "abcde", 1, "x", 6, "abcde", 1},
        {"a cursor beyond the text is taken back", "ab", 9, "c", 13, "abc", 3},
    };
    for (const auto& c : cases) {
        EditState state{c.text, c.cursor, true};
        EditPaste(state, c.pasted, c.maxLength);
        EXPECT_EQ(state.text, c.result) << c.what;
        EXPECT_EQ(state.cursor, c.resultCursor) << c.what;
    }
}

TEST(ScrollList, TheWheelMovesTheViewAndKeepsTheCursorInIt) {
    const struct {
        const char* what;
        int first, current, count, shown, delta;
        int resultFirst, resultCurrent;
    } cases[] = {
        {"down, cursor stays", 0, 5, 100, 57, 3, 3, 5},
        {"down, cursor pushed along", 0, 1, 100, 57, 3, 3, 3},
        {"down stops at the last page", 40, 50, 100, 57, 3, 43, 50},
        {"up, cursor pulled back", 10, 66, 100, 57, -3, 7, 63},
        {"up stops at the top", 1, 10, 100, 57, -3, 0, 10},
        {"a short list does not move", 0, 2, 4, 19, 3, 0, 2},
        {"an empty list", 5, 5, 0, 19, 3, 0, 0},
    };
    for (const auto& c : cases) {
        int first = c.first, current = c.current;
        ScrollList(first, current, c.count, c.shown, c.delta);
        EXPECT_EQ(first, c.resultFirst) << c.what;
        EXPECT_EQ(current, c.resultCurrent) << c.what;
    }
}

TEST(PanelHits, CellsToEntries) {
    FilePanel files;
    files.left = 1;
    files.top = 1;
    files.entries.resize(50);
    files.first = 3;
    AreaPanel areas;
    areas.left = 41;
    areas.top = 1;
    areas.tags = {"A", "B", "C", "D"};
    const struct {
        const char* what;
        bool filePanel;
        int column, row, index;
    } cases[] = {
        {"first cell of the first column", true, 2, 3, 3},
        {"last cell of the first column", true, 13, 21, 21},
        {"the line between columns", true, 14, 5, -1},
        {"second column", true, 15, 5, 3 + 19 + 2},
        {"third column, past the last entry", true, 38, 21, -1},
        {"third column", true, 28, 3, 3 + 38},
        {"the frame", true, 1, 5, -1},
        {"the heading row", true, 5, 2, -1},
        {"below the entries", true, 5, 22, -1},
        {"a tag", false, 45, 4, 1},
        {"the end of a tag's row", false, 79, 3, 0},
        {"below the tags", false, 45, 7, -1},
        {"the frame of the area panel", false, 41, 4, -1},
    };
    for (const auto& c : cases) {
        int index = c.filePanel ? FileEntryAt(files, 19, c.column, c.row) : AreaTagAt(areas, 19, c.column, c.row);
        EXPECT_EQ(index, c.index) << c.what;
    }
}

FileEntry Entry(std::string name, std::uint64_t size = 0, bool directory = false) {
    FileEntry entry;
    entry.shown = name;
    std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot != 0 && name != "..") entry.ext = name.substr(dot + 1);
    entry.name = std::move(name);
    entry.size = size;
    entry.isDirectory = directory;
    return entry;
}

std::string Names(const std::vector<FileEntry>& entries) {
    std::string names;
    for (const FileEntry& e : entries) names += (names.empty() ? "" : " ") + e.name;
    return names;
}

TEST(SortFileEntries, Modes) {
    const std::vector<FileEntry> read = {
        Entry("..", 0, true), Entry("zeta.zip", 5), Entry("Beta.txt", 900), Entry("docs", 0, true),
        Entry("alpha.zip", 70), Entry("readme", 3), Entry("Archive", 0, true), Entry("beta.TXT", 1),
        Entry("!inbox", 0, true),  // sorts before ".." by its bytes
    };
    struct Case {
        const char* mode;
        const char* want;
    };
    const Case cases[] = {
        {"UNSORT", ".. docs Archive !inbox zeta.zip Beta.txt alpha.zip readme beta.TXT"},
        // Letter case does not order names; bytes decide between namesakes.
        {"NAME", ".. !inbox Archive docs alpha.zip Beta.txt beta.TXT readme zeta.zip"},
        {"EXT", ".. !inbox Archive docs readme Beta.txt beta.TXT alpha.zip zeta.zip"},
        {"SIZE", ".. !inbox Archive docs beta.TXT readme zeta.zip alpha.zip Beta.txt"},
    };
    for (const Case& c : cases) {
        std::vector<FileEntry> entries = read;
        SortFileEntries(entries, c.mode);
        EXPECT_EQ(Names(entries), c.want) << c.mode;
    }
    // Without a parent entry (the root) directories still come first.
    std::vector<FileEntry> root = {Entry("b.zip", 1), Entry("usr", 0, true), Entry("a.zip", 2)};
    SortFileEntries(root, "SIZE");
    EXPECT_EQ(Names(root), "usr b.zip a.zip");
}

TEST(FilePanelText, LabelsInfoLinesAndGroups) {
    FileEntry pack = Entry("pack.zip", 1234);
    pack.date = "1-12-26";
    pack.time = "9:30";
    EXPECT_EQ(FileEntryLabel(pack), "pack     zip");
    EXPECT_EQ(FileInfoLine(pack), "pack.zip          1234  1-12-26   9:30");
    FileEntry readme = Entry("readme", 7);
    EXPECT_EQ(FileEntryLabel(readme), "readme      ");
    EXPECT_EQ(FileEntryLabel(Entry("..", 0, true)), "..          ");
    EXPECT_EQ(FileEntryLabel(Entry("a.b.c")), "a.b.c       ");
    EXPECT_EQ(FileEntryLabel(Entry("archive.tar.gz")), "archive.tar~");
    EXPECT_EQ(FileEntryLabel(Entry("Report.first")), "Report.first");
    // A UTF-8 name is measured as the console shows it, in code page 866.
    FileEntry cyrillic = Entry("\xD0\xB6.\xD0\xB6\xD0\xB6\xD0\xB6");
    cyrillic.shown = "\xA6.\xA6\xA6\xA6";
    EXPECT_EQ(FileEntryLabel(cyrillic), "\xA6        \xA6\xA6\xA6");
    FileEntry longCyrillic = Entry("\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82.txt");
    longCyrillic.shown = "\x8E\xE2\xE7\xF1\xE2.txt";
    EXPECT_EQ(FileEntryLabel(longCyrillic), "\x8E\xE2\xE7\xF1\xE2    txt");
    FileEntry dir = Entry("sources", 4096, true);
    dir.size = 0;
    dir.date = "30-11-26";
    dir.time = "23:05";
    EXPECT_EQ(FileInfoLine(dir), "sources                30-11-26  23:05");
    FileEntry huge = Entry("disk.img", 123456789012ULL);
    EXPECT_EQ(FileInfoLine(huge).substr(12, 10), "120563270K");
    // A long name keeps size, date and time beside it: cut in the middle,
    // its extension kept whole where the room allows.
    FileEntry report = Entry("A long file name.txt", 24);
    report.date = "1-12-26";
    report.time = "9:30";
    EXPECT_EQ(FileInfoLine(report), "A lon~me.txt        24  1-12-26   9:30");
    EXPECT_EQ(FileInfoLine(report, 77),
              "A long file name.txt                                       24  1-12-26   9:30");
    struct Cut {
        const char* name;
        std::size_t width;
        const char* want;
    };
    const Cut cuts[] = {
        {"Weekly News.txt", 15, "Weekly News.txt"},
        {"Weekly News.txt", 12, "Weekl~ws.txt"},
        {"archive.documents", 12, "a~.documents"},       // the extension wins over the head
        {"a.verylongextension", 8, "a~ension"},            // too long to keep: its end stays
        {"README-FIRST-PLEASE", 12, "READM~PLEASE"},       // no extension: halves
        {"abcdef", 2, "a~"},
    };
    for (const Cut& c : cuts) EXPECT_EQ(CutInMiddle(c.name, c.width), c.want) << c.name << " in " << c.width;
    // Links are marked; one to nothing says so where the size stands.
    FileEntry link = Entry("news link", 5);
    link.isLink = true;
    EXPECT_EQ(FileEntryLabel(link), "@news link  ");
    link.isDangling = true;
    EXPECT_EQ(FileEntryLabel(link), "!news link  ");
    EXPECT_EQ(FileInfoLine(link).substr(12, 10), " no target");
    // Wider screens give the file panel whole thirds of their extra columns.
    EXPECT_EQ(FilePanelWidth(60), 40);
    EXPECT_EQ(FilePanelWidth(80), 40);
    EXPECT_EQ(FilePanelWidth(82), 40);
    EXPECT_EQ(FilePanelWidth(120), 79);
    EXPECT_EQ(FilePanelWidth(200), 160);

    std::array<std::string, 7> groups = {",EXE,", ",ZIP,RAR,", "", "", "", ",.,", ",RAR,"};
    EXPECT_EQ(FileGroupOf("zip", groups), 2);
    EXPECT_EQ(FileGroupOf("RaR", groups), 7);  // a later group wins
    EXPECT_EQ(FileGroupOf("", groups), 6);
    EXPECT_EQ(FileGroupOf("ex", groups), 0);
    EXPECT_EQ(FileGroupOf("txt", groups), 0);
}

TEST(FilePanelText, PathsOnTheBorder) {
    EXPECT_EQ(PanelPathText("/"), " / ");
    EXPECT_EQ(PanelPathText("/home/fido/"), " /home/fido ");
    std::string longPath = "/srv/fidonet/filebox/uplinks/2-5020-1/incoming/";
    std::string shown = PanelPathText(longPath);
    EXPECT_EQ(shown, " /sr...ebox/uplinks/2-5020-1/incoming ");
    EXPECT_EQ(shown.size(), static_cast<std::size_t>(InfoWidth));
    std::string left;
    EXPECT_EQ(ParentDirectory("/a/b/", left), "/a/");
    EXPECT_EQ(left, "b");
    EXPECT_EQ(ParentDirectory("/a/", left), "/");
    EXPECT_EQ(left, "a");
    EXPECT_EQ(ParentDirectory("/", left), "/");
    EXPECT_EQ(left, "");
}

TEST(MoveFileCursor, ThreeColumns) {
    struct Case {
        const char* what;
        int first, current, count, rows;
        std::vector<std::uint16_t> keys;
        int wantFirst, wantCurrent;
    };
    const Case cases[] = {
        {"down within the view", 0, 0, 50, 5, {KeyDown, KeyDown}, 0, 2},
        {"down past the third column scrolls by one", 0, 14, 50, 5, {KeyDown}, 1, 15},
        {"up before the first shown scrolls back by one", 3, 3, 50, 5, {KeyUp}, 2, 2},
        {"up at the first entry stays", 0, 0, 50, 5, {KeyUp}, 0, 0},
        {"down at the last entry stays", 0, 9, 10, 5, {KeyDown}, 0, 9},
        {"right is one column", 0, 1, 50, 5, {KeyRight}, 0, 6},
        {"left is one column", 0, 7, 50, 5, {KeyLeft}, 0, 2},
        {"page down is three columns", 0, 0, 50, 5, {KeyPageDown}, 1, 15},
        {"page up stops at the first", 2, 4, 50, 5, {KeyPageUp}, 0, 0},
        {"end shows the last screen", 0, 0, 50, 5, {KeyEnd}, 35, 49},
        {"end of a short list", 0, 0, 7, 5, {KeyEnd}, 0, 6},
        {"home", 20, 30, 50, 5, {KeyHome}, 0, 0},
        {"a smaller window keeps the current entry in view", 0, 40, 50, 5, {0}, 26, 40},
        {"no entries", 4, 4, 0, 5, {KeyDown}, 0, 0},
    };
    for (const Case& c : cases) {
        int first = c.first, current = c.current;
        for (std::uint16_t key : c.keys) MoveFileCursor(first, current, c.count, c.rows, key);
        EXPECT_EQ(first, c.wantFirst) << c.what;
        EXPECT_EQ(current, c.wantCurrent) << c.what;
    }
}

TEST(AreaSearch, TypedLettersFindTags) {
    const std::vector<std::string> tags = {"FIDO.NEWS", "NET.RULES", "NEWS.LOCAL", "NEWS.WORLD", "\x8F\x90\x8E.FILES"};
    EXPECT_EQ(FindAreaByPrefix(tags, "NE"), 1);
    EXPECT_EQ(FindAreaByPrefix(tags, "news.w"), 3);
    EXPECT_EQ(FindAreaByPrefix(tags, "X"), -1);
    EXPECT_EQ(FindAreaByPrefix(tags, ""), 0);

    struct Case {
        const char* what;
        std::string search;
        std::vector<std::uint16_t> keys;
        std::string wantSearch;
        int wantLast;
    };
    const Case cases[] = {
        {"n then e goes to the first NE tag", "", Typed("ne"), "NE", 1},
        {"q after NE finds nothing and is taken off", "", Typed("neq"), "NE", -1},
        {"w after NE", "", Typed("new"), "NEW", 2},
        {"backspace takes a letter off and searches again", "NEWS.W", {KeyBackspace}, "NEWS.", 2},
        {"backspace of the last letter stays", "N", {KeyBackspace}, "", -1},
        {"backspace of nothing", "", {KeyBackspace}, "", -1},
        {"Cyrillic letters in any case", "", {0xAF, 0xE0}, "\x8F\x90", 4},
        {"extended keys are no letters", "NE", {KeyDown}, "NE", -1},
    };
    for (const Case& c : cases) {
        std::string search = c.search;
        int last = -2;
        for (std::uint16_t key : c.keys) last = SearchAreaKey(tags, search, key);
        EXPECT_EQ(search, c.wantSearch) << c.what;
        EXPECT_EQ(last, c.wantLast) << c.what;
    }
}

TEST(DriveMenu, MountPointsThatAreDrives) {
    struct Case {
        MountPoint mount;
        const char* want;
    };
    const Case cases[] = {
        {{"/", "ext4"}, "/ Fixed"},
        {{"/", "overlay"}, "/ Fixed"},
        {{"/dev/shm", "tmpfs"}, "/dev/shm RAM Disk"},
        {{"/media/cdrom", "iso9660"}, "/media/cdrom CD-ROM"},
        {{"/mnt/dvd", "udf"}, "/mnt/dvd CD-ROM"},
        {{"/mnt/hub", "nfs4"}, "/mnt/hub Remote"},
        {{"/mnt/share", "cifs"}, "/mnt/share Remote"},
        {{"/mnt/far", "fuse.sshfs"}, "/mnt/far Remote"},
        {{"/media/usb stick", "vfat"}, "/media/usb stick Fixed"},
        {{"/proc", "proc"}, ""},
        {{"/sys", "sysfs"}, ""},
        {{"/sys/fs/cgroup", "tmpfs"}, ""},
        {{"/sys/fs/cgroup/unified", "cgroup2"}, ""},
        {{"/dev/pts", "devpts"}, ""},
        {{"/dev", "devtmpfs"}, ""},
        {{"/dev/mqueue", "mqueue"}, ""},
        {{"/proc/sys/fs/binfmt_misc", "binfmt_misc"}, ""},
        {{"/devices", "ext4"}, "/devices Fixed"},
        {{"/system", "xfs"}, "/system Fixed"},
    };
    for (const Case& c : cases) EXPECT_EQ(DriveLabel(c.mount), c.want) << c.mount.path << " " << c.mount.type;
}

}  // namespace
