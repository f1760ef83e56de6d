#include "net/kwnetwork.h"

#include <enet/enet.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/timing.h"
#include "core/wait.h"

KWNetwork* pKWNet = nullptr;

namespace {

// {126E6180-D307-11D0-9C4F-00A0C905425E}
constexpr net::AppId kApplicationId = {0x12, 0x6E, 0x61, 0x80, 0xD3, 0x07, 0x11, 0xD0,
                                       0x9C, 0x4F, 0x00, 0xA0, 0xC9, 0x05, 0x42, 0x5E};

constexpr double kJoinWaitMs = 3000;       // a join waits this long for the host's welcome
constexpr double kSearchMs = 1500;         // a search without an address asks this long
constexpr double kSearchRepeatMs = 250;
constexpr double kCreateWaitMs = 3000;     // a joiner waits this long for a new player's id
constexpr double kHelloWaitMs = 5000;      // a new connection must say hello within this
constexpr double kRejoinWaitMs = 5000;     // a new host waits this long for the old peers
constexpr double kCandidateWaitMs = 4000;  // a peer waits this long for the next host
constexpr enet_uint32 kTimeoutMinMs = 1000, kTimeoutMaxMs = 2500, kPingMs = 250;
constexpr size_t kMaxPacket = 128 * 1024;
constexpr size_t kMaxWaitingData = 8 * 1024 * 1024;
constexpr size_t kMaxInboxBytes = 64 * 1024 * 1024;
constexpr size_t kMaxOutbox = 4096;

// The network whose connection is being serviced: the search datagrams that arrive
// meanwhile are handed to it.
KWNetwork* g_servicing = nullptr;

uint32_t PeerIdOf(const ENetPeer* peer) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(peer->data));
}

bool Loopback(uint32_t ipv4) { return (ENET_NET_TO_HOST_32(ipv4) >> 24) == 127; }

// "name" or "name:port"; the port defaults to the session port.
bool ResolveAddress(const char* text, uint16_t defaultPort, ENetAddress* out) {
    std::string host = text;
    out->port = defaultPort;
    size_t colon = host.rfind(':');
    if (colon != std::string::npos) {
        char* end = nullptr;
        long p = std::strtol(host.c_str() + colon + 1, &end, 10);
        if (colon + 1 == host.size() || *end || p < 1 || p > 65535) return false;
        out->port = static_cast<uint16_t>(p);
        host.resize(colon);
    }
    return !host.empty() && enet_address_set_host(out, host.c_str()) == 0;
}

}  // namespace

// Hands ENet's raw datagrams to the network being serviced: search datagrams are ours,
// everything else goes on to ENet.
struct KWNetworkEvents {
    static int ENET_CALLBACK Intercept(ENetHost* host, ENetEvent*) {
        KWNetwork* net = g_servicing;
        if (!net || (net->session_ != host && net->door_ != host)) return 0;
        const uint8_t* d = host->receivedData;
        size_t n = host->receivedDataLength;
        if (n < 4 || std::memcmp(d, "TLVN", 4) != 0) return 0;
        net->OnSearch(host, d, n, host->receivedAddress.host, host->receivedAddress.port);
        return 1;
    }
};

KWNetwork::KWNetwork(uint16_t port) : port_(port), app_(kApplicationId) { enetReady_ = enet_initialize() == 0; }

KWNetwork::~KWNetwork() {
    CleanUp();
    if (enetReady_) enet_deinitialize();
}

void KWNetwork::CleanUp() {
    for (ENetHost* h : {session_, door_}) {
        if (!h) continue;
        for (size_t i = 0; i < h->peerCount; ++i) {
            ENetPeer* p = &h->peers[i];
            if (p->state != ENET_PEER_STATE_DISCONNECTED) enet_peer_disconnect_now(p, 0);
        }
        enet_host_flush(h);
    }
    ReleaseSession();
}

void KWNetwork::ReleaseSession() {
    if (session_) enet_host_destroy(session_);
    if (door_) enet_host_destroy(door_);
    session_ = door_ = nullptr;
    me_ = host_ = 0;
    nextPlayer_ = nextPeer_ = 1;
    peers_.clear();
    players_.clear();
    links_.clear();
    fresh_.clear();
    stashed_.clear();
    awaited_.clear();
    hostLink_ = nullptr;
    welcomed_ = refused_ = linkLost_ = reconnecting_ = false;
    outbox_.clear();
    createAnswered_ = false;
    searching_ = found_ = false;
    inbox_.clear();
    inboxBytes_ = 0;
}

