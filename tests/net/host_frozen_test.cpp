// A host that is stopped (SIGSTOP) long enough for the others to take it for lost, on real
// sockets: the wiring of what the simulation checks in every interleaving.
#include "net/net_harness.h"

namespace {

using namespace nettest;

// The host stands still for six seconds: the oldest member takes over, though it cannot
// open the session port the stopped host still holds. When the old host runs again it
// learns that it was replaced, steps down and rejoins with its player; the new host takes
// the session port once it is free, and a newcomer that joins there lands in the one live
// session, where the old host's player hears it.
TEST(NetHostFrozen, AStoppedHostStepsDownAndRejoinsAndANewcomerFindsTheLiveSession) {
    const int port = FreeUdpPort();
    Peer a(port), b(port), c(port);
    ArenaOfThree arena;
    ASSERT_NO_FATAL_FAILURE(StartArenaOfThree(a, b, c, arena));
    const std::string &ann = arena.ann, &bob = arena.bob, &cy = arena.cy;

    a.Freeze();
    const auto frozen = Clock::now();
    const std::string rest = bob + ":Bob " + cy + ":Cy";
    EXPECT_EQ(b.Until("players", rest, 6), rest);  // b took over: the stopped host is gone
    EXPECT_EQ(c.Until("players", rest, 6), rest);
    std::printf("the others took over %.1f s after the host stopped\n", Seconds(frozen));
    Sleep(std::max(0.0, 6 - Seconds(frozen)));
    a.Thaw();
    const auto thawed = Clock::now();

    // Back in b's session with its player, listed last as b took it in again.
    const std::string again = rest + " " + ann + ":Ann";
    for (Peer* p : {&a, &b, &c}) EXPECT_EQ(p->Until("players", again, 10), again);
    std::printf("the stopped host rejoined %.1f s after it went on\n", Seconds(thawed));
    Peer d(port);
    ASSERT_EQ(d.Until("join 0 arena 127.0.0.1", "1", 5), "1");
    const std::string dee = d("create Dee");
    const std::string four = again + " " + dee + ":Dee";
    for (Peer* p : {&a, &b, &c, &d}) EXPECT_EQ(p->Until("players", four), four);
    std::printf("a newcomer at the session port in the live session %.1f s after the host went on\n", Seconds(thawed));
    EXPECT_EQ(a("send " + ann + " " + dee + " old host"), "1");
    EXPECT_EQ(d.Next(dee), "old host");
    EXPECT_EQ(d("send " + dee + " " + ann + " newcomer"), "1");
    EXPECT_EQ(a.Next(ann), "newcomer");
}

}  // namespace
