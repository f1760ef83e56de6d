#include "sim/stalls.h"

#include <arpa/inet.h>
#include <enet/enet.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace netsim {

namespace {

constexpr int kPrograms = 3;
// The runtime's programs read their messages this often (a game reads once a frame); plain
// ENet's are serviced every millisecond.
constexpr uint32_t kReadEveryMs = 5;

// ---- plain ENet ------------------------------------------------------------------------------

// A message: to u8 (0: the relay), from u8, number u32.
ENetPacket* Message(int to, int from, uint32_t n) {
    uint8_t b[6] = {static_cast<uint8_t>(to), static_cast<uint8_t>(from), 0, 0, 0, 0};
    std::memcpy(b + 2, &n, 4);
    return enet_packet_create(b, sizeof b, ENET_PACKET_FLAG_RELIABLE);
}

// As the session sets up every connection; the window stays open once it is made.
void Tune(ENetPeer* p, bool made) {
    enet_peer_timeout(p, 32, 60000, 60000);
    enet_peer_ping_interval(p, 250);
    if (made)
        enet_peer_throttle_configure(p, ENET_PEER_PACKET_THROTTLE_INTERVAL, ENET_PEER_PACKET_THROTTLE_ACCELERATION, 0);
}

}  // namespace

uint64_t StreamLog::Sent(Key k, uint32_t at) {
    Stream& s = streams_[k];
    if (!s.sent) s.last = at;
    lastSend_ = std::max(lastSend_, at);
    return ++s.sent;
}

void StreamLog::Arrived(Key k, uint64_t n, uint32_t at) {
    Stream& s = streams_[k];
    if (n != s.got + 1) s.ordered = false;
    s.got = std::max(s.got, n);
    s.longest = std::max(s.longest, static_cast<double>(at - s.last));
    s.last = at;
    lastArrival_ = std::max(lastArrival_, at);
}

bool StreamLog::Complete() const {
    return std::all_of(streams_.begin(), streams_.end(),
                       [](const auto& s) { return s.second.ordered && s.second.got == s.second.sent; });
}

StallRun StreamLog::Figures() const {
    StallRun r;
    r.complete = Complete();
    for (const auto& [k, s] : streams_) {
        r.silenceMs = std::max(r.silenceMs, s.longest);
        r.messages += s.sent;
    }
    r.drainMs = r.complete ? static_cast<double>(lastArrival_ - std::min(lastArrival_, lastSend_)) : HUGE_VAL;
    return r;
}

LinkFaults LossyLink(double loss) {
    LinkFaults f;
    f.drop = loss;
    f.minDelayMs = 20;
    f.maxDelayMs = 60;
    return f;
}

// ---- the runtime -----------------------------------------------------------------------------

WorldStreams::WorldStreams(World& w) : w_(w) {
    w_.onRead = [this](int, uint32_t, const std::string& text) {
        const int from = std::atoi(text.c_str()) - 1;
        const uint64_t n = std::strtoull(text.c_str() + text.find('.') + 1, nullptr, 10);
        auto it = sent_.find({from, n});
        if (it != sent_.end()) log.Arrived(it->second.first, it->second.second, w_.net.now);
    };
}

WorldStreams::~WorldStreams() { w_.onRead = nullptr; }

bool WorldStreams::Send(int p, int q) {
    if (w_.Mine(p).size() != 1 || w_.Mine(q).size() != 1 || !w_.Send(p, w_.Mine(p)[0], w_.Mine(q)[0])) return false;
    const StreamLog::Key k{p, q};
    sent_[{p, ++count_[p]}] = {k, log.Sent(k, w_.net.now)};
    return true;
}

void WorldStreams::Run(uint32_t ms) {
    for (uint32_t done = 0; done < ms; done += kReadEveryMs) {
        w_.Run(std::min(kReadEveryMs, ms - done));
        for (int p = 0; p < kMaxPrograms; ++p) w_.Read(p);
    }
}

