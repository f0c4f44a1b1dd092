#include "resources/ClipPlayer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/RegularFile.h"
#include "resources/SgiImage.h"

namespace {

std::atomic<bool> gExactFrames{false};
std::atomic<int> gExactWaitMillis{10000};
uint32_t gTick = 0;  // frame thread only
int gFrameMillis = 0;

constexpr int kIoBufferBytes = 64 * 1024;
// Decoding errors in a row after which a clip is given up.
constexpr int kMaxErrorsInARow = 64;

void fillBlack(unsigned char* pixels, size_t count) {
    for (size_t n = 0; n < count; ++n) {
        unsigned char* p = pixels + 4 * n;
        p[0] = p[1] = p[2] = 0;
        p[3] = 255;
    }
}

}  // namespace

void setClipFrameClock(int frameMillis) {
    ++gTick;
    gFrameMillis = frameMillis;
}

void ClipPlayer::setExactFrames(bool on, int maxWaitMillis) {
    gExactFrames = on;
    gExactWaitMillis = maxWaitMillis;
}

// ------------------------------------------------------------------ decoder

// FFmpeg's side of one clip, owned by the decoder thread. The file is read
// through our own input callbacks on a regular file we opened, so that no
// protocol, no other file and nothing that blocks is ever opened for it.
struct ClipPlayer::Decoder {
    ClipPlayer& clip;
    FILE* file = nullptr;
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwsContext* scaler = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    AVFrame* held = nullptr;  // while seeking: the last frame before the target
    int stream = -1;
    AVRational timeBase{1, 1};
    int64_t startPts = 0;
    int generation = 0;
    int64_t target = 0;
    bool seeking = false;     // frames before target are skipped
    bool heldPending = false;  // held, then frame, are to be written
    bool framePending = false;
    bool draining = false;
    bool ended = false;
    bool damaged = false;
    int errorsInARow = 0;
    int64_t lastPts = 0;
    int64_t frameTime = 40000;  // microseconds from one frame to the next
    int barsKey[kBuffers] = {};  // fitted size each buffer's bars were drawn for (0: none)

    explicit Decoder(ClipPlayer& c) : clip(c) {}
    ~Decoder() {
        sws_freeContext(scaler);
        av_frame_free(&frame);
        av_frame_free(&held);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
        if (io) av_freep(&io->buffer);
        avio_context_free(&io);
        if (file) fclose(file);
    }

