// What the network tests share: programs playing machines of a session (net_peer.cpp),
// driven line by line; a relay that passes datagrams between them and the host while it
// drops, delays, duplicates and reorders them; and a raw session connection for playing
// a hostile program. Everything runs on 127.0.0.1 (attackers on 127.0.0.2), every test on
// ports of its own.
#pragma once

#include <arpa/inet.h>
#include <enet/enet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <queue>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "net/protocol.h"
#include "support/harness.h"

extern char** environ;

namespace nettest {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}
inline void Sleep(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }

// The application id every session of the runtime carries.
inline const net::AppId kApp = {0x12, 0x6E, 0x61, 0x80, 0xD3, 0x07, 0x11, 0xD0,
                                0x9C, 0x4F, 0x00, 0xA0, 0xC9, 0x05, 0x42, 0x5E};

// One net_peer program, driven line by line.
class Peer {
public:
    explicit Peer(int port) {
        int in[2], out[2];
        EXPECT_EQ(pipe(in), 0);
        EXPECT_EQ(pipe(out), 0);
        char tmpl[] = "/tmp/tolvane-net-XXXXXX";
        dir_ = mkdtemp(tmpl);
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "TOLVANE_", 8) && std::strncmp(*e, "TMPDIR=", 7)) env.emplace_back(*e);
        env.push_back("TOLVANE_NET_PORT=" + std::to_string(port));
        env.push_back("TMPDIR=" + dir_);
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in[0], 0);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        for (int fd : {in[0], in[1], out[0], out[1]}) posix_spawn_file_actions_addclose(&fa, fd);
        std::string prog = (TestBinDir() / "net_peer").string();
        char* argv[] = {prog.data(), nullptr};
        EXPECT_EQ(posix_spawn(&pid_, prog.c_str(), &fa, nullptr, argv, envp.data()), 0);
        posix_spawn_file_actions_destroy(&fa);
        close(in[0]);
        close(out[1]);
        to_ = in[1];
        from_ = out[0];
    }
    ~Peer() {
        close(to_);  // end of input ends the program
        for (int i = 0; i < 100 && pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i) Sleep(0.05);
        Kill();
        close(from_);
        std::filesystem::remove_all(dir_);
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // Ends the program as a crash would: no word to anybody.
    void Kill() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }
    // Stops the program as SIGSTOP does (every thread of it), and lets it go on.
    void Freeze() {
        if (pid_ > 0) kill(pid_, SIGSTOP);
    }
    void Thaw() {
        if (pid_ > 0) kill(pid_, SIGCONT);
    }
    // The program's exit status after "end".
    int End() {
        Start("end");
        int st = 0;
        waitpid(pid_, &st, 0);
        pid_ = 0;
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    // Sends a command without waiting for its answer.
    void Start(const std::string& cmd) {
        std::string line = cmd + "\n";
        if (write(to_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) gone_ = true;
    }
    // The next answer ("<no answer>" after `seconds`).
    std::string Answer(double seconds = 20) {
        auto start = Clock::now();
        for (;;) {
            size_t nl = buf_.find('\n');
            if (nl != std::string::npos) {
                std::string answer = buf_.substr(0, nl);
                buf_.erase(0, nl + 1);
                return answer.rfind("= ", 0) == 0 ? answer.substr(2) : answer;
            }
            if (gone_) return "<gone>";
            pollfd p{from_, POLLIN, 0};
            if (Seconds(start) > seconds || poll(&p, 1, 100) < 0) return "<no answer>";
            char chunk[4096];
            ssize_t n = (p.revents & (POLLIN | POLLHUP)) ? read(from_, chunk, sizeof chunk) : 0;
            if (n > 0) buf_.append(chunk, static_cast<size_t>(n));
            if (n == 0 && (p.revents & POLLHUP)) return "<gone>";
        }
    }
    // Sends one command and gives its answer.
    std::string operator()(const std::string& cmd) {
        Start(cmd);
        return Answer();
    }
    // Repeats the command until it answers `want` or `seconds` pass; the last answer.
    std::string Until(const std::string& cmd, const std::string& want, double seconds = 10) {
        auto start = Clock::now();
        std::string a = (*this)(cmd);
        while (a != want && Seconds(start) < seconds) {
            Sleep(0.02);
            a = (*this)(cmd);
        }
        return a;
    }
    // The next message for the player that is not empty, within `seconds`.
    std::string Next(const std::string& player, double seconds = 10) {
        auto start = Clock::now();
        std::string a;
        while ((a = (*this)("get " + player)).empty() && Seconds(start) < seconds) Sleep(0.01);
        return a;
    }

private:
    pid_t pid_ = 0;
    int to_ = -1, from_ = -1;
    bool gone_ = false;
    std::string buf_, dir_;
};

// The players of three programs in the session "arena" (a hosts it, b and c join), one
// each, and the list every program gives of them.
struct ArenaOfThree {
    std::string ann, bob, cy, all;
};

// Starts that session with Ann, Bob and Cy, and waits until every program lists all three.
inline void StartArenaOfThree(Peer& a, Peer& b, Peer& c, ArenaOfThree& out) {
    ASSERT_EQ(a("host 0 arena"), "1");
    ASSERT_EQ(b("join 0 arena 127.0.0.1"), "1");
    ASSERT_EQ(c("join 0 arena 127.0.0.1"), "1");
    out.ann = a("create Ann"), out.bob = b("create Bob"), out.cy = c("create Cy");
    out.all = out.ann + ":Ann " + out.bob + ":Bob " + out.cy + ":Cy";
    for (Peer* p : {&a, &b, &c}) ASSERT_EQ(p->Until("players", out.all), out.all);
}

inline sockaddr_in Loopback(int port, uint32_t host = INADDR_LOOPBACK) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(host);
    return a;
}

