#include "reactor/GeneReactor.h"

#include <GL/gl.h>

#include <cmath>

#include "reactor/MatrixModeKeeper.h"
#include "resources/ImageGene.h"

GeneReactor::GeneReactor() {
    texGen = std::make_unique<texGenRecord>();
    material = std::make_unique<MaterialRecord>();
    material->apply();
    transform = std::make_unique<TransformRecord>();
}

GeneReactor::~GeneReactor() = default;

void GeneReactor::selectImage(int set) {
    ImageGene* images = imageSet(set);
    if (!images) return;  // no image set loaded: nothing to select
    images->setClipControls(controlFloat(ClipPlayer::kClipSpeedEntry), controlFloat(ClipPlayer::kClipPositionEntry));
    if (controlFloat(89) < 0.0f) {
        images->selectFraction(controlFloat(25) * 0.5f + 0.5f);
        return;
    }
    const int count = images->imageCount();
    const float step = count > 0 ? 1.0f / static_cast<float>(count) : 0.1f;
    imagePosition += controlFloat(25) * step;
    if (imagePosition < 0.0f) imagePosition = 0.99f;
    if (imagePosition > 0.99f) imagePosition = 0.0f;
    images->selectFraction(imagePosition);
}

void GeneReactor::textureMotion(float scale, float speed) {
    const float sx = (controlFloat(30) + 1.0f) * scale;
    const float sy = (controlFloat(94) + 1.0f) * scale;
    texScrollS += controlFloat(29) * 0.03f * speed * timeFactor;
    texScrollT += controlFloat(93) * 0.03f * speed * timeFactor;
    if (texScrollS > 1.0f) texScrollS -= 1.0f;
    if (texScrollS < 0.0f) texScrollS += 1.0f;
    if (texScrollT > 1.0f) texScrollT -= 1.0f;
    if (texScrollT < 0.0f) texScrollT += 1.0f;
    keeper().pushIdentity(GL_TEXTURE);
    glTranslatef(texScrollS, texScrollT, 0.0f);
    glScalef(sx, sy, 1.0f);
    keeper().restore();
}

void GeneReactor::textureGen() {
    float a = controlFloat(31);
    float b = controlFloat(95);
    if (std::fabs(a) < 0.05f) {
        glDisable(GL_TEXTURE_GEN_S);
        glDisable(GL_TEXTURE_GEN_T);
        return;
    }
    const float millis = static_cast<float>(frameMillisByte());
    a = millis * 0.03f * timeFactor * a;
    b = millis * 0.03f * timeFactor * b;
    if (std::fabs(a) < 0.01f) a = 0.0f;
    if (std::fabs(b) < 0.01f) b = 0.0f;
    texAngleS += a;
    texAngleT += b;
    if (texAngleS > 360.0f) texAngleS -= 360.0f;
    if (texAngleS < -360.0f) texAngleS += 360.0f;
    if (texAngleT > 360.0f) texAngleT -= 360.0f;
    if (texAngleT < -360.0f) texAngleT += 360.0f;

    const float pi = 3.1415926f;
    const float thetaS = texAngleS * pi / 180.0f;
    const float thetaT = texAngleT * pi / 180.0f;
    const float planeS[4] = {std::cos(thetaS) * 0.5f / 2.6f, 0.0f, std::sin(thetaS) * 0.5f / 2.6f, 0.5f};
    const float planeT[4] = {0.0f, std::cos(thetaT) * 0.5f / 2.0f, std::sin(thetaT) * 0.5f / 2.0f, 0.5f};
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    glTexGenfv(GL_S, GL_OBJECT_PLANE, planeS);
    glTexGenfv(GL_T, GL_OBJECT_PLANE, planeT);
}

void GeneReactor::pushObjectMotion(bool rotateY, bool rotateX, bool rotateZ, bool translate) {
    angleX += controlFloat(90) * timeFactor;
    angleY += controlFloat(26) * timeFactor;
    angleZ += controlFloat(27) * timeFactor;
    if (angleX > 360.0f) angleX -= 360.0f;
    if (angleY > 360.0f) angleY -= 360.0f;
    if (angleZ > 360.0f) angleZ -= 360.0f;
    const float offsetX = controlFloat(28) * 5.0f;
    const float offsetY = controlFloat(92) * -5.0f;
    const float offsetZ = controlFloat(91) * 5.0f;

    keeper().push(GL_MODELVIEW);
    if (translate) glTranslatef(offsetX, offsetY, offsetZ);
    if (rotateZ) glRotatef(angleZ, 0.0f, 0.0f, 1.0f);
    if (rotateY) glRotatef(angleY, 0.0f, 1.0f, 0.0f);
    if (rotateX) glRotatef(angleX, 1.0f, 0.0f, 0.0f);
    keeper().restore();
}
