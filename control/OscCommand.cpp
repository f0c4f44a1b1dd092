#include "control/OscCommand.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "app/KeyNames.h"

namespace {

constexpr std::string_view kRoot = "/strata/";

// A whole number in [low, high] from an int, a float holding a whole number,
// or (when allowed) T/F.
bool wholeArg(const OscArg& a, long low, long high, int& out) {
    double v = 0.0;
    switch (a.type) {
        case 'i':
        case 'h': v = static_cast<double>(a.i); break;
        case 'f':
        case 'd':
            v = a.f;
            if (!std::isfinite(v) || v != std::floor(v)) return false;
            break;
        case 'T': v = 1; break;
        case 'F': v = 0; break;
        default: return false;
    }
    if (v < low || v > high) return false;
    out = static_cast<int>(v);
    return true;
}

// A number in [low, high] from a float or an int.
bool realArg(const OscArg& a, double low, double high, float& out) {
    double v = 0.0;
    if (a.type == 'f' || a.type == 'd')
        v = a.f;
    else if (a.type == 'i' || a.type == 'h')
        v = static_cast<double>(a.i);
    else
        return false;
    if (!std::isfinite(v) || v < low || v > high) return false;
    out = static_cast<float>(v);
    return true;
}

bool stringArg(const OscArg& a, std::string_view& out) {
    if ((a.type != 's' && a.type != 'S') || !a.s) return false;
    out = a.s;
    return true;
}

// The number of "<digits>/" at the front of rest, in [low, high]; rest is
// moved past it.
bool pathNumber(std::string_view& rest, int low, int high, int& out) {
    size_t n = 0;
    long v = 0;
    while (n < rest.size() && n < 3 && rest[n] >= '0' && rest[n] <= '9') v = v * 10 + (rest[n++] - '0');
    if (n == 0 || v < low || v > high) return false;
    if (n < rest.size() && rest[n] != '/') return false;
    rest.remove_prefix(n < rest.size() ? n + 1 : n);
    out = static_cast<int>(v);
    return true;
}

bool parseControl(const OscArg* args, int count, OscCommand& cmd) {
    if (count != 3) return false;
    if (!wholeArg(args[0], 0, 15, cmd.channel) || !wholeArg(args[1], 0, 1023, cmd.entry)) return false;
    if (args[2].type == 'i' || args[2].type == 'h') {
        int byte = 0;
        if (!wholeArg(args[2], 0, 127, byte)) return false;
        cmd.byteValue = byte;
        cmd.value = static_cast<float>(2.0 * (byte / 127.0 - 0.5));
    } else {
        float v = 0.0f;
        if (!realArg(args[2], -1.0, 1.0, v)) return false;
        cmd.value = v;
        cmd.byteValue = static_cast<int>((v + 1.0f) * 0.5f * 127.0f);
    }
    cmd.kind = OscCommand::Kind::Control;
    return true;
}

bool parseKey(const OscArg* args, int count, OscCommand& cmd) {
    if (count != 1 && count != 3) return false;
    if (args[0].type == 'c') {
        if (args[0].i <= 0 || args[0].i > 127) return false;
        cmd.index = static_cast<int>(args[0].i);
    } else {
        std::string_view name;
        if (!stringArg(args[0], name)) return false;
        const int special = KeyNames::specialKeyCode(name);
        const int character = special ? -1 : KeyNames::characterKey(name);
        if (special) {
            cmd.special = true;
            cmd.index = special;
        } else if (character > 0 && character < 128) {
            cmd.index = character;
        } else {
            return false;
        }
    }
    // Esc ends the process at the keyboard; a remote surface may not quit the show.
    if (!cmd.special && cmd.index == KeyNames::kEscape) return false;
    if (count == 3 && (!wholeArg(args[1], 0, 639, cmd.x) || !wholeArg(args[2], 0, 479, cmd.y))) return false;
    cmd.kind = OscCommand::Kind::Key;
    return true;
}

bool parseLayer(std::string_view rest, const OscArg* args, int count, OscCommand& cmd) {
    int layer = 0;
    if (!pathNumber(rest, 1, 11, layer)) return false;
    cmd.channel = layer - 1;
    if (count != 1) return false;
    if (rest == "opacity") {
        if (!realArg(args[0], 0.0, 1.0, cmd.value)) return false;
        cmd.kind = OscCommand::Kind::Opacity;
        return true;
    }
    if (rest == "imageset") {
        if (!wholeArg(args[0], 0, 127, cmd.index)) return false;
        cmd.kind = OscCommand::Kind::ImageSet;
        return true;
    }
    if (rest == "module") {
        std::string_view name;
        if (stringArg(args[0], name)) {
            if (name.empty() || name.size() >= OscCommand::kNameSize) return false;
            std::memcpy(cmd.name, name.data(), name.size());
            cmd.name[name.size()] = '\0';
            cmd.kind = OscCommand::Kind::ModuleName;
            return true;
        }
        if (!wholeArg(args[0], 0, 127, cmd.index)) return false;
        cmd.kind = OscCommand::Kind::ModuleIndex;
        return true;
    }
    return false;
}

}  // namespace

