// The session protocol's decoders: what they let through is a consistent session, and
// nothing else; and the digest that proves a returning program.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/protocol.h"
#include "net/secret.h"

namespace {

using net::Bytes;

net::Welcome SoundWelcome() {
    net::Welcome w;
    w.you = 2;
    w.host = 1;
    w.term = 4;
    w.nextPeer = 3;
    w.nextPlayer = 12;
    w.secret[0] = 9;
    w.peers = {{1, 0, 26814, {}}, {2, 0x0100007F, 40000, {}}};
    w.players = {{5, 1, 1, "Ann"}, {11, 2, 7, std::string(255, 'n')}};
    return w;
}

// A packet decodes only whole: one byte less or more and it is refused.
template <class Decode> void OnlyWhole(const Bytes& p, Decode decode) {
    ASSERT_TRUE(decode(p.data(), p.size()));
    for (size_t n = 0; n < p.size(); ++n) EXPECT_FALSE(decode(p.data(), n)) << "cut to " << n;
    Bytes longer = p;
    longer.push_back(0);
    EXPECT_FALSE(decode(longer.data(), longer.size()));
}

TEST(NetProtocol, AWelcomeMustDescribeOneConsistentSession) {
    const Bytes good = net::EncodeWelcome(SoundWelcome());
    auto w = net::DecodeWelcome(good.data(), good.size());
    ASSERT_TRUE(w);
    EXPECT_EQ(net::EncodeWelcome(*w), good);
    OnlyWhole(good, net::DecodeWelcome);

    auto refused = [](const char* why, auto change) {
        net::Welcome w = SoundWelcome();
        change(w);
        const Bytes b = net::EncodeWelcome(w);
        EXPECT_FALSE(net::DecodeWelcome(b.data(), b.size())) << why;
    };
    refused("this program is 0", [](net::Welcome& w) { w.you = 0; });
    refused("the host is 0", [](net::Welcome& w) { w.host = 0; });
    refused("term 0", [](net::Welcome& w) { w.term = 0; });
    refused("a peer 0", [](net::Welcome& w) { w.peers[0].id = 0; });
    refused("a player 0", [](net::Welcome& w) { w.players[0].id = 0; });
    refused("an owner 0", [](net::Welcome& w) { w.players[0].owner = 0; });
    refused("a token 0", [](net::Welcome& w) { w.players[0].token = 0; });
    refused("next player 0", [](net::Welcome& w) { w.nextPlayer = 0; });
    refused("next peer 0", [](net::Welcome& w) { w.nextPeer = 0; });
    refused("next player not above a player", [](net::Welcome& w) { w.nextPlayer = 11; });
    refused("next peer not above a peer", [](net::Welcome& w) { w.nextPeer = 2; });
    refused("an id above the largest", [](net::Welcome& w) { w.players[1].id = 0x80000000u; });
    refused("a player twice", [](net::Welcome& w) { w.players[1].id = 5; });
    refused("a peer twice", [](net::Welcome& w) { w.peers[1].id = 1; w.you = 1; });
    refused("this program is the host", [](net::Welcome& w) { w.you = 1; });
    refused("this program not listed", [](net::Welcome& w) { w.you = 7; w.nextPeer = 8; });
    refused("an owner not listed", [](net::Welcome& w) { w.players[0].owner = 9; });
}

TEST(NetProtocol, HellosMessagesAndListsAreCheckedField_by_field) {
    // A new program owns nothing; a returning one lists no player twice.
    net::Hello h;
    h.name = "arena";
    Bytes b = net::EncodeHello(h);
    OnlyWhole(b, net::DecodeHello);
    h.players.push_back({4, 0, 1, "Ann"});
    b = net::EncodeHello(h);
    EXPECT_FALSE(net::DecodeHello(b.data(), b.size()));
    h.peer = 3;
    b = net::EncodeHello(h);
    auto back = net::DecodeHello(b.data(), b.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->players.at(0).owner, 3u);
    EXPECT_EQ(net::EncodeHello(*back), b);
    h.players.push_back({4, 0, 2, "Ann again"});
    b = net::EncodeHello(h);
    EXPECT_FALSE(net::DecodeHello(b.data(), b.size()));

    // Messages: a sender, at least one receiver, each once, numbers from 1; to 0 is
    // every other player.
    auto send = [](net::Outgoing m) {
        net::RecordWriter w(net::Type::Send);
        w.Add(m);
        Bytes p = w.Take();
        return std::pair{p, net::DecodeSend(p.data(), p.size()).has_value()};
    };
    EXPECT_TRUE(send({5, 0, {{2, 1}, {3, 9}}, "hi"}).second);
    OnlyWhole(send({5, 6, {{2, 1}}, "hi"}).first, net::DecodeSend);
    EXPECT_FALSE(send({0, 6, {{2, 1}}, "hi"}).second);
    EXPECT_FALSE(send({5, 6, {}, "hi"}).second);
    EXPECT_FALSE(send({5, 6, {{2, 0}}, "hi"}).second);
    EXPECT_FALSE(send({5, 6, {{0, 1}}, "hi"}).second);
    EXPECT_FALSE(send({5, 6, {{2, 1}, {2, 2}}, "hi"}).second);
    net::RecordWriter d(net::Type::Deliver);
    d.Add(net::Incoming{2, 1, 5, 0, std::string(1000, 'x')});
    d.Add(net::Incoming{2, 2, 5, 6, ""});
    const Bytes two = d.Take();
    auto got = net::DecodeDeliver(two.data(), two.size());
    ASSERT_TRUE(got);
    ASSERT_EQ(got->size(), 2u);
    EXPECT_EQ((*got)[0].text.size(), 1000u);
    EXPECT_EQ((*got)[1].seq, 2u);
    OnlyWhole(two, net::DecodeDeliver);

    // Lists of numbers, ids and changes of the tables.
    OnlyWhole(net::EncodeSeqList(net::Type::Ack, {{2, 7}, {3, 1}}), [](const uint8_t* p, size_t n) {
        return net::DecodeSeqList(net::Type::Ack, p, n);
    });
    const Bytes zero = net::EncodeSeqList(net::Type::Resume, {{2, 0}});
    EXPECT_FALSE(net::DecodeSeqList(net::Type::Resume, zero.data(), zero.size()));
    const Bytes ack = net::EncodeSeqList(net::Type::Ack, {{2, 7}});
    EXPECT_FALSE(net::DecodeSeqList(net::Type::Resume, ack.data(), ack.size()));  // the type must match
    EXPECT_FALSE(net::DecodePlayerRemoved(net::EncodePlayerRemoved(0).data(), 7));
    OnlyWhole(net::EncodePlayerAdded({8, 2, 3, "Bob"}), net::DecodePlayerAdded);
    const Bytes noOwner = net::EncodePlayerAdded({8, 0, 3, "Bob"});
    EXPECT_FALSE(net::DecodePlayerAdded(noOwner.data(), noOwner.size()));
    OnlyWhole(net::EncodePeerJoined({4, 1, 2, {}}), net::DecodePeerJoined);
    OnlyWhole(net::EncodeCreated({1, 8}), net::DecodeCreated);
    const Bytes noId = net::EncodeCreated({1, 0});
    EXPECT_FALSE(net::DecodeCreated(noId.data(), noId.size()));
    OnlyWhole(net::EncodeRefuse({net::Refusal::NotHost, 4}), net::DecodeRefuse);
    Bytes badReason = net::EncodeRefuse({net::Refusal::NotHost, 4});
    badReason[3] = 0;
    EXPECT_FALSE(net::DecodeRefuse(badReason.data(), badReason.size()));

    // Another version of the protocol is not this protocol.
    Bytes old = net::EncodeEmpty(net::Type::KeepAlive);
    EXPECT_TRUE(net::PacketType(old.data(), old.size()));
    old[1] = net::kVersion - 1;
    EXPECT_FALSE(net::PacketType(old.data(), old.size()));
}

// Which of two hosts stays: the later term, and at the same term the older host; never
// both, never neither. A claim goes whole, names a host and a term, and a host to follow
// is somewhere.
TEST(NetProtocol, HostClaimsAndWhichHostStays) {
    const net::Claim a{3, 7, 0, 0}, later{4, 9, 0, 0}, older{3, 2, 0, 0};
    EXPECT_TRUE(net::Outranks(later, a));
    EXPECT_FALSE(net::Outranks(a, later));
    EXPECT_TRUE(net::Outranks(older, a));
    EXPECT_FALSE(net::Outranks(a, older));
    EXPECT_FALSE(net::Outranks(a, a));

    net::ClaimDatagram c{false, {1, 2, 3}, "arena", {5, 6, 0x0100007F, 26814}};
    const Bytes asks = net::EncodeClaim(c);
    OnlyWhole(asks, net::DecodeClaim);
    auto back = net::DecodeClaim(asks.data(), asks.size());
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->answer);
    EXPECT_EQ(back->name, "arena");
    EXPECT_EQ(back->claim.term, 5u);
    EXPECT_EQ(back->claim.host, 6u);
    EXPECT_EQ(back->claim.port, 26814);
    EXPECT_TRUE(net::IsSearchDatagram(asks.data(), asks.size()));  // taken out before ENet sees it
    EXPECT_FALSE(net::DecodeSearch(asks.data(), asks.size()));
    c.answer = true;
    const Bytes answers = net::EncodeClaim(c);
    EXPECT_TRUE(net::DecodeClaim(answers.data(), answers.size())->answer);
    c.claim.host = 0;
    const Bytes nobody = net::EncodeClaim(c);
    EXPECT_FALSE(net::DecodeClaim(nobody.data(), nobody.size()));
    c.claim = {0, 6, 0, 0};
    const Bytes noTerm = net::EncodeClaim(c);
    EXPECT_FALSE(net::DecodeClaim(noTerm.data(), noTerm.size()));

