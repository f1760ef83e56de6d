// Internal: the renderer's textures: the sprite table, the background surfaces and the
// pictures of movies, and the work of filling them: pictures turned into textures with
// their mip levels, rectangles of the screen grabbed, the alpha channel read back for
// collisions. It works through OpenGL ES 3.0 (the desktop's context and WebGL 2 alike):
// sprites cut to the largest texture, each with its mip-mapped copy; textures read back
// through a framebuffer they are attached to.
//
// A texture store binds textures as it works. The renderer sends the queued drawing
// first and treats the binding as lost afterwards; the store itself knows nothing of
// drawing.
#pragma once

#include <cstdint>
#include <vector>

#include "gfx2d/bmp_file.h"
#include "gfx2d/texels.h"

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
    bool opaque = false;           // every texel of the picture has alpha 1
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
    // Reads the limits of the graphics context, once it exists.
    void Init();
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
    bool LoadSprite(int nr, __BMPImage picture, uint32_t key, bool bump);
    void FreeSprite(int nr);
    // The screen rectangle (x, y from the top-left corner, w x h) of a screenW x
    // screenH back buffer becomes sprite nr, opaque, in place of what the slot held;
    // false (an empty slot) when it needs a texture larger than the largest.
    bool GrabSprite(int nr, int x, int y, int w, int h, int screenW, int screenH);
    // Reads the sprite's alpha channel for collisions, once; true when a texture was
    // bound for it.
    bool ReadAlphaMask(int nr);

    // ---- background surfaces (numbers valid) -----------------------------------------
    // The picture's cells of 64 x 64 pixels (the last row and column filled out) in
    // tiles of power-of-two sides; false (the surface unchanged) when the picture cannot
    // be read or needs more than 64 x 64 cells, false and an empty surface when a tile
    // cannot be made.
    bool LoadSurface(int s, const __BMPImage& picture);
    // The whole back buffer (screenW x screenH) in tiles of power-of-two sizes.
    void GrabSurface(int s, int screenW, int screenH);
    void FreeSurface(int s);

    // ---- pictures replaced every time they are shown -----------------------------------
    // Makes the texture for width x height pictures (a texture `t` held before is freed
    // first); false, and no texture, when the size is out of range.
    bool MakeStreamTexture(__StreamTexture& t, int width, int height);
    // Replaces the picture: width x height RGBA bytes, top row first.
    void UpdateStreamTexture(const __StreamTexture& t, const uint8_t* rgba);
    void FreeStreamTexture(__StreamTexture& t);

    // Forgets every sprite and surface without freeing textures (before the graphics
    // context exists, or after it is gone).
    void Forget() {
        for (__SpriteSlot& s : sprites_) s = __SpriteSlot{};
        for (__Surface& s : surfaces_) s = __Surface{};
    }

private:
    // Uploads the texels (pw x ph) as the plain texture and, with `mip`, as the
    // mip-mapped copy whose levels are built in the same buffer, each over the one
    // before. The buffer is used up and freed.
    void UploadTexels(__TexelBuffer& texels, int pw, int ph, unsigned* tex, unsigned* mip, bool bump);
    // Reads the w x h texels of a texture, row 0 first, as RGBA bytes into `rgba`;
    // false when it cannot. The drawing's framebuffer is bound again afterwards.
    static bool ReadTexels(unsigned texture, int w, int h, uint8_t* rgba);

    __SpriteSlot sprites_[__kSpriteSlots];
    __Surface surfaces_[__kSurfaces];
    int maxTexture_ = 1024;
};
