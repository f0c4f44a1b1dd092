// PNG and JPEG pictures (and hostile files) in the image sets.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "TempStage.h"
#include "resources/ImageGene.h"
#include "resources/ImageMemoryBudget.h"
#include "resources/PictureFile.h"
#include "support/GlTestContext.h"
#include "tools/SgiWriter.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A PNG of w x h solid pixels in one of libpng's simplified formats
// (samples: one pixel's samples, or one index with a colour map).
Bytes png(int w, int h, png_uint_32 format, const Bytes& pixel, const Bytes& colormap = {}) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(w);
    image.height = static_cast<png_uint_32>(h);
    image.format = format;
    image.colormap_entries = static_cast<png_uint_32>(colormap.size() / 3);
    Bytes samples;
    for (int n = 0; n < w * h; ++n) samples.insert(samples.end(), pixel.begin(), pixel.end());
    png_alloc_size_t size = 0;
    const void* map = colormap.empty() ? nullptr : colormap.data();
    png_image_write_to_memory(&image, nullptr, &size, 0, samples.data(), 0, map);
    Bytes out(size);
    EXPECT_TRUE(png_image_write_to_memory(&image, out.data(), &size, 0, samples.data(), 0, map)) << image.message;
    return out;
}

// A JPEG of w x h solid pixels, RGB or grey.
Bytes jpeg(int w, int h, const Bytes& pixel) {
    tjhandle handle = tjInitCompress();
    Bytes samples;
    for (int n = 0; n < w * h; ++n) samples.insert(samples.end(), pixel.begin(), pixel.end());
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const bool grey = pixel.size() == 1;
    EXPECT_EQ(tjCompress2(handle, samples.data(), w, 0, h, grey ? TJPF_GRAY : TJPF_RGB, &out, &size,
                          grey ? TJSAMP_GRAY : TJSAMP_444, 95, 0), 0);
    Bytes bytes(out, out + size);
    tjFree(out);
    tjDestroy(handle);
    return bytes;
}

// A 1x1 PNG whose header claims w x h (with a correct checksum).
Bytes pngClaiming(uint32_t w, uint32_t h) {
    Bytes b = png(1, 1, PNG_FORMAT_RGB, {1, 2, 3});
    for (int i = 0; i < 4; ++i) b[16 + i] = uint8_t(w >> (24 - 8 * i)), b[20 + i] = uint8_t(h >> (24 - 8 * i));
    const uLong crc = crc32(0, b.data() + 12, 17);
    for (int i = 0; i < 4; ++i) b[29 + i] = uint8_t(crc >> (24 - 8 * i));
    return b;
}

// The pixel at (x, y) of slot k, y from the bottom.
Bytes pixelAt(const ImageGene& gene, int k, int x, int y) {
    const unsigned char* p = gene.images->images[k].get();
    if (!p) return {};
    p += 4 * (static_cast<size_t>(y) * gene.images->width + x);
    return Bytes(p, p + 4);
}

class PictureSetTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ensureGlContext());
        stage.makeDirectory("imgs");
    }
    // Shows every slot for `ticks` frames of 40 ms, waiting for clips to
    // settle (open, decode or fail).
    void showAll(ImageGene& gene, int ticks) {
        ClipPlayer::setExactFrames(true);
        errors += captureStderr([&] {
            for (int t = 0; t < ticks; ++t, setClipFrameClock(40))
                for (int k = 0; k < gene.imageCount(); ++k) gene.selectIndex(k);
        });
        ClipPlayer::setExactFrames(false);
    }
    std::unique_ptr<ImageGene> build() {
        std::unique_ptr<ImageGene> gene;
        errors = captureStderr([&] { log = captureStdout([&] { gene = std::make_unique<ImageGene>("imgs"); }); });
        return gene;
    }
    TempStage stage{"pictures"};
    std::string log, errors;
};

}  // namespace

