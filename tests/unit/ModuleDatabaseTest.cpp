#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "TempStage.h"
#include "UniverseFixture.h"
#include "resources/ImageGene.h"
#include "support/SgiWriter.h"

using ModuleDatabase = UniverseFixture;

TEST_F(ModuleDatabase, TwelveNamesInLoaderOrder) {
    const std::string out = build();
    EXPECT_EQ(universe->moduleCount, 12);
    EXPECT_NE(out.find("Module:: Waver ID:: 0\nLoading Helps ...Reactors/Waver\nImageGene ---Reactors/Waver\n"),
              std::string::npos);
    EXPECT_NE(out.find("Module:: Wave ID:: 11\nLoading Helps ...Reactors/Wave\n"), std::string::npos);
    EXPECT_NE(out.find("Modules DataBase is built \n"), std::string::npos);
    EXPECT_LT(out.find("Modules DataBase is built \n"), out.find("FilesInPath:: path = imgs*\n"));
    for (int i = 0; i < 12; ++i) ASSERT_NE(universe->moduleHelps[i], nullptr);
    EXPECT_EQ(universe->moduleHelps[12], nullptr);
}

TEST_F(ModuleDatabase, FirstWordNamesTheModuleAndItsHelpDirectory) {
    stage->makeDirectory("Reactors/Waver");
    ASSERT_TRUE(writeSolidSgi("Reactors/Waver/page1.rgb", 4, 4, 200, 0, 0));
    ASSERT_TRUE(writeSolidSgi("Reactors/Waver/page2.rgb", 4, 4, 0, 200, 0));
    const std::string out = build("Waver and further words\r\n   Tunnel\t x\n");
    EXPECT_EQ(universe->moduleCount, 2);
    EXPECT_STREQ(universe->moduleHelps[0]->directory, "Reactors/Waver");
    EXPECT_EQ(universe->moduleHelps[0]->imageCount(), 2);
    EXPECT_STREQ(universe->moduleHelps[1]->directory, "Reactors/Tunnel");
    EXPECT_EQ(universe->moduleHelps[1]->imageCount(), 0);
    EXPECT_NE(out.find("Module:: Tunnel ID:: 1\n"), std::string::npos);
}

TEST_F(ModuleDatabase, BlankLinesKeepTheirIndexButTrailingOnesMakeNoModule) {
    const std::string out = build("\nTunnel\n\nWaver3D\n\n  \n");
    EXPECT_EQ(universe->moduleCount, 4);
    EXPECT_STREQ(universe->moduleHelps[0]->directory, "");
    EXPECT_EQ(universe->moduleHelps[0]->imageCount(), 0);
    EXPECT_STREQ(universe->moduleHelps[1]->directory, "Reactors/Tunnel");
    EXPECT_STREQ(universe->moduleHelps[2]->directory, "");
    EXPECT_STREQ(universe->moduleHelps[3]->directory, "Reactors/Waver3D");
    EXPECT_EQ(universe->moduleHelps[4], nullptr);
    EXPECT_NE(out.find("Module:: (no name) ID:: 0\n"), std::string::npos);
    EXPECT_NE(out.find("Module:: Waver3D ID:: 3\n"), std::string::npos);
    // No directory is searched for a line without a name.
    EXPECT_EQ(out.find("FilesInPath:: path = /*.rgb"), std::string::npos);
}

TEST_F(ModuleDatabase, LastLineWithoutLineEndAndEmptyFile) {
    build("Waver\nTunnel");
    EXPECT_EQ(universe->moduleCount, 2);
    universe.reset();
    build("");
    EXPECT_EQ(universe->moduleCount, 0);
    EXPECT_EQ(universe->cellCount, 11);
}

TEST_F(ModuleDatabase, HoldsAtMost128ModulesAndCutsLongLines) {
    std::string modules;
    for (int i = 0; i < 130; ++i) {
        modules += 'M';
        modules += std::to_string(i);
        modules += '\n';
    }
    std::string out = build(modules);
    EXPECT_EQ(universe->moduleCount, 128);
    EXPECT_STREQ(universe->moduleHelps[127]->directory, "Reactors/M127");
    EXPECT_NE(out.find("Modules DataBase holds 128 modules, further lines ignored\n"), std::string::npos);
    EXPECT_EQ(out.find("Module:: M128 "), std::string::npos);

    universe.reset();
    out = build(std::string(300, 'n') + "\nTunnel\n");
    EXPECT_EQ(universe->moduleCount, 2);
    EXPECT_EQ(std::string(universe->moduleHelps[0]->directory), "Reactors/" + std::string(78, 'n'));
    EXPECT_STREQ(universe->moduleHelps[1]->directory, "Reactors/Tunnel");
}

TEST(ModuleDatabaseDeathTest, MissingFileEndsTheProcessBeforeAnyLoading) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto run = [] {
        TempStage stage("nomodules");
        stage.makeDirectory("imgs");
        dup2(2, 1);  // the line goes to standard output: show it to the matcher
        qelUnivCell universe;
    };
    EXPECT_EXIT(run(), testing::ExitedWithCode(1), " File Open Error modules\\.db\n$");
}
