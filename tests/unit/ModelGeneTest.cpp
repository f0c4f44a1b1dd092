#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>

#include "resources/ModelGene.h"
#include "resources/ObjModel.h"
#include "support/TempTree.h"

namespace {

std::unique_ptr<ModelGene> buildGene(const std::string& dir, std::string* log = nullptr) {
    std::unique_ptr<ModelGene> gene;
    const std::string out = captureStdout([&] { gene = std::make_unique<ModelGene>(dir.c_str()); });
    if (log) *log = out;
    return gene;
}

// A model with n vertices (so that models can be told apart).
void writeModel(const TempTree& tree, const std::string& name, int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += "v " + std::to_string(i) + " 0 0\n";
    tree.writeText(name, text);
}

}  // namespace

TEST(ModelGene, ReadsLowerCaseObjFilesAndKeepsASlotForOthers) {
    TempTree tree("mdl");
    const std::string dir = tree.makeDir("mdls");
    writeModel(tree, "mdls/a.obj", 1);
    writeModel(tree, "mdls/b.obj", 2);
    writeModel(tree, "mdls/c.obj", 3);
    writeModel(tree, "mdls/D.OBJ", 4);
    std::string log;
    auto gene = buildGene(dir, &log);
    ASSERT_EQ(gene->models->count, 4);
    for (int k = 0; k < 3; ++k) {
        ASSERT_NE(gene->models->models[k], nullptr);
        EXPECT_EQ(gene->models->models[k]->vertices.size(), static_cast<size_t>(3 * (k + 1)));
    }
    EXPECT_EQ(gene->models->models[3], nullptr);
    EXPECT_EQ(log.rfind("ModelGene ---" + dir + "\nImageGene::Loading Image List " + dir + "\nFilesInPath:: path = " +
                            dir + "/*.obj\nFilesInPath:: filename a.obj\nReading Models ..." + dir + "/a.obj\n",
                        0),
              0u);
    const std::string tail = "Models set 4 models\nImageGene::Images loaded\nImageGene::initialization complete\n";
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
    EXPECT_EQ(gene->selectModel(0.8f), nullptr);  // the upper-case name's slot
    EXPECT_EQ(gene->current, 3);
}

TEST(ModelGene, SelectModelByFraction) {
    TempTree tree("mdl");
    const std::string dir = tree.makeDir("mdls");
    for (int i = 0; i < 3; ++i) writeModel(tree, "mdls/m" + std::to_string(i) + ".obj", i + 1);
    auto gene = buildGene(dir);
    ASSERT_EQ(gene->models->count, 3);
    const struct {
        float f;
        int k;
    } cases[] = {{0.5f, 1}, {1.0f, 0}, {-0.2f, 0}, {0.99f, 2}, {1.4f, 1}, {std::numeric_limits<float>::quiet_NaN(), 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(gene->selectModel(c.f), gene->models->models[c.k]) << c.f;
        EXPECT_EQ(gene->current, c.k) << c.f;
    }
    ObjModel* any = gene->selectModel(1e30f);
    EXPECT_TRUE(any == gene->models->models[0] || any == gene->models->models[1] || any == gene->models->models[2]);
}

TEST(ModelGene, EmptyOrMissingDirectoryGivesANullModel) {
    TempTree tree("mdl");
    tree.makeDir("mdls");
    for (const std::string& dir : {tree.path("mdls"), tree.path("absent"), std::string(120, 'm')}) {
        std::string log;
        auto gene = buildGene(dir, &log);
        EXPECT_EQ(gene->models->count, 0);
        EXPECT_NE(log.find("Models set 0 models\n"), std::string::npos);
        EXPECT_EQ(gene->selectModel(0.5f), nullptr);
        EXPECT_EQ(gene->selectModel(-1.0f), nullptr);
        EXPECT_EQ(gene->current, 0);
    }
}
