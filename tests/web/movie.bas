' The browser movie test's program: movies of every container, one after the other,
' then, once Z is held, one looping until a key, then a file that is no movie and one
' found nowhere.
' What each command answered goes to a line of movies.dat.
SETTINGS TITLE "Web movies", WIDTH 320, HEIGHT 240
' Half a second of frames first, while the page settles.
f = 0
WHILE f < 30
    f = f + 1
    SHOWSCREEN
WEND
PUTFILE "movies.dat", 0, PLAYMOVIE("Movies/plain.avi")
PUTFILE "movies.dat", 1, PLAYMOVIE("Movies/wide.mkv")
PUTFILE "movies.dat", 2, PLAYMOVIE("Movies/small.ogv")
PUTFILE "movies.dat", 3, PLAYMOVIE("Movies/program.mpg")
PUTFILE "movies.dat", 4, PLAYMOVIE("Movies/anamorphic.vob")
PUTFILE "movies.dat", 5, PLAYMOVIE("Movies/turned.mp4")
PUTFILE "movies.dat", 6, PLAYMOVIE("Movies/ready.webm")
' Z, held from here on, does not end the looping movie: only a key pressed while it plays.
WHILE KEY(44) = 0
    SHOWSCREEN
WEND
PUTFILE "movies.dat", 7, LOOPMOVIE("Movies/loop.mkv")
PUTFILE "movies.dat", 8, PLAYMOVIE("Movies/broken.mpg")
PUTFILE "movies.dat", 9, PLAYMOVIE("Movies/nowhere.mpg")
FILLRECT 0, 0, 320, 240, 0x0000FF
SHOWSCREEN
