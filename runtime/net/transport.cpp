#include "net/transport.h"

#include <arpa/inet.h>
#include <enet/enet.h>
#include <enet/time.h>
#include <poll.h>

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

// The transport whose hosts are being serviced on this thread.
thread_local Transport* t_servicing = nullptr;
std::atomic<PacketTap> g_tap{nullptr};

}  // namespace

// Takes the search datagrams out of what a socket received, before ENet reads it.
struct TransportIntercept {
    static int ENET_CALLBACK Run(ENetHost* host, ENetEvent*) {
        Transport* t = t_servicing;
        const uint8_t* d = host->receivedData;
        size_t n = host->receivedDataLength;
        if (!t || !IsSearchDatagram(d, n)) return 0;
        if (PacketTap tap = g_tap.load()) tap(d, n);
        t->datagrams_.push_back(
            {host == t->door_, Address{host->receivedAddress.host, host->receivedAddress.port}, Bytes(d, d + n)});
        return 1;
    }
};

void SetPacketTap(PacketTap tap) { g_tap = tap; }

bool IsLoopback(uint32_t ip) { return (ntohl(ip) >> 24) == 127; }

uint32_t ParseIpv4(const char* text) {
    in_addr a{};
    return inet_pton(AF_INET, text, &a) == 1 ? a.s_addr : 0;
}

std::string ToText(const Address& a) {
    char ip[INET_ADDRSTRLEN] = {};
    in_addr in{};
    in.s_addr = a.ip;
    inet_ntop(AF_INET, &in, ip, sizeof ip);
    return std::string(ip) + ":" + std::to_string(a.port);
}

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

Transport::~Transport() { Close(); }

bool Transport::Open(uint16_t port) {
    session_ = MakeHost(port, slots_);
    seenSession_.assign(slots_, -1);
    sinceSession_.assign(slots_, 0);
    return session_ != nullptr;
}

bool Transport::OpenDoor(uint16_t port) {
    if (door_) return true;
    door_ = MakeHost(port, slots_);
    seenDoor_.assign(slots_, -1);
    sinceDoor_.assign(slots_, 0);
    return door_ != nullptr;
}

uint16_t Transport::Port() const { return session_ ? session_->address.port : 0; }

void Transport::Close() {
    if (session_) enet_host_destroy(session_);
    if (door_) enet_host_destroy(door_);
    session_ = door_ = nullptr;
    datagrams_.clear();
}

Transport::Peer* Transport::Connect(const Address& to) {
    if (!session_) return nullptr;
    ENetAddress a{to.ip, to.port};
    ENetPeer* p = enet_host_connect(session_, &a, kChannels, kVersion);
    if (!p) return nullptr;
    Tune(p);
    // ENet starts from a round trip of half a second, so a lost connection request would
    // wait that long to go again; it goes sooner (the round trip is measured once the
    // other side answers).
    p->roundTripTime = kFirstRoundTripMs;
    p->roundTripTimeVariance = 0;
    return p;
}

void Transport::Tune(Peer* peer) {
    enet_peer_timeout(peer, kTimeoutLimit, kTimeoutMinMs, kTimeoutMaxMs);
    enet_peer_ping_interval(peer, kPingMs);

    if (std::vector<uint32_t>* since = SinceOf(peer)) (*since)[static_cast<size_t>(peer - peer->host->peers)] = enet_time_get();
}

std::vector<uint32_t>* Transport::SinceOf(Peer* peer) {
    if (peer->host == session_) return &sinceSession_;
    if (peer->host == door_) return &sinceDoor_;
    return nullptr;
}

void Transport::Send(Peer* peer, const Bytes& packet, int channel) {
    if (!peer || peer->state != ENET_PEER_STATE_CONNECTED) return;
    ENetPacket* p = enet_packet_create(packet.data(), packet.size(), ENET_PACKET_FLAG_RELIABLE);
    if (p && enet_peer_send(peer, static_cast<enet_uint8>(channel), p) != 0) enet_packet_destroy(p);
}

void Transport::SendDatagram(bool door, const Address& to, const Bytes& datagram) {
    ENetHost* h = door ? door_ : session_;
    if (!h) return;
    ENetAddress a{to.ip, to.port};
    ENetBuffer buf{const_cast<uint8_t*>(datagram.data()), datagram.size()};
    enet_socket_send(h->socket, &a, &buf, 1);
}

void Transport::Disconnect(Peer* peer, uint32_t code) {
    if (peer && peer->state != ENET_PEER_STATE_DISCONNECTED) enet_peer_disconnect_now(peer, code);
}

