// Drawing the playfield: blocks, the figure, crate objects.
#include "game/stackmoor.h"

namespace __TOLVANE__ {

double ShowAll() {
    anidelay = anidelay + 1;
    if (anidelay > 10) {
        anidelay = 0;
        pingpong = 1 - pingpong;
    }
    for (double c = 0; c <= 9; ++c)
        for (double r = 0; r <= 7; ++r)
            if (hit(c, r) > 0) SPRITE(hit(c, r), 64 * c, 64 * r);
    if (ply_walk != 0)
        SPRITE(32 + 16 * ply_dir + 16 * ply_ani + pingpong, ply_x, ply_y);
    else
        SPRITE(32 + 16 * ply_dir, ply_x, ply_y);
    for (i = 0; i <= MaxCrate; i = i + 1) {
        if (ctype(i) == kVanishing) {
            ALPHAMODE(cmove(i) / 100);
            ZOOMSPRITE(10, cx(i), cy(i), 0.02 * cmove(i), 0.02 * cmove(i));
            ALPHAMODE(0);
        } else if (ctype(i) > 0) {
            SPRITE(ccolr(i), cx(i), cy(i));
        }
    }
    return 0;
}

}  // namespace __TOLVANE__
