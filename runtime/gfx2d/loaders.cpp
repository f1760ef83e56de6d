// The loading commands: names go through the archive lookup first.
#include <utility>
#include <vector>

#include "core/numbers.h"
#include "core/program.h"
#include "files/shoebox.h"
#include "gfx2d/prism.h"
#include "gfx2d/sprites.h"

namespace {
double LoadSpriteCommand(const DQStr& file, double nr, bool bump) {
    if (!pPrsm) return 0;
    int slot = __TruncInt(nr);
    if (!OpenGLPrism::ValidSprite(slot)) return 0;
    std::vector<uint8_t> bytes;
    if (__g_ShoeBox_Data.Fetch(file.c_str(), bytes) == __Found::Nothing) return 0;
    pPrsm->LoadSprite(static_cast<unsigned>(slot), std::move(bytes), __kSpriteKey, bump);
    return 0;
}
}  // namespace

double LOADSPRITE(DQStr file, double nr) { return LoadSpriteCommand(file, nr, false); }
double LOADBUMPTEXTURE(DQStr file, double nr) { return LoadSpriteCommand(file, nr, true); }

double LOADBMP(DQStr file) {
    std::vector<uint8_t> bytes;
    if (!pPrsm || __g_ShoeBox_Data.Fetch(file.c_str(), bytes) == __Found::Nothing) return 0;
    if (!pPrsm->LoadSurface(0, std::move(bytes))) __FatalError(3);
    pPrsm->PasteSurface(0);
    return 0;
}

double GRABSPRITE(double nr, double x, double y, double w, double h) {
    if (pPrsm && OpenGLPrism::ValidSprite(__TruncInt(nr)))
        pPrsm->GrabSprite(static_cast<short>(__TruncInt(nr)), static_cast<short>(__TruncInt(x)),
                          static_cast<short>(__TruncInt(y)), static_cast<short>(__TruncInt(w)),
                          static_cast<short>(__TruncInt(h)));
    return 0;
}

double USEASBMP() {
    if (pPrsm) pPrsm->GrabSurface(0);
    return 0;
}

double SAVEBMP(DQStr file) {
    if (pPrsm) pPrsm->SaveBMPFile(file.c_str());
    return 0;
}