int KWNetwork::Init(const KWCONNECTION_INFO& info) {
    state_ = kNotConnected;
    CleanUp();
    connection_ = info;
    connection_.sessionName[sizeof connection_.sessionName - 1] = 0;
    connection_.address[sizeof connection_.address - 1] = 0;
    state_ = kConnecting;
    return DoHostOrJoin();
}

int KWNetwork::DoHostOrJoin() {
    if (!enetReady_) return kNoNetwork;
    if (connection_.connectionType != 0) return kUnsupportedType;
    int r = connection_.hostFlag ? Host() : Join();
    if (r != kOk) CleanUp();  // the state stays "connecting": no session
    return r;
}

bool KWNetwork::IsSetup() const { return (state_ == kHosting || state_ == kJoined) && session_; }

// ---- hosting and joining ---------------------------------------------------------------

static void Configure(ENetHost* h) {
    h->maximumPacketSize = kMaxPacket;
    h->maximumWaitingData = kMaxWaitingData;
    h->intercept = KWNetworkEvents::Intercept;
}

int KWNetwork::Host() {
    ENetAddress addr{ENET_HOST_ANY, port_};
    session_ = enet_host_create(&addr, net::kMaxPeers, 1, 0, 0);
    if (!session_) return kCannotListen;
    Configure(session_);
    me_ = host_ = 1;
    nextPeer_ = 2;
    peers_ = {net::PeerEntry{1, 0, 0}};
    state_ = kHosting;
    return kOk;
}

int KWNetwork::Join() {
    ENetAddress any{ENET_HOST_ANY, 0};
    session_ = enet_host_create(&any, net::kMaxPeers, 1, 0, 0);
    if (!session_) return kNoNetwork;
    Configure(session_);
    ENetAddress target{};
    if (connection_.address[0]) {
        if (!ResolveAddress(connection_.address, port_, &target)) return kNotFound;
    } else if (!Search(&target.host, &target.port)) {
        return kNotFound;
    }
    hostIp_ = target.host;
    hostLink_ = enet_host_connect(session_, &target, 1, net::kVersion);
    if (!hostLink_) return kNotFound;
    WaitFor(kJoinWaitMs, [](const KWNetwork& n) { return n.welcomed_ || n.refused_ || n.linkLost_; });
    if (!welcomed_) return refused_ ? kRefused : kNotFound;
    state_ = kJoined;
    return kOk;
}

// Asks on the local machine, and unless switched off by broadcast on the local
// network, for a host of this application and session name.
bool KWNetwork::Search(uint32_t* ip, uint16_t* port) {
    std::string ask = net::EncodeSearch({false, app_, connection_.sessionName});
    ENetBuffer buf{ask.data(), ask.size()};
    searching_ = true;
    found_ = false;
    double end = __ClockMs() + kSearchMs, nextAsk = 0;
    while (!found_ && __ClockMs() < end) {
        if (__ClockMs() >= nextAsk) {
            ENetAddress local{0, port_};
            enet_address_set_host_ip(&local, "127.0.0.1");
            enet_socket_send(session_->socket, &local, &buf, 1);
            if (lanSearch_) {
                ENetAddress all{ENET_HOST_BROADCAST, port_};
                enet_socket_send(session_->socket, &all, &buf, 1);
            }
            nextAsk = __ClockMs() + kSearchRepeatMs;
        }
        __WaitStep(0);
        Pump(5);
    }
    searching_ = false;
    *ip = foundIp_;
    *port = foundPort_;
    return found_;
}

void KWNetwork::OnSearch(ENetHost* socket, const uint8_t* data, size_t size, uint32_t ip, uint16_t port) {
    auto s = net::DecodeSearch(data, size);
    if (!s || s->app != app_ || s->name != connection_.sessionName) return;
    if (!s->answer && state_ == kHosting) {
        std::string answer = net::EncodeSearch({true, app_, connection_.sessionName});
        ENetBuffer buf{answer.data(), answer.size()};
        ENetAddress to{ip, port};
        enet_socket_send(socket->socket, &to, &buf, 1);
    } else if (s->answer && searching_ && !found_) {
        found_ = true;
        foundIp_ = ip;
        foundPort_ = port;
    }
}

