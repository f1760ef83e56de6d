// The frame loop, the figure and the end of a level.
#include "game/stackmoor.h"

namespace __TOLVANE__ {

namespace {
constexpr double kLeft = 203, kRight = 205, kUp = 200;
}  // namespace

double GetHit(double x, double y) {
    const double column = static_cast<double>(static_cast<long long>((x + 32 + 32 * ply_dir) / 64));
    if (column < 0 || column > 9) return -1;
    const double row = y + 66;
    // Above the top of the field there is open space.
    if (row < 0) return 0;
    return hit(column, row / 64);
}

double MainGame() {
    double t = 0;
    ply_x = 320;
    ply_y = 160;
    ply_dir = -1;
    ply_jump = 0;
    for (;;) {
        t = t + 1;
        if (t > 150) {
            t = 0;
            AddCrane();
        }
        for (double n = 0; n <= MaxCrate; ++n)
            if (CrateStep(n) != 0) {
                GameOver();
                return 0;
            }

        ply_ani = 0;
        dx = 0;
        if (KEY(kLeft) != 0) {
            dx = -2;
            ply_dir = -1;
        }
        if (KEY(kRight) != 0) {
            dx = 2;
            ply_dir = 1;
        }
        ply_walk = dx;

        if (KEY(kUp) != 0 && ply_jump > 0) {
            ply_jump = ply_jump + 3;
            ply_y = ply_y - 8 * COS(ply_jump);
            if (ply_jump > 90) ply_jump = 0;
        } else {
            ply_jump = 0;
        }

        ply_fall = 0;
        if (ply_jump == 0 && GetHit(ply_x, ply_y + 2) == 0 && GetHit(ply_x - 60 * ply_dir, ply_y + 2) == 0) {
            ply_y = ply_y + 2;
            ply_fall = 1;
        } else if (KEY(kUp) != 0 && ply_jump == 0) {
            ply_jump = 1;
        }

        h = GetHit(ply_x + dx, ply_y);
        if (dx != 0) {
            if (h == 0) {
                ply_x = ply_x + dx;
            } else {
                MakeNewCrate(dx);
                PLAYSOUND(1, 0, 1);
            }
        }
        if (ply_x <= 0) ply_x = 0;

        for (double n = 0; n <= MaxCrate; ++n) {
            if (ctype(n) == kFree) continue;
            BOXCOLL(col, ply_x + 16, ply_y, 32, 32, cx(n), cy(n) + 32, 64, 32);
            if (col != 0) {
                if (ply_jump == 0 && ply_fall == 0) {
                    GameOver();
                    return 0;
                }
                ctype(n) = kVanishing;
                cmove(n) = 0;
            }
            BOXCOLL(col, ply_x - 8, ply_y, 80, 64, cx(n), cy(n), 64, 64);
            if (col != 0 && dx != 0) {
                ply_ani = 1;
                if (PushCrate(n, dx) == 0) ply_x = ply_x - dx;
            }
        }

        ShowAll();
        PRINT(CQStr("$:") + score, 64, 32);
        SHOWSCREEN();
    }
}

double GameOver() {
    for (double t = 0; t <= 240; t += 5) {
        PRINT(CQStr("Game Over"), 100, t - 20);
        ShowAll();
        SHOWSCREEN();
    }
    return 0;
}

}  // namespace __TOLVANE__
