#include "platform/Numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

bool parseWholeNumber(std::string_view token, long low, long high, long& value) {
    if (token.empty() || token.size() > 12) return false;
    char text[16];
    std::copy(token.begin(), token.end(), text);
    text[token.size()] = '\0';
    if (text[0] == '+' || (text[0] == '-' && token.size() == 1)) return false;
    int base = 10;
    const char* digits = text;
    if (token.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        digits = text + 2;
    }
    char* end = nullptr;
    const long v = std::strtol(digits, &end, base);
    if (end == digits || *end != '\0') return false;
    if (v < low || v > high) return false;
    value = v;
    return true;
}

bool parseWholeNumber(std::string_view token, long low, long high, int& value) {
    long v = 0;
    if (!parseWholeNumber(token, low, high, v)) return false;
    value = static_cast<int>(v);
    return true;
}

bool parseFloatNumber(std::string_view token, float& value) {
    if (token.empty() || token.size() > 40) return false;
    char text[48];
    std::copy(token.begin(), token.end(), text);
    text[token.size()] = '\0';
    char* end = nullptr;
    const float v = std::strtof(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(v)) return false;
    value = v;
    return true;
}

bool parseFrameList(std::string_view text, std::vector<int>& frames) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string_view::npos) end = text.size();
        int frame = 0;
        if (!parseWholeNumber(text.substr(start, end - start), 0, 100000000, frame)) return false;
        frames.push_back(frame);
        start = end + 1;
    }
    std::sort(frames.begin(), frames.end());
    return !frames.empty();
}
