// The loading commands: names go through the archive lookup first.
#include <utility>
#include <vector>

#include "core/numbers.h"
#include "core/program.h"
#include "files/shoebox.h"
#include "gfx2d/prism.h"
#include "gfx2d/sprites.h"

namespace {
double LoadSpriteCommand(const char* command, const DQStr& file, double nr, bool bump) {
    if (!pPrsm) return 0;
    const int slot = __TruncInt(nr);
    const std::string sprite = "sprite " + std::to_string(slot);
    if (!OpenGLPrism::ValidSprite(slot)) {
        __WarnLoad(command, file, sprite + " is outside 0 ... " + std::to_string(__kSpriteSlots - 1) + ", nothing loaded");
        return 0;
    }
    std::vector<uint8_t> bytes;
    if (__g_ShoeBox_Data.Fetch(file.c_str(), bytes) == __Found::Nothing) {
        __WarnLoad(command, file, __kNotFound + ", " + sprite + " unchanged");
        return 0;
    }
    if (!pPrsm->LoadSprite(static_cast<unsigned>(slot), std::move(bytes), __kSpriteKey, bump))
        __WarnLoad(command, file, __kNotAPicture + ", " + sprite + " is now empty");
    return 0;
}
}  // namespace

double LOADSPRITE(DQStr file, double nr) { return LoadSpriteCommand("LOADSPRITE", file, nr, false); }
double LOADBUMPTEXTURE(DQStr file, double nr) { return LoadSpriteCommand("LOADBUMPTEXTURE", file, nr, true); }

double LOADBMP(DQStr file) {
    std::vector<uint8_t> bytes;
    if (!pPrsm) return 0;
    if (__g_ShoeBox_Data.Fetch(file.c_str(), bytes) == __Found::Nothing) {
        __WarnLoad("LOADBMP", file, __kNotFound + ", the background unchanged");
        return 0;
    }
    if (!pPrsm->LoadSurface(0, std::move(bytes))) {
        __WarnLoad("LOADBMP", file, __kNotAPicture);
        __FatalError(3);
    }
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
