#include <GL/gl.h>

#include <cmath>
#include <tuple>

#include "core/dqstr.h"
#include "gfx2d/text.h"
#include "support/gfx_fixture.h"

namespace {

constexpr uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kWhite = 0xFFFFFF, kKey = 0x8000FF;

using SpriteTest = GfxTest;

TEST_F(SpriteTest, SpriteCoversItsImageAndKeyPixelsAreTransparent) {
    TestBitmap b;
    b.width = 32;
    b.height = 16;
    b.pixel = [](int c, int r) { return (c == 5 && r == 3) ? kKey : (c == 6 && r == 3) ? 0x7F00FFu : kRed; };
    LOADSPRITE(DQStr(WriteBitmap(Path("s.bmp"), b).c_str()), 0);
    SPRITE(0, 10, 20);
    Box box = Covered();
    EXPECT_EQ(std::tuple(box.x0, box.x1, box.y0, box.y1), std::tuple(10, 41, 20, 35));
    EXPECT_EQ(ReadPixel(10 + 5, 20 + 3), 0u);          // (255, 0, 128): transparent
    EXPECT_EQ(ReadPixel(10 + 6, 20 + 3), 0x7F00FFu);   // (255, 0, 127): opaque
    EXPECT_EQ(ReadPixel(10, 20), kRed);
}

TEST_F(SpriteTest, TextureSizeIsAPowerOfTwoAndTheImageSizeIsKept) {
    SolidSprite(3, 100, 30, kGreen);
    const __SpriteSlot* s = pPrsm->Sprite(3);
    EXPECT_EQ(s->texWidth, 128);
    EXPECT_EQ(s->texHeight, 32);
    int w = 0, h = 0;
    pPrsm->GetSpriteSize(3, w, h);
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 30);
}

TEST_F(SpriteTest, ReloadingReplacesAndMissingFilesKeepTheSlot) {
    SolidSprite(4, 8, 8, kRed);
    LOADSPRITE(DQStr(Path("nowhere.bmp").c_str()), 4);  // found nowhere: slot unchanged
    EXPECT_EQ(pPrsm->Sprite(4)->width, 8);
    WriteBytes(Path("broken.bmp"), {'B', 'M', 1, 2, 3});
    LOADSPRITE(DQStr(Path("broken.bmp").c_str()), 4);  // found but unreadable: slot empty
    EXPECT_EQ(pPrsm->Sprite(4)->texWidth, -1);
    SPRITE(4, 0, 0);
    EXPECT_TRUE(Covered().empty());
}

TEST_F(SpriteTest, ZoomKeepsTheCentreNothingMirrors) {
    SolidSprite(0, 32, 16, kRed);
    ZOOMSPRITE(0, 10 + 8, 20 + 8, 2, 2);  // moved inside the read-back area
    Box box = Covered();
    EXPECT_EQ(std::tuple(box.x0, box.x1, box.y0, box.y1), std::tuple(18 - 16, 18 + 32 + 16 - 1, 28 - 8, 28 + 16 + 8 - 1));
    Clear();
    TestBitmap b;
    b.width = 32;
    b.height = 16;
    b.pixel = [](int c, int) { return c < 16 ? kRed : kBlue; };
    LOADSPRITE(DQStr(WriteBitmap(Path("two.bmp"), b).c_str()), 1);
    ZOOMSPRITE(1, 50, 50, -2, 2);
    EXPECT_EQ(ReadPixel(50 - 16 + 2, 50), kRed);  // left half stays on the left
    EXPECT_EQ(ReadPixel(50 + 32 + 16 - 3, 50), kBlue);
    // A negative stretch draws nothing.
    Clear();
    SolidSprite(0, 32, 16, kRed);
    STRETCHSPRITE(0, 10, 20, -32, 16);
    STRETCHSPRITE(0, 60, 20, 32, -16);
    EXPECT_TRUE(Covered().empty());
    STRETCHSPRITE(0, 10, 20, 64, 8);
    box = Covered();
    EXPECT_EQ(box.x1 - box.x0 + 1, 64);
    EXPECT_EQ(box.y1 - box.y0 + 1, 8);
}

