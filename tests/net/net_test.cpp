// Network sessions between real programs on the runtime (tests/net/net_peer.cpp), over
// real sockets on 127.0.0.1; every test has a port of its own.
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

#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "net/protocol.h"
#include "support/harness.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

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
        std::string prog = (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "net_peer").string();
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
        for (int i = 0; i < 100 && pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Kill();
        close(from_);
        std::filesystem::remove_all(dir_);
    }
    void Kill() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }
    // The program's exit status after "end".
    int End() {
        (*this)("end");
        int st = 0;
        waitpid(pid_, &st, 0);
        pid_ = 0;
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    // Sends one command and gives its answer ("" for no answer within 15 s).
    std::string operator()(const std::string& cmd) {
        std::string line = cmd + "\n";
        if (write(to_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return "<gone>";
        auto start = Clock::now();
        for (;;) {
            size_t nl = buf_.find('\n');
            if (nl != std::string::npos) {
                std::string answer = buf_.substr(0, nl);
                buf_.erase(0, nl + 1);
                return answer.rfind("= ", 0) == 0 ? answer.substr(2) : answer;
            }
            pollfd p{from_, POLLIN, 0};
            if (Seconds(start) > 15 || poll(&p, 1, 100) < 0) return "<no answer>";
            char chunk[4096];
            ssize_t n = (p.revents & (POLLIN | POLLHUP)) ? read(from_, chunk, sizeof chunk) : 0;
            if (n > 0) buf_.append(chunk, static_cast<size_t>(n));
            if (n == 0 && (p.revents & POLLHUP)) return "<gone>";
        }
    }
    // Repeats the command until it answers `want` or `seconds` pass; the last answer.
    std::string Until(const std::string& cmd, const std::string& want, double seconds = 3) {
        auto start = Clock::now();
        std::string a = (*this)(cmd);
        while (a != want && Seconds(start) < seconds) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            a = (*this)(cmd);
        }
        return a;
    }
    // The next message for the player that is not empty, within `seconds`.
    std::string Next(const std::string& player, double seconds = 3) {
        auto start = Clock::now();
        std::string a;
        while ((a = (*this)("get " + player)).empty() && Seconds(start) < seconds)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return a;
    }

private:
    pid_t pid_ = 0;
    int to_ = -1, from_ = -1;
    std::string buf_, dir_;
};

// Hosting and joining by name, players and names on every machine, messages once each,
// the size rule, a forged sender, leaving and destroying.
TEST(NetSession, PlayersAndMessagesAcrossPrograms) {
    const int port = FreeUdpPort();
    Peer a(port), b(port), c(port);
    EXPECT_EQ(b("num"), "0");  // before any session
    EXPECT_EQ(b("id 0"), "0");
    EXPECT_EQ(b("send 1 2 x"), "0");
    ASSERT_EQ(a("host 0 arena"), "1");
    EXPECT_EQ(b("join 0 Arena 127.0.0.1"), "0");  // names are case-sensitive
    ASSERT_EQ(b("join 0 arena 127.0.0.1"), "1");
    EXPECT_EQ(c("app 00112233445566778899AABBCCDDEEFF"), "1");
    EXPECT_EQ(c("join 0 arena 127.0.0.1"), "0");  // another application
    EXPECT_EQ(c("app 126E6180D30711D09C4F00A0C905425E"), "1");
    ASSERT_EQ(c("join 0 arena"), "1");  // found by searching this machine

    const std::string ann = a("create Ann"), bob = b("create Bob"), cy = c("create Cy");
    for (const std::string& id : {ann, bob, cy}) EXPECT_NE(std::atol(id.c_str()), 0) << id;
    const std::string all = ann + ":Ann " + bob + ":Bob " + cy + ":Cy";
    for (Peer* p : {&a, &b, &c}) EXPECT_EQ(p->Until("players", all), all);
    EXPECT_EQ(c("name " + ann), "Ann");
    EXPECT_EQ(c("name 987654"), "NO_DATA");
    EXPECT_EQ(c("id 99"), "0");
    EXPECT_EQ(c("id -1"), "0");

    // Once each, in order, then nothing; also between two joined programs.
    EXPECT_EQ(a("send " + ann + " " + bob + " one"), "1");
    a("send " + ann + " " + bob + " two");
    c("send " + cy + " " + bob + " three");
    EXPECT_EQ(b.Next(bob), "one");
    EXPECT_EQ(b.Next(bob), "two");
    EXPECT_EQ(b.Next(bob), "three");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(b("get " + bob), "");
    EXPECT_EQ(a("get " + bob), "");  // only the owner's program reads a player's messages

    // 1023 bytes arrive; 1024 come back empty; the next message follows.
    b("long " + bob + " " + ann + " 1023");
    b("long " + bob + " " + ann + " 1024");
    b("send " + bob + " " + ann + " after");
    EXPECT_EQ(a.Next(ann), "x*1023");
    EXPECT_EQ(a.Next(ann), "after");

    // A program cannot send as another program's player; to 0 reaches every other player.
    b("send " + ann + " " + cy + " forged");
    b("send " + bob + " " + cy + " real");
    EXPECT_EQ(c.Next(cy), "real");
    a("send " + ann + " 0 everyone");
    EXPECT_EQ(b.Next(bob), "everyone");
    EXPECT_EQ(c.Next(cy), "everyone");
    EXPECT_EQ(a("get " + ann), "");

    // Only the owner destroys a player; a program that ends takes its players at once.
    EXPECT_EQ(c("destroy " + bob), "0");
    EXPECT_EQ(b("destroy " + bob), "0");
    EXPECT_EQ(a.Until("players", ann + ":Ann " + cy + ":Cy"), ann + ":Ann " + cy + ":Cy");
    EXPECT_EQ(c.End(), 0);
    EXPECT_EQ(a.Until("players", ann + ":Ann", 0.5), ann + ":Ann");
    EXPECT_EQ(b.Until("num", "1", 0.5), "1");
    EXPECT_NE(b("create Bo"), "0");
}

// Joins that fail, and a host that survives garbage and malformed packets.
TEST(NetSession, FailedJoinsAndHostileInput) {
    const int port = FreeUdpPort();
    Peer a(port), b(port);
    auto start = Clock::now();
    EXPECT_EQ(b("join 0 arena 127.0.0.1"), "0");  // nothing listens
    EXPECT_LT(Seconds(start), 5);
    EXPECT_EQ(b("join 0 arena"), "0");
    EXPECT_EQ(b("join 0 arena 127.0.0.1:0"), "0");  // no such port
    EXPECT_EQ(a("host 1 arena"), "0");  // IPX and serial links are not offered
    EXPECT_EQ(a("host 2 arena"), "0");
    ASSERT_EQ(a("host 0 arena"), "1");
    const std::string ann = a("create Ann");

    // Plain garbage at the host's port.
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::mt19937 rng(7);
    for (int i = 0; i < 3000; ++i) {
        std::string d(rng() % 1400, 0);
        for (char& ch : d) ch = static_cast<char>(rng());
        if (i % 3 == 0 && d.size() >= 4) d.replace(0, 4, "TLVN");
        sendto(s, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    close(s);

    // A real connection that sends malformed and forbidden packets.
    ASSERT_EQ(enet_initialize(), 0);
    ENetHost* client = enet_host_create(nullptr, 1, 1, 0, 0);
    ENetAddress addr{0, static_cast<enet_uint16>(port)};
    enet_address_set_host_ip(&addr, "127.0.0.1");
    ENetPeer* peer = enet_host_connect(client, &addr, 1, net::kVersion);
    int states = 0;  // session states the host sent
    auto pump = [&](int ms, int wantStates) {
        ENetEvent ev;
        for (auto t = Clock::now(); Seconds(t) * 1000 < ms && states < wantStates;)
            if (enet_host_service(client, &ev, 5) > 0 && ev.type == ENET_EVENT_TYPE_RECEIVE) {
                states += net::PacketType(ev.packet->data, ev.packet->dataLength) == net::Type::State;
                enet_packet_destroy(ev.packet);
            }
    };
    auto send = [&](const std::string& p) {
        enet_peer_send(peer, 0, enet_packet_create(p.data(), p.size(), ENET_PACKET_FLAG_RELIABLE));
    };
    ENetEvent ev;  // the host works through the garbage first
    for (auto t = Clock::now(); peer->state != ENET_PEER_STATE_CONNECTED && Seconds(t) < 5;)
        enet_host_service(client, &ev, 5);
    ASSERT_EQ(peer->state, ENET_PEER_STATE_CONNECTED);
    const uint32_t annId = static_cast<uint32_t>(std::atol(ann.c_str()));
    const std::string hello = net::EncodeHello({{0x12, 0x6E, 0x61, 0x80, 0xD3, 0x07, 0x11, 0xD0, 0x9C, 0x4F, 0x00,
                                                 0xA0, 0xC9, 0x05, 0x42, 0x5E}, 0, "arena"});
    std::string wrongVersion = hello;
    wrongVersion[1] = 9;
    for (const std::string& p : {std::string("T"), std::string("T\x01\x63"), wrongVersion,
                                 net::EncodeMessage(annId, annId, "before hello"), hello.substr(0, hello.size() - 1),
                                 hello + "x"})
        send(p);
    send(hello);  // now a peer of the session
    pump(3000, 1);
    EXPECT_EQ(states, 1);
    for (const std::string& p : {net::EncodeMessage(annId, annId, "forged"), net::EncodeDestroy(annId),
                                 net::EncodeCreate(1, "Eve").substr(0, 6), net::EncodeState({}),
                                 net::EncodeCreated(1, 1)})
        send(p);
    pump(300, 99);
    enet_peer_disconnect_now(peer, 0);
    enet_host_destroy(client);
    enet_deinitialize();

    // The host lives, its player is untouched, nothing forged arrived, others can join.
    EXPECT_EQ(a("players"), ann + ":Ann");
    EXPECT_EQ(a("get " + ann), "");
    ASSERT_EQ(b("join 0 arena 127.0.0.1"), "1");
    const std::string bob = b("create Bob");
    b("send " + bob + " " + ann + " hi");
    EXPECT_EQ(a.Next(ann), "hi");
}

// Three programs; the host is killed: the oldest joiner takes over, the host's players
// leave, messages flow again within 5 seconds. Then that host ends cleanly.
TEST(NetSession, HostMigration) {
    const int port = FreeUdpPort();
    Peer a(port), b(port), c(port);
    ASSERT_EQ(a("host 0 arena"), "1");
    ASSERT_EQ(b("join 0 arena 127.0.0.1"), "1");
    ASSERT_EQ(c("join 0 arena 127.0.0.1"), "1");
    const std::string ann = a("create Ann"), bob = b("create Bob"), cy = c("create Cy");
    const std::string both = bob + ":Bob " + cy + ":Cy";
    ASSERT_EQ(c.Until("players", ann + ":Ann " + both), ann + ":Ann " + both);

    a.Kill();
    auto killed = Clock::now();
    std::string got;
    for (int i = 0; got.empty() && Seconds(killed) < 8; ++i) {
        c("send " + cy + " " + bob + " ping" + std::to_string(i));
        got = b.Next(bob, 0.1);
    }
    EXPECT_LT(Seconds(killed), 5.0) << got;
    EXPECT_EQ(got.rfind("ping", 0), 0u) << got;
    EXPECT_EQ(b.Until("players", both), both);
    EXPECT_EQ(c.Until("players", both), both);
    const std::string dee = c("create Dee");
    EXPECT_GT(std::atol(dee.c_str()), std::atol(cy.c_str()));  // ids are never given twice
    b("send " + bob + " " + dee + " welcome");
    EXPECT_EQ(c.Next(dee), "welcome");

    // The new host took over the session port: others go on joining there.
    Peer d(port);
    ASSERT_EQ(d("join 0 arena 127.0.0.1"), "1");
    EXPECT_EQ(d.Until("players", both + " " + dee + ":Dee"), both + " " + dee + ":Dee");

    // The new host ends: its players leave at once, and the session goes on.
    EXPECT_EQ(b.End(), 0);
    const std::string rest = cy + ":Cy " + dee + ":Dee";
    EXPECT_EQ(c.Until("players", rest, 0.5), rest);
    d("send 0 " + dee + " nobody's");  // no player of d's: dropped
    c("send " + cy + " " + dee + " still");
    EXPECT_EQ(c.Next(dee), "still");
    EXPECT_EQ(d.Until("players", rest), rest);
}

}  // namespace
