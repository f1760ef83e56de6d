// The sprite commands: drawing, blending and collision.
#include "gfx2d/sprites.h"

#include <algorithm>
#include <cmath>

#include "core/numbers.h"
#include "gfx2d/prism.h"

namespace {
short S16(double v) { return static_cast<short>(__TruncInt(v)); }
// A sprite number as the commands take it; -1 (no sprite) for a number outside the
// table, before narrowing could fold it into the table.
short Nr(double v) {
    const int n = __TruncInt(v);
    return OpenGLPrism::ValidSprite(n) ? static_cast<short>(n) : -1;
}
}  // namespace

double GETSPRITESIZE(double nr, double& w, double& h) {
    int width = 0, height = 0;
    const int n = __TruncInt(nr);
    if (pPrsm && pPrsm->Loaded(n)) pPrsm->GetSpriteSize(static_cast<short>(n), width, height);
    w = width;
    h = height;
    return 0;
}

double SPRITE(double nr, double x, double y) {
    if (pPrsm) pPrsm->DrawSprite(Nr(nr), S16(x), S16(y));
    return 0;
}

double STRETCHSPRITE(double nr, double x, double y, double w, double h) {
    if (pPrsm) pPrsm->StretchSprite(Nr(nr), S16(x), S16(y), S16(w), S16(h));
    return 0;
}

double ZOOMSPRITE(double nr, double x, double y, double zx, double zy) {
    if (!pPrsm) return 0;
    const __SpriteSlot* s = pPrsm->Sprite(__TruncInt(nr));
    if (!s) return 0;
    double w = std::fabs(zx * s->width), h = std::fabs(zy * s->height);
    pPrsm->StretchSprite(Nr(nr), S16(x - (w - s->width) * 0.5), S16(y - (h - s->height) * 0.5), S16(w), S16(h));
    return 0;
}

double ROTOSPRITE(double nr, double x, double y, double angle) {
    if (pPrsm) pPrsm->RotoSprite(Nr(nr), S16(x), S16(y), S16(angle));
    return 0;
}

double ROTOZOOMSPRITE(double nr, double x, double y, double angle, double zoom) {
    if (!pPrsm) return 0;
    const __SpriteSlot* s = pPrsm->Sprite(__TruncInt(nr));
    if (!s) return 0;
    // Reduced to 0 ... 360 in one step, however large; without any angle at all (an
    // infinity or NaN) the sprite is drawn unturned.
    angle = std::isfinite(angle) ? std::fmod(angle, 360.0) : 0.0;
    if (angle < 0) angle += 360;
    OPENGL_SPRITEFX fx;
    fx.angle = static_cast<float>(angle);
    fx.width = S16(s->width * zoom);
    fx.height = S16(s->height * zoom);
    fx.colour = 0;
    pPrsm->DrawSpriteFX(Nr(nr), S16(x), S16(y), fx);
    return 0;
}

double ALPHAMODE(double f) {
    if (pPrsm) pPrsm->DoAlpha(static_cast<float>(f));
    return 0;
}

double BOXCOLL(double& result, double x1, double y1, double w1, double h1, double x2, double y2, double w2,
               double h2) {
    double l1 = std::min(x1, x1 + w1), r1 = std::max(x1, x1 + w1);
    double t1 = std::min(y1, y1 + h1), b1 = std::max(y1, y1 + h1);
    double l2 = std::min(x2, x2 + w2), r2 = std::max(x2, x2 + w2);
    double t2 = std::min(y2, y2 + h2), b2 = std::max(y2, y2 + h2);
    result = (std::max(l1, l2) <= std::min(r1, r2) && std::max(t1, t2) <= std::min(b1, b2)) ? 1.0 : 0.0;
    return 0;
}

double SPRCOLL(double nr1, double x1, double y1, double nr2, double x2, double y2) {
    if (!pPrsm) return 0;
    return pPrsm->SpriteCollision(__TruncInt(nr1), __TruncInt(nr2), S16(x1), S16(y1), S16(x2), S16(y2)) ? 1 : 0;
}
