#include "control/MidiMap.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/ControlTable.h"
#include "platform/RegularFile.h"
#include "platform/AtomicFile.h"
#include "platform/Numbers.h"
#include "platform/TextLines.h"

namespace {

constexpr int kMaxTokens = 16;
// One MIDI step of the table's -1..1 float: a fader within it of the entry's
// value takes over at once.
constexpr float kPickupWindow = 2.0f / 127.0f;
constexpr long kMaxFileSize = 1 << 20;

int tokenize(std::string_view line, std::string_view* tokens, bool& tooMany) {
    return splitWords(line, tokens, kMaxTokens, &tooMany, true);
}

// Numbers of a mapping are plain decimal digits, at most six.
constexpr WholeNumberForm kMappingNumber = digitsOnly(6);

// A number 0..1 of at most 16 characters (range and step).
bool unitNumber(std::string_view token, float& out) {
    float v = 0.0f;
    if (!parseFloatNumber(token, v, 16) || v < 0.0f || v > 1.0f) return false;
    out = v;
    return true;
}

struct SourceName {
    const char* name;
    MidiMapping::Source source;
    int maxNumber;
};
constexpr SourceName kSources[] = {
    {"cc", MidiMapping::Source::Cc, 127},          {"cc14", MidiMapping::Source::Cc14, 31},
    {"rel", MidiMapping::Source::Relative, 127},   {"rel64", MidiMapping::Source::Relative64, 127},
    {"note", MidiMapping::Source::Note, 127},
};
constexpr const char* kCurves[] = {"linear", "exp", "log"};

float shape(MidiMapping::Curve curve, float v) {
    switch (curve) {
        case MidiMapping::Curve::Exp: return v * v;
        case MidiMapping::Curve::Log: return std::sqrt(v);
        default: return v;
    }
}

}  // namespace

bool MidiMap::parseMapping(std::string_view line, MidiMapping& m, const char*& why) {
    std::string_view t[kMaxTokens];
    bool tooMany = false;
    const int n = tokenize(line, t, tooMany);
    m = MidiMapping{};
    why = "expected: <cc|cc14|rel|rel64|note> <midi channel 1..16> <number> -> <channel|selected> <entry>";
    if (tooMany || n < 6 || t[3] != "->") return false;
    const SourceName* source = nullptr;
    for (const SourceName& s : kSources)
        if (t[0] == s.name) source = &s;
    if (!source) return false;
    m.source = source->source;
    why = "midi channel must be 1..16";
    if (!parseWholeNumber(t[1], 1, 16, m.midiChannel, kMappingNumber)) return false;
    m.midiChannel -= 1;
    why = source->maxNumber == 31 ? "a 14-bit pair starts at controller 0..31" : "number must be 0..127";
    if (!parseWholeNumber(t[2], 0, source->maxNumber, m.number, kMappingNumber)) return false;
    if (!parseTarget(t + 4, n - 4, m, why)) return false;
    for (int i = 6; i < n;) {
        const int used = parseOption(t + i, n - i, m, why);
        if (used == 0) why = "unknown option (range, curve, step, nopickup)";
        if (used <= 0) return false;
        i += used;
    }
    return true;
}

bool MidiMap::parseTarget(const std::string_view* t, int n, MidiMapping& m, const char*& why) {
    why = "target channel must be 0..15 or selected";
    if (n < 2) return false;
    if (t[0] == "selected")
        m.channel = MidiMapping::kSelected;
    else if (!parseWholeNumber(t[0], 0, 15, m.channel, kMappingNumber))
        return false;
    why = "entry must be 0..1023";
    return parseWholeNumber(t[1], 0, 1023, m.entry, kMappingNumber);
}

int MidiMap::parseOption(const std::string_view* t, int n, MidiMapping& m, const char*& why) {
    if (t[0] == "nopickup") {
        m.pickup = false;
        return 1;
    }
    if (t[0] == "range") {
        why = "range needs two numbers 0..1";
        return n >= 3 && unitNumber(t[1], m.low) && unitNumber(t[2], m.high) ? 3 : -1;
    }
    if (t[0] == "step") {
        why = "step needs a number 0..1";
        return n >= 2 && unitNumber(t[1], m.step) ? 2 : -1;
    }
    if (t[0] == "curve") {
        why = "curve must be linear, exp or log";
        for (int c = 0; c < 3 && n >= 2; ++c)
            if (t[1] == kCurves[c]) {
                m.curve = static_cast<MidiMapping::Curve>(c);
                return 2;
            }
        return -1;
    }
    return 0;
}

