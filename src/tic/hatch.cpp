#include "tic/hatch.h"

#include <algorithm>
#include <cerrno>

#include "announce/records.h"
#include "config/areas.h"
#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/exit.h"
#include "frame/log.h"
#include "frame/platform.h"
#include "frame/platform_blockio.h"
#include "frame/utils.h"
#include "tic/archivers.h"
#include "tic/descriptions.h"
#include "tic/journal.h"
#include "tic/outbound.h"
#include "tic/tic.h"

namespace {

constexpr std::string_view HatchJournalDir = "journal/hatch/";
constexpr std::string_view HatchDoneLine = "done";

// The directory that holds an area's files: its Path, or the pass-through
// directory. Ends in "/" when not empty.
std::string FilesDirectory(const NodeConfig& node, const AreaRecord& area) {
    std::string dir = area.PassThrough ? node.main.passThrough : AreaDirectory(node.programDir, area);
    if (!dir.empty()) AddTrailingSlash(dir);
    return dir;
}

// The description as long as the entry's first line can hold it.
std::string FittingDescription(const MainConfig& config, const std::string& name, std::string desc) {
    // Where the description starts: after the name and the download counter.
    const std::vector<std::string> empty = FormatDescription("DESC", name, "", {}, ListLayout(config));
    const std::size_t start = empty.empty() ? 0 : empty.front().size();
    const std::size_t room = start < MaxText ? MaxText - start : 0;
    if (desc.size() > room) {
        desc.resize(room);
        WriteLog(config.logName, Fill(MessageText(Msg::HATCHDESCCUT), "%f", name, "%n",
                                      NumberText(static_cast<long long>(room))));
    }
    return desc;
}

// The Replaces a TIC may carry: a mask of wildcards alone would empty the
// area here and at every link, so it is dropped, with a log line.
std::string SendableReplaces(const MainConfig& config, const std::string& replaces) {
    if (replaces.empty() || !ReplacesEveryFile(replaces)) return replaces;
    WriteLog(config.logName, Fill(MessageText(Msg::EVERYFILEREPLACES), "%f", replaces));
    return {};
}

// What a hatch wrote so far made durable, or the run ends with the journal
// left to finish it.
void SyncHatched(const MainConfig& config, const std::string& filePath) {
    if (int error = SyncChanges()) {
        const std::string text =
            Fill(MessageText(Msg::HATCHNOTSYNCED), "%f", PrintableText(filePath), "%e", ErrorText(error));
        WriteLog(config.logName, text);
        WriteErrorLine(text);
        RuntimeError(error);
    }
}

// Announcement record and delivery of a file that lies in filePath, for
// HatchFile and AutoHatch alike; each step once for the journal.
void SendHatched(const NodeConfig& node, MsgIdSerials& serials, BusyState& busy, const AreaRecord& area,
                 const std::string& filePath, TicRecord& tic, bool announce, Journal& journal) {
    const MainConfig& config = node.main;
    WriteLog(config.logName, Fill(MessageText(Msg::LOGHATCHBEGIN), "%f", filePath, "%a", area.Name));
    SendToLinks(busy, serials, filePath, area, node.links, config, tic, &journal);
    if (announce && !JournalHas(journal, "announced")) {
        if (!AppendAnnouncementRecordOnce(journal, config.announceDir, area.Name, area.Desc,
                                          ExtractFileNameAsIs(filePath), ExtractDir(filePath), area.AKA, area.AKA,
                                          area.Group.substr(0, 1))) {
            // The journal stays: hatching the file again writes the record.
            const int error = LastErrorNumber();
            WriteLog(config.logName, RecordNotWrittenLine(journal, error));
            RuntimeError(error);
        }
        JournalAdd(journal, "announced");
    }
    // Done only once the file, its TICs, flow lines, description and record
    // are on disk; until then the journal finishes it.
    SyncHatched(config, filePath);
    // Noted before the journal goes: a journal left with it is of a hatch
    // that is complete, and a later hatch of the same file is a new one.
    JournalAdd(journal, std::string(HatchDoneLine));
    WriteLog(config.logName, MessageText(Msg::LOGHATCHEND));
    CloseJournal(journal);
}

// Where the journal of hatching filePath into the area lies.
std::string HatchJournalPath(const MainConfig& config, const AreaRecord& area, const std::string& filePath) {
    const std::string key = UpperCase(area.Name) + "\n" + AbsolutePath(filePath);
    return config.tempDir + std::string(HatchJournalDir) + HexLong(TextCrc32(key)) + ".jnl";
}

// The journal of hatching this file (its CRC and size) into the area: a
// hatch cut short is finished by hatching the same file again, and no link
// gets it twice. A journal of another file under that name, or of a hatch
// that was done, is old: it goes. resumed tells whether the journal goes on
// from an earlier run.
Journal OpenHatchJournal(const MainConfig& config, const AreaRecord& area, const std::string& filePath,
                         const TicRecord& tic, bool* resumed = nullptr) {
    const std::string key = UpperCase(area.Name) + "\n" + AbsolutePath(filePath);
    Journal journal = OpenJournal(HatchJournalPath(config, area, filePath));
    const std::string identity = "hatch " + HexLong(tic.Crc) + " " + std::to_string(tic.Size) + " " + key;
    const bool same = JournalHas(journal, SingleLine(identity)) && !JournalHas(journal, HatchDoneLine);
    if (!same) {
        CloseJournal(journal);
        JournalAdd(journal, identity);
    }
    if (resumed != nullptr) *resumed = same;
    return journal;
}

}  // namespace

