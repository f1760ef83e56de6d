// Internal: the renderer, for the runtime's own drawing code. Programs use the commands
// of tolvane.h.
//
// OpenGLPrism is the face of the renderer: one object, reached through pPrsm, whose
// operations the commands call. Behind it four parts do the work, each on its own:
//   __FramePacer   (frame_pacer.h)    the frame schedule and the wait for a frame's slot
//   __DisplayMode  (display_mode.h)   the window's size, depth and full-screen mode
//   __TextureStore (texture_store.h)  sprites, surfaces and movie pictures as textures
//   __Drawing      (drawing.h)        projections, the frame, blending, every 2D drawing
// Only the texture store and the drawing talk to the graphics library; the face tells
// the drawing when the store has changed the texture bindings. Code outside the
// renderer changes graphics state only through these operations.
//
// 2D coordinates are whole pixels from the top-left corner of the current viewport,
// x to the right and y downwards.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "gfx2d/display_mode.h"
#include "gfx2d/drawing.h"
#include "gfx2d/frame_pacer.h"
#include "gfx2d/texture_store.h"

class OpenGLPrism {
public:
    OpenGLPrism();
    virtual ~OpenGLPrism();

    // Creates the GL context for the program window. Bits 0 takes the desktop's colour
    // depth. Returns 1, or 0 when the driver offers no OpenGL context.
    int Init(int width, int height, int bits, uint16_t fps);
    // Full screen at the stored size; 0 (and a window) when no such mode exists.
    int DoFullscreen();
    int DoWindowed();
    // Hides the window, leaving full screen.
    int HideWindow();

    // 2D projection for the viewport (x, y from the top-left corner of the window);
    // a width or height below 1 takes the screen's size for both.
    void Make2DViewport(short x, short y, short w, short h);
    // Perspective projection over the stored viewport for the 3D commands.
    void Make3DViewport(double nearZ, double farZ, double fovDegrees);
    void ChangeSize(int width, int height);
    void ResizeAuto() { Make2DViewport(0, 0, 0, 0); }

    // Presents the back buffer, clears the new one and waits for the frame's slot in
    // the schedule. Late frames are dropped from the schedule, never made up. Returns
    // the milliseconds spent plus 1.
    double FlipScreens();
    // Presents the back buffer and clears the new one at once (unless `clear` is false:
    // for a next picture that covers every pixel): no frame schedule, no events (for
    // players that keep their own time, such as movies).
    void PresentNow(bool clear = true) { drawing_->Present(clear); }
    // Unattended runs: presenting does not wait for the frame's slot.
    void SetNoWait(bool noWait) { pacer_.SetNoWait(noWait); }
    double AccurateTime() const;
    // Frame period 1000 / fps ms; 2 ms for fps <= 0.
    void SetMaxFPS(int fps) { pacer_.SetMaxFPS(fps); }

    // ---- frame state ---------------------------------------------------------------------
    // Clears the colour buffer of the frame being drawn.
    void ClearScreen() { drawing_->Clear(); }
    // Blending off, GL colour white opaque, current alpha 1.
    void ResetBlending() { drawing_->ResetBlending(); }
    // The drawing state every frame starts with: blending reset, the whole screen as
    // viewport, the background surface drawn, plain (not mip-mapped) textures.
    void StartFrame();
    // GL's texture binding was changed by code that is not the renderer's: the next
    // drawing binds its texture again.
    void ForgetBinding() { drawing_->ForgetBinding(); }
    // The blending factor of sprite drawing (ALPHAMODE), 1 after every frame start.
    float CurrentAlpha() const { return drawing_->CurrentAlpha(); }
    // The mipmapping flag that 3D texture choices are made with; 0 again at every frame
    // start.
    void SetMipmapping(int flag) { mipmapFlag_ = flag; }
    int Mipmapping() const { return mipmapFlag_; }
    // Reads the back buffer as rows of RGB bytes, bottom row first.
    void ReadBackBuffer(std::vector<uint8_t>& rgb, int& width, int& height);
    // Frees every sprite and surface.
    void FreeAll();
    bool IsActive() const { return initialised_; }

    // ---- textures: sprites and surfaces ---------------------------------------------
    // Loads a bitmap file's bytes into sprite slot nr (the old sprite goes first);
    // pixels of the key colour become transparent, `bump` turns the picture into a
    // normal map. False, and an empty slot, when the bytes are no bitmap it can read.
    bool LoadSprite(unsigned nr, std::vector<uint8_t> file, uint32_t key, bool bump);
    void FreeSprite(int nr);
    void GetSpriteSize(short nr, int& width, int& height) const;
    bool GrabSprite(short nr, short x, short y, short w, short h);
    // Loads a bitmap file's bytes as background surface s; false, the surface as it
    // was, when they cannot be read or need more than 64 x 64 tiles.
    bool LoadSurface(int s, std::vector<uint8_t> file);
    void GrabSurface(int s);
    void FreeSurface(int s);
    // 24-bit screenshot of the back buffer; 0 when the file cannot be made.
    int SaveBMPFile(const char* file);
    const __SpriteSlot* Sprite(int nr) const { return ValidSprite(nr) ? &textures_->Sprite(nr) : nullptr; }
    const __Surface* Surface(int s) const { return ValidSurface(s) ? &textures_->Surface(s) : nullptr; }
    static bool ValidSprite(int nr) { return __TextureStore::ValidSprite(nr); }
    // A slot that holds a picture: loaded or grabbed, not empty or failed.
    bool Loaded(int nr) const { return ValidSprite(nr) && textures_->Sprite(nr).texture[0] != 0; }
    static bool ValidSurface(int s) { return __TextureStore::ValidSurface(s); }

