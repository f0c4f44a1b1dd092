#include "follow/FollowClient.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "app/ControlFade.h"
#include "app/ControlTable.h"
#include "app/FrameObserver.h"
#include "app/KeyBindings.h"
#include "app/qelUnivCell.h"
#include "control/ControlBus.h"
#include "reactor/qelCell.h"
#include "show/SceneBank.h"

namespace {

constexpr size_t kHeader = 5;  // payload size, kind
enum Kind : uint8_t { kEvent, kTable };
constexpr size_t kTableRecord = ControlTable::kEntries * 5 + sizeof(followwire::State);

int64_t nowMillis() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Codes that step the selected layer's module or image set (Left, Up, Right, Down).
bool stepsLayer(int code) { return code >= 100 && code <= 103; }

}  // namespace

FollowClient::FollowClient(const sockaddr_in& leader, int ownPort, uint32_t keepChannels)
    : leader_(leader),
      ownPort_(ownPort),
      keep_(keepChannels),
      tableBytes_(std::make_unique<uint8_t[]>(ControlTable::kEntries)),
      tableFloats_(std::make_unique<float[]>(ControlTable::kEntries)),
      record_(std::make_unique<uint8_t[]>(std::max(kTableRecord, sizeof(Event) + SceneBank::kMaxFileBytes))),
      savedBytes_(std::make_unique<uint8_t[]>(ControlTable::kEntries)),
      savedFloats_(std::make_unique<float[]>(ControlTable::kEntries)) {}

FollowClient::~FollowClient() { stop(); }

bool FollowClient::start(std::string& error) {
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0) {
        error = std::string("no socket to reach the leader (") + std::strerror(errno) + ")";
        return false;
    }
    running_ = true;
    hello_ = std::thread([this] { run(); });
    return true;
}

void FollowClient::stop() {
    running_ = false;
    if (hello_.joinable()) hello_.join();
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
}

size_t FollowClient::request(bool resync, uint8_t* out, size_t capacity) const {
    const followwire::Arg port{'i', ownPort_, {}};
    return followwire::encode(out, capacity, resync ? followwire::kResync : followwire::kHello, &port, 1);
}

// Hello about once a second; the whole table at once when the frame's
// messages have a gap, and again every second until it arrives.
void FollowClient::run() {
    int64_t lastHello = -kHelloMillis, lastAsked = 0;
    while (running_.load(std::memory_order_acquire)) {
        const int64_t now = nowMillis();
        uint8_t message[64];
        if (now - lastHello >= kHelloMillis) {
            lastHello = now;
            const size_t size = request(false, message, sizeof message);
            ::sendto(socket_, message, size, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&leader_), sizeof leader_);
        }
        const bool waiting = waitingTable_.load(std::memory_order_acquire);
        if (resyncNow_.exchange(false) || (waiting && now - lastAsked >= kHelloMillis && now - lastHello > 100)) {
            lastAsked = now;
            const size_t size = request(true, message, sizeof message);
            ::sendto(socket_, message, size, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&leader_), sizeof leader_);
        }
        ::usleep(20000);
    }
}

bool FollowClient::take(const char* data, size_t size, const sockaddr_in* from) {
    if (size < 15 || std::strncmp(data, followwire::kPrefix, 15) != 0) return false;
    // Only the leader's host leads.
    if (from && from->sin_addr.s_addr != leader_.sin_addr.s_addr) return true;
    followwire::Message m;
    if (!followwire::decode(data, size, m)) return true;
    const auto seq = static_cast<uint32_t>(m.args[0].value);
    if (m.path == followwire::kEvent && m.holds("is"))
        onEvent(seq, m.args[1].bytes);
    else if (m.path == followwire::kText && m.holds("iiib"))
        onText(seq, m.args[1].value, m.args[2].value, m.args[3].bytes);
    else if (m.path == followwire::kTable && m.holds("iib"))
        onTable(seq, m.args[1].value, m.args[2].bytes);
    else if (m.path == followwire::kState && m.holds("ib"))
        onState(seq, m.args[1].bytes);
    return true;
}

