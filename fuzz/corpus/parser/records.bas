CONST N = 3, T$ = "a" + "b"
TYPE P
 x
 n$(2)
END TYPE
TYPE S
 p AS P
 ps(N) AS P
END TYPE
DIM s AS S, f(N) AS S
s.p.x = 1 : f(1) = s : s.ps(2).n$(1) = T$ + _
  "c"
x = Make(s).p.x + BOUNDS(f, 0)
SUB Make(v AS S) AS S
  RETURN v
END SUB
