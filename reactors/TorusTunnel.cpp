#include "reactors/TorusTunnel.h"

#include <GL/gl.h>

#include <cmath>

#include "reactor/MatrixModeKeeper.h"
#include "reactor/ReactorRecords.h"

TorusTunnel::TorusTunnel(float majorRadius_, float tubeRadius_, int rings_, int points_)
    : rings(rings_), points(points_), majorRadius(majorRadius_), tubeRadius(tubeRadius_) {
    // A tube needs two rings to span a strip and two points per ring to close
    // it; smaller counts are raised to that so the steps stay finite.
    if (rings < 2) rings = 2;
    if (points < 2) points = 2;
    texCoords = std::make_unique_for_overwrite<float[]>(static_cast<size_t>(rings) * points * 2);
    vertices = std::make_unique_for_overwrite<float[]>(static_cast<size_t>(rings) * points * 3);
    tubeMaterial = std::make_unique<MaterialRecord>();
    tubeMaterial->apply();
    ownKeeper = std::make_unique<MatrixModeKeeper>();
    init();
}

TorusTunnel::~TorusTunnel() = default;

void TorusTunnel::init() {
    scrollU = 0.0f;
    scrollV = 0.0f;
    const float du = 1.0f / static_cast<float>(points - 1);
    const float dTheta = 6.283185f / static_cast<float>(points - 1);
    const float dPhi = 6.283185f * 0.1f / static_cast<float>(rings);  // a tenth of the torus
    for (int i = 0; i < rings; ++i) {
        const float phi = static_cast<float>(i) * dPhi;
        const float v = static_cast<float>(i);  // the texture repeats once per ring
        float theta = 0.0f;
        float u = 0.0f;
        for (int j = 0; j < points; ++j) {
            const int k = vertexIndex(i, j);
            texCoords[2 * k] = u;
            texCoords[2 * k + 1] = v;
            const float arm = majorRadius + tubeRadius * std::cos(theta);
            vertices[3 * k] = std::cos(phi) * arm;
            vertices[3 * k + 1] = tubeRadius * std::sin(theta);
            vertices[3 * k + 2] = -std::sin(phi) * arm;
            theta += dTheta;
            u += du;
        }
    }
}

void TorusTunnel::draw() {
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glFrontFace(GL_CW);

    // One step per frame, whatever the frame time.
    scrollU += controlFloat(19) * 0.03f;
    scrollV += controlFloat(83) * 0.03f;
    if (scrollU > 1.0f) scrollU -= 1.0f;
    if (scrollU < 0.0f) scrollU += 1.0f;
    if (scrollV > 1.0f) scrollV -= 1.0f;
    if (scrollV < 0.0f) scrollV += 1.0f;

    ownKeeper->pushIdentity(GL_TEXTURE);
    glTranslatef(scrollU, scrollV, 0.0f);
    ownKeeper->restore();

    const float t24 = controlFloat(24);
    const float t88 = controlFloat(88);
    const float twist = std::sqrt(t24 * t24 + t88 * t88) * 6.283f * 180.0f / 3.1415926f;

    // The tube ignores the frame's camera: ring 0 is centred on the viewing axis.
    keeper().pushIdentity(GL_MODELVIEW);
    glRotatef(twist, 0.0f, 0.0f, 1.0f);
    glTranslatef(-majorRadius, 0.0f, 0.0f);
    keeper().restore();

    for (int i = 0; i + 1 < rings; ++i) {
        glBegin(GL_TRIANGLE_STRIP);
        for (int j = 0; j < points; ++j) {
            const int next = vertexIndex(i + 1, j);
            const int here = vertexIndex(i, j);
            glTexCoord2fv(&texCoords[2 * next]);
            glVertex3fv(&vertices[3 * next]);
            glTexCoord2fv(&texCoords[2 * here]);
            glVertex3fv(&vertices[3 * here]);
        }
        glEnd();
    }

    // Depth testing and culling stay off, and clockwise stays the front.
    ownKeeper->pop(GL_MODELVIEW);
    ownKeeper->pop(GL_TEXTURE);
}
