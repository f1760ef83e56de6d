// The 3D commands drawn on the real GL and read back, with collision and projection.
#include <cmath>
#include <fstream>
#include <iterator>
#include <tuple>

#include "gfx3d/prism3d.h"
#include "support/gfx_fixture.h"

namespace {

constexpr uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kWhite = 0xFFFFFF;

// A camera on the z axis, 10 units from the origin, 45 degrees field of view: one
// world unit at the origin is 240 / (10 tan 22.5 degrees) = 57.9 pixels.
class Scene3DTest : public GfxTest {
protected:
    void SetUp() override {
        GfxTest::SetUp();
        X_MAKE3D(1, 100, 45);
        X_CAMERA(0, 0, 10, 0, 0, 0);
        glClear(GL_DEPTH_BUFFER_BIT);
    }
    void TearDown() override {
        X_MAKE2D();
        GfxTest::TearDown();
    }
    // A square of side 2 around (0, 0, z), one strip wound counter-clockwise seen from +z.
    static void Square(int nr, double colour, double z = 0) {
        X_OBJSTART(nr);
        for (int i = 0; i < 4; ++i) X_OBJADDVERTEX(i % 2 ? 1 : -1, i < 2 ? -1 : 1, z, i % 2, i < 2 ? 1 : 0, colour);
        X_OBJEND();
    }
    static std::vector<uint8_t> Bytes(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(f), {}};
    }
};

TEST_F(Scene3DTest, BumpLighting) {
    // A flat bump map under a white texture: bright with the bump light in front of the
    // face, dark with it at the side.
    SolidSprite(0, 8, 8, kWhite);
    TestBitmap flat;
    flat.width = flat.height = 8;
    flat.pixel = [](int, int) { return 0x808080u; };
    LOADBUMPTEXTURE(DQStr(WriteBitmap(Path("flat.bmp"), flat).c_str()), 1);
    Square(1, kWhite);
    X_SETTEXTURE(0, 1);
    X_SPOT_LT(-1, kWhite, 0, 0, 50, 0, 0, 0, 360);
    EXPECT_FALSE(prsm3D->Slot(1)->mesh.BumpReady());  // made on the first bump-lit draw
    X_DRAWOBJ(1, 0);
    EXPECT_TRUE(prsm3D->Slot(1)->mesh.BumpReady());
    EXPECT_GT(ReadPixel(320, 240) & 0xFF, 230u);
    glClear(GL_DEPTH_BUFFER_BIT);
    X_SPOT_LT(-1, kWhite, 500, 0, 1, 0, 0, 0, 360);
    X_DRAWOBJ(1, 0);
    EXPECT_LT(ReadPixel(320, 240) & 0xFF, 40u);
    X_SPOT_LT(-1, kWhite, 0, 0, 0, 0, 0, 0, 0);  // bump light off
}

