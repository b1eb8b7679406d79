#pragma once
// The pair list of the bad-TIC directory. A refused file goes aside under a
// free name, numbered (FILE.1.ZIP) when an earlier file holds its own, and
// its TIC does not know that name. The list keeps each TIC with the file it
// came with and the reason it was refused, so that "toss --bad" finds the
// file and takes out exactly the line the toss added to the directory's
// description list.
//
// The list is ".pairs" in that directory: hidden, so no refused file can
// take its name (a file whose name begins with "." is still being received
// and never goes aside). One line a TIC, "TIC / FILE / REASON", FILE empty
// for a TIC that went aside alone; no name holds a "/", so the first two
// are where the fields part. A TIC's line is written before the TIC is
// moved in, and the last line of a name counts, so a crash between any two
// moves leaves the list right for what is there; a last line without its
// line end was cut short and is no pair.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

constexpr std::string_view PairListName = ".pairs";

struct BadPair {
    std::string tic;
    std::string file;    // empty: the TIC went aside alone
    std::string reason;  // as the refusal gave it, before ReasonLine
    bool operator==(const BadPair&) const = default;
};

// The line without its line end.
std::string FormatPairLine(const BadPair& pair);

// The pairs of the list text, the last one of each TIC only, in the order
// of those lines. Lines that are no pair are skipped.
std::vector<BadPair> ParsePairList(std::string_view content);

// The pair of the TIC, or nullptr.
const BadPair* FindPair(const std::vector<BadPair>& pairs, std::string_view ticName);

// The pairs of dir's list; none when there is no list.
std::vector<BadPair> ReadPairList(const std::string& dir);

// Adds the pair to dir's list unless it is the TIC's pair already. 0 or errno.
int AddPair(const std::string& dir, const BadPair& pair);

// Keeps only the pairs of the TICs still in dir; the list goes with the
// last of them. 0 or errno.
int KeepPresentPairs(const std::string& dir);

// The line the toss adds to the description list of the directory a
// refused file went to: its name, padded to 12, and the reason.
std::string ReasonLine(std::string_view keptName, std::string_view reason);

// The text without its last line that matches (with that line's end); the
// text unchanged when no line does. Any line end counts.
std::string WithoutLastLine(std::string_view content, const std::function<bool(std::string_view)>& matches);
