#include "reactor/SolidCube.h"

#include <GL/gl.h>

namespace {
// Corners of the unit cube (edge 1), scaled by the edge when drawn.
constexpr float kCorners[8][3] = {
    {0.5f, 0.5f, 0.5f},   {-0.5f, 0.5f, 0.5f},  {-0.5f, -0.5f, 0.5f}, {0.5f, -0.5f, 0.5f},
    {0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, -0.5f},  {-0.5f, 0.5f, -0.5f}, {-0.5f, -0.5f, -0.5f},
};
constexpr float kNormals[6][3] = {
    {0.0f, 0.0f, 1.0f},  {1.0f, 0.0f, 0.0f},  {0.0f, 1.0f, 0.0f},
    {-1.0f, 0.0f, 0.0f}, {0.0f, -1.0f, 0.0f}, {0.0f, 0.0f, -1.0f},
};
// Corner indices of each face, counter-clockwise seen from outside.
constexpr unsigned char kFaces[6][4] = {
    {0, 1, 2, 3}, {0, 3, 4, 5}, {0, 5, 6, 1}, {1, 6, 7, 2}, {7, 4, 3, 2}, {4, 7, 6, 5},
};
}  // namespace

void solidCube(float size) {
    glBegin(GL_QUADS);
    for (int face = 0; face < 6; ++face) {
        glNormal3fv(kNormals[face]);
        for (int k = 0; k < 4; ++k) {
            const float* c = kCorners[kFaces[face][k]];
            glVertex3f(c[0] * size, c[1] * size, c[2] * size);
        }
    }
    glEnd();
}
