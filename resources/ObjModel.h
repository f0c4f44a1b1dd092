#pragma once
#include <memory>
#include <vector>

// A triangle mesh read from a Wavefront OBJ file: flat position, texture
// coordinate and normal arrays, and corner index triples (vertex, texture
// coordinate, normal; 0-based, -1 = absent), three corners per triangle.
// Every index stored in the corner array lies inside its array, so drawing
// code may index the arrays without checks.
class ObjModel {
public:
    explicit ObjModel(const char* path);
    ObjModel(const ObjModel&) = delete;
    ObjModel& operator=(const ObjModel&) = delete;

    // Growable lists filled while parsing.
    std::vector<float> vertices;
    std::vector<float> normals;
    std::vector<float> texCoords;
    std::vector<int> corners;

    // Fixed copies made once parsing is done; drawing indexes these.
    std::unique_ptr<float[]> vertexArray;
    std::unique_ptr<float[]> texCoordArray;
    std::unique_ptr<float[]> normalArray;
    std::unique_ptr<int[]> cornerArray;

    float maximum[3] = {-100000.0f, -100000.0f, -100000.0f};
    float minimum[3] = {100000.0f, 100000.0f, 100000.0f};
    float centre[3] = {0.0f, 0.0f, 0.0f};
    float scale = 1.0f;

    // Length of the corner list (integers, three per corner).
    int cornerLength() const { return static_cast<int>(corners.size()); }

private:
    // The steps of reading a model, in order. readFile fills the lists and
    // returns how many faces lost corners; dropTrianglesOutsideLists returns
    // how many triangles it dropped.
    int readFile(const char* path);
    int dropTrianglesOutsideLists();
    // The box, its centre and the scale that fits the model into it.
    void findBoundsAndScale();
    void printBoundingBox() const;
    void makeFixedArrays();

    // Appends the fan of one face line (the text after "f"); returns true
    // when the face had more corners than are held.
    bool parseFace(const char* text);
};
