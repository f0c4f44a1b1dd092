#include "platform/VirtualScreen.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
VirtualScreen* gActive = nullptr;

bool hasFramebufferObjects() {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (version && version[0] >= '3' && version[0] <= '9' && version[1] == '.') return true;
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    return extensions && std::strstr(extensions, "GL_ARB_framebuffer_object");
}

// A whole number of the text from..to, nothing else after it.
bool wholeNumber(const char* from, const char* to, long low, long high, int& out) {
    if (from == to || to - from > 6) return false;
    long value = 0;
    for (const char* c = from; c < to; ++c) {
        if (*c < '0' || *c > '9') return false;
        value = value * 10 + (*c - '0');
    }
    if (value < low || value > high) return false;
    out = static_cast<int>(value);
    return true;
}
}  // namespace

bool parseScreenSize(const char* text, int& width, int& height) {
    if (!text) return false;
    const char* end = text + std::strlen(text);
    const char* x = std::strpbrk(text, "xX");
    int w = 0, h = 0;
    if (!x || !wholeNumber(text, x, 160, 7680, w) || !wholeNumber(x + 1, end, 120, 4320, h)) return false;
    width = w;
    height = h;
    return true;
}

bool parseSampleCount(const char* text, int& samples) {
    int n = 0;
    if (!text || !wholeNumber(text, text + std::strlen(text), 2, 16, n) || (n & (n - 1)) != 0) return false;
    samples = n;
    return true;
}

VirtualScreen* activeVirtualScreen() { return gActive; }
void setActiveVirtualScreen(VirtualScreen* screen) { gActive = screen; }

bool VirtualScreen::create() {
    // Drawn straight into the window, the picture keeps the window's 640x480 viewport.
    if (!hasFramebufferObjects()) {
        width_ = kWidth;
        height_ = kHeight;
        return false;
    }
    glGenTextures(1, &colour_);
    glBindTexture(GL_TEXTURE_2D, colour_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width_, height_, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glBindTexture(GL_TEXTURE_2D, 0);
    glGenRenderbuffers(1, &depth_);
    glBindRenderbuffer(GL_RENDERBUFFER, depth_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width_, height_);
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
        width_ = kWidth;
        height_ = kHeight;
        return false;
    }
    // Start from a black picture, as a freshly opened window shows.
    glViewport(0, 0, width_, height_);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (samplesAsked_ > 0 && createMultisampled()) {
        glBindFramebuffer(GL_FRAMEBUFFER, multisampled_);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    return true;
}

bool VirtualScreen::createMultisampled() {
    GLint most = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &most);
    samplesOffered_ = most;
    if (most < 2) return false;
    const int asked = std::min(samplesAsked_, static_cast<int>(most));
    glGenRenderbuffers(1, &multiColour_);
    glBindRenderbuffer(GL_RENDERBUFFER, multiColour_);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, asked, GL_RGBA8, width_, height_);
    GLint got = 0;
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_SAMPLES, &got);
    glGenRenderbuffers(1, &multiDepth_);
    glBindRenderbuffer(GL_RENDERBUFFER, multiDepth_);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, asked, GL_DEPTH_COMPONENT24, width_, height_);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glGenFramebuffers(1, &multisampled_);
    glBindFramebuffer(GL_FRAMEBUFFER, multisampled_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, multiColour_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, multiDepth_);
    if (got < 2 || glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glDeleteFramebuffers(1, &multisampled_);
        glDeleteRenderbuffers(1, &multiColour_);
        glDeleteRenderbuffers(1, &multiDepth_);
        multisampled_ = multiColour_ = multiDepth_ = 0;
        while (glGetError() != GL_NO_ERROR) {
        }
        return false;
    }
    samples_ = got;
    return true;
}

void VirtualScreen::reportSamples(const char* program) const {
    if (samplesAsked_ <= 0) return;
    if (samples_ > 0)
        std::fprintf(stderr, "%s: MSAA: %d samples (%d asked for)\n", program, samples_, samplesAsked_);
    else
        std::fprintf(stderr, "%s: MSAA: %d samples not offered (the driver's most: %d); drawing without\n", program,
                     samplesAsked_, samplesOffered_);
}

void VirtualScreen::resolve(int width, int height) {
    if (!multisampled_) return;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, multisampled_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer_);
    glDisable(GL_SCISSOR_TEST);
    glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
}

void VirtualScreen::beginRead(int width, int height) {
    if (!multisampled_) return;
    resolve(std::min(width, width_), std::min(height, height_));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
}

void VirtualScreen::endRead() {
    if (!multisampled_) return;
    glBindFramebuffer(GL_FRAMEBUFFER, multisampled_);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
}

void VirtualScreen::bind() {
    if (framebuffer_) {
        glBindFramebuffer(GL_FRAMEBUFFER, multisampled_ ? multisampled_ : framebuffer_);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
    } else {
        glReadBuffer(GL_BACK);
        glDrawBuffer(GL_BACK);
    }
    glViewport(0, 0, width_, height_);
}

VirtualScreen::Box VirtualScreen::letterbox(int windowWidth, int windowHeight, int width, int height) {
    if (windowWidth <= 0 || windowHeight <= 0) return {0, 0, width, height};
    const double scale = std::min(static_cast<double>(windowWidth) / width, static_cast<double>(windowHeight) / height);
    const int w = static_cast<int>(width * scale + 0.5);
    const int h = static_cast<int>(height * scale + 0.5);
    return {(windowWidth - w) / 2, (windowHeight - h) / 2, w, h};
}

void VirtualScreen::windowToScreen(int windowWidth, int windowHeight, int wx, int wy, int& sx, int& sy, int width,
                                   int height) {
    const Box box = letterbox(windowWidth, windowHeight, width, height);
    // A 4:3 picture keeps one scale for both axes.
    const bool fourByThree = width * 3 == height * 4;
    const double scaleX = static_cast<double>(box.width) / kWidth;
    const double scaleY = fourByThree ? scaleX : static_cast<double>(box.height) / kHeight;
    sx = static_cast<int>((wx - box.x) / scaleX);
    sy = static_cast<int>((wy - box.y) / scaleY);
    sx = std::clamp(sx, 0, kWidth - 1);
    sy = std::clamp(sy, 0, kHeight - 1);
}

void VirtualScreen::present(int windowWidth, int windowHeight) {
    if (!framebuffer_) return;
    resolve(width_, height_);
    const Box box = letterbox(windowWidth, windowHeight, width_, height_);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glDrawBuffer(GL_BACK);
    glDisable(GL_SCISSOR_TEST);
    glViewport(0, 0, windowWidth, windowHeight);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glBlitFramebuffer(0, 0, width_, height_, box.x, box.y, box.x + box.width, box.y + box.height, GL_COLOR_BUFFER_BIT,
                      GL_LINEAR);
    bind();
}

void VirtualScreen::presentWarped(int windowWidth, int windowHeight, const double matrix[16]) {
    if (!framebuffer_) return;
    resolve(width_, height_);
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
    beginRead(width_, height_);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    endRead();
}
