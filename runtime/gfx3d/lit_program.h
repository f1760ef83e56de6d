// Internal: the 3D engine's shader program and its buffers. The vertex stage lights
// each vertex as the lights of the scene give (the scene's ambient 0.2, up to eight
// directional, point and spot lights with their ambient and diffuse parts, vertex
// colours as the material); the fragment stage multiplies the texture in, or dots the
// normal map's texel with the light direction the vertex colour carries (bump
// mapping), and drops fragments of alpha up to the alpha test's reference.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int __kLitLights = 8;

// One vertex as the program takes it.
struct __LitVertex {
    float p[3], n[3], uv[2];
    uint32_t colour;  // R, G, B, A bytes
};

// A light in eye coordinates.
struct __EyeLight {
    float ambient[3] = {0, 0, 0};
    float diffuse[3] = {0, 0, 0};
    float position[4] = {0, 0, 1, 0};  // w = 0: a direction towards the light
    float spotDirection[3] = {0, 0, -1};
    float cutoff = 180;  // degrees; 180: no cone
};

// What fragments show.
enum class __Surface3D {
    kColour,       // the lit colour
    kTexture,      // lit colour x texture
    kBump,         // the normal map dotted with the colour, x texture
    kTwoTextures,  // lit colour x normal map texel x texture (a bump map without the bump light)
};

struct __LitState {
    float modelview[16];
    bool lighting = false;
    __Surface3D surface = __Surface3D::kColour;
    unsigned texture = 0, normalMap = 0;
    float pointSize = 1;
};

class __LitProgram {
public:
    // The lights (all eight; `on` has bit i for light i).
    void SetLights(const __EyeLight (&lights)[__kLitLights], unsigned on);
    // Makes a static buffer pair of the vertices and triangle indices; 0s when there is
    // nothing to hold.
    void MakeBuffers(const std::vector<__LitVertex>& vertices, const std::vector<uint32_t>& indices,
                     unsigned (&buffers)[2]);
    static void FreeBuffers(unsigned (&buffers)[2]);
    // Draws `count` indices of a static buffer pair.
    void DrawBuffers(const __LitState& state, const unsigned (&buffers)[2], size_t count);
    // Draws vertices streamed now: by the indices (triangles) or as `shape` in order.
    void DrawStreamed(const __LitState& state, const std::vector<__LitVertex>& vertices,
                      const std::vector<uint32_t>* indices, unsigned shape);

private:
    // Hands the GL over from the 2D drawing and readies the program and the state.
    void Begin(const __LitState& state);
    void Point(unsigned vertexBuffer);

    unsigned program_ = 0, vertexArray_ = 0, stream_[2] = {0, 0};
    int at_[16] = {};
    __EyeLight lights_[__kLitLights];
    unsigned lightsOn_ = 1;
    bool lightsSent_ = false;
};
