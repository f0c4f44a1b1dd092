#pragma once
#include <netinet/in.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class ControlSnapshotBox;

// The OSC output: about 30 times a second its own thread sends the state of
// the frame's snapshot, as separate UDP messages, to one address only: every
// address the address table marks as sent (control/OscAddresses.h).
class OscSender {
public:
    static constexpr int kPeriodMillis = 33;

    explicit OscSender(const ControlSnapshotBox& state);
    ~OscSender();
    OscSender(const OscSender&) = delete;
    OscSender& operator=(const OscSender&) = delete;

    // False when no socket can be made.
    bool start(const sockaddr_in& to);
    void stop();
    // Sends one round now (the thread's work).
    void sendOnce();

private:
    void run();

    const ControlSnapshotBox& state_;
    sockaddr_in to_{};
    int socket_ = -1;
    bool running_ = false;
    std::mutex lock_;
    std::condition_variable wake_;
    std::thread thread_;
};
