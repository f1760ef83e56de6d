// The drawing over OpenGL ES 3.0: a shader program for each way of colouring (the
// colour, or texture times colour, or the texture as it is; with the alpha test or
// without) and one streaming vertex buffer.
// The GL coordinates of a point (px, py) of the viewport, y downwards, are (px, -py):
// the projection puts the viewport's top-left corner at the origin with y upwards.
#include "gfx2d/drawing.h"

#include <GLES3/gl3.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>

#include "gfx2d/gl_program.h"
#include "gfx2d/line.h"
#include "platform/window.h"

namespace {

// With POINT, a vertex is the centre of a square of pointSize pixels that shows the
// texture from (0, 0) to its texture coordinates: POINT 1 where that is the whole
// texture, POINT 2 where it is part of it. What a point's vertex gives its fragments is
// the same for all (flat), so the GL interpolates nothing.
const char* const kVaryings =
    "#if POINT\n"
    "#define VARYING flat\n"
    "#else\n"
    "#define VARYING\n"
    "#endif\n";
const char* const kVertexShader =
    "uniform mat4 matrix;\n"
    "uniform float pointSize;\n"
    "in vec2 position;\n"
    "in vec2 texCoord;\n"
    "in vec4 colour;\n"
    "VARYING out vec2 uv;\n"
    "VARYING out vec4 tint;\n"
    "void main() {\n"
    "    gl_Position = matrix * vec4(position, 0.0, 1.0);\n"
    "#if POINT\n"
    "    gl_PointSize = pointSize;\n"
    "#else\n"
    "    gl_PointSize = 1.0;\n"
    "#endif\n"
    "    uv = texCoord;\n"
    "    tint = colour;\n"
    "}\n";
// One program for each mode (MODE 0: the colour; 1: texture times colour; 2: the
// texture as it is) with or without the alpha test (ALPHA_TEST), so no fragment pays
// for branches that do not apply (software GL runs every side of a branch).
const char* const kFragmentShader =
    "uniform sampler2D picture;\n"
    "uniform float alphaRef;\n"
    "VARYING in vec2 uv;\n"
    "VARYING in vec4 tint;\n"
    "out vec4 fragment;\n"
    "void main() {\n"
    "#if POINT == 2\n"
    "    vec2 at = vec2(gl_PointCoord.x, 1.0 - gl_PointCoord.y) * uv;\n"
    "#elif POINT == 1\n"
    "    vec2 at = vec2(gl_PointCoord.x, -gl_PointCoord.y);\n"  // the texture repeats: -y is 1 - y
    "#else\n"
    "    vec2 at = uv;\n"
    "#endif\n"
    "#if MODE == 0\n"
    "    vec4 c = tint;\n"
    "#elif MODE == 1\n"
    "    vec4 c = texture(picture, at) * tint;\n"
    "#else\n"
    "    vec4 c = texture(picture, at);\n"
    "#endif\n"
    "#if ALPHA_TEST\n"
    "    if (c.a <= alphaRef) discard;\n"
    "#endif\n"
    "    fragment = c;\n"
    "}\n";

// Shapes in white take the texture alone, but in the browser: there the program
// without the colour measured slower (a Stackmoor frame 26 ms against 6 ms in Chromium
// with SwiftShader), so the texels are multiplied by white as before.
#ifdef __EMSCRIPTEN__
constexpr bool kTextureAlone = false;
#else
constexpr bool kTextureAlone = true;
#endif

// Sprites at their own size are drawn as points where that draws the same pixels, but
// in the browser, where the quads are kept.
#ifdef __EMSCRIPTEN__
constexpr bool kPointSprites = false;
#else
constexpr bool kPointSprites = true;
#endif

float Clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

float ColourAlpha(uint32_t colour) { return colour == __kSpriteKey ? 0.0f : 1.0f; }

void Multiply(const float* a, const float* b, float* out) {
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            float s = 0;
            for (int k = 0; k < 4; ++k) s += a[k * 4 + r] * b[c * 4 + k];
            out[c * 4 + r] = s;
        }
}