// PNG (RGBA, grey, palette) and JPEG (RGB, grey) beside an .rgb image: one slot each in
// name order, scaled to the .rgb size with the aspect kept (black bars), alpha kept.
TEST_F(PictureSetTest, PicturesTakeSlotsAndAreScaledToTheRgbSize) {
    ASSERT_TRUE(writeSolidSgi("imgs/a.rgb", 8, 8, 50, 60, 70));
    const std::pair<const char*, Bytes> files[] = {
        {"imgs/b-wide.png", png(16, 8, PNG_FORMAT_RGBA, {200, 0, 0, 128})},
        {"imgs/C.JPG", jpeg(2, 2, {0, 0, 250})},
        {"imgs/d-grey.png", png(4, 4, PNG_FORMAT_GRAY, {90})},
        {"imgs/e-palette.png", png(3, 3, PNG_FORMAT_RGB_COLORMAP, {1}, {0, 0, 0, 10, 220, 30})},
        {"imgs/f-grey.jpeg", jpeg(20, 20, {160})},
        {"imgs/notes.txt", {1, 2}},
    };
    for (const auto& [name, bytes] : files) ASSERT_TRUE(writeFileBytes(name, bytes));
    const size_t heldBefore = ImageMemoryBudget::held();
    auto gene = build();
    EXPECT_EQ(errors, "");
    ASSERT_EQ(gene->imageCount(), 6);
    EXPECT_EQ(std::vector<int>({gene->images->width, gene->images->height}), std::vector<int>({8, 8}));
    // Centre pixels; JPEG colours within a step or two of the original.
    const std::vector<Bytes> centres = {{50, 60, 70, 255}, {200, 0, 0, 128}, {0, 0, 250, 255},
                                        {90, 90, 90, 255}, {10, 220, 30, 255}, {160, 160, 160, 255}};
    for (int k = 0; k < 6; ++k) {
        const Bytes got = pixelAt(*gene, k, 4, 4);
        ASSERT_EQ(got.size(), 4u) << k;
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(got[c], centres[k][c], 2) << k << " channel " << c;
    }
    // The wide picture fills rows 2..5; the rows above and below are black bars.
    EXPECT_EQ(pixelAt(*gene, 1, 0, 1), Bytes({0, 0, 0, 255}));
    EXPECT_EQ(pixelAt(*gene, 1, 7, 6), Bytes({0, 0, 0, 255}));
    EXPECT_EQ(pixelAt(*gene, 1, 0, 2), Bytes({200, 0, 0, 128}));
    EXPECT_EQ(ImageMemoryBudget::held() - heldBefore, 6u * 8 * 8 * 4);
    gene.reset();
    EXPECT_EQ(ImageMemoryBudget::held(), heldBefore);

    // Without .rgb images the set takes the default size.
    ASSERT_EQ(remove("imgs/a.rgb"), 0);
    gene = build();
    EXPECT_EQ(std::vector<int>({gene->images->width, gene->texture->width}), std::vector<int>(2, kDefaultSetSide));
    EXPECT_EQ(pixelAt(*gene, 0, 256, 256), Bytes({200, 0, 0, 128}));
}

// Shrinking weighs colours by alpha; enlarging is linear between centres.
TEST(PictureScale, AveragesByAlphaAndInterpolatesBetweenCentres) {
    const struct {
        Bytes source;
        int sw, sh, dw, dh;
        Bytes want;
    } cases[] = {
        {{255, 255, 255, 255, 255, 0, 0, 0}, 2, 1, 1, 1, {255, 255, 255, 128}},
        {{0, 0, 0, 255, 200, 100, 40, 255}, 2, 1, 4, 2, {0, 0, 0, 255, 50, 25, 10, 255, 150, 75, 30, 255, 200, 100, 40, 255,
                                                          0, 0, 0, 255, 50, 25, 10, 255, 150, 75, 30, 255, 200, 100, 40, 255}},
        {{9, 9, 9, 255}, 1, 1, 3, 1, {0, 0, 0, 255, 9, 9, 9, 255, 0, 0, 0, 255}},
        {{9, 9, 9, 255}, 1, 1, 1, 3, {0, 0, 0, 255, 9, 9, 9, 255, 0, 0, 0, 255}},
    };
    for (const auto& c : cases) {
        Bytes out(c.want.size());
        scaleLetterboxed(c.source.data(), c.sw, c.sh, out.data(), c.dw, c.dh);
        EXPECT_EQ(out, c.want) << c.sw << "x" << c.sh << " to " << c.dw << "x" << c.dh;
    }
}

// Hostile files give one line each naming the file, their slots stay empty and the set loads on.
TEST_F(PictureSetTest, HostileFilesGiveOneLineAndAnEmptySlot) {
    const Bytes good = png(2, 2, PNG_FORMAT_RGBA, {1, 2, 3, 4});
    const Bytes photo = jpeg(16, 16, {10, 20, 30});
    Bytes corruptPng = good, corruptJpeg = photo;
    for (size_t i = 40; i < corruptPng.size() - 12; ++i) corruptPng[i] ^= 0x5a;
    for (size_t i = photo.size() / 2; i < photo.size() - 2; ++i) corruptJpeg[i] = 0xff;
    const std::pair<std::string, Bytes> files[] = {
        {"a-truncated.png", Bytes(good.begin(), good.begin() + good.size() / 2)},
        {"b-corrupt.png", corruptPng},
        {"c-huge.png", pngClaiming(100000, 100000)},
        {"d-truncated.jpg", Bytes(photo.begin(), photo.begin() + photo.size() / 2)},
        {"e-corrupt.jpg", corruptJpeg},
        {"f-empty.jpeg", {}},
        {"h-good.png", good},
    };
    for (const auto& [name, bytes] : files) ASSERT_TRUE(writeFileBytes("imgs/" + name, bytes));
    ASSERT_EQ(mkfifo("imgs/g-fifo.png", 0600), 0);
    stage.makeDirectory("imgs/g-folder.jpg");
    auto gene = build();
    ASSERT_EQ(gene->imageCount(), 9);
    std::string slots;
    for (int k = 0; k < 9; ++k) slots += gene->images->images[k] ? 'k' : '-';
    EXPECT_EQ(slots, "--------k");
    for (const char* name : {"a-truncated.png", "b-corrupt.png", "c-huge.png", "d-truncated.jpg", "e-corrupt.jpg",
                             "f-empty.jpeg", "g-fifo.png", "g-folder.jpg"})
        EXPECT_EQ(countOf(errors, std::string("imgs/") + name + "\n"), 1) << name << ": " << errors;
    EXPECT_EQ(countOf(errors, "\n"), 8) << errors;
    EXPECT_NE(errors.find("(side above 4096 pixels) imgs/c-huge.png"), std::string::npos) << errors;
}

