// The X_ commands: arguments truncated or narrowed, then the 3D engine.
#include "gfx3d/commands.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "core/numbers.h"
#include "core/program.h"
#include "files/shoebox.h"
#include "gfx2d/prism.h"
#include "gfx3d/prism3d.h"

namespace {
// Coordinates, angles and factors in single precision; beyond its range they stop at
// its largest value (a NaN stays one).
float F(double v) {
    constexpr double kLargest = std::numeric_limits<float>::max();
    return static_cast<float>(std::clamp(v, -kLargest, kLargest));
}
int Light(double v) { return ((__TruncInt(v) % __kLights) + __kLights) % __kLights; }
uint32_t Colour(double v) { return static_cast<uint32_t>(__TruncInt64(v)) & 0xFFFFFF; }
}  // namespace

double X_MAKE3D(double nearZ, double farZ, double fov) {
    if (prsm3D) prsm3D->Make3D(nearZ, farZ, fov);
    return 0;
}

double X_MAKE2D() {
    if (prsm3D) prsm3D->Make2D();
    return 0;
}

double X_CAMERA(double ex, double ey, double ez, double tx, double ty, double tz) {
    if (prsm3D) prsm3D->Camera(F(ex), F(ey), F(ez), F(tx), F(ty), F(tz));
    return 0;
}

double X_MOVEMENT(double x, double y, double z) {
    if (prsm3D) prsm3D->Movement(F(x), F(y), F(z));
    return 0;
}

double X_SCALING(double x, double y, double z) {
    if (prsm3D) prsm3D->Scaling(F(x), F(y), F(z));
    return 0;
}

double X_ROTATION(double angle, double x, double y, double z) {
    if (prsm3D) prsm3D->Rotation(F(angle), F(x), F(y), F(z));
    return 0;
}

double X_CULLMODE(double mode) {
    // 0.5 and -0.5 choose a side although they truncate to 0.
    if (prsm3D) prsm3D->CullMode(mode > 0 ? 1 : mode < 0 ? -1 : 0);
    return 0;
}

double X_MIPMAPPING(double flag) {
    if (pPrsm) pPrsm->SetMipmapping(__TruncInt(flag));
    return 0;
}

double X_SETTEXTURE(double texture, double bump) {
    const int t = __TruncInt(texture), b = __TruncInt(bump);
    if (prsm3D && t < __kSpriteSlots && b < __kSpriteSlots) prsm3D->SetTexture(t, b);
    return 0;
}

double X_AMBIENT_LT(double light, double colour) {
    if (prsm3D) prsm3D->AmbientLight(Light(light), Colour(colour));
    return 0;
}

double X_SPOT_LT(double light, double colour, double x, double y, double z, double dx, double dy, double dz,
                 double cutoff) {
    if (!prsm3D) return 0;
    const float pos[3] = {F(x), F(y), F(z)}, dir[3] = {F(dx), F(dy), F(dz)};
    prsm3D->SpotLight(__TruncInt(light) == -1 ? -1 : Light(light), Colour(colour), pos, dir, F(cutoff));
    return 0;
}

double X_LIGHTFALLOFF(double light, double exponent, double constant, double linear, double quadratic) {
    if (!prsm3D) return 0;
    // NaN fails both comparisons and so becomes the low end.
    const auto within = [](double v, double hi) { return static_cast<float>(v > 0 ? std::min(v, hi) : 0.0); };
    float attenuation[3] = {within(constant, 1e6), within(linear, 1e6), within(quadratic, 1e6)};
    if (attenuation[0] == 0 && attenuation[1] == 0 && attenuation[2] == 0) attenuation[0] = 1;
    prsm3D->LightFalloff(Light(light), within(exponent, 128), attenuation);
    return 0;
}

double X_DRAWAXES(double x, double y, double z) {
    if (prsm3D) prsm3D->DrawAxes(F(x), F(y), F(z));
    return 0;
}

double X_AUTONORMALS(double mode) {
    if (prsm3D) prsm3D->AutoNormals(((__TruncInt(mode) % 3) + 3) % 3);
    return 0;
}

double X_OBJSTART(double nr) {
    if (prsm3D) prsm3D->ObjStart(__TruncInt(nr));
    return 0;
}

double X_OBJADDVERTEX(double x, double y, double z, double tx, double ty, double colour) {
    if (prsm3D) prsm3D->ObjAddVertex(F(x), F(y), F(z), F(tx), F(ty), Colour(colour));
    return 0;
}

double X_OBJNEWGROUP() {
    if (prsm3D) prsm3D->ObjNewGroup();
    return 0;
}

double X_OBJEND() {
    if (prsm3D) prsm3D->ObjEnd();
    return 0;
}

double X_LOADOBJ(DQStr file, double nr) {
    const int slot = __TruncInt(nr);
    if (!prsm3D) return 0;
    const std::string object = "object " + std::to_string(slot);
    if (!Prism3D::ValidObject(slot)) {
        __WarnLoad("X_LOADOBJ", file, object + " is no object slot, nothing loaded");
        return 0;
    }
    // A file found nowhere, or larger than an object file may be, leaves the slot empty
    // too.
    std::vector<uint8_t> bytes;
    const __Found found = __g_ShoeBox_Data.Fetch(file.c_str(), bytes, __kLargestObjectFile);
    if (!prsm3D->LoadObj(bytes, slot))
        __WarnLoad("X_LOADOBJ", file,
                   (found == __Found::Nothing ? __kNotFound : std::string("not an object file that can be read")) +
                       ", " + object + " is now empty");
    return 0;
}

double X_SAVEOBJ(DQStr file, double nr) {
    if (prsm3D) prsm3D->SaveObj(file.c_str(), __TruncInt(nr));
    return 0;
}

double X_DRAWOBJ(double nr, double frame) {
    if (!prsm3D) return 0;
    const __ObjectSlot* s = prsm3D->Slot(__TruncInt(nr));
    // Frames below 0 are frame 0 (the drawing clamps them); nothing beyond the last.
    const int f = __TruncInt(frame);
    if (s && f < s->mesh.FrameCount()) prsm3D->DrawAnim(__TruncInt(nr), f, f, 0, false);
    return 0;
}

double X_DRAWANIM(double nr, double from, double to, double factor, double animate) {
    if (prsm3D) prsm3D->DrawAnim(__TruncInt(nr), __TruncInt(from), __TruncInt(to), F(factor), __TruncInt(animate) != 0);
    return 0;
}

double X_COLLISION(double nr, double frame, double radius, double x, double y, double z) {
    return prsm3D && prsm3D->Collision(__TruncInt(nr), __TruncInt(frame), F(radius), F(x), F(y), F(z)) ? 1 : 0;
}

double X_SPRITE(double nr, double x, double y, double z, double scale) {
    if (prsm3D) prsm3D->Billboard(__TruncInt(nr), F(x), F(y), F(z), F(scale));
    return 0;
}

double X_WORLD2SCREEN(double x, double y, double z, double& sx, double& sy, double& depth) {
    if (prsm3D) prsm3D->World2Screen(F(x), F(y), F(z), sx, sy, depth);
    return 0;
}
