// Drawing over OpenGL ES 3.0 (WebGL 2): one shader program does what the desktop's
// fixed pipeline does for 2D (the colour, or texture times colour, or the texture as it
// is; the alpha test), and every shape goes to the card as vertices in one buffer. The
// GL coordinates of a point (px, py) of the viewport, y downwards, are (px, -py), as on
// the desktop, so both rasterise the same triangles.
#include <GLES3/gl3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "gfx2d/drawing.h"
#include "platform/window.h"

namespace {

const char* const kVertexShader =
    "#version 300 es\n"
    "uniform mat4 projection;\n"
    "in vec2 position;\n"
    "in vec2 texCoord;\n"
    "in vec4 colour;\n"
    "out vec2 uv;\n"
    "out vec4 tint;\n"
    "void main() {\n"
    "    gl_Position = projection * vec4(position, 0.0, 1.0);\n"
    "    gl_PointSize = 1.0;\n"
    "    uv = texCoord;\n"
    "    tint = colour;\n"
    "}\n";
// mode 0: the colour; 1: texture times colour; 2: the texture as it is.
const char* const kFragmentShader =
    "#version 300 es\n"
    "precision highp float;\n"
    "uniform sampler2D picture;\n"
    "uniform int mode;\n"
    "uniform bool alphaTest;\n"
    "uniform float alphaRef;\n"
    "in vec2 uv;\n"
    "in vec4 tint;\n"
    "out vec4 fragment;\n"
    "void main() {\n"
    "    vec4 c = mode == 0 ? tint : mode == 1 ? texture(picture, uv) * tint : texture(picture, uv);\n"
    "    if (alphaTest && c.a <= alphaRef) discard;\n"
    "    fragment = c;\n"
    "}\n";

enum Mode { kColour = 0, kModulate = 1, kReplace = 2 };

struct Vertex {
    float x, y, s, t, r, g, b, a;
};

float Clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

float ColourAlpha(uint32_t colour) { return colour == __kSpriteKey ? 0.0f : 1.0f; }

GLuint CompileStage(GLenum kind, const char* source) {
    GLuint stage = glCreateShader(kind);
    glShaderSource(stage, 1, &source, nullptr);
    glCompileShader(stage);
    GLint ok = 0;
    glGetShaderiv(stage, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[512] = "";
        glGetShaderInfoLog(stage, sizeof log, nullptr, log);
        std::fprintf(stderr, "Tolvane: the drawing shader does not compile: %s\n", log);
    }
    return stage;
}

class GLESDrawing final : public __Drawing {
public:
    explicit GLESDrawing(const __TextureStore& textures) : textures_(textures) {}

