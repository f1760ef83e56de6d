' The 3D commands, each in a tile of 160 x 120 pixels of one 640 x 480 screen: a camera
' 10 units in front of the origin with 45 degrees of view, so that one unit at the
' origin is 14.5 pixels and a square of side 2 covers 29 x 29 pixels around the
' tile's middle. The pixels to look at, and what each catches, are the lines of
' cases.tsv named draw3d. Colours are R + 256 G + 65536 B.
SETTINGS TITLE "Pixel cases 3D", WIDTH 640, HEIGHT 480
' A flat bump map: a picture of one grey, saved from the screen and loaded. A texture
' of four quadrants (red, green / blue, white), and grey, red-green and white sprites,
' grabbed from the screen.
FILLRECT 0, 0, 640, 480, 0x808080
SAVEBMP "flat.bmp"
LOADBUMPTEXTURE "flat.bmp", 7
FILLRECT 0, 0, 16, 16, 0x0000FF
FILLRECT 16, 0, 32, 16, 0x00FF00
FILLRECT 0, 16, 16, 32, 0xFF0000
FILLRECT 16, 16, 32, 32, 0xFFFFFF
GRABSPRITE 2, 0, 0, 32, 32
FILLRECT 40, 0, 56, 16, 0x404040
GRABSPRITE 3, 40, 0, 16, 16
FILLRECT 60, 0, 68, 16, 0x0000FF
FILLRECT 68, 0, 76, 16, 0x00FF00
GRABSPRITE 6, 60, 0, 16, 16
FILLRECT 80, 0, 96, 16, 0xFFFFFF
GRABSPRITE 8, 80, 0, 16, 16

' A square of side 2 around the origin, facing the camera (counter-clockwise seen
' from it), its texture's top at the top.
SUB Square(nr, colour)
    X_OBJSTART nr
    X_OBJADDVERTEX -1, -1, 0, 0, 1, colour
    X_OBJADDVERTEX 1, -1, 0, 1, 1, colour
    X_OBJADDVERTEX -1, 1, 0, 0, 0, colour
    X_OBJADDVERTEX 1, 1, 0, 1, 0, colour
    X_OBJEND
END SUB

SUB Tile(x, y)
    VIEWPORT x, y, 160, 120
    X_MAKE3D 1, 100, 45
    X_CAMERA 0, 0, 10, 0, 0, 0
END SUB

Square 1, 0x0000FF
Square 2, 100 * 0x010101
Square 3, 200 + 150 * 256 + 100 * 65536
Square 4, 0xFFFFFF
Square 5, 0xFF0000
white = 0xFFFFFF

WHILE 1
    ' Row 0: unlit, culled, lit by a point light (light 11 is light 3), by a spot light
    ' turned away.
    Tile 0, 0
    X_DRAWOBJ 1, 0
    Tile 160, 0
    X_CULLMODE 1
    X_MOVEMENT -2, 0, 0
    X_DRAWOBJ 1, 0
    X_CULLMODE -1
    X_MOVEMENT 2, 0, 0
    X_DRAWOBJ 1, 0
    Tile 320, 0
    X_SPOT_LT 11, white, 0, 0, 5, 0, 0, 0, 360
    X_DRAWOBJ 2, 0
    Tile 480, 0
    X_SPOT_LT 3, white, 0, 0, 5, 0, 0, 1, 10
    X_DRAWOBJ 2, 0

    ' Row 1: a spot light turned towards the square, a directional light (and one put
    ' out again), two lights,
    ' an ambient light (of a light that was never given a diffuse colour).
    Tile 0, 120
    X_SPOT_LT 3, white, 0, 0, 5, 0, 0, -1, 30
    X_DRAWOBJ 2, 0
    Tile 160, 120
    X_SPOT_LT 3, white, 0, 0, 0, 0, 0, -1, 180
    X_SPOT_LT 5, 0x00FF00, 0, 0, 5, 0, 0, 0, 360
    X_SPOT_LT 5, 0x00FF00, 0, 0, 5, 0, 0, 0, 0
    X_DRAWOBJ 2, 0
    Tile 320, 120
    X_SPOT_LT 3, white, 0, 0, 0, 0, 0, -1, 180
    X_SPOT_LT 5, 0x00FF00, 0, 0, 5, 0, 0, 0, 360
    X_DRAWOBJ 2, 0
    Tile 480, 120
    X_AMBIENT_LT 6, 50 * 0x010101
    X_DRAWOBJ 3, 0

    ' Row 2: a spot light's exponent, a point light's attenuation, neither touching the
    ' lights they do not apply to; a texture.
    Tile 0, 240
    X_LIGHTFALLOFF 3, 20, 1, 0, 0
    X_SPOT_LT 3, white, 0, 0, 5, 0, 0, -1, 60
    X_DRAWOBJ 2, 0
    Tile 160, 240
    X_LIGHTFALLOFF 3, 0, 0, 0, 2 / 27
    X_SPOT_LT 3, white, 0, 0, 5, 0, 0, 0, 360
    X_DRAWOBJ 2, 0
    Tile 320, 240
    X_LIGHTFALLOFF 3, 0, 0, 0, 1
    X_SPOT_LT 3, white, 0, 0, 0, 0, 0, -1, 180
    X_LIGHTFALLOFF 5, 50, 1, 0, 0
    X_SPOT_LT 5, 0x00FF00, 0, 0, 5, 0, 0, 0, 360
    X_DRAWOBJ 2, 0
    X_LIGHTFALLOFF 3, 0, 1, 0, 0
    X_LIGHTFALLOFF 5, 0, 1, 0, 0
    Tile 480, 240
    X_SCALING 2, 2, 2
    X_SETTEXTURE 2, -1
    X_DRAWOBJ 4, 0

    ' Row 3: depth, lines and bump mapping, a billboard, and 2D drawing after lit,
    ' culled, textured 3D.
    Tile 0, 360
    X_MOVEMENT 0, 0, 1
    X_DRAWOBJ 5, 0
    X_MOVEMENT 0, 0, 0
    X_DRAWOBJ 1, 0
    Tile 160, 360
    X_DRAWAXES 0.0345, 0.0345, 0
    ' Bump mapped, white, below and above on the left: the bump light in front, then at
    ' the side. (The flat picture lies in the bottom left of its texture, which is larger:
    ' so in each square's bottom left quarter.)
    X_SETTEXTURE 8, 7
    X_MOVEMENT -3, -2, 0
    X_SPOT_LT -1, white, 0, 0, 50, 0, 0, 0, 360
    X_DRAWOBJ 4, 0
    X_MOVEMENT -3, 2, 0
    X_SPOT_LT -1, white, 500, 0, 1, 0, 0, 0, 360
    X_DRAWOBJ 4, 0
    X_SPOT_LT -1, white, 0, 0, 0, 0, 0, 0, 0
    Tile 320, 360
    X_CULLMODE 1
    X_SPRITE 3, 1, 0, 0, 0.1
    Tile 480, 360
    X_AMBIENT_LT 6, 0x202020
    X_SPOT_LT 1, 0x0000FF, 0, 0, 5, 0, 0, 0, 360
    X_CULLMODE -1
    X_SETTEXTURE 2, -1
    X_DRAWOBJ 4, 0
    X_MAKE2D
    SPRITE 6, 490, 370
    FILLRECT 510, 370, 518, 378, 0xFF0000
    SETPIXEL 522, 374, 0x0000FF
    STRETCHSPRITE 6, 530, 370, 32, 16
    PRINT "H", 570, 370
    SHOWSCREEN
WEND
