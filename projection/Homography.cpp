#include "projection/Homography.h"

#include <cmath>

bool convexQuad(const PinPoint p[4]) {
    int sign = 0;
    for (int i = 0; i < 4; ++i) {
        const PinPoint& a = p[i];
        const PinPoint& b = p[(i + 1) % 4];
        const PinPoint& c = p[(i + 2) % 4];
        const double cross = (b.x - a.x) * (c.y - b.y) - (b.y - a.y) * (c.x - b.x);
        if (!std::isfinite(cross) || std::fabs(cross) < 1e-12) return false;
        const int s = cross > 0 ? 1 : -1;
        if (sign != 0 && s != sign) return false;
        sign = s;
    }
    return true;
}

// The square-to-quad map in closed form (the projective terms from the
// quad's diagonals), then scaled so that w is positive inside the square:
// OpenGL clips away what has w <= 0.
bool Homography::fromSquare(const PinPoint to[4]) {
    if (!convexQuad(to)) return false;
    const double x0 = to[0].x, y0 = to[0].y, x1 = to[1].x, y1 = to[1].y;
    const double x2 = to[2].x, y2 = to[2].y, x3 = to[3].x, y3 = to[3].y;
    const double sx = x0 - x1 + x2 - x3, sy = y0 - y1 + y2 - y3;
    const double dx1 = x1 - x2, dx2 = x3 - x2, dy1 = y1 - y2, dy2 = y3 - y2;
    const double det = dx1 * dy2 - dx2 * dy1;
    if (std::fabs(det) < 1e-15) return false;
    const double g = (sx * dy2 - dx2 * sy) / det;
    const double h = (dx1 * sy - sx * dy1) / det;
    double n[9] = {x1 - x0 + g * x1, x3 - x0 + h * x3, x0, y1 - y0 + g * y1, y3 - y0 + h * y3, y0, g, h, 1.0};
    const double wCentre = 0.5 * g + 0.5 * h + 1.0;
    for (double& v : n) {
        if (!std::isfinite(v)) return false;
        if (wCentre < 0) v = -v;
    }
    for (int i = 0; i < 9; ++i) m[i] = n[i];
    return true;
}

PinPoint Homography::apply(double u, double v) const {
    const double x = m[0] * u + m[1] * v + m[2];
    const double y = m[3] * u + m[4] * v + m[5];
    const double w = m[6] * u + m[7] * v + m[8];
    return {x / w, y / w};
}

void Homography::glMatrix(double out[16]) const {
    // Columns: u, v, z, 1 -> rows x, y, z, w.
    const double cols[16] = {m[0], m[3], 0, m[6], m[1], m[4], 0, m[7], 0, 0, 0, 0, m[2], m[5], 0, m[8]};
    for (int i = 0; i < 16; ++i) out[i] = cols[i];
}
