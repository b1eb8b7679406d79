#pragma once
// The main configuration "BRENMOOR.CTL": one record, loaded once at start-up
// and read by the whole program; nothing changes it afterwards.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "config/ctltable.h"
#include "frame/utils.h"

// How stored files reach the mailer (MODE).
enum class OutboundMode { Ama, Bink, FileBox, LongFileBox, Unknown };

// The MODE words, in the order of OutboundMode; any other word is Unknown.
constexpr std::string_view OutboundModeWords[] = {"AMA", "BINK", "FILEBOX", "LFILEBOX"};

// DURABILITY: Full syncs what a run has written before the work is
// acknowledged; None syncs nothing (tmpfs, tests). Any other word acts as Full.
enum class Durability { Full, None };
constexpr std::string_view DurabilityWords[] = {"FULL", "NONE"};

struct MainConfig {
    std::string mainAddress;        // the first ADDRESS in normalised form (25)
    std::string netmailIn;          // NETMAILIN, ends in "/"
    std::string netmailOut;         // NETMAILOUT
    std::string inbound;            // INBOUND
    std::string outbound;           // OUTBOUND
    std::string passThrough;        // PASSTROUGH
    std::string binkStyleOutbound;  // BINKSTYLEOUTBOUND
    std::string fileBoxes;          // FILEBOXES
    OutboundMode mode = OutboundMode::Ama;  // MODE
    Durability durability = Durability::Full;  // DURABILITY
    std::string badTicDir;          // BADTICDIR
    std::string dupeDir;            // DUPEDIR (BADTICDIR when not given)
    std::string tempDir;            // TEMPDIR
    std::string descFile;           // DESCFILE (12)
    std::string descMode = "DESC";  // DESCMODE (12)
    std::string executeMode = "WINDOW";                      // EXECUTEMODE (12)
    std::string defaultDesc = "Description not available";  // DEFAULTDESC (80)
    std::string longDescChars;      // LONGDESCCHARS (20), quotes removed
    std::string remoteProgram = "AllFix";  // REMOTEPROGRAM (12)
    std::string dlcString;          // DLCSTRING
    std::string semaphores;         // SEMAPHORES
    // STATEDIR: what the node keeps between runs (MSGID serial, retry list,
    // and by default the work files and the busy flag); the program
    // directory when not given, so that it may be read-only.
    std::string stateDir;
    std::string dupeFile;           // DUPEFILE
    // Robot template and body files; each must exist when configured.
    std::string helpFile;           // HELPFILE
    std::string cantPlusAll;        // CANTPLUSALL
    std::string badPwd;             // BADPWD
    std::string unknown;            // UNKNOWN
    std::string pause;              // PAUSE
    std::string resume;             // RESUME
    std::string list;               // LIST
    std::string notifyRoTpl;        // NOTIFYROTPL
    std::string queryTpl;           // QUERYTPL
    std::string forwardTpl;         // FORWARDTPL
    std::string answer;             // ANSWER
    std::string origin;             // ORIGIN
    std::string messageAttrDir = "DIR PVT LOC K/S";  // MESSAGEATTRDIR
    std::string messageAttrHld = "HLD PVT LOC K/S";  // MESSAGEATTRHLD
    std::string logName;            // LOGNAME
    std::string announceDir;        // ANNOUNCEDIR
    std::string announceNewAreaTpl; // ANNOUNCENEWAREATPL
    std::string announceTpl;        // ANNOUNCETPL
    std::string announceFile;       // ANNOUNCEFILE
    std::string interface = "STANDART";  // INTERFACE (8)
    // GROUP1..GROUP7: extension lists of the commander's colour classes,
    // upper case, in the form ",ZIP,RAR," (index 0 is GROUP1).
    std::array<std::string, 7> fileGroups;
    std::string sortBy = "EXT";     // SORTBY (6)
    std::string baseDir = "/";      // BASEDIR, ends in "/"
    std::vector<FidoAddress> addresses;  // every ADDRESS in file order
    std::vector<std::string> aliases;    // every ALIAS, upper case
    std::uint16_t msgMaxLines = 400;     // MSGMAXLINES
    std::uint8_t dlcPos = 14;            // DLCPOS (0 becomes 14)
    std::uint8_t descPos = 14;           // DESCPOS
    std::int32_t maxDupeRec = 1;         // MAXDUPEREC
    std::int32_t bsyWait = 10;           // BSYWAIT: seconds to wait for a link's .bsy
    std::int32_t bsyStale = 600;         // BSYSTALE: a link's .bsy older than this is stale; 0 never
    // Flow lines that waited in vain for a link's .bsy; in the program
    // directory, so that every run of this node finds them.
    std::string flowRetryFile;
    // Every directory and file value as the file gave it, resolved, in file
    // order: what a run makes or checks before it starts.
    std::vector<std::pair<ValueKind, std::string>> paths;
    bool autoAddingPlus = false;         // AUTOADDINGPLUS
    bool delBadTic = false;              // DELBADTIC
    bool calculationCrc = false;         // CALCULATIONCRC
    bool waitFile = false;               // WAITFILE
    bool lfn = false;                    // LFN
    bool lfnChangePoint = true;          // LFNCHANGEPOINT
    bool useExt = false;                 // USEEXT
    bool announcePassThrough = false;    // ANNOUNCEPASSTROUGH
    bool useGroupComment = false;        // USEGROUPCOMMENT
    bool useToBeSentFile = false;        // USETOBESENTFILE
    bool replaces = false;               // REPLACES
    char separator = 0;                  // SEPARATOR
};

// The retry list of flow lines and the MSGID serial, in STATEDIR.
constexpr std::string_view FlowRetryFileName = "FLOWRETRY.LST";
constexpr std::string_view MsgIdFileName = "msgid.dat";

// Reads the file (which the caller has found to exist) into config, after
// resetting it to the defaults. Nothing is made on disk. Relative paths are
// taken relative to the directory of the file itself (the program
// directory), so that a node runs the same whatever the current directory
// is. Returns 0, or the error number when the file cannot be read.
int LoadMainConfig(const std::string& path, MainConfig& config);

// What a run needs of the loaded paths before it starts: every configured
// directory made (one that cannot be made ends the run with 2) and every
// configured template there (240 when one is missing).
void PrepareMainPaths(const MainConfig& config);

// BRENMOOR.CTL as `brenmoor check` reads it: config is loaded as a run
// would load it, but nothing is made on disk and nothing ends the program;
// every line whose keyword is unknown or whose value does not parse, every
// path that is a Windows path, a directory that is missing and cannot be
// made or is not writable, a template that does not exist, and an INBOUND
// that is not set are returned.
std::vector<ConfigProblem> CheckMainConfig(const std::string& path, MainConfig& config);

// Whole addresses only: zone:net/node with an optional .point and @domain.
bool IsAddressText(std::string_view text);

// A path value of a control file: empty and absolute values unchanged, a
// relative one prefixed with baseDir (which ends in "/").
std::string ResolveConfigPath(const std::string& baseDir, const std::string& value);
