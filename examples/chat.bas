' A network chat: one program hosts the chat, another joins it, and what one types the
' other reads. Start it from a command line:
'
'   chat host [NAME]              hosts the chat on this machine (also without arguments)
'   chat join ADDRESS [NAME]      joins the chat hosted at ADDRESS, a machine's name or
'                                 IP address such as 192.168.1.20 (127.0.0.1: this one),
'                                 or ws://ADDRESS over WebSocket (the way from a page:
'                                 index.html?args=join%20ws://192.168.1.20%20Ann)
'
' for example "tolvanec run examples/chat.bas -- join 127.0.0.1 Bob". The chat uses
' UDP port 26814; TOLVANE_NET_PORT chooses another. A program that cannot host or join
' tries again every second.
'
' Type a line and press Return to send it; Backspace takes back a character. "/bye"
' says goodbye: the chat then ends for both. Escape ends the program.
'
' Options for scripted runs:
'   --say TEXT    sends TEXT as if typed, as soon as someone else is in the chat (up to
'                 16 times, in order; "/bye" too)
'   --log FILE    keeps the conversation in the data file FILE beside the program: line 0
'                 counts the lines that follow, up to the last 255; it is written when the
'                 program ends
SETTINGS TITLE "Chat", WIDTH 640, HEIGHT 480, FPS 60

GLOBAL session$, mode$, address$, name$, log$, me$, status$
GLOBAL state, frame, retryAt, others, shown, typed$, ending, endAt, sayCount, sayNext
GLOBAL seenCount, looked, lineH, rows, cmd$, cmdAt
DIM says$(16), history$(255), seenIds$(256), seenNames$(256), nowIds$(256), nowNames$(256)
session$ = "Tolvane chat"

' ---- the command line
cmd$ = GETCOMMANDLINE$()
mode$ = "host"
w$ = NextWord$()
WHILE LEN(w$) > 0
    SELECT CASE w$
    CASE "host"
        mode$ = "host"
    CASE "join"
        mode$ = "join"
        address$ = NextWord$()
    CASE "--say"
        t$ = NextWord$()
        IF sayCount < 16 THEN
            says$(sayCount) = t$
            sayCount = sayCount + 1
        END IF
    CASE "--log"
        log$ = NextWord$()
    CASE ELSE
        name$ = MID$(w$, 0, 16)
    END SELECT
    w$ = NextWord$()
WEND
IF LEN(name$) = 0 THEN
    IF mode$ = "host" THEN
        name$ = "Host"
    ELSE
        name$ = "Guest"
    END IF
END IF

GETFONTSIZE fw, fh
lineH = fh + 4
rows = TRUNC((430 - 40) / lineH)
IF mode$ = "host" THEN
    status$ = "starting the chat ..."
ELSE
    status$ = "looking for the chat at " + address$ + " ..."
END IF
retryAt = 2             ' the first frame shows what is going on

WHILE 1
    frame = frame + 1
    IF state = 0 THEN
        IF frame >= retryAt THEN Connect
    ELSE
        CheckPlayers
        Receive
        IF NOT ending THEN
            SaySaid
            Edit
        END IF
    END IF
    IF ending THEN
        IF frame >= endAt THEN END
    END IF
    Draw
    SHOWSCREEN
WEND

' Hosts or joins the chat and enters it with a player; on failure tries again later.
SUB Connect()
    LOCAL ok
    IF mode$ = "join" THEN
        ok = NETJOINGAME(0, session$, address$, "")
    ELSE
        ok = NETHOSTGAME(0, session$, "", "")
    END IF
    IF ok THEN
        me$ = NETCREATEPLAYER$(name$)
        IF me$ <> "0" THEN
            state = 1
            seenCount = 0
            looked = 0
            others = 0
            status$ = "waiting for someone to join"
            AddLine "You are in the chat as " + name$ + "."
            RETURN 0
        END IF
    END IF
    retryAt = frame + 60
    IF mode$ = "join" THEN
        status$ = "no chat found at " + address$ + "; trying again"
    ELSE
        status$ = "cannot host the chat (is its port taken?); trying again"
    END IF
END SUB

' Notices who came and who left.
SUB CheckPlayers()
    LOCAL n, i, k, found
    n = NETNUMPLAYERS()
    IF n = 0 THEN
        AddLine "The connection to the chat was lost."
        state = 0
        retryAt = frame + 60
        status$ = "reconnecting ..."
        RETURN 0
    END IF
    ' The list is read again when its size changes, and every quarter second.
    IF looked AND n = seenCount + 1 AND MOD(frame, 15) <> 0 THEN RETURN 0
    IF n > 256 THEN n = 256
    FOR i = 0 TO n - 1
        nowIds$(i) = NETGETPLAYERID$(i)
        nowNames$(i) = NETPLAYERNAME$(nowIds$(i))
        IF nowIds$(i) <> me$ THEN
            IF Find(nowIds$(i), seenIds$, seenCount) < 0 THEN
                IF looked THEN
                    AddLine nowNames$(i) + " joined the chat."
                ELSE
                    AddLine nowNames$(i) + " is in the chat."
                END IF
            END IF
        END IF
    NEXT
    looked = 1
    FOR k = 0 TO seenCount - 1
        IF Find(seenIds$(k), nowIds$, n) < 0 THEN AddLine seenNames$(k) + " left the chat."
    NEXT
    ' Remember the others.
    seenCount = 0
    FOR i = 0 TO n - 1
        IF nowIds$(i) <> me$ THEN
            seenIds$(seenCount) = nowIds$(i)
            seenNames$(seenCount) = nowNames$(i)
            seenCount = seenCount + 1
        END IF
    NEXT
    others = seenCount
    SELECT CASE others
    CASE 0
        status$ = "waiting for someone to join"
    CASE 1
        status$ = "talking with " + seenNames$(0)
    CASE ELSE
        status$ = (others + 1) + " in the chat"
    END SELECT
