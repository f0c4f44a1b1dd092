#pragma once
#include <string>

// An OpenGL (compatibility profile) context without any window or X server,
// from EGL: Mesa's surfaceless platform when present, else the default
// display, with a small pbuffer or no surface at all. Frames are drawn into
// the virtual screen's off-screen target, as in the instrument.
class HeadlessContext {
public:
    HeadlessContext() = default;
    ~HeadlessContext();
    HeadlessContext(const HeadlessContext&) = delete;
    HeadlessContext& operator=(const HeadlessContext&) = delete;

    // Creates the context and makes it current. False with error() set when
    // no EGL OpenGL context can be had.
    bool create();
    const std::string& error() const { return error_; }

private:
    void* display_ = nullptr;
    void* context_ = nullptr;
    void* surface_ = nullptr;
    std::string error_;
};