std::string HatchRefusal(const MainConfig& config, std::string_view filePath) {
    const std::string name = ExtractFileNameAsIs(filePath);
    // A control byte anywhere in the path would break the flow-file line.
    if (HasControlCharacters(filePath) || !IsUsableFileName(name))
        return Fill(MessageText(Msg::HATCHBADNAME), "%f", PrintableText(name));
    // Stored or sent, it would take the place of the area's list.
    if (!config.descFile.empty() && EqualNoCase(name, config.descFile))
        return Fill(MessageText(Msg::HATCHDESCFILE), "%f", name);
    // Unread, it would go out with a wrong CRC and a flow line the mailer
    // cannot send.
    const std::string path(filePath);
    if (IsRegularFile(path))
        if (int error = ReadAccessError(path, false))
            return Fill(MessageText(Msg::HATCHUNREADABLE), "%f", PrintableText(name), "%e", ErrorText(error));
    return {};
}

void HatchFile(const NodeConfig& node, AreaIndexes& areas, MsgIdSerials& serials, BusyState& busy,
               const HatchRequest& request) {
    const MainConfig& config = node.main;
    const AreaRecord area = ReadArea(areas, ResolvePath(node.programDir + "areas.ctl"), request.areaTag);
    // Kept as typed: names keep their letter case, matching ignores it.
    const std::string replaces = SendableReplaces(config, request.replaces);
    const DescriptionLayout layout = ListLayout(config);
    std::string name = ExtractFileNameAsIs(request.filePath);
    std::string filePath = request.filePath;
    std::vector<std::string> ldesc;

    if (request.copyToArea) {
        const std::string dir = FilesDirectory(node, area);
        ForceDirectories(dir);
        const std::string descFile = config.descFile.empty() ? std::string() : dir + config.descFile;
        // Read before the entry goes: a file hatched again keeps its text.
        if (!descFile.empty()) ldesc = ReadDescription(descFile, name, layout);
        // The copy comes first, so a failed copy loses none of the files it
        // would have replaced.
        const std::string target = dir + name;
        if (int error = CopyFile(filePath, target))
            FailProgram(2, Fill(Fill(MessageText(Msg::HATCHCOPYFAILED), "%f", filePath, "%d", dir), "%e",
                                ErrorText(error)));
        // A list that cannot be rewritten would keep the old entry beside the
        // new one.
        auto removeEntries = [&](std::string_view mask, EntryMatch given) {
            if (!descFile.empty() &&
                RemoveDescription(descFile, mask, layout, given) == RemoveDescriptionStatus::WorkFailed)
                RuntimeError(LastErrorNumber());
        };
        bool replaced = false;
        if (config.replaces && !replaces.empty() && IsPlainName(replaces)) {
            // The new copy matches its own name: it is what replaces them.
            for (const DirEntry& entry : FindFiles(dir + replaces))
                if (!EqualNoCase(entry.name, config.descFile) && !IsSameFile(dir + entry.name, target))
                    DeleteFile(dir + entry.name);
            removeEntries(replaces, EntryMatch::Mask);
            replaced = MatchFileMask(name, replaces);
        }
        if (!replaced) removeEntries(name, EntryMatch::Exact);
        // The copy went onto a namesake in another letter case. Replacing it,
        // the file takes the hatched name; otherwise it keeps the area's, so
        // that the TIC and the outbound name a file that is there.
        filePath = ResolvePath(target);
        if (filePath != target && replaced) {
            if (int error = RenameFile(filePath, target)) RuntimeError(error);
            filePath = target;
        }
        name = ExtractFileNameAsIs(filePath);
    }

    const ArchiverRecord archiver = FindArchiver(filePath, node.archivers);
    std::vector<std::string> extracted;
    if (!archiver.Name.empty()) extracted = ExtractDescription(archiver, filePath, config.tempDir);
    if (!extracted.empty()) {
        ldesc = extracted;
    } else if (!request.copyToArea && !config.descFile.empty()) {
        ldesc = ReadDescription(ExtractDir(filePath) + config.descFile, name, layout);
    }

    // A description given replaces the old entry; the archive's file_id.diz
    // still goes along as the long description.
    if (!request.description.empty() && extracted.empty()) ldesc.clear();
    TicRecord tic;
    tic.FullName = name;
    tic.Area = area.Name;
    tic.Origin = area.AKA;
    tic.Replaces = replaces;
    tic.Desc = request.description;
    tic.LDesc = ldesc;
    if (tic.Desc.empty() && !ldesc.empty()) tic.Desc = ldesc.front();
    if (tic.Desc.empty()) tic.Desc = config.defaultDesc;
    tic.Desc = FittingDescription(config, name, tic.Desc);
    tic.Crc = FileCrc32(filePath);
    std::uint64_t size = 0;
    GetFileSize(filePath, size);
    tic.Size = TicSize(size);

    if (request.copyToArea && !config.descFile.empty()) {
        const std::string descFile = FilesDirectory(node, area) + config.descFile;
        // SMART lists the given description first, the long one below it.
        std::vector<std::string> listed = tic.LDesc;
        if (EqualNoCase(config.descMode, "SMART") && !request.description.empty() && !listed.empty())
            listed.insert(listed.begin(), tic.Desc);
        if (int error = AddDescription(config.descMode, name, descFile, tic.Desc, listed, layout))
            RuntimeError(error);
    }
    const bool announce = area.PassThrough ? config.announcePassThrough : request.copyToArea;
    Journal journal = OpenHatchJournal(config, area, filePath, tic);
    SendHatched(node, serials, busy, area, filePath, tic, announce, journal);
}

