// Internal: the 3D engine's shader programs and their buffers. The vertex stage lights
// each vertex as the lights of the scene give (the scene's ambient 0.2, up to eight
// directional, point and spot lights with their ambient and diffuse parts, the spot
// lights' exponent and the placed lights' attenuation, vertex colours as the
// material); the fragment stage multiplies the texture in, or dots the normal map's
// texel with the light direction the vertex colour carries (bump mapping), and drops
// fragments of alpha up to the alpha test's reference.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int __kLitLights = 8;

// One vertex as the programs take it.
struct __LitVertex {
    float p[3], n[3], uv[2];
    uint32_t colour;  // R, G, B, A bytes; A is 255 (opaque) in every vertex drawn
};

// A light in eye coordinates.
struct __EyeLight {
    float ambient[3] = {0, 0, 0};
    float diffuse[3] = {0, 0, 0};
    float position[4] = {0, 0, 1, 0};  // w = 0: a direction towards the light
    float spotDirection[3] = {0, 0, -1};
    float cutoff = 180;  // degrees; 180: no cone
    // How a spot light fades from its axis: cosine ^ exponent (0: not at all).
    float exponent = 0;
    // A point or spot light's part at distance d: 1 / (constant + linear d + quadratic d^2).
    float attenuation[3] = {1, 0, 0};
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
    const float* projection = nullptr;  // column by column; null: the drawing's
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
    // A program made for one state: lighting or none, the kinds of the lights on and
    // which of them fade (by exponent or attenuation), the surface.
    struct Variant {
        uint32_t key = 0;
        unsigned program = 0;
        int at[16] = {};
        unsigned lightsVersion = 0;  // of the lights it was given (0: none yet)
    };
    uint32_t VariantKey(bool lighting, __Surface3D surface) const;
    // The variant of the key, made the first time it is asked for (and left in use).
    Variant& Use(uint32_t key);
    // Hands the GL over from the 2D drawing and readies the program and the state.
    void Begin(const __LitState& state);
    void Point(unsigned vertexBuffer);

    std::vector<Variant> variants_;
    unsigned vertexArray_ = 0, stream_[2] = {0, 0};
    __EyeLight lights_[__kLitLights];
    unsigned lightsOn_ = 1;
    unsigned lightsVersion_ = 1;
};
