// Sprites and surfaces: bitmaps and screen rectangles turned into textures.
#include <cmath>
#include <cstring>
#include <vector>

#include "gfx2d/prism.h"

namespace {

int PowerOfTwo(int n) {
    int p = 1;
    while (p < n && p < (1 << 30)) p <<= 1;
    return p;
}

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

// The next mip level: per channel (4a + 2b + 2c + d) / 9 of the samples a = (2x, 2y),
// b = (2x + 1, 2y), d = (2x, 2y + 2), c = (2x + 1, 2y + 2), with b only inside the
// new level's last column, d only above its last row, c only with both.
std::vector<uint8_t> NextMipLevel(const std::vector<uint8_t>& prev, int w, int nw, int nh) {
    std::vector<uint8_t> next(static_cast<size_t>(nw) * nh * 4);
    auto at = [&](int x, int y, int ch) { return static_cast<int>(prev[(static_cast<size_t>(y) * w + x) * 4 + ch]); };
    for (int y = 0; y < nh; ++y)
        for (int x = 0; x < nw; ++x) {
            bool useB = x < nw - 1, useD = y < nh - 1;
            for (int ch = 0; ch < 4; ++ch) {
                int a = at(2 * x, 2 * y, ch), v;
                if (useB && useD)
                    v = (4 * a + 2 * at(2 * x + 1, 2 * y, ch) + 2 * at(2 * x + 1, 2 * y + 2, ch) + at(2 * x, 2 * y + 2, ch)) / 9;
                else if (useB)
                    v = (2 * a + at(2 * x + 1, 2 * y, ch)) / 3;
                else if (useD)
                    v = (2 * a + at(2 * x, 2 * y + 2, ch)) / 3;
                else
                    v = a;
                next[(static_cast<size_t>(y) * nw + x) * 4 + ch] = static_cast<uint8_t>(v);
            }
        }
    return next;
}

// Turns the texels into a normal map from the heights in their blue channel.
void MakeNormalMap(std::vector<uint8_t>& texels, int w, int h) {
    std::vector<uint8_t> out(texels);
    auto height = [&](int x, int y) {
        x = (x % w + w) % w;
        y = (y % h + h) % h;
        return texels[(static_cast<size_t>(y) * w + x) * 4 + 2] / 255.0f;
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float left = height(x - 1, y - 1) + 2 * height(x - 1, y) + height(x - 1, y + 1);
            float right = height(x + 1, y - 1) + 2 * height(x + 1, y) + height(x + 1, y + 1);
            float gx = left - right;
            float gy = (height(x - 1, y + 1) + 2 * height(x, y + 1) + height(x + 1, y + 1)) -
                       (height(x - 1, y - 1) + 2 * height(x, y - 1) + height(x + 1, y - 1));
            float s = std::sqrt(gx * gx + gy * gy + 1.0f);
            float k = 1.0f / s;
            uint8_t* t = &out[(static_cast<size_t>(y) * w + x) * 4];
            t[0] = static_cast<uint8_t>((gx * k + 1) * 0.5f * 255);
            t[1] = static_cast<uint8_t>((gy * k + 1) * 0.5f * 255);
            t[2] = static_cast<uint8_t>((k + 1) * 0.5f * 255);
        }
    texels.swap(out);
}

}  // namespace

void OpenGLPrism::GetBMPSize(const char* file, int& width, int& height) { __ReadBMPSize(file, width, height); }

int OpenGLPrism::MakeBMPTexture(const char* file, int x, int y, int w, int h, unsigned* tex, unsigned* mip,
                                uint32_t key, bool useKey, bool bump) {
    __BMPImage image;
    if (!__ReadBMP(file, image)) return 0;
    return MakeBMPTexture(image, x, y, w, h, tex, mip, key, useKey, bump);
}

