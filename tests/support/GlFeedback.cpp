#include "GlFeedback.h"

#include <gtest/gtest.h>

std::vector<FeedbackPolygon> capturePolygons(const std::function<void()>& draw) {
    static std::vector<GLfloat> buffer(1 << 22);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint used = glRenderMode(GL_RENDER);
    std::vector<FeedbackPolygon> polygons;
    if (used < 0) ADD_FAILURE() << "feedback buffer overflow";
    constexpr int kPerVertex = 7;  // x, y, z, r, g, b, a
    for (GLint at = 0; at < used;) {
        const GLint token = static_cast<GLint>(buffer[at++]);
        if (token == GL_POLYGON_TOKEN) {
            FeedbackPolygon& p = polygons.emplace_back();
            for (GLint k = static_cast<GLint>(buffer[at++]); k > 0; --k, at += kPerVertex) {
                const GLfloat* f = &buffer[at];
                p.vertices.push_back({f[0], f[1], f[2], {f[3], f[4], f[5], f[6]}});
            }
        } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            at += 2 * kPerVertex;
        } else if (token == GL_PASS_THROUGH_TOKEN) {
            at += 1;
        } else if (token == GL_POINT_TOKEN || token == GL_BITMAP_TOKEN || token == GL_DRAW_PIXEL_TOKEN ||
                   token == GL_COPY_PIXEL_TOKEN) {
            at += kPerVertex;
        } else {
            ADD_FAILURE() << "unknown feedback token " << token;
            break;
        }
    }
    return polygons;
}

void OrthoBox::apply() const {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(left, right, bottom, top, -far, far);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glViewport(0, 0, 640, 480);
}
