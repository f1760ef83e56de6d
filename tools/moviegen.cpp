// Makes movie and music files for the tests and benchmarks with the FFmpeg libraries'
// encoders; nothing is downloaded.
//
//   moviegen OUT WIDTH HEIGHT FPS SECONDS TONE_HZ [option...]
//
// The kind follows OUT's extension:
//   .avi  MPEG-4 pictures, 16-bit PCM sound      .mkv  Motion JPEG pictures, Vorbis sound
//   .ogv  Theora pictures, Vorbis sound          .mpg  MPEG-1 pictures, MPEG audio layer 2
//   .vob  MPEG-2 pictures, AC-3 sound            .mp4  MPEG-4 pictures, AAC sound
//   .webm VP8 pictures, Vorbis sound
//   .mp3  MP3 sound only    .ogg  Vorbis sound only    .flac  FLAC sound only
//   .wav  16-bit PCM sound only
// (.mpg and .vob are MPEG program streams.) The picture is one colour (red 200, green 80,
// blue 40) but for a blinking 16 x 16 patch at the middle of its upper quarter. The sound
// is a sine tone at TONE_HZ (0: no sound), 44100 Hz stereo. Options:
//   busy            a coloured pattern with noise that moves, instead (for timing decoders)
//   colour=R,G,B    the picture's colour
//   corner          a blue square (an eighth of the height) in the top-left corner
//   bt709           coded with the BT.709 matrix and tagged so
//   fullrange       coded in full range (0 ... 255) and tagged so
//   sar=N:D         the pixels' aspect ratio (anamorphic pictures)
//   rotate=DEG      the picture is to be shown turned clockwise by DEG degrees
//   video=NAME      another picture encoder          audio=NAME  another sound encoder
//   rate=HZ         the sound's rate                 mono        one sound channel
//   sync            the tone at a tenth of full scale, with a 1000 Hz burst of 50 ms at
//                   half scale at every quarter second, for measuring sound against
//                   pictures
//   sweep=A:B       a sine sweep from A Hz to B Hz over the whole length instead of a tone
//   gap=A:B         no sound at all from A to B seconds
//   zeros=BYTES     that many zero bytes after the end, as in a preallocated file
//   damage          Matroska: its index points into the middle of the clusters (a
//                   damaged file that plays from the start, but that a seek goes
//                   astray in)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

struct Kind {
    const char* ext;
    const char* muxer;
    const char* video;  // encoder names; null: none
    const char* audio;
};
const Kind kKinds[] = {
    {".avi", "avi", "mpeg4", "pcm_s16le"}, {".mkv", "matroska", "mjpeg", "libvorbis"},
    {".ogv", "ogg", "libtheora", "libvorbis"}, {".mpg", "mpeg", "mpeg1video", "mp2"},
    {".vob", "vob", "mpeg2video", "ac3"},  {".mp4", "mp4", "mpeg4", "aac"},
    {".webm", "webm", "libvpx", "libvorbis"},
    {".mp3", "mp3", nullptr, "libmp3lame"}, {".ogg", "ogg", nullptr, "libvorbis"},
    {".flac", "flac", nullptr, "flac"},    {".wav", "wav", nullptr, "pcm_s16le"},
};

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "moviegen: %s\n", what.c_str());
    std::exit(1);
}

struct Options {
    bool busy = false, corner = false, bt709 = false, fullRange = false, mono = false, sync = false;
    bool damage = false;
    int colour[3] = {200, 80, 40};
    AVRational sar{0, 1};
    double rotate = 0;
    std::string video, audio;
    int rate = 44100;
    double sweepFrom = 0, sweepTo = 0;
    double gapFrom = -1, gapTo = -1;
    long long zeros = 0;
};

