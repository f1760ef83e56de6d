// webmovie: makes a game's movies playable in the browser; `tolvanec build --web` runs
// it over the assets before it packs them.
//
//   webmovie ASSETS STAGING CACHE
//
// STAGING (made afresh) becomes a copy of the folder ASSETS made of links to files:
// every file links to itself, but a movie the browser cannot play links to the same
// movie converted to WebM (VP8 pictures, Opus sound), under its own name, so a program
// finds it by the name it always used. The browser plays as they are WebM files with
// VP8, VP9 or AV1 pictures and Opus or Vorbis sound, and MP4 files with H.264 pictures
// and AAC or MP3 sound; every other movie is converted (MPEG program streams, AVI,
// Matroska, Ogg with Theora, MP4 with other pictures ...). Pictures (BMP, PNG ...) and
// sound files are no movies.
//
// A movie is read as the desktop's movie player reads it (the same decoder): the
// converted movie has its length, its pictures in the shape they are shown in (the
// pixels' aspect ratio and the turn the file asks for applied, so its pixels are square
// and it needs no turning; in no more pixels than the original stores), its pictures'
// times, and its sound at 48000 Hz at the same place on the clock. Converted movies are
// kept in CACHE under a digest of the original's bytes, so a rebuild converts nothing
// again. A file that cannot be read or converted keeps its link to the original (the
// page then answers that it is no movie) and is named in a warning on standard error,
// as is a file named like a movie that is none; that stops nothing. Standard output has
// one line for each movie: converted (and how long that took), taken from the cache,
// or kept as it is. The exit status is 1 when STAGING cannot be made whole (tolvanec
// then packs ASSETS as they are), 2 for a wrong command line.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "platform/movie_decoder.h"

namespace fs = std::filesystem;

namespace {

// Changes whenever the conversion changes, so that older results are not taken.
constexpr const char* kConversion = "webm-vp8-opus-2";
constexpr int kSoundRate = 48000;
// Longer stretches without sound (in a damaged file, a time that leaps) are cut to this.
constexpr int64_t kMostSilence = int64_t{60} * kSoundRate;

// ---- what a file is ------------------------------------------------------------------

enum class Kind { NotMovie, Plays, Convert };

bool EndsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// A name that says the file is a movie.
bool NamedLikeMovie(const fs::path& file) {
    std::string ext = file.extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* e : {".avi", ".mpg", ".mpeg", ".m1v", ".m2v", ".vob", ".mkv", ".mp4", ".m4v", ".mov", ".ogv",
                          ".webm", ".wmv", ".asf", ".flv", ".ts", ".m2ts", ".3gp"})
        if (ext == e) return true;
    return false;
}

// A Matroska file that says it is WebM (its document type).
bool SaysWebM(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    char head[4096] = {};
    in.read(head, sizeof head);
    const std::string bytes(head, static_cast<size_t>(in.gcount()));
    return bytes.find(std::string("\x42\x82\x84webm", 7)) != std::string::npos;
}

// Every format the libraries read but those that open further files or addresses
// (playlists, manifests, lists, numbered picture series), as the decoder permits them.
const std::string& PermittedFormats() {
    static const std::string list = [] {
        const char* const refused[] = {"hls",    "dash",  "concat", "imf", "sdp", "rtsp", "rtp", "webm_dash_manifest",
                                       "image2", "vobsub"};
        std::string names;
        void* it = nullptr;
        while (const AVInputFormat* f = av_demuxer_iterate(&it)) {
            if (std::any_of(std::begin(refused), std::end(refused),
                            [f](const char* r) { return !std::strcmp(r, f->name); }))
                continue;
            if (!names.empty()) names += ',';
            names += f->name;
        }
        return names;
    }();
    return list;
}

