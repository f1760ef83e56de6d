' The browser tests' program: a green square that Left and Right move, a mark that
' follows the mouse (M puts it at 10, 10 with SETMOUSE), the mouse's presses and
' Return's said on the console with where they came, the bonus sound every half second over the MIDI music, the bonus
' sound looping in slot 1 from when L is held until K is, slot 2 loaded anew in every
' frame while J is held, a busy loop from when B is held, a data file that counts the
' visits, a data file with what the commands the browser leaves out answer, and lines
' on the console (one when the program's clock leaps between two frames).
SETTINGS TITLE "Web probe", WIDTH 320, HEIGHT 240
' 3D commands that find nothing to do (as on the desktop), networking and other programs,
' and movies that cannot be played: each answer on a line of absent.dat.
sx = -7
sy = -8
depth = -9
code = -5
PUTFILE "absent.dat", 0, X_MAKE3D(1, 100, 45)
PUTFILE "absent.dat", 1, X_LOADOBJ("Gfx/Back.bmp", 1)
PUTFILE "absent.dat", 2, X_DRAWOBJ(1, 0)
PUTFILE "absent.dat", 3, X_COLLISION(1, 0, 10, 0, 0, 0)
X_WORLD2SCREEN 0, 0, 0, sx, sy, depth
PUTFILE "absent.dat", 4, "" + sx + "," + sy + "," + depth
PUTFILE "absent.dat", 5, X_MAKE2D()
PUTFILE "absent.dat", 6, PLAYMOVIE("Gfx/Back.bmp")
PUTFILE "absent.dat", 7, LOOPMOVIE("nowhere.mpg")
PUTFILE "absent.dat", 8, NETHOSTGAME(0, "Web", "", "")
PUTFILE "absent.dat", 9, NETJOINGAME(0, "Web", "127.0.0.1", "")
PUTFILE "absent.dat", 10, NETCREATEPLAYER$("Me")
PUTFILE "absent.dat", 11, NETSENDMSG("1", "0", "hello")
PUTFILE "absent.dat", 12, "[" + NETGETMSG$("1") + "]"
PUTFILE "absent.dat", 13, NETNUMPLAYERS()
PUTFILE "absent.dat", 14, NETPLAYERNAME$("1")
PUTFILE "absent.dat", 15, SHELLCMD("true", 1, 0, code)
PUTFILE "absent.dat", 16, code
PUTFILE "absent.dat", 17, FILEREQUEST$(1, "*.dat")
LOADSOUND "Sfx/Bonus.wav", 0
LOADSOUND "Sfx/Bonus.wav", 1
' On the console: the lengths of the date and the time, and 0 when RANDOMIZE repeats
' the numbers (unless the page was given a seed).
RANDOMIZE 9
first = RND(1000000)
RANDOMIZE 9
STDOUT "probe " + LEN(DATE$()) + " " + LEN(TIME$()) + " " + (first - RND(1000000))
PLAYMUSIC "Sfx/music.mid"
GETFILE "visits.dat", 0, visits
visits = visits + 1
PUTFILE "visits.dat", 0, visits
x = 100
f = 0
clock = GETTIMERALL()
held = 0
WHILE 1
    f = f + 1
    ' The program's clock between two frames: a leap on the console.
    IF GETTIMERALL() - clock > 1000 THEN STDOUT "clock leap " + INT(GETTIMERALL() - clock)
    clock = GETTIMERALL()
    IF KEY(203) THEN x = x - 2
    IF KEY(205) THEN x = x + 2
    ' The square stays on the canvas, however long a key is held.
    IF x < 0 THEN x = 0
    IF x > 280 THEN x = 280
    IF MOD(f, 30) = 1 THEN PLAYSOUND 0, 0, 1
    IF KEY(38) THEN LOOPSOUND 1, 0, 1
    IF KEY(37) THEN STOPSOUND 1
    IF KEY(36) THEN LOADSOUND "Sfx/Bonus.wav", 2
    ' B: a loop that never presents a frame nor waits, left by Escape.
    IF KEY(48) THEN
        STDOUT "busy"
        WHILE 1
            IF KEY(1) THEN END
        WEND
    END IF
    FILLRECT x, 100, x + 20, 120, 0x00FF00
    PRINT "visits " + visits, 8, 8
    ' The mouse: a grey mark where it is, magenta while the left button is down.
    IF KEYHIT(50) THEN SETMOUSE 10, 10
    MOUSESTATE mx, my, b1, b2
    IF b1 AND held = 0 THEN STDOUT "click " + mx + " " + my
    held = b1
    IF KEYHIT(28) THEN STDOUT "return " + x
    IF b1 THEN
        FILLRECT mx, my, mx + 4, my + 4, 0xFF00FF
    ELSE
        FILLRECT mx, my, mx + 4, my + 4, 0x808080
    END IF
    SHOWSCREEN
WEND
