#include "gfx2d/text.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "core/program.h"
#include "core/numbers.h"
#include "files/shoebox.h"
#include "gfx2d/prism.h"

int __nCurFont = 0;
uint32_t __g_textColour = 0xFFFFFF;

namespace {
int ClampFont(double nr) { return std::clamp(__TruncInt(nr), 0, __kFontCount - 1); }
}  // namespace

double LOADFONT(DQStr file, double nr) {
    __nCurFont = ClampFont(nr);
    std::vector<uint8_t> bytes;
    if (!pPrsm) return 0;
    if (__g_ShoeBox_Data.Fetch(file.c_str(), bytes) == __Found::Nothing) {
        __WarnLoad("LOADFONT", file, __kNotFound + ", font " + std::to_string(__nCurFont) + " unchanged but current");
        return 0;
    }
    if (!pPrsm->LoadFont(static_cast<unsigned>(__nCurFont), std::move(bytes))) {
        __WarnLoad("LOADFONT", file, __kNotAPicture);
        __FatalError(3);
    }
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

double TEXTCOLOUR(double colour) {
    __g_textColour = static_cast<uint32_t>(static_cast<uint64_t>(__TruncInt64(colour))) & 0xFFFFFF;
    return 0;
}

double PRINT(DQStr text, double x, double y) {
    if (pPrsm)
        pPrsm->DrawTextA(static_cast<short>(__nCurFont), text.c_str(), static_cast<short>(__TruncInt(x)),
                         static_cast<short>(__TruncInt(y)), __g_textColour);
    return 0;
}

double PRINT(double number, double x, double y) { return PRINT(DQStr(number), x, y); }
