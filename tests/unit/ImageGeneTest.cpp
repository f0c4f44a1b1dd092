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

// An unreadable image, images of another size than the last one read and an
// upper-case ending leave null slots, never sent.
TEST_F(ImageGeneTest, UnreadableOtherSizedAndUpperCaseImagesLeaveNullSlots) {
    stage.makeDirectory("imgs");
    ASSERT_TRUE(writeFileBytes("imgs/0bad.rgb", sgiRunLengthRows(2, 1, 1, {{0x09, 0x01, 0x00}})));
    const std::tuple<const char*, int, uint8_t> files[] = {
        {"imgs/a.rgb", 4, 10}, {"imgs/b.rgb", 2, 20}, {"imgs/c.rgb", 8, 30}, {"imgs/d.rgb", 4, 40}, {"imgs/E.RGB", 4, 99}};
    for (const auto& [name, side, red] : files) ASSERT_TRUE(writeSolidSgi(name, side, side, red, 0, 0));
    auto gene = build("imgs");
    ASSERT_EQ(gene->imageCount(), 6);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(gene->images->images[k] != nullptr, k == 1 || k == 4) << k;
    EXPECT_EQ(countOf(log, "Reading Texture ..."), 5);
    EXPECT_NE(log.find("texture size is 4,4 \n"), std::string::npos);
    EXPECT_EQ(countOf(log, "ImageList::skipped "), 2);
    EXPECT_NE(log.find("ImageList::skipped imgs/b.rgb: size 2x2 differs from the set's 4x4\n"), std::string::npos);
    for (int k : {0, 4, 3, 5, 0}) gene->selectIndex(k);
    EXPECT_EQ(gene->texture->uploads, 1);
    EXPECT_EQ(textureRed(*gene), 40);
}

// The image read last sets the set's size, wherever the odd-sized images sort:
// only images of another size than the last one read are dropped, each with
// its line; the texture takes the last one's size, and only the images kept
// stay counted against the memory budget, until the set goes.
TEST_F(ImageGeneTest, TheImageReadLastSetsTheSize) {
    const struct {
        std::vector<std::pair<std::string, int>> files;  // name, side (0: unreadable)
        std::vector<bool> kept;
        int side;
    } cases[] = {
        {{{"0000_big", 8}, {"a", 2}, {"b", 2}, {"c", 2}}, {false, true, true, true}, 2},
        {{{"a", 2}, {"b", 2}, {"z", 4}}, {false, false, true}, 4},
        {{{"a", 2}, {"m", 3}, {"z", 2}}, {true, false, true}, 2},
        {{{"a", 2}, {"b", 2}, {"zz", 0}}, {true, true, false}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.files.front().first + " .. " + c.files.back().first);
        TempStage local("lastsize");
        local.makeDirectory("imgs");
        int dropped = 0, kept = 0;
        for (size_t k = 0; k < c.files.size(); ++k) {
            const auto& [name, side] = c.files[k];
            const std::string path = "imgs/" + name + ".rgb";
            ASSERT_TRUE(side > 0 ? writeSolidSgi(path, side, side, 50, 60, 70) : writeFileBytes(path, {1, 2, 3}));
            dropped += !c.kept[k] && side > 0;
            kept += c.kept[k];
        }
        const size_t heldBefore = ImageMemoryBudget::held();
        auto gene = build("imgs");
        ASSERT_EQ(gene->imageCount(), static_cast<int>(c.files.size()));
        for (size_t k = 0; k < c.files.size(); ++k) EXPECT_EQ(gene->images->images[k] != nullptr, c.kept[k]) << k;
        EXPECT_EQ(std::vector<int>({gene->images->width, gene->texture->width, gene->texture->height}),
                  std::vector<int>(3, c.side));
        EXPECT_EQ(countOf(log, "ImageList::skipped "), dropped) << log;
        EXPECT_EQ(ImageMemoryBudget::held() - heldBefore, static_cast<size_t>(kept) * c.side * c.side * 4);
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
