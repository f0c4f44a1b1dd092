#include "app/GlutApp.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/ControlBus.h"
#include "app/KeyBindings.h"
#include "app/ScreenInfo.h"
#include "app/VirtualScreen.h"
#include "app/qelUnivCell.h"

namespace {
VirtualScreen* gScreen = nullptr;
std::unique_ptr<ControlBus> gBus;
int gWindowWidth = 640;
int gWindowHeight = 480;

void toScreen(int& x, int& y) {
    int sx = x, sy = y;
    VirtualScreen::windowToScreen(gWindowWidth, gWindowHeight, x, y, sx, sy);
    x = sx;
    y = sy;
}

void display() {
    if (gScreen) gScreen->bind();
    if (qelUnivCell* cell = universe()) cell->frame();
    if (gScreen) gScreen->present(gWindowWidth, gWindowHeight);
    glFinish();
    glutSwapBuffers();
}

void idle() { display(); }

void reshape(int width, int height) {
    gWindowWidth = width > 0 ? width : 1;
    gWindowHeight = height > 0 ? height : 1;
}

void keyboard(unsigned char key, int x, int y) {
    toScreen(x, y);
    if (gBus && gBus->keyboard(key, (glutGetModifiers() & GLUT_ACTIVE_ALT) != 0)) return;
    keyboardKey(key, x, y);
}

void special(int key, int x, int y) {
    toScreen(x, y);
    if (gBus && gBus->special(key)) return;
    specialKey(key, x, y);
}

void mouse(int, int, int, int) {}

void motion(int, int) { glutPostRedisplay(); }

void setGlutCursor(int cursor) { glutSetCursor(cursor); }

bool windowedRequested() {
    const char* value = std::getenv("STRATA_WINDOWED");
    return value && std::strcmp(value, "1") == 0;
}
}  // namespace

int runInstrument(int argc, char** argv) {
    // Keep the console lines in order when standard output is a pipe.
    setvbuf(stdout, nullptr, _IOLBF, 0);

    const char* displayName = std::getenv("DISPLAY");
    if (!displayName || !*displayName) {
        fprintf(stderr, "strata: no display to open (DISPLAY is not set): run it from a desktop session or under xvfb-run\n");
        return 1;
    }

    ScreenInfo* screen = screenInfo();
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGBA | GLUT_DEPTH);
    glutInitWindowSize(screen->width, screen->height);
    glutInitWindowPosition(0, 0);

    const bool windowed = windowedRequested();
    if (!windowed) {
        glutGameModeString("640x480:32@60");
        glutEnterGameMode();
    }
    // Where the screen mode cannot be changed (many desktops, Xvfb) game mode
    // gives no window: open an ordinary one and make it full screen instead.
    if (glutGetWindow() == 0) {
        glutCreateWindow("Strata");
        if (!windowed) glutFullScreen();
    }
    gWindowWidth = glutGet(GLUT_WINDOW_WIDTH);
    gWindowHeight = glutGet(GLUT_WINDOW_HEIGHT);

    gScreen = new VirtualScreen();
    if (!gScreen->create()) {
        printf("Drawing straight into the window: the driver has no framebuffer objects\n");
    }
    setActiveVirtualScreen(gScreen);
    gScreen->bind();

    glutDisplayFunc(display);
    glutIdleFunc(idle);
    glutKeyboardFunc(keyboard);
    glutSpecialFunc(special);
    glutMouseFunc(mouse);
    glutMotionFunc(motion);
    glutReshapeFunc(reshape);
    qelUnivCell::setCursor = setGlutCursor;

    if (argc == 2) {
        glutFullScreen();
    } else if (argc == 3) {
        glutSetCursor(GLUT_CURSOR_NONE);
        glutFullScreen();
    }

    printf("Glut API Version %d\n", 3);
    loadKeyBindings("key.db");
    // OSC, OSCQuery and the MIDI mapping: applied in each frame right after MIDI.
    if (qelUnivCell* cell = universe()) {
        gBus = std::make_unique<ControlBus>(*cell);
        gBus->loadMidiMap();
        gBus->startFromEnvironment();
        cell->inputHook = gBus.get();
    }
    glutMainLoop();
    return 0;
}
