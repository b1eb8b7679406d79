// The floor under the toss: on a node written by toss_bench.sh, only the
// file operations that tossing its TICs cannot do without, so that the toss's
// rate can be read against what the file system allows.
//
//   toss_floor NODE_DIR
//
// Per run: the control files, areas.ctl and the dupe database are read once;
// the log, the dupe database and the announcement record file stay open.
// Per TIC: the TIC is read, the file read for its CRC and renamed into the
// area, its dupe record, description line and announcement record written,
// and for each link one new TIC in the outbound and its two flow lines in
// one append; the log gets the same lines. No journal, no lock (neither the
// run's busy flag nor a link's .bsy) and no sync: what a toss spends on
// surviving a kill or a power cut is what the bench measures against this.
// Nothing is stat'ed, looked up or made twice: a directory is made when a
// rename or create says it is missing.
//
// It knows only what the bench node uses: Bink-style flow files and TICs
// that pass every check. It ends with 1 at the first TIC that does not.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

constexpr std::size_t DupeRecordSize = 44;

std::string g_node;  // absolute, with a trailing slash

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "toss_floor: %s: %s\n", what.c_str(), errno ? std::strerror(errno) : "refused");
    std::exit(1);
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Slashed(std::string dir) { return dir.empty() || dir.back() == '/' ? dir : dir + '/'; }
std::string InNode(const std::string& path) { return path.empty() || path[0] == '/' ? path : g_node + path; }

std::string ReadAll(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    std::string content;
    char block[65536];
    for (ssize_t got; (got = ::read(fd, block, sizeof block)) > 0;) content.append(block, static_cast<std::size_t>(got));
    ::close(fd);
    return content;
}

void WriteAll(int fd, const std::string& bytes, const std::string& what) {
    if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) Fail(what);
}

// Calls each(KEYWORD, value) for the "Keyword value" lines of content: the
// keyword in upper case, the value with CR and blanks around it cut.
template <class Each>
void ForEachKeyword(std::string_view content, Each each) {
    while (!content.empty()) {
        std::string_view line = content.substr(0, content.find('\n'));
        content.remove_prefix(std::min(content.size(), line.size() + 1));
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
        if (line.empty() || line[0] == ';') continue;
        std::size_t gap = std::min(line.find(' '), line.size());
        std::string_view value = line.substr(gap);
        value.remove_prefix(std::min(value.size(), value.find_first_not_of(' ')));
        each(Upper(std::string(line.substr(0, gap))), value);
    }
}

int Number(std::string_view text) { return std::atoi(std::string(text).c_str()); }

void MakeDirs(const std::string& path) {
    for (std::size_t slash = 1; (slash = path.find('/', slash)) != std::string::npos; ++slash)
        ::mkdir(path.substr(0, slash).c_str(), 0777);
    ::mkdir(path.c_str(), 0777);
}

struct Address {
    int zone = 0, net = 0, node = 0, point = 0;
};

// "2:9999/101", or "101" and "9999/101" relative to base.
Address ParseAddress(std::string_view text, Address base = {}) {
    Address a = base;
    a.point = 0;
    std::size_t colon = text.find(':'), slash = text.find('/'), dot = text.find('.');
    std::size_t from = 0;
    if (colon != std::string::npos) a.zone = Number(text), from = colon + 1;
    if (slash != std::string::npos) a.net = Number(text.substr(from)), from = slash + 1;
    a.node = Number(text.substr(from));
    if (dot != std::string::npos) a.point = Number(text.substr(dot + 1));
    return a;
}

std::string AddressText(const Address& a) {
    std::string text = std::to_string(a.zone) + ":" + std::to_string(a.net) + "/" + std::to_string(a.node);
    return a.point ? text + "." + std::to_string(a.point) : text;
}

struct Link {
    std::string password, flow;  // flow file in the Bink-style outbound
};

struct Area {
    std::string tag, path, desc, group;
    std::vector<const std::string*> links;  // the addresses of the links of Links.ctl
};

