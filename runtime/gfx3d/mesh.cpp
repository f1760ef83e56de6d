// Polygon objects: compression, decoding, normals, triangle lists and the object file.
#include "gfx3d/mesh.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "core/byte_io.h"
#include "gfx3d/normal_table.h"
#include "platform/files.h"

namespace {

// Bytes of a frame without its nodes, and of one node.
constexpr size_t kFrameHeaderBytes = 4 + 6 * 4;
constexpr size_t kNodeBytes = 5;

// What a loaded object takes beyond its nodes, per node, at most: three triangle
// indices (a strip or a fan has nearly one triangle a node); for the first frame its
// static vertex and index buffers (position, normal, texture coordinate and colour of
// every vertex, 36 bytes, and the indices; a software GL keeps them in memory too); for
// the largest frame, once it is drawn blended, its vertices as streamed (position,
// normal, texture coordinate, colour) in memory and in the two vertex buffers they are
// handed to in turn.
constexpr size_t kTriangleBytesPerNode = 3 * sizeof(uint32_t);
constexpr size_t kStaticBufferBytesPerNode = 80;
constexpr size_t kStreamBytesPerNode = 3 * 36;
// A frame's own bookkeeping, its shared triangle list's included.
constexpr size_t kFrameBytes = sizeof(POLY_FRAME) + 64;

struct Vec {
    float x = 0, y = 0, z = 0;
};
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec operator*(Vec a, float k) { return {a.x * k, a.y * k, a.z * k}; }
float Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec TableNormal(int i) { return {__kVertexNormals[i][0], __kVertexNormals[i][1], __kVertexNormals[i][2]}; }
Vec PositionOf(const POLY_FRAME& f, size_t i) {
    float p[3];
    f.Position(i, p);
    return {p[0], p[1], p[2]};
}

// Any unit vector perpendicular to n (n of unit length).
Vec Perpendicular(Vec n) {
    Vec t = std::fabs(n.x) < 0.9f ? Cross(n, Vec{1, 0, 0}) : Cross(n, Vec{0, 1, 0});
    float len = std::sqrt(Dot(t, t));
    return len > 0 ? t * (1 / len) : Vec{1, 0, 0};
}

// What a node is to the triangle walk: 0 a vertex, else the group its marker starts.
uint32_t GroupOf(const MeshObject& m, const __Node& n) {
    const uint32_t c = n.palette < m.palette.size() ? m.palette[n.palette] : 0;
    if (!__IsMarker(c)) return 0;
    return c == __kFirstMarker ? __kGroupTriangles : c;
}

// Two frames whose nodes start the same groups at the same places make the same
// triangles.
bool SameGroups(const MeshObject& m, const POLY_FRAME& a, const POLY_FRAME& b) {
    if (a.nodes.size() != b.nodes.size()) return false;
    for (size_t i = 0; i < a.nodes.size(); ++i)
        if (a.nodes[i].palette != b.nodes[i].palette && GroupOf(m, a.nodes[i]) != GroupOf(m, b.nodes[i]))
            return false;
    return true;
}

}  // namespace

int __NearestNormal(float x, float y, float z) {
    const float len = std::sqrt(x * x + y * y + z * z);
    if (len > 0) {
        x /= len;
        y /= len;
        z /= len;
    }
    float best = 10000;
    int index = 0;
    for (int i = 0; i < __kNormalCount; ++i) {
        const float dx = x - __kVertexNormals[i][0], dy = y - __kVertexNormals[i][1], dz = z - __kVertexNormals[i][2];
        const float d = dx * dx + dy * dy + dz * dz;
        if (d < best) {
            best = d;
            index = i;
            if (d == 0) break;
        }
    }
    return index;
}

uint8_t __Quantize(float value, float scale, float offset) {
    const float q = value / scale + offset;
    if (!(q < 255)) return 255;  // 255 and more, and NaN
    const double whole = std::floor(q + 0.5f);
    if (!std::isfinite(whole)) return 0;
    // The low eight bits of the whole number, also of a negative one (-2 gives 254).
    double low = std::fmod(whole, 256.0);
    if (low < 0) low += 256;
    return static_cast<uint8_t>(static_cast<int>(low));
}

void MeshObject::Clear() {
    frames.clear();
    palette.clear();
    u.clear();
    v.clear();
    bumpReady_ = false;
}

