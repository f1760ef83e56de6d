// Sprites and surfaces: bitmaps and screen rectangles turned into textures.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "gfx2d/prism.h"
#include "gfx2d/texels.h"

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

// Uploads the texels (pw x ph) as the plain texture and, with `mip`, as the
// mip-mapped copy whose levels are built in the same buffer, each over the one before.
// The buffer is used up and freed. With a copy between textures the plain texture is
// taken from the mip-mapped one's first level at the end, so the GL never holds both
// while the texels are still allocated.
void UploadTexels(__TexelBuffer& texels, int pw, int ph, unsigned* tex, unsigned* mip, bool bump,
                  PFNGLCOPYIMAGESUBDATAPROC copyImage) {
    SetUnpackState();
    if (bump) __MakeNormalMap(texels.data(), pw, ph);
    glGenTextures(1, tex);
    if (mip) glGenTextures(1, mip);
    auto makePlain = [&](const uint8_t* data) {
        glBindTexture(GL_TEXTURE_2D, *tex);
        SetTextureParameters(false);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, pw, ph, 0, GL_RGBA, GL_UNSIGNED_BYTE, data);
    };
    const bool copyLater = mip && copyImage;
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
        for (int i = 0; i < 8 && glGetError() != GL_NO_ERROR; ++i) {
        }
        makePlain(nullptr);
        copyImage(*mip, GL_TEXTURE_2D, 0, 0, 0, 0, *tex, GL_TEXTURE_2D, 0, 0, 0, 0, pw, ph, 1);
        if (glGetError() != GL_NO_ERROR) {
            // The copy was refused: read the first level back instead.
            __TexelBuffer level0(static_cast<size_t>(pw) * ph * 4);
            if (level0.data()) {
                glBindTexture(GL_TEXTURE_2D, *mip);
                glPixelStorei(GL_PACK_ALIGNMENT, 1);
                glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, level0.data());
                makePlain(level0.data());
            }
        }
    }
}

}  // namespace

bool OpenGLPrism::TextureRegion(int width, int height, int& w, int& h, int& pw, int& ph) const {
    if (width < 1 || height < 1) return false;
    if (w == 0 || h == 0) {
        w = width;
        h = height;
    }
    if (w < 1 || h < 1) return false;
    if (w > maxTexture_) w = maxTexture_;
    if (h > maxTexture_) h = maxTexture_;
    pw = __PowerOfTwo(w);
    ph = __PowerOfTwo(h);
    return true;
}

int OpenGLPrism::MakeBMPTexture(const __BMPImage& image, int x, int y, int w, int h, unsigned* tex, unsigned* mip,
                                uint32_t key, bool useKey, bool bump) {
    int pw = 0, ph = 0;
    if (!tex || !TextureRegion(image.Width(), image.Height(), w, h, pw, ph)) return 0;
    __TexelBuffer texels(static_cast<size_t>(pw) * ph * 4);
    if (!texels.data()) return 0;
    __PictureToTexels(image, x, y, w, h, texels.data(), pw, key, useKey);
    Flush();
    UploadTexels(texels, pw, ph, tex, mip, bump, copyImage_);
    ForgetBinding();  // the binding changed behind the texture state
    return 1;
}

int OpenGLPrism::MakeTexture(const uint8_t* rgba, int width, int height, unsigned* tex, unsigned* mip) {
    int w = 0, h = 0, pw = 0, ph = 0;
    if (!tex || !rgba || !TextureRegion(width, height, w, h, pw, ph)) return 0;
    __TexelBuffer texels(static_cast<size_t>(pw) * ph * 4);
    if (!texels.data()) return 0;
    for (int r = 0; r < h; ++r)  // texel rows go from the bottom up
        std::memcpy(texels.data() + static_cast<size_t>(h - 1 - r) * pw * 4, rgba + static_cast<size_t>(r) * width * 4,
                    static_cast<size_t>(w) * 4);
    Flush();
    UploadTexels(texels, pw, ph, tex, mip, false, copyImage_);
    ForgetBinding();
    return 1;
}

