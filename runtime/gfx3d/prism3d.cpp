// The 3D engine: scene state, objects, drawing, collision and projection.
#include "gfx3d/prism3d.h"

#include <GLES3/gl3.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/program.h"
#include "gfx2d/prism.h"
#include "gfx3d/normal_table.h"
#include "gfx3d/wide_line.h"

Prism3D* prsm3D = nullptr;
signed char __g_cullMode = 0;

namespace {

constexpr float kPi = 3.14159265358979323846f;

__Mat4 Multiply(const __Mat4& a, const __Mat4& b) {
    __Mat4 r;
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row) {
            float s = 0;
            for (int k = 0; k < 4; ++k) s += a.m[k * 4 + row] * b.m[c * 4 + k];
            r.m[c * 4 + row] = s;
        }
    return r;
}

void Apply(const __Mat4& a, const float in[3], float w, float out[4]) {
    for (int row = 0; row < 4; ++row)
        out[row] = a.m[row] * in[0] + a.m[4 + row] * in[1] + a.m[8 + row] * in[2] + a.m[12 + row] * w;
}

__Mat4 Translation(float x, float y, float z) {
    __Mat4 r;
    r.m[12] = x;
    r.m[13] = y;
    r.m[14] = z;
    return r;
}

__Mat4 Scale(float x, float y, float z) {
    __Mat4 r;
    r.m[0] = x;
    r.m[5] = y;
    r.m[10] = z;
    return r;
}

// The rotation GL's glRotate makes: counter-clockwise about the axis, seen from its tip.
// An axis of length 0 turns nothing.
__Mat4 Rotation(float degrees, float x, float y, float z) {
    __Mat4 r;
    const float len = std::sqrt(x * x + y * y + z * z);
    if (!(len > 0)) return r;
    x /= len;
    y /= len;
    z /= len;
    const float a = degrees * kPi / 180, c = std::cos(a), s = std::sin(a), k = 1 - c;
    const float rows[3][3] = {{x * x * k + c, x * y * k - z * s, x * z * k + y * s},
                              {y * x * k + z * s, y * y * k + c, y * z * k - x * s},
                              {x * z * k - y * s, y * z * k + x * s, z * z * k + c}};
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) r.m[col * 4 + row] = rows[row][col];
    return r;
}

// The inverse of a matrix made of translations, rotations and scalings (no projection):
// the upper 3 x 3 inverted by cofactors, the translation carried along.
__Mat4 AffineInverse(const __Mat4& a) {
    const float* m = a.m;
    const float c00 = m[5] * m[10] - m[9] * m[6], c01 = m[8] * m[6] - m[4] * m[10], c02 = m[4] * m[9] - m[8] * m[5];
    const float det = m[0] * c00 + m[1] * c01 + m[2] * c02;
    __Mat4 r;
    if (!(std::fabs(det) > 0)) return r;
    const float d = 1 / det;
    r.m[0] = c00 * d;
    r.m[4] = c01 * d;
    r.m[8] = c02 * d;
    r.m[1] = (m[9] * m[2] - m[1] * m[10]) * d;
    r.m[5] = (m[0] * m[10] - m[8] * m[2]) * d;
    r.m[9] = (m[8] * m[1] - m[0] * m[9]) * d;
    r.m[2] = (m[1] * m[6] - m[5] * m[2]) * d;
    r.m[6] = (m[4] * m[2] - m[0] * m[6]) * d;
    r.m[10] = (m[0] * m[5] - m[4] * m[1]) * d;
    for (int row = 0; row < 3; ++row) r.m[12 + row] = -(r.m[row] * m[12] + r.m[4 + row] * m[13] + r.m[8 + row] * m[14]);
    return r;
}

