' Records: fields of every kind, copies by value, records passed to and returned from
' SUBs, arrays of records, DIM of a record and of an array field.
TYPE Part
    kind$
    size
END TYPE
TYPE Ship
    x
    name$
    hits(4)
    names$(2, 3)
    parts(3) AS Part
    core AS Part
END TYPE

DIM s AS Ship
DIM fleet(10) AS Ship
s.x = 5
s.hits(2) = s.x + 1
s.parts(1).kind$ = "hull"
fleet(2) = s
t = Moved(fleet(2), 3).x
DIM s.hits(8)
DIM s AS Ship
n = BOUNDS(fleet, 0) + BOUNDS(s.hits, 0)
Repair fleet

SUB Moved(p AS Ship, dx) AS Ship
    p.x = p.x + dx
    RETURN p
END SUB

SUB Repair(all() AS Ship)
    LOCAL spare AS Part
    spare.kind$ = "spare"
    all(0).core = spare
END SUB
