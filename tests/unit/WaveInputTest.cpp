#include "input/CaptureBackend.h"
#include "input/WavFileCapture.h"
#include "input/WaveInput.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "TempStage.h"

namespace {

using Block = std::vector<uint8_t>;

Block repeat(const Block& pattern, int times) {
    Block out;
    for (int i = 0; i < times; ++i) out.insert(out.end(), pattern.begin(), pattern.end());
    return out;
}

// The next poll finds `pending` (every poll when `steady`), none once `gone`.
struct FakeCapture final : CaptureBackend {
    Block pending;
    bool steady = false, gone = false;
    FakeCapture(Block block = {}, bool everyPoll = false) : pending(std::move(block)), steady(everyPoll) {}
    bool start() override { return true; }
    bool lost() const override { return gone; }
    bool takeNewestBlock(uint8_t* block) override {
        if (gone || pending.empty()) return false;
        std::memcpy(block, pending.data(), kBlockBytes);
        if (!steady) pending.clear();
        return true;
    }
};

FakeCapture* attach(WaveInput& wave, std::unique_ptr<FakeCapture> capture = std::make_unique<FakeCapture>()) {
    FakeCapture* raw = capture.get();
    wave.startWith(std::move(capture));
    return raw;
}

Block snapshot(const WaveInput& w) { return Block(w.current->bytes, w.current->bytes + 512); }

// A sound file of interleaved samples in -1..1 (floats may go beyond).
void writeSound(const char* path, int format, int rate, int channels, const std::vector<double>& samples) {
    SF_INFO info{};
    info.samplerate = rate, info.channels = channels, info.format = format;
    SNDFILE* file = sf_open(path, SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    ASSERT_EQ(sf_write_double(file, samples.data(), sf_count_t(samples.size())), sf_count_t(samples.size()));
    sf_close(file);
}

// As many samples, each the level that reads back as `bytes[i % size]`.
std::vector<double> asLevels(const Block& bytes, size_t count) {
    std::vector<double> out(count);
    for (size_t i = 0; i < count; ++i) out[i] = (bytes[i % bytes.size()] - 128) / 128.0;
    return out;
}

}  // namespace

// Each block becomes the next of 128 snapshots with its mean absolute level per side.
TEST(WaveInput, SnapshotRingAndLevels) {
    Block mixed(512, 128);
    mixed[0] = 64, mixed[2] = 192, mixed[3] = 0;  // left -0.5 and +0.5, right -1
    const struct {
        Block block;
        float left, right;
    } cases[] = {{repeat({0, 192}, 256), 0.5f, 0.25f}, {mixed, 1.0f / 512, 1.0f / 512}};
    WaveInput wave;
    FakeCapture* fake = attach(wave);
    for (const auto& c : cases) {
        fake->pending = c.block;
        const float level = wave.update();
        EXPECT_EQ((std::vector<float>{level, wave.level, wave.leftLevel, wave.rightLevel}),
                  (std::vector<float>{c.left + c.right, c.left + c.right, c.left, c.right}));
    }
    for (int k = 3; k <= 128; ++k) {
        fake->pending = repeat({static_cast<uint8_t>(k), static_cast<uint8_t>(255 - k)}, 256);
        wave.update();
    }
    for (int poll = 0; poll < 2; ++poll) {  // the 128th block wraps to slot 0; a poll without one keeps it
        EXPECT_TRUE(wave.historyIndex == 0 && wave.current == &wave.history[0]);
        EXPECT_EQ(snapshot(wave), repeat({128, 127}, 256));
        EXPECT_FLOAT_EQ(wave.update(), 1.0f / 256);
    }
}

TEST(WavFile, PlaysAsLoopingBlocksPacedByTheCaller) {
    TempStage stage("wave");
    Block bytes(600);  // 300 frames: block 1 runs past the end into frame 0
    for (int i = 0; i < 600; ++i) bytes[i] = static_cast<uint8_t>(i * 7 % 253);
    writeSound("s16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 2, asLevels(bytes, 600));
    WaveInput wave;
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(wave.startWavFile("s16.wav", true), 1); }),
              "Mono 22.05 \nWaveFile is Successfully Opened\n");
    // The newest completed block after 1, 2 and 5 blocks of time; older ones are dropped.
    const int steps[][2] = {{1, 0}, {1, 256}, {3, 4 * 256 % 300}};  // blocks of time, first frame taken
    for (const auto& [blocks, first] : steps) {
        wave.advanceClock(blocks * 256 * 1000.0 / 22050.0);
        wave.update();
        for (int i = 0; i < 512; ++i) ASSERT_EQ(wave.current->bytes[i], bytes[(2 * first + i) % 600]) << first;
    }
}

