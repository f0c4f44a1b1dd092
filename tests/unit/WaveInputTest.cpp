#include "input/CaptureBackend.h"
#include "input/WavFileCapture.h"
#include "input/WaveInput.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ScopedVariable.h"
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

void put16(Block& v, unsigned x) { v.push_back(x & 0xFF), v.push_back((x >> 8) & 0xFF); }
void put32(Block& v, uint32_t x) { put16(v, x & 0xFFFF), put16(v, x >> 16); }

struct WavFormat { unsigned format, channels; uint32_t rate; unsigned bits; bool extensible; };  // format 1 PCM, 3 float

// A RIFF/WAVE file around raw samples, with a chunk to skip before the format.
std::string wavBytes(const WavFormat& s, const Block& samples) {
    Block f = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'L', 'I', 'S', 'T', 4, 0, 0, 0, 'a', 'b', 'c', 'd',
               'f', 'm', 't', ' '};
    const unsigned blockAlign = s.channels * s.bits / 8;
    put32(f, s.extensible ? 40 : 16), put16(f, s.extensible ? 0xFFFE : s.format), put16(f, s.channels);
    put32(f, s.rate), put32(f, s.rate * blockAlign), put16(f, blockAlign), put16(f, s.bits);
    if (s.extensible) {
        put16(f, 22), put16(f, s.bits), put32(f, 3), put16(f, s.format);
        f.insert(f.end(), {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71});
    }
    f.insert(f.end(), {'d', 'a', 't', 'a'});
    put32(f, static_cast<uint32_t>(samples.size()));
    f.insert(f.end(), samples.begin(), samples.end());
    const uint32_t riff = static_cast<uint32_t>(f.size() - 8);
    std::memcpy(&f[4], &riff, 4);
    return std::string(f.begin(), f.end());
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

TEST(WaveInput, AlsaNullDeviceCaptures) {  // present everywhere, it runs the whole sound-card path
    const ScopedVariable audio("STRATA_AUDIO", "null");
    WaveInput wave;
    EXPECT_EQ(captureStdout([&] { wave.start(); }), "CD Stereo quality \nWaveFile is Successfully Opened\n");
    wave.update();
    EXPECT_EQ(wave.historyIndex, 1);
}

TEST(WavFile, PlaysAsLoopingBlocksPacedByTheCaller) {
    TempStage stage("wave");
    Block samples(600);  // 300 frames: block 1 runs past the end into frame 0
    for (int i = 0; i < 600; ++i) samples[i] = static_cast<uint8_t>(i * 7 % 253);
    stage.write("s8.wav", wavBytes({1, 2, 22050, 8, false}, samples));
    WaveInput wave;
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(wave.startWavFile("s8.wav", true), 1); }),
              "Mono 22.05 \nWaveFile is Successfully Opened\n");
    // The newest completed block after 1, 2 and 5 blocks of time; older ones are dropped.
    const int steps[][2] = {{1, 0}, {1, 256}, {3, 4 * 256 % 300}};  // blocks of time, first frame taken
    for (const auto& [blocks, first] : steps) {
        wave.advanceClock(blocks * 256 * 1000.0 / 22050.0);
        wave.update();
        for (int i = 0; i < 512; ++i) ASSERT_EQ(wave.current->bytes[i], samples[(2 * first + i) % 600]) << first;
    }
}

