#include "projection/CornerPin.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/RegularFile.h"

bool CornerPin::isIdentity() const {
    const CornerPin identity;
    for (int i = 0; i < 4; ++i)
        if (corners[i].x != identity.corners[i].x || corners[i].y != identity.corners[i].y) return false;
    return true;
}

bool CornerPin::valid() const {
    for (const PinPoint& p : corners)
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || p.x < kLow || p.x > kHigh || p.y < kLow || p.y > kHigh)
            return false;
    return convexQuad(corners);
}

bool CornerPin::windowMap(int boxX, int boxY, int boxWidth, int boxHeight, int windowWidth, int windowHeight,
                          Homography& out) const {
    if (boxWidth <= 0 || boxHeight <= 0 || windowWidth <= 0 || windowHeight <= 0) return false;
    // The texture's (u, v) corners: top-left is (0, 1), top-right (1, 1),
    // bottom-right (1, 0), bottom-left (0, 0). fromSquare takes (0,0),
    // (1,0), (1,1), (0,1) in that order.
    const int order[4] = {3, 2, 1, 0};
    PinPoint to[4];
    for (int i = 0; i < 4; ++i) {
        const PinPoint& c = corners[order[i]];
        const double px = boxX + c.x * boxWidth;
        const double py = boxY + (1.0 - c.y) * boxHeight;
        to[i] = {px / windowWidth * 2.0 - 1.0, py / windowHeight * 2.0 - 1.0};
    }
    return out.fromSquare(to);
}

namespace {

bool nameChar(char c) { return c > ' ' && c < 127 && c != '#'; }

}  // namespace

bool PinTable::parse(std::string_view text, std::string& error) {
    count = 0;
    int lineNumber = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string line(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        const size_t start = line.find_first_not_of(" \t\r");
        if (start == std::string::npos || line[start] == '#') continue;
        auto fail = [&](const char* why) {
            error = "line " + std::to_string(lineNumber) + ": " + why;
            count = 0;
            return false;
        };
        if (count >= kMaxOutputs) return fail("more outputs than the file may hold");
        size_t at = start;
        while (at < line.size() && nameChar(line[at])) ++at;
        if (at - start >= kNameSize) return fail("the output's name is too long");
        if (at < line.size() && line[at] != ' ' && line[at] != '\t') return fail("not an output name");
        const std::string name = line.substr(start, at - start);
        if (find(name)) return fail("the output is named twice");
        CornerPin pin;
        const char* p = line.c_str() + at;
        for (int i = 0; i < 8; ++i) {
            char* after = nullptr;
            errno = 0;
            const double v = std::strtod(p, &after);
            if (after == p || errno == ERANGE) return fail("eight numbers must follow the name");
            (i % 2 ? pin.corners[i / 2].y : pin.corners[i / 2].x) = v;
            p = after;
        }
        while (*p == ' ' || *p == '\t' || *p == '\r') ++p;
        if (*p) return fail("more than eight numbers");
        if (!pin.valid()) return fail("corners out of -1..2 or not a convex quadrilateral");
        put(name, pin);
    }
    return true;
}

std::string PinTable::format() const {
    std::string out =
        "# Strata output mapping: one output a line, its name then the picture's corners\n"
        "# top-left, top-right, bottom-right, bottom-left as x y in 0..1 of the letterbox.\n";
    for (int i = 0; i < count; ++i) {
        char line[kNameSize + 8 * 26];
        const PinPoint* c = entries[i].pin.corners;
        std::snprintf(line, sizeof line, "%s %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g\n", entries[i].name, c[0].x, c[0].y,
                      c[1].x, c[1].y, c[2].x, c[2].y, c[3].x, c[3].y);
        out += line;
    }
    return out;
}

const CornerPin* PinTable::find(std::string_view output) const {
    for (int i = 0; i < count; ++i)
        if (output == entries[i].name) return &entries[i].pin;
    return nullptr;
}

bool PinTable::put(std::string_view output, const CornerPin& pin) {
    if (output.empty() || output.size() >= kNameSize) return false;
    for (int i = 0; i < count; ++i)
        if (output == entries[i].name) return entries[i].pin = pin, true;
    if (count >= kMaxOutputs) return false;
    Entry& e = entries[count++];
    std::memcpy(e.name, output.data(), output.size());
    e.name[output.size()] = '\0';
    e.pin = pin;
    return true;
}

void loadPinTable(const char* path, PinTable& table) {
    table.count = 0;
    std::string text, error;
    switch (readSmallFile(path, PinTable::kMaxBytes, text)) {
        case SmallFile::Read: break;
        case SmallFile::Missing:
            if (errno != ENOENT) std::fprintf(stderr, "strata: %s: %s; output mapping off\n", path, std::strerror(errno));
            return;
        case SmallFile::Refused: return;
        case SmallFile::TooBig:
            std::fprintf(stderr, "strata: %s: more than %zu bytes; output mapping off\n", path, PinTable::kMaxBytes);
            return;
    }
    if (!table.parse(text, error)) std::fprintf(stderr, "strata: %s: %s; output mapping off\n", path, error.c_str());
}
