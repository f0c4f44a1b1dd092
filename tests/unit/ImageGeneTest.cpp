#include <GL/gl.h>
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "TempStage.h"
#include "resources/ImageGene.h"
#include "resources/ImageMemoryBudget.h"
#include "support/GlTestContext.h"
#include "tools/SgiWriter.h"

namespace {

// The red byte of the first texel of the gene's texture as OpenGL holds it.
int textureRed(ImageGene& gene) {
    glBindTexture(GL_TEXTURE_2D, gene.texture->textureName);
    std::vector<unsigned char> texels(static_cast<size_t>(gene.texture->width) * gene.texture->height * 4 + 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return texels[0];
}

GLuint boundTexture() {
    GLint bound = 0;
    return glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound), static_cast<GLuint>(bound);
}

class ImageGeneTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ensureGlContext()); }
    void TearDown() override { EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)); }

    std::unique_ptr<ImageGene> build(const std::string& dir) {
        std::unique_ptr<ImageGene> gene;
        log = captureStdout([&] { gene = std::make_unique<ImageGene>(dir.c_str()); });
        return gene;
    }
    // Directory imgs with n 2x2 images; image i has red 10 * (i + 1).
    std::unique_ptr<ImageGene> buildSet(int n) {
        stage.makeDirectory("imgs");
        for (int i = 0; i < n; ++i)
            EXPECT_TRUE(writeSolidSgi("imgs/" + std::to_string(1000 + i) + ".rgb", 2, 2, uint8_t(10 * (i + 1)), 1, 2));
        return build("imgs");
    }

    TempStage stage{"imggene"};
    std::string log;
};

}  // namespace

// Selection wraps and binds; pixels are sent only when the image changes.
TEST_F(ImageGeneTest, SelectionWrapsAndSendsOnlyChangedImages) {
    auto gene = buildSet(5);
    const std::tuple<bool, float, int, int> steps[] = {  // by fraction?, value, image shown, uploads so far
        {false, 0, 0, 1},   {true, 0.1f, 0, 1}, {true, 0.99f, 4, 2}, {true, 1.0f, 0, 3}, {true, 0.5f, 2, 4},
        {true, -0.5f, 0, 5}, {false, 7, 2, 6},  {false, 7, 2, 6},    {false, -3, 0, 7}, {false, 4, 4, 8},
        {true, 2.3f, 1, 9}, {true, std::numeric_limits<float>::quiet_NaN(), 0, 10}};
    EXPECT_EQ(gene->texture->uploads, 0);
    for (const auto& [byFraction, value, index, uploads] : steps) {
        if (byFraction) gene->selectFraction(value);
        else gene->selectIndex(static_cast<int>(value));
        EXPECT_EQ(gene->current, index) << value;
        EXPECT_EQ(gene->texture->uploads, uploads) << value;
        EXPECT_EQ(boundTexture(), gene->texture->textureName);
        EXPECT_EQ(textureRed(*gene), 10 * (index + 1)) << value;
    }
    gene->selectFraction(1e30f);
    EXPECT_TRUE(gene->current >= 0 && gene->current < 5) << gene->current;
}

TEST_F(ImageGeneTest, EmptyMissingOrOverlongDirectoryGivesAUsableEmptyGene) {
    stage.makeDirectory("empty");
    const std::string overlong(ImageGene::kDirectorySize, 'd');
    for (const std::string& dir : {std::string("empty"), std::string("absent"), std::string(), overlong}) {
        auto gene = build(dir);
        for (const char* line : {"ImageList 0 imgs\n", "Tex will be NULL imaged\n", "texture size is 0,0 \n"})
            EXPECT_NE(log.find(line), std::string::npos) << dir << ": " << line;
        EXPECT_EQ(log.find("ImageGene::directory name longer than 99 characters, no images\n") != std::string::npos,
                  dir == overlong);
        EXPECT_EQ(log.find("FilesInPath") == std::string::npos, dir == overlong || dir.empty()) << "no search";
        for (int k : {3, -1}) gene->selectIndex(k);
        gene->selectFraction(0.7f);
        EXPECT_EQ(gene->current, 0);
        EXPECT_EQ(gene->texture->uploads, 0);
        EXPECT_EQ(boundTexture(), gene->texture->textureName);
    }
}