Options ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        const size_t eq = a.find('=');
        const std::string key = a.substr(0, eq), value = eq == std::string::npos ? "" : a.substr(eq + 1);
        auto pair = [&](double& x, double& y) {
            if (std::sscanf(value.c_str(), "%lf:%lf", &x, &y) != 2) Fail("bad option " + a);
        };
        if (a == "busy") o.busy = true;
        else if (a == "corner") o.corner = true;
        else if (a == "bt709") o.bt709 = true;
        else if (a == "fullrange") o.fullRange = true;
        else if (a == "mono") o.mono = true;
        else if (a == "sync") o.sync = true;
        else if (a == "damage") o.damage = true;
        else if (key == "colour") {
            if (std::sscanf(value.c_str(), "%d,%d,%d", &o.colour[0], &o.colour[1], &o.colour[2]) != 3)
                Fail("bad option " + a);
        } else if (key == "sar") {
            if (std::sscanf(value.c_str(), "%d:%d", &o.sar.num, &o.sar.den) != 2) Fail("bad option " + a);
        } else if (key == "rotate") o.rotate = std::atof(value.c_str());
        else if (key == "video") o.video = value;
        else if (key == "audio") o.audio = value;
        else if (key == "rate") o.rate = std::atoi(value.c_str());
        else if (key == "sweep") pair(o.sweepFrom, o.sweepTo);
        else if (key == "gap") pair(o.gapFrom, o.gapTo);
        else if (key == "zeros") o.zeros = std::atoll(value.c_str());
        else Fail("unknown option " + a);
    }
    return o;
}

struct Output {
    AVFormatContext* fmt = nullptr;
    AVCodecContext* enc = nullptr;
    AVStream* st = nullptr;
    AVFrame* frame = nullptr;
    int64_t next = 0;  // pts of the next frame, in the encoder's time base
    bool done = false;
};

void Drain(Output& o) {
    AVPacket* p = av_packet_alloc();
    while (avcodec_receive_packet(o.enc, p) == 0) {
        av_packet_rescale_ts(p, o.enc->time_base, o.st->time_base);
        p->stream_index = o.st->index;
        if (av_interleaved_write_frame(o.fmt, p) < 0) Fail("cannot write a packet");
    }
    av_packet_free(&p);
}

void Send(Output& o, AVFrame* f) {
    if (avcodec_send_frame(o.enc, f) < 0) Fail("the encoder refused a frame");
    Drain(o);
}

const AVCodec* Encoder(const std::string& name) {
    const AVCodec* c = avcodec_find_encoder_by_name(name.c_str());
    if (!c) Fail("no encoder " + name);
    return c;
}

void OpenStream(Output& o, const AVCodec* codec) {
    o.st = avformat_new_stream(o.fmt, nullptr);
    if (o.fmt->oformat->flags & AVFMT_GLOBALHEADER) o.enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(o.enc, codec, nullptr) < 0) Fail("cannot open the encoder");
    avcodec_parameters_from_context(o.st->codecpar, o.enc);
    o.st->time_base = o.enc->time_base;
    o.frame = av_frame_alloc();
}

// Sample `v` (-1 ... 1) of channel `ch` at index `i` of a frame in the encoder's format.
void PutSample(AVFrame* f, int i, int ch, double v) {
    const auto fmt = static_cast<AVSampleFormat>(f->format);
    const bool planar = av_sample_fmt_is_planar(fmt);
    const int channels = f->ch_layout.nb_channels;
    uint8_t* base = f->data[planar ? ch : 0];
    const int at = planar ? i : i * channels + ch;
    switch (av_get_packed_sample_fmt(fmt)) {
        case AV_SAMPLE_FMT_S16: reinterpret_cast<int16_t*>(base)[at] = static_cast<int16_t>(v * 32767); break;
        case AV_SAMPLE_FMT_S32: reinterpret_cast<int32_t*>(base)[at] = static_cast<int32_t>(v * 2147483647.0); break;
        case AV_SAMPLE_FMT_FLT: reinterpret_cast<float*>(base)[at] = static_cast<float>(v); break;
        default: Fail("unexpected sample format");
    }
}

// The sound at sample n.
double SoundAt(const Options& o, double tone, int64_t n, double seconds) {
    const double t = static_cast<double>(n) / o.rate;
    if (o.sweepTo > 0) {
        // The phase of a linear sweep: the integral of its frequency.
        const double k = (o.sweepTo - o.sweepFrom) / seconds;
        return 0.3 * std::sin(2 * M_PI * (o.sweepFrom * t + k * t * t / 2));
    }
    if (!o.sync) return 0.3 * std::sin(2 * M_PI * tone * t);
    const double burst = 4 * t - std::floor(4 * t) < 0.2 ? 0.5 * std::sin(2 * M_PI * 1000 * t) : 0.0;
    return 0.1 * std::sin(2 * M_PI * tone * t) + burst;
}

