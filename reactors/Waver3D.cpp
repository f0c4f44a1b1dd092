#include "reactors/Waver3D.h"

#include <GL/gl.h>

#include "reactor/GlSwitches.h"
#include "reactor/MatrixModeKeeper.h"

Waver3D::Waver3D(int /*width*/, int /*height*/, int /*extra*/)
    : sphere(std::make_unique<GeodesicWaveGene>()), torus(std::make_unique<TorusRippleGene>()) {}

void Waver3D::update() {
    // A value that is not a number compares false and picks the torus.
    mode = controlFloat(22) >= 0.0f ? 1 : 0;
    if (mode == 0)
        torus->update();
    else
        sphere->update();
}

void Waver3D::draw() {
    textureMotion(1.0f, 1.0f);
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    switchTexGen(true);
    selectImage(0);
    pushObjectMotion(true, true, true, true);
    switchDepth(true);
    if (mode == 0)
        torus->draw();
    else
        sphere->draw();
    switchDepth(false);
    keeper().pop(GL_TEXTURE);
    keeper().pop(GL_MODELVIEW);
    switchTexGen(false);
}
