#include "control/OscQueryTree.h"

#include <nlohmann/json.hpp>

#include <cstring>
#include <string_view>

#include "control/ControlSnapshot.h"
#include "control/OscAddresses.h"

namespace {

using json = nlohmann::json;

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

// A row's RANGE: one object per argument; an index of a module or image set
// ranges over what the stage holds.
json ranges(const OscAddress& row, const ControlSnapshot& s) {
    json list = json::array();
    for (size_t i = 0; i < std::strlen(row.types); ++i) {
        if (row.types[i] == 's') {
            list.push_back(json::object());
            continue;
        }
        double high = row.ranges[i].high;
        if (row.stage == OscAddress::Stage::Modules) high = s.moduleCount > 0 ? s.moduleCount - 1 : 0;
        if (row.stage == OscAddress::Stage::ImageSets) high = s.imageSetCount > 0 ? s.imageSetCount - 1 : 0;
        list.push_back(range(row.ranges[i].low, high));
    }
    return list;
}

json node(const OscAddress& row, int layer, const ControlSnapshot& s, const std::vector<std::string>& modules) {
    char path[64];
    row.fullPath(layer, path, sizeof path);
    json n = method(path, row.types, ranges(row, s), row.access, row.description);
    if (row.value) {
        const double v = row.value(s, layer);
        if (row.types[0] == 'i')
            n["VALUE"] = json::array({static_cast<int>(v)});
        else
            n["VALUE"] = json::array({static_cast<float>(v)});
    }
    if (row.stage == OscAddress::Stage::Modules) {
        const int module = static_cast<int>(row.value(s, layer));
        if (module >= 0 && module < static_cast<int>(modules.size()))
            n["DESCRIPTION"] = std::string(row.description) + " Now " + modules[module] + ".";
    }
    return n;
}

// The whole namespace, from the address table: a container for each path
// part, a method for each address.
json tree(const ControlSnapshot& s, const std::vector<std::string>& modules) {
    json root = container("/", "Strata");
    int count = 0;
    const OscAddress* rows = oscAddresses(count);
    for (int r = 0; r < count; ++r) {
        const OscAddress& row = rows[r];
        for (int layer = 0; layer < (row.perLayer() ? kOscLayers : 1); ++layer) {
            char path[64];
            row.fullPath(layer, path, sizeof path);
            json* at = &root;
            std::string prefix;
            std::string_view rest(path + 1);
            for (size_t slash; (slash = rest.find('/')) != std::string_view::npos; rest.remove_prefix(slash + 1)) {
                const std::string part(rest.substr(0, slash));
                prefix += "/" + part;
                json& contents = (*at)["CONTENTS"];
                if (!contents.contains(part)) contents[part] = container(prefix, part.c_str());
                at = &contents[part];
            }
            (*at)["CONTENTS"][std::string(rest)] = node(row, layer, s, modules);
        }
    }
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

OscQueryTree::OscQueryTree(const ControlSnapshotBox& state, std::vector<std::string> moduleNames, int oscPort)
    : state_(state), moduleNames_(std::move(moduleNames)), oscPort_(oscPort) {}

std::string OscQueryTree::respond(const std::string& path, const std::string& query, const std::string& host,
                                  int& status) const {
    status = 200;
    if (query == "HOST_INFO") {
        const json info = {{"NAME", "Strata"},
                           {"OSC_IP", host},
                           {"OSC_PORT", oscPort_},
                           {"OSC_TRANSPORT", "UDP"},
                           {"EXTENSIONS",
                            {{"ACCESS", true}, {"VALUE", true}, {"RANGE", true}, {"TYPE", true}, {"DESCRIPTION", true}, {"LISTEN", true}}}};
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
