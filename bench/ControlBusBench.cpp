// The control bus: OSC control changes decoded, queued and applied to the
// table per second, and the time from a packet sent on loopback to its value
// in the table when the frame's input step runs back to back (the network
// thread's share; a frame applies what has arrived at its input step, so the
// whole latency is this plus at most one frame). And the frame's control
// step under floods of costly commands (a 64 KB bundle before every step):
// its median and slowest time against the same step with no flood.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "GlTestContext.h"
#include "OscPackets.h"
#include "TempStage.h"
#include "app/ControlTable.h"
#include "app/qelUnivCell.h"
#include "control/ControlBus.h"
#include "control/OscCommandQueue.h"
#include "control/OscServer.h"

namespace {

struct BusRig {
    std::unique_ptr<TempStage> stage;
    std::unique_ptr<qelUnivCell> universe;
    std::unique_ptr<ControlBus> bus;

    bool build() {
        if (!ensureGlContext()) return false;
        stage = std::make_unique<TempStage>("bench-bus");
        stage->write("modules.db", "Waver\nTunnel\nCloud\nWaver3D\nParticles1\nFlo\nWave\n");
        captureStdout([&] { universe = std::make_unique<qelUnivCell>(); });
        bus = std::make_unique<ControlBus>(*universe);
        return bus->startOsc("127.0.0.1:0");
    }
};

void BM_OscControlsApplied(benchmark::State& state) {
    BusRig rig;
    if (!rig.build()) {
        state.SkipWithError("no GL context or no OSC socket");
        return;
    }
    std::vector<std::vector<uint8_t>> packets;
    for (int i = 0; i < OscCommandQueue::kCapacity; ++i) packets.push_back(oscControl(i % 16, i % 1024, i % 128));
    for (auto _ : state) {
        for (const auto& p : packets) rig.bus->oscServer()->handlePacket(p.data(), p.size(), nullptr);
        rig.bus->controlStep(*rig.universe);
    }
    benchmark::DoNotOptimize(rig.universe->controls->byteValue[5]);
    state.SetItemsProcessed(state.iterations() * OscCommandQueue::kCapacity);
}
BENCHMARK(BM_OscControlsApplied)->Unit(benchmark::kMillisecond);

void BM_OscLoopbackToTable(benchmark::State& state) {
    BusRig rig;
    if (!rig.build()) {
        state.SkipWithError("no GL context or no OSC socket");
        return;
    }
    const int client = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(rig.bus->oscPort()));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::vector<uint8_t> packets[2] = {oscControl(3, 40, 10), oscControl(3, 40, 20)};
    int k = 0;
    for (auto _ : state) {
        k ^= 1;
        const int want = k ? 20 : 10;
        ::sendto(client, packets[k].data(), packets[k].size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        // The frame's input step, back to back, until the value is in the table.
        for (int spins = 0; spins < 10000000 && rig.universe->controls->getByte(3, 0, 40) != want; ++spins)
            rig.bus->controlStep(*rig.universe);
    }
    ::close(client);
}
BENCHMARK(BM_OscLoopbackToTable)->Unit(benchmark::kMicrosecond)->UseRealTime();

std::vector<uint8_t> floodBundle(int kind) {
    const std::function<std::vector<uint8_t>(int)> messages[] = {
        [](int) { return oscMessage("/strata/scene/store", {oscInt(1)}); },
        [](int i) { return oscMessage("/strata/scene/recall", {oscInt(1 + i % 99)}); },
        [](int i) {
            const std::string path = "/strata/layer/" + std::to_string(1 + i % 11) + "/module";
            return oscMessage(path.c_str(), {oscInt(i % 7)});
        },
        [](int) { return oscMessage("/strata/key", {oscString("q")}); },
        [](int i) { return oscMessage("/strata/key", {oscString(i % 2 ? "Up" : "Down")}); },
    };
    std::vector<std::vector<uint8_t>> elements;
    for (int i = 0; i < 1800; ++i) elements.push_back(kind < 5 ? messages[kind](i) : messages[i % 5](i));
    return oscBundle(elements);
}

// Arguments: 0 no flood; 1 stores, 2 recalls, 3 module changes, 4 keys, 5 arrow keys, 6 a mix.
void BM_ControlStepUnderFlood(benchmark::State& state) {
    BusRig rig;
    if (!rig.build()) {
        state.SkipWithError("no GL context or no OSC socket");
        return;
    }
    rig.bus->recallScene = rig.bus->storeScene = [](int) {};  // the bank's disk work is not the bus's
    const int kind = static_cast<int>(state.range(0));
    const std::vector<uint8_t> flood = kind > 0 ? floodBundle(kind - 1) : std::vector<uint8_t>{};
    std::vector<double> millis;
    for (auto _ : state) {
        if (!flood.empty()) rig.bus->oscServer()->handlePacket(flood.data(), flood.size(), nullptr);
        const auto start = std::chrono::steady_clock::now();
        rig.bus->controlStep(*rig.universe);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        millis.push_back(seconds * 1000);
    }
    std::sort(millis.begin(), millis.end());
    state.counters["median_ms"] = millis[millis.size() / 2];
    state.counters["slowest_ms"] = millis.back();
}
BENCHMARK(BM_ControlStepUnderFlood)->DenseRange(0, 6)->Iterations(300)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
