#pragma once
#include <string_view>
#include <vector>

// The one set of number readers for every text the instrument reads (show
// scripts, scenes, midi.map, settings, command lines). Each takes a whole
// token: anything after the number makes it no number.

// A decimal (or, with 0x, hexadecimal) whole number within [low, high]. No
// sign but a leading '-', at most 12 characters.
bool parseWholeNumber(std::string_view token, long low, long high, long& value);
bool parseWholeNumber(std::string_view token, long low, long high, int& value);
// A finite float, as printed with %.9g (so it reads back exactly).
bool parseFloatNumber(std::string_view token, float& value);
// Frame numbers 0..100000000 separated by commas ("10,20,30"), added to
// frames and sorted. False when a number is missing or is no such number.
bool parseFrameList(std::string_view text, std::vector<int>& frames);
