#include "reactors/Waver.h"

#include <GL/gl.h>

#include "reactor/GlSwitches.h"
#include "reactor/MatrixModeKeeper.h"

Waver::Waver(int width, int height, int extra)
    : ripple(std::make_unique<RippleGene>(width, height)), flow(std::make_unique<qelFlo>(width, height, extra)) {}

void Waver::update() {
    // A value that is not a number compares false and picks the ripple.
    mode = controlFloat(22) >= 0.0f ? 1 : 0;
    if (mode == 0) {
        ripple->dropXControl = controlByte(21);
        ripple->dropYControl = controlByte(85);
        ripple->update();
    } else {
        flow->setMotion(controlFloat(21), controlFloat(85));
        flow->update();
    }
}

void Waver::draw() {
    textureMotion(1.0f, 1.0f);
    textureGen();
    selectImage(0);
    switchDepth(false);
    if (mode == 0)
        ripple->draw();
    else
        flow->draw();
    switchDepth(true);
    keeper().pop(GL_TEXTURE);
    switchTexGen(false);
}
