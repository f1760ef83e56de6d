// What the checkpoints of a compiled program cost Stackmoor's frame time, measured two
// ways, since a whole frame on a software renderer varies by more than the cost sought:
//
// 1. Counted: Stackmoor built with every checkpoint counted (TOLVANE_COUNT_CHECKPOINTS)
//    tells how many checkpoints a frame passes (over frames 100 to 1100 of the
//    screenshots' seed and key script); a tight loop here gives the time of one
//    checkpoint (the loop with and without it, the median of seven); their product
//    over the frame time is the share.
// 2. Direct: Stackmoor built as tolvanec makes it and with every checkpoint compiled
//    away (TOLVANE_NO_CHECKPOINTS), run unpaced for 100 and 1100 frames, alternately,
//    seven times; the time per frame is the difference over the 1000 frames, so start-up
//    drops out; medians are compared. Its spread is shown beside it.
//
//   build/bench/bench_checkpoint_cost
//
// The goal: the checkpoints cost under 1 % of the frame time.
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/checkpoint.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 7;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs a command; its standard error is kept in `err` when given.
int Run(const std::string& command, std::string* err = nullptr) {
    const fs::path log = fs::temp_directory_path() / "tolvane-bench-checkpoints.log";
    const int st = std::system((command + (err ? " 2>'" + log.string() + "'" : "")).c_str());
    if (err) {
        std::ifstream in(log);
        err->assign(std::istreambuf_iterator<char>(in), {});
    }
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::string Command(const fs::path& program, int frames) {
    return "cd '" + program.parent_path().string() +
           "' && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy TOLVANE_SEED=11 TOLVANE_NO_WAIT=1"
           " TOLVANE_FRAMES=" +
           std::to_string(frames) + " TOLVANE_INPUT='" TOLVANE_SOURCE_DIR "/tools/screenshot-keys.txt' '" +
           program.string() + "' >/dev/null";
}

double Seconds(const fs::path& program, int frames) {
    const auto start = std::chrono::steady_clock::now();
    if (Run(Command(program, frames) + " 2>&1") != 0) {
        std::fprintf(stderr, "%s did not run\n", program.c_str());
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long long Passed(const fs::path& program, int frames) {
    std::string err;
    if (Run(Command(program, frames), &err) != 0) return -1;
    const size_t at = err.rfind("checkpoints passed: ");
    return at == std::string::npos ? -1 : std::atoll(err.c_str() + at + 20);
}

// Nanoseconds of one checkpoint: a loop of a little arithmetic, as a BASIC loop's body
// is, with a checkpoint at each turn and without.
double CheckpointNs() {
    constexpr long kTurns = 200'000'000;
    auto loop = [](bool checkpoints) {
        double x = 1;
        const auto start = std::chrono::steady_clock::now();
        for (long i = 0; i < kTurns; ++i) {
            if (checkpoints) __Cp();
            x = x * 1.0000001 + 0.5;
            asm volatile("" : "+x"(x));
        }
        return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() / kTurns;
    };
    std::vector<double> diffs;
    for (int r = 0; r < kRounds; ++r) {
        const double with = loop(true), without = loop(false);
        diffs.push_back(with - without);
    }
    return std::max(0.0, Median(diffs));
}

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / "tolvane-bench-checkpoints";
    fs::remove_all(dir);
    fs::create_directories(dir);
    auto wrapper = [&](const std::string& name, const std::string& define) {
        const fs::path w = dir / name;
        std::ofstream(w) << "#!/bin/sh\nexec c++ -D" << define << " \"$@\"\n";
        fs::permissions(w, fs::perms::owner_all);
        return w;
    };
    const fs::path with = dir / "with" / "stackmoor", without = dir / "without" / "stackmoor",
                   counted = dir / "counted" / "stackmoor";
    const std::string build =
        "'" TOLVANEC_PATH "' build '" TOLVANE_SOURCE_DIR "/game/stackmoor.bas' --assets '" TOLVANE_ASSETS "' -o ";
    for (const fs::path& p : {with, without, counted}) fs::create_directories(p.parent_path());
    if (Run(build + "'" + with.string() + "' --cxx c++") != 0 ||
        Run(build + "'" + without.string() + "' --cxx '" + wrapper("no", "TOLVANE_NO_CHECKPOINTS").string() + "'") !=
            0 ||
        Run(build + "'" + counted.string() + "' --cxx '" + wrapper("count", "TOLVANE_COUNT_CHECKPOINTS").string() +
            "'") != 0) {
        std::fprintf(stderr, "the builds failed\n");
        return 1;
    }
    const long long few = Passed(counted, 100), many = Passed(counted, 1100);
    if (few < 0 || many < 0) {
        std::fprintf(stderr, "the counting build told no count\n");
        return 1;
    }
    const double perFrame = (many - few) / 1000.0;
    const double ns = CheckpointNs();

    std::vector<double> msWith, msWithout;
    for (int round = 0; round < kRounds; ++round)
        for (auto [program, into] : {std::pair{with, &msWith}, std::pair{without, &msWithout}})
            into->push_back(Seconds(program, 1100) - Seconds(program, 100));  // s per 1000 frames = ms per frame
    const double a = Median(msWith), b = Median(msWithout);
    const auto [lo, hi] = std::minmax_element(msWithout.begin(), msWithout.end());
    std::printf("Stackmoor passes %.1f checkpoints a frame; one costs %.2f ns: %.3f us a frame, %.4f %% of %.3f ms\n",
                perFrame, ns, perFrame * ns / 1000, 100 * perFrame * ns / 1e6 / b, b);
    std::printf(
        "Direct, ms a frame (median of %d): with checkpoints %.4f, without %.4f: %+.2f %% "
        "(frames without vary from %.4f to %.4f)\n",
        kRounds, a, b, 100 * (a - b) / b, *lo, *hi);
    fs::remove_all(dir);
    return 0;
}
