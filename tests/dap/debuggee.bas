' The program the debugger tests drive (dap_test.mjs names its lines).
TYPE Point
    x
    y
END TYPE
TYPE Ship
    name$
    pos AS Point
    hits(3)
END TYPE
IF GETCOMMANDLINE$() = "spin" THEN
    spin = 1
    STDOUT "spinning"
END IF
WHILE spin = 1
WEND
GLOBAL total = 0
GLOBAL label$ = "start"
DIM grid(5, 3)
DIM ship AS Ship
ship.name$ = "Ark"
ship.pos.x = 5
ship.hits(2) = 7
INCLUDE "debuggee_lib.bas"
SUB Add(amount)
    LOCAL twice = amount * 2
    total = total + twice
    RETURN twice
END SUB
SUB Countdown(n)
    IF n > 0 THEN Countdown(n - 1)
    RETURN n
END SUB
FOR i = 1 TO 5
    grid(i - 1, 1) = i * 10
    Add(i)
    STDOUT "total " + total
NEXT
STDOUT "label " + label$
FOR i = 1 TO 4
    Scale(i)
NEXT
Countdown(3)
x = grid(9, 9)
STDOUT "not reached"
