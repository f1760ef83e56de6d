// Builds the runtime's built-in font "Smalfont.bmp" from a console font (PSF 1 or 2,
// uncompressed): the glyphs of the characters 0 ... 127 in a 16 x 8 grid of cells,
// white on black, in code order.
//
//   fontgen <font.psf> <Smalfont.bmp>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "core/byte_io.h"
#include "gfx2d/bmp_file.h"

namespace {

struct Font {
    int width = 0, height = 0, glyphs = 0, bytesPerGlyph = 0;
    const uint8_t* data = nullptr;
    std::map<uint32_t, int> glyphOf;  // code point -> glyph
};

// Decodes one UTF-8 sequence of the PSF 2 table; returns its length.
int Utf8(const uint8_t* p, const uint8_t* end, uint32_t& cp) {
    int n = (*p < 0x80) ? 1 : (*p >> 5) == 6 ? 2 : (*p >> 4) == 14 ? 3 : 4;
    if (p + n > end) return 1;
    cp = n == 1 ? *p : *p & (0x7F >> n);
    for (int i = 1; i < n; ++i) cp = (cp << 6) | (p[i] & 0x3F);
    return n;
}

bool Parse(const std::vector<uint8_t>& d, Font& f) {
    if (d.size() >= 4 && d[0] == 0x36 && d[1] == 0x04) {
        f.glyphs = (d[2] & 1) ? 512 : 256;
        f.width = 8;
        f.height = d[3];
        f.bytesPerGlyph = f.height;
        f.data = d.data() + 4;
        size_t pos = 4 + static_cast<size_t>(f.glyphs) * f.bytesPerGlyph;
        if (pos > d.size()) return false;
        if (d[2] & 2) {
            for (int g = 0; g < f.glyphs && pos + 1 < d.size(); ++g) {
                for (; pos + 1 < d.size(); pos += 2) {
                    uint16_t v = Le16(&d[pos]);
                    if (v == 0xFFFF) { pos += 2; break; }
                    if (v == 0xFFFE) continue;
                    f.glyphOf.emplace(v, g);
                }
            }
        }
        return true;
    }
    if (d.size() >= 32 && Le32(d.data()) == 0x864AB572) {
        uint32_t header = Le32(&d[8]), flags = Le32(&d[12]);
        f.glyphs = static_cast<int>(Le32(&d[16]));
        f.bytesPerGlyph = static_cast<int>(Le32(&d[20]));
        f.height = static_cast<int>(Le32(&d[24]));
        f.width = static_cast<int>(Le32(&d[28]));
        f.data = d.data() + header;
        size_t pos = header + static_cast<size_t>(f.glyphs) * f.bytesPerGlyph;
        if (pos > d.size()) return false;
        if (flags & 1) {
            const uint8_t* p = d.data() + pos;
            const uint8_t* end = d.data() + d.size();
            for (int g = 0; g < f.glyphs && p < end; ++g) {
                while (p < end && *p != 0xFF) {
                    if (*p == 0xFE) { ++p; continue; }
                    uint32_t cp = 0;
                    p += Utf8(p, end, cp);
                    f.glyphOf.emplace(cp, g);
                }
                ++p;
            }
        }
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fontgen <font.psf> <out.bmp>\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<uint8_t> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Font f;
    if (!Parse(d, f) || f.width < 1 || f.height < 1) {
        std::fprintf(stderr, "fontgen: %s is not a console font\n", argv[1]);
        return 1;
    }
    const int cw = f.width, ch = f.height, w = cw * 16, h = ch * 8;
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3, 0);  // bottom row first
    const int rowBytes = (cw + 7) / 8;
    for (int code = 33; code < 127; ++code) {  // the printable characters; the rest stay blank
        auto it = f.glyphOf.find(static_cast<uint32_t>(code));
        int g = it != f.glyphOf.end() ? it->second : (f.glyphOf.empty() ? code : -1);
        if (g < 0 || g >= f.glyphs) continue;
        const uint8_t* glyph = f.data + static_cast<size_t>(g) * f.bytesPerGlyph;
        const int cx = (code % 16) * cw, cy = (code / 16) * ch;
        for (int y = 0; y < ch; ++y)
            for (int x = 0; x < cw; ++x)
                if (glyph[y * rowBytes + x / 8] & (0x80 >> (x % 8))) {
                    uint8_t* p = &rgb[(static_cast<size_t>(h - 1 - (cy + y)) * w + cx + x) * 3];
                    p[0] = p[1] = p[2] = 255;
                }
    }
    if (!__WriteBMP24(argv[2], w, h, rgb.data())) {
        std::fprintf(stderr, "fontgen: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