// Services the connection until done() holds or the time is up, keeping the window
// responsive. True when done() held.
bool KWNetwork::WaitFor(double ms, bool (*done)(const KWNetwork&)) {
    double end = __ClockMs() + ms;
    while (!done(*this)) {
        if (__ClockMs() >= end || !session_) return false;
        __WaitStep(0);
        Pump(2);
    }
    return true;
}

// ---- servicing ---------------------------------------------------------------------------

void KWNetwork::Service() { Pump(0); }

void KWNetwork::Pump(uint32_t waitMs) {
    if (!session_) return;
    KWNetwork* outer = g_servicing;
    g_servicing = this;
    for (ENetHost* h : {session_, door_}) {
        if (!h) continue;
        ENetEvent ev;
        for (int r = enet_host_service(h, &ev, h == session_ ? waitMs : 0); r > 0 && session_;
             r = enet_host_service(h, &ev, 0))
            Dispatch(ev);
    }
    if (session_) {
        CheckTimers();
        enet_host_flush(session_);
        if (door_) enet_host_flush(door_);
    }
    g_servicing = outer;
}

void KWNetwork::Dispatch(ENetEvent& ev) {
    switch (ev.type) {
    case ENET_EVENT_TYPE_CONNECT:
        OnConnect(ev.peer, ev.data);
        break;
    case ENET_EVENT_TYPE_DISCONNECT:
        OnDisconnect(ev.peer);
        break;
    case ENET_EVENT_TYPE_RECEIVE:
        OnPacket(ev.peer, ev.packet->data, ev.packet->dataLength);
        enet_packet_destroy(ev.packet);
        break;
    default:
        break;
    }
}

void KWNetwork::OnConnect(ENetPeer* peer, uint32_t data) {
    enet_peer_timeout(peer, ENET_PEER_TIMEOUT_LIMIT, kTimeoutMinMs, kTimeoutMaxMs);
    enet_peer_ping_interval(peer, kPingMs);
    if (peer == hostLink_) {
        net::Hello h{app_, reconnecting_ ? me_ : 0, connection_.sessionName};
        Send(peer, net::EncodeHello(h));
        return;
    }
    peer->data = nullptr;
    if (data != net::kVersion) {
        enet_peer_disconnect_now(peer, 0);
        return;
    }
    fresh_[peer] = __ClockMs() + kHelloWaitMs;
}

void KWNetwork::OnDisconnect(ENetPeer* peer) {
    if (peer == hostLink_) {
        hostLink_ = nullptr;
        if (state_ != kJoined) {
            linkLost_ = true;  // a join that did not come through
        } else if (reconnecting_) {
            RemovePeer(candidate_);
            TryNextHost();
        } else {
            HostLost();
        }
        return;
    }
    fresh_.erase(peer);
    stashed_.erase(peer);
    uint32_t id = PeerIdOf(peer);
    peer->data = nullptr;
    if (id && state_ == kHosting) {
        RemovePeer(id);
        BroadcastState();
    }
}

void KWNetwork::OnPacket(ENetPeer* peer, const uint8_t* data, size_t size) {
    auto type = net::PacketType(data, size);
    if (!type) return;
    if (peer == hostLink_) {
        JoinerPacket(data, size);
        return;
    }
    uint32_t id = PeerIdOf(peer);
    if (id) {
        if (state_ == kHosting) HostPacket(id, data, size);
        return;
    }
    // A connection that has not said hello: only a hello counts. One that comes while
    // we are not (yet) the host waits until we are, or until its time is up.
    if (*type != net::Type::Hello || !fresh_.count(peer)) return;
    auto h = net::DecodeHello(data, size);
    if (!h) return;
    if (state_ == kHosting) HostHello(peer, *h);
    else stashed_[peer] = *h;
}

void KWNetwork::CheckTimers() {
    double now = __ClockMs();
    for (auto it = fresh_.begin(); it != fresh_.end();) {
        if (now >= it->second) {
            stashed_.erase(it->first);
            enet_peer_disconnect_now(it->first, 0);
            it = fresh_.erase(it);
        } else {
            ++it;
        }
    }
    if (state_ == kHosting) {
        bool gone = false;
        for (auto it = awaited_.begin(); it != awaited_.end();) {
            if (now >= it->second) {
                uint32_t id = it->first;
                it = awaited_.erase(it);
                RemovePeer(id);
                gone = true;
            } else {
                ++it;
            }
        }
        if (gone) BroadcastState();
    } else if (state_ == kJoined && reconnecting_ && now >= candidateDeadline_) {
        if (hostLink_) enet_peer_reset(hostLink_);
        hostLink_ = nullptr;
        RemovePeer(candidate_);
        TryNextHost();
    }
}

