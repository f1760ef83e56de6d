#include <GL/gl.h>

#include <tuple>

#include "core/dqstr.h"
#include "core/program.h"
#include "gfx2d/text.h"
#include "support/gfx_fixture.h"

namespace {

constexpr uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kWhite = 0xFFFFFF;

class TextTest : public GfxTest {
protected:
    // A 256 x 64 font (16 x 8 cells): every cell filled with a colour of its own (code c: red = c),
    // except a one-pixel black (transparent) frame at its left and top.
    void MakeFont(int nr) {
        TestBitmap b;
        b.width = 256;
        b.height = 64;
        b.pixel = [](int x, int y) -> uint32_t {
            int code = (y / 8) * 16 + x / 16;
            if (x % 16 == 0 || y % 8 == 0) return 0;
            return static_cast<uint32_t>(code + 1) | 0x00FF00;
        };
        LOADFONT(DQStr(WriteBitmap(Path("font.bmp"), b).c_str()), nr);
    }
};

TEST_F(TextTest, PrintLaysOutFixedCells) {
    MakeFont(3);
    EXPECT_EQ(__nCurFont, 3);
    double w = 0, h = 0;
    GETFONTSIZE(w, h);
    EXPECT_EQ(w, 16);
    EXPECT_EQ(h, 8);
    PRINT(DQStr("AB"), 10, 20);
    EXPECT_EQ(ReadPixel(11, 21), (65u + 1) | 0x00FF00);  // "A": column 1, row 4 of the grid
    EXPECT_EQ(ReadPixel(25, 27), (65u + 1) | 0x00FF00);
    EXPECT_EQ(ReadPixel(10, 21), 0u);                      // its transparent frame
    EXPECT_EQ(ReadPixel(27, 21), (66u + 1) | 0x00FF00);    // "B" from x 26
    EXPECT_EQ(ReadPixel(42, 21), 0u);
    EXPECT_EQ(ReadPixel(20, 28), 0u);
    // High bytes draw nothing but advance.
    Clear();
    PRINT(DQStr("A\xC8" "B"), 0, 0);
    EXPECT_EQ(ReadPixel(5, 4), (65u + 1) | 0x00FF00);
    EXPECT_EQ(ReadPixel(21, 4), 0u);
    EXPECT_EQ(ReadPixel(37, 4), (66u + 1) | 0x00FF00);
    Clear();
    PRINT(DQStr("\n"), 0, 0);  // control codes draw their own cells
    EXPECT_EQ(ReadPixel(5, 4), (10u + 1) | 0x00FF00);
    Clear();
    PRINT(2.5, 0, 0);  // "2", ".", "5"
    EXPECT_EQ(ReadPixel(5, 4), ('2' + 1u) | 0x00FF00);
    EXPECT_EQ(ReadPixel(21, 4), ('.' + 1u) | 0x00FF00);
    Clear();
    PRINT(3, 0, 0);
    EXPECT_EQ(ReadPixel(21, 4), 0u);  // no decimal point
}

TEST_F(TextTest, FontNumbersAreClamped) {
    SETFONT(20);
    EXPECT_EQ(__nCurFont, 15);
    SETFONT(-3);
    EXPECT_EQ(__nCurFont, 0);
    MakeFont(99);
    EXPECT_EQ(__nCurFont, 15);
    EXPECT_EQ(pPrsm->Sprite(4079 + 15)->width, 256);
    LOADFONT(DQStr(Path("missing.bmp").c_str()), 4);  // selected, nothing loaded
    EXPECT_EQ(__nCurFont, 4);
    SETFONT(0);
}

TEST_F(TextTest, BuiltInFontIsLoadedAtStart) {
    const __SpriteSlot* s = pPrsm->Sprite(4079);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->width % 16, 0);
    EXPECT_GE(s->width / 16, 6);
    EXPECT_GE(s->height / 8, 8);
    SETFONT(0);
    PRINT(DQStr("M"), 0, 0);
    EXPECT_FALSE(Covered().empty());
}

TEST_F(TextTest, UnloadableFontEndsWithCodeThree) {
    WriteBytes(Path("bad-font.bmp"), {'B', 'M', 0, 0});
    EXPECT_EXIT(LOADFONT(DQStr(Path("bad-font.bmp").c_str()), 2), testing::ExitedWithCode(3), "runtime error 3");
}

