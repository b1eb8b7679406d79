#include "announce/announce.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <unordered_map>

#include "announce/records.h"
#include "config/mainconfig.h"
#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/exit.h"
#include "frame/log.h"
#include "frame/platform.h"
#include "frame/platform_blockio.h"
#include "frame/utils.h"

namespace {


constexpr std::size_t FileSize = sizeof(AnnouncementRecord::File);

// What the run has to tell beside its output: shown after "OK" and logged.
struct Notes {
    std::string logName;
    std::vector<std::string> lines;
    void Add(std::string line) { lines.push_back(PrintableText(line)); }
    void Show() const {
        for (const std::string& line : lines) {
            WriteErrorLine(line);
            WriteLog(logName, line);
        }
    }
};

// One record as the announcement keeps it: the sort key (the whole file
// echo tag, then the whole file name) and the rest, with the tag, the
// comment and the directory kept once per distinct text and the names in
// one pool. A million records stay small.
struct Entry {
    std::uint32_t echo;
    std::size_t nameAt;
    std::uint16_t nameSize;
    bool wholeName;  // else the name may be cut to its field
    char group;
    FidoAddress origin, from;
    std::uint32_t comment, directory;
    std::uint32_t order;  // read order: the first of equal keys is kept
};

struct RecordSet {
    std::vector<Entry> entries;
    std::vector<std::string> texts;
    std::unordered_map<std::string, std::uint32_t> textIds;
    std::string names;
    std::vector<std::uint32_t> rank;  // of each text, in byte order: the tags' sort order
    bool longNames = false;           // some record names a file whole in more than 12 characters

