SETTINGS TITLE "Statements", WIDTH 320, HEIGHT 200, FPS 30, MOUSE 0
INCLUDE "statements_lib.bas"
FOR i = 10 TO 0 STEP -2
    IF i = 4 THEN
        CONTINUE
    ELSEIF i < 2 THEN
        BREAK
    ELSE
        total = total + i
    END IF
NEXT
WHILE total > 0
    total = total - Half(total) - 1
WEND
REPEAT
    k = k + 1
UNTIL k >= 3
SELECT CASE k
CASE 1, 2
    w$ = "small"
CASE 3 TO 5
    w$ = "middle"
CASE ELSE
    w$ = "large"
END SELECT
SELECT CASE w$
CASE "middle"
    END
END SELECT