StallRun RuntimeStreams(uint64_t seed, const LinkFaults& faults, const StreamPlan& plan) {
    World w(seed, false);
    if (!w.Host(0)) return {};
    w.Run(10);
    for (int p = 1; p < kPrograms; ++p) {
        w.Join(p);
        w.Run(200);
    }
    for (int p = 0; p < kPrograms; ++p) w.Create(p, "P" + std::to_string(p));
    w.Run(500);
    WorldStreams streams(w);
    w.net.faults = faults;
    const uint64_t before = w.net.datagramsSent;
    const uint32_t start = w.net.now;
    bool refused = false;
    for (uint32_t t = 0; t < plan.sendMs; t += plan.everyMs) {
        for (int p = 0; p < kPrograms; ++p)
            for (int q = 0; q < kPrograms; ++q)
                if (q != p && !streams.Send(p, q)) refused = true;
        streams.Run(plan.everyMs);
    }
    for (uint32_t ms = 0; ms < plan.drainMs && !streams.log.Complete(); ms += kReadEveryMs) streams.Run(kReadEveryMs);
    StallRun r = streams.log.Figures();
    r.complete = r.complete && !refused && w.Failures().empty();
    r.datagrams = static_cast<double>(w.net.datagramsSent - before) * 1000.0 / (w.net.now - start);
    return r;
}

// ---- plain ENet --------------------------------------------------------------------------------

StallRun PlainEnetStreams(uint64_t seed, const LinkFaults& faults, const StreamPlan& plan) {
    Network net(seed);
    ENetHost* hosts[kPrograms] = {};
    ENetPeer* toRelay[kPrograms] = {};   // each client's connection to the relay
    ENetPeer* toClient[kPrograms] = {};  // the relay's connection to each client
    StreamLog streams;
    uint32_t numbers[kPrograms][kPrograms] = {};

    net.current = 0;
    const ENetAddress at{htonl(INADDR_LOOPBACK), kSessionPort};
    hosts[0] = enet_host_create(&at, kPrograms, 1, 0, 0);
    for (int p = 1; p < kPrograms; ++p) {
        net.current = p;
        hosts[p] = enet_host_create(nullptr, 1, 1, 0, 0);
    }
    bool made = true;
    for (int p = 0; p < kPrograms; ++p) {
        if (!hosts[p]) {
            made = false;
            continue;
        }
        hosts[p]->checksum = enet_crc32;
        if (p == 0) continue;
        net.current = p;
        toRelay[p] = enet_host_connect(hosts[p], &at, 1, 0);
        if (!toRelay[p]) {
            made = false;
            continue;
        }
        Tune(toRelay[p], false);
        toRelay[p]->roundTripTime = 100;  // as the session starts its connections
    }

    // One millisecond: what arrived, each program's events, what it sends, flushed.
    auto tick = [&](bool send) {
        net.Arrive(net.now);
        for (int p = 0; p < kPrograms; ++p) {
            net.current = p;
            ENetEvent ev;
            while (enet_host_service(hosts[p], &ev, 0) > 0) {
                if (ev.type == ENET_EVENT_TYPE_CONNECT) {
                    Tune(ev.peer, true);
                    if (p > 0) enet_peer_send(ev.peer, 0, Message(0, p, 0));  // says who it is
                } else if (ev.type == ENET_EVENT_TYPE_RECEIVE) {
                    const uint8_t* d = ev.packet->data;
                    uint32_t n = 0;
                    std::memcpy(&n, d + 2, 4);
                    const int to = d[0], from = d[1];
                    if (p == 0 && n == 0 && from > 0 && from < kPrograms) {
                        toClient[from] = ev.peer;
                    } else if (p == 0 && to != 0 && to < kPrograms && toClient[to]) {
                        enet_peer_send(toClient[to], 0, Message(to, from, n));  // relayed
                    } else if (from < kPrograms && to == p) {
                        streams.Arrived({from, to}, n, net.now);
                    }
                    enet_packet_destroy(ev.packet);
                }
            }
            if (send)
                for (int q = 0; q < kPrograms; ++q) {
                    if (q == p) continue;
                    ENetPeer* way = p == 0 ? toClient[q] : toRelay[p];
                    if (!way) continue;
                    const uint32_t n = ++numbers[p][q];
                    streams.Sent({p, q}, net.now);
                    enet_peer_send(way, 0, Message(q, p, n));
                }
            enet_host_flush(hosts[p]);
        }
        ++net.now;
    };

    // Connected, each client known to the relay, before the loss starts.
    auto known = [&] { return std::all_of(toClient + 1, toClient + kPrograms, [](ENetPeer* c) { return c; }); };
    for (uint32_t ms = 0; made && ms < 2000 && !known(); ++ms) tick(false);
    StallRun r;
    if (made && known()) {
        net.faults = faults;
        const uint64_t before = net.datagramsSent;
        const uint32_t start = net.now;
        for (uint32_t ms = 0; ms < plan.sendMs; ++ms) tick(ms % plan.everyMs == 0);
        for (uint32_t ms = 0; ms < plan.drainMs && !streams.Complete(); ++ms) tick(false);
        r = streams.Figures();
        r.datagrams = static_cast<double>(net.datagramsSent - before) * 1000.0 / (net.now - start);
    }
    for (int p = 0; p < kPrograms; ++p) {
        net.current = p;
        if (hosts[p]) enet_host_destroy(hosts[p]);
    }
    return r;
}

