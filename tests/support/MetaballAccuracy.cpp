#include "MetaballAccuracy.h"

#include <algorithm>
#include <cmath>

#include "reactor/Random.h"
#include "reactors/MetaballPolygoniser.h"

MetaballAccuracy measureMetaballAccuracy(const MetaballPolygoniser& poly) {
    MetaballAccuracy a;
    const int n = poly.vertexCount();
    for (int v = 0; v < n; ++v) {
        const MetaballPolygoniser::Vertex& p = poly.vertices()[v];
        double f = 1.0, g[3] = {0.0, 0.0, 0.0};
        for (int b = 0; b < poly.ballCount; ++b) {
            const float* ball = poly.balls[b];
            if (!(ball[3] > 0.0f)) continue;
            const double d[3] = {p.x - ball[0], p.y - ball[1], p.z - ball[2]};
            const double d2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
            f -= 1.0 / (ball[3] * d2);
            for (int c = 0; c < 3; ++c) g[c] += 2.0 * d[c] / (ball[3] * d2 * d2);  // grad F, pointing out
        }
        const double length = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
        const double distance = std::fabs(f) / length / poly.cubeSize;
        a.meanDistance += distance;
        a.maxDistance = std::max(a.maxDistance, distance);
        const double normal = std::sqrt(double(p.nx) * p.nx + double(p.ny) * p.ny + double(p.nz) * p.nz);
        const double cosine = (g[0] * p.nx + g[1] * p.ny + g[2] * p.nz) / (length * normal);
        a.maxNormalDegrees = std::max(a.maxNormalDegrees, std::acos(std::clamp(cosine, -1.0, 1.0)) * 180.0 / M_PI);
    }
    if (n > 0) a.meanDistance /= n;
    return a;
}

void setFiftyBalls(MetaballPolygoniser& poly, double scale) {
    qelSetRandState(1);
    poly.setBallCount(50);
    for (int b = 0; b < 50; ++b) {
        float p[3];
        for (float& v : p) v = static_cast<float>((qelRand() / 16386.0 - 1.0) * scale);
        poly.setBall(b, 0.2f * p[0], 0.2f * p[1], 0.2f * p[2], 16.0f);
    }
}
