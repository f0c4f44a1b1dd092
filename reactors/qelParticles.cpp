#include "reactors/qelParticles.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>

#include "reactor/MatrixModeKeeper.h"
#include "reactor/Reactor.h"
#include "reactor/Random.h"

qelParticles::qelParticles(int poolSize) {
    pool = poolSize < 1 ? 1 : poolSize;
    active = pool;
    stride = kStride;
    particles = std::make_unique<float[]>(static_cast<size_t>(pool) * kStride);
    keeper = std::make_unique<MatrixModeKeeper>();
    init();
    printf("qelParticles %d \n", active);
}

qelParticles::~qelParticles() = default;

void qelParticles::init() {
    for (int a = 0; a < 3; ++a) {
        acceleration[a] = 0.0f;
        damping[a] = 0.985f;
        spread[a] = 0.0f;
        speed[a] = 0.2f;
        centre[a] = 0.1f;
    }
    lifeVariation = 0.0f;
    for (int i = 0; i < active; ++i) record(i)[kLife] = -1.0f;
}

void qelParticles::setSize(float a, float b) {
    halfWidth = a + 0.1f;
    halfHeight = b + 0.1f;
}

void qelParticles::setActive(float fraction) {
    const float count = static_cast<float>(pool) * fraction;
    // Compared as floats first so that a huge or NaN fraction never reaches
    // the integer conversion.
    if (!(count >= 1.0f))
        active = 1;
    else if (count >= static_cast<float>(pool))
        active = pool;
    else
        active = static_cast<int>(count);
}

void qelParticles::setGravity(float g) {
    acceleration[0] = 0.0f;
    acceleration[1] = g * 0.01f;
    acceleration[2] = 0.0f;
}

void qelParticles::setDamping(float d) {
    const float factor = 0.98f - d * 0.2f;
    damping[0] = damping[1] = damping[2] = factor;
}

void qelParticles::setSpread(float a, float b) {
    spread[0] = 6.0f * a;
    spread[1] = 6.0f * b;
    spread[2] = 3.0f * (a + b);
}

void qelParticles::setSpeed(float a, float b) {
    speed[0] = 0.3f * a;
    speed[1] = 0.3f * b;
    speed[2] = 0.2f * (a + b);
}

void qelParticles::setLife(float kill, float variation) {
    if (kill < -0.5f)
        for (int i = 0; i < active; ++i) record(i)[kLife] = -1.0f;
    lifeVariation = variation;
}

void qelParticles::setCentre(float a, float b) {
    centre[0] = 6.0f * a;
    centre[1] = -6.0f * b;
    centre[2] = 0.1f * (a + b);
}

void qelParticles::unitDirection(int r0, int r1, int r2, float out[3]) {
    const float x = static_cast<float>(r0 / 16386.0 - 1.0);
    const float y = static_cast<float>(r1 / 16386.0 - 1.0);
    const float z = static_cast<float>(r2 / 16386.0 - 1.0);
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length > 0.0f) {
        out[0] = x / length;
        out[1] = y / length;
        out[2] = z / length;
    } else {
        out[0] = 0.0f;
        out[1] = 1.0f;
        out[2] = 0.0f;
    }
}

void qelParticles::rebirth(float* p) {
    const int r0 = qelRand();
    const int r1 = qelRand();
    const int r2 = qelRand();
    float u[3];
    unitDirection(r0, r1, r2, u);
    for (int a = 0; a < 3; ++a) {
        p[kVelocity + a] = u[a] * speed[a];
        p[kPosition + a] = u[a] * spread[a] + centre[a];
    }
    p[kLife] = 50.0f * lifeVariation * u[0] + 150.0f;
}

void qelParticles::update() {
    const float t = timeStep;
    for (int i = 0; i < active; ++i) {
        float* p = record(i);
        for (int a = 0; a < 3; ++a) {
            p[kPosition + a] += t * p[kVelocity + a];
            p[kVelocity + a] += t * acceleration[a];
            p[kVelocity + a] *= damping[a];
        }
        p[kLife] -= t;
    }
    for (int i = 0; i < active; ++i) {
        float* p = record(i);
        if (!(p[kLife] >= 0.0f)) rebirth(p);  // a NaN life is reborn too
    }
}

// Each sprite is its particle's position plus the corner offsets, at
// z - 3.0: the picture of translating the model-view matrix to every particle
// and drawing the quad there, sent as one batch of quads instead of one
// matrix push, translate and pop per particle (which made every sprite a
// draw of its own).
void qelParticles::draw() {
    glFrontFace(GL_CCW);
    keeper->push(GL_MODELVIEW);
    glBegin(GL_QUADS);
    for (int i = 0; i < active; ++i) {
        const float* p = record(i);
        const float x = p[kPosition], y = p[kPosition + 1], z = p[kPosition + 2] - 3.0f;
        const float c = p[kLife] * 0.006666667f;
        glColor4f(1.0f - c, c, 1.0f, c * 0.3f + 0.5f);
        glTexCoord2f(0.0f, 0.0f);
        glVertex3f(x - halfWidth, y - halfHeight, z);
        glTexCoord2f(1.0f, 0.0f);
        glVertex3f(x + halfWidth, y - halfHeight, z);
        glTexCoord2f(1.0f, 1.0f);
        glVertex3f(x + halfWidth, y + halfHeight, z);
        glTexCoord2f(0.0f, 1.0f);
        glVertex3f(x - halfWidth, y + halfHeight, z);
    }
    glEnd();
    keeper->pop(GL_MODELVIEW);
}

void qelParticles::followControls(const Reactor& reactor) {
    setActive((reactor.controlFloat(18) + 1.0f) * 0.5f);
    setGravity(reactor.controlFloat(85));
    setDamping(reactor.controlFloat(21));
    setSpread(reactor.controlFloat(22), reactor.controlFloat(86));
    setSpeed(reactor.controlFloat(23), reactor.controlFloat(87));
    setLife(reactor.controlFloat(19), reactor.controlFloat(83));
    setCentre(reactor.controlFloat(81), reactor.controlFloat(17));
}
