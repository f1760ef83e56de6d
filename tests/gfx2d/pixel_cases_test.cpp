// The pixel cases of tests/pixels/cases.tsv on the desktop: each program there built
// once with tolvanec, run headless for its frames with every frame kept as a
// screenshot, and every case's pixel compared. The browser runs the same list
// (tests/web/web_test.mjs, case `pixels`).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "gfx2d/bmp_file.h"
#include "support/harness.h"

namespace {

struct PixelCase {
    int line = 0;
    std::string program;
    int frame = 0, x = 0, y = 0;
    uint32_t rgb = 0;  // 0xRRGGBB
    int tolerance = 0;
    std::string what;
};

std::vector<PixelCase> ReadCases() {
    std::ifstream in(TOLVANE_SOURCE_DIR "/tests/pixels/cases.tsv");
    std::vector<PixelCase> cases;
    bool header = true;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        if (header) {
            header = false;
            continue;
        }
        std::vector<std::string> f;
        std::stringstream s(line);
        for (std::string field; std::getline(s, field, '\t');) f.push_back(field);
        if (f.size() != 7 || f[4].size() != 7 || f[4][0] != '#') {
            ADD_FAILURE() << "cases.tsv line " << number << " is no case: " << line;
            continue;
        }
        const PixelCase c{number,          f[0],
                          std::stoi(f[1]), std::stoi(f[2]),
                          std::stoi(f[3]), static_cast<uint32_t>(std::stoul(f[4].substr(1), nullptr, 16)),
                          std::stoi(f[5]), f[6]};
        if (c.frame < 1 || c.frame > 100) {
            ADD_FAILURE() << "cases.tsv line " << number << ": frame " << c.frame << " is not 1 ... 100";
            continue;
        }
        cases.push_back(c);
    }
    return cases;
}

// Builds the program natively, runs it for `frames` frames and gives the screenshot of
// each frame (by number) as a bitmap.
std::map<int, __BMPImage> Frames(const TempDir& dir, const std::string& program, int frames) {
    const std::string exe = dir / program;
    const std::string build = "'" TOLVANEC_PATH "' build '" TOLVANE_SOURCE_DIR "/tests/pixels/" + program +
                              ".bas' --assets '" STACKMOOR_ASSETS_DIR "' -o '" + exe + "' >'" + (dir / "build.txt") +
                              "' 2>&1";
    if (std::system(build.c_str()) != 0) {
        ADD_FAILURE() << program << " does not build:\n" << ReadText(dir / "build.txt");
        return {};
    }
    // Run in the folder, where the programs' own files go too.
    const std::string run = "cd '" + dir.path.string() + "' && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy " +
                            "TOLVANE_NO_WAIT=1 TOLVANE_FRAMES=" + std::to_string(frames) + " TOLVANE_SHOTS=.:1 '" +
                            exe + "' >run.txt 2>&1";
    const int status = std::system(run.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << program << ": " << ReadText(dir / "run.txt");
    std::map<int, __BMPImage> shots;
    for (int f = 1; f <= frames; ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%06d.bmp", f);
        const std::string bytes = ReadText(dir / name);
        if (!shots[f].Open(std::vector<uint8_t>(bytes.begin(), bytes.end())))
            ADD_FAILURE() << program << ": no screenshot of frame " << f;
    }
    return shots;
}

void CheckProgram(const std::string& program) {
    std::vector<PixelCase> cases;
    int frames = 0;
    for (const PixelCase& c : ReadCases())
        if (c.program == program) {
            cases.push_back(c);
            frames = std::max(frames, c.frame);
        }
    ASSERT_FALSE(cases.empty()) << "no case of " << program;
    TempDir dir;
    const std::map<int, __BMPImage> shots = Frames(dir, program, frames);
    if (testing::Test::HasFailure()) return;
    int passed = 0;
    for (const PixelCase& c : cases) {
        const __BMPImage& shot = shots.at(c.frame);
        if (c.x < 0 || c.y < 0 || c.x >= shot.Width() || c.y >= shot.Height()) {
            ADD_FAILURE() << "cases.tsv line " << c.line << ": (" << c.x << ", " << c.y << ") is off the screen";
            continue;
        }
        const uint32_t got = shot.Colour(c.x, c.y);  // R + 256 G + 65536 B
        const int want[3] = {int(c.rgb >> 16), int((c.rgb >> 8) & 0xFF), int(c.rgb & 0xFF)};
        const int have[3] = {int(got & 0xFF), int((got >> 8) & 0xFF), int(got >> 16)};
        int most = 0;
        for (int k = 0; k < 3; ++k) most = std::max(most, std::abs(want[k] - have[k]));
        if (most <= c.tolerance) {
            ++passed;
            continue;
        }
        char text[96];
        std::snprintf(text, sizeof text, "(%d, %d) of frame %d is #%02X%02X%02X, not #%06X (tolerance %d)", c.x, c.y,
                      c.frame, have[0], have[1], have[2], c.rgb, c.tolerance);
        ADD_FAILURE() << "cases.tsv line " << c.line << ", " << c.what << ": " << text;
    }
    testing::Test::RecordProperty("cases", std::to_string(cases.size()));
    testing::Test::RecordProperty("passed", std::to_string(passed));
}

TEST(PixelCases, Draw2D) { CheckProgram("draw2d"); }
TEST(PixelCases, Draw3D) { CheckProgram("draw3d"); }
TEST(PixelCases, Debug3D) { CheckProgram("debug3d"); }
TEST(PixelCases, Scene3DExample) { CheckProgram("scene3d"); }

}  // namespace
