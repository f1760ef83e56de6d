' Level set-up and the conversions between crate objects and grid blocks.

' The lowest free slot of 0 ... MaxCrate, else a new slot above MaxCrate.
SUB AllocateSlot()
    FOR n = 0 TO MaxCrate
        IF ctype(n) = CRATE_FREE THEN RETURN n
    NEXT
    MaxCrate = MaxCrate + 1
    RETURN MaxCrate
END SUB

' An empty field on the ground, and the first crane.
SUB NewLevel()
    FOR c = 0 TO 19
        FOR r = 0 TO 19
            hit(c, r) = 0
        NEXT
    NEXT
    FOR c = 0 TO 19
        hit(c, 7) = GROUND
    NEXT
    MaxCrate = -1
    AddCrane
END SUB

' A crane enters from the left with a crate of a random colour for a random column.
SUB AddCrane()
    s = AllocateSlot()
    ctype(s) = CRATE_CARRIED
    cmove(s) = 1
    cfallx(s) = RND(7) * 64 + 64
    cx(s) = -28
    cy(s) = -32
    ccolr(s) = RND(2) + 1
END SUB

' The block at (column, row) as a crate object in `state`, moving `direction`;
' returns its slot. The caller clears the cell.
SUB BlockToCrate(column, row, state, direction)
    s = AllocateSlot()
    ctype(s) = state
    cmove(s) = direction
    cx(s) = column * 64 + 2 * direction
    cy(s) = row * 64
    ccolr(s) = hit(column, row)
    RETURN s
END SUB

' A crate that came to rest becomes a block of the field.
SUB CreateCrate(slot)
    hit(cx(slot) / 64, (cy(slot) + 2) / 64) = ccolr(slot)
    ctype(slot) = CRATE_FREE
    CheckCombos
END SUB
