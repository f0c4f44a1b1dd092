#include "reactors/TunnelPlaneGene.h"

#include <GL/gl.h>

TunnelPlaneGene::TunnelPlaneGene(float a, float b) {
    const float layout[8][3] = {
        {-a, -b, -a}, {a, -b, -a}, {a, -b, a}, {-a, -b, a},  // floor
        {-a, b, -a},  {-a, b, a},  {a, b, a},  {a, b, -a},   // ceiling
    };
    for (int k = 0; k < 8; ++k)
        for (int c = 0; c < 3; ++c) corners[k][c] = layout[k][c];
}

void TunnelPlaneGene::draw() {
    // The ceiling runs its corners the other way round, so its texture
    // coordinates are taken in reverse to keep the image the same way up.
    static const int floorTex[4] = {0, 1, 2, 3};
    static const int ceilingTex[4] = {0, 3, 2, 1};
    glBegin(GL_QUADS);
    for (int k = 0; k < 4; ++k) {
        glTexCoord2fv(texCoords[floorTex[k]]);
        glVertex3fv(corners[k]);
    }
    for (int k = 0; k < 4; ++k) {
        glTexCoord2fv(texCoords[ceilingTex[k]]);
        glVertex3fv(corners[4 + k]);
    }
    glEnd();
}
