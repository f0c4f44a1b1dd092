#pragma once
#include <memory>

#include "reactor/GeneReactor.h"

class MatrixModeKeeper;
struct MaterialRecord;

// The viewer inside a curved tube: a tenth of the arc of a very large torus,
// drawn as textured triangle strips from an identity model-view matrix, with
// the texture scrolling around and along the tube and the tube twisting about
// the viewing axis. The texture is whatever is bound.
//
// Controllers (own channel, float values):
//   19 scroll around the tube, 83 scroll along it (0.03 per frame at full value)
//   24/88 twist (the length of (24, 88) times a full turn)
class TorusTunnel : public GeneReactor {
public:
    TorusTunnel(float majorRadius, float tubeRadius, int rings, int points);
    ~TorusTunnel() override;

    void init() override;  // builds the tube; the constructor runs it
    void update() override {}
    void draw() override;

    int vertexIndex(int ring, int point) const { return ring * points + point; }

    std::unique_ptr<MaterialRecord> tubeMaterial;
    std::unique_ptr<MatrixModeKeeper> ownKeeper;
    float scrollU = 0.0f;
    float scrollV = 0.0f;
    std::unique_ptr<float[]> texCoords;  // 2 floats per vertex
    std::unique_ptr<float[]> vertices;   // 3 floats per vertex
    int rings;
    int points;
    float majorRadius;
    float tubeRadius;
};
