#include <gtest/gtest.h>

#include <string>

#include "UniverseFixture.h"
#include "resources/ImageGene.h"
#include "resources/ModelGene.h"
#include "tools/SgiWriter.h"

using Preloading = UniverseFixture;

TEST_F(Preloading, OneGenePerLowerCasePrefixedEntryInListingOrder) {
    for (const char* dir : {"imgs", "imgsB", "IMGS", "mdls", "MDLSX"}) stage->makeDirectory(dir);
    stage->write("imgs.txt", "not a directory");
    for (const char* file : {"imgs/a.rgb", "imgs/b.rgb"}) ASSERT_TRUE(writeSolidSgi(file, 2, 2, 1, 2, 3));
    for (const char* file : {"imgsB/a.rgb", "IMGS/a.rgb"}) ASSERT_TRUE(writeSolidSgi(file, 4, 4, 1, 2, 3));
    for (const char* name : {"a.obj", "b.obj", "c.obj", "D.OBJ"}) stage->write(std::string("mdls/") + name, "v 1 2 3\n");

    const std::string out = build();
    ASSERT_EQ(universe->imageSetCount, 3);
    const char* directories[] = {"imgs", "imgs.txt", "imgsB"};
    const int images[] = {2, 0, 1};
    for (int i = 0; i < 3; ++i) {
        EXPECT_STREQ(universe->imageSets[i]->directory, directories[i]);
        EXPECT_EQ(universe->imageSets[i]->imageCount(), images[i]);
    }
    EXPECT_EQ(universe->imageSets[3], nullptr);
    ASSERT_EQ(universe->modelSetCount, 1);
    EXPECT_STREQ(universe->modelSets[0]->directory, "mdls");
    EXPECT_EQ(universe->modelSets[0]->models->count, 4);

    EXPECT_NE(out.find("FilesInPath:: path = imgs*\nFilesInPath:: filename IMGS\n"
                       "Generate IGene::Loading Image List from directory imgs\nImageGene ---imgs\n"),
              std::string::npos);
    EXPECT_NE(out.find("FilesInPath::Error in Opening Path imgs.txt/*.rgb\n"), std::string::npos);
    EXPECT_EQ(countOf(out, "Generate IGene::Loading Image List from directory "), 3);
    EXPECT_NE(out.find("Image PreLoading Complete \nqelUnivCell::init -- loadImages()\n"), std::string::npos);
    EXPECT_NE(out.find("Generate ModelGene::Loading Model List from directory mdls\nModelGene ---mdls\n"),
              std::string::npos);
    EXPECT_EQ(countOf(out, "Generate ModelGene::"), 1);
    EXPECT_NE(out.find("Models PreLoading Complete \nqelUnivCell::init -- loadModels()\n"), std::string::npos);
}

// 128 sets of each kind are held; only beyond that are directories left out,
// counted on one line.
TEST_F(Preloading, KeepsAtMost128SetsOfEachKind) {
    for (int sets : {128, 131}) {
        for (int i = 0; i < sets; ++i) {
            char name[16];
            snprintf(name, sizeof name, "%03d", i);
            stage->makeDirectory(std::string("imgs") + name);
            stage->makeDirectory(std::string("mdls") + name);
        }
        universe.reset();
        const std::string out = build();
        EXPECT_EQ(universe->imageSetCount, 128);
        EXPECT_EQ(universe->modelSetCount, 128);
        EXPECT_STREQ(universe->imageSets[127]->directory, "imgs127");
        EXPECT_STREQ(universe->modelSets[127]->directory, "mdls127");
        EXPECT_EQ(countOf(out, "Generate IGene::"), 128);
        const std::string ignored = " sets, directories ignored " + std::to_string(sets - 128) + "\n";
        EXPECT_EQ(countOf(out, "qelUnivCell::loadImages more than 128 image" + ignored), sets > 128) << sets;
        EXPECT_EQ(countOf(out, "qelUnivCell::loadModels more than 128 model" + ignored), sets > 128) << sets;
        EXPECT_EQ(countOf(out, "directories ignored"), sets > 128 ? 2 : 0) << sets;
    }
}
