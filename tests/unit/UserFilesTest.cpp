#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "TempStage.h"
#include "platform/UserFiles.h"

namespace fs = std::filesystem;

// The working directory while it is writable; otherwise the XDG data
// directory (an absolute XDG_DATA_HOME, else ~/.local/share), created on
// demand; nothing when neither can be had.
TEST(UserFiles, WorkingDirectoryWhileWritableElseTheUsersDataDirectory) {
    TempStage stage("userfiles");
    const fs::path here = stage.path();
    const std::string xdg = (here / "xdg").string(), home = (here / "home").string();
    stage.write("blocked", "a file where a directory would have to be");
    const std::string blocked = (here / "blocked").string();
    const fs::path missing = here / "not-there";
    const struct {
        fs::path working;
        const char *xdgDataHome, *home;
        fs::path expected;
    } cases[] = {
        {here, xdg.c_str(), home.c_str(), here},
        {missing, xdg.c_str(), home.c_str(), here / "xdg" / "strata"},
        {missing, "relative/data", home.c_str(), here / "home" / ".local" / "share" / "strata"},
        {missing, nullptr, home.c_str(), here / "home" / ".local" / "share" / "strata"},
        {missing, "", nullptr, fs::path()},
        {missing, blocked.c_str(), home.c_str(), fs::path()},
    };
    for (const auto& c : cases) {
        fs::remove_all(here / "xdg"), fs::remove_all(here / "home");
        EXPECT_EQ(userFilesDirectory(c.working, c.xdgDataHome, c.home), c.expected) << c.working << " " << c.home;
        EXPECT_TRUE(c.expected.empty() || fs::is_directory(c.expected)) << c.expected;
        EXPECT_FALSE(c.expected == here && fs::exists(here / "xdg")) << "created while the stage is writable";
    }

    // A read-only working directory (root writes everywhere: checked only
    // for other users).
    if (geteuid() != 0) {
        const fs::path readOnly = here / stage.makeDirectory("stage-ro");
        ASSERT_EQ(chmod(readOnly.c_str(), 0555), 0);
        EXPECT_EQ(userFilesDirectory(readOnly, xdg.c_str(), nullptr), here / "xdg" / "strata");
        chmod(readOnly.c_str(), 0755);
    }
}

// Scenes, recordings and the MIDI mapping keep their relative names in a
// writable working directory and move under the data directory otherwise.
TEST(UserFiles, FileNamesStayRelativeWhileTheWorkingDirectoryIsWritable) {
    TempStage stage("userpath");
    const fs::path here = stage.path();
    const std::string xdg = (here / "xdg").string();
    const fs::path name = fs::path("scenes") / "01.scene";
    EXPECT_EQ(userFilePath(name, here, xdg.c_str(), nullptr), name);
    EXPECT_EQ(userFilePath(name, here / "not-there", xdg.c_str(), nullptr), here / "xdg" / "strata" / name);
    EXPECT_EQ(userFilePath(name, here / "not-there", nullptr, nullptr), name) << "nowhere else to go";
}
