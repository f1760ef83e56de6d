// Internal: the renderer's drawing: the 2D and 3D projections, the frame's clear and
// presentation, blending, which sprite textures are bound, and every kind of 2D
// drawing (sprites, text, primitives, polygons, background surfaces, movie pictures).
// It reads the textures from a texture store and holds all the drawing state the
// commands depend on. The interface is the same for every graphics library; an
// implementation draws with one (__MakeGLDrawing: OpenGL with the fixed pipeline;
// __MakeGLESDrawing: OpenGL ES 3.0).
//
// Coordinates are whole pixels from the top-left corner of the current viewport, x to
// the right and y downwards. Colours are R + 256 G + 65536 B; the key colour 0x8000FF
// draws with alpha 0.
#pragma once

#include <cstdint>
#include <memory>
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
    float angle = 0;      // degrees
    short width = 0;      // drawn size; below 1: the image size
    short height = 0;
    uint32_t colour = 0;  // tint R + 256 G + 65536 B; 0: none
};

// A rectangle of whole pixels: columns x0 ... x1 of rows y0 ... y1 (all included).
struct __PixelRect {
    short x0, y0, x1, y1;
};

class __Drawing {
public:
    virtual ~__Drawing() = default;

    // Readies the drawing for the graphics context, once it exists.
    virtual void Init() = 0;
    // The renderer's name as the graphics library gives it.
    virtual std::string RendererName() const = 0;

    // ---- projections -----------------------------------------------------------------
    // The 2D projection and drawing state for the viewport (x, y from the top-left
    // corner of a screenW x screenH window); a width or height below 1 takes the
    // screen's size for both.
    virtual void Viewport2D(short x, short y, short w, short h, int screenW, int screenH) = 0;
    // A perspective projection over the stored viewport, for the 3D commands.
    virtual void Viewport3D(double nearZ, double farZ, double fovDegrees, int screenW, int screenH) = 0;
    short ViewX() const { return viewX_; }
    short ViewY() const { return viewY_; }
    short ViewWidth() const { return viewW_; }
    short ViewHeight() const { return viewH_; }

    // ---- the frame --------------------------------------------------------------------
    // Clears the colour buffer.
    virtual void Clear() = 0;
    // Shows the back buffer and clears the new one (unless `clear` is false: for a next
    // picture that covers every pixel).
    virtual void Present(bool clear) = 0;
    // A width x height rectangle from the bottom-left corner of the back buffer as rows
    // of RGB bytes, bottom row first.
    virtual void ReadBackBuffer(int width, int height, std::vector<uint8_t>& rgb) = 0;
    // Sends the sprites queued so far. Every operation that changes state or reads the
    // frame buffer does it first; code that uses the graphics library directly must
    // call it too.
    virtual void Flush() = 0;

    // ---- blending and textures ----------------------------------------------------------
    // Blending off, colour white opaque, current alpha 1.
    virtual void ResetBlending() = 0;
    // 0: opaque; f > 0: additive with f; f < 0: multiplicative with -f (|f| at most 1).
    virtual void DoAlpha(float f) = 0;
    float CurrentAlpha() const { return currentAlpha_; }
    // Binds sprite `sprite` (and `second` on the second texture unit), the mip-mapped
    // textures with `mip`; __kNoSprite turns texturing off.
    virtual void SetTexture3D(int sprite, int second, int mip) = 0;
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
    virtual void DrawSprite(short nr, short x, short y) = 0;
    // A negative size draws nothing.
    virtual void StretchSprite(short nr, short x, short y, short w, short h) = 0;
    virtual void RotoSprite(short nr, short x, short y, short angle) = 0;
    virtual void DrawSpriteFX(short nr, short x, short y, const OPENGL_SPRITEFX& fx) = 0;
    // Text in font 0 ... 15 (sprite 4079 + font), top-left corner at (x, y), the font's
    // texels multiplied by the colour `tint` (0xFFFFFF: as they are).
    virtual void DrawText(short font, const char* text, short x, short y, uint32_t tint) = 0;

    // ---- primitives and polygons --------------------------------------------------------
    virtual void DrawPixel(short x, short y, uint32_t colour) = 0;
    virtual void DrawLine(short x1, short y1, short x2, short y2, uint32_t colour) = 0;
    virtual void DrawRect(short x1, short y1, short x2, short y2, uint32_t colour) = 0;
    // Fills the rectangles, all in one go (as DrawRect(x0, y0, x1 + 1, y1 + 1) each).
    virtual void FillRects(const std::vector<__PixelRect>& rects, uint32_t colour) = 0;
    virtual void StartPoly(int nr) = 0;
    virtual void PolyPoint(short x, short y, float s, float t, uint32_t colour) = 0;
    virtual void EndPoly() = 0;

    // ---- surfaces and movie pictures ----------------------------------------------------
    // Background surface s at the viewport's top-left corner, in the current colour.
    virtual void PasteSurface(int s) = 0;
    // Cross-fading: additive blending and a cleared screen, then surfaces pasted in the
    // tint (k, k, k), then the usual alpha test again.
    virtual void BeginCrossFade() = 0;
    virtual void Tint(float k) = 0;
    virtual void EndCrossFade() = 0;
    // The picture opaque in the rectangle (x, y, w, h) of the viewport; at its own size
    // every pixel is copied as it is.
    virtual void DrawStreamTexture(const __StreamTexture& t, int x, int y, int w, int h) = 0;

protected:
    float currentAlpha_ = 1.0f;        // blending factor of sprite drawing
    int boundTexture_ = __kNoSprite;   // sprite bound on texture unit 0
    int boundTexture2_ = __kNoSprite;  // sprite bound on texture unit 1
    int mipmapped_ = 0;                // the binding takes the mip-mapped textures
    short viewX_ = 0, viewY_ = 0, viewW_ = 0, viewH_ = 0;
};

std::unique_ptr<__Drawing> __MakeGLDrawing(const __TextureStore& textures);
// OpenGL ES 3.0 with shaders and vertex buffers (WebGL 2, in the browser build).
std::unique_ptr<__Drawing> __MakeGLESDrawing(const __TextureStore& textures);
