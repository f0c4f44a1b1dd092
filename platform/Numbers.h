#pragma once
#include <cstddef>
#include <string_view>
#include <vector>

// The one set of number readers for every text the instrument reads (show
// scripts, scenes, midi.map, settings, command lines). Each takes a whole
// token: anything after the number makes it no number, and so does a blank
// before it.

// What a whole number may look like besides decimal digits. The default,
// for show scripts, settings and the command line: a leading '-',
// hexadecimal with 0x, at most 12 characters.
struct WholeNumberForm {
    bool hexadecimal = true;  // 0x or 0X and hexadecimal digits
    bool minus = true;        // a leading '-'
    bool plus = false;        // a leading '+'
    size_t maxLength = 12;    // characters of the whole token (at most 40)
};
// Plain decimal digits and nothing else, at most maxLength of them.
constexpr WholeNumberForm digitsOnly(size_t maxLength) { return {false, false, false, maxLength}; }

// A whole number of the given form within [low, high].
bool parseWholeNumber(std::string_view token, long low, long high, long& value, const WholeNumberForm& form = {});
bool parseWholeNumber(std::string_view token, long low, long high, int& value, const WholeNumberForm& form = {});
// A finite float, as printed with %.9g (so it reads back exactly), of at
// most maxLength characters (at most 40).
bool parseFloatNumber(std::string_view token, float& value, size_t maxLength = 40);
// Frame numbers 0..100000000 separated by commas ("10,20,30"), added to
// frames and sorted. False when a number is missing or is no such number.
bool parseFrameList(std::string_view text, std::vector<int>& frames);