int OpenGLPrism::MakeBMPTexture(const __BMPImage& image, int x, int y, int w, int h, unsigned* tex, unsigned* mip,
                                uint32_t key, bool useKey, bool bump) {
    if (!tex || image.width < 1 || image.height < 1) return 0;
    Flush();
    if (w == 0 || h == 0) {
        w = image.width;
        h = image.height;
    }
    if (w < 1 || h < 1) return 0;
    if (w > maxTexture_) w = maxTexture_;
    if (h > maxTexture_) h = maxTexture_;
    const int pw = PowerOfTwo(w), ph = PowerOfTwo(h);
    std::vector<uint8_t> texels(static_cast<size_t>(pw) * ph * 4, 0);
    for (int r = 0; r < h; ++r) {
        int sy = y + r;
        if (sy < 0 || sy >= image.height) continue;
        uint8_t* dst = &texels[static_cast<size_t>(h - 1 - r) * pw * 4];
        for (int c = 0; c < w; ++c) {
            int sx = x + c;
            if (sx < 0 || sx >= image.width) continue;
            uint32_t rgb = image.Colour(sx, sy);
            if (useKey && rgb == key) continue;  // stays (0, 0, 0, 0)
            dst[c * 4] = rgb & 0xFF;
            dst[c * 4 + 1] = (rgb >> 8) & 0xFF;
            dst[c * 4 + 2] = (rgb >> 16) & 0xFF;
            dst[c * 4 + 3] = 255;
        }
    }
    SetUnpackState();
    glGenTextures(1, tex);
    glBindTexture(GL_TEXTURE_2D, *tex);
    SetTextureParameters(false);
    if (bump) MakeNormalMap(texels, pw, ph);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, pw, ph, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());

    if (mip) {
        glGenTextures(1, mip);
        glBindTexture(GL_TEXTURE_2D, *mip);
        SetTextureParameters(true);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, pw, ph, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        int lw = pw, lh = ph;
        for (int level = 1; lw > 1 || lh > 1; ++level) {
            int nw = lw > 1 ? lw / 2 : 1, nh = lh > 1 ? lh / 2 : 1;
            texels = NextMipLevel(texels, lw, nw, nh);
            lw = nw;
            lh = nh;
            glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, lw, lh, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        }
    }
    boundTexture = boundTexture2 = -2;  // the binding changed behind the texture state
    return 1;
}

bool OpenGLPrism::LoadSprite(unsigned nr, const char* file, uint32_t key, bool bump) {
    if (!ValidSprite(static_cast<int>(nr))) return false;
    FreeSprite(static_cast<int>(nr));
    __BMPImage image;
    if (!__ReadBMP(file, image)) return false;
    __SpriteSlot& s = sprites_[nr];
    if (!MakeBMPTexture(image, 0, 0, 0, 0, &s.texture[0], &s.texture[1], key, true, bump)) return false;
    // A picture larger than the largest texture is cut to it; the recorded sizes are
    // those of the texture made, so drawing shows the part that was kept.
    s.texWidth = static_cast<short>(PowerOfTwo(std::min(image.width, maxTexture_)));
    s.texHeight = static_cast<short>(PowerOfTwo(std::min(image.height, maxTexture_)));
    s.width = static_cast<short>(std::min(image.width, maxTexture_));
    s.height = static_cast<short>(std::min(image.height, maxTexture_));
    return true;
}

void OpenGLPrism::FreeSprite(int nr) {
    if (!ValidSprite(nr)) return;
    Flush();
    __SpriteSlot& s = sprites_[nr];
    if (s.texture[0]) glDeleteTextures(1, &s.texture[0]);
    if (s.texture[1]) glDeleteTextures(1, &s.texture[1]);
    s = __SpriteSlot{};
    if (boundTexture == nr || boundTexture2 == nr) boundTexture = boundTexture2 = -2;
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
    int tw = std::max(PowerOfTwo(w), 32), th = std::max(PowerOfTwo(h), 32);
    if (tw > maxTexture_ || th > maxTexture_) return false;
    SetUnpackState();
    glGenTextures(1, &s.texture[0]);
    glBindTexture(GL_TEXTURE_2D, s.texture[0]);
    SetTextureParameters(false);
    std::vector<uint8_t> clear(static_cast<size_t>(tw) * th * 4, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, clear.data());
    if (w > 0 && h > 0) glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, x, ScreenHeight() - y - h, w, h);
    s.texWidth = static_cast<short>(tw);
    s.texHeight = static_cast<short>(th);
    s.width = w;
    s.height = h;
    boundTexture = boundTexture2 = -2;
    return true;
}

bool OpenGLPrism::LoadSurface(int sn, const char* file) {
    if (!ValidSurface(sn)) return false;
    __BMPImage image;
    if (!__ReadBMP(file, image)) return false;
    const int cols = (image.width + 63) / 64, rows = (image.height + 63) / 64;
    // A background is at most 64 x 64 tiles; larger pictures are refused.
    if (cols > __kSurfaceGrid || rows > __kSurfaceGrid) return false;
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
    boundTexture = boundTexture2 = -2;
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
    boundTexture = boundTexture2 = -2;
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

void OpenGLPrism::FreeAll() {
    if (!initialised_) {
        for (__SpriteSlot& s : sprites_) s = __SpriteSlot{};
        return;
    }
    for (int i = 0; i < __kSpriteSlots; ++i)
        if (sprites_[i].texWidth != -1 || sprites_[i].texture[0]) FreeSprite(i);
    for (int s = 0; s < __kSurfaces; ++s) FreeSurface(s);
}
