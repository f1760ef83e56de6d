SETTINGS TITLE "Bench", WIDTH 640, HEIGHT 480
CONST COUNT = 8, SPEED = 3
CONST KEY_LEFT = 203, KEY_RIGHT = 205
TYPE Ball
    x
    y
    dx
    dy
    colour
END TYPE
DIM balls(COUNT) AS Ball
GLOBAL paddle
paddle = 288
FOR i = 0 TO COUNT - 1
    balls(i).x = RND(600)
    balls(i).y = RND(200)
    balls(i).dx = SPEED - RND(2 * SPEED)
    balls(i).dy = SPEED
    balls(i).colour = RGB(RND(255), RND(255), 128)
NEXT
WHILE 1
    IF KEY(KEY_LEFT) THEN paddle = MAX(paddle - 6, 0)
    IF KEY(KEY_RIGHT) THEN paddle = MIN(paddle + 6, 576)
    FOR i = 0 TO COUNT - 1
        balls(i) = Moved(balls(i))
        FILLRECT balls(i).x, balls(i).y, balls(i).x + 8, balls(i).y + 8, balls(i).colour
    NEXT
    FILLRECT paddle, 460, paddle + 64, 470, 0xFFFFFF
    PRINT "Balls: " + COUNT + "  " + UCASE$(LEFT$("paddle", 3)), 8, 8
    SHOWSCREEN
WEND

SUB Moved(b AS Ball) AS Ball
    b.x = b.x + b.dx
    b.y = b.y + b.dy
    IF b.x < 0 OR b.x > 632 THEN b.dx = -b.dx
    IF b.y < 0 THEN b.dy = -b.dy
    IF b.y > 452 AND b.x >= paddle AND b.x <= paddle + 64 THEN b.dy = -ABS(b.dy)
    IF b.y > 480 THEN
        b.y = 0
        b.x = RND(600)
    END IF
    RETURN b
END SUB

SUB Unused$(t$)
    RETURN TRIM$(t$) + STR$(SGN(LEN(t$)))
END SUB
