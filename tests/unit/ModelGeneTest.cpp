#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>

#include "TempStage.h"
#include "resources/ModelGene.h"
#include "resources/ObjModel.h"

namespace {

std::unique_ptr<ModelGene> buildGene(const std::string& dir, std::string& log) {
    std::unique_ptr<ModelGene> gene;
    log = captureStdout([&] { gene = std::make_unique<ModelGene>(dir.c_str()); });
    return gene;
}

}  // namespace

TEST(ModelGene, ReadsLowerCaseObjFilesKeepsASlotForOthersAndSelectsByFraction) {
    TempStage stage("mdl");
    std::string vertices;
    for (const char* name : {"a.obj", "b.obj", "c.obj", "D.OBJ"}) {
        vertices += "v 1 2 3\n";  // model k has k + 1 vertices
        stage.write(std::string("mdls/") + name, vertices);
    }
    std::string log;
    auto gene = buildGene("mdls", log);
    ASSERT_EQ(gene->models->count, 4);
    for (int k = 0; k < 3; ++k) {
        ASSERT_NE(gene->models->models[k], nullptr);
        EXPECT_EQ(gene->models->models[k]->vertices.size(), static_cast<size_t>(3 * (k + 1)));
    }
    EXPECT_EQ(gene->models->models[3], nullptr);
    EXPECT_EQ(log.rfind("ModelGene ---mdls\nImageGene::Loading Image List mdls\nFilesInPath:: path = mdls/*.obj\n"
                        "FilesInPath:: filename a.obj\nReading Models ...mdls/a.obj\n",
                        0),
              0u);
    EXPECT_TRUE(log.ends_with("Models set 4 models\nImageGene::Images loaded\nImageGene::initialization complete\n"));

    const std::pair<float, int> cases[] = {{0.5f, 2}, {1.0f, 0}, {-0.2f, 0}, {0.99f, 3}, {1.4f, 1},
                                           {std::numeric_limits<float>::quiet_NaN(), 0}};
    for (const auto& [fraction, k] : cases) {
        EXPECT_EQ(gene->selectModel(fraction), gene->models->models[k].get()) << fraction;
        EXPECT_EQ(gene->current, k) << fraction;
    }
    gene->selectModel(1e30f);
    EXPECT_TRUE(gene->current >= 0 && gene->current < 4) << gene->current;
}

TEST(ModelGene, EmptyMissingOrOverlongDirectoryGivesANullModel) {
    TempStage stage("mdl");
    stage.makeDirectory("mdls");
    for (const std::string& dir : {std::string("mdls"), std::string("absent"), std::string(120, 'm')}) {
        std::string log;
        auto gene = buildGene(dir, log);
        EXPECT_EQ(gene->models->count, 0);
        EXPECT_NE(log.find("Models set 0 models\n"), std::string::npos);
        EXPECT_EQ(gene->selectModel(0.5f), nullptr);
        EXPECT_EQ(gene->selectModel(-1.0f), nullptr);
        EXPECT_EQ(gene->current, 0);
    }
}
