' The page side of bench/ws_round_trip.mjs: joins the session "Bench" of the desktop
' program bench/ws_echo_desktop.bas over WebSocket (the script writes its port into the
' address below), then
'   - sends a 32-character message and waits for its echo, WARM times unmeasured and
'     ROUNDS times measured (GETTIMERALL), and writes each round trip in microseconds;
'   - sends "start" and MESSAGES messages of 32 characters one way, for the desktop
'     program to count, and waits for its "counted".
' Everything goes to standard output, the page's console: "rtt_us" and one number a
' line, then "sent", then "done" (or a line starting "bench:" when something failed).
' Run unpaced (TOLVANE_NO_WAIT=1): SHOWSCREEN then only gives the browser its turn.
SETTINGS TITLE "WebSocket bench: page", WIDTH 64, HEIGHT 64
CONST WARM = 200, ROUNDS = 2000, MESSAGES = 20000
GLOBAL me$, msg$, k, t, waitedFrom
DIM took(ROUNDS)
msg$ = "0123456789abcdef0123456789ABCDEF"

IF Join() = 0 THEN Fail "could not join the session"
me$ = NETCREATEPLAYER$("Page")
IF me$ = "0" THEN Fail "no player in the session"
' The echo program's player is listed too before anything is sent.
waitedFrom = GETTIMERALL()
WHILE NETNUMPLAYERS() < 2
    Turn "the echo program's player was not listed"
WEND

FOR k = 1 TO WARM + ROUNDS
    t = GETTIMERALL()
    Send msg$
    Await msg$
    IF k > WARM THEN took(k - WARM - 1) = GETTIMERALL() - t
NEXT
STDOUT "rtt_us"
FOR k = 0 TO ROUNDS - 1
    STDOUT took(k) * 1000
NEXT

Send "start"
FOR k = 1 TO MESSAGES
    Send msg$
NEXT
STDOUT "sent"
Await "counted"
Send "bye"
STDOUT "done"
END

' Joins at the desktop program's address, trying again for a few seconds.
SUB Join()
    LOCAL giveUpAt
    giveUpAt = GETTIMERALL() + 5000
    WHILE GETTIMERALL() < giveUpAt
        IF NETJOINGAME(0, "Bench", "ws://127.0.0.1:26814", "") THEN RETURN 1
        SHOWSCREEN
    WEND
    RETURN 0
END SUB

' Sends to every other player; while too much waits unacknowledged, tries again after
' the browser's turn.
SUB Send(text$)
    waitedFrom = GETTIMERALL()
    WHILE NETSENDMSG(me$, "0", text$) = 0
        Turn "a message was not taken"
    WEND
END SUB

' Waits for the next message, which must be this one.
SUB Await(text$)
    LOCAL m$
    waitedFrom = GETTIMERALL()
    m$ = NETGETMSG$(me$)
    WHILE LEN(m$) = 0
        Turn "no answer came"
        m$ = NETGETMSG$(me$)
    WEND
    IF m$ <> text$ THEN Fail "an answer out of turn: " + m$
END SUB

' The browser's turn; a failure when the session is gone or the wait has gone on for
' ten seconds.
SUB Turn(why$)
    IF NETNUMPLAYERS() = 0 THEN Fail "the session was lost"
    IF GETTIMERALL() - waitedFrom > 10000 THEN Fail why$ + " within 10 s"
    SHOWSCREEN
END SUB

SUB Fail(why$)
    STDOUT "bench: " + why$
    END
END SUB
