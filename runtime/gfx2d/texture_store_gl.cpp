// The texture store's work that both GLs do alike (see texture_store_gl.h).
#include "gfx2d/texture_store_gl.h"

#ifdef __EMSCRIPTEN__
#include <GLES3/gl3.h>
#else
#include <GL/gl.h>
#include <GL/glext.h>
#endif

#include <algorithm>
#include <vector>

void __TextureStoreGL::SetTextureParameters(bool mipmapped) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipmapped ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
}

void __TextureStoreGL::SetUnpackState() {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
}

void __TextureStoreGL::ClearErrors() {
    for (int i = 0; i < 8 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

void __TextureStoreGL::UploadTexels(__TexelBuffer& texels, int pw, int ph, unsigned* tex, unsigned* mip, bool bump) {
    SetUnpackState();
    if (bump) __MakeNormalMap(texels.data(), pw, ph);
    glGenTextures(1, tex);
    if (mip) glGenTextures(1, mip);
    auto makePlain = [&](const uint8_t* data) {
        glBindTexture(GL_TEXTURE_2D, *tex);
        SetTextureParameters(false);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, pw, ph, 0, GL_RGBA, GL_UNSIGNED_BYTE, data);
    };
    const bool copyLater = mip && CanCopyTextures();
    if (!copyLater) makePlain(texels.data());
    if (mip) {
        glBindTexture(GL_TEXTURE_2D, *mip);
        SetTextureParameters(true);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, pw, ph, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        int lw = pw, lh = ph;
        for (int level = 1; lw > 1 || lh > 1; ++level) {
            int nw = lw > 1 ? lw / 2 : 1, nh = lh > 1 ? lh / 2 : 1;
            __NextMipLevelInPlace(texels.data(), lw, nw, nh);
            lw = nw;
            lh = nh;
            glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, lw, lh, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        }
    }
    texels.Release();
    if (copyLater) {
        makePlain(nullptr);
        if (!CopyTexture(*mip, *tex, pw, ph)) {
            // The copy was refused: read the first level back instead.
            __TexelBuffer level0(static_cast<size_t>(pw) * ph * 4);
            if (level0.data() && ReadTexels(*mip, pw, ph, level0.data())) makePlain(level0.data());
        }
    }
}

void __TextureStoreGL::Init() {
    GLint maxTexture = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
    // Sprite sizes are kept in 16 bits: textures stay within 16384 texels a side.
    maxTexture_ = maxTexture < 64 ? 64 : (maxTexture > 16384 ? 16384 : maxTexture);
}

bool __TextureStoreGL::LoadSprite(int nr, __BMPImage picture, uint32_t key, bool bump) {
    FreeSprite(nr);
    const int width = picture.Width(), height = picture.Height();
    if (width < 1 || height < 1 || !picture.IndicesInPalette()) return false;
    // A picture larger than the largest texture is cut to it; the recorded sizes are
    // those of the texture made, so drawing shows the part that was kept.
    const int w = std::min(width, maxTexture_), h = std::min(height, maxTexture_);
    const int pw = __PowerOfTwo(w), ph = __PowerOfTwo(h);
    // The picture is copied straight into the texels and dropped before the upload,
    // so it is never held beside the GL's copies.
    __TexelBuffer texels(static_cast<size_t>(pw) * ph * 4);
    if (!texels.data()) return false;
    __PictureToTexels(picture, 0, 0, w, h, texels.data(), pw, key, true);
    picture.Release();
    __SpriteSlot& s = sprites_[nr];
    UploadTexels(texels, pw, ph, &s.texture[0], &s.texture[1], bump);
    s.texWidth = static_cast<short>(pw);
    s.texHeight = static_cast<short>(ph);
    s.width = static_cast<short>(w);
    s.height = static_cast<short>(h);
    return true;
}

void __TextureStoreGL::FreeSprite(int nr) {
    __SpriteSlot& s = sprites_[nr];
    if (s.texture[0]) glDeleteTextures(1, &s.texture[0]);
    if (s.texture[1]) glDeleteTextures(1, &s.texture[1]);
    s = __SpriteSlot{};
}

bool __TextureStoreGL::GrabSprite(int nr, int x, int y, int w, int h, int screenW, int screenH) {
    FreeSprite(nr);
    __SpriteSlot& s = sprites_[nr];
    const int tw = std::max(__PowerOfTwo(w), 32), th = std::max(__PowerOfTwo(h), 32);
    if (tw > maxTexture_ || th > maxTexture_) return false;
    __TexelBuffer texels(static_cast<size_t>(tw) * th * 4);
    if (!texels.data()) return false;
    // The screen's pixels are read back and stored opaque: the frame buffer's alpha,
    // where it has one at all, is no part of the picture. Parts of the rectangle
    // beyond the screen's edges stay transparent.
    const int gx = x, gy = screenH - y - h;  // GL's lower-left corner of the rectangle
    const int x0 = std::max(gx, 0), y0 = std::max(gy, 0);
    const int x1 = std::min(gx + std::min(w, tw), screenW);
    const int y1 = std::min(gy + std::min(h, th), screenH);
    if (x0 < x1 && y0 < y1) {
        std::vector<uint8_t> screen(static_cast<size_t>(x1 - x0) * (y1 - y0) * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(x0, y0, x1 - x0, y1 - y0, GL_RGBA, GL_UNSIGNED_BYTE, screen.data());
        for (int r = 0; r < y1 - y0; ++r) {
            const uint8_t* src = &screen[static_cast<size_t>(r) * (x1 - x0) * 4];
            uint8_t* dst = texels.data() + (static_cast<size_t>(y0 - gy + r) * tw + (x0 - gx)) * 4;
            for (int c = 0; c < x1 - x0; ++c, src += 4, dst += 4) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
                dst[3] = 255;
            }
        }
    }
    UploadTexels(texels, tw, th, &s.texture[0], nullptr, false);
    s.texWidth = static_cast<short>(tw);
    s.texHeight = static_cast<short>(th);
    s.width = static_cast<short>(w);
    s.height = static_cast<short>(h);
    return true;
}

bool __TextureStoreGL::LoadSurface(int sn, const __BMPImage& picture) {
    const int cols = (picture.Width() + 63) / 64, rows = (picture.Height() + 63) / 64;
    // A background is at most 64 x 64 tiles; larger pictures are refused before
    // their pixels are read.
    if (cols < 1 || rows < 1 || cols > __kSurfaceGrid || rows > __kSurfaceGrid) return false;
    if (!picture.IndicesInPalette()) return false;
    FreeSurface(sn);
    __Surface& s = surfaces_[sn];
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < cols; ++i) {
            __SurfaceTile& t = s.tiles[i][j];
            __TexelBuffer texels(64 * 64 * 4);
            if (!texels.data()) {
                FreeSurface(sn);
                return false;
            }
            __PictureToTexels(picture, 64 * i, 64 * j, 64, 64, texels.data(), 64, __kSpriteKey, true);
            UploadTexels(texels, 64, 64, &t.texture, nullptr, false);
            t.width = t.height = 64;
        }
    s.columns = static_cast<uint8_t>(cols);
    s.rows = static_cast<uint8_t>(rows);
    return true;
}