// Every format becomes unsigned 8-bit stereo at 22 050, other rates resampled
// to the same duration (checked away from the ends, within one step).
TEST(WavFile, FormatsConvertToUnsignedEightBitStereo) {
    const struct {
        WavFormat format;
        Block pattern;
        int frames;
        int left, right;
        int tolerance;
    } cases[] = {
        {{1, 1, 11025, 8, false}, {200}, 2400, 200, 200, 1},
        {{1, 2, 44100, 16, false}, {0, 0x40, 0, 0x80}, 600, 128 + 64, 0, 1},  // 0.5 left, -1 right
        {{1, 1, 22050, 24, true}, {0, 0, 0xC0}, 1200, 64, 64, 0},                           // -0.5, extensible
        {{3, 2, 22050, 32, true}, {0, 0, 0, 0x3F, 0, 0, 0x40, 0x40}, 1200, 192, 255, 0},     // 0.5f, 3.0f
        {{1, 2, 22050, 8, false}, {7, 250}, 1200, 7, 250, 0}};
    TempStage stage("wavfmt");
    for (const auto& c : cases) {
        stage.write("f.wav", wavBytes(c.format, repeat(c.pattern, 1200)));
        WavSound sound;
        const char* reason = nullptr;
        ASSERT_TRUE(loadWavSound("f.wav", sound, &reason)) << c.format.bits << " bits: " << reason;
        ASSERT_EQ(sound.frameCount(), c.frames) << c.format.bits << " bits";
        const int edge = c.format.rate == 22050 ? 0 : 100;
        for (int i = edge; i < c.frames - edge; ++i) {
            ASSERT_NEAR(sound.frames[2 * i], c.left, c.tolerance) << c.format.rate << " Hz, frame " << i;
            ASSERT_NEAR(sound.frames[2 * i + 1], c.right, c.tolerance) << c.format.rate << " Hz, frame " << i;
        }
    }
}

TEST(WavFile, UnusableFilesGiveOneLineAndSilence) {
    TempStage stage("wave");
    const std::string cases[][3] = {{"text.wav", "this is not a wave file at all", "not a sound file"},
                                    {"empty.wav", wavBytes({1, 2, 22050, 16, false}, {}), "no samples"},
                                    {"folder.wav", "", "not a regular file"},
                                    {"missing.wav", "", "cannot open the file"}};
    stage.makeDirectory("folder.wav");
    for (const auto& [path, content, reason] : cases) {
        if (!content.empty()) stage.write(path, content);
        WaveInput wave;
        EXPECT_EQ(captureStdout([&] { EXPECT_EQ(wave.startWavFile(path.c_str(), true), 0); }),
                  "WaveInput::open wave file not usable: " + path + " (" + reason + ")\nRecord Failed\n");
        EXPECT_EQ(wave.device, nullptr);
        EXPECT_EQ(wave.update(), 0.0f);
        EXPECT_EQ(snapshot(wave), Block(512, 0));
    }
}

// A FLAC file named by STRATA_AUDIO is a file by its suffix and decodes sample for sample.
TEST(WavFile, FlacFilesPlayThroughWaveInput) {
    TempStage stage("flac");
    std::vector<short> samples(2 * 4096);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<short>(((i * 37) % 256 - 128) * 256);
    SF_INFO info{};
    info.samplerate = 22050, info.channels = 2, info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open("Quiet.FLAC", SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    ASSERT_EQ(sf_writef_short(file, samples.data(), 4096), 4096);
    sf_close(file);
    const ScopedVariable audio("STRATA_AUDIO", "Quiet.FLAC");
    WaveInput wave;
    EXPECT_EQ(captureStdout([&] { wave.start(); }), "Mono 22.05 \nWaveFile is Successfully Opened\n");
    captureStdout([&] { wave.startWavFile("Quiet.FLAC", true); });  // paced by the test from here
    wave.advanceClock(256 * 1000.0 / 22050.0);
    wave.update();
    for (int i = 0; i < 512; ++i) ASSERT_EQ(wave.current->bytes[i], i * 37 % 256) << i;
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

// Only a lost source is opened again, not one missing at the start.
TEST(WaveInput, SourceMissingAtStartIsNotRetried) {
    const ScopedVariable audio("STRATA_AUDIO", "no-such-strata-device");
    WaveInput wave;
    EXPECT_EQ(captureStdout([&] { wave.start(); }), "Record Failed\n");
    EXPECT_EQ(wave.state(), WaveInput::State::None);
    EXPECT_NE(std::string(wave.description()).find("no-such-strata-device"), std::string::npos);
    wave.retryMillis = 0;
    wave.update();
    EXPECT_EQ(wave.state(), WaveInput::State::None);
}
