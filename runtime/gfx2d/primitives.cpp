#include "gfx2d/primitives.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "core/numbers.h"
#include "core/program.h"
#include "files/shoebox.h"
#include "gfx2d/ellipse.h"
#include "gfx2d/prism.h"

namespace {
uint32_t ColourArg(double v) { return static_cast<uint32_t>(static_cast<uint64_t>(__TruncInt64(v))); }
short S16(double v) { return static_cast<short>(__TruncInt(v)); }
}  // namespace

double SETPIXEL(double x, double y, double colour) {
    if (pPrsm) pPrsm->DrawPixel(S16(x), S16(y), ColourArg(colour));
    return 0;
}

double DRAWLINE(double x1, double y1, double x2, double y2, double colour) {
    if (pPrsm) pPrsm->DrawLine(S16(x1), S16(y1), S16(x2), S16(y2), ColourArg(colour));
    return 0;
}

double FILLRECT(double x1, double y1, double x2, double y2, double colour) {
    if (!pPrsm) return 0;
    short ax = S16(x1), ay = S16(y1), bx = S16(x2), by = S16(y2);
    pPrsm->DrawRect(std::min(ax, bx), std::min(ay, by), std::max(ax, bx), std::max(ay, by), ColourArg(colour));
    return 0;
}

namespace {
// The ellipse's pixels that fall in the current viewport.
void DrawEllipse(double x, double y, double rx, double ry, double colour, bool filled) {
    if (!pPrsm) return;
    std::vector<__PixelRect> rects;
    __EllipseRects(__TruncInt64(x), __TruncInt64(y), __TruncInt64(rx), __TruncInt64(ry), filled, pPrsm->ViewWidth(),
                   pPrsm->ViewHeight(), rects);
    pPrsm->FillRects(rects, ColourArg(colour));
}
}  // namespace

double DRAWCIRCLE(double x, double y, double radius, double colour) {
    DrawEllipse(x, y, radius, radius, colour, false);
    return 0;
}

double FILLCIRCLE(double x, double y, double radius, double colour) {
    DrawEllipse(x, y, radius, radius, colour, true);
    return 0;
}

double DRAWELLIPSE(double x, double y, double rx, double ry, double colour) {
    DrawEllipse(x, y, rx, ry, colour, false);
    return 0;
}

double FILLELLIPSE(double x, double y, double rx, double ry, double colour) {
    DrawEllipse(x, y, rx, ry, colour, true);
    return 0;
}

double STARTPOLY(double nr) {
    if (pPrsm) pPrsm->StartPoly(__TruncInt(nr));
    return 0;
}

double POLYVECTOR(double x, double y, double tx, double ty, double colour) {
    if (pPrsm) pPrsm->PolyPoint(S16(x), S16(y), static_cast<float>(tx), static_cast<float>(ty), ColourArg(colour));
    return 0;
}

double ENDPOLY() {
    if (pPrsm) pPrsm->EndPoly();
    return 0;
}

double BLENDSCREEN(DQStr file) {
    std::vector<uint8_t> bytes;
    if (!pPrsm) return 0;
    if (__g_ShoeBox_Data.Fetch(file.c_str(), bytes) == __Found::Nothing) {
        __WarnLoad("BLENDSCREEN", file, __kNotFound + ", no fade");
        return 0;
    }
    pPrsm->GrabSurface(0);
    if (!pPrsm->LoadSurface(1, bytes)) {
        __WarnLoad("BLENDSCREEN", file, __kNotAPicture);
        __FatalError(3);
    }
    pPrsm->BlendToSurface(0, 1);
    pPrsm->FreeSurface(1);
    pPrsm->LoadSurface(0, std::move(bytes));
    pPrsm->PasteSurface(0);
    pPrsm->ResetBlending();
    return 0;
}
