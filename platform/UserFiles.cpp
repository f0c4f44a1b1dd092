#include "platform/UserFiles.h"

#include <unistd.h>

#include <system_error>

#include "platform/Settings.h"

namespace fs = std::filesystem;

namespace {

bool writableDirectory(const fs::path& directory) {
    std::error_code ec;
    return fs::is_directory(directory, ec) && ::access(directory.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

fs::path userFilesDirectory(const fs::path& workingDirectory, const char* xdgDataHome, const char* home) {
    if (writableDirectory(workingDirectory)) return workingDirectory;
    fs::path dataHome;
    if (xdgDataHome && fs::path(xdgDataHome).is_absolute())
        dataHome = xdgDataHome;
    else if (home && *home)
        dataHome = fs::path(home) / ".local" / "share";
    else
        return {};
    const fs::path directory = dataHome / "strata";
    std::error_code ec;
    fs::create_directories(directory, ec);
    return writableDirectory(directory) ? directory : fs::path();
}

namespace {
fs::path workingDirectory() {
    std::error_code ec;
    const fs::path working = fs::current_path(ec);
    return ec ? fs::path() : working;
}
}  // namespace

fs::path userFilesDirectory() {
    const Settings& s = settings();
    return userFilesDirectory(workingDirectory(), s.xdgDataHome.c_str(), s.home.c_str());
}

fs::path userFilePath(const fs::path& relative, const fs::path& working, const char* xdgDataHome, const char* home) {
    const fs::path directory = userFilesDirectory(working, xdgDataHome, home);
    if (directory.empty() || directory == working) return relative;
    return directory / relative;
}

fs::path userFilePath(const fs::path& relative) {
    const Settings& s = settings();
    return userFilePath(relative, workingDirectory(), s.xdgDataHome.c_str(), s.home.c_str());
}