// The image read last sets the set's size, wherever the odd-sized images sort:
// only images of another size than the last one read are dropped, each with
// its line; unreadable images and upper-case endings leave null slots too,
// never sent. The texture takes the last one's size, and only the images kept
// stay counted against the memory budget, until the set goes.
TEST_F(ImageGeneTest, TheImageReadLastSetsTheSize) {
    const struct {
        std::vector<std::pair<std::string, int>> files;  // name, side (0: unreadable)
        std::string kept;
        int side;
    } cases[] = {
        {{{"0000_big.rgb", 8}, {"a.rgb", 2}, {"b.rgb", 2}, {"c.rgb", 2}}, "-kkk", 2},
        {{{"a.rgb", 2}, {"b.rgb", 2}, {"z.rgb", 4}}, "--k", 4},
        {{{"a.rgb", 2}, {"m.rgb", 3}, {"z.rgb", 2}}, "k-k", 2},
        {{{"a.rgb", 2}, {"b.rgb", 2}, {"zz.rgb", 0}}, "kk-", 2},
        {{{"0bad.rgb", 0}, {"a.rgb", 4}, {"b.rgb", 2}, {"c.rgb", 8}, {"d.rgb", 4}, {"E.RGB", 4}}, "-k--k-", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.files.front().first + " .. " + c.files.back().first);
        TempStage local("lastsize");
        local.makeDirectory("imgs");
        int dropped = 0, kept = 0;
        for (const auto& [name, side] : c.files)
            ASSERT_TRUE(side > 0 ? writeSolidSgi("imgs/" + name, side, side, 50, 60, 70) : writeFileBytes("imgs/" + name, {1, 2, 3}));
        const size_t heldBefore = ImageMemoryBudget::held();
        auto gene = build("imgs");
        ASSERT_EQ(gene->imageCount(), static_cast<int>(c.files.size()));
        for (size_t k = 0; k < c.files.size(); ++k) {
            const auto& [name, side] = c.files[k];
            EXPECT_EQ(gene->images->images[k] != nullptr, c.kept[k] == 'k') << k;
            kept += c.kept[k] == 'k';
            if (c.kept[k] == 'k' || side == 0 || !name.ends_with(".rgb")) continue;
            ++dropped;
            const std::string s = std::to_string(side), n = std::to_string(c.side);
            EXPECT_NE(log.find("ImageList::skipped imgs/" + name + ": size " + s + "x" + s + " differs from the set's " + n +
                               "x" + n + "\n"),
                      std::string::npos);
        }
        EXPECT_EQ(std::vector<int>({gene->images->width, gene->texture->width, gene->texture->height}),
                  std::vector<int>(3, c.side));
        EXPECT_EQ(countOf(log, "ImageList::skipped "), dropped) << log;
        EXPECT_EQ(countOf(log, "Reading Texture ..."), static_cast<int>(c.files.size()) - (c.kept.size() == 6));
        EXPECT_EQ(ImageMemoryBudget::held() - heldBefore, static_cast<size_t>(kept) * c.side * c.side * 4);
        for (size_t k = 0; k < c.files.size(); ++k) gene->selectIndex(static_cast<int>(k));
        EXPECT_EQ(gene->texture->uploads, kept);
        gene.reset();
        EXPECT_EQ(ImageMemoryBudget::held(), heldBefore);
    }
}

// The whole stage's images share one memory budget: an image that would go
// beyond it is refused before its pixels are allocated, with one line, and
// its slot stays empty (one that fills it exactly is taken); memory given
// back by a destroyed set can be taken again.
TEST_F(ImageGeneTest, ImagesBeyondTheMemoryBudgetAreRefused) {
    struct RestoreLimit {
        size_t limit = ImageMemoryBudget::limit();
        ~RestoreLimit() { ImageMemoryBudget::setLimit(limit); }
    } restore;
    const size_t image = 4 * 4 * 4;
    ImageMemoryBudget::setLimit(ImageMemoryBudget::held() + 3 * image);
    stage.makeDirectory("imgs");
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(writeSolidSgi("imgs/" + std::to_string(i) + ".rgb", 4, 4, 9, 9, 9));
    testing::internal::CaptureStderr();
    auto first = build("imgs");
    const std::string refusals = testing::internal::GetCapturedStderr();
    for (int k = 0; k < 5; ++k) EXPECT_EQ(first->images->images[k] != nullptr, k < 3) << k;
    EXPECT_EQ(countOf(refusals, "SgiImage::readTexture refused ("), 2) << refusals;
    EXPECT_NE(refusals.find("imgs/4.rgb\n"), std::string::npos);
    EXPECT_EQ(ImageMemoryBudget::left(), 0u);
    testing::internal::CaptureStderr();
    auto second = build("imgs");  // nothing until the first is gone
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(second->images->images[0], nullptr);
    first.reset();
    auto third = build("imgs");
    EXPECT_NE(third->images->images[2], nullptr);
}