struct V3 {
    float x, y, z;
};
V3 Sub(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
float Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Mad(V3 a, V3 d, float t) { return {a.x + d.x * t, a.y + d.y * t, a.z + d.z * t}; }

// The point of triangle abc nearest to p (by the triangle's regions: corners, edges,
// inside).
V3 ClosestOnTriangle(V3 p, V3 a, V3 b, V3 c) {
    const V3 ab = Sub(b, a), ac = Sub(c, a), ap = Sub(p, a);
    const float d1 = Dot(ab, ap), d2 = Dot(ac, ap);
    if (d1 <= 0 && d2 <= 0) return a;
    const V3 bp = Sub(p, b);
    const float d3 = Dot(ab, bp), d4 = Dot(ac, bp);
    if (d3 >= 0 && d4 <= d3) return b;
    const float vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0) return Mad(a, ab, d1 / (d1 - d3));
    const V3 cp = Sub(p, c);
    const float d5 = Dot(ab, cp), d6 = Dot(ac, cp);
    if (d6 >= 0 && d5 <= d6) return c;
    const float vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0) return Mad(a, ac, d2 / (d2 - d6));
    const float va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) return Mad(b, Sub(c, b), (d4 - d3) / ((d4 - d3) + (d5 - d6)));
    const float sum = va + vb + vc;
    if (!(std::fabs(sum) > 0)) return a;  // a degenerate triangle: its first corner
    const float v = vb / sum, w = vc / sum;
    return Mad(Mad(a, ab, v), ac, w);
}

void Colour3(uint32_t colour, float rgb[3]) {
    rgb[0] = (colour & 0xFF) / 255.0f;
    rgb[1] = ((colour >> 8) & 0xFF) / 255.0f;
    rgb[2] = ((colour >> 16) & 0xFF) / 255.0f;
}

// 0 ... 1 to a colour byte; NaN gives 0.
uint32_t ColourByte(float v) {
    if (!(v > 0)) return 0;
    if (!(v < 1)) return 255;
    return static_cast<uint32_t>(v * 255 + 0.5f);
}

__Mat4 FromArray(const float* m) {
    __Mat4 r;
    std::memcpy(r.m, m, sizeof r.m);
    return r;
}

// A vertex of lines, points and billboards.
__LitVertex PlainVertex(float x, float y, float z, float u, float v, uint32_t colour) {
    return {{x, y, z}, {0, 0, 1}, {u, v}, colour};
}

}  // namespace

Prism3D::Prism3D() {
    // As the GL starts its lights: light 0 white, the others dark, all shining along
    // the view from the viewer's side.
    for (int k = 0; k < 3; ++k) lights_[0].diffuse[k] = 1;
}

Prism3D::~Prism3D() {
    for (int i = 0; i < __kObjectSlots; ++i) ClearSlot(i);
}

// ---- scene ---------------------------------------------------------------------------------

void Prism3D::Make3D(double nearZ, double farZ, double fov) {
    if (!pPrsm) return;
    pPrsm->Make3DViewport(nearZ, farZ, fov);
    texture_ = bump_ = -1;
    textureMip_ = 0;
    ApplyCull(0);
    lighting_ = false;
    lightMask_ = 0;
    // The lights keep their colours: light 0, for one, shines white from the viewer
    // until X_SPOT_LT gives it another colour.
}

void Prism3D::Make2D() {
    if (!pPrsm) return;
    lightMask_ = 0;
    texture_ = bump_ = -1;
    pPrsm->Make2DViewport(0, 0, 0, 0);  // depth testing goes off there
}

void Prism3D::Camera(float ex, float ey, float ez, float tx, float ty, float tz) {
    if (!pPrsm) return;
    pPrsm->Flush();
    // Look-at: forward f from the eye to the target, up as near to +y as f allows
    // (straight up or down the y axis, -z is up), right s = f x up.
    float f[3] = {tx - ex, ty - ey, tz - ez};
    float fl = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    __Mat4 look;
    if (fl > 0) {
        for (float& c : f) c /= fl;
        float up[3] = {0, 1, 0};
        float s[3] = {f[1] * up[2] - f[2] * up[1], f[2] * up[0] - f[0] * up[2], f[0] * up[1] - f[1] * up[0]};
        float sl = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
        if (sl < 1e-6f) {
            up[1] = 0;
            up[2] = -1;
            s[0] = f[1] * up[2] - f[2] * up[1];
            s[1] = f[2] * up[0] - f[0] * up[2];
            s[2] = f[0] * up[1] - f[1] * up[0];
            sl = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
        }
        for (float& c : s) c /= sl;
        const float u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
        for (int col = 0; col < 3; ++col) {
            look.m[col * 4 + 0] = s[col];
            look.m[col * 4 + 1] = u[col];
            look.m[col * 4 + 2] = -f[col];
        }
    }
    camera_ = Multiply(look, Translation(-ex, -ey, -ez));
    pPrsm->SetView(camera_.m);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    move_[0] = move_[1] = move_[2] = 0;
    scale_[0] = scale_[1] = scale_[2] = 1;
    rotationCount_ = 0;
    ApplyCull(0);
}