TEST_F(SpriteTest, RotationIsCounterClockwiseOnTheScreen) {
    TestBitmap b;
    b.width = b.height = 32;
    b.pixel = [](int c, int r) { return (c < 16 && r < 16) ? kRed : kBlue; };
    LOADSPRITE(DQStr(WriteBitmap(Path("q.bmp"), b).c_str()), 2);
    ROTOSPRITE(2, 50, 50, 90);
    // Turned a quarter counter-clockwise: the red corner moves to the bottom left.
    EXPECT_EQ(ReadPixel(50 + 4, 50 + 28), kRed);
    EXPECT_EQ(ReadPixel(50 + 4, 50 + 4), kBlue);
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
    EXPECT_EQ(drawn(NAN), drawn(0));     // no angle at all: unrotated
    EXPECT_EQ(drawn(-INFINITY), drawn(0));
    drawn(270);
    EXPECT_EQ(ReadPixel(50 + 28, 50 + 4), kRed);  // 270: red corner at the top right
    Clear();
    ROTOZOOMSPRITE(2, 50, 50, 0, 0);  // zoom 0: full size
    Box box = Covered();
    EXPECT_EQ(box.x0, 50);
    EXPECT_EQ(box.x1, 81);
}

TEST_F(SpriteTest, AdditiveAndMultiplicativeAlpha) {
    SolidSprite(0, 16, 16, 0x404040);
    FILLRECT(0, 0, 40, 40, 0x808080);
    ALPHAMODE(0.5);
    SPRITE(0, 0, 0);
    EXPECT_NEAR(static_cast<int>(ReadPixel(5, 5) & 0xFF), 0x80 + 0x20, 2);
    ALPHAMODE(5);  // as 1
    EXPECT_FLOAT_EQ(pPrsm->CurrentAlpha(), 1.0f);
    SPRITE(0, 20, 20);
    EXPECT_NEAR(static_cast<int>(ReadPixel(25, 25) & 0xFF), 0x80 + 0x40, 2);
    ALPHAMODE(0);
    Clear();
    SolidSprite(1, 16, 16, kWhite);
    FILLRECT(0, 0, 40, 40, 0x808080);
    ALPHAMODE(-0.5);  // 0.5 x sprite + screen x 0.5 x sprite
    SPRITE(1, 0, 0);
    EXPECT_NEAR(static_cast<int>(ReadPixel(5, 5) & 0xFF), 128 + 64, 2);
    ALPHAMODE(-5);
    EXPECT_FLOAT_EQ(pPrsm->CurrentAlpha(), 1.0f);
    SHOWSCREEN();  // resets blending
    EXPECT_FLOAT_EQ(pPrsm->CurrentAlpha(), 1.0f);
    SPRITE(1, 0, 0);
    EXPECT_EQ(ReadPixel(5, 5), kWhite);
}

TEST_F(SpriteTest, ManySpritesInOneFrameDrawLikeSingleOnes) {
    SolidSprite(0, 4, 4, kRed);
    SolidSprite(1, 4, 4, kGreen);
    for (int i = 0; i < 40; ++i) SPRITE(i % 3 == 0 ? 1 : 0, i * 4, (i % 5) * 6);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(ReadPixel(i * 4 + 1, (i % 5) * 6 + 1), i % 3 == 0 ? kGreen : kRed) << i;
}

