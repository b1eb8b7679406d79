#include "tic/toss.h"

#include <algorithm>
#include <cerrno>
#include <set>
#include <vector>

#include "announce/bbsareas.h"
#include "announce/records.h"
#include "config/areas.h"
#include "config/ctlline.h"
#include "config/groups.h"
#include "config/links.h"
#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/exit.h"
#include "frame/log.h"
#include "frame/platform.h"
#include "frame/utils.h"
#include "robot/netmail.h"
#include "robot/notices.h"
#include "tic/archivers.h"
#include "tic/badpairs.h"
#include "tic/descriptions.h"
#include "tic/dupes.h"
#include "tic/journal.h"
#include "tic/outbound.h"
#include "tic/tic.h"
#include "tic/tossscreen.h"

namespace {

// Log texts for refusals the language file has no key for.
// What a log or a list line shows for a link's password.
constexpr std::string_view HiddenPassword = "*****";

constexpr std::size_t MaxTicDesc = 80;
constexpr std::size_t ShownDescLimit = 40;

// Status of the checks on one TIC.
constexpr int Accepted = 0;
constexpr int FileMissing = 8;
constexpr int FileReceiving = -2;
constexpr int FileUnreadable = -3;
constexpr int Rejected = -1;

// Everything one TIC is worked with.
struct TicWork {
    const NodeConfig& node;
    const MainConfig& config;
    AreaIndexes& areas;
    MsgIdSerials& serials;
    TicRunState& run;
    TossState& state;
    std::string ticName;
    TicRecord tic;
    LinkRecord sender;  // AddressText empty: the sender is no link
    std::int64_t inboundSize = 0;
    Journal journal;  // the steps done for this TIC, also by an earlier run
    std::string source;      // where TIC and file are: INBOUND, or BADTICDIR for "toss --bad"
    std::string sourceFile;  // the file's name there (File, or the name it went aside under); empty: none
    std::string oldReason;   // the reason line the toss gave the file there, or its start
    bool oldReasonWhole = false;
    // Size and CRC-32 of the TIC's content: a journal serves only the TIC it
    // was written for, not a later one that came under the same name.
    std::string ticIdentity;
    // The file as the checks opened it, held until it is stored, and its CRC
    // when that was taken through it.
    RegularFile payload = {};
    std::uint32_t payloadCrc = NoTicCrc;
};

// The first lines of a TIC's journal: which TIC, file and area it is for.
std::vector<std::string> JournalHead(const TicWork& work, const std::string& file) {
    return {"tic-content " + work.ticIdentity, "file " + file, "area " + work.tic.Area};
}

// The name under which a refused file or TIC goes into dir: its own, or,
// when an earlier one of that name is there, the name with a number before
// its extension. Empty when no free name is found.
std::string FreeNameIn(const std::string& dir, const std::string& name) {
    if (!IsRegularFile(dir + name)) return name;
    std::size_t dot = name.rfind('.');
    if (dot == 0 || dot == std::string::npos) dot = name.size();
    for (unsigned n = 1; n < 10000; ++n) {
        std::string candidate = name.substr(0, dot) + "." + std::to_string(n) + name.substr(dot);
        if (!FileExists(dir + candidate)) return candidate;
    }
    return std::string();
}

// A name that the toss would take for a TIC of its own.
bool IsTicName(std::string_view name) { return name.size() >= 4 && EqualNoCase(name.substr(name.size() - 4), ".tic"); }

// A name of a file that is taken literally also where masks are matched.
bool IsPlainFileName(std::string_view name) {
    return IsPlainName(name) && name.find_first_of("*?") == std::string_view::npos;
}

void Log(const TicWork& work, const std::string& text) { WriteLog(work.config.logName, text); }

// An error line: behind the status screen while it stands, which counts
// the bad TICs itself.
void ShowError(const TicWork& work, const std::string& text) {
    if (work.state.Screen)
        WriteErrorLineBehindView(text);
    else
        WriteErrorLine(text);
}

// A failure the sysop must see: in the log, and as an error line.
void Complain(const TicWork& work, const std::string& text) {
    Log(work, text);
    ShowError(work, text);
}

// Why a TIC goes to the bad directory: in the log, and as an error line
// that names the TIC, which the log's lines before it name there.
void ComplainRefused(const TicWork& work, const std::string& text) {
    Log(work, text);
    ShowError(work, PrintableText(work.ticName) + ": " + text);
}

// A TIC left to wait for its file is no error, but its tossing line must
// not stand for a toss: it is followed by why, as progress.
void ShowNotTossed(const TicWork& work, const std::string& text) {
    Log(work, text);
    if (!work.state.Screen) WriteLine(PrintableText(work.ticName) + ": " + text);
}

// The TIC stays where it is (the inbound, or BADTICDIR) for a later run.
void LeaveInPlace(TicWork& work) { work.state.ContinueSearch = true; }

// The same because something failed: the run owes a retry.
void LeaveUndone(TicWork& work) {
    work.state.WorkLeftUndone = true;
    LeaveInPlace(work);
}

// Where a refused file and its TIC go: the directory, the free names they
// get there (the file's empty when it is not moved, the TIC's empty when it
// is deleted) and the reason for the directory's description list.
struct AsidePlan {
    std::string dir, file, tic, reason;
};

AsidePlan NotedAside(const Journal& journal) {
    return {JournalValue(journal, "aside"), JournalValue(journal, "aside-file"), JournalValue(journal, "aside-tic"),
            JournalValue(journal, "aside-reason")};
}

// Moves file and TIC as planned. The file goes first: when it cannot be
// moved the TIC stays with it, so that neither is ever lost, and nothing is
// left to finish. The TIC's pair is listed before the TIC comes in. A step
// that a run ending halfway did already is not done again (resumed: the
// reason line may stand already).
void CarryOutAside(TicWork& work, const AsidePlan& plan, bool resumed) {
    const MainConfig& config = work.config;
    const std::string& dir = plan.dir;
    auto stop = [&work, &dir](std::string_view text, int error, const std::string& name) {
        Log(work, Fill(Fill(text, "%d", dir, "%f", name), "%e", ErrorText(error)));
        LeaveUndone(work);
    };
    if (!plan.file.empty() && GetFileKind(work.source + work.sourceFile, false) == FileKind::Regular) {
        if (int error = MoveFile(work.source + work.sourceFile, dir + plan.file)) {
            CloseJournal(work.journal);
            return stop(MessageText(Msg::TOSSMOVEFAILED), error, work.sourceFile);
        }
        Log(work, Fill(MessageText(Msg::LOGREMOVEBADFILE), "%f", plan.file));
    }
    if (!plan.tic.empty() && dir == config.badTicDir)
        if (int error = AddPair(dir, {plan.tic, plan.file, plan.reason}))
            return stop(MessageText(Msg::TOSSPAIRNOTWRITTEN), error, work.ticName);
    if (!plan.file.empty() && !config.descFile.empty() && IsRegularFile(dir + plan.file)) {
        const std::string line = ReasonLine(plan.file, plan.reason);
        const std::string list = dir + config.descFile;
        std::string content;
        const bool standing = resumed && ReadWholeFile(list, content) &&
                              WithoutLastLine(content, [&line](std::string_view l) { return l == line; }) != content;
        if (!standing)
            if (int error = AppendToFile(list, line + "\r\n")) return stop(MessageText(Msg::TOSSNOREASONLINE), error,
                                                                           work.ticName);
    }
    if (plan.tic.empty()) {
        DeleteFile(work.source + work.ticName);
        if (IsRegularFile(work.source + work.ticName)) return LeaveUndone(work);
        Log(work, MessageText(Msg::LOGDELETETICFILE));
    } else {
        if (int error = MoveFile(work.source + work.ticName, dir + plan.tic))
            return stop(MessageText(Msg::TOSSMOVEFAILED), error, work.ticName);
        Log(work, Fill(MessageText(Msg::LOGREMOVETIC), "%f", plan.tic));
    }
    CloseJournal(work.journal);
}

// A TIC refused again in the bad directory stays there with its file,
// which gets its pair and its reason line anew.
void KeepAside(TicWork& work, const std::string& reason, bool hasFile) {
    const MainConfig& config = work.config;
    if (hasFile) {
        if (int error = AddPair(work.source, {work.ticName, work.sourceFile, reason})) {
            // Without the new pair its line would be taken for another's.
            Log(work, Fill(Fill(MessageText(Msg::TOSSPAIRNOTWRITTEN), "%d", work.source, "%f", work.ticName), "%e",
                           ErrorText(error)));
            work.state.WorkLeftUndone = true;
            return;
        }
        if (!config.descFile.empty())
            AppendToFile(work.source + config.descFile, ReasonLine(work.sourceFile, reason) + "\r\n");
        Log(work, Fill(MessageText(Msg::TOSSFILESTAYS), "%f", work.sourceFile));
    }
    Log(work, Fill(MessageText(Msg::TOSSTICSTAYS), "%f", work.ticName));
}

// Moves file (unless withFile is false) and TIC into dir with the reason
// line, or deletes the TIC when DELBADTIC says so. A file that goes along is
// noted in the journal first, so that a run ending between the moves is
// finished by the next one under the same names.
void MoveAside(TicWork& work, const std::string& dir, const std::string& reason, bool withFile = true) {
    const MainConfig& config = work.config;
    // A symlink or a FIFO in its place stays where it is.
    const bool hasFile = withFile && GetFileKind(work.source + work.sourceFile, false) == FileKind::Regular;
    if (dir == work.source) return KeepAside(work, reason, hasFile);
    if (dir.empty() && (hasFile || !config.delBadTic)) {
        Log(work, Fill(MessageText(Msg::TOSSNOTARGET), "%f", hasFile ? work.tic.File : work.ticName));
        return LeaveInPlace(work);
    }
    AsidePlan plan{dir, {}, {}, reason};
    if (!dir.empty()) {
        ForceDirectories(dir);
        if (hasFile) plan.file = FreeNameIn(dir, work.tic.File);
        if (!config.delBadTic) plan.tic = FreeNameIn(dir, work.ticName);
        if ((hasFile && plan.file.empty()) || (!config.delBadTic && plan.tic.empty())) {
            Log(work, Fill(Fill(MessageText(Msg::TOSSMOVEFAILED), "%f", work.ticName, "%d", dir), "%e",
                           ErrorText(EEXIST)));
            return LeaveUndone(work);
        }
    }
    if (!plan.file.empty()) {
        std::vector<std::string> lines = JournalHead(work, work.tic.File);
        lines.insert(lines.end(), {"aside " + plan.dir, "aside-file " + plan.file, "aside-tic " + plan.tic,
                                   "aside-reason " + plan.reason});
        JournalAdd(work.journal, lines);
    }
    CarryOutAside(work, plan, false);
}

// A refusal of the checks: log text, then file and TIC into BADTICDIR with
// the reason line.
void Refuse(TicWork& work, const std::string& logText, const std::string& reason) {
    ComplainRefused(work, logText);
    MoveAside(work, work.config.badTicDir, reason);
}

void ShowTic(TicWork& work) {
    const TicRecord& tic = work.tic;
    if (work.state.Screen) {
        std::string shown = tic.Desc;
        if (shown.size() >= ShownDescLimit) shown = shown.substr(0, ShownDescLimit - 1) + "...";
        unsigned total = std::max(1u, work.state.InboundTicCount);
        UpdateTossScreen(tic.From, tic.Origin, tic.Area, PrintableText(tic.File), shown, work.state.ProcessedTicCount,
                         work.state.BadTicCount, total);
    } else {
        WriteLine(Fill(MessageText(Msg::TOSSCONSOLE), "%f", PrintableText(tic.File), "%a", tic.Area));
    }
}

// The checks on the file and its names, sender, destination, password,
// size and CRC.
int CheckTic(TicWork& work) {
    const MainConfig& config = work.config;
    TicRecord& tic = work.tic;
    const std::string inboundFile = work.source + work.sourceFile;

    // The file comes from outside: only a regular file is taken, never what a
    // symlink leads to, and size and CRC are those of the file opened here.
    int status = Accepted;
    RegularFile& file = work.payload;
    // No file of its own in the bad directory: missing.
    FileKind kind = work.sourceFile.empty() ? FileKind::Missing : file.Open(inboundFile, false);
    if (kind == FileKind::Missing && !work.sourceFile.empty()) {
        // The names kept of the directory may be older than the file.
        RereadDirectory(work.source);
        kind = file.Open(inboundFile, false);
    }
    if (kind == FileKind::Regular) work.inboundSize = TicSize(file.Identity().size);
    if (kind == FileKind::Missing) status = FileMissing;
    // A mailer receiving a file keeps it hidden until it is complete. One
    // that cannot be opened (a mailer running as another user with umask
    // 077) stays too, but the run owes a retry and says why.
    if (kind == FileKind::Unreadable && tic.File[0] != '.') {
        const int error = LastErrorNumber();
        Complain(work, Fill(Fill(MessageText(Msg::TOSSUNREADABLE), "%f", tic.File), "%e", ErrorText(error)));
        return FileUnreadable;
    }
    if (tic.File[0] == '.' || kind == FileKind::Unreadable) status = FileReceiving;
    if (status != Accepted) return status;
    if (kind != FileKind::Regular) {
        const std::string text = Fill(MessageText(Msg::TOSSNOTREGULARFILE), "%f", tic.File, "%k", FileKindText(kind));
        ComplainRefused(work, text);
        MoveAside(work, config.badTicDir, text, false);
        return Rejected;
    }

    // The file is stored as Fullname, which must name a file of the area
    // directory other than its description list; "*" and "?" in either name
    // would match the entries of other files there.
    if (!IsPlainFileName(tic.File) || !IsPlainFileName(tic.FullName)) {
        std::string text = Fill(MessageText(Msg::TOSSUNSAFEFILENAME), "%f",
                                IsPlainFileName(tic.File) ? tic.FullName : tic.File);
        Refuse(work, text, text);
        return Rejected;
    }
    // Names that cannot stand in the description list as one word, or in
    // a TIC line as they are.
    if (!IsUsableFileName(tic.File) || !IsUsableFileName(tic.FullName)) {
        const std::string shown = PrintableText(IsUsableFileName(tic.File) ? tic.FullName : tic.File);
        Refuse(work, Fill(MessageText(Msg::LOGBADFILENAME), "%f", shown),
               Fill(MessageText(Msg::BADFILENAME), "%f", shown));
        return Rejected;
    }
    // Stored under a TIC's name, it would be taken for one at the links.
    if (IsTicName(tic.FullName)) {
        const std::string text = Fill(MessageText(Msg::TOSSTICASFILE), "%f", tic.FullName);
        Refuse(work, text, text);
        return Rejected;
    }
    if (!config.descFile.empty() && EqualNoCase(tic.FullName, config.descFile)) {
        Refuse(work, Fill(MessageText(Msg::LOGDESCFILENAME), "%f", tic.FullName),
               Fill(MessageText(Msg::DESCFILENAME), "%f", tic.FullName));
        return Rejected;
    }

    if (work.sender.AddressText.empty()) {
        Refuse(work, Fill(MessageText(Msg::LOGLINKNDEF), "%a", tic.From),
               Fill(MessageText(Msg::LINKNDEF), "%a", tic.From));
        return Rejected;
    }
    if (!AddressInList(tic.To, config.addresses)) {
        Refuse(work, Fill(MessageText(Msg::LOGADDRNDEF), "%a", tic.To), Fill(MessageText(Msg::ADDRNDEF), "%a", tic.To));
        return Rejected;
    }
    if (tic.Pw != work.sender.Password) {
        // The password the link should have used is told to no one.
        Refuse(work, Fill(MessageText(Msg::LOGBADTICPWD), "%w", HiddenPassword, "%r", tic.Pw),
               Fill(MessageText(Msg::BADTICPWD), "%w", HiddenPassword, "%r", tic.Pw));
        return Rejected;
    }
    if (tic.Size > 0 && tic.Size != work.inboundSize) {
        std::string expected = SizeText(tic.Size, config.separator);
        std::string real = SizeText(work.inboundSize, config.separator);
        Refuse(work, Fill(MessageText(Msg::LOGBADSIZE), "%m", expected, "%c", real),
               Fill(MessageText(Msg::BADSIZE), "%m", expected, "%c", real));
        return Rejected;
    }
    // A TIC without a Crc line gets the file's: the dupe check, the dupe
    // record and the TICs sent on all need one.
    if (config.calculationCrc || tic.Crc == NoTicCrc) {
        const std::uint32_t computed = FileCrc32(file);
        work.payloadCrc = computed;
        if (tic.Crc == NoTicCrc) tic.Crc = computed;
        if (tic.Crc != computed) {
            std::string expected = HexLong(tic.Crc);
            std::string real = HexLong(computed);
            Refuse(work, Fill(MessageText(Msg::LOGBADCRC), "%m", expected, "%c", real),
                   Fill(MessageText(Msg::BADCRC), "%m", expected, "%c", real));
            return Rejected;
        }
    }
    return Accepted;
}

// A new area for the sender's default group. Empty Name when none was made
// (the TIC has then been refused or left in place).
AreaRecord CreateArea(TicWork& work, const std::string& tag, const std::string& directoryName) {
    const MainConfig& config = work.config;
    TicRecord& tic = work.tic;
    if (work.sender.DefaultGroup == ' ' || work.sender.DefaultGroup == '\0') {
        ++work.state.BadTicCount;
        Refuse(work, Fill(MessageText(Msg::LOGLINKGRNDEF), "%l", work.sender.AddressText),
               Fill(MessageText(Msg::LINKGRNDEF), "%l", work.sender.AddressText));
        return AreaRecord{};
    }
    GroupRecord group = FindGroup(work.node.groups, work.sender.DefaultGroup);
    if (group.Letter == 0) {
        ++work.state.BadTicCount;
        std::string letter(1, work.sender.DefaultGroup);
        Refuse(work, Fill(MessageText(Msg::LOGGROUPNDEF), "%g", letter),
               Fill(MessageText(Msg::GROUPNDEF), "%g", letter));
        return AreaRecord{};
    }
    if (!group.Path.empty() && !AreaPathFits(group.Path + directoryName + PathSeparator)) {
        ++work.state.BadTicCount;
        std::string text = Fill(MessageText(Msg::TOSSLONGAREAPATH), "%a", tag);
        Refuse(work, text, text);
        return AreaRecord{};
    }
    if (!group.Path.empty()) ForceDirectories(group.Path);

    if (tic.AreaDesc.empty()) {
        if (config.useGroupComment)
            tic.AreaDesc = group.Comment;
        else
            tic.AreaDesc = Fill(MessageText(Msg::AREACREATED), "%D", TodayText(), "%T", TimeText());
    }
    AreaRecord area;
    area.Name = tag;
    if (!group.Path.empty()) {
        area.Path = group.Path + directoryName;
        AddTrailingSlash(area.Path);
        CutText(area.Path);
        if (config.lfn) ForceDirectories(area.Path);
    }
    area.PassThrough = area.Path.empty();
    if (!FindInListFile(group.NAFile, tag, area.Desc)) area.Desc = tic.AreaDesc;
    area.CreateFlag = group.Flag;
    area.Group = std::string(1, group.Letter);
    area.AKA = group.AKA;
    CutText(area.AKA, MaxAreaAka);
    area.Links = ShortLinkEntry(area.AKA, work.sender.Address);
    area.SecurityRead = group.SecurityRead;
    area.SecurityWrite = group.SecurityWrite;
    area.SecurityShow = group.SecurityShow;

    // Noted first: a run that ends once the area stands owes its notice.
    std::vector<std::string> head = JournalHead(work, tic.File);
    head.push_back("creating");
    JournalAdd(work.journal, head);
    if (AppendArea(work.areas, work.node.programDir + "areas.ctl", area) != 0) {
        CloseJournal(work.journal);
        ++work.state.BadTicCount;
        Log(work, Fill(MessageText(Msg::TOSSAREANOTADDED), "%a", tag));
        LeaveUndone(work);
        return AreaRecord{};
    }
    if (!config.announceNewAreaTpl.empty()) {
        const std::string message = NextMessageName(config.netmailOut);
        JournalAdd(work.journal, "notice " + message);
        NotifyNewArea(work.serials, config, area, work.sender, group, message);
    }
    JournalAdd(work.journal, "notified");
    return area;
}

// The area phase: the area found or created, subscription, write permission
// and duplicates. Empty Name when the TIC goes no further.
AreaRecord FindTargetArea(TicWork& work) {
    const MainConfig& config = work.config;
    TicRecord& tic = work.tic;
    const std::string tag = tic.Area;
    const std::string directoryName = AreaDirectoryName(tag, config.lfn, config.lfnChangePoint, config.useExt);

    AreaRecord area = ReadArea(work.areas, work.node.programDir + "areas.ctl", tag);
    if (area.Name.empty()) {
        if (!work.sender.CreateArea) {
            ++work.state.BadTicCount;
            Refuse(work, Fill(MessageText(Msg::LOGLINKCANTCRAR), "%l", tic.From),
                   Fill(MessageText(Msg::LINKCANTCRAR), "%l", tic.From));
            return AreaRecord{};
        }
        // The tag becomes a directory under the group's path: it must not
        // lead anywhere else, nor be "." or ".." before its dots change.
        if (!IsPlainName(tag) || !IsPlainName(directoryName)) {
            ++work.state.BadTicCount;
            std::string text = Fill(MessageText(Msg::TOSSUNSAFEAREATAG), "%a", tag);
            Refuse(work, text, text);
            return AreaRecord{};
        }
        area = CreateArea(work, tag, directoryName);
        if (area.Name.empty()) return area;
    }

    if (work.sender.CreateArea && !AreaHasLink(area, work.sender.Address)) {
        ++work.state.BadTicCount;
        Refuse(work, Fill(MessageText(Msg::LOGLINKNSIGNED), "%l", work.sender.AddressText, "%a", directoryName),
               Fill(MessageText(Msg::LINKNSIGNED), "%l", work.sender.AddressText, "%a", directoryName));
        return AreaRecord{};
    }
    if (area.SecurityWrite > work.sender.Security) {
        if (!config.notifyRoTpl.empty()) NotifyReadOnly(work.serials, config, work.sender, tag, tic.File);
        Refuse(work, Fill(MessageText(Msg::LOGLINKCANTWRITE), "%a", work.sender.AddressText, "%f", tag),
               Fill(MessageText(Msg::LINKCANTWRITE), "%a", work.sender.AddressText, "%f", tag));
        ++work.state.BadTicCount;
        return AreaRecord{};
    }
    if (!config.dupeFile.empty() &&
        IsDupe(work.run.dupes, config.dupeFile, area.Name, tic.File, tic.Crc, DupeSize(work.inboundSize))) {
        ++work.state.BadTicCount;
        ComplainRefused(work, MessageText(Msg::LOGDUPE));
        MoveAside(work, config.dupeDir, MessageText(Msg::FILESBBSDUPE));
        return AreaRecord{};
    }
    return area;
}

// Deletes the files of the area directory that the Replaces mask names,
// never the new file or the description list. A mask of wildcards only would
// empty the area; in the shared pass-through directory a file that a waiting
// TIC of the outbound names is still to be sent and stays.
void DeleteReplaced(TicWork& work, const AreaRecord& area, const std::string& target) {
    const MainConfig& config = work.config;
    const TicRecord& tic = work.tic;
    if (ReplacesEveryFile(tic.Replaces)) {
        Log(work, Fill(MessageText(Msg::EVERYFILEREPLACES), "%f", tic.Replaces));
        return;
    }
    std::vector<std::string> waiting;
    if (area.PassThrough) waiting = WaitingTicFiles(config.outbound);
    for (const DirEntry& entry : FindFiles(target + tic.Replaces)) {
        if (entry.name == tic.FullName || (!config.descFile.empty() && EqualNoCase(entry.name, config.descFile)))
            continue;
        if (std::any_of(waiting.begin(), waiting.end(), [&](const std::string& name) { return EqualNoCase(name, entry.name); })) {
            Log(work, Fill(MessageText(Msg::TOSSWAITINGKEPT), "%f", entry.name));
            continue;
        }
        DeleteFile(target + entry.name);
    }
}

// The file under the stored name in another letter case is the same file to
// the areas' users: it goes, as an overwritten one would.
void DeleteCaseTwins(const std::string& target, const std::string& storedName) {
    for (const DirEntry& entry : FindFiles(target + storedName))
        if (entry.name != storedName && EqualNoCase(entry.name, storedName)) DeleteFile(target + entry.name);
}

// Replaced files, their entries and the new entry of the description list.
// Every part can be done again: old entries of the name go before the new
// one is added, so a repeated step leaves one entry.
void Describe(TicWork& work, const AreaRecord& area, const std::string& target, const std::string& receivedName) {
    const MainConfig& config = work.config;
    TicRecord& tic = work.tic;
    const bool haveList = !config.descFile.empty();
    const std::string descList = target + config.descFile;
    std::string replaced = receivedName;
    if (config.replaces && IsPlainName(tic.Replaces)) {
        replaced = tic.Replaces;
        DeleteReplaced(work, area, target);
    } else if (config.replaces) {
        Log(work, Fill(MessageText(Msg::TOSSUNSAFEREPLACES), "%f", tic.Replaces));
    }
    DeleteCaseTwins(target, tic.FullName);
    if (!haveList) return;
    // A list that cannot be rewritten would keep the old entry beside the
    // new one: the run stops, and the next one does the step again.
    const DescriptionLayout layout = ListLayout(config);
    auto remove = [&](std::string_view name, EntryMatch given) {
        if (RemoveDescription(descList, name, layout, given) ==
            RemoveDescriptionStatus::WorkFailed)
            RuntimeError(LastErrorNumber());
    };
    remove(replaced, replaced == receivedName ? EntryMatch::Exact : EntryMatch::Mask);
    // The file under the stored name has just been replaced: so is its
    // entry, whatever the mask was.
    if (!MatchFileMask(tic.FullName, replaced)) remove(tic.FullName, EntryMatch::Exact);

    const std::string storedFile = target + tic.FullName;
    std::string mode = UpperCase(config.descMode);
    if (mode == "SMART") mode = tic.LDesc.empty() ? "EXTRACT" : "LDESC";
    if (mode == "EXTRACT") {
        mode = "LDESC";
        ArchiverRecord archiver = FindArchiver(storedFile, work.node.archivers);
        if (!archiver.Name.empty()) {
            std::vector<std::string> lines = ExtractDescription(archiver, storedFile, config.tempDir);
            // Without its program the archive keeps the TIC's description: say so.
            const std::string program = FirstWord(ExtractCommandLine(archiver, storedFile, config.tempDir));
            if (lines.empty() && FindProgram(program).empty()) Log(work, Fill(MessageText(Msg::TOSSNOARCHIVER), "%p",
                                                                              program));
            if (!lines.empty()) tic.LDesc = std::move(lines);
        }
    }
    int error = AddDescription(mode, tic.FullName, descList, tic.Desc, tic.LDesc, layout);
    if (error != 0) {
        Complain(work, Fill(Fill(MessageText(Msg::TOSSDESCNOTWRITTEN), "%f", descList), "%e", ErrorText(error)));
        RuntimeError(error);
    }
    Log(work, MessageText(Msg::LOGDESCADDED));
}

// The announcement record, written once.
void Announce(TicWork& work, const AreaRecord& area, const std::string& target, Journal& journal) {
    const MainConfig& config = work.config;
    const TicRecord& tic = work.tic;
    if (area.PassThrough && !config.announcePassThrough) return;
    const std::string directory = area.PassThrough ? config.passThrough : target;
    if (!AppendAnnouncementRecordOnce(journal, config.announceDir, area.Name, area.Desc, tic.File, directory,
                                      tic.Origin, tic.From, area.Group.substr(0, 1))) {
        int error = LastErrorNumber();
        Complain(work, RecordNotWrittenLine(journal, error));
        RuntimeError(error);
    }
}

// Whether what now lies under the stored name is the file the checks passed:
// a regular file, not a symlink or another file put in the inbound in its
// place meanwhile, with the size (and, when copied to another file system,
// the CRC) it had. A toss finished by a later run knows the size only.
bool IsStoredAsChecked(TicWork& work, const std::string& stored) {
    RegularFile now;
    if (now.Open(stored, false) != FileKind::Regular || TicSize(now.Identity().size) != work.inboundSize)
        return false;
    if (!work.payload.IsOpen()) return true;
    const FileIdentity& then = work.payload.Identity();
    const FileIdentity& is = now.Identity();
    if (is.device == then.device && is.inode == then.inode) return true;
    return work.payloadCrc != NoTicCrc && FileCrc32(now) == work.payloadCrc;
}

// Before the move copies the file to another file system, its CRC is taken
// through the descriptor checked, to compare the copy with.
void NoteCrcBeforeCopy(TicWork& work, const std::string& target) {
    FileIdentity dir;
    if (!work.payload.IsOpen() || work.payloadCrc != NoTicCrc || !GetFileIdentity(target, dir)) return;
    if (dir.device != work.payload.Identity().device) work.payloadCrc = FileCrc32(work.payload);
}

// The stored file is not the one checked: it leaves the area, and the TIC
// goes to the bad directory alone.
void RefuseStored(TicWork& work, Journal& journal, const std::string& stored) {
    CloseJournal(journal);
    DeleteFile(stored);
    const std::string text = Fill(MessageText(Msg::TOSSSTOREDCHANGED), "%f", work.tic.File);
    ComplainRefused(work, text);
    MoveAside(work, work.config.badTicDir, text, false);
}

// The TIC's work is done; it goes with its batch.
void AddToBatch(TossState& state, const std::string& ticPath, Journal& journal) {
    if (state.Batch.empty()) state.BatchStarted = MillisecondTick();
    state.Batch.push_back({ticPath, std::move(journal)});
    journal = Journal{};
}

// Stores the accepted file in its area and sends it on; false when it could
// not be stored (file and TIC then stay in the inbound). Each step is noted
// in the TIC's journal when done, so that a run that ends halfway is
// finished by the next one, every step exactly once; the TIC is deleted
// last, its journal after it.
bool StoreFile(TicWork& work, const AreaRecord& area, Journal& journal) {
    const MainConfig& config = work.config;
    TicRecord& tic = work.tic;

    std::string target = area.PassThrough ? config.passThrough : AreaDirectory(work.node.programDir, area);
    if (target.empty()) {
        Complain(work, Fill(MessageText(Msg::TOSSNOTARGET), "%f", tic.File));
        return false;
    }
    if (!ForceDirectories(target)) {
        Complain(work, Fill(Fill(MessageText(Msg::TOSSMOVEFAILED), "%f", tic.File, "%d", target), "%e",
                            ErrorText(LastErrorNumber())));
        return false;
    }
    AddTrailingSlash(target);

    // The new file is put in place first: nothing is replaced, and the file
    // is not recorded as received, unless it got there.
    const std::string receivedName = tic.File;
    const std::string stored = target + tic.FullName;
    const bool resumed = !JournalValue(journal, "stored").empty();
    if (!resumed) {
        std::vector<std::string> lines = JournalHead(work, receivedName);
        lines.insert(lines.end(),
                     {"stored " + stored, "crc " + HexLong(tic.Crc), "size " + std::to_string(work.inboundSize)});
        JournalAdd(journal, lines);
    }
    if (!resumed || GetFileKind(work.source + work.sourceFile, false) == FileKind::Regular) {
        NoteCrcBeforeCopy(work, target);
        int error = MoveFile(work.source + work.sourceFile, stored);
        if (error != 0) {
            Complain(work, Fill(Fill(MessageText(Msg::TOSSMOVEFAILED), "%f", receivedName, "%d", target), "%e",
                                ErrorText(error)));
            if (!resumed) CloseJournal(journal);  // nothing done; a later run starts afresh
            return false;
        }
    } else if (!IsRegularFile(stored)) {
        Complain(work, Fill(MessageText(Msg::TOSSSTOREDGONE), "%f", stored));
        return false;
    }
    const bool asChecked = IsStoredAsChecked(work, stored);
    work.payload.Close();
    if (!asChecked) {
        ++work.state.BadTicCount;
        RefuseStored(work, journal, stored);
        return true;
    }
    if (!JournalHas(journal, "dupe")) {
        // A run ended before noting the record may have written it.
        if (!config.dupeFile.empty() &&
            !(resumed && IsLastDupe(config.dupeFile, area.Name, receivedName, tic.Crc, DupeSize(work.inboundSize))))
            AddDupe(work.run.dupes, config.dupeFile, config.maxDupeRec, area, receivedName, tic.Crc,
                    DupeSize(work.inboundSize));
        JournalAdd(journal, "dupe");
    }

    if (!JournalHas(journal, "described")) {
        Log(work, Fill(MessageText(Msg::LOGREMOVEFILE), "%f", tic.FullName, "%d", target));
        if (!area.PassThrough) RegisterBbsArea(work.node.bbs, area.Name, target);
        Describe(work, area, target, receivedName);
        JournalAdd(journal, "described");
    }
    // From here on the file goes by its stored name.
    tic.File = tic.FullName;
    if (tic.Replaces == receivedName) tic.Replaces = tic.File;
    const std::string storedFile = target + tic.File;
    if (!JournalHas(journal, "announced")) {
        Announce(work, area, target, journal);
        if (!area.CreateFlag.empty()) {
            int error = WriteWholeFile(ResolveConfigPath(work.node.programDir, area.CreateFlag), "");
            if (error != 0) RuntimeError(error);
        }
        JournalAdd(journal, "announced");
    }

    tic.Area = area.Name;
    SendToLinks(work.run.busy, work.serials, storedFile, area, work.node.links, config, tic, &journal);
    AddToBatch(work.state, work.source + work.ticName, journal);
    return true;
}

// The file a TIC of the bad directory came with: its pair's, or for a TIC
// without one (moved aside alone, or before pairs were kept) the file of
// its name, unless another TIC there is paired with that or it is the
// directory's description list. With it, the reason line the toss gave
// the file: the pair's exactly, or for a file moved aside before pairs
// were kept, the line that begins with its name.
// A mailer that receives a file whose name is taken keeps it as NAME.1,
// NAME.2, ... When the file of that name is missing or is not the TIC's
// (another TIC's file waits under it), a renamed one whose size and CRC
// match is taken. A TIC without a CRC never takes one.
void FindRenamedFile(TicWork& work) {
    const TicRecord& tic = work.tic;
    if (tic.Crc == NoTicCrc) return;
    std::vector<std::string> renamed;
    for (const DirEntry& entry : FindFiles(work.source + tic.File + ".*"))
        if (entry.name.size() > tic.File.size() + 1 &&
            IsMailerRenumbering(std::string_view(entry.name).substr(tic.File.size() + 1)))
            renamed.push_back(entry.name);
    auto isTheFile = [&](const std::string& name) {
        RegularFile file;
        if (file.Open(work.source + name, false) != FileKind::Regular) return false;
        return (tic.Size <= 0 || TicSize(file.Identity().size) == tic.Size) && FileCrc32(file) == tic.Crc;
    };
    if (renamed.empty() || isTheFile(tic.File)) return;
    for (const std::string& name : renamed)
        if (isTheFile(name)) {
            Log(work, Fill(MessageText(Msg::TOSSRENAMED), "%f", tic.File, "%n", name));
            work.sourceFile = name;
            return;
        }
}

void FindPairedFile(TicWork& work) {
    const std::vector<BadPair> pairs = ReadPairList(work.source);
    const BadPair* pair = FindPair(pairs, work.ticName);
    if (pair != nullptr && !pair->file.empty()) {
        work.sourceFile = pair->file;
        work.oldReason = ReasonLine(pair->file, pair->reason);
        work.oldReasonWhole = true;
        return;
    }
    if (EqualNoCase(work.tic.File, work.config.descFile)) {
        work.sourceFile.clear();
        return;
    }
    for (const BadPair& other : pairs)
        if (other.tic != work.ticName && EqualNoCase(other.file, work.tic.File) &&
            IsRegularFile(work.source + other.tic)) {
            work.sourceFile.clear();
            return;
        }
    if (pair == nullptr && IsRegularFile(work.source + work.tic.File)) work.oldReason = ReasonLine(work.tic.File, "");
}

// Before a TIC of the bad directory is tossed again, the reason line of its
// file goes, so that a refusal leaves the reasons of the latest one only.
// False when the list could not be rewritten: the TIC then waits for a
// later run rather than have a second reason stand beside the first.
bool TakeOutReasonLine(TicWork& work) {
    const MainConfig& config = work.config;
    if (config.descFile.empty() || work.oldReason.empty()) return true;
    const std::string list = work.source + config.descFile;
    std::string content;
    if (!ReadWholeFile(list, content)) return true;
    const std::string& old = work.oldReason;
    const bool whole = work.oldReasonWhole;
    const std::string rest =
        WithoutLastLine(content, [&](std::string_view line) { return whole ? line == old : line.starts_with(old); });
    if (rest == content) return true;
    if (int error = ReplaceFileSafely(list, rest, "")) {
        Complain(work, Fill(Fill(MessageText(Msg::TOSSREASONKEPT), "%f", work.sourceFile, "%d", list), "%e",
                            ErrorText(error)));
        return false;
    }
    return true;
}

// The per-TIC step; false for a TIC that is not counted (from our own address).
bool TossOneTic(const std::string& ticName, const NodeConfig& node, AreaIndexes& areas, MsgIdSerials& serials,
                TicRunState& run, TossState& state) {
    const MainConfig& config = node.main;
    TicWork work{node, config, areas, serials, run, state, ticName, {}, {}, 0, {}, state.SourceDir, {}, {}, false, {}};
    TicRecord& tic = work.tic;
    const std::string ticPath = work.source + ticName;

    Log(work, "[i] " + NumberText(static_cast<long long>(MemoryAvailable())));
    if (ReadTic(ticPath, tic, &work.ticIdentity) != TicReadStatus::Ok) {
        // Still held by the mailer, or not readable at all: a later run.
        Log(work, Fill(MessageText(Msg::LOGOPENTICFILE), "%f", ticPath));
        Log(work, MessageText(Msg::LOGTICFILESKIPPED));
        ++state.BadTicCount;
        LeaveInPlace(work);
        return true;
    }
    if (tic.Replaces.empty()) tic.Replaces = tic.File;

    if (AddressInList(tic.From, config.addresses)) {
        LeaveInPlace(work);
        return false;
    }
    const LinkRecord* sender = FindLink(node.links, ParseAddress(tic.From));
    work.sender = sender ? *sender : LinkRecord{};
    if (tic.To.empty()) tic.To = work.sender.AKAText;

    Log(work, Fill(MessageText(Msg::LOGOPENTICFILE), "%f", PrintableText(ticPath)));
    Log(work, Fill(MessageText(Msg::LOGFROMFECHO), "%a", tic.From, "%e", tic.Area));

    if (tic.Desc.empty()) tic.Desc = config.defaultDesc;
    CutText(tic.Desc, MaxTicDesc);
    ShowTic(work);

    // File comes from the sender: it may only name a file of the inbound.
    // One with a path is never touched; only the TIC is moved aside.
    if (!IsPlainName(tic.File)) {
        ++state.BadTicCount;
        ComplainRefused(work, Fill(MessageText(Msg::TOSSUNSAFEFILENAME), "%f", PrintableText(tic.File)));
        MoveAside(work, config.badTicDir, std::string(), false);
        return true;
    }
    // Nor a name that would carry control characters into flow files and
    // lists, nor another TIC (or itself): that one has a file of its own.
    if (HasControlCharacters(tic.File)) {
        ++state.BadTicCount;
        const std::string shown = PrintableText(tic.File);
        ComplainRefused(work, Fill(MessageText(Msg::LOGBADFILENAME), "%f", shown));
        MoveAside(work, config.badTicDir, Fill(MessageText(Msg::BADFILENAME), "%f", shown), false);
        return true;
    }
    if (IsTicName(tic.File)) {
        ++state.BadTicCount;
        const std::string text = Fill(MessageText(Msg::TOSSTICASFILE), "%f", tic.File);
        ComplainRefused(work, text);
        MoveAside(work, config.badTicDir, text, false);
        return true;
    }
    work.sourceFile = tic.File;
    if (state.FromBadDir) FindPairedFile(work);
    else FindRenamedFile(work);

    Journal& journal = work.journal;
    journal = OpenTossJournal(state.Journals, ticName);
    if (!journal.lines.empty() && (JournalValue(journal, "tic-content") != work.ticIdentity ||
                                   JournalValue(journal, "file") != SingleLine(tic.File) ||
                                   JournalValue(journal, "area") != SingleLine(tic.Area))) {
        // Another TIC of that name before this one: this one is checked in full.
        Log(work, Fill(MessageText(Msg::TOSSOTHERJOURNAL), "%f", ticName));
        CloseJournal(journal);
    }
    if (JournalHas(journal, "done")) {
        // Tossed to the end. With its file gone from here, this is that TIC,
        // left by a run killed before it could delete it; with a file, the
        // same TIC sent again, which is checked in full.
        if (GetFileKind(work.source + work.sourceFile, false) == FileKind::Missing) {
            AddToBatch(state, ticPath, journal);
            return true;
        }
        Log(work, Fill(MessageText(Msg::TOSSENDEDJOURNAL), "%f", ticName));
        CloseJournal(journal);
    }
    if (!JournalValue(journal, "aside").empty() && JournalValue(journal, "stored").empty()) {
        ++state.BadTicCount;
        Log(work, Fill(MessageText(Msg::TOSSRESUMEASIDE), "%f", tic.File));
        CarryOutAside(work, NotedAside(journal), true);
        return true;
    }
    if (!journal.lines.empty() && JournalValue(journal, "stored").empty()) {
        // Ended after making the area, before the file moved: the notice
        // may be owed; the checks run again on the area as it now stands.
        if (JournalHas(journal, "creating") && !JournalHas(journal, "notified") && !config.announceNewAreaTpl.empty()) {
            AreaRecord made = ReadArea(areas, node.programDir + "areas.ctl", tic.Area);
            GroupRecord group = FindGroup(node.groups, work.sender.DefaultGroup);
            std::string message = JournalValue(journal, "notice");
            if (message.empty()) message = NextMessageName(config.netmailOut);
            if (!made.Name.empty() && group.Letter != 0)
                NotifyNewArea(work.serials, config, made, work.sender, group, message);
        }
        CloseJournal(journal);
    }
    AreaRecord area;
    if (journal.lines.empty()) {
        if (state.FromBadDir && !TakeOutReasonLine(work)) {
            ++state.BadTicCount;
            LeaveUndone(work);
            return true;
        }
        int status = CheckTic(work);
        if (status != Accepted) {
            ++state.BadTicCount;
            if (status == FileReceiving || (status == FileMissing && config.waitFile)) {
                ShowNotTossed(work, MessageText(Msg::LOGTICFILESKIPPED));
                LeaveInPlace(work);
            } else if (status == FileUnreadable) {
                LeaveUndone(work);
            } else if (status == FileMissing) {
                ComplainRefused(work, MessageText(Msg::LOGNOFILE));
                MoveAside(work, config.badTicDir, std::string());
            }
            return true;
        }
        area = FindTargetArea(work);
        if (area.Name.empty()) {
            // Refused after making its area: nothing left to finish, unless
            // the move aside was left halfway.
            if (JournalValue(journal, "aside").empty()) CloseJournal(journal);
            return true;
        }
    } else {
        // The checks were passed and the file may be stored already: the
        // journal says what is left to do.
        Log(work, Fill(MessageText(Msg::TOSSRESUME), "%f", tic.File));
        std::uint32_t crc = 0;
        if (ParseHexValue(JournalValue(journal, "crc"), crc)) tic.Crc = crc;
        work.inboundSize = ParseNumber(JournalValue(journal, "size"));
        area = ReadArea(areas, node.programDir + "areas.ctl", tic.Area);
        if (area.Name.empty()) {
            ++state.BadTicCount;
            Complain(work, Fill(MessageText(Msg::TOSSNOAREATORESUME), "%f", tic.File, "%a", tic.Area));
            LeaveUndone(work);
            return true;
        }
    }
    if (!StoreFile(work, area, journal)) {
        ++state.BadTicCount;
        LeaveUndone(work);
    }
    return true;
}

}  // namespace