void Prism3D::Movement(float x, float y, float z) {
    move_[0] = x;
    move_[1] = y;
    move_[2] = z;
    rotationCount_ = 0;
}

void Prism3D::Scaling(float x, float y, float z) {
    scale_[0] = x;
    scale_[1] = y;
    scale_[2] = z;
    rotationCount_ = 0;
}

void Prism3D::Rotation(float angle, float x, float y, float z) {
    if (rotationCount_ >= __kMaxRotations) return;
    float* r = rotations_[rotationCount_++];
    r[0] = angle;
    r[1] = x;
    r[2] = y;
    r[3] = z;
}

__Mat4 Prism3D::ObjectMatrix() const {
    __Mat4 m = Translation(move_[0], move_[1], move_[2]);
    for (int i = rotationCount_ - 1; i >= 0; --i)
        m = Multiply(m, ::Rotation(rotations_[i][0], rotations_[i][1], rotations_[i][2], rotations_[i][3]));
    return Multiply(m, Scale(scale_[0], scale_[1], scale_[2]));
}

void Prism3D::ApplyCull(int mode) {
    __g_cullMode = static_cast<signed char>(mode > 0 ? 1 : mode < 0 ? -1 : 0);
    if (!pPrsm) return;
    pPrsm->Flush();
    if (__g_cullMode == 0) {
        glDisable(GL_CULL_FACE);
        return;
    }
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(__g_cullMode > 0 ? GL_CW : GL_CCW);
}

void Prism3D::CullMode(int mode) { ApplyCull(mode); }

void Prism3D::SetTexture(int texture, int bump) {
    if (!pPrsm) return;
    texture_ = texture < 0 ? -1 : texture;
    bump_ = bump < 0 ? -1 : bump;
    textureMip_ = pPrsm->Mipmapping();
}

void Prism3D::AmbientLight(int light, uint32_t colour) {
    if (!pPrsm) return;
    Colour3(colour, lights_[light].ambient);
    lit_.SetLights(lights_, lightMask_ | (1u << light));
    lighting_ = true;
    lightMask_ = static_cast<uint8_t>(lightMask_ | (1 << light));
}

void Prism3D::PlaceLight(int light, const float p[4]) {
    // As the GL does: the position through the view now current, a direction (w = 0)
    // turned only.
    float e[4];
    Apply(FromArray(pPrsm->View()), p, p[3], e);
    std::memcpy(lights_[light].position, e, sizeof e);
}

void Prism3D::SpotLight(int light, uint32_t colour, const float pos[3], const float dir[3], float cutoff) {
    if (!pPrsm) return;
    if (light < 0) {  // the bump light
        bumpOn_ = cutoff != 0;
        float c[3];
        Colour3(colour, c);
        for (int k = 0; k < 3; ++k) {
            bumpPos_[k] = pos[k];
            bumpColour_[k] = c[k];
        }
        return;
    }
    if (cutoff == 0) {
        lightMask_ = static_cast<uint8_t>(lightMask_ & ~(1 << light));
        lit_.SetLights(lights_, lightMask_);
        return;
    }
    __EyeLight& l = lights_[light];
    Colour3(colour, l.diffuse);
    if (cutoff == 180) {
        // A directional light: it shines along the direction from infinitely far.
        const float p[4] = {-dir[0], -dir[1], -dir[2], 0};
        PlaceLight(light, p);
        l.cutoff = 180;
    } else {
        const float p[4] = {pos[0], pos[1], pos[2], 1};
        PlaceLight(light, p);
        if (cutoff == 360) {
            l.cutoff = 180;  // a point light
        } else {
            float d[4];
            Apply(FromArray(pPrsm->View()), dir, 0, d);
            std::memcpy(l.spotDirection, d, sizeof l.spotDirection);
            // Cones of 0 to 90 degrees.
            l.cutoff = std::clamp(std::fabs(cutoff), 0.0f, 90.0f);
        }
    }
    lighting_ = true;
    lightMask_ = static_cast<uint8_t>(lightMask_ | (1 << light));
    lit_.SetLights(lights_, lightMask_);
    if (DQ_DEBUG) DebugLight(pos, dir, cutoff != 360);
}

