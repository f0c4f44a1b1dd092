#include "follow/FollowLeader.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>

#include "app/ControlFade.h"
#include "app/ControlTable.h"
#include "app/qelUnivCell.h"
#include "follow/FollowWire.h"
#include "reactor/qelCell.h"
#include "show/SceneBank.h"
#include "show/ShowLines.h"

namespace {

constexpr size_t kHeader = 9;  // payload size, sequence number, kind
constexpr int kBurst = 32;  // messages sent back to back before the sender pauses a little

int64_t nowMillis() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

sockaddr_in addressOf(uint64_t endpoint) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(static_cast<uint32_t>(endpoint >> 16));
    to.sin_port = htons(static_cast<uint16_t>(endpoint & 0xFFFFu));
    return to;
}

void describe(uint64_t endpoint, char* out, size_t size) {
    const sockaddr_in a = addressOf(endpoint);
    char host[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &a.sin_addr, host, sizeof host);
    std::snprintf(out, size, "%s:%u", host, static_cast<unsigned>(endpoint & 0xFFFFu));
}

}  // namespace

// The largest record: a scene's line and text (a table is 82 KB).
constexpr size_t kLargestRecord = SceneBank::kMaxFileBytes + 512;

FollowLeader::FollowLeader(qelUnivCell& universe)
    : universe_(universe),
      record_(std::make_unique<uint8_t[]>(kLargestRecord)),
      run_(static_cast<int32_t>(std::random_device{}() | 1u)) {}

FollowLeader::~FollowLeader() { stop(); }

bool FollowLeader::start(std::string& error) {
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (socket_ < 0 || wakeFd_ < 0) {
        error = std::string("no socket to send to followers (") + std::strerror(errno) + ")";
        stop();
        return false;
    }
    running_ = true;
    sender_ = std::thread([this] { run(); });
    return true;
}