struct Node {
    Address main;
    std::string inbound, outbound, tempDir, dupeFile, descFile, logName, announceDir, bink;
    unsigned maxDupes = 1000;
    std::size_t descPos = 19;  // the column of the description in files.bbs
    std::unordered_map<std::string, Link> links;
    std::unordered_map<std::string, Area> areas;  // by upper-case tag
};

char Hex(int v) { return "0123456789abcdef"[v & 15]; }
std::string Hex4(int v) { return {Hex(v >> 12), Hex(v >> 8), Hex(v >> 4), Hex(v)}; }

Node ReadNode() {
    Node node;
    const std::string main = ReadAll(g_node + "BRENMOOR.CTL");
    ForEachKeyword(main, [&](const std::string& key, std::string_view value) {
        std::string path = Slashed(InNode(std::string(value)));
        if (key == "ADDRESS") node.main = ParseAddress(value);
        else if (key == "INBOUND") node.inbound = path;
        else if (key == "OUTBOUND") node.outbound = path;
        else if (key == "TEMPDIR") node.tempDir = path;
        else if (key == "BINKSTYLEOUTBOUND") node.bink = path;
        else if (key == "ANNOUNCEDIR") node.announceDir = path;
        else if (key == "DUPEFILE") node.dupeFile = InNode(std::string(value));
        else if (key == "LOGNAME") node.logName = InNode(std::string(value));
        else if (key == "DESCFILE") node.descFile = value;
        else if (key == "MAXDUPEREC") node.maxDupes = static_cast<unsigned>(Number(value));
        else if (key == "DESCPOS") node.descPos = static_cast<std::size_t>(Number(value));
        // The directories a toss makes at its start.
        if (key == "INBOUND" || key == "OUTBOUND" || key == "PASSTROUGH" || key == "BADTICDIR" || key == "DUPEDIR" ||
            key == "TEMPDIR" || key == "SEMAPHORES" || key == "NETMAILIN" || key == "NETMAILOUT" ||
            key == "BINKSTYLEOUTBOUND" || key == "ANNOUNCEDIR")
            MakeDirs(InNode(std::string(value)));
    });
    MakeDirs(node.tempDir + "journal");  // the toss's, left empty
    MakeDirs(node.dupeFile.substr(0, node.dupeFile.rfind('/')));
    MakeDirs(node.logName.substr(0, node.logName.rfind('/')));

    Link* link = nullptr;
    const std::string links = ReadAll(g_node + "Links.ctl");
    ForEachKeyword(links, [&](const std::string& key, std::string_view value) {
        if (key == "LINK") {
            Address a = ParseAddress(value);
            std::string base = node.bink.substr(0, node.bink.size() - 1);
            if (a.zone != node.main.zone) base += "." + Hex4(a.zone).substr(1);
            base += "/" + Hex4(a.net) + Hex4(a.node);
            if (a.point) base += ".pnt/0000" + Hex4(a.point);
            link = &node.links[AddressText(a)];
            link->flow = base + ".flo";
        } else if (link && key == "PASSWORD") {
            link->password = value;
        } else if (link && key == "FILESSEND") {
            std::string mode = Upper(std::string(value));
            link->flow[link->flow.size() - 3] = mode == "DIRECT" ? 'd' : mode == "HOLD" ? 'h' : 'f';
        }
    });

    Area* area = nullptr;
    Address aka = node.main;
    const std::string areas = ReadAll(g_node + "areas.ctl");
    ForEachKeyword(areas, [&](const std::string& key, std::string_view value) {
        if (key == "AREA") {
            area = &node.areas[Upper(std::string(value))];
            area->tag = value;
            aka = node.main;
            return;
        }
        if (!area) return;
        if (key == "PATH") {
            area->path = Slashed(InNode(std::string(value)));
        } else if (key == "DESC") {
            area->desc = value;
        } else if (key == "GROUP") {
            area->group = value.substr(0, 1);
        } else if (key == "AKA") {
            aka = ParseAddress(value);
        } else if (key == "LINKS") {
            for (std::size_t at = 0; at < value.size();) {
                std::size_t end = std::min(value.find(' ', at), value.size());
                auto known = node.links.find(AddressText(ParseAddress(value.substr(at, end - at), aka)));
                if (end > at && known != node.links.end()) area->links.push_back(&known->first);
                at = end + 1;
            }
        }
    });
    return node;
}

