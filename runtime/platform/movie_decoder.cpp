#include "platform/movie_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <deque>

namespace plat {

namespace {

constexpr int kMinSoundRate = 1000;
constexpr int kMaxSoundRate = 384000;
constexpr int kFallbackSoundRate = 48000;
// More samples than this from one decoded block are not believed.
constexpr int kMaxSoundBlockSeconds = 10;
constexpr double kFallbackPictureMs = 40;

struct Picture {
    AVFrame* frame;
    double ms;
};

double Ms(int64_t ts, AVRational base) { return static_cast<double>(ts) * av_q2d(base) * 1000.0; }

void QuietLibraries() {
    // Damaged files would fill standard error with the decoders' complaints.
    static bool done = false;
    if (!done) av_log_set_level(AV_LOG_FATAL);
    done = true;
}

// A decoder for the stream, opened; null when the libraries have none or refuse it.
AVCodecContext* OpenCodec(AVStream* st, int64_t maxPixels) {
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) return nullptr;
    AVCodecContext* c = avcodec_alloc_context3(codec);
    if (!c) return nullptr;
    if (avcodec_parameters_to_context(c, st->codecpar) < 0) {
        avcodec_free_context(&c);
        return nullptr;
    }
    c->pkt_timebase = st->time_base;
    c->max_pixels = maxPixels;
    if (avcodec_open2(c, codec, nullptr) < 0) avcodec_free_context(&c);
    return c;
}

}  // namespace

struct MovieDecoder::State {
    std::string path;
    MovieLimits limits;
    AVFormatContext* fmt = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    int videoIndex = -1, audioIndex = -1;
    AVRational videoBase{1, 1}, audioBase{1, 1};
    SwsContext* sws = nullptr;
    SwrContext* swr = nullptr;
    // What the resampler was made for.
    int swrFormat = -1, swrRate = 0;
    AVChannelLayout swrLayout{};
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int width = 0, height = 0;
    int soundRate = 0, soundChannels = 0;
    double zeroMs = 0;        // the movie's start on the streams' clock
    double pictureStepMs = kFallbackPictureMs;
    std::deque<Picture> pictures;
    bool havePicture = false;  // a picture was queued since the start
    double lastPictureMs = 0;
    std::vector<int16_t> sound;
    double soundStartMs = 0;   // of sound[0]
    double soundNextMs = 0;    // where sound without a time stamp goes on
    bool ended = false;

    ~State() { Close(); }

    void ClearQueues() {
        for (Picture& p : pictures) av_frame_free(&p.frame);
        pictures.clear();
        sound.clear();
        havePicture = false;
        lastPictureMs = soundNextMs = soundStartMs = 0;
        ended = false;
    }

    void Close() {
        ClearQueues();
        sws_freeContext(sws);
        sws = nullptr;
        swr_free(&swr);
        av_channel_layout_uninit(&swrLayout);
        swrFormat = -1;
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        avformat_close_input(&fmt);
        av_packet_free(&packet);
        av_frame_free(&frame);
        videoIndex = audioIndex = -1;
        width = height = soundRate = soundChannels = 0;
    }

    bool Open() {
        QuietLibraries();
        fmt = avformat_alloc_context();
        packet = av_packet_alloc();
        frame = av_frame_alloc();
        if (!fmt || !packet || !frame) return false;
        fmt->probesize = limits.probeBytes;
        fmt->max_analyze_duration = limits.probeMicroseconds;
        if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return false;  // frees fmt
        if (avformat_find_stream_info(fmt, nullptr) < 0) return false;

        // The first picture stream that is a moving picture (not the cover of a song).
        for (unsigned i = 0; i < fmt->nb_streams; ++i) {
            AVStream* st = fmt->streams[i];
            if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
                videoIndex = static_cast<int>(i);
                break;
            }
        }
        if (videoIndex < 0) return false;
        AVStream* vs = fmt->streams[videoIndex];
        width = vs->codecpar->width;
        height = vs->codecpar->height;
        if (width < 1 || height < 1 || width > limits.maxWidth || height > limits.maxHeight ||
            static_cast<int64_t>(width) * height > limits.maxPixels)
            return false;
        video = OpenCodec(vs, limits.maxPixels);
        if (!video) return false;
        videoBase = vs->time_base;
        AVRational rate = av_guess_frame_rate(fmt, vs, nullptr);
        if (rate.num > 0 && rate.den > 0) pictureStepMs = std::clamp(1000.0 * rate.den / rate.num, 1.0, 1000.0);