TEST_F(Scene3DTest, AnimationsBlendClampedFramePairs) {
    // Two frames: the square 2 units left, then 2 units right of the middle.
    std::vector<std::vector<__Vertex3D>> frames(2);
    for (int f = 0; f < 2; ++f) {
        __Vertex3D marker;
        marker.colour = __kGroupStrip;
        frames[f].push_back(marker);
        for (int i = 0; i < 4; ++i) {
            __Vertex3D v;
            v.x = (i % 2 ? 1.f : -1.f) + (f ? 2 : -2);
            v.y = i < 2 ? -1 : 1;
            v.colour = kRed;
            frames[f].push_back(v);
        }
    }
    MeshObject m;
    m.Compress(frames);
    ASSERT_TRUE(m.Save(Path("two.obj").c_str()));
    X_LOADOBJ(DQStr(Path("two.obj").c_str()), 4);
    const int left = 320 - 116, right = 320 + 116;
    struct Case {
        double from, to, factor, animate;
        int x;  // where the square's middle lands
    } cases[] = {{1, 1, 0.5, 1, right}, {5, 9, 0, 1, right},       {-3, -3, 0.7, 1, left},
                 {0, 1, 0.5, 1, 320},   {1, 0, 0.25, 1, 320 + 58}, {0, 1, 0.25, 0, 320 - 58}};
    for (const Case& c : cases) {
        Clear();
        glClear(GL_DEPTH_BUFFER_BIT);
        X_DRAWANIM(4, c.from, c.to, c.factor, c.animate);
        EXPECT_EQ(ReadPixel(c.x, 240), kRed) << c.from << " " << c.to << " " << c.factor;
        EXPECT_EQ(ReadPixel(c.x + 70, 240), 0u) << c.from << " " << c.to << " " << c.factor;
    }
    // X_DRAWOBJ draws nothing for frames beyond the last; frames below 0 are frame 0.
    Clear();
    X_DRAWOBJ(4, 2);
    X_DRAWOBJ(4, 1e300);
    EXPECT_TRUE(Covered(640, 480) == kNothing);
    for (double frame : {-1.0, -0.5, -1e300}) {
        Clear();
        glClear(GL_DEPTH_BUFFER_BIT);
        X_DRAWOBJ(4, frame);
        EXPECT_EQ(ReadPixel(left, 240), kRed) << frame;
        EXPECT_EQ(ReadPixel(right, 240), 0u) << frame;
    }

    // Factors far beyond 0 ... 1 walk on to the last or the first frame and stop there;
    // a factor that is no number stays at the first frame given.
    struct Far {
        double from, to, factor;
        int x;
    } far[] = {{0, 1, 1e20, right},   {0, 1, -1e20, left},  {1, 0, 1e20, left},
               {1, 0, -1e300, right}, {0, 1, 1e300, right}, {1, 0, std::nan(""), right}};
    for (const Far& c : far) {
        Clear();
        glClear(GL_DEPTH_BUFFER_BIT);
        X_DRAWANIM(4, c.from, c.to, c.factor, 1);
        EXPECT_EQ(ReadPixel(c.x, 240), kRed) << c.from << " " << c.to << " " << c.factor;
        EXPECT_EQ(ReadPixel(640 - c.x, 240), 0u) << c.from << " " << c.to << " " << c.factor;
    }
}

TEST_F(Scene3DTest, LightZeroShinesWhiteFromTheViewerBesideItsAmbientLight) {
    // As the runtime starts it: light 0 white, shining along the view (given again, as
    // an earlier test may have changed it).
    X_SPOT_LT(0, kWhite, 0, 0, 0, 0, 0, -1, 180);
    X_MAKE3D(1, 100, 45);
    X_CAMERA(0, 0, 10, 0, 0, 0);
    Square(1, 200 + 150 * 256 + 100 * 65536);
    // Ambient 50 / 255 and the GL's own 0.2, plus the full diffuse light of a face
    // turned to the viewer: each channel times 1.396, red capped at 255.
    X_AMBIENT_LT(0, 50 * 0x010101);
    X_DRAWOBJ(1, 0);
    const uint32_t lit = ReadPixel(320, 240);
    EXPECT_NEAR(lit & 0xFF, 255, 2);
    EXPECT_NEAR((lit >> 8) & 0xFF, 209, 2);
    EXPECT_NEAR(lit >> 16, 140, 2);
    // Another light number gives the ambient light alone: each channel times 0.396.
    X_MAKE3D(1, 100, 45);
    X_CAMERA(0, 0, 10, 0, 0, 0);
    glClear(GL_DEPTH_BUFFER_BIT);
    X_AMBIENT_LT(3, 50 * 0x010101);
    X_DRAWOBJ(1, 0);
    const uint32_t ambient = ReadPixel(320, 240);
    EXPECT_NEAR(ambient & 0xFF, 79, 2);
    EXPECT_NEAR((ambient >> 8) & 0xFF, 59, 2);
    EXPECT_NEAR(ambient >> 16, 40, 2);
}

