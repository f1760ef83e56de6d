// Network sessions between real programs on the runtime (net_peer.cpp), over real
// sockets on 127.0.0.1; every test has a port of its own.
#include "net/net_harness.h"

namespace {

using namespace nettest;

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
    for (const std::string& id : {ann, bob, cy}) EXPECT_GT(std::atol(id.c_str()), 0) << id;
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
    Sleep(0.2);
    EXPECT_EQ(b("get " + bob), "");
    EXPECT_EQ(a("get " + bob), "");  // only the owner's program reads a player's messages

    // 1023 bytes arrive; 1024 come back empty; the next message follows.
    b("long " + bob + " " + ann + " 1023");
    b("long " + bob + " " + ann + " 1024");
    b("send " + bob + " " + ann + " after");
    EXPECT_EQ(a.Next(ann), "x*1023");
    EXPECT_EQ(a.Next(ann), "after");

    // A program cannot send as another program's player, nor to nobody; to 0 reaches
    // every other player, this program's own too.
    EXPECT_EQ(b("send " + ann + " " + cy + " forged"), "0");
    EXPECT_EQ(b("send " + bob + " 987654 lost"), "0");
    b("send " + bob + " " + cy + " real");
    EXPECT_EQ(c.Next(cy), "real");
    const std::string ada = a("create Ada");
    a("send " + ann + " 0 everyone");
    EXPECT_EQ(b.Next(bob), "everyone");
    EXPECT_EQ(c.Next(cy), "everyone");
    EXPECT_EQ(a.Next(ada), "everyone");
    EXPECT_EQ(a("get " + ann), "");

    // Only the owner destroys a player, and it is gone at once; a program that ends
    // takes its players with it at once.
    EXPECT_EQ(c("destroy " + bob), "0");
    EXPECT_EQ(c.Until("num", "4", 1), "4");
    EXPECT_EQ(a("destroy " + ada), "0");
    EXPECT_EQ(a("players"), ann + ":Ann " + bob + ":Bob " + cy + ":Cy");
    EXPECT_EQ(b("destroy " + bob), "0");
    EXPECT_EQ(b("send " + bob + " " + ann + " ghost"), "0");
    EXPECT_EQ(a.Until("players", ann + ":Ann " + cy + ":Cy"), ann + ":Ann " + cy + ":Cy");
    EXPECT_EQ(c.End(), 0);
    auto ended = Clock::now();
    EXPECT_EQ(a.Until("players", ann + ":Ann"), ann + ":Ann");
    EXPECT_LT(Seconds(ended), 3);  // not the time a silent program's seat is kept
    EXPECT_EQ(b.Until("num", "1"), "1");
    const std::string bo = b("create Bo");
    EXPECT_GT(std::atol(bo.c_str()), std::atol(ada.c_str()));  // ids are never given twice
}

// Messages sent right before a program ends, hosts or joins anew go out before it leaves
// the session, and so does a joined program's goodbye: its players leave at once.
TEST(NetSession, WhatIsSentJustBeforeLeavingArrives) {
    const int port = FreeUdpPort();
    Peer a(port), b(port), c(port), d(port);
    ASSERT_EQ(a("host 0 arena"), "1");
    for (Peer* p : {&b, &c, &d}) ASSERT_EQ((*p)("join 0 arena localhost"), "1");
    const std::string ann = a("create Ann"), bob = b("create Bob"), cy = c("create Cy"), dee = d("create Dee");
    ASSERT_EQ(a.Until("num", "4"), "4");
    a("collect " + ann);
    EXPECT_EQ(b("burst " + bob + " " + ann + " 2000"), "2000");
    EXPECT_EQ(b.End(), 0);
    EXPECT_EQ(c("burst " + cy + " " + ann + " 2000"), "2000");
    EXPECT_EQ(c("host 0 elsewhere"), "0");  // the session port is a's: no new session, but c left
    EXPECT_EQ(d("burst " + dee + " " + ann + " 2000"), "2000");
    EXPECT_EQ(d("join 0 arena 127.0.0.1"), "1");  // again, as a new program
    for (const std::string& from : {bob, cy, dee})
        EXPECT_EQ(a.Until("check " + ann + " " + from + " 2000", "ok"), "ok") << from;
    EXPECT_EQ(a.Until("players", ann + ":Ann"), ann + ":Ann");
    // And the host's own, before it ends: the joined program gets them all.
    const std::string dan = d("create Dan");
    d("collect " + dan);
    EXPECT_EQ(a("burst " + ann + " " + dan + " 2000"), "2000");
    EXPECT_EQ(a.End(), 0);
    EXPECT_EQ(d.Until("check " + dan + " " + ann + " 2000", "ok"), "ok");
}

