#pragma once
#include <memory>

#include "reactor/GeneReactor.h"

class MatrixModeKeeper;

// A circular oscilloscope: two concentric rings of 128 thin lit bars, the
// left channel on radius 1 (blue-violet) and the right channel on radius 1.2
// (green), each bar's height following one sample of the newest sound
// snapshot. Two coloured eye-space lights shine on the bars and the whole
// figure turns about the viewing axis at the z speed of controller 27.
class SoundScape : public GeneReactor {
public:
    static constexpr int kBars = 128;
    static constexpr float kStep = 0.049087346f;  // one 128th of a full turn
    static constexpr float kBarEdge = 0.03f;

    explicit SoundScape(const char* name);  // the name is not used
    ~SoundScape() override;

    void update() override {}
    void draw() override;

    // Length scale along z of the bar for sample byte b: (1 + s) x 100 with
    // s = (b - 128) / 16, so a bar of edge 0.03 is 3 x (1 + s) long (3 at
    // silence, -21 mirrored at byte 0, 26.8 at byte 255).
    static float barScale(int sampleByte);

    std::unique_ptr<MatrixModeKeeper> ownKeeper;
    float sine[kBars];
    float cosine[kBars];

private:
    void setLights();
    void drawRing(int channelOffset, float radius, float red, float green, float blue);
};
