#include "projection/PinOverlay.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include "platform/WindowPixels.h"
#include "projection/PinEditor.h"

void paintPinOverlay(const PinEditor& editor, const PinBox& box, int windowWidth, int windowHeight,
                     const char* status) {
    beginWindowPixels(windowWidth, windowHeight);

    float px[4], py[4];
    for (int i = 0; i < 4; ++i) {
        const PinPoint& c = editor.pin().corners[i];
        px[i] = static_cast<float>(box.x + c.x * box.width);
        py[i] = static_cast<float>(box.top + c.y * box.height);
    }
    glLineWidth(2.0f);
    glColor4f(1.0f, 0.8f, 0.1f, 0.9f);
    glBegin(GL_LINE_LOOP);
    for (int i = 0; i < 4; ++i) glVertex2f(px[i], py[i]);
    glEnd();
    constexpr float kHalf = 7.0f;
    for (int i = 0; i < 4; ++i) {
        const bool selected = i == editor.selected();
        glColor4f(selected ? 1.0f : 0.2f, selected ? 0.3f : 0.9f, selected ? 0.2f : 1.0f, 0.95f);
        glBegin(selected ? GL_QUADS : GL_LINE_LOOP);
        glVertex2f(px[i] - kHalf, py[i] - kHalf);
        glVertex2f(px[i] + kHalf, py[i] - kHalf);
        glVertex2f(px[i] + kHalf, py[i] + kHalf);
        glVertex2f(px[i] - kHalf, py[i] + kHalf);
        glEnd();
    }
    if (status && *status) {
        int length = 0;
        while (status[length]) ++length;
        glColor4f(0.0f, 0.0f, 0.0f, 0.75f);
        glBegin(GL_QUADS);
        glVertex2f(0.0f, 0.0f);
        glVertex2f(12.0f + 8.0f * length, 0.0f);
        glVertex2f(12.0f + 8.0f * length, 20.0f);
        glVertex2f(0.0f, 20.0f);
        glEnd();
        glColor4f(1.0f, 0.8f, 0.1f, 1.0f);
        glRasterPos2f(6.0f, 15.0f);
        glutBitmapString(GLUT_BITMAP_8_BY_13, reinterpret_cast<const unsigned char*>(status));
    }

    endWindowPixels();
}