void MeshObject::Compress(const std::vector<std::vector<__Vertex3D>>& source) {
    Clear();
    for (size_t fi = 0; fi < source.size(); ++fi) {
        const std::vector<__Vertex3D>& src = source[fi];
        POLY_FRAME f;
        float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
        bool any = false;
        for (const __Vertex3D& r : src) {
            if (__IsMarker(r.colour)) continue;
            const float p[3] = {r.x, r.y, r.z};
            for (int a = 0; a < 3; ++a) {
                lo[a] = any ? std::min(lo[a], p[a]) : p[a];
                hi[a] = any ? std::max(hi[a], p[a]) : p[a];
            }
            any = true;
        }
        for (int a = 0; a < 3; ++a) {
            f.scale[a] = (hi[a] - lo[a]) / 255;
            if (f.scale[a] == 0) f.scale[a] = 1;
            f.offset[a] = -lo[a] / f.scale[a];
        }
        f.nodes.reserve(src.size());
        for (const __Vertex3D& r : src) {
            __Node n;
            auto at = std::find(palette.begin(), palette.end(), r.colour);
            if (at == palette.end()) {
                palette.push_back(r.colour);
                at = palette.end() - 1;
            }
            n.palette = static_cast<uint8_t>(at - palette.begin());
            if (fi == 0) {
                u.push_back(r.u);
                v.push_back(r.v);
            }
            n.normal = static_cast<uint8_t>(__NearestNormal(r.nx, r.ny, r.nz));
            n.x = __Quantize(r.x, f.scale[0], f.offset[0]);
            n.y = __Quantize(r.y, f.scale[1], f.offset[1]);
            n.z = __Quantize(r.z, f.scale[2], f.offset[2]);
            f.nodes.push_back(n);
        }
        frames.push_back(std::move(f));
    }
}

__Vertex3D MeshObject::Decode(const POLY_FRAME& f, size_t i) const {
    __Vertex3D r;
    const __Node& n = f.nodes[i];
    float p[3];
    f.Position(i, p);
    r.x = p[0];
    r.y = p[1];
    r.z = p[2];
    const int k = n.normal < __kNormalCount ? n.normal : 0;
    r.nx = __kVertexNormals[k][0];
    r.ny = __kVertexNormals[k][1];
    r.nz = __kVertexNormals[k][2];
    if (i < u.size() && i < v.size()) {
        r.u = u[i];
        r.v = -v[i];
    }
    const int t = n.tangent < __kNormalCount ? n.tangent : 0, b = n.binormal < __kNormalCount ? n.binormal : 0;
    r.tx = __kVertexNormals[t][0];
    r.ty = __kVertexNormals[t][1];
    r.tz = __kVertexNormals[t][2];
    r.bx = __kVertexNormals[b][0];
    r.by = __kVertexNormals[b][1];
    r.bz = __kVertexNormals[b][2];
    r.colour = n.palette < palette.size() ? palette[n.palette] : 0;
    return r;
}

std::vector<uint32_t> MeshObject::TriangleNodes(const POLY_FRAME& f) const {
    std::vector<uint32_t> out;
    uint32_t type = __kGroupStrip;  // nodes before the first marker form a strip
    size_t count = 0;
    uint32_t first = 0, a = 0, b = 0;
    for (uint32_t i = 0; i < f.nodes.size(); ++i) {
        const uint32_t group = GroupOf(*this, f.nodes[i]);
        if (group) {
            type = group;
            count = 0;
            continue;
        }
        if (type == __kGroupTriangles) {
            if (count % 3 == 2) out.insert(out.end(), {a, b, i});
            a = count % 3 == 0 ? i : a;
            b = count % 3 == 1 ? i : b;
        } else if (type == __kGroupStrip) {
            // Every second triangle of a strip is turned, so all keep one winding.
            if (count >= 2) {
                if (count % 2 == 0) out.insert(out.end(), {a, b, i});
                else out.insert(out.end(), {b, a, i});
            }
            a = b;
            b = i;
        } else {  // fan around its first vertex
            if (count == 0) first = i;
            if (count >= 2) out.insert(out.end(), {first, b, i});
            b = i;
        }
        ++count;
    }
    return out;
}

