// Polygon objects: compression, decoding, normals, triangle lists and the object file.
#include "gfx3d/mesh.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>

#include "gfx3d/normal_table.h"

namespace {

// Object files larger than this are refused unread: nothing the commands make comes
// near it, and a drawable object may need some forty times its file size in memory.
constexpr long kLargestObjectFile = 64L << 20;
// Bytes of a frame without its nodes, and of one node.
constexpr size_t kFrameHeaderBytes = 4 + 6 * 4;
constexpr size_t kNodeBytes = 5;

struct Vec {
    float x = 0, y = 0, z = 0;
};
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec operator*(Vec a, float k) { return {a.x * k, a.y * k, a.z * k}; }
float Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec TableNormal(int i) { return {__kVertexNormals[i][0], __kVertexNormals[i][1], __kVertexNormals[i][2]}; }

uint8_t Quantize(float value, float scale, float offset) {
    const float q = value / scale + offset;
    if (!(q < 255)) return 255;   // 255 and more, and NaN, are stored as 255
    if (!(q > 0)) return 0;       // markers' positions may lie below the frame's range
    return static_cast<uint8_t>(std::floor(q + 0.5f));
}

// Any unit vector perpendicular to n (n of unit length).
Vec Perpendicular(Vec n) {
    Vec t = std::fabs(n.x) < 0.9f ? Cross(n, Vec{1, 0, 0}) : Cross(n, Vec{0, 1, 0});
    float len = std::sqrt(Dot(t, t));
    return len > 0 ? t * (1 / len) : Vec{1, 0, 0};
}

// Little-endian reading with every read checked against the bytes left.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t Left() const { return size_ - pos_; }
    bool U32(uint32_t& v) {
        if (Left() < 4) return false;
        v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | data_[pos_ + i];
        pos_ += 4;
        return true;
    }
    bool I32(int32_t& v) {
        uint32_t u;
        if (!U32(u)) return false;
        std::memcpy(&v, &u, 4);
        return true;
    }
    bool F32(float& v) {
        uint32_t u;
        if (!U32(u)) return false;
        std::memcpy(&v, &u, 4);
        return true;
    }
    bool F64(double& v) {
        uint32_t lo, hi;
        if (!U32(lo) || !U32(hi)) return false;
        uint64_t u = (static_cast<uint64_t>(hi) << 32) | lo;
        std::memcpy(&v, &u, 8);
        return true;
    }
    const uint8_t* Bytes(size_t n) {
        if (Left() < n) return nullptr;
        const uint8_t* p = data_ + pos_;
        pos_ += n;
        return p;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

class Writer {
public:
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void F32(float v) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        U32(u);
    }
    void F64(double v) {
        uint64_t u;
        std::memcpy(&u, &v, 8);
        U32(static_cast<uint32_t>(u));
        U32(static_cast<uint32_t>(u >> 32));
    }
    std::vector<uint8_t> out;
};

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

void MeshObject::Clear() {
    frames.clear();
    palette.clear();
    u.clear();
    v.clear();
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
            n.x = Quantize(r.x, f.scale[0], f.offset[0]);
            n.y = Quantize(r.y, f.scale[1], f.offset[1]);
            n.z = Quantize(r.z, f.scale[2], f.offset[2]);
            f.nodes.push_back(n);
        }
        frames.push_back(std::move(f));
    }
}

