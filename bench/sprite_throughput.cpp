// Sprites per second: SPRITE + SHOWSCREEN (no frame wait) against SDL's own 2D
// renderer (SDL_RenderCopy with its default driver and batching), the same seeded
// positions, picture, blending and window size, the two paths taking turns. One pixel
// is read back before each clock stops, so queued work is counted. Beside the time on
// the wall clock it gives the processor time of the whole process (the software GL's
// threads included), which other programs on a busy machine disturb much less.
//
//   SDL_VIDEODRIVER=offscreen build/bench/bench_sprite_throughput [rounds]
//
// The goal: at least 1.2 times as fast as SDL's renderer at 64 x 64 and at 4 x 4 (on
// the wall clock).
#include <SDL.h>
#include <time.h>

#include <GLES3/gl3.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "app/automation.h"
#include "tolvane.h"
#include "core/timing.h"
#include "gfx2d/bmp_file.h"
#include "gfx2d/prism.h"
#include "gfx2d/sprites.h"
#include "platform/system.h"
#include "platform/window.h"

namespace {

struct Case {
    int size;
    int sprites;
    int frames;
};

// A shaded square with a keyed (transparent) corner, as a bitmap file and as pixels.
std::string MakePicture(int size, std::vector<uint32_t>& argb) {
    std::vector<uint8_t> rgb(static_cast<size_t>(size) * size * 3);
    argb.assign(static_cast<size_t>(size) * size, 0);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            bool key = x < size / 4 && y < size / 4;
            uint8_t r = key ? 255 : static_cast<uint8_t>(60 + 150 * x / size);
            uint8_t g = key ? 0 : static_cast<uint8_t>(90 + 120 * y / size);
            uint8_t b = key ? 128 : 200;
            uint8_t* p = &rgb[(static_cast<size_t>(size - 1 - y) * size + x) * 3];  // bottom row first
            p[0] = r;
            p[1] = g;
            p[2] = b;
            argb[static_cast<size_t>(y) * size + x] = key ? 0 : (0xFF000000u | (r << 16) | (g << 8) | b);
        }
    std::string path = plat::TempDir() + "tolvane-bench-sprite-" + std::to_string(size) + ".bmp";
    __WriteBMP24(path.c_str(), size, size, rgb.data());
    return path;
}

// Milliseconds on the wall clock and of the process's processor time.
struct Spent {
    double wall = 0, cpu = 0;
    Spent& operator+=(const Spent& o) {
        wall += o.wall;
        cpu += o.cpu;
        return *this;
    }
};

double CpuMs() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

Spent Since(const Spent& start) { return {__ClockMs() - start.wall, CpuMs() - start.cpu}; }

Spent Now() { return {__ClockMs(), CpuMs()}; }

Spent RunRuntime(const Case& c, const std::vector<SDL_Point>& pos) {
    plat::MakeGLContextCurrent();
    const Spent t0 = Now();
    for (int f = 0; f < c.frames; ++f) {
        for (int i = 0; i < c.sprites; ++i) SPRITE(0, pos[i].x, pos[i].y);
        SHOWSCREEN();
    }
    uint8_t px[4];
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    return Since(t0);
}

Spent RunSdl(const Case& c, SDL_Renderer* r, SDL_Texture* tex, const std::vector<SDL_Point>& pos) {
    const Spent t0 = Now();
    for (int f = 0; f < c.frames; ++f) {
        SDL_SetRenderDrawColor(r, 0, 0, 0, 255);
        SDL_RenderClear(r);
        for (int i = 0; i < c.sprites; ++i) {
            SDL_Rect dst{pos[i].x, pos[i].y, c.size, c.size};
            SDL_RenderCopy(r, tex, nullptr, &dst);
        }
        SDL_RenderPresent(r);
    }
    uint32_t px;
    SDL_Rect one{0, 0, 1, 1};
    SDL_RenderReadPixels(r, &one, SDL_PIXELFORMAT_ARGB8888, &px, 4);
    return Since(t0);
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    if (rounds < 1) rounds = 1;
    setenv("TOLVANE_NO_WAIT", "1", 1);
    if (!__GlobalInit("sprite throughput")) return 2;

    SDL_Window* win = SDL_CreateWindow("SDL renderer", 60, 60, DQ_RESX, DQ_RESY, SDL_WINDOW_HIDDEN);
    SDL_Renderer* ren = win ? SDL_CreateRenderer(win, -1, 0) : nullptr;
    if (!ren) {
        std::fprintf(stderr, "no SDL renderer: %s\n", SDL_GetError());
        return 2;
    }
    SDL_RendererInfo info;
    SDL_GetRendererInfo(ren, &info);
    std::printf("SDL renderer driver: %s\n", info.name);

    const Case cases[] = {{64, 2000, 60}, {4, 20000, 60}};
    bool goal = true;
    for (const Case& c : cases) {
        std::vector<uint32_t> argb;
        std::string file = MakePicture(c.size, argb);
        plat::MakeGLContextCurrent();
        LOADSPRITE(DQStr(file.c_str()), 0);
        SDL_Texture* tex = SDL_CreateTexture(ren, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, c.size, c.size);
        SDL_UpdateTexture(tex, nullptr, argb.data(), c.size * 4);
        SDL_SetTextureBlendMode(tex, SDL_BLENDMODE_BLEND);

        std::mt19937 rng(c.size);
        std::vector<SDL_Point> pos(c.sprites);
        for (SDL_Point& p : pos)
            p = {static_cast<int>(rng() % (DQ_RESX - c.size)), static_cast<int>(rng() % (DQ_RESY - c.size))};

        Spent ours, theirs;
        for (int k = 0; k < rounds; ++k) {
            ours += RunRuntime(c, pos);
            theirs += RunSdl(c, ren, tex, pos);
        }
        const double n = static_cast<double>(c.sprites) * c.frames * rounds;
        const double oursRate = n / (ours.wall / 1000), theirRate = n / (theirs.wall / 1000);
        std::printf(
            "%2d x %-2d  runtime %10.0f sprites/s   SDL renderer %10.0f sprites/s   ratio %.2f"
            "   processor time ratio %.2f\n",
            c.size, c.size, oursRate, theirRate, oursRate / theirRate, theirs.cpu / ours.cpu);
        goal = goal && oursRate >= 1.2 * theirRate;
        SDL_DestroyTexture(tex);
        std::remove(file.c_str());
    }
    std::printf("%s\n", goal ? "goal met" : "goal missed");
    std::fflush(stdout);
    std::_Exit(goal ? 0 : 1);
}