void KWNetwork::Send(ENetPeer* peer, const std::string& packet) {
    if (!peer) return;
    ENetPacket* p = enet_packet_create(packet.data(), packet.size(), ENET_PACKET_FLAG_RELIABLE);
    if (p && enet_peer_send(peer, 0, p) != 0) enet_packet_destroy(p);
}

// ---- the host's side ---------------------------------------------------------------------

void KWNetwork::HostHello(ENetPeer* peer, const net::Hello& h) {
    fresh_.erase(peer);
    net::Refusal why{};
    if (h.app != app_) why = net::Refusal::WrongApplication;
    else if (h.name != connection_.sessionName) why = net::Refusal::WrongName;
    else if (peers_.size() >= net::kMaxPeers) why = net::Refusal::Full;
    if (why != net::Refusal{}) {
        Send(peer, net::EncodeRefuse(why));
        enet_peer_disconnect_later(peer, 0);
        return;
    }
    uint32_t id = h.rejoinPeer;
    if (!id || !awaited_.erase(id)) {
        id = nextPeer_++;
        if (nextPeer_ == 0) nextPeer_ = 1;
    }
    auto it = std::find_if(peers_.begin(), peers_.end(), [&](const net::PeerEntry& p) { return p.id == id; });
    if (it == peers_.end()) it = peers_.insert(peers_.end(), net::PeerEntry{id, 0, 0});
    it->ipv4 = peer->address.host;
    it->port = peer->address.port;
    peer->data = reinterpret_cast<void*>(static_cast<uintptr_t>(id));
    links_[id] = peer;
    BroadcastState();
}

// Handles a packet from a peer (or, after a migration, what this program queued for
// the host it lost).
void KWNetwork::HostPacket(uint32_t from, const uint8_t* data, size_t size) {
    switch (*net::PacketType(data, size)) {
    case net::Type::Create:
        if (auto c = net::DecodeCreate(data, size)) {
            uint32_t id = HostCreate(from, c->second);
            if (from == me_) {
                createAnswered_ = c->first == createToken_;
                createdId_ = id;
            } else {
                auto link = links_.find(from);
                if (link != links_.end()) Send(link->second, net::EncodeCreated(c->first, id));
            }
        }
        break;
    case net::Type::Destroy:
        if (auto id = net::DecodeDestroy(data, size)) HostDestroy(from, *id);
        break;
    case net::Type::Message:
        if (auto m = net::DecodeMessage(data, size)) Route(from, m->from, m->to, m->text);
        break;
    default:
        break;  // not for the host
    }
}

uint32_t KWNetwork::HostCreate(uint32_t owner, const std::string& name) {
    if (players_.size() >= net::kMaxPlayers) return 0;
    uint32_t id = nextPlayer_++;
    if (nextPlayer_ == 0) nextPlayer_ = 1;
    players_.push_back({id, owner, name.substr(0, net::kMaxPlayerName)});
    BroadcastState();
    return id;
}

void KWNetwork::HostDestroy(uint32_t owner, uint32_t id) {
    for (size_t i = 0; i < players_.size(); ++i)
        if (players_[i].id == id && players_[i].owner == owner) {
            RemovePlayer(i);
            BroadcastState();
            return;
        }
}

// A message from a player of peer `sender`: dropped unless that peer created the
// player; to 0 it goes to every other player.
void KWNetwork::Route(uint32_t sender, uint32_t from, uint32_t to, std::string_view text) {
    const net::PlayerEntry* src = FindPlayer(from);
    if (!src || src->owner != sender) return;
    for (const net::PlayerEntry& p : players_) {
        if (to ? p.id != to : p.id == from) continue;
        if (p.owner == me_) {
            Enqueue(p.id, text);
        } else if (auto link = links_.find(p.owner); link != links_.end()) {
            Send(link->second, net::EncodeMessage(from, p.id, text));
        }
    }
}

void KWNetwork::BroadcastState() {
    if (state_ != kHosting) return;
    net::State s{0, me_, nextPlayer_, nextPeer_, peers_, players_};
    for (auto& [id, link] : links_) {
        s.you = id;
        Send(link, net::EncodeState(s));
    }
}

