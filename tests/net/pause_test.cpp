// A program that waits or computes for a long time stays in its session: its network
// thread keeps the connection alive, and everything sent to it meanwhile waits for it.
#include "net/net_harness.h"

namespace {

using namespace nettest;

// The host waits 5 s in KEYWAIT while a joined program computes 5 s without a frame (longer
// than a connection that brings nothing lives); the third keeps sending to both and to
// itself through the host. Nobody leaves, nobody takes over, and every message arrives
// once, in order.
TEST(NetPause, WaitingAndComputingProgramsStayInTheSession) {
    const int port = FreeUdpPort();
    Peer a(port), b(port), c(port);
    ArenaOfThree arena;
    ASSERT_NO_FATAL_FAILURE(StartArenaOfThree(a, b, c, arena));
    const std::string &ann = arena.ann, &bob = arena.bob, &cy = arena.cy, &all = arena.all;

    a.Start("keywait 5");
    c.Start("busy 5");
    auto paused = Clock::now();
    b("collect " + bob);
    b("stream " + bob + " " + ann + " 400");
    b("stream " + bob + " " + cy + " 400");
    // Meanwhile the session stands as it was, seen from the program that runs.
    while (Seconds(paused) < 4.5) {
        EXPECT_EQ(b("players"), all);
        Sleep(0.5);
    }
    EXPECT_EQ(a.Answer(30), "1");
    EXPECT_EQ(c.Answer(30), "1");
    EXPECT_GE(Seconds(paused), 4.5);

    a("collect " + ann);
    c("collect " + cy);
    EXPECT_EQ(a.Until("check " + ann + " " + bob + " 400", "ok", 30), "ok");
    EXPECT_EQ(c.Until("check " + cy + " " + bob + " 400", "ok", 30), "ok");
    // The same session: nothing was refused, the same players, the same host.
    EXPECT_EQ(b("refused"), "0");
    for (Peer* p : {&a, &b, &c}) EXPECT_EQ(p->Until("players", all), all);
    c("send " + cy + " " + bob + " back");
    a("stream " + ann + " " + bob + " 5");
    EXPECT_EQ(b.Until("check " + bob + " " + ann + " 5", "ok"), "ok");
    EXPECT_EQ(b.Until("check " + bob + " " + cy + " 0", "ok"), "ok");
}

}  // namespace
