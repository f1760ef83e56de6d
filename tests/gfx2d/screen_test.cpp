#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/input.h"
#include "platform/test_hooks.h"
#include "platform/window.h"
#include "app/automation.h"
#include "support/gfx_fixture.h"

namespace {

constexpr uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kKey = 0x8000FF;

using FrameTest = GfxTest;

TEST_F(FrameTest, ViewportMovesTheOriginClipsAndShowscreenResetsIt) {
    VIEWPORT(100, 50, 200, 100);
    FILLRECT(0, 0, 1000, 1000, kRed);
    FILLRECT(10, 20, 11, 21, kGreen);
    EXPECT_EQ(Pixels({{100, 50}, {299, 149}, {110, 70}, {99, 50}, {100, 49}, {300, 100}, {150, 150}}),
              (Colours{kRed, kRed, kGreen, 0, 0, 0, 0}));
    // Without a size: the screen's size, the offset kept.
    Clear();
    VIEWPORT(10, 10, 0, 50);
    FILLRECT(0, 0, 1000, 1000, kRed);
    EXPECT_EQ(Pixels({{10, 10}, {DQ_RESX - 1, DQ_RESY - 1}, {9, 10}}), (Colours{kRed, kRed, 0}));
    // SHOWSCREEN presents; the next frame starts cleared, whole-screen and opaque.
    VIEWPORT(100, 100, 50, 50);
    SolidSprite(0, 4, 4, 0x404040);
    ALPHAMODE(0.5);
    SHOWSCREEN();
    EXPECT_EQ(ReadPixel(100, 100), 0u);
    FILLRECT(0, 0, 10, 10, 0x404040);
    SPRITE(0, 0, 0);
    EXPECT_EQ(ReadPixel(1, 1), 0x404040u);
}

// The context is of the kind TOLVANE_GL asks for (ES 3.0 unless it says "core"), and
// the drawing's shaders work in it. The test DrawingInTheOtherContext runs this and
// pixel tests of 2D and 3D drawing in the kind that is not the default.
TEST_F(FrameTest, TheContextIsOfTheKindAskedForAndDrawsInIt) {
    const char* asked = std::getenv("TOLVANE_GL");
    const bool core = asked && std::string(asked) == "core";
    EXPECT_EQ(plat::ContextKind(), core ? plat::GLContextKind::kCore33 : plat::GLContextKind::kES30);
    const std::string version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    EXPECT_EQ(version.rfind("OpenGL ES 3.", 0) == 0, !core) << version;
    EXPECT_EQ(version.find("Core Profile") != std::string::npos, core) << version;
    SolidSprite(0, 8, 8, kRed);
    SPRITE(0, 4, 4);
    SETPIXEL(20, 4, kGreen);
    EXPECT_EQ(Pixels({{4, 4}, {11, 11}, {20, 4}, {21, 4}}), (Colours{kRed, kRed, kGreen, 0}));
}

TEST_F(FrameTest, TheFrameScheduleKeepsItsGridAndDropsLateFrames) {
    for (auto [fps, period] : {std::pair{30.0, 1000.0 / 30}, {0.0, 2.0}, {-5.0, 2.0}, {60.9, 1000.0 / 60}}) {
        LIMITFPS(fps);
        EXPECT_DOUBLE_EQ(pPrsm->FramePeriod(), period) << fps;
    }
    LIMITFPS(60);
    const double period = 1000.0 / 60;
    pPrsm->FlipScreens();
    pPrsm->FlipScreens();
    const double deadline = pPrsm->NextFrameTime();
    // An on-time frame waits for its deadline and the schedule moves one period.
    pPrsm->FlipScreens();
    EXPECT_GE(__ClockMs(), deadline);
    EXPECT_DOUBLE_EQ(pPrsm->NextFrameTime(), deadline + period);
    // A frame that took 50 ms is shown at once; the schedule jumps to the first
    // boundary not earlier than now, on the same grid. No burst follows: the next
    // frame waits for that boundary.
    const double grid = pPrsm->NextFrameTime();
    plat::SleepMs(50);
    const double before = __ClockMs();
    pPrsm->FlipScreens();
    const double after = __ClockMs(), next = pPrsm->NextFrameTime(), steps = (next - grid) / period;
    EXPECT_LT(after - before, 5.0);
    EXPECT_GE(next, before);
    EXPECT_LT(next, after + period + 0.001);
    EXPECT_NEAR(steps, std::round(steps), 1e-6);
    pPrsm->FlipScreens();
    EXPECT_GE(__ClockMs(), next);
    // GETTIMER is at least 1, also for a stamp in the future.
    SHOWSCREEN();
    SHOWSCREEN();
    EXPECT_GE(GETTIMER(), 1);
    __g_LastTime = __ClockMs() + 1000;
    EXPECT_EQ(GETTIMER(), 1);
    EXPECT_GT(GETTIMERALL(), 0);
}

using BitmapTest = GfxTest;

// Eight-bit palettes with the key entry, after the plain header and after the larger
// information headers most tools write today: the palette follows the header whatever
// its declared size. 32-bit colours follow the masks. Rows are read bottom-up even
// where the header says top-down, so such a picture turns over.
TEST_F(BitmapTest, PalettesHeadersMasksAndRowOrder) {
    for (int header : {40, 124}) {
        Clear();
        Load(0, {.width = 6, .height = 2, .bits = 8,  // rows padded to 8 bytes
                 .pixel = [](int c, int) { return static_cast<uint32_t>(c % 3); },
                 .palette = {kRed, 0x3399CC, kKey}, .headerSize = header, .coloursUsed = header == 40 ? 0u : 3u});
        SPRITE(0, 0, 0);  // the key colour through the palette is transparent
        EXPECT_EQ(Pixels({{0, 1}, {4, 0}, {2, 1}, {5, 0}}), (Colours{kRed, 0x3399CC, 0, 0})) << header;
    }
    // Red, green, blue, then the unused byte, from the top.
    Load(1, {.width = 2, .height = 2, .bits = 32, .pixel = [](int c, int) { return c == 0 ? 0x123456u : kGreen; },
             .headerSize = 108, .masks = {0xFF000000, 0x00FF0000, 0x0000FF00}});
    auto topRed = [](int, int r) { return r == 0 ? kRed : kBlue; };
    Load(2, {.width = 4, .height = 4, .bits = 32, .pixel = topRed});
    Load(3, {.width = 4, .height = 4, .pixel = topRed, .topDown = true});
    SPRITE(1, 10, 0);
    SPRITE(2, 20, 0);
    SPRITE(3, 30, 0);
    EXPECT_EQ(Pixels({{10, 0}, {11, 1}, {21, 0}, {21, 3}, {31, 0}, {31, 3}}),
              (Colours{0x123456, kGreen, kRed, kBlue, kBlue, kRed}));
}

TEST_F(BitmapTest, MalformedFilesLoadNothing) {
    const std::string ok = BitmapBytes({.width = 8, .height = 8, .pixel = Solid(kRed)});
    auto patch = [&](size_t at, uint32_t v, size_t n = 4) { return std::string(ok).replace(at, n, U32(v), 0, n); };
    const std::vector<std::string> bad = {
        ok.substr(0, 100),                  // truncated pixels
        ok.substr(0, 20),                   // truncated header
        patch(18, 0x7FFFFFFF),              // huge width
        patch(22, 0x80000000),              // the most negative height
        patch(18, 0),                       // no width
        patch(10, 0xFFFFFF00),              // pixel data beyond the file
        patch(10, 4),                       // headers overlapping the file header
        patch(28, 16, 1), patch(28, 4, 1),  // 16 and 4 bits
        // Indices 2 and 3: beyond the palette.
        BitmapBytes({.width = 4, .bits = 8, .pixel = [](int c, int) { return static_cast<uint32_t>(c); },
                     .palette = {kRed, kGreen}}),
    };
    for (size_t i = 0; i < bad.size(); ++i) {
        SolidSprite(9, 4, 4, kGreen);
        std::string p = WriteText(Path("bad" + std::to_string(i) + ".bmp"), bad[i]);
        LOADSPRITE(DQStr(p.c_str()), 9);
        EXPECT_FALSE(pPrsm->Loaded(9)) << "file " << i;
        __BMPImage img;
        EXPECT_FALSE(ReadBitmap(p, img) && img.IndicesInPalette()) << "file " << i;
    }
}

TEST_F(BitmapTest, MipMapChainAndBumpTexture) {
    // Distinct red values per texel; texture row 0 is the picture's bottom row.
    Load(0, {.width = 4, .height = 4, .pixel = [](int c, int r) { return (3u - r) * 40 + c * 10 + 5; }});
    uint8_t level1[2 * 2 * 4], level2[4];
    ReadTextureLevel(pPrsm->Sprite(0)->texture[1], 1, 2, 2, level1);
    ReadTextureLevel(pPrsm->Sprite(0)->texture[1], 2, 1, 1, level2);
    // Texel (x, y) of level 0 has red 40 y + 10 x + 5. Level 1 (x, y) takes a = (2x, 2y),
    // b = (2x + 1, 2y), c = (2x + 1, 2y + 2), d = (2x, 2y + 2): (4a + 2b + 2c + d) / 9;
    // in the last column (2a + d) / 3, in the last row (2a + b) / 3, in the corner a;
    // level 2, 1 x 1, is the corner of level 1.
    EXPECT_EQ((std::vector<int>{level1[0], level1[4], level1[8], level1[12], level1[3], level2[0]}),
              (std::vector<int>{36, 51, 88, 105, 255, 36}));
    // The bump texture of a flat picture faces straight up.
    LOADBUMPTEXTURE(DQStr(WriteBitmap(Path("f.bmp"), {.width = 8, .height = 8, .pixel = Solid(0x800000)}).data()), 1);
    SPRITE(1, 0, 0);
    EXPECT_EQ(ReadPixel(3, 3), 127u | (127u << 8) | (255u << 16));
}

// The background: tiles with transparent edges, drawn first in every frame over the
// whole screen (even when the frame before narrowed the viewport) until BLACKSCREEN;
// USEASBMP takes the screen as background, BLENDSCREEN fades to a new one.
TEST_F(BitmapTest, Backgrounds) {
    LOADBMP(DQStr(WriteBitmap(Path("back.bmp"), {.width = 150, .height = 100,
        .pixel = [](int c, int r) { return (c == 149 && r == 99) ? kGreen : kRed; }}).c_str()));
    // The tiles' uncovered parts are drawn black.
    EXPECT_EQ(Pixels({{0, 0}, {149, 99}, {150, 50}, {50, 100}, {190, 127}}), (Colours{kRed, kGreen, 0, 0, 0}));
    VIEWPORT(100, 100, 50, 50);
    SHOWSCREEN();
    EXPECT_EQ(Pixels({{10, 10}, {149, 99}}), (Colours{kRed, kGreen}));
    BLACKSCREEN();
    EXPECT_EQ(ReadPixel(10, 10), 0u);
    SHOWSCREEN();
    EXPECT_EQ(ReadPixel(10, 10), 0u);
    FILLRECT(0, 0, 640, 480, kBlue);
    FILLRECT(600, 440, 640, 480, kRed);
    USEASBMP();
    SHOWSCREEN();
    EXPECT_EQ(Pixels({{10, 10}, {639, 479}, {300, 400}}), (Colours{kBlue, kRed, kBlue}));
    FILLRECT(0, 0, 640, 480, kRed);
    pPrsm->SetNoWait(true);
    const long long before = __g_frame;
    BLENDSCREEN(DQStr(WriteBitmap(Path("next.bmp"), {.width = 64, .height = 64, .pixel = Solid(kGreen)}).c_str()));
    EXPECT_EQ(__g_frame, before);  // the fade presents frames of its own, not SHOWSCREENs
    EXPECT_EQ(Pixels({{10, 10}, {100, 10}}), (Colours{kGreen, 0}));
    EXPECT_FLOAT_EQ(pPrsm->CurrentAlpha(), 1.0f);
}

TEST_F(BitmapTest, BackgroundBeyondTheTileGridEndsWithCodeThree) {
    const std::string bytes = BitmapBytes({.width = 4100, .height = 2, .pixel = Solid(kRed)});
    const std::string p = WriteText(Path("wide.bmp"), bytes);
    EXPECT_FALSE(pPrsm->LoadSurface(2, std::vector<uint8_t>(bytes.begin(), bytes.end())));
    EXPECT_EXIT(LOADBMP(DQStr(p.c_str())), testing::ExitedWithCode(3), "runtime error 3");
    LOADBMP(DQStr(Path("missing.bmp").c_str()));  // found nowhere: nothing happens
}

TEST_F(BitmapTest, SaveBmpWritesTheBackBuffer) {
    FILLRECT(0, 0, 10, 10, kRed);
    FILLRECT(630, 470, 640, 480, kGreen);
    SAVEBMP(DQStr(Path("shot.bmp").c_str()));
    __BMPImage img;
    ASSERT_TRUE(ReadBitmap(Path("shot.bmp"), img));
    EXPECT_EQ(std::tuple(img.Width(), img.Height(), img.Bits()), std::tuple(DQ_RESX, DQ_RESY, 24));
    EXPECT_EQ((Colours{img.Colour(0, 0), img.Colour(639, 479), img.Colour(320, 240)}), (Colours{kRed, kGreen, 0}));
    EXPECT_EQ(pPrsm->SaveBMPFile("/nonexistent-folder/x.bmp"), 0);
}

}  // namespace
