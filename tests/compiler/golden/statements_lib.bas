SUB Half(v)
    RETURN TRUNC(v / 2)
END SUB
