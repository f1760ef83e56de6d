' The desktop side of bench/ws_round_trip.mjs: hosts the session "Bench" (on the port
' TOLVANE_NET_PORT names, where pages join it over WebSocket) and echoes every message
' back to the other players at once. Between "start" and the MESSAGES-th message after it
' it only counts, then writes the milliseconds they took to standard output and answers
' "counted"; "bye" ends it, as does a quiet two minutes.
SETTINGS TITLE "WebSocket bench: echo", WIDTH 64, HEIGHT 64
CONST MESSAGES = 20000
GLOBAL me$, counting, counted, startedAt, lastHeard

IF NETHOSTGAME(0, "Bench", "", "") = 0 THEN
    STDOUT "bench: cannot host the session"
    END
END IF
me$ = NETCREATEPLAYER$("Echo")
IF me$ = "0" THEN
    STDOUT "bench: no player in the session"
    END
END IF
STDOUT "hosting"
lastHeard = GETTIMERALL()
WHILE 1
    m$ = NETGETMSG$(me$)
    WHILE LEN(m$) > 0
        lastHeard = GETTIMERALL()
        Take m$
        m$ = NETGETMSG$(me$)
    WEND
    IF GETTIMERALL() - lastHeard > 120000 THEN
        STDOUT "bench: nothing heard for two minutes"
        END
    END IF
WEND

SUB Take(m$)
    IF counting THEN
        counted = counted + 1
        IF counted = MESSAGES THEN
            STDOUT "counted " + MESSAGES + " in ms"
            STDOUT GETTIMERALL() - startedAt
            counting = 0
            NETSENDMSG me$, "0", "counted"
        END IF
        RETURN 0
    END IF
    SELECT CASE m$
    CASE "start"
        counting = 1
        counted = 0
        startedAt = GETTIMERALL()
    CASE "bye"
        STDOUT "bye"
        END
    CASE ELSE
        NETSENDMSG me$, "0", m$
    END SELECT
END SUB
