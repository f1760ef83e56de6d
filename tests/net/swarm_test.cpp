// Many programs in one session: 64 programs with 4 players each agree on the list, and
// agree again after the host is killed. The host is a program of its own (net_peer);
// the 63 others are network objects in this test's process, each with its own socket
// and network thread, as in a program of its own.
#include <memory>

#include "net/kwnetwork.h"
#include "net/net_harness.h"

namespace {

using namespace nettest;

std::string List(KWNetwork& n) {
    n.Service();
    std::string all;
    char name[256];
    for (int i = 0; i < n.NumPlayers(); ++i) {
        n.GetPlayerName(n.GetPlayerID(i), name, sizeof name);
        all += std::to_string(n.GetPlayerID(i)) + ":" + name + " ";
    }
    return all;
}

// Seconds until every program lists `want`, or -1 after `limit` seconds.
double Agree(std::vector<std::unique_ptr<KWNetwork>>& all, const std::string& want, double limit) {
    auto start = Clock::now();
    while (Seconds(start) < limit) {
        bool same = true;
        for (auto& n : all) same = same && List(*n) == want;
        if (same) return Seconds(start);
        Sleep(0.02);
    }
    return -1;
}

TEST(NetSwarm, SixtyFourProgramsAgreeAndAgreeAgainAfterTheHostDies) {
    StartRuntimeOnce();
    const int port = FreeUdpPort();
    Peer host(port);
    ASSERT_EQ(host("host 0 arena"), "1");
    for (int k = 0; k < 4; ++k) ASSERT_NE(host("create H" + std::to_string(k)), "0");

    std::vector<std::unique_ptr<KWNetwork>> all;
    KWCONNECTION_INFO join;
    std::snprintf(join.sessionName, sizeof join.sessionName, "arena");
    std::snprintf(join.address, sizeof join.address, "127.0.0.1");
    auto start = Clock::now();
    for (int i = 0; i < 63; ++i) {
        auto n = std::make_unique<KWNetwork>(static_cast<uint16_t>(port));
        n->SetLanSearch(false);
        ASSERT_EQ(n->Init(join), KWNetwork::kOk) << "program " << i;
        all.push_back(std::move(n));
    }
    for (int i = 0; i < 63; ++i)
        for (int k = 0; k < 4; ++k) {
            uint32_t id = 0;
            std::string name = "P" + std::to_string(i) + "." + std::to_string(k);
            ASSERT_EQ(all[i]->CreatePlayer(name.c_str(), &id), KWNetwork::kOk) << name;
        }
    const std::string want = List(*all.back());
    EXPECT_EQ(std::count(want.begin(), want.end(), ' '), 256);
    const double agreed = Agree(all, want, 30);
    EXPECT_GE(agreed, 0);
    std::printf("64 programs with 4 players each: joined and created in %.1f s, agreed %.2f s later\n",
                Seconds(start) - agreed, agreed);
    std::string hostList;
    {
        std::string a = host("players");
        for (size_t i = 0; i <= a.size(); ++i) hostList += i == a.size() ? ' ' : a[i];
    }
    EXPECT_EQ(hostList, want);

    // The host dies; the other 63 agree again, without its players.
    host.Kill();
    auto killed = Clock::now();
    std::string rest;
    for (size_t at = 0; at < want.size();) {
        size_t end = want.find(' ', at);
        std::string entry = want.substr(at, end - at + 1);
        if (entry.find(":H") == std::string::npos) rest += entry;
        at = end + 1;
    }
    const double again = Agree(all, rest, 60);
    EXPECT_GE(again, 0);
    std::printf("after the host was killed: agreement again in %.2f s\n", Seconds(killed));
    uint32_t id = 0;
    ASSERT_EQ(all[40]->CreatePlayer("Late", &id), KWNetwork::kOk);
    EXPECT_GE(Agree(all, rest + std::to_string(id) + ":Late ", 20), 0);
}

}  // namespace
