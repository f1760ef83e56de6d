// Internal: the network session object.
//
// One program hosts a named session of this application; others join it by name, with
// the host's address or by searching the local machine and network. Each program
// creates players; the host gives them their ids (never 0, never reused within the
// session), keeps the session's player list and sends it to every peer whenever it
// changes, so every machine lists the same players in the same order. Text messages go
// from a player to a player (to 0: to every other player) through the host, reliably
// and once each; only the program that created a player may send as it.
//
// Transport: our own small protocol (net/protocol.h) over ENet on UDP, the host
// listening on kDefaultPort or on TOLVANE_NET_PORT. The connection to the host is
// serviced once per frame by SHOWSCREEN and inside the commands that wait or read.
//
// Host migration: every peer knows the others' addresses. When the host ends or
// drops, the remaining peer that joined first becomes the host, the others connect
// to it, the departed program's players leave the list, and peers that do not come
// back within a few seconds leave it too. The new host also listens on the session
// port when that is free (as it is on another machine than the old host's), so
// programs can go on joining the session there. A program that stops servicing its
// connection for more than about 2.5 seconds is taken as gone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "net/protocol.h"

struct _ENetHost;
struct _ENetPeer;
struct _ENetEvent;

// The request of the last host or join.
struct KWCONNECTION_INFO {
    uint8_t connectionType = 0;  // 0 UDP/IP; 1 (IPX) and 2 (serial link) are not offered
    char sessionName[net::kMaxSessionName + 1] = {};
    int32_t hostFlag = 0;  // nonzero: create the session; 0: join it
    char address[net::kMaxSessionName + 1] = {};  // host name or IPv4 address, ":port" optional; empty: search
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

    // Leaves the session (the peers see it at once) and releases the connection.
    void CleanUp();
    // Closes a previous session, then hosts or joins as the request says.
    int Init(const KWCONNECTION_INFO& info);
    int DoHostOrJoin();
    bool IsSetup() const;
    int State() const { return state_; }

    int CreatePlayer(const char* name, uint32_t* id);
    void DestroyPlayer(uint32_t id);
    // False when no session is set up; the delivery itself is not reported.
    bool SendMsg(uint32_t from, uint32_t to, const char* text, size_t length);
    // The oldest waiting message for one of this program's players, zero-ended in the
    // buffer; a message that does not fit with its terminator comes back empty.
    bool ReceiveMsg(uint32_t player, char* buffer, size_t size);
    // The player's name, or the empty string when there is no such player.
    void GetPlayerName(uint32_t id, char* buffer, size_t size) const;
    int NumPlayers() const;
    // Id of the player at that place of the session's list, 0 when there is none.
    uint32_t GetPlayerID(int index) const;
    // Id of the hosting program's first player, 0 when it has none.
    uint32_t GetHostID() const;

    // Handles what arrived and what is due, and sends what is queued.
    void Service();

    // For tests: the application id this program's sessions carry, and whether a
    // search without an address also broadcasts on the local network.
    void SetApplicationId(const net::AppId& id) { app_ = id; }
    void SetLanSearch(bool on) { lanSearch_ = on; }

private:
    friend struct KWNetworkEvents;

    void Pump(uint32_t waitMs);
    void Dispatch(_ENetEvent& ev);
    void ReleaseSession();
    int Host();
    int Join();
    bool Search(uint32_t* ip, uint16_t* port);
    bool WaitFor(double ms, bool (*done)(const KWNetwork&));

    // Events.
    void OnConnect(_ENetPeer* peer, uint32_t data);
    void OnDisconnect(_ENetPeer* peer);
    void OnPacket(_ENetPeer* peer, const uint8_t* data, size_t size);
    void OnSearch(_ENetHost* socket, const uint8_t* data, size_t size, uint32_t ip, uint16_t port);
    void CheckTimers();

    // The host's side.
    void HostPacket(uint32_t from, const uint8_t* data, size_t size);
    void HostHello(_ENetPeer* peer, const net::Hello& h);
    uint32_t HostCreate(uint32_t owner, const std::string& name);
    void HostDestroy(uint32_t owner, uint32_t id);
    void Route(uint32_t sender, uint32_t from, uint32_t to, std::string_view text);
    void BroadcastState();
    void BecomeHost();

    // The joiner's side.
    void JoinerPacket(const uint8_t* data, size_t size);
    void SendToHost(std::string packet);
    void HostLost();
    void TryNextHost();

    void Send(_ENetPeer* peer, const std::string& packet);
    void RemovePeer(uint32_t id);
    void RemovePlayer(size_t index);
    const net::PlayerEntry* FindPlayer(uint32_t id) const;
    bool Mine(uint32_t player) const;
    void Enqueue(uint32_t to, std::string_view text);

    int state_ = kNotConnected;
    KWCONNECTION_INFO connection_{};
    _ENetHost* session_ = nullptr;
    _ENetHost* door_ = nullptr;  // after a migration: the session port, for new joiners
    bool enetReady_ = false;
    uint16_t port_ = kDefaultPort;
    net::AppId app_{};
    bool lanSearch_ = true;

    // The session as the host last described it (on the host: as it is).
    uint32_t me_ = 0, host_ = 0, nextPlayer_ = 1, nextPeer_ = 1;
    std::vector<net::PeerEntry> peers_;
    std::vector<net::PlayerEntry> players_;

    // Host: the connection of each peer. Connections that have not said hello yet,
    // with their deadline (and the hello, when it came while we were not the host).
    std::unordered_map<uint32_t, _ENetPeer*> links_;
    std::unordered_map<_ENetPeer*, double> fresh_;
    std::unordered_map<_ENetPeer*, net::Hello> stashed_;
    // Host after a migration: the peers it waits for, with their deadline.
    std::unordered_map<uint32_t, double> awaited_;

    // Joiner: the connection to the host and the address it was reached at.
    _ENetPeer* hostLink_ = nullptr;
    uint32_t hostIp_ = 0;
    bool welcomed_ = false, refused_ = false, linkLost_ = false;
    bool reconnecting_ = false;
    uint32_t candidate_ = 0;
    double candidateDeadline_ = 0;
    std::vector<std::string> outbox_;  // for the host while there is none
    uint32_t createToken_ = 0, createdId_ = 0;
    bool createAnswered_ = false;

    // Search.
    bool searching_ = false, found_ = false;
    uint32_t foundIp_ = 0;
    uint16_t foundPort_ = 0;

    // Messages waiting for this program's players.
    std::unordered_map<uint32_t, std::deque<std::string>> inbox_;
    size_t inboxBytes_ = 0;
};

// The network session object; null before start-up and after the end.
extern KWNetwork* pKWNet;
