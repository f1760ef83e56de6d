// Internal: the renderer's drawing: the 2D and 3D projections, the frame's clear and
// presentation, blending, which sprite textures are bound, and every kind of 2D
// drawing (sprites, text, primitives, polygons, background surfaces, movie pictures).
// It reads the textures from a texture store and holds all the drawing state the
// commands depend on. It draws through OpenGL ES 3.0 with one shader for each way of
// colouring fragments, on the desktop (an ES 3.0 or a core OpenGL 3.3 context) and in
// the browser (WebGL 2) alike.
//
// Drawing is batched: shapes are queued in batches of one texture, kind of shape and
// alpha test, all sent through one streaming vertex buffer when the blending or the
// projection changes, or before the frame buffer is read or shown. A shape joins an
// earlier batch of its kind when it overlaps nothing queued after that batch, so its
// pixels are those of drawing in order (in 2D; in the 3D projection shapes keep their
// order).
//
// Coordinates are whole pixels from the top-left corner of the current viewport, x to
// the right and y downwards. Colours are R + 256 G + 65536 B; the key colour 0x8000FF
// draws with alpha 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gfx2d/texture_store.h"

// Values of the texture state besides sprite numbers: no sprite (texturing off), and
// a binding that changed behind the recorded state, which no request matches, so the
// next SetTexture3D binds again.
constexpr int __kNoSprite = -1;
constexpr int __kBindingLost = -2;
// Fragments whose alpha is not above this never reach the screen (the key colour's
// texels have alpha 0, every other texel alpha 1).
constexpr float __kAlphaTestRef = 0.5f;

// Drawing parameters of DrawSpriteFX.
struct OPENGL_SPRITEFX {
    float angle = 0;  // degrees
    short width = 0;  // drawn size; below 1: the image size
    short height = 0;
    uint32_t colour = 0;  // tint R + 256 G + 65536 B; 0: none
};

// A rectangle of whole pixels: columns x0 ... x1 of rows y0 ... y1 (all included).
struct __PixelRect {
    short x0, y0, x1, y1;
};

class __Drawing {
public:
    explicit __Drawing(const __TextureStore& textures) : textures_(textures) {}

    // Readies the drawing for the graphics context, once it exists.
    void Init();
    // The renderer's name as the graphics library gives it.
    static std::string RendererName();

    // ---- projections -----------------------------------------------------------------
    // The 2D projection and drawing state for the viewport (x, y from the top-left
    // corner of a screenW x screenH window); a width or height below 1 takes the
    // screen's size for both.
    void Viewport2D(short x, short y, short w, short h, int screenW, int screenH);
    // A perspective projection over the stored viewport, for the 3D commands.
    void Viewport3D(double nearZ, double farZ, double fovDegrees, int screenW, int screenH);
    short ViewX() const { return viewX_; }
    short ViewY() const { return viewY_; }
    short ViewWidth() const { return viewW_; }
    short ViewHeight() const { return viewH_; }

    // The projection the drawing uses (column by column), and the view matrix 2D drawing
    // is placed with (identity but in 3D, where the 3D engine gives its camera).
    const float* Projection() const { return projection_; }
    const float* View() const { return view_; }
    void SetView(const float (&view)[16]);
    // Another shader program draws next (the 3D engine's): what is queued is sent, and
    // the drawing binds its own program, buffers, sampler and textures again before it
    // draws next.
    void HandOver();

    // ---- the frame --------------------------------------------------------------------
    // Clears the colour buffer.
    void Clear();
    // Shows the back buffer and clears the new one (unless `clear` is false: for a next
    // picture that covers every pixel).
    void Present(bool clear);
    // A width x height rectangle from the bottom-left corner of the back buffer as rows
    // of RGB bytes, bottom row first.
    void ReadBackBuffer(int width, int height, std::vector<uint8_t>& rgb);
    // Sends the sprites queued so far. Every operation that changes state or reads the
    // frame buffer does it first; code that uses the graphics library directly must
    // call it too.
    void Flush();
    // GL draw calls made for the last frame shown, and for the present one so far.
    int DrawCallsLastFrame() const { return lastFrameDraws_; }
    int DrawCallsThisFrame() const { return frameDraws_; }
    // Counts a draw call made by another program (the 3D engine's).
    void CountDraw() { ++frameDraws_; }

