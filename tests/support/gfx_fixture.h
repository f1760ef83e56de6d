// A clean frame for each drawing test: whole-screen viewport, opaque drawing, no
// background, black back buffer, and a folder for the test's bitmaps.
#pragma once

#include <gtest/gtest.h>

#include <GLES3/gl3.h>

#include <array>

#include "gfx2d/prism.h"
#include "tolvane.h"
#include "support/bmp_writer.h"
#include "support/harness.h"

// RGB of the pixel at (x, y) of the back buffer, y counted from the top.
inline uint32_t ReadPixel(int x, int y) {
    pPrsm->Flush();
    unsigned char p[4] = {};
    glReadPixels(x, DQ_RESY - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return p[0] | (p[1] << 8) | (p[2] << 16);
}

// The RGBA bytes of a w x h level of a texture, row 0 first, read through a framebuffer
// the level is attached to.
inline void ReadTextureLevel(unsigned texture, int level, int w, int h, uint8_t* rgba) {
    pPrsm->Flush();
    GLuint frame = 0;
    glGenFramebuffers(1, &frame);
    glBindFramebuffer(GL_FRAMEBUFFER, frame);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, level);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &frame);
}

using Colours = std::vector<uint32_t>;
// The colours of the pixels at the listed places.
inline Colours Pixels(std::initializer_list<std::pair<int, int>> at) {
    Colours out;
    for (auto [x, y] : at) out.push_back(ReadPixel(x, y));
    return out;
}

// Bounding box x0, y0, x1, y1 (inclusive) of the pixels that are not black.
using Box = std::array<int, 4>;
constexpr Box kNothing = {1 << 30, 1 << 30, -1, -1};

class GfxTest : public testing::Test {
protected:
    void SetUp() override {
        StartRuntimeOnce();
        pPrsm->SetNoWait(false);
        LIMITFPS(60);
        VIEWPORT(0, 0, 0, 0);
        ALPHAMODE(0);
        TEXTCOLOUR(0xFFFFFF);
        pPrsm->FreeSurface(0);
        Clear();
    }
    void Clear() { pPrsm->ClearScreen(); }
    std::string Path(const std::string& name) const { return dir_ / name; }
    // Writes the bitmap and loads it into sprite slot nr.
    void Load(int nr, const TestBitmap& b) {
        LOADSPRITE(DQStr(WriteBitmap(Path("sprite" + std::to_string(nr) + ".bmp"), b).c_str()), nr);
    }
    void SolidSprite(int nr, int w, int h, uint32_t rgb) { Load(nr, {.width = w, .height = h, .pixel = Solid(rgb)}); }
    // Of the top-left w x h pixels.
    Box Covered(int w = 200, int h = 200) {
        pPrsm->Flush();
        Box b = kNothing;
        std::vector<uint8_t> px(static_cast<size_t>(w) * h * 4);
        glReadPixels(0, DQ_RESY - h, w, h, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        for (int i = 0; i < w * h; ++i) {
            const int x = i % w, y = h - 1 - i / w;
            if (px[i * 4] | px[i * 4 + 1] | px[i * 4 + 2])
                b = {std::min(b[0], x), std::min(b[1], y), std::max(b[2], x), std::max(b[3], y)};
        }
        return b;
    }
    TempDir dir_;
};
