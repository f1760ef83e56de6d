#include "gfx2d/text.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "core/program.h"
#include "core/numbers.h"
#include "files/shoebox.h"
#include "gfx2d/prism.h"

void OpenGLPrism::DrawTextA(short font, const char* text, short x, short y) {
    if (font < 0 || font >= __kFontCount || !text) return;
    const int slot = font + __kFontBase;
    const __SpriteSlot& s = sprites_[slot];
    const size_t n = std::min<size_t>(std::strlen(text), 32767);
    if (n == 0) {
        SetTexture3D(slot, __kNoSprite, 0);
        return;
    }
    SetTexture3D(slot, __kNoSprite, 0);
    const int gw = s.width / 16, gh = s.height / 8;
    float du = 0, dv = 0;
    if (s.texWidth > 0 && s.texHeight > 0) {
        du = static_cast<float>(s.width) / s.texWidth * 0.0625f;
        dv = static_cast<float>(s.height) / s.texHeight * 0.125f;
    }
    int px = x;
    for (size_t i = 0; i < n; ++i, px += gw) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 128) continue;  // no cell in the grid: nothing drawn, one cell advanced
        const float s0 = (c % 16) * du, t0 = (7 - c / 16) * dv;
        const int xy[8] = {px, -y - gh, px + gw, -y - gh, px + gw, -y, px, -y};
        const float st[8] = {s0, t0, s0 + du, t0, s0 + du, t0 + dv, s0, t0 + dv};
        batch_.Add(xy, st, true);  // glyphs at their own size
    }
}

bool OpenGLPrism::LoadFont(unsigned font, std::vector<uint8_t> file) {
    return font < static_cast<unsigned>(__kFontCount) && LoadSprite(font + __kFontBase, std::move(file), 0, false);
}

void OpenGLPrism::GetFontSize(short font, int& width, int& height) const {
    width = height = 0;
    if (font < 0 || font >= __kFontCount) return;
    width = sprites_[font + __kFontBase].width;
    height = sprites_[font + __kFontBase].height;
}

int __nCurFont = 0;

namespace {
int ClampFont(double nr) { return std::clamp(__TruncInt(nr), 0, __kFontCount - 1); }
}  // namespace

double LOADFONT(DQStr file, double nr) {
    __nCurFont = ClampFont(nr);
    std::vector<uint8_t> bytes;
    if (!pPrsm || __g_ShoeBox_Data.Fetch(file.c_str(), bytes) == __Found::Nothing) return 0;
    if (!pPrsm->LoadFont(static_cast<unsigned>(__nCurFont), std::move(bytes))) __FatalError(3);
    return 0;
}

double SETFONT(double nr) {
    __nCurFont = ClampFont(nr);
    return 0;
}

double GETFONTSIZE(double& w, double& h) {
    int fw = 0, fh = 0;
    if (pPrsm) pPrsm->GetFontSize(static_cast<short>(__nCurFont), fw, fh);
    w = fw / 16;
    h = fh / 8;
    return 0;
}

double PRINT(DQStr text, double x, double y) {
    if (pPrsm)
        pPrsm->DrawTextA(static_cast<short>(__nCurFont), text.c_str(), static_cast<short>(__TruncInt(x)),
                         static_cast<short>(__TruncInt(y)));
    return 0;
}

double PRINT(double number, double x, double y) { return PRINT(DQStr(number), x, y); }
