// Whole runs of the game through stackmoor-trace and the single-file program.

#include <algorithm>
#include <cstdlib>
#include <set>
#include <sstream>

#include "support/bmp_writer.h"
#include "support/harness.h"

namespace fs = std::filesystem;

namespace {

struct Frame {
    long frame;
    double score, maxCrate, x, y, dir, jump;
    std::string grid;
};

// The trace of a run, one line a frame.
std::vector<Frame> Trace(const std::string& args, std::string* out = nullptr) {
    ChildResult r = RunProgram((TestBinDir().parent_path() / "stackmoor-trace").string(), args);
    EXPECT_EQ(r.status, 0) << args;
    if (out) *out = r.out;
    std::vector<Frame> frames;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        Frame& f = frames.emplace_back();
        std::istringstream(line) >> f.frame >> f.score >> f.maxCrate >> f.x >> f.y >> f.dir >> f.jump >> f.grid;
    }
    return frames;
}

// The game's traces on three seeds with busy key scripts, against the traces of the
// game's earlier hand-written C++ form, kept in tests/game/expected_trace.txt: every 50th
// line of each trace and a hash of the whole trace. With TOLVANE_BLESS_TRACE=1 the test
// writes that file from the current game instead (after a deliberate change of its rules).
TEST(GameRuns, TracesMatchTheRecordedGame) {
    const fs::path expectedFile = fs::path(TOLVANE_SOURCE_DIR) / "tests/game/expected_trace.txt";
    TempDir dir;
    std::string actual;
    for (int seed : {1001, 2002, 3003}) {
        // Left, right, up and their pairs, held 5 to 90 frames each.
        static const char* const kHeld[] = {"", " 203", " 205", " 200", " 203 200", " 205 200", " 203", " 205"};
        std::string keys;
        uint32_t r = static_cast<uint32_t>(seed);
        for (int frame = 1; frame < 3000;) {
            r = r * 1664525u + 1013904223u;
            keys += std::to_string(frame) + kHeld[(r >> 16) % 8] + "\n";
            frame += 5 + static_cast<int>((r >> 8) % 86);
        }
        std::string out;
        Trace("--seed " + std::to_string(seed) + " --frames 3000 --input " + WriteText(dir / "busy", keys), &out);
        uint64_t hash = 14695981039346656037ull;  // FNV-1a
        for (unsigned char c : out) hash = (hash ^ c) * 1099511628211ull;
        actual += "seed " + std::to_string(seed) + " hash " + std::to_string(hash) + "\n";
        std::istringstream lines(out);
        int n = 0;
        for (std::string line; std::getline(lines, line);)
            if (++n % 50 == 0) actual += line + "\n";
    }
    if (const char* bless = std::getenv("TOLVANE_BLESS_TRACE"); bless && std::string(bless) == "1") {
        WriteText(expectedFile, actual);
        GTEST_SKIP() << "wrote " << expectedFile;
    }
    const std::string expected = ReadText(expectedFile);
    ASSERT_FALSE(expected.empty()) << expectedFile;
    std::istringstream e(expected), a(actual);
    std::string el, al;
    for (int line = 1; std::getline(e, el); ++line) {
        ASSERT_TRUE(std::getline(a, al)) << "the trace ends early, line " << line;
        ASSERT_EQ(al, el) << "first difference at line " << line << " of " << expectedFile;
    }
    EXPECT_FALSE(std::getline(a, al)) << "the trace is longer than the recorded one";
}

// The same seed and keys give the same trace; the figure falls, then jumps with the
// sine profile.
TEST(GameRuns, RepeatableTracesAndTheJump) {
    TempDir dir;
    const std::string keys = WriteText(dir / "keys", "100 205\n160 205 200\n200 203\n260\n300 203 200\n330\n");
    std::string a, b, other;
    EXPECT_EQ(Trace("--seed 123 --frames 900 --input " + keys, &a).size(), 900u);
    Trace("--seed 123 --frames 900 --input " + keys, &b);
    Trace("--seed 124 --frames 900 --input " + keys, &other);
    EXPECT_EQ(a, b);
    EXPECT_NE(other, a);
    std::vector<Frame> f = Trace("--seed 5 --frames 260 --input " + WriteText(dir / "jump", "150 200\n190\n"));
    ASSERT_EQ(f.size(), 260u);
    // From y 160 the figure falls 2 pixels a frame to 380.
    EXPECT_EQ(f[0].y, 162);
    EXPECT_EQ(f[109].y, 380);
    // Up from frame 150: armed in frame 150, then angles 4, 7, ... while held.
    EXPECT_EQ((std::vector{f[149].jump, f[150].jump, f[151].jump}), (std::vector<double>{1, 4, 7}));
    EXPECT_NEAR(f[149].y - f[150].y, 7.9805124021, 1e-6);  // 8 x cos 4 degrees
    // Released in frame 190: the jump ends and the fall begins.
    EXPECT_EQ(f[189].jump, 0);
    EXPECT_EQ(f[189].y, f[188].y + 2);
    EXPECT_GE(f.back().y, 380);  // back on the ground: the first y of 380 or more
    EXPECT_LT(f.back().y, 382);
}

