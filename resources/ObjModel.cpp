#include "resources/ObjModel.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "platform/RegularFile.h"
#include "platform/TextLines.h"

namespace {

constexpr int kLineSize = 79;     // 78 characters and the terminator
constexpr int kMaxCorners = 30;   // corners held for one face

// Appends the three floats of a "v", "vn" or "vt" line. Numbers the line
// lacks are 0, as are numbers that are not finite (they would spoil the
// bounding box and the scale).
void appendThree(const char* text, std::vector<float>& list) {
    float v[3] = {0.0f, 0.0f, 0.0f};
    sscanf(text, "%f %f %f", &v[0], &v[1], &v[2]);
    for (float f : v) list.push_back(std::isfinite(f) ? f : 0.0f);
}

// The leading decimal integer of text minus one (OBJ counts from 1). An empty
// or non-numeric field gives -1; huge values are clamped (they are dropped as
// out of range later anyway).
int indexOf(const char* text) {
    long value = strtol(text, nullptr, 10);
    if (value > INT_MAX / 2) value = INT_MAX / 2;
    if (value < INT_MIN / 2) value = INT_MIN / 2;
    return static_cast<int>(value) - 1;
}

bool inList(int index, size_t listLength) { return index >= 0 && static_cast<size_t>(index) < listLength / 3; }

}  // namespace

ObjModel::ObjModel(const char* path) {
    if (!path) path = "";
    const int cutFaces = readFile(path);
    const int droppedTriangles = dropTrianglesOutsideLists();
    findBoundsAndScale();
    printBoundingBox();
    makeFixedArrays();

    std::cout << "V size  " << vertices.size() << "\n";
    std::cout << "VN size  " << normals.size() << "\n";
    std::cout << "VT size  " << texCoords.size() << "\n";
    std::cout << "ID size " << corners.size() << "\n";
    if (droppedTriangles > 0)
        std::cout << "ObjModel::dropped triangles with indices outside the lists " << droppedTriangles << "\n";
    if (cutFaces > 0)
        std::cout << "ObjModel::faces with more than 30 corners, extra corners ignored " << cutFaces << "\n";
    std::cout.flush();
}

int ObjModel::readFile(const char* path) {
    // A path that is not a regular file gets its own line first and is then
    // treated as one that cannot be opened.
    FILE* file = openRegularFile(path, "r");
    if (!file) {
        printf(" File Open Error %s\n", path);
        return 0;
    }
    // Lines are read 78 characters at most; the rest of a longer line is
    // dropped so that reading always goes on to the next line. Vertex lines
    // keep their (possibly shortened) numbers so that the vertex count stays
    // right; a face line that was cut loses the corner the cut fell into
    // (see parseFace).
    int cutFaces = 0;
    char line[kLineSize];
    bool truncated = false;
    while (readBoundedLine(file, line, kLineSize, &truncated)) {
        const size_t length = strlen(line);
        if (strncmp(line, "mtllib", 6) == 0 || strncmp(line, "usemtl", 6) == 0) continue;
        if (line[0] == 'v' && line[1] == 'n') {
            appendThree(line + (length < 3 ? length : 3), normals);
        } else if (line[0] == 'v' && line[1] == 't') {
            appendThree(line + (length < 3 ? length : 3), texCoords);
        } else if (line[0] == 'v') {
            appendThree(line + (length < 2 ? length : 2), vertices);
        } else if (line[0] == 'f') {
            if (truncated) {
                // Drop the word the cut fell into: it may be a shortened
                // index that points at the wrong vertex.
                char* last = line + length;
                while (last > line + 1 && !isspace(static_cast<unsigned char>(last[-1]))) --last;
                *last = '\0';
            }
            if (parseFace(line + 1)) ++cutFaces;
        }
    }
    fclose(file);
    return cutFaces;
}