bool parseOscCommand(const char* path, const OscArg* args, int count, OscCommand& cmd) {
    cmd = OscCommand{};
    if (!path || count < 0 || (count > 0 && !args)) return false;
    std::string_view rest(path);
    if (rest.substr(0, kRoot.size()) != kRoot) return false;
    rest.remove_prefix(kRoot.size());

    using Kind = OscCommand::Kind;
    if (rest == "ctl") return parseControl(args, count, cmd);
    if (rest.substr(0, 6) == "layer/") return parseLayer(rest.substr(6), args, count, cmd);
    if (rest == "key") return parseKey(args, count, cmd);
    if (rest == "learn" || rest == "list") {
        if (count != 0) return false;
        cmd.kind = rest == "learn" ? Kind::Learn : Kind::List;
        return true;
    }
    if (count != 1) return false;
    if (rest == "select") {
        if (!wholeArg(args[0], 1, 12, cmd.channel)) return false;
        cmd.channel -= 1;
        cmd.kind = Kind::Select;
        return true;
    }
    if (rest == "trail") {
        if (!realArg(args[0], 0.0, 1.0, cmd.value)) return false;
        cmd.kind = Kind::Trail;
        return true;
    }
    if (rest == "midi" || rest == "joystick") {
        if (!wholeArg(args[0], 0, 1, cmd.index)) return false;
        cmd.kind = rest == "midi" ? Kind::Midi : Kind::Joystick;
        return true;
    }
    if (rest == "scene/recall" || rest == "scene/store") {
        if (!wholeArg(args[0], 0, 99, cmd.index)) return false;
        cmd.kind = rest == "scene/recall" ? Kind::SceneRecall : Kind::SceneStore;
        return true;
    }
    return false;
}

namespace {

// A float argument: "%#.9g" reads back as the same float and always holds
// a decimal point.
int formatFloat(char* out, size_t size, float value) {
    return std::snprintf(out, size, "%#.9g", static_cast<double>(value));
}

// A character key by a name the key parser takes back: a letter as itself,
// anything else by its code (a digit would read back as a number, '#' as a
// comment).
void keyWord(const OscCommand& cmd, char* out, size_t size) {
    if (cmd.special) {
        const char* name = KeyNames::specialKeyName(cmd.index);
        std::snprintf(out, size, "%s", name ? name : "?");
    } else if ((cmd.index >= 'a' && cmd.index <= 'z') || (cmd.index >= 'A' && cmd.index <= 'Z')) {
        std::snprintf(out, size, "%c", cmd.index);
    } else {
        std::snprintf(out, size, "0x%02x", cmd.index & 0xFF);
    }
}

}  // namespace

int formatOscCommand(const OscCommand& cmd, char* out, size_t size) {
    using Kind = OscCommand::Kind;
    char value[40];
    int n = 0;
    switch (cmd.kind) {
        case Kind::Control:
            // The int form when it gives back both values exactly.
            if (cmd.byteValue >= 0 && cmd.byteValue <= 127 &&
                cmd.value == static_cast<float>(2.0 * (cmd.byteValue / 127.0 - 0.5)))
                std::snprintf(value, sizeof value, "%d", cmd.byteValue);
            else
                formatFloat(value, sizeof value, cmd.value);
            n = std::snprintf(out, size, "/strata/ctl %d %d %s", cmd.channel, cmd.entry, value);
            break;
        case Kind::Opacity:
            formatFloat(value, sizeof value, cmd.value);
            n = std::snprintf(out, size, "/strata/layer/%d/opacity %s", cmd.channel + 1, value);
            break;
        case Kind::ModuleIndex:
            n = std::snprintf(out, size, "/strata/layer/%d/module %d", cmd.channel + 1, cmd.index);
            break;
        case Kind::ImageSet:
            n = std::snprintf(out, size, "/strata/layer/%d/imageset %d", cmd.channel + 1, cmd.index);
            break;
        case Kind::Select: n = std::snprintf(out, size, "/strata/select %d", cmd.channel + 1); break;
        case Kind::Key:
            keyWord(cmd, value, sizeof value);
            n = std::snprintf(out, size, "/strata/key %s %d %d", value, cmd.x, cmd.y);
            break;
        case Kind::Trail:
            formatFloat(value, sizeof value, cmd.value);
            n = std::snprintf(out, size, "/strata/trail %s", value);
            break;
        case Kind::Midi: n = std::snprintf(out, size, "/strata/midi %d", cmd.index != 0); break;
        case Kind::Joystick: n = std::snprintf(out, size, "/strata/joystick %d", cmd.index != 0); break;
        case Kind::SceneRecall: n = std::snprintf(out, size, "/strata/scene/recall %d", cmd.index); break;
        case Kind::ModuleName:
        case Kind::SceneStore:
        case Kind::Learn:
        case Kind::List:
        case Kind::None: return 0;
    }
    return n > 0 && static_cast<size_t>(n) < size ? n : 0;
}

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
