#include "control/OscQueryServer.h"

#include <httplib.h>

#include <nlohmann/json.hpp>

#include <chrono>

#include "control/ControlSnapshot.h"

namespace {

using json = nlohmann::json;

constexpr int kRead = 1;
constexpr int kWrite = 2;

json range(double low, double high) { return json::object({{"MIN", low}, {"MAX", high}}); }

json method(const std::string& path, const char* type, json ranges, int access, const char* description) {
    json node = {{"FULL_PATH", path}, {"ACCESS", access}, {"DESCRIPTION", description}};
    if (type && *type) {
        node["TYPE"] = type;
        node["RANGE"] = std::move(ranges);
    }
    return node;
}

json container(const std::string& path, const char* description) {
    return {{"FULL_PATH", path}, {"ACCESS", 0}, {"DESCRIPTION", description}, {"CONTENTS", json::object()}};
}

json tree(const ControlSnapshot& s, const std::vector<std::string>& modules) {
    json root = container("/", "Strata");
    json strata = container("/strata", "the instrument");
    json& c = strata["CONTENTS"];
    c["ctl"] = method("/strata/ctl", "iif", json::array({range(0, 15), range(0, 1023), range(-1, 1)}), kWrite,
                      "controller channel, entry, value: float -1..1, or int 0..127 written as MIDI writes it");
    json layers = container("/strata/layer", "the eleven layers, 1..11 as F1..F11");
    const int lastModule = s.moduleCount > 0 ? s.moduleCount - 1 : 0;
    const int lastSet = s.imageSetCount > 0 ? s.imageSetCount - 1 : 0;
    for (int n = 1; n <= ControlSnapshot::kLayers; ++n) {
        const ControlSnapshot::Layer& l = s.layers[n - 1];
        const std::string base = "/strata/layer/" + std::to_string(n);
        json layer = container(base, "one layer");
        json opacity = method(base + "/opacity", "f", json::array({range(0, 1)}), kRead | kWrite,
                              "opacity; 0 while the layer is hidden (10/127 or below)");
        opacity["VALUE"] = json::array({l.opacity});
        json module = method(base + "/module", "i", json::array({range(0, lastModule)}), kRead | kWrite,
                             "module index, or its name as a string");
        module["VALUE"] = json::array({l.module});
        if (l.module >= 0 && l.module < static_cast<int>(modules.size()))
            module["DESCRIPTION"] = "module index, or its name as a string; now " + modules[l.module];
        json imageSet = method(base + "/imageset", "i", json::array({range(0, lastSet)}), kRead | kWrite,
                               "image set index");
        imageSet["VALUE"] = json::array({l.imageSet});
        layer["CONTENTS"] = {{"opacity", opacity}, {"module", module}, {"imageset", imageSet}};
        layers["CONTENTS"][std::to_string(n)] = layer;
    }
    c["layer"] = layers;
    json select = method("/strata/select", "i", json::array({range(1, 12)}), kRead | kWrite,
                         "selected channel, 1..12 as F1..F12");
    select["VALUE"] = json::array({s.selected});
    c["select"] = select;
    c["key"] = method("/strata/key", "s", json::array({json::object()}), kWrite,
                      "press a key: a character or a name (F1..F12, Left, Up, Space, ...), optional x y");
    json trail = method("/strata/trail", "f", json::array({range(0, 1)}), kRead | kWrite, "trail (fade) amount");
    trail["VALUE"] = json::array({s.trail});
    c["trail"] = trail;
    json midi = method("/strata/midi", "i", json::array({range(0, 1)}), kRead | kWrite, "MIDI input on or off");
    midi["VALUE"] = json::array({s.midi ? 1 : 0});
    c["midi"] = midi;
    json joystick =
        method("/strata/joystick", "i", json::array({range(0, 1)}), kRead | kWrite, "joystick input on or off");
    joystick["VALUE"] = json::array({s.joystick ? 1 : 0});
    c["joystick"] = joystick;
    json level = method("/strata/level", "f", json::array({range(0, 1)}), kRead, "sound level");
    level["VALUE"] = json::array({s.level});
    c["level"] = level;
    json scene = container("/strata/scene", "scenes");
    scene["CONTENTS"]["recall"] =
        method("/strata/scene/recall", "i", json::array({range(0, 99)}), kWrite, "recall a scene");
    scene["CONTENTS"]["store"] = method("/strata/scene/store", "i", json::array({range(0, 99)}), kWrite, "store a scene");
    c["scene"] = scene;
    c["learn"] = method("/strata/learn", nullptr, json(), kWrite, "arm MIDI learn");
    c["list"] = method("/strata/list", nullptr, json(), kWrite, "reply with every address");
    root["CONTENTS"]["strata"] = strata;
    return root;
}

// The node of path in the tree, or null.
const json* find(const json& root, const std::string& path) {
    const json* node = &root;
    size_t i = 0;
    while (i < path.size()) {
        while (i < path.size() && path[i] == '/') ++i;
        if (i >= path.size()) break;
        const size_t end = path.find('/', i);
        const std::string part = path.substr(i, end == std::string::npos ? std::string::npos : end - i);
        const auto contents = node->find("CONTENTS");
        if (contents == node->end()) return nullptr;
        const auto child = contents->find(part);
        if (child == contents->end()) return nullptr;
        node = &*child;
        i = end == std::string::npos ? path.size() : end;
    }
    return node;
}

}  // namespace

