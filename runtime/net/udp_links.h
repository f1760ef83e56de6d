// Internal: the session's UDP side: ENet hosts, owned by the network thread and touched by
// no other. Every host carries ENet's CRC-32 checksum, so a datagram changed on its way is
// dropped and sent again. A packet that is lost goes again a little over a round trip
// later, however often it was lost before (ENet alone waits twice as long after every
// loss). The session socket also carries the session search's plain datagrams, which are
// taken out before ENet sees them. In the browser there is no UDP: nothing opens, and
// every connection goes over WebSocket (net/ws_links.h).
//
// Two channels: 0 carries the session's packets in order, 1 the keep-alives.
#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "net/link.h"
#include "net/protocol.h"
#include "net/transport.h"

struct _ENetHost;

namespace net {

class UdpLinks {
public:
    explicit UdpLinks(size_t slots) : slots_(slots) {}
    ~UdpLinks();
    UdpLinks(const UdpLinks&) = delete;
    UdpLinks& operator=(const UdpLinks&) = delete;

    // Whether this platform has UDP at all.
    static bool Available();

    bool Open(uint16_t port);
    bool OpenDoor(uint16_t port);
    uint16_t Port() const;
    void Close();

    Link* Connect(const Address& to);
    void Send(Link* link, const Bytes& packet, int channel);
    void SendDatagram(bool door, const Address& to, const Bytes& datagram);
    void Disconnect(Link* link, uint32_t code);
    void DisconnectLater(Link* link);
    void Reset(Link* link);
    void Tune(Link* link);
    bool Connected(const Link* link) const;
    bool Settled(const Link* link) const;
    bool Unsettled() const;
    uint32_t SilentMs(const Link* link) const;
    Address AddressOf(const Link* link) const;

    void WaitFds(std::vector<pollfd>& fds) const;
    bool Service(TransportHandler& handler);
    void Flush();

    void PendingIncoming(double nowMs, std::vector<Transport::Pending>& out);

    struct Host;  // an ENet host and its links (udp_links.cpp)

private:
    bool ServiceHost(Host& h, TransportHandler& handler);
    Link* LinkOf(void* enetPeer);
    Host* HostOf(const Link* link) const;

    size_t slots_;
    Host* session_ = nullptr;
    Host* door_ = nullptr;
    friend struct TransportIntercept;
    struct Datagram {
        bool door;
        uint32_t ip;
        uint16_t port;
        Bytes data;
    };
    std::vector<Datagram> datagrams_;
};

}  // namespace net