    void Init() override {
        program_ = glCreateProgram();
        glAttachShader(program_, CompileStage(GL_VERTEX_SHADER, kVertexShader));
        glAttachShader(program_, CompileStage(GL_FRAGMENT_SHADER, kFragmentShader));
        glBindAttribLocation(program_, 0, "position");
        glBindAttribLocation(program_, 1, "texCoord");
        glBindAttribLocation(program_, 2, "colour");
        glLinkProgram(program_);
        GLint linked = 0;
        glGetProgramiv(program_, GL_LINK_STATUS, &linked);
        if (!linked) std::fprintf(stderr, "Tolvane: the drawing shaders do not link\n");
        glUseProgram(program_);
        glUniform1i(glGetUniformLocation(program_, "picture"), 0);
        glUniform1f(glGetUniformLocation(program_, "alphaRef"), __kAlphaTestRef);
        projectionAt_ = glGetUniformLocation(program_, "projection");
        modeAt_ = glGetUniformLocation(program_, "mode");
        alphaTestAt_ = glGetUniformLocation(program_, "alphaTest");
        sent_ = Sent{};

        glGenVertexArrays(1, &vertexArray_);
        glBindVertexArray(vertexArray_);
        glGenBuffers(1, &buffer_);
        glBindBuffer(GL_ARRAY_BUFFER, buffer_);
        const GLsizei stride = sizeof(Vertex);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(Vertex, x)));
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(Vertex, s)));
        glEnableVertexAttribArray(2);
        glVertexAttribPointer(2, 4, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(Vertex, r)));
        glActiveTexture(GL_TEXTURE0);
        glGenSamplers(1, &nearest_);
        glSamplerParameteri(nearest_, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glSamplerParameteri(nearest_, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glSamplerParameteri(nearest_, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glSamplerParameteri(nearest_, GL_TEXTURE_WRAP_T, GL_REPEAT);
        samplerBound_ = false;
        SetColour(1, 1, 1, 1);
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
        // glOrtho(0, w, -h, 0, -1, 1), column by column.
        const float m[16] = {2.0f / w, 0, 0, 0, 0, 2.0f / h, 0, 0, 0, 0, -1, 0, -1, 1, 0, 1};
        std::memcpy(projection_, m, sizeof m);
        sent_.projection = false;

        texturing_ = true;
        alphaTest_ = true;
        glDisable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CCW);
        glCullFace(GL_BACK);
        glClearColor(0, 0, 0, 1);
        glDisable(GL_DITHER);
        glDisable(GL_STENCIL_TEST);
        glDisable(GL_POLYGON_OFFSET_FILL);
        SetColour(1, 1, 1, 1);
        ForgetBinding();  // texturing is on again whatever was bound
    }

    void Viewport3D(double nearZ, double farZ, double fovDegrees, int screenW, int screenH) override {
        Flush();
        glViewport(viewX_, screenH - viewH_ - viewY_, viewW_, viewH_);
        const double aspect = static_cast<double>(screenW) / (screenH == 0 ? 1 : screenH);
        const double top = nearZ * std::tan(fovDegrees * M_PI / 360.0), right = top * aspect;
        const double depth = farZ - nearZ;
        // glFrustum(-right, right, -top, top, nearZ, farZ), column by column.
        const float m[16] = {static_cast<float>(nearZ / right), 0, 0, 0, 0, static_cast<float>(nearZ / top), 0, 0,
                             0, 0, static_cast<float>(-(farZ + nearZ) / depth), -1,
                             0, 0, static_cast<float>(-2 * farZ * nearZ / depth), 0};
        std::memcpy(projection_, m, sizeof m);
        sent_.projection = false;
        ForgetBinding();
        SetTexture3D(__kNoSprite, __kNoSprite, 0);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CCW);
        alphaTest_ = true;
    }

    // ---- the frame --------------------------------------------------------------------

    void Clear() override {
        Flush();
        glClear(GL_COLOR_BUFFER_BIT);
    }

    void Present(bool clear) override {
        Flush();
        plat::SwapWindow();
        if (clear) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    void ReadBackBuffer(int width, int height, std::vector<uint8_t>& rgb) override {
        Flush();
        // ES reads RGBA for certain; the alpha bytes are dropped.
        std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        rgb.resize(static_cast<size_t>(width) * height * 3);
        for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i)
            std::memcpy(&rgb[3 * i], &rgba[4 * i], 3);
    }

    void Flush() override {
        if (vertices_.empty()) return;
        Draw(GL_TRIANGLES, vertices_.data(), vertices_.size(), texturing_ ? kModulate : kColour, exact_);
        vertices_.clear();
    }

    // ---- blending and textures ----------------------------------------------------------

    void ResetBlending() override {
        Flush();
        glDisable(GL_BLEND);
        SetColour(1, 1, 1, 1);
        currentAlpha_ = 1.0f;
    }

    void DoAlpha(float f) override {
        Flush();
        glEnable(GL_BLEND);
        if (f == 0) {
            glDisable(GL_BLEND);
            f = 1;
        } else if (f > 0) {
            glBlendFunc(GL_ONE, GL_ONE);
        } else {
            glBlendFunc(GL_SRC_ALPHA, GL_SRC_COLOR);
            f = -f;
        }
        if (f > 1) f = 1;
        currentAlpha_ = f;
        SetColour(f, f, f, 1);
    }

    void SetTexture3D(int sprite, int second, int mip) override {
        if (sprite == boundTexture_ && second == boundTexture2_ && mip == mipmapped_) return;
        Flush();
        boundTexture_ = sprite;
        boundTexture2_ = second;
        mipmapped_ = mip;
        // One texture unit: the second picture where there is one, as on the desktop's
        // first unit.
        if (sprite < 0) {
            texturing_ = false;
        } else {
            glBindTexture(GL_TEXTURE_2D, textures_.TextureOf(second >= 0 ? second : sprite, mip != 0));
            texturing_ = true;
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
        DrawTurnedQuad(s, static_cast<float>(x + hw), static_cast<float>(-hh - y), angle, hw, hh);
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
        SetColour(f * tr, f * tg, f * tb, 1);
        const int hw = (fx.width < 1 ? s.width : fx.width) / 2;
        const int hh = (fx.height < 1 ? s.height : fx.height) / 2;
        DrawTurnedQuad(s, static_cast<float>(x + s.width / 2), static_cast<float>(-(s.height / 2) - y), fx.angle, hw,
                       hh);
        SetColour(f, f, f, 1);
    }

    void DrawText(short font, const char* text, short x, short y, uint32_t tint) override {
        if (font < 0 || font >= __kFontCount || !text) return;
        const int slot = font + __kFontBase;
        const __SpriteSlot& s = textures_.Sprite(slot);
        const size_t n = std::min<size_t>(std::strlen(text), 32767);
        SetTexture3D(slot, __kNoSprite, 0);
        if (n == 0) return;
        // Tinted glyphs' vertices carry the sprites' colour times the tint.
        const bool tinted = (tint & 0xFFFFFF) != 0xFFFFFF;
        const float f = currentAlpha_;
        if (tinted)
            SetColour((tint & 0xFF) * f / 255, ((tint >> 8) & 0xFF) * f / 255, ((tint >> 16) & 0xFF) * f / 255, 1);
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
            const float xy[8] = {float(px), float(-y - gh), float(px + gw), float(-y - gh),
                                 float(px + gw), float(-y), float(px), float(-y)};
            const float st[8] = {s0, t0, s0 + du, t0, s0 + du, t0 + dv, s0, t0 + dv};
            Queue(xy, st, true);  // glyphs at their own size
        }
        if (tinted) SetColour(f, f, f, 1);
    }

    // ---- primitives and polygons --------------------------------------------------------

    void DrawPixel(short x, short y, uint32_t colour) override {
        PrimitiveBegin(colour);
        Vertex v[1] = {Corner(x, -y)};
        Draw(GL_POINTS, v, 1, kColour, false);
        PrimitiveEnd();
    }

    void DrawLine(short x1, short y1, short x2, short y2, uint32_t colour) override {
        PrimitiveBegin(colour);
        Vertex v[2] = {Corner(x1, -y1), Corner(x2, -y2)};
        Draw(GL_LINES, v, 2, kColour, false);
        Draw(GL_POINTS, v + 1, 1, kColour, false);
        PrimitiveEnd();
    }

    void DrawRect(short x1, short y1, short x2, short y2, uint32_t colour) override {
        PrimitiveBegin(colour);
        const Vertex c[4] = {Corner(x1, -y2), Corner(x2, -y2), Corner(x2, -y1), Corner(x1, -y1)};
        const Vertex v[6] = {c[0], c[1], c[2], c[0], c[2], c[3]};
        Draw(GL_TRIANGLES, v, 6, kColour, false);
        PrimitiveEnd();
    }

    void FillRects(const std::vector<__PixelRect>& rects, uint32_t colour) override {
        if (rects.empty()) return;
        PrimitiveBegin(colour);
        std::vector<Vertex> v;
        v.reserve(rects.size() * 6);
        for (const __PixelRect& r : rects) {
            const Vertex c[4] = {Corner(r.x0, -r.y1 - 1), Corner(r.x1 + 1, -r.y1 - 1), Corner(r.x1 + 1, -r.y0),
                                 Corner(r.x0, -r.y0)};
            v.insert(v.end(), {c[0], c[1], c[2], c[0], c[2], c[3]});
        }
        Draw(GL_TRIANGLES, v.data(), v.size(), kColour, false);
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
        Vertex p{static_cast<float>(x), static_cast<float>(-y), s, 1 - t,
                 Clamp01((colour & 0xFF) * f / 255), Clamp01(((colour >> 8) & 0xFF) * f / 255),
                 Clamp01(((colour >> 16) & 0xFF) * f / 255), ColourAlpha(colour)};
        polyPoints_.push_back(p);
        if (polyPoints_.size() > 2) {
            Vertex first = polyPoints_.front();
            polyPoints_.push_back(first);
            polyPoints_.push_back(p);
        }
    }

    void EndPoly() override {
        Flush();
        SetTexture3D(polyTexture_, __kNoSprite, 0);
        const size_t n = polyPoints_.size() / 3 * 3;
        if (n > 0) Draw(GL_TRIANGLES, polyPoints_.data(), n, texturing_ ? kModulate : kColour, false);
        const float f = currentAlpha_;
        SetColour(f, f, f, 1);
        texturing_ = true;
        ForgetBinding();  // texturing is on again whatever was bound
    }

    // ---- surfaces and movie pictures ----------------------------------------------------

    void PasteSurface(int sn) override {
        if (!__TextureStore::ValidSurface(sn)) return;
        const __Surface& s = textures_.Surface(sn);
        if (s.columns == 0 || s.rows == 0) return;
        Flush();
        const bool alphaTest = alphaTest_;
        alphaTest_ = false;
        int x = 0;
        for (int i = 0; i < s.columns; ++i) {
            int y = -s.tiles[0][0].height;
            for (int j = 0; j < s.rows; ++j) {
                const __SurfaceTile& t = s.tiles[i][j];
                glBindTexture(GL_TEXTURE_2D, t.texture);
                const float xy[8] = {float(x), float(y), float(x + t.width), float(y),
                                     float(x + t.width), float(y + t.height), float(x), float(y + t.height)};
                const float st[8] = {0, 0, 1, 0, 1, 1, 0, 1};
                Vertex v[6];
                QuadVertices(xy, st, v);
                Draw(GL_TRIANGLES, v, 6, kModulate, false);
                if (j + 1 < s.rows) y -= s.tiles[i][j + 1].height;
            }
            x += s.tiles[i][s.rows - 1].width;
        }
        alphaTest_ = alphaTest;
        texturing_ = true;
        ForgetBinding();
    }

    void BeginCrossFade() override {
        Flush();
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        alphaTest_ = false;
        glClear(GL_COLOR_BUFFER_BIT);
    }

    void Tint(float k) override {
        Flush();
        SetColour(k, k, k, 1);
    }

    void EndCrossFade() override {
        Flush();
        alphaTest_ = true;
    }

    void DrawStreamTexture(const __StreamTexture& t, int x, int y, int w, int h) override {
        if (!t.texture || w < 1 || h < 1) return;
        ResetBlending();
        SetTexture3D(__kNoSprite, __kNoSprite, 0);
        glBindTexture(GL_TEXTURE_2D, t.texture);
        ForgetBinding();
        // Texel rows are the picture's rows from the top: t = 0 at the top edge.
        const float u = static_cast<float>(t.width) / t.texWidth, v = static_cast<float>(t.height) / t.texHeight;
        const float xy[8] = {float(x), float(-y - h), float(x + w), float(-y - h),
                             float(x + w), float(-y), float(x), float(-y)};
        const float st[8] = {0, v, u, v, u, 0, 0, 0};
        Vertex quad[6];
        QuadVertices(xy, st, quad);
        Draw(GL_TRIANGLES, quad, 6, kReplace, false);
    }

