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