    static int readPacket(void* opaque, uint8_t* buffer, int size) {
        auto* d = static_cast<Decoder*>(opaque);
        const size_t n = fread(buffer, 1, static_cast<size_t>(size), d->file);
        return n > 0 ? static_cast<int>(n) : AVERROR_EOF;
    }
    static int64_t seek(void* opaque, int64_t offset, int whence) {
        auto* d = static_cast<Decoder*>(opaque);
        if (whence & AVSEEK_SIZE) {
            const off_t here = ftello(d->file);
            if (fseeko(d->file, 0, SEEK_END) != 0) return -1;
            const off_t size = ftello(d->file);
            fseeko(d->file, here, SEEK_SET);
            return size;
        }
        return fseeko(d->file, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE) == 0 ? ftello(d->file) : -1;
    }
    static int interrupted(void* opaque) { return static_cast<ClipPlayer*>(opaque)->stop_.load() ? 1 : 0; }
    // Demuxers that would open further files (playlists, references) get
    // none.
    static int refuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
        return AVERROR(EPERM);
    }

    // Opens the file and its first video stream; a reason when it cannot.
    const char* open() {
        bool refused = false;
        file = openRegularFile(clip.path_.c_str(), "rb", &refused);
        if (refused) return "";  // openRegularFile said so
        if (!file) return "cannot open the file";
        auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
        io = buffer ? avio_alloc_context(buffer, kIoBufferBytes, 0, this, &readPacket, nullptr, &seek) : nullptr;
        if (!io) {
            av_free(buffer);
            return "out of memory";
        }
        format = avformat_alloc_context();
        if (!format) return "out of memory";
        format->pb = io;
        format->flags |= AVFMT_FLAG_CUSTOM_IO;
        format->interrupt_callback = {&interrupted, &clip};
        format->io_open = &refuseOpen;
        AVDictionary* options = nullptr;
        av_dict_set(&options, "format_whitelist", "mov,mp4,m4a,3gp,3g2,mj2,matroska,webm", 0);
        const int opened = avformat_open_input(&format, nullptr, nullptr, &options);
        av_dict_free(&options);
        if (opened < 0) return "not a clip FFmpeg can read";
        if (avformat_find_stream_info(format, nullptr) < 0) return "no stream information";
        const AVCodec* decoder = nullptr;
        stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
        if (stream < 0 || !decoder) return "no video stream with a decoder";
        const AVStream* s = format->streams[stream];
        if (s->codecpar->width <= 0 || s->codecpar->height <= 0) return "no frame size";
        if (s->codecpar->width > kSgiMaxSide || s->codecpar->height > kSgiMaxSide) return "frame side above 4096 pixels";
        codec = avcodec_alloc_context3(decoder);
        if (!codec || avcodec_parameters_to_context(codec, s->codecpar) < 0) return "out of memory";
        codec->thread_count = 1;  // one core per clip at most: four clips share two cores
        if (avcodec_open2(codec, decoder, nullptr) < 0) return "the decoder does not open";
        packet = av_packet_alloc();
        frame = av_frame_alloc();
        held = av_frame_alloc();
        if (!packet || !frame || !held) return "out of memory";
        timeBase = s->time_base;
        const AVRational rate = s->avg_frame_rate.num > 0 ? s->avg_frame_rate : s->r_frame_rate;
        if (rate.num > 0 && rate.den > 0) frameTime = std::max<int64_t>(1, av_rescale(1000000, rate.den, rate.num));
        startPts = s->start_time != AV_NOPTS_VALUE ? s->start_time : 0;
        int64_t duration = 0;
        if (s->duration != AV_NOPTS_VALUE && s->duration > 0)
            duration = av_rescale_q(s->duration, timeBase, AV_TIME_BASE_Q);
        else if (format->duration > 0)
            duration = format->duration;
        clip.duration_.store(duration, std::memory_order_release);
        return nullptr;
    }

    void damage(const char* why) {
        if (damaged || clip.stop_) return;  // a read cut off by the shutdown is no damage
        damaged = true;
        fprintf(stderr, "Clip damaged (%s) %s: playing what can be read\n", why, clip.path_.c_str());
    }

    // The next frame into `frame`: 1 a frame, 0 the end, -1 given up.
    int next() {
        while (true) {
            const int got = avcodec_receive_frame(codec, frame);
            if (got == 0) {
                errorsInARow = 0;
                if (frame->width <= 0 || frame->height <= 0 || frame->width > kSgiMaxSide ||
                    frame->height > kSgiMaxSide) {
                    damage("frame size outside the limits");
                    av_frame_unref(frame);
                    continue;
                }
                return 1;
            }
            if (got == AVERROR_EOF) return 0;
            if (got != AVERROR(EAGAIN)) {
                damage("undecodable frame");
                if (++errorsInARow > kMaxErrorsInARow) return -1;
            }
            if (draining) return 0;
            const int read = av_read_frame(format, packet);
            if (read < 0) {
                if (read != AVERROR_EOF) damage("unreadable data");
                draining = true;
                avcodec_send_packet(codec, nullptr);
                continue;
            }
            if (packet->stream_index == stream && avcodec_send_packet(codec, packet) < 0) {
                damage("undecodable packet");
                if (++errorsInARow > kMaxErrorsInARow) {
                    av_packet_unref(packet);
                    return -1;
                }
            }
            av_packet_unref(packet);
        }
    }

    int64_t ptsOf(const AVFrame* f) {
        const int64_t ts = f->best_effort_timestamp;
        if (ts == AV_NOPTS_VALUE) return lastPts + frameTime;  // no time: one frame on
        return av_rescale_q(ts - startPts, timeBase, AV_TIME_BASE_Q);
    }

    void seekTo(int64_t microseconds) {
        const int64_t ts = av_rescale_q(microseconds, AV_TIME_BASE_Q, timeBase) + startPts;
        if (av_seek_frame(format, stream, ts, AVSEEK_FLAG_BACKWARD) < 0)
            av_seek_frame(format, stream, startPts, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
        avcodec_flush_buffers(codec);
        av_frame_unref(held);
        target = microseconds;
        seeking = true;
        heldPending = framePending = draining = ended = false;
    }

    // Scales f into buffer b (aspect kept, black bars, bottom row first).
    bool write(const AVFrame* f, int b) {
        const int W = clip.width_, H = clip.height_;
        const double fit = std::min(static_cast<double>(W) / f->width, static_cast<double>(H) / f->height);
        const int w = std::clamp(static_cast<int>(std::lround(f->width * fit)), 1, W);
        const int h = std::clamp(static_cast<int>(std::lround(f->height * fit)), 1, H);
        scaler = sws_getCachedContext(scaler, f->width, f->height, static_cast<AVPixelFormat>(f->format), w, h,
                                      AV_PIX_FMT_RGBA, SWS_AREA, nullptr, nullptr, nullptr);
        if (!scaler) return false;
        unsigned char* pixels = clip.buffers_[b].pixels.get();
        if (barsKey[b] != w * 8192 + h) {
            fillBlack(pixels, static_cast<size_t>(W) * H);
            barsKey[b] = w * 8192 + h;
        }
        const int left = (W - w) / 2, bottom = (H - h) / 2;
        // The top row of the picture goes to the highest row of the fitted
        // area; a negative stride walks down from there.
        uint8_t* planes[4] = {pixels + (static_cast<size_t>(bottom + h - 1) * W + left) * 4, nullptr, nullptr, nullptr};
        const int strides[4] = {-W * 4, 0, 0, 0};
        return sws_scale(scaler, f->data, f->linesize, 0, f->height, planes, strides) == h;
    }
};