constexpr float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

}  // namespace

void __Drawing::Init() {
    for (auto& byMode : programs_)
        for (auto& byTest : byMode)
            for (Program& p : byTest) p = Program{};  // made when first drawn with
    GLfloat pointSizes[2] = {1, 1};
    glGetFloatv(GL_ALIASED_POINT_SIZE_RANGE, pointSizes);
    largestPoint_ = static_cast<int>(std::min(pointSizes[1], 16384.0f));
    glGenVertexArrays(1, &vertexArray_);
    glBindVertexArray(vertexArray_);
    glGenBuffers(1, &buffer_);
    glBindBuffer(GL_ARRAY_BUFFER, buffer_);
    for (GLuint a = 0; a < 3; ++a) glEnableVertexAttribArray(a);
    PointAt(0);
    // The quads' indices, a binding of the vertex array.
    glGenBuffers(1, &quadIndices_);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, quadIndices_);
    indexedQuads_ = 0;
    glActiveTexture(GL_TEXTURE0);
    glGenSamplers(1, &nearest_);
    glSamplerParameteri(nearest_, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glSamplerParameteri(nearest_, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    // Repeating: points that show a whole texture take 1 - t as -t.
    glSamplerParameteri(nearest_, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glSamplerParameteri(nearest_, GL_TEXTURE_WRAP_T, GL_REPEAT);
    sent_ = Sent{};
    sent_.bound = true;
    queued_ = 0;
    SetColour(1, 1, 1, 1);
}

std::string __Drawing::RendererName() {
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    return renderer ? renderer : "";
}

// ---- projections -----------------------------------------------------------------------

void __Drawing::Viewport2D(short x, short y, short w, short h, int screenW, int screenH) {
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
    // An orthographic projection of (0 ... w, -h ... 0, -1 ... 1), column by column.
    const float m[16] = {2.0f / w, 0, 0, 0, 0, 2.0f / h, 0, 0, 0, 0, -1, 0, -1, 1, 0, 1};
    std::memcpy(projection_, m, sizeof m);
    std::memcpy(view_, kIdentity, sizeof view_);
    ++matrixVersion_;
    projection2D_ = true;

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

void __Drawing::Viewport3D(double nearZ, double farZ, double fovDegrees, int screenW, int screenH) {
    Flush();
    glViewport(viewX_, screenH - viewH_ - viewY_, viewW_, viewH_);
    const double aspect = static_cast<double>(screenW) / (screenH == 0 ? 1 : screenH);
    const double top = nearZ * std::tan(fovDegrees * M_PI / 360.0), right = top * aspect;
    const double depth = farZ - nearZ;
    // A perspective frustum (-right ... right, -top ... top, nearZ ... farZ), column by column.
    const float m[16] = {static_cast<float>(nearZ / right),
                         0,
                         0,
                         0,
                         0,
                         static_cast<float>(nearZ / top),
                         0,
                         0,
                         0,
                         0,
                         static_cast<float>(-(farZ + nearZ) / depth),
                         -1,
                         0,
                         0,
                         static_cast<float>(-2 * farZ * nearZ / depth),
                         0};
    std::memcpy(projection_, m, sizeof m);
    std::memcpy(view_, kIdentity, sizeof view_);
    ++matrixVersion_;
    projection2D_ = false;
    ForgetBinding();
    SetTexture3D(__kNoSprite, __kNoSprite, 0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
    alphaTest_ = true;
}

void __Drawing::SetView(const float (&view)[16]) {
    Flush();
    std::memcpy(view_, view, sizeof view_);
    ++matrixVersion_;
}

void __Drawing::HandOver() {
    Flush();
    if (sent_.sampler == 1) glBindSampler(0, 0);
    sent_ = Sent{};
    ForgetBinding();
}

// ---- the frame -------------------------------------------------------------------------

void __Drawing::Clear() {
    Flush();
    glClear(GL_COLOR_BUFFER_BIT);
}

void __Drawing::Present(bool clear) {
    Flush();
    lastFrameDraws_ = frameDraws_;
    frameDraws_ = 0;
    plat::SwapWindow();
    if (clear) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void __Drawing::ReadBackBuffer(int width, int height, std::vector<uint8_t>& rgb) {
    Flush();
    // ES reads RGBA for certain; the alpha bytes are dropped.
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    rgb.resize(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) std::memcpy(&rgb[3 * i], &rgba[4 * i], 3);
}

// The attributes start at the vertex `first` of the buffer, so the quads' indices,
// which count from a batch's first vertex, need no offset of their own.
void __Drawing::PointAt(size_t first) {
    const GLsizei stride = sizeof(Vertex);
    const size_t at = first * sizeof(Vertex);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(at + offsetof(Vertex, x)));
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(at + offsetof(Vertex, s)));
    glVertexAttribPointer(2, 4, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(at + offsetof(Vertex, r)));
    pointedAt_ = first;
}

// Two triangles for each quad (corners 0, 1, 2 and 0, 2, 3, split along the diagonal a
// triangle fan uses), for at least `quads` quads.
void __Drawing::IndexQuads(size_t quads) {
    if (quads <= indexedQuads_) return;
    const size_t n = std::max<size_t>({quads, 2 * indexedQuads_, 1024});
    std::vector<uint32_t> indices(6 * n);
    static constexpr uint32_t kOrder[6] = {0, 1, 2, 0, 2, 3};
    for (size_t q = 0; q < n; ++q)
        for (int i = 0; i < 6; ++i) indices[6 * q + i] = static_cast<uint32_t>(4 * q) + kOrder[i];
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * sizeof(uint32_t)), indices.data(),
                 GL_STATIC_DRAW);
    indexedQuads_ = n;
}

void __Drawing::Flush() {
    if (queued_ == 0) return;
    if (!sent_.bound) {
        glBindVertexArray(vertexArray_);
        glBindBuffer(GL_ARRAY_BUFFER, buffer_);
        glActiveTexture(GL_TEXTURE0);
        sent_.bound = true;
    }
    // Every batch in one buffer, given new storage each time, so the GL never waits for
    // the draws before.
    // One batch (the usual case) goes as it is, without a copy.
    const std::vector<Vertex>* all = &batches_[0].vertices;
    if (queued_ > 1) {
        stream_.clear();
        for (size_t b = 0; b < queued_; ++b)
            stream_.insert(stream_.end(), batches_[b].vertices.begin(), batches_[b].vertices.end());
        all = &stream_;
    }
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(all->size() * sizeof(Vertex)), all->data(), GL_STREAM_DRAW);
    size_t first = 0;
    for (size_t b = 0; b < queued_; ++b) {
        const BatchKey& k = batches_[b].key;
        UseProgram(k.mode, k.alphaTest, k.point, k.pointSize);
        if (k.mode != kColour) {
            glBindTexture(GL_TEXTURE_2D, k.texture);
            // A sampler object on the unit overrides the texture's own filtering.
            const int nearest = k.exact ? 1 : 0;
            if (nearest != sent_.sampler) glBindSampler(0, (sent_.sampler = nearest) ? nearest_ : 0);
        }
        const size_t n = batches_[b].vertices.size();
        if (k.shape == kQuads) {
            if (pointedAt_ != first) PointAt(first);
            IndexQuads(n / 4);
            glDrawRangeElements(GL_TRIANGLES, 0, static_cast<GLuint>(n - 1), static_cast<GLsizei>(n / 4 * 6),
                                GL_UNSIGNED_INT, nullptr);
        } else {
            if (pointedAt_ > first) PointAt(first);
            glDrawArrays(k.shape, static_cast<GLint>(first - pointedAt_), static_cast<GLsizei>(n));
        }
        first += n;
        ++frameDraws_;
    }
    queued_ = 0;
}

