// Generated random inputs for the dupe and description readers, checked
// against a plain model of what they must find (the TIC reader is fuzzed in
// fuzz/).
#include <gtest/gtest.h>

#include <random>

#include "testkit.h"
#include "tic/descriptions.h"
#include "tic/dupes.h"
#include "tic/tic.h"

namespace {

constexpr unsigned FuzzSeed = 20240305;

std::string RandomBytes(std::mt19937& rng, std::size_t maxLength) {
    std::uniform_int_distribution<std::size_t> length(0, maxLength);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string s(length(rng), '\0');
    for (char& c : s) c = static_cast<char>(byte(rng));
    return s;
}

// Lines that look like TIC or list lines, with odd separators and lengths.
std::string RandomLineText(std::mt19937& rng, const std::vector<std::string>& words) {
    static const std::vector<std::string> separators{" ", "  ", "\t", "", " \t "};
    static const std::vector<std::string> endings{"\r\n", "\n", "\r", "", "\r\r\n"};
    std::string text;
    std::uniform_int_distribution<int> lines(0, 40);
    for (int n = lines(rng); n > 0; --n) {
        text += words[rng() % words.size()];
        text += separators[rng() % separators.size()];
        text += RandomBytes(rng, rng() % 8 == 0 ? 400 : 40);
        text += endings[rng() % endings.size()];
    }
    return text;
}

}  // namespace

TEST(Fuzz, DupeReaderAndWriter) {
    DupeIndex index;
    std::mt19937 rng(FuzzSeed + 1);
    ScratchDir dir;
    AreaRecord area;
    area.Name = "ECHO";
    // A valid ring to cut, damage and extend.
    const std::string ring = dir / "ring.dat";
    for (int i = 0; i < 6; ++i)
        AddDupe(index, ring, 8, area, "F" + std::to_string(i), static_cast<std::uint32_t>(i), i);
    const std::string valid = ReadFileBytes(ring);

    for (int i = 0; i < 2000; ++i) {
        std::string input;
        switch (i % 4) {
            case 0: input = RandomBytes(rng, 500); break;
            case 1: input = valid.substr(0, rng() % (valid.size() + 1)); break;
            case 2: {
                input = valid;
                for (int k = rng() % 6; k > 0; --k) input[rng() % input.size()] = static_cast<char>(rng());
                break;
            }
            default: input = valid + RandomBytes(rng, 60); break;
        }
        // A new name each round: rewriting one file in place costs a disk flush.
        const std::string db = dir / ("d" + std::to_string(i) + ".dat");
        WriteFileBytes(db, input);
        IsDupe(index, db, "ECHO", "F1", 1, 1);
        DupeAddStatus status = AddDupe(index, db, static_cast<std::int32_t>(rng() % 12), area, "NEW", 7, 7);
        std::string after = ReadFileBytes(db);
        if (status == DupeAddStatus::ForeignMoved) {
            ASSERT_EQ(ReadFileBytes(db + ".bad"), input);
            ASSERT_EQ(after.size(), 88u);
        } else if (input.empty()) {
            ASSERT_EQ(status, DupeAddStatus::Added);
            ASSERT_EQ(after.size(), 88u);
        } else {
            ASSERT_EQ(status, DupeAddStatus::Added);
            // Exactly one record changed (or was added) and the header kept its signature.
            ASSERT_GE(after.size(), input.size());
            ASSERT_EQ(after.substr(0, 40), input.substr(0, 40));
            std::size_t changed = 0;
            for (std::size_t r = 1; r * 44 < after.size(); ++r) {
                if (after.substr(r * 44, 44) != input.substr(std::min(input.size(), r * 44), 44)) ++changed;
            }
            ASSERT_LE(changed, 1u);
            ASSERT_TRUE(IsDupe(index, db, "ECHO", "NEW", 7, 7));
        }
        DeleteFile(db);
        DeleteFile(db + ".bad");
    }
}

