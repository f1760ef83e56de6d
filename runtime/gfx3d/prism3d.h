// Internal: the 3D engine behind the X_ commands. It draws through the renderer's GL
// context with its own shader program (lit_program.h): the renderer keeps the
// projection, the view and the viewport; sprites are the object textures.
//
// Coordinates are world units; the camera matrix maps them to the eye. An object is
// drawn with the current modelview multiplied by the object transformation: the
// translation, then the rotations from the last given to the first, then the scaling.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "gfx3d/lit_program.h"
#include "gfx3d/mesh.h"

constexpr int __kObjectSlots = 4095;  // objects 0 ... 4094
constexpr int __kMaxRotations = 16;
constexpr int __kLights = 8;

// A 4 x 4 matrix in GL's order: column after column.
struct __Mat4 {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

struct __ObjectSlot {
    MeshObject mesh;
    unsigned buffers[2] = {0, 0};  // the first frame's vertices and triangle indices
    size_t indices = 0;            // in the index buffer
    bool prepared = false;         // the slot holds a drawable object
};

class Prism3D {
public:
    Prism3D();
    ~Prism3D();
    Prism3D(const Prism3D&) = delete;
    Prism3D& operator=(const Prism3D&) = delete;

    static bool ValidObject(int nr) { return nr >= 0 && nr < __kObjectSlots; }
    const __ObjectSlot* Slot(int nr) const { return ValidObject(nr) ? &slots_[nr] : nullptr; }

    // ---- scene ------------------------------------------------------------------------
    void Make3D(double nearZ, double farZ, double fov);
    void Make2D();
    void Camera(float ex, float ey, float ez, float tx, float ty, float tz);
    void Movement(float x, float y, float z);
    void Scaling(float x, float y, float z);
    void Rotation(float angle, float x, float y, float z);
    // > 0: culling with clockwise front faces; < 0: counter-clockwise; 0: off.
    void CullMode(int mode);
    void SetTexture(int texture, int bump);
    void AmbientLight(int light, uint32_t colour);
    void SpotLight(int light, uint32_t colour, const float pos[3], const float dir[3], float cutoff);
    // The light's spot exponent and attenuation factors (constant, linear, quadratic).
    void LightFalloff(int light, float exponent, const float attenuation[3]);
    void DrawAxes(float x, float y, float z);
    void AutoNormals(int mode) { autoNormals_ = mode; }
    int LightMask() const { return lightMask_; }
    const __Mat4& CameraMatrix() const { return camera_; }
    // The object transformation as one matrix.
    __Mat4 ObjectMatrix() const;

    // ---- objects -----------------------------------------------------------------------
    void ObjStart(int nr);
    void ObjAddVertex(float x, float y, float z, float u, float v, uint32_t colour);
    void ObjNewGroup();
    void ObjEnd();
    // An object file's bytes into slot nr; false, and an empty slot, when they are no
    // object file it can read.
    bool LoadObj(std::span<const uint8_t> file, int nr);
    bool SaveObj(const char* file, int nr) const;
    void DrawAnim(int nr, int from, int to, float factor, bool animate);

    bool Collision(int nr, int frame, float radius, float x, float y, float z) const;
    // Screen x, y (pixels from the viewport's top-left corner, y downwards) and depth
    // of a world point; false (and nothing written) when the projected w is 0.
    bool World2Screen(float x, float y, float z, double& sx, double& sy, double& depth) const;
    // The sprite as a camera-facing quad of its size times `scale`, centred on the point.
    void Billboard(int sprite, float x, float y, float z, float scale);

private:
    void ClearSlot(int nr);
    void PrepareSlot(int nr);
    void ApplyCull(int mode);
    // The vertices of a frame pair blended node by node with weight w (first x w +
    // second x (1 - w)), the first frame's colours and texture coordinates; a null
    // second gives the first as it is. With `bump`, the colours carry the bump light's
    // direction in each vertex's surface frame.
    void FrameVertices(const __ObjectSlot& s, const POLY_FRAME& first, const POLY_FRAME* second, float w, bool bump,
                       std::vector<__LitVertex>& out) const;
    // The drawing state of objects: the modelview, lighting and textures.
    __LitState ObjectState(bool bump) const;
    // The state of lines, points and billboards: unlit, untextured, the given modelview.
    __LitState PlainState(const float (&modelview)[16]) const;
    void DebugLight(const float pos[3], const float dir[3], bool withLine);
    // A light's part: its eye position as the view places it now.
    void PlaceLight(int light, const float p[4]);

    __ObjectSlot slots_[__kObjectSlots];
    float move_[3] = {0, 0, 0};
    float scale_[3] = {1, 1, 1};
    float rotations_[__kMaxRotations][4] = {};
    int rotationCount_ = 0;
    __Mat4 camera_;
    uint8_t lightMask_ = 0;
    bool lighting_ = false;
    __EyeLight lights_[__kLights];
    __LitProgram lit_;
    bool bumpOn_ = false;
    float bumpPos_[3] = {0, 0, 0};
    float bumpColour_[3] = {1, 1, 1};
    int autoNormals_ = 2;
    int texture_ = -1, bump_ = -1, textureMip_ = 0;  // the texture choice for objects

    int building_ = -1;                 // object under construction, -1: none
    std::vector<__Vertex3D> vertices_;  // its one frame so far

    std::vector<__LitVertex> stream_;  // vertices drawn streamed
};

// The 3D engine; null before start-up and after the end.
extern Prism3D* prsm3D;
// The remembered cull mode: -1, 0 or 1.
extern signed char __g_cullMode;
