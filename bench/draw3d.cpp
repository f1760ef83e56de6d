// Triangles per second of the 3D drawing: X_DRAWOBJ of frame 0 (the object's own
// static buffers) and X_DRAWANIM blending two frames (streamed), against the same
// triangles drawn from one static vertex buffer with plain GL calls and a small shader
// that lights them as the scene's two lights do, on one mesh of 20,000 triangles with
// the same camera and state, the three paths taking turns. One pixel is read back
// before each clock stops, so queued work is counted.
//
//   SDL_VIDEODRIVER=offscreen build/bench/bench_draw3d [rounds]
//
// The goal: X_DRAWOBJ at least as fast as the plain rate, X_DRAWANIM at least 0.5 times.
#include <GLES3/gl3.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/timing.h"
#include "gfx2d/gl_program.h"
#include "gfx2d/prism.h"
#include "gfx3d/prism3d.h"
#include "platform/system.h"
#include "platform/window.h"
#include "tolvane.h"

namespace {

constexpr int kGrid = 100;  // 100 x 100 quads: 20,000 triangles
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

// The plain path's shader: the scene's ambient 0.2 and light 0's ambient 0x303030 with
// its white diffuse light from the viewer, and the white point light 1, per vertex.
const char* const kPlainVertex =
    "uniform mat4 mvp;\n"
    "uniform mat4 modelview;\n"
    "uniform vec3 light;\n"
    "in vec3 position;\n"
    "in vec3 normal;\n"
    "in vec4 colour;\n"
    "out vec4 shade;\n"
    "void main() {\n"
    "    vec4 eye = modelview * vec4(position, 1.0);\n"
    "    gl_Position = mvp * vec4(position, 1.0);\n"
    "    vec3 n = normalize(mat3(modelview) * normal);\n"
    "    float d = max(n.z, 0.0) + max(dot(n, normalize(light - eye.xyz)), 0.0);\n"
    "    shade = vec4(clamp((0.2 + 0.188 + d) * colour.rgb, 0.0, 1.0), colour.a);\n"
    "}\n";
const char* const kPlainFragment =
    "in vec4 shade;\n"
    "out vec4 fragment;\n"
    "void main() { fragment = shade; }\n";

void Multiply(const float* a, const float* b, float* out) {
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            float s = 0;
            for (int k = 0; k < 4; ++k) s += a[k * 4 + r] * b[c * 4 + k];
            out[c * 4 + r] = s;
        }
}

double RunPlain(unsigned program, unsigned vertexArray, int count) {
    double t0 = __ClockMs();
    for (int f = 0; f < kFrames; ++f) {
        Scene();
        pPrsm->HandOver();
        glUseProgram(program);
        glBindVertexArray(vertexArray);
        float mvp[16];
        Multiply(pPrsm->Projection(), pPrsm->View(), mvp);
        glUniformMatrix4fv(glGetUniformLocation(program, "mvp"), 1, GL_FALSE, mvp);
        glUniformMatrix4fv(glGetUniformLocation(program, "modelview"), 1, GL_FALSE, pPrsm->View());
        const float* v = pPrsm->View();
        const float light[3] = {v[0] * 100 + v[4] * 100 + v[8] * 200 + v[12],
                                v[1] * 100 + v[5] * 100 + v[9] * 200 + v[13],
                                v[2] * 100 + v[6] * 100 + v[10] * 200 + v[14]};
        glUniform3fv(glGetUniformLocation(program, "light"), 1, light);
        for (int i = 0; i < kDrawsPerFrame; ++i) glDrawArrays(GL_TRIANGLES, 0, count);
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
    static const char* const attributes[] = {"position", "normal", "colour", nullptr};
    const unsigned program = __BuildProgram(kPlainVertex, kPlainFragment, attributes);
    pPrsm->HandOver();
    unsigned buffer = 0, vertexArray = 0;
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(plain.size() * sizeof(PlainVertex)), plain.data(),
                 GL_STATIC_DRAW);
    const GLsizei stride = sizeof(PlainVertex);
    for (GLuint a = 0; a < 3; ++a) glEnableVertexAttribArray(a);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(PlainVertex, p)));
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(PlainVertex, n)));
    glVertexAttribPointer(2, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                          reinterpret_cast<void*>(offsetof(PlainVertex, colour)));

    double obj = 0, anim = 0, gl = 0;
    for (int k = 0; k < rounds; ++k) {
        obj += RunDrawObj();
        anim += RunDrawAnim();
        gl += RunPlain(program, vertexArray, count);
    }
    const double n = static_cast<double>(count / 3) * kDrawsPerFrame * kFrames * rounds;
    const double objRate = n / (obj / 1000), animRate = n / (anim / 1000), glRate = n / (gl / 1000);
    std::printf("mesh: %d triangles\n", count / 3);
    std::printf("plain GL, static buffer  %12.0f triangles/s\n", glRate);
    std::printf("X_DRAWOBJ frame 0        %12.0f triangles/s   ratio %.2f (goal 1.0)\n", objRate, objRate / glRate);
    std::printf("X_DRAWANIM two frames    %12.0f triangles/s   ratio %.2f (goal 0.5)\n", animRate, animRate / glRate);
    const bool goal = objRate >= glRate && animRate >= 0.5 * glRate;
    std::printf("%s\n", goal ? "goal met" : "goal missed");
    std::fflush(stdout);
    std::_Exit(goal ? 0 : 1);
}
