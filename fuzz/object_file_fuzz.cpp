// Object files: the loader behind X_LOADOBJ, then the preparation for drawing (radii,
// bump directions, triangle lists) of whatever it accepted. A file that loads must
// save back to exactly its own bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "gfx3d/mesh.h"
#include "input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = fuzz::WriteInput(data, size);
    MeshObject m;
    if (!m.Load(path)) {
        if (!m.frames.empty() || !m.palette.empty() || !m.u.empty()) std::abort();
        return 0;
    }
    if (m.Serialise() != std::vector<uint8_t>(data, data + size)) std::abort();
    m.Prepare();
    for (const POLY_FRAME& f : m.frames)
        if (f.triangles.size() % 3 != 0 || f.triangles.size() > 3 * f.nodes.size()) std::abort();
    m.RecomputeNormals(true);
    return 0;
}
