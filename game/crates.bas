' Crate motion: the per-frame step, gravity and pushing.

' One frame of crate n. Returns 1 when it came to rest above row 1 (the level is
' lost), else 0.
SUB CrateStep(n)
    IF ctype(n) = CRATE_CARRIED THEN
        cx(n) = cx(n) + cmove(n)
        IF cx(n) = cfallx(n) THEN ctype(n) = CRATE_FALLING
    END IF
    IF ctype(n) = CRATE_FALLING THEN
        IF hit(cx(n) / 64, (cy(n) + 66) / 64) = 0 THEN
            cy(n) = cy(n) + 2
        ELSE
            IF cy(n) < 64 THEN RETURN 1
            CreateCrate n
            PLAYSOUND SOUND_DROP, 0, 1
        END IF
    END IF
    IF ctype(n) = CRATE_SLIDING THEN
        IF cx(n) MOD 64 = 0 THEN
            ctype(n) = CRATE_FALLING
            cmove(n) = 0
        ELSE
            cx(n) = cx(n) + 2 * cmove(n)
        END IF
    END IF
    IF ctype(n) = CRATE_VANISHING THEN
        cmove(n) = cmove(n) + 2
        IF cmove(n) > 100 THEN ctype(n) = CRATE_FREE
    END IF
END SUB

' Every block with a gap below it starts to fall.
SUB FallDown()
    FOR c = 0 TO 9
        FOR r = 6 TO 1 STEP -1
            IF hit(c, r) = 0 AND hit(c, r - 1) > 0 THEN
                BlockToCrate c, r - 1, CRATE_FALLING, 0
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
    s = BlockToCrate(column, row, CRATE_SLIDING, direction)
    IF PushCrate(s, delta) = 0 THEN
        ctype(s) = CRATE_FREE
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
