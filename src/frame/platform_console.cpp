#include "frame/platform_console.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Read by the signal handler, so plain flags only.
volatile sig_atomic_t GuardAlternate = 0;
volatile sig_atomic_t GuardCursorHidden = 0;
volatile sig_atomic_t GuardColoured = 0;
volatile sig_atomic_t GuardReports = 0;
volatile sig_atomic_t RawActive = 0;
struct termios SavedTermios;
volatile sig_atomic_t ResumePending = 0;

// Resize events: the handler sets the flag and wakes poll() through a pipe,
// so a signal between the check and the wait is never lost.
volatile sig_atomic_t ResizePending = 0;
int WakePipe[2] = {-1, -1};

void WakeReader() {
    if (WakePipe[1] >= 0) {
        char byte = 1;
        [[maybe_unused]] ssize_t written = ::write(WakePipe[1], &byte, 1);
    }
}

void OnWindowChange(int) {
    int savedErrno = errno;
    ResizePending = 1;
    WakeReader();
    errno = savedErrno;
}

void DrainWakePipe() {
    char buffer[64];
    while (WakePipe[0] >= 0 && ::read(WakePipe[0], buffer, sizeof buffer) > 0) {
    }
}

bool GuardsInstalled = false;
void (*ExitHook)() = nullptr;

// Also called from the signal handler: WriteOutputBytes only calls write().
void WriteRaw(const char* text) { WriteOutputBytes(text); }

void RawMode(struct termios& mode) {
    mode.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON | ISTRIP | BRKINT | INPCK | PARMRK);
    mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | ISIG | IEXTEN);
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
}

// A stopped job continued in the background stops again at tcsetattr
// (SIGTTOU) and goes on with EINTR when it is brought to the foreground.
int SetModes(const struct termios& mode) {
    int result;
    while ((result = ::tcsetattr(0, TCSANOW, &mode)) != 0 && errno == EINTR) {
    }
    return result;
}

// Only write() and tcsetattr(): called from signal handlers.
void GiveTerminalBack() {
    if (GuardReports) WriteRaw(ReportsOff);
    // Leaving the alternate screen brings back the colours of the moment it
    // was entered, so the colours are reset after it.
    if (GuardAlternate) WriteRaw("\x1b[?1049l");
    if (GuardColoured || GuardAlternate) WriteRaw("\x1b[0m");
    if (GuardCursorHidden) WriteRaw("\x1b[?25h");
    if (RawActive) SetModes(SavedTermios);
}

void TakeTerminalAgain() {
    if (RawActive) {
        // The shell may have changed the modes meanwhile: those are the ones
        // to give back next time.
        struct termios mode {};
        if (::tcgetattr(0, &mode) == 0) {
            SavedTermios = mode;
            RawMode(mode);
            SetModes(mode);
        }
    }
    if (GuardAlternate) WriteRaw("\x1b[?1049h");
    if (GuardCursorHidden) WriteRaw("\x1b[?25l");
    if (GuardReports) WriteRaw(ReportsOn);
}

void OnSignal(int signalNumber) {
    int savedErrno = errno;
    // Mouse reports and pasted text still queued are the commander's, not
    // the shell's.
    const bool reports = GuardReports;
    GiveTerminalBack();
    if (reports) ::tcflush(0, TCIFLUSH);
    GuardAlternate = 0;
    GuardCursorHidden = 0;
    GuardColoured = 0;
    GuardReports = 0;
    RawActive = 0;
    errno = savedErrno;
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
}

struct sigaction SuspendHandler {};

// The terminal goes back to the shell for the stop and is taken again when
// the job goes on; the view is then drawn again by the reader.
void OnSuspend(int) {
    int savedErrno = errno;
    GiveTerminalBack();
    struct sigaction stop {};
    stop.sa_handler = SIG_DFL;
    sigemptyset(&stop.sa_mask);
    ::sigaction(SIGTSTP, &stop, nullptr);
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTSTP);
    ::sigprocmask(SIG_UNBLOCK, &blocked, nullptr);
    // Stops here until SIGCONT. Without a shell to continue it (an orphaned
    // process group) the kernel drops the signal and the view goes on at once.
    ::raise(SIGTSTP);
    ::sigaction(SIGTSTP, &SuspendHandler, nullptr);
    TakeTerminalAgain();
    ResumePending = 1;
    WakeReader();
    errno = savedErrno;
}