// A UDP relay: programs that join at 127.0.0.1:Port() reach the host at its port through
// it. For every program it uses a socket of its own towards the host, so the host sees
// each at an address of its own, and others reach the program there too (as through a
// router that maps one outside address to each program behind it). Datagrams are
// dropped, duplicated, changed and delayed (and so reordered) as set, every way.
class Relay {
public:
    struct Faults {
        double drop = 0, duplicate = 0, corrupt = 0;
        double minDelayMs = 0, maxDelayMs = 0;
        // Drops a datagram from a program to the host, or from the host to a program,
        // when it says so.
        std::function<bool(const std::string&)> dropToHost, dropToProgram;
    };

    explicit Relay(int hostPort) : hostPort_(hostPort) {
        front_ = Bound();
        sockaddr_in a{};
        socklen_t len = sizeof a;
        getsockname(front_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~Relay() {
        stop_ = true;
        thread_.join();
        close(front_);
        for (auto& [fd, route] : routes_) close(fd);
    }
    int Port() const { return port_; }
    void Set(Faults f) {
        std::lock_guard lock(m_);
        faults_ = std::move(f);
    }
    long Corrupted() const { return corrupted_; }

private:
    // Where what arrives at a socket of the relay goes.
    // A program's outside socket (to: the program), or a side socket (to: the outside
    // party; via: the program's outside socket that party reached).
    struct Route {
        bool outward;
        sockaddr_in to;
        int via = -1;
    };
    struct Due {
        double at;
        int fd;
        sockaddr_in to;
        std::string data;
        bool operator<(const Due& o) const { return at > o.at; }
    };
    static double Now() { return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count(); }
    static uint64_t Key(const sockaddr_in& a) { return (uint64_t(a.sin_addr.s_addr) << 16) | a.sin_port; }
    static int Bound() {
        int fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a = Loopback(0);
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        return fd;
    }

    enum class Way { ToHost, FromHost, Other };
    void Pass(int fd, const sockaddr_in& to, std::string data, Way way) {
        std::lock_guard lock(m_);
        std::uniform_real_distribution<double> u(0, 1);
        if (way == Way::ToHost && faults_.dropToHost && faults_.dropToHost(data)) return;
        if (way == Way::FromHost && faults_.dropToProgram && faults_.dropToProgram(data)) return;
        if (u(rng_) < faults_.drop) return;
        if (u(rng_) < faults_.corrupt && !data.empty()) {
            data[rng_() % data.size()] ^= static_cast<char>(1 + rng_() % 255);
            ++corrupted_;
        }
        int copies = u(rng_) < faults_.duplicate ? 2 : 1;
        for (int i = 0; i < copies; ++i) {
            double delay = faults_.minDelayMs + u(rng_) * (faults_.maxDelayMs - faults_.minDelayMs);
            due_.push({Now() + delay, fd, to, data});
        }
    }

    void Run() {
        char buf[65536];
        const sockaddr_in host = Loopback(hostPort_);
        while (!stop_) {
            std::vector<pollfd> fds{{front_, POLLIN, 0}};
            for (auto& [fd, route] : routes_) fds.push_back({fd, POLLIN, 0});
            int wait = 5;
            {
                std::lock_guard lock(m_);
                if (!due_.empty()) wait = std::max(0, std::min(5, static_cast<int>(due_.top().at - Now())));
            }
            poll(fds.data(), fds.size(), wait);
            for (const pollfd& p : fds) {
                if (!(p.revents & POLLIN)) continue;
                sockaddr_in from{};
                socklen_t len = sizeof from;
                ssize_t n = recvfrom(p.fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
                if (n < 0) continue;
                std::string data(buf, static_cast<size_t>(n));
                if (p.fd == front_) {
                    // A program sends through its outside socket: to the host, or to a
                    // party that reached it through a side socket.
                    uint64_t key = Key(from);
                    if (!outside_.count(key)) {
                        int fd = Bound();
                        outside_[key] = fd;
                        routes_[fd] = {true, from, -1};
                    }
                    Pass(outside_[key], host, std::move(data), Way::ToHost);
                    continue;
                }
                Route& r = routes_[p.fd];
                if (r.outward) {
                    // To a program's outside socket: from the host, through the front; from
                    // anyone else, through a side socket of that party's own.
                    if (Key(from) == Key(host)) {
                        Pass(front_, r.to, std::move(data), Way::FromHost);
                        continue;
                    }
                    uint64_t k = (Key(from) << 20) ^ uint64_t(p.fd);
                    if (!side_.count(k)) {
                        int fd = Bound();
                        side_[k] = fd;
                        routes_[fd] = {false, from, p.fd};
                    }
                    Pass(side_[k], r.to, std::move(data), Way::Other);
                } else {
                    // A program answers that party: out through its outside socket.
                    Pass(r.via, r.to, std::move(data), Way::Other);
                }
            }
            std::lock_guard lock(m_);
            while (!due_.empty() && due_.top().at <= Now()) {
                const Due& d = due_.top();
                sendto(d.fd, d.data.data(), d.data.size(), 0, reinterpret_cast<const sockaddr*>(&d.to), sizeof d.to);
                due_.pop();
            }
        }
    }

    int hostPort_, port_ = 0, front_ = -1;
    std::map<uint64_t, int> outside_;  // program address -> its outside socket
    std::map<uint64_t, int> side_;     // (party, outside socket) -> side socket
    std::map<int, Route> routes_;
    std::mutex m_;
    Faults faults_;
    std::mt19937 rng_{12345};
    std::priority_queue<Due> due_;
    std::atomic<bool> stop_{false};
    std::atomic<long> corrupted_{0};
    std::thread thread_;
};

// A raw session connection, as a hostile program would make one: ENet with the
// session's checksum, from an address of the test's choice.
class RawClient {
public:
    explicit RawClient(const char* fromIp = "127.0.0.1", size_t peers = 1) {
        ENetAddress self{0, 0};
        enet_address_set_host_ip(&self, fromIp);
        host_ = enet_host_create(&self, peers, 2, 0, 0);
        if (host_) host_->checksum = enet_crc32;
    }
    ~RawClient() {
        if (host_) enet_host_destroy(host_);
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;
    ENetHost* Host() { return host_; }
    ENetPeer* Connect(int port) {
        ENetAddress to{0, static_cast<enet_uint16>(port)};
        enet_address_set_host_ip(&to, "127.0.0.1");
        return enet_host_connect(host_, &to, 2, net::kVersion);
    }
    void Send(ENetPeer* p, const net::Bytes& b) {
        enet_peer_send(p, 0, enet_packet_create(b.data(), b.size(), ENET_PACKET_FLAG_RELIABLE));
    }
    // Services the connection for `seconds`; every packet that arrives goes to `got`.
    void Pump(double seconds, const std::function<void(ENetPeer*, const net::Bytes&)>& got = {},
              const std::function<void(ENetPeer*, bool connected)>& state = {}) {
        ENetEvent ev;
        for (auto t = Clock::now(); Seconds(t) < seconds;) {
            if (enet_host_service(host_, &ev, 5) <= 0) continue;
            if (ev.type == ENET_EVENT_TYPE_RECEIVE) {
                if (got) got(ev.peer, net::Bytes(ev.packet->data, ev.packet->data + ev.packet->dataLength));
                enet_packet_destroy(ev.packet);
            } else if (state && ev.type == ENET_EVENT_TYPE_CONNECT) {
                state(ev.peer, true);
            } else if (state && ev.type == ENET_EVENT_TYPE_DISCONNECT) {
                state(ev.peer, false);
            }
        }
    }

private:
    ENetHost* host_ = nullptr;
};

inline net::Hello NewHello(const std::string& session) {
    net::Hello h;
    h.app = kApp;
    h.name = session;
    return h;
}

}  // namespace nettest