void TossTic(const std::string& ticName, const NodeConfig& node, AreaIndexes& areas, MsgIdSerials& serials,
             TicRunState& run, TossState& state) {
    if (TossOneTic(ticName, node, areas, serials, run, state)) ++state.ProcessedTicCount;
}

namespace {

// Acknowledges the batch: its flow lines out, then one sync, then its TICs
// and journals deleted.
void CommitBatch(const MainConfig& config, TicRunState& run, TossState& state) {
    // The flow lines first: "done" says every link has its lines.
    FlushBatchFlowLines(run.busy, config);
    for (TossState::DoneTic& done : state.Batch)
        // Noted before the TIC goes: a journal left behind then is never
        // taken for the journal of the same TIC sent again.
        if (!JournalHas(done.journal, "done")) JournalAdd(done.journal, "done");
    if (int error = SyncChanges()) {
        // Nothing is acknowledged: the next run finds every TIC and journal.
        WriteLog(config.logName, Fill(MessageText(Msg::TOSSNOTSYNCED), "%e", ErrorText(error)));
        RuntimeError(error);
    }
    for (TossState::DoneTic& done : state.Batch) {
        DeleteFile(done.ticPath);
        FinishTossJournal(state.Journals, done.journal);
        WriteLog(config.logName, Fill(MessageText(Msg::TOSSTICDELETED), "%f", PrintableText(ExtractFileName(done.ticPath))));
    }
    state.Batch.clear();
    EndJournalBatch(state.Journals);
}

}  // namespace