// Checks after the first are answered from the run's index of the ring:
// across adds that go round the ring and writes by another program, each
// answer must be what a scan of the file's records gives.
TEST(Fuzz, DupeChecksFollowTheRing) {
    DupeIndex index;
    std::mt19937 rng(FuzzSeed + 3);
    ScratchDir dir;
    const std::string db = dir / "dupes.dat";
    const std::vector<std::string> areas{"ECHO", "echo ", "OTHER", "ECHO;X"};
    const std::vector<std::string> names{"A.ZIP", "a.zip", "B.ZIP", "LONGER.NAME.ZIP"};
    auto scan = [&](const std::string& area, const std::string& name, std::uint32_t crc, std::int32_t size) {
        const std::string content = ReadFileBytes(db);
        auto field = [](std::string text) {
            text = text.substr(0, text.find('\0'));
            text = text.substr(0, text.find(';'));
            while (!text.empty() && text.back() == ' ') text.pop_back();
            while (!text.empty() && text.front() == ' ') text.erase(0, 1);
            for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            return text;
        };
        auto number = [&](std::size_t at) {
            return std::uint32_t(std::uint8_t(content[at])) | std::uint32_t(std::uint8_t(content[at + 1])) << 8 |
                   std::uint32_t(std::uint8_t(content[at + 2])) << 16 | std::uint32_t(std::uint8_t(content[at + 3])) << 24;
        };
        for (std::size_t r = 1; (r + 1) * 44 <= content.size(); ++r) {
            const std::size_t at = r * 44;
            if ((number(at + 32) == crc || number(at + 32) == 0xFFFFFFFFu) && number(at + 36) == std::uint32_t(size) &&
                field(content.substr(at, 20)) == field(area.substr(0, 20)) &&
                field(content.substr(at + 20, 12)) == field(name.substr(0, 12)))
                return true;
        }
        return false;
    };
    for (int i = 0; i < 400; ++i) {
        const std::string& area = areas[rng() % areas.size()];
        const std::string& name = names[rng() % names.size()];
        const std::uint32_t crc = rng() % 3 == 0 ? 0xFFFFFFFFu : rng() % 3;
        const std::int32_t size = static_cast<std::int32_t>(rng() % 3);
        switch (rng() % 6) {
            case 0: {
                AreaRecord record;
                record.Name = area;
                AddDupe(index, db, 7, record, name, crc, size);
                break;
            }
            case 1: {  // another program rewrites a record in place
                std::string content = ReadFileBytes(db);
                if (content.size() >= 88) {
                    const std::size_t at = 44 * (1 + rng() % (content.size() / 44 - 1));
                    content.replace(at + 20, 12, std::string(names[rng() % names.size()]).append(12, ' ').substr(0, 12));
                    // A partial record at the end, or none: the size tells the file changed.
                    if (content.size() % 44 == 0) content += 'x';
                    else content.resize(content.size() / 44 * 44);
                    WriteFileBytes(db, content);
                }
                break;
            }
            default:
                ASSERT_EQ(IsDupe(index, db, area, name, crc, size), scan(area, name, crc, size))
                    << "step " << i << ": " << area << " " << name << " " << crc << " " << size;
        }
    }
}

TEST(Fuzz, DescriptionReaders) {
    std::mt19937 rng(FuzzSeed + 2);
    const std::vector<std::string> names{"FOO.ZIP", "foo.txt", " +", "+", "", " ", "BAR", "*.*", "F?O.*",
                                         "\"My file.zip\"", "\"", "My file.zip  [00]", "LONGNAME.ZIP[00]", "[03]",
                                         "2026", "VeryLongName2026.zip[17]"};
    const std::vector<std::string> masks{"FOO.*", "*.*", "F?O.ZIP", "*", "", "BAR", "?", "My file.zip"};
    const std::vector<std::string> prefixes{"", " +", "+", "  |"};
    const std::vector<std::string> counters{"", "[00]", "+", "0", "(0/00)"};
    for (int i = 0; i < 3000; ++i) {
        const std::string text = RandomLineText(rng, names);
        std::vector<std::string> lines = SplitLines(text, std::string::npos);
        const std::string& mask = masks[rng() % masks.size()];
        const std::string& prefix = prefixes[rng() % prefixes.size()];
        const std::string& counter = counters[rng() % counters.size()];
        const DescriptionLayout layout{static_cast<int>(rng() % 300) - 5, static_cast<int>(rng() % 20), counter, prefix};
        const bool wildcards = mask.find_first_of("*?") != std::string::npos;
        std::vector<std::string> kept = RemoveDescriptionLines(lines, mask, layout);
        // The kept lines are the input in order, and none is the entry of a file of the mask.
        std::size_t at = 0;
        for (const std::string& line : kept) {
            while (at < lines.size() && lines[at] != line) ++at;
            ASSERT_LT(at, lines.size());
            ++at;
            const EntryName entry = ParseEntryName(line, layout);
            if (entry.found && !mask.empty()) {
                ASSERT_FALSE(wildcards ? MatchFileMask(entry.name, mask) : EqualNoCase(entry.name, mask))
                    << "[" << line << "] mask [" << mask << "]";
            }
        }
        // An index of the list finds what a scan of it finds.
        const DescriptionIndex index = IndexDescriptions(text, layout);
        for (std::size_t n = 0; n < 4; ++n) {
            const std::string name = n == 0 || lines.empty()
                                         ? names[rng() % names.size()]
                                         : std::string(ParseEntryName(lines[rng() % lines.size()], layout).name);
            const std::vector<std::string> found = FindDescription(lines, name, layout);
            ASSERT_EQ(FindDescription(index, name, layout), found) << "[" << name << "]";
            for (const std::string& text : found) ASSERT_LE(text.size(), 255u);
        }
    }
}
