// Frame pacing at 60 frames per second: the interval between presented frames
// (median and 95th percentile) and the processor time the process uses meanwhile.
//
//   SDL_VIDEODRIVER=offscreen build/bench/bench_frame_pacing [frames]
//
// Goal: median and 95th percentile within 0.5 ms of 16.667 ms, under a fifth of a
// core. Exits 1 when the goal is missed.
#include <sys/resource.h>

#include <GLES3/gl3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tolvane.h"
#include "core/timing.h"
#include "gfx2d/prism.h"

namespace {
double CpuMs() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}
}  // namespace

int main(int argc, char** argv) {
    int frames = argc > 1 ? std::atoi(argv[1]) : 600;
    if (frames < 10) frames = 10;
    if (!__GlobalInit("frame pacing")) return 2;
    LIMITFPS(60);
    for (int i = 0; i < 5; ++i) SHOWSCREEN();  // settle

    std::vector<double> intervals;
    double cpu0 = CpuMs(), wall0 = __ClockMs();
    double last = wall0;
    for (int i = 0; i < frames; ++i) {
        glClear(GL_COLOR_BUFFER_BIT);
        SHOWSCREEN();
        double now = __ClockMs();
        intervals.push_back(now - last);
        last = now;
    }
    double cpu = CpuMs() - cpu0, wall = __ClockMs() - wall0;
    std::sort(intervals.begin(), intervals.end());
    double median = intervals[intervals.size() / 2];
    double p95 = intervals[static_cast<size_t>(intervals.size() * 0.95)];
    double p5 = intervals[static_cast<size_t>(intervals.size() * 0.05)];
    double share = cpu / wall;
    const double target = 1000.0 / 60;
    std::printf("frames %d  median %.3f ms  p5 %.3f ms  p95 %.3f ms  cpu %.1f%% of a core\n", frames, median, p5,
                p95, share * 100);
    bool ok = std::fabs(median - target) <= 0.5 && std::fabs(p95 - target) <= 0.5 && share < 0.2;
    std::printf("%s\n", ok ? "goal met" : "goal missed");
    std::fflush(stdout);
    std::_Exit(ok ? 0 : 1);
}
