#include "input/CaptureBackend.h"
#include "input/WavFileCapture.h"
#include "input/WaveInput.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Block = std::vector<uint8_t>;

Block filledBlock(uint8_t left, uint8_t right) {
    Block b(CaptureBackend::kBlockBytes);
    for (int i = 0; i < CaptureBackend::kBlockBytes; i += 2) {
        b[i] = left;
        b[i + 1] = right;
    }
    return b;
}

// A capture source fed by the test: blocks queued with complete() are the
// ones "completed at the device" since the previous poll.
class FakeCapture final : public CaptureBackend {
public:
    explicit FakeCapture(bool startOk = true) : startOk_(startOk) {}
    bool start() override { return startOk_; }
    bool takeNewestBlock(uint8_t* block) override {
        if (completed_.empty()) return false;
        std::memcpy(block, completed_.back().data(), kBlockBytes);
        completed_.clear();
        return true;
    }
    void complete(const Block& b) { completed_.push_back(b); }

private:
    bool startOk_;
    std::vector<Block> completed_;
};

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        hadOld_ = old != nullptr;
        if (old) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (hadOld_)
            setenv(name_.c_str(), old_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }

private:
    std::string name_, old_;
    bool hadOld_ = false;
};

std::string tempPath(const std::string& name) {
    return ::testing::TempDir() + "strata_wave_" + std::to_string(::getpid()) + "_" + name;
}

void put16(std::vector<uint8_t>& v, unsigned x) {
    v.push_back(x & 0xFF);
    v.push_back((x >> 8) & 0xFF);
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

struct WavSpec {
    unsigned format = 1;  // 1 PCM, 3 float
    unsigned channels = 2;
    uint32_t rate = 22050;
    unsigned bits = 8;
    bool extensible = false;
};

// Writes a RIFF/WAVE file around raw sample bytes (with a chunk the reader
// must skip before the format chunk).
std::string writeWav(const std::string& name, const WavSpec& s, const std::vector<uint8_t>& samples) {
    std::vector<uint8_t> f = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    f.insert(f.end(), {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'a', 'b', 'c', 'd'});
    const unsigned blockAlign = s.channels * s.bits / 8;
    f.insert(f.end(), {'f', 'm', 't', ' '});
    put32(f, s.extensible ? 40 : 16);
    put16(f, s.extensible ? 0xFFFE : s.format);
    put16(f, s.channels);
    put32(f, s.rate);
    put32(f, s.rate * blockAlign);
    put16(f, blockAlign);
    put16(f, s.bits);
    if (s.extensible) {
        put16(f, 22);
        put16(f, s.bits);
        put32(f, 3);
        put16(f, s.format);
        const uint8_t guidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                      0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        f.insert(f.end(), guidTail, guidTail + 14);
    }
    f.insert(f.end(), {'d', 'a', 't', 'a'});
    put32(f, static_cast<uint32_t>(samples.size()));
    f.insert(f.end(), samples.begin(), samples.end());
    if (samples.size() & 1) f.push_back(0);
    const uint32_t riff = static_cast<uint32_t>(f.size() - 8);
    std::memcpy(&f[4], &riff, 4);

    const std::string path = tempPath(name);
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    std::fwrite(f.data(), 1, f.size(), file);
    std::fclose(file);
    return path;
}

std::string writeRaw(const std::string& name, const std::string& bytes) {
    const std::string path = tempPath(name);
    FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return path;
}

// Milliseconds that complete exactly n blocks of 256 frames at 22 050 Hz.
double blocksMillis(int n) { return n * 256 * 1000.0 / 22050.0; }

Block snapshot(const WaveInput& w) { return Block(w.current->bytes, w.current->bytes + 512); }

}  // namespace

TEST(WaveInputLevels, ByteValuesGiveChannelAndTotalLevels) {
    struct Case {
        uint8_t left, right;
        float leftLevel, rightLevel;
    };
    const Case cases[] = {
        {128, 128, 0.0f, 0.0f},                   // silence
        {0, 0, 0.5f, 0.5f},                       // most negative
        {255, 255, 127.0f / 256, 127.0f / 256},   // most positive
        {0, 128, 0.5f, 0.0f},                     // left input alone
        {128, 192, 0.0f, 0.25f},                  // right input alone, half scale
    };
    for (const Case& c : cases) {
        WaveInput wave;
        auto* fake = new FakeCapture();
        testing::internal::CaptureStdout();
        wave.startWith(fake);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        fake->complete(filledBlock(c.left, c.right));
        const float total = wave.update();
        SCOPED_TRACE(testing::Message() << "left " << int(c.left) << " right " << int(c.right));
        EXPECT_FLOAT_EQ(wave.leftLevel, c.leftLevel);
        EXPECT_FLOAT_EQ(wave.rightLevel, c.rightLevel);
        EXPECT_FLOAT_EQ(wave.level, c.leftLevel + c.rightLevel);
        EXPECT_EQ(total, wave.level);
        EXPECT_EQ(wave.byteCount, 512);
    }
}

