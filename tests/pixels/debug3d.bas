' The marks a debug build draws for X_SPOT_LT: a point 40 pixels wide where the light is
' and, for every light but a point light, a line three pixels wide along its direction.
' A camera 10 units in front of the origin with 45 degrees of view: one unit at the
' origin is 29 pixels. The pixels to look at are the lines of cases.tsv named debug3d.
SETTINGS TITLE "Pixel cases 3D debug", WIDTH 320, HEIGHT 240, DEBUG 1
WHILE 1
    X_MAKE3D 1, 100, 45
    X_CAMERA 0, 0, 10, 0, 0, 0
    ' A spot light left of the middle shining right, its line's middle on row 60.5.
    X_SPOT_LT 3, 0xFFFFFF, -2, 2.05385, 0, 1, 0, 0, 30
    ' A point light lower right: its point alone, whatever direction it is given.
    X_SPOT_LT 4, 0xFFFFFF, 2, -2, 0, 1, 0, 0, 360
    ' A spot light shining from behind the camera towards it: nothing of it is seen.
    X_SPOT_LT 5, 0xFFFFFF, 0, -3, 20, 0, 0, 1, 30
    SHOWSCREEN
WEND
