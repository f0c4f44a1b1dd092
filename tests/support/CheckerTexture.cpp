#include "CheckerTexture.h"

#include <GL/gl.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "GlTestContext.h"

void bindCheckerTexture() {
    static GLuint name = 0;
    if (name == 0) {
        static uint8_t texels[64 * 64 * 4];
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64; ++x) {
                uint8_t* t = texels + 4 * (y * 64 + x);
                t[0] = static_cast<uint8_t>(40 + x * 3);
                t[1] = static_cast<uint8_t>(40 + y * 3);
                t[2] = ((x / 8 + y / 8) % 2) ? 230 : 20;
                t[3] = 255;
            }
        }
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    }
    glBindTexture(GL_TEXTURE_2D, name);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnable(GL_TEXTURE_2D);
}

void savePictureIfAsked(const char* name) {
    const char* dir = std::getenv("STRATA_PICTURE_DIR");
    if (!dir || !*dir) return;
    const std::string path = std::string(dir) + "/" + name + ".png";
    saveScreenPng(path.c_str());
}
