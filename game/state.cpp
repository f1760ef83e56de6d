// The game's state, its assets and the main procedure.
#include "game/stackmoor.h"


namespace __TOLVANE__ {

DQIntArray hit;
DQIntArray ctype, cmove, ccolr, cx, cy, cfallx;

double MAX_CRATE_MEM = 0, MaxCrate = 0;
double ply_x = 0, ply_y = 0, ply_dir = 0, ply_jump = 0, ply_fall = 0, dx = 0, ply_walk = 0, ply_ani = 0;
double h = 0, col = 0, score = 0, anidelay = 0, pingpong = 0, i = 0, found = 0;

double __MainGameSub_() {
    DIM(hit, 20, 20);
    MAX_CRATE_MEM = 256;
    DIM(ctype, MAX_CRATE_MEM);
    DIM(cmove, MAX_CRATE_MEM);
    DIM(ccolr, MAX_CRATE_MEM);
    DIM(cx, MAX_CRATE_MEM);
    DIM(cy, MAX_CRATE_MEM);
    DIM(cfallx, MAX_CRATE_MEM);
    PLAYMUSIC(CQStr("Sfx/music.mid"));
    LoadGfx();
    for (;;) {
        NewLevel();
        MainGame();
    }
    return 0;
}

double LoadGfx() {
    for (double n = 1; n <= 3; ++n) LOADSPRITE(CQStr("Gfx/Block") + n + CQStr(".bmp"), n);
    LOADSPRITE(CQStr("Gfx/Gem.bmp"), 10);
    LOADSPRITE(CQStr("Gfx/L_0.bmp"), 16);
    LOADSPRITE(CQStr("Gfx/L_1.bmp"), 17);
    LOADSPRITE(CQStr("Gfx/LP_0.bmp"), 32);
    LOADSPRITE(CQStr("Gfx/LP_1.bmp"), 33);
    LOADSPRITE(CQStr("Gfx/R_0.bmp"), 48);
    LOADSPRITE(CQStr("Gfx/R_1.bmp"), 49);
    LOADSPRITE(CQStr("Gfx/RP_0.bmp"), 64);
    LOADSPRITE(CQStr("Gfx/RP_1.bmp"), 65);
    LOADBMP(CQStr("Gfx/Back.bmp"));
    LOADSOUND(CQStr("Sfx/Drop.wav"), 0, 2);
    LOADSOUND(CQStr("Sfx/Move.wav"), 1, 2);
    LOADSOUND(CQStr("Sfx/Bonus.wav"), 2, 2);
    return 0;
}

}  // namespace __TOLVANE__
