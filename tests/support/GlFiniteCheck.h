#pragma once

// Catches non-finite numbers on their way into OpenGL. The test binary is
// linked with the linker's --wrap for the entry points that the reactors feed
// with computed numbers (vertices, normals, texture coordinates, colours,
// matrix operations, lights, materials, texture-generation and clip planes, and the
// vertex, normal and texture-coordinate arrays of glDrawElements); while a
// NonFiniteGlCheck is alive every such call is checked before it goes on to
// the driver. (The driver itself drops a NaN vertex quietly, so the picture
// or the feedback buffer cannot show it.)
class NonFiniteGlCheck {
public:
    NonFiniteGlCheck();
    ~NonFiniteGlCheck();
    NonFiniteGlCheck(const NonFiniteGlCheck&) = delete;
    NonFiniteGlCheck& operator=(const NonFiniteGlCheck&) = delete;

    // Calls checked and calls with a number that was NaN or infinite.
    long calls() const;
    long nonFinite() const;
    // Name of the first entry point that received one ("" when none did).
    const char* firstOffender() const;
};