    std::uint32_t Intern(std::string text) {
        auto [it, added] = textIds.try_emplace(std::move(text), static_cast<std::uint32_t>(texts.size()));
        if (added) texts.push_back(it->first);
        return it->second;
    }
    std::string_view Name(const Entry& entry) const {
        return std::string_view(names).substr(entry.nameAt, entry.nameSize);
    }
};

bool InGroups(char group, const std::string& groups) {
    if (groups.empty()) return true;
    const char upper = (group >= 'a' && group <= 'z') ? static_cast<char>(group - 'a' + 'A') : group;
    return groups.find(upper) != std::string::npos;
}

void LoadRecordFile(const std::string& path, const std::string& groups, RecordSet& set, Notes& notes) {
    std::uint64_t size = 0;
    if (GetFileSize(path, size) && size % AnnouncementRecordSize != 0)
        notes.Add(Fill(Fill(MessageText(Msg::ANNTORN), "%f", ExtractFileName(path)), "%n",
                       std::to_string(size % AnnouncementRecordSize)));
    std::string pending;
    RecordJoin join;
    StoredRecord stored;
    auto take = [&](std::string_view bytes) {
        if (!JoinRecordBlock(join, bytes, stored)) return;
        const AnnouncementRecord& record = stored.record;
        if (!InGroups(record.Group, groups)) return;
        Entry entry;
        entry.echo = set.Intern(stored.fileEcho);
        entry.nameAt = set.names.size();
        entry.nameSize = static_cast<std::uint16_t>(stored.fileName.size());
        set.names.append(stored.fileName);
        entry.wholeName = stored.wholeName;
        if (stored.wholeName && stored.fileName.size() > FileSize) set.longNames = true;
        entry.group = record.Group;
        entry.origin = record.Origin;
        entry.from = record.From;
        entry.comment = set.Intern(std::string(record.Comment, sizeof record.Comment));
        std::string directory(record.Directory, sizeof record.Directory);
        TrimRight(directory);
        entry.directory = set.Intern(std::move(directory));
        entry.order = static_cast<std::uint32_t>(set.entries.size());
        set.entries.push_back(entry);
    };
    int error = ReadFileBlocks(path, AnnouncementRecordSize * 2048, [&](const unsigned char* data, std::size_t count) {
        std::string_view block(reinterpret_cast<const char*>(data), count);
        if (!pending.empty()) {
            const std::size_t missing = AnnouncementRecordSize - pending.size();
            const std::size_t used = std::min(missing, block.size());
            pending.append(block.substr(0, used));
            block.remove_prefix(used);
            if (pending.size() < AnnouncementRecordSize) return;
            take(pending);
            pending.clear();
        }
        while (block.size() >= AnnouncementRecordSize) {
            take(block.substr(0, AnnouncementRecordSize));
            block.remove_prefix(AnnouncementRecordSize);
        }
        pending.assign(block);
    });
    if (error != 0) RuntimeError(error);
    EndRecordBlocks(join);
    if (join.torn + join.strays > 0)
        notes.Add(Fill(Fill(MessageText(Msg::ANNPIECES), "%f", ExtractFileName(path)), "%n",
                       std::to_string(join.torn + join.strays)));
}

// Sorted by file echo and file; of equal keys the first read stays. The
// few tags are ranked once, so that a million records compare cheaply.
void SortRecords(RecordSet& set) {
    std::vector<std::uint32_t> byText(set.texts.size());
    for (std::uint32_t id = 0; id < byText.size(); ++id) byText[id] = id;
    std::sort(byText.begin(), byText.end(),
              [&set](std::uint32_t a, std::uint32_t b) { return set.texts[a] < set.texts[b]; });
    std::vector<std::uint32_t>& rank = set.rank;
    rank.assign(set.texts.size(), 0);
    for (std::uint32_t n = 0; n < byText.size(); ++n) rank[byText[n]] = n;
    std::sort(set.entries.begin(), set.entries.end(), [&](const Entry& a, const Entry& b) {
        if (a.echo != b.echo) return rank[a.echo] < rank[b.echo];
        const int order = set.Name(a).compare(set.Name(b));
        return order != 0 ? order < 0 : a.order < b.order;
    });
    auto end = std::unique(set.entries.begin(), set.entries.end(), [&set](const Entry& a, const Entry& b) {
        return a.echo == b.echo && set.Name(a) == set.Name(b);
    });
    set.entries.erase(end, set.entries.end());
}

// The template split at its marker lines.
struct Template {
    std::vector<std::string> header, echoHeader, block, footer, trailer;
    std::size_t firstFileLine = 0;  // block line where the further files of an echo start
};

bool IsMarker(const std::string& line, std::string_view marker) { return UpperCase(line) == marker; }

Template SplitTemplate(const std::vector<std::string>& lines, const std::string& name, Notes& notes) {
    Template tpl;
    std::size_t i = 0;
    for (; i < lines.size() && !IsMarker(lines[i], "[BEGIN]"); ++i) tpl.header.push_back(lines[i]);
    if (i == lines.size()) {
        notes.Add(Fill(MessageText(Msg::ANNNOBEGIN), "%f", name));
        tpl.trailer.emplace_back();
        return tpl;
    }
    std::vector<std::string> body;
    for (++i; i < lines.size() && !IsMarker(lines[i], "[END]"); ++i) body.push_back(lines[i]);
    if (i < lines.size()) tpl.trailer.assign(lines.begin() + static_cast<std::ptrdiff_t>(i) + 1, lines.end());
    // A template that ends with its [END] line still ends in one empty line.
    if (tpl.trailer.empty()) tpl.trailer.emplace_back();

    auto begin2 = std::find_if(body.begin(), body.end(), [](const std::string& l) { return IsMarker(l, "[BEGIN2]"); });
    if (begin2 == body.end()) {
        notes.Add(Fill(MessageText(Msg::ANNNOBEGIN2), "%f", name));
        auto end2 = std::find_if(body.begin(), body.end(), [](const std::string& l) { return IsMarker(l, "[END2]"); });
        tpl.echoHeader.assign(body.begin(), end2);
        if (end2 != body.end()) tpl.footer.assign(end2 + 1, body.end());
        return tpl;
    }
    tpl.echoHeader.assign(body.begin(), begin2);
    auto end2 = std::find_if(begin2 + 1, body.end(), [](const std::string& l) { return IsMarker(l, "[END2]"); });
    if (end2 == body.end()) notes.Add(Fill(MessageText(Msg::ANNNOEND2), "%f", name));
    tpl.block.assign(begin2 + 1, end2);
    if (end2 != body.end()) tpl.footer.assign(end2 + 1, body.end());
    for (std::size_t n = 0; n < tpl.block.size(); ++n) {
        if (FindNoCase(tpl.block[n], "@FILE") != std::string::npos) {
            tpl.firstFileLine = n;
            break;
        }
    }
    return tpl;
}

// A directory that records name: its files, read once, and its
// description list.
struct DirectoryInfo {
    std::string path;  // ends in "/"
    DirectoryListing listing;
    std::string descFile;  // empty when the directory has no list
};

struct Generator {
    Generator(const NodeConfig& node, const DescriptionReader& readDescription, const RecordSet& set, Notes& notes)
        : node(node), readDescription(readDescription), set(set), notes(notes) {}

