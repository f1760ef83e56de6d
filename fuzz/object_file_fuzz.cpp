// Object files: the reader behind X_LOADOBJ, fed the bytes directly, then the
// preparation for drawing (radii, triangle lists, bump directions, new normals) of
// whatever it accepted. What loads must save back to exactly the bytes it was read
// from (bytes after the last frame are not read).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "gfx3d/mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MeshObject m;
    if (!m.Parse(std::span<const uint8_t>(data, size))) {
        if (!m.frames.empty() || !m.palette.empty() || !m.u.empty()) std::abort();
        return 0;
    }
    const std::vector<uint8_t> saved = m.Serialise();
    if (saved.size() > size || std::memcmp(saved.data(), data, saved.size()) != 0) std::abort();
    m.Prepare();
    for (const POLY_FRAME& f : m.frames) {
        if (f.TriangleVertices() % 3 != 0 || f.TriangleVertices() > 3 * f.nodes.size()) std::abort();
        for (uint32_t i : *f.triangles)
            if (i >= f.nodes.size()) std::abort();
    }
    m.PrepareBump();
    m.RecomputeNormals(true);
    return 0;
}
