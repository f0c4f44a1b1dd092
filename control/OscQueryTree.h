#pragma once
#include <string>
#include <vector>

class ControlSnapshotBox;

// The OSCQuery namespace as JSON, whatever serves it: the whole address tree
// with each address's TYPE, RANGE, ACCESS and current VALUE; the node of one
// address; ?HOST_INFO with the OSC port and transport; a query naming one
// attribute (?VALUE, ?TYPE, ...) gives only it. Values come from the frame's
// snapshot, never from the table itself.
class OscQueryTree {
public:
    OscQueryTree(const ControlSnapshotBox& state, std::vector<std::string> moduleNames, int oscPort);

    // The answer to GET path?query: the JSON text, and status 200, or 404
    // for an unknown address or attribute. host: the address the client
    // reached the server at (HOST_INFO's OSC_IP).
    std::string respond(const std::string& path, const std::string& query, const std::string& host,
                        int& status) const;

private:
    const ControlSnapshotBox& state_;
    std::vector<std::string> moduleNames_;
    int oscPort_;
};
