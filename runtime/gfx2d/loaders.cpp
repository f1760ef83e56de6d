// The loading commands: names go through the archive lookup first.
#include "core/program.h"
#include "core/numbers.h"
#include "files/shoebox.h"
#include "gfx2d/prism.h"
#include "gfx2d/sprites.h"

namespace {
double LoadSpriteCommand(DQStr& file, double nr, bool bump) {
    if (!pPrsm) return 0;
    int slot = __TruncInt(nr);
    if (!OpenGLPrism::ValidSprite(slot)) return 0;
    if (!__g_ShoeBox_Data.Resolve(file)) return 0;
    pPrsm->FreeSprite(slot);
    pPrsm->LoadSprite(static_cast<unsigned>(slot), file.c_str(), __kSpriteKey, bump);
    return 0;
}
}  // namespace

double LOADSPRITE(DQStr file, double nr) { return LoadSpriteCommand(file, nr, false); }
double LOADBUMPTEXTURE(DQStr file, double nr) { return LoadSpriteCommand(file, nr, true); }

double LOADBMP(DQStr file) {
    if (!pPrsm || !__g_ShoeBox_Data.Resolve(file)) return 0;
    if (!pPrsm->LoadSurface(0, file.c_str())) __FatalError(3);
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
