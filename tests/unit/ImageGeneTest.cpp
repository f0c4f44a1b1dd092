#include <GL/gl.h>
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "resources/ImageGene.h"
#include "support/GlTestContext.h"
#include "support/SgiWriter.h"
#include "support/TempTree.h"

namespace {

// The red byte of the first texel of the gene's texture as OpenGL holds it.
int textureRed(ImageGene& gene) {
    glBindTexture(GL_TEXTURE_2D, gene.texture->textureName);
    std::vector<unsigned char> texels(static_cast<size_t>(gene.texture->width) * gene.texture->height * 4 + 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return texels[0];
}

std::unique_ptr<ImageGene> buildGene(const std::string& dir, std::string* log = nullptr) {
    std::unique_ptr<ImageGene> gene;
    const std::string out = captureStdout([&] { gene = std::make_unique<ImageGene>(dir.c_str()); });
    if (log) *log = out;
    return gene;
}

int countOf(const std::string& text, const std::string& needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

// A directory of n 2x2 images; image i has red 10 * (i + 1).
std::string writeSet(const TempTree& tree, const std::string& name, int n) {
    const std::string dir = tree.makeDir(name);
    for (int i = 0; i < n; ++i) {
        char file[32];
        snprintf(file, sizeof file, "/img%03d.rgb", i);
        EXPECT_TRUE(writeSolidSgi(dir + file, 2, 2, static_cast<uint8_t>(10 * (i + 1)), 1, 2));
    }
    return dir;
}

class ImageGeneTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ensureGlContext()); }
};

}  // namespace

