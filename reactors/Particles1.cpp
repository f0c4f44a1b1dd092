#include "reactors/Particles1.h"

#include <cstdio>

#include "input/WaveInput.h"
#include "reactor/GlSwitches.h"
#include "reactors/qelParticles.h"

Particles1::Particles1(int size, const ObjModel* /*model*/) {
    printf("Particle Viewr \n");
    poolSize = size;
    printf("Generating Particle Gene\n");
    particles = std::make_unique<qelParticles>(poolSize);
    printf("ModelFile not found...use default particle draw\n");
}

Particles1::~Particles1() = default;

void Particles1::update() {
    // Without a sound source (a reactor not yet in a cell) the levels count
    // as silence.
    const float right = wave ? wave->rightLevel : 0.0f;
    const float left = wave ? wave->leftLevel : 0.0f;
    particles->timeStep = 1.0f;
    particles->setSize(controlFloat(24) * (right + 1.0f), controlFloat(88) * (left + 1.0f));
    particles->followControls(*this);
    particles->update();
}

void Particles1::draw() {
    selectImage(0);
    particles->draw();
    switchTexGen(false);
}
