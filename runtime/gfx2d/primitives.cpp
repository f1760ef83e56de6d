#include "gfx2d/primitives.h"

#include <utility>
#include <vector>

#include "core/program.h"
#include "core/numbers.h"
#include "files/shoebox.h"
#include "gfx2d/gl_extensions.h"
#include "gfx2d/prism.h"

namespace {
float ColourAlpha(uint32_t colour) { return colour == __kSpriteKey ? 0.0f : 1.0f; }
uint32_t ColourArg(double v) { return static_cast<uint32_t>(static_cast<uint64_t>(__TruncInt64(v))); }
short S16(double v) { return static_cast<short>(__TruncInt(v)); }
}  // namespace

void OpenGLPrism::PrimitiveBegin(uint32_t colour) {
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

void OpenGLPrism::PrimitiveEnd() {
    glPopMatrix();
    const float f = currentAlpha_;
    glColor4f(f, f, f, 1);
    SetTexture3D(savedTexture_[0], savedTexture_[1], savedTexture_[2]);
    glEnable(GL_ALPHA_TEST);
}

void OpenGLPrism::DrawPixel(short x, short y, uint32_t colour) {
    PrimitiveBegin(colour);
    glBegin(GL_POINTS);
    glVertex2i(x, -y);
    glEnd();
    PrimitiveEnd();
}

void OpenGLPrism::DrawLine(short x1, short y1, short x2, short y2, uint32_t colour) {
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

void OpenGLPrism::DrawRect(short x1, short y1, short x2, short y2, uint32_t colour) {
    PrimitiveBegin(colour);
    glBegin(GL_QUADS);
    glVertex2i(x1, -y2);
    glVertex2i(x2, -y2);
    glVertex2i(x2, -y1);
    glVertex2i(x1, -y1);
    glEnd();
    PrimitiveEnd();
}

void OpenGLPrism::StartPoly(int nr) {
    polyTexture_ = nr;
    polyPoints_.clear();
    polyPoints_.shrink_to_fit();
    polyPoints_.reserve(512);
}

void OpenGLPrism::PolyPoint(short x, short y, float s, float t, uint32_t colour) {
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

void OpenGLPrism::EndPoly() {
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

void OpenGLPrism::PasteSurface(unsigned sn) {
    if (!ValidSurface(static_cast<int>(sn))) return;
    const __Surface& s = surfaces_[sn];
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

void OpenGLPrism::BlendToSurface(int from, int to) {
    Flush();
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glDisable(GL_ALPHA_TEST);
    glClear(GL_COLOR_BUFFER_BIT);
    float k = 0;
    do {
        glColor4f(k, k, k, 1);
        PasteSurface(static_cast<unsigned>(to));
        glColor4f(1 - k, 1 - k, 1 - k, 1);
        PasteSurface(static_cast<unsigned>(from));
        FlipScreens();
        k += 0.02f;
    } while (k < 1.0f);
    glColor4f(1, 1, 1, 1);
    PasteSurface(static_cast<unsigned>(to));
    FlipScreens();
    glEnable(GL_ALPHA_TEST);
    ResetBlending();
}

double SETPIXEL(double x, double y, double colour) {
    if (pPrsm) pPrsm->DrawPixel(S16(x), S16(y), ColourArg(colour));
    return 0;
}

double DRAWLINE(double x1, double y1, double x2, double y2, double colour) {
    if (pPrsm) pPrsm->DrawLine(S16(x1), S16(y1), S16(x2), S16(y2), ColourArg(colour));
    return 0;
}

double FILLRECT(double x1, double y1, double x2, double y2, double colour) {
    if (!pPrsm) return 0;
    short ax = S16(x1), ay = S16(y1), bx = S16(x2), by = S16(y2);
    pPrsm->DrawRect(std::min(ax, bx), std::min(ay, by), std::max(ax, bx), std::max(ay, by), ColourArg(colour));
    return 0;
}

double STARTPOLY(double nr) {
    if (pPrsm) pPrsm->StartPoly(__TruncInt(nr));
    return 0;
}

double POLYVECTOR(double x, double y, double tx, double ty, double colour) {
    if (pPrsm) pPrsm->PolyPoint(S16(x), S16(y), static_cast<float>(tx), static_cast<float>(ty), ColourArg(colour));
    return 0;
}

double ENDPOLY() {
    if (pPrsm) pPrsm->EndPoly();
    return 0;
}

double BLENDSCREEN(DQStr file) {
    std::vector<uint8_t> bytes;
    if (!pPrsm || __g_ShoeBox_Data.Fetch(file.c_str(), bytes) == __Found::Nothing) return 0;
    pPrsm->GrabSurface(0);
    if (!pPrsm->LoadSurface(1, bytes)) __FatalError(3);
    pPrsm->BlendToSurface(0, 1);
    pPrsm->FreeSurface(1);
    pPrsm->LoadSurface(0, std::move(bytes));
    pPrsm->PasteSurface(0);
    pPrsm->ResetBlending();
    return 0;
}