void __Drawing::UseProgram(int mode, bool alphaTest, PointKind point, short pointSize) {
    Program& p = programs_[mode][alphaTest ? 1 : 0][point];
    if (!p.id) {
        static const char* const attributes[] = {"position", "texCoord", "colour", nullptr};
        const std::string points = "#define POINT " + std::to_string(point) + "\n" + kVaryings;
        const std::string vertex = points + kVertexShader;
        const std::string fragment = points + "#define MODE " + std::to_string(mode) + "\n#define ALPHA_TEST " +
                                     (alphaTest ? "1" : "0") + "\n" + kFragmentShader;
        p.id = __BuildProgram(vertex.c_str(), fragment.c_str(), attributes);
        glUseProgram(p.id);
        glUniform1i(glGetUniformLocation(p.id, "picture"), 0);
        glUniform1f(glGetUniformLocation(p.id, "alphaRef"), __kAlphaTestRef);
        p.matrixAt = glGetUniformLocation(p.id, "matrix");
        p.pointSizeAt = glGetUniformLocation(p.id, "pointSize");
        sent_.program = &p;
    }
    if (sent_.program != &p) {
        glUseProgram(p.id);
        sent_.program = &p;
    }
    if (p.matrixVersion != matrixVersion_) {
        float m[16];
        Multiply(projection_, view_, m);
        glUniformMatrix4fv(p.matrixAt, 1, GL_FALSE, m);
        p.matrixVersion = matrixVersion_;
    }
    if (point != kNoPoint && p.pointSize != pointSize) {
        glUniform1f(p.pointSizeAt, pointSize);
        p.pointSize = pointSize;
    }
}

