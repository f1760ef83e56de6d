// Level set-up and the conversions between crate objects and grid blocks.
#include "game/stackmoor.h"

namespace __TOLVANE__ {

namespace {
// The lowest free slot of 0 ... MaxCrate, else a new slot above MaxCrate.
double AllocateSlot() {
    for (double n = 0; n <= MaxCrate; ++n)
        if (ctype(n) == kFree) return n;
    MaxCrate = MaxCrate + 1;
    return MaxCrate;
}
}  // namespace

double NewLevel() {
    for (double c = 0; c <= 19; ++c)
        for (double r = 0; r <= 19; ++r) hit(c, r) = 0;
    for (double c = 0; c <= 19; ++c) hit(c, 7) = -100;
    MaxCrate = -1;
    AddCrane();
    return 0;
}

double AddCrane() {
    double s = AllocateSlot();
    ctype(s) = kCarried;
    cmove(s) = 1;
    cfallx(s) = RND(7) * 64 + 64;
    cx(s) = -28;
    cy(s) = -32;
    ccolr(s) = RND(2) + 1;
    return 0;
}

double BlockToCrate(double column, double row, double state, double direction) {
    double s = AllocateSlot();
    ctype(s) = state;
    cmove(s) = direction;
    cx(s) = column * 64 + 2 * direction;
    cy(s) = row * 64;
    ccolr(s) = hit(column, row);
    return s;
}

double CreateCrate(double slot) {
    hit(cx(slot) / 64, (cy(slot) + 2) / 64) = ccolr(slot);
    ctype(slot) = kFree;
    CheckCombos();
    return 0;
}

}  // namespace __TOLVANE__
