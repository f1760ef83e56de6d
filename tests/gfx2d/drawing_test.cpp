#include <cmath>

#include "gfx2d/text.h"
#include "support/gfx_fixture.h"

namespace {

constexpr uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kWhite = 0xFFFFFF, kKey = 0x8000FF;

using SpriteTest = GfxTest;

// A sprite covers its image at its own size whatever its texture's (a power of two);
// key pixels are transparent. A file found nowhere leaves the slot as it was, one
// found but unreadable empties it.
TEST_F(SpriteTest, LoadedSpritesCoverTheirImage) {
    Load(0, {.width = 32, .height = 16,
             .pixel = [](int c, int r) { return (c == 5 && r == 3) ? kKey : (c == 6 && r == 3) ? 0x7F00FFu : kRed; }});
    SPRITE(0, 10, 20);
    EXPECT_EQ(Covered(), (Box{10, 20, 41, 35}));
    EXPECT_EQ(Pixels({{15, 23}, {16, 23}}), (Colours{0, 0x7F00FF}));  // (255, 0, 128) transparent, (255, 0, 127) not
    Clear();
    SolidSprite(3, 100, 30, kGreen);
    EXPECT_EQ((std::pair<int, int>(pPrsm->Sprite(3)->texWidth, pPrsm->Sprite(3)->texHeight)), std::pair(128, 32));
    SPRITE(3, 0, 0);
    EXPECT_EQ(Covered(), (Box{0, 0, 99, 29}));
    LOADSPRITE(DQStr(Path("nowhere.bmp").c_str()), 3);
    EXPECT_EQ(pPrsm->Sprite(3)->width, 100);
    LOADSPRITE(DQStr(WriteText(Path("broken.bmp"), "BM\1\2\3").c_str()), 3);
    Clear();
    SPRITE(3, 0, 0);
    EXPECT_EQ(Covered(), kNothing);
}

// Zoom keeps the centre and mirrors nothing; a negative stretch draws nothing.
TEST_F(SpriteTest, ZoomStretchAndRotation) {
    SolidSprite(0, 32, 16, kRed);
    ZOOMSPRITE(0, 18, 28, 2, 2);
    EXPECT_EQ(Covered(), (Box{18 - 16, 28 - 8, 18 + 32 + 16 - 1, 28 + 16 + 8 - 1}));
    Clear();
    Load(1, {.width = 32, .height = 16, .pixel = [](int c, int) { return c < 16 ? kRed : kBlue; }});
    ZOOMSPRITE(1, 50, 50, -2, 2);
    EXPECT_EQ(Pixels({{50 - 16 + 2, 50}, {50 + 32 + 16 - 3, 50}}), (Colours{kRed, kBlue}));  // left stays left
    Clear();
    STRETCHSPRITE(0, 10, 20, -32, 16);
    STRETCHSPRITE(0, 60, 20, 32, -16);
    EXPECT_EQ(Covered(), kNothing);
    STRETCHSPRITE(0, 10, 20, 64, 8);
    EXPECT_EQ(Covered(), (Box{10, 20, 73, 27}));
    // Rotation is counter-clockwise on the screen; angles are taken modulo 360, and
    // an angle that is no number leaves the sprite unrotated.
    Load(2, {.width = 32, .height = 32, .pixel = [](int c, int r) { return (c < 16 && r < 16) ? kRed : kBlue; }});
    Clear();
    ROTOSPRITE(2, 50, 50, 90);
    EXPECT_EQ(Pixels({{54, 78}, {54, 54}}), (Colours{kRed, kBlue}));  // the red corner moves to the bottom left
    auto drawn = [&](double angle) {
        Clear();
        ROTOZOOMSPRITE(2, 50, 50, angle, 1);
        std::vector<uint32_t> px;
        for (int y = 44; y < 88; y += 3)
            for (int x = 44; x < 88; x += 3) px.push_back(ReadPixel(x, y));
        return px;
    };
    EXPECT_EQ(drawn(-90), drawn(270));
    EXPECT_EQ(drawn(-1e20), drawn(80));  // 1e20 = 280 (mod 360)
    EXPECT_EQ(drawn(1e20), drawn(280));
    EXPECT_EQ(drawn(NAN), drawn(0));
    EXPECT_EQ(drawn(-INFINITY), drawn(0));
    drawn(270);
    EXPECT_EQ(ReadPixel(50 + 28, 50 + 4), kRed);  // 270: red corner at the top right
    Clear();
    ROTOZOOMSPRITE(2, 50, 50, 0, 0);  // zoom 0: full size
    EXPECT_EQ(Covered(), (Box{50, 50, 81, 81}));
}

TEST_F(SpriteTest, AdditiveAndMultiplicativeAlpha) {
    SolidSprite(0, 16, 16, 0x404040);
    SolidSprite(1, 16, 16, kWhite);
    auto blended = [&](double mode, int sprite) {  // red of the sprite drawn on grey 128
        ALPHAMODE(0);
        FILLRECT(0, 0, 40, 40, 0x808080);
        ALPHAMODE(mode);
        SPRITE(sprite, 0, 0);
        return static_cast<int>(ReadPixel(5, 5) & 0xFF);
    };
    EXPECT_NEAR(blended(0.5, 0), 0x80 + 0x20, 2);
    EXPECT_NEAR(blended(5, 0), 0x80 + 0x40, 2);    // as 1
    EXPECT_NEAR(blended(-0.5, 1), 128 + 64, 2);    // 0.5 x sprite + screen x 0.5 x sprite
    EXPECT_NEAR(blended(-5, 0), 0x40 + 0x20, 2);   // as -1
}

// Sprites at their own size take a faster, batched path; it must give the very pixels
// of the general one (a rotation by 0 degrees draws the same quad through the fixed
// pipeline with linear filtering), for many sprites in one frame and for glyphs.
TEST_F(SpriteTest, TheFastPathDrawsLikeTheGeneralOne) {
    Load(8, {.width = 48, .height = 30, .pixel = [](int c, int r) {
                 return (c + r) % 11 == 0 ? kKey : static_cast<uint32_t>(c * 5 | r * 8 << 8 | (c * r) % 256 << 16);
             }});
    auto grab = [&]() {
        pPrsm->Flush();
        std::vector<uint8_t> px(64 * 40 * 4);
        glReadPixels(20, DQ_RESY - 60, 64, 40, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        Clear();
        return px;
    };
    SPRITE(8, 24, 24);
    std::vector<uint8_t> fast = grab();
    ROTOSPRITE(8, 24, 24, 0);
    EXPECT_EQ(fast, grab());
    SolidSprite(0, 4, 4, kRed);
    SolidSprite(1, 4, 4, kGreen);
    for (int i = 0; i < 40; ++i) SPRITE(i % 3 == 0 ? 1 : 0, i * 4, (i % 5) * 6);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(ReadPixel(i * 4 + 1, (i % 5) * 6 + 1), i % 3 == 0 ? kGreen : kRed) << i;
    Clear();
    SETFONT(0);
    PRINT(DQStr("Ag"), 24, 24);  // the built-in font, loaded at start
    EXPECT_NE(Covered(), kNothing);
}

TEST_F(SpriteTest, CollisionsCountTouchingEdgesButNotTransparentPixels) {
    struct Box8 { double x1, y1, w1, h1, x2, y2, w2, h2, hit; } boxes[] = {
        {0, 0, 10, 10, 10, 10, 5, 5, 1}, {0, 0, 10, 10, 10.5, 0, 5, 5, 0}, {10, 10, -10, -10, 0, 0, 1, 1, 1}};
    for (const Box8& b : boxes) {
        double r = -1;
        BOXCOLL(r, b.x1, b.y1, b.w1, b.h1, b.x2, b.y2, b.w2, b.h2);
        EXPECT_EQ(r, b.hit) << b.x2;
    }
    auto halfKey = [](int c, int) { return c < 8 ? kRed : kKey; };  // right half transparent
    Load(5, {.width = 16, .height = 16, .pixel = halfKey});
    Load(6, {.width = 16, .height = 16, .pixel = halfKey});
    // 6 at x 8 puts its opaque left half under 5's transparent right half; at 16 the
    // rectangles only touch; 4000 is an empty slot, 99999 outside the table.
    for (auto [nr, x, y, hit] : {std::tuple{6, 8, 0, 0.0}, {6, 4, 0, 1}, {6, 16, 0, 0}, {6, 0, 15, 1}, {4000, 0, 0, 0},
                                 {99999, 0, 0, 0}})
        EXPECT_EQ(SPRCOLL(5, 0, 0, nr, x, y), hit) << nr << " " << x << " " << y;
}

// Numbers outside the table are refused before they are narrowed (65541 would fold
// onto sprite 5); empty slots (never loaded; failed to load) draw nothing either.
TEST_F(SpriteTest, NumbersOutsideTheTableAndEmptySlotsDrawNothing) {
    auto drawAll = [](double nr) {
        SPRITE(nr, 10, 10);
        STRETCHSPRITE(nr, 10, 10, 40, 40);
        ZOOMSPRITE(nr, 10, 10, 2, 2);
        ROTOSPRITE(nr, 10, 10, 30);
        ROTOZOOMSPRITE(nr, 10, 10, 30, 2);
    };
    for (int nr : {-1, 4095, 5}) SolidSprite(nr, 8, 8, kRed);
    for (double nr : {65536.0 + 5, -65536.0 + 5, -1.0, -7.0, 4095.0, 70000.0, 5000.0, 1e9}) {
        drawAll(nr);
        GRABSPRITE(nr, 0, 0, 10, 10);
    }
    EXPECT_EQ(pPrsm->Sprite(5)->width, 8);
    EXPECT_EQ(Covered(), kNothing);
    LOADSPRITE(DQStr(WriteText(Path("broken.bmp"), "BM\1\2\3").c_str()), 4001);
    FILLRECT(0, 0, 100, 100, kWhite);
    drawAll(4000);
    drawAll(4001);
    for (int y = 0; y < 100; y += 7)
        for (int x = 0; x < 100; x += 7) ASSERT_EQ(ReadPixel(x, y), kWhite) << x << ", " << y;
}

TEST_F(SpriteTest, GrabSpriteRoundTrip) {
    FILLRECT(0, 0, 5, 10, kRed);
    FILLRECT(5, 0, 10, 10, kGreen);
    GRABSPRITE(7, 0, 0, 10, 10);
    Clear();
    SPRITE(7, 100, 100);
    EXPECT_EQ(Covered(), (Box{100, 100, 109, 109}));
    EXPECT_EQ(Pixels({{101, 101}, {108, 108}}), (Colours{kRed, kGreen}));
    // Grabbed pixels are opaque, also where the screen's alpha is 0 (a key-coloured
    // rectangle leaves alpha 0 behind wherever the screen keeps alpha).
    Clear();
    FILLRECT(0, 0, 10, 10, kKey);
    GRABSPRITE(8, 0, 0, 10, 10);
    Clear();
    SPRITE(8, 100, 100);
    EXPECT_EQ(ReadPixel(105, 105), kKey);
    SolidSprite(9, 4, 4, kRed);
    EXPECT_EQ(SPRCOLL(9, 0, 0, 8, 2, 2), 1);
    EXPECT_EQ(SPRCOLL(8, 0, 0, 9, 2, 2), 1);
}

class TextTest : public GfxTest {
protected:
    // A 256 x 64 font (16 x 8 cells of 16 x 8): every cell filled with a colour of its
    // own (Glyph), except a one-pixel black (transparent) frame at its left and top.
    void MakeFont(int nr) {
        LOADFONT(DQStr(WriteBitmap(Path("font.bmp"), {.width = 256, .height = 64, .pixel = [](int x, int y) {
            return x % 16 == 0 || y % 8 == 0 ? 0u : Glyph((y / 8) * 16 + x / 16);
        }}).c_str()), nr);
    }
    static uint32_t Glyph(int code) { return static_cast<uint32_t>(code + 1) | 0x00FF00; }
};

TEST_F(TextTest, PrintLaysOutFixedCellsOfTheSelectedFont) {
    MakeFont(3);
    EXPECT_EQ(__nCurFont, 3);
    double w = 0, h = 0;
    GETFONTSIZE(w, h);
    EXPECT_EQ(std::pair(w, h), std::pair(16.0, 8.0));
    PRINT(DQStr("AB"), 10, 20);
    EXPECT_EQ(Pixels({{11, 21}, {25, 27}, {10, 21}, {27, 21}, {42, 21}, {20, 28}}),
              (Colours{Glyph('A'), Glyph('A'), 0, Glyph('B'), 0, 0}));
    // High bytes draw nothing but advance; control codes draw their own cells; numbers
    // print as their text.
    auto cells = [&](auto text) {
        Clear();
        PRINT(text, 0, 0);
        return Pixels({{5, 4}, {21, 4}, {37, 4}});
    };
    EXPECT_EQ(cells(DQStr("A\xC8" "B")), (Colours{Glyph('A'), 0, Glyph('B')}));
    EXPECT_EQ(cells(DQStr("\n")), (Colours{Glyph('\n'), 0, 0}));
    EXPECT_EQ(cells(2.5), (Colours{Glyph('2'), Glyph('.'), Glyph('5')}));
    EXPECT_EQ(cells(3), (Colours{Glyph('3'), 0, 0}));
    // Font numbers are clamped to 0 ... 15 (slots 4079 ... 4094); font 0 is built in.
    SETFONT(20);
    EXPECT_EQ(__nCurFont, 15);
    SETFONT(-3);
    EXPECT_EQ(__nCurFont, 0);
    GETFONTSIZE(w, h);
    EXPECT_GE(w, 6);
    EXPECT_GE(h, 8);
    MakeFont(99);
    EXPECT_EQ(__nCurFont, 15);
    EXPECT_EQ(pPrsm->Sprite(4079 + 15)->width, 256);
    LOADFONT(DQStr(Path("missing.bmp").c_str()), 4);  // selected, nothing loaded
    EXPECT_EQ(__nCurFont, 4);
    SETFONT(0);
    WriteText(Path("bad-font.bmp"), std::string("BM\0\0", 4));
    EXPECT_EXIT(LOADFONT(DQStr(Path("bad-font.bmp").c_str()), 2), testing::ExitedWithCode(3), "runtime error 3");
}

using PrimitiveTest = GfxTest;

// Rectangles in either corner order, lines with both ends, pixels (the key colour too:
// alpha 0, still shown without blending); primitives leave the sprite state alone.
TEST_F(PrimitiveTest, RectsLinesPixelsAndPolygons) {
    auto covered = [&](auto draw) {
        Clear();
        draw();
        return Covered();
    };
    EXPECT_EQ(covered([] { FILLRECT(10, 10, 0, 0, kRed); }), (Box{0, 0, 9, 9}));
    EXPECT_EQ(covered([] { FILLRECT(0, 0, 10, 10, kRed); }), (Box{0, 0, 9, 9}));
    EXPECT_EQ(covered([] { DRAWLINE(0, 0, 5, 0, kGreen); }), (Box{0, 0, 5, 0}));
    EXPECT_EQ(covered([] { DRAWLINE(20, 30, 20, 10, kGreen); }), (Box{20, 10, 20, 30}));
    EXPECT_EQ(covered([] { SETPIXEL(7, 9, kBlue); }), (Box{7, 9, 7, 9}));
    SETPIXEL(3, 3, 8388863);
    EXPECT_EQ(Pixels({{7, 9}, {3, 3}}), (Colours{kBlue, 0x8000FF}));
    SolidSprite(0, 8, 8, kWhite);
    SPRITE(0, 100, 0);
    FILLRECT(120, 0, 130, 8, kRed);
    SPRITE(0, 140, 0);
    EXPECT_EQ(Pixels({{102, 2}, {125, 2}, {142, 2}}), (Colours{kWhite, kRed, kWhite}));
    // Polygons are fans; two points draw nothing.
    Clear();
    STARTPOLY(-1);
    POLYVECTOR(10, 10, 0, 0, kRed);
    POLYVECTOR(10, 50, 0, 0, kRed);
    ENDPOLY();
    EXPECT_EQ(Covered(), kNothing);
    POLYVECTOR(50, 50, 0, 0, kRed);
    POLYVECTOR(50, 10, 0, 0, kRed);
    ENDPOLY();
    EXPECT_EQ(Pixels({{20, 40}, {40, 20}, {60, 20}}), (Colours{kRed, kRed, 0}));
    // Vertex colours are interpolated.
    Clear();
    STARTPOLY(-1);
    for (auto [x, y, c] : {std::tuple{0, 0, 0u}, {0, 100, 0u}, {100, 100, kRed}, {100, 0, kRed}})
        POLYVECTOR(x, y, 0, 0, c);
    ENDPOLY();
    int left = ReadPixel(10, 50) & 0xFF, middle = ReadPixel(50, 50) & 0xFF, right = ReadPixel(90, 50) & 0xFF;
    EXPECT_LT(left, middle);
    EXPECT_LT(middle, right);
    EXPECT_NEAR(middle, 128, 8);
    // Drawn again additively, the same polygon doubles.
    Clear();
    STARTPOLY(-1);
    for (auto [x, y] : {std::pair{0, 0}, {0, 20}, {20, 20}, {20, 0}}) POLYVECTOR(x, y, 0, 0, 0x404040);
    ALPHAMODE(1);
    ENDPOLY();
    ENDPOLY();
    EXPECT_NEAR(static_cast<int>(ReadPixel(10, 10) & 0xFF), 0x80, 2);
    // Texture fractions count from the picture's top.
    ALPHAMODE(0);
    Load(3, {.width = 16, .height = 16, .pixel = [](int, int r) { return r < 8 ? kRed : kBlue; }});
    STARTPOLY(3);
    for (auto [x, y] : {std::pair{0, 0}, {0, 1}, {1, 1}, {1, 0}}) POLYVECTOR(x * 64, y * 64, x, y, kWhite);
    ENDPOLY();
    EXPECT_EQ(Pixels({{30, 5}, {30, 58}}), (Colours{kRed, kBlue}));
}

}  // namespace
