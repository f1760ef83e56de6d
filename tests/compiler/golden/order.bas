' Evaluation runs from left to right, the target's indexes before the value: parts
' are kept in temporaries where a SUB or a command could change what another reads.
DIM a(4)
counter = 0
log$ = ""
x = Add(F(1), F(2))
a(Inc()) = Inc()
s$ = Mark$("a") + Mark$("b")
PUTFILE "f.dat", Inc(), counter
y = counter * Inc()
z = counter AND Inc()
w = counter XOR Inc()
v = a(Inc()) + a(Inc())
n = 2 * SIN(30) + COS(60)
GETSCREENSIZE a(Inc()), h

SUB F(v)
    log$ = log$ + v
    RETURN v
END SUB

SUB Add(p, q)
    RETURN p + q
END SUB

SUB Inc()
    counter = counter + 1
    RETURN counter
END SUB

SUB Mark$(t$)
    log$ = log$ + t$
    RETURN log$
END SUB

' A SUB's own variables cannot change under a call; a command's output can.
SUB Own(k)
    m = k + Inc()
    BOXCOLL k, k + BOXCOLL(k, 0, 0, 1, 1, 0, 0, 1, 1), 0, 1, 1, 0, 0, 1, 1
    RETURN m
END SUB