// ------------------------------------------------------------------- player

ClipPlayer::ClipPlayer(const char* path, int width, int height) : path_(path), width_(width), height_(height) {
    // FFmpeg's own messages stay out of the console: each clip says what went
    // wrong in one line of its own.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    const size_t pixels = static_cast<size_t>(width) * height;
    for (Buffer& b : buffers_) b.pixels = std::make_unique_for_overwrite<unsigned char[]>(pixels * 4);
    fillBlack(buffers_[0].pixels.get(), pixels);
    buffers_[0].state = Shown;
    buffers_[0].pts = INT64_MIN;
    buffers_[0].generation = -1;
    thread_ = std::thread([this] { run(); });
}

ClipPlayer::~ClipPlayer() {
    stop_ = true;
    wake_.fetch_add(1);
    wake_.notify_all();
    thread_.join();
}

int64_t ClipPlayer::shownTime() const { return buffers_[shown_].pts; }

void ClipPlayer::run() {
    // Below the frame thread: with more clips than cores, decoding yields to
    // drawing (a late clip frame repeats; a late picture would stutter). As a
    // batch thread a decoder woken by the frame thread does not take its core
    // away from it at once.
    const sched_param batch{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &batch);
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 5);
    auto waitForWake = [this](uint32_t seen) {
        if (!stop_) wake_.wait(seen);
    };
    for (uint32_t seen = wake_.load(); !wanted_ && !stop_; seen = wake_.load()) waitForWake(seen);
    if (stop_) return;
    Decoder d(*this);
    if (const char* why = d.open()) {
        if (*why && !stop_) fprintf(stderr, "Clip unreadable (%s) %s\n", why, path_.c_str());
        failed_.store(true, std::memory_order_release);
        return;
    }
    d.seeking = true;  // the first frame is the one at time 0
    while (!stop_) {
        const uint32_t seen = wake_.load();
        const int generation = requestGeneration_.load(std::memory_order_acquire);
        if (generation != d.generation) {
            d.generation = generation;
            d.seekTo(requestTarget_.load(std::memory_order_acquire));
        }
        if (d.ended) {
            waitForWake(seen);
            continue;
        }
        int free = -1;
        for (int i = 0; i < kBuffers && free < 0; ++i)
            if (buffers_[i].state.load(std::memory_order_acquire) == Free) free = i;
        if (free < 0) {
            waitForWake(seen);
            continue;
        }
        // What to write: a frame held back by the seek, the frame after it, or a new one.
        AVFrame* out = nullptr;
        if (d.heldPending) {
            out = d.held;
            d.heldPending = false;
        } else if (d.framePending) {
            out = d.frame;
            d.framePending = false;
        } else {
            av_frame_unref(d.frame);
            const int got = d.next();
            if (got < 0) {
                if (!stop_) fprintf(stderr, "Clip given up (too many undecodable frames) %s\n", path_.c_str());
                failed_.store(true, std::memory_order_release);
                endGeneration_.store(generation, std::memory_order_release);
                return;
            }
            if (got == 0) {
                if (d.seeking && d.held->data[0]) {  // the target lies past the last frame
                    d.heldPending = true;
                    d.seeking = false;
                    continue;
                }
                const int64_t duration = duration_.load();
                if (duration <= 0) duration_.store(std::max<int64_t>(d.lastPts + 1, 1));
                else if (d.lastPts + 2 * d.frameTime < duration) d.damage("cut short");
                d.ended = true;
                endGeneration_.store(generation, std::memory_order_release);
                continue;
            }
            const int64_t pts = d.ptsOf(d.frame);
            d.lastPts = std::max(d.lastPts, pts);
            if (d.seeking) {
                if (pts <= d.target) {  // keep the latest frame not after the target
                    av_frame_unref(d.held);
                    av_frame_move_ref(d.held, d.frame);
                    continue;
                }
                d.seeking = false;
                if (d.held->data[0]) {
                    d.heldPending = true;
                    d.framePending = true;
                    continue;
                }
            }
            out = d.frame;
        }
        Buffer& b = buffers_[free];
        b.state.store(Decoding, std::memory_order_relaxed);
        if (!d.write(out, free)) {
            d.damage("frame that cannot be scaled");
            b.state.store(Free, std::memory_order_release);
            continue;
        }
        b.pts = d.ptsOf(out);
        b.generation = generation;
        b.state.store(Ready, std::memory_order_release);
    }
}

