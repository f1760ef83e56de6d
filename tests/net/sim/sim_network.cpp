#include "sim/sim_network.h"

#include <arpa/inet.h>
#include <enet/enet.h>

#include <algorithm>
#include <cstring>

namespace netsim {

namespace {
Network* g_network = nullptr;
// A socket holds this many datagrams that were not read; more are lost, as they are
// when a real socket's buffer is full.
constexpr size_t kSocketQueue = 4096;
}  // namespace

Network::Network(uint64_t seed) : rng(seed) { g_network = this; }

Network::~Network() {
    if (g_network == this) g_network = nullptr;
}

Network* Network::Current() { return g_network; }

void Network::Cut(int from, int to, bool cut) {
    if (cut) {
        cuts_.insert({from, to});
    } else {
        cuts_.erase({from, to});
        Release();
    }
}

uint32_t Network::NextArrival() const {
    uint32_t next = flight_.empty() ? UINT32_MAX : flight_.front().at;
    if (!streams_.empty()) next = std::min(next, streams_.front().at);
    return next;
}

void Network::Insert(StreamItem item) {
    uint32_t& last = wayLast_[item.way];
    item.at = std::max(item.at, last);
    last = item.at;
    item.order = order_++;
    auto at = std::upper_bound(streams_.begin(), streams_.end(), item, [](const StreamItem& a, const StreamItem& b) {
        return a.at != b.at ? a.at < b.at : a.order < b.order;
    });
    streams_.insert(at, std::move(item));
}

void Network::PutStream(uint64_t way, int from, int owner, std::function<void()> deliver) {
    std::uniform_int_distribution<uint32_t> delay(faults.minDelayMs, std::max(faults.minDelayMs, faults.maxDelayMs));
    StreamItem item;
    item.at = now + std::max<uint32_t>(1, delay(rng));
    item.way = way;
    item.from = from;
    item.owner = owner;
    item.deliver = std::move(deliver);
    Insert(std::move(item));
}

void Network::DropWay(uint64_t way) {
    std::erase_if(streams_, [&](const StreamItem& i) { return i.way == way; });
    std::erase_if(held_, [&](const StreamItem& i) { return i.way == way; });
    wayLast_.erase(way);
}

// What waited on ways that are mended goes on, in the order it was sent.
void Network::Release() {
    std::deque<StreamItem> still;
    std::set<uint64_t> waiting;
    for (StreamItem& i : held_) {
        if (waiting.count(i.way) || IsCut(i.from, i.owner)) {
            waiting.insert(i.way);
            still.push_back(std::move(i));
            continue;
        }
        i.at = now + 1;
        Insert(std::move(i));
    }
    held_ = std::move(still);
}

uint32_t Network::Arrive(uint32_t t) {
    uint32_t got = 0;
    while (!streams_.empty() && streams_.front().at <= t) {
        StreamItem i = std::move(streams_.front());
        streams_.pop_front();
        const bool behind = std::any_of(held_.begin(), held_.end(), [&](const StreamItem& h) { return h.way == i.way; });
        if (behind || IsCut(i.from, i.owner)) {
            held_.push_back(std::move(i));
            continue;
        }
        if (i.owner >= 0 && i.owner < 32) got |= 1u << i.owner;
        i.deliver();
    }
    while (!flight_.empty() && flight_.front().at <= t) {
        std::pop_heap(flight_.begin(), flight_.end());
        Datagram d = std::move(flight_.back());
        flight_.pop_back();
        auto take = [&](Socket& s) {
            if (IsCut(d.from, s.owner) || s.inbox.size() >= kSocketQueue) return false;
            if (s.owner >= 0 && s.owner < 32) got |= 1u << s.owner;
            return true;
        };
        if (!d.broadcast) {
            auto b = bound_.find(d.toPort);
            if (b == bound_.end()) continue;
            Socket& s = sockets_[b->second];
            if (take(s)) s.inbox.push_back(std::move(d));
            continue;
        }
        for (auto& [fd, s] : sockets_)
            if (s.port == d.toPort && s.owner != d.from && take(s)) s.inbox.push_back(d);
    }
    return got;
}

void Network::Put(Datagram d) {
    std::uniform_real_distribution<double> unit(0, 1);
    if (unit(rng) < faults.drop) return;
    const int copies = unit(rng) < faults.duplicate ? 2 : 1;
    for (int i = 0; i < copies; ++i) {
        std::uniform_int_distribution<uint32_t> delay(faults.minDelayMs,
                                                      std::max(faults.minDelayMs, faults.maxDelayMs));
        d.at = now + std::max<uint32_t>(1, delay(rng));
        d.order = order_++;
        if (i + 1 < copies)
            flight_.push_back(d);
        else
            flight_.push_back(std::move(d));
        std::push_heap(flight_.begin(), flight_.end());
    }
}

int Network::Create() {
    const int fd = nextFd_++;
    sockets_[fd].owner = current;
    return fd;
}

bool Network::Bind(int fd, uint16_t port) {
    auto s = sockets_.find(fd);
    if (s == sockets_.end() || s->second.port) return false;
    if (!port) {
        while (bound_.count(nextPort_)) ++nextPort_;
        port = nextPort_++;
    }
    if (bound_.count(port)) return false;
    bound_[port] = fd;
    s->second.port = port;
    return true;
}

uint16_t Network::PortOf(int fd) const {
    auto s = sockets_.find(fd);
    return s == sockets_.end() ? 0 : s->second.port;
}

int Network::Send(int fd, uint32_t ip, uint16_t port, const uint8_t* data, size_t size) {
    auto s = sockets_.find(fd);
    if (s == sockets_.end()) return -1;
    if (!s->second.port) Bind(fd, 0);
    Datagram d;
    d.from = s->second.owner;
    d.fromPort = s->second.port;
    d.toPort = port;
    d.broadcast = ip == htonl(INADDR_BROADCAST);
    if (!d.broadcast && ip != htonl(INADDR_LOOPBACK)) return static_cast<int>(size);  // nobody there
    d.data.assign(data, data + size);
    ++datagramsSent;
    Put(std::move(d));
    return static_cast<int>(size);
}

int Network::Receive(int fd, uint32_t& ip, uint16_t& port, uint8_t* out, size_t room) {
    auto s = sockets_.find(fd);
    if (s == sockets_.end() || s->second.inbox.empty()) return 0;
    Datagram d = std::move(s->second.inbox.front());
    s->second.inbox.pop_front();
    ip = htonl(INADDR_LOOPBACK);
    port = d.fromPort;
    const size_t n = std::min(room, d.data.size());
    std::memcpy(out, d.data.data(), n);
    return static_cast<int>(n);
}

void Network::Destroy(int fd) {
    auto s = sockets_.find(fd);
    if (s == sockets_.end()) return;
    if (s->second.port) bound_.erase(s->second.port);
    sockets_.erase(s);
}

}  // namespace netsim

