// Triangles per second of the 3D drawing: X_DRAWOBJ of frame 0 (display list) and
// X_DRAWANIM blending two frames (streamed vertex buffers), against the same triangles
// drawn from one static vertex buffer with plain GL calls, on one mesh of 20,000
// triangles with the same camera, light and state, the three paths taking turns. One
// pixel is read back before each clock stops, so queued work is counted.
//
//   SDL_VIDEODRIVER=offscreen build/bench/bench_draw3d [rounds]
//
// The goal: X_DRAWOBJ at least 0.8 times the plain rate, X_DRAWANIM at least 0.5 times.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tolvane.h"
#include "core/timing.h"
#include "gfx2d/gl_extensions.h"
#include "gfx2d/prism.h"
#include "gfx3d/prism3d.h"
#include "platform/system.h"
#include "platform/window.h"

namespace {

constexpr int kGrid = 100;        // 100 x 100 quads: 20,000 triangles
constexpr int kDrawsPerFrame = 10;
constexpr int kFrames = 30;

// A wavy sheet of strips; frame 1 is the same sheet with the wave moved.
std::vector<std::vector<__Vertex3D>> Sheet() {
    std::vector<std::vector<__Vertex3D>> frames(2);
    for (int f = 0; f < 2; ++f)
        for (int row = 0; row < kGrid; ++row) {
            __Vertex3D marker;
            marker.colour = __kGroupStrip;
            frames[f].push_back(marker);
            for (int col = 0; col <= kGrid; ++col)
                for (int k = 1; k >= 0; --k) {
                    __Vertex3D v;
                    v.x = col * 2.0f - kGrid;
                    v.y = (row + k) * 2.0f - kGrid;
                    v.z = 6 * std::sin(col * 0.2f + f * 1.5f) * std::cos((row + k) * 0.15f);
                    v.u = col / 10.0f;
                    v.v = (row + k) / 10.0f;
                    v.colour = 0x40A0E0 + (col % 2) * 0x202020;
                    frames[f].push_back(v);
                }
        }
    return frames;
}

void Scene() {
    X_MAKE3D(1, 1000, 45);
    X_CAMERA(0, -60, 220, 0, 0, 0);
    X_AMBIENT_LT(0, 0x303030);
    X_SPOT_LT(1, 0xFFFFFF, 100, 100, 200, 0, 0, 0, 360);
}

double Finish(double t0) {
    uint8_t px[4];
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    return __ClockMs() - t0;
}

double RunDrawObj() {
    double t0 = __ClockMs();
    for (int f = 0; f < kFrames; ++f) {
        Scene();
        for (int i = 0; i < kDrawsPerFrame; ++i) X_DRAWOBJ(1, 0);
        SHOWSCREEN();
    }
    return Finish(t0);
}

double RunDrawAnim() {
    double t0 = __ClockMs();
    for (int f = 0; f < kFrames; ++f) {
        Scene();
        for (int i = 0; i < kDrawsPerFrame; ++i) X_DRAWANIM(1, 0, 1, (i + 0.5) / kDrawsPerFrame, 1);
        SHOWSCREEN();
    }
    return Finish(t0);
}

struct PlainVertex {
    float p[3], n[3], uv[2];
    uint32_t colour;
};

double RunPlain(unsigned buffer, int count) {
    double t0 = __ClockMs();
    for (int f = 0; f < kFrames; ++f) {
        Scene();
        pPrsm->Flush();
        __glext::glBindBufferARB(GL_ARRAY_BUFFER_ARB, buffer);
        const GLsizei stride = sizeof(PlainVertex);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(3, GL_FLOAT, stride, reinterpret_cast<void*>(offsetof(PlainVertex, p)));
        glNormalPointer(GL_FLOAT, stride, reinterpret_cast<void*>(offsetof(PlainVertex, n)));
        glColorPointer(4, GL_UNSIGNED_BYTE, stride, reinterpret_cast<void*>(offsetof(PlainVertex, colour)));
        glTexCoordPointer(2, GL_FLOAT, stride, reinterpret_cast<void*>(offsetof(PlainVertex, uv)));
        for (int i = 0; i < kDrawsPerFrame; ++i) glDrawArrays(GL_TRIANGLES, 0, count);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_NORMAL_ARRAY);
        glDisableClientState(GL_VERTEX_ARRAY);
        __glext::glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
        SHOWSCREEN();
    }
    return Finish(t0);
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    if (rounds < 1) rounds = 1;
    setenv("TOLVANE_NO_WAIT", "1", 1);
    if (!__GlobalInit("draw3d")) return 2;
    if (!__glext::glGenBuffersARB) {
        std::printf("no vertex buffers in this GL: nothing to compare with\n");
        std::_Exit(2);
    }
    MeshObject mesh;
    mesh.Compress(Sheet());
    mesh.RecomputeNormals(true);
    const std::string file = plat::TempDir() + "tolvane-bench-sheet.obj";
    mesh.Save(file.c_str());
    X_LOADOBJ(DQStr(file.c_str()), 1);
    std::remove(file.c_str());
    const MeshObject& loaded = prsm3D->Slot(1)->mesh;
    const POLY_FRAME& f0 = loaded.frames[0];
    const int count = static_cast<int>(f0.TriangleVertices());

    std::vector<PlainVertex> plain;
    for (uint32_t i : *f0.triangles) {
        const __Vertex3D v = loaded.Decode(f0, i);
        plain.push_back({{v.x, v.y, v.z}, {v.nx, v.ny, v.nz}, {v.u, v.v}, v.colour | 0xFF000000u});
    }
    unsigned buffer = 0;
    __glext::glGenBuffersARB(1, &buffer);
    __glext::glBindBufferARB(GL_ARRAY_BUFFER_ARB, buffer);
    __glext::glBufferDataARB(GL_ARRAY_BUFFER_ARB, static_cast<GLsizeiptrARB>(plain.size() * sizeof(PlainVertex)),
                             plain.data(), GL_STATIC_DRAW_ARB);
    __glext::glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);

    double obj = 0, anim = 0, gl = 0;
    for (int k = 0; k < rounds; ++k) {
        obj += RunDrawObj();
        anim += RunDrawAnim();
        gl += RunPlain(buffer, count);
    }
    const double n = static_cast<double>(count / 3) * kDrawsPerFrame * kFrames * rounds;
    const double objRate = n / (obj / 1000), animRate = n / (anim / 1000), glRate = n / (gl / 1000);
    std::printf("mesh: %d triangles\n", count / 3);
    std::printf("plain GL, static buffer  %12.0f triangles/s\n", glRate);
    std::printf("X_DRAWOBJ frame 0        %12.0f triangles/s   ratio %.2f (goal 0.8)\n", objRate, objRate / glRate);
    std::printf("X_DRAWANIM two frames    %12.0f triangles/s   ratio %.2f (goal 0.5)\n", animRate, animRate / glRate);
    const bool goal = objRate >= 0.8 * glRate && animRate >= 0.5 * glRate;
    std::printf("%s\n", goal ? "goal met" : "goal missed");
    std::fflush(stdout);
    std::_Exit(goal ? 0 : 1);
}
