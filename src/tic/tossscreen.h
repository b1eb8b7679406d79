#pragma once
// The toss status screen: a full-screen view of the TIC being tossed, the
// counts and a progress bar, drawn on the console's shadow screen.
#include <string_view>

void DrawTossScreen();
void UpdateTossScreen(std::string_view from, std::string_view origin, std::string_view fileEcho,
                      std::string_view fileName, std::string_view description,
                      unsigned processed, unsigned bad, unsigned total);
void ShowTossProgress(unsigned done, unsigned total);
