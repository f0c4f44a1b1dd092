#pragma once
#include <filesystem>
#include <string>

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempTree {
public:
    explicit TempTree(const char* tag);
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // Absolute path of a name inside the tree.
    std::string path(const std::string& relative = "") const;
    // Creates a directory (and its parents) inside the tree.
    std::string makeDir(const std::string& relative) const;
    // Writes a text file inside the tree.
    std::string writeText(const std::string& relative, const std::string& text) const;

    std::filesystem::path root;
};

// Changes the working directory for the lifetime of the object.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& path);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    std::filesystem::path saved_;
};

// Runs fn with standard output captured and returns what it printed.
template <typename Fn>
std::string captureStdout(Fn fn);

#include <gtest/gtest.h>

#include <cstdio>

template <typename Fn>
std::string captureStdout(Fn fn) {
    fflush(stdout);
    testing::internal::CaptureStdout();
    fn();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}