void Transport::DisconnectLater(Peer* peer) {
    if (peer && peer->state == ENET_PEER_STATE_CONNECTED) enet_peer_disconnect_later(peer, 0);
}

void Transport::Reset(Peer* peer) {
    if (peer && peer->state != ENET_PEER_STATE_DISCONNECTED) enet_peer_reset(peer);
}

bool Transport::Connected(Peer* peer) const { return peer && peer->state == ENET_PEER_STATE_CONNECTED; }

bool Transport::Settled(Peer* peer) const {
    return !Connected(peer) || (enet_list_empty(&peer->outgoingCommands) && enet_list_empty(&peer->sentReliableCommands));
}

bool Transport::Unsettled() const {
    for (ENetHost* h : {session_, door_})
        for (size_t i = 0; h && i < h->peerCount; ++i)
            if (h->peers[i].state == ENET_PEER_STATE_CONNECTED && !Settled(&h->peers[i])) return true;
    return false;
}

uint32_t Transport::SilentMs(Peer* peer) const {
    if (!peer) return 0xFFFFFFFFu;
    const uint32_t now = enet_time_get();
    uint32_t silent = ENET_TIME_DIFFERENCE(now, peer->lastReceiveTime);
    // Not before the connection was made.
    const std::vector<uint32_t>* since = peer->host == session_ ? &sinceSession_ : peer->host == door_ ? &sinceDoor_ : nullptr;
    if (since) silent = std::min(silent, ENET_TIME_DIFFERENCE(now, (*since)[static_cast<size_t>(peer - peer->host->peers)]));
    return silent;
}

Address Transport::AddressOf(Peer* peer) const { return peer ? Address{peer->address.host, peer->address.port} : Address{}; }

void Transport::Wait(int ms, int wakeFd) {
    pollfd fds[3];
    nfds_t n = 0;
    if (session_) fds[n++] = {session_->socket, POLLIN, 0};
    if (door_) fds[n++] = {door_->socket, POLLIN, 0};
    if (wakeFd >= 0) fds[n++] = {wakeFd, POLLIN, 0};
    poll(fds, n, ms < 0 ? 0 : ms);
}

bool Transport::ServiceHost(ENetHost* h, Handler& handler) {
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
            for (const Datagram& d : list) handler.OnDatagram(d.door, d.from, d.data.data(), d.data.size());
            t_servicing = this;
            any = true;
        }
        if (r <= 0) break;
        any = true;
        t_servicing = nullptr;
        switch (ev.type) {
        case ENET_EVENT_TYPE_CONNECT:
            Tune(ev.peer);
            // ENet narrows what may be in flight when datagrams get lost; then the
            // keep-alives and their acknowledgements wait behind packets that are sent
            // again, and a live connection looks silent. The window stays open.
            enet_peer_throttle_configure(ev.peer, ENET_PEER_PACKET_THROTTLE_INTERVAL,
                                         ENET_PEER_PACKET_THROTTLE_ACCELERATION, 0);
            handler.OnConnect(ev.peer);
            break;
        case ENET_EVENT_TYPE_DISCONNECT:
            handler.OnDisconnect(ev.peer, ev.data);
            break;
        case ENET_EVENT_TYPE_RECEIVE:
            if (PacketTap tap = g_tap.load()) tap(ev.packet->data, ev.packet->dataLength);
            handler.OnPacket(ev.peer, ev.packet->data, ev.packet->dataLength);
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

bool Transport::Service(Handler& handler) {
    bool any = false;
    if (session_) any |= ServiceHost(session_, handler);
    if (door_) any |= ServiceHost(door_, handler);
    return any;
}

void Transport::Flush() {
    for (ENetHost* h : {session_, door_})
        if (h) {
            enet_host_flush(h);
            CapResends(h);
        }
}

void Transport::Watch(ENetHost* h, std::vector<double>& seen, double nowMs, std::vector<Pending>& out) {
    for (size_t i = 0; i < h->peerCount; ++i) {
        ENetPeer* p = &h->peers[i];
        bool incoming = p->state == ENET_PEER_STATE_ACKNOWLEDGING_CONNECT ||
                        p->state == ENET_PEER_STATE_CONNECTION_SUCCEEDED;
        if (!incoming) {
            seen[i] = -1;
            continue;
        }
        if (seen[i] < 0) seen[i] = nowMs;
        out.push_back({p, nowMs - seen[i], p->address.host});
    }
}

std::vector<Transport::Pending> Transport::PendingIncoming(double nowMs) {
    std::vector<Pending> out;
    if (session_) Watch(session_, seenSession_, nowMs, out);
    if (door_) Watch(door_, seenDoor_, nowMs, out);
    return out;
}

}  // namespace net
