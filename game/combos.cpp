// Colour combos, row clears and scoring.
#include "game/stackmoor.h"

namespace __TOLVANE__ {

double CheckCombos() {
    double bonus = 0;
    for (double x = 0; x <= 9; ++x)
        for (double y = 0; y <= 6; ++y) {
            double last = 0;
            if (hit(x, y) > 0) last = CheckForCombo(x, y);
            if (last > 3) {
                score = score + POW(2, last);
                bonus = 1;
            }
        }
    if (bonus != 0) PLAYSOUND(2, 0, 1);
    for (;;) {
        bool full = true;
        for (double x = 0; x <= 9; ++x)
            if (hit(x, 6) == 0) full = false;
        if (!full) break;
        for (double x = 0; x <= 9; ++x) {
            BlockToCrate(x, 6, kVanishing, 0);
            hit(x, 6) = 0;
        }
        score = score + 10;
        FallDown();
    }
    return 0;
}

double CheckForCombo(double x0, double y0) {
    double count = 1;
    const double c = ABS(hit(x0, y0));
    hit(x0, y0) = -c;
    do {
        found = 0;
        for (double x = 0; x <= 9; ++x)
            for (double y = 0; y <= 6; ++y) {
                if (hit(x, y) != c) continue;
                for (double d = -1; d <= 1; d += 2) {
                    if (x > 0 && hit(x + d, y) == -c) {
                        found = 1;
                        hit(x, y) = -c;
                        count = count + 1;
                    }
                    if (y > 0 && hit(x, y + d) == -c) {
                        found = 1;
                        hit(x, y) = -c;
                        count = count + 1;
                    }
                }
            }
    } while (found != 0);
    for (double x = 0; x <= 9; ++x)
        for (double y = 0; y <= 6; ++y)
            if (hit(x, y) < 0) {
                hit(x, y) = ABS(hit(x, y));
                if (count > 3) {
                    BlockToCrate(x, y, kVanishing, 0);
                    hit(x, y) = 0;
                }
            }
    FallDown();
    return count;
}

}  // namespace __TOLVANE__
