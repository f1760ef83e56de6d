#include "net/commands.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "net/kwnetwork.h"

namespace {

double HostOrJoin(bool host, double type, const DQStr& name, const DQStr& address) {
    if (!pKWNet) return 0;
    KWCONNECTION_INFO info;
    // The low 8 bits of the truncated type; one that is no number is no type at all.
    double t = std::trunc(type);
    info.connectionType = std::fabs(t) < 1e15 ? static_cast<uint8_t>(static_cast<long long>(t) & 0xFF) : 0xFF;
    std::snprintf(info.sessionName, sizeof info.sessionName, "%s", name.c_str());
    if (info.connectionType == 0) std::snprintf(info.address, sizeof info.address, "%s", address.c_str());
    info.hostFlag = host ? 1 : 0;
    return pKWNet->Init(info) == KWNetwork::kOk ? 1 : 0;
}

uint32_t ToId(const DQStr& s) { return static_cast<uint32_t>(std::atol(s.c_str())); }

DQStr FromId(uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(id));
    return DQStr(text);
}

}  // namespace

double NETHOSTGAME(double type, DQStr name, DQStr address, DQStr) { return HostOrJoin(true, type, name, address); }

double NETJOINGAME(double type, DQStr name, DQStr address, DQStr) { return HostOrJoin(false, type, name, address); }

DQStr NETCREATEPLAYER_Str(DQStr name) {
    uint32_t id = 0;
    if (pKWNet) pKWNet->CreatePlayer(name.c_str(), &id);
    return FromId(id);
}

double NETDESTROYPLAYER(DQStr id) {
    if (pKWNet) pKWNet->DestroyPlayer(ToId(id));
    return 0;
}

DQStr NETPLAYERNAME_Str(DQStr id) {
    char name[DQStr::kBufferSize] = {};
    if (pKWNet) pKWNet->GetPlayerName(ToId(id), name, sizeof name);
    return DQStr(name[0] ? name : "NO_DATA");
}

DQStr NETGETPLAYERID_Str(double index) {
    double i = std::trunc(index);
    if (!pKWNet || !(i >= 0 && i < 1e9)) return DQStr("0");
    return FromId(pKWNet->GetPlayerID(static_cast<int>(i)));
}

double NETNUMPLAYERS() {
    if (!pKWNet) return 0;
    pKWNet->Service();
    return pKWNet->NumPlayers();
}

double NETSENDMSG(DQStr from, DQStr to, DQStr text) {
    if (!pKWNet) return 0;
    return pKWNet->SendMsg(ToId(from), ToId(to), text.c_str(), std::strlen(text.c_str())) ? 1 : 0;
}

DQStr NETGETMSG_Str(DQStr player) {
    char text[DQStr::kBufferSize];
    text[0] = 0;
    if (pKWNet) {
        pKWNet->Service();
        pKWNet->ReceiveMsg(ToId(player), text, sizeof text);
    }
    return DQStr(text);
}