std::string Padded(std::string text, std::size_t size) {
    text.resize(size, ' ');
    return text;
}

void PutLong(std::string& bytes, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>(v >> (8 * i));
}

void PutAddress(std::string& bytes, const Address& a) {
    for (int v : {a.zone, a.net, a.node, a.point}) bytes += {static_cast<char>(v), static_cast<char>(v >> 8)};
}

// The dupe database, read once: a header record and a ring of records.
class Dupes {
public:
    void Open(const std::string& path, unsigned ring) {
        ring_ = ring;
        std::string content = ReadAll(path);
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0) Fail(path);
        if (content.size() < DupeRecordSize) {
            content = Padded("Brenmoor DUPE file", 20) + std::string(20, '\0');
            PutLong(content, 0);
            WriteAll(fd_, content, path);
        }
        last_ = Long(content, 40);
        keys_.assign(ring_ + 1, std::string());
        for (std::size_t n = 1; n < content.size() / DupeRecordSize && n <= ring_; ++n) {
            keys_[n] = content.substr(n * DupeRecordSize, 40);
            present_.insert(keys_[n]);
        }
    }
    bool Has(const std::string& record) const { return present_.count(record.substr(0, 40)) != 0; }
    void Add(std::string record) {
        unsigned n = last_ + 1 > ring_ ? 1 : last_ + 1;
        PutLong(record, n);
        present_.erase(keys_[n]);
        keys_[n] = record.substr(0, 40);
        present_.insert(keys_[n]);
        std::string number;
        PutLong(number, n);
        if (::pwrite(fd_, record.data(), DupeRecordSize, static_cast<off_t>(n * DupeRecordSize)) != DupeRecordSize ||
            ::pwrite(fd_, number.data(), 4, 40) != 4)
            Fail("dupe database");
        last_ = n;
    }

private:
    static unsigned Long(const std::string& b, std::size_t at) {
        unsigned v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
        return v;
    }
    int fd_ = -1;
    unsigned ring_ = 0, last_ = 0;
    std::vector<std::string> keys_;
    std::unordered_set<std::string> present_;
};

struct Tic {
    std::string area, file, desc, origin, from, pw;
    std::vector<std::string> path, seenBy;
    std::uint32_t crc = 0;
    long size = -1;
};

Tic ParseTic(std::string_view content) {
    Tic tic;
    ForEachKeyword(content, [&](const std::string& key, std::string_view value) {
        if (key == "AREA") tic.area = value;
        else if (key == "FILE") tic.file = value;
        else if (key == "DESC") tic.desc = value;
        else if (key == "ORIGIN") tic.origin = value;
        else if (key == "FROM") tic.from = value;
        else if (key == "PW") tic.pw = value;
        else if (key == "SIZE") tic.size = Number(value);
        else if (key == "CRC") tic.crc = static_cast<std::uint32_t>(std::strtoul(std::string(value).c_str(), nullptr, 16));
        else if (key == "PATH") tic.path.emplace_back(value);
        else if (key == "SEENBY") tic.seenBy.emplace_back(value);
    });
    return tic;
}

// Opens path with flags; a missing directory is made once and the open tried again.
int OpenMaking(const std::string& path, int flags, const std::string& data = {}) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0 && errno == ENOENT) {
        MakeDirs(path.substr(0, path.rfind('/')));
        fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    }
    if (fd >= 0 && !data.empty()) WriteAll(fd, data, path);
    return fd;
}

