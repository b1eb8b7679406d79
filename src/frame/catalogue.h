#pragma once
#include <string>
#include <string_view>

// Keys of the message catalogue, addressed at compile time.
enum class Msg : int {
#define CATALOGUE_KEY(name) name,
#include "frame/catalogue_keys.def"
#undef CATALOGUE_KEY
    Count
};

constexpr int MessageKeyCount = static_cast<int>(Msg::Count);
constexpr std::size_t MaxMessageText = 128;

// The key's name as written in the language file ("TOSSCONSOLE").
std::string_view MessageKeyName(Msg key);

// Empties every entry, then reads the language file; false when it cannot
// be opened.
bool LoadCatalogue(const std::string& path);

// Parses language-file content (used by LoadCatalogue; entries are not emptied).
void ParseCatalogueText(std::string_view content);

// Empties every entry.
void ClearCatalogue();

const std::string& MessageText(Msg key);

// Replaces an entry (the toss screen keeps its cut labels this way).
void SetMessageText(Msg key, std::string text);