int ObjModel::dropTrianglesOutsideLists() {
    int dropped = 0;
    std::vector<int> kept;
    kept.reserve(corners.size());
    for (size_t t = 0; t + 9 <= corners.size(); t += 9) {
        bool ok = true;
        for (size_t c = t; c < t + 9; c += 3) {
            ok = ok && inList(corners[c], vertices.size());
            ok = ok && (corners[c + 1] == -1 || inList(corners[c + 1], texCoords.size()));
            ok = ok && (corners[c + 2] == -1 || inList(corners[c + 2], normals.size()));
        }
        if (ok)
            kept.insert(kept.end(), corners.begin() + static_cast<long>(t), corners.begin() + static_cast<long>(t + 9));
        else
            ++dropped;
    }
    corners.swap(kept);
    return dropped;
}

void ObjModel::findBoundsAndScale() {
    for (size_t i = 0; i + 3 <= vertices.size(); i += 3) {
        for (int axis = 0; axis < 3; ++axis) {
            const float v = vertices[i + axis];
            if (minimum[axis] > v) minimum[axis] = v;
            if (maximum[axis] < v) maximum[axis] = v;
        }
    }
    // Centre and extent are summed in double: coordinates near the float
    // limit would overflow a float sum. A model that is a single point, or
    // so small that 3 / extent is no float, keeps the scale 1 instead of an
    // infinite one.
    double extent = 0.0;
    for (int axis = 0; axis < 3; ++axis) {
        const double middle = (static_cast<double>(minimum[axis]) + maximum[axis]) * 0.5;
        centre[axis] = static_cast<float>(middle);
        extent += maximum[axis] - middle;
    }
    if (extent != 0.0 && std::isfinite(static_cast<float>(3.0 / extent))) scale = static_cast<float>(3.0 / extent);
}

void ObjModel::printBoundingBox() const {
    std::cout << "Bounding Box\n";
    std::cout << "x " << minimum[0] << "," << maximum[0] << "\n";
    std::cout << "y " << minimum[1] << "," << maximum[1] << "\n";
    std::cout << "z " << minimum[2] << "," << maximum[2] << "\n";
    std::cout << "Center " << centre[0] << "," << centre[1] << "," << centre[2] << "\n";
    std::cout << "nScale = " << scale << "\n";
}

void ObjModel::makeFixedArrays() {
    vertexArray = std::make_unique_for_overwrite<float[]>(vertices.size());
    texCoordArray = std::make_unique_for_overwrite<float[]>(texCoords.size());
    normalArray = std::make_unique_for_overwrite<float[]>(normals.size());
    cornerArray = std::make_unique_for_overwrite<int[]>(corners.size());
    std::copy(vertices.begin(), vertices.end(), vertexArray.get());
    std::copy(texCoords.begin(), texCoords.end(), texCoordArray.get());
    std::copy(normals.begin(), normals.end(), normalArray.get());
    std::copy(corners.begin(), corners.end(), cornerArray.get());
}

bool ObjModel::parseFace(const char* text) {
    // Faces with more than 30 corners keep the fan of their first 30 corners.
    int corner[kMaxCorners][3];
    int n = 0;
    bool cut = false;
    char word[kLineSize];
    int used = 0;
    while (sscanf(text, "%78s%n", word, &used) == 1) {
        text += used;
        if (n == kMaxCorners) {
            cut = true;
            break;
        }
        corner[n][0] = indexOf(word);
        corner[n][1] = -1;
        corner[n][2] = -1;
        if (const char* slash = strchr(word, '/')) {
            corner[n][1] = indexOf(slash + 1);
            if (const char* second = strchr(slash + 1, '/')) corner[n][2] = indexOf(second + 1);
        }
        ++n;
    }
    for (int j = 1; j + 1 < n; ++j) {
        for (int k : {0, j, j + 1}) {
            corners.push_back(corner[k][0]);
            corners.push_back(corner[k][1]);
            corners.push_back(corner[k][2]);
        }
    }
    return cut;
}