using PrimitiveTest = GfxTest;

TEST_F(PrimitiveTest, RectsInEitherCornerOrderAndLinesWithBothEnds) {
    FILLRECT(10, 10, 0, 0, kRed);
    Box a = Covered();
    Clear();
    FILLRECT(0, 0, 10, 10, kRed);
    Box b = Covered();
    EXPECT_EQ(a.x0, 0);
    EXPECT_EQ(a.x1, 9);
    EXPECT_EQ(a.y1, 9);
    EXPECT_EQ(std::tuple(b.x0, b.x1, b.y0, b.y1), std::tuple(a.x0, a.x1, a.y0, a.y1));
    EXPECT_EQ(ReadPixel(5, 5), kRed);
    // Lines include both ends.
    Clear();
    DRAWLINE(0, 0, 5, 0, kGreen);
    b = Covered();
    EXPECT_EQ(std::tuple(b.x0, b.x1, b.y0, b.y1), std::tuple(0, 5, 0, 0));
    Clear();
    DRAWLINE(20, 30, 20, 10, kGreen);
    b = Covered();
    EXPECT_EQ(b.y0, 10);
    EXPECT_EQ(b.y1, 30);
}

TEST_F(PrimitiveTest, PixelsAndTheKeyColour) {
    SETPIXEL(7, 9, kBlue);
    EXPECT_EQ(ReadPixel(7, 9), kBlue);
    EXPECT_EQ(ReadPixel(8, 9), 0u);
    SETPIXEL(3, 3, 8388863);  // the key colour: alpha 0, still shown without blending
    EXPECT_EQ(ReadPixel(3, 3), 0x8000FFu);
}

TEST_F(PrimitiveTest, PrimitivesLeaveTheSpriteStateAlone) {
    SolidSprite(0, 8, 8, kWhite);
    SPRITE(0, 0, 0);
    FILLRECT(20, 0, 30, 8, kRed);
    SPRITE(0, 40, 0);
    EXPECT_EQ(ReadPixel(2, 2), kWhite);
    EXPECT_EQ(ReadPixel(25, 2), kRed);
    EXPECT_EQ(ReadPixel(42, 2), kWhite);
}

TEST_F(PrimitiveTest, PolygonsAreFans) {
    STARTPOLY(-1);
    POLYVECTOR(10, 10, 0, 0, kRed);
    POLYVECTOR(10, 50, 0, 0, kRed);
    ENDPOLY();
    EXPECT_TRUE(Covered().empty());  // two points draw nothing
    POLYVECTOR(50, 50, 0, 0, kRed);
    POLYVECTOR(50, 10, 0, 0, kRed);
    ENDPOLY();
    EXPECT_EQ(ReadPixel(20, 40), kRed);
    EXPECT_EQ(ReadPixel(40, 20), kRed);
    EXPECT_EQ(ReadPixel(60, 20), 0u);
    // Vertex colours are interpolated.
    Clear();
    STARTPOLY(-1);
    POLYVECTOR(0, 0, 0, 0, 0x000000);
    POLYVECTOR(0, 100, 0, 0, 0x000000);
    POLYVECTOR(100, 100, 0, 0, 0x0000FF);
    POLYVECTOR(100, 0, 0, 0, 0x0000FF);
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
}

TEST_F(PrimitiveTest, TexturedPolygonUsesTextureFractionsFromTheTop) {
    TestBitmap b;
    b.width = b.height = 16;
    b.pixel = [](int, int r) { return r < 8 ? kRed : kBlue; };
    LOADSPRITE(DQStr(WriteBitmap(Path("tex.bmp"), b).c_str()), 3);
    STARTPOLY(3);
    POLYVECTOR(0, 0, 0, 0, kWhite);
    POLYVECTOR(0, 64, 0, 1, kWhite);
    POLYVECTOR(64, 64, 1, 1, kWhite);
    POLYVECTOR(64, 0, 1, 0, kWhite);
    ENDPOLY();
    EXPECT_EQ(ReadPixel(30, 5), kRed);
    EXPECT_EQ(ReadPixel(30, 58), kBlue);
}

}  // namespace