bool __Drawing::Batch::Meets(const Box& b) const {
    if (!all.Meets(b)) return false;
    if (!counted) return true;  // too many shapes to tell apart: the box around all
    for (const Box& o : boxes)
        if (o.Meets(b)) return true;
    return false;
}

void __Drawing::Emit(unsigned shape, Mode mode, bool exact, const Vertex* v, size_t n, PointKind point,
                     short pointSize) {
    if (n == 0) return;
    BatchKey key{shape, mode, exact && mode != kColour, alphaTest_, mode == kColour ? 0u : texture_};
    key.point = point;
    key.pointSize = pointSize;
    // A triangle's pixels have their centres inside it (two that only touch share none);
    // those of lines and points lie within a pixel of their vertices.
    Box box{v[0].x, v[0].y, v[0].x, v[0].y};
    for (size_t i = 1; i < n; ++i) {
        box.x0 = std::min(box.x0, v[i].x);
        box.y0 = std::min(box.y0, v[i].y);
        box.x1 = std::max(box.x1, v[i].x);
        box.y1 = std::max(box.y1, v[i].y);
    }
    if (point != kNoPoint) {
        const float half = pointSize * 0.5f;
        box = {box.x0 - half, box.y0 - half, box.x1 + half, box.y1 + half};
    } else if (shape != GL_TRIANGLES && shape != kQuads) {
        box = {box.x0 - 1, box.y0 - 1, box.x1 + 1, box.y1 + 1};
    }
    // The latest batch of the kind that nothing queued after it overlaps; in the 3D
    // projection only the last batch.
    const bool reorder = std::memcmp(view_, kIdentity, sizeof view_) == 0;
    size_t target = queued_;
    for (size_t b = queued_; b-- > 0;) {
        if (batches_[b].key == key) {
            target = b;
            break;
        }
        if (!reorder || batches_[b].Meets(box)) break;
    }
    constexpr size_t kMostBatches = 64, kMostBoxes = 64;
    if (target == queued_) {
        if (queued_ == kMostBatches) Flush();
        target = queued_++;
        if (batches_.size() < queued_) batches_.resize(queued_);
        Batch& fresh = batches_[target];
        fresh.key = key;
        fresh.vertices.clear();
        fresh.boxes.clear();
        fresh.all = box;
        fresh.counted = true;
    }
    Batch& batch = batches_[target];
    batch.vertices.insert(batch.vertices.end(), v, v + n);
    batch.all = {std::min(batch.all.x0, box.x0), std::min(batch.all.y0, box.y0), std::max(batch.all.x1, box.x1),
                 std::max(batch.all.y1, box.y1)};
    // Past the most boxes, only the box around all counts.
    if (batch.counted && batch.boxes.size() < kMostBoxes) {
        batch.boxes.push_back(box);
    } else {
        batch.counted = false;
        batch.boxes.clear();
    }
}

