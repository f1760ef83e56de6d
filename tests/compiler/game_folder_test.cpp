// Game folders as a user makes and plays them: `tolvanec new NAME`, then `tolvanec run`
// inside it with no file named (the folder's program, its assets packed); and where
// tolvanec looks for the runtime when it is not in a build tree.
#include <gtest/gtest.h>

#include <set>

#include "core/byte_io.h"
#include "support/audio.h"
#include "support/harness.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int status = -1;
    std::string out;
};

// A shell command line in the folder `cwd`, with standard error.
Result Shell(const fs::path& cwd, const std::string& command) {
    Result r;
    FILE* p = popen(("cd '" + cwd.string() + "' && " + command + " 2>&1").c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

const std::string kTolvanec = "'" TOLVANEC_PATH "'";

// The middle of the pixels of a 24-bit screenshot (below the top bar) that are
// reddish-yellow like the template's ball: x, y and their count.
std::tuple<double, double, int> Ball(const std::string& bmp) {
    const std::string b = ReadText(bmp);
    if (b.size() < 54) return {0, 0, 0};
    auto u32 = [&](size_t at) { return static_cast<long>(Le32(reinterpret_cast<const uint8_t*>(b.data()) + at)); };
    const long w = u32(18), h = u32(22), data = u32(10), stride = (w * 3 + 3) & ~3L;
    double sx = 0, sy = 0;
    int n = 0;
    for (long y = 24; y < h; ++y)
        for (long x = 0; x < w; ++x) {
            const size_t at = static_cast<size_t>(data + (h - 1 - y) * stride + 3 * x);
            if (at + 3 > b.size()) continue;
            const int blue = static_cast<uint8_t>(b[at]), green = static_cast<uint8_t>(b[at + 1]),
                      red = static_cast<uint8_t>(b[at + 2]);
            if (red > 60 && red > green + 10 && green > blue) {
                sx += x;
                sy += y;
                ++n;
            }
        }
    return {n ? sx / n : 0, n ? sy / n : 0, n};
}

TEST(GameFolder, NewGamePlaysFromItsFolderWithItsSpriteSoundAndKeys) {
    TempDir dir;
    Result made = Shell(dir.path, kTolvanec + " new ballgame");
    ASSERT_EQ(made.status, 0) << made.out;
    const fs::path game = dir.path / "ballgame";
    for (const char* f : {"ballgame.bas", "README.md", "assets/ball.bmp", "assets/beep.wav"})
        EXPECT_TRUE(fs::is_regular_file(game / f)) << f;
    const std::string readme = ReadText(game / "README.md");
    EXPECT_EQ(std::count(readme.begin(), readme.end(), '\n'), 3) << readme;
    EXPECT_NE(readme.find("tolvanec run"), std::string::npos);

    // Left and Space held from the first frame: the ball goes left (down, as it started)
    // and the sound plays once.
    WriteText(dir / "keys.txt", "1 203 57\n3 203\n");
    const std::string shots = dir / "shots", mix = dir / "mix.raw";
    Result run = Shell(game, "env SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE='" + mix +
                                 "' TOLVANE_FRAMES=60 TOLVANE_INPUT='" + (dir / "keys.txt") + "' TOLVANE_SHOTS='" + shots +
                                 ":60' XDG_CACHE_HOME='" + (dir / "cache") + "' " + kTolvanec + " run");
    ASSERT_EQ(run.status, 0) << run.out;
    auto [x, y, pixels] = Ball(shots + "/frame-000060.bmp");
    EXPECT_GT(pixels, 400);                              // a 32 x 32 ball, not a missing sprite
    EXPECT_NEAR(x, 304 - 3 * 60 + 16, 10);              // left at 3 pixels a frame
    EXPECT_NEAR(y, 224 + 2 * 60 + 16, 10);              // down at 2
    EXPECT_FALSE(Loud(ReadMix(mix).left).empty());      // the beep was heard
    // A second run builds nothing anew; `build` in the folder makes ./ballgame.
    EXPECT_EQ(Shell(game, kTolvanec + " check").status, 0);
    Result built = Shell(game, kTolvanec + " build");
    ASSERT_EQ(built.status, 0) << built.out;
    EXPECT_TRUE(fs::is_regular_file(game / "ballgame"));
}

TEST(GameFolder, WrongNamesExistingFoldersAndFoldersWithoutOneProgramAreRefused) {
    TempDir dir;
    fs::create_directories(dir.path / "taken");
    struct Case {
        std::string command;
        int status;
        std::string message;
    } cases[] = {
        {"new taken", 1, "already exists"},
        {"new 'bad name'", 2, "cannot name a game"},
        {"new -x", 2, "cannot name a game"},
        {"new", 2, "usage"},
    };
    for (const Case& c : cases) {
        Result r = Shell(dir.path, kTolvanec + " " + c.command);
        EXPECT_EQ(r.status, c.status) << c.command << ": " << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.command << ": " << r.out;
    }
    EXPECT_TRUE(fs::is_empty(dir.path / "taken"));

    // The folder's program: named like the folder, else main.bas, else the only one.
    fs::create_directories(dir.path / "two");
    WriteText(dir / "two/a.bas", "x = 1\n");
    WriteText(dir / "two/b.bas", "x = \n");
    Result two = Shell(dir.path / "two", kTolvanec + " check");
    EXPECT_EQ(two.status, 2);
    EXPECT_NE(two.out.find("several .bas files"), std::string::npos) << two.out;
    WriteText(dir / "two/main.bas", "x = \n");
    Result main = Shell(dir.path / "two", kTolvanec + " check");
    EXPECT_EQ(main.status, 1);
    EXPECT_NE(main.out.find("main.bas:1:"), std::string::npos) << main.out;
    WriteText(dir / "two/two.bas", "y = \n");
    EXPECT_NE(Shell(dir.path / "two", kTolvanec + " check").out.find("two.bas:1:"), std::string::npos);
    fs::create_directories(dir.path / "none");
    EXPECT_NE(Shell(dir.path / "none", kTolvanec + " check").out.find("there is no .bas program"), std::string::npos);
}

TEST(Toolchain, AwayFromItsBuildTreeTolvanecLooksBesideItselfAndSaysWhatIsMissing) {
    // A copy of tolvanec alone in bin/: no build-tree file beside it, so it takes the
    // installed layout around its own folder, and names the first file missing there.
    TempDir dir;
    fs::create_directories(dir.path / "tree/bin");
    fs::copy_file(TOLVANEC_PATH, dir.path / "tree/bin/tolvanec");
    WriteText(dir / "hello.bas", "PRINT \"hi\", 0, 0\n");
    Result checked = Shell(dir.path, "tree/bin/tolvanec check hello.bas");
    EXPECT_EQ(checked.status, 0) << checked.out;  // checking needs no runtime
    Result built = Shell(dir.path, "tree/bin/tolvanec build hello.bas");
    EXPECT_EQ(built.status, 1);
    const std::string tree = fs::canonical(dir.path / "tree").string();
    EXPECT_NE(built.out.find(tree + "/include/tolvane/tolvane.h is missing"), std::string::npos) << built.out;
    EXPECT_NE(built.out.find("the installed tree " + tree), std::string::npos) << built.out;
    // The browser kit too is looked for in the installed layout, and nothing is made.
    fs::create_directories(dir.path / "tree/include/tolvane");
    WriteText(dir / "tree/include/tolvane/tolvane.h", "#pragma once\n");
    Result page = Shell(dir.path, "tree/bin/tolvanec build --web hello.bas");
    EXPECT_EQ(page.status, 1);
    EXPECT_NE(page.out.find("cannot make pages for the browser: " + tree + "/share/tolvane/web/libtolvane.a is missing"),
              std::string::npos)
        << page.out;
    EXPECT_FALSE(fs::exists(dir.path / "hello-web"));
}

}  // namespace
