#include "control/SoundMap.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "app/ControlTable.h"
#include "platform/RegularFile.h"
#include "app/FrameObserver.h"
#include "music/MusicalTime.h"
#include "platform/Numbers.h"
#include "platform/TextLines.h"

namespace {

constexpr int kMaxWords = 20;
constexpr long kMaxFileSize = 1 << 20;
constexpr float kMaxMillis = 60000.0f;

struct SourceName {
    const char* name;
    SoundRoute::Source source;
};
constexpr SourceName kSources[] = {
    {"onset", SoundRoute::Source::Onset},         {"beat", SoundRoute::Source::Beat},
    {"bar", SoundRoute::Source::Bar},             {"phase", SoundRoute::Source::BeatPhase},
    {"barphase", SoundRoute::Source::BarPhase},   {"tempo", SoundRoute::Source::Tempo},
    {"confidence", SoundRoute::Source::Confidence}, {"level", SoundRoute::Source::Level},
};
constexpr const char* kBands[] = {"low", "mid", "high"};
constexpr const char* kShapes[] = {"sine", "triangle", "saw", "square", "random"};

bool millisNumber(std::string_view token, float& out) {
    float v = 0.0f;
    if (!parseFloatNumber(token, v, 16) || v < 0.0f || v > kMaxMillis) return false;
    out = v;
    return true;
}

// A period in bars, "n" or "n/m", within 1/16 .. 16 bars.
bool barsNumber(std::string_view token, double& beats) {
    const size_t slash = token.find('/');
    int over = 1;
    float bars = 0.0f;
    if (slash != std::string_view::npos) {
        int top = 0;
        if (!parseWholeNumber(token.substr(0, slash), 1, 64, top, digitsOnly(2)) ||
            !parseWholeNumber(token.substr(slash + 1), 1, 64, over, digitsOnly(2)))
            return false;
        bars = static_cast<float>(top);
    } else if (!parseFloatNumber(token, bars, 16)) {
        return false;
    }
    beats = 4.0 * bars / over;
    return beats >= Lfo::kMinPeriod && beats <= Lfo::kMaxPeriod;
}

float sourceValue(SoundRoute::Source source, const MusicFrame& f) {
    using S = SoundRoute::Source;
    switch (source) {
        case S::BeatPhase: return static_cast<float>(f.beatPhase);
        case S::BarPhase: return static_cast<float>(f.barPhase);
        case S::Tempo: return std::clamp(static_cast<float>((f.bpm - 60.0) / 120.0), 0.0f, 1.0f);
        case S::Confidence: return std::clamp(f.sound.confidence, 0.0f, 1.0f);
        case S::Low: return f.sound.low;
        case S::Mid: return f.sound.mid;
        case S::High: return f.sound.high;
        case S::Level: return f.sound.level;
        default: return 0.0f;
    }
}

}  // namespace

bool SoundMap::parseRoute(std::string_view line, SoundRoute& r, const char*& why, int lineNumber) {
    std::string_view t[kMaxWords];
    bool tooMany = false;
    const int n = splitWords(line, t, kMaxWords, &tooMany, true);
    r = SoundRoute{};
    why = "expected: <source> -> <channel|selected> <entry> [options]";
    if (tooMany || n < 4) return false;
    bool known = false;
    for (const SourceName& s : kSources)
        if (t[0] == s.name) {
            r.source = s.source;
            known = true;
        }
    int i = 1;
    if (t[0] == "band") {
        why = "band must be low, mid or high";
        for (int b = 0; b < 3; ++b)
            if (t[1] == kBands[b]) {
                r.source = static_cast<SoundRoute::Source>(static_cast<int>(SoundRoute::Source::Low) + b);
                known = true;
            }
        if (!known) return false;
        i = 2;
    } else if (t[0] == "lfo") {
        why = "expected: lfo sine|triangle|saw|square|random <period in bars 1/16..16> [phase <0..1>]";
        r.source = SoundRoute::Source::Lfo;
        for (int s = 0; s < 5; ++s)
            if (t[1] == kShapes[s]) {
                r.lfo.shape = static_cast<Lfo::Shape>(s);
                known = true;
            }
        if (!known || n < 3 || !barsNumber(t[2], r.lfo.periodBeats)) return false;
        r.lfo.seed = static_cast<uint32_t>(lineNumber);
        i = 3;
        if (i + 1 < n && t[i] == "phase") {
            float phase = 0.0f;
            if (!parseFloatNumber(t[i + 1], phase, 16) || phase < 0.0f || phase > 1.0f) return false;
            r.lfo.phase = phase;
            i += 2;
        }
    }
    why = "unknown source (onset, beat, bar, phase, barphase, tempo, confidence, band, level, lfo)";
    if (!known) return false;
    why = "expected -> after the source";
    if (i >= n || t[i] != "->") return false;
    ++i;
    if (!MidiMap::parseTarget(t + i, n - i, r.target, why)) return false;
    r.envelope.decayMillis = r.pulse() ? 100.0f : 0.0f;
    for (i += 2; i < n;) {
        if (t[i] == "smooth" || t[i] == "attack" || t[i] == "decay") {
            why = "smooth, attack and decay need milliseconds 0..60000";
            float ms = 0.0f;
            if (i + 1 >= n || !millisNumber(t[i + 1], ms)) return false;
            if (t[i] == "smooth") {
                r.smoothMillis = ms;
            } else {
                why = "attack and decay shape pulses (onset, beat, bar)";
                if (!r.pulse()) return false;
                (t[i] == "attack" ? r.envelope.attackMillis : r.envelope.decayMillis) = ms;
            }
            i += 2;
            continue;
        }
        if (t[i] == "step" || t[i] == "nopickup") {
            why = "unknown option (range, curve, smooth, attack, decay)";
            return false;
        }
        const int used = MidiMap::parseOption(t + i, n - i, r.target, why);
        if (used == 0) why = "unknown option (range, curve, smooth, attack, decay)";
        if (used <= 0) return false;
        i += used;
    }
    return true;
}