void Prism3D::LightFalloff(int light, float exponent, const float attenuation[3]) {
    if (!pPrsm) return;
    __EyeLight& l = lights_[light];
    l.exponent = exponent;
    std::memcpy(l.attenuation, attenuation, sizeof l.attenuation);
    lit_.SetLights(lights_, lightMask_);
}

__LitState Prism3D::PlainState(const float (&modelview)[16]) const {
    __LitState state;
    std::memcpy(state.modelview, modelview, sizeof state.modelview);
    return state;
}

void Prism3D::DebugLight(const float pos[3], const float dir[3], bool withLine) {
    float view[16];
    std::memcpy(view, pPrsm->View(), sizeof view);
    __LitState state = PlainState(view);
    const uint32_t yellow = 0xFF80FFFFu;
    std::vector<__LitVertex> v = {PlainVertex(pos[0], pos[1], pos[2], 0, 0, yellow)};
    state.pointSize = 40;
    lit_.DrawStreamed(state, v, nullptr, GL_POINTS);
    pPrsm->CountDraw();
    const float len = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
    if (withLine && len > 0) {
        // Three pixels wide: two triangles between the ends on the screen, drawn from
        // both sides as a line would be.
        const float end[3] = {pos[0] + dir[0] / len * 500, pos[1] + dir[1] / len * 500, pos[2] + dir[2] / len * 500};
        const __Mat4 toClip = Multiply(FromArray(pPrsm->Projection()), FromArray(view));
        v.clear();
        __WideLine(toClip.m, pos, end, 3, pPrsm->ViewWidth(), pPrsm->ViewHeight(), yellow, v);
        const __Mat4 identity;
        state = PlainState(identity.m);
        state.projection = identity.m;
        pPrsm->Flush();
        glDisable(GL_CULL_FACE);
        lit_.DrawStreamed(state, v, nullptr, GL_TRIANGLES);
        pPrsm->CountDraw();
        ApplyCull(__g_cullMode);
    }
}

void Prism3D::DrawAxes(float x, float y, float z) {
    if (!pPrsm) return;
    std::vector<__LitVertex> v;
    for (int axis = 0; axis < 3; ++axis) {
        const uint32_t colour = 0xFF000000u | (0xFFu << (8 * axis));
        float tip[3] = {x, y, z};
        tip[axis] += 100;
        v.push_back(PlainVertex(x, y, z, 0, 0, colour));
        v.push_back(PlainVertex(tip[0], tip[1], tip[2], 0, 0, colour));
        // The arrow head: two strokes back from the tip, in the plane of the next axis.
        for (float side : {-8.0f, 8.0f}) {
            float back[3] = {tip[0], tip[1], tip[2]};
            back[axis] -= 16;
            back[(axis + 1) % 3] += side;
            v.push_back(PlainVertex(tip[0], tip[1], tip[2], 0, 0, colour));
            v.push_back(PlainVertex(back[0], back[1], back[2], 0, 0, colour));
        }
    }
    lit_.DrawStreamed(PlainState(camera_.m), v, nullptr, GL_LINES);
    pPrsm->CountDraw();
}

// ---- objects -------------------------------------------------------------------------------

void Prism3D::ClearSlot(int nr) {
    __ObjectSlot& s = slots_[nr];
    if (pPrsm) __LitProgram::FreeBuffers(s.buffers);
    s.buffers[0] = s.buffers[1] = 0;
    s.indices = 0;
    s.prepared = false;
    s.mesh.Clear();
}

void Prism3D::PrepareSlot(int nr) {
    __ObjectSlot& s = slots_[nr];
    if (!s.mesh.Drawable()) return;
    s.mesh.Prepare();
    if (!pPrsm) return;
    // The first frame in buffers of its own, drawn as they are until the object changes.
    const POLY_FRAME& f = s.mesh.frames[0];
    if (f.triangles && !f.triangles->empty()) {
        FrameVertices(s, f, nullptr, 1, false, stream_);
        lit_.MakeBuffers(stream_, *f.triangles, s.buffers);
        s.indices = s.buffers[0] ? f.triangles->size() : 0;
    }
    s.prepared = true;
}