namespace {
const std::string kClip = std::string(STRATA_SOURCE_DIR) + "/tests/golden/stage-media/imgs-media/d-bar.mp4";

Bytes fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
}  // namespace

// Clip time follows the frame clock and the speed and position controllers; the
// frame shown is the last one not after it (frames every 40 ms, one second, looping).
TEST(ClipPlayer, ShowsTheFrameDueAtTheClipTimeForEverySpeedJumpAndLoop) {
    const struct {
        int ticks;
        float speed, position;  // controller floats
    } steps[] = {{0, 0, 0},    {3, 0, 0},   {2, 0.5f, 0}, {1, -1, 0},  {2, -0.5f, 0},
                 {1, 0, 0.2f}, {1, 0, 0.2f}, {4, 0, 0.2f}, {1, -1, 0.2f}, {2, 0.5f, 0.2f}};
    ClipPlayer clip(kClip.c_str(), 8, 8);
    ClipPlayer::setExactFrames(true);
    std::vector<std::pair<int64_t, int64_t>> got;  // clip time, frame shown (ms)
    bool changed = false;
    for (const auto& step : steps) {
        for (int t = 0; t < std::max(step.ticks, 1); ++t) {
            if (step.ticks) setClipFrameClock(120);
            clip.frame(step.speed, step.position, &changed);
        }
        got.emplace_back(clip.clipTime() / 1000, clip.shownTime() / 1000);
    }
    ClipPlayer::setExactFrames(false);
    // 0; 3 x 120 ms; twice as fast; 120 ms back; still; jump to 60 %; on; past the end
    // (looping); back past the start; twice as fast.
    const std::vector<std::pair<int64_t, int64_t>> want = {{0, 0},     {360, 360}, {840, 840}, {720, 720}, {720, 720},
                                                           {600, 600}, {720, 720}, {200, 200}, {80, 80},   {560, 560}};
    EXPECT_EQ(got, want);
    EXPECT_FALSE(clip.failed());
    // Later frames, live: picking the due frame allocates nothing.
    allocation_counter::start();
    for (int t = 0; t < 20; ++t) {
        setClipFrameClock(16);
        clip.frame(0, 0.2f, &changed);
    }
    EXPECT_EQ(allocation_counter::stop(), 0);
}

// Hostile clips: one line each, black in their slot, and the set plays on.
TEST_F(PictureSetTest, HostileClipsGiveOneLineAndStayBlack) {
    const Bytes good = fileBytes(kClip);
    ASSERT_GT(good.size(), 1000u);
    Bytes corrupt = good;
    for (size_t i = 40; i < corrupt.size(); i += 7) corrupt[i] ^= 0xa5;
    const std::pair<std::string, Bytes> files[] = {
        {"a-truncated.mp4", Bytes(good.begin(), good.begin() + good.size() / 3)},
        {"a-truncated2.mp4", Bytes(good.begin(), good.begin() + good.size() * 4 / 5)},
        {"b-corrupt.mov", corrupt},
        {"c-text.mkv", {'h', 'e', 'l', 'l', 'o'}},
        {"e-good.mp4", good},
    };
    for (const auto& [name, bytes] : files) ASSERT_TRUE(writeFileBytes("imgs/" + name, bytes));
    ASSERT_EQ(mkfifo("imgs/d-fifo.webm", 0600), 0);
    ASSERT_EQ(std::system("ffmpeg -v error -f lavfi -i color=s=4160x16:d=0.04:r=25 -c:v libx264 -preset ultrafast "
                          "imgs/f-huge.mp4"), 0) << "the test needs the ffmpeg program";
    const size_t heldBefore = ImageMemoryBudget::held();
    auto gene = build();
    ASSERT_EQ(gene->imageCount(), 7);
    EXPECT_EQ(ImageMemoryBudget::held() - heldBefore, 7 * ClipPlayer::bytesFor(kDefaultSetSide, kDefaultSetSide));
    showAll(*gene, 30);  // past the end of the clip
    for (const char* name : {"a-truncated.mp4", "a-truncated2.mp4", "b-corrupt.mov", "c-text.mkv", "d-fifo.webm",
                             "f-huge.mp4"})
        EXPECT_EQ(countOf(errors, std::string("imgs/") + name), 1) << name << ": " << errors;
    EXPECT_EQ(countOf(errors, "\n"), 6) << errors;
    EXPECT_NE(errors.find("(frame side above 4096 pixels) imgs/f-huge.mp4"), std::string::npos);
    EXPECT_FALSE(gene->images->clip(5)->failed());
    EXPECT_EQ(gene->images->clip(5)->shownTime(), 160000);  // 30 x 40 ms after the loop at 1 s
}
