#include <gtest/gtest.h>

#include <string>

#include "UniverseFixture.h"
#include "resources/ImageGene.h"
#include "resources/ModelGene.h"
#include "resources/ObjModel.h"
#include "support/SgiWriter.h"

namespace {

int countOf(const std::string& text, const std::string& needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

}  // namespace

using Preloading = UniverseFixture;

TEST_F(Preloading, OneGenePerLowerCasePrefixedEntryInListingOrder) {
    stage->makeDirectory("imgs");
    stage->makeDirectory("imgsB");
    stage->makeDirectory("IMGS");
    stage->makeDirectory("mdls");
    stage->makeDirectory("MDLSX");
    stage->write("imgs.txt", "not a directory");
    ASSERT_TRUE(writeSolidSgi("imgs/a.rgb", 2, 2, 1, 2, 3));
    ASSERT_TRUE(writeSolidSgi("imgs/b.rgb", 2, 2, 1, 2, 3));
    ASSERT_TRUE(writeSolidSgi("imgsB/a.rgb", 4, 4, 1, 2, 3));
    ASSERT_TRUE(writeSolidSgi("IMGS/a.rgb", 4, 4, 1, 2, 3));
    for (const char* name : {"a.obj", "b.obj", "c.obj", "D.OBJ"}) stage->write(std::string("mdls/") + name, "v 1 2 3\n");

    const std::string out = build();
    ASSERT_EQ(universe->imageSetCount, 3);
    EXPECT_STREQ(universe->imageSets[0]->directory, "imgs");
    EXPECT_STREQ(universe->imageSets[1]->directory, "imgs.txt");
    EXPECT_STREQ(universe->imageSets[2]->directory, "imgsB");
    EXPECT_EQ(universe->imageSets[3], nullptr);
    EXPECT_EQ(universe->imageSets[0]->imageCount(), 2);
    EXPECT_EQ(universe->imageSets[1]->imageCount(), 0);
    EXPECT_EQ(universe->imageSets[2]->imageCount(), 1);
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
    EXPECT_NE(out.find("Models set 4 models\n"), std::string::npos);
    EXPECT_NE(out.find("Models PreLoading Complete \nqelUnivCell::init -- loadModels()\n"), std::string::npos);
    // The cells start on set 0 of each kind.
    EXPECT_NE(universe->modelSets[0]->selectModel(0.0f), nullptr);
}

TEST_F(Preloading, NoSetDirectoriesGiveZeroCounts) {
    const std::string out = build();
    EXPECT_EQ(universe->imageSetCount, 0);
    EXPECT_EQ(universe->modelSetCount, 0);
    EXPECT_NE(out.find("FilesInPath::Error in Opening Path imgs*\n"), std::string::npos);
    EXPECT_NE(out.find("FilesInPath::Error in Opening Path mdls*\n"), std::string::npos);
    EXPECT_NE(out.find("Image PreLoading Complete \n"), std::string::npos);
    EXPECT_NE(out.find("Models PreLoading Complete \n"), std::string::npos);
}

TEST_F(Preloading, KeepsAtMost128SetsOfEachKind) {
    for (int i = 0; i < 131; ++i) {
        char name[16];
        snprintf(name, sizeof name, "imgs%03d", i);
        stage->makeDirectory(name);
        name[0] = 'm', name[1] = 'd', name[2] = 'l', name[3] = 's';
        stage->makeDirectory(name);
    }
    const std::string out = build();
    EXPECT_EQ(universe->imageSetCount, 128);
    EXPECT_EQ(universe->modelSetCount, 128);
    EXPECT_STREQ(universe->imageSets[127]->directory, "imgs127");
    EXPECT_STREQ(universe->modelSets[127]->directory, "mdls127");
    EXPECT_NE(out.find("qelUnivCell::loadImages more than 128 image sets, directories ignored 3\n"), std::string::npos);
    EXPECT_NE(out.find("qelUnivCell::loadModels more than 128 model sets, directories ignored 3\n"), std::string::npos);
    EXPECT_EQ(countOf(out, "Generate IGene::"), 128);
}
