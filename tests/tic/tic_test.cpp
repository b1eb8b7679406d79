// The pieces of file-echo processing that are easy to get wrong: the TIC
// line grammar, TIC names, the file CRC, sizes in messages, directory and
// box names, file masks, description columns and archiver command lines.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "frame/platform.h"
#include "testkit.h"
#include "tic/archivers.h"
#include "tic/descriptions.h"
#include "tic/outbound.h"
#include "tic/tic.h"
#include "tic/toss.h"

namespace {

using Lines = std::vector<std::string>;

TicRecord ParseText(const std::string& text) {
    TicRecord tic;
    ParseTic(text, tic);
    return tic;
}

// Every read field as one line.
std::string Fields(const TicRecord& t) {
    std::string text = t.File + "|" + t.FullName + "|" + t.Desc + "|" + t.Area + "|" + t.From + "|" + t.To + "|" +
                       t.Pw + "|" + std::to_string(t.Size) + "|" + HexLong(t.Crc);
    for (const Lines* list : {&t.LDesc, &t.Path, &t.SeenBy}) {
        text += "|";
        for (const std::string& line : *list) text += line + ";";
    }
    return text;
}

TEST(TicRead, Lines) {
    const struct {
        std::string text, fields;
    } cases[] = {
        {"File foo.zip\r\ndesc  Some text \r\nLdesc one\r\nLDESC two\r\nSize 1024\r\nFrom 2:5020/1.0\r\n"
         "aReA foo_bar\r\nArea second\r\npw MixedCase\r\nTo Sysop 2:5020/1.0\r\nCrc 1a2b3c4d\r\n",
         "foo.zip|foo.zip|Some text|SECOND|2:5020/1|2:5020/1|MIXEDCASE|1024|1A2B3C4D|one;two;||"},
        // LF only, TABs as blanks, unknown keywords, no final line end.
        {"Created by OtherTosser 2.0\nArea\tNODEDIFF\nLfn Nodelist.Z12\nfile\t\tNODELIST.Z12\nFullname Long Name\n"
         "DESC Nodelist\tdiff\nFrom 2:5020/1\nCrc DEADBEEF",
         "NODELIST.Z12|Long Name|Nodelist diff|NODEDIFF|2:5020/1|||0|DEADBEEF|||"},
        // Bare CR line ends; keywords without values; no CRC line.
        {"\rArea A\r\rFile b.zip\rDesc\rReplaces\r", "b.zip|b.zip||A||||0|FFFFFFFF|||"},
        // Bad numbers read as 0; a To without digits gives no address.
        {"Crc xyz\r\nSize 12k\r\nTo Sysop\r\n", "|||||||0|00000000|||"},
        // Sizes beyond 32 bits are real ones; one beyond 64 bits is none.
        {"Crc 123456789\r\nSize 99999999999\r\nTo 2:5020/100.5@fidonet", "|||||2:5020/100.5||99999999999|00000000|||"},
        {"Size 99999999999999999999\r\n", "|||||||0|FFFFFFFF|||"},
        // List entries and long lines are cut; ";" belongs to the value.
        {"Path " + std::string(100, 'p') + "\r\nSeenBy " + std::string(40, 's') + "\r\nDesc " + std::string(300, 'd') +
             "\r\nPw a;b",
         "||" + std::string(250, 'd') + "||||A;B|0|FFFFFFFF||" + std::string(80, 'p') + ";|" + std::string(29, 's') +
             ";"},
    };
    for (const auto& c : cases) EXPECT_EQ(Fields(ParseText(c.text)), c.fields) << c.text.substr(0, 40);
    // Values written cannot open lines of their own.
    TicRecord tic;
    tic.File = "evil.zip\r\nArea OTHER";
    tic.Area = "MINE";
    EXPECT_EQ(ParseText(FormatTic(tic, LocalNow())).Area, "MINE");
    // A TIC that cannot be read leaves nothing behind.
    ScratchDir dir;
    tic.File = "kept?";
    EXPECT_EQ(ReadTic(dir.path, tic), TicReadStatus::CannotRead);
    EXPECT_EQ(tic.File, "");
}

TEST(TicNames, ShapeAndSpread) {
    SeedRandom();
    std::regex shape("BM[0-9A-Z]{6}\\.TIC");
    std::set<std::string> names;
    std::set<char> characters;
    for (int i = 0; i < 2000; ++i) {
        std::string name = NewTicName();
        ASSERT_TRUE(std::regex_match(name, shape)) << name;
        names.insert(name);
        characters.insert(name.begin() + 2, name.begin() + 8);
    }
    EXPECT_GT(names.size(), 1990u);
    EXPECT_EQ(characters.size(), 36u);  // every digit and letter turns up
}

TEST(FileCrc, KnownValuesAndBlockBoundaries) {
    ScratchDir dir;
    const struct {
        std::string bytes;
        std::uint32_t crc;
    } cases[] = {{"abc", 0x352441C2u}, {"", 0}, {"123456789", 0xCBF43926u}, {std::string(65537, 'a'), 0xC576715Fu}};
    for (const auto& c : cases) {
        WriteFileBytes(dir / "f", c.bytes);
        EXPECT_EQ(FileCrc32(dir / "f"), c.crc) << c.bytes.size();
    }
    EXPECT_EQ(FileCrc32(dir / "missing"), NoTicCrc);
    EXPECT_EQ(FileCrc32(dir.path), NoTicCrc);
}

TEST(TossNames, SizesDirectoriesAndPlainNames) {
    const struct {
        std::int64_t value;
        char separator;
        const char* text;
    } sizes[] = {{1234567, ',', "1,234,567"}, {123456, ',', "123,456"}, {12345, ' ', "12 345"}, {1000, ',', "1,000"},
                 {999, ',', "999"}, {2147483647, '.', "2.147.483.647"}, {1234567, 0, "1234567"}, {0, ',', "0"},
                 {-5, ',', "0"}};
    for (const auto& c : sizes) EXPECT_EQ(SizeText(c.value, c.separator), c.text) << c.value;
    // A TIC says the real size; a dupe record keeps what its field held for
    // big files ever since.
    const struct {
        std::uint64_t bytes;
        std::int64_t tic;
        std::int32_t dupe;
    } fields[] = {{0, 0, 0}, {2147483647, 2147483647, 2147483647}, {2147483648u, 2147483648, 2147483647},
                  {4294967296u, 4294967296, 2147483647}, {~0ull, 9223372036854775807, 2147483647}};
    for (const auto& c : fields) {
        EXPECT_EQ(TicSize(c.bytes), c.tic) << c.bytes;
        EXPECT_EQ(DupeSize(TicSize(c.bytes)), c.dupe) << c.bytes;
    }

    const struct {
        const char* tag;
        bool lfn, changePoint, useExt;
        const char* name;
    } dirs[] = {
        {"SAMPLE.NODELIST.DIFFS", true, true, false, "SAMPLE_NODELIST_DIFFS"},
        {"SAMPLE.NODELIST.DIFFS", true, false, false, "SAMPLE.NODELIST.DIFFS"},
        {"SAMPLE.NODELIST", false, true, false, "SAMPLE_N"},  {"SAMPLE.NODELIST", false, false, false, "SAMPLE.N"},
        {"AB.CD.EFGH", false, true, true, "AB_CD_EF.GH"},     {"AB.CD.EFGH", false, false, true, "AB_CD_EF.GH"},
        {"ABCDEFGHIJK", false, false, true, "ABCDEFGH.IJK"}, {"ABCDEFGHIJKLMNOP", false, false, true, "ABCDEFGH.IJK"},
        {"ABCDEFGHI", false, false, true, "ABCDEFGH.I"},     {"ABCDEFGH_IJKLMN", false, false, true, "ABCDEFGH.IJK"},
        {"ABCDEFGH", false, false, true, "ABCDEFGH"},        {"A.B", false, false, true, "A_B"},
    };
    for (const auto& c : dirs)
        EXPECT_EQ(AreaDirectoryName(c.tag, c.lfn, c.changePoint, c.useExt), c.name) << c.tag << c.lfn << c.useExt;

    // Whatever the settings make of a tag, a path in it must be seen.
    const struct {
        std::string name;
        bool plain;
    } names[] = {{"NODELIST.341", true}, {"Long name.zip", true}, {"*.ZIP", true}, {"....", true},
                 {".hidden", true},      {"", false},             {".", false},     {"..", false},
                 {"../etc/passwd", false}, {"/etc", false},      {"file.zip/", false}, {std::string("f\0/x", 4), false},
                 {AreaDirectoryName("../../ESCAPE", true, false, false), false},
                 {AreaDirectoryName("A/B", false, true, true), false}, {AreaDirectoryName("..", true, true, false), true}};
    for (const auto& c : names) EXPECT_EQ(IsPlainName(c.name), c.plain) << c.name;

    // Code page 866 letters are bytes above 127, not control characters.
    const struct {
        std::string name;
        bool usable;
    } usable[] = {{"Release Notes 2026.txt", true}, {" lead and trail ", true}, {"\x8E\xE2\xE7\xA5\xE2.txt", true},
                  {"[x] it's.zip", true},             {"Release \"Final\".zip", false}, {"Tab\tname.txt", false},
                  {"bell\a.zip", false},              {"del\x7F.zip", false},            {"\"", false}};
    for (const auto& c : usable) EXPECT_EQ(IsUsableFileName(c.name), c.usable) << c.name;
}

TEST(Outbound, BoxNamesAndFlavours) {
    const struct {
        const char* address;
        bool hold;
        const char *box, *longBox;
    } boxes[] = {
        {"2:5020/1", false, "024SS001.00", "2.5020.1.0"},       {"2:5020/1", true, "024SS001.00H", "2.5020.1.0.H"},
        {"2:5020/1.33", false, "024SS001.11", "2.5020.1.33"},   {"65535:65535/65535.1023", false, "VVVVVVVV.VV",
                                                                 "65535.65535.65535.1023"},
    };
    for (const auto& c : boxes) {
        EXPECT_EQ(FileBoxName(c.address, c.hold), c.box) << c.address;
        EXPECT_EQ(LongFileBoxName(c.address, c.hold), c.longBox) << c.address;
    }
    const struct {
        Flavour filesSend;
        const char *flavour, *attributes;
    } flavours[] = {{Flavour::Direct, "DIR", "DIR PVT LOC K/S ATT"},
                    {Flavour::Hold, "HLD", "HLD PVT LOC K/S ATT"},
                    {Flavour::Normal, "", "PVT LOC K/S ATT"}};
    for (const auto& c : flavours) {
        EXPECT_EQ(LinkFlavour(c.filesSend), c.flavour) << c.attributes;
        EXPECT_EQ(AttachAttributes(c.filesSend), c.attributes) << c.attributes;
    }
}

TEST(Descriptions, ColumnsAndMasks) {
    const Lines ldesc{"First", "Second", "Third"};
    const struct {
        const char *mode, *name;
        Lines ldesc;
        int descPos, dlcPos;
        const char *counter, *prefix;
        Lines lines;
    } cases[] = {
        {"DESC", "FOO.ZIP", {}, 20, 14, "[00]", "", {"FOO.ZIP      [00]  Test"}},
        {"DESC", "ABCDEFGH.ZIP", {}, 19, 14, "[00]", "", {"ABCDEFGH.ZIP [00] Test"}},
        // A name that reaches the counter column: one blank, then the counter;
        // the description follows the name part when it is past DESCPOS.
        {"DESC", "ABCDEFGHI.ZIP", {}, 19, 14, "[00]", "", {"ABCDEFGHI.ZIP [00]Test"}},
        {"DESC", "A_VERY_LONG_NAME.ZIP", {}, 14, 14, "[00]", "", {"A_VERY_LONG_NAME.ZIP [00]Test"}},
        {"DESC", "A_VERY_LONG_NAME.ZIP", {}, 19, 14, "", "", {"A_VERY_LONG_NAME.ZIP Test"}},
        {"DESC", "ABCDEFGHI.ZIP", {}, 22, 14, "[00]", "", {"ABCDEFGHI.ZIP [00]   Test"}},
        // Without a counter such a name is followed by one blank and the text.
        {"DESC", "ABCDEFGHI.ZIP", {}, 20, 14, "", "", {"ABCDEFGHI.ZIP Test"}},
        // Names with blanks in quotes, the quotes counted in the name's length.
        {"DESC", "a b", {}, 19, 14, "[00]", "", {"\"a b\"        [00] Test"}},
        {"DESC", "Notes 2026.txt", {}, 19, 14, "[00]", "", {"\"Notes 2026.txt\" [00]Test"}},
        {"DESC", " lead", {}, 19, 14, "", "", {"\" lead\"           Test"}},
        {"DESC", "\"quoted", {}, 1, 1, "", "", {"\"\"quoted\" Test"}},
        {"DESC", "A\r\nB", {}, 1, 1, "", "", {"\"A  B\" Test"}},
        {"LDESC", "FOO.ZIP", ldesc, 14, 14, "", " +", {"FOO.ZIP      First", " +Second", " +Third"}},
        {"EXTRACT", "FOO.ZIP", ldesc, 6, 3, "", "", {"FOO.ZIP First", "     Second", "     Third"}},
        // DESC mode and an empty long description both give the one-line form.
        {"DESC", "FOO.ZIP", ldesc, 14, 14, "", " +", {"FOO.ZIP      Test"}},
        {"LDESC", "FOO.ZIP", {}, 14, 14, "", " +", {"FOO.ZIP      Test"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatDescription(c.mode, c.name, "Test", c.ldesc, {c.descPos, c.dlcPos, c.counter, c.prefix}), c.lines)
            << c.mode << " " << c.name;
    // The line limit cuts the text, never the name.
    const std::string longName = "Long " + std::string(260, 'x');
    EXPECT_EQ(FormatDescription("DESC", longName, "Test", {}, {19, 14, "[00]", ""}),
              Lines{"\"" + longName + "\" [00]"});
    EXPECT_EQ(FormatDescription("DESC", "FOO.ZIP", std::string(300, 'd'), {}, {19, 14, "[00]", ""}).front().size(), 255u);

    const struct {
        const char *name, *mask;
        bool matches;
    } masks[] = {
        {"FOO.ZIP", "FOO.*", true},    {"foo.zip", "F?O.Z*", true},   {"README", "*.*", true},
        {"README", "README", true},    {"ARC.TAR.GZ", "ARC.*", true}, {"FOOD.ZIP", "FOO.*", false},
        {"FOO.ZIP", "FOO.ARJ", false}, {"FOO", "FOO.ZIP", false},
    };
    for (const auto& c : masks) EXPECT_EQ(MatchFileMask(c.name, c.mask), c.matches) << c.name << " ~ " << c.mask;
}

// The lines as a list file holds them.
std::string Text(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

// Lists written by this program in earlier versions and by other software.
TEST(Descriptions, EntriesReadBackWithTheirContinuations) {
    const Lines list{"OTHER.ZIP    Other",
                     "FOO.ZIP [00] First line", " +second", "   blank-led without prefix", " +third",
                     "BAR.ZIP      Bar", "             bar 2", "             bar 3",
                     "NEXT.ZIP     Next", " +FOO.TXT is mentioned", "bare.zip",
                     "Weekly News 2026.txt[00]Long name", " +its second line",
                     "My file.zip  [00] Padded name", "OLD.TXT Old file",
                     "Meeting notes.txt old.txt[00] Minutes", "\"Meeting notes.txt\" [00]The agenda",
                     "Track[00].mp3 [00]A song", "\"unclosed name[00]Quote",
                     "VeryLongFileName2026.zip[00]Update", "LongEmptyName2026.zip[00]",
                     "COUNTED.ZIP  [03] Test of it", "Old file.zip [03] Fetched", "Weekly News 2025.txt[123]Counted",
                     "OLD2.TXT Fixes the [00] counter", "Foo[00]bar.zip Some text",
                     "FILE2026.ZIP Release 2026", "VeryLongFile2026.zip Release", "NEWS.TXT     12 Read 12 times"};
    const struct {
        const char *name, *prefix;
        int descPos;
        Lines entry;
    } cases[] = {
        {"foo.zip", " +", 14, {"First line", "second", "   blank-led without prefix", "third"}},
        {"BAR.ZIP", "", 14, {"Bar", "bar 2", "bar 3"}},
        {"OTHER.ZIP", "", 40, {"Other"}},
        {"OTHER.ZIP", "", 11, {"   Other"}},  // blanks from the description column on are text
        {"NONE.ZIP", "", 14, {}},
        {"FOO.TXT", " +", 14, {}},  // named in a continuation only
        {"BARE.ZIP", "", 14, {""}},
        {"BARE.ZIP ", "", 14, {}},
        // A long name run into its counter, a name with blanks padded to it.
        {"weekly news 2026.txt", " +", 19, {"Long name", "its second line"}},
        {"Weekly", " +", 19, {}},
        {"MY FILE.ZIP", "", 19, {"Padded name"}},
        {"My", "", 19, {}},
        {"VeryLongFileName2026.zip", "", 19, {"Update"}},
        {"LongEmptyName2026.zip", "", 19, {""}},
        // The BBS has counted downloads.
        {"counted.zip", "", 19, {"Test of it"}},
        {"Old file.zip", "", 19, {"Fetched"}},
        {"Weekly News 2025.txt", "", 19, {"Counted"}},
        // A counter where no earlier version put one is text.
        {"OLD2.TXT", "", 19, {"Fixes the [00] counter"}},
        {"OLD2.TXT Fixes the", "", 19, {}},
        {"Foo[00]bar.zip", "", 19, {"Some text"}},
        {"Foo", "", 19, {}},
        // Other software: one blank after the name.
        {"old.txt", "", 19, {"Old file"}},
        // A name that is another's beginning takes only its own entry.
        {"Meeting notes.txt", "", 19, {"The agenda"}},
        {"Meeting notes.txt old.txt", "", 19, {"Minutes"}},
        {"Track[00].mp3", "", 19, {"A song"}},
        {"\"unclosed name", "", 19, {"Quote"}},  // no closing quote: a bare name
    };
    for (const auto& c : cases) {
        const DescriptionLayout layout{c.descPos, 14, "[00]", c.prefix};
        EXPECT_EQ(FindDescription(list, c.name, layout), c.entry) << c.name;
        EXPECT_EQ(FindDescription(IndexDescriptions(Text(list), layout), c.name, layout), c.entry) << c.name;
    }
    // Without a counter the first word decides.
    EXPECT_EQ(FindDescription(list, "My", {19, 14, "", ""}), Lines{"file.zip  [00] Padded name"});
    // A counter of digits alone: any number, never part of one.
    const struct {
        const char* name;
        Lines entry;
    } digits[] = {
        {"FILE2026.ZIP", {"Release 2026"}}, {"FILE2", {}}, {"VeryLongFile2026.zip", {"Release"}},
        {"VeryLongFile2", {}}, {"NEWS.TXT", {"Read 12 times"}},
    };
    for (const auto& c : digits) EXPECT_EQ(FindDescription(list, c.name, {19, 14, "0", ""}), c.entry) << c.name;

    const struct {
        const char* mask;
        Lines gone;
    } removals[] = {
        {"OLD.*", {"OLD.TXT Old file"}},
        {"my*.zip", {"My file.zip  [00] Padded name"}},
        {"meeting notes.txt", {"\"Meeting notes.txt\" [00]The agenda"}},
        {"WEEKLY NEWS 2026.TXT", {"Weekly News 2026.txt[00]Long name", " +its second line"}},
        {"Weekly", {}},
        {"verylongfilename2026.zip", {"VeryLongFileName2026.zip[00]Update"}},
        {"Old file.zip", {"Old file.zip [03] Fetched"}},
        {"OLD2.TXT", {"OLD2.TXT Fixes the [00] counter"}},
    };
    for (const auto& c : removals) {
        Lines expected;
        for (const std::string& line : list)
            if (std::find(c.gone.begin(), c.gone.end(), line) == c.gone.end()) expected.push_back(line);
        EXPECT_EQ(RemoveDescriptionLines(list, c.mask, {19, 14, "[00]", " +"}), expected) << c.mask;
    }

    ScratchDir dir;
    const std::string file = dir / "files.bbs";
    const DescriptionLayout plain{14, 14, "", ""};
    EXPECT_TRUE(ReadDescription(file, "FOO.ZIP", plain).empty());
    EXPECT_FALSE(DescriptionExists(file, "FOO.ZIP", plain));
    // A list edited by hand without its last line end: the new entry starts a line of its own.
    WriteFileBytes(file, "bare.zip");
    ASSERT_EQ(AddDescription("DESC", "NEW.ZIP", file, "New", {}, plain), 0);
    EXPECT_EQ(ReadFileBytes(file), "bare.zip\r\nNEW.ZIP      New\r\n");
    EXPECT_EQ(ReadDescription(file, "new.zip", plain), Lines{"New"});
    EXPECT_TRUE(DescriptionExists(file, "BARE.ZIP", plain));
    EXPECT_FALSE(DescriptionExists(file, "BARE", plain));
}

// A plain first-word reader, as BBS software reads a list: a name in
// quotes whole, otherwise up to the first blank.
std::string FirstWordReader(const std::string& line) {
    if (line.starts_with('"')) return line.substr(1, line.find('"', 1) - 1);
    return line.substr(0, line.find(' '));
}

TEST(Descriptions, ListsWrittenReadBackAsTheSameNames) {
    const Lines names{"FOO.ZIP", "a", "ABCDEFGH.ZIP", "ABCDEFGHI.ZIP", "VeryLongFileName2026.zip",
                      "Release Notes 2026.txt", "  Leading blanks.txt", "trailing.txt ", " ",
                      "Weekly", "Weekly News.txt", "Meeting notes.txt", "Meeting notes.txt old.txt",
                      "Отчёт за 2026 год.pdf", "\x8e\xe2\xe7\xa5\xe2.txt", "File[1].zip", "[Group] Episode 01.mkv",
                      "Track[00].mp3", "50% [00] off.txt", "Notes[03].txt", "FILE2026.ZIP", "Report2026.txt"};
    const DescriptionLayout layouts[] = {{19, 14, "[00]", "                 |"}, {19, 14, "", ""}, {14, 14, "[00]", " +"},
                                         {1, 1, "", "+"}, {1, 1, "[00]", "+"}, {19, 14, "0", " +"}};
    for (const auto& layout : layouts) {
        Lines list;
        std::vector<std::size_t> firstLines;
        for (std::size_t n = 0; n < names.size(); ++n) {
            firstLines.push_back(list.size());
            const Lines ldesc{"Entry " + std::to_string(n), "more of " + std::to_string(n)};
            for (const std::string& line : FormatDescription("LDESC", names[n], "", ldesc, layout))
                list.push_back(line);
        }
        const DescriptionIndex index = IndexDescriptions(Text(list), layout);
        for (std::size_t n = 0; n < names.size(); ++n) {
            const std::string& name = names[n];
            const std::string where = name + " in layout " + std::to_string(layout.descPos) + "/" + layout.dlcString;
            EXPECT_EQ(FirstWordReader(list[firstLines[n]]), name) << where;
            const Lines expected{"Entry " + std::to_string(n), "more of " + std::to_string(n)};
            EXPECT_EQ(FindDescription(list, name, layout), expected) << where;
            EXPECT_EQ(FindDescription(index, name, layout), expected) << where;
            Lines rest = list;
            rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(firstLines[n]),
                       rest.begin() + static_cast<std::ptrdiff_t>(firstLines[n] + 2));
            EXPECT_EQ(RemoveDescriptionLines(list, name, layout), rest) << where;
        }
    }
}

TEST(Descriptions, KnownNamesGoAsNamesReplacesAsMasks) {
    const Lines list{"*.zip        [00] Star", " +its second line", "a?.zip       [00] Question mark",
                     "ab.zip       [00] Plain", "FOO.TXT      Text"};
    const struct {
        const char* name;
        EntryMatch given;
        Lines kept;
    } cases[] = {
        {"a?.zip", EntryMatch::Exact, {"*.zip        [00] Star", " +its second line", "ab.zip       [00] Plain",
                                      "FOO.TXT      Text"}},
        {"A?.ZIP", EntryMatch::Mask, {"*.zip        [00] Star", " +its second line", "FOO.TXT      Text"}},
        {"*.ZIP", EntryMatch::Exact, {"a?.zip       [00] Question mark", "ab.zip       [00] Plain", "FOO.TXT      Text"}},
        {"*.zip", EntryMatch::Mask, {"FOO.TXT      Text"}},
        {"foo.txt", EntryMatch::Exact, {"*.zip        [00] Star", " +its second line",
                                       "a?.zip       [00] Question mark", "ab.zip       [00] Plain"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RemoveDescriptionLines(list, c.name, {19, 14, "[00]", " +"}, c.given), c.kept) << c.name;
}

TEST(Archivers, CommandLineMacrosOnceAndValuesQuotedForTheShell) {
    ArchiverRecord unzip{"ZIP", "504B0304", "unzip -o %a %F -d %T %A", "", 0};
    const struct {
        const char *archive, *temp, *command;
    } cases[] = {
        {"/in/x.zip", "/tmp/t/", "unzip -o /in/x.zip file_id.diz -d /tmp/t/ %A"},
        // Text of a path is never taken for a macro.
        {"/in/x%Ty.zip", "/tmp/%A/", "unzip -o /in/x%Ty.zip file_id.diz -d /tmp/%A/ %A"},
        {"/in/my file;rm x.zip", "/tmp/t/", "unzip -o '/in/my file;rm x.zip' file_id.diz -d /tmp/t/ %A"},
        {"/in/it's.zip", "/tmp/t/", "unzip -o '/in/it'\\''s.zip' file_id.diz -d /tmp/t/ %A"},
        {"/in/$(reboot).zip", "/tmp/t/", "unzip -o '/in/$(reboot).zip' file_id.diz -d /tmp/t/ %A"},
    };
    for (const auto& c : cases) EXPECT_EQ(ExtractCommandLine(unzip, c.archive, c.temp), c.command) << c.archive;
}

}  // namespace
