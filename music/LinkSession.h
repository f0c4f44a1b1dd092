#pragma once
#include <cstdint>
#include <memory>

// Joins the tempo session other musicians' machines share on the local
// network (peers find each other by multicast, so it runs only when asked
// for: STRATA_LINK=1). The frame reads the session's tempo and beat without
// waiting; a tap or a set tempo is proposed to every peer.
class LinkSession {
public:
    static constexpr double kQuantum = 4.0;  // beats to a bar: peers agree on the bar's phase

    struct State {
        double bpm = 0.0;
        double beats = 0.0;  // beat position on the session's timeline
        double phase = 0.0;  // 0..1 within the beat
        double barPhase = 0.0;  // 0..1 within the bar of kQuantum beats
        int peers = 0;
    };

    // Joins at once, proposing bpm when it is the first in the session.
    explicit LinkSession(double bpm);
    ~LinkSession();
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

    // The session now (from the frame thread: lock-free, allocates nothing).
    State now() const;
    // The session at a time of its clock, in microseconds (tests compare
    // two peers at one instant).
    State at(int64_t micros) const;
    int64_t clockMicros() const;
    // Proposes a new tempo to the session (from the frame thread).
    void proposeTempo(double bpm);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