// ---- blending and textures -----------------------------------------------------------------

void __Drawing::ResetBlending() {
    Flush();
    glDisable(GL_BLEND);
    SetColour(1, 1, 1, 1);
    currentAlpha_ = 1.0f;
}

void __Drawing::DoAlpha(float f) {
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

void __Drawing::SetTexture3D(int sprite, int second, int mip) {
    if (sprite == boundTexture_ && second == boundTexture2_ && mip == mipmapped_) return;
    boundTexture_ = sprite;
    boundTexture2_ = second;
    mipmapped_ = mip;
    // One texture: the second picture where there is one. Shapes queued take the
    // texture with them; it is bound when they are drawn.
    texturing_ = sprite >= 0;
    if (texturing_) texture_ = textures_.TextureOf(second >= 0 ? second : sprite, mip != 0);
}

void __Drawing::BindOther(unsigned texture) {
    texture_ = texture;
    texturing_ = true;
    ForgetBinding();
}

// ---- sprites and text --------------------------------------------------------------------

bool __Drawing::Loaded(int nr) const { return __TextureStore::ValidSprite(nr) && textures_.Sprite(nr).texture[0] != 0; }

void __Drawing::DrawSprite(short nr, short x, short y) {
    if (!Loaded(nr)) return;
    SetTexture3D(nr, __kNoSprite, 0);
    const __SpriteSlot& s = textures_.Sprite(nr);
    if (!QueuePoint(nr, x, y)) QueueQuad(nr, x, -y - s.height, x + s.width, -y);
}

void __Drawing::StretchSprite(short nr, short x, short y, short w, short h) {
    if (!Loaded(nr)) return;
    // A negative size turns the quad's winding round; culling then drops it.
    SetTexture3D(nr, __kNoSprite, 0);
    QueueQuad(nr, x, -y - h, x + w, -y);
}

void __Drawing::RotoSprite(short nr, short x, short y, short angle) {
    if (!Loaded(nr)) return;
    SetTexture3D(nr, __kNoSprite, 0);
    const __SpriteSlot& s = textures_.Sprite(nr);
    const int hw = s.width / 2, hh = s.height / 2;
    QueueTurnedQuad(s, static_cast<float>(x + hw), static_cast<float>(-hh - y), angle, hw, hh);
}

void __Drawing::DrawSpriteFX(short nr, short x, short y, const OPENGL_SPRITEFX& fx) {
    if (!Loaded(nr)) return;
    SetTexture3D(nr, __kNoSprite, 0);
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
    QueueTurnedQuad(s, static_cast<float>(x + s.width / 2), static_cast<float>(-(s.height / 2) - y), fx.angle, hw, hh);
    SetColour(f, f, f, 1);
}

void __Drawing::DrawText(short font, const char* text, short x, short y, uint32_t tint) {
    if (font < 0 || font >= __kFontCount || !text) return;
    const int slot = font + __kFontBase;
    const __SpriteSlot& s = textures_.Sprite(slot);
    const size_t n = std::min<size_t>(std::strlen(text), 32767);
    SetTexture3D(slot, __kNoSprite, 0);
    if (n == 0) return;
    // Tinted glyphs' vertices carry the sprites' colour times the tint.
    const bool tinted = (tint & 0xFFFFFF) != 0xFFFFFF;
    const float f = currentAlpha_;
    if (tinted) SetColour((tint & 0xFF) * f / 255, ((tint >> 8) & 0xFF) * f / 255, ((tint >> 16) & 0xFF) * f / 255, 1);
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
        const float xy[8] = {float(px),      float(-y - gh), float(px + gw), float(-y - gh),
                             float(px + gw), float(-y),      float(px),      float(-y)};
        const float st[8] = {s0, t0, s0 + du, t0, s0 + du, t0 + dv, s0, t0 + dv};
        Vertex v[4];
        QuadVertices(xy, st, v);
        Emit(kQuads, TexturedMode(), true, v, 4);  // glyphs at their own size
    }
    if (tinted) SetColour(f, f, f, 1);
}

