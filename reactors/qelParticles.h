#pragma once
#include <memory>

#include "reactor/Gene.h"

class Reactor;

class MatrixModeKeeper;

// A fixed pool of particles born on a point or on the surface of an
// ellipsoid. Each step a particle moves by its velocity, gains the
// acceleration, is slowed by the damping and ages; a particle whose life runs
// out is reborn at once on a random unit direction (drawn from qelRand()).
// The owner sets every emission parameter through the setters on every frame.
//
// Record layout, kStride floats per particle: position x, y, z; velocity
// x, y, z; three unused floats; life.
class qelParticles : public Gene {
public:
    static constexpr int kStride = 10;
    static constexpr int kPosition = 0;
    static constexpr int kVelocity = 3;
    static constexpr int kLife = 9;

    // pool below 1 is taken as 1, so there is always one record to visit.
    explicit qelParticles(int pool);
    ~qelParticles() override;

    // Default emission parameters, and every active particle dies so that all
    // are born on the next update.
    void init() override;
    // Sprites: one textured, coloured quad per active particle.
    void draw() override;
    // Integrate, age, and rebirth the particles whose life went below 0.
    void update() override;

    // The controllers shared by the particle reactors, read on the reactor's
    // channel: 18 active share, 85 gravity, 21 damping, 22/86 spread, 23/87
    // speed, 19/83 life, 81/17 centre.
    void followControls(const Reactor& reactor);
    void setSize(float a, float b);
    void setActive(float fraction);
    void setGravity(float g);
    void setDamping(float d);
    void setSpread(float a, float b);
    void setSpeed(float a, float b);
    void setLife(float kill, float variation);
    void setCentre(float a, float b);

    // The birth direction of three generator draws r (0..32767): the vector
    // r / 16386 - 1 scaled to unit length. The one vector of length zero
    // (every draw 16386) has no direction; it is born straight up, (0, 1, 0),
    // the way the fountain points, rather than dividing by zero. (No state of
    // the process-wide generator gives three 16386 in a row, so this guards
    // only against a future change of generator.)
    static void unitDirection(int r0, int r1, int r2, float out[3]);

    float* record(int i) { return &particles[i * stride]; }
    const float* record(int i) const { return &particles[i * stride]; }

    std::unique_ptr<float[]> particles;
    int active = 1;
    int stride = kStride;
    int pool = 1;
    float timeStep = 1.0f;
    float acceleration[3] = {};
    float damping[3] = {};
    float spread[3] = {};
    float speed[3] = {};
    float centre[3] = {};
    float lifeVariation = 0.0f;
    std::unique_ptr<MatrixModeKeeper> keeper;
    float halfWidth = 0.1f;
    float halfHeight = 0.1f;

private:
    void rebirth(float* p);
};
