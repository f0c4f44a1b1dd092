#include "reactor/Reactor.h"

#include <GL/gl.h>

#include "app/ControlTable.h"
#include "reactor/MatrixModeKeeper.h"
#include "resources/ImageGene.h"

void Reactor::setImageSet(int k, ImageGene* set) {
    if (k >= 0 && k < kImageSets) imageSets[k] = set;
}

ImageGene* Reactor::imageSet(int k) const { return (k >= 0 && k < kImageSets) ? imageSets[k] : nullptr; }

float Reactor::controlFloat(int n) const { return controls ? controls->getFloat(channel, 0, n) : 0.0f; }

int Reactor::controlByte(int n) const { return controls ? controls->getByte(channel, 0, n) : 0; }

int Reactor::frameMillisByte() const { return controls ? controls->getByte(15, 0, 1) : 0; }

void Reactor::drawHelp(int page) {
    if (!helpImages) return;
    if (page > 15) page = 15;
    if (page < 0) page = 0;
    helpImages->selectIndex(page);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-1.3f, -1.0f, -2.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(1.3f, -1.0f, -2.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(1.3f, 1.0f, -2.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(-1.3f, 1.0f, -2.0f);
    glEnd();
}

MatrixModeKeeper& Reactor::keeper() {
    if (matrixKeeper) return *matrixKeeper;
    static MatrixModeKeeper fallback;
    return fallback;
}
