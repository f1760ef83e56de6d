// Internal: texels worked on before a texture store uploads them: RGBA bytes, 8 bits a
// channel, rows bottom-up (row 0 holds the bottom row of the picture), in textures of
// power-of-two sizes. Nothing here talks to a graphics library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/system.h"

class __BMPImage;

// The smallest power of two that is at least n; 1 for n <= 1.
int __PowerOfTwo(int n);

// A zeroed texel buffer. calloc hands large blocks over as untouched pages, so
// nothing is written twice; a failed allocation leaves `data` null.
class __TexelBuffer {
public:
    explicit __TexelBuffer(size_t bytes) : data_(static_cast<uint8_t*>(std::calloc(bytes, 1))) {
        plat::AdviseHugePages(data_, bytes);
    }
    ~__TexelBuffer() { Release(); }
    __TexelBuffer(const __TexelBuffer&) = delete;
    __TexelBuffer& operator=(const __TexelBuffer&) = delete;
    uint8_t* data() const { return data_; }
    void Release() {
        std::free(data_);
        data_ = nullptr;
    }

private:
    uint8_t* data_;
};

// Copies the region (x, y, w, h; x and y from the picture's top-left corner) of the
// picture into the lower-left corner of a texture `pw` texels wide: a pixel of the
// key colour becomes the texel (0, 0, 0, 0) when useKey is set, every other pixel
// (R, G, B, 255). Parts of the region outside the picture stay as they are (the zeroed
// buffer: transparent).
void __PictureToTexels(const __BMPImage& picture, int x, int y, int w, int h, uint8_t* texels, int pw,
                       uint32_t key, bool useKey);

// The next mip level, written over the start of the buffer that holds the level
// before it (w wide): per channel (4a + 2b + 2c + d) / 9 of the samples a = (2x, 2y),
// b = (2x + 1, 2y), d = (2x, 2y + 2), c = (2x + 1, 2y + 2), with b only inside the new
// level's last column, d only above its last row, c only with both.
void __NextMipLevelInPlace(uint8_t* texels, int w, int nw, int nh);

// Turns the texels (w x h) into a normal map from the heights in their blue channel;
// neighbours wrap around at the edges.
void __MakeNormalMap(uint8_t* texels, int w, int h);