class Floor {
public:
    explicit Floor(Node& node) : node_(node), random_(static_cast<unsigned>(std::time(nullptr) ^ ::getpid())) {
        log_ = OpenMaking(node_.logName, O_WRONLY | O_CREAT | O_APPEND);
        if (log_ < 0) Fail(node_.logName);
        dupes_.Open(node_.dupeFile, node_.maxDupes);
        started_ = std::time(nullptr);
        ::localtime_r(&started_, &now_);
        char day[16];
        std::strftime(day, sizeof day, "%d-%m-%y.ann", &now_);
        announcePath_ = node_.announceDir + day;
        announce_ = OpenMaking(announcePath_, O_WRONLY | O_CREAT | O_APPEND);
        if (announce_ < 0) Fail(announcePath_);
        std::string meminfo = ReadAll("/proc/meminfo");
        std::size_t at = meminfo.find("MemAvailable:");
        memory_ = at == std::string::npos ? 0 : std::strtoull(meminfo.c_str() + at + 13, nullptr, 10) * 1024;
        Log("Toss floor run");
    }

    void Toss(const std::string& ticName) {
        const std::string ticPath = node_.inbound + ticName;
        Log("[i] " + std::to_string(memory_));
        const std::string ticText = ReadAll(ticPath);
        Tic tic = ParseTic(ticText);
        Log("Opening TIC file " + ticPath);
        Log("From " + tic.from + ", file echo " + tic.area);
        auto area = node_.areas.find(Upper(tic.area));
        auto sender = node_.links.find(tic.from);
        if (area == node_.areas.end() || sender == node_.links.end() || sender->second.password != tic.pw)
            Fail(ticName);
        const Area& a = area->second;

        const std::string source = node_.inbound + tic.file;
        std::string bytes = ReadAll(source);
        std::uint32_t crc = static_cast<std::uint32_t>(
            crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
        if (crc != tic.crc || static_cast<long>(bytes.size()) != tic.size) Fail(tic.file);
        std::string record = Padded(Upper(a.tag).substr(0, 20), 20) + Padded(Upper(tic.file).substr(0, 12), 12);
        PutLong(record, crc);
        PutLong(record, static_cast<std::uint32_t>(bytes.size()));
        if (dupes_.Has(record)) Fail(tic.file + " is a dupe");

        const std::string stored = a.path + tic.file;
        if (::rename(source.c_str(), stored.c_str()) != 0) {
            if (errno != ENOENT) Fail(stored);
            const std::string dir = a.path.substr(0, a.path.size() - 1);
            if (::mkdir(dir.c_str(), 0777) != 0) MakeDirs(dir);
            if (::rename(source.c_str(), stored.c_str()) != 0) Fail(stored);
        }
        dupes_.Add(record);
        Log("File " + tic.file + " moved to " + a.path);

        int desc = ::open((a.path + node_.descFile).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
        if (desc < 0) Fail(a.path + node_.descFile);
        WriteAll(desc, Padded(tic.file, std::max(node_.descPos - 1, tic.file.size() + 1)) + tic.desc + "\r\n", node_.descFile);
        ::close(desc);
        Log("Description added");

        std::string ann = Padded(a.tag, 25) + Padded(a.desc, 70) + Padded(tic.file, 12) + Padded(a.path, 250) +
                          Padded(a.group, 1);
        PutAddress(ann, ParseAddress(tic.origin));
        PutAddress(ann, ParseAddress(tic.from));
        WriteAll(announce_, ann, announcePath_);

        SendOn(tic, a, stored, crc, bytes.size());

        if (::unlink(ticPath.c_str()) != 0) Fail(ticPath);
        Log("TIC file deleted");
        ++processed_;
    }

    void Finish() {
        Log("No more TIC files in the inbound");
        std::printf("Processed TIC files: %u\nBad TIC files: 0\n", processed_);
    }

private:
    void SendOn(const Tic& tic, const Area& a, const std::string& stored, std::uint32_t crc, std::size_t size) {
        const std::string own = AddressText(node_.main);
        std::vector<std::string> to, seenBy = tic.seenBy;
        for (const std::string& s : {own, tic.from})
            if (std::find(seenBy.begin(), seenBy.end(), s) == seenBy.end()) seenBy.push_back(s);
        for (const std::string* address : a.links)
            if (*address != tic.from && std::find(seenBy.begin(), seenBy.end(), *address) == seenBy.end())
                to.push_back(*address), seenBy.push_back(*address);

        char created[64], unix[24];
        std::strftime(created, sizeof created, "%d %b %y  %H:%M:%S", &now_);
        std::snprintf(unix, sizeof unix, "%lld", static_cast<long long>(started_));
        char crcText[9];
        std::snprintf(crcText, sizeof crcText, "%08X", crc);
        std::string head = "Created " + std::string(created) + " by Brenmoor toss floor\r\nFile " + tic.file +
                           "\r\nFullname " + tic.file + "\r\nSize " + std::to_string(size) + "\r\nDesc " + tic.desc +
                           "\r\nArea " + a.tag + "\r\nAreadesc " + a.desc + "\r\nOrigin " + tic.origin +
                           "\r\nFrom " + own + "\r\nTo ";
        std::string tail = "\r\nReplaces " + tic.file + "\r\nCrc " + crcText + "\r\n";
        for (const std::string& p : tic.path) tail += "Path " + p + "\r\n";
        tail += "Path " + own + " " + unix + " " + created + " [Brenmoor toss floor]\r\n";
        for (const std::string& s : seenBy) tail += "SeenBy " + s + "\r\n";

        for (const std::string& address : to) {
            const Link& link = node_.links.at(address);
            std::string name, path;
            int fd = -1;
            do {
                name = "BM";
                for (int i = 0; i < 6; ++i) name += "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[random_() % 36];
                name += ".TIC";
                path = node_.outbound + name;
                fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            } while (fd < 0 && errno == EEXIST);
            if (fd < 0) Fail(path);
            WriteAll(fd, head + address + tail + "Pw " + link.password + "\r\n", path);
            ::close(fd);
            Log("Sending to " + address);

            int flow = OpenMaking(link.flow, O_WRONLY | O_CREAT | O_APPEND, stored + "\n^" + path + "\n");
            if (flow < 0) Fail(link.flow);
            ::close(flow);
        }
    }

    void Log(const std::string& text) {
        char stamp[16];
        std::time_t now = std::time(nullptr);
        std::tm local {};
        ::localtime_r(&now, &local);
        std::strftime(stamp, sizeof stamp, "%H:%M:%S ", &local);
        WriteAll(log_, stamp + text + "\r\n", node_.logName);
    }

    Node& node_;
    std::mt19937 random_;
    Dupes dupes_;
    int log_ = -1, announce_ = -1;
    std::time_t started_ = 0;
    std::tm now_ {};  // TICs sent on are dated at the start of the run, like the announcement file
    std::string announcePath_;
    unsigned long long memory_ = 0;
    unsigned processed_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: toss_floor NODE_DIR\n");
        return 2;
    }
    char real[PATH_MAX];
    if (::realpath(argv[1], real) == nullptr) Fail(argv[1]);
    g_node = Slashed(real);
    ::tzset();
    Node node = ReadNode();

    std::vector<std::string> tics;
    if (DIR* dir = ::opendir(node.inbound.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() > 4 && name[0] != '.' && Upper(name.substr(name.size() - 4)) == ".TIC") tics.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(tics.begin(), tics.end());
    Floor floor(node);
    for (const std::string& name : tics) floor.Toss(name);
    floor.Finish();
    // The tables go with the process: freeing them entry by entry is no
    // work a toss has to do.
    std::fflush(stdout);
    std::_Exit(0);
}
