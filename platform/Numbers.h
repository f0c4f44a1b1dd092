#pragma once
#include <string_view>

// The one set of number readers for every text the instrument reads (show
// scripts, scenes, midi.map, settings, command lines). Each takes a whole
// token: anything after the number makes it no number.

// A decimal (or, with 0x, hexadecimal) whole number within [low, high]. No
// sign but a leading '-', at most 12 characters.
bool parseWholeNumber(std::string_view token, long low, long high, long& value);
bool parseWholeNumber(std::string_view token, long low, long high, int& value);
// A finite float, as printed with %.9g (so it reads back exactly).
bool parseFloatNumber(std::string_view token, float& value);