void __TextureStoreGL::GrabSurface(int sn, int screenW, int screenH) {
    const int tile = std::min(maxTexture_, 256);
    FreeSurface(sn);
    __Surface& s = surfaces_[sn];
    int cols = 0, rows = 0;
    std::vector<uint8_t> clear(static_cast<size_t>(tile) * tile * 4, 0);
    SetUnpackState();
    for (int y = 0; y < screenH && rows < __kSurfaceGrid; ++rows) {
        int band = tile;
        while (band > 1 && y + band > screenH) band /= 2;
        int i = 0;
        for (int x = 0; x < screenW && i < __kSurfaceGrid; x += tile, ++i) {
            __SurfaceTile& t = s.tiles[i][rows];
            glGenTextures(1, &t.texture);
            glBindTexture(GL_TEXTURE_2D, t.texture);
            SetTextureParameters(false);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tile, band, 0, GL_RGBA, GL_UNSIGNED_BYTE, clear.data());
            glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, x, screenH - y - band, std::min(tile, screenW - x), band);
            t.width = static_cast<short>(tile);
            t.height = static_cast<short>(band);
        }
        cols = std::max(cols, i);
        y += band;
    }
    s.columns = static_cast<uint8_t>(cols);
    s.rows = static_cast<uint8_t>(rows);
}

void __TextureStoreGL::FreeSurface(int sn) {
    __Surface& s = surfaces_[sn];
    for (auto& column : s.tiles)
        for (__SurfaceTile& t : column)
            if (t.texture) {
                glDeleteTextures(1, &t.texture);
                t = __SurfaceTile{};
            }
    s.columns = s.rows = 0;
}

bool __TextureStoreGL::MakeStreamTexture(__StreamTexture& t, int width, int height) {
    FreeStreamTexture(t);
    if (width < 1 || height < 1 || width > maxTexture_ || height > maxTexture_) return false;
    const int pw = __PowerOfTwo(width), ph = __PowerOfTwo(height);
    __TexelBuffer black(static_cast<size_t>(pw) * ph * 4);
    if (!black.data()) return false;
    ClearErrors();
    SetUnpackState();
    glGenTextures(1, &t.texture);
    glBindTexture(GL_TEXTURE_2D, t.texture);
    // Drawn at its own size: each pixel is one texel, taken as it is.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, pw, ph, 0, GL_RGBA, GL_UNSIGNED_BYTE, black.data());
    if (glGetError() != GL_NO_ERROR) {
        FreeStreamTexture(t);
        return false;
    }
    t.width = width;
    t.height = height;
    t.texWidth = pw;
    t.texHeight = ph;
    return true;
}

void __TextureStoreGL::UpdateStreamTexture(const __StreamTexture& t, const uint8_t* rgba) {
    SetUnpackState();
    glBindTexture(GL_TEXTURE_2D, t.texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, t.width, t.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

void __TextureStoreGL::FreeStreamTexture(__StreamTexture& t) {
    if (t.texture) glDeleteTextures(1, &t.texture);
    t = __StreamTexture{};
}
