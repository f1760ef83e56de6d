// Floods from one address (127.0.0.2) against a host: connections that never say hello,
// connections ENet never finishes, and programs that say a proper hello by the dozen.
// The session stays joinable for real programs (127.0.0.1) all the while.
#include <map>
#include <set>

#include "net/net_harness.h"
#include "net/session.h"

namespace {

using namespace nettest;

// A real program joins, creates a player and exchanges a message with the host's.
void JoinAndTalk(Peer& a, const std::string& ann, int port) {
    Peer b(port);
    ASSERT_EQ(b("join 0 arena 127.0.0.1"), "1");
    const std::string bob = b("create Bob");
    ASSERT_NE(bob, "0");
    b("send " + bob + " " + ann + " real");
    EXPECT_EQ(a.Next(ann), "real");
    a("send " + ann + " " + bob + " welcome");
    EXPECT_EQ(b.Next(bob), "welcome");
    EXPECT_EQ(b.End(), 0);
}

TEST(NetFlood, SilentConnectionsCannotTakeTheSeats) {
    const int port = FreeUdpPort();
    Peer a(port);
    ASSERT_EQ(a("host 0 arena"), "1");
    const std::string ann = a("create Ann");

    // 150 connections that never say hello, made again as soon as one is dropped; and
    // connections started and never finished, 100 at a time.
    std::atomic<bool> stop{false};
    std::atomic<double> longest{0};
    std::atomic<int> made{0};
    std::thread silent([&] {
        RawClient c("127.0.0.2", 150);
        std::map<ENetPeer*, Clock::time_point> up, tried;
        for (int i = 0; i < 150; ++i) tried[c.Connect(port)] = Clock::now();
        while (!stop) {
            c.Pump(0.02, {}, [&](ENetPeer* p, bool connected) {
                if (connected) {
                    up[p] = Clock::now();
                    ++made;
                    return;
                }
                if (up.count(p)) longest = std::max(longest.load(), Seconds(up[p]));
                up.erase(p);
            });
            // Dropped ones, and attempts the host leaves unanswered, are made afresh.
            for (size_t i = 0; i < c.Host()->peerCount; ++i) {
                ENetPeer* p = &c.Host()->peers[i];
                if (up.count(p)) continue;
                if (p->state == ENET_PEER_STATE_DISCONNECTED || Seconds(tried[p]) > 0.5) {
                    enet_peer_reset(p);
                    tried[c.Connect(port)] = Clock::now();
                }
            }
        }
    });
    std::thread unfinished([&] {
        while (!stop) {
            RawClient c("127.0.0.2", 100);
            for (int i = 0; i < 100; ++i) c.Connect(port);
            enet_host_flush(c.Host());
            Sleep(1.5);  // never answered: ENet's handshake stays half done
        }
    });
    Sleep(2);
    JoinAndTalk(a, ann, port);
    Sleep(1);
    JoinAndTalk(a, ann, port);
    stop = true;
    silent.join();
    unfinished.join();
    EXPECT_GT(made.load(), 50);
    EXPECT_LT(longest.load(), net::kHelloMs / 1000 + 1.5);  // dropped when the time to say hello is up
    EXPECT_EQ(a("players"), ann + ":Ann");
}

TEST(NetFlood, ProperHellosFromOneAddressGetALimitedShare) {
    const int port = FreeUdpPort();
    Peer a(port);
    ASSERT_EQ(a("host 0 arena"), "1");
    const std::string ann = a("create Ann");

    // Programs from one address, 60 at a time, each with a proper hello, again and again
    // when dropped or refused; they keep the seats they get.
    RawClient c("127.0.0.2", 60);
    int welcomes = 0, full = 0;
    std::set<ENetPeer*> seated;
    std::map<ENetPeer*, Clock::time_point> tried;
    const net::Bytes hello = net::EncodeHello(NewHello("arena"));
    for (auto start = Clock::now(); Seconds(start) < 5;) {
        for (size_t i = 0; i < c.Host()->peerCount; ++i) {
            ENetPeer* p = &c.Host()->peers[i];
            if (seated.count(p)) continue;
            if (p->state == ENET_PEER_STATE_DISCONNECTED || Seconds(tried[p]) > 0.5) {
                enet_peer_reset(p);
                tried[c.Connect(port)] = Clock::now();
            }
        }
        c.Pump(0.05, [&](ENetPeer* p, const net::Bytes& b) {
            auto t = net::PacketType(b.data(), b.size());
            if (t == net::Type::Welcome) {
                ++welcomes;
                seated.insert(p);
            }
            if (t == net::Type::Refuse && net::DecodeRefuse(b.data(), b.size())->reason == net::Refusal::Full) ++full;
        }, [&](ENetPeer* p, bool connected) {
            if (connected) c.Send(p, hello);
        });
    }
    EXPECT_EQ(welcomes, 16);
    EXPECT_GT(full, 0);
    // Real programs still find seats, while those 16 hold theirs.
    std::thread keep([&] { c.Pump(8); });
    JoinAndTalk(a, ann, port);
    JoinAndTalk(a, ann, port);
    keep.join();
}

}  // namespace
