// A program on the runtime that acts out the scenario named by its first argument.
// The lifecycle tests run it and look at its exit status, its output and its error log.
#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>

#include "gfx2d/prism.h"
#include "platform/test_hooks.h"
#include "tolvane.h"

namespace __TOLVANE__ {

DQIntArray a;

void PrintFrame(int frame) { std::printf("frame %d\n", frame); }

double __MainGameSub_() {
    const char* s = __g_cmdline.c_str();
    if (!std::strcmp(s, "end")) END();
    if (!std::strcmp(s, "end-debug")) {
        DQ_DEBUG = 1;
        END();
    }
    if (!std::strcmp(s, "return")) return 0;
    if (!std::strcmp(s, "fullscreen")) {
        for (int f = 0; f < 3; ++f) SHOWSCREEN();
        std::printf("size %d %d\n", pPrsm->ScreenWidth(), pPrsm->ScreenHeight());
        END();
    }
    if (!std::strcmp(s, "array9-debug")) {
        DQ_DEBUG = 1;
        __dLn(1, 42);
        DIM(a, 3);
        a(5) = 1;
    }
    if (!std::strcmp(s, "array8")) a(0) = 1;
    if (!std::strcmp(s, "dim7")) DIM(a, 100000, 100000);
    if (!std::strcmp(s, "rnd")) {
        for (int i = 0; i < 8; ++i) std::printf("%g ", RND(1000000));
        std::printf("\n");
        END();
    }
    if (!std::strcmp(s, "keys") || !std::strcmp(s, "keys-live")) {
        // Prints A and S as KEY sees them in every frame; the live form presses them
        // itself through the event queue at fixed frames.
        const bool live = !std::strcmp(s, "keys-live");
        for (int f = 1;; ++f) {
            if (live && f == 3) plat::PushKeyEvent(30, true);
            if (live && f == 5) plat::PushKeyEvent(31, true);
            if (live && f == 6) plat::PushKeyEvent(30, false);
            if (live && f == 8) plat::PushKeyEvent(31, false);
            // A frame's keys are read after a moment of work, as a game would.
            double a = KEY(30), b = KEY(31);
            std::printf("%d %g %g\n", f, a, b);
            SHOWSCREEN();
        }
    }
    if (!std::strcmp(s, "mousewait")) {
        plat::PushKeyEvent(1, true);
        MOUSEWAIT();
        std::printf("survived\n");
        END();
    }
    if (!std::strcmp(s, "keywait")) {
        alarm(20);  // a wait that never ends fails the run instead of hanging it
        plat::PushKeyEvent(1, true);
        KEYWAIT();
        std::printf("survived\n");
        END();
    }
    if (!std::strcmp(s, "close-while-reading-keys")) {
        plat::PushKeyEvent(30, true);
        plat::PushCloseRequest();
        plat::PushKeyEvent(31, true);
        for (int i = 0; i < 5; ++i) KEY(30);
        std::printf("survived\n");
        END();
    }
    // Sound scenarios take their file from SND_FILE and pace themselves by frames
    // (60 a second).
    const char* sndFile = std::getenv("SND_FILE");
    auto frames = [](int n) { for (int i = 0; i < n; ++i) SHOWSCREEN(); };
    if (!std::strcmp(s, "snd-pan")) {
        LOADSOUND(DQStr(sndFile), 1);
        frames(15);
        PLAYSOUND(1, -1, 1);
        frames(30);
        PLAYSOUND(1, 1, 1);
        frames(30);
        END();
    }
    if (!std::strcmp(s, "snd-copies")) {
        LOADSOUND(DQStr(sndFile), 200, 3);  // slot 127
        frames(15);
        for (int i = 0; i < 3; ++i) {
            PLAYSOUND(127, 0, 1);
            frames(1);
        }
        frames(30);
        END();
    }
    if (!std::strcmp(s, "snd-hush")) {
        LOADSOUND(DQStr(sndFile), 0);
        frames(15);
        PLAYSOUND(0, 0, 1);
        frames(15);
        HUSH();
        frames(30);
        END();
    }
    if (!std::strcmp(s, "snd-music")) {
        std::printf("play %g\n", PLAYMUSIC(DQStr(sndFile)));
        std::fflush(stdout);
        frames(330);
        STOPMUSIC();
        frames(40);
        END();
    }
    if (!std::strcmp(s, "snd-music-kinds")) {
        // Each file of SND_FILES (separated by ';') plays for one and a half seconds,
        // then a third of a second of silence.
        std::string files = std::getenv("SND_FILES");
        for (size_t at = 0; at < files.size();) {
            size_t end = files.find(';', at);
            if (end == std::string::npos) end = files.size();
            std::printf("play %g\n", PLAYMUSIC(DQStr(files.substr(at, end - at).c_str())));
            frames(90);
            STOPMUSIC();
            frames(20);
            at = end + 1;
        }
        END();
    }
    // Movie scenarios play MOVIE_FILE; MOVIE_KEY (a scan code) is pressed from another
    // thread MOVIE_AT milliseconds after the movie starts.
    const char* movie = std::getenv("MOVIE_FILE");
    auto pressLater = [](int key, int ms) {
        return std::thread([key, ms] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            plat::PushKeyEvent(key, true);
        });
    };
    if (!std::strcmp(s, "movie-keys")) {
        plat::PushKeyEvent(30, true);  // A, held from before
        double t0 = __ClockMs();
        double r = PLAYMOVIE(DQStr(movie));
        std::printf("held %g %d\n", r, static_cast<int>(__ClockMs() - t0));
        plat::PushKeyEvent(30, false);
        std::thread press = pressLater(31, 400);  // S
        t0 = __ClockMs();
        r = PLAYMOVIE(DQStr(movie));
        std::printf("pressed %g %d\n", r, static_cast<int>(__ClockMs() - t0));
        press.join();
        END();
    }
    if (!std::strcmp(s, "movie-loop")) {
        std::thread press = pressLater(std::atoi(std::getenv("MOVIE_KEY")), std::atoi(std::getenv("MOVIE_AT")));
        press.detach();
        double r = LOOPMOVIE(DQStr(movie));
        __MovieReport m = __LastMovieReport();
        std::printf("loop %g passes %lld shown %lld\n", r, m.passes, m.shown);
        END();
    }
    if (!std::strcmp(s, "from-archive")) {
        // Run from a folder that holds nothing but the program, its assets appended.
        LOADSPRITE(DQStr("Gfx/Block.bmp"), 1);
        const __SpriteSlot* sp = pPrsm->Sprite(1);
        std::printf("sprite %d %d\n", sp->width, sp->height);
        double score = 0;
        GETFILE(DQStr("scores.dat"), 1, score);
        std::printf("score %g\n", score);
        std::printf("font %d\n", pPrsm->Sprite(4079)->width > 0 ? 1 : 0);
        END();
    }
    if (!std::strcmp(s, "datafile")) {
        const char* f = std::getenv("DATA_FILE");
        PUTFILE(DQStr(f), 3, 42);
        double v = 0;
        DQStr t;
        GETFILE(DQStr(f), 3, v);
        GETFILE(DQStr(f), 1, t);
        std::printf("%g %s\n", v, t.c_str());
        END();
    }
    if (!std::strcmp(s, "datafile-full")) {
        // The file-size limit stops the save part way, as a full disk would.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{16, 16};
        setrlimit(RLIMIT_FSIZE, &limit);
        PUTFILE(DQStr(std::getenv("DATA_FILE")), 0, DQStr(std::string(100, 'x').c_str()));
        END();
    }
    if (!std::strcmp(s, "datafile-codes")) {
        // Codes the data-file commands record (7, then 3) and a return from the main
        // procedure: a normal end.
        DQ_DEBUG = 1;
        double v = 0;
        PUTFILE(DQStr("codes.dat"), 300, 1);
        GETFILE(DQStr("no such file.dat"), 0, v);
        return 0;
    }
    if (!std::strcmp(s, "shots")) {
        // A red column that walks 10 pixels right every frame.
        for (int f = 0;; ++f) {
            FILLRECT(f * 10, 0, f * 10 + 10, 240, 0x0000FF);
            SHOWSCREEN();
        }
    }
    if (!std::strcmp(s, "frames")) {
        __SetFrameHook(PrintFrame);
        for (;;) SHOWSCREEN();
    }
    // Keys and close requests arrive through the real event queue.
    if (!std::strcmp(s, "escape") || !std::strcmp(s, "altf4") || !std::strcmp(s, "close") ||
        !std::strcmp(s, "alt-only")) {
        __SetFrameHook(PrintFrame);
        for (int f = 1; f <= 30; ++f) {
            if (f == 3) {
                if (!std::strcmp(s, "escape")) plat::PushKeyEvent(1, true);
                if (!std::strcmp(s, "altf4") || !std::strcmp(s, "alt-only")) plat::PushKeyEvent(56, true);
                if (!std::strcmp(s, "altf4")) plat::PushKeyEvent(62, true);
                if (!std::strcmp(s, "close")) plat::PushCloseRequest();
            }
            SHOWSCREEN();
        }
        std::printf("survived\n");
        END();
    }
    std::fprintf(stderr, "unknown scenario %s\n", s);
    return 0;
}

}  // namespace __TOLVANE__

int main(int argc, char** argv) {
    __BuildSettings settings;
    settings.resx = 320;
    settings.resy = 240;
    if (argc > 1 && !std::strcmp(argv[1], "fullscreen")) settings.fullscreen = 1;
    __ProgramEntry(argc, argv, settings, "Scenario");
}