TEST(WaveInputLevels, MixedSamplesSumAbsoluteValuesOverBufferLength) {
    WaveInput wave;
    auto* fake = new FakeCapture();
    wave.startWith(fake);
    Block b(512, 128);
    b[0] = 64;    // left -0.5
    b[2] = 192;   // left +0.5
    b[3] = 0;     // right -1
    fake->complete(b);
    wave.update();
    EXPECT_FLOAT_EQ(wave.leftLevel, 1.0f / 512);
    EXPECT_FLOAT_EQ(wave.rightLevel, 1.0f / 512);
}

TEST(WaveInputRing, SnapshotsFillTheRingAndWrapAt128) {
    WaveInput wave;
    auto* fake = new FakeCapture();
    wave.startWith(fake);
    EXPECT_EQ(wave.current, &wave.history[0]);
    for (int k = 1; k <= 128; ++k) {
        fake->complete(filledBlock(static_cast<uint8_t>(k), static_cast<uint8_t>(255 - k)));
        wave.update();
        ASSERT_EQ(wave.historyIndex, k % 128);
        ASSERT_EQ(wave.current, &wave.history[k % 128]);
        ASSERT_EQ(wave.current->bytes[0], k);
        ASSERT_EQ(wave.current->bytes[511], 255 - k);
    }
    // The 128th block landed in slot 0; slots 1..127 still hold blocks 1..127.
    EXPECT_EQ(wave.history[0].bytes[0], 128);
    EXPECT_EQ(wave.history[1].bytes[0], 1);
    EXPECT_EQ(wave.history[127].bytes[0], 127);
}

TEST(WaveInputRing, PollWithoutCompletedBlockKeepsEverything) {
    WaveInput wave;
    auto* fake = new FakeCapture();
    wave.startWith(fake);
    fake->complete(filledBlock(10, 200));
    const float first = wave.update();
    const Block before = snapshot(wave);
    const float second = wave.update();
    EXPECT_EQ(second, first);
    EXPECT_EQ(wave.historyIndex, 1);
    EXPECT_EQ(snapshot(wave), before);
    EXPECT_EQ(wave.byteCount, 512);
}

TEST(WaveInputRing, OnlyTheNewestOfSeveralCompletedBlocksIsTaken) {
    WaveInput wave;
    auto* fake = new FakeCapture();
    wave.startWith(fake);
    fake->complete(filledBlock(1, 1));
    fake->complete(filledBlock(2, 2));
    fake->complete(filledBlock(3, 3));
    wave.update();
    EXPECT_EQ(wave.historyIndex, 1);
    EXPECT_EQ(wave.current->bytes[0], 3);
}

TEST(WaveInputDevice, NoDeviceRecordsNothingAndStaysSilentOnStderr) {
    ScopedEnv env("STRATA_AUDIO", "strata_no_such_pcm");
    WaveInput wave;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    wave.start();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Record Failed\n");
    EXPECT_EQ(err, "");
    EXPECT_EQ(wave.device, nullptr);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(wave.update(), 0.0f);
    EXPECT_EQ(wave.byteCount, 512);
    EXPECT_EQ(wave.historyIndex, 0);
    EXPECT_EQ(snapshot(wave), Block(512, 0));
}

TEST(WaveInputDevice, SourceThatCannotStartIsReleased) {
    WaveInput wave;
    testing::internal::CaptureStdout();
    wave.startWith(new FakeCapture(false));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Record Failed\n");
    EXPECT_EQ(wave.device, nullptr);
    EXPECT_EQ(wave.update(), 0.0f);
}

// ALSA's "null" PCM exists on every system and accepts any format: it runs
// the whole sound-card path (open, capability test, format, polling).
TEST(WaveInputDevice, AlsaNullDeviceOpensAndDeliversBlocks) {
    ScopedEnv env("STRATA_AUDIO", "null");
    WaveInput wave;
    testing::internal::CaptureStdout();
    wave.start();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "CD Stereo quality \nWaveFile is Successfully Opened\n");
    ASSERT_NE(wave.device, nullptr);
    wave.update();
    EXPECT_EQ(wave.historyIndex, 1);
    EXPECT_EQ(wave.byteCount, 512);
}