// This program takes over the session: it waits a while for the other peers to come
// back, answers those that already asked, and handles what it had queued for the host.
void KWNetwork::BecomeHost() {
    state_ = kHosting;
    host_ = me_;
    reconnecting_ = false;
    hostLink_ = nullptr;
    if (session_->address.port != port_ && !door_) {
        ENetAddress addr{ENET_HOST_ANY, port_};
        door_ = enet_host_create(&addr, net::kMaxPeers, 1, 0, 0);
        if (door_) Configure(door_);
    }
    double until = __ClockMs() + kRejoinWaitMs;
    for (const net::PeerEntry& p : peers_)
        if (p.id != me_) awaited_[p.id] = until;
    auto waiting = std::move(stashed_);
    stashed_.clear();
    for (auto& [peer, hello] : waiting) HostHello(peer, hello);
    auto queued = std::move(outbox_);
    outbox_.clear();
    for (const std::string& packet : queued)
        if (net::PacketType(reinterpret_cast<const uint8_t*>(packet.data()), packet.size()))
            HostPacket(me_, reinterpret_cast<const uint8_t*>(packet.data()), packet.size());
    BroadcastState();
}

// ---- the joiner's side -------------------------------------------------------------------

void KWNetwork::JoinerPacket(const uint8_t* data, size_t size) {
    switch (*net::PacketType(data, size)) {
    case net::Type::State:
        if (auto s = net::DecodeState(data, size)) {
            me_ = s->you;
            host_ = s->host;
            nextPlayer_ = s->nextPlayer;
            nextPeer_ = s->nextPeer;
            peers_ = std::move(s->peers);
            players_ = std::move(s->players);
            for (auto it = inbox_.begin(); it != inbox_.end();) {
                if (Mine(it->first)) {
                    ++it;
                    continue;
                }
                for (const std::string& m : it->second) inboxBytes_ -= m.size();
                it = inbox_.erase(it);
            }
            welcomed_ = true;
            if (reconnecting_) {
                reconnecting_ = false;
                auto queued = std::move(outbox_);
                outbox_.clear();
                for (std::string& p : queued) SendToHost(std::move(p));
            }
        }
        break;
    case net::Type::Refuse:
        if (net::DecodeRefuse(data, size)) refused_ = true;
        break;
    case net::Type::Created:
        if (auto c = net::DecodeCreated(data, size); c && c->first == createToken_) {
            createAnswered_ = true;
            createdId_ = c->second;
        }
        break;
    case net::Type::Message:
        if (auto m = net::DecodeMessage(data, size); m && Mine(m->to)) Enqueue(m->to, m->text);
        break;
    default:
        break;
    }
}

void KWNetwork::SendToHost(std::string packet) {
    if (state_ == kHosting) {
        HostPacket(me_, reinterpret_cast<const uint8_t*>(packet.data()), packet.size());
    } else if (hostLink_ && !reconnecting_) {
        Send(hostLink_, packet);
    } else if (outbox_.size() < kMaxOutbox) {
        outbox_.push_back(std::move(packet));
    }
}

void KWNetwork::HostLost() {
    RemovePeer(host_);
    reconnecting_ = true;
    TryNextHost();
}

// The oldest remaining peer becomes the host: this program, or one it connects to.
void KWNetwork::TryNextHost() {
    while (!peers_.empty()) {
        auto next = std::min_element(peers_.begin(), peers_.end(),
                                     [](const net::PeerEntry& a, const net::PeerEntry& b) { return a.id < b.id; });
        if (next->id == me_) {
            BecomeHost();
            return;
        }
        // An address on the old host's own machine is reached at the old host's address.
        ENetAddress addr{next->ipv4, next->port};
        if (Loopback(addr.host) && !Loopback(hostIp_)) addr.host = hostIp_;
        candidate_ = next->id;
        hostLink_ = enet_host_connect(session_, &addr, 1, net::kVersion);
        if (hostLink_) {
            candidateDeadline_ = __ClockMs() + kCandidateWaitMs;
            host_ = candidate_;
            return;
        }
        RemovePeer(candidate_);
    }
    BecomeHost();  // nobody left, not even this program's entry: go on alone
}

// ---- the tables ---------------------------------------------------------------------------

