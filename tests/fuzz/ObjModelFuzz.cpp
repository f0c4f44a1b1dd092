// Fuzzes the OBJ reader: whatever the file holds, every index the corner
// array keeps must lie inside its array (the drawing code indexes without
// checks), and the box, centre and scale the reactors use must be finite.
#include <cmath>

#include "FuzzInput.h"
#include "resources/ObjModel.h"

const char* const kFuzzFileSuffix = ".obj";

void fuzzOne(const uint8_t*, size_t, const char* path) {
    ObjModel model(path);

    const int cornerLength = model.cornerLength();
    fuzzCheck(cornerLength % 9 == 0);
    const long vertices = std::ssize(model.vertices) / 3, texCoords = std::ssize(model.texCoords) / 3,
               normals = std::ssize(model.normals) / 3;
    // Each indexed read goes to a volatile so it is not optimised away and
    // AddressSanitizer sees it. Values are not summed: huge finite
    // coordinates may overflow to inf and inf - inf is NaN, which says
    // nothing about the reader.
    volatile float sink = 0.0f;
    for (int k = 0; k + 2 < cornerLength; k += 3) {
        const int p = model.cornerArray[k], t = model.cornerArray[k + 1], n = model.cornerArray[k + 2];
        fuzzCheck(p >= 0 && p < vertices && (t == -1 || (t >= 0 && t < texCoords)) &&
              (n == -1 || (n >= 0 && n < normals)));
        sink = model.vertexArray[3 * p];
        sink = model.vertexArray[3 * p + 2];
        if (t >= 0) sink = model.texCoordArray[3 * t + 1];
        if (n >= 0) sink = model.normalArray[3 * n + 2];
    }
    for (const auto* values : {&model.vertices, &model.normals, &model.texCoords})
        for (float v : *values) fuzzCheck(std::isfinite(v));
    fuzzCheck(std::isfinite(model.scale));
    for (int axis = 0; axis < 3; ++axis) fuzzCheck(std::isfinite(model.centre[axis]));
    (void)sink;
}
