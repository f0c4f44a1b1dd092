#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

// A temporary working directory for tests that read files (key.db,
// modules.db, imgs*, mdls*, Reactors/, images, models). The constructor
// creates it and changes into it, so tests name files relative to it; the
// destructor changes back and removes it.
class TempStage {
public:
    explicit TempStage(const std::string& name = "stage");
    ~TempStage();
    TempStage(const TempStage&) = delete;
    TempStage& operator=(const TempStage&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Writes a file relative to the stage (parent directories created) and
    // returns its relative name.
    std::string write(const std::string& relative, const std::string& content) const;
    std::string makeDirectory(const std::string& relative) const;

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

// Runs fn with standard output captured and returns what it printed.
template <typename Fn>
std::string captureStdout(Fn fn) {
    fflush(stdout);
    testing::internal::CaptureStdout();
    fn();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// Runs fn with standard error captured and returns what it wrote.
template <typename Fn>
std::string captureStderr(Fn fn) {
    testing::internal::CaptureStderr();
    fn();
    return testing::internal::GetCapturedStderr();
}

// How often `needle` occurs in `text` (for counting log lines).
inline int countOf(const std::string& text, const std::string& needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}
