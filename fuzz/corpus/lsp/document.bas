INCLUDE "a.bas"
SUB S$(a(), b$)
  LOCAL c = LEN(b$
  x = MID$("é𝄞", 
END SUB
GETSCREENSIZE w, h : PRINT S$(