' The browser tests' program: a green square that Left and Right move, the bonus sound
' every half second over the MIDI music, and a data file that counts the visits.
SETTINGS TITLE "Web probe", WIDTH 320, HEIGHT 240
LOADSOUND "Sfx/Bonus.wav", 0
PLAYMUSIC "Sfx/music.mid"
GETFILE "visits.dat", 0, visits
visits = visits + 1
PUTFILE "visits.dat", 0, visits
x = 100
f = 0
WHILE 1
    f = f + 1
    IF KEY(203) THEN x = x - 2
    IF KEY(205) THEN x = x + 2
    ' The square stays on the canvas, however long a key is held.
    IF x < 0 THEN x = 0
    IF x > 280 THEN x = 280
    IF MOD(f, 30) = 1 THEN PLAYSOUND 0, 0, 1
    FILLRECT x, 100, x + 20, 120, 0x00FF00
    PRINT "visits " + visits, 8, 8
    SHOWSCREEN
WEND
