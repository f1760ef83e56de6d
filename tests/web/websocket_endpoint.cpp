// The page of the web test's websocket case: the browser runtime's WebSocket endpoint,
// driven directly (no BASIC command reaches it by itself) against the test's server,
// whose address the page puts in TOLVANE_TEST_SERVER, as it puts the variables of
// unattended runs. Every check prints "ok: ..." or "FAILED: ..." to the console;
// "finished" ends a run. With TOLVANE_TEST_INSECURE set (a page loaded over https) it
// only checks that an insecure address gives no connection and that the program goes on.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/websocket.h"
#include "platform/window.h"

namespace __TOLVANE__ {
double __MainGameSub_() { return 0; }  // never run: this page has no BASIC program
}  // namespace __TOLVANE__

namespace {

using plat::WebSockets;
using Event = WebSockets::Event;

int g_failures = 0;

void Check(bool ok, const std::string& what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
    if (!ok) ++g_failures;
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// The endpoint and every event it handed over, in order.
struct Endpoint {
    std::unique_ptr<WebSockets> ws;
    std::vector<Event> events;

    // Polls, giving the browser its turn between polls, until `done` holds (true) or
    // five seconds have passed (false).
    template <typename Done>
    bool PumpUntil(Done done) {
        const double giveUp = plat::ClockMs() + 5000;
        for (;;) {
            std::vector<Event> now;
            ws->Poll(now);
            for (Event& e : now) events.push_back(std::move(e));
            if (done()) return true;
            if (plat::ClockMs() > giveUp) return false;
            plat::SleepMs(1);
        }
    }
    std::vector<const Event*> Of(WebSockets::Id id) const {
        std::vector<const Event*> out;
        for (const Event& e : events)
            if (e.id == id) out.push_back(&e);
        return out;
    }
    bool ClosedYet(WebSockets::Id id) const {
        for (const Event& e : events)
            if (e.id == id && e.kind == Event::Closed) return true;
        return false;
    }
    bool OpenedYet(WebSockets::Id id) const {
        for (const Event& e : events)
            if (e.id == id && e.kind == Event::Opened) return true;
        return false;
    }
};

void Insecure(const std::string& server) {
    std::unique_ptr<WebSockets> ws = plat::MakeWebSockets(WebSockets::Limits{});
    const std::string insecure = "ws://example.test:" + server.substr(server.rfind(':') + 1) + "/echo";
    Check(ws->Connect(insecure) == 0, "an insecure address from a page loaded over https gives no connection");
    Check(ws->Connect("wss://127.0.0.1:1/") != 0, "a secure one is made (it fails later)");
}

void Run(const std::string& server) {
    WebSockets::Limits limits;
    limits.maxMessage = 1000;
    Endpoint p{plat::MakeWebSockets(limits), {}};
    WebSockets& ws = *p.ws;

    Check(!ws.Listen(0) && ws.Port() == 0, "a page cannot listen");
    bool allRefused = true;
    for (const char* bad : {"", "http://127.0.0.1:80/", "ws://127.0.0.1", "ws://127.0.0.1:0", "ws://127.0.0.1:65536",
                            "ws://:80", "ws://127.0.0.1:80/#top", "ws://a b:80", "ws://127.0.0.1:80/a b",
                            "ws://user@127.0.0.1:80", "ws://[]:80", "ws://127.0.0.1:8o"}) {
        if (ws.Connect(bad) != 0) {
            std::printf("taken: %s\n", bad);
            allRefused = false;
        }
    }
    Check(allRefused, "addresses that are no ws:// or wss:// address with a port give no connection");

    // Echoes: in order, whole, the empty one and the longest allowed included.
    const WebSockets::Id echo = ws.Connect(server + "/echo");
    Check(echo != 0 && !ws.IsOpen(echo), "a connection is made and is not open before its Opened");
    Check(p.PumpUntil([&] { return p.OpenedYet(echo) || p.ClosedYet(echo); }) && p.OpenedYet(echo) && ws.IsOpen(echo),
          "the echo connection opens");
    const std::vector<std::vector<uint8_t>> sent = {
        Bytes("first"), {}, std::vector<uint8_t>(1000, 0xA5), Bytes(std::string("\0\xff\x01", 3))};
    size_t bytes = 0;
    for (const auto& m : sent) {
        ws.Send(echo, m.data(), m.size());
        bytes += m.size();
    }
    Check(ws.Queued(echo) == bytes, "what was just sent is queued until the browser's turn (" +
                                        std::to_string(ws.Queued(echo)) + " of " + std::to_string(bytes) + " bytes)");
    p.PumpUntil([&] { return p.Of(echo).size() >= 1 + sent.size(); });
    std::vector<std::vector<uint8_t>> echoed;
    for (const Event* e : p.Of(echo))
        if (e->kind == Event::Message) echoed.push_back(e->data);
    Check(echoed == sent, "the echoes come back whole and in order (" + std::to_string(echoed.size()) + " of " +
                              std::to_string(sent.size()) + ")");
    ws.Close(echo, 4321);
    Check(!ws.IsOpen(echo), "a connection asked to close is no longer open");
    ws.Send(echo, sent[0].data(), sent[0].size());  // dropped: the server sees only the four before Close
    Check(p.PumpUntil([&] { return p.ClosedYet(echo); }) && p.Of(echo).back()->kind == Event::Closed &&
              p.Of(echo).back()->code == 4321,
          "Close ends it with its code, which the other side sends back");
    Check(p.Of(echo).size() == 2 + sent.size(), "nothing comes after Closed");

    // The other side's text message closes the connection (4003); nothing after it comes.
    const WebSockets::Id text = ws.Connect(server + "/text");
    // A message over the limit closes it (4009); one at the limit comes.
    const WebSockets::Id big = ws.Connect(server + "/big");
    // The other side closes with a code of its own.
    const WebSockets::Id closing = ws.Connect(server + "/closing");
    // A protocol code the page may not send goes out in the range a page may.
    const WebSockets::Id going = ws.Connect(server + "/going");
    // Dropped when open: no event follows, ever.
    const WebSockets::Id dropped = ws.Connect(server + "/dropped");
    // A port the browser will not connect to: Closed without Opened.
    const WebSockets::Id refused = ws.Connect("ws://127.0.0.1:1/");
    Check(text > echo && big > text && closing > big && going > closing && dropped > going && refused > dropped,
          "ids are new each time");
    p.PumpUntil([&] {
        if (p.OpenedYet(going) && ws.IsOpen(going)) ws.Close(going, 1001);
        if (p.OpenedYet(dropped) && ws.IsOpen(dropped)) ws.Drop(dropped);
        return p.ClosedYet(text) && p.ClosedYet(big) && p.ClosedYet(closing) && p.ClosedYet(going) &&
               p.ClosedYet(refused) && p.OpenedYet(dropped);
    });
    auto kinds = [&](WebSockets::Id id) {
        std::string s;
        for (const Event* e : p.Of(id))
            s += e->kind == Event::Opened    ? "O"
                 : e->kind == Event::Message ? "M" + std::to_string(e->data.size())
                                             : "C" + std::to_string(e->code);
        return s;
    };
    Check(kinds(text) == "OC4003", "a text message closes the connection unread: " + kinds(text));
    Check(kinds(big) == "OM1000C4009", "a message over the limit closes it, one at the limit comes: " + kinds(big));
    Check(kinds(closing) == "OC4100", "the other side's close code comes with Closed: " + kinds(closing));
    Check(kinds(going) == "OC4001", "code 1001 goes out as 4001: " + kinds(going));
    Check(kinds(dropped) == "O" && !ws.IsOpen(dropped), "a dropped connection gives no event: " + kinds(dropped));
    Check(kinds(refused) == "C0", "a connection that cannot be made gives Closed without a code: " + kinds(refused));

    // Ending the endpoint ends its connections, while the other side still sends; the
    // page goes on.
    const WebSockets::Id last = ws.Connect(server + "/last");
    Check(p.PumpUntil([&] { return p.OpenedYet(last); }), "the last connection opens");
    p.ws.reset();
    for (int i = 0; i < 20; ++i) plat::SleepMs(1);
}

}  // namespace

int main() {
    const char* server = std::getenv("TOLVANE_TEST_SERVER");
    if (!server || !*server) {
        std::printf("FAILED: no server address\n");
        return 1;
    }
    if (std::getenv("TOLVANE_TEST_INSECURE")) {
        Insecure(server);
    } else {
        Run(server);
    }
    std::printf("finished with %d failures\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}