int ResendFile(const NodeConfig& node, MsgIdSerials& serials, BusyState& busy, const AreaRecord& area,
               const std::string& filePath, const LinkRecord& link, const std::string& journalPath) {
    const MainConfig& config = node.main;
    if (!IsRegularFile(filePath)) return ENOENT;
    const std::string name = ExtractFileNameAsIs(filePath);
    TicRecord tic;
    tic.FullName = name;
    tic.Area = area.Name;
    tic.Origin = area.AKA;
    if (!config.descFile.empty())
        tic.LDesc = ReadDescription(ExtractDir(filePath) + config.descFile, name, ListLayout(config));
    tic.Desc = FittingDescription(config, name, tic.LDesc.empty() ? config.defaultDesc : tic.LDesc.front());
    tic.Crc = FileCrc32(filePath);
    // To this link alone, as it stands now (a pause just lifted counts).
    AreaRecord toLink = area;
    toLink.Links = FormatAddress(link.Address);
    Journal journal = OpenJournal(journalPath);
    SendToLinks(busy, serials, filePath, toLink, {link}, config, tic, &journal);
    return 0;
}

void AutoHatch(const NodeConfig& node, MsgIdSerials& serials, BusyState& busy, bool listOnly) {
    const MainConfig& config = node.main;
    const DescriptionLayout layout = ListLayout(config);
    AreaList areas;
    if (LoadAreaList(node.programDir + "areas.ctl", areas) != 0) return;
    for (const std::string& tag : AreaTags(areas)) {
        const AreaRecord area = FindArea(areas, tag);
        if (area.Name.empty() || area.PassThrough) continue;
        const std::string dir = FilesDirectory(node, area);
        const std::string descFile = config.descFile.empty() ? std::string() : dir + config.descFile;
        if (!listOnly) RemoveLeftoverTemporaries(dir);
        for (const DirEntry& entry : FindFiles(dir + "*")) {
            const std::string& name = entry.name;
            if (entry.isHidden || name.starts_with('.')) continue;
            if (EqualNoCase(name, config.descFile)) {
                // The list itself goes unsaid; a namesake in another letter
                // case would replace it at the links.
                if (!listOnly && ResolvePath(descFile) != dir + name)
                    WriteLog(config.logName, Fill(MessageText(Msg::LOGDESCFILENAME), "%f", dir + name));
                continue;
            }
            if (!IsUsableFileName(name)) {
                if (!listOnly)
                    WriteLog(config.logName, Fill(MessageText(Msg::LOGBADFILENAME), "%f", PrintableText(dir + name)));
                continue;
            }
            // A file described by a run that ended before it was sent to
            // every link has its journal: it is finished now.
            const bool described = !descFile.empty() && DescriptionExists(descFile, name, layout);
            if (described && !IsRegularFile(HatchJournalPath(config, area, dir + name))) continue;
            // Only a regular file, or a symlink of the sysop's to one, is read:
            // a FIFO or a device would hold the run for ever. Size and CRC
            // come from the one file opened.
            RegularFile file;
            const FileKind kind = listOnly ? GetFileKind(dir + name, true) : file.Open(dir + name, true);
            if (kind != FileKind::Regular) {
                if (!listOnly && kind != FileKind::Missing)
                    WriteLog(config.logName, Fill(MessageText(Msg::HATCHNOTREGULAR), "%f", PrintableText(dir + name),
                                                  "%k", FileKindText(kind)));
                continue;
            }
            if (listOnly) {
                WriteLine(dir + name);
                continue;
            }
            if (StopRequested()) {
                WriteLog(config.logName, MessageText(Msg::HATCHSTOP));
                return;
            }
            std::vector<std::string> ldesc;
            const bool extract = config.descMode != "DESC";
            if (extract) {
                const ArchiverRecord archiver = FindArchiver(dir + name, node.archivers);
                if (!archiver.Name.empty()) ldesc = ExtractDescription(archiver, dir + name, config.tempDir);
            }
            TicRecord tic;
            tic.FullName = name;
            tic.Area = area.Name;
            tic.Origin = area.AKA;
            tic.Replaces = SendableReplaces(config, name);
            tic.Desc = FittingDescription(config, name, ldesc.empty() ? config.defaultDesc : ldesc.front());
            tic.LDesc = ldesc;
            tic.Crc = FileCrc32(file);
            tic.Size = TicSize(file.Identity().size);
            file.Close();
            bool resumed = false;
            Journal journal = OpenHatchJournal(config, area, dir + name, tic, &resumed);
            if (described && !resumed) {
                // The journal was of another file of that name: this one was
                // described since, as any file is.
                CloseJournal(journal);
                continue;
            }
            // Described before it is sent, once: a run that ends in between
            // finds the entry and its journal.
            if (!JournalHas(journal, "described")) {
                if (!descFile.empty() && !described) {
                    // The entry marks the file hatched: the journal that
                    // finishes its sending is on disk before it.
                    SyncHatched(config, dir + name);
                    if (int error = AddDescription(extract ? "LDESC" : "DESC", name, descFile, config.defaultDesc,
                                                   ldesc, layout))
                        RuntimeError(error);
                }
                JournalAdd(journal, "described");
            }
            WriteLine(Fill(MessageText(Msg::HATCHFILE), "%f", name, "%a", area.Name));
            SendHatched(node, serials, busy, area, dir + name, tic, true, journal);
        }
    }
}

