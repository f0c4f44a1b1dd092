#include "control/OscQueryServer.h"

#include <httplib.h>

#include <chrono>

OscQueryServer::OscQueryServer(const ControlSnapshotBox& state, std::vector<std::string> moduleNames,
                               std::string oscHost, int oscPort)
    : tree_(state, std::move(moduleNames), oscPort), oscHost_(std::move(oscHost)) {}

OscQueryServer::~OscQueryServer() { stop(); }

std::string OscQueryServer::respond(const std::string& path, const std::string& query, int& status) const {
    return tree_.respond(path, query, oscHost_, status);
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