        // The sound, when there is a stream the libraries decode; a movie plays without.
        const int a = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, videoIndex, nullptr, 0);
        if (a >= 0) {
            AVStream* as = fmt->streams[a];
            const int rateIn = as->codecpar->sample_rate, channels = as->codecpar->ch_layout.nb_channels;
            if (rateIn > 0 && channels > 0 && (audio = OpenCodec(as, limits.maxPixels))) {
                audioIndex = a;
                audioBase = as->time_base;
                soundRate = rateIn >= kMinSoundRate && rateIn <= kMaxSoundRate ? rateIn : kFallbackSoundRate;
                soundChannels = channels == 1 ? 1 : 2;
            }
        }

        // Both streams' times count from the earlier of their starts.
        double zero = HUGE_VAL;
        if (vs->start_time != AV_NOPTS_VALUE) zero = Ms(vs->start_time, videoBase);
        if (audio && fmt->streams[audioIndex]->start_time != AV_NOPTS_VALUE)
            zero = std::min(zero, Ms(fmt->streams[audioIndex]->start_time, audioBase));
        zeroMs = std::isfinite(zero) ? zero : 0;
        return true;
    }

    void QueuePicture(AVFrame* f) {
        if (f->width < 1 || f->height < 1 || f->width > limits.maxWidth || f->height > limits.maxHeight ||
            static_cast<int64_t>(f->width) * f->height > limits.maxPixels || f->format < 0)
            return;
        double ms = lastPictureMs + pictureStepMs;
        if (f->best_effort_timestamp != AV_NOPTS_VALUE) ms = Ms(f->best_effort_timestamp, videoBase) - zeroMs;
        if (!havePicture) {
            if (!(ms >= 0) || ms > limits.maxGapMs) ms = 0;
        } else if (!(ms >= lastPictureMs)) {
            ms = lastPictureMs;  // never back in time
        } else if (ms > lastPictureMs + limits.maxGapMs) {
            ms = lastPictureMs + pictureStepMs;
        }
        AVFrame* kept = av_frame_alloc();
        if (!kept) return;
        av_frame_move_ref(kept, f);
        pictures.push_back({kept, ms});
        havePicture = true;
        lastPictureMs = ms;
    }

    bool ResamplerFits(const AVFrame* f) const {
        return swr && swrFormat == f->format && swrRate == f->sample_rate &&
               av_channel_layout_compare(&swrLayout, &f->ch_layout) == 0;
    }

    void QueueSound(AVFrame* f) {
        if (f->nb_samples < 1 || f->sample_rate < 1 || f->ch_layout.nb_channels < 1 || f->format < 0) return;
        if (!ResamplerFits(f)) {
            swr_free(&swr);
            av_channel_layout_uninit(&swrLayout);
            swrFormat = -1;
            AVChannelLayout in{}, out{};
            if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
                av_channel_layout_default(&in, f->ch_layout.nb_channels);
            else if (av_channel_layout_copy(&in, &f->ch_layout) < 0)
                return;
            av_channel_layout_default(&out, soundChannels);
            const bool made = swr_alloc_set_opts2(&swr, &out, AV_SAMPLE_FMT_S16, soundRate, &in,
                                                  static_cast<AVSampleFormat>(f->format), f->sample_rate, 0,
                                                  nullptr) >= 0 &&
                              swr_init(swr) >= 0;
            av_channel_layout_uninit(&in);
            av_channel_layout_uninit(&out);
            if (!made) {
                swr_free(&swr);
                return;
            }
            swrFormat = f->format;
            swrRate = f->sample_rate;
            av_channel_layout_copy(&swrLayout, &f->ch_layout);
        }
        const int most = swr_get_out_samples(swr, f->nb_samples);
        if (most < 1 || most > kMaxSoundBlockSeconds * soundRate) return;
        if (sound.empty()) {
            soundStartMs = soundNextMs;
            if (f->best_effort_timestamp != AV_NOPTS_VALUE) {
                const double ms = Ms(f->best_effort_timestamp, audioBase) - zeroMs;
                if (std::isfinite(ms) && ms >= 0) soundStartMs = ms;
            }
        }
        const size_t before = sound.size();
        sound.resize(before + static_cast<size_t>(most) * soundChannels);
        uint8_t* out = reinterpret_cast<uint8_t*>(sound.data() + before);
        const int got = swr_convert(swr, &out, most, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
        sound.resize(before + static_cast<size_t>(std::max(got, 0)) * soundChannels);
    }

    // Hands the packet (null: the end) to its decoder and takes what comes out.
    void Decode(AVCodecContext* c, const AVPacket* p, bool isVideo) {
        if (!c || avcodec_send_packet(c, p) < 0) return;
        while (avcodec_receive_frame(c, frame) == 0) {
            if (isVideo)
                QueuePicture(frame);
            else
                QueueSound(frame);
            av_frame_unref(frame);
        }
    }
};

