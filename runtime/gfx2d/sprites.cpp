// Sprite drawing, blending and collision.
#include <algorithm>
#include <cmath>

#include "core/numbers.h"
#include "gfx2d/gl_extensions.h"
#include "gfx2d/prism.h"
#include "gfx2d/sprites.h"

void OpenGLPrism::SetTexture3D(int sprite, int second, int mip) {
    if (sprite == boundTexture_ && second == boundTexture2_ && mip == mipmapped_) return;
    Flush();
    boundTexture_ = sprite;
    boundTexture2_ = second;
    mipmapped_ = mip;
    const int k = mip ? 1 : 0;
    // A sprite without a mip-mapped copy (grabbed from the screen) lends its plain texture.
    auto name = [&](int nr) {
        if (!ValidSprite(nr)) return 0u;
        return sprites_[nr].texture[k] ? sprites_[nr].texture[k] : sprites_[nr].texture[0];
    };
    if (!__glext::glActiveTextureARB) {
        if (sprite < 0) {
            glDisable(GL_TEXTURE_2D);
            glEnable(GL_COLOR_MATERIAL);
        } else {
            glBindTexture(GL_TEXTURE_2D, name(sprite));
            glEnable(GL_TEXTURE_2D);
        }
        return;
    }
    __glext::glActiveTextureARB(GL_TEXTURE1_ARB);
    if (second < 0 || sprite < 0) {
        glDisable(GL_TEXTURE_2D);
    } else {
        glBindTexture(GL_TEXTURE_2D, name(sprite));
        glEnable(GL_TEXTURE_2D);
    }
    __glext::glActiveTextureARB(GL_TEXTURE0_ARB);
    if (sprite < 0) {
        glDisable(GL_TEXTURE_2D);
    } else {
        glBindTexture(GL_TEXTURE_2D, name(second >= 0 ? second : sprite));
        glEnable(GL_TEXTURE_2D);
    }
}

void OpenGLPrism::QueueQuad(int nr, int x0, int y0, int x1, int y1) {
    const __SpriteSlot& s = sprites_[nr];
    float u = 0, v = 0;
    if (s.texWidth > 0 && s.texHeight > 0) {
        u = static_cast<float>(s.width) / s.texWidth;
        v = static_cast<float>(s.height) / s.texHeight;
    }
    // (x0, y0) is the bottom-left corner in GL coordinates, (x1, y1) the top-right.
    const int xy[8] = {x0, y0, x1, y0, x1, y1, x0, y1};
    const float st[8] = {0, 0, u, 0, u, v, 0, v};
    batch_.Add(xy, st, x1 - x0 == s.width && y1 - y0 == s.height);
}

void OpenGLPrism::DrawSprite(short nr, short x, short y) {
    if (!Loaded(nr)) return;
    SetTexture3D(nr, __kNoSprite, 0);
    const __SpriteSlot& s = sprites_[nr];
    QueueQuad(nr, x, -y - s.height, x + s.width, -y);
}

void OpenGLPrism::StretchSprite(short nr, short x, short y, short w, short h) {
    if (!Loaded(nr)) return;
    // A negative size turns the quad's winding round; culling then drops it.
    SetTexture3D(nr, __kNoSprite, 0);
    QueueQuad(nr, x, -y - h, x + w, -y);
}

namespace {
// One quad centred on the origin, texture as for DrawSprite.
void CentredQuad(int hw, int hh, float u, float v) {
    glBegin(GL_TRIANGLE_FAN);
    glTexCoord2f(0, 0);
    glVertex2i(-hw, -hh);
    glTexCoord2f(u, 0);
    glVertex2i(hw, -hh);
    glTexCoord2f(u, v);
    glVertex2i(hw, hh);
    glTexCoord2f(0, v);
    glVertex2i(-hw, hh);
    glEnd();
}
}  // namespace

void OpenGLPrism::RotoSprite(short nr, short x, short y, short angle) {
    if (!Loaded(nr)) return;
    SetTexture3D(nr, __kNoSprite, 0);
    Flush();
    const __SpriteSlot& s = sprites_[nr];
    const int hw = s.width / 2, hh = s.height / 2;
    float u = s.texWidth > 0 ? static_cast<float>(s.width) / s.texWidth : 0;
    float v = s.texHeight > 0 ? static_cast<float>(s.height) / s.texHeight : 0;
    glPushMatrix();
    glTranslatef(static_cast<float>(x + hw), static_cast<float>(-hh - y), 0);
    glRotatef(angle, 0, 0, 1);
    CentredQuad(hw, hh, u, v);
    glPopMatrix();
}