// ---- primitives and polygons ---------------------------------------------------------------

void __Drawing::DrawPixel(short x, short y, uint32_t colour) {
    PrimitiveBegin(colour);
    const Vertex v[1] = {Corner(x, -y)};
    Emit(GL_POINTS, kColour, false, v, 1);
    PrimitiveEnd();
}

void __Drawing::DrawLine(short x1, short y1, short x2, short y2, uint32_t colour) {
    // Its pixels as rectangles, so that every GL draws the same ones, both ends included.
    std::vector<__PixelRect> rects;
    __LineRects(x1, y1, x2, y2, viewW_, viewH_, rects);
    FillRects(rects, colour);
}

void __Drawing::DrawRect(short x1, short y1, short x2, short y2, uint32_t colour) {
    PrimitiveBegin(colour);
    const Vertex c[4] = {Corner(x1, -y2), Corner(x2, -y2), Corner(x2, -y1), Corner(x1, -y1)};
    Emit(kQuads, kColour, false, c, 4);
    PrimitiveEnd();
}

void __Drawing::FillRects(const std::vector<__PixelRect>& rects, uint32_t colour) {
    if (rects.empty()) return;
    PrimitiveBegin(colour);
    for (const __PixelRect& r : rects) {
        const Vertex c[4] = {Corner(r.x0, -r.y1 - 1), Corner(r.x1 + 1, -r.y1 - 1), Corner(r.x1 + 1, -r.y0),
                             Corner(r.x0, -r.y0)};
        Emit(kQuads, kColour, false, c, 4);
    }
    PrimitiveEnd();
}

void __Drawing::StartPoly(int nr) {
    polyTexture_ = nr;
    polyPoints_.clear();
    polyPoints_.shrink_to_fit();
    polyPoints_.reserve(512);
}

void __Drawing::PolyPoint(short x, short y, float s, float t, uint32_t colour) {
    const float f = currentAlpha_;
    const Vertex p{static_cast<float>(x),
                   static_cast<float>(-y),
                   s,
                   1 - t,
                   Clamp01((colour & 0xFF) * f / 255),
                   Clamp01(((colour >> 8) & 0xFF) * f / 255),
                   Clamp01(((colour >> 16) & 0xFF) * f / 255),
                   ColourAlpha(colour)};
    polyPoints_.push_back(p);
    if (polyPoints_.size() > 2) {
        const Vertex first = polyPoints_.front();
        polyPoints_.push_back(first);
        polyPoints_.push_back(p);
    }
}

void __Drawing::EndPoly() {
    SetTexture3D(polyTexture_, __kNoSprite, 0);
    const size_t n = polyPoints_.size() / 3 * 3;
    Emit(GL_TRIANGLES, texturing_ ? kModulate : kColour, false, polyPoints_.data(), n);
    const float f = currentAlpha_;
    SetColour(f, f, f, 1);
    if (!texturing_) {
        texturing_ = true;
        ForgetBinding();  // texturing is on again whatever was bound
    }
}

// ---- surfaces and movie pictures -----------------------------------------------------------

void __Drawing::PasteSurface(int sn) {
    if (!__TextureStore::ValidSurface(sn)) return;
    const __Surface& s = textures_.Surface(sn);
    if (s.columns == 0 || s.rows == 0) return;
    const bool alphaTest = alphaTest_;
    alphaTest_ = false;
    int x = 0;
    for (int i = 0; i < s.columns; ++i) {
        int y = -s.tiles[0][0].height;
        for (int j = 0; j < s.rows; ++j) {
            const __SurfaceTile& t = s.tiles[i][j];
            BindOther(t.texture);
            const float xy[8] = {float(x), float(y),           float(x + t.width),
                                 float(y), float(x + t.width), float(y + t.height),
                                 float(x), float(y + t.height)};
            const float st[8] = {0, 0, 1, 0, 1, 1, 0, 1};
            Vertex v[4];
            QuadVertices(xy, st, v);
            Emit(kQuads, TexturedMode(), projection2D_, v, 4);  // in 2D each texel on its pixel
            if (j + 1 < s.rows) y -= s.tiles[i][j + 1].height;
        }
        x += s.tiles[i][s.rows - 1].width;
    }
    alphaTest_ = alphaTest;
    texturing_ = true;
}