// Every format becomes unsigned 8-bit stereo at 22 050: mono on both sides,
// floats clipped, other rates resampled to the same duration (checked away
// from the ends, within one step).
TEST(WavFile, FormatsConvertToUnsignedEightBitStereo) {
    const struct {
        int format, rate, channels;
        std::vector<double> pattern;
        int frames, left, right;
    } cases[] = {
        {SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 11025, 1, {0.5625}, 2400, 200, 200},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, {0.5, -1.0}, 600, 192, 0},
        {SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 22050, 1, {-0.5}, 1200, 64, 64},
        {SF_FORMAT_WAV | SF_FORMAT_FLOAT, 22050, 2, {0.5, 3.0}, 1200, 192, 255},
        {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 22050, 2, {-0.9453125, 0.953125}, 1200, 7, 250}};
    TempStage stage("wavfmt");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.format) + " at " + std::to_string(c.rate));
        std::vector<double> samples;
        for (int i = 0; i < 1200; ++i) samples.insert(samples.end(), c.pattern.begin(), c.pattern.end());
        writeSound("f.sound", c.format, c.rate, c.channels, samples);
        WavSound sound;
        const char* reason = nullptr;
        ASSERT_TRUE(loadWavSound("f.sound", sound, &reason)) << reason;
        ASSERT_EQ(sound.frameCount(), c.frames);
        const int edge = c.rate == 22050 ? 0 : 100, tolerance = edge ? 1 : 0;
        for (int i = edge; i < c.frames - edge; ++i) {
            ASSERT_NEAR(sound.frames[2 * i], c.left, tolerance) << "frame " << i;
            ASSERT_NEAR(sound.frames[2 * i + 1], c.right, tolerance) << "frame " << i;
        }
    }
}

TEST(WavFile, UnusableFilesGiveOneLineAndSilence) {
    TempStage stage("wave");
    writeSound("empty.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 2, {});
    stage.write("text.wav", "this is not a wave file at all");
    stage.makeDirectory("folder.wav");
    const std::string cases[][2] = {{"text.wav", "not a sound file"}, {"empty.wav", "no samples"},
                                    {"folder.wav", "not a regular file"}, {"missing.wav", "cannot open the file"}};
    for (const auto& [path, reason] : cases) {
        WaveInput wave;
        EXPECT_EQ(captureStdout([&] { EXPECT_EQ(wave.startWavFile(path.c_str(), true), 0); }),
                  "WaveInput::open wave file not usable: " + path + " (" + reason + ")\nRecord Failed\n");
        EXPECT_EQ(wave.device, nullptr);
        EXPECT_EQ(wave.update(), 0.0f);
        EXPECT_EQ(snapshot(wave), Block(512, 0));
    }
}

// A lost card reads silence at once, is reopened no more often than retryMillis.
TEST(WaveInput, LostSourceReadsSilenceAndIsOpenedAgain) {
    WaveInput wave;
    FakeCapture* card = attach(wave, std::make_unique<FakeCapture>(Block(512, 0), true));
    int attempts = 0;
    FakeCapture* again = nullptr;
    wave.setReopen([&]() -> std::unique_ptr<CaptureBackend> {
        if (++attempts < 2) return nullptr;  // still away at the first attempt
        auto found = std::make_unique<FakeCapture>(Block(512, 64), true);
        again = found.get();
        return found;
    });
    EXPECT_FLOAT_EQ(wave.update(), 1.0f);
    EXPECT_EQ(wave.state(), WaveInput::State::Live);
    card->gone = true;
    wave.retryMillis = 60000;
    for (int i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(wave.update(), 0.0f);
    EXPECT_TRUE(wave.state() == WaveInput::State::Lost && !wave.device && wave.leftLevel + wave.rightLevel == 0.0f);
    EXPECT_EQ(snapshot(wave), Block(512, 128));
    EXPECT_EQ(attempts, 0) << "opened again before retryMillis passed";
    wave.retryMillis = 0;
    EXPECT_FLOAT_EQ(wave.update(), 0.0f);
    EXPECT_TRUE(attempts == 1 && wave.state() == WaveInput::State::Lost);
    EXPECT_FLOAT_EQ(wave.update(), 0.5f);  // the second attempt finds it: (128 - 64) / 128 per side
    EXPECT_TRUE(attempts == 2 && wave.state() == WaveInput::State::Live && wave.device.get() == again);
}