float MidiMap::shapeValue(const MidiMapping& m, float v) { return m.low + shape(m.curve, v) * (m.high - m.low); }

std::string MidiMap::formatMapping(const MidiMapping& m) {
    const char* source = "cc";
    for (const SourceName& s : kSources)
        if (s.source == m.source) source = s.name;
    char text[160];
    int n = std::snprintf(text, sizeof text, "%s %d %d -> ", source, m.midiChannel + 1, m.number);
    if (m.channel == MidiMapping::kSelected)
        n += std::snprintf(text + n, sizeof text - n, "selected %d", m.entry);
    else
        n += std::snprintf(text + n, sizeof text - n, "%d %d", m.channel, m.entry);
    if (m.low != 0.0f || m.high != 1.0f) n += std::snprintf(text + n, sizeof text - n, " range %g %g", m.low, m.high);
    if (m.curve != MidiMapping::Curve::Linear)
        n += std::snprintf(text + n, sizeof text - n, " curve %s", kCurves[static_cast<int>(m.curve)]);
    if (m.step != 1.0f / 127.0f) n += std::snprintf(text + n, sizeof text - n, " step %g", m.step);
    if (!m.pickup) std::snprintf(text + n, sizeof text - n, " nopickup");
    return text;
}

void MidiMap::clear() {
    count_ = 0;
    ignoreNotes = ignoreProgram = ignoreUnmapped = false;
}

int MidiMap::readFile(const char* path) {
    clear();
    std::string text;
    switch (readSmallFile(path, kMaxFileSize - 1, text)) {
        case SmallFile::Missing: return 0;
        case SmallFile::Refused: return 1;  // its line said why
        case SmallFile::TooBig:
            std::fprintf(stderr, "%s: larger than %ld bytes, no mappings read\n", path, kMaxFileSize);
            return 1;
        case SmallFile::Read: break;
    }
    return parseText(text, path);
}

int MidiMap::parseText(std::string_view text, const char* name) {
    int bad = 0;
    int number = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++number;
        auto complain = [&](const char* why) {
            ++bad;
            std::fprintf(stderr, "%s:%d: %s\n", name, number, why);
        };
        if (line.size() > kMaxLine) {
            complain("line too long");
            continue;
        }
        std::string_view t[kMaxTokens];
        bool tooMany = false;
        const int n = tokenize(line, t, tooMany);
        if (n == 0 && !tooMany) continue;
        if (t[0] == "ignore") {
            if (n == 2 && t[1] == "notes")
                ignoreNotes = true;
            else if (n == 2 && t[1] == "program")
                ignoreProgram = true;
            else if (n == 2 && t[1] == "unmapped")
                ignoreUnmapped = true;
            else
                complain("expected: ignore notes | ignore program | ignore unmapped");
            continue;
        }
        MidiMapping m;
        const char* why = "";
        if (!parseMapping(line, m, why)) {
            complain(why);
            continue;
        }
        bool replaced = false;
        for (int i = 0; i < count_; ++i)
            if (mappings_[i].m.sameSource(m)) {
                mappings_[i].m = m;
                replaced = true;
            }
        if (replaced) continue;
        if (count_ == kMaxMappings) {
            complain("too many mappings (256), line ignored");
            continue;
        }
        mappings_[count_++].m = m;
    }
    return bad;
}

void MidiMap::initialiseSlot(Slot& slot, const ControlTable& table) {
    for (int c = 0; c < 16; ++c) {
        slot.lastWritten[c] = table.getFloat(c, 0, slot.m.entry);
        slot.engaged[c] = true;
    }
    slot.position = NAN;
    slot.highBits = 0;
    slot.lowBits = 0;
}

void MidiMap::attach(const ControlTable& table) {
    for (int i = 0; i < count_; ++i) initialiseSlot(mappings_[i], table);
}

bool MidiMap::add(const MidiMapping& mapping, const ControlTable& table) {
    int i = 0;
    while (i < count_ && !mappings_[i].m.sameSource(mapping)) ++i;
    if (i == kMaxMappings) return false;
    if (i == count_) ++count_;
    mappings_[i].m = mapping;
    initialiseSlot(mappings_[i], table);
    return true;
}

