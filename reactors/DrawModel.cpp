#include "reactors/DrawModel.h"

#include <GL/gl.h>

#include "resources/ObjModel.h"

void drawModel(const ObjModel* model) {
    if (!model) return;
    const int corners = model->cornerLength() / 3;
    if (corners <= 0) return;
    // The model guarantees every stored index lies inside its array.
    const int* corner = model->cornerArray.get();
    const float* positions = model->vertexArray.get();
    const float* texCoords = model->texCoordArray.get();
    const float* normals = model->normalArray.get();
    glBegin(GL_TRIANGLES);
    for (int k = 0; k < corners; ++k, corner += 3) {
        const int t = corner[1];
        const int n = corner[2];
        if (t >= 0) glTexCoord2fv(texCoords + 3 * t);
        if (n >= 0) glNormal3fv(normals + 3 * n);
        glVertex3fv(positions + 3 * corner[0]);
    }
    glEnd();
}
