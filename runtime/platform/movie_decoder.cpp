#include "platform/movie_decoder.h"
#include "platform/played_movie.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>

#include "platform/window.h"

namespace plat {

namespace {

constexpr int kMinSoundRate = 1000;
constexpr int kMaxSoundRate = 384000;
constexpr int kFallbackSoundRate = 48000;
// More samples than this from one decoded block are not believed.
constexpr int kMaxSoundBlockSeconds = 10;
constexpr double kFallbackPictureMs = 40;
// The read hook runs at most this often.
constexpr double kHookEveryMs = 5;
// Pixels wider or taller than this many times the other way are not believed.
constexpr double kMostPixelAspect = 8;
// The scaler may write a little past the last pixel of a row; the pictures it writes
// have this much room after them.
constexpr size_t kScalerSlack = 256;

// Formats that read other files or addresses than the one opened: playlists,
// manifests, concatenation lists, session descriptions, numbered image series,
// subtitles kept beside their index.
const char* const kRefusedFormats[] = {"hls", "dash", "concat", "imf", "sdp", "rtsp", "rtp", "webm_dash_manifest",
                                       "image2", "vobsub"};

struct Picture {
    AVFrame* frame;
    double ms;
    size_t bytes;
};

struct SoundBlock {
    std::vector<int16_t> samples;
    double ms;
};

double Ms(int64_t ts, AVRational base) { return static_cast<double>(ts) * av_q2d(base) * 1000.0; }

void QuietLibraries() {
    // Damaged files would fill standard error with the decoders' complaints.
    static bool done = false;
    if (!done) av_log_set_level(AV_LOG_FATAL);
    done = true;
}

// Every format the libraries read but the refused ones, as the libraries' list of
// permitted formats.
const std::string& PermittedFormats() {
    static const std::string list = [] {
        std::string names;
        void* it = nullptr;
        while (const AVInputFormat* f = av_demuxer_iterate(&it)) {
            bool refused = false;
            for (const char* r : kRefusedFormats) refused = refused || std::strcmp(f->name, r) == 0;
            if (refused) continue;
            if (!names.empty()) names += ',';
            names += f->name;
        }
        return names;
    }();
    return list;
}

// Frame memory handed out by the libraries' own allocator, cleared: the decoders
// leave the padding around a picture unwritten, and the scaler reads some of it.
int ClearedBuffer(AVCodecContext* c, AVFrame* f, int flags) {
    const int r = avcodec_default_get_buffer2(c, f, flags);
    if (r < 0) return r;
    for (AVBufferRef* b : f->buf)
        if (b) std::memset(b->data, 0, b->size);
    for (int i = 0; i < f->nb_extended_buf; ++i) std::memset(f->extended_buf[i]->data, 0, f->extended_buf[i]->size);
    return r;
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
    if (codec->type == AVMEDIA_TYPE_VIDEO) c->get_buffer2 = ClearedBuffer;
    if (avcodec_open2(c, codec, nullptr) < 0) avcodec_free_context(&c);
    return c;
}

// The scaler's colour matrix for the picture: as tagged, else by its size (pictures
// of more than standard definition are mostly BT.709).
int ScalerColourSpace(const AVFrame* f) {
    switch (f->colorspace) {
        case AVCOL_SPC_BT709: return SWS_CS_ITU709;
        case AVCOL_SPC_FCC: return SWS_CS_FCC;
        case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M: return SWS_CS_ITU601;
        default: return f->width > 1024 || f->height > 576 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

// The formats that mark full range by their name, and the same layouts without it.
AVPixelFormat WithoutRangeName(AVPixelFormat f, bool& full) {
    switch (f) {
        case AV_PIX_FMT_YUVJ420P: full = true; return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P: full = true; return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P: full = true; return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P: full = true; return AV_PIX_FMT_YUV440P;
        case AV_PIX_FMT_YUVJ411P: full = true; return AV_PIX_FMT_YUV411P;
        default: return f;
    }
}

// Zeroed bytes with room for the scaler after them, kept between pictures.
struct PictureBuffer {
    uint8_t* data = nullptr;
    size_t size = 0;
    ~PictureBuffer() { av_free(data); }
    bool Fit(size_t bytes) {
        if (bytes <= size) return true;
        av_free(data);
        size = 0;
        data = static_cast<uint8_t*>(av_mallocz(bytes + kScalerSlack));
        if (!data) return false;
        size = bytes;
        return true;
    }
};

}  // namespace

struct MovieDecoder::State {
    std::string path;
    MovieLimits limits;
    std::function<bool()> hook;
    int wantedSoundRate = 0;
    AVFormatContext* fmt = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    int videoIndex = -1, audioIndex = -1;
    AVRational videoBase{1, 1}, audioBase{1, 1};
    SwsContext* sws = nullptr;
    int swsColour = -1, swsFullRange = -1;  // what the scaler was set to
    PictureBuffer scaled, turned;
    SwrContext* swr = nullptr;
    // What the resampler was made for.
    int swrFormat = -1, swrRate = 0, swrOutRate = 0;
    AVChannelLayout swrLayout{};
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int width = 0, height = 0, displayWidth = 0, displayHeight = 0, rotation = 0;
    int soundRate = 0, soundChannels = 0;
    double zeroMs = 0;        // the movie's start on the streams' clock
    double pictureStepMs = kFallbackPictureMs;
    std::deque<Picture> pictures;
    size_t pictureBytes = 0;
    bool havePicture = false;  // a picture was queued since the start
    double lastPictureMs = 0;
    std::deque<SoundBlock> sound;
    double soundNextMs = 0;    // where sound without a time stamp goes on
    bool ended = false;

    // The reading now under way, for the libraries' interrupt check.
    enum class Phase { Idle, Opening, Reading } phase = Phase::Idle;
    double phaseStartMs = 0, lastHookMs = 0, hookSpentMs = 0;
    int64_t phaseStartPos = 0;
    bool stopped = false;  // the hook asked to stop
    int64_t largestPacket = 0;

    ~State() { Close(); }

    void ClearQueues() {
        for (Picture& p : pictures) av_frame_free(&p.frame);
        pictures.clear();
        pictureBytes = 0;
        sound.clear();
        havePicture = false;
        lastPictureMs = soundNextMs = 0;
        ended = false;
    }

    void Close() {
        ClearQueues();
        sws_freeContext(sws);
        sws = nullptr;
        swsColour = swsFullRange = -1;
        swr_free(&swr);
        av_channel_layout_uninit(&swrLayout);
        swrFormat = -1;
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        avformat_close_input(&fmt);
        av_packet_free(&packet);
        av_frame_free(&frame);
        videoIndex = audioIndex = -1;
        width = height = displayWidth = displayHeight = rotation = soundRate = soundChannels = 0;
        pictureStepMs = kFallbackPictureMs;
        phase = Phase::Idle;
        largestPacket = 0;
    }

    void BeginPhase(Phase p) {
        phase = p;
        phaseStartMs = lastHookMs = ClockMs();
        hookSpentMs = 0;
        phaseStartPos = fmt && fmt->pb ? fmt->pb->pos : 0;
    }

    // The libraries' interrupt check: true stops what they are doing.
    bool ShouldStop() {
        if (phase == Phase::Idle) return false;
        if (stopped) return true;
        double now = ClockMs();
        if (hook && now - lastHookMs >= kHookEveryMs) {
            if (!hook()) stopped = true;
            const double after = ClockMs();
            hookSpentMs += after - now;
            lastHookMs = now = after;
            if (stopped) return true;
        }
        const double spent = now - phaseStartMs - hookSpentMs;
        if (phase == Phase::Opening) return spent > limits.openBudgetMs;
        // Packets themselves may be large (pictures coded whole): the budget grows with
        // the largest seen.
        const int64_t read = fmt && fmt->pb ? fmt->pb->pos - phaseStartPos : 0;
        return spent > limits.readBudgetMs || read > std::max(limits.readBudgetBytes, 4 * largestPacket);
    }

    static int Interrupt(void* arg) { return static_cast<State*>(arg)->ShouldStop() ? 1 : 0; }

    bool Open() {
        QuietLibraries();
        stopped = false;
        fmt = avformat_alloc_context();
        packet = av_packet_alloc();
        frame = av_frame_alloc();
        if (!fmt || !packet || !frame) return false;
        fmt->probesize = limits.probeBytes;
        fmt->max_analyze_duration = limits.probeMicroseconds;
        // The movie's length is not needed: MPEG streams are not read from their end to
        // find it (in a file that ends in zeros that would read them all).
        fmt->skip_estimate_duration_from_pts = 1;
        fmt->interrupt_callback.callback = Interrupt;
        fmt->interrupt_callback.opaque = this;
        AVDictionary* options = nullptr;
        av_dict_set(&options, "protocol_whitelist", "file", 0);
        av_dict_set(&options, "format_whitelist", PermittedFormats().c_str(), 0);
        BeginPhase(Phase::Opening);
        // Named as a local file whatever the name looks like.
        const int opened =
            avformat_open_input(&fmt, ("file:" + path).c_str(), nullptr, &options);  // frees fmt on failure
        av_dict_free(&options);
        if (opened < 0) return false;
        const bool found = avformat_find_stream_info(fmt, nullptr) >= 0 && !stopped;
        phase = Phase::Idle;
        if (!found) return false;

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
        FindShownSize(vs);

        // The sound, when there is a stream the libraries decode; a movie plays without.
        const int a = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, videoIndex, nullptr, 0);
        if (a >= 0) {
            AVStream* as = fmt->streams[a];
            const int rateIn = as->codecpar->sample_rate, channels = as->codecpar->ch_layout.nb_channels;
            if (rateIn > 0 && channels > 0 && (audio = OpenCodec(as, limits.maxPixels))) {
                audioIndex = a;
                audioBase = as->time_base;
                soundRate = wantedSoundRate ? wantedSoundRate
                            : rateIn >= kMinSoundRate && rateIn <= kMaxSoundRate ? rateIn
                                                                                 : kFallbackSoundRate;
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

    // The size to show the pictures at: the pixels' aspect ratio and the rotation the
    // file asks for applied to the announced size.
    void FindShownSize(AVStream* vs) {
        double w = width, h = height;
        const AVRational sar = av_guess_sample_aspect_ratio(fmt, vs, nullptr);
        if (sar.num > 0 && sar.den > 0) {
            const double aspect = std::clamp(av_q2d(sar), 1 / kMostPixelAspect, kMostPixelAspect);
            if (aspect >= 1)
                w *= aspect;
            else
                h /= aspect;
        }
        size_t size = 0;
        if (const uint8_t* m = av_stream_get_side_data(vs, AV_PKT_DATA_DISPLAYMATRIX, &size);
            m && size >= 9 * sizeof(int32_t)) {
            int32_t matrix[9];
            std::memcpy(matrix, m, sizeof matrix);
            // The libraries give the turn counter-clockwise.
            const double degrees = -av_display_rotation_get(matrix);
            if (std::isfinite(degrees)) rotation = ((static_cast<int>(std::lround(degrees / 90)) % 4 + 4) % 4) * 90;
        }
        if (rotation == 90 || rotation == 270) std::swap(w, h);
        displayWidth = static_cast<int>(std::clamp(std::lround(w), 1L, static_cast<long>(limits.maxWidth)));
        displayHeight = static_cast<int>(std::clamp(std::lround(h), 1L, static_cast<long>(limits.maxHeight)));
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
        size_t bytes = 0;
        for (AVBufferRef* b : kept->buf)
            if (b) bytes += b->size;
        pictures.push_back({kept, ms, bytes});
        pictureBytes += bytes;
        havePicture = true;
        lastPictureMs = ms;
    }

    bool ResamplerFits(const AVFrame* f) const {
        return swr && swrFormat == f->format && swrRate == f->sample_rate && swrOutRate == soundRate &&
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
            bool made = swr_alloc_set_opts2(&swr, &out, AV_SAMPLE_FMT_S16, soundRate, &in,
                                            static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr) >= 0;
            // Brought down to a lower rate, what lies above the new rate's half must be
            // filtered away, not folded back into what is heard: the SoX resampler when the
            // libraries have it (a steep filter), else their own with a longer filter.
            if (made && f->sample_rate != soundRate && av_opt_set(swr, "resampler", "soxr", 0) < 0)
                av_opt_set_int(swr, "filter_size", 64, 0);
            made = made && swr_init(swr) >= 0;
            av_channel_layout_uninit(&in);
            av_channel_layout_uninit(&out);
            if (!made) {
                swr_free(&swr);
                return;
            }
            swrFormat = f->format;
            swrRate = f->sample_rate;
            swrOutRate = soundRate;
            av_channel_layout_copy(&swrLayout, &f->ch_layout);
        }
        const int most = swr_get_out_samples(swr, f->nb_samples);
        if (most < 1 || most > kMaxSoundBlockSeconds * soundRate) return;
        // The time of the block's first sample: its own, else where the last one ended;
        // the resampler holds back a few samples, which come first.
        double ms = soundNextMs;
        if (f->best_effort_timestamp != AV_NOPTS_VALUE) {
            const double stamped = Ms(f->best_effort_timestamp, audioBase) - zeroMs -
                                   1000.0 * static_cast<double>(swr_get_delay(swr, soundRate)) / soundRate;
            // Believed unless it leaps far beyond both the sound and the pictures so far
            // (the sound may pause for any length of time while the pictures go on).
            if (std::isfinite(stamped) && stamped >= 0 &&
                stamped <= std::max(soundNextMs, lastPictureMs) + limits.maxGapMs)
                ms = stamped;
        }
        SoundBlock block;
        block.samples.resize(static_cast<size_t>(most) * soundChannels);
        uint8_t* out = reinterpret_cast<uint8_t*>(block.samples.data());
        const int got = swr_convert(swr, &out, most, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
        if (got < 1) return;
        block.samples.resize(static_cast<size_t>(got) * soundChannels);
        block.ms = ms;
        soundNextMs = ms + 1000.0 * got / soundRate;
        sound.push_back(std::move(block));
    }

    // The samples the resampler still holds, at the end of the sound.
    void FlushResampler() {
        if (!swr) return;
        const int most = swr_get_out_samples(swr, 0);
        if (most < 1 || most > kMaxSoundBlockSeconds * soundRate) return;
        SoundBlock block;
        block.samples.resize(static_cast<size_t>(most) * soundChannels);
        uint8_t* out = reinterpret_cast<uint8_t*>(block.samples.data());
        const int got = swr_convert(swr, &out, most, nullptr, 0);
        if (got < 1) return;
        block.samples.resize(static_cast<size_t>(got) * soundChannels);
        block.ms = soundNextMs;
        soundNextMs += 1000.0 * got / soundRate;
        sound.push_back(std::move(block));
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

    // The first waiting picture as width x height RGBA in `out` (which has room for it).
    bool Scale(const AVFrame* f, uint8_t* out, int w, int h) {
        bool full = f->color_range == AVCOL_RANGE_JPEG;
        const AVPixelFormat format = WithoutRangeName(static_cast<AVPixelFormat>(f->format), full);
        SwsContext* next = sws_getCachedContext(sws, f->width, f->height, format, w, h, AV_PIX_FMT_RGBA, SWS_BILINEAR,
                                                nullptr, nullptr, nullptr);
        if (!next) {
            sws = nullptr;
            return false;
        }
        const int colour = ScalerColourSpace(f);
        if (next != sws || colour != swsColour || static_cast<int>(full) != swsFullRange) {
            const int* matrix = sws_getCoefficients(colour);
            // RGB pictures have no matrix; the call then changes nothing.
            sws_setColorspaceDetails(next, matrix, full ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16,
                                     1 << 16);
            swsColour = colour;
            swsFullRange = full ? 1 : 0;
        }
        sws = next;
        uint8_t* dst[4] = {out, nullptr, nullptr, nullptr};
        int stride[4] = {w * 4, 0, 0, 0};
        return sws_scale(sws, f->data, f->linesize, 0, f->height, dst, stride) == h;
    }
};

MovieDecoder::MovieDecoder() : s_(std::make_unique<State>()) {}
MovieDecoder::~MovieDecoder() = default;

void MovieDecoder::SetReadHook(std::function<bool()> hook) { s_->hook = std::move(hook); }

void MovieDecoder::SetSoundRate(int rate) {
    s_->wantedSoundRate = rate >= kMinSoundRate && rate <= kMaxSoundRate ? rate : 0;
    if (s_->audio && s_->wantedSoundRate) s_->soundRate = s_->wantedSoundRate;
}

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
int MovieDecoder::DisplayWidth() const { return s_->displayWidth; }
int MovieDecoder::DisplayHeight() const { return s_->displayHeight; }
int MovieDecoder::Rotation() const { return s_->rotation; }
bool MovieDecoder::HasSound() const { return s_->audio != nullptr; }
int MovieDecoder::SoundRate() const { return s_->soundRate; }
int MovieDecoder::SoundChannels() const { return s_->soundChannels; }
bool MovieDecoder::Ended() const { return s_->ended || !IsOpen(); }
size_t MovieDecoder::PicturesWaiting() const { return s_->pictures.size(); }
size_t MovieDecoder::PictureBytesWaiting() const { return s_->pictureBytes; }

double MovieDecoder::NextPictureMs() const { return s_->pictures.empty() ? 0 : s_->pictures.front().ms; }

double MovieDecoder::PictureDurationMs() const {
    if (s_->pictures.size() > 1) return s_->pictures[1].ms - s_->pictures[0].ms;
    return s_->pictureStepMs;
}

double MovieDecoder::DecodedEndMs() const {
    const State& s = *s_;
    const double pictures = s.havePicture ? s.lastPictureMs + s.pictureStepMs : 0;
    return std::max(pictures, s.soundNextMs);
}

bool MovieDecoder::ReadPacket() {
    State& s = *s_;
    if (Ended()) return false;
    s.BeginPhase(State::Phase::Reading);
    const int r = s.stopped ? AVERROR_EXIT : av_read_frame(s.fmt, s.packet);
    s.phase = State::Phase::Idle;
    if (r < 0) {
        // The end (or a read error, an interrupted read, a file that ran on without
        // giving anything: each ends the movie as well): the decoders give out the
        // pictures and sound they still hold.
        s.Decode(s.video, nullptr, true);
        s.Decode(s.audio, nullptr, false);
        s.FlushResampler();
        s.ended = true;
        return true;
    }
    s.largestPacket = std::max<int64_t>(s.largestPacket, s.packet->size);
    if (s.packet->stream_index == s.videoIndex)
        s.Decode(s.video, s.packet, true);
    else if (s.packet->stream_index == s.audioIndex)
        s.Decode(s.audio, s.packet, false);
    av_packet_unref(s.packet);
    return true;
}

const uint8_t* MovieDecoder::TakePicture(int width, int height) {
    State& s = *s_;
    if (s.pictures.empty()) return nullptr;
    const AVFrame* f = s.pictures.front().frame;
    const uint8_t* result = nullptr;
    if (width > 0 && height > 0 && width <= s.limits.maxWidth && height <= s.limits.maxHeight) {
        const size_t bytes = static_cast<size_t>(width) * height * 4;
        if (s.rotation == 0) {
            if (s.scaled.Fit(bytes) && s.Scale(f, s.scaled.data, width, height)) result = s.scaled.data;
        } else {
            // Scaled in the stored orientation, then turned clockwise into place.
            const bool sideways = s.rotation == 90 || s.rotation == 270;
            const int sw = sideways ? height : width, sh = sideways ? width : height;
            if (s.scaled.Fit(bytes) && s.turned.Fit(bytes) && s.Scale(f, s.scaled.data, sw, sh)) {
                const uint32_t* from = reinterpret_cast<const uint32_t*>(s.scaled.data);
                uint32_t* to = reinterpret_cast<uint32_t*>(s.turned.data);
                for (int y = 0; y < sh; ++y)
                    for (int x = 0; x < sw; ++x) {
                        int tx = x, ty = y;
                        if (s.rotation == 90) tx = sh - 1 - y, ty = x;
                        else if (s.rotation == 180) tx = sw - 1 - x, ty = sh - 1 - y;
                        else tx = y, ty = sw - 1 - x;
                        to[static_cast<size_t>(ty) * width + tx] = from[static_cast<size_t>(y) * sw + x];
                    }
                result = s.turned.data;
            }
        }
    }
    DropPicture();
    return result;
}

void MovieDecoder::DropPicture() {
    State& s = *s_;
    if (s.pictures.empty()) return;
    s.pictureBytes -= s.pictures.front().bytes;
    av_frame_free(&s.pictures.front().frame);
    s.pictures.pop_front();
}

bool MovieDecoder::TakeSound(std::vector<int16_t>& samples, double& startMs) {
    State& s = *s_;
    if (s.sound.empty()) return false;
    samples.swap(s.sound.front().samples);
    startMs = s.sound.front().ms;
    s.sound.pop_front();
    return true;
}

bool MovieDecoder::Rewind() {
    if (!IsOpen()) return false;
    const std::string path = s_->path;
    const MovieLimits limits = s_->limits;
    return Open(path, limits);
}

}  // namespace plat

// The desktop plays no movie by itself: every movie is decoded through MovieDecoder.
namespace plat {

bool PlatformPlaysMovies() { return false; }

std::unique_ptr<PlayedMovie> OpenPlayedMovie(const std::string&) { return nullptr; }

}  // namespace plat