    const NodeConfig& node;
    const DescriptionReader& readDescription;
    const RecordSet& set;
    Notes& notes;
    std::string dateText;
    std::string out;
    std::uint64_t allSize = 0;
    std::uint64_t allFiles = 0;
    std::unordered_map<std::uint32_t, DirectoryInfo> directories;
    const Template* tpl = nullptr;

    void Emit(std::string_view line) {
        out.append(line);
        out.append("\r\n");
    }

    std::string HeaderLine(const std::string& line) const {
        std::string text = Fill(line, "@DATE", dateText);
        text = Fill(text, "@CURDATE", TodayText());
        text = Fill(text, "@CURTIME", TimeText());
        text = Fill(text, "@ALLSIZE", SizeText(static_cast<std::int64_t>(allSize), node.main.separator));
        text = Fill(text, "@ALLFILES", std::to_string(allFiles));
        return Fill(text, "@VERSION", std::string(VersionNumber) + "." + std::string(PlatformWord));
    }

    const DirectoryInfo& Directory(std::uint32_t id) {
        auto found = directories.find(id);
        if (found != directories.end()) return found->second;
        DirectoryInfo info;
        info.path = ResolveConfigPath(node.programDir, set.texts[id]);
        AddTrailingSlash(info.path);
        info.listing = MakeDirectoryListing(FindFiles(info.path + "*", SearchKind::FilesOnly));
        if (!node.main.descFile.empty()) {
            const RecordedFileMatch list = FindRecordedFile(info.listing, node.main.descFile);
            if (list.entry != nullptr) info.descFile = info.path + list.entry->name;
        }
        return directories.emplace(id, std::move(info)).first->second;
    }

    static void Put(std::string& line, const FieldToken& token, std::string_view value) {
        line.replace(token.at, token.length, FitText(value, token.width, token.padLeft));
    }

    static void Blank(std::string& line, const FieldToken& token, std::size_t width) {
        if (!token.found() || token.at >= line.size()) return;
        line.replace(token.at, std::min(width, line.size() - token.at), std::min(width, line.size() - token.at), ' ');
    }

    void EchoHeader(const Entry& entry) {
        const std::string& echo = set.texts[entry.echo];
        for (const std::string& line : tpl->echoHeader) {
            std::string text = line;
            if (FieldToken t = FindFieldToken(text, "@FILEECHO"); t.found()) Put(text, t, echo);
            if (FieldToken t = FindFieldToken(text, "@COMMENT"); t.found()) Put(text, t, set.texts[entry.comment]);
            Emit(text);
        }
    }

    // The file of one record, looked up once however many lines ask.
    struct FileFacts {
        bool resolved = false;
        const DirEntry* file = nullptr;
        const DirectoryInfo* directory = nullptr;
        bool described = false;
        std::vector<std::string> description;
    };

