// Internal: the network session object, as the BASIC commands use it.
//
// One program hosts a named session of this application; others join it by name, with
// the host's address or by searching the local machine and network. Each program
// creates players; the host gives them their ids (never 0, never given twice in the
// session) and keeps the session's list, which every program holds in the same order.
// Text messages go from a player to a player (to 0: to every other player), reliably,
// once each and in order per sending program; only the program that created a player
// may send as it.
//
// A network thread of the session's own (net/net_thread.h) keeps it going: however long
// the program waits or computes, the session stays, and what is sent meanwhile waits in
// the receiving program. The commands hand it their requests and read the session's
// list and the messages that arrived, without touching the network themselves.
//
// When the host goes, the oldest remaining program takes over; the others come back to
// it and prove who they are, everything not yet acknowledged is sent again, and the
// players of the program that went leave the list. A program that breaks off for good
// sees the others leave its list, and NETSENDMSG refuses messages to them.
//
// Transport: our own protocol (net/protocol.h) over ENet on UDP, the host listening on
// kDefaultPort or on TOLVANE_NET_PORT, and over WebSocket on the TCP port of the same
// number for browsers. A program joins over WebSocket with an address "ws://host:port" or
// "wss://host:port"; in a page that is the only way (a page cannot host, nor search).
#pragma once

#include <cstddef>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/protocol.h"

namespace net {
class Exchange;
class NetThread;
struct View;
}  // namespace net

// The request of the last host or join.
struct KWCONNECTION_INFO {
    uint8_t connectionType = 0;  // 0 UDP/IP; 1 (IPX) and 2 (serial link) are not offered
    char sessionName[net::kMaxSessionName + 1] = {};
    int32_t hostFlag = 0;  // nonzero: create the session; 0: join it
    // Host name or IPv4 address, ":port" optional; "ws://host:port" or "wss://host:port";
    // empty: search.
    char address[net::kMaxSessionName + 1] = {};
};

class KWNetwork {
public:
    enum { kNotConnected = 0, kConnecting = 1, kHosting = 2, kJoined = 3 };
    // Result codes of Init, DoHostOrJoin and CreatePlayer.
    enum Result {
        kOk = 0,
        kNoNetwork,         // the network layer could not start
        kUnsupportedType,   // connection type other than 0
        kCannotListen,      // the session port is taken
        kNotFound,          // no answer from a host of that session
        kRefused,           // the host refused: other application, other name, full
        kNotSetUp,          // no session
        kNoPlayerId,        // the host gave no id (session full or host gone)
    };
    static constexpr uint16_t kDefaultPort = 26814;

    // `port`: the UDP port a hosted session listens on and a join connects to.
    explicit KWNetwork(uint16_t port = kDefaultPort);
    virtual ~KWNetwork();
    KWNetwork(const KWNetwork&) = delete;
    KWNetwork& operator=(const KWNetwork&) = delete;

    // Leaves the session: what was sent goes out first (for at most a fifth of a
    // second), then the peers hear of it at once.
    void CleanUp();
    // Closes a previous session, then hosts or joins as the request says.
    int Init(const KWCONNECTION_INFO& info);
    int DoHostOrJoin();
    bool IsSetup() const;
    int State() const { return state_; }

    int CreatePlayer(const char* name, uint32_t* id);
    void DestroyPlayer(uint32_t id);
    // True when the message was taken: a session is set up, `from` is one of this
    // program's players, `to` is 0 or a player of the session, and there is room for it.
    bool SendMsg(uint32_t from, uint32_t to, const char* text, size_t length);
    // The oldest waiting message for one of this program's players, zero-ended in the
    // buffer; a message that does not fit with its terminator comes back empty. Asked
    // again for the same player within 0.1 ms of finding nothing, it waits up to 0.5 ms
    // for a message (a program that polls in a loop then leaves the processor to the
    // network thread).
    bool ReceiveMsg(uint32_t player, char* buffer, size_t size);
    // The player's name, or the empty string when there is no such player.
    void GetPlayerName(uint32_t id, char* buffer, size_t size) const;
    int NumPlayers() const;
    // Id of the player at that place of the session's list, 0 when there is none.
    uint32_t GetPlayerID(int index) const;

    // Takes in the session's news: the list of players and where the session stands.
    void Service();

    // For tests: the application id this program's sessions carry, and whether a
    // search without an address also broadcasts on the local network.
    void SetApplicationId(const net::AppId& id) { app_ = id; }
    void SetLanSearch(bool on) { lanSearch_ = on; }

private:
    int Host();
    int Join();
    bool Start(bool host, uint32_t ip, uint16_t port, const std::string& url);
    bool Mine(uint32_t player) const;
    bool Listed(uint32_t player) const;

    int state_ = kNotConnected;
    KWCONNECTION_INFO connection_{};
    uint16_t port_ = kDefaultPort;
    net::AppId app_{};
    bool lanSearch_ = true;
    uint32_t token_ = 0;  // this program's creates, counted

    // The session: the thread and what it shares with the commands.
    std::unique_ptr<net::Exchange> exchange_;
    std::unique_ptr<net::NetThread> thread_;
    // The session as the thread last described it, less the players destroyed here
    // that it still lists.
    std::unique_ptr<net::View> view_;
    uint64_t viewVersion_ = 0;
    std::vector<uint32_t> hidden_;
    // The last NETGETMSG$ that found nothing.
    uint32_t emptyPlayer_ = 0;
    std::chrono::steady_clock::time_point emptyAt_{};
};

// The network session object; null before start-up and after the end.
extern KWNetwork* pKWNet;
