#include "input/CaptureBackend.h"
#include "input/WavFileCapture.h"
#include "input/WaveInput.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "TempStage.h"

namespace {

using Block = std::vector<uint8_t>;

Block filledBlock(uint8_t left, uint8_t right) {
    Block b(CaptureBackend::kBlockBytes);
    for (int i = 0; i < CaptureBackend::kBlockBytes; i += 2) b[i] = left, b[i + 1] = right;
    return b;
}

// A capture source fed by the test: complete() hands it the block that
// the next poll finds completed.
class FakeCapture final : public CaptureBackend {
public:
    explicit FakeCapture(bool startOk = true) : startOk_(startOk) {}
    bool start() override { return startOk_; }
    bool takeNewestBlock(uint8_t* block) override {
        if (pending_.empty()) return false;
        std::memcpy(block, pending_.data(), kBlockBytes);
        pending_.clear();
        return true;
    }
    void complete(const Block& b) { pending_ = b; }

private:
    bool startOk_;
    Block pending_;
};

struct AudioEnv {
    explicit AudioEnv(const char* value) { setenv("STRATA_AUDIO", value, 1); }
    ~AudioEnv() { unsetenv("STRATA_AUDIO"); }
};

Block snapshot(const WaveInput& w) { return Block(w.current->bytes, w.current->bytes + 512); }

void put16(Block& v, unsigned x) { v.push_back(x & 0xFF), v.push_back((x >> 8) & 0xFF); }
void put32(Block& v, uint32_t x) { put16(v, x & 0xFFFF), put16(v, x >> 16); }

struct WavSpec {
    unsigned format = 1;  // 1 PCM, 3 float
    unsigned channels = 2;
    uint32_t rate = 22050;
    unsigned bits = 8;
    bool extensible = false;
};

// A RIFF/WAVE file around raw sample bytes, with a chunk the reader must
// skip before the format chunk.
std::string wavBytes(const WavSpec& s, const Block& samples) {
    Block f = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'L', 'I', 'S', 'T', 4, 0, 0, 0, 'a', 'b', 'c', 'd',
               'f', 'm', 't', ' '};
    const unsigned blockAlign = s.channels * s.bits / 8;
    put32(f, s.extensible ? 40 : 16);
    put16(f, s.extensible ? 0xFFFE : s.format);
    put16(f, s.channels);
    put32(f, s.rate);
    put32(f, s.rate * blockAlign);
    put16(f, blockAlign);
    put16(f, s.bits);
    if (s.extensible) {
        put16(f, 22), put16(f, s.bits), put32(f, 3), put16(f, s.format);
        f.insert(f.end(), {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71});
    }
    f.insert(f.end(), {'d', 'a', 't', 'a'});
    put32(f, static_cast<uint32_t>(samples.size()));
    f.insert(f.end(), samples.begin(), samples.end());
    if (samples.size() & 1) f.push_back(0);
    const uint32_t riff = static_cast<uint32_t>(f.size() - 8);
    std::memcpy(&f[4], &riff, 4);
    return std::string(f.begin(), f.end());
}

// Samples of value(frame, channel) in [-1, 1] (floats may exceed it).
Block encode(const WavSpec& s, int frames, double (*value)(int, int)) {
    Block out;
    for (int i = 0; i < frames; ++i)
        for (unsigned c = 0; c < s.channels; ++c) {
            const double v = value(i, static_cast<int>(c));
            if (s.format == 3) {
                const float f = static_cast<float>(v);
                const uint8_t* b = reinterpret_cast<const uint8_t*>(&f);
                out.insert(out.end(), b, b + 4);
                continue;
            }
            const int32_t q = static_cast<int32_t>(std::lround(v * (1 << (s.bits - 1))));
            if (s.bits == 8) out.push_back(static_cast<uint8_t>(128 + q));
            for (unsigned k = 0; s.bits > 8 && k < s.bits / 8; ++k) out.push_back(static_cast<uint8_t>(q >> (8 * k)));
        }
    return out;
}

double blocksMillis(int n) { return n * 256 * 1000.0 / 22050.0; }

}  // namespace

TEST(WaveInput, LevelsAreMeanAbsoluteSampleOverTheBuffer) {
    Block mixed(512, 128);
    mixed[0] = 64, mixed[2] = 192, mixed[3] = 0;  // left -0.5 and +0.5, right -1
    const struct {
        Block block;
        float left, right;
    } cases[] = {
        {filledBlock(128, 128), 0.0f, 0.0f},
        {filledBlock(0, 0), 0.5f, 0.5f},
        {filledBlock(255, 255), 127.0f / 256, 127.0f / 256},
        {filledBlock(0, 128), 0.5f, 0.0f},
        {filledBlock(128, 192), 0.0f, 0.25f},
        {mixed, 1.0f / 512, 1.0f / 512},
    };
    WaveInput wave;
    auto* fake = new FakeCapture();
    wave.startWith(fake);
    for (const auto& c : cases) {
        fake->complete(c.block);
        const float total = wave.update();
        SCOPED_TRACE(testing::Message() << int(c.block[0]) << "/" << int(c.block[1]));
        EXPECT_FLOAT_EQ(wave.leftLevel, c.left);
        EXPECT_FLOAT_EQ(wave.rightLevel, c.right);
        EXPECT_FLOAT_EQ(wave.level, c.left + c.right);
        EXPECT_EQ(total, wave.level);
        EXPECT_EQ(wave.byteCount, 512);
    }
}

