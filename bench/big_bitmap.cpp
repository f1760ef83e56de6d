// Loading one very large bitmap as a sprite: the time LOADSPRITE takes and the peak
// memory of the process before and after (ru_maxrss), against the size of the
// texture the picture becomes.
//
//   SDL_VIDEODRIVER=offscreen build/bench/bench_big_bitmap [side] [bits]
//
// side defaults to 16384 (cut to the GL's largest texture size), bits to 24 (8, 24
// or 32). The bitmap is written row by row to the temporary folder first and removed
// afterwards. A software GL keeps its textures in the process's memory: the plain
// texture and the mip-mapped one, 1 + 1/3 texture sizes. Goal: loading needs at
// most one more texture's worth of memory on top of those (one buffer of texels).
#include <sys/resource.h>

#include <GLES3/gl3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tolvane.h"
#include "core/timing.h"
#include "gfx2d/prism.h"
#include "gfx2d/sprites.h"
#include "platform/system.h"

namespace {

double CpuMs() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

double PeakMiB() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024.0;  // kilobytes on Linux
}

void Put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// A picture with some detail (bands of colour and a keyed square), written a row at
// a time so the writer itself needs no large buffer.
bool WritePicture(const std::string& path, int side, int bits) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const int bpp = bits / 8;
    const long long stride = (static_cast<long long>(side) * bpp + 3) / 4 * 4;
    const int paletteBytes = bits == 8 ? 256 * 4 : 0;
    const long long offset = 54 + paletteBytes;
    unsigned char head[54] = {};
    head[0] = 'B';
    head[1] = 'M';
    Put32(head + 2, static_cast<uint32_t>(offset + stride * side));
    Put32(head + 10, static_cast<uint32_t>(offset));
    Put32(head + 14, 40);
    Put32(head + 18, static_cast<uint32_t>(side));
    Put32(head + 22, static_cast<uint32_t>(side));
    head[26] = 1;
    head[28] = static_cast<unsigned char>(bits);
    bool ok = std::fwrite(head, 1, 54, f) == 54;
    if (bits == 8) {
        unsigned char pal[256 * 4] = {};
        for (int i = 0; i < 256; ++i) {
            pal[i * 4] = static_cast<unsigned char>(i);
            pal[i * 4 + 1] = static_cast<unsigned char>(255 - i);
            pal[i * 4 + 2] = static_cast<unsigned char>(i * 7);
        }
        pal[1 * 4] = 128, pal[1 * 4 + 1] = 0, pal[1 * 4 + 2] = 255;  // the key colour
        ok = ok && std::fwrite(pal, 1, sizeof pal, f) == sizeof pal;
    }
    std::vector<unsigned char> row(static_cast<size_t>(stride), 0);
    for (int y = 0; ok && y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const bool key = x < side / 8 && y < side / 8;
            unsigned char* p = &row[static_cast<size_t>(x) * bpp];
            if (bits == 8) {
                p[0] = key ? 1 : static_cast<unsigned char>(2 + (x / 64 + y / 64) % 250);
            } else {
                p[0] = key ? 128 : static_cast<unsigned char>(x >> 6);
                p[1] = key ? 0 : static_cast<unsigned char>(y >> 6);
                p[2] = key ? 255 : static_cast<unsigned char>((x ^ y) & 0xFF);
            }
        }
        ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
    }
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    int side = argc > 1 ? std::atoi(argv[1]) : 16384;
    int bits = argc > 2 ? std::atoi(argv[2]) : 24;
    if (bits != 8 && bits != 32) bits = 24;
    if (!__GlobalInit("big bitmap")) return 2;
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    side = std::clamp(side, 1, static_cast<int>(std::min(largest, 16384)));
    const std::string path = plat::TempDir() + "tolvane-bench-big.bmp";
    if (!WritePicture(path, side, bits)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 2;
    }
    int pw = 1, ph = 1;
    while (pw < side) pw <<= 1;
    while (ph < side) ph <<= 1;
    const double textureMiB = static_cast<double>(pw) * ph * 4 / (1024.0 * 1024.0);

    const double before = PeakMiB();
    const double t0 = __ClockMs(), cpu0 = CpuMs();
    LOADSPRITE(DQStr(path.c_str()), 0);
    pPrsm->Flush();
    glFinish();
    const double ms = __ClockMs() - t0, cpu = CpuMs() - cpu0;
    const double after = PeakMiB();
    std::remove(path.c_str());

    int w = 0, h = 0;
    pPrsm->GetSpriteSize(0, w, h);
    // The GL holds the plain texture and the mip-mapped one (4/3 of a texture).
    const double held = textureMiB * (1 + 4.0 / 3);
    const double extra = after - before - held;
    std::printf("GL_MAX_TEXTURE_SIZE %d, %d-bit %d x %d bitmap, sprite %d x %d, texture %.0f MiB\n", largest, bits,
                side, side, w, h, textureMiB);
    std::printf("load %.0f ms (%.0f ms of processor time), peak memory %.0f MiB before, %.0f MiB after "
                "(+%.0f MiB, %.2f textures; %.2f beyond the GL's own copies)\n",
                ms, cpu, before, after, after - before, (after - before) / textureMiB, extra / textureMiB);
    const bool ok = w == side && h == side && extra <= 1.05 * textureMiB;
    std::printf("%s\n", ok ? "goal met" : "goal missed");
    std::fflush(stdout);
    std::_Exit(ok ? 0 : 1);
}
