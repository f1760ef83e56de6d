#include <GL/gl.h>

#include "tolvane.h"
#include "core/dqstr.h"
#include "gfx2d/bmp_file.h"
#include "app/automation.h"
#include "support/gfx_fixture.h"

namespace {

constexpr uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kKey = 0x8000FF;

using BitmapTest = GfxTest;

// Eight-bit palettes with the key entry, after the plain header and after the larger
// information headers most tools write today: the palette follows the header whatever
// its declared size, and 32-bit colours follow the masks.
TEST_F(BitmapTest, PalettesAfterAnyHeaderAndColourMasks) {
    for (int header : {40, 124}) {
        TestBitmap b;
        b.bits = 8;
        b.width = 6;  // rows padded to 8 bytes
        b.height = 2;
        b.headerSize = header;
        b.coloursUsed = header == 40 ? 0 : 3;  // 0: all entries
        b.palette = {kRed, 0x3399CC, kKey};
        b.pixel = [](int c, int) { return static_cast<uint32_t>(c % 3); };
        Clear();
        LOADSPRITE(DQStr(WriteBitmap(Path("p8-" + std::to_string(header) + ".bmp"), b).c_str()), 0);
        SPRITE(0, 0, 0);
        EXPECT_EQ(ReadPixel(0, 1), kRed) << header;
        EXPECT_EQ(ReadPixel(4, 0), 0x3399CCu) << header;
        EXPECT_EQ(ReadPixel(2, 1), 0u) << header;  // the key colour through the palette
        EXPECT_EQ(ReadPixel(5, 0), 0u) << header;
    }
    TestBitmap m;
    m.bits = 32;
    m.width = m.height = 2;
    m.headerSize = 108;
    m.masks[0] = 0xFF000000;  // red, green, blue, then the unused byte, from the top
    m.masks[1] = 0x00FF0000;
    m.masks[2] = 0x0000FF00;
    m.pixel = [](int c, int) { return c == 0 ? 0x123456u : kGreen; };
    LOADSPRITE(DQStr(WriteBitmap(Path("v4.bmp"), m).c_str()), 1);
    SPRITE(1, 10, 0);
    EXPECT_EQ(ReadPixel(10, 0), 0x123456u);
    EXPECT_EQ(ReadPixel(11, 1), kGreen);
}

TEST_F(BitmapTest, ThirtyTwoBitsAndTopDownRows) {
    TestBitmap b;
    b.bits = 32;
    b.width = 4;
    b.height = 4;
    b.pixel = [](int, int r) { return r == 0 ? kRed : kBlue; };
    LOADSPRITE(DQStr(WriteBitmap(Path("p32.bmp"), b).c_str()), 0);
    SPRITE(0, 0, 0);
    EXPECT_EQ(ReadPixel(1, 0), kRed);
    EXPECT_EQ(ReadPixel(1, 3), kBlue);
    // Stored top-down: rows are still read bottom-up, so the picture turns over.
    b.topDown = true;
    b.bits = 24;
    LOADSPRITE(DQStr(WriteBitmap(Path("td.bmp"), b).c_str()), 1);
    SPRITE(1, 10, 0);
    EXPECT_EQ(ReadPixel(11, 0), kBlue);
    EXPECT_EQ(ReadPixel(11, 3), kRed);
}

TEST_F(BitmapTest, MalformedFilesLoadNothing) {
    TestBitmap good;
    good.width = 8;
    good.height = 8;
    good.pixel = [](int, int) { return kRed; };
    std::vector<uint8_t> ok = BitmapBytes(good);

    std::vector<std::vector<uint8_t>> bad;
    bad.push_back(std::vector<uint8_t>(ok.begin(), ok.begin() + 100));  // truncated pixels
    bad.push_back(std::vector<uint8_t>(ok.begin(), ok.begin() + 20));   // truncated header
    auto patch = [&](size_t at, uint32_t v) {
        std::vector<uint8_t> c = ok;
        for (int i = 0; i < 4; ++i) c[at + i] = static_cast<uint8_t>(v >> (8 * i));
        return c;
    };
    bad.push_back(patch(18, 0x7FFFFFFF));  // huge width
    bad.push_back(patch(22, 0x80000000));  // the most negative height
    bad.push_back(patch(18, 0));           // no width
    bad.push_back(patch(10, 0xFFFFFF00));  // pixel data beyond the file
    bad.push_back(patch(10, 4));           // headers overlapping the file header
    std::vector<uint8_t> sixteen = ok;
    sixteen[28] = 16;
    bad.push_back(sixteen);
    std::vector<uint8_t> four = ok;
    four[28] = 4;
    bad.push_back(four);
    TestBitmap pal;
    pal.bits = 8;
    pal.width = 4;
    pal.height = 1;
    pal.palette = {kRed, kGreen};
    pal.pixel = [](int c, int) { return static_cast<uint32_t>(c); };  // indices 2, 3: beyond the palette
    bad.push_back(BitmapBytes(pal));

    for (size_t i = 0; i < bad.size(); ++i) {
        SolidSprite(9, 4, 4, kGreen);
        std::string p = WriteBytes(Path("bad" + std::to_string(i) + ".bmp"), bad[i]);
        LOADSPRITE(DQStr(p.c_str()), 9);
        EXPECT_EQ(pPrsm->Sprite(9)->texWidth, -1) << "file " << i;
        __BMPImage img;
        EXPECT_FALSE(__ReadBMP(p.c_str(), img)) << "file " << i;
    }
}

TEST_F(BitmapTest, MipMapChainFollowsItsSamplingRule) {
    TestBitmap b;
    b.width = b.height = 4;
    // Distinct red values per texel; texture row 0 is the picture's bottom row.
    b.pixel = [](int c, int r) { return static_cast<uint32_t>((3 - r) * 40 + c * 10 + 5); };
    LOADSPRITE(DQStr(WriteBitmap(Path("mip.bmp"), b).c_str()), 0);
    pPrsm->Flush();
    glBindTexture(GL_TEXTURE_2D, pPrsm->Sprite(0)->texture[1]);
    uint8_t level1[2 * 2 * 4], level2[4];
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 1, GL_RGBA, GL_UNSIGNED_BYTE, level1);
    glGetTexImage(GL_TEXTURE_2D, 2, GL_RGBA, GL_UNSIGNED_BYTE, level2);
    pPrsm->ForgetBinding();
    auto red = [](int x, int y) { return y * 40 + x * 10 + 5; };  // texel (x, y) of level 0
    // (0, 0): a = (0,0), b = (1,0), c = (1,2), d = (0,2): (4a + 2b + 2c + d) / 9.
    EXPECT_EQ(level1[0], (4 * red(0, 0) + 2 * red(1, 0) + 2 * red(1, 2) + red(0, 2)) / 9);
    // (1, 0): last column, so b and c are left out: (2a + d) / 3.
    EXPECT_EQ(level1[4], (2 * red(2, 0) + red(2, 2)) / 3);
    // (0, 1): last row: (2a + b) / 3.
    EXPECT_EQ(level1[8], (2 * red(0, 2) + red(1, 2)) / 3);
    // (1, 1): a alone.
    EXPECT_EQ(level1[12], red(2, 2));
    EXPECT_EQ(level1[3], 255);
    EXPECT_EQ(level2[0], level1[0]);  // 1 x 1: a alone
}

