#include "frame/catalogue.h"

#include <array>

#include "frame/platform.h"
#include "frame/utils.h"

namespace {

constexpr std::array<std::string_view, MessageKeyCount> KeyNames = {
#define CATALOGUE_KEY(name) #name,
#include "frame/catalogue_keys.def"
#undef CATALOGUE_KEY
};

std::array<std::string, MessageKeyCount> Entries;

int KeyIndex(Msg key) { return static_cast<int>(key); }

// The one place where a key is looked up by its name: the language file.
int FindKey(std::string_view name) {
    for (int i = 0; i < MessageKeyCount; ++i)
        if (KeyNames[i] == name) return i;
    return -1;
}

}  // namespace

std::string_view MessageKeyName(Msg key) {
    int i = KeyIndex(key);
    if (i < 0 || i >= MessageKeyCount) return {};
    return KeyNames[i];
}

void ClearCatalogue() {
    for (auto& entry : Entries) entry.clear();
}

void ParseCatalogueText(std::string_view content) {
    for (const std::string& line : SplitLines(WithoutByteOrderMark(content), MaxText)) {
        // Only the blank separates key and text; a TAB stays part of the key.
        std::string key, text;
        SplitKeywordValue(CleanControlLine(line), key, text);
        int index = FindKey(key);
        if (index < 0) continue;
        CutText(text, MaxMessageText);
        Entries[index] = std::move(text);
    }
}

bool LoadCatalogue(const std::string& path) {
    ClearCatalogue();
    std::string content;
    if (!ReadWholeFile(path, content)) return false;
    ParseCatalogueText(content);
    return true;
}

const std::string& MessageText(Msg key) {
    static const std::string none;
    int i = KeyIndex(key);
    if (i < 0 || i >= MessageKeyCount) return none;
    return Entries[i];
}

void SetMessageText(Msg key, std::string text) {
    int i = KeyIndex(key);
    if (i < 0 || i >= MessageKeyCount) return;
    CutText(text, MaxMessageText);
    Entries[i] = std::move(text);
}
