#include "platform/HeadlessContext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include "platform/TextLines.h"

HeadlessContext::~HeadlessContext() {
    if (!display_) return;
    EGLDisplay display = static_cast<EGLDisplay>(display_);
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_) eglDestroyContext(display, static_cast<EGLContext>(context_));
    if (surface_) eglDestroySurface(display, static_cast<EGLSurface>(surface_));
    eglTerminate(display);
}

namespace {

// Mesa's surfaceless platform needs no display server; without it, the
// default display.
EGLDisplay openDisplay() {
    EGLDisplay display = EGL_NO_DISPLAY;
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (listHasWord(clientExtensions, "EGL_MESA_platform_surfaceless")) {
        auto getPlatformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (getPlatformDisplay) display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    }
    if (display == EGL_NO_DISPLAY) display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    return display;
}

// A config with an RGBA pbuffer and a depth buffer (pbuffer set), or else
// any with desktop OpenGL. False when there is none.
bool chooseConfig(EGLDisplay display, EGLConfig& config, bool& pbuffer) {
    const EGLint pbufferConfig[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8,
                                    EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8, EGL_DEPTH_SIZE, 24,
                                    EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    const EGLint anyConfig[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLint found = 0;
    pbuffer = eglChooseConfig(display, pbufferConfig, &config, 1, &found) && found > 0;
    if (pbuffer) return true;
    found = 0;
    return eglChooseConfig(display, anyConfig, &config, 1, &found) && found > 0;
}

}  // namespace

bool HeadlessContext::create() {
    EGLDisplay display = openDisplay();
    if (display == EGL_NO_DISPLAY) {
        error_ = "no EGL display";
        return false;
    }
    EGLint major = 0, minor = 0;
    if (!eglInitialize(display, &major, &minor)) {
        error_ = "eglInitialize failed";
        return false;
    }
    display_ = display;
    if (!eglBindAPI(EGL_OPENGL_API)) {
        error_ = "EGL has no desktop OpenGL";
        return false;
    }
    EGLConfig config = nullptr;
    bool pbuffer = false;
    if (!chooseConfig(display, config, pbuffer)) {
        error_ = "no EGL config with desktop OpenGL";
        return false;
    }

    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) {
        error_ = "eglCreateContext failed";
        return false;
    }
    context_ = context;
    EGLSurface surface = EGL_NO_SURFACE;
    if (pbuffer) {
        const EGLint size[] = {EGL_WIDTH, 640, EGL_HEIGHT, 480, EGL_NONE};
        surface = eglCreatePbufferSurface(display, config, size);
    }
    if (surface != EGL_NO_SURFACE) surface_ = surface;
    if (!eglMakeCurrent(display, surface, surface, context)) {
        error_ = "eglMakeCurrent failed";
        return false;
    }
    return true;
}
