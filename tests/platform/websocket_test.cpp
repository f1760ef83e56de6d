// The desktop's WebSocket endpoint: two endpoints of one process talking to each other, and
// one endpoint against raw TCP clients that send what no browser would. Everything is
// pumped by waiting on the endpoints' descriptors (and the raw clients') with short
// timeouts; the only waits on the clock are the handshake time limits under test.
#include "platform/websocket.h"

#include <fcntl.h>
#include <unistd.h>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

using plat::WebSockets;
using Event = WebSockets::Event;
using Id = WebSockets::Id;
using Clock = std::chrono::steady_clock;

// A TCP client that sends bytes as they are given and keeps everything it gets back.
class RawClient {
public:
    explicit RawClient(uint16_t port, const char* from = "127.0.0.1") {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, from, &local.sin_addr);
        bound_ = bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = bound_ && connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
        fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
    }
    ~RawClient() { close(fd_); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool Connected() const { return connected_; }
    // Sends nothing more (the TCP end of the connection: what the server waits for last).
    void Finish() { shutdown(fd_, SHUT_WR); }
    int Fd() const { return fd_; }
    void Send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) return;  // the other side is gone, or the test sends more than fits
            bytes.remove_prefix(static_cast<size_t>(n));
        }
    }
    // Whether the other side has closed the connection (or reset it).
    bool Ended() {
        Drain();
        return ended_;
    }
    const std::string& Got() {
        Drain();
        return got_;
    }

private:
    void Drain() {
        char buffer[4096];
        while (!ended_) {
            const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
            if (n > 0) {
                got_.append(buffer, static_cast<size_t>(n));
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
                return;
            } else {
                ended_ = true;
            }
        }
    }

    int fd_ = -1;
    bool bound_ = false;
    bool connected_ = false;
    bool ended_ = false;
    std::string got_;
};

// Endpoints serviced together; what each hands over is kept, in order.
class Pump {
public:
    explicit Pump(std::vector<WebSockets*> ends) : ends_(std::move(ends)), events_(ends_.size()) {}

    void Watch(RawClient& raw) { raws_.push_back(&raw); }
    // Sleeps on the descriptors alone, as an owner with nothing else to do would: every
    // wait that ends without any of them ready is counted.
    void SleepOnDescriptors() { waitMs_ = 1000; }
    int Unwoken() const { return unwoken_; }

    // Services the endpoints until `done` holds; false when it does not within a few seconds.
    bool Until(const std::function<bool()>& done) {
        const Clock::time_point limit = Clock::now() + std::chrono::seconds(waitMs_ > 10 ? 4 : 2);
        for (;;) {
            Step();
            if (done()) return true;
            if (Clock::now() > limit) return false;
        }
    }

    const std::vector<Event>& Events(size_t end) const { return events_[end]; }
    size_t Count(size_t end, Event::Kind kind, Id id = 0) const {
        size_t n = 0;
        for (const Event& e : events_[end]) n += e.kind == kind && (id == 0 || e.id == id);
        return n;
    }
    // The first event of that kind (for that connection), nullptr when there is none.
    const Event* Find(size_t end, Event::Kind kind, Id id = 0) const {
        for (const Event& e : events_[end]) {
            if (e.kind == kind && (id == 0 || e.id == id)) return &e;
        }
        return nullptr;
    }
    // The ids of the connections opened, in order.
    std::vector<Id> Opened(size_t end) const {
        std::vector<Id> ids;
        for (const Event& e : events_[end]) {
            if (e.kind == Event::Opened) ids.push_back(e.id);
        }
        return ids;
    }

private:
    void Step() {
        std::vector<pollfd> fds;
        for (WebSockets* end : ends_) end->WaitFds(fds);
        for (RawClient* raw : raws_) fds.push_back(pollfd{raw->Fd(), POLLIN, 0});
        if (poll(fds.data(), fds.size(), waitMs_) == 0) ++unwoken_;
        for (size_t i = 0; i < ends_.size(); ++i) ends_[i]->Poll(events_[i]);
    }

    std::vector<WebSockets*> ends_;
    std::vector<RawClient*> raws_;
    std::vector<std::vector<Event>> events_;
    int waitMs_ = 10;
    int unwoken_ = 0;
};

std::string Url(uint16_t port) { return "ws://127.0.0.1:" + std::to_string(port) + "/game"; }