// Also after SIGSTOP, which cannot be caught: the view is drawn again.
void OnContinue(int) {
    int savedErrno = errno;
    ResumePending = 1;
    WakeReader();
    errno = savedErrno;
}

void OnExit() {
    if (ExitHook) ExitHook();
}

}  // namespace

const char* const ReportsOn = "\x1b[?2004h\x1b[?1000h\x1b[?1006h";
const char* const ReportsOff = "\x1b[?1006l\x1b[?1000l\x1b[?2004l";

bool OutputIsTerminal() { return ::isatty(1) == 1; }
bool InputIsTerminal() { return ::isatty(0) == 1; }

bool TerminalWindowSize(int& columns, int& rows) {
    struct winsize size {};
    if (::ioctl(1, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) return false;
    columns = size.ws_col;
    rows = size.ws_row;
    return true;
}

std::string TerminalCodeset() {
    std::string codeset;
    if (::setlocale(LC_CTYPE, "") != nullptr) {
        const char* name = ::nl_langinfo(CODESET);
        if (name) codeset = name;
    }
    ::setlocale(LC_CTYPE, "C");
    return codeset;
}

bool HighByteGlyphs(const std::string& codeset, std::array<std::string, 128>& glyphs) {
    if (codeset.empty()) return false;
    // Exact conversions only: the console writes what the codeset lacks in
    // Latin letters of its own, the same on every system.
    iconv_t converter = ::iconv_open(codeset.c_str(), "CP866");
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    for (int i = 0; i < 128; ++i) {
        char in = static_cast<char>(128 + i);
        char out[16];
        char* inPointer = &in;
        char* outPointer = out;
        std::size_t inLeft = 1, outLeft = sizeof out;
        ::iconv(converter, nullptr, nullptr, nullptr, nullptr);
        std::size_t result = ::iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft);
        if (result == static_cast<std::size_t>(-1) || inLeft != 0 || outPointer == out)
            glyphs[i].clear();
        else
            glyphs[i].assign(out, static_cast<std::size_t>(outPointer - out));
    }
    ::iconv_close(converter);
    return true;
}

