#include "frame/latin.h"

namespace {

// Bytes 128..255 of code page 866. Capitals are written with a capital first
// letter; a word in capitals gets all of them (see Cp866ToLatin).
constexpr std::string_view LatinOf[128] = {
    // А..Я
    "A", "B", "V", "G", "D", "E", "Zh", "Z", "I", "J", "K", "L", "M", "N", "O", "P",
    "R", "S", "T", "U", "F", "X", "Cz", "Ch", "Sh", "Shh", "``", "Y'", "`", "E`", "Yu", "Ya",
    // а..п
    "a", "b", "v", "g", "d", "e", "zh", "z", "i", "j", "k", "l", "m", "n", "o", "p",
    // ░ ▒ ▓ │ ┤ ╡ ╢ ╖ ╕ ╣ ║ ╗ ╝ ╜ ╛ ┐
    ".", ":", "#", "|", "+", "+", "+", "+", "+", "+", "|", "+", "+", "+", "+", "+",
    // └ ┴ ┬ ├ ─ ┼ ╞ ╟ ╚ ╔ ╩ ╦ ╠ ═ ╬ ╧
    "+", "+", "+", "+", "-", "+", "+", "+", "+", "+", "+", "+", "+", "-", "+", "+",
    // ╨ ╤ ╥ ╙ ╘ ╒ ╓ ╫ ╪ ┘ ┌ █ ▄ ▌ ▐ ▀
    "+", "+", "+", "+", "+", "+", "+", "+", "+", "+", "+", "#", "#", "#", "#", "#",
    // р..я
    "r", "s", "t", "u", "f", "x", "cz", "ch", "sh", "shh", "``", "y'", "`", "e`", "yu", "ya",
    // Ё ё Є є Ї ї Ў ў ° ∙ · √ № ¤ ■ and the no-break space
    "Yo", "yo", "Ye", "ye", "Yi", "yi", "U`", "u`", "?", ".", ".", "?", "No", "?", "#", " ",
};

constexpr unsigned char Tse = 0xE6, TseCapital = 0x96;

bool IsCapital(unsigned char ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 0x80 && ch <= 0x9F) ||
           (ch >= 0xF0 && ch <= 0xF7 && ch % 2 == 0);
}

bool IsLetter(unsigned char ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= 0x80 && ch <= 0xAF) ||
           (ch >= 0xE0 && ch <= 0xF7);
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// The first Latin letter a byte becomes.
char FirstLatin(unsigned char ch) { return ch < 0x80 ? static_cast<char>(ch) : LatinOf[ch - 128][0]; }

}  // namespace

std::string Cp866ToLatin(std::string_view text, const std::bitset<128>& shown) {
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char ch = static_cast<unsigned char>(text[i]);
        if (ch < 0x80 || shown[ch - 128]) {
            out += static_cast<char>(ch);
            continue;
        }
        const unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        std::string latin(LatinOf[ch - 128]);
        // Ц is c before i, e, y and j, cz elsewhere.
        if ((ch == Tse || ch == TseCapital) && next != 0) {
            const char after = Lower(FirstLatin(next));
            if (after == 'i' || after == 'e' || after == 'y' || after == 'j') latin.resize(1);
        }
        // "ЩИ" is SHHI, "Щи" Shhi: a capital among capitals is all capitals.
        if (latin.size() > 1 && IsCapital(ch)) {
            const unsigned char previous = i > 0 ? static_cast<unsigned char>(text[i - 1]) : 0;
            const bool amongCapitals = IsLetter(next) ? IsCapital(next) : IsCapital(previous) && IsLetter(previous);
            if (amongCapitals)
                for (char& c : latin) c = Upper(c);
        }
        out += latin;
    }
    return out;
}

char Cp866LatinCell(unsigned char ch) {
    if (ch < 0x80) return static_cast<char>(ch);
    // A Y alone would read as another letter: the vowel stands for it.
    switch (ch) {
    case 0x9E: return 'U';  // Ю
    case 0x9F: return 'A';  // Я
    case 0xEE: return 'u';
    case 0xEF: return 'a';
    case 0xF0: case 0xF2: return 'E';  // Ё Є
    case 0xF1: case 0xF3: return 'e';
    case 0xF4: return 'I';  // Ї
    case 0xF5: return 'i';
    default: return LatinOf[ch - 128][0];
    }
}
