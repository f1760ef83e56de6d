// The host dies, on real sockets. Streams through host kills, once and in order, are
// checked in simulated time (sim/stream_test.cpp).
#include "net/net_harness.h"

namespace {

using namespace nettest;

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
