// stackmoor-trace: runs the unchanged game and writes one line per presented frame:
//
//   <frame> <score> <MaxCrate> <ply_x> <ply_y> <ply_dir> <ply_jump> <grid> <crates>
//
// <grid> is 70 characters, hit(column, row) for columns 0 ... 9, rows 0 ... 6; <crates>
// lists slot:ctype:ccolr:cx:cy of every live crate object, joined by ',' ('-' when
// there is none). Numbers are written as the runtime writes them.
//
//   stackmoor-trace --seed N --frames N [--input FILE] [--shots DIR:K]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/automation.h"
#include "tolvane.h"
#include "game/stackmoor.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: stackmoor-trace --seed N --frames N [--input FILE] [--shots DIR:K]\n");
    return 2;
}

std::string Num(double v) { return DQStr(v).c_str(); }

void TraceFrame(int frame) {
    using namespace __TOLVANE__;
    std::string line = std::to_string(frame) + " " + Num(score) + " " + Num(MaxCrate) + " " + Num(ply_x) + " " +
                       Num(ply_y) + " " + Num(ply_dir) + " " + Num(ply_jump) + " ";
    for (int c = 0; c < 10; ++c)
        for (int r = 0; r < 7; ++r) line += static_cast<char>('0' + static_cast<int>(hit(c, r)));
    line += ' ';
    std::string crates;
    for (double n = 0; n <= MaxCrate; ++n) {
        if (ctype(n) == 0) continue;
        if (!crates.empty()) crates += ',';
        crates += Num(n) + ":" + Num(ctype(n)) + ":" + Num(ccolr(n)) + ":" + Num(cx(n)) + ":" + Num(cy(n));
    }
    line += crates.empty() ? "-" : crates;
    line += '\n';
    std::fputs(line.c_str(), stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const char* seed = nullptr;
    const char* frames = nullptr;
    for (int k = 1; k < argc; ++k) {
        std::string a = argv[k];
        if (k + 1 >= argc) return Usage();
        const char* v = argv[++k];
        if (a == "--seed") seed = v;
        else if (a == "--frames") frames = v;
        else if (a == "--input") setenv("TOLVANE_INPUT", v, 1);
        else if (a == "--shots") setenv("TOLVANE_SHOTS", v, 1);
        else return Usage();
    }
    if (!seed || !frames) return Usage();
    setenv("TOLVANE_SEED", seed, 1);
    setenv("TOLVANE_FRAMES", frames, 1);
    setenv("TOLVANE_NO_WAIT", "1", 1);
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    __SetFrameHook(TraceFrame);

    __ProgramEntry(1, argv, __BuildSettings{}, "Stackmoor");
}
