#include "TempStage.h"

#include <unistd.h>

#include <fstream>

namespace fs = std::filesystem;

TempStage::TempStage(const std::string& name) {
    previous_ = fs::current_path();
    static int serial = 0;
    path_ = fs::temp_directory_path() /
            ("strata-" + name + "-" + std::to_string(getpid()) + "-" + std::to_string(++serial));
    fs::remove_all(path_);
    fs::create_directories(path_);
    fs::current_path(path_);
}

TempStage::~TempStage() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
    fs::remove_all(path_, ignored);
}

std::string TempStage::write(const std::string& relative, const std::string& content) const {
    const fs::path file = path_ / relative;
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << content;
    return relative;
}

std::string TempStage::makeDirectory(const std::string& relative) const {
    fs::create_directories(path_ / relative);
    return relative;
}
