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
    FOR slot = 0 TO MaxCrate
        IF ctype(slot) = CRATE_VANISHING THEN
            ALPHAMODE cmove(slot) / 100
            ZOOMSPRITE 10, cx(slot), cy(slot), 0.02 * cmove(slot), 0.02 * cmove(slot)
            ALPHAMODE 0
        ELSEIF ctype(slot) <> CRATE_FREE THEN
            SPRITE ccolr(slot), cx(slot), cy(slot)
        END IF
    NEXT
END SUB