TEST_F(BitmapTest, BumpTextureOfAFlatPictureFacesStraightUp) {
    SolidSprite(0, 8, 8, kBlue);
    TestBitmap b;
    b.width = b.height = 8;
    b.pixel = [](int, int) { return 0x800000u; };
    LOADBUMPTEXTURE(DQStr(WriteBitmap(Path("flat.bmp"), b).c_str()), 1);
    SPRITE(1, 0, 0);
    EXPECT_EQ(ReadPixel(3, 3), 127u | (127u << 8) | (255u << 16));
}

TEST_F(BitmapTest, SurfaceTilesWithTransparentEdges) {
    TestBitmap b;
    b.width = 150;
    b.height = 100;
    b.pixel = [](int c, int r) { return (c == 149 && r == 99) ? kGreen : kRed; };
    LOADBMP(DQStr(WriteBitmap(Path("back.bmp"), b).c_str()));
    const __Surface* s = pPrsm->Surface(0);
    EXPECT_EQ(s->columns, 3);
    EXPECT_EQ(s->rows, 2);
    EXPECT_EQ(ReadPixel(0, 0), kRed);
    EXPECT_EQ(ReadPixel(149, 99), kGreen);
    EXPECT_EQ(ReadPixel(150, 50), 0u);  // the tile's uncovered part: transparent, drawn black
    EXPECT_EQ(ReadPixel(50, 100), 0u);
    EXPECT_EQ(ReadPixel(190, 127), 0u);
    // The background is drawn first in every frame, over the whole screen even when
    // the frame before narrowed the viewport.
    VIEWPORT(100, 100, 50, 50);
    SHOWSCREEN();
    EXPECT_EQ(ReadPixel(10, 10), kRed);
    EXPECT_EQ(ReadPixel(149, 99), kGreen);
    BLACKSCREEN();
    EXPECT_EQ(ReadPixel(10, 10), 0u);
    SHOWSCREEN();
    EXPECT_EQ(ReadPixel(10, 10), 0u);
}