// The picture at number n, as RGB rows.
void DrawPicture(const Options& o, int width, int height, int n, std::vector<uint8_t>& rgb, uint32_t& noise) {
    const int cornerSize = std::max(height / 8, 2);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            if (o.busy) {
                noise = noise * 1664525u + 1013904223u;
                p[0] = static_cast<uint8_t>(x + 3 * n);
                p[1] = static_cast<uint8_t>(y + 2 * n);
                p[2] = static_cast<uint8_t>(((x ^ y) + n) ^ (noise >> 27));
            } else if (x >= width / 2 - 8 && x < width / 2 + 8 && y >= height / 4 && y < height / 4 + 16) {
                // A patch that blinks, so that every picture differs from the one before.
                p[0] = p[1] = p[2] = (n & 1) ? 255 : 0;
            } else if (o.corner && x < cornerSize && y < cornerSize) {
                p[0] = 0, p[1] = 0, p[2] = 255;
            } else {
                for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(o.colour[c]);
            }
        }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An EBML number (element id or size) at `at`: its value and length in bytes; false
// when there is none.
bool ReadEbmlNumber(const std::string& b, size_t at, bool keepMarker, uint64_t& value, size_t& length) {
    if (at >= b.size()) return false;
    const unsigned char first = static_cast<unsigned char>(b[at]);
    length = 1;
    while (length <= 8 && !(first & (0x80 >> (length - 1)))) ++length;
    if (length > 8 || at + length > b.size()) return false;
    value = keepMarker ? first : first & ((0x80 >> (length - 1)) - 1);
    for (size_t i = 1; i < length; ++i) value = value << 8 | static_cast<unsigned char>(b[at + i]);
    return true;
}

