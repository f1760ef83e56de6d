' Every kind of 2D drawing, each in a place of its own on one 640 x 480 screen; the
' pixels to look at, and what each catches, are the lines of cases.tsv named draw2d.
' Every frame draws the same picture, so a frame after the first shows also that the
' end of a frame leaves no state behind. Colours are R + 256 G + 65536 B.
SETTINGS TITLE "Pixel cases 2D", WIDTH 640, HEIGHT 480
' The background of every frame: a picture faded in (what the fade leaves behind
' counts), black over its top 400 rows and a stripe across it, grabbed from the screen.
BLENDSCREEN "Gfx/Back.bmp"
FILLRECT 0, 0, 640, 400, 0
FILLRECT 0, 440, 640, 446, 0x4080C0
USEASBMP
LOADSPRITE "Gfx/R_0.bmp", 1
' Sprites grabbed from the screen: four 16 x 16 quadrants (red, green / blue, white),
' solid grey 0x40 and white, and the key colour (grabbed pixels are opaque).
FILLRECT 0, 0, 16, 16, 0x0000FF
FILLRECT 16, 0, 32, 16, 0x00FF00
FILLRECT 0, 16, 16, 32, 0xFF0000
FILLRECT 16, 16, 32, 32, 0xFFFFFF
GRABSPRITE 2, 0, 0, 32, 32
FILLRECT 40, 0, 56, 16, 0x404040
GRABSPRITE 3, 40, 0, 16, 16
FILLRECT 60, 0, 76, 16, 0xFFFFFF
GRABSPRITE 4, 60, 0, 16, 16
FILLRECT 80, 0, 96, 16, 0x8000FF
GRABSPRITE 5, 80, 0, 16, 16
FILLRECT 100, 0, 108, 16, 0x0000FF
FILLRECT 108, 0, 116, 16, 0x00FF00
GRABSPRITE 6, 100, 0, 16, 16

SUB Box(x, y, contact)
    IF contact THEN
        FILLRECT x, y, x + 8, y + 8, 0x00FF00
    ELSE
        FILLRECT x, y, x + 8, y + 8, 0xFF0000
    END IF
END SUB