void OpenGLPrism::DrawSpriteFX(short nr, short x, short y, const OPENGL_SPRITEFX& fx) {
    if (!Loaded(nr)) return;
    SetTexture3D(nr, __kNoSprite, 0);
    Flush();
    const __SpriteSlot& s = sprites_[nr];
    float tr = 255, tg = 255, tb = 255;
    if (fx.colour != 0) {
        tr = (fx.colour & 0xFF) / 255.0f;
        tg = ((fx.colour >> 8) & 0xFF) / 255.0f;
        tb = ((fx.colour >> 16) & 0xFF) / 255.0f;
    }
    const float f = currentAlpha_;
    glColor4f(f * tr, f * tg, f * tb, 1);
    const int hw = (fx.width < 1 ? s.width : fx.width) / 2;
    const int hh = (fx.height < 1 ? s.height : fx.height) / 2;
    float u = s.texWidth > 0 ? static_cast<float>(s.width) / s.texWidth : 0;
    float v = s.texHeight > 0 ? static_cast<float>(s.height) / s.texHeight : 0;
    glPushMatrix();
    glTranslatef(static_cast<float>(x + s.width / 2), static_cast<float>(-(s.height / 2) - y), 0);
    glRotatef(fx.angle, 0, 0, 1);
    CentredQuad(hw, hh, u, v);
    glPopMatrix();
    glColor4f(f, f, f, 1);
}

void OpenGLPrism::DoAlpha(float f) {
    Flush();
    glEnable(GL_BLEND);
    if (f == 0) {
        glDisable(GL_BLEND);
        glColor4f(1, 1, 1, 1);
        f = 1;
    } else if (f > 0) {
        glBlendFunc(GL_ONE, GL_ONE);
    } else {
        glBlendFunc(GL_SRC_ALPHA, GL_SRC_COLOR);
        f = -f;
    }
    if (f > 1) f = 1;
    currentAlpha_ = f;
    glColor4f(f, f, f, 1);
}

bool OpenGLPrism::SpriteCollision(int nr1, int nr2, short x1, short y1, short x2, short y2) {
    if (!ValidSprite(nr1) || !ValidSprite(nr2)) return false;
    __SpriteSlot* s[2] = {&sprites_[nr1], &sprites_[nr2]};
    const int left = std::max<int>(x1, x2), right = std::min<int>(x1 + s[0]->width, x2 + s[1]->width);
    const int top = std::max<int>(y1, y2), bottom = std::min<int>(y1 + s[0]->height, y2 + s[1]->height);
    if (left >= right || top >= bottom) return false;
    for (__SpriteSlot* sp : s) {
        if (sp->hasMask) continue;
        Flush();
        sp->alphaMask.assign(static_cast<size_t>(std::max<int>(sp->texWidth, 0)) * std::max<int>(sp->texHeight, 0), 0);
        if (sp->texture[0] && !sp->alphaMask.empty()) {
            glBindTexture(GL_TEXTURE_2D, sp->texture[0]);
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glGetTexImage(GL_TEXTURE_2D, 0, GL_ALPHA, GL_UNSIGNED_BYTE, sp->alphaMask.data());
            ForgetBinding();
        }
        sp->hasMask = true;
    }
    auto alpha = [](const __SpriteSlot* sp, int col, int rowFromTop) -> int {
        int row = sp->height - 1 - rowFromTop;
        if (col < 0 || row < 0 || col >= sp->texWidth || row >= sp->texHeight) return 0;
        return sp->alphaMask[static_cast<size_t>(row) * sp->texWidth + col];
    };
    for (int c = left; c < right; ++c)
        for (int r = top; r < bottom; ++r)
            if (alpha(s[0], c - x1, r - y1) != 0 && alpha(s[1], c - x2, r - y2) == 255) return true;
    return false;
}

// ---- commands ------------------------------------------------------------------------

namespace {
short S16(double v) { return static_cast<short>(__TruncInt(v)); }
// A sprite number as the commands take it; -1 (no sprite) for a number outside the
// table, before narrowing could fold it into the table.
short Nr(double v) {
    const int n = __TruncInt(v);
    return OpenGLPrism::ValidSprite(n) ? static_cast<short>(n) : -1;
}
}  // namespace

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