TEST_F(Scene3DTest, SpritesDrawnAfterAnObjectAreNotTintedByItsColours) {
    // A white sprite drawn in the 3D projection covers the world square (0 ... 8,
    // -8 ... 0) at depth 0: right of and below the middle of the screen.
    SolidSprite(0, 8, 8, kWhite);
    X_MAKE3D(1, 100, 45);
    X_CAMERA(0, 0, 10, 0, 0, 0);
    Square(1, kRed);
    std::vector<std::vector<__Vertex3D>> frames(2);  // two frames: drawn streamed
    for (int f = 0; f < 2; ++f)
        for (int i = -1; i < 4; ++i) {
            __Vertex3D v;
            v.x = i % 2 ? -4.f : -3.f;
            v.y = i < 2 ? -1.f : 1.f;
            v.colour = i < 0 ? __kGroupStrip : kBlue;
            frames[f].push_back(v);
        }
    MeshObject m;
    m.Compress(frames);
    ASSERT_TRUE(m.Save(Path("two.obj").c_str()));
    X_LOADOBJ(DQStr(Path("two.obj").c_str()), 2);
    X_MOVEMENT(-4, 0, 0);
    for (int streamed = 0; streamed < 2; ++streamed) {
        Clear();
        glClear(GL_DEPTH_BUFFER_BIT);
        if (streamed)
            X_DRAWANIM(2, 0, 1, 0.5, 1);
        else
            X_DRAWOBJ(1, 0);
        SPRITE(0, 0, 0);
        EXPECT_EQ(ReadPixel(320 + 60, 240 + 60), kWhite) << (streamed ? "blended frames" : "static buffers");
        // The additive blending factor of 0.5 dims the sprite, also after an object.
        Clear();
        ALPHAMODE(0.5);
        if (streamed)
            X_DRAWANIM(2, 0, 1, 0.5, 1);
        else
            X_DRAWOBJ(1, 0);
        SPRITE(0, 0, 0);
        const uint32_t dimmed = ReadPixel(320 + 60, 240 + 60);
        EXPECT_NEAR(dimmed & 0xFF, 128, 2) << (streamed ? "blended frames" : "static buffers");
        EXPECT_EQ(dimmed & 0xFF, dimmed >> 16);
        ALPHAMODE(0);
    }
}

TEST_F(Scene3DTest, ProjectionInASubViewportCountsPixelsAs2DDrawingDoes) {
    VIEWPORT(50, 60, 400, 300);
    X_MAKE3D(1, 100, 45);
    X_CAMERA(0, 0, 10, 0, 0, 0);
    glClear(GL_DEPTH_BUFFER_BIT);
    double sx = -1, sy = -1, depth = -1;
    X_WORLD2SCREEN(0, 0, 0, sx, sy, depth);
    EXPECT_DOUBLE_EQ(sx, 200);  // the middle of the viewport
    EXPECT_DOUBLE_EQ(sy, 150);
    // A small square around (1, 1, 0): its middle on the window lies at the viewport's
    // corner plus the projected point.
    X_MOVEMENT(1, 1, 0);
    X_SCALING(0.2, 0.2, 0.2);
    Square(1, kRed);
    X_DRAWOBJ(1, 0);
    X_MOVEMENT(0, 0, 0);
    X_WORLD2SCREEN(1, 1, 0, sx, sy, depth);
    const double unit = 150 / (10 * std::tan(22.5 * M_PI / 180));
    EXPECT_NEAR(sx, 200 + unit, 1e-3);
    EXPECT_NEAR(sy, 150 - unit, 1e-3);
    const Box box = Covered(640, 480);
    EXPECT_NEAR((box[0] + box[2] + 1) / 2.0, 50 + sx, 1);
    EXPECT_NEAR((box[1] + box[3] + 1) / 2.0, 60 + sy, 1);
    // 2D drawing in the same viewport at the projected point lands in the square's middle.
    X_MAKE2D();
    VIEWPORT(50, 60, 400, 300);
    FILLRECT(sx - 1, sy - 1, sx + 2, sy + 2, kGreen);
    EXPECT_EQ(ReadPixel(static_cast<int>(50 + sx), static_cast<int>(60 + sy)), kGreen);
    EXPECT_EQ(ReadPixel(static_cast<int>(50 + sx) + 4, static_cast<int>(60 + sy)), kRed);
    EXPECT_EQ(ReadPixel(static_cast<int>(50 + sx), static_cast<int>(60 + sy) - 4), kRed);
}

