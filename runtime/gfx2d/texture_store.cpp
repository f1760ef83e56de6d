// The texture store over OpenGL ES 3.0 (see texture_store.h).
#include "gfx2d/texture_store.h"

#include <GLES3/gl3.h>

#include <algorithm>
#include <vector>

namespace {

void SetTextureParameters(bool mipmapped) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipmapped ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
}

void SetUnpackState() {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
}

// Whether the w x h texels at the start of rows of pw texels all have alpha 1.
bool AllOpaque(const uint8_t* texels, int w, int h, int pw) {
    for (int r = 0; r < h; ++r) {
        const uint8_t* row = texels + static_cast<size_t>(r) * pw * 4;
        for (int c = 0; c < w; ++c)
            if (row[4 * c + 3] != 255) return false;
    }
    return true;
}

void ClearErrors() {
    for (int i = 0; i < 8 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

}  // namespace

bool __TextureStore::ReadTexels(unsigned texture, int w, int h, uint8_t* rgba) {
    GLint drawing = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &drawing);
    GLuint frame = 0;
    glGenFramebuffers(1, &frame);
    glBindFramebuffer(GL_FRAMEBUFFER, frame);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    const bool ok = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (ok) {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(drawing));
    glDeleteFramebuffers(1, &frame);
    return ok;
}

bool __TextureStore::ReadAlphaMask(int nr) {
    __SpriteSlot& s = sprites_[nr];
    if (s.hasMask) return false;
    s.hasMask = true;
    const int tw = std::max<int>(s.texWidth, 0), th = std::max<int>(s.texHeight, 0);
    s.alphaMask.assign(static_cast<size_t>(tw) * th, 0);
    if (!s.texture[0] || s.alphaMask.empty()) return false;
    std::vector<uint8_t> rgba(static_cast<size_t>(tw) * th * 4);
    if (ReadTexels(s.texture[0], tw, th, rgba.data()))
        for (size_t i = 0; i < s.alphaMask.size(); ++i) s.alphaMask[i] = rgba[4 * i + 3];
    return true;
}

void __TextureStore::UploadTexels(__TexelBuffer& texels, int pw, int ph, unsigned* tex, unsigned* mip, bool bump) {
    SetUnpackState();
    if (bump) __MakeNormalMap(texels.data(), pw, ph);
    glGenTextures(1, tex);
    if (mip) glGenTextures(1, mip);
    glBindTexture(GL_TEXTURE_2D, *tex);
    SetTextureParameters(false);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, pw, ph, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
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
}

void __TextureStore::Init() {
    GLint maxTexture = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
    // Sprite sizes are kept in 16 bits: textures stay within 16384 texels a side.
    maxTexture_ = maxTexture < 64 ? 64 : (maxTexture > 16384 ? 16384 : maxTexture);
}

bool __TextureStore::LoadSprite(int nr, __BMPImage picture, uint32_t key, bool bump) {
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
    s.opaque = !bump && AllOpaque(texels.data(), w, h, pw);
    UploadTexels(texels, pw, ph, &s.texture[0], &s.texture[1], bump);
    s.texWidth = static_cast<short>(pw);
    s.texHeight = static_cast<short>(ph);
    s.width = static_cast<short>(w);
    s.height = static_cast<short>(h);
    return true;
}

void __TextureStore::FreeSprite(int nr) {
    __SpriteSlot& s = sprites_[nr];
    if (s.texture[0]) glDeleteTextures(1, &s.texture[0]);
    if (s.texture[1]) glDeleteTextures(1, &s.texture[1]);
    s = __SpriteSlot{};
}

bool __TextureStore::GrabSprite(int nr, int x, int y, int w, int h, int screenW, int screenH) {
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
    s.opaque = AllOpaque(texels.data(), w, h, tw);
    UploadTexels(texels, tw, th, &s.texture[0], nullptr, false);
    s.texWidth = static_cast<short>(tw);
    s.texHeight = static_cast<short>(th);
    s.width = static_cast<short>(w);
    s.height = static_cast<short>(h);
    return true;
}

bool __TextureStore::LoadSurface(int sn, const __BMPImage& picture) {
    const int cells[2] = {(picture.Width() + 63) / 64, (picture.Height() + 63) / 64};
    // A background is at most 64 x 64 cells of 64 pixels; larger pictures are refused
    // before their pixels are read.
    for (int c : cells)
        if (c < 1 || c > __kSurfaceGrid) return false;
    if (!picture.IndicesInPalette()) return false;
    FreeSurface(sn);
    // The cells in as few tiles as power-of-two sides up to 1024 make (640 pixels: 512
    // and 128), so the background is drawn in a few draws; every texel is drawn at its
    // own size, so the pixels are those of any other cutting.
    const int largest = std::max(64, std::min(maxTexture_, 1024));
    int sizes[2][__kSurfaceGrid], counts[2] = {0, 0};
    for (int axis = 0; axis < 2; ++axis)
        for (int left = cells[axis] * 64; left > 0; left -= sizes[axis][counts[axis]++])
            sizes[axis][counts[axis]] = std::min(largest, __PowerOfTwo(left + 1) / 2);
    __Surface& s = surfaces_[sn];
    for (int j = 0, y = 0; j < counts[1]; y += sizes[1][j++])
        for (int i = 0, x = 0; i < counts[0]; x += sizes[0][i++]) {
            __SurfaceTile& t = s.tiles[i][j];
            const int w = sizes[0][i], h = sizes[1][j];
            __TexelBuffer texels(static_cast<size_t>(w) * h * 4);
            if (!texels.data()) {
                FreeSurface(sn);
                return false;
            }
            __PictureToTexels(picture, x, y, w, h, texels.data(), w, __kSpriteKey, true);
            UploadTexels(texels, w, h, &t.texture, nullptr, false);
            t.width = static_cast<short>(w);
            t.height = static_cast<short>(h);
        }
    s.columns = static_cast<uint8_t>(counts[0]);
    s.rows = static_cast<uint8_t>(counts[1]);
    return true;
}

void __TextureStore::GrabSurface(int sn, int screenW, int screenH) {
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

void __TextureStore::FreeSurface(int sn) {
    __Surface& s = surfaces_[sn];
    for (auto& column : s.tiles)
        for (__SurfaceTile& t : column)
            if (t.texture) {
                glDeleteTextures(1, &t.texture);
                t = __SurfaceTile{};
            }
    s.columns = s.rows = 0;
}

bool __TextureStore::MakeStreamTexture(__StreamTexture& t, int width, int height) {
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

void __TextureStore::UpdateStreamTexture(const __StreamTexture& t, const uint8_t* rgba) {
    SetUnpackState();
    glBindTexture(GL_TEXTURE_2D, t.texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, t.width, t.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

void __TextureStore::FreeStreamTexture(__StreamTexture& t) {
    if (t.texture) glDeleteTextures(1, &t.texture);
    t = __StreamTexture{};
}
