// Makes movie and music files for the tests and benchmarks with the FFmpeg libraries'
// encoders; nothing is downloaded.
//
//   moviegen OUT WIDTH HEIGHT FPS SECONDS TONE_HZ [busy]
//
// The kind follows OUT's extension:
//   .avi  MPEG-4 pictures, 16-bit PCM sound     .mkv  Motion JPEG pictures, Vorbis sound
//   .ogv  Theora pictures, Vorbis sound         .mpg  MPEG-1 pictures, no sound
//   .mp3  MP3 sound only    .ogg  Vorbis sound only    .flac  FLAC sound only
// The picture is one colour (red 200, green 80, blue 40) but for a blinking 16 x 16 patch
// at the middle of its upper quarter, unless `busy`, which moves a
// coloured pattern with noise over it (for timing decoders). The sound is a sine tone at
// TONE_HZ (0: no sound), 44100 Hz stereo.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr int kRate = 44100;

struct Kind {
    const char* ext;
    const char* muxer;
    const char* video;  // encoder names; null: none
    const char* audio;
};
const Kind kKinds[] = {
    {".avi", "avi", "mpeg4", "pcm_s16le"},      {".mkv", "matroska", "mjpeg", "libvorbis"},
    {".ogv", "ogg", "libtheora", "libvorbis"},  {".mpg", "mpeg", "mpeg1video", nullptr},
    {".mp3", "mp3", nullptr, "libmp3lame"},     {".ogg", "ogg", nullptr, "libvorbis"},
    {".flac", "flac", nullptr, "flac"},
};

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "moviegen: %s\n", what);
    std::exit(1);
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

const AVCodec* Encoder(const char* name) {
    const AVCodec* c = avcodec_find_encoder_by_name(name);
    if (!c) Fail((std::string("no encoder ") + name).c_str());
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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 7) {
        std::fprintf(stderr, "usage: moviegen OUT WIDTH HEIGHT FPS SECONDS TONE_HZ [busy]\n");
        return 2;
    }
    const std::string out = argv[1];
    const int width = std::atoi(argv[2]), height = std::atoi(argv[3]), fps = std::atoi(argv[4]);
    const double seconds = std::atof(argv[5]), tone = std::atof(argv[6]);
    const bool busy = argc > 7 && !std::strcmp(argv[7], "busy");
    const Kind* kind = nullptr;
    for (const Kind& k : kKinds)
        if (out.size() > std::strlen(k.ext) &&
            out.compare(out.size() - std::strlen(k.ext), std::string::npos, k.ext) == 0)
            kind = &k;
    if (!kind) Fail("unknown file kind");

    AVFormatContext* fmt = nullptr;
    if (avformat_alloc_output_context2(&fmt, nullptr, kind->muxer, out.c_str()) < 0) Fail("no such container");
    Output video, audio;
    video.fmt = audio.fmt = fmt;
    video.done = !kind->video;
    audio.done = !kind->audio || tone <= 0;

    if (!video.done) {
        const AVCodec* c = Encoder(kind->video);
        video.enc = avcodec_alloc_context3(c);
        video.enc->width = width;
        video.enc->height = height;
        video.enc->time_base = AVRational{1, fps};
        video.enc->framerate = AVRational{fps, 1};
        video.enc->gop_size = fps;
        video.enc->pix_fmt = c->pix_fmts ? c->pix_fmts[0] : AV_PIX_FMT_YUV420P;
        video.enc->bit_rate = busy ? 2000000 : 400000;
        if (!std::strcmp(kind->video, "mjpeg")) {
            video.enc->flags |= AV_CODEC_FLAG_QSCALE;
            video.enc->global_quality = FF_QP2LAMBDA * 3;
        }
        OpenStream(video, c);
        video.frame->format = video.enc->pix_fmt;
        video.frame->width = width;
        video.frame->height = height;
        if (av_frame_get_buffer(video.frame, 0) < 0) Fail("no memory");
    }
    if (!audio.done) {
        const AVCodec* c = Encoder(kind->audio);
        audio.enc = avcodec_alloc_context3(c);
        audio.enc->sample_fmt = c->sample_fmts ? c->sample_fmts[0] : AV_SAMPLE_FMT_S16;
        for (const AVSampleFormat* f = c->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f)
            if (*f == AV_SAMPLE_FMT_S16) audio.enc->sample_fmt = *f;  // FLAC: 16 bits, not 32
        audio.enc->sample_rate = kRate;
        av_channel_layout_default(&audio.enc->ch_layout, 2);
        audio.enc->time_base = AVRational{1, kRate};
        audio.enc->bit_rate = 128000;
        OpenStream(audio, c);
        audio.frame->format = audio.enc->sample_fmt;
        audio.frame->nb_samples = audio.enc->frame_size > 0 ? audio.enc->frame_size : 1024;
        av_channel_layout_copy(&audio.frame->ch_layout, &audio.enc->ch_layout);
        audio.frame->sample_rate = kRate;
        if (av_frame_get_buffer(audio.frame, 0) < 0) Fail("no memory");
    }
    if (!(fmt->oformat->flags & AVFMT_NOFILE) && avio_open(&fmt->pb, out.c_str(), AVIO_FLAG_WRITE) < 0)
        Fail("cannot create the file");
    if (avformat_write_header(fmt, nullptr) < 0) Fail("cannot write the header");

    SwsContext* sws = nullptr;
    std::vector<uint8_t> rgb(static_cast<size_t>(std::max(width, 1)) * std::max(height, 1) * 3);
    uint32_t noise = 12345;
    const int64_t pictures = static_cast<int64_t>(seconds * fps);
    const int64_t samples = static_cast<int64_t>(seconds * kRate);
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
            const int n = static_cast<int>(video.next);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
                    if (busy) {
                        noise = noise * 1664525u + 1013904223u;
                        p[0] = static_cast<uint8_t>(x + 3 * n);
                        p[1] = static_cast<uint8_t>(y + 2 * n);
                        p[2] = static_cast<uint8_t>(((x ^ y) + n) ^ (noise >> 27));
                    } else if (x >= width / 2 - 8 && x < width / 2 + 8 && y >= height / 4 && y < height / 4 + 16) {
                        // A patch that blinks, so that every picture differs from the one before.
                        p[0] = p[1] = p[2] = (n & 1) ? 255 : 0;
                    } else {
                        p[0] = 200, p[1] = 80, p[2] = 40;
                    }
                }
            sws = sws_getCachedContext(sws, width, height, AV_PIX_FMT_RGB24, width, height, video.enc->pix_fmt,
                                       SWS_BILINEAR, nullptr, nullptr, nullptr);
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
            if (av_frame_make_writable(audio.frame) < 0) Fail("no memory");
            const int n = static_cast<int>(std::min<int64_t>(audio.frame->nb_samples, samples - audio.next));
            const bool fixedSize = audio.enc->frame_size > 0 &&
                                   !(audio.enc->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
            const int frameSamples = fixedSize ? audio.frame->nb_samples : n;
            for (int i = 0; i < frameSamples; ++i) {
                const double v = i < n ? 0.3 * std::sin(2 * M_PI * tone * static_cast<double>(audio.next + i) / kRate)
                                       : 0.0;
                for (int ch = 0; ch < 2; ++ch) PutSample(audio.frame, i, ch, v);
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
    return 0;
}
