// Network sessions on loopback, between processes, with the network thread in place:
//   - round-trip time of a 32-byte message between two players (NETSENDMSG, then
//     NETGETMSG$ until the echo is back), against a plain ENet ping-pong of the same
//     32 bytes (reliable, channel 0), both sides polling without waiting;
//   - messages per second one program sends to another (32 bytes each, every one
//     counted at the receiver);
//   - the processor share of an idle session's network thread (host and joined program
//     connected, nothing sent);
//   - 64 programs with 4 players each: how long until every one lists all 256 players,
//     and after the host is killed, how long until the other 63 agree again.
//
//   SDL_VIDEODRIVER=offscreen build/bench/bench_net_roundtrip [round trips] [messages]
//
// Goals: round trip within 1.5 x the plain ENet one; at least 100,000 messages per
// second; 64 programs agree within 3 s, and again within 5 s of the host's death.
// Exits 1 when a goal is missed.
#include <dirent.h>
#include <enet/enet.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/timing.h"
#include "net/kwnetwork.h"
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

void Wait(double ms) {
    for (double end = __ClockMs() + ms; __ClockMs() < end;) usleep(1000);
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
    END();
    return 0;
}

DQStr Await(const DQStr& me) {
    for (;;) {
        DQStr m = NETGETMSG_Str(me);
        if (m.Length()) return m;
    }
}

// Processor time of this process's network threads, in seconds.
double NetThreadSeconds() {
    double total = 0;
    DIR* d = opendir("/proc/self/task");
    while (dirent* e = d ? readdir(d) : nullptr) {
        if (e->d_name[0] == '.') continue;
        std::string dir = std::string("/proc/self/task/") + e->d_name;
        std::ifstream comm(dir + "/comm");
        std::string name;
        std::getline(comm, name);
        if (name != "tolvane-net") continue;
        std::ifstream stat(dir + "/stat");
        std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        // After the name in parentheses: state is field 3, utime 14, stime 15.
        size_t at = all.rfind(')');
        std::vector<std::string> f;
        for (size_t i = at + 2; i < all.size();) {
            size_t sp = all.find(' ', i);
            f.push_back(all.substr(i, sp - i));
            if (sp == std::string::npos) break;
            i = sp + 1;
        }
        if (f.size() > 12) total += (std::atof(f[11].c_str()) + std::atof(f[12].c_str())) / sysconf(_SC_CLK_TCK);
    }
    if (d) closedir(d);
    return total;
}

// ---- many programs -----------------------------------------------------------------------------

// The host of the many: four players, then nothing but frames until it is killed.
int SwarmHost() {
    if (!__GlobalInit("net swarm host")) return 2;
    if (NETHOSTGAME(0, "swarm", "", "") != 1) return 3;
    for (int k = 0; k < 4; ++k) NETCREATEPLAYER_Str(DQStr(("H" + std::to_string(k)).c_str()));
    for (;;) SHOWSCREEN();
}

std::string List(KWNetwork& n) {
    n.Service();
    std::string all;
    for (int i = 0; i < n.NumPlayers(); ++i) all += std::to_string(n.GetPlayerID(i)) + " ";
    return all;
}

// Milliseconds until every program lists the same `count` players, or -1.
double Agree(std::vector<std::unique_ptr<KWNetwork>>& all, int count, double limitMs) {
    const double start = __ClockMs();
    while (__ClockMs() - start < limitMs) {
        const std::string first = List(*all[0]);
        bool same = all[0]->NumPlayers() == count;
        for (auto& n : all) same = same && List(*n) == first;
        if (same) return __ClockMs() - start;
        usleep(2000);
    }
    return -1;
}

// 64 programs: the host in its own process, 63 network objects here, each with its own
// socket and thread. Gives (time to agree after the last create, time to agree after the
// host was killed), in milliseconds.
std::pair<double, double> Swarm(int port) {
    setenv("TOLVANE_NET_PORT", std::to_string(port).c_str(), 1);
    pid_t host = Spawn("swarmhost", port);
    std::vector<std::unique_ptr<KWNetwork>> all;
    KWCONNECTION_INFO join;
    std::snprintf(join.sessionName, sizeof join.sessionName, "swarm");
    std::snprintf(join.address, sizeof join.address, "127.0.0.1");
    for (int i = 0; i < 63; ++i) {
        auto n = std::make_unique<KWNetwork>(static_cast<uint16_t>(port));
        n->SetLanSearch(false);
        for (double end = __ClockMs() + 10000; n->Init(join) != KWNetwork::kOk && __ClockMs() < end;) Wait(50);
        all.push_back(std::move(n));
    }
    for (int i = 0; i < 63; ++i)
        for (int k = 0; k < 4; ++k) {
            uint32_t id = 0;
            all[i]->CreatePlayer(("P" + std::to_string(i) + "." + std::to_string(k)).c_str(), &id);
        }
    const double agreed = Agree(all, 256, 30000);
    kill(host, SIGKILL);
    waitpid(host, nullptr, 0);
    const double again = Agree(all, 252, 60000);
    all.clear();
    return {agreed, again};
}

}  // namespace

int main(int argc, char** argv) {
    if (enet_initialize() != 0) return 2;
    if (argc == 3 && !std::strcmp(argv[1], "plain")) return PlainEcho(std::atoi(argv[2]));
    if (argc == 3 && !std::strcmp(argv[1], "runtime")) return RuntimeEcho();
    if (argc == 3 && !std::strcmp(argv[1], "swarmhost")) return SwarmHost();
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

    // An idle session first: nothing but the network threads' own keeping alive.
    const double idleSeconds = 5;
    const double cpu0 = NetThreadSeconds(), wall0 = __ClockMs();
    Wait(idleSeconds * 1000);
    const double idleShare = (NetThreadSeconds() - cpu0) / ((__ClockMs() - wall0) / 1000);

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
    long refused = 0;
    double t0 = __ClockMs();
    for (long i = 0; i < messages; ++i)
        while (NETSENDMSG(me, other, burst) != 1) ++refused;  // only when the outbox is full
    NETSENDMSG(me, other, "E");
    DQStr got = Await(me);
    double seconds = (__ClockMs() - t0) / 1000;
    NETSENDMSG(me, other, "Q");
    waitpid(echo, nullptr, 0);

    const double rate = messages / seconds;
    const bool allArrived = std::string(got.c_str()) == "got " + std::to_string(messages);
    std::printf("round trip of 32 bytes, median of %d: plain ENet %.1f us, NETSENDMSG/NETGETMSG$ %.1f us (%.2f x)\n",
                rounds, plainRtt * 1000, ownRtt * 1000, ownRtt / plainRtt);
    std::printf("messages: %ld of 32 bytes in %.3f s, %.0f per second, receiver: %s (sender held back %ld times)\n",
                messages, seconds, rate, got.c_str(), refused);
    std::printf("idle session: the network thread used %.2f %% of a processor\n", idleShare * 100);
    std::fflush(stdout);

    auto [agreed, again] = Swarm(port + 2);
    std::printf("64 programs, 4 players each: all agree %.0f ms after the last create; %.0f ms after the host was "
                "killed\n",
                agreed, again);
    const bool ok = ownRtt <= 1.5 * plainRtt && rate >= 100000 && allArrived && agreed >= 0 && agreed <= 3000 &&
                    again >= 0 && again <= 5000;
    std::printf("%s\n", ok ? "goal met" : "goal missed");
    std::fflush(stdout);
    std::_Exit(ok ? 0 : 1);
}