TEST_F(BitmapTest, BackgroundBeyondTheTileGridEndsWithCodeThree) {
    TestBitmap b;
    b.width = 4100;
    b.height = 2;
    b.pixel = [](int, int) { return kRed; };
    std::string p = WriteBitmap(Path("wide.bmp"), b);
    EXPECT_FALSE(pPrsm->LoadSurface(2, p.c_str()));
    EXPECT_EXIT(LOADBMP(DQStr(p.c_str())), testing::ExitedWithCode(3), "runtime error 3");
    LOADBMP(DQStr(Path("missing.bmp").c_str()));  // found nowhere: nothing happens
}

TEST_F(BitmapTest, SaveBmpWritesTheBackBuffer) {
    FILLRECT(0, 0, 10, 10, kRed);
    FILLRECT(630, 470, 640, 480, kGreen);
    std::string p = Path("shot.bmp");
    SAVEBMP(DQStr(p.c_str()));
    __BMPImage img;
    ASSERT_TRUE(__ReadBMP(p.c_str(), img));
    EXPECT_EQ(img.width, DQ_RESX);
    EXPECT_EQ(img.height, DQ_RESY);
    EXPECT_EQ(img.bits, 24);
    EXPECT_EQ(img.Colour(0, 0), kRed);
    EXPECT_EQ(img.Colour(639, 479), kGreen);
    EXPECT_EQ(img.Colour(320, 240), 0u);
    EXPECT_EQ(pPrsm->SaveBMPFile("/nonexistent-folder/x.bmp"), 0);
}

TEST_F(BitmapTest, UseAsBmpMakesTheScreenTheBackground) {
    FILLRECT(0, 0, 640, 480, kBlue);
    FILLRECT(600, 440, 640, 480, kRed);
    USEASBMP();
    const __Surface* s = pPrsm->Surface(0);
    EXPECT_EQ(s->columns, 3);
    EXPECT_EQ(s->rows, 4);  // bands of 256, 128, 64 and 32 rows
    SHOWSCREEN();
    EXPECT_EQ(ReadPixel(10, 10), kBlue);
    EXPECT_EQ(ReadPixel(639, 479), kRed);
    EXPECT_EQ(ReadPixel(300, 400), kBlue);
}

TEST_F(BitmapTest, BlendScreenEndsOnTheNewPicture) {
    TestBitmap b;
    b.width = 64;
    b.height = 64;
    b.pixel = [](int, int) { return kGreen; };
    std::string p = WriteBitmap(Path("next.bmp"), b);
    FILLRECT(0, 0, 640, 480, kRed);
    pPrsm->SetNoWait(true);
    long long before = __g_frame;
    BLENDSCREEN(DQStr(p.c_str()));
    pPrsm->SetNoWait(false);
    EXPECT_EQ(__g_frame, before);  // the fade presents frames of its own, not SHOWSCREENs
    EXPECT_EQ(ReadPixel(10, 10), kGreen);
    EXPECT_EQ(ReadPixel(100, 10), 0u);
    EXPECT_EQ(pPrsm->Surface(0)->columns, 1);
    EXPECT_FLOAT_EQ(pPrsm->CurrentAlpha(), 1.0f);
}

}  // namespace
