// Internal: the session's connections, owned by the network thread and touched by no
// other: ENet over UDP between desktop programs (net/udp_links.h) and WebSockets between a
// browser and a desktop program (net/ws_links.h). The session and its roles see one kind
// of link (net/link.h) and the same calls for both; only plain datagrams (the session
// search, host claims and pings) are UDP's alone.
//
// A desktop program opens a UDP socket and, beside it, a TCP port for browsers. A browser
// has no UDP: it makes every connection over WebSocket, to the address it joined or to the
// WebSocket port a program of the session announced. A program that joined by a ws://
// address does the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/link.h"
#include "net/protocol.h"

namespace net {

class UdpLinks;
class WsLinks;

struct Address {
    uint32_t ip = 0;  // IPv4, network byte order
    uint16_t port = 0;  // UDP
    uint16_t ws = 0;    // TCP, where it takes WebSocket connections (0: none)
    bool operator==(const Address&) const = default;
};

bool IsLoopback(uint32_t ip);
// "1.2.3.4" (network byte order), or 0.
uint32_t ParseIpv4(const char* text);
std::string ToText(const Address& a);

// For tools that collect real packets (the fuzzing corpus): called on the network thread
// with every packet and search datagram that arrives. Null: none.
using PacketTap = void (*)(const uint8_t* data, size_t size);
void SetPacketTap(PacketTap tap);
PacketTap PacketTapNow();

// The code a program gives when it leaves a connection on purpose.
constexpr uint32_t kLeaveCode = 0x4C454156;

// What the connections report.
class TransportHandler {
public:
    virtual void OnConnect(Link* link) = 0;
    virtual void OnDisconnect(Link* link, uint32_t code) = 0;
    virtual void OnPacket(Link* link, const uint8_t* data, size_t size) = 0;
    // A search datagram on the session socket (door: false) or the door (true).
    virtual void OnDatagram(bool door, const Address& from, const uint8_t* data, size_t size) = 0;

protected:
    ~TransportHandler() = default;
};

class Transport {
public:
    using Peer = Link;
    using Handler = TransportHandler;

    // Connections a socket keeps room for: every member of a full session, and room for
    // connections being made.
    static constexpr size_t kSlots = kMaxPeers + 128;
    explicit Transport(size_t slots = kSlots);
    ~Transport();
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    // The session socket, on that port (0: any free one), where there is UDP. False when
    // it cannot be made.
    bool Open(uint16_t port);
    // The TCP port browsers connect to (0: any free one), letting in those origins (empty:
    // this machine's). False when it cannot be had.
    bool OpenWs(uint16_t port, const std::vector<std::string>& origins);
    // A second socket (and TCP port) on the session port, for programs that join after a
    // host change.
    bool OpenDoor(uint16_t port, uint16_t wsPort);
    uint16_t Port() const;
    uint16_t WsPort() const;
    // Drops every connection without a word and closes the sockets.
    void Close();

    // Every connection this program makes goes over WebSocket: it joined by that url (a
    // browser always does).
    void JoinBy(const std::string& url);
    bool ByWebSocket() const { return !joinedBy_.empty() || !udpAvailable_; }
    // Whether this platform has UDP at all (a page has not).
    static bool HasUdp();
    // Whether plain datagrams go anywhere (a program with a UDP socket).
    bool Datagrams() const;
    // Whether this program may host the session (it is reached over UDP).
    bool CanHost() const { return !ByWebSocket(); }

    // To the program at that address: over UDP, or over WebSocket to its ws port (ip and ws
    // 0: where this program joined).
    Peer* Connect(const Address& to);
    void Send(Peer* peer, const Bytes& packet, int channel = 0);
    void SendDatagram(bool door, const Address& to, const Bytes& datagram);
    // Ends a connection at once (the other side hears `code`), after what is queued
    // for it was sent, or without a word.
    void Disconnect(Peer* peer, uint32_t code);
    void DisconnectLater(Peer* peer);
    void Reset(Peer* peer);
    // Sets how long a silent connection lives, and how often it is probed.
    void Tune(Peer* peer);

    bool Connected(Peer* peer) const;
    // Nothing of the connection waits to be sent or to be acknowledged.
    bool Settled(Peer* peer) const;
    // Whether any connection has something waiting to be sent or acknowledged.
    bool Unsettled() const;
    // Milliseconds since anything came over the connection (or since it was made).
    uint32_t SilentMs(Peer* peer) const;
    // Where the connection goes. A WebSocket another program made to this one has no
    // port: its hello says where it takes connections.
    Address AddressOf(Peer* peer) const;

    // Waits at most `ms` for anything on a socket or for the wake-up descriptor.
    void Wait(int ms, int wakeFd);
    // Hands every event that arrived to the handler; false when there was none.
    bool Service(Handler& handler);
    // Sends what is queued.
    void Flush();

    // UDP connections others are making that ENet has not reported yet, with their age in
    // milliseconds (by this transport's clock) and address. (A WebSocket's handshake is
    // held to its limits by the endpoint itself.)
    struct Pending {
        Peer* peer;
        double ageMs;
        uint32_t ip;
    };
    std::vector<Pending> PendingIncoming(double nowMs);

private:
    std::unique_ptr<UdpLinks> udp_;
    std::unique_ptr<WsLinks> ws_;
    bool udpAvailable_;
    std::string joinedBy_;
    std::vector<std::string> origins_;
};

}  // namespace net