void ClipPlayer::requestSeek(int64_t target) {
    seekPending_ = true;
    ++seekGeneration_;
    requestTarget_.store(target, std::memory_order_release);
    requestGeneration_.store(seekGeneration_, std::memory_order_release);
    wake_.fetch_add(1);
    wake_.notify_all();
}

bool ClipPlayer::pick(int64_t due, int generation, bool* changed) {
    int best = -1;
    bool freed = false;
    for (int i = 0; i < kBuffers; ++i) {
        Buffer& b = buffers_[i];
        if (b.state.load(std::memory_order_acquire) != Ready) continue;
        if (b.generation != generation) {
            b.state.store(Free, std::memory_order_release);
            freed = true;
        } else if (b.pts <= due && (best < 0 || b.pts > buffers_[best].pts)) {
            best = i;
        }
    }
    if (best >= 0) {
        for (int i = 0; i < kBuffers; ++i) {
            Buffer& b = buffers_[i];
            if (i != best && b.state.load(std::memory_order_acquire) == Ready && b.pts <= due) {
                b.state.store(Free, std::memory_order_release);
            }
        }
        buffers_[shown_].state.store(Free, std::memory_order_release);
        buffers_[best].state.store(Shown, std::memory_order_release);
        shown_ = best;
        *changed = true;
        freed = true;
    }
    if (freed) {
        wake_.fetch_add(1);
        wake_.notify_all();
    }
    return best >= 0;
}

bool ClipPlayer::settled(int64_t due, int generation) const {
    if (failed_.load(std::memory_order_acquire) || endGeneration_.load(std::memory_order_acquire) == generation)
        return true;
    for (const Buffer& b : buffers_)
        if (b.state.load(std::memory_order_acquire) == Ready && b.generation == generation && b.pts > due) return true;
    return false;
}

const unsigned char* ClipPlayer::frame(float speedControl, float positionControl, bool* changed) {
    *changed = false;
    const int64_t duration = duration_.load(std::memory_order_acquire);
    if (!started_) {
        started_ = true;
        lastTick_ = gTick;
        wanted_ = true;
        wake_.fetch_add(1);
        wake_.notify_all();
        *changed = true;  // the black frame, until the first decoded one
    } else if (lastTick_ != gTick) {
        lastTick_ = gTick;
        // Centre: the clip's own speed; a quarter: still; left: backwards.
        // Near still and near the own speed snap to them, so that a fader
        // finds them.
        double speed = 2.0 * speedControl + 1.0;
        if (std::fabs(speed) < 0.05) speed = 0.0;
        if (std::fabs(speed - 1.0) < 0.03) speed = 1.0;
        time_ += std::llround(gFrameMillis * 1000.0 * speed);
        bool jump = false;
        if (positionControl != lastPosition_ && duration > 0) {
            lastPosition_ = positionControl;
            const double fraction = std::clamp((positionControl + 1.0) * 0.5, 0.0, 1.0);
            time_ = std::min<int64_t>(std::llround(fraction * static_cast<double>(duration)), duration - 1);
            jump = true;
        }
        if (duration > 0 && (time_ >= duration || time_ < 0)) {
            time_ = ((time_ % duration) + duration) % duration;
            jump = true;
        }
        const int64_t shown = buffers_[shown_].pts;
        // A jump, a frame behind the clip time (backwards) or far before it
        // (a decoder behind) asks the decoder to seek.
        const bool behind = !seekPending_ && shown != INT64_MIN && (time_ < shown || time_ > shown + 1000000);
        if ((jump || behind) && !failed_.load(std::memory_order_acquire)) requestSeek(time_);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(gExactWaitMillis.load());
    while (true) {
        pick(time_, seekGeneration_, changed);
        if (settled(time_, seekGeneration_)) {
            seekPending_ = false;
            break;
        }
        if (!gExactFrames.load(std::memory_order_relaxed)) break;
        if (std::chrono::steady_clock::now() > deadline) {
            fprintf(stderr, "Clip too slow for exact frames, frame repeated %s\n", path_.c_str());
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return buffers_[shown_].pixels.get();
}
