#include "config/archivers.h"

#include "config/ctlline.h"
#include "frame/platform.h"
#include "frame/utils.h"

std::vector<ArchiverRecord> ReadArchivers(const std::string& path) {
    std::vector<ArchiverRecord> archivers;
    std::vector<std::string> lines;
    if (!ReadTextLines(path, lines)) return archivers;
    for (const std::string& line : lines) {
        std::string keyword, value;
        SplitKeywordValue(CleanControlLine(line), keyword, value);
        if (keyword == "ARCHIVER") {
            archivers.emplace_back();
            archivers.back().Name = UpperCase(value);
            continue;
        }
        if (archivers.empty()) continue;
        ArchiverRecord& archiver = archivers.back();
        if (keyword == "SIGNATURE") {
            std::size_t comma = value.find(',');
            if (comma == std::string::npos) continue;
            std::string offset = value.substr(0, comma);
            std::string signature = value.substr(comma + 1);
            Trim(offset);
            Trim(signature);
            std::uint32_t number = 0;
            archiver.Offset = ParseHexValue(offset, number) ? static_cast<std::int32_t>(number) : 0;
            archiver.Signature = UpperCase(signature);
        } else if (keyword == "EXTRACTFILE") {
            // Command lines name programs and paths: their case stays.
            archiver.ExtractFile = value;
        } else if (keyword == "ADDFILE") {
            archiver.AddFile = value;
        }
    }
    return archivers;
}