void FollowClient::askTable(const char* why) {
    if (waitingTable_.load(std::memory_order_relaxed)) return;
    waitingTable_.store(true, std::memory_order_release);
    resyncNow_.store(true, std::memory_order_release);
    gaps_.fetch_add(1, std::memory_order_relaxed);
    pieces_.reset();
    std::fprintf(stderr, "follow: %s; asking the leader for the whole table\n", why);
}

void FollowClient::onText(uint32_t seq, int offset, int total, std::string_view piece) {
    if (total <= 0 || static_cast<size_t>(total) > SceneBank::kMaxFileBytes) return;
    if (seq != textSequence_ || offset == 0) {
        textSequence_ = seq;
        textTotal_ = static_cast<size_t>(total);
        text_.clear();
    }
    // Pieces come in order; one missing leaves the text short, and the
    // scene's event then counts as lost.
    if (static_cast<size_t>(offset) == text_.size() && text_.size() + piece.size() <= textTotal_) text_.append(piece);
}

void FollowClient::onEvent(uint32_t seq, std::string_view line) {
    const bool scene = line.find(" scene ") != std::string_view::npos;
    const bool whole = !scene || (textSequence_ == seq && text_.size() == textTotal_);
    if (waitingTable_.load(std::memory_order_relaxed)) {
        wait(seq, line, scene, whole);
        return;
    }
    if (seq < expected_) return;  // sent twice
    if (seq > expected_ || !whole) {
        char why[96];
        std::snprintf(why, sizeof why, "%u events from the leader lost", seq - expected_ + (whole ? 0 : 1));
        askTable(why);
        wait(seq, line, scene, whole);
        return;
    }
    ++expected_;
    deliver(line, scene ? std::string_view(text_) : std::string_view());
}

// An event kept until the table arrives; beyond the bounds it is dropped,
// and the gap it leaves asks for another table.
void FollowClient::wait(uint32_t seq, std::string_view line, bool scene, bool whole) {
    const size_t bytes = line.size() + (scene && whole ? text_.size() : 0);
    if (waiting_.size() >= kWaiting || waitingBytes_ + bytes > kWaitingBytes) return;
    waitingBytes_ += bytes;
    waiting_.push_back({seq, std::string(line), scene && whole ? text_ : std::string(), whole});
}

// The line read as a show script reads it, handed to the frame.
void FollowClient::deliver(std::string_view line, std::string_view text) {
    std::string error;
    if (!parser_.parseText(line, "the leader", error) || parser_.events().size() != 1) {
        std::fprintf(stderr, "follow: %s; not applied here\n", error.c_str());
        return;
    }
    const ShowEvent& s = parser_.events().front();
    using T = ShowEvent::Type;
    if (s.type == T::FrameTime || s.type == T::Sound || s.type == T::Routed || s.type == T::End) return;
    const Event e{s.type, s.a, s.b, s.c, s.f, s.command};
    const uint32_t size = static_cast<uint32_t>(sizeof e + text.size());
    const uint8_t kind = kEvent;
    const ByteRing::Piece parts[] = {{&size, 4}, {&kind, 1}, {&e, sizeof e}, {text.data(), text.size()}};
    if (!ring_.push(parts, 4)) askTable("the frame fell behind the leader");
}

void FollowClient::onTable(uint32_t seq, int first, std::string_view piece) {
    if (first < 0 || first >= ControlTable::kEntries ||
        first % followwire::kTablePiece != 0 || piece.size() != followwire::kPieceBytes)
        return;
    if (seq != tableSequence_) {
        tableSequence_ = seq;
        pieces_.reset();
    }
    followwire::getPiece(piece, first, tableBytes_.get(), tableFloats_.get());
    pieces_.set(static_cast<size_t>(first / followwire::kTablePiece));
}

