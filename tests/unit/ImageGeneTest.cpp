#include <GL/gl.h>
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "TempStage.h"
#include "resources/ImageGene.h"
#include "support/GlTestContext.h"
#include "support/SgiWriter.h"

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
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    return static_cast<GLuint>(bound);
}

int countOf(const std::string& text, const std::string& needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

class ImageGeneTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ensureGlContext()); }

    std::unique_ptr<ImageGene> build(const std::string& dir) {
        std::unique_ptr<ImageGene> gene;
        log = captureStdout([&] { gene = std::make_unique<ImageGene>(dir.c_str()); });
        return gene;
    }
    // Directory imgs with n 2x2 images; image i has red 10 * (i + 1).
    std::unique_ptr<ImageGene> buildSet(int n) {
        stage.makeDirectory("imgs");
        for (int i = 0; i < n; ++i) {
            char file[32];
            snprintf(file, sizeof file, "imgs/img%03d.rgb", i);
            EXPECT_TRUE(writeSolidSgi(file, 2, 2, static_cast<uint8_t>(10 * (i + 1)), 1, 2));
        }
        return build("imgs");
    }

    TempStage stage{"imggene"};
    std::string log;
};

}  // namespace

TEST_F(ImageGeneTest, BuildsTheListAndTheTextureWithTheirLogLines) {
    auto gene = buildSet(2);
    EXPECT_EQ(gene->imageCount(), 2);
    EXPECT_EQ(gene->current, 0);
    EXPECT_EQ(gene->texture->pixels, gene->images->images[0]);
    const std::string id = std::to_string(gene->texture->textureName);
    EXPECT_EQ(log,
              "ImageGene ---imgs\nImageGene::Loading Image List imgs\nFilesInPath:: path = imgs/*.rgb\n"
              "FilesInPath:: filename img000.rgb\nReading Texture ...imgs/img000.rgb\n"
              "Reading Texture ...imgs/img001.rgb\nImageList 2 imgs\nImageGene::Images loaded\nNew Texture ID " +
                  id + "\ntexid for this status " + id + "\ntexture size is 2,2 \nImageGene::initialization complete\n");
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ImageGeneTest, SelectionWrapsAndShowsTheChosenImage) {
    auto gene = buildSet(5);
    ASSERT_EQ(gene->imageCount(), 5);
    const struct {
        bool byFraction;
        float value;
        int index;
    } steps[] = {{true, 0.99f, 4}, {true, 1.0f, 0}, {true, 0.5f, 2}, {true, -0.5f, 0}, {false, 7, 2},
                 {false, -3, 0},   {false, 4, 4},   {true, 2.3f, 1},  {true, 1e30f, -1}, {false, 3, 3}};
    for (const auto& s : steps) {
        if (s.byFraction) gene->selectFraction(s.value);
        else gene->selectIndex(static_cast<int>(s.value));
        if (s.index < 0) {  // a huge fraction: any valid index
            EXPECT_TRUE(gene->current >= 0 && gene->current < 5) << gene->current;
            continue;
        }
        EXPECT_EQ(gene->current, s.index) << s.value;
        EXPECT_EQ(textureRed(*gene), 10 * (s.index + 1)) << s.value;
        EXPECT_EQ(boundTexture(), gene->texture->textureName);
    }
    gene->selectFraction(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(gene->current, 0);
    EXPECT_EQ(gene->images->get(-1), gene->images->images[4]);
    EXPECT_EQ(gene->images->get(5), gene->images->images[0]);
}

TEST_F(ImageGeneTest, PixelsAreSentOnlyWhenTheImageChanges) {
    auto gene = buildSet(3);
    EXPECT_EQ(gene->texture->uploads, 0);
    gene->selectIndex(0);  // the first upload after init sends image 0
    EXPECT_EQ(gene->texture->uploads, 1);
    gene->selectIndex(0);
    gene->selectFraction(0.1f);
    EXPECT_EQ(gene->texture->uploads, 1);
    gene->selectIndex(1);
    gene->selectIndex(1);
    EXPECT_EQ(gene->texture->uploads, 2);
    gene->selectFraction(0.0f);
    EXPECT_EQ(gene->texture->uploads, 3);
}

TEST_F(ImageGeneTest, EmptyMissingOrOverlongDirectoryGivesAUsableEmptyGene) {
    stage.makeDirectory("empty");
    const std::string overlong(ImageGene::kDirectorySize, 'd');
    for (const std::string& dir : {std::string("empty"), std::string("absent"), std::string(), overlong}) {
        auto gene = build(dir);
        EXPECT_EQ(gene->imageCount(), 0);
        EXPECT_NE(log.find("ImageList 0 imgs\n"), std::string::npos);
        EXPECT_NE(log.find("Tex will be NULL imaged\n"), std::string::npos);
        EXPECT_NE(log.find("texture size is 0,0 \n"), std::string::npos);
        if (dir == overlong) {
            EXPECT_STREQ(gene->directory, "");
            EXPECT_NE(log.find("ImageGene::directory name longer than 99 characters, no images\n"), std::string::npos);
            EXPECT_EQ(log.find("FilesInPath"), std::string::npos);
        }
        gene->selectIndex(3);
        gene->selectFraction(0.7f);
        gene->selectIndex(-1);
        EXPECT_EQ(gene->current, 0);
        EXPECT_EQ(gene->texture->uploads, 0);
        EXPECT_EQ(boundTexture(), gene->texture->textureName);
        EXPECT_EQ(gene->images->get(-1), nullptr);
        EXPECT_EQ(gene->images->get(5), nullptr);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// An unreadable image, images of another size than the first readable one
// and an upper-case ending leave null slots that are never sent; the
// unreadable header's size is not the set's size.
TEST_F(ImageGeneTest, UnreadableOtherSizedAndUpperCaseImagesLeaveNullSlots) {
    stage.makeDirectory("imgs");
    ASSERT_TRUE(writeFileBytes("imgs/0bad.rgb", sgiRunLengthRows(2, 1, 1, {{0x09, 0x01, 0x00}})));
    ASSERT_TRUE(writeSolidSgi("imgs/a.rgb", 4, 4, 10, 0, 0));
    ASSERT_TRUE(writeSolidSgi("imgs/b.rgb", 2, 2, 20, 0, 0));
    ASSERT_TRUE(writeSolidSgi("imgs/c.rgb", 8, 8, 30, 0, 0));
    ASSERT_TRUE(writeSolidSgi("imgs/d.rgb", 4, 4, 40, 0, 0));
    ASSERT_TRUE(writeSolidSgi("imgs/E.RGB", 4, 4, 99, 0, 0));
    auto gene = build("imgs");
    ASSERT_EQ(gene->imageCount(), 6);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(gene->images->images[k] != nullptr, k == 1 || k == 4) << k;
    EXPECT_EQ(countOf(log, "Reading Texture ..."), 5);
    EXPECT_NE(log.find("Tex will be NULL imaged\n"), std::string::npos);
    EXPECT_NE(log.find("texture size is 4,4 \n"), std::string::npos);
    EXPECT_EQ(countOf(log, "ImageList::skipped "), 2);
    EXPECT_NE(log.find("ImageList::skipped imgs/b.rgb: size 2x2 differs from the set's 4x4\n"), std::string::npos);
    gene->selectIndex(0);
    EXPECT_EQ(gene->texture->uploads, 0);
    gene->selectIndex(4);
    for (int k : {3, 5, 0}) gene->selectIndex(k);
    EXPECT_EQ(gene->texture->uploads, 1);
    EXPECT_EQ(textureRed(*gene), 40);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ImageGeneTest, ExaminesAtMost128NamesAndCounts127) {
    auto gene = buildSet(200);
    EXPECT_EQ(countOf(log, "Reading Texture ..."), 128);
    EXPECT_NE(log.find("ImageList 127 imgs\n"), std::string::npos);
    EXPECT_EQ(gene->imageCount(), 127);
    EXPECT_NE(gene->images->images[127], nullptr);  // read, never shown
    gene->selectIndex(127);
    EXPECT_EQ(gene->current, 0);
    gene->selectIndex(126);
    EXPECT_EQ(textureRed(*gene), static_cast<uint8_t>(10 * 127));
}
