#include "net/udp_links.h"

#include <arpa/inet.h>
#include <enet/enet.h>
#include <enet/time.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace net {

namespace {

constexpr size_t kChannels = 2;
constexpr size_t kMaxPacket = 256 * 1024;
// ENet gives a connection up when one packet has gone unacknowledged for a long time,
// counted in its own waits between tries, which grow after every loss. One unlucky packet
// would end a connection that is alive: ENet's own limit is set far off, and the session
// ends a connection when nothing at all came over it for kSilentMs.
constexpr enet_uint32 kTimeoutLimit = 32, kTimeoutMinMs = 60000, kTimeoutMaxMs = 60000, kPingMs = 250;
constexpr enet_uint32 kFirstRoundTripMs = 100;
// How long a packet waits for its acknowledgement before it goes again, however often it
// went before: a quarter more than the connection's round trip and its variation, within
// these bounds (the upper one gives way to a round trip that long by itself).
constexpr enet_uint32 kResendMinMs = 50, kResendMaxMs = 250;
// A connection that has brought nothing this long is cut or its program stopped: ENet's own
// waits, growing after every loss, take over again until it is heard from.
constexpr enet_uint32 kResendHeardMs = 1000;

// The links whose hosts are being serviced on this thread.
thread_local UdpLinks* t_servicing = nullptr;

ENetPeer* PeerOf(const Link* link) { return link ? static_cast<ENetPeer*>(link->udp) : nullptr; }

}  // namespace

// One ENet host and a link for each of its peers, with when each connection was made
// (ENet's clock) and when an incoming one was first seen (the transport's).
struct UdpLinks::Host {
    ENetHost* enet = nullptr;
    std::vector<Link> links;
    std::vector<uint32_t> since;
    std::vector<double> seen;
};

// Takes the search datagrams out of what a socket received, before ENet reads it.
struct TransportIntercept {
    static int ENET_CALLBACK Run(ENetHost* host, ENetEvent*) {
        UdpLinks* t = t_servicing;
        const uint8_t* d = host->receivedData;
        size_t n = host->receivedDataLength;
        if (!t || !IsSearchDatagram(d, n)) return 0;
        if (PacketTap tap = PacketTapNow()) tap(d, n);
        t->datagrams_.push_back({t->door_ && host == t->door_->enet, host->receivedAddress.host,
                                 host->receivedAddress.port, Bytes(d, d + n)});
        return 1;
    }
};

static ENetHost* MakeHost(uint16_t port, size_t slots) {
    ENetAddress addr{ENET_HOST_ANY, port};
    ENetHost* h = enet_host_create(&addr, slots, kChannels, 0, 0);
    if (!h) return nullptr;
    h->checksum = enet_crc32;
    h->maximumPacketSize = kMaxPacket;
    h->intercept = TransportIntercept::Run;
    return h;
}

static enet_uint32 ResendWait(const ENetPeer* p) {
    const enet_uint32 more = p->roundTripTime + p->roundTripTime / 4;
    return std::max({kResendMinMs, std::min(more + p->roundTripTimeVariance, kResendMaxMs), more});
}

// ENet doubles a packet's wait for its acknowledgement every time it sends it again, without
// end: after a few losses in a row one packet waits seconds, and everything behind it on the
// connection waits with it. After every pass of ENet's, every packet under way is held to
// ResendWait instead, and the connection's next look at them moved as far forward.
static void CapResends(ENetHost* h) {
    for (size_t i = 0; i < h->peerCount; ++i) {
        ENetPeer* p = &h->peers[i];
        if (p->state == ENET_PEER_STATE_DISCONNECTED) continue;
        // A connection another program makes starts from the round trip this program's own
        // start from, not from ENet's half a second.
        if (p->state == ENET_PEER_STATE_ACKNOWLEDGING_CONNECT &&
            p->roundTripTime == ENET_PEER_DEFAULT_ROUND_TRIP_TIME) {
            p->roundTripTime = kFirstRoundTripMs;
            p->roundTripTimeVariance = 0;
        }
        if (p->state == ENET_PEER_STATE_CONNECTED &&
            ENET_TIME_DIFFERENCE(h->serviceTime, p->lastReceiveTime) > kResendHeardMs)
            continue;
        ENetList* sent = &p->sentReliableCommands;
        const enet_uint32 wait = ResendWait(p);
        bool capped = false;
        enet_uint32 due = 0;
        for (ENetListIterator it = enet_list_begin(sent); it != enet_list_end(sent); it = enet_list_next(it)) {
            auto* c = reinterpret_cast<ENetOutgoingCommand*>(it);
            if (c->roundTripTimeout <= wait) continue;
            c->roundTripTimeout = wait;
            if (!capped || ENET_TIME_LESS(c->sentTime + wait, due)) due = c->sentTime + wait;
            capped = true;
        }
        if (capped && ENET_TIME_LESS(due, p->nextTimeout)) p->nextTimeout = due;
    }
}