    // ---- blending and textures ----------------------------------------------------------
    // Blending off, colour white opaque, current alpha 1.
    void ResetBlending();
    // 0: opaque; f > 0: additive with f; f < 0: multiplicative with -f (|f| at most 1).
    void DoAlpha(float f);
    float CurrentAlpha() const { return currentAlpha_; }
    // Binds sprite `sprite` (and `second` on the second texture unit), the mip-mapped
    // textures with `mip`; __kNoSprite turns texturing off.
    void SetTexture3D(int sprite, int second, int mip);
    // The binding changed behind the recorded state (textures made or freed, or
    // code that is not the renderer's): the next drawing binds again.
    void ForgetBinding() { boundTexture_ = boundTexture2_ = __kBindingLost; }
    // As ForgetBinding, when the sprite is bound.
    void ForgetBinding(int sprite) {
        if (boundTexture_ == sprite || boundTexture2_ == sprite) ForgetBinding();
    }
    // The next binding takes the plain textures.
    void UsePlainTextures() { mipmapped_ = 0; }

    // ---- sprites and text (numbers of loaded sprites; others draw nothing) ------------
    void DrawSprite(short nr, short x, short y);
    // A negative size draws nothing.
    void StretchSprite(short nr, short x, short y, short w, short h);
    void RotoSprite(short nr, short x, short y, short angle);
    void DrawSpriteFX(short nr, short x, short y, const OPENGL_SPRITEFX& fx);
    // Text in font 0 ... 15 (sprite 4079 + font), top-left corner at (x, y), the font's
    // texels multiplied by the colour `tint` (0xFFFFFF: as they are).
    void DrawText(short font, const char* text, short x, short y, uint32_t tint);

    // ---- primitives and polygons --------------------------------------------------------
    void DrawPixel(short x, short y, uint32_t colour);
    void DrawLine(short x1, short y1, short x2, short y2, uint32_t colour);
    void DrawRect(short x1, short y1, short x2, short y2, uint32_t colour);
    // Fills the rectangles, all in one go (as DrawRect(x0, y0, x1 + 1, y1 + 1) each).
    void FillRects(const std::vector<__PixelRect>& rects, uint32_t colour);
    void StartPoly(int nr);
    void PolyPoint(short x, short y, float s, float t, uint32_t colour);
    void EndPoly();

    // ---- surfaces and movie pictures ----------------------------------------------------
    // Background surface s at the viewport's top-left corner, in the current colour.
    void PasteSurface(int s);
    // Cross-fading: additive blending and a cleared screen, then surfaces pasted in the
    // tint (k, k, k), then the usual alpha test again.
    void BeginCrossFade();
    void Tint(float k);
    void EndCrossFade();
    // The picture opaque in the rectangle (x, y, w, h) of the viewport; at its own size
    // every pixel is copied as it is.
    void DrawStreamTexture(const __StreamTexture& t, int x, int y, int w, int h);

private:
    struct Vertex {
        float x, y, s, t, r, g, b, a;
    };
    // The shape of quads: four corners each, drawn as two triangles by indices.
    static constexpr unsigned kQuads = 0x10000;
    // What fragments show: the colour, the texture times the colour, or the texture as it is.
    enum Mode { kColour = 0, kModulate = 1, kReplace = 2 };
    // Shapes that are no points of a texture, and points (squares of texels at their
    // own size) that show the whole texture or a picture in a part of it.
    enum PointKind { kNoPoint = 0, kWholeTexture = 1, kPartOfTexture = 2 };
    // What the vertices of a batch share.
    struct BatchKey {
        unsigned shape = 0;
        int mode = kColour;
        bool exact = false;  // one texel per pixel: sampled with nearest filtering
        bool alphaTest = true;
        unsigned texture = 0;  // none for kColour
        PointKind point = kNoPoint;
        short pointSize = 0;  // the side of the points
        bool operator==(const BatchKey&) const = default;
    };
    struct Box {
        float x0, y0, x1, y1;
        // Overlapping, not only touching.
        bool Meets(const Box& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
    };
    struct Batch {
        BatchKey key;
        std::vector<Vertex> vertices;
        Box all{};               // around every shape
        std::vector<Box> boxes;  // around each shape, while there are few
        bool counted = true;     // `boxes` holds every shape's
        bool Meets(const Box& b) const;
    };
    // What the shader program was last given, so unchanged values are not sent again.
    // A program for one mode, with or without the alpha test.
    struct Program {
        unsigned id = 0;
        int matrixAt = -1;
        unsigned matrixVersion = 0;  // of the matrix it was given (0: none yet)
        int pointSizeAt = -1;
        short pointSize = 0;  // the point side it was given (0: none yet)
    };
    struct Sent {
        bool bound = false;                // vertex array and buffer bound
        const Program* program = nullptr;  // in use
        int sampler = -1;
    };

