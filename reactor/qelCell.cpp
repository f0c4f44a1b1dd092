#include "reactor/qelCell.h"

#include <GL/gl.h>

#include <cstdint>
#include <cstdio>

#include "reactor/FrameTimings.h"
#include "reactor/Reactor.h"
#include "reactor/ReactorLoader.h"

qelCell::~qelCell() = default;

void qelCell::setReactor(int newIndex, ImageGene* help) {
    printf("qelCell::setReactor %d %llu\n", newIndex,
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(help)));
    reactorIndex = newIndex;
    reactor_.reset();
    printf("qelCell::deleted \n");
    reactor_ = loadReactor(reactorIndex, 0);
    if (!reactor_) return;
    reactor_->setChannel(index);
    reactor_->setMatrixKeeper(matrixKeeper);
    reactor_->setImageSet(0, imageSet);
    reactor_->setModelSet(modelSet);
    reactor_->setHelpImages(help);
}

void qelCell::frame() {
    if (!reactor_) return;
    reactor_->setTimeFactor(timeFactor);
    reactor_->setWave(wave);
    reactor_->setControls(controls);
    if (FrameTimings::enabled()) {
        const auto start = FrameTimings::Clock::now();
        reactor_->update();
        const auto updated = FrameTimings::Clock::now();
        if (helpOn) reactor_->drawHelp(helpPage);
        reactor_->draw();
        FrameTimings::addCellFrame(updated - start, FrameTimings::Clock::now() - updated);
    } else {
        reactor_->update();
        if (helpOn) reactor_->drawHelp(helpPage);
        reactor_->draw();
    }
    glEnable(GL_TEXTURE_2D);
}