TEST(WavFile, EightBitStereoArrivesAsTheSameBlocksLooping) {
    // 300 frames: block 1 runs past the end and continues from frame 0.
    std::vector<uint8_t> samples(600);
    for (int i = 0; i < 300; ++i) {
        samples[2 * i] = static_cast<uint8_t>(i % 251);
        samples[2 * i + 1] = static_cast<uint8_t>(255 - i % 247);
    }
    const std::string path = writeWav("s8.wav", WavSpec{}, samples);
    WaveInput wave;
    testing::internal::CaptureStdout();
    EXPECT_EQ(wave.startWavFile(path.c_str(), true), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Mono 22.05 \nWaveFile is Successfully Opened\n");

    wave.update();
    EXPECT_EQ(wave.historyIndex, 0) << "no time has passed";
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

    // Three blocks in one step: only the newest (block 4) is taken.
    wave.advanceClock(blocksMillis(3));
    wave.update();
    EXPECT_EQ(wave.historyIndex, 3);
    const int start = (4 * 256) % 300;
    EXPECT_EQ(wave.current->bytes[0], samples[2 * start]);
    EXPECT_EQ(wave.current->bytes[1], samples[2 * start + 1]);
    std::remove(path.c_str());
}

TEST(WavFile, FormatsConvertToUnsignedEightBitStereo) {
    const int n = 600;
    const auto pattern = [](int i) { return static_cast<uint8_t>((i * 37) % 256); };
    WavSound sound;
    const char* reason = nullptr;

    {  // 16-bit mono at 22 050: sample 256 * (b - 128) becomes b on both sides.
        std::vector<uint8_t> s;
        for (int i = 0; i < n; ++i) put16(s, static_cast<uint16_t>(static_cast<int16_t>((pattern(i) - 128) * 256)));
        const std::string path = writeWav("m16.wav", WavSpec{1, 1, 22050, 16, false}, s);
        ASSERT_TRUE(loadWavSound(path.c_str(), sound, &reason)) << reason;
        ASSERT_EQ(sound.frameCount(), n);
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(sound.frames[2 * i], pattern(i)) << i;
            ASSERT_EQ(sound.frames[2 * i + 1], pattern(i)) << i;
        }
        std::remove(path.c_str());
    }
    {  // 8-bit mono at 11 025: every source frame, with the midpoints between.
        std::vector<uint8_t> s;
        for (int i = 0; i < n; ++i) s.push_back(static_cast<uint8_t>(i % 2 ? 100 : 200));
        const std::string path = writeWav("m8_11k.wav", WavSpec{1, 1, 11025, 8, false}, s);
        ASSERT_TRUE(loadWavSound(path.c_str(), sound, &reason)) << reason;
        ASSERT_EQ(sound.frameCount(), 2 * n);
        EXPECT_EQ(sound.frames[0], 200);
        EXPECT_EQ(sound.frames[2], 150);
        EXPECT_EQ(sound.frames[4], 100);
        EXPECT_EQ(sound.frames[4 * 7 + 1], 100);
        std::remove(path.c_str());
    }
    {  // 16-bit stereo at 44 100: each output frame averages two source frames.
        std::vector<uint8_t> s;
        for (int i = 0; i < 2 * n; ++i) {
            put16(s, static_cast<uint16_t>(static_cast<int16_t>(i % 2 ? 16384 : 0)));   // left 0, 0.5
            put16(s, static_cast<uint16_t>(static_cast<int16_t>(-32768)));            // right -1
        }
        const std::string path = writeWav("s16_44k.wav", WavSpec{1, 2, 44100, 16, false}, s);
        ASSERT_TRUE(loadWavSound(path.c_str(), sound, &reason)) << reason;
        ASSERT_EQ(sound.frameCount(), n);
        EXPECT_EQ(sound.frames[0], 128 + 32);
        EXPECT_EQ(sound.frames[1], 0);
        EXPECT_EQ(sound.frames[2 * (n - 1)], 128 + 32);
        std::remove(path.c_str());
    }
    {  // 24-bit and float, extensible header.
        std::vector<uint8_t> s24;
        for (int i = 0; i < n; ++i) {
            const int32_t v = -4194304;  // -0.5
            s24.push_back(v & 0xFF);
            s24.push_back((v >> 8) & 0xFF);
            s24.push_back((v >> 16) & 0xFF);
        }
        const std::string p24 = writeWav("m24.wav", WavSpec{1, 1, 22050, 24, true}, s24);
        ASSERT_TRUE(loadWavSound(p24.c_str(), sound, &reason)) << reason;
        EXPECT_EQ(sound.frames[10], 64);
        std::remove(p24.c_str());

        std::vector<uint8_t> sf;
        for (int i = 0; i < n; ++i) {
            const float lr[2] = {0.5f, 3.0f};  // the second clips to the top
            const uint8_t* b = reinterpret_cast<const uint8_t*>(lr);
            sf.insert(sf.end(), b, b + 8);
        }
        const std::string pf = writeWav("sf.wav", WavSpec{3, 2, 22050, 32, true}, sf);
        ASSERT_TRUE(loadWavSound(pf.c_str(), sound, &reason)) << reason;
        EXPECT_EQ(sound.frames[0], 192);
        EXPECT_EQ(sound.frames[1], 255);
        EXPECT_TRUE(sound.sourceFloat);
        std::remove(pf.c_str());
    }
}

