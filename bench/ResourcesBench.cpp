#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "resources/ImageGene.h"
#include "resources/ObjModel.h"
#include "resources/SgiImage.h"
#include "support/GlTestContext.h"
#include "support/SgiWriter.h"
#include "support/TempStage.h"

// Start-up costs (reading images and models) and the per-frame cost of
// selecting an image.

namespace {

// Silences standard output for the duration of a scope (the loaders log).
class QuietStdout {
public:
    QuietStdout() {
        fflush(stdout);
        saved_ = dup(1);
        FILE* null = fopen("/dev/null", "w");
        dup2(fileno(null), 1);
        fclose(null);
    }
    ~QuietStdout() {
        fflush(stdout);
        dup2(saved_, 1);
        close(saved_);
    }

private:
    int saved_;
};

std::vector<uint8_t> gradientPlanes(int w, int h, int z) {
    std::vector<uint8_t> planes(static_cast<size_t>(w) * h * z);
    for (size_t i = 0; i < planes.size(); ++i) planes[i] = static_cast<uint8_t>((i / 7) & 0xFF);
    return planes;
}

void BM_ReadRunLength256(benchmark::State& state) {
    TempStage stage("bench");
    const std::string path = "a.rgb";
    writeFileBytes(path, sgiRunLength(256, 256, 3, gradientPlanes(256, 256, 3)));
    for (auto _ : state) {
        int w, h, c;
        const std::unique_ptr<unsigned char[]> pixels = readTexture(path.c_str(), &w, &h, &c);
        benchmark::DoNotOptimize(pixels.get());
    }
}
BENCHMARK(BM_ReadRunLength256)->Unit(benchmark::kMillisecond);

void BM_ReadVerbatim512(benchmark::State& state) {
    TempStage stage("bench");
    const std::string path = "a.rgb";
    writeFileBytes(path, sgiVerbatim(512, 512, 4, gradientPlanes(512, 512, 4)));
    for (auto _ : state) {
        int w, h, c;
        const std::unique_ptr<unsigned char[]> pixels = readTexture(path.c_str(), &w, &h, &c);
        benchmark::DoNotOptimize(pixels.get());
    }
}
BENCHMARK(BM_ReadVerbatim512)->Unit(benchmark::kMillisecond);

void BM_ObjModel20kTriangles(benchmark::State& state) {
    TempStage stage("bench");
    std::string text;
    const int side = 101;  // 101 x 101 grid: 20000 triangles as quads
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) text += "v " + std::to_string(x * 0.01) + " " + std::to_string(y * 0.01) + " 0.5\n";
    for (int y = 0; y < side - 1; ++y)
        for (int x = 0; x < side - 1; ++x) {
            const int a = y * side + x + 1;
            text += "f " + std::to_string(a) + " " + std::to_string(a + 1) + " " + std::to_string(a + side + 1) + " " +
                    std::to_string(a + side) + "\n";
        }
    const std::string path = "grid.obj";
    stage.write(path, text);
    for (auto _ : state) {
        QuietStdout quiet;
        ObjModel model(path.c_str());
        benchmark::DoNotOptimize(model.cornerArray.get());
    }
}
BENCHMARK(BM_ObjModel20kTriangles)->Unit(benchmark::kMillisecond);

struct GeneSetup {
    TempStage stage{"bench"};
    std::unique_ptr<ImageGene> gene;
    GeneSetup() {
        ensureGlContext();
        const std::string dir = "imgs";
        stage.makeDirectory(dir);
        for (int i = 0; i < 2; ++i)
            writeSolidSgi(dir + "/i" + std::to_string(i) + ".rgb", 256, 256, static_cast<uint8_t>(i * 100), 0, 0);
        QuietStdout quiet;
        gene = std::make_unique<ImageGene>(dir.c_str());
    }
};

void BM_SelectSameImage(benchmark::State& state) {
    GeneSetup s;
    s.gene->selectIndex(0);
    for (auto _ : state) s.gene->selectIndex(0);
}
BENCHMARK(BM_SelectSameImage);

void BM_SelectOtherImage256(benchmark::State& state) {
    GeneSetup s;
    int i = 0;
    for (auto _ : state) s.gene->selectIndex(++i);
    glFinish();
}
BENCHMARK(BM_SelectOtherImage256)->Unit(benchmark::kMicrosecond);

}  // namespace