OscQueryServer::OscQueryServer(const ControlSnapshotBox& state, std::vector<std::string> moduleNames,
                               std::string oscHost, int oscPort)
    : state_(state), moduleNames_(std::move(moduleNames)), oscHost_(std::move(oscHost)), oscPort_(oscPort) {}

OscQueryServer::~OscQueryServer() { stop(); }

std::string OscQueryServer::respond(const std::string& path, const std::string& query, int& status) const {
    status = 200;
    if (query == "HOST_INFO") {
        const json info = {{"NAME", "Strata"},
                           {"OSC_IP", oscHost_},
                           {"OSC_PORT", oscPort_},
                           {"OSC_TRANSPORT", "UDP"},
                           {"EXTENSIONS",
                            {{"ACCESS", true}, {"VALUE", true}, {"RANGE", true}, {"TYPE", true}, {"DESCRIPTION", true}}}};
        return info.dump();
    }
    const json root = tree(state_.load(), moduleNames_);
    const json* node = find(root, path);
    if (!node) {
        status = 404;
        return "{}";
    }
    if (!query.empty()) {
        const auto attribute = node->find(query);
        if (attribute == node->end()) {
            status = 404;
            return "{}";
        }
        return json{{query, *attribute}}.dump();
    }
    return node->dump();
}

bool OscQueryServer::start(const std::string& host, int port, std::string& error) {
    http_ = std::make_unique<httplib::Server>();
    httplib::Server& http = *http_;
    // The server takes the queue it is handed and deletes it when it stops.
    http.new_task_queue = [] { return new httplib::ThreadPool(2); };
    http.set_payload_max_length(kMaxBody);
    http.set_read_timeout(2, 0);
    http.set_write_timeout(2, 0);
    http.set_keep_alive_max_count(10);
    http.set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
        if (request.target.size() > kMaxTarget) {
            response.status = 414;
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    http.Get(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) {
        // The query is one bare word (HOST_INFO, VALUE, ...).
        std::string query;
        if (!request.params.empty()) query = request.params.begin()->first;
        int status = 200;
        response.set_content(respond(request.path, query, status), "application/json");
        response.status = status;
    });
    if (!http.bind_to_port(host.c_str(), port)) {
        error = "cannot listen for OSCQuery on TCP " + host + ":" + std::to_string(port);
        http_.reset();
        return false;
    }
    thread_ = std::thread([this] { http_->listen_after_bind(); });
    // stop() only reaches a server whose loop runs: wait for it, so that a
    // quick stop cannot leave the thread listening for ever.
    for (int i = 0; i < 2000 && !http.is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void OscQueryServer::stop() {
    if (http_) http_->stop();
    if (thread_.joinable()) thread_.join();
    http_.reset();
}
