// A program on the runtime that acts out the scenario named by its first argument.
// The tests run it and look at its exit status, its output and its error log.
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include <chrono>
#include <thread>

#include "app/automation.h"
#include "gfx2d/prism.h"
#include "input/dxinput.h"
#include "platform/test_hooks.h"
#include "sound/movies.h"
#include "tolvane.h"

namespace __TOLVANE__ {

DQIntArray a;

void PrintFrame(int frame) { std::printf("frame %d\n", frame); }
void Frames(int n) {
    for (int i = 0; i < n; ++i) SHOWSCREEN();
}
DQStr Env(const char* name) { return DQStr(std::getenv(name)); }
DQStr Sound() { return Env("SND_FILE"); }

// Prints A and S as KEY sees them in every frame; the live form presses them itself
// through the event queue at fixed frames.
void Keys(bool live) {
    const std::map<int, std::pair<int, bool>> presses = {
        {3, {30, true}}, {5, {31, true}}, {6, {30, false}}, {8, {31, false}}};
    for (int f = 1;; ++f) {
        if (live && presses.count(f)) plat::PushKeyEvent(presses.at(f).first, presses.at(f).second);
        double a = KEY(30), b = KEY(31);  // read after a moment of work, as a game would
        std::printf("%d %g %g\n", f, a, b);
        SHOWSCREEN();
    }
}

// Prints per frame what KEY, KEYHIT, MOUSESTATE, MOUSEBUTTON(3) and MOUSEWHEEL give
// (and, after a KEYWAIT in frame 5, what INKEY$ gives in frame 6);
// the live form makes the events itself through the event queue at fixed frames, a
// press and its release within one frame among them.
void Mouse(bool live) {
    for (int f = 1;; ++f) {
        if (live) {
            if (f == 2) {
                plat::PushMouseMotion(5, 3);
                plat::PushMouseButton(0, true);
                plat::PushMouseButton(0, false);
                plat::PushMouseWheel(1);
            }
            if (f == 3) {
                plat::PushMouseMotion(-2, 0);
                plat::PushMouseButton(2, true);
                plat::PushKeyEvent(30, true);
                plat::PushKeyEvent(30, false);
            }
            if (f == 5) {
                plat::PushMouseButton(2, false);
                plat::PushMouseWheel(-2);
                plat::PushMouseButton(1, true);
            }
            if (f == 6) plat::PushMouseButton(1, false);
            if (f == 5) pDXin->OnMousePosition(40, 50);  // as the browser's pointer reports its place
            if (f == 5) plat::PushKeyEvent(45, true);  // X, for the wait below
        }
        if (f == 5) KEYWAIT();
        double x, y, b1, b2;
        MOUSESTATE(x, y, b1, b2);
        std::printf("%d %g %g %g %g %g %g %g %g\n", f, KEY(30), KEYHIT(30), x, y, b1, b2, MOUSEBUTTON(3), MOUSEWHEEL());
        if (f == 6) std::printf("typed %s\n", INKEY_Str().c_str());
        SHOWSCREEN();
    }
}

// Keys pressed, or the window closed, through the real event queue in frame 3 of 30.
void EndKeys(std::initializer_list<int> keys, bool close) {
    __SetFrameHook(PrintFrame);
    for (int f = 1; f <= 30; ++f) {
        if (f == 3)
            for (int k : keys) plat::PushKeyEvent(k, true);
        if (f == 3 && close) plat::PushCloseRequest();
        SHOWSCREEN();
    }
    std::printf("survived\n");
}

void PressLater(int key, int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    plat::PushKeyEvent(key, true);
}

// Every scenario but "return" and "datafile-codes" ends through END afterwards.
// Sound scenarios take their file from SND_FILE and pace themselves by frames.
const std::map<std::string, void (*)()> kScenarios = {
    {"end", [] {}},
    {"return", [] {}},
    {"end-debug", [] { DQ_DEBUG = 1; }},
    {"fullscreen", [] { Frames(3); std::printf("size %d %d\n", pPrsm->ScreenWidth(), pPrsm->ScreenHeight()); }},
    {"array9-debug", [] { DQ_DEBUG = 1; __dLn(1, 42); DIM(a, 3); a(5) = 1; }},
    {"rnd", [] { for (int i = 0; i < 8; ++i) std::printf("%g ", RND(1000000)); std::printf("\n"); }},
    {"randomize", [] {
         RANDOMIZE(4242);
         for (int i = 0; i < 8; ++i) std::printf("%g ", RND(1000000));
         std::printf("\n");
     }},
    // Three lines, then a wait of up to 10 seconds for GO_FILE, which the reader makes
    // once it has them: the last line tells whether the reader had them in time.
    {"stdout", [] {
         STDOUT(DQStr("one"));
         STDOUT(-2.5);
         STDOUT(DQStr(""));
         const std::string go = std::getenv("GO_FILE");
         for (const double until = __ClockMs() + 10000; access(go.c_str(), F_OK) != 0 && __ClockMs() < until;)
             usleep(1000);
         STDOUT(DQStr(access(go.c_str(), F_OK) == 0 ? "go seen" : "no go"));
     }},
    {"stdout-gone", [] { for (int i = 0; i < 3; ++i) STDOUT(DQStr("nobody reads this")); }},
    {"keys", [] { Keys(false); }},
    {"keys-live", [] { Keys(true); }},
    {"mouse", [] { Mouse(false); }},
    {"mouse-live", [] { Mouse(true); }},
    {"mousewait", [] { plat::PushKeyEvent(1, true); MOUSEWAIT(); std::printf("survived\n"); }},
    // A wait that never ends fails the run instead of hanging it.
    {"keywait", [] { alarm(20); plat::PushKeyEvent(1, true); KEYWAIT(); std::printf("survived\n"); }},
    {"close-while-reading-keys", [] {
         plat::PushKeyEvent(30, true);
         plat::PushCloseRequest();
         plat::PushKeyEvent(31, true);
         for (int i = 0; i < 5; ++i) KEY(30);
         std::printf("survived\n");
     }},
    {"snd-pan", [] { LOADSOUND(Sound(), 1); Frames(15); for (int p : {-1, 1}) { PLAYSOUND(1, p, 1); Frames(30); } }},
    {"snd-copies", [] {
         LOADSOUND(Sound(), 200, 3);  // slot 127
         Frames(15);
         PLAYSOUND(127, 0, 1);  // one copy alone first
         Frames(45);
         for (int i = 0; i < 3; ++i) { PLAYSOUND(127, 0, 1); Frames(1); }
         Frames(30);
     }},
    {"snd-hush", [] { LOADSOUND(Sound(), 0); Frames(15); PLAYSOUND(0, 0, 1); Frames(15); HUSH(); Frames(30); }},
    // Slot 1 (two copies) loops on the left, slot 2 (one copy) on the right; slot
    // numbers out of range stop nothing, STOPSOUND stops slot 1 alone, a new LOADSOUND
    // ends slot 2's loop; both loop again, and HUSH ends them. 20 frames a step.
    {"snd-loop", [] {
         LOADSOUND(Sound(), 1, 2);
         LOADSOUND(Sound(), 2, 1);
         Frames(10);
         for (int i = 0; i < 3; ++i) LOOPSOUND(1, -1, 1);  // the third takes over a busy copy
         LOOPSOUND(2, 1, 1);
         LOOPSOUND(2, 1, 1);  // dropped: the one copy is busy
         Frames(20);
         for (double bad : {-1.0, -1e9, 500.0, 0.0}) STOPSOUND(bad);  // 500: slot 127, empty
         LOOPSOUND(-3, 0, 1);
         Frames(20);
         STOPSOUND(1);
         Frames(20);
         LOADSOUND(Sound(), 2, 1);
         Frames(20);
         LOOPSOUND(1, -1, 1);
         LOOPSOUND(2, 1, 1);
         Frames(10);
         HUSH();
         Frames(20);
     }},
    {"snd-music", [] { std::printf("play %g\n", PLAYMUSIC(Sound())); Frames(330); STOPMUSIC(); Frames(40); }},
    {"from-archive", [] {
         // Run from a folder that holds nothing but the program, its assets appended.
         LOADSPRITE(DQStr("Gfx/Block.bmp"), 1);
         double score = 0;
         GETFILE(DQStr("scores.dat"), 1, score);
         std::printf("sprite %d %d\nscore %g\nfont %d\non disk %g\n", pPrsm->Sprite(1)->width,
                     pPrsm->Sprite(1)->height, score, pPrsm->Sprite(4079)->width > 0,
                     DOESFILEEXIST(DQStr("Gfx/Block.bmp")));
     }},
    {"datafile", [] {
         PUTFILE(Env("DATA_FILE"), 3, 42);
         double v = 0;
         DQStr t;
         GETFILE(Env("DATA_FILE"), 3, v);
         GETFILE(Env("DATA_FILE"), 1, t);
         std::printf("%g %s\n", v, t.c_str());
     }},
    {"datafile-full", [] {
         // The file-size limit stops the save part way, as a full disk would.
         std::signal(SIGXFSZ, SIG_IGN);
         rlimit limit{16, 16};
         setrlimit(RLIMIT_FSIZE, &limit);
         PUTFILE(Env("DATA_FILE"), 0, DQStr(std::string(100, 'x').c_str()));
     }},
    {"datafile-codes", [] {
         // Codes the data-file commands record (7, then 3), then a return from the
         // main procedure: a normal end.
         DQ_DEBUG = 1;
         double v = 0;
         PUTFILE(DQStr("codes.dat"), 300, 1);
         GETFILE(DQStr("no such file.dat"), 0, v);
     }},
    // A red column that walks 10 pixels right every frame.
    {"shots", [] { for (int f = 0;; ++f) { FILLRECT(f * 10, 0, f * 10 + 10, 240, 0x0000FF); SHOWSCREEN(); } }},
    {"frames", [] { __SetFrameHook(PrintFrame); for (;;) SHOWSCREEN(); }},
    {"escape", [] { EndKeys({1}, false); }},
    {"altf4", [] { EndKeys({56, 62}, false); }},
    {"alt-only", [] { EndKeys({56}, false); }},
    {"close", [] { EndKeys({}, true); }},
    // Closing the window while SHELLCMD waits for its program ends the program there.
    {"close-in-shell-wait", [] {
         plat::PushCloseRequest();
         double code = 0;
         SHELLCMD(DQStr("sleep 20"), 1, 0, code);
         std::printf("survived\n");
     }},
    // Each file of SND_FILES (separated by ';') plays for one and a half seconds, then a
    // third of a second of silence.
    {"snd-music-kinds", [] {
         const std::string files = std::getenv("SND_FILES");
         for (size_t at = 0; at < files.size();) {
             size_t end = files.find(';', at);
             if (end == std::string::npos) end = files.size();
             std::printf("play %g\n", PLAYMUSIC(DQStr(files.substr(at, end - at).c_str())));
             Frames(90);
             STOPMUSIC();
             Frames(20);
             at = end + 1;
         }
     }},
    // Movie scenarios play MOVIE_FILE; a key is pressed from another thread some
    // milliseconds after the movie starts.
    {"movie-keys", [] {
         const DQStr movie = Env("MOVIE_FILE");
         plat::PushKeyEvent(30, true);  // A, held from before
         double t0 = __ClockMs();
         double r = PLAYMOVIE(movie);
         std::printf("held %g %d\n", r, static_cast<int>(__ClockMs() - t0));
         plat::PushKeyEvent(30, false);
         std::thread press(PressLater, 31, 400);  // S
         t0 = __ClockMs();
         r = PLAYMOVIE(movie);
         std::printf("pressed %g %d\n", r, static_cast<int>(__ClockMs() - t0));
         press.join();
     }},
    // Plays MOVIE_FILE (LOOPMOVIE when MOVIE_LOOP is set; MOVIE_KEY pressed MOVIE_AT ms
    // after the start when set) and prints the platform clock before and after, and the
    // movie time and platform clock of every picture shown.
    {"movie-timed", [] {
         __SetMoviePictureHook([](double movieMs, double shownAtMs) { std::printf("pic %.3f %.3f\n", movieMs, shownAtMs); });
         if (std::getenv("MOVIE_KEY"))
             std::thread(PressLater, std::atoi(std::getenv("MOVIE_KEY")), std::atoi(std::getenv("MOVIE_AT"))).detach();
         std::printf("begin %.3f\n", __ClockMs());
         const double r = std::getenv("MOVIE_LOOP") ? LOOPMOVIE(Env("MOVIE_FILE")) : PLAYMOVIE(Env("MOVIE_FILE"));
         const double end = __ClockMs();
         const __MovieReport m = __LastMovieReport();
         std::printf("end %.3f result %g shown %lld dropped %lld passes %lld length %.3f\n", end, r, m.shown, m.dropped,
                     m.passes, m.lengthMs);
     }},
    {"movie-loop", [] {
         std::thread(PressLater, std::atoi(std::getenv("MOVIE_KEY")), std::atoi(std::getenv("MOVIE_AT"))).detach();
         double r = LOOPMOVIE(Env("MOVIE_FILE"));
         __MovieReport m = __LastMovieReport();
         std::printf("loop %g passes %lld shown %lld\n", r, m.passes, m.shown);
     }},
};

double __MainGameSub_() {
    const std::string s = __g_cmdline.c_str();
    auto it = kScenarios.find(s);
    if (it == kScenarios.end()) {
        std::fprintf(stderr, "unknown scenario %s\n", s.c_str());
        std::exit(2);
    }
    it->second();
    return s == "return" || s == "datafile-codes" ? 0 : END();
}

}  // namespace __TOLVANE__

int main(int argc, char** argv) {
    __BuildSettings settings;
    settings.resx = 320;
    settings.resy = 240;
    settings.fullscreen = argc > 1 && !std::strcmp(argv[1], "fullscreen");
    __ProgramEntry(argc, argv, settings, "Scenario");
}
