' The browser tests' network page. It joins the session "Web" at ws://127.0.0.1 (the
' session port: TOLVANE_NET_PORT), trying again every half second, and makes a player
' named by the command line's first word. Once the session has as many players as the
' second word says, it sends every other player COUNT numbered messages, 25 a frame
' ("<id>>0#<n>", as the desktop test program's streams), and COUNT more at every press of
' Space; it checks that every other player's messages come once each and in order. On
' the console: "me <id>" once in, "from <id> <n>" at every 50th message of a sender,
' "sent <n>" when all it was to send went, "bad ..." for a message twice or out of order,
' "lost" when the session is lost.
SETTINGS TITLE "Web net", WIDTH 160, HEIGHT 120
CONST COUNT = 1000
GLOBAL cmd$, cmdAt
DIM senders$(64), last(64)

cmd$ = GETCOMMANDLINE$()
name$ = NextWord$()
IF LEN(name$) = 0 THEN name$ = "page"
want = VAL(NextWord$())
WHILE NETJOINGAME(0, "Web", "ws://127.0.0.1", "") = 0
    STDOUT "no session yet"
    FOR i = 1 TO 30 : SHOWSCREEN : NEXT
WEND
me$ = NETCREATEPLAYER$(name$)
STDOUT "me " + me$
known = 0
sent = 0
total = COUNT
lost = 0
space = 0
WHILE 1
    IF NETNUMPLAYERS() = 0 AND lost = 0 THEN
        lost = 1
        STDOUT "lost"
    END IF
    IF KEY(57) AND space = 0 AND sent = total THEN total = total + COUNT
    space = KEY(57)
    IF NETNUMPLAYERS() >= want AND sent < total THEN
        k = 0
        WHILE k < 25 AND sent < total
            IF NETSENDMSG(me$, "0", me$ + ">0#" + (sent + 1)) = 0 THEN
                k = 25  ' not taken (the session is full of what waits): next frame
            ELSE
                sent = sent + 1
                k = k + 1
            END IF
        WEND
        IF sent = total THEN STDOUT "sent " + sent
    END IF
    m$ = NETGETMSG$(me$)
    WHILE LEN(m$) > 0
        from$ = MID$(m$, 0, INSTR(m$, ">"))
        n = VAL(MID$(m$, INSTR(m$, "#") + 1, 20))
        s = -1
        FOR i = 0 TO known - 1
            IF senders$(i) = from$ THEN s = i
        NEXT
        IF s < 0 AND known < 64 THEN
            s = known
            senders$(s) = from$
            known = known + 1
        END IF
        IF s >= 0 THEN
            IF n <> last(s) + 1 THEN STDOUT "bad " + from$ + " " + n + " after " + last(s)
            last(s) = n
            IF MOD(n, 50) = 0 THEN STDOUT "from " + from$ + " " + n
        END IF
        m$ = NETGETMSG$(me$)
    WEND
    SHOWSCREEN
WEND

' The next word of the command line (empty at its end).
SUB NextWord$()
    LOCAL w$, c
    WHILE ASC(MID$(cmd$, cmdAt, 1)) = 32
        cmdAt = cmdAt + 1
    WEND
    c = ASC(MID$(cmd$, cmdAt, 1))
    WHILE c <> 0 AND c <> 32
        w$ = w$ + CHR$(c)
        cmdAt = cmdAt + 1
        c = ASC(MID$(cmd$, cmdAt, 1))
    WEND
    RETURN w$
END SUB