Kind Classify(const fs::path& file) {
    // What the desktop cannot play either is left as it is.
    {
        plat::MovieDecoder decoder;
        if (!decoder.Open(file.string())) return Kind::NotMovie;
    }
    AVFormatContext* fmt = avformat_alloc_context();
    if (!fmt) return Kind::NotMovie;
    fmt->probesize = 5 << 20;
    fmt->max_analyze_duration = 5000000;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "format_whitelist", PermittedFormats().c_str(), 0);
    const int opened = avformat_open_input(&fmt, ("file:" + file.string()).c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) return Kind::NotMovie;
    Kind kind = Kind::NotMovie;
    const std::string format = fmt->iformat->name;
    // Pictures read as one-picture streams are no movies.
    if (!EndsWith(format, "_pipe") && format != "image2" && avformat_find_stream_info(fmt, nullptr) >= 0) {
        AVCodecID video = AV_CODEC_ID_NONE;
        bool soundPlays = true;
        for (unsigned i = 0; i < fmt->nb_streams; ++i) {
            const AVStream* st = fmt->streams[i];
            const AVCodecID id = st->codecpar->codec_id;
            if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC) &&
                video == AV_CODEC_ID_NONE)
                video = id;
            if (st->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
            if (format.find("matroska") != std::string::npos)
                soundPlays = soundPlays && (id == AV_CODEC_ID_OPUS || id == AV_CODEC_ID_VORBIS);
            else
                soundPlays = soundPlays && (id == AV_CODEC_ID_AAC || id == AV_CODEC_ID_MP3);
        }
        if (video != AV_CODEC_ID_NONE) {
            kind = Kind::Convert;
            const bool webm = format.find("matroska") != std::string::npos && SaysWebM(file) &&
                              (video == AV_CODEC_ID_VP8 || video == AV_CODEC_ID_VP9 || video == AV_CODEC_ID_AV1);
            const bool mp4 = format.find("mp4") != std::string::npos && video == AV_CODEC_ID_H264;
            if ((webm || mp4) && soundPlays) kind = Kind::Plays;
        }
    }
    avformat_close_input(&fmt);
    return kind;
}

// ---- the digest of a file --------------------------------------------------------------

bool Digest(const fs::path& file, std::string& hex) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    uint64_t h = 1469598103934665603ULL;
    for (const char* c = kConversion; *c; ++c) h = (h ^ static_cast<uint8_t>(*c)) * 1099511628211ULL;
    std::vector<char> buf(1 << 16);
    while (in) {
        in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
        for (std::streamsize i = 0; i < in.gcount(); ++i) h = (h ^ static_cast<uint8_t>(buf[i])) * 1099511628211ULL;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    hex = text;
    return true;
}

// ---- the conversion --------------------------------------------------------------------

struct Encoder {
    AVCodecContext* enc = nullptr;
    AVStream* st = nullptr;
    AVFrame* frame = nullptr;
};

class Converter {
public:
    ~Converter() {
        for (Encoder* e : {&video_, &sound_}) {
            av_frame_free(&e->frame);
            avcodec_free_context(&e->enc);
        }
        sws_freeContext(sws_);
        if (out_) {
            if (out_->pb) avio_closep(&out_->pb);
            avformat_free_context(out_);
        }
        av_packet_free(&packet_);
    }

    // Converts `in` into the WebM file `out`; false, with the reason, when it cannot.
    bool Run(const std::string& in, const std::string& out, std::string& why) {
        if (!decoder_.Open(in)) return Fail(why, "not a movie the decoder can read");
        // The shown shape, in no more pixels than the file stores (wide pixels make the
        // picture lower rather than wider): the browser has less to decode and draw.
        width_ = decoder_.DisplayWidth();
        height_ = decoder_.DisplayHeight();
        const double stored = static_cast<double>(decoder_.Width()) * decoder_.Height();
        if (static_cast<double>(width_) * height_ > stored) {
            const double f = std::sqrt(stored / (static_cast<double>(width_) * height_));
            width_ = std::max(1, static_cast<int>(std::lround(width_ * f)));
            height_ = std::max(1, static_cast<int>(std::lround(height_ * f)));
        }
        if (avformat_alloc_output_context2(&out_, nullptr, "webm", out.c_str()) < 0 || !out_)
            return Fail(why, "no WebM writer");
        packet_ = av_packet_alloc();
        if (!packet_ || !OpenVideo() || (decoder_.HasSound() && !OpenSound()))
            return Fail(why, "cannot open the encoders");
        if (avio_open(&out_->pb, out.c_str(), AVIO_FLAG_WRITE) < 0 || avformat_write_header(out_, nullptr) < 0)
            return Fail(why, "cannot write " + out);
        std::vector<int16_t> block;
        double blockMs = 0;
        for (bool more = true; more;) {
            more = decoder_.ReadPacket();
            while (decoder_.PicturesWaiting() > 0)
                if (!Picture()) return Fail(why, "the picture encoder failed");
            while (decoder_.TakeSound(block, blockMs))
                if (sound_.enc && !Sound(block, blockMs)) return Fail(why, "the sound encoder failed");
        }
        if (pictures_ == 0) return Fail(why, "no picture could be read");
        if (sound_.enc) {
            // The sound lasts as long as the movie.
            const int64_t end = std::llround(decoder_.DecodedEndMs() * kSoundRate / 1000);
            if (end > placed_) Silence(std::min(end - placed_, kMostSilence));
            if (!EncodeSound(true)) return Fail(why, "the sound encoder failed");
        }
        if (!Flush(video_) || (sound_.enc && !Flush(sound_)) || av_write_trailer(out_) < 0)
            return Fail(why, "cannot finish " + out);
        lengthMs_ = decoder_.DecodedEndMs();
        return true;
    }

