#pragma once
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "control/OscQueryTree.h"

class ControlSnapshotBox;
namespace httplib {
class Server;
}

// The OSCQuery namespace (control/OscQueryTree.h) over HTTP.
class OscQueryServer {
public:
    static constexpr size_t kMaxTarget = 512;  // longer request targets are refused (414)
    static constexpr size_t kMaxBody = 1024;   // larger request bodies are refused (413)

    OscQueryServer(const ControlSnapshotBox& state, std::vector<std::string> moduleNames, std::string oscHost,
                   int oscPort);
    ~OscQueryServer();
    OscQueryServer(const OscQueryServer&) = delete;
    OscQueryServer& operator=(const OscQueryServer&) = delete;

    // Binds TCP host:port and serves on two threads. False with error set
    // when the port cannot be bound.
    bool start(const std::string& host, int port, std::string& error);
    void stop();

    // The answer to GET path?query: the JSON text, and status 200, or 404
    // for an unknown address or attribute.
    std::string respond(const std::string& path, const std::string& query, int& status) const;

private:
    OscQueryTree tree_;
    std::string oscHost_;
    std::unique_ptr<httplib::Server> http_;
    std::thread thread_;
};