// Joins that fail, and a host that survives garbage and malformed packets.
TEST(NetSession, FailedJoinsAndHostileInput) {
    const int port = FreeUdpPort();
    Peer a(port), b(port);
    auto start = Clock::now();
    EXPECT_EQ(b("join 0 arena 127.0.0.1"), "0");  // nothing listens
    EXPECT_LT(Seconds(start), 10);
    EXPECT_EQ(b("join 0 arena"), "0");
    EXPECT_EQ(b("join 0 arena 127.0.0.1:0"), "0");  // no such port
    EXPECT_EQ(b("join 0 arena no.such.host.invalid"), "0");
    EXPECT_EQ(a("host 1 arena"), "0");  // IPX and serial links are not offered
    EXPECT_EQ(a("host 2 arena"), "0");
    ASSERT_EQ(a("host 0 arena"), "1");
    const std::string ann = a("create Ann");
    Peer taken(port);
    EXPECT_EQ(taken("host 0 arena"), "0");  // the port is taken

    // Plain garbage at the host's port.
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to = Loopback(port);
    std::mt19937 rng(7);
    for (int i = 0; i < 3000; ++i) {
        std::string d(rng() % 1400, 0);
        for (char& ch : d) ch = static_cast<char>(rng());
        if (i % 3 == 0 && d.size() >= 4) d.replace(0, 4, "TLVN");
        sendto(s, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    close(s);

    // A real connection that sends malformed and forbidden packets.
    RawClient client;
    ENetPeer* peer = client.Connect(port);
    bool connected = false;
    int welcomes = 0, others = 0;
    auto got = [&](ENetPeer*, const net::Bytes& b) {
        auto t = net::PacketType(b.data(), b.size());
        if (t == net::Type::Welcome) ++welcomes;
        else if (t && t != net::Type::KeepAlive) ++others;
    };
    for (auto t = Clock::now(); !connected && Seconds(t) < 10;)
        client.Pump(0.05, got, [&](ENetPeer*, bool up) { connected = up; });
    ASSERT_TRUE(connected);
    const uint32_t annId = static_cast<uint32_t>(std::atol(ann.c_str()));
    const net::Bytes hello = net::EncodeHello(NewHello("arena"));
    net::Bytes wrongVersion = hello, shorter = hello, longer = hello;
    wrongVersion[1] = 9;
    shorter.pop_back();
    longer.push_back('x');
    net::RecordWriter forged(net::Type::Send);
    forged.Add(net::Outgoing{annId, annId, {{1, 1}}, "before hello"});
    for (const net::Bytes& p : {net::Bytes{'T'}, net::Bytes{'T', 2, 99}, wrongVersion, forged.Take(), shorter, longer})
        client.Send(peer, p);
    client.Send(peer, hello);  // now a peer of the session
    client.Pump(2, got);
    EXPECT_EQ(welcomes, 1);
    // As a peer: sending as another's player, destroying it, garbage counters.
    forged.Add(net::Outgoing{annId, annId, {{1, 1}}, "forged"});
    net::Bytes brokenCreate = net::EncodeCreate(1, "Eve");
    brokenCreate.resize(6);
    for (const net::Bytes& p : {forged.Take(), net::EncodeDestroy(annId), brokenCreate,
                                net::EncodeSeqList(net::Type::Ack, {{1, 99999}}),
                                net::EncodeSeqList(net::Type::Resume, {{1, 1}, {77, 5}}), net::EncodeCreated({1, 1})})
        client.Send(peer, p);
    client.Pump(0.5, got);
    enet_peer_disconnect_now(peer, 0);

    // The host lives, its player is untouched, nothing forged arrived, others can join.
    EXPECT_EQ(a("players"), ann + ":Ann");
    EXPECT_EQ(a("get " + ann), "");
    ASSERT_EQ(b("join 0 arena 127.0.0.1"), "1");
    const std::string bob = b("create Bob");
    b("send " + bob + " " + ann + " hi");
    EXPECT_EQ(a.Next(ann), "hi");
}

// A datagram changed on its way is dropped by the checksum and sent again: every text
// arrives as it was sent.
TEST(NetSession, CorruptedDatagramsNeverDeliverCorruptedText) {
    const int port = FreeUdpPort();
    Peer a(port), b(port);
    ASSERT_EQ(a("host 0 arena"), "1");
    Relay relay(port);
    ASSERT_EQ(b("join 0 arena 127.0.0.1:" + std::to_string(relay.Port())), "1");
    const std::string ann = a("create Ann"), bob = b("create Bob");
    ASSERT_EQ(b.Until("num", "2"), "2");
    // One datagram in five has one byte changed, both ways.
    Relay::Faults f;
    f.corrupt = 0.2;
    relay.Set(f);
    a("collect " + ann);
    b("collect " + bob);
    a("stream " + ann + " " + bob + " 300");
    b("stream " + bob + " " + ann + " 300");
    EXPECT_EQ(a.Until("check " + ann + " " + bob + " 300", "ok", 60), "ok");
    EXPECT_EQ(b.Until("check " + bob + " " + ann + " 300", "ok", 60), "ok");
    EXPECT_GT(relay.Corrupted(), 10);
}

// Three programs; the host is killed: the oldest joiner takes over, the host's players
// leave, messages flow again. Then that host ends cleanly, and the session goes on.
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
    // Sent while there is no host: it arrives once the new one is there.
    EXPECT_EQ(c("send " + cy + " " + bob + " meanwhile"), "1");
    EXPECT_EQ(b.Next(bob, 30), "meanwhile");
    std::printf("messages flow again %.1f s after the host was killed\n", Seconds(killed));
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
    EXPECT_EQ(c.Until("players", rest), rest);
    EXPECT_EQ(d("send 0 " + dee + " nobody's"), "0");  // no player of d's
    c("send " + cy + " " + dee + " still");
    EXPECT_EQ(c.Next(dee), "still");
    EXPECT_EQ(d.Until("players", rest), rest);
    const std::string eve = d("create Eve");
    d("send " + eve + " " + cy + " hello");
    EXPECT_EQ(c.Next(cy), "hello");
}

}  // namespace