bool UdpLinks::Available() {
    static const bool ready = enet_initialize() == 0;
    return ready;
}

UdpLinks::~UdpLinks() { Close(); }

// A host on that port (0: any free one) with a link for each of its peers.
static UdpLinks::Host* NewHost(uint16_t port, size_t slots) {
    ENetHost* h = MakeHost(port, slots);
    if (!h) return nullptr;
    auto* host = new UdpLinks::Host;
    host->enet = h;
    host->links.resize(h->peerCount);
    for (size_t i = 0; i < h->peerCount; ++i) host->links[i].udp = &h->peers[i];
    host->since.assign(h->peerCount, 0);
    host->seen.assign(h->peerCount, -1);
    return host;
}

bool UdpLinks::Open(uint16_t port) {
    session_ = NewHost(port, slots_);
    return session_ != nullptr;
}

bool UdpLinks::OpenDoor(uint16_t port) {
    if (!door_) door_ = NewHost(port, slots_);
    return door_ != nullptr;
}

uint16_t UdpLinks::Port() const { return session_ ? session_->enet->address.port : 0; }

void UdpLinks::Close() {
    for (Host* h : {session_, door_})
        if (h) {
            enet_host_destroy(h->enet);
            delete h;
        }
    session_ = door_ = nullptr;
    datagrams_.clear();
}

Link* UdpLinks::LinkOf(void* enetPeer) {
    auto* p = static_cast<ENetPeer*>(enetPeer);
    for (Host* h : {session_, door_})
        if (h && p->host == h->enet) return &h->links[static_cast<size_t>(p - h->enet->peers)];
    return nullptr;
}

UdpLinks::Host* UdpLinks::HostOf(const Link* link) const {
    const ENetPeer* p = PeerOf(link);
    for (Host* h : {session_, door_})
        if (h && p && p->host == h->enet) return h;
    return nullptr;
}

Link* UdpLinks::Connect(const Address& to) {
    if (!session_) return nullptr;
    ENetAddress a{to.ip, to.port};
    ENetPeer* p = enet_host_connect(session_->enet, &a, kChannels, kVersion);
    if (!p) return nullptr;
    Link* link = LinkOf(p);
    Tune(link);
    // ENet starts from a round trip of half a second, so a lost connection request would
    // wait that long to go again; it goes sooner (the round trip is measured once the
    // other side answers).
    p->roundTripTime = kFirstRoundTripMs;
    p->roundTripTimeVariance = 0;
    return link;
}

void UdpLinks::Tune(Link* link) {
    ENetPeer* peer = PeerOf(link);
    if (!peer) return;
    enet_peer_timeout(peer, kTimeoutLimit, kTimeoutMinMs, kTimeoutMaxMs);
    enet_peer_ping_interval(peer, kPingMs);
    if (Host* h = HostOf(link)) h->since[static_cast<size_t>(peer - h->enet->peers)] = enet_time_get();
}

void UdpLinks::Send(Link* link, const Bytes& packet, int channel) {
    ENetPeer* peer = PeerOf(link);
    if (!peer || peer->state != ENET_PEER_STATE_CONNECTED) return;
    ENetPacket* p = enet_packet_create(packet.data(), packet.size(), ENET_PACKET_FLAG_RELIABLE);
    if (p && enet_peer_send(peer, static_cast<enet_uint8>(channel), p) != 0) enet_packet_destroy(p);
}

void UdpLinks::SendDatagram(bool door, const Address& to, const Bytes& datagram) {
    Host* h = door ? door_ : session_;
    if (!h) return;
    ENetAddress a{to.ip, to.port};
    ENetBuffer buf{const_cast<uint8_t*>(datagram.data()), datagram.size()};
    enet_socket_send(h->enet->socket, &a, &buf, 1);
}

void UdpLinks::Disconnect(Link* link, uint32_t code) {
    ENetPeer* peer = PeerOf(link);
    if (peer && peer->state != ENET_PEER_STATE_DISCONNECTED) enet_peer_disconnect_now(peer, code);
}

void UdpLinks::DisconnectLater(Link* link) {
    ENetPeer* peer = PeerOf(link);
    if (peer && peer->state == ENET_PEER_STATE_CONNECTED) enet_peer_disconnect_later(peer, 0);
}

void UdpLinks::Reset(Link* link) {
    ENetPeer* peer = PeerOf(link);
    if (peer && peer->state != ENET_PEER_STATE_DISCONNECTED) enet_peer_reset(peer);
}

