// What the checkpoints of a compiled program cost: Stackmoor built twice with the same
// compiler, once as tolvanec makes it and once with every checkpoint compiled away
// (TOLVANE_NO_CHECKPOINTS, given to the compiler through a wrapper), each run unpaced
// with the seed and key script of the screenshots, 100 and 1100 frames, alternately,
// five times. The time per frame is the difference over the 1000 frames between, so
// start-up drops out; the median of the five is reported. A timed run:
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

namespace fs = std::filesystem;

namespace {

int Run(const std::string& command) {
    const int st = std::system(command.c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

double Seconds(const fs::path& program, int frames) {
    const std::string command = "cd '" + program.parent_path().string() +
                                "' && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy TOLVANE_SEED=11 TOLVANE_NO_WAIT=1"
                                " TOLVANE_FRAMES=" + std::to_string(frames) +
                                " TOLVANE_INPUT='" TOLVANE_SOURCE_DIR "/tools/screenshot-keys.txt' '" +
                                program.string() + "' >/dev/null 2>&1";
    const auto start = std::chrono::steady_clock::now();
    if (Run(command) != 0) {
        std::fprintf(stderr, "%s did not run\n", program.c_str());
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / "tolvane-bench-checkpoints";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path wrapper = dir / "c++-without-checkpoints";
    std::ofstream(wrapper) << "#!/bin/sh\nexec c++ -DTOLVANE_NO_CHECKPOINTS \"$@\"\n";
    fs::permissions(wrapper, fs::perms::owner_all);
    const fs::path with = dir / "with" / "stackmoor", without = dir / "without" / "stackmoor";
    fs::create_directories(with.parent_path());
    fs::create_directories(without.parent_path());
    const std::string build = "'" TOLVANEC_PATH "' build '" TOLVANE_SOURCE_DIR "/game/stackmoor.bas' --assets '" TOLVANE_ASSETS
                              "' -o ";
    if (Run(build + "'" + with.string() + "' --cxx c++") != 0 ||
        Run(build + "'" + without.string() + "' --cxx '" + wrapper.string() + "'") != 0) {
        std::fprintf(stderr, "the builds failed\n");
        return 1;
    }
    std::vector<double> msWith, msWithout;
    for (int round = 0; round < 5; ++round) {
        for (auto [program, into] : {std::pair{with, &msWith}, std::pair{without, &msWithout}}) {
            const double few = Seconds(program, 100), many = Seconds(program, 1100);
            into->push_back((many - few) * 1000 / 1000);
        }
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double a = median(msWith), b = median(msWithout);
    std::printf("Stackmoor, ms a frame (median of 5): with checkpoints %.4f, without %.4f: %+.2f %%\n", a, b,
                100 * (a - b) / b);
    fs::remove_all(dir);
    return 0;
}
