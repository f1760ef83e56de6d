' Stackmoor: cranes drop coloured crates onto a field; the figure walks, jumps and
' pushes blocks sideways. Four or more blocks of one colour that touch vanish and
' score 2 ^ their count; a full bottom row clears for 10. A crate that lands in the
' top row, or falls on the figure's head, ends the level.
'
' Playfield: cells of 64 x 64 pixels, columns 0 ... 9, rows 0 ... 6, row 7 the ground.
' hit(column, row): 0 empty, 1 ... 3 a block of that colour (also its sprite number),
' -100 the ground. A crate object (carried, falling, sliding or vanishing) lives in
' one slot of the crate table: ctype, cmove, ccolr, cx, cy, cfallx.
'
' Crate states (ctype): 0 free slot, 1 carried by a crane, 2 falling, 3 sliding,
' 4 vanishing.
SETTINGS TITLE "Stackmoor", WIDTH 640, HEIGHT 480, FPS 60

GLOBAL MaxCrate
GLOBAL ply_x, ply_y, ply_dir, ply_jump, ply_fall, dx, ply_walk, ply_ani
GLOBAL h, col, score, anidelay, pingpong, i, found


DIM hit(20, 20)
MAX_CRATE_MEM = 256
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
    LOADSOUND "Sfx/Drop.wav", 0, 2
    LOADSOUND "Sfx/Move.wav", 1, 2
    LOADSOUND "Sfx/Bonus.wav", 2, 2
END SUB
' Level set-up and the conversions between crate objects and grid blocks.

' The lowest free slot of 0 ... MaxCrate, else a new slot above MaxCrate.
SUB AllocateSlot()
    FOR n = 0 TO MaxCrate
        IF ctype(n) = 0 THEN RETURN n
    NEXT
    MaxCrate = MaxCrate + 1
    RETURN MaxCrate
END SUB

' An empty field on the ground, and the first crane.
SUB NewLevel()
    FOR c = 0 TO 19
        FOR r = 0 TO 19
            hit(c, r) = 0
        NEXT
    NEXT
    FOR c = 0 TO 19
        hit(c, 7) = -100
    NEXT
    MaxCrate = -1
    AddCrane
END SUB

' A crane enters from the left with a crate of a random colour for a random column.
SUB AddCrane()
    s = AllocateSlot()
    ctype(s) = 1
    cmove(s) = 1
    cfallx(s) = RND(7) * 64 + 64
    cx(s) = -28
    cy(s) = -32
    ccolr(s) = RND(2) + 1
END SUB

' The block at (column, row) as a crate object in `state`, moving `direction`;
' returns its slot. The caller clears the cell.
SUB BlockToCrate(column, row, state, direction)
    s = AllocateSlot()
    ctype(s) = state
    cmove(s) = direction
    cx(s) = column * 64 + 2 * direction
    cy(s) = row * 64
    ccolr(s) = hit(column, row)
    RETURN s
END SUB

' A crate that came to rest becomes a block of the field.
SUB CreateCrate(slot)
    hit(cx(slot) / 64, (cy(slot) + 2) / 64) = ccolr(slot)
    ctype(slot) = 0
    CheckCombos
END SUB
' Crate motion: the per-frame step, gravity and pushing.

' One frame of crate n. Returns 1 when it came to rest above row 1 (the level is
' lost), else 0.
SUB CrateStep(n)
    IF ctype(n) = 1 THEN
        cx(n) = cx(n) + cmove(n)
        IF cx(n) = cfallx(n) THEN ctype(n) = 2
    END IF
    IF ctype(n) = 2 THEN
        IF hit(cx(n) / 64, (cy(n) + 66) / 64) = 0 THEN
            cy(n) = cy(n) + 2
        ELSE
            IF cy(n) < 64 THEN RETURN 1
            CreateCrate n
            PLAYSOUND 0, 0, 1
        END IF
    END IF
    IF ctype(n) = 3 THEN
        IF cx(n) MOD 64 = 0 THEN
            ctype(n) = 2
            cmove(n) = 0
        ELSE
            cx(n) = cx(n) + 2 * cmove(n)
        END IF
    END IF
    IF ctype(n) = 4 THEN
        cmove(n) = cmove(n) + 2
        IF cmove(n) > 100 THEN ctype(n) = 0
    END IF