// ---- the figures ---------------------------------------------------------------------------------

double Quantile(std::vector<double> values, double q) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t i = static_cast<size_t>(std::ceil(q * static_cast<double>(values.size())));
    return values[std::min(values.size() - 1, i ? i - 1 : 0)];
}

void PrintStallFigures(uint64_t seeds) {
    const StreamPlan plan;
    std::printf(
        "Three programs, each sending to each other one message every %u ms for %u s; %u-%u ms each way.\n"
        "Longest silence of any stream in a run, and the time from the last send until everything arrived,\n"
        "over %llu runs (ms: median / 99th percentile / worst):\n\n",
        plan.everyMs, plan.sendMs / 1000, LossyLink(0).minDelayMs, LossyLink(0).maxDelayMs,
        static_cast<unsigned long long>(seeds));
    std::printf("%-6s %-10s %-26s %-26s %-11s %s\n", "loss", "", "longest silence", "all arrived after", "incomplete",
                "datagrams/s");
    for (double loss : {0.0, 0.05, 0.10, 0.20}) {
        for (int which = 0; which < 2; ++which) {
            std::vector<double> silence, drain;
            double datagrams = 0;
            int incomplete = 0;
            for (uint64_t seed = 1; seed <= seeds; ++seed) {
                const StallRun r =
                    which == 0 ? RuntimeStreams(seed, LossyLink(loss)) : PlainEnetStreams(seed, LossyLink(loss));
                silence.push_back(r.silenceMs);
                drain.push_back(r.drainMs);
                incomplete += !r.complete;
                datagrams += r.datagrams / static_cast<double>(seeds);
            }
            char s[64], d[64];
            std::snprintf(s, sizeof s, "%.0f / %.0f / %.0f", Quantile(silence, 0.5), Quantile(silence, 0.99),
                          Quantile(silence, 1));
            std::snprintf(d, sizeof d, "%.0f / %.0f / %.0f", Quantile(drain, 0.5), Quantile(drain, 0.99),
                          Quantile(drain, 1));
            std::printf("%-6s %-10s %-26s %-26s %-11d %.0f\n",
                        which == 0 ? (std::to_string(std::lround(loss * 100)) + " %").c_str() : "",
                        which == 0 ? "runtime" : "plain ENet", s, d, incomplete, datagrams);
            std::fflush(stdout);
        }
    }
}

}  // namespace netsim