TEST(WavFile, UnusableFilesGiveOneLineAndNoDevice) {
    std::vector<uint8_t> sixteen(64, 0);
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {tempPath("missing.wav"), "cannot open the file"},
        {writeRaw("text.wav", "this is not a wave file at all"), "not a RIFF/WAVE file"},
        {writeRaw("nodata.wav", std::string("RIFF\x04\0\0\0WAVE", 12)), "no format chunk"},
        {writeWav("adpcm.wav", WavSpec{2, 2, 22050, 4, false}, sixteen), "compressed sample format"},
        {writeWav("bits12.wav", WavSpec{1, 1, 22050, 12, false}, sixteen), "unsupported sample size"},
        {writeWav("empty.wav", WavSpec{1, 2, 22050, 16, false}, {}), "no samples"},
    };
    for (const auto& c : cases) {
        WaveInput wave;
        testing::internal::CaptureStdout();
        EXPECT_EQ(wave.startWavFile(c.path.c_str(), true), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "WaveInput::open wave file not usable: " + c.path + " (" + c.reason + ")\nRecord Failed\n");
        EXPECT_EQ(wave.device, nullptr);
        wave.advanceClock(100);
        EXPECT_EQ(wave.update(), 0.0f);
        std::remove(c.path.c_str());
    }
}

TEST(WavFile, EnvironmentNamesAFilePlayedAgainstTheWallClock) {
    std::vector<uint8_t> samples;
    for (int i = 0; i < 22050 / 4; ++i) {
        put16(samples, static_cast<uint16_t>(static_cast<int16_t>(-16384)));
        put16(samples, static_cast<uint16_t>(static_cast<int16_t>(0)));
    }
    const std::string path = writeWav("cd.wav", WavSpec{1, 2, 44100, 16, false}, samples);
    ScopedEnv env("STRATA_AUDIO", path.c_str());
    WaveInput wave;
    testing::internal::CaptureStdout();
    wave.start();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "CD Stereo quality \nWaveFile is Successfully Opened\n");
    ASSERT_NE(wave.device, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    wave.update();
    EXPECT_EQ(wave.historyIndex, 1);
    EXPECT_FLOAT_EQ(wave.leftLevel, 0.25f);
    EXPECT_FLOAT_EQ(wave.rightLevel, 0.0f);
    std::remove(path.c_str());
}

// Every cut of a valid file, and every single header byte set to 0xFF, either
// loads or is refused; run under AddressSanitizer this also proves the reader
// never looks past the bytes it has.
TEST(WavFile, CutAndDamagedFilesLoadOrAreRefused) {
    std::vector<uint8_t> samples;
    for (int i = 0; i < 40; ++i) put16(samples, static_cast<uint16_t>(i * 1000));
    const std::string good = writeWav("good.wav", WavSpec{1, 2, 44100, 16, true}, samples);
    FILE* f = std::fopen(good.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> bytes(4096);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
    std::fclose(f);

    const std::string path = tempPath("damaged.wav");
    const auto attempt = [&](const std::vector<uint8_t>& content) {
        FILE* out = std::fopen(path.c_str(), "wb");
        if (!content.empty()) std::fwrite(content.data(), 1, content.size(), out);
        std::fclose(out);
        WavSound sound;
        const char* reason = nullptr;
        const bool ok = loadWavSound(path.c_str(), sound, &reason);
        if (ok) {
            EXPECT_GT(sound.frameCount(), 0);
            EXPECT_EQ(sound.frames.size() % 2, 0u);
        } else {
            EXPECT_NE(reason, nullptr);
        }
        return ok;
    };
    int loaded = 0;
    for (size_t cut = 0; cut <= bytes.size(); ++cut)
        loaded += attempt(std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut)) ? 1 : 0;
    EXPECT_GT(loaded, 0) << "files cut inside the data still play what they hold";
    for (size_t at = 0; at < 88 && at < bytes.size(); ++at) {
        std::vector<uint8_t> damaged = bytes;
        damaged[at] = 0xFF;
        attempt(damaged);
    }
    std::remove(path.c_str());
    std::remove(good.c_str());
}