END SUB

' Every block with a gap below it starts to fall.
SUB FallDown()
    FOR c = 0 TO 9
        FOR r = 6 TO 1 STEP -1
            IF hit(c, r) = 0 AND hit(c, r - 1) > 0 THEN
                BlockToCrate c, r - 1, 2, 0
                hit(c, r - 1) = 0
            END IF
        NEXT
    NEXT
END SUB

' The figure pushes the block in front of it by `delta` pixels: the block slides
' when there is room, else it stays.
SUB MakeNewCrate(delta)
    column = TRUNC((delta + ply_x + 32 + 32 * ply_dir) / 64)
    row = TRUNC((ply_y + 66) / 64)
    remembered = MaxCrate
    IF delta < 0 THEN direction = -1 ELSE direction = 1
    s = BlockToCrate(column, row, 3, direction)
    IF PushCrate(s, delta) = 0 THEN
        ctype(s) = 0
        MaxCrate = remembered
    ELSE
        hit(column, row) = 0
    END IF
END SUB

' 1 when crate `slot` has room to move by `delta` pixels, else 0.
SUB PushCrate(slot, delta)
    sign = delta / ABS(delta)
    target = TRUNC((delta + cx(slot) + 32 + 32 * sign) / 64)
    IF target < 0 OR target > 9 THEN RETURN 0
    ' A crate above the top of the field has open space beside it.
    IF cy(slot) < 0 THEN RETURN 1
    IF hit(target, cy(slot) / 64) = 0 THEN RETURN 1
    RETURN 0
END SUB
' Colour combos, row clears and scoring.

' Scores every group of four or more and clears full bottom rows, after a block
' came to rest.
SUB CheckCombos()
    bonus = 0
    FOR x = 0 TO 9
        FOR y = 0 TO 6
            last = 0
            IF hit(x, y) > 0 THEN last = CheckForCombo(x, y)
            IF last > 3 THEN
                score = score + 2 ^ last
                bonus = 1
            END IF
        NEXT
    NEXT
    IF bonus <> 0 THEN PLAYSOUND 2, 0, 1
    WHILE 1
        full = 1
        FOR x = 0 TO 9
            IF hit(x, 6) = 0 THEN full = 0
        NEXT
        IF full = 0 THEN BREAK
        FOR x = 0 TO 9
            BlockToCrate x, 6, 4, 0
            hit(x, 6) = 0
        NEXT
        score = score + 10
        FallDown
    WEND
END SUB

' The size of the group of the colour at (x0, y0). The group's cells are marked by
' their negated colour while it grows; a group of four or more vanishes.
SUB CheckForCombo(x0, y0)
    count = 1
    c = ABS(hit(x0, y0))
    hit(x0, y0) = -c
    REPEAT
        found = 0
        FOR x = 0 TO 9
            FOR y = 0 TO 6
                IF hit(x, y) = c THEN
                    FOR d = -1 TO 1 STEP 2
                        IF x > 0 AND hit(x + d, y) = -c THEN
                            found = 1
                            hit(x, y) = -c
                            count = count + 1
                        END IF
                        IF y > 0 AND hit(x, y + d) = -c THEN
                            found = 1
                            hit(x, y) = -c
                            count = count + 1
                        END IF
                    NEXT
                END IF
            NEXT
        NEXT
    UNTIL found = 0
    FOR x = 0 TO 9
        FOR y = 0 TO 6
            IF hit(x, y) < 0 THEN
                hit(x, y) = ABS(hit(x, y))
                IF count > 3 THEN
                    BlockToCrate x, y, 4, 0
                    hit(x, y) = 0
                END IF
            END IF
        NEXT
    NEXT
    FallDown
    RETURN count
END SUB
' The frame loop, the figure and the end of a level. Keys: 203 left, 205 right,
' 200 up (jump).

' What the figure meets at (x, y) on the side it faces: a cell of hit, -1 beyond the
' field's sides.
SUB GetHit(x, y)
    column = TRUNC((x + 32 + 32 * ply_dir) / 64)
    IF column < 0 OR column > 9 THEN RETURN -1
    row = y + 66
    ' Above the top of the field there is open space.
    IF row < 0 THEN RETURN 0
    RETURN hit(column, row / 64)
