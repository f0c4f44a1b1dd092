#include "input/AlsaCapture.h"

#include "input/AlsaQuiet.h"

#include <alsa/asoundlib.h>

#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Ring of about 93 ms at the device: long enough that a slow frame (a reactor
// being built) does not overrun, while every poll reads everything queued and
// keeps only the newest complete block, so the snapshot stays within one block
// of the input however much piled up.
constexpr snd_pcm_uframes_t kDeviceBufferFrames = 2048;

class AlsaCapture final : public CaptureBackend {
public:
    AlsaCapture(snd_pcm_t* pcm, const char* name, unsigned rate, unsigned channels)
        : pcm_(pcm), rate_(rate), channels_(channels) {
        std::snprintf(name_, sizeof name_, "%s", name);
    }
    ~AlsaCapture() override {
        snd_pcm_drop(pcm_);
        snd_pcm_close(pcm_);
    }

    bool start() override {
        if (snd_pcm_prepare(pcm_) < 0) return false;
        return snd_pcm_start(pcm_) >= 0;
    }

    bool lost() const override { return lost_; }
    bool streamsEveryBlock() const override { return true; }

    void describe(char* text, size_t size) const override {
        std::snprintf(text, size, "%s (ALSA), %u Hz, %u channels", name_, rate_, channels_);
    }

    bool takeNewestBlock(uint8_t* block) override {
        if (lost_) return false;
        snd_pcm_sframes_t avail = snd_pcm_avail(pcm_);
        if (avail < 0) {
            recover(static_cast<int>(avail));
            return false;
        }
        bool got = false;
        // Bounded by the device ring: at most kDeviceBufferFrames / 256 reads.
        for (int reads = 0; avail >= kBlockFrames && reads < 16; ++reads) {
            snd_pcm_sframes_t n = snd_pcm_readi(pcm_, scratch_, kBlockFrames);
            if (n == -EAGAIN) break;
            if (n < 0) {
                recover(static_cast<int>(n));
                break;
            }
            if (n == kBlockFrames) {
                streamBlock(scratch_);
                std::memcpy(block, scratch_, kBlockBytes);
                got = true;
            }
            avail -= n;
        }
        return got;
    }

private:
    // Overrun or suspend: restart capture; this frame keeps the old snapshot.
    // What cannot be recovered (the card is gone: ENODEV, a disconnected
    // stream) marks the source lost, so that its owner opens it again.
    void recover(int err) {
        if (snd_pcm_state(pcm_) == SND_PCM_STATE_DISCONNECTED || err == -ENODEV) {
            lost_ = true;
            return;
        }
        if (snd_pcm_recover(pcm_, err, 1) >= 0) {
            snd_pcm_start(pcm_);
            return;
        }
        // Prepare once more before giving the device up.
        if (snd_pcm_prepare(pcm_) < 0 || snd_pcm_start(pcm_) < 0) lost_ = true;
    }

    snd_pcm_t* pcm_;
    char name_[128] = {};
    unsigned rate_;
    unsigned channels_;
    bool lost_ = false;
    uint8_t scratch_[kBlockBytes] = {};
};

// "CD Stereo quality" means the device's configuration space admits 44.1 kHz
// 16-bit stereo interleaved capture. Devices reached through the plug layer
// ("default", "pulse", "plughw:...") convert anything and so always qualify;
// a raw "hw:" device qualifies only when the card itself does.
bool acceptsCdQuality(snd_pcm_t* pcm, const snd_pcm_hw_params_t* space) {
    snd_pcm_hw_params_t* probe = nullptr;
    snd_pcm_hw_params_alloca(&probe);
    snd_pcm_hw_params_copy(probe, space);
    return snd_pcm_hw_params_set_access(pcm, probe, SND_PCM_ACCESS_RW_INTERLEAVED) == 0 &&
           snd_pcm_hw_params_set_format(pcm, probe, SND_PCM_FORMAT_S16_LE) == 0 &&
           snd_pcm_hw_params_set_channels(pcm, probe, 2) == 0 &&
           snd_pcm_hw_params_set_rate(pcm, probe, 44100, 0) == 0;
}

bool setCaptureFormat(snd_pcm_t* pcm, snd_pcm_hw_params_t* hw) {
    if (snd_pcm_hw_params_set_rate_resample(pcm, hw, 1) < 0) return false;
    if (snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0) return false;
    if (snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_U8) < 0) return false;
    if (snd_pcm_hw_params_set_channels(pcm, hw, 2) < 0) return false;
    if (snd_pcm_hw_params_set_rate(pcm, hw, CaptureBackend::kFrameRate, 0) < 0) return false;
    snd_pcm_uframes_t period = CaptureBackend::kBlockFrames;
    int dir = 0;
    snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, &dir);
    snd_pcm_uframes_t buffer = kDeviceBufferFrames;
    snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer);
    if (snd_pcm_hw_params(pcm, hw) < 0) return false;

    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    if (snd_pcm_sw_params_current(pcm, sw) == 0) {
        snd_pcm_sw_params_set_avail_min(pcm, sw, CaptureBackend::kBlockFrames);
        snd_pcm_sw_params(pcm, sw);
    }
    return true;
}

}  // namespace

std::unique_ptr<CaptureBackend> openAlsaCapture(const char* deviceName, FILE* console, char* reason,
                                                size_t reasonSize) {
    silenceAlsaErrors();
    auto say = [console](const char* line) {
        if (console) std::fputs(line, console);
    };
    auto why = [reason, reasonSize](const char* text) {
        if (reason && reasonSize > 0) std::snprintf(reason, reasonSize, "%s", text);
    };
    snd_pcm_t* pcm = nullptr;
    int err = snd_pcm_open(&pcm, deviceName, SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (err < 0) {
        why(snd_strerror(err));
        return nullptr;
    }

    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    err = snd_pcm_hw_params_any(pcm, hw);
    if (err < 0) {
        why(snd_strerror(err));
        snd_pcm_close(pcm);
        return nullptr;
    }
    say(acceptsCdQuality(pcm, hw) ? "CD Stereo quality \n" : "Mono 22.05 \n");

    if (!setCaptureFormat(pcm, hw)) {
        why("the device refuses 8-bit stereo capture at 22050 Hz");
        say("WaveFile Open Failed ...........\n");
        snd_pcm_close(pcm);
        return nullptr;
    }
    unsigned rate = CaptureBackend::kFrameRate, channels = 2;
    int dir = 0;
    snd_pcm_hw_params_get_rate(hw, &rate, &dir);
    snd_pcm_hw_params_get_channels(hw, &channels);
    // Without throwing: out of memory gets the same failure line as a refused
    // format, and the device is closed.
    std::unique_ptr<CaptureBackend> capture(new (std::nothrow) AlsaCapture(pcm, deviceName, rate, channels));
    if (!capture) {
        why("out of memory");
        say("WaveFile Open Failed ...........\n");
        snd_pcm_close(pcm);
        return nullptr;
    }
    say("WaveFile is Successfully Opened\n");
    return capture;
}
