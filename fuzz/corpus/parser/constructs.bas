
' Every line of out.dat is one expectation of the test.
SETTINGS TITLE "Constructs", WIDTH 320, HEIGHT 240
INCLUDE "lib/maths.bas"
Global counter
DIM grid(4, 3), names$(3)
line = 0

FOR i = 0 TO 3
  FOR j = 2 TO 0 STEP -1
    grid(i, j) = i * 10 + j
  NEXT j
NEXT
Put grid(3, 2) + grid(1, 0)                        ' 0: 42
Put Sum(grid)                                      ' 1: 192 (array passed to a SUB)
names$(1) = "b" + 2 : names$(2) = "x" - 1 * 2      ' joins, as the runtime's operators do
Put names$(1) + names$(2)                          ' 2: b2x2
Put "10" < "9"                                     ' 3: 1 (text comparison)
Put 10 < "9"                                       ' 4: 0 (number comparison)
Put 7 / 2 + MOD(-7, 3) + 2 ^ 3 - -1                ' 5: 11.5
Put Fact(10)                                       ' 6: 3628800 (recursion)
IF counter = 0 AND NOT (1 > 2) THEN Put "single" ELSE Put "wrong"   ' 7
FOR k = 1 TO 3
  IF k = 1 THEN
    s$ = "one"
  ELSEIF k = 2 THEN
    s$ = s$ + "two"
  ELSE
    s$ = s$ + "three"
  ENDIF
NEXT
Put s$                                             ' 8: onetwothree
n = 0
WHILE n < 100
  n = n + 1
  IF MOD(n, 2) = 0 THEN CONTINUE
  IF n > 6 THEN BREAK
  counter = counter + n
WEND
Put counter                                        ' 9: 1 + 3 + 5 = 9
REPEAT : n = n - 3 : UNTIL n < 0
Put n                                              ' 10: -2
Put Kind$(5) + Kind$(150) + Kind$(-1)              ' 11: smallmiddleother
SELECT CASE "b" + "c"
CASE "a", "bc" : Put "text case"                   ' 12
CASE ELSE : Put "wrong"
END SELECT
Bump : Bump
Put counter                                        ' 13: 11 (a SUB changes a global)
GETSCREENSIZE w, h
Put w + "x" + h                                    ' 14: 320x200 (settings, height from the command line)
Put LEN("four") + VAL("2.5") + LEN(STR$(1 / 4))    ' 15: 10.5
Put MID$("abcdef", 2, 3) + CHR$(65) + FORMAT$(6, 2, 3.14159)   ' 16: cdeA  3.14
Put Twice(21)                                      ' 17: 42 (from the included file)
END
Put "not reached"

SUB Put(v$)
  PUTFILE "out.dat", line, v$
  line = line + 1
END SUB

SUB Sum(a())
  FOR x = 0 TO BOUNDS(a, 0) - 1
    FOR y = 0 TO BOUNDS(a, 1) - 1
      total = total + a(x, y)
    NEXT
  NEXT
  RETURN total
END SUB

SUB Fact(n)
  IF n <= 1 THEN RETURN 1
  RETURN n * Fact(n - 1)
END SUB

SUB Kind$(v)
  SELECT CASE v
  CASE 0 TO 9
    RETURN "small"
  CASE 100 TO 199, 300
    RETURN "middle"
  END SELECT
  RETURN "other"
END SUB

SUB Bump
  counter = counter + 1
END SUB
