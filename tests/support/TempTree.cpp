#include "TempTree.h"

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

TempTree::TempTree(const char* tag) {
    static std::atomic<int> serial{0};
    const fs::path base = fs::temp_directory_path();
    for (;;) {
        root = base / (std::string("strata-res-") + tag + "-" + std::to_string(getpid()) + "-" +
                       std::to_string(serial++));
        std::error_code error;
        if (fs::create_directory(root, error)) break;
    }
}

TempTree::~TempTree() {
    std::error_code error;
    fs::remove_all(root, error);
}

std::string TempTree::path(const std::string& relative) const {
    return relative.empty() ? root.string() : (root / relative).string();
}

std::string TempTree::makeDir(const std::string& relative) const {
    fs::create_directories(root / relative);
    return path(relative);
}

std::string TempTree::writeText(const std::string& relative, const std::string& text) const {
    const std::string p = path(relative);
    std::ofstream out(p, std::ios::binary);
    out << text;
    return p;
}

WorkingDirectory::WorkingDirectory(const std::string& path) : saved_(fs::current_path()) {
    fs::current_path(path);
}

WorkingDirectory::~WorkingDirectory() {
    std::error_code error;
    fs::current_path(saved_, error);
}
