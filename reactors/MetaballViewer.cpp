#include "reactors/MetaballViewer.h"

#include "reactor/GlSwitches.h"
#include "reactor/MatrixModeKeeper.h"
#include "reactors/MetaballPolygoniser.h"
#include "reactors/qelParticles.h"

MetaballViewer::MetaballViewer(int size) {
    poolSize = size;
    particles = new qelParticles(poolSize);
    polygoniser = new MetaballPolygoniser();
}

MetaballViewer::~MetaballViewer() {
    delete polygoniser;
    delete particles;
}

void MetaballViewer::update() {
    particles->timeStep = 1.0f;
    particles->setActive((controlFloat(18) + 1.0f) * 0.5f);
    particles->setGravity(controlFloat(85));
    particles->setDamping(controlFloat(21));
    particles->setSpread(controlFloat(22), controlFloat(86));
    particles->setSpeed(controlFloat(23), controlFloat(87));
    particles->setLife(controlFloat(19), controlFloat(83));
    particles->setCentre(controlFloat(81), controlFloat(17));
    particles->update();

    // The ball table holds kMaxBalls; a larger pool shows its first balls.
    polygoniser->setBallCount(particles->active);
    for (int i = 0; i < polygoniser->ballCount; ++i) {
        const float* p = particles->record(i);
        polygoniser->setBall(i, kBallScale * p[0], kBallScale * p[1], kBallScale * p[2], kBallStrength);
    }
    polygoniser->update();
}

void MetaballViewer::draw() {
    textureMotion(1.0f, 1.0f);
    textureGen();
    selectImage(0);
    pushObjectMotion(true, true, true, true);
    polygoniser->draw();
    keeper().pop(GL_MODELVIEW);
    keeper().pop(GL_TEXTURE);
    switchTexGen(false);
}