void FollowClient::onState(uint32_t seq, std::string_view bytes) {
    followwire::State state;
    if (seq != tableSequence_ || !pieces_.all() || !followwire::getState(bytes, state))
        return;  // not whole: asked again within a second
    // In step, a table of the same run holding no more than what applied is
    // one asked for twice; a leader started again draws another run, and its
    // numbers begin anew.
    if (!waitingTable_.load(std::memory_order_relaxed) && state.run == run_ && seq <= expected_) return;
    run_ = state.run;
    const uint32_t size = kTableRecord;
    const uint8_t kind = kTable;
    const ByteRing::Piece parts[] = {{&size, 4},
                                    {&kind, 1},
                                    {tableBytes_.get(), ControlTable::kEntries},
                                    {tableFloats_.get(), ControlTable::kEntries * sizeof(float)},
                                    {&state, sizeof state}};
    if (!ring_.push(parts, 5)) return;
    pieces_.reset();
    expected_ = seq;
    waitingTable_.store(false, std::memory_order_release);
    std::fprintf(stderr, "follow: %s the leader (its table at event %u)\n", everInStep_ ? "in step again with" : "in step with",
                 seq);
    everInStep_ = true;
    // What came meanwhile, in order, from the table on.
    std::vector<Waiting> waiting;
    waiting.swap(waiting_);
    waitingBytes_ = 0;
    std::stable_sort(waiting.begin(), waiting.end(),
                     [](const Waiting& x, const Waiting& y) { return x.sequence < y.sequence; });
    for (const Waiting& w : waiting) {
        if (w.sequence < expected_) continue;
        if (!waitingTable_.load(std::memory_order_relaxed) && (w.sequence > expected_ || !w.whole))
            askTable("events from the leader lost");
        if (waitingTable_.load(std::memory_order_relaxed)) {
            waitingBytes_ += w.line.size() + w.text.size();
            waiting_.push_back(w);
            continue;
        }
        ++expected_;
        deliver(w.line, w.text);
    }
}

void FollowClient::apply(qelUnivCell& u, ControlBus& bus, SceneBank& scenes) {
    uint8_t header[kHeader];
    while (ring_.read(header, kHeader)) {
        uint32_t size = 0;
        std::memcpy(&size, header, 4);
        if (!ring_.read(record_.get(), size)) return;  // records go in whole
        if (header[4] == kTable) {
            followwire::State state;
            std::memcpy(&state, record_.get() + ControlTable::kEntries * 5, sizeof state);
            applyTable(u, record_.get(), reinterpret_cast<const float*>(record_.get() + ControlTable::kEntries), state);
            continue;
        }
        Event e;
        std::memcpy(&e, record_.get(), sizeof e);
        applyEvent(u, bus, scenes, e,
                   std::string_view(reinterpret_cast<const char*>(record_.get()) + sizeof e, size - sizeof e));
    }
}

