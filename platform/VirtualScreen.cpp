#include "platform/VirtualScreen.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
VirtualScreen* gActive = nullptr;

bool hasFramebufferObjects() {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (version && version[0] >= '3' && version[0] <= '9' && version[1] == '.') return true;
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    return extensions && std::strstr(extensions, "GL_ARB_framebuffer_object");
}
}  // namespace

VirtualScreen* activeVirtualScreen() { return gActive; }
void setActiveVirtualScreen(VirtualScreen* screen) { gActive = screen; }

bool VirtualScreen::create() {
    if (!hasFramebufferObjects()) return false;
    glGenTextures(1, &colour_);
    glBindTexture(GL_TEXTURE_2D, colour_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kWidth, kHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glBindTexture(GL_TEXTURE_2D, 0);
    glGenRenderbuffers(1, &depth_);
    glBindRenderbuffer(GL_RENDERBUFFER, depth_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, kWidth, kHeight);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour_, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteRenderbuffers(1, &depth_);
        glDeleteTextures(1, &colour_);
        framebuffer_ = depth_ = colour_ = 0;
        return false;
    }
    // Start from a black picture, as a freshly opened window shows.
    glViewport(0, 0, kWidth, kHeight);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return true;
}

void VirtualScreen::bind() {
    if (framebuffer_) {
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
    } else {
        glReadBuffer(GL_BACK);
        glDrawBuffer(GL_BACK);
    }
    glViewport(0, 0, kWidth, kHeight);
}

VirtualScreen::Box VirtualScreen::letterbox(int windowWidth, int windowHeight) {
    if (windowWidth <= 0 || windowHeight <= 0) return {0, 0, kWidth, kHeight};
    const double scale = std::min(static_cast<double>(windowWidth) / kWidth, static_cast<double>(windowHeight) / kHeight);
    const int width = static_cast<int>(kWidth * scale + 0.5);
    const int height = static_cast<int>(kHeight * scale + 0.5);
    return {(windowWidth - width) / 2, (windowHeight - height) / 2, width, height};
}

void VirtualScreen::windowToScreen(int windowWidth, int windowHeight, int wx, int wy, int& sx, int& sy) {
    const Box box = letterbox(windowWidth, windowHeight);
    const double scale = static_cast<double>(box.width) / kWidth;
    sx = static_cast<int>((wx - box.x) / scale);
    sy = static_cast<int>((wy - box.y) / scale);
    sx = std::clamp(sx, 0, kWidth - 1);
    sy = std::clamp(sy, 0, kHeight - 1);
}

void VirtualScreen::present(int windowWidth, int windowHeight) {
    if (!framebuffer_) return;
    const Box box = letterbox(windowWidth, windowHeight);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glDrawBuffer(GL_BACK);
    glDisable(GL_SCISSOR_TEST);
    glViewport(0, 0, windowWidth, windowHeight);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glBlitFramebuffer(0, 0, kWidth, kHeight, box.x, box.y, box.x + box.width, box.y + box.height, GL_COLOR_BUFFER_BIT,
                      GL_LINEAR);
    bind();
}

void VirtualScreen::presentWarped(int windowWidth, int windowHeight, const double matrix[16]) {
    if (!framebuffer_) return;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDrawBuffer(GL_BACK);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glDisable(GL_SCISSOR_TEST);
    glViewport(0, 0, windowWidth, windowHeight);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_FOG);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    for (int p = 0; p < 6; ++p) glDisable(GL_CLIP_PLANE0 + p);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadMatrixd(matrix);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, colour_);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(0.0f, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(1.0f, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(1.0f, 1.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(0.0f, 1.0f);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopAttrib();
    bind();
}

void VirtualScreen::read(uint8_t* rgba) {
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}
