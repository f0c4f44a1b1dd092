#include "GlTestContext.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include "app/FrameSteps.h"
#include "platform/HeadlessContext.h"
#include "platform/PngWriter.h"
#include "platform/VirtualScreen.h"
#include "reactor/GlSwitches.h"
#include "reactor/MatrixModeKeeper.h"
#include "reactor/Reactor.h"

bool ensureGlContext() {
    static HeadlessContext* context = nullptr;
    static VirtualScreen* screen = nullptr;
    static bool ok = false;
    static bool tried = false;
    if (!tried) {
        tried = true;
        // The context and the screen stay for the whole test run and are
        // never released, like the instrument's window.
        context = new HeadlessContext();
        if (!context->create()) {
            ADD_FAILURE() << "no headless OpenGL context: " << context->error();
            return false;
        }
        screen = new VirtualScreen();
        screen->create();
        screen->bind();
        setActiveVirtualScreen(screen);
        ok = true;
    }
    if (!ok) ADD_FAILURE() << "no headless OpenGL context";
    return ok;
}

void resetGlState() {
    if (activeVirtualScreen()) activeVirtualScreen()->bind();
    const GLenum modes[] = {GL_TEXTURE, GL_PROJECTION, GL_MODELVIEW};
    for (GLenum mode : modes) {
        glMatrixMode(mode);
        GLint depth = 1;
        glGetIntegerv(mode == GL_TEXTURE ? GL_TEXTURE_STACK_DEPTH
                      : mode == GL_PROJECTION ? GL_PROJECTION_STACK_DEPTH
                                              : GL_MODELVIEW_STACK_DEPTH,
                      &depth);
        for (int i = 1; i < depth; ++i) glPopMatrix();
        glLoadIdentity();
    }
    glViewport(0, 0, 640, 480);
    for (GLenum cap : {GL_BLEND, GL_LIGHTING, GL_TEXTURE_2D, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_CLIP_PLANE0,
                       GL_CLIP_PLANE1, GL_ALPHA_TEST, GL_CULL_FACE})
        glDisable(cap);
    glFrontFace(GL_CCW);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

MatrixDepths matrixDepths() {
    MatrixDepths d{0, 0, 0};
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &d.modelview);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &d.projection);
    glGetIntegerv(GL_TEXTURE_STACK_DEPTH, &d.texture);
    return d;
}

std::vector<uint8_t> readScreen() {
    std::vector<uint8_t> rgba(640 * 480 * 4);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 640, 480, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
}

int litPixels(const std::vector<uint8_t>& rgba, int threshold) {
    int lit = 0;
    for (size_t i = 0; i + 3 < rgba.size(); i += 4)
        if (rgba[i] > threshold || rgba[i + 1] > threshold || rgba[i + 2] > threshold) ++lit;
    return lit;
}

bool saveScreenPng(const char* path) {
    std::vector<uint8_t> rgba = readScreen();
    return writePng(path, rgba.data(), 640, 480);
}

void renderReactorFrames(Reactor& reactor, int frames, float timeFactor) {
    MatrixModeKeeper keeper;
    if (!reactor.matrixKeeper) reactor.setMatrixKeeper(&keeper);
    for (int i = 0; i < frames; ++i) {
        pushFrameView(keeper);
        clearOrFade(0.0f);
        setFrameLights();
        switchLighting(false);
        glDisable(GL_TEXTURE_GEN_S);
        glDisable(GL_TEXTURE_GEN_T);
        beginCellLayer(1.0f);
        reactor.setTimeFactor(timeFactor);
        reactor.update();
        reactor.draw();
        glEnable(GL_TEXTURE_2D);
        glDisable(GL_TEXTURE_GEN_S);
        glDisable(GL_TEXTURE_GEN_T);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        popFrameView(keeper);
    }
    if (reactor.matrixKeeper == &keeper) reactor.setMatrixKeeper(nullptr);
    glFinish();
}