END SUB

' One level, frame by frame, until it is lost.
SUB MainGame()
    t = 0
    ply_x = 320
    ply_y = 160
    ply_dir = -1
    ply_jump = 0
    WHILE 1
        t = t + 1
        IF t > 150 THEN
            t = 0
            AddCrane
        END IF
        ' Crates that appear during this step move in this frame too.
        n = 0
        WHILE n <= MaxCrate
            IF CrateStep(n) <> 0 THEN
                GameOver
                RETURN
            END IF
            n = n + 1
        WEND

        ply_ani = 0
        dx = 0
        IF KEY(203) THEN
            dx = -2
            ply_dir = -1
        END IF
        IF KEY(205) THEN
            dx = 2
            ply_dir = 1
        END IF
        ply_walk = dx

        IF KEY(200) AND ply_jump > 0 THEN
            ply_jump = ply_jump + 3
            ply_y = ply_y - 8 * COS(ply_jump)
            IF ply_jump > 90 THEN ply_jump = 0
        ELSE
            ply_jump = 0
        END IF

        ply_fall = 0
        IF ply_jump = 0 AND GetHit(ply_x, ply_y + 2) = 0 AND GetHit(ply_x - 60 * ply_dir, ply_y + 2) = 0 THEN
            ply_y = ply_y + 2
            ply_fall = 1
        ELSEIF KEY(200) AND ply_jump = 0 THEN
            ply_jump = 1
        END IF

        h = GetHit(ply_x + dx, ply_y)
        IF dx <> 0 THEN
            IF h = 0 THEN
                ply_x = ply_x + dx
            ELSE
                MakeNewCrate dx
                PLAYSOUND 1, 0, 1
            END IF
        END IF
        IF ply_x <= 0 THEN ply_x = 0

        FOR n = 0 TO MaxCrate
            IF ctype(n) <> 0 THEN
                BOXCOLL col, ply_x + 16, ply_y, 32, 32, cx(n), cy(n) + 32, 64, 32
                IF col <> 0 THEN
                    IF ply_jump = 0 AND ply_fall = 0 THEN
                        GameOver
                        RETURN
                    END IF
                    ctype(n) = 4
                    cmove(n) = 0
                END IF
                BOXCOLL col, ply_x - 8, ply_y, 80, 64, cx(n), cy(n), 64, 64
                IF col <> 0 AND dx <> 0 THEN
                    ply_ani = 1
                    IF PushCrate(n, dx) = 0 THEN ply_x = ply_x - dx
                END IF
            END IF
        NEXT

        ShowAll
        PRINT "$:" + score, 64, 32
        SHOWSCREEN
    WEND
END SUB

' The words "Game Over" drop down the screen.
SUB GameOver()
    FOR t = 0 TO 240 STEP 5
        PRINT "Game Over", 100, t - 20
        ShowAll
        SHOWSCREEN
    NEXT
END SUB
' Drawing the playfield: blocks, the figure, crate objects.

SUB ShowAll()
    anidelay = anidelay + 1
    IF anidelay > 10 THEN
        anidelay = 0
        pingpong = 1 - pingpong
    END IF
    FOR c = 0 TO 9
        FOR r = 0 TO 7
            IF hit(c, r) > 0 THEN SPRITE hit(c, r), 64 * c, 64 * r
        NEXT
    NEXT
    IF ply_walk <> 0 THEN
        SPRITE 32 + 16 * ply_dir + 16 * ply_ani + pingpong, ply_x, ply_y
    ELSE
        SPRITE 32 + 16 * ply_dir, ply_x, ply_y
    END IF
    FOR i = 0 TO MaxCrate
        IF ctype(i) = 4 THEN
            ALPHAMODE cmove(i) / 100
            ZOOMSPRITE 10, cx(i), cy(i), 0.02 * cmove(i), 0.02 * cmove(i)
            ALPHAMODE 0
        ELSEIF ctype(i) > 0 THEN
            SPRITE ccolr(i), cx(i), cy(i)
        END IF
    NEXT
END SUB
