#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "TempStage.h"
#include "UniverseFixture.h"
#include "resources/ImageGene.h"
#include "support/SgiWriter.h"

using ModuleDatabase = UniverseFixture;

// The first word of a line names the module and its help directory; a blank
// line keeps its index with no directory, trailing blank lines make none;
// lines are cut at 78 characters and at most 128 modules are held.
TEST_F(ModuleDatabase, LinesBecomeModulesWithHelpDirectories) {
    stage->makeDirectory("Reactors/Waver");
    ASSERT_TRUE(writeSolidSgi("Reactors/Waver/page1.rgb", 4, 4, 200, 0, 0));
    ASSERT_TRUE(writeSolidSgi("Reactors/Waver/page2.rgb", 4, 4, 0, 200, 0));
    std::string many;  // 130 lines: 128 held
    std::vector<std::string> manyDirs;
    for (int i = 0; i < 130; ++i) {
        std::string name = "M";
        name += std::to_string(i);
        many += name + "\n";
        if (i < 128) manyDirs.push_back("Reactors/" + name);
    }
    const std::string full = many.substr(0, many.find("M128"));  // exactly 128 lines
    const struct {
        std::string modules;
        std::vector<std::string> directories;
        std::string present, absent;
    } cases[] = {
        {"Waver and further words\r\n   Tunnel\t x\n", {"Reactors/Waver", "Reactors/Tunnel"}, "Module:: Tunnel ID:: 1\n", ""},
        {"\nTunnel\n\nWaver3D\n\n  \n", {"", "Reactors/Tunnel", "", "Reactors/Waver3D"},
         "Module:: (no name) ID:: 0\n", "FilesInPath:: path = /*.rgb"},
        {"Waver\nTunnel", {"Reactors/Waver", "Reactors/Tunnel"}, "", ""},
        {"", {}, "", ""},
        {many, manyDirs, "Modules DataBase holds 128 modules, further lines ignored\n", "Module:: M128 "},
        {full, manyDirs, "Module:: M127 ID:: 127\n", "further lines ignored"},
        {std::string(300, 'n') + "\nTunnel\n", {"Reactors/" + std::string(78, 'n'), "Reactors/Tunnel"}, "", ""},
    };
    for (const auto& c : cases) {
        universe.reset();
        const std::string out = build(c.modules);
        SCOPED_TRACE(c.modules.substr(0, 40));
        EXPECT_EQ(universe->cellCount, 11);
        ASSERT_EQ(universe->moduleCount, static_cast<int>(c.directories.size()));
        for (size_t i = 0; i < c.directories.size(); ++i)
            EXPECT_EQ(universe->moduleHelps[i]->directory, c.directories[i]) << i;
        if (c.directories.size() < qelUnivCell::kMaxModules) {
            EXPECT_EQ(universe->moduleHelps[c.directories.size()], nullptr);
        }
        EXPECT_NE(out.find(c.present), std::string::npos);
        EXPECT_TRUE(c.absent.empty() || out.find(c.absent) == std::string::npos) << c.absent;
        if (!c.directories.empty() && c.directories[0] == "Reactors/Waver") {
            EXPECT_EQ(universe->moduleHelps[0]->imageCount(), 2);
        }
    }
}

// A missing modules.db, or one that is not a regular file, ends the process
// before anything is loaded, after the console line and a line on standard
// error naming the directory searched and the bundled stage.
TEST(ModuleDatabaseDeathTest, MissingFileEndsTheProcessBeforeAnyLoading) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const bool fifo : {false, true}) {
        auto run = [fifo] {
            TempStage stage("nomodules");
            stage.makeDirectory("imgs");
            if (fifo && mkfifo("modules.db", 0644) != 0) exit(3);
            alarm(60);  // a FIFO opened the plain way would wait for ever
            dup2(2, 1);  // the line goes to standard output: show it to the matcher
            qelUnivCell universe;
        };
        EXPECT_EXIT(run(), testing::ExitedWithCode(1),
                    std::string(fifo ? "Not a regular file, refused: modules\\.db\n" : "") +
                        " File Open Error modules\\.db\nstrata: no readable modules\\.db in /[^\n]*nomodules[^\n]*"
                        "the bundled stage is stage/[^\n]*\n$")
            << (fifo ? "FIFO" : "missing");
    }
}
