// Loading object files with X_LOADOBJ: the processor time a load takes, and the memory
// a large object costs once loaded and once drawn.
//
//   SDL_VIDEODRIVER=offscreen build/bench/bench_load3d [loads] [--no-largest]
//
// Time: a sheet of 200,000 triangles in 100 strips, 2 frames (the second one the same
// sheet with its wave moved), loaded `loads` times (default 15) into one slot; the
// median and the fastest load, processor time of every thread. Goal: a median under
// 100 ms.
//
// Memory: each case runs in a process of its own and reports how much its resident
// memory grew by the load, by the first draw, and at its peak during both. The strips have no
// texture coordinates, so a file is nearly all nodes (5 bytes each):
//   - one triangle strip of 2,400,000 nodes in one frame (a 12 MB file), drawn;
//   - the same 12 MB as two frames of 1,200,000 nodes, drawn blended;
//   - one strip of 13,400,000 nodes (a 64 MiB file), which is more than an object
//     may take: refused, the slot left empty.
// The files are written to the temporary folder and removed afterwards.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <GLES3/gl3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tolvane.h"
#include "core/byte_io.h"
#include "gfx3d/prism3d.h"
#include "platform/system.h"

namespace {

constexpr uint32_t kStrip = 0xFFFFFFFEu;

double CpuMs() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

// Resident and peak resident memory of the process in MiB.
double StatusMiB(const char* field) {
    std::ifstream f("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(f, line))
        if (line.compare(0, n, field) == 0) return std::atof(line.c_str() + n + 1) / 1024.0;
    return -1;
}

struct Frame {
    std::vector<uint8_t> nodes;  // 5 bytes each
    float offset[3], scale[3];
};

// The object file of the frames: palette {strip marker, two colours}, with `uv` one
// texture coordinate pair per node of the first frame, else none.
void WriteObject(const std::string& path, const std::vector<Frame>& frames, bool uv) {
    const size_t count = uv ? frames[0].nodes.size() / 5 : 0;
    ByteWriter w;
    w.U32(0x00C6B317).F64(1.02).I32(static_cast<int32_t>(frames.size())).I32(3).I32(static_cast<int32_t>(count));
    w.U32(kStrip).U32(0x40A0E0).U32(0x60C0FF);
    for (size_t i = 0; i < count; ++i) w.F32(static_cast<float>(i % 1001) / 100).F32(static_cast<float>(i / 1001) / 10);
    for (const Frame& f : frames) {
        w.I32(static_cast<int32_t>(f.nodes.size() / 5));
        for (float o : f.offset) w.F32(o);
        for (float s : f.scale) w.F32(s);
        w.Bytes(f.nodes.data(), f.nodes.size());
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(w.Data().data()),
                                                 static_cast<std::streamsize>(w.Size()));
}

void Node(Frame& f, int x, int y, int z, int normal, int palette) {
    f.nodes.insert(f.nodes.end(), {static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>(z),
                                   static_cast<uint8_t>(normal), static_cast<uint8_t>(palette)});
}

Frame Empty() {
    Frame f;
    for (int a = 0; a < 3; ++a) {
        f.offset[a] = -127.5f;
        f.scale[a] = 1;
    }
    return f;
}

// `rows` strips of `columns` quads each; frame k moves the wave by k.
std::vector<Frame> Sheet(int rows, int columns, int frames) {
    std::vector<Frame> out;
    for (int k = 0; k < frames; ++k) {
        Frame f = Empty();
        for (int row = 0; row < rows; ++row) {
            Node(f, 0, 0, 0, 0, 0);
            for (int col = 0; col <= columns; ++col)
                for (int e = 1; e >= 0; --e) {
                    const int z = static_cast<int>(127 + 60 * std::sin(col * 0.05 + k * 1.5) * std::cos((row + e) * 0.2));
                    Node(f, col * 255 / columns, (row + e) * 255 / rows, z, (col + row) % 162, 1 + col % 2);
                }
        }
        out.push_back(std::move(f));
    }
    return out;
}

// One strip of `nodes` nodes (its marker included) zigzagging through the cube, per frame.
std::vector<Frame> LongStrip(size_t nodes, int frames) {
    std::vector<Frame> out;
    for (int k = 0; k < frames; ++k) {
        Frame f = Empty();
        f.nodes.reserve(nodes * 5);
        Node(f, 0, 0, 0, 0, 0);
        for (size_t i = 1; i < nodes; ++i)
            Node(f, static_cast<int>((i / 2) % 256), static_cast<int>((i % 2) * 40 + (i / 512) % 200),
                 static_cast<int>((i / 256 + k * 9) % 256), static_cast<int>(i % 162), 1 + static_cast<int>(i % 2));
        out.push_back(std::move(f));
    }
    return out;
}

void Scene() {
    X_MAKE3D(1, 1000, 45);
    X_CAMERA(0, 0, 400, 0, 0, 0);
    X_AMBIENT_LT(1, 0x303030);
    X_SPOT_LT(2, 0xFFFFFF, 100, 100, 200, 0, 0, 0, 360);
}

int TimeLoads(int loads) {
    const std::string file = plat::TempDir() + "tolvane-bench-load-sheet.obj";
    WriteObject(file, Sheet(100, 1000, 2), true);
    std::vector<double> cpu;
    for (int i = 0; i < loads; ++i) {
        const double t0 = CpuMs();
        X_LOADOBJ(DQStr(file.c_str()), 1);
        cpu.push_back(CpuMs() - t0);
    }
    const size_t triangles = 100 * 2 * 1000;
    if (prsm3D->Slot(1)->mesh.FrameCount() != 2) {
        std::printf("the sheet did not load\n");
        return 2;
    }
    // A draw of each kind, so nothing the load left undone goes unnoticed.
    Scene();
    const double d0 = CpuMs();
    X_DRAWOBJ(1, 0);
    X_DRAWANIM(1, 0, 1, 0.5, 1);
    SHOWSCREEN();
    const double draws = CpuMs() - d0;
    std::remove(file.c_str());
    std::sort(cpu.begin(), cpu.end());
    const double median = cpu[cpu.size() / 2];
    std::printf("sheet: %zu triangles a frame, 2 frames, %d loads\n", triangles, loads);
    std::printf("  X_LOADOBJ processor time: median %.1f ms, fastest %.1f ms (goal: under 100 ms)\n", median, cpu[0]);
    std::printf("  first X_DRAWOBJ + X_DRAWANIM + SHOWSCREEN: %.1f ms processor time\n", draws);
    return median < 100 ? 0 : 1;
}

void MemoryCase(const char* name, std::vector<Frame> frames, bool blended) {
    const std::string file = plat::TempDir() + "tolvane-bench-load-big.obj";
    WriteObject(file, frames, false);
    const size_t nodes = frames[0].nodes.size() / 5;
    const int count = static_cast<int>(frames.size());
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    const double fileMiB = static_cast<double>(in.tellg()) / (1 << 20);
    in.close();
    // The frames' bytes go before measuring: only the object counts.
    std::vector<Frame>().swap(frames);
    Scene();
    SHOWSCREEN();
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
    const double before = StatusMiB("VmRSS:");
    const double t0 = CpuMs();
    X_LOADOBJ(DQStr(file.c_str()), 1);
    const double loadMs = CpuMs() - t0;
    const double loaded = StatusMiB("VmRSS:");
    const bool kept = !prsm3D->Slot(1)->mesh.frames.empty();
    Scene();
    if (blended) X_DRAWANIM(1, 0, 1, 0.5, 1);
    else X_DRAWOBJ(1, 0);
    SHOWSCREEN();
    const double drawn = StatusMiB("VmRSS:");
    std::remove(file.c_str());
    std::printf("%s: %.1f MiB file, %zu nodes x %d frame%s: %s in %.0f ms processor time\n", name, fileMiB, nodes,
                count, count > 1 ? "s" : "", kept ? "loaded" : "refused", loadMs);
    std::printf("  resident: +%.0f MiB after the load, +%.0f MiB after the first %s draw, peak +%.0f MiB\n",
                loaded - before, drawn - before, blended ? "blended" : "plain", StatusMiB("VmHWM:") - before);
    std::fflush(stdout);
}

bool Start() {
    setenv("TOLVANE_NO_WAIT", "1", 1);
    return __GlobalInit("load3d");
}

// Runs one memory case in a child process, so each starts from the same memory.
void InChild(void (*run)()) {
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        if (Start()) run();
        std::fflush(stdout);
        std::_Exit(0);
    }
    int status = 0;
    if (pid > 0) waitpid(pid, &status, 0);
}

}  // namespace

int main(int argc, char** argv) {
    int loads = argc > 1 ? std::atoi(argv[1]) : 15;
    if (loads < 1) loads = 1;
    InChild([] { MemoryCase("one 12 MB strip", LongStrip(2400000, 1), false); });
    InChild([] { MemoryCase("12 MB in two frames", LongStrip(1200000, 2), true); });
    if (!(argc > 2 && std::strcmp(argv[2], "--no-largest") == 0))
        InChild([] { MemoryCase("one 64 MiB strip", LongStrip(13400000, 1), false); });
    if (!Start()) return 2;
    const int status = TimeLoads(loads);
    std::fflush(stdout);
    std::_Exit(status);
}
