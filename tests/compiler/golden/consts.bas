' CONSTs are worked out while compiling and written where they are used; they also
' stand in the translation under their names, for C++ code that uses the program.
CONST COLUMNS = 10, ROWS = COLUMNS - 3
CONST CELLS = COLUMNS * ROWS, HALF = CELLS / 2, POWER = 2 ^ 10
CONST REMAINDER = -7 MOD 3, BOTH = (1 < 2) AND NOT 0
CONST TITLE$ = "Stack" + "moor", LESS$ = "a" < "b"
TYPE Grid
    cell(COLUMNS, ROWS)
END TYPE
DIM g AS Grid
g.cell(COLUMNS - 1, ROWS - 1) = CELLS + HALF + POWER + REMAINDER + BOTH
PRINT TITLE$ + LESS$, 0, 0
