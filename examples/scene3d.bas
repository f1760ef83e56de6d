' A 3D scene: a cube built face by face, every face a triangle strip of its own colour,
' turns above a chequered floor. A dim ambient light and a white point light circling
' above the cube light them. Escape ends.
SETTINGS TITLE "3D scene", WIDTH 640, HEIGHT 480, FPS 60

' Normals from the faces themselves: a vertex takes the normal of the face it belongs
' to, so every side of the cube is flat and its edges stay sharp.
X_AUTONORMALS 1
nfaces = 0

' The cube, 120 units wide, centred on the origin. Each face lists its corners
' counter-clockwise as seen from outside, so its normal points outwards.
X_OBJSTART 1
Face -1, -1, 1, 1, -1, 1, 1, 1, 1, -1, 1, 1, 0x3030E0        ' front (+z), red
Face 1, -1, -1, -1, -1, -1, -1, 1, -1, 1, 1, -1, 0x30C0E0    ' back, yellow
Face 1, -1, 1, 1, -1, -1, 1, 1, -1, 1, 1, 1, 0x30D030        ' right (+x), green
Face -1, -1, -1, -1, -1, 1, -1, 1, 1, -1, 1, -1, 0xE0A030    ' left, blue
Face -1, 1, 1, 1, 1, 1, 1, 1, -1, -1, 1, -1, 0xF0F0F0        ' top (+y), white
Face -1, -1, -1, 1, -1, -1, 1, -1, 1, -1, -1, 1, 0xC040C0    ' bottom, purple
X_OBJEND

' The floor: 10 x 10 tiles of 50 units, 120 below the cube's centre, facing up.
X_OBJSTART 2
FOR tz = 0 TO 9
    FOR tx = 0 TO 9
        IF tx + tz > 0 THEN X_OBJNEWGROUP
        x = tx * 50 - 250
        z = tz * 50 - 250
        colour = 0x705840
        IF MOD(tx + tz, 2) = 0 THEN colour = 0xB0B0B0
        ' Seen from above: (x, z + 50), (x + 50, z + 50), (x, z), (x + 50, z)
        X_OBJADDVERTEX x, -120, z + 50, 0, 0, colour
        X_OBJADDVERTEX x + 50, -120, z + 50, 0, 0, colour
        X_OBJADDVERTEX x, -120, z, 0, 0, colour
        X_OBJADDVERTEX x + 50, -120, z, 0, 0, colour
    NEXT
NEXT
X_OBJEND

angle = 0
WHILE 1
    angle = angle + 1
    X_MAKE3D 1, 2000, 45
    X_CAMERA 0, 180, 380, 0, -20, 0
    ' Light 0 would add white light from the viewer as well: the ambient light is light 2.
    X_AMBIENT_LT 2, 0x282828
    X_SPOT_LT 1, 0xF0F0F0, 220 * COS(angle * 2), 200, 220 * SIN(angle * 2), 0, 0, 0, 360
    X_SETTEXTURE -1, -1
    X_DRAWOBJ 2, 0
    X_MOVEMENT 0, 10 * SIN(angle * 3), 0
    X_ROTATION angle, 0, 1, 0
    X_ROTATION 30, 1, 0, 1
    X_DRAWOBJ 1, 0
    X_MAKE2D
    PRINT "Tolvane 3D in BASIC - Escape ends", 8, 8
    SHOWSCREEN
WEND

' One face of the cube from its four corners (each coordinate -1 or 1, scaled to 60),
' counter-clockwise from outside: a strip visits them as a, b, d, c.
SUB Face(ax, ay, az, bx, by, bz, cx, cy, cz, dx, dy, dz, colour)
    IF nfaces > 0 THEN X_OBJNEWGROUP
    nfaces = nfaces + 1
    X_OBJADDVERTEX ax * 60, ay * 60, az * 60, 0, 0, colour
    X_OBJADDVERTEX bx * 60, by * 60, bz * 60, 0, 0, colour
    X_OBJADDVERTEX dx * 60, dy * 60, dz * 60, 0, 0, colour
    X_OBJADDVERTEX cx * 60, cy * 60, cz * 60, 0, 0, colour
END SUB
