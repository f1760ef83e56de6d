' Data files: a table of the five best scores, kept in a data file; every run adds
' one. The file chooser asks where the table is kept. Without one (no zenity, no
' display), or when the player cancels, FILEREQUEST$ answers "NO_FILE" and the table
' is scores.dat beside the program. Escape ends.
'
' The file: line 0 counts the runs, line 1 the entries, then a name and a score on
' each following pair of lines.
SETTINGS TITLE "Data files", WIDTH 640, HEIGHT 480

DIM names$(6), scores(6)
file$ = FILEREQUEST$(1, "Score tables|*.dat")
chosen = 1
IF file$ = "NO_FILE" THEN
    file$ = "scores.dat"
    chosen = 0
END IF

IF DOESFILEEXIST(file$) THEN
    GETFILE file$, 0, runs
    GETFILE file$, 1, count
END IF
FOR k = 0 TO count - 1
    GETFILE file$, 2 + 2 * k, names$(k)
    GETFILE file$, 3 + 2 * k, scores(k)
NEXT

' This run's score goes last and moves up past every lower score.
runs = runs + 1
names$(count) = "Run " + runs
scores(count) = RND(999)
count = count + 1
FOR k = count - 1 TO 1 STEP -1
    IF scores(k) <= scores(k - 1) THEN BREAK
    t$ = names$(k) : names$(k) = names$(k - 1) : names$(k - 1) = t$
    t = scores(k) : scores(k) = scores(k - 1) : scores(k - 1) = t
NEXT
IF count > 5 THEN count = 5

' The runtime writes the file back when the program ends.
PUTFILE file$, 0, runs
PUTFILE file$, 1, count
FOR k = 0 TO count - 1
    PUTFILE file$, 2 + 2 * k, names$(k)
    PUTFILE file$, 3 + 2 * k, scores(k)
NEXT

WHILE 1
    PRINT "Best scores", 40, 40
    FOR k = 0 TO count - 1
        PRINT (k + 1) + ". " + names$(k), 60, 90 + 32 * k
        PRINT scores(k), 360, 90 + 32 * k
    NEXT
    IF chosen THEN
        PRINT "Kept in " + file$, 40, 420
    ELSE
        PRINT "No file chosen: kept in scores.dat", 40, 420
    END IF
    SHOWSCREEN
WEND
