#include "reactors/MetaballViewer.h"

#include "reactor/GlSwitches.h"
#include "reactor/MatrixModeKeeper.h"
#include "reactors/MetaballPolygoniser.h"
#include "reactors/qelParticles.h"

MetaballViewer::MetaballViewer(int size) {
    poolSize = size;
    particles = std::make_unique<qelParticles>(poolSize);
    polygoniser = std::make_unique<MetaballPolygoniser>();
}

MetaballViewer::~MetaballViewer() = default;

void MetaballViewer::update() {
    particles->timeStep = 1.0f;
    particles->followControls(*this);
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
