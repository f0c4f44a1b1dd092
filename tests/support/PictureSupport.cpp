#include "PictureSupport.h"

#include <cstdint>

GLuint bindTestTexture() {
    static GLuint name = 0;
    if (name != 0 && glIsTexture(name)) {
        glBindTexture(GL_TEXTURE_2D, name);
        glEnable(GL_TEXTURE_2D);
        return name;
    }
    constexpr int kSize = 64;
    static uint8_t pixels[kSize * kSize * 4];
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            uint8_t* p = &pixels[(y * kSize + x) * 4];
            const int band = (x / 8 + y / 16) % 4;
            const bool square = ((x / 16) + (y / 16)) % 2 == 0;
            p[0] = static_cast<uint8_t>(band == 0 || band == 3 ? 255 : 40);
            p[1] = static_cast<uint8_t>(band == 1 || band == 3 ? 255 : (square ? 140 : 30));
            p[2] = static_cast<uint8_t>(band == 2 ? 255 : (square ? 60 : 200));
            p[3] = 255;
        }
    }
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kSize, kSize, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    glEnable(GL_TEXTURE_2D);
    return name;
}