void FollowLeader::stop() {
    running_ = false;
    if (sender_.joinable()) {
        wake();
        sender_.join();
    }
    if (socket_ >= 0) ::close(socket_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
    socket_ = wakeFd_ = -1;
}

bool FollowLeader::take(const char* data, size_t size, const sockaddr_in* from) {
    if (size < 15 || std::strncmp(data, followwire::kPrefix, 15) != 0) return false;
    if (from) takeAt(data, size, *from, nowMillis());
    return true;
}

bool FollowLeader::takeAt(const char* data, size_t size, const sockaddr_in& from, int64_t now) {
    followwire::Message m;
    if (!followwire::decode(data, size, m) || !m.holds("i") || m.args[0].value < 1 || m.args[0].value > 65535)
        return false;
    const bool hello = m.path == followwire::kHello;
    if (!hello && m.path != followwire::kResync) return false;
    const uint64_t endpoint = static_cast<uint64_t>(ntohl(from.sin_addr.s_addr)) << 16 |
                              static_cast<uint64_t>(m.args[0].value);
    Slot* slot = nullptr;
    Slot* free = nullptr;
    for (Slot& s : slots_) {
        const uint64_t e = s.endpoint.load(std::memory_order_relaxed);
        if (e == endpoint) slot = &s;
        if (!free && (e == 0 || now - s.lastSeen.load(std::memory_order_relaxed) >= kSilentMillis)) free = &s;
    }
    const bool joined = !slot || now - slot->lastSeen.load(std::memory_order_relaxed) >= kSilentMillis;
    if (!slot) slot = free;
    char name[40];
    describe(endpoint, name, sizeof name);
    if (!slot) {
        if (refused_ != endpoint)  // once, not at every hello
            std::fprintf(stderr, "follow: %s wants to follow, but %d followers already do; refused\n", name,
                         kMaxFollowers);
        refused_ = endpoint;
        return false;
    }
    slot->lastSeen.store(now, std::memory_order_relaxed);
    slot->endpoint.store(endpoint, std::memory_order_release);
    if (joined || (!hello && now - slot->tableAsked >= kTableMillis)) {
        // A new follower starts from the whole table; so does one that lost
        // events (once a second at most: a table is 85 KB).
        slot->tableAsked = now;
        slot->wantsTable.store(true, std::memory_order_release);
        tableWanted_.store(true, std::memory_order_release);
        anyone_.store(true, std::memory_order_relaxed);
    }
    if (joined) std::fprintf(stderr, "follow: %s follows this instrument (%d of at most %d)\n", name, followersAt(now),
                             kMaxFollowers);
    return true;
}

int FollowLeader::followersAt(int64_t now) const {
    int n = 0;
    for (const Slot& s : slots_)
        if (s.endpoint.load(std::memory_order_acquire) != 0 && now - s.lastSeen.load(std::memory_order_relaxed) < kSilentMillis)
            ++n;
    return n;
}

// The frame thread's side: one record per input, numbered; a record the
// ring cannot take still uses its number, so the followers see the gap. A
// table takes no number of its own: it carries the next event's, the first
// it does not hold (and the followers that did not ask see no gap).
void FollowLeader::pushRecord(Kind kind, const void* a, size_t aSize, const void* b, size_t bSize, const void* c,
                              size_t cSize) {
    const uint32_t size = static_cast<uint32_t>(aSize + bSize + cSize);
    const uint32_t sequence = kind == kTableRecord ? sequence_ : sequence_++;
    uint8_t header[kHeader];
    std::memcpy(header, &size, 4);
    std::memcpy(header + 4, &sequence, 4);
    header[8] = kind;
    const ByteRing::Piece parts[] = {{header, kHeader}, {a, aSize}, {b, bSize}, {c, cSize}};
    ring_.push(parts, 4);
    pushed_ = true;
    if (!inFrame_) wake();
}

void FollowLeader::takeLine(const char* line, int length) {
    if (length > 1 && active()) pushRecord(kLineRecord, line, static_cast<size_t>(length - 1));  // without its newline
}

// The scene's text goes with it: a follower need not have the file.
void FollowLeader::sceneRecalled(const char* path, int fadeMillis, const std::string& text) {
    if (!active()) return;
    if (text.size() > SceneBank::kMaxFileBytes) {
        std::fprintf(stderr, "follow: %s is larger than a scene may be; the followers do not get it\n", path);
        return;
    }
    const int frame = sceneFrame();
    char name[32], line[kLine];
    std::snprintf(name, sizeof name, "scene-%06d.scene", frame);
    const int length = showline::scene(line, sizeof line, frame, name, fadeMillis, inFrame_);
    if (length < 2) return;
    // The line without its newline, a zero, then the text.
    pushRecord(kSceneRecord, line, static_cast<size_t>(length - 1), "", 1, text.data(), text.size());
}

void FollowLeader::pushTable() {
    followwire::State state;
    const qelUnivCell& u = universe_;
    state.run = run_;
    state.selected = u.currentChannel;
    state.midiOn = u.midiOn;
    state.joystickOn = u.joystickOn;
    state.helpMode = u.helpMode;
    state.helpPage = u.helpPage;
    for (int c = 0; c < followwire::kCells; ++c) {
        state.module[c] = c < u.cellCount && u.cells[c] ? u.cells[c]->reactorIndex : -1;
        state.imageSet[c] = u.imageSetOf(c);
    }
    uint8_t packed[followwire::kStateBytes];
    followwire::putState(state, packed);
    const ControlTable& t = *u.controls;
    pushRecord(kTableRecord, t.byteValue, sizeof t.byteValue, t.floatValue, sizeof t.floatValue, packed, sizeof packed);
}

void FollowLeader::frameFinished() {
    inFrame_ = false;
    // A table taken during a cross-fade would miss the fade's remaining
    // steps on the follower: it waits for the fade's end.
    if (active() && !universe_.fade->running() && tableWanted_.exchange(false, std::memory_order_acq_rel))
        pushTable();
    if (pushed_) wake();
    pushed_ = false;
}

void FollowLeader::wake() {
    const uint64_t one = 1;
    if (wakeFd_ >= 0 && ::write(wakeFd_, &one, sizeof one) < 0) {
        // Already woken many times over: the sender is on its way.
    }
}

void FollowLeader::run() {
    while (running_.load(std::memory_order_acquire)) {
        pollfd wait{wakeFd_, POLLIN, 0};
        if (::poll(&wait, 1, 100) > 0) {
            uint64_t count = 0;
            if (::read(wakeFd_, &count, sizeof count) < 0) count = 0;
        }
        sendPending(nowMillis());
    }
}

int FollowLeader::send(const uint8_t* message, size_t size, int64_t now, bool tableOnly) {
    int sent = 0;
    for (int i = 0; i < kMaxFollowers; ++i) {
        const Slot& s = slots_[i];
        const uint64_t endpoint = s.endpoint.load(std::memory_order_acquire);
        if (endpoint == 0 || now - s.lastSeen.load(std::memory_order_relaxed) >= kSilentMillis) continue;
        if (tableOnly && !tableSending_[i]) continue;
        const sockaddr_in to = addressOf(endpoint);
        if (this->sent) this->sent(message, size, to, sentContext);
        if (socket_ >= 0)
            ::sendto(socket_, message, size, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        ++sent;
    }
    return sent;
}

int FollowLeader::sendPending(int64_t now) {
    using followwire::Arg;
    const int alive = followersAt(now);
    if (alive < alive_) std::fprintf(stderr, "follow: a follower went silent; %d left\n", alive);
    alive_ = alive;
    anyone_.store(alive > 0, std::memory_order_relaxed);
    uint8_t message[followwire::kMaxPacket];
    int messages = 0;
    auto out = [&](const char* path, const Arg* args, int count, bool tableOnly) {
        const size_t size = followwire::encode(message, sizeof message, path, args, count);
        if (size > 0) messages += send(message, size, now, tableOnly);
        if (socket_ >= 0 && messages % kBurst == kBurst - 1) ::usleep(200);  // the followers' sockets keep up
    };
    uint8_t header[kHeader];
    while (ring_.read(header, kHeader)) {
        uint32_t size = 0, sequence = 0;
        std::memcpy(&size, header, 4);
        std::memcpy(&sequence, header + 4, 4);
        if (size > kLargestRecord) {  // never pushed: every record is bounded
            ring_.consume(size);
            continue;
        }
        if (!ring_.read(record_.get(), size)) break;  // cannot happen: records go in whole
        const int32_t seq = static_cast<int32_t>(sequence);
        const char* bytes = reinterpret_cast<const char*>(record_.get());
        if (header[8] == kLineRecord) {
            const Arg args[] = {{'i', seq, {}}, {'s', 0, std::string_view(bytes, size)}};
            out(followwire::kEvent, args, 2, false);
        } else if (header[8] == kSceneRecord) {
            const std::string_view line(bytes), text(bytes + line.size() + 1, size - line.size() - 1);
            for (size_t at = 0; at < text.size(); at += followwire::kTextPiece) {
                const Arg args[] = {{'i', seq, {}}, {'i', static_cast<int32_t>(at), {}},
                                    {'i', static_cast<int32_t>(text.size()), {}},
                                    {'b', 0, text.substr(at, followwire::kTextPiece)}};
                out(followwire::kText, args, 4, false);
            }
            const Arg args[] = {{'i', seq, {}}, {'s', 0, line}};
            out(followwire::kEvent, args, 2, false);
        } else if (header[8] == kTableRecord) {
            bool anyone = false;
            for (int i = 0; i < kMaxFollowers; ++i)
                anyone |= tableSending_[i] = slots_[i].wantsTable.exchange(false, std::memory_order_acq_rel);
            if (!anyone) continue;
            const auto* table = record_.get();
            const auto* floats = reinterpret_cast<const float*>(table + ControlTable::kEntries);
            uint8_t piece[followwire::kPieceBytes];
            for (int first = 0; first < ControlTable::kEntries; first += followwire::kTablePiece) {
                followwire::putPiece(table, floats, first, piece);
                const Arg args[] = {{'i', seq, {}}, {'i', first, {}},
                                    {'b', 0, std::string_view(reinterpret_cast<const char*>(piece), sizeof piece)}};
                out(followwire::kTable, args, 3, true);
            }
            const size_t stateAt = ControlTable::kEntries * 5;
            const Arg args[] = {{'i', seq, {}}, {'b', 0, std::string_view(bytes + stateAt, followwire::kStateBytes)}};
            out(followwire::kState, args, 2, true);
        }
    }
    return messages;
}
