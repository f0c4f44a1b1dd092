#pragma once
#include <string>

// A QR code of a short text drawn with the terminal's half-block characters:
// two rows of modules per line, dark modules as blanks and light ones as
// blocks (a light quiet zone of kQuietZone modules around), so a phone reads
// it from a terminal with light text on a dark background.
class TerminalQr {
public:
    static constexpr int kQuietZone = 4;

    // The lines (each ended by a newline) of the code, or empty when the
    // text cannot be encoded.
    static std::string draw(const std::string& text);
};