TEST(WaveInput, RingTakesOneSnapshotPerCompletedBlockAndWrapsAt128) {
    WaveInput wave;
    auto* fake = new FakeCapture();
    wave.startWith(fake);
    for (int k = 1; k <= 128; ++k) {
        fake->complete(filledBlock(static_cast<uint8_t>(k), static_cast<uint8_t>(255 - k)));
        wave.update();
        ASSERT_EQ(wave.historyIndex, k % 128);
        ASSERT_EQ(wave.current, &wave.history[k % 128]);
        ASSERT_EQ(wave.current->bytes[0], k);
        ASSERT_EQ(wave.current->bytes[511], 255 - k);
    }
    EXPECT_EQ(wave.history[1].bytes[0], 1);
    EXPECT_EQ(wave.history[127].bytes[0], 127);
    // A poll without a completed block keeps level, slot and content.
    const float level = wave.level;
    const Block before = snapshot(wave);
    EXPECT_EQ(wave.update(), level);
    EXPECT_EQ(wave.historyIndex, 0);
    EXPECT_EQ(snapshot(wave), before);
}

// The device named by the environment: none, or ALSA's "null" PCM (present
// everywhere, it runs the whole sound-card path).
TEST(WaveInput, DeviceFromTheEnvironmentOrRecordFailedAndSilence) {
    const struct {
        const char *device, *lines;
    } cases[] = {{"strata_no_such_pcm", "Record Failed\n"},
                 {"null", "CD Stereo quality \nWaveFile is Successfully Opened\n"}};
    for (const auto& c : cases) {
        AudioEnv env(c.device);
        WaveInput wave;
        testing::internal::CaptureStderr();
        EXPECT_EQ(captureStdout([&] { wave.start(); }), c.lines);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(wave.device != nullptr, c.lines[0] == 'C');
        if (wave.device) {
            wave.update();
            EXPECT_EQ(wave.historyIndex, 1);
            continue;
        }
        for (int i = 0; i < 3; ++i) EXPECT_EQ(wave.update(), 0.0f);
        EXPECT_EQ(wave.byteCount, 512);
        EXPECT_EQ(wave.historyIndex, 0);
        EXPECT_EQ(snapshot(wave), Block(512, 0));
    }
    WaveInput refused;  // a source that opens but cannot start is released
    EXPECT_EQ(captureStdout([&] { refused.startWith(new FakeCapture(false)); }), "Record Failed\n");
    EXPECT_EQ(refused.device, nullptr);
    EXPECT_EQ(refused.update(), 0.0f);
}

class WavFile : public testing::Test {
protected:
    TempStage stage{"wave"};
};

TEST_F(WavFile, EightBitStereoArrivesAsTheSameBlocksLooping) {
    Block samples(600);  // 300 frames: block 1 runs past the end into frame 0
    for (int i = 0; i < 300; ++i) samples[2 * i] = i % 251, samples[2 * i + 1] = 255 - i % 247;
    stage.write("s8.wav", wavBytes(WavSpec{}, samples));
    WaveInput wave;
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(wave.startWavFile("s8.wav", true), 1); }),
              "Mono 22.05 \nWaveFile is Successfully Opened\n");
    wave.advanceClock(blocksMillis(1) * 0.99);
    wave.update();
    EXPECT_EQ(wave.historyIndex, 0) << "block 0 is not complete yet";
    wave.advanceClock(blocksMillis(1) * 0.01);
    wave.update();
    ASSERT_EQ(wave.historyIndex, 1);
    EXPECT_EQ(snapshot(wave), Block(samples.begin(), samples.begin() + 512));

    wave.advanceClock(blocksMillis(1));
    wave.update();
    ASSERT_EQ(wave.historyIndex, 2);
    Block expected(samples.begin() + 512, samples.end());
    expected.insert(expected.end(), samples.begin(), samples.begin() + (512 - expected.size()));
    EXPECT_EQ(snapshot(wave), expected);

    wave.advanceClock(blocksMillis(3));  // three blocks: only block 4 is taken
    wave.update();
    EXPECT_EQ(wave.historyIndex, 3);
    const int start = (4 * 256) % 300;
    EXPECT_EQ(wave.current->bytes[0], samples[2 * start]);
    EXPECT_EQ(wave.current->bytes[1], samples[2 * start + 1]);
}