WHILE 1
    ' Row 0 (y 0 ... 79): sprites.
    FILLRECT 0, 0, 80, 80, 0x808080
    SPRITE 1, 8, 8
    ZOOMSPRITE 2, 104, 24, 2, 2
    ZOOMSPRITE 2, 184, 24, -2, 2
    STRETCHSPRITE 2, 248, 8, 64, 16
    STRETCHSPRITE 2, 248, 40, -32, 16
    STRETCHSPRITE 2, 280, 40, 32, -16
    ROTOSPRITE 2, 336, 16, 90
    ROTOZOOMSPRITE 2, 376, 8, 270, 1
    ROTOZOOMSPRITE 2, 376, 44, -90, 1
    ROTOZOOMSPRITE 2, 416, 8, 0, 0
    ' Blending: grey 0x80 under a grey 0x40 sprite added by half, a white one
    ' multiplied by half, and factor 5 taken as 1.
    FILLRECT 456, 8, 496, 48, 0x808080
    FILLRECT 500, 8, 540, 48, 0x808080
    FILLRECT 544, 8, 584, 48, 0x808080
    FILLRECT 588, 8, 628, 48, 0x808080
    ALPHAMODE 0.5
    SPRITE 3, 460, 12
    ALPHAMODE -0.5
    SPRITE 4, 504, 12
    ALPHAMODE 5
    SPRITE 3, 548, 12
    ALPHAMODE -5
    SPRITE 3, 592, 12
    ALPHAMODE 0

    ' Row 1 (y 80 ... 159): text, and circles and ellipses.
    FILLRECT 0, 80, 160, 160, 0x404040
    PRINT "HH", 8, 88
    TEXTCOLOUR 0x40C0FF
    PRINT "H", 8, 108
    TEXTCOLOUR 0
    PRINT "H", 8, 128
    TEXTCOLOUR 0xFFFFFF
    FILLCIRCLE 200, 120, 20, 0x00C000
    DRAWCIRCLE 260, 120, 20, 0xFFFFFF
    FILLELLIPSE 320, 120, 24, 10, 0x800000
    DRAWELLIPSE 380, 120, 10, 24, 0x008000
    FILLCIRCLE 420, 120, 0, 0xFFFFFF
    FILLCIRCLE 430, 120, -1, 0xFFFFFF
    ALPHAMODE 1
    FILLCIRCLE 470, 120, 12, 0x000080
    FILLCIRCLE 480, 120, 12, 0x000080
    DRAWCIRCLE 520, 120, 12, 0x404040
    ALPHAMODE 0
    ' A circle cut by a viewport's edges, and one by the screen's corner.
    VIEWPORT 560, 100, 40, 40
    FILLCIRCLE 0, 0, 20, 0xFF00FF
    VIEWPORT 0, 0, 0, 0
    FILLCIRCLE 643, 479, 5, 0x0000FF

    ' Row 2 (y 160 ... 239): rectangles, lines, pixels, polygons.
    FILLRECT 10, 170, 0, 160, 0x0000FF
    DRAWLINE 20, 160, 25, 160, 0x00FF00
    DRAWLINE 30, 175, 30, 165, 0x00FF00
    DRAWLINE 50, 160, 57, 163, 0x00FF00
    ALPHAMODE 1
    DRAWLINE 46, 178, 46, 170, 0x404040
    ALPHAMODE 0
    SETPIXEL 40, 165, 0xFF0000
    SETPIXEL 44, 165, 0x8000FF
    STARTPOLY -1
    POLYVECTOR 60, 160, 0, 0, 0
    POLYVECTOR 60, 240, 0, 0, 0
    POLYVECTOR 140, 240, 0, 0, 0x0000FF
    POLYVECTOR 140, 160, 0, 0, 0x0000FF
    ENDPOLY
    STARTPOLY 2
    POLYVECTOR 150, 164, 0, 0, 0xFFFFFF
    POLYVECTOR 150, 228, 0, 1, 0xFFFFFF
    POLYVECTOR 214, 228, 1, 1, 0xFFFFFF
    POLYVECTOR 214, 164, 1, 0, 0xFFFFFF
    ENDPOLY
    STARTPOLY -1
    POLYVECTOR 220, 164, 0, 0, 0x0000FF
    POLYVECTOR 220, 200, 0, 0, 0x0000FF
    ENDPOLY
    STARTPOLY -1
    POLYVECTOR 230, 164, 0, 0, 0x404040
    POLYVECTOR 230, 184, 0, 0, 0x404040
    POLYVECTOR 250, 184, 0, 0, 0x404040
    POLYVECTOR 250, 164, 0, 0, 0x404040
    ALPHAMODE 1
    ENDPOLY
    ENDPOLY
    ALPHAMODE 0
    ' Grabbed from this frame: the rectangle of red and green, and the key colour.
    FILLRECT 260, 164, 265, 174, 0x0000FF
    FILLRECT 265, 164, 270, 174, 0x00FF00
    GRABSPRITE 7, 260, 164, 10, 10
    SPRITE 7, 280, 164
    SPRITE 5, 300, 164
    GETSPRITESIZE 1, sw, sh
    FILLRECT 320, 164, 320 + sw, 164 + sh, 0x808000

    ' Row 3 (y 240 ... 319): shapes of every kind one after another, each after one of
    ' another kind or state, so that a batch lost at a change or drawn with its
    ' neighbour's texture, colour, alpha test or blending shows.
    SPRITE 3, 0, 240
    SPRITE 6, 20, 240
    FILLRECT 40, 240, 56, 256, 0xFFFFFF
    SPRITE 3, 60, 240
    DRAWLINE 80, 248, 95, 248, 0x00FF00
    SPRITE 1, 96, 240
    SETPIXEL 170, 248, 0xFF0000
    ZOOMSPRITE 6, 180, 240, 1, 1
    STARTPOLY -1
    POLYVECTOR 200, 240, 0, 0, 0x0000FF
    POLYVECTOR 200, 256, 0, 0, 0x0000FF
    POLYVECTOR 216, 256, 0, 0, 0x0000FF
    POLYVECTOR 216, 240, 0, 0, 0x0000FF
    ENDPOLY
    PRINT "H", 220, 240
    SPRITE 6, 230, 240
    SPRITE 3, 250, 260
    ALPHAMODE 0.5
    SPRITE 3, 250, 260
    SPRITE 6, 270, 260
    ALPHAMODE 0
    SPRITE 6, 290, 260
    ' Overlapping sprites of two textures keep the order they were drawn in.
    SPRITE 3, 310, 240
    SPRITE 4, 318, 240
    SPRITE 3, 326, 240

    ' Row 4 (y 320 ... 399): a viewport moves and cuts drawing (a sprite, a line); a
    ' rectangle in the key colour is drawn all the same, a sprite stretched to a
    ' negative width is not.
    VIEWPORT 40, 330, 60, 50
    SPRITE 2, -10, -10
    FILLRECT 0, 40, 100, 45, 0x8000FF
    STRETCHSPRITE 2, 30, 10, -20, 20
    DRAWLINE -10, 30, 100, 30, 0x00FF00
    VIEWPORT 0, 0, 0, 0
    ' Pixel collisions as boxes: green for a contact, blue for none. The worker touches
    ' itself moved a little; its transparent corners make no contact; rectangles that
    ' only touch do; a slot that is empty never does.
    Box 120, 330, SPRCOLL(1, 0, 0, 1, 6, 4)
    Box 132, 330, SPRCOLL(1, 0, 0, 1, 62, 62)
    Box 144, 330, SPRCOLL(2, 0, 0, 2, 31, 0)
    Box 156, 330, SPRCOLL(2, 0, 0, 2, 32, 0)
    Box 168, 330, SPRCOLL(2, 0, 0, 4000, 0, 0)
    BOXCOLL hit, 0, 0, 10, 10, 10, 10, 5, 5
    Box 180, 330, hit
    BOXCOLL hit, 0, 0, 10, 10, 10.5, 0, 5, 5
    Box 192, 330, hit

    ' Left at the end of the frame: the next frame starts opaque, in the whole screen,
    ' in white; this rectangle shows whether it did.
    FILLRECT 210, 330, 226, 346, 0x808080
    ALPHAMODE 0.5
    VIEWPORT 600, 440, 30, 30
    SHOWSCREEN
    FILLRECT 230, 330, 246, 346, 0x808080
WEND
