// Drawing over OpenGL with the fixed pipeline. The GL coordinates of a point (px, py)
// of the viewport, y downwards, are (px, -py): the projection puts the viewport's
// top-left corner at the origin with y growing upwards.
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gfx2d/drawing.h"
#include "gfx2d/gl_extensions.h"
#include "gfx2d/sprite_batch.h"
#include "platform/window.h"

namespace {

float ColourAlpha(uint32_t colour) { return colour == __kSpriteKey ? 0.0f : 1.0f; }

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

class GLDrawing final : public __Drawing {
public:
    explicit GLDrawing(const __TextureStore& textures) : textures_(textures) {}

    void Init() override {
        __glext::Load();
        batch_.Init();
        glColor4f(1, 1, 1, 1);
    }

    std::string RendererName() const override {
        const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
        return renderer ? renderer : "";
    }

    // ---- projections -----------------------------------------------------------------

    void Viewport2D(short x, short y, short w, short h, int screenW, int screenH) override {
        Flush();
        if (w < 1 || h < 1) {
            w = static_cast<short>(screenW);
            h = static_cast<short>(screenH);
        }
        viewX_ = x;
        viewY_ = y;
        viewW_ = w;
        viewH_ = h;
        glViewport(x, screenH - h - y, w, h);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, w, -h, 0, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();

        glEnable(GL_TEXTURE_2D);
        glDisable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CCW);
        glCullFace(GL_BACK);
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GREATER, __kAlphaTestRef);
        glColor4f(1, 1, 1, 1);
        glClearColor(0, 0, 0, 1);
        glShadeModel(GL_FLAT);
        for (GLenum cap : {GL_DITHER, GL_FOG, GL_POINT_SMOOTH, GL_LINE_SMOOTH, GL_POLYGON_SMOOTH, GL_STENCIL_TEST,
                           GL_POLYGON_OFFSET_POINT, GL_COLOR_MATERIAL, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T,
                           GL_NORMALIZE, GL_LIGHTING})
            glDisable(cap);
        glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
        glHint(GL_POLYGON_SMOOTH_HINT, GL_FASTEST);
        ForgetBinding();  // texturing is on again whatever was bound
    }

    void Viewport3D(double nearZ, double farZ, double fovDegrees, int screenW, int screenH) override {
        Flush();
        glViewport(viewX_, screenH - viewH_ - viewY_, viewW_, viewH_);
        double aspect = static_cast<double>(screenW) / (screenH == 0 ? 1 : screenH);
        double top = nearZ * std::tan(fovDegrees * M_PI / 360.0);
        double right = top * aspect;
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glFrustum(-right, right, -top, top, nearZ, farZ);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        // No texture: switched off in GL too, so untextured objects draw in their colours.
        ForgetBinding();
        SetTexture3D(__kNoSprite, __kNoSprite, 0);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CCW);
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GREATER, __kAlphaTestRef);
        glShadeModel(GL_SMOOTH);
        glEnable(GL_COLOR_MATERIAL);
        glEnable(GL_DITHER);
        glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
        glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
    }

    // ---- the frame --------------------------------------------------------------------

    void Clear() override {
        Flush();
        glClear(GL_COLOR_BUFFER_BIT);
    }

    void Present(bool clear) override {
        Flush();
        glFlush();
        plat::SwapWindow();
        if (clear) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    void ReadBackBuffer(int width, int height, std::vector<uint8_t>& rgb) override {
        Flush();
        rgb.resize(static_cast<size_t>(width) * height * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    }

    void Flush() override { batch_.Flush(); }

    // ---- blending and textures ----------------------------------------------------------

    void ResetBlending() override {
        Flush();
        glDisable(GL_BLEND);
        glColor4f(1, 1, 1, 1);
        currentAlpha_ = 1.0f;
    }

    void DoAlpha(float f) override {
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

    void SetTexture3D(int sprite, int second, int mip) override {
        if (sprite == boundTexture_ && second == boundTexture2_ && mip == mipmapped_) return;
        Flush();
        boundTexture_ = sprite;
        boundTexture2_ = second;
        mipmapped_ = mip;
        // A sprite without a mip-mapped copy (grabbed from the screen) lends its plain texture.
        auto name = [&](int nr) { return textures_.TextureOf(nr, mip != 0); };
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

    // ---- sprites and text ---------------------------------------------------------------

    void DrawSprite(short nr, short x, short y) override {
        if (!Loaded(nr)) return;
        SetTexture3D(nr, __kNoSprite, 0);
        const __SpriteSlot& s = textures_.Sprite(nr);
        QueueQuad(nr, x, -y - s.height, x + s.width, -y);
    }

    void StretchSprite(short nr, short x, short y, short w, short h) override {
        if (!Loaded(nr)) return;
        // A negative size turns the quad's winding round; culling then drops it.
        SetTexture3D(nr, __kNoSprite, 0);
        QueueQuad(nr, x, -y - h, x + w, -y);
    }

    void RotoSprite(short nr, short x, short y, short angle) override {
        if (!Loaded(nr)) return;
        SetTexture3D(nr, __kNoSprite, 0);
        Flush();
        const __SpriteSlot& s = textures_.Sprite(nr);
        const int hw = s.width / 2, hh = s.height / 2;
        float u = s.texWidth > 0 ? static_cast<float>(s.width) / s.texWidth : 0;
        float v = s.texHeight > 0 ? static_cast<float>(s.height) / s.texHeight : 0;
        glPushMatrix();
        glTranslatef(static_cast<float>(x + hw), static_cast<float>(-hh - y), 0);
        glRotatef(angle, 0, 0, 1);
        CentredQuad(hw, hh, u, v);
        glPopMatrix();
    }

    void DrawSpriteFX(short nr, short x, short y, const OPENGL_SPRITEFX& fx) override {
        if (!Loaded(nr)) return;
        SetTexture3D(nr, __kNoSprite, 0);
        Flush();
        const __SpriteSlot& s = textures_.Sprite(nr);
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

    void DrawText(short font, const char* text, short x, short y, uint32_t tint) override {
        if (font < 0 || font >= __kFontCount || !text) return;
        const int slot = font + __kFontBase;
        const __SpriteSlot& s = textures_.Sprite(slot);
        const size_t n = std::min<size_t>(std::strlen(text), 32767);
        SetTexture3D(slot, __kNoSprite, 0);
        if (n == 0) return;
        // Tinted glyphs go to GL on their own, in the sprites' colour times the tint.
        const bool tinted = (tint & 0xFFFFFF) != 0xFFFFFF;
        const float f = currentAlpha_;
        if (tinted) {
            Flush();
            glColor4f((tint & 0xFF) * f / 255, ((tint >> 8) & 0xFF) * f / 255, ((tint >> 16) & 0xFF) * f / 255, 1);
        }
        const int gw = s.width / 16, gh = s.height / 8;
        float du = 0, dv = 0;
        if (s.texWidth > 0 && s.texHeight > 0) {
            du = static_cast<float>(s.width) / s.texWidth * 0.0625f;
            dv = static_cast<float>(s.height) / s.texHeight * 0.125f;
        }
        int px = x;
        for (size_t i = 0; i < n; ++i, px += gw) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            if (c >= 128) continue;  // no cell in the grid: nothing drawn, one cell advanced
            const float s0 = (c % 16) * du, t0 = (7 - c / 16) * dv;
            const int xy[8] = {px, -y - gh, px + gw, -y - gh, px + gw, -y, px, -y};
            const float st[8] = {s0, t0, s0 + du, t0, s0 + du, t0 + dv, s0, t0 + dv};
            batch_.Add(xy, st, true);  // glyphs at their own size
        }
        if (tinted) {
            Flush();
            glColor4f(f, f, f, 1);
        }
    }

    // ---- primitives and polygons --------------------------------------------------------

    void DrawPixel(short x, short y, uint32_t colour) override {
        PrimitiveBegin(colour);
        glBegin(GL_POINTS);
        glVertex2i(x, -y);
        glEnd();
        PrimitiveEnd();
    }

    void DrawLine(short x1, short y1, short x2, short y2, uint32_t colour) override {
        PrimitiveBegin(colour);
        glBegin(GL_LINES);
        glVertex2i(x1, -y1);
        glVertex2i(x2, -y2);
        glEnd();
        glBegin(GL_POINTS);
        glVertex2i(x2, -y2);
        glEnd();
        PrimitiveEnd();
    }

    void DrawRect(short x1, short y1, short x2, short y2, uint32_t colour) override {
        PrimitiveBegin(colour);
        glBegin(GL_QUADS);
        glVertex2i(x1, -y2);
        glVertex2i(x2, -y2);
        glVertex2i(x2, -y1);
        glVertex2i(x1, -y1);
        glEnd();
        PrimitiveEnd();
    }

    void FillRects(const std::vector<__PixelRect>& rects, uint32_t colour) override {
        if (rects.empty()) return;
        PrimitiveBegin(colour);
        glBegin(GL_QUADS);
        for (const __PixelRect& r : rects) {
            glVertex2i(r.x0, -r.y1 - 1);
            glVertex2i(r.x1 + 1, -r.y1 - 1);
            glVertex2i(r.x1 + 1, -r.y0);
            glVertex2i(r.x0, -r.y0);
        }
        glEnd();
        PrimitiveEnd();
    }

    void StartPoly(int nr) override {
        polyTexture_ = nr;
        polyPoints_.clear();
        polyPoints_.shrink_to_fit();
        polyPoints_.reserve(512);
    }

    void PolyPoint(short x, short y, float s, float t, uint32_t colour) override {
        const float f = currentAlpha_;
        PolyPointRecord p{static_cast<float>(x), static_cast<float>(-y), s, 1 - t,
                          (colour & 0xFF) * f / 255, ((colour >> 8) & 0xFF) * f / 255,
                          ((colour >> 16) & 0xFF) * f / 255, ColourAlpha(colour)};
        polyPoints_.push_back(p);
        if (polyPoints_.size() > 2) {
            PolyPointRecord first = polyPoints_.front();
            polyPoints_.push_back(first);
            polyPoints_.push_back(p);
        }
    }

    void EndPoly() override {
        Flush();
        SetTexture3D(polyTexture_, __kNoSprite, 0);
        glEnable(GL_COLOR_MATERIAL);
        glEnable(GL_DITHER);
        glShadeModel(GL_SMOOTH);
        const GLsizei n = static_cast<GLsizei>(polyPoints_.size() / 3 * 3);
        if (n > 0) {
            const GLsizei stride = sizeof(PolyPointRecord);
            glEnableClientState(GL_VERTEX_ARRAY);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glEnableClientState(GL_COLOR_ARRAY);
            glVertexPointer(2, GL_FLOAT, stride, &polyPoints_[0].x);
            glTexCoordPointer(2, GL_FLOAT, stride, &polyPoints_[0].s);
            glColorPointer(4, GL_FLOAT, stride, &polyPoints_[0].r);
            glDrawArrays(GL_TRIANGLES, 0, n);
            glDisableClientState(GL_COLOR_ARRAY);
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            glDisableClientState(GL_VERTEX_ARRAY);
        }
        glShadeModel(GL_FLAT);
        glEnable(GL_TEXTURE_2D);
        const float f = currentAlpha_;
        glColor4f(f, f, f, 1);
        glDisable(GL_DITHER);
        glDisable(GL_COLOR_MATERIAL);
        ForgetBinding();  // texturing is on again whatever was bound
    }

    // ---- surfaces and movie pictures ----------------------------------------------------

    void PasteSurface(int sn) override {
        if (!__TextureStore::ValidSurface(sn)) return;
        const __Surface& s = textures_.Surface(sn);
        if (s.columns == 0 || s.rows == 0) return;
        Flush();
        glDisable(GL_ALPHA_TEST);
        if (__glext::glActiveTextureARB) {
            __glext::glActiveTextureARB(GL_TEXTURE1_ARB);
            glDisable(GL_TEXTURE_2D);
            __glext::glActiveTextureARB(GL_TEXTURE0_ARB);
        }
        glEnable(GL_TEXTURE_2D);
        int x = 0;
        for (int i = 0; i < s.columns; ++i) {
            int y = -s.tiles[0][0].height;
            for (int j = 0; j < s.rows; ++j) {
                const __SurfaceTile& t = s.tiles[i][j];
                glBindTexture(GL_TEXTURE_2D, t.texture);
                glBegin(GL_QUADS);
                glTexCoord2f(0, 0);
                glVertex2i(x, y);
                glTexCoord2f(1, 0);
                glVertex2i(x + t.width, y);
                glTexCoord2f(1, 1);
                glVertex2i(x + t.width, y + t.height);
                glTexCoord2f(0, 1);
                glVertex2i(x, y + t.height);
                glEnd();
                if (j + 1 < s.rows) y -= s.tiles[i][j + 1].height;
            }
            x += s.tiles[i][s.rows - 1].width;
        }
        glEnable(GL_ALPHA_TEST);
        ForgetBinding();
    }

    void BeginCrossFade() override {
        Flush();
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        glDisable(GL_ALPHA_TEST);
        glClear(GL_COLOR_BUFFER_BIT);
    }

    void Tint(float k) override {
        Flush();
        glColor4f(k, k, k, 1);
    }

    void EndCrossFade() override {
        Flush();
        glEnable(GL_ALPHA_TEST);
    }

    void DrawStreamTexture(const __StreamTexture& t, int x, int y, int w, int h) override {
        if (!t.texture || w < 1 || h < 1) return;
        ResetBlending();
        SetTexture3D(__kNoSprite, __kNoSprite, 0);  // no second texture unit
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, t.texture);
        ForgetBinding();
        // The texels as they are, not modulated by the colour (cheaper in software).
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        // Texel rows are the picture's rows from the top: t = 0 at the top edge.
        const float u = static_cast<float>(t.width) / t.texWidth, v = static_cast<float>(t.height) / t.texHeight;
        glBegin(GL_QUADS);
        glTexCoord2f(0, v);
        glVertex2i(x, -y - h);
        glTexCoord2f(u, v);
        glVertex2i(x + w, -y - h);
        glTexCoord2f(u, 0);
        glVertex2i(x + w, -y);
        glTexCoord2f(0, 0);
        glVertex2i(x, -y);
        glEnd();
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    }

private:
    // A slot that holds a picture: loaded or grabbed, not empty or failed.
    bool Loaded(int nr) const { return __TextureStore::ValidSprite(nr) && textures_.Sprite(nr).texture[0] != 0; }

    void QueueQuad(int nr, int x0, int y0, int x1, int y1) {
        const __SpriteSlot& s = textures_.Sprite(nr);
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

    void PrimitiveBegin(uint32_t colour) {
        Flush();
        glDisable(GL_ALPHA_TEST);
        const float f = currentAlpha_;
        glColor4f((colour & 0xFF) * f / 255, ((colour >> 8) & 0xFF) * f / 255, ((colour >> 16) & 0xFF) * f / 255,
                  ColourAlpha(colour));
        savedTexture_[0] = boundTexture_;
        savedTexture_[1] = boundTexture2_;
        savedTexture_[2] = mipmapped_;
        SetTexture3D(__kNoSprite, __kNoSprite, 0);
        // 0.375 of a pixel right and down, so points and line ends land inside the
        // pixel they name (GL y grows upwards, so down is negative).
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glTranslatef(0.375f, -0.375f, 0);
    }

    void PrimitiveEnd() {
        glPopMatrix();
        const float f = currentAlpha_;
        glColor4f(f, f, f, 1);
        SetTexture3D(savedTexture_[0], savedTexture_[1], savedTexture_[2]);
        glEnable(GL_ALPHA_TEST);
    }

    const __TextureStore& textures_;
    __SpriteBatch batch_;
    int savedTexture_[3] = {__kNoSprite, __kNoSprite, 0};
    struct PolyPointRecord {
        float x, y, s, t, r, g, b, a;
    };
    std::vector<PolyPointRecord> polyPoints_;
    int polyTexture_ = __kNoSprite;
};

}  // namespace

std::unique_ptr<__Drawing> __MakeGLDrawing(const __TextureStore& textures) {
    return std::make_unique<GLDrawing>(textures);
}
