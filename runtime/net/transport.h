// Internal: the session's sockets: ENet hosts over UDP, owned by the network thread and
// touched by no other. Every host carries ENet's CRC-32 checksum, so a datagram changed
// on its way is dropped and sent again. A packet that is lost goes again a little over a
// round trip later, however often it was lost before (ENet alone waits twice as long after
// every loss). The session socket also carries the session search's plain datagrams, which
// are taken out before ENet sees them.
//
// Two channels: 0 carries the session's packets in order, 1 the keep-alives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/protocol.h"

struct _ENetHost;
struct _ENetPeer;
struct _ENetEvent;

namespace net {

struct Address {
    uint32_t ip = 0;  // IPv4, network byte order
    uint16_t port = 0;
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

// The code a program gives when it leaves a connection on purpose.
constexpr uint32_t kLeaveCode = 0x4C454156;

class Transport {
public:
    using Peer = _ENetPeer;

    // What the sockets report.
    class Handler {
    public:
        virtual void OnConnect(Peer* peer) = 0;
        virtual void OnDisconnect(Peer* peer, uint32_t code) = 0;
        virtual void OnPacket(Peer* peer, const uint8_t* data, size_t size) = 0;
        // A search datagram on the session socket (door: false) or the door (true).
        virtual void OnDatagram(bool door, const Address& from, const uint8_t* data, size_t size) = 0;

    protected:
        ~Handler() = default;
    };

    // Connections a socket keeps room for: every member of a full session, and room for
    // connections being made.
    static constexpr size_t kSlots = kMaxPeers + 128;
    explicit Transport(size_t slots = kSlots) : slots_(slots) {}
    ~Transport();
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    // The session socket, on that port (0: any free one). False when it cannot be made.
    bool Open(uint16_t port);
    // A second socket on the session port, for programs that join after a host change.
    bool OpenDoor(uint16_t port);
    uint16_t Port() const;
    // Drops every connection without a word and closes the sockets.
    void Close();

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
    Address AddressOf(Peer* peer) const;

    // Waits at most `ms` for a datagram on a socket or for the wake-up descriptor.
    void Wait(int ms, int wakeFd);
    // Hands every event that arrived to the handler; false when there was none.
    bool Service(Handler& handler);
    // Sends what is queued.
    void Flush();

    // Connections others are making that ENet has not reported yet, with their age in
    // milliseconds (by this transport's clock) and address.
    struct Pending {
        Peer* peer;
        double ageMs;
        uint32_t ip;
    };
    std::vector<Pending> PendingIncoming(double nowMs);

private:
    void Watch(_ENetHost* h, std::vector<double>& seen, double nowMs, std::vector<Pending>& out);
    bool ServiceHost(_ENetHost* h, Handler& handler);

    size_t slots_;
    _ENetHost* session_ = nullptr;
    _ENetHost* door_ = nullptr;
    std::vector<double> seenSession_, seenDoor_;
    std::vector<uint32_t> sinceSession_, sinceDoor_;  // when each connection was made (ENet's clock)
    std::vector<uint32_t>* SinceOf(Peer* peer);
    friend struct TransportIntercept;
    struct Datagram {
        bool door;
        Address from;
        Bytes data;
    };
    std::vector<Datagram> datagrams_;
};

}  // namespace net
