// Building, compression and the object file: exact decoding, the 255 cap, byte-exact
// round trips and hostile files.
#include <fstream>
#include <iterator>

#include "gfx3d/prism3d.h"
#include "support/gfx_fixture.h"

namespace {

using ObjectFileTest = GfxTest;

std::vector<uint8_t> Bytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

const MeshObject& Mesh(int nr) { return prsm3D->Slot(nr)->mesh; }

TEST_F(ObjectFileTest, BuildingCompressesEveryNodeAndSavedFilesLoadByteForByte) {
    X_AUTONORMALS(0);
    X_OBJSTART(7);
    X_OBJADDVERTEX(-1, 0.5, 5.25, 0.25, 0.5, 0x0000FF);
    X_OBJADDVERTEX(3, 2, 5.25, 1, 0.5, 0x00FF00);
    X_OBJADDVERTEX(1.7, 1, 5.25, 0.5, 1, 0x0000FF);
    X_OBJNEWGROUP();
    X_OBJADDVERTEX(0, 0.5, 5.25, 0, 0, 0x0000FF);
    X_OBJEND();
    const MeshObject& m = Mesh(7);
    ASSERT_EQ(m.FrameCount(), 1);
    const POLY_FRAME& f = m.frames[0];
    ASSERT_EQ(f.nodes.size(), 6u);  // two markers, four vertices
    // The palette in order of first use, markers included; texture coordinates for
    // every node.
    EXPECT_EQ(m.palette, (std::vector<uint32_t>{__kGroupStrip, 0x0000FF, 0x00FF00}));
    EXPECT_EQ(m.u.size(), 6u);
    EXPECT_EQ(m.v[3], 1.0f);
    EXPECT_EQ(f.nodes[4].palette, 0);
    EXPECT_EQ(f.scale[2], 1.0f);  // a flat axis
    for (int i : {1, 2, 3, 5}) EXPECT_EQ(m.Decode(f, i).z, 5.25f);
    EXPECT_EQ(f.nodes[1].x, 0);
    EXPECT_EQ(f.nodes[2].x, 255);  // the largest value: 255, never more
    EXPECT_EQ(f.nodes[2].y, 255);
    EXPECT_EQ(m.Decode(f, 3).u, 0.5f);
    EXPECT_EQ(m.Decode(f, 3).v, -1.0f);
    EXPECT_EQ(f.triangles.size(), 3u);  // the second strip has one vertex: no triangle

    X_SAVEOBJ(DQStr(Path("a.obj").c_str()), 7);
    X_LOADOBJ(DQStr(Path("a.obj").c_str()), 8);
    X_SAVEOBJ(DQStr(Path("b.obj").c_str()), 8);
    const std::vector<uint8_t> a = Bytes(Path("a.obj")), b = Bytes(Path("b.obj"));
    EXPECT_EQ(a.size(), 24u + 3 * 4 + 6 * 8 + 28 + 6 * 5);
    EXPECT_EQ(a, b);
    EXPECT_EQ(Mesh(8).palette, m.palette);
    EXPECT_EQ(Mesh(8).u, m.u);

    // Normals from the faces: this triangle faces -z (clockwise seen from +z).
    X_AUTONORMALS(4);  // 4 modulo 3: per face
    X_OBJSTART(9);
    X_OBJADDVERTEX(0, 0, 0, 0, 0, 0xFF);
    X_OBJADDVERTEX(0, 1, 0, 0, 0, 0xFF);
    X_OBJADDVERTEX(1, 0, 0, 0, 0, 0xFF);
    X_OBJEND();
    X_AUTONORMALS(2);
    EXPECT_EQ(Mesh(9).Decode(Mesh(9).frames[0], 1).nz, -1.0f);

    // Nothing but markers: the slot stays empty; numbers beyond the slots do nothing.
    X_OBJSTART(9);
    X_OBJEND();
    EXPECT_TRUE(Mesh(9).frames.empty());
    X_OBJSTART(4095);
    X_OBJADDVERTEX(1, 1, 1, 0, 0, 0);
    X_OBJEND();
    X_SAVEOBJ(DQStr(Path("c.obj").c_str()), -1);
    X_LOADOBJ(DQStr(Path("a.obj").c_str()), 1e9);
    EXPECT_FALSE(std::filesystem::exists(Path("c.obj")));
}

TEST_F(ObjectFileTest, HostileFilesLoadNothing) {
    X_OBJSTART(3);
    for (int i = 0; i < 4; ++i) X_OBJADDVERTEX(i % 2, i / 2, 0, 0, 0, 0xFF);
    X_OBJEND();
    X_SAVEOBJ(DQStr(Path("good.obj").c_str()), 3);
    const std::vector<uint8_t> good = Bytes(Path("good.obj"));
    auto refused = [&](std::vector<uint8_t> bytes, const char* what) {
        X_LOADOBJ(DQStr(Path("good.obj").c_str()), 5);
        ASSERT_FALSE(Mesh(5).frames.empty());
        WriteText(Path("bad.obj"), std::string(bytes.begin(), bytes.end()));
        X_LOADOBJ(DQStr(Path("bad.obj").c_str()), 5);
        EXPECT_TRUE(Mesh(5).frames.empty() && Mesh(5).palette.empty()) << what;
        EXPECT_EQ(prsm3D->Slot(5)->list, 0u) << what;
        Clear();
        X_DRAWOBJ(5, 0);
        EXPECT_TRUE(Covered(640, 480) == kNothing) << what;
    };
    auto put32 = [](std::vector<uint8_t> b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
        return b;
    };
    // Header: magic 0, version 4, frames 12, palette 16, texture coordinates 20; the
    // palette (2 entries) at 24, coordinates (5) at 32, the frame at 72, nodes at 100.
    refused(put32(good, 0, 0x00C6B318), "magic");
    std::vector<uint8_t> v = good;
    v[4] ^= 1;
    refused(v, "version");
    refused(put32(good, 12, 2), "a frame more than the file holds");
    refused(put32(good, 12, 0x7FFFFFFF), "huge frame count");
    refused(put32(good, 16, 0x40000000), "huge palette count");
    refused(put32(good, 20, 0xFFFFFFFF), "negative coordinate count");
    refused(put32(good, 72, 6), "a node more than the file holds");
    v = good;
    v[100 + 4] = 2;  // palette index beyond the palette
    refused(v, "palette index");
    v = good;
    v[100 + 3] = 162;  // no such table normal
    refused(v, "normal index");
    v = good;
    v.push_back(0);
    refused(v, "trailing byte");
    for (size_t n = 0; n < good.size(); ++n) refused(std::vector<uint8_t>(good.begin(), good.begin() + n), "cut");
    X_LOADOBJ(DQStr(Path("nowhere.obj").c_str()), 5);
    EXPECT_TRUE(Mesh(5).frames.empty());

    // A first frame without nodes loads but is never drawn.
    v = put32(good, 72, 0);
    v.resize(100);
    WriteText(Path("empty.obj"), std::string(v.begin(), v.end()));
    X_LOADOBJ(DQStr(Path("empty.obj").c_str()), 5);
    EXPECT_EQ(Mesh(5).FrameCount(), 1);
    X_DRAWOBJ(5, 0);
    X_DRAWANIM(5, 0, 3, 0.5, 1);
    EXPECT_EQ(X_COLLISION(5, 0, 100, 0, 0, 0), 0);
    EXPECT_TRUE(Covered(640, 480) == kNothing);
}

}  // namespace