bool UdpLinks::Connected(const Link* link) const {
    const ENetPeer* peer = PeerOf(link);
    return peer && peer->state == ENET_PEER_STATE_CONNECTED;
}

bool UdpLinks::Settled(const Link* link) const {
    ENetPeer* peer = PeerOf(link);
    return !Connected(link) ||
           (enet_list_empty(&peer->outgoingCommands) && enet_list_empty(&peer->sentReliableCommands));
}

bool UdpLinks::Unsettled() const {
    for (const Host* h : {session_, door_})
        for (size_t i = 0; h && i < h->links.size(); ++i)
            if (!Settled(&h->links[i])) return true;
    return false;
}

uint32_t UdpLinks::SilentMs(const Link* link) const {
    const ENetPeer* peer = PeerOf(link);
    if (!peer) return 0xFFFFFFFFu;
    const uint32_t now = enet_time_get();
    uint32_t silent = ENET_TIME_DIFFERENCE(now, peer->lastReceiveTime);
    // Not before the connection was made.
    if (const Host* h = HostOf(link))
        silent = std::min(silent, ENET_TIME_DIFFERENCE(now, h->since[static_cast<size_t>(peer - h->enet->peers)]));
    return silent;
}

Address UdpLinks::AddressOf(const Link* link) const {
    const ENetPeer* peer = PeerOf(link);
    return peer ? Address{peer->address.host, peer->address.port} : Address{};
}

void UdpLinks::WaitFds(std::vector<pollfd>& fds) const {
    for (const Host* h : {session_, door_})
        if (h) fds.push_back({h->enet->socket, POLLIN, 0});
}

bool UdpLinks::ServiceHost(Host& host, TransportHandler& handler) {
    ENetHost* h = host.enet;
    bool any = false;
    ENetEvent ev;
    t_servicing = this;
    for (;;) {
        int r = enet_host_service(h, &ev, 0);
        // Search datagrams that came meanwhile first: they are answered at once.
        if (!datagrams_.empty()) {
            auto list = std::move(datagrams_);
            datagrams_.clear();
            t_servicing = nullptr;
            for (const Datagram& d : list)
                handler.OnDatagram(d.door, Address{d.ip, d.port}, d.data.data(), d.data.size());
            t_servicing = this;
            any = true;
        }
        if (r <= 0) break;
        any = true;
        t_servicing = nullptr;
        Link* link = &host.links[static_cast<size_t>(ev.peer - h->peers)];
        switch (ev.type) {
        case ENET_EVENT_TYPE_CONNECT:
            Tune(link);
            // ENet narrows what may be in flight when datagrams get lost; then the
            // keep-alives and their acknowledgements wait behind packets that are sent
            // again, and a live connection looks silent. The window stays open.
            enet_peer_throttle_configure(ev.peer, ENET_PEER_PACKET_THROTTLE_INTERVAL,
                                         ENET_PEER_PACKET_THROTTLE_ACCELERATION, 0);
            handler.OnConnect(link);
            break;
        case ENET_EVENT_TYPE_DISCONNECT:
            handler.OnDisconnect(link, ev.data);
            break;
        case ENET_EVENT_TYPE_RECEIVE:
            if (PacketTap tap = PacketTapNow()) tap(ev.packet->data, ev.packet->dataLength);
            handler.OnPacket(link, ev.packet->data, ev.packet->dataLength);
            enet_packet_destroy(ev.packet);
            break;
        default:
            break;
        }
        t_servicing = this;
    }
    t_servicing = nullptr;
    CapResends(h);
    return any;
}

bool UdpLinks::Service(TransportHandler& handler) {
    bool any = false;
    if (session_) any |= ServiceHost(*session_, handler);
    if (door_) any |= ServiceHost(*door_, handler);
    return any;
}

void UdpLinks::Flush() {
    for (Host* h : {session_, door_})
        if (h) {
            enet_host_flush(h->enet);
            CapResends(h->enet);
        }
}

void UdpLinks::PendingIncoming(double nowMs, std::vector<Transport::Pending>& out) {
    for (Host* h : {session_, door_}) {
        for (size_t i = 0; h && i < h->links.size(); ++i) {
            ENetPeer* p = &h->enet->peers[i];
            const bool incoming = p->state == ENET_PEER_STATE_ACKNOWLEDGING_CONNECT ||
                                  p->state == ENET_PEER_STATE_CONNECTION_SUCCEEDED;
            if (!incoming) {
                h->seen[i] = -1;
                continue;
            }
            if (h->seen[i] < 0) h->seen[i] = nowMs;
            out.push_back({&h->links[i], nowMs - h->seen[i], p->address.host});
        }
    }
}

}  // namespace net
