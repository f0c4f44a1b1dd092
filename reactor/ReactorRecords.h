#pragma once

// Records kept by every GeneReactor.

// Texture-coordinate generation: turning object-linear planes (mode 1) or a
// sphere map (mode 2); mode 0 is off.
struct texGenRecord {
    float planeS[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float planeT[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float angleS = 0.0f;  // degrees
    float angleT = 0.0f;
    float scale = 1.0f;
    float offsetS = 0.0f;
    float offsetT = 0.0f;
    float offsetSpeedS = 0.0f;
    float offsetSpeedT = 0.0f;
    int mode = 0;
    bool accumulate = true;
    bool drift = true;

    // Mode 0: generation off. Mode 1: advance (or set) the angles by a and b
    // degrees, drift the offsets, compute both planes and enable object-linear
    // generation. Mode 2: enable sphere-map generation.
    void apply(float a, float b);
};

// Surface material applied to front and back faces when built.
struct MaterialRecord {
    float ambient[4] = {0.2f, 0.2f, 0.2f, 0.9f};
    float diffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    float specular[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    float shininess = 10.0f;

    void apply() const;
};

// An orientation turned by a virtual trackball.
struct TransformRecord {
    TransformRecord();

    float previousPoint[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float axis[3] = {0.0f, 0.0f, 0.0f};
    float lastX = 0.0f;
    float lastY = 0.0f;
    float matrix[16];  // column-major, starts as identity
    float angle = 0.0f;  // degrees, of the last move
    bool changed = true;

    // Turns the orientation by the move of the ball point from the previous
    // input to (x, y); the angle is the chord length x 9 x speed degrees. A
    // move with a zero-length axis (the first move) leaves it unchanged.
    void rotateBall(float x, float y, float speed);
};
