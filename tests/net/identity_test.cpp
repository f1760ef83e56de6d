// Who a program is: a program that comes back after a host change must prove it is the
// one that joined; and a player is either confirmed to the program that asked for it or
// never there at all.
#include "net/net_harness.h"

namespace {

using namespace nettest;

// Tries, again and again, to pass for peer `id` (with a made-up secret and a claim on
// its player) at the session port; counts the answers.
struct Impostor {
    int welcomes = 0, refusals = 0, messages = 0;
    // Knocks for `seconds`, or, with `untilRefused`, until the first refusal (at most
    // `seconds`).
    void Try(int port, uint32_t id, uint32_t player, double seconds, bool untilRefused = false) {
        RawClient c("127.0.0.1", 4);
        net::Hello h = NewHello("arena");
        h.peer = id;
        for (size_t i = 0; i < h.secret.size(); ++i) h.secret[i] = static_cast<uint8_t>(i * 7 + 1);
        h.nextPeer = 100;
        h.nextPlayer = 1000;
        h.players.push_back({player, id, 1, "Stolen"});
        for (auto t = Clock::now(); Seconds(t) < seconds && !(untilRefused && refusals > 0);) {
            ENetPeer* attempt = c.Connect(port);
            c.Pump(0.3, [&](ENetPeer*, const net::Bytes& b) {
                auto type = net::PacketType(b.data(), b.size());
                if (type == net::Type::Welcome) ++welcomes;
                if (type == net::Type::Refuse) ++refusals;
                if (type == net::Type::Deliver) ++messages;
            }, [&](ENetPeer* p, bool connected) {
                if (connected) c.Send(p, net::EncodeHello(h));
            });
            if (attempt) enet_peer_reset(attempt);
        }
    }
};

TEST(NetIdentity, AReturningProgramMustProveItIsTheOneThatJoined) {
    const int port = FreeUdpPort();
    Peer a(port), b(port), c(port);
    ASSERT_EQ(a("host 0 arena"), "1");
    ASSERT_EQ(b("join 0 arena 127.0.0.1"), "1");
    ASSERT_EQ(c("join 0 arena 127.0.0.1"), "1");  // peer 3
    const std::string ann = a("create Ann"), bob = b("create Bob"), cy = c("create Cy");
    const uint32_t cyId = static_cast<uint32_t>(std::atol(cy.c_str()));
    const std::string all = ann + ":Ann " + bob + ":Bob " + cy + ":Cy";
    ASSERT_EQ(c.Until("players", all), all);

    // While the host is there.
    Impostor steady;
    steady.Try(port, 3, cyId, 1);
    EXPECT_EQ(steady.welcomes, 0);
    EXPECT_GT(steady.refusals, 0);

    // During a host change: the host dies, c is held still, and the impostor keeps
    // knocking at the session port, where the new host opens its door once it has taken
    // over (the old host's silence, then one more try of it: about 7 s), while the new
    // host waits for c.
    a.Kill();
    pid_t cpid = 0;
    c.Start("pid");
    cpid = std::atoi(c.Answer().c_str());
    ASSERT_GT(cpid, 0);
    kill(cpid, SIGSTOP);
    b("send " + bob + " " + cy + " meanwhile");
    Impostor during;
    during.Try(port, 3, cyId, 12, true);
    kill(cpid, SIGCONT);
    EXPECT_EQ(during.welcomes, 0);
    EXPECT_EQ(during.messages, 0);
    EXPECT_GT(during.refusals, 0);  // the new host was there, and said no

    // The real c comes back to its player and what was sent to it meanwhile.
    const std::string rest = bob + ":Bob " + cy + ":Cy";
    EXPECT_EQ(c.Until("players", rest, 20), rest);
    EXPECT_EQ(c.Next(cy, 20), "meanwhile");
    EXPECT_EQ(b.Until("players", rest), rest);
}

// A create whose answer does not come in time is given up, and then undone: the player
// never shows in any program's list.
TEST(NetIdentity, AGivenUpCreateNeverLeavesAPlayer) {
    const int port = FreeUdpPort();
    Peer a(port), b(port);
    ASSERT_EQ(a("host 0 arena"), "1");
    Relay relay(port);
    ASSERT_EQ(b("join 0 arena 127.0.0.1:" + std::to_string(relay.Port())), "1");
    const std::string ann = a("create Ann"), bob = b("create Bob");
    const std::string both = ann + ":Ann " + bob + ":Bob";
    ASSERT_EQ(a.Until("players", both), both);

    // Everything that carries the create is lost on its way, for a while.
    std::atomic<bool> blocking{true};
    std::atomic<int> carried{0};
    Relay::Faults f;
    f.dropToHost = [&](const std::string& d) {
        if (d.find("Ghost") == std::string::npos) return false;
        if (!blocking) ++carried;
        return blocking.load();
    };
    relay.Set(f);
    auto asked = Clock::now();
    EXPECT_EQ(b("create Ghost"), "0");
    EXPECT_GT(Seconds(asked), 5);
    blocking = false;
    // The create and its undoing reach the host now; no list ever shows the player.
    auto since = Clock::now();
    while (Seconds(since) < 15 && (carried == 0 || Seconds(since) < 3)) {
        EXPECT_EQ(a("players"), both);
        EXPECT_EQ(b("players"), both);
        Sleep(0.05);
    }
    EXPECT_GT(carried.load(), 0);
    EXPECT_EQ(a.Until("players", both), both);
    const std::string gina = b("create Gina");
    EXPECT_NE(gina, "0");
    EXPECT_EQ(a.Until("players", both + " " + gina + ":Gina"), both + " " + gina + ":Gina");
}

}  // namespace
