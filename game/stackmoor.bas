' Stackmoor: cranes drop coloured crates onto a field; the figure walks, jumps and
' pushes blocks sideways. Four or more blocks of one colour that touch vanish and
' score 2 ^ their count; a full bottom row clears for 10. A crate that lands in the
' top row, or falls on the figure's head, ends the level.
'
' Playfield: cells of 64 x 64 pixels, columns 0 ... 9, rows 0 ... 6, row 7 the ground.
' hit(column, row): 0 empty, 1 ... 3 a block of that colour (also its sprite number),
' GROUND the ground. A crate object (carried, falling, sliding or vanishing) lives in
' one slot of the crate table: ctype, cmove, ccolr, cx, cy, cfallx.
'
' The values of ctype, the state of a crate's slot.
CONST CRATE_FREE = 0, CRATE_CARRIED = 1, CRATE_FALLING = 2, CRATE_SLIDING = 3, CRATE_VANISHING = 4
' hit() of the ground row.
CONST GROUND = -100
' Slots of the crate table.
CONST MAX_CRATE_MEM = 256
' The keys: scan codes of the arrow keys.
CONST KEY_LEFT = 203, KEY_RIGHT = 205, KEY_UP = 200
' Sound slots.
CONST SOUND_DROP = 0, SOUND_MOVE = 1, SOUND_BONUS = 2
SETTINGS TITLE "Stackmoor", WIDTH 640, HEIGHT 480, FPS 60

GLOBAL MaxCrate
GLOBAL ply_x, ply_y, ply_dir, ply_jump, ply_fall, dx, ply_walk, ply_ani
' ahead: what the figure meets where it walks; touching: 1 while it touches a crate.
GLOBAL ahead, touching, score, anidelay, pingpong, found

INCLUDE "level.bas"
INCLUDE "crates.bas"
INCLUDE "combos.bas"
INCLUDE "play.bas"
INCLUDE "draw.bas"

DIM hit(20, 20)
DIM ctype(MAX_CRATE_MEM)
DIM cmove(MAX_CRATE_MEM)
DIM ccolr(MAX_CRATE_MEM)
DIM cx(MAX_CRATE_MEM)
DIM cy(MAX_CRATE_MEM)
DIM cfallx(MAX_CRATE_MEM)
PLAYMUSIC "Sfx/music.mid"
LoadGfx
WHILE 1
    NewLevel
    MainGame
WEND

SUB LoadGfx()
    FOR n = 1 TO 3
        LOADSPRITE "Gfx/Block" + n + ".bmp", n
    NEXT
    LOADSPRITE "Gfx/Gem.bmp", 10
    LOADSPRITE "Gfx/L_0.bmp", 16
    LOADSPRITE "Gfx/L_1.bmp", 17
    LOADSPRITE "Gfx/LP_0.bmp", 32
    LOADSPRITE "Gfx/LP_1.bmp", 33
    LOADSPRITE "Gfx/R_0.bmp", 48
    LOADSPRITE "Gfx/R_1.bmp", 49
    LOADSPRITE "Gfx/RP_0.bmp", 64
    LOADSPRITE "Gfx/RP_1.bmp", 65
    LOADBMP "Gfx/Back.bmp"
    LOADSOUND "Sfx/Drop.wav", SOUND_DROP, 2
    LOADSOUND "Sfx/Move.wav", SOUND_MOVE, 2
    LOADSOUND "Sfx/Bonus.wav", SOUND_BONUS, 2
END SUB
