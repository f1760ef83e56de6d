// Internal: the renderer, for the runtime's own drawing code. Programs use the commands
// of tolvane.h.
//
// The renderer owns the OpenGL context of the program window, the display mode, the 2D
// projection, the frame-rate limiter, the sprite and surface textures, and every piece
// of GL state the drawing commands depend on; code outside it changes GL state only
// through its operations.
//
// 2D coordinates are whole pixels from the top-left corner of the current viewport,
// x to the right and y downwards; drawing code passes the GL vertex (px, -py).
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>
#include <vector>

#include "gfx2d/bmp_file.h"
#include "gfx2d/sprite_batch.h"

constexpr int __kSpriteSlots = 4095;   // 0 ... 4094; fonts take 4079 ... 4094
constexpr int __kFontBase = 4079;
constexpr int __kFontCount = 16;
constexpr int __kSurfaces = 15;        // surface 0 is the frame background
constexpr int __kSurfaceGrid = 64;     // tiles per surface row and column
constexpr uint32_t __kSpriteKey = 0x8000FF;
// Values of the texture state besides sprite numbers: no sprite (texturing off), and
// a binding that GL changed behind the recorded state, which no request matches, so
// the next SetTexture3D binds again.
constexpr int __kNoSprite = -1;
constexpr int __kBindingLost = -2;
// Fragments whose alpha is not above this never reach the screen (the key colour's
// texels have alpha 0, every other texel alpha 1).
constexpr float __kAlphaTestRef = 0.5f;

struct __SpriteSlot {
    short texWidth = -1, texHeight = -1;  // powers of two; -1: empty slot
    short width = 0, height = 0;          // the picture inside the texture
    std::vector<uint8_t> alphaMask;       // read back on the first pixel collision
    bool hasMask = false;
    unsigned texture[2] = {0, 0};         // plain, mip-mapped
};

struct __SurfaceTile {
    unsigned texture = 0;
    short width = 0, height = 0;
};

struct __Surface {
    __SurfaceTile tiles[__kSurfaceGrid][__kSurfaceGrid];  // [column][row]
    uint8_t columns = 0, rows = 0;
};

// Drawing parameters of DrawSpriteFX.
struct OPENGL_SPRITEFX {
    float angle = 0;      // degrees
    short width = 0;      // drawn size; below 1: the image size
    short height = 0;
    uint32_t colour = 0;  // tint R + 256 G + 65536 B; 0: none
};

// A picture whose pixels are replaced every time it is shown (the pictures of a movie):
// one texture, padded to power-of-two size.
struct __StreamTexture {
    unsigned texture = 0;
    int width = 0, height = 0;        // the picture
    int texWidth = 0, texHeight = 0;  // the texture
};

class OpenGLPrism {
public:
    OpenGLPrism();
    virtual ~OpenGLPrism();

    // Creates the GL context for the program window. Width or height 0 takes the
    // window's; bits 0 the desktop's colour depth. Returns 1, or 0 when the driver
    // offers no OpenGL context.
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
    // Handles every pending window event.
    int WinMessages();
    // Presents the back buffer and clears the new one at once: no frame schedule, no
    // events (for players that keep their own time, such as movies).
    void PresentNow();
    // Unattended runs: presenting does not wait for the frame's slot.
    void SetNoWait(bool noWait) { noWait_ = noWait; }

    void SetupAccurateTimer();
    double AccurateTime() const;
    // Frame period 1000 / fps ms; 2 ms for fps <= 0.
    void SetMaxFPS(int fps);

    // ---- frame state ---------------------------------------------------------------------
    // Clears the colour buffer of the frame being drawn.
    void ClearScreen();
    // Blending off, GL colour white opaque, current alpha 1.
    void ResetBlending();
    // The drawing state every frame starts with: blending reset, the whole screen as
    // viewport, the background surface drawn, plain (not mip-mapped) textures.
    void StartFrame();
    // GL's texture binding was changed by code that is not the renderer's: the next
    // drawing binds its texture again.
    void ForgetBinding() { boundTexture_ = boundTexture2_ = __kBindingLost; }
    // The blending factor of sprite drawing (ALPHAMODE), 1 after every frame start.
    float CurrentAlpha() const { return currentAlpha_; }
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
    // Makes a texture of the region (x, y, w, h; w or h 0 = whole picture) of a picture;
    // with `mip` also a mip-mapped copy. Pixels of the key colour become transparent
    // when useKey is set; `bump` turns the picture into a normal map. Returns 1, or 0
    // (and no texture) when the texels cannot be had.
    int MakeBMPTexture(const __BMPImage& image, int x, int y, int w, int h, unsigned* tex, unsigned* mip,
                       uint32_t key, bool useKey, bool bump);
    // Makes a texture of a picture in memory (width x height RGBA bytes, top row first),
    // padded to power-of-two size like the sprites; `mip` also a mip-mapped copy. Returns
    // 1, or 0 (and no texture) when the size is out of range.
    int MakeTexture(const uint8_t* rgba, int width, int height, unsigned* tex, unsigned* mip);
    // Loads a bitmap file's bytes into sprite slot nr (the old sprite goes first); false,
    // and an empty slot, when the bytes are no bitmap it can read.
    bool LoadSprite(unsigned nr, std::vector<uint8_t> file, uint32_t key, bool bump);
    void FreeSprite(int nr);
    void GetSpriteSize(short nr, int& width, int& height) const;
    bool GrabSprite(short nr, short x, short y, short w, short h);
    // Loads a bitmap file's bytes as surface s; false, the surface as it was, when they
    // cannot be read or need more than 64 x 64 tiles.
    bool LoadSurface(int s, std::vector<uint8_t> file);
    void GrabSurface(int s);
    void FreeSurface(int s);
    // 24-bit screenshot of the back buffer; 0 when the file cannot be made.
    int SaveBMPFile(const char* file);
    const __SpriteSlot* Sprite(int nr) const { return ValidSprite(nr) ? &sprites_[nr] : nullptr; }
    const __Surface* Surface(int s) const { return ValidSurface(s) ? &surfaces_[s] : nullptr; }
    static bool ValidSprite(int nr) { return nr >= 0 && nr < __kSpriteSlots; }
    // A slot that holds a picture: loaded or grabbed, not empty or failed.
    bool Loaded(int nr) const { return ValidSprite(nr) && sprites_[nr].texture[0] != 0; }
    static bool ValidSurface(int s) { return s >= 0 && s < __kSurfaces; }

