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
// same order on every machine; ids are never 0.
DQStr NETCREATEPLAYER_Str(DQStr name);  // "0" when no player could be made
double NETDESTROYPLAYER(DQStr id);      // only this program's own players; returns 0
DQStr NETPLAYERNAME_Str(DQStr id);      // "NO_DATA" when there is no such player
DQStr NETGETPLAYERID_Str(double index); // counted from 0; "0" when there is none
double NETNUMPLAYERS();

// Messages. A text from one of this program's players to a player (to "0": to every
// other player); 1 when a session is set up. NETGETMSG$ gives the oldest waiting
// message for one of this program's players, or the empty string.
double NETSENDMSG(DQStr from, DQStr to, DQStr text);
DQStr NETGETMSG_Str(DQStr player);