void MeshObject::RecomputeNormals(bool smooth) {
    for (POLY_FRAME& f : frames) {
        const std::vector<uint32_t> tri = TriangleNodes(f);
        std::vector<Vec> sum(f.nodes.size());
        for (size_t t = 0; t + 2 < tri.size(); t += 3) {
            const Vec p0 = PositionOf(f, tri[t]), p1 = PositionOf(f, tri[t + 1]), p2 = PositionOf(f, tri[t + 2]);
            // Not normalised: larger faces weigh more.
            const Vec n = Cross(p1 - p0, p2 - p0);
            for (int k = 0; k < 3; ++k) sum[tri[t + k]] = sum[tri[t + k]] + n;
        }
        if (smooth) {
            // Nodes at one quantized position share the sum of all their faces.
            std::map<uint32_t, Vec> at;
            auto key = [](const __Node& n) { return n.x | (n.y << 8) | (static_cast<uint32_t>(n.z) << 16); };
            for (size_t i = 0; i < f.nodes.size(); ++i) at[key(f.nodes[i])] = at[key(f.nodes[i])] + sum[i];
            for (size_t i = 0; i < f.nodes.size(); ++i)
                if (Dot(sum[i], sum[i]) > 0) sum[i] = at[key(f.nodes[i])];
        }
        for (size_t i = 0; i < f.nodes.size(); ++i)
            if (Dot(sum[i], sum[i]) > 0)
                f.nodes[i].normal = static_cast<uint8_t>(__NearestNormal(sum[i].x, sum[i].y, sum[i].z));
    }
    bumpReady_ = false;
}

void MeshObject::Prepare() {
    const POLY_FRAME* previous = nullptr;
    for (POLY_FRAME& f : frames) {
        float largest = 0;  // squared
        for (size_t i = 0; i < f.nodes.size(); ++i) {
            if (GroupOf(*this, f.nodes[i])) continue;
            const Vec p = PositionOf(f, i);
            largest = std::max(largest, Dot(p, p));
        }
        f.radius = std::sqrt(largest);
        if (previous && SameGroups(*this, *previous, f)) f.triangles = previous->triangles;
        else f.triangles = std::make_shared<const std::vector<uint32_t>>(TriangleNodes(f));
        previous = &f;
    }
    bumpReady_ = false;
}

void MeshObject::PrepareBump() {
    if (bumpReady_) return;
    for (POLY_FRAME& f : frames) {
        std::vector<uint32_t> made;
        const std::vector<uint32_t>& tri = f.triangles ? *f.triangles : (made = TriangleNodes(f));
        std::vector<Vec> tan(f.nodes.size()), bin(f.nodes.size());
        for (size_t t = 0; t + 2 < tri.size(); t += 3) {
            const __Vertex3D p0 = Decode(f, tri[t]), p1 = Decode(f, tri[t + 1]), p2 = Decode(f, tri[t + 2]);
            const Vec e1{p1.x - p0.x, p1.y - p0.y, p1.z - p0.z}, e2{p2.x - p0.x, p2.y - p0.y, p2.z - p0.z};
            const float du1 = p1.u - p0.u, dv1 = p1.v - p0.v, du2 = p2.u - p0.u, dv2 = p2.v - p0.v;
            const float det = du1 * dv2 - du2 * dv1;
            if (!(std::fabs(det) > 1e-12f)) continue;
            const Vec tv = (e1 * dv2 - e2 * dv1) * (1 / det), bv = (e2 * du1 - e1 * du2) * (1 / det);
            for (int k = 0; k < 3; ++k) {
                tan[tri[t + k]] = tan[tri[t + k]] + tv;
                bin[tri[t + k]] = bin[tri[t + k]] + bv;
            }
        }
        for (size_t i = 0; i < f.nodes.size(); ++i) {
            const Vec n = TableNormal(f.nodes[i].normal < __kNormalCount ? f.nodes[i].normal : 0);
            Vec t = tan[i] - n * Dot(n, tan[i]);
            if (!(Dot(t, t) > 1e-12f)) t = Perpendicular(n);
            Vec b = bin[i] - n * Dot(n, bin[i]);
            if (!(Dot(b, b) > 1e-12f)) b = Cross(n, t);
            f.nodes[i].tangent = static_cast<uint8_t>(__NearestNormal(t.x, t.y, t.z));
            f.nodes[i].binormal = static_cast<uint8_t>(__NearestNormal(b.x, b.y, b.z));
        }
    }
    bumpReady_ = true;
}

