// A session over a bad network. With a fifth of all datagrams lost, one in twenty twice,
// every one delayed 20 to 60 ms (so they overtake each other), it holds for a minute:
// nobody splits off, the player lists agree, every message arrives once and in order.
// With half of them lost it is slow, but it still holds.
#include "net/net_harness.h"

namespace {

using namespace nettest;

// Three programs joined through a relay stream messages to each other under `faults`
// for `seconds`; then the network heals, and every stream must arrive whole, once and
// in order, with the lists agreeing and nobody split off or refused.
void StreamThroughFaults(const Relay::Faults& faults, double seconds) {
    const int port = FreeUdpPort();
    Peer a(port), b(port), c(port);
    ASSERT_EQ(a("host 0 arena"), "1");
    Relay relay(port);
    const std::string via = "join 0 arena 127.0.0.1:" + std::to_string(relay.Port());
    ASSERT_EQ(b(via), "1");
    ASSERT_EQ(c(via), "1");
    const std::string ann = a("create Ann"), bob = b("create Bob"), cy = c("create Cy");
    const std::string all = ann + ":Ann " + bob + ":Bob " + cy + ":Cy";
    for (Peer* p : {&a, &b, &c}) ASSERT_EQ(p->Until("players", all), all);

    relay.Set(faults);

    // Each program sends to both others all the time.
    struct Member {
        Peer* p;
        std::string id;
    };
    std::vector<Member> ms = {{&a, ann}, {&b, bob}, {&c, cy}};
    for (Member& m : ms) (*m.p)("collect " + m.id);
    auto start = Clock::now();
    int round = 0;
    while (Seconds(start) < seconds) {
        // The streams go out a little at a time: 100 messages a second each.
        if (round++ % 10 == 0)
            for (Member& from : ms)
                for (Member& to : ms)
                    if (to.id != from.id) (*from.p)("stream " + from.id + " " + to.id + " 100");
        for (Member& m : ms) EXPECT_EQ((*m.p)("num"), "3") << "after " << Seconds(start) << " s";
        if (round % 50 == 25) {
            const std::string lists = a("players");
            EXPECT_EQ(lists, all);
            EXPECT_EQ(b.Until("players", lists, 5), lists);
            EXPECT_EQ(c.Until("players", lists, 5), lists);
        }
        Sleep(0.1);
    }
    relay.Set({});
    const int sent = (round + 9) / 10 * 100;
    ASSERT_GE(sent, static_cast<int>(seconds) * 30);
    for (Member& to : ms)
        for (Member& from : ms)
            if (to.id != from.id) {
                EXPECT_EQ(to.p->Until("check " + to.id + " " + from.id + " " + std::to_string(sent), "ok", 60), "ok")
                    << from.id << " to " << to.id;
            }
    for (Member& m : ms) {
        EXPECT_EQ((*m.p)("players"), all);
        EXPECT_EQ((*m.p)("refused"), "0");
    }
}

TEST(NetLoss, ThreePrograms20PercentLossForAMinute) {
    Relay::Faults bad;
    bad.drop = 0.2;
    bad.duplicate = 0.05;
    bad.minDelayMs = 20;
    bad.maxDelayMs = 60;
    StreamThroughFaults(bad, 60);
}

TEST(NetLoss, HalfTheDatagramsLostSlowsTheSessionButNeverSplitsIt) {
    Relay::Faults worse;
    worse.drop = 0.5;
    worse.minDelayMs = 20;
    worse.maxDelayMs = 60;
    StreamThroughFaults(worse, 20);
}

}  // namespace