private:
    // What the shader program was last given, so unchanged values are not sent again.
    struct Sent {
        bool projection = false;
        int mode = -1;
        int alphaTest = -1;
    };

    bool Loaded(int nr) const { return __TextureStore::ValidSprite(nr) && textures_.Sprite(nr).texture[0] != 0; }

    void SetColour(float r, float g, float b, float a) {
        colour_[0] = Clamp01(r);
        colour_[1] = Clamp01(g);
        colour_[2] = Clamp01(b);
        colour_[3] = Clamp01(a);
    }

    // A vertex in the current colour, a primitive's corner moved by the primitive offset.
    Vertex Corner(int x, int y) const {
        return {x + primitiveShift_, y - primitiveShift_, 0, 0, colour_[0], colour_[1], colour_[2], colour_[3]};
    }

    // Two triangles of the quad (corners counter-clockwise from the bottom-left), split
    // along the diagonal a triangle fan uses.
    void QuadVertices(const float (&xy)[8], const float (&st)[8], Vertex (&out)[6]) const {
        static constexpr int kOrder[6] = {0, 1, 2, 0, 2, 3};
        for (int i = 0; i < 6; ++i) {
            const int k = kOrder[i];
            out[i] = {xy[2 * k], xy[2 * k + 1], st[2 * k], st[2 * k + 1], colour_[0], colour_[1], colour_[2],
                      colour_[3]};
        }
    }

    void Queue(const float (&xy)[8], const float (&st)[8], bool exact) {
        if (!vertices_.empty() && exact != exact_) Flush();
        exact_ = exact;
        Vertex v[6];
        QuadVertices(xy, st, v);
        vertices_.insert(vertices_.end(), v, v + 6);
    }

    void QueueQuad(int nr, int x0, int y0, int x1, int y1) {
        const __SpriteSlot& s = textures_.Sprite(nr);
        float u = 0, v = 0;
        if (s.texWidth > 0 && s.texHeight > 0) {
            u = static_cast<float>(s.width) / s.texWidth;
            v = static_cast<float>(s.height) / s.texHeight;
        }
        // (x0, y0) is the bottom-left corner in GL coordinates, (x1, y1) the top-right.
        const float xy[8] = {float(x0), float(y0), float(x1), float(y0), float(x1), float(y1), float(x0), float(y1)};
        const float st[8] = {0, 0, u, 0, u, v, 0, v};
        Queue(xy, st, x1 - x0 == s.width && y1 - y0 == s.height);
    }

    // A quad of half-size hw x hh centred on (cx, cy), turned by `degrees`
    // counter-clockwise, with the whole picture of the sprite.
    void DrawTurnedQuad(const __SpriteSlot& s, float cx, float cy, float degrees, int hw, int hh) {
        const float u = s.texWidth > 0 ? static_cast<float>(s.width) / s.texWidth : 0;
        const float v = s.texHeight > 0 ? static_cast<float>(s.height) / s.texHeight : 0;
        const double a = degrees * M_PI / 180.0;
        const float c = static_cast<float>(std::cos(a)), sn = static_cast<float>(std::sin(a));
        const float corner[8] = {float(-hw), float(-hh), float(hw), float(-hh), float(hw), float(hh), float(-hw), float(hh)};
        float xy[8];
        for (int k = 0; k < 4; ++k) {
            const float px = corner[2 * k], py = corner[2 * k + 1];
            xy[2 * k] = cx + c * px - sn * py;
            xy[2 * k + 1] = cy + sn * px + c * py;
        }
        const float st[8] = {0, 0, u, 0, u, v, 0, v};
        Vertex quad[6];
        QuadVertices(xy, st, quad);
        Draw(GL_TRIANGLES, quad, 6, texturing_ ? kModulate : kColour, false);
    }

    void PrimitiveBegin(uint32_t colour) {
        Flush();
        alphaTest_ = false;
        const float f = currentAlpha_;
        SetColour((colour & 0xFF) * f / 255, ((colour >> 8) & 0xFF) * f / 255, ((colour >> 16) & 0xFF) * f / 255,
                  ColourAlpha(colour));
        savedTexture_[0] = boundTexture_;
        savedTexture_[1] = boundTexture2_;
        savedTexture_[2] = mipmapped_;
        SetTexture3D(__kNoSprite, __kNoSprite, 0);
        // 0.375 of a pixel right and down, so points and line ends land inside the
        // pixel they name (GL y grows upwards, so down is negative).
        primitiveShift_ = 0.375f;
    }

    void PrimitiveEnd() {
        primitiveShift_ = 0;
        const float f = currentAlpha_;
        SetColour(f, f, f, 1);
        SetTexture3D(savedTexture_[0], savedTexture_[1], savedTexture_[2]);
        alphaTest_ = true;
    }

    // Draws the vertices at once with the present state; `exact` samples the texture
    // with nearest filtering (the same texels as linear at texel centres).
    void Draw(GLenum shape, const Vertex* v, size_t n, Mode mode, bool exact) {
        if (n == 0) return;
        if (!sent_.projection) {
            glUniformMatrix4fv(projectionAt_, 1, GL_FALSE, projection_);
            sent_.projection = true;
        }
        if (sent_.mode != mode) glUniform1i(modeAt_, sent_.mode = mode);
        if (sent_.alphaTest != (alphaTest_ ? 1 : 0)) glUniform1i(alphaTestAt_, sent_.alphaTest = alphaTest_ ? 1 : 0);
        // A sampler object on the unit overrides the texture's own filtering.
        const bool nearest = exact && mode != kColour;
        if (nearest != samplerBound_) glBindSampler(0, (samplerBound_ = nearest) ? nearest_ : 0);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(n * sizeof(Vertex)), v, GL_STREAM_DRAW);
        glDrawArrays(shape, 0, static_cast<GLsizei>(n));
    }

    const __TextureStore& textures_;
    unsigned program_ = 0, vertexArray_ = 0, buffer_ = 0;
    unsigned nearest_ = 0;       // a sampler with nearest filtering, for texels at their own size
    bool samplerBound_ = false;  // it is bound on the texture unit
    GLint projectionAt_ = -1, modeAt_ = -1, alphaTestAt_ = -1;
    Sent sent_;
    float projection_[16] = {};
    float colour_[4] = {1, 1, 1, 1};  // the current colour, as the fixed pipeline's glColor
    bool texturing_ = true;           // sprites' texture on (else the colour alone)
    bool alphaTest_ = true;           // fragments of alpha up to __kAlphaTestRef dropped
    float primitiveShift_ = 0;
    std::vector<Vertex> vertices_;    // queued sprite and glyph triangles
    bool exact_ = false;              // the queued quads are one texel per pixel
    int savedTexture_[3] = {__kNoSprite, __kNoSprite, 0};
    std::vector<Vertex> polyPoints_;
    int polyTexture_ = __kNoSprite;
};

}  // namespace

std::unique_ptr<__Drawing> __MakeGLESDrawing(const __TextureStore& textures) {
    return std::make_unique<GLESDrawing>(textures);
}