void KWNetwork::RemovePeer(uint32_t id) {
    std::erase_if(peers_, [&](const net::PeerEntry& p) { return p.id == id; });
    for (size_t i = players_.size(); i-- > 0;)
        if (players_[i].owner == id) RemovePlayer(i);
    links_.erase(id);
    awaited_.erase(id);
}

void KWNetwork::RemovePlayer(size_t index) {
    auto in = inbox_.find(players_[index].id);
    if (in != inbox_.end()) {
        for (const std::string& m : in->second) inboxBytes_ -= m.size();
        inbox_.erase(in);
    }
    players_.erase(players_.begin() + static_cast<std::ptrdiff_t>(index));
}

const net::PlayerEntry* KWNetwork::FindPlayer(uint32_t id) const {
    for (const net::PlayerEntry& p : players_)
        if (p.id == id) return &p;
    return nullptr;
}

bool KWNetwork::Mine(uint32_t player) const {
    const net::PlayerEntry* p = FindPlayer(player);
    return p && p->owner == me_;
}

void KWNetwork::Enqueue(uint32_t to, std::string_view text) {
    if (inboxBytes_ + text.size() > kMaxInboxBytes) return;  // a flood is cut off
    inbox_[to].emplace_back(text);
    inboxBytes_ += text.size();
}

// ---- players and messages ------------------------------------------------------------------

int KWNetwork::CreatePlayer(const char* name, uint32_t* id) {
    *id = 0;
    if (!IsSetup()) return kNotSetUp;
    std::string n = std::string(name ? name : "").substr(0, net::kMaxPlayerName);
    if (state_ == kHosting) {
        *id = HostCreate(me_, n);
    } else {
        createToken_ = createToken_ + 1 ? createToken_ + 1 : 1;
        createAnswered_ = false;
        createdId_ = 0;
        SendToHost(net::EncodeCreate(createToken_, n));
        WaitFor(kCreateWaitMs, [](const KWNetwork& k) { return k.createAnswered_; });
        if (createAnswered_) *id = createdId_;
    }
    return *id ? kOk : kNoPlayerId;
}

void KWNetwork::DestroyPlayer(uint32_t id) {
    if (!IsSetup() || !Mine(id)) return;
    if (state_ == kHosting) {
        HostDestroy(me_, id);
        return;
    }
    for (size_t i = 0; i < players_.size(); ++i)
        if (players_[i].id == id) RemovePlayer(i);
    SendToHost(net::EncodeDestroy(id));
}

bool KWNetwork::SendMsg(uint32_t from, uint32_t to, const char* text, size_t length) {
    if (!IsSetup()) return false;
    std::string_view t(text ? text : "", text ? std::min(length, net::kMaxText) : 0);
    if (state_ == kHosting) Route(me_, from, to, t);
    else if (to && Mine(to) && Mine(from)) Enqueue(to, t);
    else SendToHost(net::EncodeMessage(from, to, t));
    return true;
}

bool KWNetwork::ReceiveMsg(uint32_t player, char* buffer, size_t size) {
    if (!buffer || !size) return false;
    buffer[0] = 0;
    if (!IsSetup()) return false;
    auto in = inbox_.find(player);
    if (in == inbox_.end() || in->second.empty()) return true;
    std::string m = std::move(in->second.front());
    in->second.pop_front();
    inboxBytes_ -= m.size();
    if (in->second.empty()) inbox_.erase(in);
    size_t n = m.size() < size ? m.size() : 0;
    std::memcpy(buffer, m.data(), n);
    buffer[n] = 0;
    return true;
}

void KWNetwork::GetPlayerName(uint32_t id, char* buffer, size_t size) const {
    if (!buffer || !size) return;
    buffer[0] = 0;
    const net::PlayerEntry* p = IsSetup() ? FindPlayer(id) : nullptr;
    if (!p) return;
    size_t n = std::min(p->name.size(), size - 1);
    std::memcpy(buffer, p->name.data(), n);
    buffer[n] = 0;
}

int KWNetwork::NumPlayers() const { return IsSetup() ? static_cast<int>(players_.size()) : 0; }

uint32_t KWNetwork::GetPlayerID(int index) const {
    if (!IsSetup() || index < 0 || static_cast<size_t>(index) >= players_.size()) return 0;
    return players_[static_cast<size_t>(index)].id;
}

uint32_t KWNetwork::GetHostID() const {
    if (!IsSetup()) return 0;
    for (const net::PlayerEntry& p : players_)
        if (p.owner == host_) return p.id;
    return 0;
}