// Matroska: every cue of the index points 7 bytes into its cluster, where no element
// starts. Played from the start the file is whole; a seek that trusts the index lands
// in the middle of a cluster.
void DamageCues(const std::string& path) {
    std::string b = ReadFile(path);
    const size_t cues = b.rfind("\x1C\x53\xBB\x6B");
    uint64_t id = 0, size = 0;
    size_t idLength = 0, sizeLength = 0;
    if (cues == std::string::npos || !ReadEbmlNumber(b, cues + 4, false, size, sizeLength))
        Fail("no index to damage");
    int damaged = 0;
    // Cue points hold track positions, which hold the cluster positions (id F1).
    std::vector<std::pair<size_t, size_t>> ranges = {{cues + 4 + sizeLength, cues + 4 + sizeLength + size}};
    while (!ranges.empty()) {
        auto [at, end] = ranges.back();
        ranges.pop_back();
        while (at < end && ReadEbmlNumber(b, at, true, id, idLength) &&
               ReadEbmlNumber(b, at + idLength, false, size, sizeLength)) {
            const size_t body = at + idLength + sizeLength;
            if (body + size > end) break;
            if (id == 0xBB || id == 0xB7) ranges.push_back({body, body + size});
            if (id == 0xF1 && size >= 1 && size <= 8) {
                uint64_t v = 0;
                for (size_t i = 0; i < size; ++i) v = v << 8 | static_cast<unsigned char>(b[body + i]);
                v += 7;
                for (size_t i = size; i-- > 0; v >>= 8) b[body + i] = static_cast<char>(v & 0xFF);
                ++damaged;
            }
            at = body + size;
        }
    }
    if (!damaged) Fail("no cue to damage");
    std::ofstream(path, std::ios::binary | std::ios::trunc) << b;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 7) {
        std::fprintf(stderr, "usage: moviegen OUT WIDTH HEIGHT FPS SECONDS TONE_HZ [option...]\n");
        return 2;
    }
    const std::string out = argv[1];
    const int width = std::atoi(argv[2]), height = std::atoi(argv[3]), fps = std::atoi(argv[4]);
    const double seconds = std::atof(argv[5]), tone = std::atof(argv[6]);
    const Options opt = ParseOptions(argc - 7, argv + 7);
    const Kind* kind = nullptr;
    for (const Kind& k : kKinds)
        if (out.size() > std::strlen(k.ext) &&
            out.compare(out.size() - std::strlen(k.ext), std::string::npos, k.ext) == 0)
            kind = &k;
    if (!kind) Fail("unknown file kind");
    const std::string videoName = !opt.video.empty() ? opt.video : kind->video ? kind->video : "";
    const std::string audioName = !opt.audio.empty() ? opt.audio : kind->audio ? kind->audio : "";

    AVFormatContext* fmt = nullptr;
    av_log_set_level(AV_LOG_ERROR);
    if (avformat_alloc_output_context2(&fmt, nullptr, kind->muxer, out.c_str()) < 0) Fail("no such container");
    Output video, audio;
    video.fmt = audio.fmt = fmt;
    video.done = videoName.empty();
    audio.done = audioName.empty() || (tone <= 0 && opt.sweepTo <= 0);

    AVPixelFormat pixels = AV_PIX_FMT_YUV420P;
    if (!video.done) {
        const AVCodec* c = Encoder(videoName);
        video.enc = avcodec_alloc_context3(c);
        video.enc->width = width;
        video.enc->height = height;
        video.enc->time_base = AVRational{1, fps};
        video.enc->framerate = AVRational{fps, 1};
        video.enc->gop_size = fps;
        pixels = c->pix_fmts ? c->pix_fmts[0] : AV_PIX_FMT_YUV420P;
        video.enc->pix_fmt = pixels;
        video.enc->bit_rate = opt.busy ? 2000000 : 400000;
        if (videoName == "mjpeg") {
            video.enc->flags |= AV_CODEC_FLAG_QSCALE;
            video.enc->global_quality = FF_QP2LAMBDA * 3;
        }
        if (opt.sar.num > 0 && opt.sar.den > 0) video.enc->sample_aspect_ratio = opt.sar;
        if (opt.bt709) {
            video.enc->colorspace = AVCOL_SPC_BT709;
            video.enc->color_primaries = AVCOL_PRI_BT709;
            video.enc->color_trc = AVCOL_TRC_BT709;
        }
        if (opt.fullRange) video.enc->color_range = AVCOL_RANGE_JPEG;
        OpenStream(video, c);
        if (opt.sar.num > 0 && opt.sar.den > 0) video.st->sample_aspect_ratio = opt.sar;
        if (opt.rotate != 0) {
            uint8_t* matrix = av_stream_new_side_data(video.st, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t));
            if (!matrix) Fail("no memory");
            av_display_rotation_set(reinterpret_cast<int32_t*>(matrix), opt.rotate);
        }
        video.frame->format = pixels;
        video.frame->width = width;
        video.frame->height = height;
        if (av_frame_get_buffer(video.frame, 0) < 0) Fail("no memory");
    }
    if (!audio.done) {
        const AVCodec* c = Encoder(audioName);
        audio.enc = avcodec_alloc_context3(c);
        audio.enc->sample_fmt = c->sample_fmts ? c->sample_fmts[0] : AV_SAMPLE_FMT_S16;
        for (const AVSampleFormat* f = c->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f)
            if (*f == AV_SAMPLE_FMT_S16) audio.enc->sample_fmt = *f;  // FLAC: 16 bits, not 32
        audio.enc->sample_rate = opt.rate;
        av_channel_layout_default(&audio.enc->ch_layout, opt.mono ? 1 : 2);
        audio.enc->time_base = AVRational{1, opt.rate};
        audio.enc->bit_rate = audioName == "ac3" ? 192000 : 128000;
        OpenStream(audio, c);
        audio.frame->format = audio.enc->sample_fmt;
        audio.frame->nb_samples = audio.enc->frame_size > 0 ? audio.enc->frame_size : 1024;
        av_channel_layout_copy(&audio.frame->ch_layout, &audio.enc->ch_layout);
        audio.frame->sample_rate = opt.rate;
        if (av_frame_get_buffer(audio.frame, 0) < 0) Fail("no memory");
    }
    if (!(fmt->oformat->flags & AVFMT_NOFILE) && avio_open(&fmt->pb, out.c_str(), AVIO_FLAG_WRITE) < 0)
        Fail("cannot create the file");
    if (avformat_write_header(fmt, nullptr) < 0) Fail("cannot write the header");

    SwsContext* sws = nullptr;
    std::vector<uint8_t> rgb(static_cast<size_t>(std::max(width, 1)) * std::max(height, 1) * 3);
    uint32_t noise = 12345;
    const int64_t pictures = static_cast<int64_t>(seconds * fps + 0.5);
    const int64_t samples = static_cast<int64_t>(seconds * opt.rate + 0.5);
    const int64_t gapFrom = static_cast<int64_t>(opt.gapFrom * opt.rate),
                  gapTo = static_cast<int64_t>(opt.gapTo * opt.rate);
    while (!video.done || !audio.done) {
        // The stream that is behind goes next.
        const bool pickVideo =
            !video.done && (audio.done || av_compare_ts(video.next, video.enc->time_base, audio.next,
                                                        audio.enc->time_base) <= 0);
        if (pickVideo) {
            if (video.next >= pictures) {
                Send(video, nullptr);
                video.done = true;
                continue;
            }
            DrawPicture(opt, width, height, static_cast<int>(video.next), rgb, noise);
            if (!sws) {
                sws = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, pixels, SWS_BILINEAR, nullptr,
                                     nullptr, nullptr);
                if (!sws) Fail("no converter");
                // The RGB to YUV matrix and range the file is tagged with.
                const int* matrix = sws_getCoefficients(opt.bt709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT);
                const bool full = opt.fullRange || pixels == AV_PIX_FMT_YUVJ420P || pixels == AV_PIX_FMT_YUVJ422P ||
                                  pixels == AV_PIX_FMT_YUVJ444P;
                sws_setColorspaceDetails(sws, matrix, 1, matrix, full ? 1 : 0, 0, 1 << 16, 1 << 16);
            }
            const uint8_t* src[1] = {rgb.data()};
            const int stride[1] = {width * 3};
            if (av_frame_make_writable(video.frame) < 0) Fail("no memory");
            sws_scale(sws, src, stride, 0, height, video.frame->data, video.frame->linesize);
            video.frame->pts = video.next++;
            Send(video, video.frame);
        } else {
            if (audio.next >= samples) {
                Send(audio, nullptr);
                audio.done = true;
                continue;
            }
            if (audio.next >= gapFrom && audio.next < gapTo) {
                // Nothing is written for the gap: the next frame starts after it.
                audio.next = gapTo;
                continue;
            }
            if (av_frame_make_writable(audio.frame) < 0) Fail("no memory");
            int64_t end = std::min<int64_t>(samples, audio.next + audio.frame->nb_samples);
            if (audio.next < gapFrom) end = std::min(end, gapFrom);
            const int n = static_cast<int>(end - audio.next);
            // Encoders of fixed frames take a shorter last one when they can (so that the
            // file ends where the sound does); otherwise the rest is silence.
            const int caps = audio.enc->codec->capabilities;
            const bool fixedSize = audio.enc->frame_size > 0 && !(caps & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) &&
                                   !(end == samples && (caps & AV_CODEC_CAP_SMALL_LAST_FRAME));
            const int frameSamples = fixedSize ? audio.frame->nb_samples : n;
            for (int i = 0; i < frameSamples; ++i) {
                const double v = i < n ? SoundAt(opt, tone, audio.next + i, seconds) : 0.0;
                for (int ch = 0; ch < audio.frame->ch_layout.nb_channels; ++ch) PutSample(audio.frame, i, ch, v);
            }
            const int keep = audio.frame->nb_samples;
            audio.frame->nb_samples = frameSamples;
            audio.frame->pts = audio.next;
            audio.next += frameSamples;
            Send(audio, audio.frame);
            audio.frame->nb_samples = keep;
        }
    }
    av_write_trailer(fmt);
    sws_freeContext(sws);
    for (Output* o : {&video, &audio}) {
        av_frame_free(&o->frame);
        avcodec_free_context(&o->enc);
    }
    if (!(fmt->oformat->flags & AVFMT_NOFILE)) avio_closep(&fmt->pb);
    avformat_free_context(fmt);

    if (opt.damage) DamageCues(out);
    if (opt.zeros > 0) {
        // Zeros that take no room on disk.
        const int fd = open(out.c_str(), O_WRONLY);
        const off_t size = fd >= 0 ? lseek(fd, 0, SEEK_END) : -1;
        if (size < 0 || ftruncate(fd, size + opt.zeros) != 0 || close(fd) != 0) Fail("cannot add the zeros");
    }
    return 0;
}
