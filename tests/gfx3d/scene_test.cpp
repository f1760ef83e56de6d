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

TEST_F(Scene3DTest, ObjectsDrawWhereTheCameraLooksWithCullingLightTextureAndBillboards) {
    // Untextured after a sprite was drawn: X_MAKE3D switches GL texturing off.
    SolidSprite(0, 8, 8, kGreen);
    X_MAKE2D();
    SPRITE(0, 600, 400);
    X_MAKE3D(1, 100, 45);
    X_CAMERA(0, 0, 10, 0, 0, 0);
    Square(1, kRed);
    X_DRAWOBJ(1, 0);
    EXPECT_EQ(ReadPixel(320, 240), kRed);
    EXPECT_EQ(ReadPixel(320 + 45, 240 - 45), kRed);
    EXPECT_EQ(ReadPixel(320 + 70, 240), 0u);

    // Culling: counter-clockwise front faces keep the square, clockwise ones hide it.
    for (double mode : {1.0, 0.5, -1.0, -0.5, 0.0}) {
        Clear();
        glClear(GL_DEPTH_BUFFER_BIT);
        X_CULLMODE(mode);
        X_DRAWOBJ(1, 0);
        EXPECT_EQ(ReadPixel(320, 240), mode > 0 ? 0u : kRed) << "cull mode " << mode;
    }

    // A point light in front of the face brightens it above the ambient level.
    Clear();
    glClear(GL_DEPTH_BUFFER_BIT);
    X_AMBIENT_LT(2, 0);
    X_DRAWOBJ(1, 0);
    const uint32_t dim = ReadPixel(320, 240) & 0xFF;
    X_SPOT_LT(9, kWhite, 0, 0, 5, 0, 0, 0, 360);  // light 9 is light 1
    EXPECT_EQ(prsm3D->LightMask(), 6);
    X_DRAWOBJ(1, 0);
    EXPECT_GT(ReadPixel(320, 240) & 0xFF, dim + 100);
    X_SPOT_LT(1, kWhite, 0, 0, 5, 0, 0, 0, 0);
    EXPECT_EQ(prsm3D->LightMask(), 4);
    X_MAKE3D(1, 100, 45);  // all lights off
    EXPECT_EQ(prsm3D->LightMask(), 0);
    X_CAMERA(0, 0, 10, 0, 0, 0);

    // A texture on a white object; a texture number beyond the sprites changes nothing.
    Square(2, kWhite);
    X_SETTEXTURE(0, -1);
    X_SETTEXTURE(5000, -1);
    X_DRAWOBJ(2, 0);
    EXPECT_EQ(ReadPixel(320, 240), kGreen);

    // A billboard faces the camera whatever the cull mode, which it leaves as it was.
    Clear();
    glClear(GL_DEPTH_BUFFER_BIT);
    SolidSprite(3, 16, 16, kBlue);
    X_CULLMODE(1);
    X_SPRITE(3, 1, 0, 0, 0.1);  // 1.6 units wide, centred 58 pixels right of the middle
    EXPECT_EQ(__g_cullMode, 1);
    EXPECT_EQ(ReadPixel(320 + 58, 240), kBlue);
    EXPECT_EQ(ReadPixel(320 + 58 + 40, 240), kBlue);
    EXPECT_EQ(ReadPixel(320 + 58 + 55, 240), 0u);
    EXPECT_EQ(ReadPixel(320, 240), 0u);
}

