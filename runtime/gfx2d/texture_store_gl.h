// Internal to the renderer. The texture store's work that OpenGL with the fixed
// pipeline and OpenGL ES 3.0 (WebGL 2) do alike: sprites cut to the largest texture,
// each with its mip-mapped copy; sprites grabbed from the screen; backgrounds in tiles;
// the textures of movie pictures. Reading a texture back and copying one texture into
// another are done differently by the two GLs and are left to the two stores
// (gl_texture_store.cpp, web/gles_texture_store.cpp).
#pragma once

#include <cstdint>

#include "gfx2d/texels.h"
#include "gfx2d/texture_store.h"

class __TextureStoreGL : public __TextureStore {
public:
    void Init() override;
    bool LoadSprite(int nr, __BMPImage picture, uint32_t key, bool bump) override;
    void FreeSprite(int nr) override;
    bool GrabSprite(int nr, int x, int y, int w, int h, int screenW, int screenH) override;
    bool LoadSurface(int sn, const __BMPImage& picture) override;
    void GrabSurface(int sn, int screenW, int screenH) override;
    void FreeSurface(int sn) override;
    bool MakeStreamTexture(__StreamTexture& t, int width, int height) override;
    void UpdateStreamTexture(const __StreamTexture& t, const uint8_t* rgba) override;
    void FreeStreamTexture(__StreamTexture& t) override;

protected:
    // True where the GL copies between textures (CopyTexture can succeed).
    virtual bool CanCopyTextures() const { return false; }
    // Copies the w x h texels of `from` into `to`, both of that size; false when the
    // GL refused.
    virtual bool CopyTexture(unsigned from, unsigned to, int w, int h) {
        (void)from, (void)to, (void)w, (void)h;
        return false;
    }
    // Reads the w x h texels of a texture, row 0 first, as RGBA bytes into `rgba`;
    // false when it cannot.
    virtual bool ReadTexels(unsigned texture, int w, int h, uint8_t* rgba) = 0;

    // Uploads the texels (pw x ph) as the plain texture and, with `mip`, as the
    // mip-mapped copy whose levels are built in the same buffer, each over the one
    // before. The buffer is used up and freed. Where the GL copies between textures,
    // the plain texture is taken from the mip-mapped one's first level at the end, so
    // the GL never holds both while the texels are still allocated.
    void UploadTexels(__TexelBuffer& texels, int pw, int ph, unsigned* tex, unsigned* mip, bool bump);

    static void SetTextureParameters(bool mipmapped);
    static void SetUnpackState();
    static void ClearErrors();
};