int SoundMap::readFile(const char* path) {
    count_ = 0;
    std::string text;
    switch (readSmallFile(path, kMaxFileSize - 1, text)) {
        case SmallFile::Missing: return 0;
        case SmallFile::Refused: return 1;  // its line said why
        case SmallFile::TooBig:
            std::fprintf(stderr, "%s: larger than %ld bytes, no routes read\n", path, kMaxFileSize);
            return 1;
        case SmallFile::Read: break;
    }
    return parseText(text, path);
}

int SoundMap::parseText(std::string_view text, const char* name) {
    count_ = 0;
    int bad = 0;
    for (int number = 1; !text.empty(); ++number) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        std::string_view words[1];
        bool more = false;
        if (line.size() <= kMaxLine && splitWords(line, words, 1, &more, true) == 0) continue;
        const char* why = "line too long";
        SoundRoute route;
        if (line.size() <= kMaxLine && parseRoute(line, route, why, number)) {
            why = count_ == kMaxRoutes ? "too many routes (64), line ignored" : nullptr;
            if (!why) routes_[count_++] = Slot{route, 0.0f};
        }
        if (!why) continue;
        ++bad;
        std::fprintf(stderr, "%s:%d: %s\n", name, number, why);
    }
    return bad;
}

void SoundMap::apply(const MusicFrame& f, ControlTable& table, int selectedChannel, FrameObserver* observer) {
    const float millis = static_cast<float>(f.millis);
    for (int i = 0; i < count_; ++i) {
        Slot& slot = routes_[i];
        SoundRoute& r = slot.r;
        float v = 0.0f;
        if (r.pulse()) {
            const bool fired = r.source == SoundRoute::Source::Onset  ? f.onset
                               : r.source == SoundRoute::Source::Beat ? f.beat
                                                                      : f.bar;
            r.envelope.step(millis);
            if (fired) r.envelope.trigger();
            v = r.envelope.value();
        } else if (r.source == SoundRoute::Source::Lfo) {
            v = r.lfo.value(f.beats);
        } else {
            v = sourceValue(r.source, f);
        }
        if (r.smoothMillis > 0.0f) v = slot.smoothed += (v - slot.smoothed) * (1.0f - std::exp(-millis / r.smoothMillis));
        slot.smoothed = v;
        const int channel = r.target.channel == MidiMapping::kSelected ? selectedChannel : r.target.channel;
        if (channel < 0 || channel >= ControlTable::kChannels) continue;
        const float out = MidiMap::shapeValue(r.target, std::clamp(v, 0.0f, 1.0f));
        const int byte = static_cast<int>(std::lround(out * 127.0f));
        // The table keeps floats as -1..1.
        const int index = ControlTable::indexOf(channel, 0, r.target.entry);
        if (table.floatValue[index] == 2.0f * (out - 0.5f) && table.byteValue[index] == byte) continue;
        table.setFloat(channel, 0, r.target.entry, out);
        table.setByte(channel, 0, r.target.entry, byte);
        if (observer) observer->routedWrite(index, table.byteValue[index], table.floatValue[index]);
    }
}
