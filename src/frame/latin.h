#pragma once
// Code page 866 for a console whose character set cannot show it: Cyrillic
// in Latin letters (GOST 7.79, system B), frame lines as + - |, shades and
// blocks as . : #, anything else '?'. Plain ASCII, never a byte of 128 or more.
#include <bitset>
#include <string>
#include <string_view>

// Text as a line shows it. The bytes 128 + i whose bit is set in shown stay as
// they are (the locale has them); bytes below 128 always stay.
std::string Cp866ToLatin(std::string_view text, const std::bitset<128>& shown = {});

// One character for one screen cell, where a text must keep its width.
char Cp866LatinCell(unsigned char ch);