TEST_F(Scene3DTest, AxesAndBumpLighting) {
    X_DRAWAXES(0, 0, 0);
    auto either = [](int x0, int y0, int x1, int y1) { return ReadPixel(x0, y0) | ReadPixel(x1, y1); };
    EXPECT_EQ(either(350, 239, 350, 240), kRed);
    EXPECT_EQ(either(319, 210, 320, 210), kGreen);

    // A flat bump map under a white texture: bright with the bump light in front of the
    // face, dark with it at the side.
    Clear();
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

TEST_F(Scene3DTest, ALightChangingItsKindBetweenDrawsLightsEachDrawAsItIsThen) {
    // Grey 100 lit per vertex by light 3 alone: the scene's 0.2 plus the diffuse part
    // at the corners, from where the light is then.
    const double grey = 100 * 0x010101;
    Square(1, grey);
    const auto drawn = [this] {
        X_DRAWOBJ(1, 0);
        return ReadPixel(320, 240) & 0xFF;
    };
    // A point light 5 in front: 1 / sqrt(27) * 5 = 0.962 of it at the corners.
    X_SPOT_LT(3, kWhite, 0, 0, 5, 0, 0, 0, 360);
    EXPECT_NEAR(drawn(), 116, 2);
    // The same place as a spot turned away: only the scene's 0.2.
    X_SPOT_LT(3, kWhite, 0, 0, 5, 0, 0, 1, 10);
    EXPECT_NEAR(drawn(), 20, 2);
    // Turned towards the square, which lies inside its cone.
    X_SPOT_LT(3, kWhite, 0, 0, 5, 0, 0, -1, 30);
    EXPECT_NEAR(drawn(), 116, 2);
    // A dimmer point light again: the light it has now, not the one it had before.
    X_SPOT_LT(3, 0x808080, 0, 0, 5, 0, 0, 0, 360);
    EXPECT_NEAR(drawn(), 20 + 0.962 * 100 * 128 / 255, 2);
    // Shining straight down the view from infinitely far: all of it.
    X_SPOT_LT(3, kWhite, 0, 0, 0, 0, 0, -1, 180);
    EXPECT_NEAR(drawn(), 120, 2);
    // And a second light beside it, the point light of green only.
    X_SPOT_LT(5, kGreen, 0, 0, 5, 0, 0, 0, 360);
    X_DRAWOBJ(1, 0);
    const uint32_t both = ReadPixel(320, 240);
    EXPECT_NEAR(both & 0xFF, 120, 2);
    EXPECT_NEAR((both >> 8) & 0xFF, 216, 2);
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

TEST_F(Scene3DTest, TexelsLandWhereTheyBelongAndNoStateLeaksBetween2DAnd3D) {
    // A texture of four quadrants on the square (u to the right, v downwards in the
    // picture), drawn right after 2D sprites that took the nearest-texel sampler.
    Load(0, {.width = 16, .height = 16, .pixel = [](int c, int r) {
                 return r < 8 ? (c < 8 ? kRed : kGreen) : (c < 8 ? kBlue : kWhite);
             }});
    SolidSprite(1, 8, 8, kGreen);
    X_MAKE2D();
    SPRITE(1, 600, 400);
    ALPHAMODE(0);
    X_MAKE3D(1, 100, 45);
    X_CAMERA(0, 0, 10, 0, 0, 0);
    Square(1, kWhite);
    X_SETTEXTURE(0, -1);
    X_DRAWOBJ(1, 0);
    // The square's vertices give v = 1 at the bottom: the picture's top row is at the top.
    EXPECT_EQ(Pixels({{320 - 30, 240 - 30}, {320 + 30, 240 - 30}, {320 - 30, 240 + 30}, {320 + 30, 240 + 30}}),
              (Colours{kRed, kGreen, kBlue, kWhite}));

    // Lit, culled, textured and bump-mapped 3D drawing, then 2D: sprites, text,
    // rectangles and points come out in their own colours, at their own places.
    X_AMBIENT_LT(0, 0x202020);
    X_SPOT_LT(1, kRed, 0, 0, 5, 0, 0, 0, 360);
    X_CULLMODE(-1);
    LOADBUMPTEXTURE(DQStr(WriteBitmap(Path("flat.bmp"), {.width = 8, .height = 8, .pixel = Solid(0x808080)}).c_str()),
                    2);
    X_SETTEXTURE(0, 2);
    X_SPOT_LT(-1, kWhite, 0, 0, 50, 0, 0, 0, 360);
    X_DRAWOBJ(1, 0);
    X_SPOT_LT(-1, kWhite, 0, 0, 0, 0, 0, 0, 0);
    X_SETTEXTURE(0, -1);
    X_DRAWANIM(1, 0, 0, 0, 0);
    X_MAKE2D();
    Clear();
    SPRITE(1, 0, 0);
    FILLRECT(10, 0, 18, 8, kBlue);
    SETPIXEL(20, 4, kRed);
    STRETCHSPRITE(1, 30, 0, 16, 16);
    EXPECT_EQ(Pixels({{4, 4}, {14, 4}, {20, 4}, {38, 8}, {50, 4}}), (Colours{kGreen, kBlue, kRed, kGreen, 0}));
    // 2D in the whole window again: the projection of 3D is gone.
    EXPECT_EQ(Covered(640, 480), (Box{0, 0, 45, 15}));
}

}  // namespace
