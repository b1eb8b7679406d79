#pragma once
// The raw terminal services under the console layer: terminal detection,
// size and character set, writing bytes, raw key input and putting the
// terminal back in order at exit, on SIGINT, SIGTERM and SIGHUP, and around
// a suspend (SIGTSTP, Ctrl+Z) until SIGCONT.
#include <array>
#include <string>
#include <string_view>

// File descriptors 0 and 1 are terminals.
bool OutputIsTerminal();
bool InputIsTerminal();

// Columns and rows of the terminal on standard output; false when unknown.
bool TerminalWindowSize(int& columns, int& rows);

// The codeset of the user's locale ("UTF-8", "KOI8-R", ...). The program's
// own locale stays "C", so character classes never depend on the user's.
std::string TerminalCodeset();

// What the bytes 128..255 of code page 866 look like in another codeset; an
// entry the codeset does not have stays empty. False when no conversion exists.
bool HighByteGlyphs(const std::string& codeset, std::array<std::string, 128>& glyphs);

// Writes all bytes to standard output; failures are ignored.
void WriteOutputBytes(std::string_view bytes);
// The same on standard error.
void WriteErrorBytes(std::string_view bytes);

// Standard output and standard error lead to one file, pipe or terminal
// ("2>&1", or both left on the terminal).
bool ErrorSharesOutput();

// Raw key input on a terminal (no echo, no line editing, ISIG off so that
// Ctrl+C and Ctrl+\ arrive as characters). Output processing is kept.
void EnterRawInput();
void LeaveRawInput();

// Appends the bytes available on standard input, waiting at most timeoutMs
// (forever when negative). Returns the byte count, 0 on timeout or when the
// window's size changed or the job went on after a stop (see
// TakeWindowResize, TakeResume; with inputOnly those wait for the next
// call), -1 at end of input or on an error.
int ReadInputBytes(std::string& bytes, int timeoutMs, bool inputOnly = false);

// From now on a change of the window's size (SIGWINCH) ends a waiting
// ReadInputBytes at once. Off until a full-screen view asks for it.
void EnableResizeEvents();
// True once for every change of the window's size since the last call.
bool TakeWindowResize();
bool WindowResizePending();

// Asks the terminal where its cursor is (0-based). Bytes typed meanwhile are
// appended to typeahead. False when the terminal does not answer in time.
bool QueryCursorPosition(int& column, int& row, std::string& typeahead, int timeoutMs);

// What a signal handler must undo before the process dies or stops (and
// take again when it goes on): the alternate screen, a hidden cursor,
// colours, and the reports of pastes and of the mouse.
void SetTerminalGuard(bool alternateScreen, bool cursorHidden, bool coloured, bool reports);

// The sequences that turn bracketed paste and SGR mouse reports on or off.
extern const char* const ReportsOn;
extern const char* const ReportsOff;

// True once after the process went on from a stop (SIGCONT): the terminal
// is taken again, and what it showed must be drawn again.
bool TakeResume();
// Stops the process as SIGTSTP does (Ctrl+Z, which raw mode reads as a key).
void SuspendProcess();
// Drops what was typed and not yet read, so that it never reaches the shell.
void DiscardTypeahead();

// Installs, once, the SIGINT, SIGTERM and SIGHUP handlers that restore the
// terminal and re-raise, the SIGTSTP and SIGCONT handlers that give it back
// and take it again, and registers atExit to run at normal exit.
void InstallTerminalGuards(void (*atExit)());