// Sprites at their own size take a faster path; it must give the very pixels of the
// general one (a rotation by 0 degrees draws the same quad through the fixed pipeline
// with linear filtering).
TEST_F(SpriteTest, UnscaledSpritesDrawTheSamePixelsAsTheGeneralPath) {
    TestBitmap b;
    b.width = 48;
    b.height = 30;
    b.pixel = [](int c, int r) {
        if ((c + r) % 11 == 0) return kKey;
        return static_cast<uint32_t>((c * 5) | ((r * 8) << 8) | (((c * r) % 256) << 16));
    };
    LOADSPRITE(DQStr(WriteBitmap(Path("grad.bmp"), b).c_str()), 8);
    auto grab = [&]() {
        pPrsm->Flush();
        std::vector<uint8_t> px(64 * 40 * 4);
        glReadPixels(20, DQ_RESY - 60, 64, 40, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        return px;
    };
    SPRITE(8, 24, 24);
    std::vector<uint8_t> fast = grab();
    Clear();
    ROTOSPRITE(8, 24, 24, 0);
    std::vector<uint8_t> general = grab();
    EXPECT_EQ(fast, general);
    Clear();
    PRINT(DQStr("Ag"), 24, 24);  // glyphs take the fast path as well
    EXPECT_FALSE(Covered().empty());
}

TEST_F(SpriteTest, CollisionsCountTouchingEdgesButNotTransparentPixels) {
    double r = -1;
    BOXCOLL(r, 0, 0, 10, 10, 10, 10, 5, 5);
    EXPECT_EQ(r, 1);
    BOXCOLL(r, 0, 0, 10, 10, 10.5, 0, 5, 5);
    EXPECT_EQ(r, 0);
    BOXCOLL(r, 10, 10, -10, -10, 0, 0, 1, 1);
    EXPECT_EQ(r, 1);
    // Pixel collision ignores transparent overlap.
    TestBitmap b;
    b.width = b.height = 16;
    b.pixel = [](int c, int) { return c < 8 ? kRed : kKey; };  // right half transparent
    LOADSPRITE(DQStr(WriteBitmap(Path("half.bmp"), b).c_str()), 5);
    LOADSPRITE(DQStr(WriteBitmap(Path("half2.bmp"), b).c_str()), 6);
    // 6 at x 8 puts its opaque left half under 5's transparent right half.
    EXPECT_EQ(SPRCOLL(5, 0, 0, 6, 8, 0), 0);
    EXPECT_EQ(SPRCOLL(5, 0, 0, 6, 4, 0), 1);
    EXPECT_EQ(SPRCOLL(5, 0, 0, 6, 16, 0), 0);  // rectangles only touch
    EXPECT_EQ(SPRCOLL(5, 0, 0, 6, 0, 15), 1);
    EXPECT_EQ(SPRCOLL(5, 0, 0, 4000, 0, 0), 0);  // empty slot
    EXPECT_EQ(SPRCOLL(5, 0, 0, 99999, 0, 0), 0); // outside the table
}

TEST_F(SpriteTest, NumbersOutsideTheTableAndEmptySlotsDrawNothing) {
    SolidSprite(-1, 8, 8, kRed);
    SolidSprite(4095, 8, 8, kRed);
    SolidSprite(5, 8, 8, kRed);
    SPRITE(65536 + 5, 0, 0);  // would fold onto sprite 5 if narrowed first
    SPRITE(-65536 + 5, 0, 0);
    GRABSPRITE(65536 + 5, 0, 0, 10, 10);
    EXPECT_EQ(pPrsm->Sprite(5)->width, 8);
    SPRITE(-1, 0, 0);
    SPRITE(70000, 0, 0);
    STRETCHSPRITE(5000, 0, 0, 10, 10);
    ROTOSPRITE(-7, 0, 0, 10);
    ROTOZOOMSPRITE(4095, 0, 0, 10, 2);
    ZOOMSPRITE(1e9, 0, 0, 2, 2);
    GRABSPRITE(4095, 0, 0, 10, 10);
    EXPECT_TRUE(Covered().empty());
    // Empty slots (never loaded; failed to load) draw nothing either.
    WriteBytes(Path("broken.bmp"), {'B', 'M', 1, 2, 3});
    LOADSPRITE(DQStr(Path("broken.bmp").c_str()), 4001);
    FILLRECT(0, 0, 100, 100, kWhite);
    for (int nr : {4000, 4001}) {
        STRETCHSPRITE(nr, 10, 10, 40, 40);
        ZOOMSPRITE(nr, 10, 10, 2, 2);
        ROTOZOOMSPRITE(nr, 10, 10, 30, 2);
        ROTOSPRITE(nr, 10, 10, 30);
        SPRITE(nr, 10, 10);
    }
    for (int y = 0; y < 100; y += 7)
        for (int x = 0; x < 100; x += 7) ASSERT_EQ(ReadPixel(x, y), kWhite) << x << ", " << y;
}

TEST_F(SpriteTest, GrabSpriteRoundTrip) {
    FILLRECT(0, 0, 5, 10, kRed);
    FILLRECT(5, 0, 10, 10, kGreen);
    GRABSPRITE(7, 0, 0, 10, 10);
    const __SpriteSlot* s = pPrsm->Sprite(7);
    EXPECT_EQ(s->texWidth, 32);
    EXPECT_EQ(s->texHeight, 32);
    EXPECT_EQ(s->width, 10);
    Clear();
    SPRITE(7, 100, 100);
    EXPECT_EQ(ReadPixel(101, 101), kRed);
    EXPECT_EQ(ReadPixel(108, 108), kGreen);
    EXPECT_EQ(ReadPixel(110, 101), 0u);
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

}  // namespace
