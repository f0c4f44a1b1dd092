#include "follow/FollowWire.h"

#include <cstring>

namespace followwire {
namespace {

constexpr int kHead = 6;  // the numbers of a state before the cells

size_t padded(size_t n) { return (n + 4) & ~size_t{3}; }  // with at least one zero

void put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// A zero-ended string padded to four bytes at data[at]; its length, or npos.
size_t paddedString(const uint8_t* data, size_t size, size_t at) {
    const void* zero = at < size ? std::memchr(data + at, 0, size - at) : nullptr;
    if (!zero) return std::string_view::npos;
    const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(zero) - (data + at));
    return at + padded(length) <= size ? length : std::string_view::npos;
}

}  // namespace

bool Message::holds(const char* types) const {
    int i = 0;
    for (; types[i]; ++i)
        if (i >= count || args[i].type != types[i]) return false;
    return i == count;
}

size_t encode(uint8_t* out, size_t capacity, const char* path, const Arg* args, int count) {
    if (count < 0 || count > kMaxArgs) return 0;
    char types[kMaxArgs + 2] = {','};
    size_t need = padded(std::strlen(path)) + padded(static_cast<size_t>(count) + 1);
    for (int i = 0; i < count; ++i) {
        types[i + 1] = args[i].type;
        if (args[i].type == 'i') need += 4;
        else if (args[i].type == 's') need += padded(args[i].bytes.size());
        else if (args[i].type == 'b') need += 4 + ((args[i].bytes.size() + 3) & ~size_t{3});
        else return 0;
    }
    if (need > capacity) return 0;
    std::memset(out, 0, need);
    size_t at = 0;
    std::memcpy(out, path, std::strlen(path));
    at += padded(std::strlen(path));
    std::memcpy(out + at, types, static_cast<size_t>(count) + 1);
    at += padded(static_cast<size_t>(count) + 1);
    for (int i = 0; i < count; ++i) {
        const Arg& a = args[i];
        if (a.type == 'i') {
            put32(out + at, static_cast<uint32_t>(a.value));
            at += 4;
            continue;
        }
        if (a.type == 'b') {
            put32(out + at, static_cast<uint32_t>(a.bytes.size()));
            at += 4;
        }
        std::memcpy(out + at, a.bytes.data(), a.bytes.size());
        at += a.type == 's' ? padded(a.bytes.size()) : (a.bytes.size() + 3) & ~size_t{3};
    }
    return need;
}

bool decode(const void* packet, size_t size, Message& m) {
    const auto* data = static_cast<const uint8_t*>(packet);
    m.count = 0;
    if (size % 4 != 0 || size > kMaxPacket * 32) return false;
    const size_t pathLength = paddedString(data, size, 0);
    if (pathLength == std::string_view::npos || pathLength == 0 || data[0] != '/') return false;
    m.path = std::string_view(reinterpret_cast<const char*>(data), pathLength);
    size_t at = padded(pathLength);
    const size_t typeLength = paddedString(data, size, at);
    if (typeLength == std::string_view::npos || typeLength == 0 || data[at] != ',' ||
        typeLength - 1 > static_cast<size_t>(kMaxArgs))
        return false;
    const char* types = reinterpret_cast<const char*>(data + at + 1);
    m.count = static_cast<int>(typeLength - 1);
    at += padded(typeLength);
    for (int i = 0; i < m.count; ++i) {
        Arg& a = m.args[i];
        a.type = types[i];
        if (a.type == 's') {
            const size_t length = paddedString(data, size, at);
            if (length == std::string_view::npos) return false;
            a.bytes = std::string_view(reinterpret_cast<const char*>(data + at), length);
            at += padded(length);
            continue;
        }
        if ((a.type != 'i' && a.type != 'b') || size - at < 4) return false;
        const uint32_t word = get32(data + at);
        at += 4;
        if (a.type == 'i') {
            a.value = static_cast<int32_t>(word);
            continue;
        }
        if (word > size - at || ((word + 3) & ~3u) > size - at) return false;
        a.bytes = std::string_view(reinterpret_cast<const char*>(data + at), word);
        at += (word + 3) & ~3u;
    }
    return at == size;
}

void putState(const State& s, uint8_t* out) {
    const int32_t head[kHead] = {s.run, s.selected, s.midiOn, s.joystickOn, s.helpMode, s.helpPage};
    for (int i = 0; i < kHead; ++i) put32(out + 4 * i, static_cast<uint32_t>(head[i]));
    for (int c = 0; c < kCells; ++c) {
        put32(out + 4 * kHead + 8 * c, static_cast<uint32_t>(s.module[c]));
        put32(out + 4 * kHead + 4 + 8 * c, static_cast<uint32_t>(s.imageSet[c]));
    }
}

bool getState(std::string_view bytes, State& s) {
    if (bytes.size() != kStateBytes) return false;
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    int32_t* head[kHead] = {&s.run, &s.selected, &s.midiOn, &s.joystickOn, &s.helpMode, &s.helpPage};
    for (int i = 0; i < kHead; ++i) *head[i] = static_cast<int32_t>(get32(p + 4 * i));
    for (int c = 0; c < kCells; ++c) {
        s.module[c] = static_cast<int32_t>(get32(p + 4 * kHead + 8 * c));
        s.imageSet[c] = static_cast<int32_t>(get32(p + 4 * kHead + 4 + 8 * c));
    }
    return true;
}

void putPiece(const uint8_t* bytes, const float* floats, int first, uint8_t* out) {
    std::memcpy(out, bytes + first, kTablePiece);
    for (int i = 0; i < kTablePiece; ++i) {
        uint32_t bits = 0;
        std::memcpy(&bits, floats + first + i, 4);
        put32(out + kTablePiece + 4 * i, bits);
    }
}

void getPiece(std::string_view piece, int first, uint8_t* bytes, float* floats) {
    const auto* p = reinterpret_cast<const uint8_t*>(piece.data());
    std::memcpy(bytes + first, p, kTablePiece);
    for (int i = 0; i < kTablePiece; ++i) {
        const uint32_t bits = get32(p + kTablePiece + 4 * i);
        std::memcpy(floats + first + i, &bits, 4);
    }
}

}  // namespace followwire
