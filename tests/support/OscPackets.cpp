#include "OscPackets.h"

#include <gtest/gtest.h>
#include <lo/lo.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>

std::vector<uint8_t> oscMessage(const char* path, const std::vector<OscArg>& args) {
    lo_message message = lo_message_new();
    for (const OscArg& a : args) {
        if (a.type == 'i') lo_message_add_int32(message, static_cast<int32_t>(a.i));
        if (a.type == 'f') lo_message_add_float(message, static_cast<float>(a.f));
        if (a.type == 's') lo_message_add_string(message, a.s);
        if (a.type == 'T') lo_message_add_true(message);
    }
    size_t size = 0;
    uint8_t* bytes = static_cast<uint8_t*>(lo_message_serialise(message, path, nullptr, &size));
    std::vector<uint8_t> packet(bytes, bytes + size);
    std::free(bytes);
    lo_message_free(message);
    return packet;
}

std::vector<uint8_t> oscControl(int channel, int entry, int value) {
    return oscMessage("/strata/ctl", {oscInt(channel), oscInt(entry), oscInt(value)});
}

std::vector<uint8_t> oscBundle(const std::vector<std::vector<uint8_t>>& elements) {
    std::vector<uint8_t> packet = {'#', 'b', 'u', 'n', 'd', 'l', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 1};
    for (const std::vector<uint8_t>& e : elements) {
        for (int shift = 24; shift >= 0; shift -= 8) packet.push_back(static_cast<uint8_t>(e.size() >> shift));
        packet.insert(packet.end(), e.begin(), e.end());
    }
    return packet;
}

OscCommand oscWords(const std::string& line) {
    std::vector<std::string_view> words;
    for (size_t at = 0, end = 0; at < line.size(); at = end + 1) {
        end = std::min(line.find(' ', at), line.size());
        words.emplace_back(line.data() + at, end - at);
    }
    OscCommand cmd;
    EXPECT_TRUE(!words.empty() && parseOscWords(words[0], words.data() + 1, static_cast<int>(words.size()) - 1, cmd))
        << line;
    return cmd;
}