size_t MeshObject::MemoryNeeded(const __ObjectCounts& c) {
    return c.palette * sizeof(uint32_t) + c.uv * 2 * sizeof(float) + c.frames * kFrameBytes +
           c.nodes * (sizeof(__Node) + kTriangleBytesPerNode) + c.firstFrameNodes * kStaticBufferBytesPerNode +
           c.largestFrameNodes * kStreamBytesPerNode;
}

std::vector<uint8_t> MeshObject::Serialise() const {
    ByteWriter w;
    const size_t uv = std::min(u.size(), v.size());
    w.U32(__kObjectMagic).F64(__kObjectVersion);
    w.I32(static_cast<int32_t>(frames.size())).I32(static_cast<int32_t>(palette.size())).I32(static_cast<int32_t>(uv));
    for (uint32_t c : palette) w.U32(c);
    for (size_t i = 0; i < uv; ++i) w.F32(u[i]).F32(v[i]);
    for (const POLY_FRAME& f : frames) {
        w.I32(static_cast<int32_t>(f.nodes.size()));
        for (float o : f.offset) w.F32(o);
        for (float s : f.scale) w.F32(s);
        for (const __Node& n : f.nodes) w.U8(n.x).U8(n.y).U8(n.z).U8(n.normal).U8(n.palette);
    }
    return w.Take();
}

bool MeshObject::Parse(std::span<const uint8_t> bytes) {
    Clear();
    ByteReader r(bytes);
    if (r.U32() != __kObjectMagic || r.F64() != __kObjectVersion) return false;
    const int32_t frameCount = r.I32(), paletteCount = r.I32(), uvCount = r.I32();
    if (!r.Ok() || frameCount < 0 || paletteCount < 0 || uvCount < 0) return false;

    // The counts first: each must fit the bytes that follow, and the object they make
    // must fit the memory budget, before anything is made for it.
    __ObjectCounts counts;
    counts.palette = static_cast<size_t>(paletteCount);
    counts.uv = static_cast<size_t>(uvCount);
    counts.frames = static_cast<size_t>(frameCount);
    ByteReader paletteBytes(r.Bytes(counts.palette * 4), counts.palette * 4);
    ByteReader uvBytes(r.Bytes(counts.uv * 8), counts.uv * 8);
    if (!r.Ok() || counts.frames > r.Left() / kFrameHeaderBytes) return false;
    const size_t framesAt = r.Pos();
    for (size_t k = 0; k < counts.frames; ++k) {
        const int32_t nodeCount = r.I32();
        r.Skip(kFrameHeaderBytes - 4);
        if (!r.Ok() || nodeCount < 0 || static_cast<size_t>(nodeCount) > r.Left() / kNodeBytes) return false;
        const size_t n = static_cast<size_t>(nodeCount);
        r.Skip(n * kNodeBytes);
        counts.nodes += n;
        if (k == 0) counts.firstFrameNodes = n;
        counts.largestFrameNodes = std::max(counts.largestFrameNodes, n);
    }
    if (MemoryNeeded(counts) > __kObjectMemoryBudget) return false;

    MeshObject m;
    m.palette.resize(counts.palette);
    for (uint32_t& c : m.palette) c = paletteBytes.U32();
    m.u.resize(counts.uv);
    m.v.resize(counts.uv);
    for (size_t i = 0; i < counts.uv; ++i) {
        m.u[i] = uvBytes.F32();
        m.v[i] = uvBytes.F32();
    }
    ByteReader fr(bytes.subspan(framesAt));
    m.frames.resize(counts.frames);
    for (POLY_FRAME& f : m.frames) {
        const size_t n = static_cast<size_t>(fr.I32());
        for (float& o : f.offset) o = fr.F32();
        for (float& s : f.scale) s = fr.F32();
        const uint8_t* p = fr.Bytes(n * kNodeBytes);
        f.nodes.resize(n);
        for (__Node& node : f.nodes) {
            node.x = p[0];
            node.y = p[1];
            node.z = p[2];
            node.normal = p[3];
            node.palette = p[4];
            p += kNodeBytes;
            if (node.normal >= __kNormalCount || node.palette >= m.palette.size()) return false;
        }
    }
    *this = std::move(m);
    return true;
}

bool MeshObject::Save(const char* path) const {
    const std::vector<uint8_t> bytes = Serialise();
    return plat::WriteWholeFile(path, bytes.data(), bytes.size());
}

