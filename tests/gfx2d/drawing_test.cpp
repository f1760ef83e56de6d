#include <algorithm>
#include <chrono>
#include <cmath>

#include "gfx2d/text.h"
#include "support/gfx_fixture.h"

namespace {

constexpr uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kWhite = 0xFFFFFF, kKey = 0x8000FF;

// The colours of the top-left 200 x 200 pixels, row by row from the top.
std::vector<uint32_t> ReadColours() {
    pPrsm->Flush();
    std::vector<uint8_t> px(200 * 200 * 4);
    glReadPixels(0, DQ_RESY - 200, 200, 200, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    std::vector<uint32_t> out(200 * 200);
    for (int i = 0; i < 200 * 200; ++i)
        out[(199 - i / 200) * 200 + i % 200] = px[i * 4] | px[i * 4 + 1] << 8 | px[i * 4 + 2] << 16;
    return out;
}
// Which of them are not black; outside them none is.
struct Mask {
    std::vector<char> on;
    bool operator()(int x, int y) const { return x >= 0 && y >= 0 && x < 200 && y < 200 && on[y * 200 + x]; }
};
Mask ReadMask() {
    Mask m{std::vector<char>(200 * 200)};
    const std::vector<uint32_t> c = ReadColours();
    for (int i = 0; i < 200 * 200; ++i) m.on[i] = c[i] != 0;
    return m;
}
// The mask moved by (dx, dy), what falls outside cut off.
Mask Moved(const Mask& m, int dx, int dy) {
    Mask out{std::vector<char>(200 * 200)};
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) out.on[y * 200 + x] = m(x - dx, y - dy);
    return out;
}

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

// Angles are taken modulo 360, also far beyond a turn, and an angle that is no number
// leaves the sprite unrotated.
TEST_F(SpriteTest, AnglesBeyondATurnOrNoNumber) {
    Load(2, {.width = 32, .height = 32, .pixel = [](int c, int r) { return (c < 16 && r < 16) ? kRed : kBlue; }});
    auto drawn = [&](double angle) {
        Clear();
        ROTOZOOMSPRITE(2, 50, 50, angle, 1);
        std::vector<uint32_t> px;
        for (int y = 44; y < 88; y += 3)
            for (int x = 44; x < 88; x += 3) px.push_back(ReadPixel(x, y));
        return px;
    };
    EXPECT_EQ(drawn(-1e20), drawn(80));  // 1e20 = 280 (mod 360)
    EXPECT_EQ(drawn(1e20), drawn(280));
    EXPECT_EQ(drawn(NAN), drawn(0));
    EXPECT_EQ(drawn(-INFINITY), drawn(0));
    EXPECT_NE(drawn(90), drawn(0));
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

// A picture without transparent texels draws without the alpha test where the test
// could drop nothing; everywhere its pixels are those of the same picture with one
// transparent texel, which keeps the test: at its own size, and stretched and turned,
// where the texels beyond a picture that does not fill its texture blend into the
// edges and the test drops the faintest edge pixels. Sizes: 48 x 30 in a 64 x 32
// texture, and 32 x 16 filling its texture.
TEST_F(SpriteTest, OpaquePicturesDrawTheSamePixelsWithoutTheAlphaTest) {
    for (auto [w, h] : {std::pair{48, 30}, {32, 16}}) {
        auto shade = [](int c, int r) { return static_cast<uint32_t>((60 + c * 4) | (40 + r * 6) << 8 | 0xC00000); };
        Load(8, {.width = w, .height = h, .pixel = shade});
        Load(9, {.width = w, .height = h, .pixel = [&](int c, int r) {
                     return c == w / 2 && r == h / 2 ? kKey : shade(c, r);
                 }});
        auto drawn = [&](int nr) {
            SPRITE(nr, 10, 10);
            STRETCHSPRITE(nr, 70, 10, w * 5 / 2, h * 7 / 3);
            ROTOSPRITE(nr, 10, 100, 30);
            ZOOMSPRITE(nr, 80, 110, 1.5, 0.75);
            std::vector<uint32_t> c = ReadColours();
            Clear();
            return c;
        };
        const std::vector<uint32_t> opaque = drawn(8), keyed = drawn(9);
        int differ = 0;
        for (int i = 0; i < 200 * 200; ++i) differ += opaque[i] != keyed[i];
        // Only around the one transparent texel: at most a few pixels of each of the four.
        EXPECT_LT(differ, 4 * 40) << w;
        EXPECT_EQ(opaque[(10 + h - 1) * 200 + 10 + w - 1], shade(w - 1, h - 1)) << w;  // the last corner, drawn
        // The edges: the outermost pixels of the stretched quad are the same in both.
        for (int x = 70; x < 70 + w * 5 / 2; ++x) {
            EXPECT_EQ(opaque[10 * 200 + x], keyed[10 * 200 + x]) << w << " " << x;
            EXPECT_EQ(opaque[(10 + h * 7 / 3 - 1) * 200 + x], keyed[(10 + h * 7 / 3 - 1) * 200 + x]) << w << " " << x;
        }
    }
}

// A sprite at its own size draws the pixels of the same sprite stretched to its own
// size wherever it lies: on the screen, across its edges, across the edges of a
// viewport (which cut it) and of one partly beyond the screen, blended, and overlapping
// other sprites drawn before and after it. Sides odd and even, from one texel, in
// textures they fill or do not, with transparent texels.
TEST_F(SpriteTest, SpritesAtTheirOwnSizeDrawLikeStretchedOnesEverywhere) {
    SolidSprite(9, 12, 12, kGreen);
    for (int side : {1, 13, 64}) {
        Load(8, {.width = side, .height = side, .pixel = [](int c, int r) {
                     return (c * 3 + r) % 7 == 0 ? kKey : static_cast<uint32_t>((c * 9) | (r * 5) << 8 | 0x800000);
                 }});
        const int places[][2] = {{10, 20}, {-5, 30},         {40, -6}, {1 - side, 1 - side}, {4, 24}, {100 - side, 60},
                                 {90, 70}, {30, 100 - side}, {35, 95}};
        for (int viewport : {0, 1, 2})
            for (double alpha : {0.0, -0.5, 0.5}) {
                auto drawn = [&](bool stretched) {
                    Clear();
                    VIEWPORT(0, 0, 0, 0);
                    FILLRECT(0, 0, 200, 200, 0x806040);
                    if (viewport == 1) VIEWPORT(20, 30, 100, 100);
                    if (viewport == 2) VIEWPORT(-20, -10, 120, 120);
                    ALPHAMODE(alpha);
                    for (size_t i = 0; i < std::size(places); ++i) {
                        const int x = places[i][0], y = places[i][1];
                        if (stretched)
                            STRETCHSPRITE(8, x, y, side, side);
                        else
                            SPRITE(8, x, y);
                        if (i % 3 == 0) STRETCHSPRITE(9, x + side / 2, y + side / 2, 12, 12);
                    }
                    ALPHAMODE(0);
                    return ReadColours();
                };
                const std::vector<uint32_t> own = drawn(false), stretched = drawn(true);
                int differ = 0, shown = 0;
                for (size_t i = 0; i < own.size(); ++i) {
                    differ += own[i] != stretched[i];
                    shown += own[i] != 0x806040 && own[i] != 0;
                }
                EXPECT_EQ(differ, 0) << side << " viewport " << viewport << " alpha " << alpha;
                EXPECT_GT(shown, 0) << side;
            }
    }
    VIEWPORT(0, 0, 0, 0);
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

// The size of the picture a slot holds, loaded or grabbed; 0 x 0 where there is none,
// also for numbers that narrowing would fold into the table (65541 onto 5).
TEST_F(SpriteTest, SpriteSizeOfLoadedGrabbedEmptyAndBadSlots) {
    auto size = [](double nr) {
        double w = -1, h = -1;
        GETSPRITESIZE(nr, w, h);
        return std::pair(w, h);
    };
    Load(5, {.width = 37, .height = 11, .pixel = Solid(kRed)});
    EXPECT_EQ(size(5), std::pair(37.0, 11.0));
    EXPECT_EQ(size(5.9), std::pair(37.0, 11.0));
    GRABSPRITE(6, 0, 0, 20, 9);
    EXPECT_EQ(size(6), std::pair(20.0, 9.0));
    SolidSprite(5, 3, 200, kGreen);  // loading again replaces the size
    EXPECT_EQ(size(5), std::pair(3.0, 200.0));
    for (double nr : {4001.0, -1.0, 4095.0, 65536.0 + 5, -65536.0 + 5, 1e300, -1e300, double(NAN)})
        EXPECT_EQ(size(nr), std::pair(0.0, 0.0)) << nr;
    LOADSPRITE(DQStr(WriteText(Path("broken.bmp"), "BM\1\2\3").c_str()), 5);
    EXPECT_EQ(size(5), std::pair(0.0, 0.0));
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

// The font's white pixels come out exactly in the text colour, its black ones stay
// transparent (also for black text), other pixels are multiplied; the colour stays
// for later PRINTs of both forms and does not reach sprites drawn between them.
TEST_F(TextTest, TextColourTintsPrintedTextOnly) {
    SETFONT(0);  // the built-in font: white on black
    auto print = [&](double colour) {
        Clear();
        FILLRECT(0, 0, 200, 40, 0x404040);
        TEXTCOLOUR(colour);
        PRINT(DQStr("Ag#"), 4, 4);
        PRINT(1.5, 4, 24);
        return ReadColours();
    };
    const std::vector<uint32_t> plain = print(0xFFFFFF);
    const auto glyph = std::count(plain.begin(), plain.end(), kWhite);
    EXPECT_GT(glyph, 40);
    EXPECT_EQ(std::count(plain.begin(), plain.end(), 0x404040u) + glyph, 200 * 40);
    for (double colour : {0x1F7FC3 * 1.0, 0.0, 0x8000FF * 1.0, 0x7F000080 * 1.0 + 0.9}) {
        const uint32_t expect = static_cast<uint32_t>(colour) & 0xFFFFFF;
        const std::vector<uint32_t> tinted = print(colour);
        for (size_t i = 0; i < plain.size(); ++i)
            ASSERT_EQ(tinted[i], plain[i] == kWhite ? expect : plain[i]) << colour << " at " << i;
    }
    EXPECT_EQ(print(0x1000000 + 0xFFFFFF), plain);  // only the low 24 bits count
    // Stays for later PRINTs, and sprites between them are drawn as they are.
    TEXTCOLOUR(kBlue);
    SolidSprite(0, 8, 8, kWhite);
    Clear();
    PRINT(DQStr("A"), 100, 100);
    SPRITE(0, 120, 100);
    ROTOZOOMSPRITE(0, 140, 100, 0, 1);
    PRINT(7, 160, 100);
    const std::vector<uint32_t> drawn = ReadColours();
    for (int y = 100; y < 116; ++y)
        for (int x = 100; x < 170; ++x) {
            const uint32_t c = drawn[y * 200 + x];
            const bool text = x < 120 || x >= 160, sprite = !text && y < 108 && (x < 128 || x >= 140) && x < 148;
            ASSERT_EQ(c, text ? (c ? kBlue : 0u) : sprite ? kWhite : 0u) << x << ", " << y;
        }
    EXPECT_GT(std::count(drawn.begin(), drawn.end(), kBlue), 20);
    // A coloured font: each channel multiplied.
    MakeFont(2);
    TEXTCOLOUR(0x0000FF);
    PRINT(DQStr("A"), 0, 0);
    TEXTCOLOUR(0xFFFFFF);
    PRINT(DQStr("A"), 16, 0);
    EXPECT_EQ(Pixels({{5, 4}, {21, 4}}), (Colours{Glyph('A') & 0xFF, Glyph('A')}));
    SETFONT(0);
}

using EllipseTest = GfxTest;

// A filled ellipse or circle covers the pixels within the ellipse half a pixel larger
// than its radii, so it reaches exactly the radius each way; radius 0 is one pixel, a
// negative one nothing; radii are truncated toward zero.
TEST_F(EllipseTest, FilledShapesCoverExactlyTheirPixels) {
    for (auto [rx, ry] :
         {std::pair{0, 0}, {2, 2}, {10, 10}, {37, 37}, {30, 8}, {8, 30}, {0, 6}, {6, 0}, {1, 2}, {90, 1}}) {
        Clear();
        rx == ry ? FILLCIRCLE(100, 100, rx, kGreen) : FILLELLIPSE(100, 100, rx, ry, kGreen);
        EXPECT_EQ(Covered(), (Box{100 - rx, 100 - ry, 100 + rx, 100 + ry})) << rx << " x " << ry;
        const Mask m = ReadMask();
        const int64_t a = (2 * rx + 1) * (2 * rx + 1), b = (2 * ry + 1) * (2 * ry + 1);
        for (int dy = -100; dy < 100; ++dy)
            for (int dx = -100; dx < 100; ++dx) {
                ASSERT_EQ(m(100 + dx, 100 + dy), 4 * dx * dx * b + 4 * dy * dy * a <= a * b) << dx << ", " << dy;
                ASSERT_EQ(m(100 + dx, 100 + dy), m(100 - dx, 100 - dy));  // mirrored both ways
            }
    }
    Clear();
    FILLCIRCLE(50.9, 50.9, 0.99, kRed);
    EXPECT_EQ(Covered(), (Box{50, 50, 50, 50}));
    Clear();
    FILLCIRCLE(50, 50, -1, kRed);
    DRAWCIRCLE(50, 50, -3, kRed);
    FILLELLIPSE(50, 50, 5, -1, kRed);
    DRAWELLIPSE(50, 50, -1, 5, kRed);
    EXPECT_EQ(Covered(), kNothing);
}

// The outline is the filled shape's pixels that have a neighbour (left, right, up or
// down) outside it: closed, with no gap that a 4-connected fill could pass. Each
// pixel of either is drawn once, so additive blending lights every one alike.
TEST_F(EllipseTest, OutlinesAreTheEdgeOfTheFilledShapeWithoutGaps) {
    for (auto [rx, ry] : {std::pair{10, 10}, {30, 8}, {3, 17}, {57, 57}, {1, 1}, {0, 4}, {5, 0}, {0, 0}}) {
        Clear();
        FILLELLIPSE(100, 100, rx, ry, kRed);
        const Mask fill = ReadMask();
        Clear();
        rx == ry ? DRAWCIRCLE(100, 100, rx, kGreen) : DRAWELLIPSE(100, 100, rx, ry, kGreen);
        const Mask line = ReadMask();
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 200; ++x) {
                const bool edge = fill(x, y) && !(fill(x - 1, y) && fill(x + 1, y) && fill(x, y - 1) && fill(x, y + 1));
                ASSERT_EQ(line(x, y), edge) << rx << " x " << ry << " at " << x << ", " << y;
            }
        if (rx < 2 || ry < 2) continue;
        // From the corner, stepping left, right, up and down past the outline, the
        // centre is never reached.
        std::vector<char> seen(200 * 200);
        std::vector<std::pair<int, int>> todo{{0, 0}};
        while (!todo.empty()) {
            auto [x, y] = todo.back();
            todo.pop_back();
            if (x < 0 || y < 0 || x >= 200 || y >= 200 || seen[y * 200 + x] || line(x, y)) continue;
            seen[y * 200 + x] = 1;
            todo.insert(todo.end(), {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}});
        }
        EXPECT_FALSE(seen[100 * 200 + 100]) << rx << " x " << ry;
    }
    ALPHAMODE(1);
    Clear();
    DRAWCIRCLE(50, 50, 20, 0x404040);
    FILLCIRCLE(150, 50, 20, 0x404040);
    DRAWELLIPSE(50, 150, 40, 9, 0x404040);
    FILLELLIPSE(150, 150, 9, 40, 0x404040);
    const std::vector<uint32_t> lit = ReadColours();
    EXPECT_EQ(std::count(lit.begin(), lit.end(), 0x404040u) + std::count(lit.begin(), lit.end(), 0u),
              static_cast<long>(lit.size()));
    EXPECT_GT(std::count(lit.begin(), lit.end(), 0x404040u), 2000);
}

// Coordinates count from the viewport's corner; the viewport's and the screen's edges
// cut the shape without changing which pixels it has.
TEST_F(EllipseTest, ViewportAndScreenEdgesCutWithoutChangingThePixels) {
    DRAWCIRCLE(40, 100, 12, kRed);
    FILLELLIPSE(160, 100, 20, 7, kRed);
    const Mask whole = ReadMask();
    Clear();
    DRAWCIRCLE(5, 100, 12, kRed);      // cut by the left edge
    FILLELLIPSE(160, 3, 20, 7, kRed);  // cut by the top edge
    const Mask cut = ReadMask();
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            ASSERT_EQ(cut(x, y), x < 60 ? whole(x + 35, y) : whole(x, y + 97)) << x << ", " << y;
    Clear();
    FILLCIRCLE(DQ_RESX + 3, DQ_RESY - 1, 5, kRed);
    EXPECT_EQ(Pixels({{DQ_RESX - 1, DQ_RESY - 1},
                      {DQ_RESX - 2, DQ_RESY - 1},
                      {DQ_RESX - 3, DQ_RESY - 1},
                      {DQ_RESX - 1, DQ_RESY - 4},
                      {DQ_RESX - 1, DQ_RESY - 5}}),
              (Colours{kRed, kRed, 0, kRed, 0}));
    Clear();
    VIEWPORT(100, 50, 60, 40);
    DRAWCIRCLE(0, 0, 12, kRed);  // at the viewport's corner
    const Mask corner = ReadMask();
    const Mask moved = Moved(whole, 100 - 40, 50 - 100);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) {
            const bool inside = x >= 100 && x < 160 && y >= 50 && y < 90;
            ASSERT_EQ(corner(x, y), inside && moved(x, y)) << x << ", " << y;
        }
    Clear();
    FILLELLIPSE(30, 20, 100, 100, kGreen);
    EXPECT_EQ(Covered(), (Box{100, 50, 159, 89}));
}

// Radii of any size take time by the rows on the screen only; radii above 1073741823
// are taken as that, centres anywhere.
TEST_F(EllipseTest, HugeRadiiAndFarCentres) {
    const auto start = std::chrono::steady_clock::now();
    FILLCIRCLE(100, 100, 1e300, kRed);
    EXPECT_EQ(Covered(), (Box{0, 0, 199, 199}));
    EXPECT_EQ(ReadPixel(DQ_RESX - 1, DQ_RESY - 1), kRed);
    Clear();
    DRAWCIRCLE(100, 100, 1e300, kRed);
    DRAWCIRCLE(-1e300, 1e300, 5, kRed);
    FILLELLIPSE(1e18, -1e18, 1e18, 1e18, kRed);
    DRAWELLIPSE(NAN, INFINITY, INFINITY, NAN, kRed);
    EXPECT_EQ(Covered(), kNothing);
    // The largest circle, its top on row 100: within the screen that row is all of it.
    const double r = 1073741823;
    DRAWCIRCLE(100, 100 + r, r, kRed);
    EXPECT_EQ(Covered(), (Box{0, 100, 199, 100}));
    EXPECT_EQ(ReadPixel(DQ_RESX - 1, 100), kRed);
    Clear();
    DRAWCIRCLE(100, 100 + r, 4e9, kRed);
    FILLELLIPSE(100, 102 + r, r, 4e9, kGreen);
    EXPECT_EQ(Covered(), (Box{0, 100, 199, 199}));
    EXPECT_EQ(Pixels({{5, 100}, {5, 101}, {5, 102}}), (Colours{kRed, 0, kGreen}));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    RecordProperty("seconds", std::to_string(seconds));
    EXPECT_LT(seconds, 5);
}

// The batch: shapes queue until the GL state they need changes; shapes that share a
// state go to the GL together (that each lands with its own state is a pixel case).
using BatchTest = GfxTest;

TEST_F(BatchTest, AFrameOfOneTextureIsOneDrawAndEachChangeOneMore) {
    SolidSprite(0, 8, 8, kRed);
    SolidSprite(1, 8, 8, kGreen);
    auto draws = [](auto draw) {
        pPrsm->PresentNow();
        draw();
        pPrsm->PresentNow();
        return pPrsm->DrawCallsLastFrame();
    };
    EXPECT_EQ(draws([] {
                  for (int i = 0; i < 200; ++i) SPRITE(0, i % 80 * 8, i / 80 * 8);
              }),
              1);
    // Text and sprites of one texture each; rectangles, lines and points of any colour.
    EXPECT_EQ(draws([] {
                  for (int i = 0; i < 10; ++i) SPRITE(0, i * 8, 0);
                  for (int i = 0; i < 10; ++i) SPRITE(1, i * 8, 8);
                  for (int i = 0; i < 10; ++i) FILLRECT(i * 8, 16, i * 8 + 4, 20, i * 0x101010);
              }),
              3);
    // Sprites side by side join the batch of their texture; overlapping ones keep their order.
    EXPECT_EQ(draws([] {
                  for (int i = 0; i < 10; ++i) SPRITE(i % 2, i * 8, 0);
              }),
              2);
    EXPECT_EQ(draws([] {
                  for (int i = 0; i < 10; ++i) SPRITE(i % 2, i * 7, 0);
              }),
              10);
    for (int i = 0; i < 10; ++i) SPRITE(i % 2, i * 7, 0);
    EXPECT_EQ(Pixels({{6, 4}, {7, 4}, {13, 4}, {14, 4}, {69, 4}}), (Colours{kRed, kGreen, kGreen, kRed, kGreen}));
    // A background of 640 x 480 pixels: two tiles (512 and 128 wide), two draws.
    LOADBMP(DQStr(WriteBitmap(Path("back.bmp"), {.width = 640, .height = 480, .pixel = [](int c, int r) {
        return c >= 512 && r >= 470 ? kGreen : kBlue;
    }}).c_str()));
    EXPECT_EQ(draws([] { pPrsm->PasteSurface(0); }), 2);
    pPrsm->PasteSurface(0);
    EXPECT_EQ(Pixels({{0, 0}, {511, 479}, {512, 479}, {639, 470}, {639, 469}}),
              (Colours{kBlue, kBlue, kGreen, kGreen, kBlue}));
    pPrsm->FreeSurface(0);
}

}  // namespace