TEST_F(Scene3DTest, CollisionAndProjection) {
    Square(1, kRed);
    EXPECT_EQ(X_COLLISION(1, 0, 0.5, 0.5, 0.5, 0.4), 1);  // in front of the face
    EXPECT_EQ(X_COLLISION(1, 0, 0.5, 0.5, 0.5, 0.6), 0);
    EXPECT_EQ(X_COLLISION(1, 0, 0.5, 1.3, 0, 0), 1);    // beyond an edge, touching it
    EXPECT_EQ(X_COLLISION(1, 0, 0.5, 1.4, 1.4, 0), 0);  // beyond the corner's reach
    EXPECT_EQ(X_COLLISION(1, 1, 0.5, 0, 0, 0), 0);      // no frame 1
    X_MOVEMENT(0, 0, 3);
    X_ROTATION(90, 0, 1, 0);  // the face now lies in the y-z plane
    EXPECT_EQ(X_COLLISION(1, 0, 0.2, 0, 0, 3.9), 1);
    EXPECT_EQ(X_COLLISION(1, 0, 0.2, 0.3, 0, 3), 0);
    // Fewer than three prepared vertices never collide.
    X_OBJSTART(2);
    X_OBJADDVERTEX(0, 0, 0, 0, 0, kRed);
    X_OBJADDVERTEX(1, 0, 0, 0, 0, kRed);
    X_OBJEND();
    EXPECT_EQ(X_COLLISION(2, 0, 5, 0, 0, 3), 0);

    double sx = -1, sy = -1, depth = -1;
    X_WORLD2SCREEN(0, 0, 0, sx, sy, depth);
    EXPECT_DOUBLE_EQ(sx, 320);
    EXPECT_DOUBLE_EQ(sy, 240);
    EXPECT_NEAR(depth, (810.0 / 990 + 1) / 2, 1e-5);  // 10 units away, near 1, far 100
    X_WORLD2SCREEN(1, 2, 0, sx, sy, depth);
    const double unit = 240 / (10 * std::tan(22.5 * M_PI / 180));
    EXPECT_NEAR(sx, 320 + unit, 1e-3);
    EXPECT_NEAR(sy, 240 - 2 * unit, 1e-3);
    sx = sy = depth = 7;
    X_WORLD2SCREEN(3, 3, 10, sx, sy, depth);  // in the eye's plane: w = 0, nothing written
    EXPECT_EQ(std::tuple(sx, sy, depth), std::tuple(7.0, 7.0, 7.0));
}

// Light numbers count modulo 8, cutoff 0 puts a light out, X_MAKE3D all of them.
TEST_F(Scene3DTest, LightMask) {
    X_SPOT_LT(9, kWhite, 0, 0, 5, 0, 0, 0, 360);
    X_AMBIENT_LT(-6, 0);
    EXPECT_EQ(prsm3D->LightMask(), 6);
    X_SPOT_LT(1, kWhite, 0, 0, 5, 0, 0, 0, 0);
    EXPECT_EQ(prsm3D->LightMask(), 4);
    X_MAKE3D(1, 100, 45);
    EXPECT_EQ(prsm3D->LightMask(), 0);
}

// Fading that is no number, negative or beyond its range stays within its range: a
// grey square under a spot light (light 12 is light 4) 5 in front, turned to it, gives 116 unfaded (see the
// pixel cases), and never a NaN's black.
TEST_F(Scene3DTest, LightFalloffTakesOnlyNumbersInItsRange) {
    Square(1, 100 * 0x010101);
    const auto drawn = [](double exponent, double constant, double linear, double quadratic) {
        X_LIGHTFALLOFF(12, exponent, constant, linear, quadratic);
        X_SPOT_LT(4, kWhite, 0, 0, 5, 0, 0, -1, 60);
        X_DRAWOBJ(1, 0);
        return static_cast<int>(ReadPixel(320, 240) & 0xFF);
    };
    EXPECT_NEAR(drawn(0, 1, 0, 0), 116, 2);
    EXPECT_NEAR(drawn(NAN, NAN, NAN, NAN), 116, 2);  // all 0: no attenuation
    EXPECT_NEAR(drawn(-5, 0, 0, -1), 116, 2);        // as 0, 1, 0, 0
    EXPECT_NEAR(drawn(1e300, 1, 0, 0), 20, 2);       // exponent 128: 0.962^128 is nothing
    EXPECT_NEAR(drawn(INFINITY, 1, 0, 0), 20, 2);
    EXPECT_NEAR(drawn(0, 1e300, 0, 0), 20, 2);      // divided by 1000000
    EXPECT_NEAR(drawn(0, 0.5, 0, 0), 116 + 96, 3);  // twice the light
    X_LIGHTFALLOFF(4, 0, 1, 0, 0);
}

}  // namespace
