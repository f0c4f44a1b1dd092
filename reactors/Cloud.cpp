#include "reactors/Cloud.h"

#include <GL/gl.h>

#include "reactor/GlSwitches.h"
#include "reactor/MatrixModeKeeper.h"

Cloud::Cloud() {
    const float x = 2.0f * halfWidth;
    const float y = 2.0f * halfHeight;
    const float signs[4][2] = {{-1.0f, -1.0f}, {1.0f, -1.0f}, {1.0f, 1.0f}, {-1.0f, 1.0f}};
    for (int k = 0; k < 4; ++k) {
        corners[k][0] = signs[k][0] * x;
        corners[k][1] = signs[k][1] * y;
        corners[k][2] = 0.0f;
    }
    layerCount = 3;
    phase = -2.0f;
    speed = 0.01f;
    spacing = 1.0f;
    falloff = 1.0f;
}

void Cloud::init() {
    layerCount = 3;
    phase = -2.0f;
    speed = 0.01f;
    spacing = 1.0f;
    falloff = 1.0f;
}

namespace {
// Holds a controller value to -1..1 (a value that is not a number counts as -1).
float clampUnit(float v) {
    if (!(v >= -1.0f)) return -1.0f;
    return v > 1.0f ? 1.0f : v;
}
}  // namespace

void Cloud::draw() {
    selectImage(0);
    textureGen();
    switchBlend(true);

    speed = controlFloat(17) * 0.03f * static_cast<float>(frameMillisByte()) * 0.3f;
    if (speed < 0.0f) speed = 0.0f;
    spacing = (controlFloat(81) + 1.0f) * 3.0f;

    // With zero spacing every plane sits at the phase and there is nothing to
    // drift between: the phase holds still instead of running away, so the
    // cloud is where it was when the spacing opens up again.
    if (spacing > 0.0f) {
        phase += speed;
        if (phase >= spacing) phase -= spacing;
    }

    const float baseAlpha = controlFloat(7) * 0.5f + 0.5f;
    falloff = controlFloat(22) + 0.9f;
    if (falloff < 0.0f) falloff = 0.0f;
    // Controller values lie in -1..1 (3, 4 or 5); anything else written into
    // the table is held to that range so the plane count stays bounded.
    layerCount = static_cast<int>(clampUnit(controlFloat(86)) + 1.0f + 3.0f);

    for (int i = layerCount; i >= 0; --i) {
        const float z = phase - static_cast<float>(i) * spacing;
        centre[2] = z;
        for (int k = 0; k < 4; ++k) corners[k][2] = z;
        const float d = static_cast<float>(i) * falloff + 1.0f;
        textureMotion(1.0f / d, 1.0f / d);
        glColor4f(1.0f, 1.0f, 1.0f, baseAlpha / d);
        glBegin(GL_TRIANGLE_FAN);
        glTexCoord2fv(centreTex);
        glVertex3fv(centre);
        for (int k = 0; k < 5; ++k) {
            const int c = k & 3;  // the fan closes on the first corner
            glTexCoord2fv(cornerTex[c]);
            glVertex3fv(corners[c]);
        }
        glEnd();
        keeper().pop(GL_TEXTURE);
    }

    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glEnable(GL_DEPTH_TEST);
    // The blend switch stays on; the caller resets it.
}