// A browser's upgrade request, with these header lines besides.
std::string Upgrade(const std::string& extra = "") {
    return "GET /game HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n" +
           extra + "\r\n";
}

bool Answered(RawClient& raw, std::string_view status) { return raw.Got().rfind(status, 0) == 0; }

// A client's frame (masked), its length field as given.
std::string Frame(uint8_t opcode, std::string_view payload, uint64_t claimed) {
    std::string f;
    f += static_cast<char>(0x80 | opcode);
    if (claimed < 126) {
        f += static_cast<char>(0x80 | claimed);
    } else if (claimed < 65536) {
        f += static_cast<char>(0x80 | 126);
        for (int shift = 8; shift >= 0; shift -= 8) f += static_cast<char>((claimed >> shift) & 0xff);
    } else {
        f += static_cast<char>(0x80 | 127);
        for (int shift = 56; shift >= 0; shift -= 8) f += static_cast<char>((claimed >> shift) & 0xff);
    }
    const char mask[4] = {0x11, 0x22, 0x33, 0x44};
    f.append(mask, 4);
    for (size_t i = 0; i < payload.size(); ++i) f += static_cast<char>(payload[i] ^ mask[i % 4]);
    return f;
}

// The code of the first close frame the server sent after its 101 answer, -1 when none.
int CloseCodeAfterUpgrade(const std::string& got) {
    size_t at = got.find("\r\n\r\n");
    if (at == std::string::npos) return -1;
    at += 4;
    auto byte = [&](size_t i) { return static_cast<uint8_t>(got[i]); };
    while (at + 2 <= got.size()) {
        const uint8_t op = byte(at) & 0x0f;
        size_t len = byte(at + 1) & 0x7f, head = 2;
        if (len == 126) {  // the server's frames are never longer than 64 KiB
            if (at + 4 > got.size()) return -1;
            len = size_t{byte(at + 2)} << 8 | byte(at + 3);
            head = 4;
        }
        if (op == 0x8 && len >= 2 && at + head + 2 <= got.size()) return byte(at + head) << 8 | byte(at + head + 1);
        at += head + len;
    }
    return -1;
}

// The i-th message of a stream: every frame-length boundary, then sizes up to `most`.
std::vector<uint8_t> Numbered(int i, uint8_t seed, size_t most) {
    static const size_t kEdges[] = {0, 1, 125, 126, 127, 65535, 65536, 65537};
    size_t size;
    if (i < 8) {
        size = kEdges[i];
    } else if (i % 97 == 0) {
        size = most - static_cast<size_t>(i % 3);
    } else {
        size = static_cast<size_t>(i) * 7919 % 3000;
    }
    std::vector<uint8_t> m(size);
    for (size_t k = 0; k < size; ++k) m[k] = static_cast<uint8_t>(k * 7 + static_cast<size_t>(i) * 31 + seed);
    return m;
}

// A listening endpoint and a connecting one, with connections between them made on demand.
struct Pair {
    explicit Pair(WebSockets::Limits serverLimits = {}, WebSockets::Limits clientLimits = {})
        : server(plat::MakeWebSockets(serverLimits)),
          client(plat::MakeWebSockets(clientLimits)),
          pump({server.get(), client.get()}) {
        listening = server->Listen(0);
    }
    // A new connection: {server's id, client's id}, {0, 0} when it did not open.
    std::pair<Id, Id> Connect() {
        const size_t before = pump.Opened(0).size();
        const Id c = client->Connect(Url(server->Port()));
        if (c == 0) return {0, 0};
        const bool opened =
            pump.Until([&] { return pump.Opened(0).size() > before && pump.Count(1, Event::Opened, c); });
        return opened ? std::pair{pump.Opened(0).back(), c} : std::pair<Id, Id>{0, 0};
    }

    std::unique_ptr<WebSockets> server, client;
    Pump pump;
    bool listening = false;
};

