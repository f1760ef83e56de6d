// The host dies under traffic: the oldest program left takes over, and every stream
// between the programs that remain arrives complete, once, in order.
#include "net/net_harness.h"

namespace {

using namespace nettest;

TEST(NetHostKilled, EveryStreamArrivesOnceAndInOrder) {
    const int port = FreeUdpPort();
    Peer a(port), b(port), c(port), d(port);
    ASSERT_EQ(a("host 0 arena"), "1");
    for (Peer* p : {&b, &c, &d}) ASSERT_EQ((*p)("join 0 arena 127.0.0.1"), "1");
    const std::string ann = a("create Ann"), bob = b("create Bob"), cy = c("create Cy"), dee = d("create Dee");
    const std::string rest = bob + ":Bob " + cy + ":Cy " + dee + ":Dee";
    for (Peer* p : {&a, &b, &c, &d}) ASSERT_EQ(p->Until("players", ann + ":Ann " + rest), ann + ":Ann " + rest);

    // Every one of the three sends to each other one while the host is killed: 25
    // messages a frame, 3000 per stream, about two seconds each, all through the host.
    struct Member {
        Peer* p;
        std::string id;
    };
    std::vector<Member> ms = {{&b, bob}, {&c, cy}, {&d, dee}};
    for (Member& m : ms) m.p->Start("collect " + m.id);
    for (Member& m : ms) m.p->Answer();
    constexpr int kCount = 3000;
    for (Member& from : ms) {
        for (Member& to : ms)
            if (to.id != from.id) (*from.p)("stream " + from.id + " " + to.id + " " + std::to_string(kCount));
    }
    Sleep(0.3);
    a.Kill();
    auto killed = Clock::now();

    for (Member& to : ms)
        for (Member& from : ms)
            if (to.id != from.id) {
                EXPECT_EQ(to.p->Until("check " + to.id + " " + from.id + " " + std::to_string(kCount), "ok", 60), "ok")
                    << from.id << " to " << to.id;
            }
    std::printf("every stream complete %.1f s after the host was killed\n", Seconds(killed));
    for (Member& m : ms) {
        EXPECT_EQ(m.p->Until("players", rest), rest);
        EXPECT_EQ((*m.p)("refused"), "0");
    }
}

// The news of a player never reached the program that becomes the next host (every
// datagram that carried it was lost): when the player's owner comes back, the player is
// listed again under its own id, and the new host gives that id to nobody else.
TEST(NetHostKilled, PlayersTheNewHostNeverHeardOfKeepTheirIds) {
    const int port = FreeUdpPort();
    Peer a(port), b(port), c(port);
    ASSERT_EQ(a("host 0 arena"), "1");
    Relay relay(port);
    ASSERT_EQ(b("join 0 arena 127.0.0.1:" + std::to_string(relay.Port())), "1");  // the next host
    ASSERT_EQ(c("join 0 arena 127.0.0.1"), "1");
    const std::string ann = a("create Ann"), bob = b("create Bob"), cy = c("create Cy");
    const std::string all = ann + ":Ann " + bob + ":Bob " + cy + ":Cy";
    for (Peer* p : {&a, &b, &c}) ASSERT_EQ(p->Until("players", all), all);

    Relay::Faults f;
    f.dropToProgram = [](const std::string& d) { return d.find("Zed") != std::string::npos; };
    relay.Set(f);
    const std::string zed = c("create Zed");
    ASSERT_NE(zed, "0");
    EXPECT_EQ(c.Until("players", all + " " + zed + ":Zed"), all + " " + zed + ":Zed");
    Sleep(0.5);
    EXPECT_EQ(b("players"), all);

    a.Kill();
    const std::string rest = bob + ":Bob " + cy + ":Cy " + zed + ":Zed";
    EXPECT_EQ(b.Until("players", rest, 30), rest);
    EXPECT_EQ(c.Until("players", rest, 30), rest);
    const std::string next = b("create Next");
    EXPECT_GT(std::atol(next.c_str()), std::atol(zed.c_str()));
    b("send " + bob + " " + zed + " to zed");
    EXPECT_EQ(c.Next(zed), "to zed");
    c("send " + zed + " " + bob + " from zed");
    EXPECT_EQ(b.Next(bob), "from zed");
}

}  // namespace
