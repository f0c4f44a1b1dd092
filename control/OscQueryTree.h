#pragma once
#include <string>
#include <vector>

class ControlSnapshotBox;

// The OSCQuery namespace as JSON, whatever serves it: the whole address tree
// with each address's TYPE, RANGE, ACCESS and current VALUE; the node of one
// address; ?HOST_INFO with the OSC port, transport and extensions; a query
// naming attributes (?VALUE, ?VALUE&DESCRIPTION, ...) gives only them.
// Values come from the frame's snapshot, never from the table itself; the
// module and image set names from the box's catalogue (moduleNames stands
// in when the catalogue has none).
//
// Types: integers have integer MIN/MAX; a switch (/strata/midi,
// /strata/layer/<n>/shown) is "T" with a boolean VALUE, which clients show
// as a toggle; a module or image set is "s" with the names as
// RANGE [{"VALS": [...]}] and the current name as VALUE, which clients show
// as a picker (the OSC input also takes the index).
class OscQueryTree {
public:
    OscQueryTree(const ControlSnapshotBox& state, std::vector<std::string> moduleNames, int oscPort);

    // The answer to GET path?query (query: everything after '?', raw): the
    // JSON text, and status 200, or 404 for an unknown address or when any
    // attribute named is unknown. host: the address the client reached the
    // server at (HOST_INFO's OSC_IP).
    std::string respond(const std::string& path, const std::string& query, const std::string& host,
                        int& status) const;

private:
    const ControlSnapshotBox& state_;
    std::vector<std::string> moduleNames_;
    int oscPort_;
};
