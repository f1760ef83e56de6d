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
    IF bonus <> 0 THEN PLAYSOUND SOUND_BONUS, 0, 1
    WHILE 1
        full = 1
        FOR x = 0 TO 9
            IF hit(x, 6) = 0 THEN full = 0
        NEXT
        IF full = 0 THEN BREAK
        FOR x = 0 TO 9
            BlockToCrate x, 6, CRATE_VANISHING, 0
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
                    BlockToCrate x, y, CRATE_VANISHING, 0
                    hit(x, y) = 0
                END IF
            END IF
        NEXT
    NEXT
    FallDown
    RETURN count
END SUB
