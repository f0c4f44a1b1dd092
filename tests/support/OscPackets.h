#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "control/OscCommand.h"

// OSC arguments and packets as a control surface sends them, for tests and benchmarks.
inline OscArg oscInt(int v) { return OscArg{'i', v, 0.0, nullptr}; }
inline OscArg oscFloat(double v) { return OscArg{'f', 0, v, nullptr}; }
inline OscArg oscString(const char* v) { return OscArg{'s', 0, 0.0, v}; }
// A message with arguments of type 'i', 'f', 's' or 'T' (serialised by liblo).
std::vector<uint8_t> oscMessage(const char* path, const std::vector<OscArg>& args = {});
// /strata/ctl <channel> <entry> <value> with int arguments.
std::vector<uint8_t> oscControl(int channel, int entry, int value);
// A bundle (time tag "immediately") of the given messages or bundles.
std::vector<uint8_t> oscBundle(const std::vector<std::vector<uint8_t>>& elements);
// The command a show script's words ("/strata/ctl 0 7 0.5") read as; a failed parse fails the test.
OscCommand oscWords(const std::string& line);
