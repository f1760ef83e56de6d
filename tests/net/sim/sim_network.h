// The simulated network: every program of a simulated session runs in this one process
// and thread, and ENet's sockets and clock are this network's. ENet itself is the
// system's own: only the functions through which it reaches the operating system
// (enet_socket_*, enet_time_get) are replaced, by definitions in this binary that the
// dynamic linker prefers to the library's own.
//
// Every program is at 127.0.0.1; a datagram goes from one socket to the socket bound to
// its port, after a delay, unless it is lost on the way or the link between the two
// programs is cut. WebSocket connections (sim_websockets.h) are streams: what goes over one
// arrives whole and in order after a delay, waits while the way is cut, and goes on once
// it is mended; a connection may also break. Everything random comes from one seeded
// generator, so a schedule runs the same every time.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <vector>

namespace netsim {

struct LinkFaults {
    double drop = 0;       // the share of datagrams lost
    double duplicate = 0;  // the share of datagrams that arrive twice
    uint32_t minDelayMs = 1, maxDelayMs = 1;
};

class Network {
public:
    explicit Network(uint64_t seed);  // becomes the network ENet uses
    ~Network();
    Network(const Network&) = delete;
    Network& operator=(const Network&) = delete;

    uint32_t now = 0;  // milliseconds
    int current = -1;  // the program whose code runs (it owns the sockets it makes)
    LinkFaults faults;
    std::mt19937_64 rng;

    // Cuts (or mends) the way from one program to another.
    void Cut(int from, int to, bool cut);
    void HealAll() {
        cuts_.clear();
        Release();
    }
    bool IsCut(int from, int to) const { return cuts_.count({from, to}) > 0; }

    // When the next datagram arrives (UINT32_MAX: none is under way).
    uint32_t NextArrival() const;
    // Hands the sockets what arrives by `t`; returns the programs that got something (bit
    // p for program p).
    uint32_t Arrive(uint32_t t);
    uint64_t datagramsSent = 0;  // every datagram a socket sent, lost or not

    // The socket calls.
    int Create();
    bool Bind(int fd, uint16_t port);
    uint16_t PortOf(int fd) const;
    int Send(int fd, uint32_t ip, uint16_t port, const uint8_t* data, size_t size);
    // Copies the next datagram into `out` (at most `room` bytes); its length, or 0.
    int Receive(int fd, uint32_t& ip, uint16_t& port, uint8_t* out, size_t room);
    void Destroy(int fd);

    static Network* Current();

    // ---- WebSocket streams (sim_websockets.h) ----
    // Something for the end `to` of a stream from program `from`: it arrives after a
    // delay, after everything sent that way before, and not while the way is cut.
    // `deliver` runs when it arrives (the program `owner` then has something to do).
    void PutStream(uint64_t way, int from, int owner, std::function<void()> deliver);
    // Every stream that goes nowhere any more: what is under way for it is dropped.
    void DropWay(uint64_t way);

private:
    struct Datagram {
        uint32_t at = 0;
        uint64_t order = 0;
        int from = -1;
        uint16_t fromPort = 0, toPort = 0;
        bool broadcast = false;
        std::vector<uint8_t> data;
        // Later: the heap of datagrams under way has the next to arrive on top.
        bool operator<(const Datagram& o) const { return at != o.at ? at > o.at : order > o.order; }
    };
    struct Socket {
        int owner = -1;
        uint16_t port = 0;
        std::deque<Datagram> inbox;
    };
    void Put(Datagram d);

    std::map<int, Socket> sockets_;
    std::map<uint16_t, int> bound_;
    std::set<std::pair<int, int>> cuts_;
    std::vector<Datagram> flight_;  // a heap (std::push_heap)
    struct StreamItem {
        uint32_t at = 0;
        uint64_t order = 0;
        uint64_t way = 0;
        int from = -1, owner = -1;
        std::function<void()> deliver;
    };
    std::deque<StreamItem> streams_;  // in the order they arrive
    std::map<uint64_t, uint32_t> wayLast_;  // when the last thing sent each way arrives
    std::deque<StreamItem> held_;           // waiting for a cut way to be mended, in order
    void Release();
    void Insert(StreamItem item);
    int nextFd_ = 1000;
    uint16_t nextPort_ = 40000;
    uint64_t order_ = 0;
};

}  // namespace netsim