TEST(WebSocketEndpoint, MessagesArriveWholeAndInOrderBothWays) {
    WebSockets::Limits limits;
    limits.maxMessage = 70000;
    Pair p(limits, limits);
    ASSERT_TRUE(p.listening);
    ASSERT_NE(p.server->Port(), 0);
    const auto [s, c] = p.Connect();
    ASSERT_NE(s, 0u);
    EXPECT_TRUE(p.server->IsOpen(s));
    EXPECT_TRUE(p.client->IsOpen(c));
    EXPECT_EQ(p.server->RemoteIp(s), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(p.client->RemoteIp(c), htonl(INADDR_LOOPBACK));

    constexpr int kCount = 2000;
    size_t bytes = 0;
    for (int i = 0; i < kCount; ++i) {
        const std::vector<uint8_t> up = Numbered(i, 1, limits.maxMessage);
        const std::vector<uint8_t> down = Numbered(i, 2, limits.maxMessage);
        p.client->Send(c, up.data(), up.size());
        p.server->Send(s, down.data(), down.size());
        bytes += up.size();
    }
    // Nothing is counted as written before Poll has seen it written.
    EXPECT_EQ(p.client->Queued(c), bytes);
    ASSERT_TRUE(p.pump.Until(
        [&] { return p.pump.Count(0, Event::Message) == kCount && p.pump.Count(1, Event::Message) == kCount; }));
    for (size_t end = 0; end < 2; ++end) {
        int i = 0;
        for (const Event& e : p.pump.Events(end)) {
            if (e.kind != Event::Message) continue;
            ASSERT_EQ(e.id, end == 0 ? s : c);
            ASSERT_EQ(e.data, Numbered(i, end == 0 ? 1 : 2, limits.maxMessage)) << "message " << i << " at " << end;
            ++i;
        }
    }
    EXPECT_EQ(p.client->Queued(c), 0u);
    EXPECT_EQ(p.server->Queued(s), 0u);
}

// Connecting, messages too big for the sockets' buffers, closing and dropping, with both
// ends asleep in poll on WaitFds between their Polls: none of it waits for a timeout.
TEST(WebSocketEndpoint, AnOwnerAsleepOnWaitFdsIsWokenForAllItHasToDo) {
    Pair p;
    p.pump.SleepOnDescriptors();
    const auto [s1, c1] = p.Connect();
    const auto [s2, c2] = p.Connect();
    ASSERT_NE(s2, 0u);
    const std::vector<uint8_t> big(256 * 1024, 5);
    for (int i = 0; i < 8; ++i) {
        p.client->Send(c1, big.data(), big.size());
        p.server->Send(s1, big.data(), 100);
    }
    ASSERT_TRUE(
        p.pump.Until([&] { return p.pump.Count(0, Event::Message) == 8 && p.pump.Count(1, Event::Message) == 8; }));
    p.client->Close(c1, 4000);
    ASSERT_TRUE(p.pump.Until([&] { return p.pump.Count(0, Event::Closed, s1) && p.pump.Count(1, Event::Closed, c1); }));
    p.server->Drop(s2);
    ASSERT_TRUE(p.pump.Until([&] { return p.pump.Count(1, Event::Closed, c2) == 1; }));
    EXPECT_EQ(p.pump.Unwoken(), 0);

    // A peer that reads only now and then, between the server's Polls: the server wakes to
    // write what its socket could not take at once.
    RawClient reader(p.server->Port());
    reader.Send(Upgrade());
    Pump alone({p.server.get()});
    alone.SleepOnDescriptors();
    ASSERT_TRUE(alone.Until([&] { return alone.Count(0, Event::Opened) == 1; }));
    const Id r = alone.Opened(0).back();
    constexpr size_t kMessages = 16;  // 4 MiB, more than the sockets hold
    for (size_t i = 0; i < kMessages; ++i) p.server->Send(r, big.data(), big.size());
    EXPECT_EQ(p.server->Queued(r), kMessages * big.size());
    ASSERT_TRUE(alone.Until([&] { return reader.Got().size() > kMessages * big.size() && p.server->Queued(r) == 0; }));
    EXPECT_EQ(alone.Unwoken(), 0);
}

TEST(WebSocketEndpoint, CloseCodesTravelBothWaysAfterWhatWasQueued) {
    Pair p;
    const auto [s1, c1] = p.Connect();
    const auto [s2, c2] = p.Connect();
    ASSERT_NE(s2, 0u);
    const uint8_t bytes[3] = {1, 2, 3};
    for (uint8_t n = 1; n <= 3; ++n) p.client->Send(c1, bytes, n);
    p.client->Close(c1, 4001);
    EXPECT_FALSE(p.client->IsOpen(c1));
    p.client->Send(c1, bytes, 3);  // after Close: dropped
    ASSERT_TRUE(p.pump.Until([&] { return p.pump.Count(0, Event::Closed, s1) && p.pump.Count(1, Event::Closed, c1); }));
    std::vector<size_t> sizes;
    for (const Event& e : p.pump.Events(0)) {
        if (e.id == s1 && e.kind == Event::Message) sizes.push_back(e.data.size());
        if (e.id == s1 && e.kind == Event::Closed) break;
    }
    EXPECT_EQ(sizes, (std::vector<size_t>{1, 2, 3}));
    EXPECT_EQ(p.pump.Find(0, Event::Closed, s1)->code, 4001);
    EXPECT_EQ(p.pump.Find(1, Event::Closed, c1)->code, 4001);  // the other side's answer

    p.server->Close(s2, 4002);
    ASSERT_TRUE(p.pump.Until([&] { return p.pump.Count(0, Event::Closed, s2) && p.pump.Count(1, Event::Closed, c2); }));
    EXPECT_EQ(p.pump.Find(1, Event::Closed, c2)->code, 4002);
    EXPECT_EQ(p.pump.Find(0, Event::Closed, s2)->code, 4002);
    // A code that may not be sent goes as 1000.
    const auto [s3, c3] = p.Connect();
    p.server->Close(s3, 1006);
    ASSERT_TRUE(p.pump.Until([&] { return p.pump.Count(1, Event::Closed, c3) == 1; }));
    EXPECT_EQ(p.pump.Find(1, Event::Closed, c3)->code, 1000);
    // One Closed each, and no message after Close.
    ASSERT_TRUE(p.pump.Until([&] { return p.pump.Count(0, Event::Closed, s3) == 1; }));
    EXPECT_EQ(p.pump.Count(0, Event::Closed), 3u);
    EXPECT_EQ(p.pump.Count(1, Event::Closed), 3u);
    EXPECT_EQ(p.pump.Count(0, Event::Message), 3u);
}

TEST(WebSocketEndpoint, DropEndsAtOnceWithoutAWordAndThePeerSeesTheEnd) {
    Pair p;
    const auto [s1, c1] = p.Connect();
    const auto [s2, c2] = p.Connect();
    ASSERT_NE(s2, 0u);
    const uint8_t bytes[4] = {9, 9, 9, 9};
    p.server->Send(s1, bytes, 4);
    p.server->Drop(s1);
    EXPECT_FALSE(p.server->IsOpen(s1));
    EXPECT_EQ(p.server->Queued(s1), 0u);
    ASSERT_TRUE(p.pump.Until([&] { return p.pump.Count(1, Event::Closed, c1) == 1; }));
    EXPECT_EQ(p.pump.Find(1, Event::Closed, c1)->code, 0);

    p.client->Drop(c2);
    ASSERT_TRUE(p.pump.Until([&] { return p.pump.Count(0, Event::Closed, s2) == 1; }));
    EXPECT_EQ(p.pump.Find(0, Event::Closed, s2)->code, 0);

    // Ids are never given again.
    const auto [s3, c3] = p.Connect();
    ASSERT_NE(s3, 0u);
    EXPECT_TRUE(s3 != s1 && s3 != s2 && c3 != c1 && c3 != c2);
    EXPECT_EQ(p.pump.Count(0, Event::Closed, s1), 0u);
    EXPECT_EQ(p.pump.Count(1, Event::Closed, c2), 0u);

    // CloseAll: nothing on this side, the end on the other.
    p.client->CloseAll();
    ASSERT_TRUE(p.pump.Until([&] { return p.pump.Count(0, Event::Closed, s3) == 1; }));
    EXPECT_EQ(p.pump.Count(1, Event::Closed), 1u);
    EXPECT_FALSE(p.client->IsOpen(c3));
}

TEST(WebSocketEndpoint, RefusedHandshakesLeaveNoTraceAndTheEndpointGoesOn) {
    Pair p;
    const uint16_t port = p.server->Port();
    RawClient garbage(port), plain(port), foreign(port), huge(port), keyless(port), body(port);
    for (RawClient* raw : {&garbage, &plain, &foreign, &huge, &keyless, &body}) {
        ASSERT_TRUE(raw->Connected());
        p.pump.Watch(*raw);
    }
    garbage.Send(std::string("\x16\x03\x01\x02\x00\x01\x00\xff\r\n\r\n", 12));
    plain.Send("GET /game HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    foreign.Send(Upgrade("Origin: https://elsewhere.example\r\n"));
    huge.Send(Upgrade("X-Filler: " + std::string(9000, 'a') + "\r\n"));
    keyless.Send("GET /game HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n\r\n");
    body.Send("GET /game HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 4\r\n\r\nbody");
    ASSERT_TRUE(p.pump.Until([&] {
        return garbage.Ended() && plain.Ended() && foreign.Ended() && huge.Ended() && keyless.Ended() && body.Ended();
    }));
    EXPECT_TRUE(Answered(plain, "HTTP/1.1 400")) << plain.Got();
    EXPECT_TRUE(Answered(foreign, "HTTP/1.1 403")) << foreign.Got();
    EXPECT_TRUE(Answered(keyless, "HTTP/1.1 400")) << keyless.Got();
    for (RawClient* raw : {&garbage, &huge, &body}) EXPECT_EQ(raw->Got().find("101"), std::string::npos);
    EXPECT_TRUE(p.pump.Events(0).empty());

    const auto [s, c] = p.Connect();
    ASSERT_NE(s, 0u);
    EXPECT_EQ(p.pump.Events(0).size(), 1u);
}

TEST(WebSocketEndpoint, OriginsOnTheListOrOfThisMachineAreLetIn) {
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    struct Case {
        std::vector<std::string> list;
        std::string origin;
        bool allowed;
    };
    const std::vector<std::string> none;
    const std::vector<std::string> list = {"https://Game.Example:8443", " http://other.example/"};
    const std::vector<Case> cases = {
        {none, "http://localhost:8080", true},
        {none, "HTTPS://127.0.0.1", true},
        {none, std::string("file://") + name + ":9", true},
        {none, "", true},  // no Origin at all
        {none, "http://localhost.elsewhere.example", false},
        {none, "null", false},
        {none, "http://127.0.0.2", false},
        {list, "https://game.example:8443", true},
        {list, "HTTP://OTHER.EXAMPLE", true},
        {list, "https://game.example", false},
        {list, "http://localhost", false},
        {{"*"}, "https://anywhere.example", true},
    };
    for (const Case& t : cases) {
        WebSockets::Limits limits;
        limits.origins = t.list;
        auto server = plat::MakeWebSockets(limits);
        ASSERT_TRUE(server->Listen(0));
        Pump pump({server.get()});
        RawClient raw(server->Port());
        pump.Watch(raw);
        raw.Send(Upgrade(t.origin.empty() ? "" : "Origin: " + t.origin + "\r\n"));
        ASSERT_TRUE(pump.Until([&] { return raw.Got().find("\r\n\r\n") != std::string::npos || raw.Ended(); }));
        EXPECT_EQ(Answered(raw, "HTTP/1.1 101"), t.allowed) << t.origin << ": " << raw.Got();
        EXPECT_EQ(Answered(raw, "HTTP/1.1 403"), !t.allowed) << t.origin << ": " << raw.Got();
        if (t.allowed) {
            ASSERT_TRUE(pump.Until([&] { return pump.Count(0, Event::Opened) == 1; }));
        } else {
            ASSERT_TRUE(pump.Until([&] { return raw.Ended(); }));
            EXPECT_TRUE(pump.Events(0).empty()) << t.origin;
        }
    }
}

TEST(WebSocketEndpoint, HalfOpenHandshakesAreCappedAndCut) {
    WebSockets::Limits limits;
    limits.maxHandshaking = 5;
    limits.maxHandshakingPerAddress = 2;
    limits.handshakeMs = 300;
    Pair p(limits);
    const uint16_t port = p.server->Port();
    std::vector<std::unique_ptr<RawClient>> other, here;
    for (int i = 0; i < 3; ++i) other.push_back(std::make_unique<RawClient>(port, "127.0.0.2"));
    for (int i = 0; i < 4; ++i) here.push_back(std::make_unique<RawClient>(port));
    for (auto* group : {&other, &here}) {
        for (auto& raw : *group) {
            ASSERT_TRUE(raw->Connected());
            p.pump.Watch(*raw);
        }
    }
    // The third from 127.0.0.2 is over its address's share; 127.0.0.1 has none, but the
    // fourth from there is over the total.
    const Clock::time_point start = Clock::now();
    ASSERT_TRUE(p.pump.Until([&] { return other[2]->Ended() && here[3]->Ended(); }));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(250));
    for (int i = 0; i < 2; ++i) EXPECT_FALSE(other[i]->Ended()) << i;
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(here[i]->Ended()) << i;
    // A real client is over the total too.
    const Id early = p.client->Connect(Url(port));
    ASSERT_TRUE(p.pump.Until([&] { return p.pump.Count(1, Event::Closed, early) == 1; }));
    EXPECT_EQ(p.pump.Count(1, Event::Opened), 0u);

    // The silent ones are cut when their time is up; then a real client gets in.
    ASSERT_TRUE(p.pump.Until([&] {
        bool all = true;
        for (auto* group : {&other, &here}) {
            for (auto& raw : *group) all = all && raw->Ended();
        }
        return all;
    }));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_TRUE(p.pump.Events(0).empty());
    const auto [s, c] = p.Connect();
    ASSERT_NE(s, 0u);
    EXPECT_EQ(p.pump.Events(0).size(), 1u);
    // Connections that are up no longer count.
    for (size_t i = 0; i < limits.maxHandshaking; ++i) ASSERT_NE(p.Connect().first, 0u) << i;
}

// A connection being made whose server never answers, and a close never answered.
TEST(WebSocketEndpoint, UnansweredConnectsAndClosesEndInTime) {
    WebSockets::Limits limits;
    limits.handshakeMs = 100;
    Pair p(limits, limits);
    // A TCP port that takes connections (the system does) but never says a word.
    const int mute = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(mute, reinterpret_cast<const sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(listen(mute, 4), 0);
    socklen_t size = sizeof at;
    getsockname(mute, reinterpret_cast<sockaddr*>(&at), &size);
    const Clock::time_point start = Clock::now();
    const Id waiting = p.client->Connect(Url(ntohs(at.sin_port)));
    ASSERT_TRUE(p.pump.Until([&] { return p.pump.Count(1, Event::Closed, waiting) == 1; }));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(p.pump.Find(1, Event::Closed, waiting)->code, 0);
    EXPECT_EQ(p.pump.Count(1, Event::Opened), 0u);
    close(mute);

    RawClient raw(p.server->Port());
    p.pump.Watch(raw);
    raw.Send(Upgrade());
    ASSERT_TRUE(p.pump.Until([&] { return p.pump.Count(0, Event::Opened) == 1; }));
    const Id id = p.pump.Opened(0).back();
    const Clock::time_point closing = Clock::now();
    p.server->Close(id, 4100);
    ASSERT_TRUE(p.pump.Until([&] { return p.pump.Count(0, Event::Closed, id) == 1; }));
    EXPECT_GE(Clock::now() - closing, std::chrono::milliseconds(100));
    EXPECT_EQ(p.pump.Find(0, Event::Closed, id)->code, 0);
    EXPECT_EQ(CloseCodeAfterUpgrade(raw.Got()), 4100);
}

TEST(WebSocketEndpoint, OversizedMessagesCloseOnlyTheirConnection) {
    WebSockets::Limits small;
    small.maxMessage = 1000;
    Pair p(small);
    const auto [s1, c1] = p.Connect();
    const auto [s2, c2] = p.Connect();
    ASSERT_NE(s2, 0u);
    const std::vector<uint8_t> most(1000, 7), over(1001, 8);
    p.client->Send(c1, most.data(), most.size());
    p.client->Send(c1, over.data(), over.size());
    ASSERT_TRUE(p.pump.Until([&] { return p.pump.Count(1, Event::Closed, c1) && p.pump.Count(0, Event::Closed, s1); }));
    EXPECT_EQ(p.pump.Find(1, Event::Closed, c1)->code, 1009);
    ASSERT_EQ(p.pump.Count(0, Event::Message, s1), 1u);
    EXPECT_EQ(p.pump.Find(0, Event::Message, s1)->data, most);

    p.client->Send(c2, most.data(), most.size());
    p.server->Send(s2, over.data(), over.size());  // the client's own limit is larger
    ASSERT_TRUE(
        p.pump.Until([&] { return p.pump.Count(0, Event::Message, s2) && p.pump.Count(1, Event::Message, c2); }));
    EXPECT_EQ(p.pump.Find(1, Event::Message, c2)->data, over);
    EXPECT_TRUE(p.server->IsOpen(s2));
}

TEST(WebSocketEndpoint, HostileFramesAreAnsweredWithACloseFrame) {
    WebSockets::Limits limits;
    limits.maxMessage = 1000;
    Pair p(limits);
    const uint16_t port = p.server->Port();
    struct Case {
        std::string frame;
        int code;
    };
    const std::vector<Case> cases = {
        {Frame(0x2, "", uint64_t{1} << 63), 1009},                 // 2^63 bytes
        {Frame(0x2, "", ~uint64_t{0}), 1009},                      // and more
        {Frame(0x2, "", 1001), 1009},                              // one over the limit
        {Frame(0x0, "abc", 3), 1002},                              // a continuation of nothing
        {Frame(0x1, "text", 4), 1003},                             // text
        {Frame(0x2, "ab", 2).substr(0, 1) + '\x02' + "ab", 1002},  // not masked
    };
    std::vector<std::unique_ptr<RawClient>> raws;  // as long as the pump watches them
    const std::vector<uint8_t> big(1 << 20, 6);
    for (const Case& t : cases) {
        RawClient& raw = *raws.emplace_back(std::make_unique<RawClient>(port));
        p.pump.Watch(raw);
        raw.Send(Upgrade());
        ASSERT_TRUE(p.pump.Until([&] { return Answered(raw, "HTTP/1.1 101"); })) << raw.Got();
        if (t.code == 1003) {
            // Queued for the peer, one being written (it does not read yet): the one being
            // written is finished, the rest dropped, then the close frame.
            for (int i = 0; i < 4; ++i) p.server->Send(p.pump.Opened(0).back(), big.data(), big.size());
        }
        raw.Send(t.frame);
        ASSERT_TRUE(p.pump.Until([&] { return CloseCodeAfterUpgrade(raw.Got()) != -1; })) << t.code;
        EXPECT_EQ(CloseCodeAfterUpgrade(raw.Got()), t.code);
        const Id id = p.pump.Opened(0).back();
        raw.Send(Frame(0x8, "", 0));
        raw.Finish();
        ASSERT_TRUE(p.pump.Until([&] { return p.pump.Count(0, Event::Closed, id) == 1; })) << t.code;
    }
    EXPECT_EQ(p.pump.Count(0, Event::Message), 0u);
    const auto [s, c] = p.Connect();
    ASSERT_NE(s, 0u);
    const uint8_t one = 1;
    p.client->Send(c, &one, 1);
    ASSERT_TRUE(p.pump.Until([&] { return p.pump.Count(0, Event::Message, s) == 1; }));
}

TEST(WebSocketEndpoint, ListeningAndConnecting) {
    Pair p;
    const uint16_t first = p.server->Port();
    // Addresses that cannot be used, TLS among them (not on the desktop).
    for (const char* url : {"wss://127.0.0.1:9/", "http://127.0.0.1:9/", "ws://", "ws://:80/", "ws://h:99999/",
                            "ws://h:x/", "ws://h:/", "ws://[::1/"}) {
        EXPECT_EQ(p.client->Connect(url), 0u) << url;
    }
    // A port taken is refused; a second port of the same endpoint accepts too, found by name.
    auto other = plat::MakeWebSockets({});
    EXPECT_FALSE(other->Listen(first));
    ASSERT_TRUE(p.server->Listen(0));
    EXPECT_EQ(p.server->Port(), first);
    ASSERT_TRUE(other->Listen(0));
    const uint16_t free = other->Port();
    other.reset();
    ASSERT_TRUE(p.server->Listen(free));
    const Id named = p.client->Connect("ws://localhost:" + std::to_string(free));
    ASSERT_TRUE(p.pump.Until([&] { return p.pump.Count(1, Event::Opened, named) == 1; }));
    EXPECT_EQ(p.pump.Count(0, Event::Opened), 1u);
    // Nobody listening: Closed with no code.
    p.server->StopListening();
    EXPECT_EQ(p.server->Port(), 0);
    const Id refused = p.client->Connect(Url(first));
    ASSERT_TRUE(p.pump.Until([&] { return p.pump.Count(1, Event::Closed, refused) == 1; }));
    EXPECT_EQ(p.pump.Find(1, Event::Closed, refused)->code, 0);
    EXPECT_TRUE(p.client->IsOpen(named));  // connections up go on
}

}  // namespace