TEST_F(ImageGeneTest, BuildsTheListAndTheTextureWithTheirLogLines) {
    TempTree tree("imggene");
    const std::string dir = writeSet(tree, "imgs", 2);
    std::string log;
    auto gene = buildGene(dir, &log);
    EXPECT_EQ(gene->imageCount(), 2);
    EXPECT_EQ(gene->current, 0);
    EXPECT_EQ(gene->images->width, 2);
    EXPECT_EQ(gene->images->height, 2);
    EXPECT_EQ(gene->texture->pixels, gene->images->images[0]);
    EXPECT_TRUE(gene->texture->dirty);
    const std::string id = std::to_string(gene->texture->textureName);
    const std::string expected = "ImageGene ---" + dir + "\nImageGene::Loading Image List " + dir +
                                 "\nFilesInPath:: path = " + dir + "/*.rgb\nFilesInPath:: filename img000.rgb\n" +
                                 "Reading Texture ..." + dir + "/img000.rgb\nReading Texture ..." + dir +
                                 "/img001.rgb\nImageList 2 imgs\nImageGene::Images loaded\nNew Texture ID " + id +
                                 "\ntexid for this status " + id + "\ntexture size is 2,2 \n" +
                                 "ImageGene::initialization complete\n";
    EXPECT_EQ(log, expected);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ImageGeneTest, SelectionWrapsAndShowsTheChosenImage) {
    TempTree tree("imggene");
    auto gene = buildGene(writeSet(tree, "imgs", 5));
    ASSERT_EQ(gene->imageCount(), 5);
    const struct {
        bool byFraction;
        float value;
        int index;
    } steps[] = {{true, 0.99f, 4}, {true, 1.0f, 0}, {true, 0.5f, 2}, {true, -0.5f, 0}, {false, 7, 2},
                 {false, -3, 0},   {false, 4, 4},   {true, 2.3f, 1},  {true, 1e30f, -1},
                 {false, 3, 3}};
    for (const auto& s : steps) {
        if (s.byFraction)
            gene->selectFraction(s.value);
        else
            gene->selectIndex(static_cast<int>(s.value));
        if (s.index < 0) {  // very large fraction: any valid index, no crash
            EXPECT_GE(gene->current, 0);
            EXPECT_LT(gene->current, 5);
            continue;
        }
        EXPECT_EQ(gene->current, s.index) << s.value;
        EXPECT_EQ(textureRed(*gene), 10 * (s.index + 1)) << s.value;
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        EXPECT_EQ(static_cast<GLuint>(bound), gene->texture->textureName);
    }
    gene->selectFraction(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(gene->current, 0);
}

TEST_F(ImageGeneTest, PixelsAreSentOnlyWhenTheImageChanges) {
    TempTree tree("imggene");
    auto gene = buildGene(writeSet(tree, "imgs", 3));
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
    EXPECT_FALSE(gene->texture->dirty);
}

TEST_F(ImageGeneTest, UpperCaseEndingTakesANullSlotThatIsNeverSent) {
    TempTree tree("imggene");
    const std::string dir = tree.makeDir("imgs");
    ASSERT_TRUE(writeSolidSgi(dir + "/A.RGB", 2, 2, 99, 0, 0));
    ASSERT_TRUE(writeSolidSgi(dir + "/b.rgb", 2, 2, 50, 0, 0));
    std::string log;
    auto gene = buildGene(dir, &log);
    EXPECT_EQ(gene->imageCount(), 2);
    EXPECT_EQ(gene->images->images[0], nullptr);
    EXPECT_NE(gene->images->images[1], nullptr);
    EXPECT_EQ(countOf(log, "Reading Texture ..."), 1);
    EXPECT_NE(log.find("Tex will be NULL imaged\n"), std::string::npos);
    EXPECT_NE(log.find("texture size is 2,2 \n"), std::string::npos);
    gene->selectIndex(0);
    EXPECT_EQ(gene->texture->uploads, 0);
    gene->selectIndex(1);
    EXPECT_EQ(gene->texture->uploads, 1);
    EXPECT_EQ(textureRed(*gene), 50);
    gene->selectIndex(0);  // back to the null slot: the texture keeps image 1
    EXPECT_EQ(gene->texture->uploads, 1);
    EXPECT_EQ(textureRed(*gene), 50);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ImageGeneTest, EmptyOrMissingDirectoryGivesAUsableEmptyGene) {
    TempTree tree("imggene");
    tree.makeDir("empty");
    for (const std::string& dir : {tree.path("empty"), tree.path("absent"), std::string()}) {
        std::string log;
        auto gene = buildGene(dir, &log);
        EXPECT_EQ(gene->imageCount(), 0);
        EXPECT_NE(log.find("ImageList 0 imgs\n"), std::string::npos);
        EXPECT_NE(log.find("Tex will be NULL imaged\n"), std::string::npos);
        EXPECT_NE(log.find("texture size is 0,0 \n"), std::string::npos);
        gene->selectIndex(3);
        gene->selectFraction(0.7f);
        gene->selectIndex(-1);
        EXPECT_EQ(gene->current, 0);
        EXPECT_EQ(gene->texture->uploads, 0);
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        EXPECT_EQ(static_cast<GLuint>(bound), gene->texture->textureName);
        EXPECT_EQ(gene->images->get(-1), nullptr);
        EXPECT_EQ(gene->images->get(5), nullptr);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ImageGeneTest, ImagesOfAnotherSizeThanTheFirstAreSkipped) {
    TempTree tree("imggene");
    const std::string dir = tree.makeDir("imgs");
    ASSERT_TRUE(writeSolidSgi(dir + "/a.rgb", 4, 4, 10, 0, 0));
    ASSERT_TRUE(writeSolidSgi(dir + "/b.rgb", 2, 2, 20, 0, 0));
    ASSERT_TRUE(writeSolidSgi(dir + "/c.rgb", 8, 8, 30, 0, 0));
    ASSERT_TRUE(writeSolidSgi(dir + "/d.rgb", 4, 4, 40, 0, 0));
    std::string log;
    auto gene = buildGene(dir, &log);
    EXPECT_EQ(gene->imageCount(), 4);
    EXPECT_NE(gene->images->images[0], nullptr);
    EXPECT_EQ(gene->images->images[1], nullptr);
    EXPECT_EQ(gene->images->images[2], nullptr);
    EXPECT_NE(gene->images->images[3], nullptr);
    EXPECT_EQ(gene->texture->width, 4);
    EXPECT_EQ(gene->texture->height, 4);
    EXPECT_EQ(countOf(log, "ImageList::skipped "), 2);
    EXPECT_NE(log.find("ImageList::skipped " + dir + "/b.rgb: size 2x2 differs from the set's 4x4\n"),
              std::string::npos);
    gene->selectIndex(3);
    EXPECT_EQ(textureRed(*gene), 40);
    gene->selectIndex(2);
    EXPECT_EQ(textureRed(*gene), 40);
}

TEST_F(ImageGeneTest, UnreadableImageLeavesANullSlot) {
    TempTree tree("imggene");
    const std::string dir = tree.makeDir("imgs");
    ASSERT_TRUE(writeFileBytes(dir + "/a.rgb", sgiRunLengthRows(2, 1, 1, {{0x09, 0x01, 0x00}})));
    ASSERT_TRUE(writeSolidSgi(dir + "/b.rgb", 3, 3, 70, 0, 0));
    auto gene = buildGene(dir);
    EXPECT_EQ(gene->imageCount(), 2);
    EXPECT_EQ(gene->images->images[0], nullptr);
    // The unreadable header's size does not become the set's size.
    EXPECT_EQ(gene->texture->width, 3);
    gene->selectIndex(1);
    EXPECT_EQ(textureRed(*gene), 70);
}

TEST_F(ImageGeneTest, ExaminesAtMost128NamesAndCounts127) {
    TempTree tree("imggene");
    std::string log;
    auto gene = buildGene(writeSet(tree, "imgs", 200), &log);
    EXPECT_EQ(countOf(log, "Reading Texture ..."), 128);
    EXPECT_NE(log.find("ImageList 127 imgs\n"), std::string::npos);
    EXPECT_EQ(gene->imageCount(), 127);
    EXPECT_NE(gene->images->images[127], nullptr);  // read, never shown
    gene->selectIndex(127);
    EXPECT_EQ(gene->current, 0);
    gene->selectIndex(126);
    EXPECT_EQ(textureRed(*gene), static_cast<uint8_t>(10 * 127));
}

TEST_F(ImageGeneTest, OverlongDirectoryNameIsRefused) {
    const std::string name(ImageGene::kDirectorySize, 'd');
    std::string log;
    auto gene = buildGene(name, &log);
    EXPECT_STREQ(gene->directory, "");
    EXPECT_EQ(gene->imageCount(), 0);
    EXPECT_NE(log.find("ImageGene::directory name longer than 99 characters, no images\n"), std::string::npos);
    EXPECT_EQ(log.find("FilesInPath"), std::string::npos);
}

TEST(ImageList, GetWrapsOutOfRangeIndices) {
    ImageList list;
    unsigned char a[4], b[4], c[4];
    list.images[0] = a;
    list.images[1] = b;
    list.images[2] = c;
    list.count = 3;
    EXPECT_EQ(list.get(1), b);
    EXPECT_EQ(list.get(-1), c);
    EXPECT_EQ(list.get(3), a);
    for (unsigned char*& slot : list.images) slot = nullptr;  // not owned here
}