MovieDecoder::MovieDecoder() : s_(std::make_unique<State>()) {}
MovieDecoder::~MovieDecoder() = default;

bool MovieDecoder::Open(const std::string& path, const MovieLimits& limits) {
    Close();
    s_->path = path;
    s_->limits = limits;
    if (s_->Open()) return true;
    Close();
    return false;
}

void MovieDecoder::Close() { s_->Close(); }
bool MovieDecoder::IsOpen() const { return s_->video != nullptr; }
int MovieDecoder::Width() const { return s_->width; }
int MovieDecoder::Height() const { return s_->height; }
bool MovieDecoder::HasSound() const { return s_->audio != nullptr; }
int MovieDecoder::SoundRate() const { return s_->soundRate; }
int MovieDecoder::SoundChannels() const { return s_->soundChannels; }
bool MovieDecoder::Ended() const { return s_->ended || !IsOpen(); }
size_t MovieDecoder::PicturesWaiting() const { return s_->pictures.size(); }

double MovieDecoder::NextPictureMs() const { return s_->pictures.empty() ? 0 : s_->pictures.front().ms; }

double MovieDecoder::PictureDurationMs() const {
    if (s_->pictures.size() > 1) return s_->pictures[1].ms - s_->pictures[0].ms;
    return s_->pictureStepMs;
}

bool MovieDecoder::ReadPacket() {
    State& s = *s_;
    if (Ended()) return false;
    const int r = av_read_frame(s.fmt, s.packet);
    if (r < 0) {
        // The end (or a read error, which ends the movie as well): the decoders give
        // out the pictures and sound they still hold.
        s.Decode(s.video, nullptr, true);
        s.Decode(s.audio, nullptr, false);
        s.ended = true;
        return true;
    }
    if (s.packet->stream_index == s.videoIndex)
        s.Decode(s.video, s.packet, true);
    else if (s.packet->stream_index == s.audioIndex)
        s.Decode(s.audio, s.packet, false);
    av_packet_unref(s.packet);
    return true;
}

bool MovieDecoder::TakePicture(uint8_t* rgba, int width, int height) {
    State& s = *s_;
    if (s.pictures.empty()) return false;
    AVFrame* f = s.pictures.front().frame;
    bool ok = false;
    if (rgba && width > 0 && height > 0 && width <= s.limits.maxWidth && height <= s.limits.maxHeight) {
        s.sws = sws_getCachedContext(s.sws, f->width, f->height, static_cast<AVPixelFormat>(f->format), width, height,
                                     AV_PIX_FMT_RGBA, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (s.sws) {
            uint8_t* dst[4] = {rgba, nullptr, nullptr, nullptr};
            int stride[4] = {width * 4, 0, 0, 0};
            ok = sws_scale(s.sws, f->data, f->linesize, 0, f->height, dst, stride) == height;
        }
    }
    DropPicture();
    return ok;
}

void MovieDecoder::DropPicture() {
    if (s_->pictures.empty()) return;
    av_frame_free(&s_->pictures.front().frame);
    s_->pictures.pop_front();
}

bool MovieDecoder::TakeSound(std::vector<int16_t>& samples, double& startMs) {
    State& s = *s_;
    if (s.sound.empty()) return false;
    samples.swap(s.sound);
    s.sound.clear();
    startMs = s.soundStartMs;
    s.soundNextMs = startMs + 1000.0 * static_cast<double>(samples.size() / s.soundChannels) / s.soundRate;
    return true;
}

bool MovieDecoder::Rewind() {
    State& s = *s_;
    if (!IsOpen()) return false;
    s.ClearQueues();
    const int64_t start = s.fmt->start_time != AV_NOPTS_VALUE ? s.fmt->start_time : 0;
    if (av_seek_frame(s.fmt, -1, start, AVSEEK_FLAG_BACKWARD) < 0) {
        // A file that cannot seek is opened afresh.
        const std::string path = s.path;
        const MovieLimits limits = s.limits;
        return Open(path, limits);
    }
    avcodec_flush_buffers(s.video);
    if (s.audio) avcodec_flush_buffers(s.audio);
    swr_free(&s.swr);
    av_channel_layout_uninit(&s.swrLayout);
    s.swrFormat = -1;
    return true;
}

}  // namespace plat
