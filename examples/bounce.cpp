// A small program on the runtime: a square bouncing across the window at 60 frames
// per second. Escape or closing the window ends it.
#include "tolvane.h"

namespace __TOLVANE__ {

double x = 0, y = 0, dx = 3, dy = 2;

double __MainGameSub_() {
    double w = 0, h = 0;
    GETSCREENSIZE(w, h);
    for (;;) {
        x += dx;
        y += dy;
        if (x < 0 || x > w - 64) dx = -dx;
        if (y < 0 || y > h - 64) dy = -dy;
        FILLRECT(x, y, x + 64, y + 64, 0x1A99E6);
        PRINT(CQStr("Tolvane runtime - Escape ends"), 8, 8);
        SHOWSCREEN();
    }
    return 0;
}

}  // namespace __TOLVANE__

int main(int argc, char** argv) { __ProgramEntry(argc, argv, __BuildSettings{}, "Tolvane Demo"); }