    void Resolve(const Entry& entry, FileFacts& facts) {
        if (facts.resolved) return;
        facts.resolved = true;
        facts.directory = &Directory(entry.directory);
        const std::string_view name = set.Name(entry);
        if (entry.wholeName) {
            facts.file = FindWholeName(facts.directory->listing, name).entry;
            return;
        }
        const RecordedFileMatch match = FindRecordedFile(facts.directory->listing, FitText(name, FileSize));
        facts.file = match.entry;
        if (match.candidates > 1) {
            const std::string cut(name);
            std::string text = Fill(MessageText(Msg::ANNAMBIGUOUS), "%n", std::to_string(match.candidates));
            text = Fill(text, "%d", facts.directory->path);
            text = Fill(text, "%f", cut);
            notes.Add(Fill(text, "%g", match.entry->name));
        }
    }

    const std::vector<std::string>& Description(const Entry& entry, FileFacts& facts) {
        Resolve(entry, facts);
        if (facts.described) return facts.description;
        facts.described = true;
        if (!facts.directory->descFile.empty()) {
            const std::string name(set.Name(entry));
            facts.description = readDescription(facts.directory->descFile, facts.file ? facts.file->name : name);
        }
        if (facts.description.empty()) facts.description.push_back(node.main.defaultDesc);
        for (std::string& line : facts.description) TabsToSpaces(line);
        return facts.description;
    }

    // The first token of macro that does not overlap one taken before.
    static FieldToken FreeToken(const std::string& line, std::string_view macro, const std::vector<FieldToken>& taken) {
        for (FieldToken t = FindFieldToken(line, macro); t.found(); t = FindFieldToken(line, macro, t.at + 1)) {
            bool overlaps = false;
            for (const FieldToken& other : taken)
                if (other.found() && t.at < other.at + other.length && other.at < t.at + t.length) overlaps = true;
            if (!overlaps) return t;
        }
        return FieldToken{};
    }

    void BlockLine(const std::string& line, const Entry& entry, FileFacts& facts) {
        std::vector<FieldToken> taken;
        const FieldToken file = FreeToken(line, "@FILE", taken);
        taken.push_back(file);
        const FieldToken size = FreeToken(line, "@FS", taken);
        taken.push_back(size);
        const FieldToken desc = FreeToken(line, "@DESC", taken);
        taken.push_back(desc);
        const FieldToken origin = FreeToken(line, "@ORIGIN", taken);
        taken.push_back(origin);
        const FieldToken from = FreeToken(line, "@FROM", taken);
        taken.push_back(from);

        // Right to left, so that a token cut short by the line's end moves
        // nothing that is still to be replaced.
        std::vector<std::pair<FieldToken, std::string>> values;
        std::size_t fileWidth = FileSize;
        if (file.found()) {
            // A name longer than the column is written whole, then one blank,
            // and the rest of the line moves along.
            std::string name(set.Name(entry));
            FieldToken column = file;
            if (name.size() > FileSize) {
                name += ' ';
                column.width = name.size();
            }
            fileWidth = column.width;
            values.emplace_back(column, std::move(name));
            ++allFiles;
        }
        if (size.found()) {
            Resolve(entry, facts);
            if (facts.file != nullptr) {
                values.emplace_back(size, SizeText(static_cast<std::int64_t>(facts.file->size), node.main.separator));
                allSize += facts.file->size;
            } else {
                values.emplace_back(size, MessageText(Msg::ANNMISSED));
            }
        }
        if (desc.found()) values.emplace_back(desc, Description(entry, facts).front());
        if (origin.found())
            values.emplace_back(origin, entry.origin == FidoAddress{} ? MessageText(Msg::UNKNOWN)
                                                                      : FormatAddress(entry.origin));
        if (from.found()) values.emplace_back(from, FormatAddress(entry.from));
        if (values.empty()) {
            Emit(line);
            return;
        }
        std::sort(values.begin(), values.end(),
                  [](const auto& a, const auto& b) { return a.first.at > b.first.at; });
        // A line of only "@FILE" and "@FS" is written too, or a plain
        // "@FILE @FSR***" template would list nothing.
        std::string text = line;
        for (const auto& [token, value] : values) Put(text, token, value);
        Emit(text);
        if (!desc.found()) return;

        // Further description lines under the first, the other columns blank.
        const std::vector<std::string>& lines = Description(entry, facts);
        if (lines.size() < 2) return;
        // Where each value stands in the line as written.
        auto written = [&values](FieldToken token) {
            if (!token.found()) return token;
            for (const auto& [other, value] : values)
                if (other.at < token.at) token.at = token.at + other.width - other.length;
            return token;
        };
        std::string blank = text;
        Blank(blank, written(file), fileWidth + 1);
        Blank(blank, written(size), size.width + 1);
        Blank(blank, written(origin), origin.width);
        Blank(blank, written(from), from.width);
        const FieldToken descAt = written(desc);
        for (std::size_t n = 1; n < lines.size(); ++n) {
            std::string more = blank;
            Put(more, FieldToken{descAt.at, desc.width, desc.width, false}, lines[n]);
            Emit(more);
        }
    }