    // ---- pictures replaced every time they are shown -------------------------------------
    // Makes the texture for width x height pictures (a texture `t` held before is freed
    // first); false, and no texture, when the size is out of range.
    bool MakeStreamTexture(__StreamTexture& t, int width, int height);
    // Replaces the picture: width x height RGBA bytes, top row first.
    void UpdateStreamTexture(const __StreamTexture& t, const uint8_t* rgba);
    // Lets `fill` replace the picture through the graphics library itself, given the
    // texture's name (a platform that decodes movies by itself puts its pictures
    // straight into the texture).
    void FillStreamTexture(const __StreamTexture& t, const std::function<void(unsigned texture)>& fill);
    // Draws the picture opaque into the rectangle (x, y, w, h) of the current viewport;
    // at its own size every pixel is copied as it is.
    void DrawStreamTexture(const __StreamTexture& t, int x, int y, int w, int h) {
        drawing_->DrawStreamTexture(t, x, y, w, h);
    }
    void FreeStreamTexture(__StreamTexture& t);

    // ---- sprite drawing ----------------------------------------------------------------
    void SetTexture3D(int sprite, int second, int mip) { drawing_->SetTexture3D(sprite, second, mip); }
    void DrawSprite(short nr, short x, short y) { drawing_->DrawSprite(nr, x, y); }
    void StretchSprite(short nr, short x, short y, short w, short h) { drawing_->StretchSprite(nr, x, y, w, h); }
    void RotoSprite(short nr, short x, short y, short angle) { drawing_->RotoSprite(nr, x, y, angle); }
    void DrawSpriteFX(short nr, short x, short y, const OPENGL_SPRITEFX& fx) { drawing_->DrawSpriteFX(nr, x, y, fx); }
    void DoAlpha(float f) { drawing_->DoAlpha(f); }
    // True when opaque pixels of the two sprites overlap.
    bool SpriteCollision(int nr1, int nr2, short x1, short y1, short x2, short y2);

    // ---- text ------------------------------------------------------------------------------
    // The font's texels multiplied by the colour `tint` (0xFFFFFF: as they are).
    void DrawTextA(short font, const char* text, short x, short y, uint32_t tint = 0xFFFFFF) {
        drawing_->DrawText(font, text, x, y, tint);
    }
    // Loads a bitmap file's bytes as font 0 ... 15 (black transparent); false as
    // LoadSprite.
    bool LoadFont(unsigned font, std::vector<uint8_t> file);
    void GetFontSize(short font, int& width, int& height) const;

    // ---- primitives, polygons, surfaces --------------------------------------------------------
    void DrawPixel(short x, short y, uint32_t colour) { drawing_->DrawPixel(x, y, colour); }
    void DrawLine(short x1, short y1, short x2, short y2, uint32_t colour) {
        drawing_->DrawLine(x1, y1, x2, y2, colour);
    }
    void DrawRect(short x1, short y1, short x2, short y2, uint32_t colour) {
        drawing_->DrawRect(x1, y1, x2, y2, colour);
    }
    void FillRects(const std::vector<__PixelRect>& rects, uint32_t colour) { drawing_->FillRects(rects, colour); }
    void StartPoly(int nr) { drawing_->StartPoly(nr); }
    void PolyPoint(short x, short y, float s, float t, uint32_t colour) { drawing_->PolyPoint(x, y, s, t, colour); }
    void EndPoly() { drawing_->EndPoly(); }
    void PasteSurface(unsigned s) { drawing_->PasteSurface(static_cast<int>(s)); }
    // Cross-fades from surface `from` to surface `to` over 50 presented frames.
    void BlendToSurface(int from, int to);

    // Sends the sprites queued so far to GL. Every operation that changes GL state or
    // reads the frame buffer calls it first; code outside the renderer that uses GL
    // directly must call it too.
    void Flush() { drawing_->Flush(); }
    // For the 3D engine: the projection, the view 2D drawing is placed with, and the
    // hand-over before it draws with its own shader program (drawing.h).
    const float* Projection() const { return drawing_->Projection(); }
    const float* View() const { return drawing_->View(); }
    void SetView(const float (&view)[16]) { drawing_->SetView(view); }
    void CountDraw() { drawing_->CountDraw(); }
    void HandOver() { drawing_->HandOver(); }
    // The texture a binding of the sprite uses (texture_store.h).
    unsigned TextureOf(int nr, bool mipmapped) const { return textures_->TextureOf(nr, mipmapped); }
    // GL draw calls of the last frame shown.
    int DrawCallsLastFrame() const { return drawing_->DrawCallsLastFrame(); }

    int ScreenWidth() const { return display_.Width(); }
    int ScreenHeight() const { return display_.Height(); }
    short ViewX() const { return drawing_->ViewX(); }
    short ViewY() const { return drawing_->ViewY(); }
    short ViewWidth() const { return drawing_->ViewWidth(); }
    short ViewHeight() const { return drawing_->ViewHeight(); }
    double FramePeriod() const { return pacer_.FramePeriod(); }
    double NextFrameTime() const { return pacer_.NextFrameTime(); }

private:
    void ReportRendererKind();

    __DisplayMode display_;
    __FramePacer pacer_;
    std::unique_ptr<__TextureStore> textures_;
    std::unique_ptr<__Drawing> drawing_;
    int mipmapFlag_ = 0;  // the 3D commands' mipmapping choice
    bool initialised_ = false;
};

// The renderer of the program window; null before start-up and after the end.
extern OpenGLPrism* pPrsm;
