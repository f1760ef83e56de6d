' A small test
SETTINGS TITLE "Hello", WIDTH 320, HEIGHT 240
DIM grid(10, 5)
total = 0
FOR i = 0 TO 9
  FOR j = 0 TO 4 STEP 2
    grid(i, j) = i * j
    total = total + grid(i, j)
  NEXT j
NEXT
name$ = "Tol" + "vane" + 1
PUTFILE "out.dat", 0, total
PUTFILE "out.dat", 1, name$
PUTFILE "out.dat", 2, Fact(5)
PUTFILE "out.dat", 3, Greet$("Bob")
SELECT CASE total
CASE 1, 2
  r$ = "small"
CASE 100 TO 200
  r$ = "mid"
CASE ELSE
  r$ = "big"
END SELECT
PUTFILE "out.dat", 4, r$
n = 0
REPEAT
  n = n + 1
  IF n = 3 THEN CONTINUE
  IF n > 5 THEN BREAK
UNTIL n >= 10
PUTFILE "out.dat", 5, n
IF "10" < "9" THEN PUTFILE "out.dat", 6, "textcmp" ELSE PUTFILE "out.dat", 6, "no"
PUTFILE "out.dat", 7, MOD(-7, 3) + 2 ^ 3
END

SUB Fact(n)
  IF n <= 1 THEN RETURN 1
  RETURN n * Fact(n - 1)
END SUB

SUB Greet$(who$)
  RETURN "Hi " + who$
END SUB
