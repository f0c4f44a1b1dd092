#include "platform/Numbers.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace {

constexpr size_t kLongestToken = 40;

bool isDigit(char c, int base) {
    return base == 16 ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : (c >= '0' && c <= '9');
}

}  // namespace

bool parseWholeNumber(std::string_view token, long low, long high, long& value, const WholeNumberForm& form) {
    if (token.empty() || token.size() > form.maxLength || token.size() > kLongestToken) return false;
    char text[kLongestToken + 1];
    std::copy(token.begin(), token.end(), text);
    text[token.size()] = '\0';
    const char* digits = text;
    if ((text[0] == '-' && form.minus) || (text[0] == '+' && form.plus)) ++digits;
    int base = 10;
    if (form.hexadecimal && digits == text && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits += 2;
    }
    // strtol would also take blanks and a sign of its own here.
    if (!isDigit(*digits, base)) return false;
    char* end = nullptr;
    const long v = std::strtol(base == 16 ? digits : text, &end, base);
    if (*end != '\0' || v < low || v > high) return false;
    value = v;
    return true;
}

bool parseWholeNumber(std::string_view token, long low, long high, int& value, const WholeNumberForm& form) {
    long v = 0;
    if (!parseWholeNumber(token, low, high, v, form)) return false;
    value = static_cast<int>(v);
    return true;
}

bool parseFloatNumber(std::string_view token, float& value, size_t maxLength) {
    if (token.empty() || token.size() > maxLength || token.size() > kLongestToken) return false;
    char text[kLongestToken + 1];
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
