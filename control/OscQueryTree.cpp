#include "control/OscQueryTree.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "control/ControlSnapshot.h"
#include "control/OscAddresses.h"

namespace {

using json = nlohmann::json;
using Names = std::vector<std::string>;

// A float as the shortest decimal that reads back as the same float (0.05,
// not 0.0500000007 as the float widened to a double would print).
json number(float value) {
    char text[32];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text - 1, value);
    if (end.ec != std::errc()) return nullptr;
    *end.ptr = '\0';
    return std::strtod(text, nullptr);
}

const Names* namesOf(const OscAddress& row, const Names& modules, const Names& imageSets) {
    if (row.stage == OscAddress::Stage::Modules) return &modules;
    if (row.stage == OscAddress::Stage::ImageSets) return &imageSets;
    return nullptr;
}

// A row's RANGE: one object per argument. Integers have integer bounds, a
// module or image set its names as VALS; strings and switches no bounds.
json ranges(const OscAddress& row, const Names* names) {
    json list = json::array();
    for (size_t i = 0; i < std::strlen(row.types) && i < std::size(row.ranges); ++i) {
        const OscAddress::Range& r = row.ranges[i];
        if (names)
            list.push_back({{"VALS", *names}});
        else if (row.types[i] == 'i')
            list.push_back({{"MIN", static_cast<int>(r.low)}, {"MAX", static_cast<int>(r.high)}});
        else if (row.types[i] == 'f')
            list.push_back({{"MIN", r.low}, {"MAX", r.high}});
        else
            list.push_back(json::object());
    }
    return list;
}

// The current value in the row's type: a name for a module or image set
// (null when there is none), a boolean for a switch.
json valueOf(const OscAddress& row, int layer, const ControlSnapshot& s, const Names* names) {
    if (row.text) return row.text(s, layer);
    const double v = row.value(s, layer);
    if (names) {
        const int index = static_cast<int>(v);
        return index >= 0 && index < static_cast<int>(names->size()) ? json((*names)[index]) : json(nullptr);
    }
    switch (row.types[0]) {
        case 'T': return v != 0;
        case 'i': return static_cast<int>(v);
        default: return number(static_cast<float>(v));
    }
}

json node(const OscAddress& row, int layer, const ControlSnapshot& s, const Names& modules, const Names& imageSets) {
    char path[64];
    row.fullPath(layer, path, sizeof path);
    json n = {{"FULL_PATH", path}, {"ACCESS", row.access}, {"DESCRIPTION", row.description}};
    if (!*row.types) return n;
    const Names* names = namesOf(row, modules, imageSets);
    n["TYPE"] = names ? "s" : row.types;
    n["RANGE"] = ranges(row, names);
    if (row.value || row.text) n["VALUE"] = json::array({valueOf(row, layer, s, names)});
    return n;
}

json container(const std::string& path, const std::string& description) {
    return {{"FULL_PATH", path}, {"ACCESS", 0}, {"DESCRIPTION", description}, {"CONTENTS", json::object()}};
}

// The whole namespace, from the address table: a container for each path
// part, a method for each address (which may hold others, as /strata/tempo).
json tree(const ControlSnapshot& s, const Names& modules, const Names& imageSets) {
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
                if (!contents.contains(part)) contents[part] = container(prefix, part);
                at = &contents[part];
            }
            json& slot = (*at)["CONTENTS"][std::string(rest)];
            json method = node(row, layer, s, modules, imageSets);
            if (slot.contains("CONTENTS")) method["CONTENTS"] = std::move(slot["CONTENTS"]);
            slot = std::move(method);
        }
    }
    return root;
}

// Whether no address lies below the row's (as /strata/tempo/tap below /strata/tempo).
bool leaf(const OscAddress& row) {
    const std::string_view path(row.path);
    int count = 0;
    const OscAddress* rows = oscAddresses(count);
    for (int r = 0; r < count; ++r) {
        const std::string_view other(rows[r].path);
        if (other.size() > path.size() && other.substr(0, path.size()) == path && other[path.size()] == '/') return false;
    }
    return true;
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

// The attributes a query names: "VALUE&DESCRIPTION" (a word may carry an
// "=..." that is ignored; empty words are skipped).
std::vector<std::string> attributesOf(const std::string& query) {
    std::vector<std::string> words;
    for (size_t at = 0; at <= query.size();) {
        size_t end = query.find('&', at);
        if (end == std::string::npos) end = query.size();
        const std::string_view word = std::string_view(query).substr(at, end - at);
        const std::string_view name = word.substr(0, word.find('='));
        if (!name.empty()) words.emplace_back(name);
        at = end + 1;
    }
    return words;
}

}  // namespace

OscQueryTree::OscQueryTree(const ControlSnapshotBox& state, std::vector<std::string> moduleNames, int oscPort)
    : state_(state), moduleNames_(std::move(moduleNames)), oscPort_(oscPort) {}

std::string OscQueryTree::respond(const std::string& path, const std::string& query, const std::string& host,
                                  int& status) const {
    status = 200;
    const std::vector<std::string> attributes = attributesOf(query);
    if (attributes.size() == 1 && attributes[0] == "HOST_INFO") {
        const json info = {{"NAME", "Strata"},
                           {"OSC_IP", host},
                           {"OSC_PORT", oscPort_},
                           {"OSC_TRANSPORT", "UDP"},
                           {"EXTENSIONS",
                            {{"ACCESS", true},
                             {"VALUE", true},
                             {"RANGE", true},
                             {"TYPE", true},
                             {"DESCRIPTION", true},
                             {"LISTEN", true}}}};
        return info.dump();
    }
    const ControlCatalogue& names = state_.catalogue();
    const Names& modules = names.modules.empty() ? moduleNames_ : names.modules;
    // One address with none below it is built alone: a client following
    // values asks for them often, and the whole tree costs far more.
    int layer = -1;
    const OscAddress* row = findOscAddress(path, layer);
    const bool alone = row && leaf(*row);
    const json root = alone ? ::node(*row, layer < 0 ? 0 : layer, state_.load(), modules, names.imageSets)
                            : tree(state_.load(), modules, names.imageSets);
    const json* node = alone ? &root : find(root, path);
    if (!node) {
        status = 404;
        return "{}";
    }
    if (attributes.empty()) return node->dump();
    json answer = json::object();
    for (const std::string& name : attributes) {
        const auto attribute = node->find(name);
        if (attribute == node->end()) {
            status = 404;
            return "{}";
        }
        answer[name] = *attribute;
    }
    return answer.dump();
}