TossState RunToss(const NodeConfig& node, AreaIndexes& areas, MsgIdSerials& serials, TicRunState& run,
                   int screenRows, TossSource from) {
    const MainConfig& config = node.main;
    TossState state;
    state.FromBadDir = from == TossSource::BadTicDir;
    state.SourceDir = state.FromBadDir ? config.badTicDir : config.inbound;

    if (state.SourceDir.empty()) {
        const std::string& text = MessageText(state.FromBadDir ? Msg::TOSSNOBADTICDIR : Msg::TOSSNOINBOUND);
        WriteErrorLine(text);
        WriteLog(config.logName, text);
        ExitProgram(2);
    }
    LoadTossJournals(state.Journals, TossJournalDir(config.tempDir, state.FromBadDir), state.SourceDir);
    const std::string mask = state.SourceDir + "*.tic";
    // A TIC whose name begins with "." is hidden: the mailer is still
    // writing it, and it waits for a later run like a hidden file.
    for (const DirEntry& entry : FindFiles(mask))
        if (!entry.isHidden) ++state.InboundTicCount;

    SetCursorVisible(false);
    SavedScreen saved;
    state.Screen = EqualNoCase(config.interface, "STANDART") && Console().terminal;
    if (state.Screen) {
        SaveScreen(screenRows, saved);
        DrawTossScreen();
    } else {
        WriteLine("");
    }

    // Every TIC is taken up once a run: one left in the inbound (waiting for
    // its file, from our own address, not movable) is not met again until
    // the next run, while TICs that arrive meanwhile are.
    std::set<std::string> handled;
    run.busy.batching = true;
    for (;;) {
        std::vector<std::string> batch;
        RereadDirectory(state.SourceDir);  // what the mailer brought meanwhile
        for (const DirEntry& entry : FindFiles(mask))
            if (!entry.isHidden && handled.insert(entry.name).second) batch.push_back(entry.name);
        if (batch.empty()) break;
        for (const std::string& name : batch) {
            if (StopRequested()) break;
            // A TIC comes from outside: a symlink or a FIFO is not read, and
            // it is not ours to move.
            const FileKind kind = GetFileKind(state.SourceDir + name, false);
            if (kind == FileKind::Regular)
                TossTic(name, node, areas, serials, run, state);
            else if (kind != FileKind::Missing && kind != FileKind::Directory)
                WriteLog(config.logName, Fill(MessageText(Msg::TOSSNOTREGULARTIC), "%f",
                                              PrintableText(state.SourceDir + name), "%k", FileKindText(kind)));
            if (state.Batch.size() >= BatchTicLimit ||
                (!state.Batch.empty() && MillisecondTick() - state.BatchStarted >= BatchMilliseconds))
                CommitBatch(config, run, state);
        }
        CommitBatch(config, run, state);
        if (StopRequested()) {
            // Asked to stop between two TICs: the rest waits for a later run.
            WriteLog(config.logName, MessageText(Msg::TOSSSTOP));
            state.WorkLeftUndone = true;
            break;
        }
    }
    run.busy.batching = false;
    // The pairs of the TICs tossed or moved on from there are done with.
    if (state.FromBadDir) KeepPresentPairs(state.SourceDir);

    WriteLog(config.logName, MessageText(state.FromBadDir ? Msg::TOSSNOMOREBADTICS : Msg::LOGNOMOREFILES));
    RestoreScreen(screenRows, saved);

    auto label = [](Msg key) {
        std::string text = MessageText(key);
        if (!text.empty() && text.back() != ' ') text += ' ';
        return text;
    };
    SetTextColor(Green);
    WriteLine("");
    if (StopRequested()) WriteLine(MessageText(Msg::TOSSSTOP));
    WriteText(label(Msg::ALLTIC));
    SetTextColor(LightGreen);
    WriteLine(NumberText(state.ProcessedTicCount));
    SetTextColor(Green);
    WriteText(label(Msg::BADTIC));
    SetTextColor(LightRed);
    WriteLine(NumberText(state.BadTicCount));
    SetTextColor(LightGray);
    return state;
}