void __Drawing::BeginCrossFade() {
    Flush();
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    alphaTest_ = false;
    glClear(GL_COLOR_BUFFER_BIT);
}

void __Drawing::Tint(float k) { SetColour(k, k, k, 1); }

void __Drawing::EndCrossFade() { alphaTest_ = true; }

void __Drawing::DrawStreamTexture(const __StreamTexture& t, int x, int y, int w, int h) {
    if (!t.texture || w < 1 || h < 1) return;
    ResetBlending();
    BindOther(t.texture);
    // Texel rows are the picture's rows from the top: t = 0 at the top edge.
    const float u = static_cast<float>(t.width) / t.texWidth, v = static_cast<float>(t.height) / t.texHeight;
    const float xy[8] = {float(x),     float(-y - h), float(x + w), float(-y - h),
                         float(x + w), float(-y),     float(x),     float(-y)};
    const float st[8] = {0, v, u, v, u, 0, 0, 0};
    Vertex quad[4];
    QuadVertices(xy, st, quad);
    Emit(kQuads, kReplace, false, quad, 4);
    Flush();
}

// ---- helpers ---------------------------------------------------------------------------------

// Texels times white are the texels: the texture alone spares every fragment the
// colour's interpolation and product.
__Drawing::Mode __Drawing::TexturedMode() const {
    if (!texturing_) return kColour;
    if (!kTextureAlone) return kModulate;
    return colour_[0] == 1 && colour_[1] == 1 && colour_[2] == 1 && colour_[3] == 1 ? kReplace : kModulate;
}

void __Drawing::SetColour(float r, float g, float b, float a) {
    colour_[0] = Clamp01(r);
    colour_[1] = Clamp01(g);
    colour_[2] = Clamp01(b);
    colour_[3] = Clamp01(a);
}

// A vertex in the current colour, a primitive's corner moved by the primitive offset.
__Drawing::Vertex __Drawing::Corner(int x, int y) const {
    return {x + primitiveShift_, y - primitiveShift_, 0, 0, colour_[0], colour_[1], colour_[2], colour_[3]};
}

// Whether the alpha test would drop no fragment of the sprite: an opaque picture
// sampled texel for texel (`exact`), or one that fills its whole texture, in a colour of
// alpha 1, gives alpha 1 everywhere. Fragments spared the test are spared its cost.
bool __Drawing::NothingToDrop(const __SpriteSlot& s, bool exact) const {
    if (!s.opaque || !texturing_ || colour_[3] != 1) return false;
    return exact || (s.width == s.texWidth && s.height == s.texHeight);
}

// The quad's corners (counter-clockwise from the bottom-left) in the current colour.
void __Drawing::QuadVertices(const float (&xy)[8], const float (&st)[8], Vertex (&out)[4]) const {
    for (int k = 0; k < 4; ++k)
        out[k] = {xy[2 * k], xy[2 * k + 1], st[2 * k], st[2 * k + 1], colour_[0], colour_[1], colour_[2], colour_[3]};
}

void __Drawing::QueueQuad(int nr, int x0, int y0, int x1, int y1) {
    const __SpriteSlot& s = textures_.Sprite(nr);
    float u = 0, v = 0;
    if (s.texWidth > 0 && s.texHeight > 0) {
        u = static_cast<float>(s.width) / s.texWidth;
        v = static_cast<float>(s.height) / s.texHeight;
    }
    // (x0, y0) is the bottom-left corner in GL coordinates, (x1, y1) the top-right.
    const float xy[8] = {float(x0), float(y0), float(x1), float(y0), float(x1), float(y1), float(x0), float(y1)};
    const float st[8] = {0, 0, u, 0, u, v, 0, v};
    Vertex q[4];
    QuadVertices(xy, st, q);
    const bool exact = x1 - x0 == s.width && y1 - y0 == s.height;
    const bool alphaTest = alphaTest_;
    alphaTest_ = alphaTest_ && !NothingToDrop(s, exact);
    Emit(kQuads, TexturedMode(), exact, q, 4);
    alphaTest_ = alphaTest;
}