namespace {

void WriteAllTo(int fd, std::string_view bytes) {
    const char* data = bytes.data();
    std::size_t length = bytes.size();
    while (length > 0) {
        ssize_t written = ::write(fd, data, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        data += written;
        length -= static_cast<std::size_t>(written);
    }
}

}  // namespace

void WriteOutputBytes(std::string_view bytes) { WriteAllTo(1, bytes); }

void WriteErrorBytes(std::string_view bytes) { WriteAllTo(2, bytes); }

bool ErrorSharesOutput() {
    struct stat out {}, err {};
    if (::fstat(1, &out) != 0 || ::fstat(2, &err) != 0) return false;
    // A terminal may be open twice (two descriptors of one pty): the same
    // device is the same screen.
    if (S_ISCHR(out.st_mode) && S_ISCHR(err.st_mode)) return out.st_rdev == err.st_rdev;
    return out.st_dev == err.st_dev && out.st_ino == err.st_ino;
}

void EnterRawInput() {
    if (RawActive || !InputIsTerminal()) return;
    struct termios mode {};
    if (::tcgetattr(0, &mode) != 0) return;
    SavedTermios = mode;
    RawMode(mode);
    RawActive = 1;
    if (::tcsetattr(0, TCSANOW, &mode) != 0) RawActive = 0;
}

void LeaveRawInput() {
    if (!RawActive) return;
    ::tcsetattr(0, TCSANOW, &SavedTermios);
    RawActive = 0;
}

int ReadInputBytes(std::string& bytes, int timeoutMs, bool inputOnly) {
    struct pollfd wait[2] {};
    wait[0].fd = 0;
    wait[0].events = POLLIN;
    wait[1].fd = WakePipe[0];
    wait[1].events = POLLIN;
    nfds_t count = WakePipe[0] >= 0 && !inputOnly ? 2 : 1;
    for (;;) {
        if (!inputOnly && (ResizePending || ResumePending)) return 0;
        int ready = ::poll(wait, count, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return -1;
        if (ready == 0) return 0;
        if (count == 2 && (wait[1].revents & POLLIN)) {
            DrainWakePipe();
            if (!(wait[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        }
        break;
    }
    char buffer[256];
    for (;;) {
        ssize_t got = ::read(0, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return -1;
        bytes.append(buffer, static_cast<std::size_t>(got));
        return static_cast<int>(got);
    }
}

void EnableResizeEvents() {
    if (WakePipe[0] >= 0) return;
    if (::pipe(WakePipe) != 0) {
        WakePipe[0] = WakePipe[1] = -1;
        return;
    }
    for (int fd : WakePipe) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction handler {};
    handler.sa_handler = OnWindowChange;
    sigemptyset(&handler.sa_mask);
    handler.sa_flags = SA_RESTART;
    ::sigaction(SIGWINCH, &handler, nullptr);
}

bool WindowResizePending() { return ResizePending != 0; }

bool TakeWindowResize() {
    if (!ResizePending) return false;
    ResizePending = 0;
    DrainWakePipe();
    return true;
}

bool QueryCursorPosition(int& column, int& row, std::string& typeahead, int timeoutMs) {
    if (!InputIsTerminal() || !OutputIsTerminal()) return false;
    bool wasRaw = RawActive;
    EnterRawInput();
    if (!RawActive) return false;
    WriteRaw("\x1b[6n");
    std::string input;
    bool found = false;
    int waited = 0;
    while (!found && waited < timeoutMs) {
        const int step = 20;
        int got = ReadInputBytes(input, step);
        if (got < 0) break;
        if (got == 0) {
            waited += step;
            continue;
        }
        // The answer is ESC [ row ; column R; anything around it was typed.
        for (std::size_t start = input.find('\x1b'); start != std::string::npos;
             start = input.find('\x1b', start + 1)) {
            std::size_t i = start + 1;
            if (i >= input.size() || input[i] != '[') continue;
            int numbers[2] = {0, 0};
            int index = 0;
            bool digits = false;
            for (++i; i < input.size(); ++i) {
                char c = input[i];
                if (c >= '0' && c <= '9' && numbers[index] < 10000) {
                    numbers[index] = numbers[index] * 10 + (c - '0');
                    digits = true;
                } else if (c == ';' && index == 0) {
                    index = 1;
                } else {
                    break;
                }
            }
            if (i < input.size() && input[i] == 'R' && index == 1 && digits) {
                row = numbers[0] - 1;
                column = numbers[1] - 1;
                typeahead += input.substr(0, start);
                typeahead += input.substr(i + 1);
                found = true;
                break;
            }
        }
    }
    if (!found) typeahead += input;
    if (!wasRaw) LeaveRawInput();
    return found && row >= 0 && column >= 0;
}

void SetTerminalGuard(bool alternateScreen, bool cursorHidden, bool coloured, bool reports) {
    GuardAlternate = alternateScreen ? 1 : 0;
    GuardCursorHidden = cursorHidden ? 1 : 0;
    GuardColoured = coloured ? 1 : 0;
    GuardReports = reports ? 1 : 0;
}

bool TakeResume() {
    if (!ResumePending) return false;
    ResumePending = 0;
    DrainWakePipe();
    return true;
}

void SuspendProcess() { ::raise(SIGTSTP); }

void DiscardTypeahead() {
    if (InputIsTerminal()) ::tcflush(0, TCIFLUSH);
}

void InstallTerminalGuards(void (*atExit)()) {
    ExitHook = atExit;
    if (GuardsInstalled) return;
    GuardsInstalled = true;
    // Also the signals of a crash: a dead program must not leave the
    // terminal in raw mode on the alternate screen.
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGUSR1, SIGUSR2}) {
        struct sigaction current {};
        if (::sigaction(signalNumber, nullptr, &current) != 0) continue;
        if (current.sa_handler == SIG_IGN) continue;  // nohup and friends
        struct sigaction handler {};
        handler.sa_handler = OnSignal;
        sigemptyset(&handler.sa_mask);
        ::sigaction(signalNumber, &handler, nullptr);
    }
    struct sigaction current {};
    if (::sigaction(SIGTSTP, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
        SuspendHandler.sa_handler = OnSuspend;
        SuspendHandler.sa_flags = SA_RESTART;
        sigemptyset(&SuspendHandler.sa_mask);
        ::sigaction(SIGTSTP, &SuspendHandler, nullptr);
        struct sigaction resume {};
        resume.sa_handler = OnContinue;
        sigemptyset(&resume.sa_mask);
        resume.sa_flags = SA_RESTART;
        ::sigaction(SIGCONT, &resume, nullptr);
    }
    std::atexit(OnExit);
}
