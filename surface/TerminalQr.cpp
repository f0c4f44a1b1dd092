#include "surface/TerminalQr.h"

#include <qrencode.h>

#include <memory>

std::string TerminalQr::draw(const std::string& text) {
    std::unique_ptr<QRcode, void (*)(QRcode*)> code(QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_L, QR_MODE_8, 1),
                                                    QRcode_free);
    if (!code) return {};
    const int width = code->width;
    const int side = width + 2 * kQuietZone;
    // Light: outside the code or a module whose lowest bit is clear.
    auto light = [&](int x, int y) {
        x -= kQuietZone, y -= kQuietZone;
        return x < 0 || y < 0 || x >= width || y >= width || !(code->data[y * width + x] & 1);
    };
    std::string out;
    for (int y = 0; y < side; y += 2) {
        for (int x = 0; x < side; ++x) {
            const bool top = light(x, y), bottom = y + 1 >= side || light(x, y + 1);
            out += top ? (bottom ? "\u2588" : "\u2580") : (bottom ? "\u2584" : " ");
        }
        out += '\n';
    }
    return out;
}