END SUB

' Index of id$ among the first `count` entries of ids$, or -1.
SUB Find(id$, ids$(), count)
    LOCAL k
    FOR k = 0 TO count - 1
        IF ids$(k) = id$ THEN RETURN k
    NEXT
    RETURN -1
END SUB

' Shows the messages that came in; a goodbye ends the chat here too.
SUB Receive()
    LOCAL m$, k
    FOR k = 1 TO 32
        m$ = NETGETMSG$(me$)
        IF LEN(m$) = 0 THEN BREAK
        IF MID$(m$, 0, 5) = "/bye " THEN
            AddLine MID$(m$, 5, 1023) + " ended the chat."
            Finish 120
        ELSE
            AddLine m$
        END IF
    NEXT
END SUB

' The texts of --say, one a frame, once someone else is there.
SUB SaySaid()
    IF sayNext < sayCount THEN
        IF others > 0 THEN
            Send says$(sayNext)
            sayNext = sayNext + 1
        END IF
    END IF
END SUB

' The line being typed: characters, Backspace, Return.
SUB Edit()
    LOCAL c$
    c$ = INKEY$()
    IF LEN(c$) = 0 THEN RETURN 0
    SELECT CASE ASC(c$)
    CASE 10
        Send typed$
        typed$ = ""
    CASE 8
        IF LEN(typed$) > 0 THEN typed$ = MID$(typed$, 0, LEN(typed$) - 1)
    CASE ELSE
        IF LEN(typed$) < 70 THEN typed$ = typed$ + c$
    END SELECT
END SUB

' Sends one line to everybody else and shows it; "/bye" ends the chat.
SUB Send(text$)
    IF LEN(text$) = 0 THEN RETURN 0
    IF text$ = "/bye" THEN
        IF others > 0 THEN NETSENDMSG me$, "0", "/bye " + name$
        AddLine "You ended the chat."
        ' A second of frames, so that the goodbye leaves before the connection closes.
        Finish 60
        RETURN 0
    END IF
    IF others = 0 THEN
        AddLine "Nobody else is in the chat yet."
        RETURN 0
    END IF
    NETSENDMSG me$, "0", name$ + ": " + text$
    AddLine name$ + ": " + text$
END SUB

' The program ends after this many more frames.
SUB Finish(frames)
    IF NOT ending THEN
        ending = 1
        endAt = frame + frames
        status$ = "the chat is over"
    END IF
END SUB

' Adds a line to the conversation (and to the log), the oldest going when it is full.
SUB AddLine(text$)
    LOCAL k, full
    full = 0
    IF shown = 255 THEN
        FOR k = 1 TO 254
            history$(k - 1) = history$(k)
        NEXT
        shown = 254
        full = 1
    END IF
    history$(shown) = text$
    shown = shown + 1
    IF LEN(log$) > 0 THEN
        PUTFILE log$, 0, shown
        IF full THEN
            FOR k = 0 TO shown - 1
                PUTFILE log$, k + 1, history$(k)
            NEXT
        ELSE
            PUTFILE log$, shown, text$
        END IF
    END IF
END SUB

SUB Draw()
    LOCAL first, k, y, cursor$
    FILLRECT 0, 0, 639, 27, 0x6E4A28
    PRINT name$ + " - " + status$, 8, 6
    first = shown - rows
    IF first < 0 THEN first = 0
    y = 40
    FOR k = first TO shown - 1
        PRINT history$(k), 8, y
        y = y + lineH
    NEXT
    FILLRECT 0, 440, 639, 479, 0x303030
    IF NOT ending THEN
        IF MOD(TRUNC(frame / 20), 2) = 0 THEN cursor$ = "_"
        PRINT "> " + typed$ + cursor$, 8, 452
    END IF
END SUB

' The next word of the command line; a word in double quotes may hold spaces. Empty
' at its end.
SUB NextWord$()
    LOCAL w$, c
    WHILE ASC(MID$(cmd$, cmdAt, 1)) = 32
        cmdAt = cmdAt + 1
    WEND
    IF ASC(MID$(cmd$, cmdAt, 1)) = 34 THEN
        cmdAt = cmdAt + 1
        c = ASC(MID$(cmd$, cmdAt, 1))
        WHILE c <> 0 AND c <> 34
            w$ = w$ + CHR$(c)
            cmdAt = cmdAt + 1
            c = ASC(MID$(cmd$, cmdAt, 1))
        WEND
        cmdAt = cmdAt + 1
        RETURN w$
    END IF
    c = ASC(MID$(cmd$, cmdAt, 1))
    WHILE c <> 0 AND c <> 32
        w$ = w$ + CHR$(c)
        cmdAt = cmdAt + 1
        c = ASC(MID$(cmd$, cmdAt, 1))
    WEND
    RETURN w$
END SUB