// ---- ENet's way to the operating system, replaced -------------------------------------------

using netsim::Network;

extern "C" {

enet_uint32 enet_time_get(void) { return Network::Current() ? Network::Current()->now : 0; }
void enet_time_set(enet_uint32) {}
enet_uint32 enet_host_random_seed(void) { return 0x5EED; }

ENetSocket enet_socket_create(ENetSocketType type) {
    if (type != ENET_SOCKET_TYPE_DATAGRAM || !Network::Current()) return ENET_SOCKET_NULL;
    return Network::Current()->Create();
}

int enet_socket_bind(ENetSocket socket, const ENetAddress* address) {
    return Network::Current()->Bind(socket, address ? address->port : 0) ? 0 : -1;
}

int enet_socket_get_address(ENetSocket socket, ENetAddress* address) {
    address->host = htonl(INADDR_LOOPBACK);
    address->port = Network::Current()->PortOf(socket);
    return 0;
}

int enet_socket_listen(ENetSocket, int) { return -1; }
ENetSocket enet_socket_accept(ENetSocket, ENetAddress*) { return ENET_SOCKET_NULL; }
int enet_socket_connect(ENetSocket, const ENetAddress*) { return -1; }
int enet_socket_set_option(ENetSocket, ENetSocketOption, int) { return 0; }
int enet_socket_get_option(ENetSocket, ENetSocketOption, int* value) {
    *value = 0;
    return 0;
}
int enet_socket_shutdown(ENetSocket, ENetSocketShutdown) { return 0; }

void enet_socket_destroy(ENetSocket socket) {
    if (Network::Current()) Network::Current()->Destroy(socket);
}

int enet_socket_send(ENetSocket socket, const ENetAddress* address, const ENetBuffer* buffers, size_t count) {
    uint8_t packet[65536];
    size_t n = 0;
    for (size_t i = 0; i < count; ++i) {
        if (n + buffers[i].dataLength > sizeof packet) return -1;
        std::memcpy(packet + n, buffers[i].data, buffers[i].dataLength);
        n += buffers[i].dataLength;
    }
    return Network::Current()->Send(socket, address->host, address->port, packet, n);
}

int enet_socket_receive(ENetSocket socket, ENetAddress* address, ENetBuffer* buffers, size_t count) {
    if (count != 1) return -1;
    uint32_t ip = 0;
    uint16_t port = 0;
    const int n =
        Network::Current()->Receive(socket, ip, port, static_cast<uint8_t*>(buffers[0].data), buffers[0].dataLength);
    if (n > 0 && address) {
        address->host = ip;
        address->port = port;
    }
    return n;
}

// Nothing waits in simulated time: the scheduler steps a program when something is due.
int enet_socket_wait(ENetSocket, enet_uint32* condition, enet_uint32) {
    *condition = ENET_SOCKET_WAIT_NONE;
    return 0;
}

int enet_socketset_select(ENetSocket, ENetSocketSet*, ENetSocketSet*, enet_uint32) { return 0; }

}  // extern "C"