    double LengthMs() const { return lengthMs_; }

private:
    static bool Fail(std::string& why, const std::string& reason) {
        why = reason;
        return false;
    }

    bool Open(Encoder& e, const AVCodec* codec) {
        if (out_->oformat->flags & AVFMT_GLOBALHEADER) e.enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        e.st = avformat_new_stream(out_, nullptr);
        e.frame = av_frame_alloc();
        if (!e.st || !e.frame || avcodec_open2(e.enc, codec, nullptr) < 0) return false;
        if (avcodec_parameters_from_context(e.st->codecpar, e.enc) < 0) return false;
        e.st->time_base = e.enc->time_base;
        return true;
    }

    // VP8, fast: the encoder's real-time mode at its quickest, with room in the bit
    // rate for clean pictures.
    bool OpenVideo() {
        const AVCodec* codec = avcodec_find_encoder_by_name("libvpx");
        if (!codec || !(video_.enc = avcodec_alloc_context3(codec))) return false;
        AVCodecContext* c = video_.enc;
        c->width = width_;
        c->height = height_;
        c->pix_fmt = AV_PIX_FMT_YUV420P;
        c->time_base = {1, 1000};
        c->sample_aspect_ratio = {1, 1};
        c->color_range = AVCOL_RANGE_MPEG;
        c->colorspace = AVCOL_SPC_BT470BG;
        c->bit_rate = std::clamp<int64_t>(static_cast<int64_t>(width_) * height_ * 12, 400000, 20000000);
        c->rc_max_rate = 0;
        c->qmin = 2;
        c->qmax = 40;
        c->gop_size = 120;
        av_opt_set(c->priv_data, "deadline", "realtime", 0);
        av_opt_set(c->priv_data, "cpu-used", "8", 0);
        av_opt_set(c->priv_data, "lag-in-frames", "0", 0);
        av_opt_set(c->priv_data, "auto-alt-ref", "0", 0);
        if (!Open(video_, codec)) return false;
        AVFrame* f = video_.frame;
        f->format = c->pix_fmt;
        f->width = width_;
        f->height = height_;
        if (av_frame_get_buffer(f, 0) < 0) return false;
        sws_ = sws_getContext(width_, height_, AV_PIX_FMT_RGBA, width_, height_, AV_PIX_FMT_YUV420P, SWS_BILINEAR,
                              nullptr, nullptr, nullptr);
        return sws_ != nullptr;
    }

    bool OpenSound() {
        const AVCodec* codec = avcodec_find_encoder_by_name("libopus");
        if (!codec || !(sound_.enc = avcodec_alloc_context3(codec))) return false;
        AVCodecContext* c = sound_.enc;
        channels_ = decoder_.SoundChannels();
        c->sample_rate = kSoundRate;
        av_channel_layout_default(&c->ch_layout, channels_);
        c->sample_fmt = AV_SAMPLE_FMT_S16;
        c->time_base = {1, kSoundRate};
        c->bit_rate = channels_ == 1 ? 64000 : 128000;
        if (!Open(sound_, codec)) return false;
        frameSamples_ = c->frame_size > 0 ? c->frame_size : 960;
        return true;
    }

