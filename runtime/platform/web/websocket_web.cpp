// WebSockets in the browser: the page's own WebSocket objects, through Emscripten's
// WebSocket library. A page cannot accept connections, only make them. The browser's
// callbacks only note what happened, in order (a refused message also marks its
// connection, so that what follows it is not copied); Poll hands it over and makes
// every other change of a connection's state, on the owner's side.
#include <emscripten/websocket.h>

#include <cctype>
#include <cstdint>
#include <deque>
#include <map>

#include "platform/websocket.h"

// From tolvane_web.js: emscripten_websocket_new answering 0 where the browser refuses to
// make the socket (it throws then: an insecure ws:// from a page loaded over https ...),
// and emscripten_websocket_delete that also empties the library's own slot of the socket.
extern "C" {
int tolvane_websocket_new(EmscriptenWebSocketCreateAttributes* attributes);
void tolvane_websocket_delete(int socket);
}

namespace plat {
namespace {

// Whether the address has the form ws://host:port[/path] or wss://host:port[/path] (the
// scheme in any case): a host of letters, digits, dots and dashes (or an IPv6 address in
// brackets), a port of 1 to 65535, and a path of visible characters without a fragment.
bool IsWebSocketUrl(const std::string& url) {
    std::string scheme;
    for (size_t i = 0; i < url.size() && i < 6; ++i)
        scheme += static_cast<char>(std::tolower(static_cast<unsigned char>(url[i])));
    size_t at;
    if (scheme.rfind("ws://", 0) == 0) {
        at = 5;
    } else if (scheme == "wss://") {
        at = 6;
    } else {
        return false;
    }
    const size_t hostStart = at;
    if (at < url.size() && url[at] == '[') {
        const size_t close = url.find(']', at);
        if (close == std::string::npos || close == at + 1) return false;
        for (size_t i = at + 1; i < close; ++i) {
            const char c = url[i];
            if (!(std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.')) return false;
        }
        at = close + 1;
    } else {
        while (at < url.size() &&
               (std::isalnum(static_cast<unsigned char>(url[at])) || url[at] == '.' || url[at] == '-'))
            ++at;
    }
    if (at == hostStart || at >= url.size() || url[at] != ':') return false;
    ++at;
    long port = 0;
    size_t digits = 0;
    while (at < url.size() && std::isdigit(static_cast<unsigned char>(url[at])) && digits < 6) {
        port = port * 10 + (url[at] - '0');
        ++at;
        ++digits;
    }
    if (digits == 0 || port < 1 || port > 65535) return false;
    if (at == url.size()) return true;
    if (url[at] != '/') return false;
    for (; at < url.size(); ++at) {
        const unsigned char c = static_cast<unsigned char>(url[at]);
        if (c <= ' ' || c >= 127 || c == '#') return false;
    }
    return true;
}

// The close code a page may send for the one asked for: a page may only send 1000 and
// 3000 to 4999, so the protocol's own codes 1001 to 1999 go as 4001 to 4999 (1003, a
// text message refused, as 4003; 1009, a message too long, as 4009), anything else as 1000.
uint16_t PageCloseCode(uint16_t code) {
    if (code == 1000 || (code >= 3000 && code <= 4999)) return code;
    if (code > 1000 && code < 2000) return static_cast<uint16_t>(code + 3000);
    return 1000;
}

// The code the other side closed with, as the browser reports it: 1005 (no code in its
// close frame), 1006 (no close frame at all) and 1015 (the secure handshake failed) are
// never sent, so they are no code.
uint16_t ReceivedCloseCode(unsigned short code) {
    if (code == 1005 || code == 1006 || code == 1015 || code < 1000 || code > 4999) return 0;
    return code;
}

class BrowserWebSockets final : public WebSockets {
public:
    explicit BrowserWebSockets(const Limits& limits) : maxMessage_(limits.maxMessage) {}
    ~BrowserWebSockets() override { CloseAll(); }

    bool Listen(uint16_t) override { return false; }
    uint16_t Port() const override { return 0; }
    void StopListening() override {}

    Id Connect(const std::string& url) override {
        if (!IsWebSocketUrl(url) || next_ == 0) return 0;
        EmscriptenWebSocketCreateAttributes attributes;
        emscripten_websocket_init_create_attributes(&attributes);
        attributes.url = url.c_str();
        attributes.protocols = nullptr;
        attributes.createOnMainThread = EM_TRUE;
        const int socket = tolvane_websocket_new(&attributes);
        if (socket <= 0) return 0;
        const Id id = next_++;
        Connection& c = connections_[id];
        c.socket = socket;
        c.link.owner = this;
        c.link.id = id;
        emscripten_websocket_set_onopen_callback(socket, &c.link, OnOpen);
        emscripten_websocket_set_onmessage_callback(socket, &c.link, OnMessage);
        emscripten_websocket_set_onerror_callback(socket, &c.link, OnError);
        emscripten_websocket_set_onclose_callback(socket, &c.link, OnClose);
        return id;
    }

    void Send(Id id, const uint8_t* data, size_t size) override {
        const Connection* c = Find(id);
        if (!c || !c->up || c->ending || size > UINT32_MAX) return;
        emscripten_websocket_send_binary(c->socket, const_cast<uint8_t*>(data), static_cast<uint32_t>(size));
    }

    void Close(Id id, uint16_t code) override {
        Connection* c = Find(id);
        if (c && !c->ending) EndSocket(*c, code);
    }

    void Drop(Id id) override {
        auto it = connections_.find(id);
        if (it == connections_.end()) return;
        emscripten_websocket_close(it->second.socket, 1000, nullptr);  // nothing where it has closed
        Forget(it);
    }

    bool IsOpen(Id id) const override {
        const Connection* c = Find(id);
        return c && c->up && !c->ending;
    }

    size_t Queued(Id id) const override {
        const Connection* c = Find(id);
        unsigned long long amount = 0;
        if (!c || emscripten_websocket_get_buffered_amount(c->socket, &amount) != EMSCRIPTEN_RESULT_SUCCESS) return 0;
        return static_cast<size_t>(amount);
    }

    uint32_t RemoteIp(Id) const override { return 0; }

    void Poll(std::vector<Event>& out) override {
        while (!noted_.empty()) {
            Noted n = std::move(noted_.front());
            noted_.pop_front();
            auto it = connections_.find(n.id);
            if (it == connections_.end()) continue;  // dropped since
            Connection& c = it->second;
            switch (n.what) {
                case Noted::Open:
                    c.up = true;
                    out.push_back(Event{Event::Opened, n.id, {}, 0});
                    break;
                case Noted::Message:
                    if (c.up && !c.ending) out.push_back(Event{Event::Message, n.id, std::move(n.data), 0});
                    break;
                case Noted::Refused:
                    if (!c.ending) EndSocket(c, n.code);
                    break;
                case Noted::Error: c.ending = true; break;
                case Noted::Closed:
                    out.push_back(Event{Event::Closed, n.id, {}, n.code});
                    Forget(it);
                    break;
            }
        }
    }

    void WaitFds(std::vector<pollfd>&) const override {}

    void CloseAll() override {
        while (!connections_.empty()) Drop(connections_.begin()->first);
        noted_.clear();
    }

private:
    // What a browser callback is handed: the endpoint and the connection.
    struct Link {
        BrowserWebSockets* owner = nullptr;
        Id id = 0;
    };
    struct Connection {
        int socket = 0;
        Link link;
        bool up = false;       // its Opened was handed over
        bool ending = false;   // asked to close, refused by us, or failed: nothing more goes or comes
        bool refused = false;  // a message was refused (noted by the callback): the rest is not looked at
    };
    // What the browser reported, in order.
    struct Noted {
        enum What : uint8_t { Open, Message, Refused, Error, Closed } what;
        Id id;
        std::vector<uint8_t> data;
        uint16_t code = 0;
    };

    Connection* Find(Id id) {
        auto it = connections_.find(id);
        return it == connections_.end() ? nullptr : &it->second;
    }
    const Connection* Find(Id id) const {
        auto it = connections_.find(id);
        return it == connections_.end() ? nullptr : &it->second;
    }

    void EndSocket(Connection& c, uint16_t code) {
        c.ending = true;
        emscripten_websocket_close(c.socket, PageCloseCode(code), nullptr);
    }

    // The socket goes with its callbacks; nothing more is heard of it.
    void Forget(std::map<Id, Connection>::iterator it) {
        tolvane_websocket_delete(it->second.socket);
        connections_.erase(it);
    }

    void Note(Noted::What what, Id id, std::vector<uint8_t> data = {}, uint16_t code = 0) {
        noted_.push_back(Noted{what, id, std::move(data), code});
    }

    static EM_BOOL OnOpen(int, const EmscriptenWebSocketOpenEvent*, void* user) {
        const Link* l = static_cast<const Link*>(user);
        l->owner->Note(Noted::Open, l->id);
        return EM_TRUE;
    }

    static EM_BOOL OnMessage(int, const EmscriptenWebSocketMessageEvent* e, void* user) {
        const Link* l = static_cast<const Link*>(user);
        Connection* c = l->owner->Find(l->id);
        if (!c || c->refused) return EM_TRUE;
        if (e->isText || e->numBytes > l->owner->maxMessage_) {
            // A text message is not ours to read (1003); a longer one than the limit is refused (1009).
            c->refused = true;
            l->owner->Note(Noted::Refused, l->id, {}, e->isText ? 1003 : 1009);
            return EM_TRUE;
        }
        l->owner->Note(Noted::Message, l->id, std::vector<uint8_t>(e->data, e->data + e->numBytes));
        return EM_TRUE;
    }

    static EM_BOOL OnError(int, const EmscriptenWebSocketErrorEvent*, void* user) {
        const Link* l = static_cast<const Link*>(user);
        l->owner->Note(Noted::Error, l->id);
        return EM_TRUE;
    }

    static EM_BOOL OnClose(int, const EmscriptenWebSocketCloseEvent* e, void* user) {
        const Link* l = static_cast<const Link*>(user);
        l->owner->Note(Noted::Closed, l->id, {}, ReceivedCloseCode(e->code));
        return EM_TRUE;
    }

    size_t maxMessage_;
    std::map<Id, Connection> connections_;  // a map: a Link's address stays while its connection does
    std::deque<Noted> noted_;
    Id next_ = 1;
};

}  // namespace

std::unique_ptr<WebSockets> MakeWebSockets(const WebSockets::Limits& limits) {
    return std::make_unique<BrowserWebSockets>(limits);
}

}  // namespace plat