TEST(GameRuns, ALongRunPlaysSeveralLevelsAndEndsNormally) {
    // Stand still: crates pile up until a level is lost, over and over (with this seed
    // the sixth level starts at frame 5408).
    std::vector<Frame> f = Trace("--seed 2024 --frames 6000");
    ASSERT_EQ(f.size(), 6000u);
    int levels = 1;
    for (size_t k = 1; k < f.size(); ++k) {
        levels += f[k].maxCrate == 0 && f[k - 1].maxCrate > 0 && f[k].grid.find_first_not_of('0') == std::string::npos;
        EXPECT_GE(f[k].score, f[k - 1].score);
    }
    EXPECT_GE(levels, 6);
}

int Count(const __BMPImage& img, int x0, int y0, int x1, int y1, bool (*pred)(uint32_t)) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += pred(img.Colour(x, y));
    return n;
}
int Red(uint32_t c) { return c & 0xFF; }
int Green(uint32_t c) { return (c >> 8) & 0xFF; }
int Blue(uint32_t c) { return (c >> 16) & 0xFF; }
bool White(uint32_t c) { return Red(c) > 230 && Green(c) > 230 && Blue(c) > 230; }

// A frame of the game as the player sees it.
TEST(GameRuns, AScreenshotShowsBackgroundBlocksFigureAndScore) {
    TempDir shots;
    std::vector<Frame> f = Trace("--seed 7 --frames 600 --shots " + shots.path.string() + ":600");
    ASSERT_EQ(f.size(), 600u);
    __BMPImage img;
    ASSERT_TRUE(ReadBitmap(shots / "frame-000600.bmp", img));
    ASSERT_EQ(img.Width(), 640);
    // Background: a dark blue sky at the top, the turf at the bottom.
    EXPECT_GT(Blue(img.Colour(10, 100)), Red(img.Colour(10, 100)));
    EXPECT_GT(Green(img.Colour(10, 450)), Blue(img.Colour(10, 450)));
    // Every block of the grid is drawn in its cell, in its colour.
    const Frame& last = f.back();
    int blocks = 0;
    for (int c = 0; c < 10; ++c)
        for (int r = 0; r < 7; ++r) {
            const int v = last.grid[c * 7 + r] - '0';
            if (v == 0) continue;
            ++blocks;
            const uint32_t px = img.Colour(c * 64 + 20, r * 64 + 20);
            EXPECT_GE((v == 1 ? Red : v == 2 ? Green : Blue)(px), std::max({Red(px), Green(px), Blue(px)})) << c << r;
        }
    EXPECT_GT(blocks, 0);
    // The figure: its cap and face where ply_x, ply_y say; the score text: white
    // pixels right of x 64 at y 32.
    const int fx = static_cast<int>(last.x), fy = static_cast<int>(last.y);
    EXPECT_GT(Count(img, fx + 16, fy, fx + 48, fy + 24, [](uint32_t c) { return Red(c) > 200 && Green(c) < 120; }), 10);
    EXPECT_GT(Count(img, 64, 32, 120, 48, White), 10);
}

// The single-file game carries its assets: started in an empty folder, it draws its
// background and font, and leaves nothing beside it but what the test made.
TEST(GameRuns, SingleFileGameRunsWithoutItsFolders) {
    TempDir dir;
    fs::copy_file(TestBinDir().parent_path() / "stackmoor-single", dir / "stackmoor");
    ChildResult r = RunProgram(dir / "stackmoor", "", {"TOLVANE_FRAMES=700", "TOLVANE_NO_WAIT=1", "TOLVANE_SEED=7",
                                                       "TOLVANE_SHOTS=" + (dir / "shots") + ":700"});
    EXPECT_EQ(r.status, 0);
    __BMPImage img;
    ASSERT_TRUE(ReadBitmap(dir / "shots/frame-000700.bmp", img));
    EXPECT_GT(Blue(img.Colour(10, 100)), Red(img.Colour(10, 100)));
    EXPECT_GT(Count(img, 64, 32, 120, 48, [](uint32_t c) { return c == 0xFFFFFF; }), 10);
    std::set<std::string> left;
    for (auto& e : fs::directory_iterator(dir.path)) left.insert(e.path().filename());
    EXPECT_EQ(left, (std::set<std::string>{"shots", "stackmoor"}));
}

}  // namespace
