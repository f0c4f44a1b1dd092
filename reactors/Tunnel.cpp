#include "reactors/Tunnel.h"

#include <GL/gl.h>

#include <cmath>

#include "reactor/GlSwitches.h"
#include "reactor/MatrixModeKeeper.h"
#include "reactors/TunnelPlaneGene.h"
#include "reactors/TunnelTubeGene.h"

Tunnel::Tunnel() {
    tube = std::make_unique<TunnelTubeGene>(50.0f, 5.0f);
    planes = std::make_unique<TunnelPlaneGene>(50.0f, 1.0f);
}

Tunnel::~Tunnel() = default;

void Tunnel::draw() {
    selectImage(0);
    const float choice = controlFloat(22);
    mode = choice < 0.0f ? kTube : kPlanes;
    tube->setPrimitive(choice < -0.5f ? GL_TRIANGLE_STRIP : GL_TRIANGLE_FAN);
    textureGen();
    textureMotion(1.0f, 1.0f);

    spin += controlFloat(28) * 0.01f;
    if (spin > 1.0f) spin -= 1.0f;

    const float a = -controlFloat(24);
    const float b = controlFloat(88);
    const float len = std::sqrt(a * a + b * b);

    keeper().pushIdentity(GL_MODELVIEW);
    // No tilt at all when both tilt controllers are centred (the axis would
    // be undefined).
    if (len > 0.0f) glRotatef(len * 180.0f / 3.1415926f, -b / len, a / len, 1.0f);
    glRotatef(spin * 6.283f * 180.0f / 3.1415926f, 0.0f, 0.0f, 1.0f);
    keeper().restore();

    if (mode == kTube)
        tube->draw();
    else
        planes->draw();

    keeper().pop(GL_MODELVIEW);
    keeper().pop(GL_TEXTURE);
    switchTexGen(false);
}