    bool Loaded(int nr) const;
    void SetColour(float r, float g, float b, float a);
    Vertex Corner(int x, int y) const;
    // The mode of textured shapes in the current colour (kColour while texturing is off).
    Mode TexturedMode() const;
    bool NothingToDrop(const __SpriteSlot& s, bool exact) const;
    void QuadVertices(const float (&xy)[8], const float (&st)[8], Vertex (&out)[4]) const;
    // Queues the vertices of one shape of the kind.
    void Emit(unsigned shape, Mode mode, bool exact, const Vertex* v, size_t n, PointKind point = kNoPoint,
              short pointSize = 0);
    void QueueQuad(int nr, int x0, int y0, int x1, int y1);
    // Queues the sprite at its own size with its top-left corner at (x, y) as one point,
    // where a point draws the same pixels; false where it does not.
    bool QueuePoint(int nr, int x, int y);
    void QueueTurnedQuad(const __SpriteSlot& s, float cx, float cy, float degrees, int hw, int hh);
    void PrimitiveBegin(uint32_t colour);
    void PrimitiveEnd();
    // Puts the program of the mode and alpha test in use, made the first time, with the
    // current matrix.
    void UseProgram(int mode, bool alphaTest, PointKind point, short pointSize);
    void PointAt(size_t first);
    void IndexQuads(size_t quads);
    // Binds a texture that is no sprite (a surface tile, a movie picture).
    void BindOther(unsigned texture);

    const __TextureStore& textures_;
    Program programs_[3][2][3];  // by mode, without and with the alpha test, and kind of point
    int largestPoint_ = 1;       // the widest point the GL draws
    unsigned vertexArray_ = 0, buffer_ = 0;
    unsigned quadIndices_ = 0;  // the quads' index buffer, for indexedQuads_ quads
    size_t indexedQuads_ = 0;
    size_t pointedAt_ = 0;        // the vertex the attributes start at
    unsigned nearest_ = 0;        // a sampler with nearest filtering, for texels at their own size
    unsigned matrixVersion_ = 1;  // counts the changes of the projection and the view
    Sent sent_;
    float projection_[16] = {};
    bool projection2D_ = true;  // the 2D projection, not the 3D one
    float view_[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float colour_[4] = {1, 1, 1, 1};  // the colour new vertices take
    bool texturing_ = true;           // sprites' texture on (else the colour alone)
    bool alphaTest_ = true;           // fragments of alpha up to __kAlphaTestRef dropped
    float primitiveShift_ = 0;
    unsigned texture_ = 0;        // the texture textured shapes take
    std::vector<Batch> batches_;  // the queue: the first `queued_` are in use
    size_t queued_ = 0;
    std::vector<Vertex> stream_;  // the batches' vertices as they go to the GL
    int frameDraws_ = 0, lastFrameDraws_ = 0;
    bool savedTexturing_ = true;  // texturing while a primitive is drawn
    std::vector<Vertex> polyPoints_;
    int polyTexture_ = __kNoSprite;

    float currentAlpha_ = 1.0f;        // blending factor of sprite drawing
    int boundTexture_ = __kNoSprite;   // sprite bound on texture unit 0
    int boundTexture2_ = __kNoSprite;  // sprite bound on texture unit 1
    int mipmapped_ = 0;                // the binding takes the mip-mapped textures
    short viewX_ = 0, viewY_ = 0, viewW_ = 0, viewH_ = 0;
};
