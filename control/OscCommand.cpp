#include "control/OscCommand.h"

#include <cstdlib>
#include <string_view>

// parseOscCommand and formatOscCommand follow the address table
// (control/OscAddresses.cpp).

bool parseOscWords(std::string_view address, const std::string_view* args, int count, OscCommand& cmd) {
    cmd = OscCommand{};
    constexpr size_t kWord = 64;
    if (count < 0 || count > kMaxWordArgs || address.size() >= kWord) return false;
    char path[kWord];
    char text[kMaxWordArgs][kWord];
    OscArg parsed[kMaxWordArgs];
    address.copy(path, address.size());
    path[address.size()] = '\0';
    for (int i = 0; i < count; ++i) {
        const std::string_view word = args[i];
        if (word.empty() || word.size() >= kWord) return false;
        word.copy(text[i], word.size());
        text[i][word.size()] = '\0';
        char* end = nullptr;
        const bool numeric = (word[0] >= '0' && word[0] <= '9') || word[0] == '-' || word[0] == '.';
        if (numeric && word.find_first_of(".eE") == std::string_view::npos) {
            const long long v = std::strtoll(text[i], &end, 10);
            if (*end == '\0') {
                parsed[i] = OscArg{'h', v, 0.0, nullptr};
                continue;
            }
        } else if (numeric) {
            const double v = std::strtod(text[i], &end);
            if (*end == '\0') {
                parsed[i] = OscArg{'d', 0, v, nullptr};
                continue;
            }
        }
        parsed[i] = OscArg{'s', 0, 0.0, text[i]};
    }
    return parseOscCommand(path, parsed, count, cmd);
}
