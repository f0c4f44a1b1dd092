#include "GlFiniteCheck.h"

#include <GL/gl.h>

#include <cmath>
#include <cstddef>
#include <initializer_list>

// The linker's --wrap (tests/CMakeLists) sends every glX call of the test
// binary to __wrap_glX, which checks and calls the driver's __real_glX.

namespace {
bool gChecking = false;
long gCalls = 0;
long gNonFinite = 0;
const char* gFirst = "";

void check(const char* name, const GLfloat* values, int n) {
    if (!gChecking) return;
    ++gCalls;
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(values[i])) {
            if (gNonFinite++ == 0) gFirst = name;
            return;
        }
    }
}

void check(const char* name, std::initializer_list<GLfloat> values) { check(name, values.begin(), static_cast<int>(values.size())); }

// Number of floats a glLightfv / glMaterialfv / glTexGenfv parameter holds.
int lightValues(GLenum pname) {
    switch (pname) {
        case GL_AMBIENT: case GL_DIFFUSE: case GL_SPECULAR: case GL_POSITION: case GL_EMISSION:
        case GL_AMBIENT_AND_DIFFUSE: case GL_OBJECT_PLANE: case GL_EYE_PLANE: return 4;
        case GL_SPOT_DIRECTION: case GL_COLOR_INDEXES: return 3;
        default: return 1;
    }
}

// The float components of array `array` for every index of a draw.
void checkArray(const char* name, GLenum array, GLenum pointerName, GLenum sizeName, GLenum typeName,
                GLenum strideName, int fixedSize, GLsizei count, GLenum indexType, const void* indices) {
    if (!glIsEnabled(array)) return;
    GLint size = fixedSize, type = GL_FLOAT, stride = 0;
    if (sizeName) glGetIntegerv(sizeName, &size);
    glGetIntegerv(typeName, &type);
    glGetIntegerv(strideName, &stride);
    void* pointer = nullptr;
    glGetPointerv(pointerName, &pointer);
    if (type != GL_FLOAT || !pointer || !indices) return;
    const size_t step = stride > 0 ? static_cast<size_t>(stride) : sizeof(GLfloat) * static_cast<size_t>(size);
    const auto* base = static_cast<const unsigned char*>(pointer);
    for (GLsizei i = 0; i < count; ++i) {
        size_t index = 0;
        if (indexType == GL_UNSIGNED_INT) index = static_cast<const GLuint*>(indices)[i];
        else if (indexType == GL_UNSIGNED_SHORT) index = static_cast<const GLushort*>(indices)[i];
        else index = static_cast<const GLubyte*>(indices)[i];
        check(name, reinterpret_cast<const GLfloat*>(base + index * step), size);
    }
}
}  // namespace

NonFiniteGlCheck::NonFiniteGlCheck() {
    gChecking = true;
    gCalls = 0;
    gNonFinite = 0;
    gFirst = "";
}
NonFiniteGlCheck::~NonFiniteGlCheck() { gChecking = false; }
long NonFiniteGlCheck::calls() const { return gCalls; }
long NonFiniteGlCheck::nonFinite() const { return gNonFinite; }
const char* NonFiniteGlCheck::firstOffender() const { return gFirst; }

// Parameters, arguments handed on, and the floats to check (a list, or pointer and count).
#define WRAP(fn, params, args, ...)  \
    void __real_##fn params;          \
    void __wrap_##fn params {         \
        check(#fn, __VA_ARGS__);      \
        __real_##fn args;             \
    }

extern "C" {
WRAP(glVertex3f, (GLfloat x, GLfloat y, GLfloat z), (x, y, z), {x, y, z})
WRAP(glVertex3fv, (const GLfloat* v), (v), v, 3)
WRAP(glNormal3f, (GLfloat x, GLfloat y, GLfloat z), (x, y, z), {x, y, z})
WRAP(glNormal3fv, (const GLfloat* v), (v), v, 3)
WRAP(glTexCoord2f, (GLfloat s, GLfloat t), (s, t), {s, t})
WRAP(glTexCoord2fv, (const GLfloat* v), (v), v, 2)
WRAP(glColor3f, (GLfloat r, GLfloat g, GLfloat b), (r, g, b), {r, g, b})
WRAP(glColor4f, (GLfloat r, GLfloat g, GLfloat b, GLfloat a), (r, g, b, a), {r, g, b, a})
WRAP(glTranslatef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z), {x, y, z})
WRAP(glRotatef, (GLfloat angle, GLfloat x, GLfloat y, GLfloat z), (angle, x, y, z), {angle, x, y, z})
WRAP(glScalef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z), {x, y, z})
WRAP(glMultMatrixf, (const GLfloat* m), (m), m, 16)
WRAP(glLoadMatrixf, (const GLfloat* m), (m), m, 16)
WRAP(glLightfv, (GLenum light, GLenum pname, const GLfloat* v), (light, pname, v), v, lightValues(pname))
WRAP(glMaterialfv, (GLenum face, GLenum pname, const GLfloat* v), (face, pname, v), v, lightValues(pname))
WRAP(glMaterialf, (GLenum face, GLenum pname, GLfloat v), (face, pname, v), {v})
WRAP(glTexGenfv, (GLenum coord, GLenum pname, const GLfloat* v), (coord, pname, v), v, lightValues(pname))

void __real_glDrawElements(GLenum, GLsizei, GLenum, const void*);
void __real_glClipPlane(GLenum, const GLdouble*);

void __wrap_glClipPlane(GLenum plane, const GLdouble* equation) {
    const GLfloat asFloat[4] = {static_cast<GLfloat>(equation[0]), static_cast<GLfloat>(equation[1]),
                                static_cast<GLfloat>(equation[2]), static_cast<GLfloat>(equation[3])};
    check("glClipPlane", asFloat, 4);
    __real_glClipPlane(plane, equation);
}
void __wrap_glDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
    if (gChecking) {
        checkArray("glDrawElements vertices", GL_VERTEX_ARRAY, GL_VERTEX_ARRAY_POINTER, GL_VERTEX_ARRAY_SIZE,
                   GL_VERTEX_ARRAY_TYPE, GL_VERTEX_ARRAY_STRIDE, 3, count, type, indices);
        checkArray("glDrawElements normals", GL_NORMAL_ARRAY, GL_NORMAL_ARRAY_POINTER, 0, GL_NORMAL_ARRAY_TYPE,
                   GL_NORMAL_ARRAY_STRIDE, 3, count, type, indices);
        checkArray("glDrawElements texture coordinates", GL_TEXTURE_COORD_ARRAY, GL_TEXTURE_COORD_ARRAY_POINTER,
                   GL_TEXTURE_COORD_ARRAY_SIZE, GL_TEXTURE_COORD_ARRAY_TYPE, GL_TEXTURE_COORD_ARRAY_STRIDE, 2, count,
                   type, indices);
    }
    __real_glDrawElements(mode, count, type, indices);
}
}
