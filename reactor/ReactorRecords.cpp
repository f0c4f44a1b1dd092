#include "reactor/ReactorRecords.h"

#include <GL/gl.h>

#include <cmath>

namespace {
constexpr float kDegreesToRadians = 3.1415926f / 180.0f;

float wrapAngle(float a) {
    if (a > 360.0f) a -= 360.0f;
    if (a < -360.0f) a += 360.0f;
    return a;
}

float wrapUnit(float v) {
    if (v > 1.0f) v -= 1.0f;
    if (v < 0.0f) v += 1.0f;
    return v;
}
}  // namespace

void texGenRecord::apply(float a, float b) {
    if (mode == 1) {
        if (accumulate) {
            angleS = wrapAngle(angleS + a);
            angleT = wrapAngle(angleT + b);
        } else {
            angleS = a;
            angleT = b;
        }
        if (drift) {
            offsetS = wrapUnit(offsetS + offsetSpeedS);
            offsetT = wrapUnit(offsetT + offsetSpeedT);
        }
        const float s = angleS * kDegreesToRadians;
        const float t = angleT * kDegreesToRadians;
        planeS[0] = scale * std::cos(s);
        planeS[1] = 0.0f;
        planeS[2] = scale * std::sin(s);
        planeS[3] = offsetS;
        planeT[0] = 0.0f;
        planeT[1] = scale * std::cos(t);
        planeT[2] = scale * std::sin(t);
        planeT[3] = offsetT;
        glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
        glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
        glTexGenfv(GL_S, GL_OBJECT_PLANE, planeS);
        glTexGenfv(GL_T, GL_OBJECT_PLANE, planeT);
        glEnable(GL_TEXTURE_GEN_S);
        glEnable(GL_TEXTURE_GEN_T);
    } else if (mode == 2) {
        glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        glEnable(GL_TEXTURE_GEN_S);
        glEnable(GL_TEXTURE_GEN_T);
    } else {
        glDisable(GL_TEXTURE_GEN_S);
        glDisable(GL_TEXTURE_GEN_T);
    }
}

void MaterialRecord::apply() const {
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, shininess);
}

TransformRecord::TransformRecord() {
    for (int i = 0; i < 16; ++i) matrix[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

void TransformRecord::rotateBall(float x, float y, float speed) {
    if (x == lastX && y == lastY) return;

    // Project the input onto the ball.
    const float d = std::sqrt(x * x + y * y);
    const float z = std::cos(std::fmin(d, 1.0f) * 1.5707963f);
    const float n = std::sqrt(x * x + y * y + z * z);
    const float p[4] = {x / n, y / n, z / n, d / n};

    const float dx = p[0] - previousPoint[0];
    const float dy = p[1] - previousPoint[1];
    const float dz = p[2] - previousPoint[2];
    angle = std::sqrt(dx * dx + dy * dy + dz * dz) * 9.0f * speed;
    const float* q = previousPoint;
    axis[0] = q[1] * p[2] - q[2] * p[1];
    axis[1] = q[2] * p[0] - q[0] * p[2];
    axis[2] = q[0] * p[1] - q[1] * p[0];
    for (int i = 0; i < 4; ++i) previousPoint[i] = p[i];

    const float length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    if (length > 0.0f) {
        // Rotation matrix as glRotatef builds it (column-major), applied
        // before the stored orientation: result = R * M.
        const float ax = axis[0] / length, ay = axis[1] / length, az = axis[2] / length;
        const float c = std::cos(angle * kDegreesToRadians);
        const float s = std::sin(angle * kDegreesToRadians);
        const float t = 1.0f - c;
        float r[16] = {ax * ax * t + c,      ay * ax * t + az * s, ax * az * t - ay * s, 0.0f,
                       ax * ay * t - az * s, ay * ay * t + c,      ay * az * t + ax * s, 0.0f,
                       ax * az * t + ay * s, ay * az * t - ax * s, az * az * t + c,      0.0f,
                       0.0f,                 0.0f,                 0.0f,                 1.0f};
        float result[16];
        for (int col = 0; col < 4; ++col)
            for (int row = 0; row < 4; ++row) {
                float sum = 0.0f;
                for (int k = 0; k < 4; ++k) sum += r[k * 4 + row] * matrix[col * 4 + k];
                result[col * 4 + row] = sum;
            }
        for (int i = 0; i < 16; ++i) matrix[i] = result[i];
        changed = true;
    }
    lastX = x;
    lastY = y;
}