void FollowClient::applyEvent(qelUnivCell& u, ControlBus& bus, SceneBank& scenes, const Event& e,
                              std::string_view text) {
    using T = ShowEvent::Type;
    using K = OscCommand::Kind;
    ControlTable& table = *u.controls;
    FrameObserver* observer = u.observer;
    // The kept layers: what the event writes there is put back after it.
    if (keep_) {
        std::memcpy(savedBytes_.get(), table.byteValue, sizeof table.byteValue);
        std::memcpy(savedFloats_.get(), table.floatValue, sizeof table.floatValue);
    }
    // A key that steps the selected layer's module or image set does not
    // reach a kept layer: for it, no layer is selected.
    auto pressed = [&](int code, auto press) {
        const int selected = u.currentChannel;
        const bool hold = stepsLayer(code) && kept(selected);
        if (hold) u.currentChannel = ControlTable::kChannels;
        press();
        if (hold) u.currentChannel = selected;
    };
    const int index = ControlTable::indexOf(e.a, 0, e.b);
    switch (e.type) {
        case T::Key:
            if (e.a == ShowScript::kEscape) break;  // the leader's Esc ends the leader only
            if (observer) observer->keyPressed(static_cast<unsigned char>(e.a), e.b, e.c);
            pressed(e.a < kKeyMapSize ? keyMap()[e.a] : 0, [&] { pressCharacterKey(u, static_cast<unsigned char>(e.a), e.b, e.c); });
            break;
        case T::SpecialKey:
            if (observer) observer->specialPressed(e.a, e.b, e.c);
            pressed(e.a, [&] { u.handleCode(e.a, e.b, e.c); });
            break;
        case T::Midi:
        case T::MidiIn: {
            const uint32_t message = static_cast<uint32_t>(e.a) | static_cast<uint32_t>(e.b) << 8 |
                                     static_cast<uint32_t>(e.c) << 16;
            u.applyMidiEvent(message);
            if (observer) observer->midiApplied(message);
            break;
        }
        case T::Set:
        case T::Mapped:
            if (!ControlTable::validEntry(e.a, 0, e.b)) break;
            table.byteValue[index] = static_cast<uint8_t>(e.c);
            table.floatValue[index] = e.f;
            if (observer) observer->controlSet(index, e.c, e.f);
            break;
        case T::Joystick:
            u.applyJoystick(static_cast<uint32_t>(e.a), static_cast<uint32_t>(e.b), static_cast<uint32_t>(e.c));
            if (observer) observer->joystickApplied(e.a, e.b, e.c);
            break;
        case T::Osc:
            if ((e.command.kind == K::ModuleIndex || e.command.kind == K::ImageSet) && kept(e.command.channel)) break;
            if ((e.command.kind == K::ModuleIndex && e.command.index >= u.moduleCount) ||
                (e.command.kind == K::ImageSet && e.command.index >= u.imageSetCount)) {
                std::fprintf(stderr, "follow: the leader gave layer %d %s %d, which this stage does not have; not applied here\n",
                             e.command.channel + 1, e.command.kind == K::ModuleIndex ? "module" : "image set", e.command.index);
                break;
            }
            bus.apply(e.command);
            break;
        case T::Scene: scenes.recallText("the leader's scene", text, e.b, keep_); break;
        default: break;
    }
    if (!keep_) return;
    for (int c = 0; c < ControlTable::kChannels; ++c) {
        if (!kept(c)) continue;
        const int first = ControlTable::indexOf(c, 0, 0);
        std::memcpy(table.byteValue + first, savedBytes_.get() + first, ControlTable::kControllers);
        std::memcpy(table.floatValue + first, savedFloats_.get() + first, ControlTable::kControllers * sizeof(float));
    }
}

// The leader's whole look; the kept layers stay as they are.
void FollowClient::applyTable(qelUnivCell& u, const uint8_t* bytes, const float* floats,
                              const followwire::State& state) {
    ControlTable& table = *u.controls;
    std::memcpy(savedBytes_.get(), bytes, ControlTable::kEntries);
    std::memcpy(savedFloats_.get(), floats, ControlTable::kEntries * sizeof(float));
    for (int c = 0; c < ControlTable::kChannels; ++c) {
        if (!kept(c)) continue;
        const int first = ControlTable::indexOf(c, 0, 0);
        std::memcpy(savedBytes_.get() + first, table.byteValue + first, ControlTable::kControllers);
        std::memcpy(savedFloats_.get() + first, table.floatValue + first, ControlTable::kControllers * sizeof(float));
    }
    u.fade->start(table, savedBytes_.get(), savedFloats_.get(), 0);
    for (int c = 0; c < followwire::kCells && c < u.cellCount; ++c) {
        if (kept(c) || !u.cells[c]) continue;
        if (u.cells[c]->reactorIndex != state.module[c]) u.setModule(c, state.module[c]);
        if (state.imageSet[c] >= 0 && u.imageSetOf(c) != state.imageSet[c]) u.setImageSet(c, state.imageSet[c]);
    }
    u.select(state.selected);
    u.midiOn = state.midiOn != 0;
    u.joystickOn = state.joystickOn != 0;
    u.helpMode = state.helpMode != 0;
    u.helpPage = state.helpPage;
}

void FollowInput::midiStep(qelUnivCell& universe) { bus_.midiStep(universe); }

void FollowInput::controlStep(qelUnivCell& universe) {
    client_.apply(universe, bus_, scenes_);
    bus_.controlStep(universe);
}

void FollowInput::joystickStep(qelUnivCell& universe) { bus_.joystickStep(universe); }
