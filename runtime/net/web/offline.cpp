// Network sessions in the browser, which offers no UDP: there is no network object (the
// start-up leaves pKWNet null), and every command answers as on a machine without a
// network: no session is hosted or joined, no player made, no message sent or waiting.
#include "net/commands.h"
#include "net/kwnetwork.h"

KWNetwork* pKWNet = nullptr;

// Named by the end of each frame, which calls it only on a network object.
void KWNetwork::Service() {}

double NETHOSTGAME(double, DQStr, DQStr, DQStr) { return 0; }
double NETJOINGAME(double, DQStr, DQStr, DQStr) { return 0; }
DQStr NETCREATEPLAYER_Str(DQStr) { return DQStr("0"); }
double NETDESTROYPLAYER(DQStr) { return 0; }
DQStr NETPLAYERNAME_Str(DQStr) { return DQStr("NO_DATA"); }
DQStr NETGETPLAYERID_Str(double) { return DQStr("0"); }
double NETNUMPLAYERS() { return 0; }
double NETSENDMSG(DQStr, DQStr, DQStr) { return 0; }
DQStr NETGETMSG_Str(DQStr) { return DQStr(""); }
