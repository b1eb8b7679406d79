#pragma once
// The main configuration "BRENMOOR.CTL": one record, loaded once at start-up
// and read by the whole program; nothing changes it afterwards.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "frame/utils.h"

struct MainConfig {
    std::string mainAddress;        // the first ADDRESS in normalised form (25)
    std::string netmailIn;          // NETMAILIN, ends in "/"
    std::string netmailOut;         // NETMAILOUT
    std::string inbound;            // INBOUND
    std::string outbound;           // OUTBOUND
    std::string passThrough;        // PASSTROUGH
    std::string binkStyleOutbound;  // BINKSTYLEOUTBOUND
    std::string fileBoxes;          // FILEBOXES
    std::string mode = "AMA";       // MODE: AMA, BINK, FILEBOX or LFILEBOX
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

// The retry list of flow lines, in the program directory.
constexpr std::string_view FlowRetryFileName = "FLOWRETRY.LST";

// Reads the file (which the caller has found to exist) into config, after
// resetting it to the defaults. Creates every configured directory; a
// directory that cannot be created ends the run with 2, a configured template
// that does not exist with 240. Relative paths are taken relative to the
// directory of the file itself (the program directory), so that a node runs
// the same whatever the current directory is.
void LoadMainConfig(const std::string& path, MainConfig& config);

// A problem `brenmoor check` reports: the file, its line (0: the file as a
// whole) and what is wrong.
struct ConfigProblem {
    std::string file;
    std::size_t line = 0;
    std::string text;
};

// The lines of BRENMOOR.CTL whose keyword is unknown or whose value does not
// parse (numbers, Yes/No switches, addresses), every configured directory
// that is missing or not writable, and an INBOUND that is not set. config is
// the file as loaded.
std::vector<ConfigProblem> CheckMainConfig(const std::string& path, const MainConfig& config);

// Whole addresses only: zone:net/node with an optional .point and @domain.
bool IsAddressText(std::string_view text);

// A path value of a control file: empty and absolute values unchanged, a
// relative one prefixed with baseDir (which ends in "/").
std::string ResolveConfigPath(const std::string& baseDir, const std::string& value);