bool OpenGLPrism::LoadSprite(unsigned nr, std::vector<uint8_t> file, uint32_t key, bool bump) {
    if (!ValidSprite(static_cast<int>(nr))) return false;
    FreeSprite(static_cast<int>(nr));
    __BMPImage image;
    if (!image.Open(std::move(file)) || !image.IndicesInPalette()) return false;
    const int width = image.Width(), height = image.Height();
    int w = 0, h = 0, pw = 0, ph = 0;
    if (!TextureRegion(width, height, w, h, pw, ph)) return false;
    // The picture is copied straight into the texels and dropped before the upload, so
    // it is never held beside the GL's copies.
    __TexelBuffer texels(static_cast<size_t>(pw) * ph * 4);
    if (!texels.data()) return false;
    __PictureToTexels(image, 0, 0, w, h, texels.data(), pw, key, true);
    image.Release();
    __SpriteSlot& s = sprites_[nr];
    Flush();
    UploadTexels(texels, pw, ph, &s.texture[0], &s.texture[1], bump, copyImage_);
    ForgetBinding();  // the binding changed behind the texture state
    // A picture larger than the largest texture is cut to it; the recorded sizes are
    // those of the texture made, so drawing shows the part that was kept.
    s.texWidth = static_cast<short>(pw);
    s.texHeight = static_cast<short>(ph);
    s.width = static_cast<short>(w);
    s.height = static_cast<short>(h);
    return true;
}

void OpenGLPrism::FreeSprite(int nr) {
    if (!ValidSprite(nr)) return;
    Flush();
    __SpriteSlot& s = sprites_[nr];
    if (s.texture[0]) glDeleteTextures(1, &s.texture[0]);
    if (s.texture[1]) glDeleteTextures(1, &s.texture[1]);
    s = __SpriteSlot{};
    if (boundTexture_ == nr || boundTexture2_ == nr) ForgetBinding();
}

void OpenGLPrism::GetSpriteSize(short nr, int& width, int& height) const {
    width = height = 0;
    if (!ValidSprite(nr)) return;
    width = sprites_[nr].width;
    height = sprites_[nr].height;
}

bool OpenGLPrism::GrabSprite(short nr, short x, short y, short w, short h) {
    if (!ValidSprite(nr)) return false;
    FreeSprite(nr);
    __SpriteSlot& s = sprites_[nr];
    int tw = std::max(__PowerOfTwo(w), 32), th = std::max(__PowerOfTwo(h), 32);
    if (tw > maxTexture_ || th > maxTexture_) return false;
    __TexelBuffer texels(static_cast<size_t>(tw) * th * 4);
    if (!texels.data()) return false;
    // The screen's pixels are read back and stored opaque: the frame buffer's alpha,
    // where it has one at all, is no part of the picture. Parts of the rectangle
    // beyond the screen's edges stay transparent.
    const int gx = x, gy = ScreenHeight() - y - h;  // GL's lower-left corner of the rectangle
    const int x0 = std::max(gx, 0), y0 = std::max(gy, 0);
    const int x1 = std::min(gx + std::min<int>(w, tw), ScreenWidth());
    const int y1 = std::min(gy + std::min<int>(h, th), ScreenHeight());
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
    SetUnpackState();
    glGenTextures(1, &s.texture[0]);
    glBindTexture(GL_TEXTURE_2D, s.texture[0]);
    SetTextureParameters(false);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    s.texWidth = static_cast<short>(tw);
    s.texHeight = static_cast<short>(th);
    s.width = w;
    s.height = h;
    ForgetBinding();
    return true;
}

bool OpenGLPrism::LoadSurface(int sn, std::vector<uint8_t> file) {
    if (!ValidSurface(sn)) return false;
    __BMPImage image;
    if (!image.Open(std::move(file))) return false;
    const int cols = (image.Width() + 63) / 64, rows = (image.Height() + 63) / 64;
    // A background is at most 64 x 64 tiles; larger pictures are refused before
    // their pixels are read.
    if (cols < 1 || rows < 1 || cols > __kSurfaceGrid || rows > __kSurfaceGrid) return false;
    if (!image.IndicesInPalette()) return false;
    FreeSurface(sn);
    __Surface& s = surfaces_[sn];
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < cols; ++i) {
            __SurfaceTile& t = s.tiles[i][j];
            if (!MakeBMPTexture(image, 64 * i, 64 * j, 64, 64, &t.texture, nullptr, __kSpriteKey, true, false)) {
                FreeSurface(sn);
                return false;
            }
            t.width = t.height = 64;
        }
    s.columns = static_cast<uint8_t>(cols);
    s.rows = static_cast<uint8_t>(rows);
    return true;
}