    void FileBlock(const Entry& entry, bool firstOfEcho) {
        FileFacts facts;
        const std::size_t start = firstOfEcho ? 0 : tpl->firstFileLine;
        for (std::size_t n = 0; n < tpl->block.size(); ++n) {
            if (n < start)
                Emit(tpl->block[n]);
            else
                BlockLine(tpl->block[n], entry, facts);
        }
    }

    // A name that an earlier version cut to 12, of the file that a record
    // of this version names whole in the same echo (a file that came again
    // after the upgrade): the file is announced once, under its whole name.
    bool NamedWholeToo(const Entry& entry) {
        if (!set.longNames || entry.wholeName || entry.nameSize < FileSize) return false;
        const RecordedFileMatch match = FindRecordedFile(Directory(entry.directory).listing, set.Name(entry));
        if (match.entry == nullptr || match.entry->name.size() <= FileSize) return false;
        const std::string_view name = match.entry->name;
        const std::uint32_t echo = set.rank[entry.echo];
        auto before = [&](const Entry& e, std::string_view key) {
            return set.rank[e.echo] != echo ? set.rank[e.echo] < echo : set.Name(e) < key;
        };
        auto at = std::lower_bound(set.entries.begin(), set.entries.end(), name, before);
        return at != set.entries.end() && at->echo == entry.echo && at->wholeName && set.Name(*at) == name;
    }

    void Run(const Template& t) {
        tpl = &t;
        for (const std::string& line : t.header) Emit(HeaderLine(line));
        const Entry* previous = nullptr;
        for (const Entry& entry : set.entries) {
            if (NamedWholeToo(entry)) continue;
            const bool sameEcho = previous != nullptr && previous->echo == entry.echo;
            if (!sameEcho) {
                if (previous != nullptr)
                    for (const std::string& line : t.footer) Emit(line);
                EchoHeader(entry);
            }
            FileBlock(entry, !sameEcho);
            previous = &entry;
        }
        if (previous != nullptr)
            for (const std::string& line : t.footer) Emit(line);
        for (const std::string& line : t.trailer) Emit(HeaderLine(line));
    }
};

}  // namespace

FieldToken FindFieldToken(std::string_view line, std::string_view macro, std::size_t from) {
    FieldToken token;
    const std::size_t at = FindNoCase(line, macro, from);
    if (at == std::string::npos) return token;
    token.at = at;
    std::size_t end = at + macro.size();
    if (EqualNoCase(macro, "@FILE")) {
        token.length = std::min(line.size(), end + 7) - at;
        token.width = FileSize;
        return token;
    }
    if (EqualNoCase(macro, "@FS")) {
        if (end < line.size()) {
            token.padLeft = line[end] != 'L' && line[end] != 'l';
            ++end;
        } else {
            token.padLeft = true;
        }
    }
    std::size_t stars = 0;
    while (end < line.size() && line[end] == '*') {
        ++end;
        ++stars;
    }
    token.length = end - at;
    token.width = EqualNoCase(macro, "@FS") ? 4 + stars : macro.size() + stars;
    return token;
}

