// Internal: the renderer's textures: the sprite table, the background surfaces and the
// pictures of movies, and the work of filling them: pictures turned into textures with
// their mip levels, rectangles of the screen grabbed, the alpha channel read back for
// collisions. The tables are the same for every graphics library; the work is done by
// an implementation for one (__MakeGLTextureStore: OpenGL with the fixed pipeline).
//
// A texture store binds textures as it works. The renderer sends the queued drawing
// first and treats the binding as lost afterwards; the store itself knows nothing of
// drawing.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "gfx2d/bmp_file.h"

constexpr int __kSpriteSlots = 4095;  // 0 ... 4094; fonts take 4079 ... 4094
constexpr int __kFontBase = 4079;
constexpr int __kFontCount = 16;
constexpr int __kSurfaces = 15;     // surface 0 is the frame background
constexpr int __kSurfaceGrid = 64;  // tiles per surface row and column
constexpr uint32_t __kSpriteKey = 0x8000FF;

struct __SpriteSlot {
    short texWidth = -1, texHeight = -1;  // powers of two; -1: empty slot
    short width = 0, height = 0;          // the picture inside the texture
    std::vector<uint8_t> alphaMask;       // read back on the first pixel collision
    bool hasMask = false;
    unsigned texture[2] = {0, 0};  // plain, mip-mapped
};

struct __SurfaceTile {
    unsigned texture = 0;
    short width = 0, height = 0;
};

struct __Surface {
    __SurfaceTile tiles[__kSurfaceGrid][__kSurfaceGrid];  // [column][row]
    uint8_t columns = 0, rows = 0;
};

// A picture whose pixels are replaced every time it is shown (the pictures of a movie):
// one texture, padded to power-of-two size.
struct __StreamTexture {
    unsigned texture = 0;
    int width = 0, height = 0;        // the picture
    int texWidth = 0, texHeight = 0;  // the texture
};

class __TextureStore {
public:
    virtual ~__TextureStore() = default;

    // Reads the limits of the graphics context, once it exists.
    virtual void Init() = 0;
    // Side of the largest texture made (the context's, kept within 64 ... 16384).
    int MaxTextureSize() const { return maxTexture_; }

    static bool ValidSprite(int nr) { return nr >= 0 && nr < __kSpriteSlots; }
    static bool ValidSurface(int s) { return s >= 0 && s < __kSurfaces; }
    // The slot or surface; the number must be valid.
    const __SpriteSlot& Sprite(int nr) const { return sprites_[nr]; }
    const __Surface& Surface(int s) const { return surfaces_[s]; }
    // The texture a binding of the sprite uses: the mip-mapped one when asked for and
    // there is one (a grabbed sprite has none), else the plain one; 0 for an invalid
    // number or an empty slot.
    unsigned TextureOf(int nr, bool mipmapped) const {
        if (!ValidSprite(nr)) return 0;
        const unsigned* t = sprites_[nr].texture;
        return mipmapped && t[1] ? t[1] : t[0];
    }

    // ---- sprites (numbers valid) --------------------------------------------------------
    // Makes sprite nr of the picture, in place of what the slot held: the plain and the
    // mip-mapped texture, pixels of the key colour transparent; `bump` turns the
    // picture's blue channel into a normal map. The picture is used up: its bytes go
    // before the textures are made. False, and an empty slot, for an empty picture or
    // one with palette indices beyond its palette.
    virtual bool LoadSprite(int nr, __BMPImage picture, uint32_t key, bool bump) = 0;
    virtual void FreeSprite(int nr) = 0;
    // The screen rectangle (x, y from the top-left corner, w x h) of a screenW x
    // screenH back buffer becomes sprite nr, opaque, in place of what the slot held;
    // false (an empty slot) when it needs a texture larger than the largest.
    virtual bool GrabSprite(int nr, int x, int y, int w, int h, int screenW, int screenH) = 0;
    // Reads the sprite's alpha channel for collisions, once; true when a texture was
    // bound for it.
    virtual bool ReadAlphaMask(int nr) = 0;

    // ---- background surfaces (numbers valid) -----------------------------------------
    // The picture cut into 64 x 64 tiles; false (the surface unchanged) when the picture
    // cannot be read or needs more than 64 x 64 tiles, false and an empty surface when
    // a tile cannot be made.
    virtual bool LoadSurface(int s, const __BMPImage& picture) = 0;
    // The whole back buffer (screenW x screenH) in tiles of power-of-two sizes.
    virtual void GrabSurface(int s, int screenW, int screenH) = 0;
    virtual void FreeSurface(int s) = 0;

    // ---- pictures replaced every time they are shown -----------------------------------
    // Makes the texture for width x height pictures (a texture `t` held before is freed
    // first); false, and no texture, when the size is out of range.
    virtual bool MakeStreamTexture(__StreamTexture& t, int width, int height) = 0;
    // Replaces the picture: width x height RGBA bytes, top row first.
    virtual void UpdateStreamTexture(const __StreamTexture& t, const uint8_t* rgba) = 0;
    virtual void FreeStreamTexture(__StreamTexture& t) = 0;

    // Forgets every sprite and surface without freeing textures (before the graphics
    // context exists, or after it is gone).
    void Forget() {
        for (__SpriteSlot& s : sprites_) s = __SpriteSlot{};
        for (__Surface& s : surfaces_) s = __Surface{};
    }

protected:
    __SpriteSlot sprites_[__kSpriteSlots];
    __Surface surfaces_[__kSurfaces];
    int maxTexture_ = 1024;
};

std::unique_ptr<__TextureStore> __MakeGLTextureStore();
// OpenGL ES 3.0 (WebGL 2, in the browser build).
std::unique_ptr<__TextureStore> __MakeGLESTextureStore();