void SweepLeftovers(const NodeConfig& node) {
    const MainConfig& config = node.main;
    for (const std::string* dir : {&node.programDir, &config.outbound, &config.netmailOut, &config.fileBoxes,
                                   &config.passThrough, &config.badTicDir, &config.dupeDir, &config.tempDir})
        if (!dir->empty() && DirectoryExists(*dir)) RemoveLeftoverTemporaries(*dir);
    const std::string journals = config.tempDir + std::string(HatchJournalDir);
    for (const DirEntry& entry : FindFiles(journals + "*.jnl"))
        if (JournalHas(OpenJournal(journals + entry.name), HatchDoneLine)) DeleteFile(journals + entry.name);
}

void Purge(const NodeConfig& node) {
    const MainConfig& config = node.main;
    if (config.passThrough.empty()) return;
    // Names compared whole and in any letter case: a name cut short could
    // match a file that still waits to be sent.
    std::vector<std::string> kept = WaitingTicFiles(config.outbound);
    // A toss cut short still owes its links the files its journals name.
    if (!config.tempDir.empty()) {
        for (const Journal& journal : ReadTossJournals(config.tempDir)) {
            for (std::string_view key : {"file", "stored"}) {
                std::string value = JournalValue(journal, key);
                if (!value.empty()) kept.push_back(ExtractFileName(value));
            }
        }
    }
    const std::string descFile = config.descFile.empty() ? std::string() : config.passThrough + config.descFile;
    RemoveLeftoverTemporaries(config.passThrough);
    for (const DirEntry& entry : FindFiles(config.passThrough + "*")) {
        const std::string& name = entry.name;
        // A file being written by a live run, not yet a file of its own.
        if (EqualNoCase(name, config.descFile) || IsTemporaryName(name)) continue;
        if (std::any_of(kept.begin(), kept.end(), [&name](const std::string& k) { return EqualNoCase(k, name); }))
            continue;
        // Files only: a FIFO, a device or a socket put there is not ours.
        if (const FileKind kind = GetFileKind(config.passThrough + name, true); kind != FileKind::Regular) {
            if (kind != FileKind::Missing)
                WriteLog(config.logName, Fill(MessageText(Msg::PURGENOTREGULAR), "%f", PrintableText(name), "%k",
                                              FileKindText(kind)));
            continue;
        }
        // The entry goes first: a purge cut short between the two leaves a
        // file without an entry, which the next purge deletes, rather than
        // an entry whose file is gone, which nothing would remove.
        if (!descFile.empty() &&
            RemoveDescription(descFile, name, ListLayout(config), EntryMatch::Exact) ==
                RemoveDescriptionStatus::WorkFailed)
            continue;
        DeleteFile(config.passThrough + name);
        WriteLog(config.logName, Fill(MessageText(Msg::PURGED), "%f", name));
    }
}
