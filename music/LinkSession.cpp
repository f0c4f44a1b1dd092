#include "music/LinkSession.h"

#include <ableton/Link.hpp>

#include <cmath>

struct LinkSession::Impl {
    explicit Impl(double bpm) : link(bpm) {}
    ableton::Link link;
};

LinkSession::LinkSession(double bpm) : impl_(std::make_unique<Impl>(bpm)) { impl_->link.enable(true); }

LinkSession::~LinkSession() { impl_->link.enable(false); }

int64_t LinkSession::clockMicros() const { return impl_->link.clock().micros().count(); }

LinkSession::State LinkSession::now() const { return at(clockMicros()); }

LinkSession::State LinkSession::at(int64_t micros) const {
    // The audio-thread capture is the one that never blocks: right for a frame.
    const auto session = impl_->link.captureAudioSessionState();
    const std::chrono::microseconds time(micros);
    State s;
    s.bpm = session.tempo();
    s.beats = session.beatAtTime(time, kQuantum);
    s.phase = s.beats - std::floor(s.beats);
    s.barPhase = session.phaseAtTime(time, kQuantum) / kQuantum;
    s.peers = static_cast<int>(impl_->link.numPeers());
    return s;
}

void LinkSession::proposeTempo(double bpm) {
    if (!(bpm >= 20.0 && bpm <= 999.0)) return;
    auto session = impl_->link.captureAudioSessionState();
    session.setTempo(bpm, impl_->link.clock().micros());
    impl_->link.commitAudioSessionState(session);
}
