// The time `tolvanec build` takes to make a native program of a 50-line BASIC program
// (translation, the C++ compile and link, packing the built-in font), as a user waits
// for it. A timed run: five builds, the fastest and the median.
//
//   build/bench/bench_build_program
//
// The goal: under 2 s.
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

// Fifty lines: constants, a record, an array, SUBs, loops and drawing, as a small game
// has them.
const char* const kProgram = R"BAS(SETTINGS TITLE "Bench", WIDTH 640, HEIGHT 480
CONST COUNT = 8, SPEED = 3
CONST KEY_LEFT = 203, KEY_RIGHT = 205
TYPE Ball
    x
    y
    dx
    dy
    colour
END TYPE
DIM balls(COUNT) AS Ball
GLOBAL paddle
paddle = 288
FOR i = 0 TO COUNT - 1
    balls(i).x = RND(600)
    balls(i).y = RND(200)
    balls(i).dx = SPEED - RND(2 * SPEED)
    balls(i).dy = SPEED
    balls(i).colour = RGB(RND(255), RND(255), 128)
NEXT
WHILE 1
    IF KEY(KEY_LEFT) THEN paddle = MAX(paddle - 6, 0)
    IF KEY(KEY_RIGHT) THEN paddle = MIN(paddle + 6, 576)
    FOR i = 0 TO COUNT - 1
        balls(i) = Moved(balls(i))
        FILLRECT balls(i).x, balls(i).y, balls(i).x + 8, balls(i).y + 8, balls(i).colour
    NEXT
    FILLRECT paddle, 460, paddle + 64, 470, 0xFFFFFF
    PRINT "Balls: " + COUNT + "  " + UCASE$(LEFT$("paddle", 3)), 8, 8
    SHOWSCREEN
WEND

SUB Moved(b AS Ball) AS Ball
    b.x = b.x + b.dx
    b.y = b.y + b.dy
    IF b.x < 0 OR b.x > 632 THEN b.dx = -b.dx
    IF b.y < 0 THEN b.dy = -b.dy
    IF b.y > 452 AND b.x >= paddle AND b.x <= paddle + 64 THEN b.dy = -ABS(b.dy)
    IF b.y > 480 THEN
        b.y = 0
        b.x = RND(600)
    END IF
    RETURN b
END SUB

SUB Unused$(t$)
    RETURN TRIM$(t$) + STR$(SGN(LEN(t$)))
END SUB
)BAS";

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / "tolvane-bench-build";
    fs::create_directories(dir);
    std::ofstream(dir / "game.bas") << kProgram;
    const std::string cmd = "'" TOLVANEC_PATH "' build '" + (dir / "game.bas").string() + "' -o '" +
                            (dir / "game").string() + "'";
    std::vector<double> seconds;
    for (int run = 0; run < 5; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const int status = std::system(cmd.c_str());
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "tolvanec build failed\n");
            return 1;
        }
        seconds.push_back(took.count());
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("tolvanec build of a 50-line program: fastest %.2f s, median %.2f s (goal: under 2 s)\n", seconds[0],
                seconds[seconds.size() / 2]);
    fs::remove_all(dir);
    return 0;
}
