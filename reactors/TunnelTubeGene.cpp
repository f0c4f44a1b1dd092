#include "reactors/TunnelTubeGene.h"

#include <cmath>

TunnelTubeGene::TunnelTubeGene(float radius_, float ringStep_) : radius(radius_), ringStep(ringStep_) {
    const float angleStep = 6.283185f / static_cast<float>(kSegments - 1);
    float scale = 1.0f;  // 0.4 to the power of the ring number
    for (int r = 0; r < kRings; ++r) {
        // Segment 35 comes round to the angle of segment 0 and closes the ring.
        float angle = 0.0f;
        for (int s = 0; s < kSegments; ++s) {
            const int v = r * kSegments + s;
            positions[v][0] = std::sin(angle) * radius * scale;
            positions[v][1] = std::cos(angle) * radius * scale;
            positions[v][2] = -ringStep * static_cast<float>(r);
            texCoords[v][0] = static_cast<float>(s) / static_cast<float>(kSegments - 1);
            texCoords[v][1] = static_cast<float>(r) / static_cast<float>(kRings - 1);
            angle += angleStep;
        }
        scale *= 0.4f;
    }
}

void TunnelTubeGene::draw() {
    glDisable(GL_CULL_FACE);
    for (int r = 0; r + 1 < kRings; ++r) {
        glBegin(primitive);
        for (int s = 0; s < kSegments; ++s) {
            const int outer = r * kSegments + s;
            const int inner = outer + kSegments;
            glTexCoord2fv(texCoords[inner]);
            glVertex3fv(positions[inner]);
            glTexCoord2fv(texCoords[outer]);
            glVertex3fv(positions[outer]);
        }
        glEnd();
    }
}
