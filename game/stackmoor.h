// Stackmoor's globals and procedures as its BASIC program (game/stackmoor.bas and the
// files it includes) defines them in compiled form: tolvanec translates every BASIC
// global and SUB into one of these, with the same name, in __TOLVANE__. Every value is
// a 64-bit float; every procedure takes floats and returns one. The trace tool and the
// game's tests reach into the running game through this header, so a global or SUB
// renamed in the program must be renamed here too (the link fails for a SUB).
//
// Playfield: cells of 64 x 64 pixels, columns 0 ... 9, rows 0 ... 6, row 7 the ground.
// hit(column, row): 0 empty, 1 ... 3 a block of that colour (also its sprite number),
// GROUND (-100) the ground. A crate object (carried, falling, sliding or vanishing) lives in
// one slot of the crate table: ctype, cmove, ccolr, cx, cy, cfallx.
#pragma once

#include "tolvane.h"

namespace __TOLVANE__ {

// The program's CONSTs: the states of a crate's slot (the values of ctype), the ground's
// value in hit, the size of the crate table, the arrow keys' scan codes, the sound slots.
extern const double CRATE_FREE, CRATE_CARRIED, CRATE_FALLING, CRATE_SLIDING, CRATE_VANISHING;
extern const double GROUND, MAX_CRATE_MEM;
extern const double KEY_LEFT, KEY_RIGHT, KEY_UP;
extern const double SOUND_DROP, SOUND_MOVE, SOUND_BONUS;

extern DQIntArray hit;
extern DQIntArray ctype, cmove, ccolr, cx, cy, cfallx;

extern double MaxCrate;
extern double ply_x, ply_y, ply_dir, ply_jump, ply_fall, dx, ply_walk, ply_ani;
// ahead: what the figure meets where it walks (a cell of hit, -1 beyond the sides);
// touching: BOXCOLL's answer for the figure and a crate.
extern double ahead, touching, score, anidelay, pingpong, found;

// Program and assets.
double __MainGameSub_();
double LoadGfx();

// Level set-up and crate creation. AllocateSlot returns the lowest free slot of
// 0 ... MaxCrate, else MaxCrate + 1 (and raises MaxCrate).
double AllocateSlot();
double NewLevel();
double AddCrane();
double BlockToCrate(double column, double row, double state, double direction);
double CreateCrate(double slot);

// Crate motion. CrateStep returns 1 when the crate came to rest above row 1 (the
// level is lost), else 0.
double CrateStep(double n);
double FallDown();
double MakeNewCrate(double step);
double PushCrate(double slot, double step);

// Combos and row clears.
double CheckCombos();
double CheckForCombo(double x0, double y0);

// The frame loop and the figure.
double MainGame();
double GetHit(double x, double y);
double GameOver();

// Drawing.
double ShowAll();

}  // namespace __TOLVANE__