__Vertex3D MeshObject::Decode(const POLY_FRAME& f, int i) const {
    __Vertex3D r;
    const __Node& n = f.nodes[static_cast<size_t>(i)];
    r.x = (n.x - f.offset[0]) * f.scale[0];
    r.y = (n.y - f.offset[1]) * f.scale[1];
    r.z = (n.z - f.offset[2]) * f.scale[2];
    const int k = n.normal < __kNormalCount ? n.normal : 0;
    r.nx = __kVertexNormals[k][0];
    r.ny = __kVertexNormals[k][1];
    r.nz = __kVertexNormals[k][2];
    if (static_cast<size_t>(i) < u.size() && static_cast<size_t>(i) < v.size()) {
        r.u = u[static_cast<size_t>(i)];
        r.v = -v[static_cast<size_t>(i)];
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

std::vector<int> MeshObject::TriangleNodes(const POLY_FRAME& f) const {
    std::vector<int> out;
    uint32_t type = __kGroupStrip;  // nodes before the first marker form a strip
    int count = 0, first = -1, a = -1, b = -1;
    for (int i = 0; i < static_cast<int>(f.nodes.size()); ++i) {
        const uint8_t p = f.nodes[static_cast<size_t>(i)].palette;
        const uint32_t c = p < palette.size() ? palette[p] : 0;
        if (__IsMarker(c)) {
            type = c == __kFirstMarker ? __kGroupTriangles : c;
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
        const std::vector<int> tri = TriangleNodes(f);
        std::vector<Vec> sum(f.nodes.size());
        for (size_t t = 0; t + 2 < tri.size(); t += 3) {
            const __Vertex3D p0 = Decode(f, tri[t]), p1 = Decode(f, tri[t + 1]), p2 = Decode(f, tri[t + 2]);
            // Not normalised: larger faces weigh more.
            const Vec n = Cross(Vec{p1.x - p0.x, p1.y - p0.y, p1.z - p0.z}, Vec{p2.x - p0.x, p2.y - p0.y, p2.z - p0.z});
            for (int k = 0; k < 3; ++k) sum[static_cast<size_t>(tri[t + k])] = sum[static_cast<size_t>(tri[t + k])] + n;
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
            if (Dot(sum[i], sum[i]) > 0) f.nodes[i].normal = static_cast<uint8_t>(__NearestNormal(sum[i].x, sum[i].y, sum[i].z));
    }
}

void MeshObject::Prepare() {
    for (POLY_FRAME& f : frames) {
        f.radius = 0;
        for (int i = 0; i < static_cast<int>(f.nodes.size()); ++i) {
            const __Vertex3D r = Decode(f, i);
            if (!__IsMarker(r.colour)) f.radius = std::max(f.radius, std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z));
        }
        // Bump lighting needs each vertex's surface directions of growing u and v.
        const std::vector<int> tri = TriangleNodes(f);
        std::vector<Vec> tan(f.nodes.size()), bin(f.nodes.size());
        for (size_t t = 0; t + 2 < tri.size(); t += 3) {
            const __Vertex3D p0 = Decode(f, tri[t]), p1 = Decode(f, tri[t + 1]), p2 = Decode(f, tri[t + 2]);
            const Vec e1{p1.x - p0.x, p1.y - p0.y, p1.z - p0.z}, e2{p2.x - p0.x, p2.y - p0.y, p2.z - p0.z};
            const float du1 = p1.u - p0.u, dv1 = p1.v - p0.v, du2 = p2.u - p0.u, dv2 = p2.v - p0.v;
            const float det = du1 * dv2 - du2 * dv1;
            if (!(std::fabs(det) > 1e-12f)) continue;
            const Vec tv = (e1 * dv2 - e2 * dv1) * (1 / det), bv = (e2 * du1 - e1 * du2) * (1 / det);
            for (int k = 0; k < 3; ++k) {
                tan[static_cast<size_t>(tri[t + k])] = tan[static_cast<size_t>(tri[t + k])] + tv;
                bin[static_cast<size_t>(tri[t + k])] = bin[static_cast<size_t>(tri[t + k])] + bv;
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
        f.triangles.clear();
        f.triangles.reserve(tri.size());
        for (int i : tri) f.triangles.push_back(Decode(f, i));
    }
}

std::vector<uint8_t> MeshObject::Serialise() const {
    Writer w;
    w.U32(__kObjectMagic);
    w.F64(__kObjectVersion);
    const size_t uv = std::min(u.size(), v.size());
    w.I32(static_cast<int32_t>(frames.size()));
    w.I32(static_cast<int32_t>(palette.size()));
    w.I32(static_cast<int32_t>(uv));
    for (uint32_t c : palette) w.U32(c);
    for (size_t i = 0; i < uv; ++i) {
        w.F32(u[i]);
        w.F32(v[i]);
    }
    for (const POLY_FRAME& f : frames) {
        w.I32(static_cast<int32_t>(f.nodes.size()));
        for (float o : f.offset) w.F32(o);
        for (float s : f.scale) w.F32(s);
        for (const __Node& n : f.nodes)
            w.out.insert(w.out.end(), {n.x, n.y, n.z, n.normal, n.palette});
    }
    return std::move(w.out);
}

bool MeshObject::Parse(const uint8_t* data, size_t size) {
    Clear();
    Reader r(data, size);
    uint32_t magic = 0;
    double version = 0;
    int32_t frameCount = 0, paletteCount = 0, uvCount = 0;
    if (!r.U32(magic) || magic != __kObjectMagic || !r.F64(version) || version != __kObjectVersion) return false;
    if (!r.I32(frameCount) || !r.I32(paletteCount) || !r.I32(uvCount)) return false;
    if (frameCount < 0 || paletteCount < 0 || uvCount < 0) return false;
    // Every count must fit the bytes that follow before anything is made for it.
    if (static_cast<size_t>(paletteCount) > r.Left() / 4) return false;
    MeshObject m;
    m.palette.resize(static_cast<size_t>(paletteCount));
    for (uint32_t& c : m.palette) r.U32(c);
    if (static_cast<size_t>(uvCount) > r.Left() / 8) return false;
    m.u.resize(static_cast<size_t>(uvCount));
    m.v.resize(static_cast<size_t>(uvCount));
    for (int32_t i = 0; i < uvCount; ++i) {
        r.F32(m.u[static_cast<size_t>(i)]);
        r.F32(m.v[static_cast<size_t>(i)]);
    }
    if (static_cast<size_t>(frameCount) > r.Left() / kFrameHeaderBytes) return false;
    m.frames.resize(static_cast<size_t>(frameCount));
    for (POLY_FRAME& f : m.frames) {
        int32_t nodeCount = 0;
        if (!r.I32(nodeCount) || nodeCount < 0) return false;
        for (float& o : f.offset)
            if (!r.F32(o)) return false;
        for (float& s : f.scale)
            if (!r.F32(s)) return false;
        if (static_cast<size_t>(nodeCount) > r.Left() / kNodeBytes) return false;
        const uint8_t* p = r.Bytes(static_cast<size_t>(nodeCount) * kNodeBytes);
        f.nodes.resize(static_cast<size_t>(nodeCount));
        for (__Node& n : f.nodes) {
            n.x = p[0];
            n.y = p[1];
            n.z = p[2];
            n.normal = p[3];
            n.palette = p[4];
            p += kNodeBytes;
            if (n.normal >= __kNormalCount || n.palette >= m.palette.size()) return false;
        }
    }
    if (r.Left() != 0) return false;  // the counts must account for every byte
    *this = std::move(m);
    return true;
}

bool MeshObject::Save(const char* path) const {
    const std::vector<uint8_t> bytes = Serialise();
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool MeshObject::Load(const char* path) {
    Clear();
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    std::vector<uint8_t> bytes;
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    bool ok = size >= 0 && size <= kLargestObjectFile && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        bytes.resize(static_cast<size_t>(size));
        ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    }
    std::fclose(f);
    return ok && Parse(bytes.data(), bytes.size());
}