    // Writes every packet the encoder has ready.
    bool Drain(Encoder& e) {
        while (true) {
            const int r = avcodec_receive_packet(e.enc, packet_);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
            if (r < 0) return false;
            if (&e == &video_) {
                // Each picture lasts until the next, as the decoder tells it.
                const auto d = durations_.find(packet_->pts);
                if (d != durations_.end()) {
                    packet_->duration = d->second;
                    durations_.erase(d);
                }
            }
            av_packet_rescale_ts(packet_, e.enc->time_base, e.st->time_base);
            packet_->stream_index = e.st->index;
            if (av_interleaved_write_frame(out_, packet_) < 0) return false;
        }
    }

    bool Flush(Encoder& e) { return avcodec_send_frame(e.enc, nullptr) >= 0 && Drain(e); }

    bool Picture() {
        const int64_t at = std::max<int64_t>(std::llround(decoder_.NextPictureMs()), lastPts_ + 1);
        const int64_t duration = std::max<int64_t>(std::llround(decoder_.PictureDurationMs()), 1);
        const uint8_t* rgba = decoder_.TakePicture(width_, height_);
        if (!rgba) return true;  // a damaged picture is left out
        AVFrame* f = video_.frame;
        if (av_frame_make_writable(f) < 0) return false;
        const uint8_t* src[1] = {rgba};
        const int stride[1] = {width_ * 4};
        sws_scale(sws_, src, stride, 0, height_, f->data, f->linesize);
        f->pts = at;
        lastPts_ = at;
        durations_[at] = duration;
        ++pictures_;
        return avcodec_send_frame(video_.enc, f) >= 0 && Drain(video_);
    }

    void Silence(int64_t frames) {
        pending_.insert(pending_.end(), static_cast<size_t>(frames * channels_), 0);
        placed_ += frames;
    }

    // A block of sound at its place on the clock: silence before it where there is a
    // gap, the part that overlaps what is placed already left out.
    bool Sound(const std::vector<int16_t>& block, double startMs) {
        int64_t at = std::llround(startMs * kSoundRate / 1000);
        if (at - placed_ > kMostSilence) at = placed_;
        const int64_t frames = static_cast<int64_t>(block.size()) / channels_;
        if (at > placed_) Silence(at - placed_);
        const int64_t skip = std::clamp<int64_t>(placed_ - at, 0, frames);
        pending_.insert(pending_.end(), block.begin() + skip * channels_, block.begin() + frames * channels_);
        placed_ += frames - skip;
        return EncodeSound(false);
    }

    // Encodes the sound placed in whole frames of the encoder; `last`: the rest too, in
    // a shorter frame where the encoder takes one, else filled with silence.
    bool EncodeSound(bool last) {
        AVCodecContext* c = sound_.enc;
        AVFrame* f = sound_.frame;
        size_t used = 0;
        const size_t whole = static_cast<size_t>(frameSamples_ * channels_);
        while (pending_.size() - used >= whole || (last && pending_.size() > used)) {
            const size_t have = std::min(whole, pending_.size() - used);
            const bool shortOk = (c->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0;
            const int n = have < whole && shortOk ? static_cast<int>(have / channels_) : frameSamples_;
            av_frame_unref(f);
            f->format = c->sample_fmt;
            f->sample_rate = c->sample_rate;
            f->nb_samples = n;
            if (av_channel_layout_copy(&f->ch_layout, &c->ch_layout) < 0 || av_frame_get_buffer(f, 0) < 0) return false;
            int16_t* dst = reinterpret_cast<int16_t*>(f->data[0]);
            std::fill(dst, dst + static_cast<size_t>(n) * channels_, int16_t{0});
            std::copy(pending_.begin() + static_cast<long>(used), pending_.begin() + static_cast<long>(used + have),
                      dst);
            used += have;
            f->pts = soundPts_;
            soundPts_ += n;
            if (avcodec_send_frame(c, f) < 0 || !Drain(sound_)) return false;
        }
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(used));
        return true;
    }

    plat::MovieDecoder decoder_;
    AVFormatContext* out_ = nullptr;
    AVPacket* packet_ = nullptr;
    Encoder video_, sound_;
    SwsContext* sws_ = nullptr;
    int width_ = 0, height_ = 0, channels_ = 1, frameSamples_ = 960;
    int64_t lastPts_ = -1, pictures_ = 0;
    std::map<int64_t, int64_t> durations_;  // picture time -> its duration, until written
    std::vector<int16_t> pending_;          // sound placed, not encoded yet
    int64_t placed_ = 0, soundPts_ = 0;     // sound frames placed, and sent to the encoder
    double lengthMs_ = 0;
};