void Prism3D::ObjStart(int nr) {
    if (!ValidObject(nr)) return;
    if (pPrsm) pPrsm->Flush();
    ClearSlot(nr);
    building_ = nr;
    vertices_.clear();
    __Vertex3D marker;
    marker.colour = __kGroupStrip;
    vertices_.push_back(marker);
}

void Prism3D::ObjAddVertex(float x, float y, float z, float u, float v, uint32_t colour) {
    if (building_ < 0) return;
    __Vertex3D r;
    r.x = x;
    r.y = y;
    r.z = z;
    r.u = u;
    r.v = v;
    r.colour = colour;
    vertices_.push_back(r);
}

void Prism3D::ObjNewGroup() {
    if (building_ < 0) return;
    __Vertex3D marker;
    marker.colour = __kGroupStrip;
    vertices_.push_back(marker);
}

void Prism3D::ObjEnd() {
    if (building_ < 0) return;
    const int nr = building_;
    building_ = -1;
    std::vector<std::vector<__Vertex3D>> frames(1);
    frames[0].swap(vertices_);
    bool any = false;
    for (__Vertex3D& r : frames[0]) {
        if (__IsMarker(r.colour)) continue;
        any = true;
        const float len = std::sqrt(r.nx * r.nx + r.ny * r.ny + r.nz * r.nz);
        if (len > 0) {
            r.nx /= len;
            r.ny /= len;
            r.nz /= len;
        }
    }
    if (pPrsm) pPrsm->Flush();
    ClearSlot(nr);
    if (!any) return;
    __ObjectSlot& s = slots_[nr];
    s.mesh.Compress(frames);
    if (autoNormals_ == 1 || autoNormals_ == 2) s.mesh.RecomputeNormals(autoNormals_ == 2);
    PrepareSlot(nr);
}

bool Prism3D::LoadObj(std::span<const uint8_t> file, int nr) {
    if (!ValidObject(nr)) return false;
    if (pPrsm) pPrsm->Flush();
    ClearSlot(nr);
    if (!slots_[nr].mesh.Parse(file)) return false;
    PrepareSlot(nr);
    return true;
}

bool Prism3D::SaveObj(const char* file, int nr) const {
    // An empty slot is saved too: a file of no frames, which loads as an empty object.
    if (!ValidObject(nr)) return false;
    return slots_[nr].mesh.Save(file);
}

void Prism3D::DrawAnim(int nr, int from, int to, float factor, bool animate) {
    if (!pPrsm || !ValidObject(nr) || !slots_[nr].prepared) return;
    __ObjectSlot& s = slots_[nr];
    const int n = s.mesh.FrameCount();
    from = std::clamp(from, 0, n - 1);
    to = std::clamp(to, 0, n - 1);
    // The pair (first, second) and the weight of the first.
    int first = to, second = from;
    float w = factor;
    if (animate) {
        // The place between the frames, kept among the object's frames: a factor beyond
        // 0 ... 1 walks on to the first or the last frame and stays there.
        float f = (to - from) * factor + from;
        f = std::isnan(f) ? static_cast<float>(from) : std::clamp(f, 0.0f, static_cast<float>(n - 1));
        const int b = static_cast<int>(f);  // f lies in 0 ... n - 1
        if (from < to) {
            first = b;
            second = std::min(b + 1, n - 1);
            w = 1 - (f - b);
        } else {
            first = std::min(b + 1, n - 1);
            second = b;
            w = f - b;
        }
    }
    const POLY_FRAME* a = &s.mesh.frames[static_cast<size_t>(first)];
    const POLY_FRAME* b = &s.mesh.frames[static_cast<size_t>(second)];
    // A weight of 0 or 1, the same frame twice, or frames of different node counts:
    // one frame unblended.
    if (w == 1 || a == b)
        b = nullptr;
    else if (w == 0)
        a = b, b = nullptr;
    else if (a->nodes.size() != b->nodes.size()) {
        if (w < 0.5f) a = b;
        b = nullptr;
    }
    const bool bump = bumpOn_ && bump_ >= 0 && texture_ >= 0;
    if (bump) s.mesh.PrepareBump();

    const __LitState state = ObjectState(bump);
    if (!b && a == &s.mesh.frames[0] && s.indices && !bump) {
        lit_.DrawBuffers(state, s.buffers, s.indices);
    } else {
        const std::vector<uint32_t>* triangles = a->triangles.get();
        if (!triangles || triangles->empty()) return;
        FrameVertices(s, *a, b, w, bump, stream_);
        lit_.DrawStreamed(state, stream_, triangles, GL_TRIANGLES);
    }
    pPrsm->CountDraw();
}

