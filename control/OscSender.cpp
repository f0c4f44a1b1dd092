#include "control/OscSender.h"

#include <lo/lo.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "control/ControlSnapshot.h"
#include "control/OscAddresses.h"

namespace {
void sendMessage(int socket, const sockaddr_in& to, const char* path, lo_message message) {
    size_t size = 0;
    void* bytes = lo_message_serialise(message, path, nullptr, &size);
    // Never wait for the network: a message the socket cannot take is lost.
    if (bytes) ::sendto(socket, bytes, size, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    std::free(bytes);
    lo_message_free(message);
}

void sendFloat(int socket, const sockaddr_in& to, const char* path, float value) {
    lo_message message = lo_message_new();
    lo_message_add_float(message, value);
    sendMessage(socket, to, path, message);
}

void sendInt(int socket, const sockaddr_in& to, const char* path, int value) {
    lo_message message = lo_message_new();
    lo_message_add_int32(message, value);
    sendMessage(socket, to, path, message);
}
}  // namespace

OscSender::OscSender(const ControlSnapshotBox& state) : state_(state) {}

OscSender::~OscSender() { stop(); }

bool OscSender::start(const sockaddr_in& to) {
    to_ = to;
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0) return false;
    running_ = true;
    thread_ = std::thread([this] { run(); });
    return true;
}

void OscSender::stop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        running_ = false;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
}

void OscSender::sendOnce() {
    const ControlSnapshot s = state_.load();
    int count = 0;
    const OscAddress* rows = oscAddresses(count);
    char path[64];
    for (int r = 0; r < count; ++r) {
        const OscAddress& row = rows[r];
        if (!row.sent || !row.value) continue;
        for (int layer = 0; layer < (row.perLayer() ? kOscLayers : 1); ++layer) {
            row.fullPath(layer, path, sizeof path);
            const double v = row.value(s, layer);
            // Without musical time the tempo reads 0, which the input refuses:
            // a surface echoing it would only be counted bad.
            if (row.kind == OscCommand::Kind::Tempo && v <= 0) continue;
            // A module or image set goes out as its index.
            if (row.types[0] == 'i' || row.stage != OscAddress::Stage::None)
                sendInt(socket_, to_, path, static_cast<int>(v));
            else
                sendFloat(socket_, to_, path, static_cast<float>(v));
        }
    }
}

void OscSender::run() {
    std::unique_lock<std::mutex> guard(lock_);
    while (running_) {
        guard.unlock();
        sendOnce();
        guard.lock();
        wake_.wait_for(guard, std::chrono::milliseconds(kPeriodMillis), [this] { return !running_; });
    }
}