// ---- the staging folder ---------------------------------------------------------------

bool Link(const fs::path& target, const fs::path& link) {
    std::error_code ec;
    fs::create_symlink(fs::absolute(target), link, ec);
    if (ec) std::fprintf(stderr, "webmovie: cannot link %s: %s\n", link.c_str(), ec.message().c_str());
    return !ec;
}

// The converted movie for `file` in the cache, converted now when it is not there; an
// empty path when it cannot be converted.
fs::path Converted(const fs::path& file, const std::string& name, const fs::path& cache) {
    std::string digest;
    if (!Digest(file, digest)) {
        std::fprintf(stderr, "webmovie: warning: %s cannot be read; packed as it is\n", name.c_str());
        return {};
    }
    const fs::path done = cache / (digest + ".webm"), failed = cache / (digest + ".failed");
    std::error_code ec;
    if (fs::exists(done, ec)) {
        std::printf("webmovie: %s: converted before (%s)\n", name.c_str(), done.c_str());
        return done;
    }
    if (fs::exists(failed, ec)) {
        std::fprintf(stderr,
                     "webmovie: warning: %s: the browser cannot play it and it cannot be converted; "
                     "packed as it is\n",
                     name.c_str());
        return {};
    }
    const fs::path part = cache / (digest + ".part");
    const auto start = std::chrono::steady_clock::now();
    std::string why;
    double lengthMs = 0;
    bool ok;
    try {
        Converter c;
        ok = c.Run(file.string(), part.string(), why);
        lengthMs = c.LengthMs();
    } catch (const std::exception& e) {  // memory ran out
        ok = false;
        why = e.what();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (ok) fs::rename(part, done, ec);
    if (!ok || ec) {
        fs::remove(part, ec);
        std::ofstream(failed).put('\n');
        std::fprintf(stderr,
                     "webmovie: warning: %s: the browser cannot play it and it cannot be converted (%s); "
                     "packed as it is\n",
                     name.c_str(), why.empty() ? "cannot write the cache" : why.c_str());
        return {};
    }
    std::printf("webmovie: %s: converted to WebM in %.2f s (%.2f s long)\n", name.c_str(), seconds, lengthMs / 1000);
    return done;
}

int Stage(const fs::path& assets, const fs::path& staging, const fs::path& cache) {
    std::error_code ec;
    fs::remove_all(staging, ec);
    fs::create_directories(staging, ec);
    if (!ec) fs::create_directories(cache, ec);
    if (ec) {
        std::fprintf(stderr, "webmovie: cannot make %s or %s: %s\n", staging.c_str(), cache.c_str(),
                     ec.message().c_str());
        return 1;
    }
    fs::recursive_directory_iterator it(assets, fs::directory_options::none, ec);
    for (const fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
        const fs::path rel = it->path().lexically_relative(assets);
        std::error_code tec;
        if (it->is_directory(tec)) {
            if (!it->is_symlink(tec)) fs::create_directories(staging / rel, tec);
            continue;
        }
        if (!it->is_regular_file(tec)) continue;
        const std::string name = rel.generic_string();
        fs::path target = it->path();
        switch (Classify(target)) {
            case Kind::NotMovie:
                if (NamedLikeMovie(target))
                    std::fprintf(stderr, "webmovie: warning: %s is no movie that can be played; packed as it is\n",
                                 name.c_str());
                break;
            case Kind::Plays: std::printf("webmovie: %s: the browser plays it as it is\n", name.c_str()); break;
            case Kind::Convert:
                if (fs::path converted = Converted(target, name, cache); !converted.empty()) target = converted;
                break;
        }
        if (!Link(target, staging / rel)) return 1;  // the staged folder would lack a file
    }
    if (ec) {
        std::fprintf(stderr, "webmovie: cannot read %s: %s\n", assets.c_str(), ec.message().c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: webmovie ASSETS STAGING CACHE\n");
        return 2;
    }
    av_log_set_level(AV_LOG_FATAL);
    std::error_code ec;
    if (!fs::is_directory(argv[1], ec)) {
        std::fprintf(stderr, "webmovie: %s is no folder\n", argv[1]);
        return 2;
    }
    return Stage(fs::absolute(argv[1]), argv[2], argv[3]);
}
