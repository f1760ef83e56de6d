' Path finding on a tile map: click a tile (or move the cursor with the arrow keys
' and press Space) and the walker goes there on the cheapest path. Floor (green)
' costs 1 to enter, mud (brown) 4; walls (grey) cannot be entered. Escape ends.
SETTINGS TITLE "Path finding", WIDTH 640, HEIGHT 480, FPS 60

' Colours are R + 256 * G + 65536 * B.
GLOBAL wallColour, floorColour, mudColour, pathColour, walkerColour
wallColour = 0x808080 : floorColour = 0x327828 : mudColour = 0x28506E
pathColour = 0x28DCF0 : walkerColour = 0xE65028

DIM map(20, 15), route(1, 2), rows$(15)
' One text line per row of tiles: '#' wall, '~' mud, '.' floor.
rows$(0) = "####################"
rows$(1) = "#.....#............#"
rows$(2) = "#.....#....~~~~....#"
rows$(3) = "#..#..#....~~~~....#"
rows$(4) = "#..#..#....~~~~....#"
rows$(5) = "#..#..######..###..#"
rows$(6) = "#..#...........#...#"
rows$(7) = "#..#####.......#...#"
rows$(8) = "#......#..~~~..#...#"
rows$(9) = "#......#..~~~..#...#"
rows$(10) = "####...#.......#...#"
rows$(11) = "#......#########...#"
rows$(12) = "#..................#"
rows$(13) = "#..................#"
rows$(14) = "####################"
FOR y = 0 TO 14
    FOR x = 0 TO 19
        SELECT CASE MID$(rows$(y), x, 1)
        CASE "#"
            map(x, y) = 0
        CASE "~"
            map(x, y) = 4
        CASE ELSE
            map(x, y) = 1
        END SELECT
    NEXT
NEXT

wx = 1 : wy = 1          ' the walker's tile
cx = 1 : cy = 1          ' the cursor's tile
steps = 0 : at = 0 : delay = 0
MOUSESTATE lastmx, lastmy, b1, b2

WHILE 1
    ' The cursor follows the mouse when it moves, and the arrow keys.
    MOUSESTATE mx, my, b1, b2
    IF mx <> lastmx OR my <> lastmy THEN
        cx = Clamp(TRUNC(mx / 32), 0, 19)
        cy = Clamp(TRUNC(my / 32), 0, 14)
        lastmx = mx : lastmy = my
    END IF
    ' KEYHIT is 1 in the frame after a key went down: one step per press.
    cx = Clamp(cx + KEYHIT(205) - KEYHIT(203), 0, 19)
    cy = Clamp(cy + KEYHIT(208) - KEYHIT(200), 0, 14)
    space = KEYHIT(57)
    IF b1 OR space THEN
        ' FINDPATH fills route with the tiles from the walker to the cursor.
        steps = FINDPATH(map, route, 0, wx, wy, cx, cy)
        at = 0
    END IF

    ' The walker takes one tile every six frames.
    delay = delay + 1
    IF delay >= 6 THEN
        delay = 0
        IF at < steps - 1 THEN
            at = at + 1
            wx = route(at, 0)
            wy = route(at, 1)
        END IF
    END IF

    FOR y = 0 TO 14
        FOR x = 0 TO 19
            SELECT CASE map(x, y)
            CASE 0
                Tile x, y, 0, wallColour
            CASE 4
                Tile x, y, 0, mudColour
            CASE ELSE
                Tile x, y, 0, floorColour
            END SELECT
        NEXT
    NEXT
    FOR k = at + 1 TO steps - 1
        Tile route(k, 0), route(k, 1), 12, pathColour
    NEXT
    Tile wx, wy, 4, walkerColour
    DRAWLINE cx * 32, cy * 32, cx * 32 + 31, cy * 32, 0xFFFFFF
    DRAWLINE cx * 32, cy * 32 + 31, cx * 32 + 31, cy * 32 + 31, 0xFFFFFF
    DRAWLINE cx * 32, cy * 32, cx * 32, cy * 32 + 31, 0xFFFFFF
    DRAWLINE cx * 32 + 31, cy * 32, cx * 32 + 31, cy * 32 + 31, 0xFFFFFF
    SHOWSCREEN
WEND

' Fills tile (x, y), less a border of `inset` pixels.
SUB Tile(x, y, inset, colour)
    FILLRECT x * 32 + inset, y * 32 + inset, x * 32 + 31 - inset, y * 32 + 31 - inset, colour
END SUB

SUB Clamp(v, lo, hi)
    IF v < lo THEN RETURN lo
    IF v > hi THEN RETURN hi
    RETURN v
END SUB
