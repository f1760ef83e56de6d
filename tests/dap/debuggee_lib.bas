' Included by debuggee.bas.
SUB Scale(n)
    LOCAL scaled = n * 100
    RETURN scaled
END SUB
