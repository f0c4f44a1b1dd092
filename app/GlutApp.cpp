#include "app/GlutApp.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <strings.h>

#include "app/KeyBindings.h"
#include "app/ScreenInfo.h"
#include "app/VirtualScreen.h"
#include "app/qelUnivCell.h"

namespace {
VirtualScreen* gScreen = nullptr;
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
    keyboardKey(key, x, y);
}

void special(int key, int x, int y) {
    toScreen(x, y);
    specialKey(key, x, y);
}

void mouse(int, int, int, int) {}

void motion(int, int) { glutPostRedisplay(); }

void setGlutCursor(int cursor) { glutSetCursor(cursor); }

#ifndef STRATA_VERSION
#define STRATA_VERSION "0.1"
#endif

const char kHelp[] =
    "Usage: strata [ARGUMENT [ARGUMENT]]\n"
    "       strata --help | --version\n"
    "\n"
    "Live visuals instrument: up to eleven animated layers played with MIDI,\n"
    "the keyboard with the mouse, a joystick and the sound input.\n"
    "It reads key.db, modules.db, the imgs* and mdls* directories and Reactors/\n"
    "from the working directory: start it in a stage directory (the bundled\n"
    "one is stage/ of the source tree; ./run.sh starts it there).\n"
    "\n"
    "Only the number of arguments counts: none gives 640x480 game mode (or a\n"
    "full-screen window), one requests full screen, two also hide the cursor.\n"
    "Esc quits.\n"
    "\n"
    "Environment: STRATA_WINDOWED=1 (true, yes, on) for a plain 640x480 window;\n"
    "STRATA_AUDIO, STRATA_MIDI, STRATA_JOYSTICK choose the devices;\n"
    "STRATA_IMAGE_MEMORY_MB the image memory budget. README.md tells the rest.\n";
}  // namespace

bool windowedValue(const char* value) {
    if (!value) return false;
    for (const char* word : {"1", "true", "yes", "on"})
        if (strcasecmp(value, word) == 0) return true;
    return false;
}

bool answerInformationRequest(int argc, char** argv, FILE* out) {
    if (argc != 2 || !argv || !argv[1]) return false;
    if (std::strcmp(argv[1], "--help") == 0) {
        fputs(kHelp, out);
        return true;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        fprintf(out, "strata %s\n", STRATA_VERSION);
        return true;
    }
    return false;
}

int runInstrument(int argc, char** argv) {
    // Keep the console lines in order when standard output is a pipe.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (answerInformationRequest(argc, argv, stdout)) return 0;

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

    const bool windowed = windowedValue(std::getenv("STRATA_WINDOWED"));
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
    glutMainLoop();
    return 0;
}