std::string FitText(std::string_view value, std::size_t width, bool padLeft) {
    std::string text(value.substr(0, std::min(width, value.size())));
    if (text.size() < width) text.insert(padLeft ? text.begin() : text.end(), width - text.size(), ' ');
    return text;
}

std::string RecordFileDate(std::string_view fileName) {
    const bool date = fileName.size() >= 8 && IsDigit(fileName[0]) && IsDigit(fileName[1]) && fileName[2] == '-' &&
                      IsDigit(fileName[3]) && IsDigit(fileName[4]) && fileName[5] == '-' && IsDigit(fileName[6]) &&
                      IsDigit(fileName[7]) && (fileName.size() == 8 || fileName[8] == '.');
    if (!date) return std::string(fileName);
    const std::string_view year = fileName.substr(6, 2);
    return std::string(fileName.substr(0, 6)) + (year < "80" ? "20" : "19") + std::string(year);
}

int RunAnnouncement(const NodeConfig& node, const std::string& commandWord, const std::string& groupsArgument,
                    const DescriptionReader& readDescription) {
    const MainConfig& config = node.main;
    SetTextColor(Yellow);
    WriteText(MessageText(Msg::GENANNOUNCE));

    const std::string key = commandWord.size() > 4 ? commandWord.substr(4) : std::string();
    const bool all = key == "ALL";
    std::string name;
    if (key == "CUR")
        name = AnnouncementFileName(TodayText());
    else if (key == "PRV")
        name = AnnouncementFileName(YesterdayText());
    else if (!all)
        name = key.find('.') == std::string::npos ? key + ".ANN" : key;
    // Only a name of ANNOUNCEDIR itself: the key comes from whoever can
    // run the command, and must not read files elsewhere.
    if (!all && !IsPlainName(name)) {
        WriteErrorLine(PrintableText(Fill(MessageText(Msg::ANNREFUSEDKEY), "%k", key)));
        return 3;
    }
    std::string source;
    if (!all) {
        source = config.announceDir.empty() ? std::string() : ResolvePath(config.announceDir + name);
        if (source.empty() || !IsRegularFile(source)) {
            WriteErrorLine(key == "CUR" ? MessageText(Msg::ERRCURANNOUNCE)
                                        : PrintableText(Fill(MessageText(Msg::ERRANNOUNCE), "%f", name)));
            return 3;
        }
    }

    std::string groups = UpperCase(groupsArgument);
    if (groups.find('*') != std::string::npos) groups.clear();

    Notes notes;
    notes.logName = config.logName;
    RecordSet set;
    if (all) {
        if (!config.announceDir.empty())
            for (const DirEntry& entry : FindFiles(config.announceDir + "*.ann", SearchKind::FilesOnly))
                LoadRecordFile(config.announceDir + entry.name, groups, set, notes);
    } else {
        LoadRecordFile(source, groups, set, notes);
    }
    SortRecords(set);

    // No records: an announcement written earlier stays as it is.
    if (!set.entries.empty()) {
        if (config.announceTpl.empty() || config.announceFile.empty()) {
            WriteErrorLine(MessageText(Msg::ANNNOTCONFIGURED));
            return 240;
        }
        std::vector<std::string> lines;
        if (!ReadSysopTextLines(config.announceTpl, lines)) RuntimeError(LastErrorNumber() != 0 ? LastErrorNumber() : EIO);
        const Template tpl = SplitTemplate(lines, ExtractFileName(config.announceTpl), notes);

        Generator generator(node, readDescription, set, notes);
        generator.dateText = all ? MessageText(Msg::FORALLDAYS) : RecordFileDate(ExtractFileName(source));
        generator.Run(tpl);
        if (int error = ReplaceFileSafely(config.announceFile, generator.out, std::string())) RuntimeError(error);
    }
    WriteLine(MessageText(Msg::OK));
    notes.Show();
    return 0;
}