void OpenGLPrism::GrabSurface(int sn) {
    if (!ValidSurface(sn)) return;
    Flush();
    const int tile = std::min(maxTexture_, 256);
    FreeSurface(sn);
    __Surface& s = surfaces_[sn];
    const int sw = ScreenWidth(), sh = ScreenHeight();
    int cols = 0, rows = 0;
    std::vector<uint8_t> clear(static_cast<size_t>(tile) * tile * 4, 0);
    SetUnpackState();
    for (int y = 0; y < sh && rows < __kSurfaceGrid; ++rows) {
        int band = tile;
        while (band > 1 && y + band > sh) band /= 2;
        int i = 0;
        for (int x = 0; x < sw && i < __kSurfaceGrid; x += tile, ++i) {
            __SurfaceTile& t = s.tiles[i][rows];
            glGenTextures(1, &t.texture);
            glBindTexture(GL_TEXTURE_2D, t.texture);
            SetTextureParameters(false);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tile, band, 0, GL_RGBA, GL_UNSIGNED_BYTE, clear.data());
            glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, x, sh - y - band, std::min(tile, sw - x), band);
            t.width = static_cast<short>(tile);
            t.height = static_cast<short>(band);
        }
        cols = std::max(cols, i);
        y += band;
    }
    s.columns = static_cast<uint8_t>(cols);
    s.rows = static_cast<uint8_t>(rows);
    ForgetBinding();
}

void OpenGLPrism::FreeSurface(int sn) {
    if (!ValidSurface(sn)) return;
    Flush();
    __Surface& s = surfaces_[sn];
    for (auto& column : s.tiles)
        for (__SurfaceTile& t : column)
            if (t.texture) {
                glDeleteTextures(1, &t.texture);
                t = __SurfaceTile{};
            }
    s.columns = s.rows = 0;
    ForgetBinding();
}

int OpenGLPrism::SaveBMPFile(const char* file) {
    Flush();
    const int w = ScreenWidth() + ScreenWidth() % 4, h = ScreenHeight() + ScreenHeight() % 4;
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return __WriteBMP24(file, w, h, rgb.data()) ? 1 : 0;
}

bool OpenGLPrism::MakeStreamTexture(__StreamTexture& t, int width, int height) {
    FreeStreamTexture(t);
    if (width < 1 || height < 1 || width > maxTexture_ || height > maxTexture_) return false;
    const int pw = __PowerOfTwo(width), ph = __PowerOfTwo(height);
    __TexelBuffer black(static_cast<size_t>(pw) * ph * 4);
    if (!black.data()) return false;
    Flush();
    for (int i = 0; i < 8 && glGetError() != GL_NO_ERROR; ++i) {
    }
    SetUnpackState();
    glGenTextures(1, &t.texture);
    glBindTexture(GL_TEXTURE_2D, t.texture);
    // Drawn at its own size: each pixel is one texel, taken as it is.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, pw, ph, 0, GL_RGBA, GL_UNSIGNED_BYTE, black.data());
    ForgetBinding();
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

void OpenGLPrism::UpdateStreamTexture(const __StreamTexture& t, const uint8_t* rgba) {
    if (!t.texture || !rgba) return;
    Flush();
    SetUnpackState();
    glBindTexture(GL_TEXTURE_2D, t.texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, t.width, t.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    ForgetBinding();
}

void OpenGLPrism::DrawStreamTexture(const __StreamTexture& t, int x, int y, int w, int h) {
    if (!t.texture || w < 1 || h < 1) return;
    ResetBlending();
    SetTexture3D(__kNoSprite, __kNoSprite, 0);  // no second texture unit
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, t.texture);
    ForgetBinding();
    // Texel rows are the picture's rows from the top: t = 0 at the top edge.
    const float u = static_cast<float>(t.width) / t.texWidth, v = static_cast<float>(t.height) / t.texHeight;
    glBegin(GL_QUADS);
    glTexCoord2f(0, v);
    glVertex2i(x, -y - h);
    glTexCoord2f(u, v);
    glVertex2i(x + w, -y - h);
    glTexCoord2f(u, 0);
    glVertex2i(x + w, -y);
    glTexCoord2f(0, 0);
    glVertex2i(x, -y);
    glEnd();
}

void OpenGLPrism::FreeStreamTexture(__StreamTexture& t) {
    if (t.texture) {
        Flush();
        glDeleteTextures(1, &t.texture);
        ForgetBinding();
    }
    t = __StreamTexture{};
}

void OpenGLPrism::FreeAll() {
    if (!initialised_) {
        for (__SpriteSlot& s : sprites_) s = __SpriteSlot{};
        return;
    }
    for (int i = 0; i < __kSpriteSlots; ++i)
        if (sprites_[i].texWidth != -1 || sprites_[i].texture[0]) FreeSprite(i);
    for (int s = 0; s < __kSurfaces; ++s) FreeSurface(s);
}
