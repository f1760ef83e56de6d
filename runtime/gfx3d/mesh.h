// Internal: polygon objects of the 3D commands, in the compressed form they are kept,
// saved and loaded in, and the triangle lists they are drawn and tested from. Nothing
// here touches the GL, so the object file reader can be fed any bytes on its own.
//
// An object has one or more frames (the poses of an animation). A frame is a list of
// nodes; each node is a vertex in quantized form (one byte per axis, decoded with the
// frame's offset and scale), an index into the constant normal table and an index into
// the object's palette. A palette entry is a colour R + 256 G + 65536 B, or a group
// marker: a node whose entry is a marker starts a new group of separate triangles, a
// triangle strip or a triangle fan, and is no vertex itself. Texture coordinates are
// kept once per node position of the first frame and shared by every frame.
//
// The object file, little-endian, packed:
//   u32 magic 0x00C6B317, f64 version 1.02, i32 frame count, i32 palette count,
//   i32 texture-coordinate count, palette count x u32, count x (f32 u, f32 v),
//   then per frame: i32 node count, 3 x f32 offset, 3 x f32 scale,
//   node count x (u8 x, u8 y, u8 z, u8 normal index, u8 palette index).
// A reader takes these fields and stops: bytes after the last frame are not read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

constexpr uint32_t __kGroupTriangles = 0xFFFFFFFFu;
constexpr uint32_t __kGroupStrip = 0xFFFFFFFEu;
constexpr uint32_t __kGroupFan = 0xFFFFFFFDu;
// Colour fields from this value up are group markers, not colours.
constexpr uint32_t __kFirstMarker = 0xFFFFFFFCu;
inline bool __IsMarker(uint32_t c) { return c >= __kFirstMarker; }

constexpr uint32_t __kObjectMagic = 0x00C6B317u;
constexpr double __kObjectVersion = 1.02;

// Object files larger than this are refused unread.
constexpr int64_t __kLargestObjectFile = int64_t{64} << 20;
// The most memory one loaded object may take, drawing included (its static buffers, and
// the vertices and buffers of blended frames): a file whose counts ask for more is
// refused before anything is made for it. Reached by a single frame of some 2.6
// million nodes (a 13 MB file); animations of many smaller frames stay far below it.
constexpr size_t __kObjectMemoryBudget = size_t{512} << 20;

// A vertex as it is built and as it is decoded from a node: 18 four-byte values.
struct __Vertex3D {
    float x = 0, y = 0, z = 0;
    float nx = 0, ny = 0, nz = 0;
    float u = 0, v = 0;
    float tx = 0, ty = 0, tz = 0;  // tangent: the direction of growing u on the surface
    float bx = 0, by = 0, bz = 0;  // binormal: the direction of growing v
    float lr = 0, lg = 0, lb = 0;  // spare per-vertex lighting values
    uint32_t colour = 0;           // colour or group marker
};
static_assert(sizeof(__Vertex3D) == 18 * 4);

struct __Node {
    uint8_t x = 0, y = 0, z = 0;
    uint8_t normal = 0;                 // into the normal table
    uint8_t tangent = 0, binormal = 0;  // for bump lighting (PrepareBump); not saved
    uint8_t palette = 0;
};

struct POLY_FRAME {
    std::vector<__Node> nodes;
    float offset[3] = {0, 0, 0};
    float scale[3] = {1, 1, 1};
    float radius = 0;  // largest distance of a vertex from the origin
    // The node numbers of the frame's triangles, three per triangle (Prepare). Frames
    // whose groups lie alike share one list.
    std::shared_ptr<const std::vector<uint32_t>> triangles;

    // Three per triangle.
    size_t TriangleVertices() const { return triangles ? triangles->size() : 0; }
    // Position of node i.
    void Position(size_t i, float p[3]) const {
        const __Node& n = nodes[i];
        p[0] = (n.x - offset[0]) * scale[0];
        p[1] = (n.y - offset[1]) * scale[1];
        p[2] = (n.z - offset[2]) * scale[2];
    }
};

// The counts of an object file, read before the object is made.
struct __ObjectCounts {
    size_t palette = 0, uv = 0, frames = 0;
    size_t nodes = 0;              // of all frames
    size_t firstFrameNodes = 0;    // the static buffers'
    size_t largestFrameNodes = 0;  // the most a blended draw streams
};

class MeshObject {
public:
    std::vector<POLY_FRAME> frames;
    std::vector<uint32_t> palette;
    std::vector<float> u, v;

    void Clear();
    int FrameCount() const { return static_cast<int>(frames.size()); }
    // Drawable: at least one frame and nodes in the first.
    bool Drawable() const { return !frames.empty() && !frames[0].nodes.empty(); }

    // Replaces the object by the compressed form of the given frames of vertex records
    // (markers included). The palette and the texture coordinates (of the first frame)
    // are made on the way.
    void Compress(const std::vector<std::vector<__Vertex3D>>& source);
    // New normals from the compressed geometry: each node the average of the faces it
    // belongs to, or, with `smooth`, of the faces of every node at its position.
    void RecomputeNormals(bool smooth);
    // Bounding radii and the triangle lists of every frame.
    void Prepare();
    // The surface directions of growing u and v at every node, which only bump
    // lighting needs: made on its first use, kept until the object changes.
    void PrepareBump();
    bool BumpReady() const { return bumpReady_; }

    // Node i of a frame decoded: position, table normal, texture coordinate, bump
    // directions, colour.
    __Vertex3D Decode(const POLY_FRAME& f, size_t i) const;
    // The nodes of the frame's triangles, three per triangle, walked group by group.
    std::vector<uint32_t> TriangleNodes(const POLY_FRAME& f) const;

    // The object file. Parse checks every count against the bytes present, every index
    // against its table and the memory the object would take against the budget
    // before it keeps anything; on failure the object is empty.
    std::vector<uint8_t> Serialise() const;
    bool Parse(std::span<const uint8_t> bytes);
    bool Save(const char* path) const;

    // The memory an object of these counts may take once loaded and drawn.
    static size_t MemoryNeeded(const __ObjectCounts& counts);

private:
    bool bumpReady_ = false;
};

// Index of the table normal nearest to the direction (normalised first when it has a
// length): the first of the nearest by squared distance.
int __NearestNormal(float x, float y, float z);
// A coordinate in a frame's byte grid: value / scale + offset rounded to the nearest
// whole number, 255 for 255 and more (and NaN); below 0 the byte wraps round as the
// rounded number's low eight bits.
uint8_t __Quantize(float value, float scale, float offset);
