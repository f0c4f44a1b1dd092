#pragma once
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// The whole content of a file ("" when it cannot be read).
inline std::string readText(const std::filesystem::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}
