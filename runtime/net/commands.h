// Network sessions: hosting and joining a named session, players, text messages.
#pragma once

#include "core/dqstr.h"

// Sessions. Connection type 0 is UDP/IP; the host listens on port 26814, or on the port
// TOLVANE_NET_PORT names. A join with an address (a host name or IPv4 address, ":port"
// optional) connects there; with an empty address it looks for the session on this
// machine and by broadcast on the local network, waiting at most a few seconds. Only
// the exact (case-sensitive) session name of the same application is joined. Types 1
// and 2 are not offered. A new host or join leaves the previous session first. Both
// return 1 on success, else 0; the fourth argument is not used.
double NETHOSTGAME(double type, DQStr name, DQStr address, DQStr unused);
double NETJOINGAME(double type, DQStr name, DQStr address, DQStr unused);

// Players, known by their id as decimal text. The session lists the same players in the
// same order on every machine; ids are never 0 and never given twice. NETCREATEPLAYER$
// waits for the host's answer (at most 10 s; a create given up never leaves a player).
DQStr NETCREATEPLAYER_Str(DQStr name);  // "0" when no player could be made
double NETDESTROYPLAYER(DQStr id);      // only this program's own players; returns 0
DQStr NETPLAYERNAME_Str(DQStr id);      // "NO_DATA" when there is no such player
DQStr NETGETPLAYERID_Str(double index); // counted from 0; "0" when there is none
double NETNUMPLAYERS();

// Messages. A text from one of this program's players to a player (to "0": to every
// other player). It arrives once, and in the order this program sent it, unless its
// receiver leaves the session; the session is kept alive meanwhile however long either
// program waits or computes. 1 when the message was taken; 0 without a session, when
// `from` is not one of this program's players, when `to` is no player of the session,
// or when too much this program sent still waits to be acknowledged (64 MiB).
// NETGETMSG$ gives the oldest waiting message for one of this program's players, or the
// empty string.
double NETSENDMSG(DQStr from, DQStr to, DQStr text);
DQStr NETGETMSG_Str(DQStr player);