    // ---- pictures replaced every time they are shown -------------------------------------
    // Makes the texture for width x height pictures (a texture `t` held before is freed
    // first); false, and no texture, when the size is out of range.
    bool MakeStreamTexture(__StreamTexture& t, int width, int height);
    // Replaces the picture: width x height RGBA bytes, top row first.
    void UpdateStreamTexture(const __StreamTexture& t, const uint8_t* rgba);
    // Draws the picture opaque into the rectangle (x, y, w, h) of the current viewport;
    // at its own size every pixel is copied as it is.
    void DrawStreamTexture(const __StreamTexture& t, int x, int y, int w, int h);
    void FreeStreamTexture(__StreamTexture& t);

    // ---- sprite drawing ----------------------------------------------------------------
    void SetTexture3D(int sprite, int second, int mip);
    void DrawSprite(short nr, short x, short y);
    void StretchSprite(short nr, short x, short y, short w, short h);
    void RotoSprite(short nr, short x, short y, short angle);
    void DrawSpriteFX(short nr, short x, short y, const OPENGL_SPRITEFX& fx);
    void DoAlpha(float f);
    bool SpriteCollision(int nr1, int nr2, short x1, short y1, short x2, short y2);

    // ---- text ------------------------------------------------------------------------------
    void DrawTextA(short font, const char* text, short x, short y);
    bool LoadFont(unsigned font, std::vector<uint8_t> file);
    void GetFontSize(short font, int& width, int& height) const;

    // ---- primitives, polygons, surfaces --------------------------------------------------------
    void DrawPixel(short x, short y, uint32_t colour);
    void DrawLine(short x1, short y1, short x2, short y2, uint32_t colour);
    void DrawRect(short x1, short y1, short x2, short y2, uint32_t colour);
    void StartPoly(int nr);
    void PolyPoint(short x, short y, float s, float t, uint32_t colour);
    void EndPoly();
    void PasteSurface(unsigned s);
    void BlendToSurface(int from, int to);

    // Sends the sprites queued so far to GL. Every operation that changes GL state or
    // reads the frame buffer calls it first; code outside the renderer that uses GL
    // directly must call it too.
    void Flush() { batch_.Flush(); }

    int ScreenWidth() const { return screenWidth_; }
    int ScreenHeight() const { return screenHeight_; }
    short ViewX() const { return viewX_; }
    short ViewY() const { return viewY_; }
    short ViewWidth() const { return viewW_; }
    short ViewHeight() const { return viewH_; }
    double FramePeriod() const { return framePeriod_; }
    double NextFrameTime() const { return nextFrameTime_; }

private:
    float currentAlpha_ = 1.0f;          // blending factor of sprite drawing
    int boundTexture_ = __kNoSprite;   // sprite bound on texture unit 0
    int boundTexture2_ = __kNoSprite;  // sprite bound on texture unit 1
    int mipmapped_ = 0;                // the binding takes the mip-mapped textures
    int mipmapFlag_ = 0;               // the 3D commands' mipmapping choice
    bool noWait_ = false;

    // Region of a width x height picture that a texture holds (w or h 0: all of it,
    // cut to the largest texture size) and the texture's power-of-two size.
    bool TextureRegion(int width, int height, int& w, int& h, int& pw, int& ph) const;
    void ReportRendererKind();
    void BindSprite(int nr);
    void QueueQuad(int nr, int x0, int y0, int x1, int y1);
    void PrimitiveBegin(uint32_t colour);
    void PrimitiveEnd();

    __SpriteSlot sprites_[__kSpriteSlots];
    __Surface surfaces_[__kSurfaces];
    __SpriteBatch batch_;
    int maxTexture_ = 1024;
    PFNGLCOPYIMAGESUBDATAPROC copyImage_ = nullptr;  // copies between textures, where offered
    int savedTexture_[3] = {__kNoSprite, __kNoSprite, 0};
    struct PolyPointRecord {
        float x, y, s, t, r, g, b, a;
    };
    std::vector<PolyPointRecord> polyPoints_;
    int polyTexture_ = __kNoSprite;

    int screenWidth_ = 0, screenHeight_ = 0, colourBits_ = 0;
    bool fullscreen_ = false;
    short viewX_ = 0, viewY_ = 0, viewW_ = 0, viewH_ = 0;
    bool initialised_ = false;
    double nextFrameTime_ = 0;
    double framePeriod_ = 1000.0 / 60.0;
};

// The renderer of the program window; null before start-up and after the end.
extern OpenGLPrism* pPrsm;
