// Sessions over WebSocket on real sockets: a program that joins by a ws:// address (as a
// page does) beside desktop programs, through the host's death; and the TCP port taking
// hostile connections without harm to the session. What pages do in a browser is tested in
// chromium (tests/web); the interleavings in simulated time (sim/).
#include "net/net_harness.h"

namespace {

using namespace nettest;

std::string WsAddress(int port) { return "ws://127.0.0.1:" + std::to_string(port); }

// A streams to everyone, B and the WebSocket member W too. A is killed: B takes over, W
// follows it and nothing of B's or W's stream is lost, doubled or out of order. When B
// leaves too, W, which may not host, has lost the session.
TEST(NetWebSocket, AMemberOverWebSocketFollowsTheNewHost) {
    const int port = FreeUdpPort();
    Peer a(port), b(port), w(port);
    ASSERT_EQ(a("host 0 arena"), "1");
    ASSERT_EQ(b("join 0 arena 127.0.0.1"), "1");
    ASSERT_EQ(w("join 0 arena " + WsAddress(port)), "1");
    const std::string ann = a("create Ann"), bob = b("create Bob"), wes = w("create Wes");
    const std::string all = ann + ":Ann " + bob + ":Bob " + wes + ":Wes";
    for (Peer* p : {&a, &b, &w}) ASSERT_EQ(p->Until("players", all), all);
    for (auto [p, id] : {std::pair{&b, bob}, {&w, wes}}) ASSERT_EQ((*p)("collect " + id), "1");
    ASSERT_EQ(b("stream " + bob + " 0 600"), "1");
    ASSERT_EQ(w("stream " + wes + " 0 600"), "1");
    Sleep(0.1);
    a.Kill();
    EXPECT_EQ(b.Until("check " + bob + " " + wes + " 600", "ok", 30), "ok");
    EXPECT_EQ(w.Until("check " + wes + " " + bob + " 600", "ok", 30), "ok");
    const std::string rest = bob + ":Bob " + wes + ":Wes";
    EXPECT_EQ(w.Until("players", rest, 10), rest);
    // The WebSocket member never takes over: with B gone it has lost the session, at once.
    EXPECT_EQ(b.End(), 0);
    EXPECT_EQ(w.Until("num", "0", 2), "0");
}

// ---- hostile connections to the TCP port ----------------------------------------------------

int Connect(int port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at = Loopback(port);
    if (connect(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
        close(s);
        return -1;
    }
    return s;
}

void Put(int s, const std::string& bytes) {
    if (write(s, bytes.data(), bytes.size()) < 0) {
        // The other side may have closed already: what matters is how the session fares.
    }
}

// What the other side sends until it closes the connection or `seconds` pass.
std::string Reply(int s, double seconds) {
    std::string got;
    const auto start = Clock::now();
    while (Seconds(start) < seconds) {
        pollfd p{s, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        char chunk[4096];
        const ssize_t n = read(s, chunk, sizeof chunk);
        if (n <= 0) break;
        got.append(chunk, static_cast<size_t>(n));
    }
    return got;
}

std::string Upgrade(const std::string& origin) {
    return "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n" +
           (origin.empty() ? "" : "Origin: " + origin + "\r\n") + "\r\n";
}

// A masked binary frame as a browser sends it, with the length it claims.
std::string Frame(const std::string& payload, uint64_t claimed) {
    std::string f(1, static_cast<char>(0x82));
    if (claimed < 126) {
        f += static_cast<char>(0x80 | claimed);
    } else if (claimed < 65536) {
        f += static_cast<char>(0x80 | 126);
        f += static_cast<char>(claimed >> 8);
        f += static_cast<char>(claimed & 0xFF);
    } else {
        f += static_cast<char>(0x80 | 127);
        for (int i = 7; i >= 0; --i) f += static_cast<char>((claimed >> (8 * i)) & 0xFF);
    }
    f += std::string(4, '\0');  // a mask of zeros leaves the payload as it is
    return f + payload;
}

// A session of a desktop host and a member over WebSocket; the TCP port gets garbage,
// plain HTTP, a foreign origin, a message far longer than any the session sends, a frame
// claiming 2^63 bytes, packets of no protocol and a hello of another application, and a
// crowd of connections that never finish their handshake. None of it gets in, and the
// member's messages go on both ways.
TEST(NetWebSocket, HostileConnectionsLeaveTheSessionAlone) {
    const int port = FreeUdpPort();
    Peer a(port), w(port);
    ASSERT_EQ(a("host 0 arena"), "1");
    ASSERT_EQ(w("join 0 arena " + WsAddress(port)), "1");
    const std::string ann = a("create Ann"), wes = w("create Wes");
    const std::string all = ann + ":Ann " + wes + ":Wes";
    ASSERT_EQ(w.Until("players", all), all);

    auto refused = [&](const std::string& what, const std::string& bytes, const char* answer) {
        const int s = Connect(port);
        ASSERT_GE(s, 0) << what;
        Put(s, bytes);
        const std::string reply = Reply(s, 2);
        close(s);
        if (answer) EXPECT_EQ(reply.rfind(answer, 0), 0u) << what << ": " << reply.substr(0, 40);
        else EXPECT_EQ(reply.find("101"), std::string::npos) << what;
    };
    refused("garbage", std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11) + std::string(300, 'x'), nullptr);
    refused("plain HTTP", "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", "HTTP/1.1 4");
    refused("a foreign origin", Upgrade("https://evil.example"), "HTTP/1.1 403");
    refused("an endless head", "GET / HTTP/1.1\r\nX: " + std::string(64 * 1024, 'a'), nullptr);

    // In, then hostile: a message longer than any packet, a frame claiming 2^63 bytes,
    // bytes of no protocol, a hello of another application.
    auto inThen = [&](const std::string& what, const std::string& frame) {
        const int s = Connect(port);
        ASSERT_GE(s, 0) << what;
        Put(s, Upgrade("http://127.0.0.1:8000"));
        const std::string hello = Reply(s, 0.5);
        ASSERT_EQ(hello.rfind("HTTP/1.1 101", 0), 0u) << what << ": " << hello.substr(0, 40);
        Put(s, frame);
        Reply(s, 1);
        close(s);
    };
    inThen("an oversized message", Frame(std::string(300 * 1024, 'T'), 300 * 1024));
    inThen("a frame of 2^63 bytes", Frame("", 0x7FFFFFFFFFFFFFFFull));
    inThen("no protocol", Frame("hello there", 11));
    net::Hello other = NewHello("arena");
    other.app[0] ^= 1;
    const net::Bytes packet = net::EncodeHello(other);
    inThen("another application", Frame(std::string(packet.begin(), packet.end()), packet.size()));

    // A crowd that never finishes its handshake.
    std::vector<int> crowd;
    for (int i = 0; i < 150; ++i)
        if (int s = Connect(port); s >= 0) crowd.push_back(s);
    EXPECT_GT(crowd.size(), 100u);

    // The session goes on meanwhile, both ways.
    a("send " + ann + " " + wes + " still there?");
    EXPECT_EQ(w.Next(wes), "still there?");
    w("send " + wes + " " + ann + " yes");
    EXPECT_EQ(a.Next(ann), "yes");
    for (int s : crowd) close(s);
    // And a newcomer over WebSocket gets in once the crowd is gone.
    Peer late(port);
    EXPECT_EQ(late.Until("join 0 arena " + WsAddress(port), "1", 10), "1");
    EXPECT_EQ(a.Until("num", "2"), "2");
}

}  // namespace
