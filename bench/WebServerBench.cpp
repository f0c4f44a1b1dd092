// The frame's cost of the web server: the control step (which publishes the
// snapshot the server reads) with eight WebSocket clients each listening to
// every readable address, against the same step with none, in one run. A
// layer's opacity changes at every step, so each tick of the server has
// values to send. Counters: the step's median and 99th percentile, and the
// server thread's CPU share.
#include <benchmark/benchmark.h>

#include <utility>  // before asio (Boost 1.74)

#include <algorithm>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "GlTestContext.h"
#include "OscPackets.h"
#include "TempStage.h"
#include "app/qelUnivCell.h"
#include "control/ControlBus.h"
#include "control/OscQueryTree.h"
#include "control/OscServer.h"
#include "surface/WebServer.h"

namespace {

namespace beast = boost::beast;
namespace websocket = beast::websocket;

// The CPU seconds of this process's thread of that name.
double threadSeconds(const std::string& name) {
    DIR* tasks = opendir("/proc/self/task");
    double seconds = 0;
    while (dirent* e = tasks ? readdir(tasks) : nullptr) {
        const std::string dir = std::string("/proc/self/task/") + e->d_name;
        std::string comm;
        std::getline(std::ifstream(dir + "/comm"), comm);
        if (comm != name) continue;
        std::string stat;
        std::getline(std::ifstream(dir + "/stat"), stat);
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string skip;
        long user = 0, system = 0;
        for (int i = 0; i < 11; ++i) fields >> skip;
        fields >> user >> system;
        seconds += static_cast<double>(user + system) / sysconf(_SC_CLK_TCK);
    }
    if (tasks) closedir(tasks);
    return seconds;
}

void BM_ControlStepWithListeners(benchmark::State& state) {
    if (!ensureGlContext()) return state.SkipWithError("no GL context");
    TempStage stage("bench-web");
    stage.write("modules.db", "Waver\nTunnel\nCloud\n");
    std::unique_ptr<qelUnivCell> universe;
    captureStdout([&] { universe = std::make_unique<qelUnivCell>(); });
    ControlBus bus(*universe);
    if (!bus.startOsc("127.0.0.1:0")) return state.SkipWithError("no OSC socket");
    WebServer web(bus.snapshot(), {"Waver", "Tunnel", "Cloud"}, bus.oscPort(),
                  [&](const void* d, size_t n) { bus.oscServer()->handlePacket(d, n, nullptr); });
    std::string error;
    if (!web.start("127.0.0.1", 0, "", error)) return state.SkipWithError(error.c_str());

    // Every address with a value, listened to by each client.
    int status = 0;
    std::vector<std::string> paths;
    std::function<void(const nlohmann::json&)> walk = [&](const nlohmann::json& n) {
        if (n.contains("VALUE")) paths.push_back(n["FULL_PATH"]);
        if (n.contains("CONTENTS"))
            for (const auto& c : n["CONTENTS"]) walk(c);
    };
    walk(nlohmann::json::parse(OscQueryTree(bus.snapshot(), {}, 0).respond("/", "", "", status)));
    boost::asio::io_context io;
    std::vector<std::unique_ptr<websocket::stream<beast::tcp_stream>>> clients;
    std::vector<beast::flat_buffer> buffers(state.range(0));
    long received = 0;
    std::function<void(size_t)> readOn = [&](size_t i) {
        clients[i]->async_read(buffers[i], [&, i](beast::error_code ec, size_t) {
            if (ec) return;
            ++received;
            buffers[i].clear();
            readOn(i);
        });
    };
    for (int i = 0; i < state.range(0); ++i) {
        auto ws = std::make_unique<websocket::stream<beast::tcp_stream>>(io);
        beast::get_lowest_layer(*ws).connect({boost::asio::ip::make_address("127.0.0.1"), static_cast<uint16_t>(web.port())});
        ws->handshake("127.0.0.1:" + std::to_string(web.port()), "/");
        for (const std::string& p : paths) ws->write(boost::asio::buffer(R"({"COMMAND":"LISTEN","DATA":")" + p + "\"}"));
        clients.push_back(std::move(ws));
        readOn(clients.size() - 1);
    }
    std::thread reader([&] { io.run(); });

    std::vector<std::vector<uint8_t>> opacity;
    for (int i = 0; i < 100; ++i) opacity.push_back(oscMessage("/strata/layer/1/opacity", {oscFloat(0.2 + i * 0.008)}));
    std::vector<double> micros;
    const double cpu0 = threadSeconds(WebServer::kThreadName);
    const auto wall0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const auto& packet = opacity[micros.size() % opacity.size()];
        bus.oscServer()->handlePacket(packet.data(), packet.size(), nullptr);
        const auto start = std::chrono::steady_clock::now();
        bus.controlStep(*universe);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        micros.push_back(seconds * 1e6);
        std::this_thread::sleep_for(std::chrono::milliseconds(4));  // frames at about 240 a second
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    state.counters["server_cpu_pct"] = 100 * (threadSeconds(WebServer::kThreadName) - cpu0) / wall;
    web.stop();
    io.run_for(std::chrono::milliseconds(100));
    io.stop();
    reader.join();
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    state.counters["paths"] = static_cast<double>(paths.size());
    state.counters["messages"] = static_cast<double>(received);
}
BENCHMARK(BM_ControlStepWithListeners)->Arg(0)->Arg(8)->Iterations(1500)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
