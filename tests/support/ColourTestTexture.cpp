#include "ColourTestTexture.h"

#include <cstdint>
#include <vector>

GLuint bindColourTestTexture() {
    static GLuint name = 0;
    if (name == 0) {
        constexpr int kSize = 64;
        std::vector<uint8_t> texels(kSize * kSize * 4);
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) {
                uint8_t* t = &texels[(y * kSize + x) * 4];
                const bool dark = ((x / 8) + (y / 8)) % 2 == 1;
                const int scale = dark ? 90 : 255;
                t[0] = static_cast<uint8_t>(scale * (kSize - 1 - x) / (kSize - 1));
                t[1] = static_cast<uint8_t>(scale * x / (kSize - 1));
                t[2] = static_cast<uint8_t>(scale * y / (kSize - 1));
                t[3] = 255;
            }
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kSize, kSize, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    }
    glBindTexture(GL_TEXTURE_2D, name);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnable(GL_TEXTURE_2D);
    return name;
}
