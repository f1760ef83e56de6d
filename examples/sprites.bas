' Sprites and sound: a catcher moves with Left and Right along the bottom; gems fall
' from the top. A caught gem plays a chime, panned to where it was caught; a missed
' one plays a thud. Escape ends.
'
' It uses the game's pictures and sounds, so build it with them packed in:
'   build/compiler/tolvanec build examples/sprites.bas --assets build/assets
SETTINGS TITLE "Sprites and sound", WIDTH 640, HEIGHT 480, FPS 60

LOADSPRITE "Gfx/R_0.bmp", 1
LOADSPRITE "Gfx/Gem.bmp", 2
LOADSOUND "Sfx/Bonus.wav", 0
LOADSOUND "Sfx/Drop.wav", 1

DIM gemx(4), gemy(4)
FOR g = 0 TO 3
    gemx(g) = RND(9) * 64
    gemy(g) = -64 - 160 * g
NEXT
x = 288
caught = 0
missed = 0

WHILE 1
    IF KEY(203) THEN x = x - 4
    IF KEY(205) THEN x = x + 4
    x = Clamp(x, 0, 576)
    FOR g = 0 TO 3
        gemy(g) = gemy(g) + 3
        IF SPRCOLL(1, x, 400, 2, gemx(g), gemy(g)) THEN
            caught = caught + 1
            PLAYSOUND 0, (x - 288) / 288, 1
            Drop g
        ELSEIF gemy(g) > 480 THEN
            missed = missed + 1
            PLAYSOUND 1, 0, 0.5
            Drop g
        END IF
        SPRITE 2, gemx(g), gemy(g)
    NEXT
    SPRITE 1, x, 400
    PRINT "Caught " + caught + "   missed " + missed, 8, 8
    SHOWSCREEN
WEND

' Gem g starts again above the screen, in a random column.
SUB Drop(g)
    gemx(g) = RND(9) * 64
    gemy(g) = -64
END SUB

SUB Clamp(v, lo, hi)
    IF v < lo THEN RETURN lo
    IF v > hi THEN RETURN hi
    RETURN v
END SUB
