// Crate motion: the per-frame step, gravity and pushing.
#include "game/stackmoor.h"

namespace __TOLVANE__ {

double CrateStep(double n) {
    if (ctype(n) == kCarried) {
        cx(n) = cx(n) + cmove(n);
        if (cx(n) == cfallx(n)) ctype(n) = kFalling;
    }
    if (ctype(n) == kFalling) {
        if (hit(cx(n) / 64, (cy(n) + 66) / 64) == 0) {
            cy(n) = cy(n) + 2;
        } else {
            if (cy(n) < 64) return 1;
            CreateCrate(n);
            PLAYSOUND(0, 0, 1);
        }
    }
    if (ctype(n) == kSliding) {
        if (MOD(cx(n), 64) == 0) {
            ctype(n) = kFalling;
            cmove(n) = 0;
        } else {
            cx(n) = cx(n) + 2 * cmove(n);
        }
    }
    if (ctype(n) == kVanishing) {
        cmove(n) = cmove(n) + 2;
        if (cmove(n) > 100) ctype(n) = kFree;
    }
    return 0;
}

double FallDown() {
    for (double c = 0; c <= 9; ++c)
        for (double r = 6; r >= 1; --r)
            if (hit(c, r) == 0 && hit(c, r - 1) > 0) {
                BlockToCrate(c, r - 1, kFalling, 0);
                hit(c, r - 1) = 0;
            }
    return 0;
}

double MakeNewCrate(double step) {
    const double column = static_cast<double>(static_cast<long long>((step + ply_x + 32 + 32 * ply_dir) / 64));
    const double row = static_cast<double>(static_cast<long long>((ply_y + 66) / 64));
    const double remembered = MaxCrate;
    const double s = BlockToCrate(column, row, kSliding, step < 0 ? -1 : 1);
    if (PushCrate(s, step) == 0) {
        ctype(s) = kFree;
        MaxCrate = remembered;
    } else {
        hit(column, row) = 0;
    }
    return 0;
}

double PushCrate(double slot, double step) {
    const double sign = step / ABS(step);
    const double target = static_cast<double>(static_cast<long long>((step + cx(slot) + 32 + 32 * sign) / 64));
    if (target < 0 || target > 9) return 0;
    // A crate above the top of the field has open space beside it.
    if (cy(slot) < 0) return 1;
    return hit(target, cy(slot) / 64) == 0 ? 1 : 0;
}

}  // namespace __TOLVANE__