    OnlyWhole(net::EncodeFollow({5, 6, 0x0100007F, 26814}), net::DecodeFollow);
    const Bytes nowhere = net::EncodeFollow({5, 6, 0, 26814});
    EXPECT_FALSE(net::DecodeFollow(nowhere.data(), nowhere.size()));
    const Bytes noPort = net::EncodeFollow({5, 6, 0x0100007F, 0});
    EXPECT_FALSE(net::DecodeFollow(noPort.data(), noPort.size()));
}

TEST(NetProtocol, SecretsAndTheirDigests) {
    // FIPS 180-2 examples.
    auto hex = [](const net::Digest& d) {
        std::string s;
        char b[3];
        for (uint8_t x : d) {
            std::snprintf(b, sizeof b, "%02x", x);
            s += b;
        }
        return s;
    };
    const std::string abc = "abc", two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(hex(net::Sha256(reinterpret_cast<const uint8_t*>(abc.data()), abc.size())),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hex(net::Sha256(reinterpret_cast<const uint8_t*>(two.data()), two.size())),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(hex(net::Sha256(nullptr, 0)), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    const net::Secret a = net::NewSecret(), b = net::NewSecret();
    EXPECT_NE(a, b);
    EXPECT_NE(net::DigestOf(a), net::DigestOf(b));
}

}  // namespace
