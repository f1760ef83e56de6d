// Building, compression and the object file: exact decoding, the 255 cap, byte-exact
// round trips, hostile files and the memory an object may take.
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>

#include "core/byte_io.h"

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
    EXPECT_EQ(f.TriangleVertices(), 3u);  // the second strip has one vertex: no triangle

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
        EXPECT_EQ(prsm3D->Slot(5)->buffers[0], 0u) << what;
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

TEST_F(ObjectFileTest, BytesAfterTheLastFrameAreNotRead) {
    X_OBJSTART(3);
    for (int i = 0; i < 4; ++i) X_OBJADDVERTEX(i % 2, i / 2, 0, 0, 0, 0xFF);
    X_OBJEND();
    X_SAVEOBJ(DQStr(Path("good.obj").c_str()), 3);
    const std::vector<uint8_t> good = Bytes(Path("good.obj"));
    std::string padded(good.begin(), good.end());
    padded += std::string("\0\x17\xB3\xC6\0 and more", 15);
    WriteText(Path("padded.obj"), padded);
    X_LOADOBJ(DQStr(Path("padded.obj").c_str()), 5);
    ASSERT_EQ(Mesh(5).FrameCount(), 1);
    EXPECT_EQ(Mesh(5).frames[0].nodes.size(), 5u);
    EXPECT_NE(prsm3D->Slot(5)->buffers[0], 0u);
    // Saved again it is the object alone.
    X_SAVEOBJ(DQStr(Path("again.obj").c_str()), 5);
    EXPECT_EQ(Bytes(Path("again.obj")), good);
}

TEST_F(ObjectFileTest, AnEmptySlotSavesAFileOfNoFramesThatLoadsEmpty) {
    X_OBJSTART(6);
    X_OBJEND();  // nothing but a marker: the slot stays empty
    X_SAVEOBJ(DQStr(Path("empty.obj").c_str()), 6);
    ByteWriter header;
    header.U32(0x00C6B317).F64(1.02).I32(0).I32(0).I32(0);
    EXPECT_EQ(Bytes(Path("empty.obj")), header.Data());

    // Loading it over an object leaves the slot empty, and nothing is drawn.
    X_OBJSTART(7);
    for (int i = 0; i < 4; ++i) X_OBJADDVERTEX(i % 2, i / 2, 0, 0, 0, 0xFF);
    X_OBJEND();
    ASSERT_EQ(Mesh(7).FrameCount(), 1);
    X_LOADOBJ(DQStr(Path("empty.obj").c_str()), 7);
    EXPECT_EQ(Mesh(7).FrameCount(), 0);
    EXPECT_EQ(prsm3D->Slot(7)->buffers[0], 0u);
    X_DRAWOBJ(7, 0);
    EXPECT_EQ(X_COLLISION(7, 0, 100, 0, 0, 0), 0);
    EXPECT_TRUE(Covered(640, 480) == kNothing);
    X_SAVEOBJ(DQStr(Path("again.obj").c_str()), 7);
    EXPECT_EQ(Bytes(Path("again.obj")), header.Data());
    // A slot number out of range still writes nothing.
    X_SAVEOBJ(DQStr(Path("none.obj").c_str()), 4095);
    EXPECT_FALSE(std::filesystem::exists(Path("none.obj")));
}

