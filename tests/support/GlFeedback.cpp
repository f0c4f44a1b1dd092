#include "GlFeedback.h"

#include <gtest/gtest.h>

float FeedbackPolygon::signedArea() const {
    float area = 0.0f;
    const size_t n = vertices.size();
    for (size_t i = 0; i < n; ++i) {
        const FeedbackVertex& a = vertices[i];
        const FeedbackVertex& b = vertices[(i + 1) % n];
        area += a.x * b.y - b.x * a.y;
    }
    return area * 0.5f;
}

std::vector<FeedbackPolygon> capturePolygons(const std::function<void()>& draw) {
    static std::vector<GLfloat> buffer(1 << 22);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint used = glRenderMode(GL_RENDER);
    std::vector<FeedbackPolygon> polygons;
    if (used < 0) {
        ADD_FAILURE() << "feedback buffer overflow";
        return polygons;
    }
    constexpr int kPerVertex = 7;  // x, y, z, r, g, b, a
    auto vertexAt = [&](GLint at) {
        FeedbackVertex v{};
        v.x = buffer[at];
        v.y = buffer[at + 1];
        v.z = buffer[at + 2];
        for (int c = 0; c < 4; ++c) v.rgba[c] = buffer[at + 3 + c];
        return v;
    };
    GLint at = 0;
    while (at < used) {
        const GLint token = static_cast<GLint>(buffer[at++]);
        switch (token) {
            case GL_POLYGON_TOKEN: {
                const GLint n = static_cast<GLint>(buffer[at++]);
                FeedbackPolygon p;
                for (GLint k = 0; k < n; ++k, at += kPerVertex) p.vertices.push_back(vertexAt(at));
                polygons.push_back(std::move(p));
                break;
            }
            case GL_POINT_TOKEN:
            case GL_BITMAP_TOKEN:
            case GL_DRAW_PIXEL_TOKEN:
            case GL_COPY_PIXEL_TOKEN: at += kPerVertex; break;
            case GL_LINE_TOKEN:
            case GL_LINE_RESET_TOKEN: at += 2 * kPerVertex; break;
            case GL_PASS_THROUGH_TOKEN: at += 1; break;
            default:
                ADD_FAILURE() << "unknown feedback token " << token;
                return polygons;
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

float OrthoBox::eyeX(const FeedbackVertex& v) const { return left + v.x / 640.0f * (right - left); }
float OrthoBox::eyeY(const FeedbackVertex& v) const { return bottom + v.y / 480.0f * (top - bottom); }
// Depth d = (z_ndc + 1) / 2 with z_ndc = -z_eye / far.
float OrthoBox::eyeZ(const FeedbackVertex& v) const { return far * (1.0f - 2.0f * v.z); }