// A point covers the pixels whose centres lie inside the square around its centre, as
// the quad does, but it is one vertex and one shape for the GL to set up, not four
// vertices and two triangles that both shade the pixels along their shared diagonal.
// Points are made for square sprites in the 2D projection, wholly inside the viewport
// (a point whose centre is outside may be dropped whole), no wider than the GL draws.
bool __Drawing::QueuePoint(int nr, int x, int y) {
    const __SpriteSlot& s = textures_.Sprite(nr);
    const int side = s.width;
    if (!kPointSprites || side != s.height || side > largestPoint_ || !texturing_ || !projection2D_ ||
        std::memcmp(view_, kIdentity, sizeof view_) != 0)
        return false;
    if (x < 0 || y < 0 || x + side > viewW_ || y + side > viewH_) return false;
    const float half = side * 0.5f, u = static_cast<float>(side) / s.texWidth,
                v = static_cast<float>(side) / s.texHeight;
    const Vertex p{x + half, -y - half, u, v, colour_[0], colour_[1], colour_[2], colour_[3]};
    const bool alphaTest = alphaTest_;
    alphaTest_ = alphaTest_ && !NothingToDrop(s, true);
    const PointKind kind = side == s.texWidth && side == s.texHeight ? kWholeTexture : kPartOfTexture;
    Emit(GL_POINTS, TexturedMode(), true, &p, 1, kind, static_cast<short>(side));
    alphaTest_ = alphaTest;
    return true;
}

// A quad of half-size hw x hh centred on (cx, cy), turned by `degrees` counter-clockwise,
// with the whole picture of the sprite.
void __Drawing::QueueTurnedQuad(const __SpriteSlot& s, float cx, float cy, float degrees, int hw, int hh) {
    const float u = s.texWidth > 0 ? static_cast<float>(s.width) / s.texWidth : 0;
    const float v = s.texHeight > 0 ? static_cast<float>(s.height) / s.texHeight : 0;
    const double a = degrees * M_PI / 180.0;
    const float c = static_cast<float>(std::cos(a)), sn = static_cast<float>(std::sin(a));
    const float corner[8] = {float(-hw), float(-hh), float(hw),  float(-hh),
                             float(hw),  float(hh),  float(-hw), float(hh)};
    float xy[8];
    for (int k = 0; k < 4; ++k) {
        const float px = corner[2 * k], py = corner[2 * k + 1];
        xy[2 * k] = cx + c * px - sn * py;
        xy[2 * k + 1] = cy + sn * px + c * py;
    }
    const float st[8] = {0, 0, u, 0, u, v, 0, v};
    Vertex quad[4];
    QuadVertices(xy, st, quad);
    const bool alphaTest = alphaTest_;
    alphaTest_ = alphaTest_ && !NothingToDrop(s, false);
    Emit(kQuads, TexturedMode(), false, quad, 4);
    alphaTest_ = alphaTest;
}

void __Drawing::PrimitiveBegin(uint32_t colour) {
    alphaTest_ = false;
    const float f = currentAlpha_;
    SetColour((colour & 0xFF) * f / 255, ((colour >> 8) & 0xFF) * f / 255, ((colour >> 16) & 0xFF) * f / 255,
              ColourAlpha(colour));
    // Primitives take no texture; the binding stays for the sprites that follow.
    savedTexturing_ = texturing_;
    texturing_ = false;
    // 0.375 of a pixel right and down, so points and line ends land inside the pixel
    // they name (GL y grows upwards, so down is negative).
    primitiveShift_ = 0.375f;
}

void __Drawing::PrimitiveEnd() {
    primitiveShift_ = 0;
    const float f = currentAlpha_;
    SetColour(f, f, f, 1);
    texturing_ = savedTexturing_;
    alphaTest_ = true;
}
