// Network messages on loopback, between two processes:
//   - round-trip time of a 32-byte message between two players (NETSENDMSG, then
//     NETGETMSG$ until the echo is back), against a plain ENet ping-pong of the same
//     32 bytes (reliable, channel 0), both sides polling without waiting;
//   - messages per second one program sends to another (32 bytes each, every one
//     counted at the receiver).
//
//   SDL_VIDEODRIVER=offscreen build/bench/bench_net_roundtrip [round trips] [messages]
//
// Goal: round trip within 1.5 x the plain ENet one; at least 20,000 messages per second.
// Exits 1 when the goal is missed.
#include <enet/enet.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/timing.h"
#include "tolvane.h"

extern char** environ;

namespace {

const std::string kText(32, 'p');

pid_t Spawn(const char* role, int port) {
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string r = role, p = std::to_string(port);
    char* argv[] = {self.data(), r.data(), p.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
    return pid;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// ---- plain ENet ------------------------------------------------------------------------

// Echoes every packet back until the other side leaves.
int PlainEcho(int port) {
    ENetAddress addr{ENET_HOST_ANY, static_cast<enet_uint16>(port)};
    ENetHost* host = enet_host_create(&addr, 4, 1, 0, 0);
    if (!host) return 2;
    ENetEvent ev;
    for (;;) {
        if (enet_host_service(host, &ev, 0) <= 0) continue;
        if (ev.type == ENET_EVENT_TYPE_DISCONNECT) break;
        if (ev.type == ENET_EVENT_TYPE_RECEIVE) {
            enet_peer_send(ev.peer, 0,
                           enet_packet_create(ev.packet->data, ev.packet->dataLength, ENET_PACKET_FLAG_RELIABLE));
            enet_packet_destroy(ev.packet);
            enet_host_flush(host);
        }
    }
    enet_host_destroy(host);
    return 0;
}

double PlainRoundTrips(int port, int rounds) {
    ENetHost* host = enet_host_create(nullptr, 1, 1, 0, 0);
    ENetAddress addr{0, static_cast<enet_uint16>(port)};
    enet_address_set_host_ip(&addr, "127.0.0.1");
    ENetPeer* peer = nullptr;
    ENetEvent ev;
    for (double end = __ClockMs() + 5000; __ClockMs() < end && (!peer || peer->state != ENET_PEER_STATE_CONNECTED);) {
        if (!peer) peer = enet_host_connect(host, &addr, 1, 0);
        enet_host_service(host, &ev, 10);
    }
    std::vector<double> times;
    for (int i = 0; i < rounds + 100; ++i) {
        double t0 = __ClockMs();
        enet_peer_send(peer, 0, enet_packet_create(kText.data(), kText.size(), ENET_PACKET_FLAG_RELIABLE));
        enet_host_flush(host);
        for (bool back = false; !back;)
            if (enet_host_service(host, &ev, 0) > 0 && ev.type == ENET_EVENT_TYPE_RECEIVE) {
                back = true;
                enet_packet_destroy(ev.packet);
            }
        if (i >= 100) times.push_back(__ClockMs() - t0);  // the first ones warm up
    }
    enet_peer_disconnect_now(peer, 0);
    enet_host_destroy(host);
    return Median(times);
}

// ---- the runtime's commands ------------------------------------------------------------------

// The hosting side: echoes each message to the other player; counts messages that
// start with 'T' and answers "E" with the count; ends on "Q".
int RuntimeEcho() {
    if (!__GlobalInit("net echo")) return 2;
    if (NETHOSTGAME(0, "bench", "", "") != 1) return 3;
    DQStr me = NETCREATEPLAYER_Str("echo"), other = "0";
    long counted = 0;
    for (;;) {
        DQStr m = NETGETMSG_Str(me);
        if (other.Compare("0") == 0 && NETNUMPLAYERS() == 2) other = NETGETPLAYERID_Str(1);
        if (!m.Length()) continue;
        char c = m.c_str()[0];
        if (c == 'T') ++counted;
        else if (c == 'E') NETSENDMSG(me, other, DQStr("got ") + DQStr(static_cast<double>(counted)));
        else if (c == 'Q') break;
        else NETSENDMSG(me, other, m);
    }
    std::_Exit(0);
}

DQStr Await(const DQStr& me) {
    for (;;) {
        DQStr m = NETGETMSG_Str(me);
        if (m.Length()) return m;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (enet_initialize() != 0) return 2;
    if (argc == 3 && !std::strcmp(argv[1], "plain")) return PlainEcho(std::atoi(argv[2]));
    if (argc == 3 && !std::strcmp(argv[1], "runtime")) {
        setenv("TOLVANE_NET_PORT", argv[2], 1);
        return RuntimeEcho();
    }
    const int rounds = argc > 1 ? std::max(100, std::atoi(argv[1])) : 5000;
    const long messages = argc > 2 ? std::max(1000L, std::atol(argv[2])) : 200000;
    const int port = 27000 + static_cast<int>(getpid() % 2000);

    pid_t plain = Spawn("plain", port);
    double plainRtt = PlainRoundTrips(port, rounds);
    waitpid(plain, nullptr, 0);

    setenv("TOLVANE_NET_PORT", std::to_string(port + 1).c_str(), 1);
    pid_t echo = Spawn("runtime", port + 1);
    if (!__GlobalInit("net round trip")) return 2;
    double joined = 0;
    for (double end = __ClockMs() + 5000; !joined && __ClockMs() < end;) joined = NETJOINGAME(0, "bench", "127.0.0.1", "");
    if (!joined) {
        std::fprintf(stderr, "cannot join the echoing program\n");
        return 2;
    }
    DQStr me = NETCREATEPLAYER_Str("ping");
    DQStr other = NETGETPLAYERID_Str(0);
    DQStr text = kText.c_str();
    std::vector<double> times;
    for (int i = 0; i < rounds + 100; ++i) {
        double t0 = __ClockMs();
        NETSENDMSG(me, other, text);
        Await(me);
        if (i >= 100) times.push_back(__ClockMs() - t0);
    }
    double ownRtt = Median(times);

    DQStr burst = ("T" + kText.substr(1)).c_str();
    double t0 = __ClockMs();
    for (long i = 0; i < messages; ++i) {
        NETSENDMSG(me, other, burst);
        if (i % 64 == 63) NETGETMSG_Str(me);  // services the connection: sends what is queued
    }
    NETSENDMSG(me, other, "E");
    DQStr got = Await(me);
    double seconds = (__ClockMs() - t0) / 1000;
    NETSENDMSG(me, other, "Q");
    for (int i = 0; i < 20; ++i) NETNUMPLAYERS();
    waitpid(echo, nullptr, 0);

    const double rate = messages / seconds;
    const bool allArrived = std::string(got.c_str()) == "got " + std::to_string(messages);
    std::printf("round trip of 32 bytes, median of %d: plain ENet %.1f us, NETSENDMSG/NETGETMSG$ %.1f us (%.2f x)\n",
                rounds, plainRtt * 1000, ownRtt * 1000, ownRtt / plainRtt);
    std::printf("messages: %ld of 32 bytes in %.3f s, %.0f per second, receiver: %s\n", messages, seconds, rate,
                got.c_str());
    const bool ok = ownRtt <= 1.5 * plainRtt && rate >= 20000 && allArrived;
    std::printf("%s\n", ok ? "goal met" : "goal missed");
    std::fflush(stdout);
    std::_Exit(ok ? 0 : 1);
}
