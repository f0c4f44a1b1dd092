#include "reactors/SoundScape.h"

#include <GL/gl.h>

#include <cmath>

#include "input/WaveInput.h"
#include "reactor/GlSwitches.h"
#include "reactor/MatrixModeKeeper.h"
#include "reactor/SolidCube.h"

SoundScape::SoundScape(const char* /*name*/) {
    // The angles are accumulated step by step, as the rings are laid out.
    float theta = 0.0f;
    for (int j = 0; j < kBars; ++j) {
        sine[j] = std::sin(theta);
        cosine[j] = std::cos(theta);
        theta += kStep;
    }
    ownKeeper = std::make_unique<MatrixModeKeeper>();
}

SoundScape::~SoundScape() = default;

float SoundScape::barScale(int sampleByte) {
    const float s = static_cast<float>(sampleByte - 128) * 0.0625f;
    return (1.0f + s) * 100.0f;
}

void SoundScape::setLights() {
    static const float diffuse0[4] = {0.9f, 0.0f, 0.9f, 1.0f};
    static const float specular0[4] = {0.9f, 0.0f, 0.9f, 1.0f};
    static const float position0[4] = {-0.3f, 0.0f, 0.0f, 1.0f};
    static const float diffuse1[4] = {0.0f, 0.95f, 0.9f, 1.0f};
    static const float specular1[4] = {0.0f, 0.9f, 0.9f, 1.0f};
    static const float position1[4] = {0.3f, 0.0f, 0.0f, 1.0f};

    // Positions given under an identity model-view matrix lie in eye space.
    ownKeeper->pushIdentity(GL_MODELVIEW);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse0);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular0);
    glLightfv(GL_LIGHT0, GL_POSITION, position0);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse1);
    glLightfv(GL_LIGHT1, GL_SPECULAR, specular1);
    glLightfv(GL_LIGHT1, GL_POSITION, position1);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glEnable(GL_LIGHTING);
    glLightModelf(GL_LIGHT_MODEL_TWO_SIDE, 1.0f);
    ownKeeper->pop(GL_MODELVIEW);
}

void SoundScape::drawRing(int channelOffset, float radius, float red, float green, float blue) {
    // Without a sound source the bars stand at the silence height; with one,
    // the snapshot is read as it is (all byte 0 until the first sound
    // arrives, which mirrors every bar).
    const unsigned char* bytes = (wave && wave->current) ? wave->current->bytes : nullptr;
    for (int j = 0; j < kBars; ++j) {
        const int b = bytes ? bytes[2 * j + channelOffset] : 128;
        glColor4f(red, green, blue, 1.0f);
        ownKeeper->push(GL_MODELVIEW);
        glTranslatef(radius * cosine[j], radius * sine[j], 0.0f);
        glScalef(1.0f, 1.0f, barScale(b));
        ownKeeper->restore();
        solidCube(kBarEdge);
        ownKeeper->pop(GL_MODELVIEW);
    }
}

void SoundScape::draw() {
    pushObjectMotion(false, false, true, false);
    glEnable(GL_LIGHTING);
    setLights();

    glColorMaterial(GL_FRONT_AND_BACK, GL_SPECULAR);
    glEnable(GL_COLOR_MATERIAL);

    switchDepth(true);
    switchBlend(false);
    glDisable(GL_TEXTURE_2D);
    static const float ambient[4] = {0.1f, 0.1f, 0.1f, 1.0f};
    static const float diffuse[4] = {0.7f, 0.7f, 0.7f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 30.0f);

    static_assert(2 * (kBars - 1) + 1 < SoundSnapshot::kBytes, "the rings read inside one snapshot");
    drawRing(0, 1.0f, 0.125f, 0.0f, 1.0f);
    drawRing(1, 1.2f, 0.125f, 1.0f, 0.0f);

    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    switchBlend(true);

    glDisable(GL_COLOR_MATERIAL);
    glDisable(GL_LIGHTING);
    keeper().pop(GL_MODELVIEW);
}