// Every format becomes unsigned 8-bit stereo at 22 050: mono copied to both
// sides, higher rates averaged, lower rates interpolated, floats clipped.
struct FormatCase {
    const char* name;
    WavSpec spec;
    int sourceFrames, frames;
    double (*value)(int frame, int channel);
    int (*expected)(int frame, int side);  // -1: not checked
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class WavFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(WavFormat, ConvertsToUnsignedEightBitStereo) {
    const FormatCase& c = GetParam();
    TempStage stage("wavfmt");
    stage.write("f.wav", wavBytes(c.spec, encode(c.spec, c.sourceFrames, c.value)));
    WavSound sound;
    const char* reason = nullptr;
    ASSERT_TRUE(loadWavSound("f.wav", sound, &reason)) << reason;
    ASSERT_EQ(sound.frameCount(), c.frames);
    for (int i = 0; i < c.frames; ++i)
        for (int side = 0; side < 2; ++side)
            if (c.expected(i, side) >= 0) {
                ASSERT_EQ(sound.frames[2 * i + side], c.expected(i, side)) << i;
            }
}

int pattern(int i) { return (i * 37) % 256; }

INSTANTIATE_TEST_SUITE_P(
    Formats, WavFormat,
    testing::Values(
        FormatCase{"Pcm16Mono", {1, 1, 22050, 16, false}, 600, 600,
                   [](int i, int) { return (pattern(i) - 128) / 128.0; }, [](int i, int) { return pattern(i); }},
        FormatCase{"Pcm8Mono11025", {1, 1, 11025, 8, false}, 600, 1200,
                   [](int i, int) { return (i % 2 ? 100 - 128 : 200 - 128) / 128.0; },
                   [](int i, int) { return i == 1199 ? -1 : i % 2 ? 150 : (i / 2) % 2 ? 100 : 200; }},
        FormatCase{"Pcm16Stereo44100", {1, 2, 44100, 16, false}, 1200, 600,
                   [](int i, int c) { return c ? -1.0 : i % 2 ? 0.5 : 0.0; },
                   [](int, int side) { return side ? 0 : 128 + 32; }},
        FormatCase{"Pcm24MonoExtensible", {1, 1, 22050, 24, true}, 600, 600, [](int, int) { return -0.5; },
                   [](int, int) { return 64; }},
        FormatCase{"Float32StereoExtensible", {3, 2, 22050, 32, true}, 600, 600,
                   [](int, int c) { return c ? 3.0 : 0.5; }, [](int, int side) { return side ? 255 : 192; }}),
    [](const testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

TEST_F(WavFile, UnusableFilesGiveOneLineAndNoDevice) {
    const Block sixteen(64, 0);
    stage.write("text.wav", "this is not a wave file at all");
    stage.write("nofmt.wav", std::string("RIFF\x04\0\0\0WAVE", 12));
    stage.write("adpcm.wav", wavBytes(WavSpec{2, 2, 22050, 4, false}, sixteen));
    stage.write("bits12.wav", wavBytes(WavSpec{1, 1, 22050, 12, false}, sixteen));
    stage.write("empty.wav", wavBytes(WavSpec{1, 2, 22050, 16, false}, {}));
    const std::pair<std::string, std::string> cases[] = {
        {"missing.wav", "cannot open the file"},   {"text.wav", "not a RIFF/WAVE file"},
        {"nofmt.wav", "no format chunk"},          {"adpcm.wav", "compressed sample format"},
        {"bits12.wav", "unsupported sample size"}, {"empty.wav", "no samples"},
    };
    for (const auto& [path, reason] : cases) {
        WaveInput wave;
        EXPECT_EQ(captureStdout([&] { EXPECT_EQ(wave.startWavFile(path.c_str(), true), 0); }),
                  "WaveInput::open wave file not usable: " + path + " (" + reason + ")\nRecord Failed\n");
        EXPECT_EQ(wave.device, nullptr);
        wave.advanceClock(100);
        EXPECT_EQ(wave.update(), 0.0f);
    }
}

// Every cut of a valid file, and every header byte set to 0xFF, either loads
// or is refused with a reason (under AddressSanitizer: without over-reads).
TEST_F(WavFile, CutAndDamagedFilesLoadOrAreRefused) {
    const WavSpec spec{1, 2, 44100, 16, true};
    const std::string good = wavBytes(spec, encode(spec, 20, [](int i, int c) { return (2 * i + c) / 64.0; }));
    const auto attempt = [&](const std::string& content) {
        stage.write("damaged.wav", content);
        WavSound sound;
        const char* reason = nullptr;
        const bool ok = loadWavSound("damaged.wav", sound, &reason);
        if (ok) {
            EXPECT_GT(sound.frameCount(), 0);
            EXPECT_EQ(sound.frames.size() % 2, 0u);
        } else {
            EXPECT_NE(reason, nullptr);
        }
        return ok;
    };
    int loaded = 0;
    for (size_t cut = 0; cut <= good.size(); ++cut) loaded += attempt(good.substr(0, cut));
    EXPECT_GT(loaded, 0) << "files cut inside the data still play what they hold";
    for (size_t at = 0; at < 88; ++at) {
        std::string damaged = good;
        damaged[at] = '\xFF';
        attempt(damaged);
    }
}