__LitState Prism3D::ObjectState(bool bump) const {
    __LitState state;
    const __Mat4 modelview = Multiply(FromArray(pPrsm->View()), ObjectMatrix());
    std::memcpy(state.modelview, modelview.m, sizeof state.modelview);
    // The bump light replaces the scene's lights.
    state.lighting = lighting_ && !bump;
    if (texture_ >= 0) {
        state.texture = pPrsm->TextureOf(texture_, textureMip_ != 0);
        state.normalMap = bump_ >= 0 ? pPrsm->TextureOf(bump_, textureMip_ != 0) : 0;
        state.surface = bump_ < 0 ? __Surface3D::kTexture : bump ? __Surface3D::kBump : __Surface3D::kTwoTextures;
    }
    return state;
}

void Prism3D::FrameVertices(const __ObjectSlot& s, const POLY_FRAME& first, const POLY_FRAME* second, float w,
                            bool bump, std::vector<__LitVertex>& out) const {
    // Every node of the frame once (markers too, which no triangle names); the
    // triangles pick them by number.
    const MeshObject& m = s.mesh;
    const size_t n = first.nodes.size();
    out.resize(n);
    const size_t uv = std::min(m.u.size(), m.v.size());
    for (size_t i = 0; i < n; ++i) {
        __LitVertex& o = out[i];
        const __Node& node = first.nodes[i];
        first.Position(i, o.p);
        const float* normal = __kVertexNormals[node.normal < __kNormalCount ? node.normal : 0];
        if (second) {
            float q[3];
            second->Position(i, q);
            const uint8_t k = second->nodes[i].normal;
            const float* nb = __kVertexNormals[k < __kNormalCount ? k : 0];
            for (int c = 0; c < 3; ++c) {
                o.p[c] = (o.p[c] - q[c]) * w + q[c];
                o.n[c] = (normal[c] - nb[c]) * w + nb[c];
            }
        } else {
            for (int c = 0; c < 3; ++c) o.n[c] = normal[c];
        }
        o.uv[0] = i < uv ? m.u[i] : 0;
        o.uv[1] = i < uv ? -m.v[i] : 0;
        o.colour = (node.palette < m.palette.size() ? m.palette[node.palette] : 0) | 0xFF000000u;
    }
    if (bump) {
        // The bump light's direction in each vertex's surface frame (tangent, binormal,
        // normal), 0.5 + 0.5 x, as the vertex colour.
        float lp[4];
        Apply(AffineInverse(ObjectMatrix()), bumpPos_, 1, lp);
        for (size_t i = 0; i < n; ++i) {
            __LitVertex& o = out[i];
            const __Node& node = first.nodes[i];
            const float* t = __kVertexNormals[node.tangent < __kNormalCount ? node.tangent : 0];
            const float* bn = __kVertexNormals[node.binormal < __kNormalCount ? node.binormal : 0];
            float l[3] = {lp[0] - o.p[0], lp[1] - o.p[1], lp[2] - o.p[2]};
            const float len = std::sqrt(l[0] * l[0] + l[1] * l[1] + l[2] * l[2]);
            if (len > 0)
                for (float& c : l) c /= len;
            const float local[3] = {l[0] * t[0] + l[1] * t[1] + l[2] * t[2], l[0] * bn[0] + l[1] * bn[1] + l[2] * bn[2],
                                    l[0] * o.n[0] + l[1] * o.n[1] + l[2] * o.n[2]};
            uint32_t c = 0xFF000000u;
            for (int k = 0; k < 3; ++k) c |= ColourByte(local[k] * 0.5f + 0.5f) << (8 * k);
            o.colour = c;
        }
    }
}

// ---- collision, projection, billboards -------------------------------------------------------

