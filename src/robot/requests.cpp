// The robot works on one request at a time, entirely in memory: the area
// list is read once, every line sees the changes of the lines before it, and
// the answers are built in full. Only then is anything written: what the
// request decided is staged and journalled, then the area list is rewritten
// once, the links file for %PAUSE and %RESUME, the answers and the files sent
// again. A request whose answers cannot be built is left as it is, and
// nothing it asked for is done. The requests are deleted only once the run
// has answered all it could and synced what that wrote: a request deleted
// before then could be lost to a power cut with its answers.
#include "robot/requests.h"

#include <algorithm>
#include <cerrno>

#include "frame/journal.h"

#include "config/areas.h"
#include "frame/catalogue.h"
#include "frame/console.h"
#include "frame/log.h"
#include "frame/platform.h"
#include "frame/utils.h"
#include "robot/netmail.h"
#include "robot/reports.h"

namespace {

constexpr std::size_t LongRequestLines = 10000;

// A request carried out in full: it and its journal go after the sync.
struct Answered {
    std::string path;
    std::string note;  // the log line once deleted; empty: a link's request
};

struct Scan {
    const NodeConfig& node;
    const MainConfig& config;
    const FileResender& resend;
    AreaIndexes& areaIndexes;
    MsgIdSerials& serials;
    std::vector<LinkRecord> links;  // with the pauses of the requests before
    std::vector<ForwardRecord> forwards;
    std::vector<std::string> notAllowed;
    UplinkLists uplinkLists;
    int firstError = 0;
    std::vector<Answered> answered;  // done, deleted once what they wrote is synced
};

void Show(unsigned char colour, const std::string& text) {
    SetTextColor(colour);
    WriteLine(text);
}

// What left a request unanswered or ends the scan: an error line.
void ShowError(const std::string& text) { WriteErrorLine(text); }

void Log(const Scan& scan, const std::string& text) { WriteLog(scan.config.logName, text); }

// Names, passwords and tags as the robot compares them: the comment from
// ";" removed, trimmed, upper case.
std::string Normalised(std::string_view text) {
    std::string value(text);
    StripComment(value);
    Trim(value);
    UpperCaseInPlace(value);
    return value;
}

bool IsRobotName(const MainConfig& config, std::string_view name) {
    const std::string wanted = Normalised(name.substr(0, NetmailNameSize));
    return std::find(config.aliases.begin(), config.aliases.end(), wanted) != config.aliases.end();
}

// A message without INTL or MSGID has no zone: it is the zone of the
// node's address in the same net, else of the main address.
std::uint16_t ZoneFor(const MainConfig& config, std::uint16_t zone, std::uint16_t net) {
    if (zone != 0) return zone;
    for (const FidoAddress& own : config.addresses)
        if (own.net == net) return own.zone;
    return config.addresses.empty() ? 0 : config.addresses.front().zone;
}

std::string SenderOf(const MainConfig& config, const NetmailHeader& h) {
    return FormatAddressParts(ZoneFor(config, h.OrigZone, h.OrigNet), h.OrigNet, h.OrigNode, h.OrigPoint);
}

std::string DestinationOf(const MainConfig& config, const NetmailHeader& h) {
    return FormatAddressParts(ZoneFor(config, h.DestZone, h.DestNet), h.DestNet, h.DestNode, h.DestPoint);
}

// The shape of every answer to a request: back to its sender, from the
// address it was sent to.
OutgoingNetmail ReplyTo(const MainConfig& config, const NetmailHeader& h, std::string_view attributes) {
    OutgoingNetmail reply;
    reply.fromName = "Brenmoor";
    reply.toName = h.FromName.substr(0, NetmailNameSize);
    reply.fromAddress = DestinationOf(config, h);
    reply.toAddress = SenderOf(config, h);
    reply.attributes = std::string(attributes);
    reply.origin = config.origin + " (" + reply.fromAddress + ")";
    CutText(reply.origin);
    return reply;
}

// The errno of a file that could not be read, never 0.
int ReadFailure() {
    int error = LastErrorNumber();
    ClearErrorNumber();
    return error != 0 ? error : ENOENT;
}

// The body of a plain answer: the file of a setting, sent as it is; an
// empty setting sends a message without a body. 0 or errno.
int ReadBody(const std::string& file, OutgoingNetmail& message) {
    if (file.empty()) {
        message.hasBody = false;
        return 0;
    }
    return ReadSysopTextLines(file, message.body) ? 0 : ReadFailure();
}

// An answer in parts of at most MSGMAXLINES lines of its body, the
// subjects counting them when there is more than one.
void AddInParts(std::vector<OutgoingNetmail>& answers, const OutgoingNetmail& message, ReportParts parts) {
    for (std::size_t i = 0; i < parts.size(); ++i) {
        OutgoingNetmail part = message;
        if (parts.size() > 1)
            part.subject = Fill(Fill(MessageText(Msg::PARTSUBJ), "%s", message.subject), "%c",
                                NumberText(static_cast<long long>(i + 1)), "%a",
                                NumberText(static_cast<long long>(parts.size())));
        part.body = std::move(parts[i]);
        answers.push_back(std::move(part));
    }
}

// The file of a setting as the body of an answer, in parts.
void AddFileAnswer(std::vector<OutgoingNetmail>& answers, const OutgoingNetmail& message, std::uint16_t maxLines) {
    PartWriter writer({}, maxLines, ContinuedLines());
    for (const std::string& line : message.body) writer.Add(line);
    AddInParts(answers, message, std::move(writer.parts));
}

void LeaveRequest(Scan& scan, const std::string& path, int error) {
    const std::string text = Fill(MessageText(Msg::ROBOTLEFT), "%f", path, "%e", ErrorText(error));
    Log(scan, text);
    ShowError(text);
    if (scan.firstError == 0) scan.firstError = error;
}

// A file that %RESEND sends once everything else of the request is done.
struct Resend {
    AreaRecord area;
    std::string path;
};

// One request being carried out.
struct Request {
    Scan& scan;
    const MainConfig& config;
    std::string path;
    LinkRecord link;
    OutgoingNetmail reply;
    RobotWork work;
    std::vector<std::string> results;
    std::vector<std::string> reportsDone;  // %LIST, +* and the like: once a request
    std::vector<std::string> resendResults;
    std::vector<Resend> resends;
    bool linkChanged = false;
    bool commanded = false;  // a line was a command of the table
    int error = 0;  // an answer that cannot be built: the request stays
};

void Answer(Request& request, const std::string& subject, const std::string& bodyFile) {
    OutgoingNetmail message = request.reply;
    message.subject = subject;
    if (int error = ReadBody(bodyFile, message)) {
        request.error = error;
        return;
    }
    AddFileAnswer(request.work.answers, message, request.config.msgMaxLines);
}

void AnswerParts(Request& request, Msg subjectKey, const ReportParts& parts) {
    const std::string count = NumberText(static_cast<long long>(parts.size()));
    for (std::size_t i = 0; i < parts.size(); ++i) {
        OutgoingNetmail message = request.reply;
        message.subject = SubstituteMacros(MessageText(subjectKey), "%c", "%a",
                                           NumberText(static_cast<long long>(i + 1)), count);
        message.body = parts[i];
        request.work.answers.push_back(std::move(message));
    }
}

// A report template. False when the report cannot be answered: not
// configured (logged, nothing sent) or not readable (the request stays).
bool ReadReportTemplate(Request& request, const std::string& file, std::string_view word, ReportTemplate& report) {
    if (file.empty()) {
        Log(request.scan, Fill(MessageText(Msg::ROBOTNOTEMPLATE), "%c", word));
        return false;
    }
    std::vector<std::string> lines;
    if (!ReadSysopTextLines(file, lines)) {
        request.error = ReadFailure();
        return false;
    }
    report = ParseReportTemplate(std::move(lines));
    return true;
}

std::string StatusText(SubscribeStatus status) {
    switch (status) {
        case SubscribeStatus::Added: return MessageText(Msg::ADDED);
        case SubscribeStatus::NotFound: return MessageText(Msg::NOTFOUND);
        case SubscribeStatus::AccessFailure: return MessageText(Msg::ACCESSFAILURE);
        case SubscribeStatus::AlreadyLinked: return MessageText(Msg::ALREADYLINKED);
        case SubscribeStatus::RequestForwarded: return MessageText(Msg::REQUESTFORWARDED);
        case SubscribeStatus::LinksFull: return MessageText(Msg::LINKSFULL);
        case SubscribeStatus::ForwardRefused: return MessageText(Msg::FORWARDREFUSED);
    }
    return std::string();
}

std::string StatusText(UnsubscribeStatus status) {
    switch (status) {
        case UnsubscribeStatus::Unlinked: return MessageText(Msg::UNLINKED);
        case UnsubscribeStatus::NotFound: return MessageText(Msg::NOTFOUND);
        case UnsubscribeStatus::AccessFailure: return MessageText(Msg::ACCESSFAILURE);
        case UnsubscribeStatus::NotLinked: return MessageText(Msg::NOTLINKED);
    }
    return std::string();
}

void SetPause(Request& request, bool pause, const std::string& answerFile) {
    Show(Yellow, MessageText(pause ? Msg::PAUSE : Msg::RESUME));
    request.link.Pause = pause;
    request.linkChanged = true;
    Answer(request, MessageText(pause ? Msg::PAUSESUBJ : Msg::RESUMESUBJ), answerFile);
}

// The areas whose tags match a mask, as the list stood before the line.
std::vector<AreaRecord> AreasOfMask(const Request& request, std::string_view mask) {
    std::vector<AreaRecord> areas;
    for (const std::string& tag : AreaTags(request.work.areas)) {
        AreaRecord area = FindArea(request.work.areas, tag);
        if (!area.Name.empty() && MatchDosWildcard(area.Name, mask)) areas.push_back(std::move(area));
    }
    return areas;
}

// "+MASK": every area the link may read whose tag matches, a result line
// each; never forwarded to an uplink.
void SubscribeMask(Request& request, const std::string& mask) {
    bool any = false;
    for (const AreaRecord& area : AreasOfMask(request, mask)) {
        if (IsNotAllowed(request.scan.notAllowed, area.Name) || !MayReadArea(request.link, area)) continue;
        request.results.push_back(
            ResultLine(area.Name, StatusText(SubscribeArea(request.work, area.Name, request.link))));
        any = true;
    }
    if (!any) request.results.push_back(ResultLine(PrintableText(mask), StatusText(SubscribeStatus::NotFound)));
}

// "-MASK": every matching area the link is linked to.
void UnsubscribeMask(Request& request, const std::string& mask) {
    const std::vector<AreaRecord> areas = AreasOfMask(request, mask);
    bool any = false;
    for (const AreaRecord& area : areas) {
        if (!AreaHasLink(area, request.link.Address)) continue;
        request.results.push_back(
            ResultLine(area.Name, StatusText(UnsubscribeArea(request.work, area.Name, request.link))));
        any = true;
    }
    if (!any)
        request.results.push_back(ResultLine(
            PrintableText(mask), StatusText(areas.empty() ? UnsubscribeStatus::NotFound : UnsubscribeStatus::NotLinked)));
}

// "%RESEND file area": the file goes to the link again once the request is
// done. Only a linked reader that is not paused may ask.
void AskResend(Request& request, const std::string& arguments) {
    std::vector<std::string> words;
    for (std::size_t at = arguments.find_first_not_of(' '); at != std::string::npos;
         at = arguments.find_first_not_of(' ', at)) {
        std::size_t end = std::min(arguments.find(' ', at), arguments.size());
        words.push_back(arguments.substr(at, end - at));
        at = end;
    }
    auto result = [&request](std::string_view name, Msg text) {
        request.resendResults.push_back(ResultLine(PrintableText(name), MessageText(text)));
    };
    if (words.size() != 2) {
        result("%RESEND", Msg::RESENDUSAGE);
        return;
    }
    const std::string& name = words[0];
    const LinkRecord& link = request.link;
    Show(Yellow, Fill(MessageText(Msg::SENDRESEND), "%f", PrintableText(name), "%A", PrintableText(words[1])));
    Log(request.scan, MessageText(Msg::LOGSENDRESEND) + " " + PrintableText(name) + " " + PrintableText(words[1]));
    const AreaRecord area = FindArea(request.work.areas, words[1]);
    if (area.Name.empty() || link.Security < area.SecurityShow) return result(words[1], Msg::NOTFOUND);
    if (!MayReadArea(link, area)) return result(area.Name, Msg::ACCESSFAILURE);
    if (!AreaHasLink(area, link.Address)) return result(area.Name, Msg::NOTLINKED);
    if (link.Pause) return result(area.Name, Msg::RESENDPAUSED);
    if (!IsPlainName(name) || HasControlCharacters(name)) return result(name, Msg::RESENDNOTPLAIN);
    // The area's description list and files still being received are no
    // files of the area.
    if (name[0] == '.' || EqualNoCase(name, request.config.descFile)) return result(name, Msg::RESENDNOFILE);
    std::string dir = area.PassThrough ? request.config.passThrough : AreaDirectory(request.scan.node.programDir, area);
    if (dir.empty()) return result(name, Msg::RESENDNOFILE);
    AddTrailingSlash(dir);
    const std::string path = ResolvePath(dir + name);
    if (!IsRegularFile(path)) return result(name, Msg::RESENDNOFILE);
    for (const Resend& earlier : request.resends)
        if (earlier.path == path && earlier.area.Name == area.Name) {
            Log(request.scan, Fill(MessageText(Msg::ROBOTREPEATED), "%c", "%RESEND " + PrintableText(name)));
            return;
        }
    request.resends.push_back({area, path});
    result(ExtractFileName(path), Msg::RESENT);
}

// ---- The robot's commands -------------------------------------------------
// Each takes the word as the request wrote it (upper case), the whole line,
// and the file its row of the table answers with (empty: none configured).

void SendHelp(Request& request, const std::string&, const std::string&, const std::string& answerFile) {
    Show(Yellow, MessageText(Msg::SENDHELP));
    Log(request.scan, MessageText(Msg::LOGSENDHELP));
    Answer(request, MessageText(Msg::HELPSUBJ), answerFile);
}

// %LIST, %QUERY and %UNLINKED: the area list as the link sees it, in parts.
void SendAreaReport(Request& request, const std::string& word, const std::string& answerFile, Msg shown, Msg logged,
                    Msg subject, AreaReportKind kind) {
    Show(Yellow, MessageText(shown));
    Log(request.scan, MessageText(logged));
    ReportTemplate report;
    if (ReadReportTemplate(request, answerFile, word, report))
        AnswerParts(request, subject,
                    BuildAreaReport(request.work.areas, report, request.config.msgMaxLines, request.link, kind));
}

void SendList(Request& request, const std::string& word, const std::string&, const std::string& answerFile) {
    SendAreaReport(request, word, answerFile, Msg::SENDAREALIST, Msg::LOGSENDAREALIST, Msg::LISTSUBJ,
                   AreaReportKind::All);
}

void SendQuery(Request& request, const std::string& word, const std::string&, const std::string& answerFile) {
    SendAreaReport(request, word, answerFile, Msg::SENDQUERYLIST, Msg::LOGSENDQUERYLIST, Msg::QUERYSUBJ,
                   AreaReportKind::Linked);
}

void SendUnlinked(Request& request, const std::string& word, const std::string&, const std::string& answerFile) {
    SendAreaReport(request, word, answerFile, Msg::SENDUNLINKED, Msg::LOGSENDUNLINKED, Msg::UNLINKEDSUBJ,
                   AreaReportKind::Unlinked);
}

void SendAvail(Request& request, const std::string&, const std::string&, const std::string& answerFile) {
    Show(Yellow, MessageText(Msg::SENDFORWARDLIST));
    Log(request.scan, MessageText(Msg::LOGSENDFORWARDLIST));
    std::vector<std::string> lines;
    ReportParts parts{{}};  // a template that cannot be read: one empty part
    if (!answerFile.empty() && ReadSysopTextLines(answerFile, lines))
        parts = BuildAvailReport(request.link, request.scan.forwards, request.scan.uplinkLists,
                                 ParseReportTemplate(std::move(lines)), request.config.msgMaxLines);
    ClearErrorNumber();
    AnswerParts(request, Msg::AVAILSUBJ, parts);
}

void SendAgain(Request& request, const std::string& word, const std::string& line, const std::string&) {
    AskResend(request, line.substr(word.size()));
}

void PauseLink(Request& request, const std::string&, const std::string&, const std::string& answerFile) {
    SetPause(request, true, answerFile);
}

void ResumeLink(Request& request, const std::string&, const std::string&, const std::string& answerFile) {
    SetPause(request, false, answerFile);
}

// "+*": over the tags as they stood before the first change; a line for
// each area added or too full to add, or one that nothing changed.
void SubscribeAll(Request& request, const std::string& word, const std::string&, const std::string& answerFile) {
    if (!request.link.PlusAll) {
        Answer(request, MessageText(Msg::CANTPLUSALLSUBJ), answerFile);
        return;
    }
    const std::size_t before = request.results.size();
    for (const std::string& tag : AreaTags(request.work.areas)) {
        const SubscribeStatus status = SubscribeArea(request.work, tag, request.link);
        if (status == SubscribeStatus::Added || status == SubscribeStatus::LinksFull)
            request.results.push_back(ResultLine(tag, StatusText(status)));
    }
    if (request.results.size() == before)
        request.results.push_back(ResultLine(word.substr(0, 2), MessageText(Msg::NOTHINGCHANGED)));
}

// "-*": out of every area the link is in, also those of groups it cannot
// see (it could not leave them otherwise).
void UnsubscribeAll(Request& request, const std::string& word, const std::string&, const std::string&) {
    const std::size_t before = request.results.size();
    for (const std::string& tag : AreaTags(request.work.areas)) {
        AreaRecord area = FindArea(request.work.areas, tag);
        if (!area.Name.empty() && LeaveArea(request.work, area, request.link) == UnsubscribeStatus::Unlinked)
            request.results.push_back(ResultLine(tag, StatusText(UnsubscribeStatus::Unlinked)));
    }
    if (request.results.size() == before)
        request.results.push_back(ResultLine(word.substr(0, 2), MessageText(Msg::NOTHINGCHANGED)));
}

void Subscribe(Request& request, const std::string& word, const std::string&, const std::string&) {
    std::string tag = word.substr(1);
    Trim(tag);
    const std::string shown = PrintableText(tag);
    Show(Yellow, Fill(MessageText(Msg::SIGNON), "%A", shown));
    Log(request.scan, MessageText(Msg::LOGSIGNON) + " " + shown);
    if (IsTagMask(tag)) {
        SubscribeMask(request, tag);
        return;
    }
    SubscribeStatus status = IsNotAllowed(request.scan.notAllowed, tag) ? SubscribeStatus::AccessFailure
                                                                        : SubscribeArea(request.work, tag, request.link);
    request.results.push_back(ResultLine(shown, StatusText(status)));
}

void Unsubscribe(Request& request, const std::string& word, const std::string&, const std::string&) {
    const std::string tag = word.substr(1);
    const std::string shown = PrintableText(tag);
    Show(Yellow, Fill(MessageText(Msg::UNSIGNON), "%A", shown));
    Log(request.scan, MessageText(Msg::LOGUNSIGNON) + " " + shown);
    if (IsTagMask(tag)) {
        UnsubscribeMask(request, tag);
        return;
    }
    request.results.push_back(ResultLine(shown, StatusText(UnsubscribeArea(request.work, tag, request.link))));
}

// A row of the robot's command table: the word (a prefix for the rows of a
// sign: "+*" and "+" take what follows as part of the word), whether it is
// carried out once per request, what carries it out, and the setting of
// BRENMOOR.CTL that names the template or body it answers with (none: the
// answer is its result lines, under the ANSWER template).
struct RobotCommand {
    std::string_view word;
    bool prefix;
    bool oncePerRequest;
    void (*handler)(Request& request, const std::string& word, const std::string& line, const std::string& answerFile);
    std::string MainConfig::*answerFile;
};

// A list, the help or "+*" asked for again brings nothing new, and thousands
// of them would fill the memory and the outbound. The rows of a sign go
// last, "+*" before "+".
const RobotCommand RobotCommands[] = {
    {"%HELP", false, true, SendHelp, &MainConfig::helpFile},
    {"%LIST", false, true, SendList, &MainConfig::list},
    {"%QUERY", false, true, SendQuery, &MainConfig::queryTpl},
    {"%UNLINKED", false, true, SendUnlinked, &MainConfig::list},
    {"%AVAIL", false, true, SendAvail, &MainConfig::forwardTpl},
    {"%RESEND", false, false, SendAgain, nullptr},
    {"%PAUSE", false, false, PauseLink, &MainConfig::pause},
    {"%RESUME", false, false, ResumeLink, &MainConfig::resume},
    {"+*", true, true, SubscribeAll, &MainConfig::cantPlusAll},
    {"-*", true, true, UnsubscribeAll, nullptr},
    {"+", true, false, Subscribe, nullptr},
    {"-", true, false, Unsubscribe, nullptr},
};

const RobotCommand* FindRobotCommand(std::string_view word) {
    for (const RobotCommand& command : RobotCommands)
        if (command.prefix ? word.starts_with(command.word) : word == command.word) return &command;
    return nullptr;
}

void CarryOut(Request& request, std::string line) {
    const MainConfig& config = request.config;
    Trim(line);
    UpperCaseInPlace(line);
    if (config.autoAddingPlus && !line.empty() &&
        ((line[0] >= 'A' && line[0] <= 'Z') || IsDigit(line[0])))
        line.insert(line.begin(), '+');
    if (!line.empty() && (line[0] == '%' || line[0] == '+' || line[0] == '-')) {
        std::size_t end = 1;
        while (end < line.size() && line[end] == ' ') ++end;
        line.erase(1, end - 1);
    }
    const std::string word = line.substr(0, line.find(' '));
    if (word.size() <= 1) return;
    const RobotCommand* command = FindRobotCommand(word);
    if (command == nullptr) return;
    request.commanded = true;
    if (command->oncePerRequest) {
        const std::string once(command->word);
        if (std::find(request.reportsDone.begin(), request.reportsDone.end(), once) != request.reportsDone.end()) {
            Log(request.scan, Fill(MessageText(Msg::ROBOTREPEATED), "%c", once));
            return;
        }
        request.reportsDone.push_back(once);
    }
    static const std::string none;
    command->handler(request, word, line, command->answerFile ? config.*command->answerFile : none);
}

// Everything the request did goes out; false, with nothing changed, when
// it cannot.
// ---- Committing a request -------------------------------------------------
// What a request decided is staged first, in TEMPDIR's "journal/robot/":
// each answer as it will be written, the new area list, the link's pause and
// the files to send again; then the journal line "decided" binds it. From
// there a run killed or failing halfway is finished by the next one, step by
// step, instead of the request being carried out again against files it has
// changed already.

constexpr std::string_view RobotJournalDir = "journal/robot/";

struct Decision {
    std::vector<OutgoingNetmail> answers;
    const AreaList* areas = nullptr;       // the changed area list, if any
    bool linkChanged = false;
    bool pause = false;
    std::vector<Resend> resends;
};

std::string StagedPath(const MainConfig& config, const std::string& requestName, std::string_view part) {
    return config.tempDir + std::string(RobotJournalDir) + requestName + "." + std::string(part);
}

std::string JournalPathOf(const MainConfig& config, const std::string& requestName) {
    return StagedPath(config, requestName, "jnl");
}

// The journal of a request and everything staged for it; the journal goes
// first, so that no "decided" outlives what it names.
void DiscardStaged(const MainConfig& config, const std::string& requestName) {
    DeleteFile(JournalPathOf(config, requestName));
    const std::string dir = config.tempDir + std::string(RobotJournalDir);
    for (const DirEntry& entry : FindFiles(dir + "*"))
        if (entry.name.starts_with(requestName + ".")) DeleteFile(dir + entry.name);
}

// What a request was staged for whose message is gone: its run ended after
// deleting it.
void SweepStaged(const MainConfig& config) {
    const std::string dir = config.tempDir + std::string(RobotJournalDir);
    for (const DirEntry& entry : FindFiles(dir + "*")) {
        const std::size_t at = LowerCase(entry.name).find(".msg.");
        if (at == std::string::npos || !IsRegularFile(config.netmailIn + entry.name.substr(0, at + 4)))
            DeleteFile(dir + entry.name);
    }
}

// 0, or the errno of what could not be staged; nothing is decided then.
int Stage(MsgIdSerials& serials, const MainConfig& config, const std::string& requestName, const Decision& decision,
          Journal& journal) {
    DiscardStaged(config, requestName);
    ForceDirectories(config.tempDir + std::string(RobotJournalDir));
    std::string lines = "answers " + std::to_string(decision.answers.size()) + "\n";
    int error = 0;
    for (std::size_t i = 0; i < decision.answers.size() && error == 0; ++i)
        error = WriteWholeFile(StagedPath(config, requestName, std::to_string(i)),
                               BuildOutgoingNetmail(serials, decision.answers[i]));
    if (decision.areas != nullptr && error == 0) {
        error = WriteWholeFile(StagedPath(config, requestName, "areas"), AreaListText(*decision.areas));
        lines += "areas\n";
    }
    if (decision.linkChanged) lines += std::string("pause ") + (decision.pause ? "yes" : "no") + "\n";
    for (const Resend& resend : decision.resends) lines += "resend " + resend.area.Name + "\t" + SingleLine(resend.path) + "\n";
    lines += "decided\n";
    // One write: a run cut short leaves the decision whole or not at all.
    if (error == 0) error = CreateNewFile(JournalPathOf(config, requestName), lines);
    if (error != 0) {
        DiscardStaged(config, requestName);
        return error;
    }
    journal = OpenJournal(JournalPathOf(config, requestName));
    return 0;
}

// Writes staged answer index under a free name of NETMAILOUT, or under the
// name a run cut short chose for it when that file is still free or holds
// this very answer.
int WriteAnswer(const MainConfig& config, Journal& journal, const std::string& index, const std::string& bytes) {
    std::string file = JournalValue(journal, "name " + index);
    int error = EEXIST;
    if (!file.empty()) {
        std::string existing;
        error = ReadWholeFile(file, existing) ? (existing == bytes ? 0 : EEXIST) : PublishNewFile(file, bytes);
    }
    for (int attempt = 0; attempt < 4 && error == EEXIST; ++attempt) {
        file = NextMessageName(config.netmailOut);
        JournalAdd(journal, "name " + index + " " + file);
        error = PublishNewFile(file, bytes);
    }
    return error;
}

// Carries out a decided request, each step noted once done so that none is
// done twice; link is the sender's record (null: not a link). resumed: the
// decision comes from a run cut short, which may have done a step without
// noting it. False, with the request left for the next run, when a step
// fails; the next run goes on from there.
bool Apply(Scan& scan, const std::string& path, const LinkRecord* link, Journal& journal, bool resumed) {
    const MainConfig& config = scan.config;
    const std::string name = ExtractFileName(path);
    auto fail = [&](int error) {
        LeaveRequest(scan, path, error);
        return false;
    };
    if (JournalHas(journal, "areas") && !JournalHas(journal, "areas done")) {
        std::string text;
        if (!ReadWholeFile(StagedPath(config, name, "areas"), text)) return fail(ReadFailure());
        if (int error = WriteAreaListText(scan.areaIndexes, scan.node.programDir + "areas.ctl", text))
            return fail(error);
        JournalAdd(journal, "areas done");
    }
    LinkRecord record = link ? *link : LinkRecord{};
    const std::string pause = JournalValue(journal, "pause");
    if (!pause.empty()) record.Pause = pause == "yes";
    if (link && !pause.empty() && !JournalHas(journal, "link done")) {
        // A run cut short after the rewrite left Links.ctl as it should be.
        if (!(resumed && link->Pause == record.Pause)) {
            if (RewriteLink(ResolvePath(scan.node.programDir + "Links.ctl"), record)) {
                Log(scan, Fill(MessageText(Msg::ROBOTLINKSCTLFAILED), "%a", record.AddressText));
                return fail(ReadFailure());
            }
            for (LinkRecord& known : scan.links)
                if (SameAddress(known.Address, record.Address)) known = record;
        }
        JournalAdd(journal, "link done");
    }
    const long long answers = ParseNumber(JournalValue(journal, "answers"));
    for (long long i = 0; i < answers; ++i) {
        const std::string index = std::to_string(i);
        if (JournalHas(journal, "written " + index)) continue;
        std::string bytes;
        if (!ReadWholeFile(StagedPath(config, name, index), bytes)) return fail(ReadFailure());
        if (int error = WriteAnswer(config, journal, index, bytes)) return fail(error);
        JournalAdd(journal, "written " + index);
    }
    // A copy: noting a resend adds to the journal's lines.
    std::vector<std::string> resends;
    for (const std::string& line : journal.lines)
        if (line.starts_with("resend ")) resends.push_back(line);
    for (std::size_t number = 0; number < resends.size(); ++number) {
        const std::string& line = resends[number];
        const std::string index = std::to_string(number);
        if (JournalHas(journal, "resent " + index)) continue;
        const std::size_t tab = line.find('\t');
        const std::string tag = line.substr(7, tab == std::string::npos ? std::string::npos : tab - 7);
        const std::string file = tab == std::string::npos ? std::string() : line.substr(tab + 1);
        const AreaRecord area = ReadArea(scan.areaIndexes, scan.node.programDir + "areas.ctl", tag);
        std::string problem;
        if (area.Name.empty()) {
            problem = Fill(Fill(MessageText(Msg::ROBOTRESENDGONE), "%f", file, "%a", record.AddressText), "%t", tag);
        } else {
            const int error = scan.resend ? scan.resend(area, file, record, StagedPath(config, name, "resend" + index))
                                          : ENOSYS;
            if (error != 0)
                problem = Fill(Fill(MessageText(Msg::ROBOTRESENDFAILED), "%f", file, "%a", record.AddressText), "%e", ErrorText(error));
        }
        if (!problem.empty()) {
            Log(scan, problem);
            ShowError(problem);
        }
        JournalAdd(journal, "resent " + index);
    }
    return true;
}

// Deletes the requests carried out, with what was staged for them, once
// everything they wrote is on disk. A sync that fails deletes none: the
// next run finds each decided and done, and only deletes it. 0 or errno.
int AcknowledgeRequests(Scan& scan) {
    if (scan.answered.empty()) return 0;
    if (int error = SyncChanges()) {
        const std::string text = Fill(MessageText(Msg::ROBOTNOTSYNCED), "%e", ErrorText(error));
        Log(scan, text);
        ShowError(text);
        return error;
    }
    for (const Answered& request : scan.answered) {
        const std::string shown = PrintableText(request.path);
        DeleteFile(request.path);
        if (IsRegularFile(request.path)) {
            Log(scan, Fill(MessageText(Msg::ROBOTNOTDELETED), "%f", request.path));
            LeaveRequest(scan, request.path, EACCES);
            continue;
        }
        DiscardStaged(scan.config, ExtractFileName(request.path));
        if (!request.note.empty()) {
            Log(scan, request.note);
            continue;
        }
        Show(Yellow, Fill(MessageText(Msg::DELETINGMSG), "%f", shown));
        Log(scan, Fill(MessageText(Msg::LOGDELETINGMSG), "%f", shown));
    }
    scan.answered.clear();
    return 0;
}

bool Commit(Request& request) {
    Scan& scan = request.scan;
    if (request.error != 0) {
        LeaveRequest(scan, request.path, request.error);
        return false;
    }
    Decision decision;
    decision.answers = request.work.answers;
    if (request.work.areas.changed) decision.areas = &request.work.areas;
    decision.linkChanged = request.linkChanged;
    decision.pause = request.link.Pause;
    decision.resends = request.resends;
    Journal journal;
    if (int error = Stage(scan.serials, request.config, ExtractFileName(request.path), decision, journal)) {
        LeaveRequest(scan, request.path, error);
        return false;
    }
    if (!Apply(scan, request.path, &request.link, journal, false)) return false;
    scan.answered.push_back({request.path, {}});
    return true;
}

void ProcessRequest(Scan& scan, const std::string& name) {
    const MainConfig& config = scan.config;
    const std::string path = config.netmailIn + name;
    Show(Yellow, Fill(MessageText(Msg::WORKUPMSG), "%f", PrintableText(path)));
    Log(scan, MessageText(Msg::LOGWORKUPMSG) + " " + PrintableText(path));

    // Read through no symlink: a request is used only as the regular file it was collected as.
    std::string bytes;
    FileKind kind = FileKind::Missing;
    if (!ReadRegularFile(path, false, bytes, kind) || bytes.size() < NetmailHeaderSize) {
        int error = kind == FileKind::Regular || kind == FileKind::Unreadable ? LastErrorNumber() : EINVAL;
        ClearErrorNumber();
        LeaveRequest(scan, path, error != 0 ? error : EIO);
        return;
    }
    // The addresses come from the kludges at the start of the text, as when
    // the request was collected: one further down cannot change the sender.
    const NetmailHeader header = ParseNetmail(bytes, true).Header;
    const NetmailMessage message = ParseNetmail(bytes, false);
    const std::string sender = SenderOf(config, header);
    std::string senderName = PrintableText(header.FromName);
    TrimRight(senderName);
    Show(Yellow, Fill(MessageText(Msg::REQUESTFROM), "%a", sender, "%n", senderName));
    Log(scan, Fill(MessageText(Msg::LOGFROM), "%a", sender, "%n", senderName));
    if (message.Body.size() > LongRequestLines)
        Log(scan, Fill(MessageText(Msg::ROBOTLONGREQUEST), "%f", path, "%n",
                       NumberText(static_cast<long long>(message.Body.size()))));

    const LinkRecord* known = FindLink(scan.links, ParseAddress(sender));
    if (known == nullptr) {
        LeaveRequest(scan, path, ENOENT);
        return;
    }
    const LinkRecord link = *known;
    Journal journal = OpenJournal(JournalPathOf(config, name));
    if (JournalHas(journal, "decided")) {
        Log(scan, Fill(MessageText(Msg::ROBOTFINISHING), "%f", PrintableText(path)));
        if (Apply(scan, path, &link, journal, true)) scan.answered.push_back({path, {}});
        return;
    }
    const std::string& attributes = link.FilesSend == Flavour::Direct ? config.messageAttrDir : config.messageAttrHld;
    Request request{scan, config, path, link, ReplyTo(config, header, attributes),
                    RobotWork{config, scan.node.groups, scan.links, scan.forwards, scan.uplinkLists, {}, {}},
                    {}, {}, {}, {}, false, 0};

    if (Normalised(header.Subject) != link.Password) {
        ShowError(MessageText(Msg::BADPWD));
        Log(scan, MessageText(Msg::LOGBADPWD));
        Answer(request, MessageText(Msg::BADPWDSUBJ), config.badPwd);
        Commit(request);
        return;
    }
    // Answers that cannot be written, or a request that cannot be deleted,
    // would have the next run carry out the same lines again.
    if (!IsWritableDirectory(config.netmailOut) || !IsWritableDirectory(config.netmailIn)) {
        LeaveRequest(scan, path, EACCES);
        return;
    }
    if (int error = LoadAreaList(scan.node.programDir + "areas.ctl", request.work.areas)) {
        LeaveRequest(scan, path, error);
        return;
    }
    for (const std::string& line : message.Body) {
        if (line.starts_with("---")) break;
        CarryOut(request, line);
        if (request.error != 0) break;
    }
    // A link that asked is told something, also when it asked for nothing.
    if (request.results.empty() && request.resendResults.empty() && request.work.answers.empty())
        request.results.push_back(MessageText(request.commanded ? Msg::NOTHINGCHANGED : Msg::NOTHINGREQUESTED));
    if ((!request.results.empty() || !request.resendResults.empty()) && request.error == 0) {
        // Without an ANSWER template the result lines go alone.
        std::vector<std::string> answerTemplate{"@STATECHOLIST"};
        if (!config.answer.empty() && !ReadSysopTextLines(config.answer, answerTemplate)) {
            request.error = ReadFailure();
        } else {
            for (const auto& [subject, results] : {std::pair{Msg::ANSWERSUBJ, &request.results},
                                                   std::pair{Msg::RESENDSUBJ, &request.resendResults}}) {
                if (results->empty()) continue;
                OutgoingNetmail answer = request.reply;
                answer.subject = MessageText(subject);
                AddInParts(request.work.answers, answer, BuildAnswer(answerTemplate, *results, config.msgMaxLines));
            }
        }
    }
    Commit(request);
}

// The message number of a name such as "10.msg"; false for other names.
bool MessageNumber(std::string_view name, unsigned long long& number) {
    const std::string_view stem = name.substr(0, name.size() - std::min<std::size_t>(name.size(), 4));
    if (stem.empty() || stem.size() > 18 || !EqualNoCase(name.substr(stem.size()), ".msg")) return false;
    number = 0;
    for (char c : stem) {
        if (!IsDigit(c)) return false;
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    return true;
}

// Requests are carried out in the order they were written: by message
// number (9.msg before 10.msg), then the other names by name.
bool RequestBefore(const DirEntry& a, const DirEntry& b) {
    unsigned long long x = 0, y = 0;
    const bool numberedA = MessageNumber(a.name, x), numberedB = MessageNumber(b.name, y);
    if (numberedA != numberedB) return numberedA;
    if (numberedA && x != y) return x < y;
    return a.name < b.name;
}

// The requests for the robot in message-number order. A sender that is not
// a link is answered and its message deleted here; messages from the robot
// itself, from the node's own addresses or to another node are left alone.
std::vector<std::string> CollectRequests(Scan& scan) {
    const MainConfig& config = scan.config;
    std::vector<std::string> queue;
    std::vector<DirEntry> found = FindFiles(config.netmailIn + "*.msg");
    std::sort(found.begin(), found.end(), RequestBefore);
    for (const DirEntry& entry : found) {
        const std::string path = config.netmailIn + entry.name;
        // A request comes from outside: a symlink (to a file of this node) or
        // a FIFO is neither read nor deleted.
        const FileKind kind = GetFileKind(path, false);
        if (kind != FileKind::Regular && kind != FileKind::Missing && kind != FileKind::Unreadable) {
            Log(scan, Fill(MessageText(Msg::ROBOTNOTREGULAR), "%f", PrintableText(path), "%k", FileKindText(kind)));
            continue;
        }
        std::string bytes;
        FileKind read = FileKind::Missing;
        if (!ReadRegularFile(path, false, bytes, read) || bytes.size() < NetmailHeaderSize) {
            ClearErrorNumber();
            Log(scan, Fill(MessageText(Msg::ROBOTSHORTMSG), "%f", PrintableText(path)));
            ShowError(Fill(MessageText(Msg::ROBOTSHORTMSG), "%f", PrintableText(path)));
            continue;
        }
        const NetmailHeader header = ParseNetmail(bytes, true).Header;
        if (!IsRobotName(config, header.ToName) || IsRobotName(config, header.FromName)) continue;
        // Mail in transit to another node's robot is not this robot's.
        if (!AddressInList(DestinationOf(config, header), config.addresses)) continue;
        const std::string sender = SenderOf(config, header);
        if (AddressInList(sender, config.addresses)) continue;
        if (FindLink(scan.links, ParseAddress(sender)) != nullptr) {
            queue.push_back(entry.name);
            continue;
        }
        Journal journal = OpenJournal(JournalPathOf(config, entry.name));
        if (!JournalHas(journal, "decided")) {
            Decision decision;
            OutgoingNetmail reply = ReplyTo(config, header, "PVT LOC K/S");
            int error = ReadBody(config.unknown, reply);
            if (error == 0) {
                AddFileAnswer(decision.answers, reply, config.msgMaxLines);
                error = Stage(scan.serials, config, entry.name, decision, journal);
            }
            if (error != 0) {
                LeaveRequest(scan, path, error);
                continue;
            }
        }
        if (Apply(scan, path, nullptr, journal, true))
            scan.answered.push_back({path, Fill(MessageText(Msg::ROBOTNOTALINK), "%a", sender)});
    }
    return queue;
}

// Whether the one link left in a pass-through area is where its files come
// from: an uplink of FORWARD.CTL, or else its first link (the link that
// created it, or the uplink it was ordered from). When the uplink itself
// leaves, the downlink keeps the area.
bool IsUplinkOf(const RobotWork& work, const AreaRecord& area, const std::vector<std::string>& before,
                const std::string& remaining) {
    const FidoAddress address = LinkEntryAddress(area.AKA, remaining);
    for (const ForwardRecord& forward : work.forwards)
        if (SameAddress(forward.Address, address)) return true;
    return !before.empty() && SameAddress(LinkEntryAddress(area.AKA, before.front()), address);
}

}  // namespace

SubscribeStatus SubscribeArea(RobotWork& work, std::string_view tagText, const LinkRecord& link) {
    const std::string tag = Normalised(tagText);
    AreaRecord area = FindArea(work.areas, tag);
    if (area.Name.empty()) {
        switch (ForwardSubscription(work, tag, link)) {
            case ForwardResult::Forwarded: return SubscribeStatus::RequestForwarded;
            case ForwardResult::Hidden: return SubscribeStatus::ForwardRefused;
            case ForwardResult::NotCarried: break;
        }
        return SubscribeStatus::NotFound;
    }
    if (link.Security < area.SecurityShow) return SubscribeStatus::NotFound;
    if (!MayReadArea(link, area)) return SubscribeStatus::AccessFailure;
    if (AreaHasLink(area, link.Address)) return SubscribeStatus::AlreadyLinked;
    if (!AddLinkToArea(area, link.Address)) {
        WriteLog(work.config.logName, Fill(MessageText(Msg::ROBOTLINKSFULL), "%a", area.Name, "%l", link.AddressText));
        return SubscribeStatus::LinksFull;
    }
    StoreArea(work.areas, area);
    return SubscribeStatus::Added;
}

UnsubscribeStatus UnsubscribeArea(RobotWork& work, std::string_view tagText, const LinkRecord& link) {
    AreaRecord area = FindArea(work.areas, Normalised(tagText));
    if (area.Name.empty()) return UnsubscribeStatus::NotFound;
    if (!SharesGroup(link.Group, area.Group)) return UnsubscribeStatus::AccessFailure;
    return LeaveArea(work, area, link);
}

UnsubscribeStatus LeaveArea(RobotWork& work, AreaRecord area, const LinkRecord& link) {
    const std::vector<std::string> before = SplitLinks(area.Links);
    if (!RemoveLinkFromArea(area, link.Address)) return UnsubscribeStatus::NotLinked;
    const std::vector<std::string> remaining = SplitLinks(area.Links);
    if (area.PassThrough && remaining.size() == 1 && IsUplinkOf(work, area, before, remaining.front()))
        UnsubscribeAtUplink(work, area, remaining.front(), link);
    else
        StoreArea(work.areas, area);
    return UnsubscribeStatus::Unlinked;
}

std::vector<std::string_view> RobotCommandWords() {
    std::vector<std::string_view> words;
    for (const RobotCommand& command : RobotCommands) words.push_back(command.word);
    return words;
}

std::string_view RobotCommandOf(std::string_view word) {
    const RobotCommand* command = FindRobotCommand(word);
    return command ? command->word : std::string_view();
}

bool IsTagMask(std::string_view tag) {
    return !tag.empty() && tag[0] != '*' && tag.find_first_of("*?") != std::string_view::npos;
}

int RunScan(const NodeConfig& node, AreaIndexes& areaIndexes, MsgIdSerials& serials, const FileResender& resend) {
    const std::string& dir = node.programDir;
    const MainConfig& config = node.main;
    Scan scan{node, config, resend, areaIndexes, serials, node.links, {}, {}, {}, 0, {}};

    SetTextColor(Cyan);
    WriteText(MessageText(Msg::READINGFORWARDCTL));
    scan.forwards = ReadForwardList(ResolvePath(dir + "FORWARD.CTL"), dir, config.remoteProgram);
    WriteLine(MessageText(Msg::OK));
    WriteText(MessageText(Msg::READINGNOTALLOWCTL));
    scan.notAllowed = ReadNotAllowedList(ResolvePath(dir + "NOTALLOW.CTL"));
    WriteLine(MessageText(Msg::OK));

    if (config.netmailIn.empty()) return 0;
    if (config.netmailOut.empty()) {
        Log(scan, MessageText(Msg::ROBOTNONETMAILOUT));
        ShowError(MessageText(Msg::ROBOTNONETMAILOUT));
        return ENOENT;
    }
    SweepStaged(config);
    SetTextColor(Cyan);
    WriteText(MessageText(Msg::SCANINGNETMAIL));
    const std::vector<std::string> queue = CollectRequests(scan);
    SetTextColor(Cyan);
    WriteLine(MessageText(Msg::OK));
    for (const std::string& name : queue) {
        if (StopRequested()) {
            Log(scan, MessageText(Msg::ROBOTSTOP));
            break;
        }
        ProcessRequest(scan, name);
    }
    if (int error = AcknowledgeRequests(scan)) return error;
    return scan.firstError;
}
