' The frame loop, the figure and the end of a level. Keys: KEY_LEFT, KEY_RIGHT, KEY_UP
' (jump).

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
        IF KEY(KEY_LEFT) THEN
            dx = -2
            ply_dir = -1
        END IF
        IF KEY(KEY_RIGHT) THEN
            dx = 2
            ply_dir = 1
        END IF
        ply_walk = dx

        IF KEY(KEY_UP) AND ply_jump > 0 THEN
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
        ELSEIF KEY(KEY_UP) AND ply_jump = 0 THEN
            ply_jump = 1
        END IF

        ahead = GetHit(ply_x + dx, ply_y)
        IF dx <> 0 THEN
            IF ahead = 0 THEN
                ply_x = ply_x + dx
            ELSE
                MakeNewCrate dx
                PLAYSOUND SOUND_MOVE, 0, 1
            END IF
        END IF
        IF ply_x <= 0 THEN ply_x = 0

        FOR n = 0 TO MaxCrate
            IF ctype(n) <> CRATE_FREE THEN
                BOXCOLL touching, ply_x + 16, ply_y, 32, 32, cx(n), cy(n) + 32, 64, 32
                IF touching <> 0 THEN
                    IF ply_jump = 0 AND ply_fall = 0 THEN
                        GameOver
                        RETURN
                    END IF
                    ctype(n) = CRATE_VANISHING
                    cmove(n) = 0
                END IF
                BOXCOLL touching, ply_x - 8, ply_y, 80, 64, cx(n), cy(n), 64, 64
                IF touching <> 0 AND dx <> 0 THEN
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