bool Prism3D::Collision(int nr, int frame, float radius, float x, float y, float z) const {
    if (!ValidObject(nr)) return false;
    const MeshObject& m = slots_[nr].mesh;
    if (frame < 0 || frame >= m.FrameCount()) return false;
    const POLY_FRAME& f = m.frames[static_cast<size_t>(frame)];
    if (f.TriangleVertices() < 3) return false;
    const __Mat4 model = Multiply(camera_, ObjectMatrix());
    const float point[3] = {x, y, z}, origin[3] = {0, 0, 0};
    float c[4], o[4];
    Apply(camera_, point, 1, c);
    Apply(model, origin, 1, o);
    const V3 centre{c[0], c[1], c[2]};
    const V3 d = Sub(centre, V3{o[0], o[1], o[2]});
    // The frame's radius grows with the object's largest scaling.
    const float reach = f.radius * std::max({std::fabs(scale_[0]), std::fabs(scale_[1]), std::fabs(scale_[2])});
    if (!(std::sqrt(Dot(d, d)) - radius < reach)) return false;
    const float r2 = radius * radius;
    if (radius < 0) return false;
    const std::vector<uint32_t>& triangles = *f.triangles;
    for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
        V3 p[3];
        for (int k = 0; k < 3; ++k) {
            float in[3];
            f.Position(triangles[t + k], in);
            float out[4];
            Apply(model, in, 1, out);
            p[k] = {out[0], out[1], out[2]};
        }
        const V3 q = Sub(ClosestOnTriangle(centre, p[0], p[1], p[2]), centre);
        if (Dot(q, q) <= r2) return true;
    }
    return false;
}

bool Prism3D::World2Screen(float x, float y, float z, double& sx, double& sy, double& depth) const {
    if (!pPrsm) return false;
    const float* mv = pPrsm->View();
    const float* pr = pPrsm->Projection();
    const double in[4] = {x, y, z, 1};
    double eye[4], clip[4];
    for (int row = 0; row < 4; ++row)
        eye[row] =
            double(mv[row]) * in[0] + double(mv[4 + row]) * in[1] + double(mv[8 + row]) * in[2] + double(mv[12 + row]);
    for (int row = 0; row < 4; ++row)
        clip[row] = double(pr[row]) * eye[0] + double(pr[4 + row]) * eye[1] + double(pr[8 + row]) * eye[2] +
                    double(pr[12 + row]) * eye[3];
    if (clip[3] == 0) return false;
    const double nx = clip[0] / clip[3], ny = clip[1] / clip[3], nz = clip[2] / clip[3];
    // In the 2D drawing's pixels: from the viewport's top-left corner, y downwards.
    sx = pPrsm->ViewWidth() * (nx + 1) / 2;
    sy = pPrsm->ViewHeight() * (1 - ny) / 2;
    depth = (nz + 1) / 2;
    return true;
}

void Prism3D::Billboard(int sprite, float x, float y, float z, float scale) {
    if (!pPrsm || !pPrsm->Loaded(sprite)) return;
    const __SpriteSlot& s = *pPrsm->Sprite(sprite);
    const float in[3] = {x, y, z};
    float e[4];
    Apply(FromArray(pPrsm->View()), in, 1, e);
    const float hw = s.width * scale / 2, hh = s.height * scale / 2;
    const float u = s.texWidth > 0 ? static_cast<float>(s.width) / s.texWidth : 0;
    const float v = s.texHeight > 0 ? static_cast<float>(s.height) / s.texHeight : 0;
    const signed char remembered = __g_cullMode;
    ApplyCull(-1);
    // The quad lies in the eye's plane, facing it.
    const __Mat4 identity;
    __LitState state = PlainState(identity.m);
    state.texture = pPrsm->TextureOf(sprite, pPrsm->Mipmapping() != 0);
    state.surface = __Surface3D::kTexture;
    const uint32_t white = 0xFFFFFFFFu;
    const __LitVertex c[4] = {
        PlainVertex(e[0] - hw, e[1] - hh, e[2], 0, 0, white), PlainVertex(e[0] + hw, e[1] - hh, e[2], u, 0, white),
        PlainVertex(e[0] + hw, e[1] + hh, e[2], u, v, white), PlainVertex(e[0] - hw, e[1] + hh, e[2], 0, v, white)};
    stream_.assign({c[0], c[1], c[2], c[0], c[2], c[3]});
    lit_.DrawStreamed(state, stream_, nullptr, GL_TRIANGLES);
    pPrsm->CountDraw();
    ApplyCull(remembered);
}