TEST_F(ObjectFileTest, MarkerNodesBelowTheFrameKeepTheLowBitsOfTheirRoundedCoordinate) {
    // x from 10 to 20 (scale 10 / 255, offset -255), y from -2 to 8 (offset 51), z
    // always 5.25 (scale 1, offset -5.25). The markers lie at (0, 0, 0): x rounds to
    // -255, kept as 1; y is 51; z -5.25 rounds to -5, kept as 251.
    X_AUTONORMALS(0);
    X_OBJSTART(2);
    X_OBJADDVERTEX(10, -2, 5.25, 0, 0, 0xFF);
    X_OBJADDVERTEX(20, 8, 5.25, 0, 0, 0xFF);
    X_OBJADDVERTEX(15, 0, 5.25, 0, 0, 0xFF);
    X_OBJNEWGROUP();
    X_OBJADDVERTEX(12, 1, 5.25, 0, 0, 0xFF);
    X_OBJEND();
    X_AUTONORMALS(2);
    X_SAVEOBJ(DQStr(Path("m.obj").c_str()), 2);
    const std::vector<uint8_t> b = Bytes(Path("m.obj"));
    // Header 24, palette 2 x 4, coordinates 6 x 8, frame header 28: nodes from 108.
    ASSERT_EQ(b.size(), 108u + 6 * 5);
    auto node = [&](int i) { return std::vector<int>{b[108 + 5 * i], b[109 + 5 * i], b[110 + 5 * i]}; };
    EXPECT_EQ(node(0), (std::vector<int>{1, 51, 251}));
    EXPECT_EQ(node(4), (std::vector<int>{1, 51, 251}));
    EXPECT_EQ(node(1), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(node(2), (std::vector<int>{255, 255, 0}));
    // The object draws and saves back as it was.
    X_LOADOBJ(DQStr(Path("m.obj").c_str()), 3);
    X_SAVEOBJ(DQStr(Path("m2.obj").c_str()), 3);
    EXPECT_EQ(Bytes(Path("m2.obj")), b);

    // The rule at its edges: nearest whole number (halves up), its low eight bits below
    // 0, 255 from 255 up and for NaN, 0 for minus infinity.
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(__Quantize(-2, 1, 0), 254);
    EXPECT_EQ(__Quantize(-0.4f, 1, 0), 0);
    EXPECT_EQ(__Quantize(-0.6f, 1, 0), 255);
    EXPECT_EQ(__Quantize(-256.2f, 1, 0), 0);
    EXPECT_EQ(__Quantize(-1e30f, 1, 0), 0);  // a multiple of 256
    EXPECT_EQ(__Quantize(-inf, 1, 0), 0);
    EXPECT_EQ(__Quantize(254.49f, 1, 0), 254);
    EXPECT_EQ(__Quantize(254.5f, 1, 0), 255);
    EXPECT_EQ(__Quantize(1e30f, 1, 0), 255);
    EXPECT_EQ(__Quantize(std::nanf(""), 1, 0), 255);
}

// A file of `frames` frames of one strip of `nodes` nodes each (no texture
// coordinates), the strip zigzagging through the frame's grid.
std::string StripFile(int frames, size_t nodes) {
    ByteWriter w;
    w.U32(0x00C6B317).F64(1.02).I32(frames).I32(2).I32(0).U32(0xFFFFFFFE).U32(0x00FF00);
    w.I32(static_cast<int32_t>(nodes)).F32(127.5f).F32(127.5f).F32(127.5f).F32(0.01f).F32(0.01f).F32(0.01f);
    std::string frame(w.Data().end() - 28, w.Data().end());
    frame.resize(28 + nodes * 5);  // the marker: all 0
    for (size_t i = 1; i < nodes; ++i) {
        char* n = &frame[28 + i * 5];
        n[0] = static_cast<char>(i / 2);
        n[1] = static_cast<char>(i % 2 * 50);
        n[2] = static_cast<char>(128);
        n[3] = 5;
        n[4] = 1;
    }
    std::string file(w.Data().begin(), w.Data().end() - 28);
    file.reserve(file.size() + frames * frame.size());
    for (int f = 0; f < frames; ++f) file += frame;
    return file;
}

TEST_F(ObjectFileTest, FilesOfObjectsLargerThanTheMemoryBudgetAreRefused) {
    // One frame of 3.2 million nodes: a 16 MB file, well inside the file size cap, but
    // drawn it would take some 660 MB.
    WriteText(Path("huge.obj"), StripFile(1, 3200000));
    X_OBJSTART(9);
    for (int i = 0; i < 4; ++i) X_OBJADDVERTEX(i % 2, i / 2, 0, 0, 0, 0xFF);
    X_OBJEND();
    X_LOADOBJ(DQStr(Path("huge.obj").c_str()), 9);
    EXPECT_TRUE(Mesh(9).frames.empty() && Mesh(9).palette.empty());
    EXPECT_EQ(prsm3D->Slot(9)->buffers[0], 0u);
    X_MAKE3D(1, 100, 45);
    X_CAMERA(0, 0, 3, 0, 0, 0);
    X_DRAWOBJ(9, 0);
    EXPECT_EQ(X_COLLISION(9, 0, 5, 0, 0, 0), 0);
    X_MAKE2D();
    EXPECT_TRUE(Covered(640, 480) == kNothing);

    // The same number of nodes spread over 64 frames is an ordinary animation: it loads,
    // and all frames share one triangle list.
    WriteText(Path("long.obj"), StripFile(64, 50000));
    X_LOADOBJ(DQStr(Path("long.obj").c_str()), 9);
    ASSERT_EQ(Mesh(9).FrameCount(), 64);
    EXPECT_EQ(Mesh(9).frames[63].TriangleVertices(), 3u * (50000 - 3));
    EXPECT_EQ(Mesh(9).frames[63].triangles, Mesh(9).frames[0].triangles);
    X_MAKE3D(1, 100, 45);
    X_CAMERA(0, 0, 3, 0, 0, 0);
    X_DRAWANIM(9, 0, 63, 0.5, 1);
    X_MAKE2D();
    EXPECT_FALSE(Covered(640, 480) == kNothing);
}

}  // namespace
