' The browser tests' picture of every kind of 2D drawing, compared pixel by pixel with
' the desktop's: a background faded in from black (what the fade leaves behind counts)
' and grabbed from the screen, sprites with their key colour left out (drawn,
' stretched, zoomed, turned), text, points, lines, rectangles, plain and textured
' polygons, additive and multiplicative blending, a sprite grabbed from the screen, a
' viewport, and pixel collisions shown as boxes: green for a contact, blue for none.
' Row 228 holds the boxes, at x 8, 24, 40 and 56. On black at x 136 ... 319, y 76 ...
' 107: text in a colour, circles and ellipses, outlined and filled, overlapping under
' additive blending and cut by the screen's edge; on black at x 106 ... 185, y 166 ...
' 237, a rectangle of a sprite's size.
SETTINGS TITLE "Web drawing", WIDTH 320, HEIGHT 240
BLENDSCREEN "Gfx/Back.bmp"
LOADSPRITE "Gfx/Gem.bmp", 1
LOADSPRITE "Gfx/R_0.bmp", 2
LOADSPRITE "Gfx/Block1.bmp", 3
' The background becomes the picture with a stripe over it, grabbed from the screen.
FILLRECT 0, 200, 320, 206, 0x4080C0
USEASBMP

SUB Box(x, contact)
    IF contact THEN
        FILLRECT x, 228, x + 8, 236, 0x00FF00
    ELSE
        FILLRECT x, 228, x + 8, 236, 0xFF0000
    END IF
END SUB

f = 0
WHILE 1
    f = f + 1
    SPRITE 2, 4, 4
    STRETCHSPRITE 1, 72, 4, 48, 24
    ZOOMSPRITE 2, 124, 4, 0.75, 1.25
    ROTOSPRITE 2, 180, 4, 30
    ROTOZOOMSPRITE 1, 250, 10, 45, 0.8
    PRINT "Tolvane 1234 xyz", 4, 84
    FILLRECT 136, 76, 320, 108, 0
    TEXTCOLOUR 0x40C0FF
    PRINT "Tint", 138, 84
    FILLCIRCLE 186, 91, 12, 0x00C000
    DRAWCIRCLE 186, 91, 14, 0xFFFFFF
    ALPHAMODE 1
    FILLELLIPSE 222, 91, 20, 9, 0x800000
    FILLCIRCLE 236, 91, 10, 0x000080
    DRAWELLIPSE 236, 91, 8, 14, 0x008000
    ALPHAMODE 0
    DRAWELLIPSE 282, 91, 18, 6, 0x00FFFF
    FILLCIRCLE 282, 91, 0, 0xFFFFFF
    FILLELLIPSE 317, 91, 9, 13, 0xFF80FF
    GETSPRITESIZE 2, sw, sh
    FILLRECT 106, 166, 186, 238, 0
    FILLRECT 110, 170, 110 + sw, 170 + sh, 0x808000
    SETPIXEL 300, 90, 0xFFFFFF
    SETPIXEL 302, 92, 0x00FFFF
    DRAWLINE 4, 110, 120, 150, 0x00FFFF
    DRAWLINE 4, 150, 120, 110, 0xFFFF00
    FILLRECT 130, 110, 170, 140, 0xFF00FF
    STARTPOLY -1
    POLYVECTOR 180, 110, 0, 0, 0x0000FF
    POLYVECTOR 180, 160, 0, 0, 0xFFFFFF
    POLYVECTOR 240, 160, 0, 0, 0xFF0000
    POLYVECTOR 240, 110, 0, 0, 0x00FF00
    ENDPOLY
    STARTPOLY 3
    POLYVECTOR 250, 110, 0, 0, 0xFFFFFF
    POLYVECTOR 280, 160, 0.5, 1, 0x80FF80
    POLYVECTOR 310, 110, 1, 0, 0xFFFFFF
    ENDPOLY
    ALPHAMODE 0.5
    SPRITE 3, 4, 160
    ALPHAMODE -0.5
    SPRITE 3, 40, 160
    ALPHAMODE 0
    GRABSPRITE 10, 4, 4, 40, 40
    SPRITE 10, 270, 170
    ' A viewport: drawing moved into it and cut at its edges; a rectangle in the key
    ' colour is drawn all the same; a sprite stretched to a negative width is not.
    VIEWPORT 200, 170, 60, 50
    SPRITE 2, -10, -10
    FILLRECT 0, 40, 100, 45, 0x8000FF
    DRAWCIRCLE 52, 4, 13, 0x00FF80
    VIEWPORT 0, 0, 0, 0
    STRETCHSPRITE 1, 150, 200, -30, 20
    ' The worker's figure touches itself moved by a few pixels; its corners are
    ' transparent, so boxes that overlap only there find no contact.
    Box 8, SPRCOLL(2, 0, 0, 2, 6, 4)
    Box 24, SPRCOLL(2, 0, 0, 2, 62, 62)
    Box 40, SPRCOLL(1, 0, 0, 3, 10, 10)
    Box 56, SPRCOLL(10, 0, 0, 10, 39, 39)
    TEXTCOLOUR 0xFFFFFF
    SHOWSCREEN
WEND
