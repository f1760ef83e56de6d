// A clean frame for each drawing test: whole-screen viewport, opaque drawing, no
// background, black back buffer, and a folder for the test's bitmaps.
#pragma once

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "tolvane.h"
#include "core/program.h"
#include "gfx2d/prism.h"
#include "gfx2d/primitives.h"
#include "gfx2d/sprites.h"
#include "support/bmp_writer.h"
#include "support/runtime_fixture.h"

class GfxTest : public testing::Test {
protected:
    void SetUp() override {
        StartRuntimeOnce();
        dir_ = std::filesystem::temp_directory_path() / ("tolvane-gfx-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
        VIEWPORT(0, 0, 0, 0);
        ALPHAMODE(0);
        pPrsm->FreeSurface(0);
        Clear();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    void Clear() {
        pPrsm->Flush();
        glClear(GL_COLOR_BUFFER_BIT);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    // A bitmap of one colour with the given size, loaded into sprite slot nr.
    void SolidSprite(int nr, int w, int h, uint32_t colour) {
        TestBitmap b;
        b.width = w;
        b.height = h;
        b.pixel = [colour](int, int) { return colour; };
        LOADSPRITE(DQStr(WriteBitmap(Path("solid.bmp"), b).c_str()), nr);
    }
    // Bounding box of the pixels that are not black: x0, y0, x1, y1 (inclusive).
    struct Box {
        int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
        bool empty() const { return x1 < 0; }
    };
    Box Covered(int limitX = 200, int limitY = 200) {
        pPrsm->Flush();
        Box b;
        std::vector<uint8_t> px(static_cast<size_t>(limitX) * limitY * 4);
        glReadPixels(0, DQ_RESY - limitY, limitX, limitY, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        for (int gy = 0; gy < limitY; ++gy)
            for (int x = 0; x < limitX; ++x) {
                const uint8_t* p = &px[(static_cast<size_t>(gy) * limitX + x) * 4];
                if (p[0] | p[1] | p[2]) {
                    int y = limitY - 1 - gy;
                    b.x0 = std::min(b.x0, x);
                    b.x1 = std::max(b.x1, x);
                    b.y0 = std::min(b.y0, y);
                    b.y1 = std::max(b.y1, y);
                }
            }
        return b;
    }
    std::filesystem::path dir_;
};
