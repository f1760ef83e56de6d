// Movie playing: a 640 x 480, 30 pictures a second, 20-second movie (MPEG-4 pictures,
// PCM sound; made at build time by moviegen) in a 640 x 480 window.
//   1. FFmpeg's own decoding of every packet of the file, nothing shown;
//   2. PLAYMOVIE unpaced (as under TOLVANE_NO_WAIT): decoded, converted, drawn and
//      presented as fast as it goes;
//   3. PLAYMOVIE paced, with its sound: the processor share meanwhile, and the largest
//      distance between a picture's time and the sound's clock when it was shown.
//
//   SDL_VIDEODRIVER=offscreen build/bench/bench_movie [movie]
//
// The sound goes to SDL's disk driver (into /dev/null), which plays in real time.
// Goal: (2) at most 1.3 times (1); pictures within 40 ms of the sound. Exits 1 when missed.
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "tolvane.h"
#include "core/timing.h"

namespace {

double CpuMs() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

// Decodes every picture and sound packet; the number of pictures, or -1.
long PlainDecode(const char* path) {
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path, nullptr, nullptr) < 0) return -1;
    avformat_find_stream_info(fmt, nullptr);
    AVCodecContext* dec[2] = {nullptr, nullptr};
    int index[2] = {av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0),
                    av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0)};
    for (int k = 0; k < 2; ++k) {
        if (index[k] < 0) continue;
        AVStream* st = fmt->streams[index[k]];
        dec[k] = avcodec_alloc_context3(avcodec_find_decoder(st->codecpar->codec_id));
        avcodec_parameters_to_context(dec[k], st->codecpar);
        avcodec_open2(dec[k], nullptr, nullptr);
    }
    AVPacket* p = av_packet_alloc();
    AVFrame* f = av_frame_alloc();
    long pictures = 0;
    auto drain = [&](int k) {
        while (avcodec_receive_frame(dec[k], f) == 0) {
            if (k == 0) ++pictures;
            av_frame_unref(f);
        }
    };
    while (av_read_frame(fmt, p) >= 0) {
        for (int k = 0; k < 2; ++k)
            if (dec[k] && p->stream_index == index[k] && avcodec_send_packet(dec[k], p) >= 0) drain(k);
        av_packet_unref(p);
    }
    for (int k = 0; k < 2; ++k)
        if (dec[k] && avcodec_send_packet(dec[k], nullptr) >= 0) drain(k);
    av_frame_free(&f);
    av_packet_free(&p);
    for (auto& d : dec) avcodec_free_context(&d);
    avformat_close_input(&fmt);
    return pictures;
}

}  // namespace

int main(int argc, char** argv) {
    const char* movie = argc > 1 ? argv[1] : TOLVANE_BENCH_MOVIE;
    setenv("SDL_AUDIODRIVER", "disk", 0);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 0);
    if (!__GlobalInit("movie")) return 2;

    // The best of three for each unpaced side.
    double plain = 1e18, player = 1e18;
    long pictures = 0;
    for (int run = 0; run < 3; ++run) {
        double t0 = __ClockMs();
        pictures = PlainDecode(movie);
        plain = std::min(plain, __ClockMs() - t0);
        __SetMovieUnpaced(true);
        t0 = __ClockMs();
        if (PLAYMOVIE(DQStr(movie)) != 0) return 2;
        player = std::min(player, __ClockMs() - t0);
    }
    const long long shown = __LastMovieReport().shown;

    __SetMovieUnpaced(false);
    const double cpu0 = CpuMs(), wall0 = __ClockMs();
    PLAYMOVIE(DQStr(movie));
    const double cpu = CpuMs() - cpu0, wall = __ClockMs() - wall0;
    const __MovieReport paced = __LastMovieReport();

    const double ratio = player / plain;
    std::printf("plain decode: %ld pictures in %.0f ms\n", pictures, plain);
    std::printf("unpaced PLAYMOVIE: %lld pictures in %.0f ms (%.2f x the plain decode)\n", shown, player, ratio);
    std::printf("paced PLAYMOVIE: %.0f ms, %lld pictures shown, %lld dropped, sound %s, cpu %.1f%% of a core, "
                "largest picture-to-sound distance %.1f ms\n",
                wall, paced.shown, paced.dropped, paced.sound ? "on" : "off", 100 * cpu / wall, paced.worstLagMs);
    const bool ok = ratio <= 1.3 && paced.worstLagMs <= 40 && paced.sound;
    std::printf("%s\n", ok ? "goal met" : "goal missed");
    std::fflush(stdout);
    std::_Exit(ok ? 0 : 1);
}
