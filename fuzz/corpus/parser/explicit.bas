OPTION EXPLICIT
GLOBAL a, b$, c()
DIM c(3, 3)
SUB F$(x, y$, z())
  LOCAL q = x * 2
  RETURN y$ + q + z(0, 0)
END SUB
b$ = F$(1, "a", c)
IF b$ = "a2" THEN a = 1 ELSE a = 2
