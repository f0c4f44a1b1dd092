#include "operator/OverlayPainter.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include "operator/OperatorOverlay.h"
#include "platform/WindowPixels.h"

namespace {

void quad(float x0, float y0, float x1, float y1) {
    glBegin(GL_QUADS);
    glVertex2f(x0, y0);
    glVertex2f(x1, y0);
    glVertex2f(x1, y1);
    glVertex2f(x0, y1);
    glEnd();
}

// Sizes of the overlay in window pixels. A wide window gets the larger
// font; 640 pixels hold 80 glyphs of 8.
struct Layout {
    explicit Layout(bool large)
        : font(large ? GLUT_BITMAP_9_BY_15 : GLUT_BITMAP_8_BY_13), glyph(large ? 9 : 8), line(large ? 17 : 15) {}

    void* font;
    int glyph;
    int line;
    int margin = 6;
    int barColumn = 34;  // the bars start after the layer rows' text
    int barWidth = 20 * glyph;
};

// Right edge of the dark panel: the longest row, a row with a bar at least
// as long as its bar.
float panelRightEdge(const OperatorOverlay& overlay, const Layout& layout) {
    int longest = 0;
    for (int i = 0; i < overlay.rowCount(); ++i) {
        const OperatorOverlay::Row& row = overlay.row(i);
        int length = 0;
        while (row.text[length]) ++length;
        if (row.bar >= 0.0f && length < layout.barColumn + 22) length = layout.barColumn + 22;
        if (length > longest) longest = length;
    }
    return static_cast<float>(2 * layout.margin + longest * layout.glyph);
}

// A level bar with its peak mark, in the row whose top is at top.
void paintBar(const OperatorOverlay::Row& row, float top, const Layout& layout) {
    const float x0 = static_cast<float>(layout.margin + layout.barColumn * layout.glyph);
    const float y0 = top + 3.0f, y1 = top + layout.line - 3.0f;
    glColor4f(0.3f, 0.3f, 0.3f, 0.9f);
    quad(x0, y0, x0 + layout.barWidth, y1);
    glColor4f(0.3f, 0.85f, 0.4f, 0.95f);
    quad(x0, y0, x0 + layout.barWidth * row.bar, y1);
    if (row.peak >= 0.0f) {
        const float px = x0 + layout.barWidth * row.peak;
        glColor4f(1.0f, 0.35f, 0.2f, 1.0f);
        quad(px - 1.0f, y0 - 1.0f, px + 1.0f, y1 + 1.0f);
    }
}

void paintRow(const OperatorOverlay::Row& row, int i, float panelRight, const Layout& layout) {
    const int margin = layout.margin;
    const int line = layout.line;
    const float top = static_cast<float>(margin + i * line);
    if (row.highlight) {
        glColor4f(0.25f, 0.35f, 0.6f, 0.6f);
        quad(margin - 2.0f, top, panelRight - margin + 2.0f, top + line);
    }
    if (row.bar >= 0.0f) paintBar(row, top, layout);
    glColor4f(row.highlight ? 1.0f : 0.9f, row.highlight ? 1.0f : 0.9f, row.highlight ? 0.6f : 0.9f, 1.0f);
    glRasterPos2f(static_cast<float>(margin), top + line - 4.0f);
    glutBitmapString(layout.font, reinterpret_cast<const unsigned char*>(row.text));
}

}  // namespace

void paintOperatorOverlay(const OperatorOverlay& overlay, int windowWidth, int windowHeight) {
    if (!overlay.visible() || overlay.rowCount() == 0) return;
    const Layout layout(windowWidth >= 1280 && windowHeight >= 960);
    beginWindowPixels(windowWidth, windowHeight);

    const float panelRight = panelRightEdge(overlay, layout);
    const float panelBottom = static_cast<float>(2 * layout.margin + overlay.rowCount() * layout.line);
    glColor4f(0.0f, 0.0f, 0.0f, 0.8f);
    quad(0.0f, 0.0f, panelRight, panelBottom);
    for (int i = 0; i < overlay.rowCount(); ++i) paintRow(overlay.row(i), i, panelRight, layout);

    endWindowPixels();
}