void MidiMap::writeAbsolute(Slot& slot, float v, ControlTable& table, int channel) {
    const MidiMapping& m = slot.m;
    const float out = shapeValue(m, v);
    const float target = 2.0f * (out - 0.5f);
    const float current = table.getFloat(channel, 0, m.entry);
    if (m.pickup) {
        // Another writer (a key, a recall, OSC) moved the entry since this
        // control last wrote it: wait until the control passes its value.
        if (current != slot.lastWritten[channel]) slot.engaged[channel] = false;
        if (!slot.engaged[channel]) {
            const bool near = std::fabs(target - current) <= kPickupWindow;
            const bool passed = !std::isnan(slot.position) && (slot.position - current) * (target - current) <= 0.0f;
            slot.position = target;
            if (!near && !passed) return;
            slot.engaged[channel] = true;
        }
    }
    slot.position = target;
    table.setFloat(channel, 0, m.entry, out);
    table.setByte(channel, 0, m.entry, static_cast<int>(std::lround(out * 127.0f)));
    slot.lastWritten[channel] = table.getFloat(channel, 0, m.entry);
    lastWrite_ = ControlTable::indexOf(channel, 0, m.entry);
}

void MidiMap::writeRelative(Slot& slot, int ticks, ControlTable& table, int channel) {
    const MidiMapping& m = slot.m;
    const float lowest = m.low < m.high ? m.low : m.high;
    const float highest = m.low < m.high ? m.high : m.low;
    float out = (table.getFloat(channel, 0, m.entry) + 1.0f) * 0.5f + ticks * m.step;
    out = out < lowest ? lowest : (out > highest ? highest : out);
    table.setFloat(channel, 0, m.entry, out);
    table.setByte(channel, 0, m.entry, static_cast<int>(std::lround(out * 127.0f)));
    slot.lastWritten[channel] = table.getFloat(channel, 0, m.entry);
    lastWrite_ = ControlTable::indexOf(channel, 0, m.entry);
}

bool MidiMap::apply(uint32_t message, ControlTable& table, int selectedChannel) {
    using Source = MidiMapping::Source;
    const int status = static_cast<int>(message & 0xFFu);
    const int data1 = static_cast<int>((message >> 8) & 0x7Fu);
    const int data2 = static_cast<int>((message >> 16) & 0x7Fu);
    const int type = status >> 4;
    const int midiChannel = status & 15;
    const bool noteMessage = type == 0x8 || type == 0x9 || type == 0xA;
    if (selectedChannel < 0 || selectedChannel > 15) selectedChannel = 0;
    lastWrite_ = -1;

    for (int i = 0; i < count_; ++i) {
        Slot& slot = mappings_[i];
        const MidiMapping& m = slot.m;
        if (m.midiChannel != midiChannel) continue;
        const int channel = m.channel == MidiMapping::kSelected ? selectedChannel : m.channel;
        if (type == 0xB) {
            if (m.source == Source::Cc && m.number == data1) {
                writeAbsolute(slot, data2 / 127.0f, table, channel);
                return true;
            }
            if (m.source == Source::Cc14 && (m.number == data1 || m.number + 32 == data1)) {
                (m.number == data1 ? slot.highBits : slot.lowBits) = data2;
                writeAbsolute(slot, (slot.highBits << 7 | slot.lowBits) / 16383.0f, table, channel);
                return true;
            }
            if ((m.source == Source::Relative || m.source == Source::Relative64) && m.number == data1) {
                const int ticks = m.source == Source::Relative ? (data2 < 64 ? data2 : data2 - 128) : data2 - 64;
                writeRelative(slot, ticks, table, channel);
                return true;
            }
        } else if ((type == 0x8 || type == 0x9) && m.source == Source::Note && m.number == data1) {
            writeAbsolute(slot, type == 0x9 ? data2 / 127.0f : 0.0f, table, channel);
            return true;
        }
    }
    if (ignoreUnmapped) return true;
    if (ignoreNotes && noteMessage) return true;
    if (ignoreProgram && type == 0xC) return true;
    return false;
}

bool MidiMap::saveMapping(const char* path, const MidiMapping& mapping) {
    // Keep every line of the old file except one with the same source.
    std::string text;
    if (FILE* file = std::fopen(path, "rb")) {
        char line[kMaxLine + 2];
        bool truncated = false;
        while (std::fgets(line, sizeof line, file)) {
            std::string_view view(line);
            truncated = !view.empty() && view.back() != '\n';
            MidiMapping old;
            const char* why = "";
            if (!truncated && parseMapping(view, old, why) && old.sameSource(mapping)) continue;
            text += line;
            if (truncated && std::feof(file)) text += '\n';
        }
        std::fclose(file);
    }
    if (!text.empty() && text.back() != '\n') text += '\n';
    text += formatMapping(mapping);
    text += '\n';

    std::string error;
    if (!writeFileAtomically(path, text, error)) {
        std::fprintf(stderr, "%s: could not be written (%s), the mapping is kept until the end of the run\n", path,
                     std::strerror(errno));
        return false;
    }
    return true;
}
