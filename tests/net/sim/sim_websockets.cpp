// The simulated network's WebSocket endpoints: this binary's own MakeWebSockets. A
// connection is two ways between two endpoints, streams of the simulated network
// (sim_network.h): reliable and in order, held while the way is cut. A connection is made
// by "ws://127.0.0.1:port" to an endpoint listening on that port; its handshake takes a
// trip there and back. An endpoint that goes (its program was killed or left) ends its
// connections: the other ends hear it once what was under way arrived.
#include <arpa/inet.h>

#include <iterator>
#include <map>
#include <memory>

#include "sim/sim_websockets.h"

#include "net/ws_links.h"
#include "platform/websocket.h"

namespace netsim {

namespace {

class SimWebSockets;

// Every endpoint listening, by port, and every connection between two endpoints.
// (A new simulated network starts them afresh, so that a schedule replayed alone runs
// as it ran among others.)
struct Registry {
    const Network* network = nullptr;
    std::map<uint16_t, SimWebSockets*> listening;
    uint16_t nextPort = 50000;
    uint64_t nextConnection = 1;
};
Registry& Reg() {
    static Registry r;
    if (r.network != Network::Current()) {
        r = Registry{};
        r.network = Network::Current();
    }
    if (r.nextPort < 50000) r.nextPort = 50000;
    return r;
}

class SimWebSockets final : public plat::WebSockets {
public:
    SimWebSockets() : owner_(Network::Current() ? Network::Current()->current : -1) {}
    ~SimWebSockets() override { CloseAll(); }

    bool Listen(uint16_t port) override {
        Registry& r = Reg();
        if (!port) {
            while (r.listening.count(r.nextPort)) ++r.nextPort;
            port = r.nextPort++;
        }
        if (r.listening.count(port)) return false;
        r.listening[port] = this;
        ports_.push_back(port);
        return true;
    }
    uint16_t Port() const override { return ports_.empty() ? 0 : ports_.front(); }
    void StopListening() override {
        for (uint16_t p : ports_) Reg().listening.erase(p);
        ports_.clear();
    }

    Id Connect(const std::string& url) override {
        net::WsUrl u;
        if (!net::ParseWsUrl(url, &u) || u.secure) return 0;
        const Id id = nextId_++;
        Conn& c = conns_[id];
        c.number = Reg().nextConnection++;
        c.made = true;
        Network* net = Network::Current();
        auto it = Reg().listening.find(u.port);
        if (u.host != "127.0.0.1" || it == Reg().listening.end()) {
            // Nobody takes it: refused after a trip there and back.
            net->PutStream(Way(c, true), owner_, owner_, [this, me = serial_, id] {
                if (Alive(this, me)) Ended(id, 0);
            });
            return id;
        }
        SimWebSockets* other = it->second;
        c.other = other;
        c.otherSerial = other->serial_;
        c.otherOwner = other->owner_;
        const uint64_t number = c.number;
        // The handshake: it reaches the other, which takes it in and answers.
        net->PutStream(Way(c, true), owner_, other->owner_, [this, me = serial_, other, them = other->serial_, id, number] {
            if (!Alive(other, them) || !Alive(this, me)) return;
            const Id theirs = other->Accept(this, id, number);
            Network::Current()->PutStream(number * 2 + 1, other->owner_, owner_, [this, me, id, theirs] {
                if (!Alive(this, me)) return;
                auto c = conns_.find(id);
                if (c == conns_.end()) return;
                c->second.otherId = theirs;
                c->second.open = true;
                events_.push_back({Event::Opened, id, {}, 0});
            });
        });
        return id;
    }

    void Send(Id id, const uint8_t* data, size_t size) override {
        auto it = conns_.find(id);
        if (it == conns_.end() || !it->second.open || it->second.closing) return;
        Forward(it->second, [data = std::vector<uint8_t>(data, data + size)](SimWebSockets* to, Id at) {
            to->events_.push_back({Event::Message, at, data, 0});
        });
    }

    void Close(Id id, uint16_t code) override {
        auto it = conns_.find(id);
        if (it == conns_.end() || it->second.closing) return;
        it->second.closing = true;
        Forward(it->second, [code](SimWebSockets* to, Id at) { to->Ended(at, code); });
        // The other side's answer ends it here.
        const int from = it->second.other ? it->second.otherOwner : owner_;
        Network::Current()->PutStream(Way(it->second, false), from, owner_, [this, me = serial_, id, code] {
            if (Alive(this, me)) Ended(id, code);
        });
    }

    void Drop(Id id) override {
        auto it = conns_.find(id);
        if (it == conns_.end()) return;
        if (!it->second.closing) Forward(it->second, [](SimWebSockets* to, Id at) { to->Ended(at, 0); });
        Network::Current()->DropWay(Way(it->second, false));
        conns_.erase(it);
    }

    bool IsOpen(Id id) const override {
        auto it = conns_.find(id);
        return it != conns_.end() && it->second.open && !it->second.closing;
    }
    size_t Queued(Id) const override { return 0; }
    uint32_t RemoteIp(Id) const override { return htonl(INADDR_LOOPBACK); }

    void Poll(std::vector<Event>& out) override {
        for (Event& e : events_) out.push_back(std::move(e));
        events_.clear();
    }
    void WaitFds(std::vector<pollfd>&) const override {}

    // The connection breaks under both ends (a proxy or the network gave up on it): this
    // end hears it now, the other once what was under way to it arrived.
    bool Break(uint64_t pick) {
        if (conns_.empty()) return false;
        auto it = conns_.begin();
        std::advance(it, static_cast<long>(pick % conns_.size()));
        const Id id = it->first;
        if (!it->second.closing) Forward(it->second, [](SimWebSockets* to, Id at) { to->Ended(at, 0); });
        Network::Current()->DropWay(Way(it->second, false));
        Ended(id, 0);
        return true;
    }
    int Owner() const { return owner_; }

    void CloseAll() override {
        StopListening();
        std::vector<Id> ids;
        for (const auto& [id, c] : conns_) ids.push_back(id);
        for (Id id : ids) Drop(id);
        events_.clear();
        Alive().erase(this);  // (its serial is never given again)
    }

    // The endpoints there are, each with a serial of its own: one made where a gone one
    // was is not taken for it.
    static std::map<const SimWebSockets*, uint64_t>& Alive() {
        static std::map<const SimWebSockets*, uint64_t> alive;
        return alive;
    }
    static bool Alive(const SimWebSockets* e, uint64_t serial) {
        auto it = Alive().find(e);
        return it != Alive().end() && it->second == serial;
    }
    void Register() {
        static uint64_t serials = 0;
        serial_ = ++serials;
        Alive()[this] = serial_;
    }

private:
    struct Conn {
        uint64_t number = 0;
        bool made = false, open = false, closing = false;
        SimWebSockets* other = nullptr;  // may be gone: looked at only when Alive
        uint64_t otherSerial = 0;
        int otherOwner = -1;
        Id otherId = 0;
    };
    // The way from this end (out) or to it (in): the maker sends on number*2, the other
    // on number*2+1.
    static uint64_t Way(const Conn& c, bool out) { return c.number * 2 + ((c.made == out) ? 0 : 1); }

    Id Accept(SimWebSockets* maker, Id makerId, uint64_t number) {
        const Id id = nextId_++;
        Conn& c = conns_[id];
        c.number = number;
        c.other = maker;
        c.otherSerial = maker->serial_;
        c.otherOwner = maker->owner_;
        c.otherId = makerId;
        c.open = true;
        events_.push_back({Event::Opened, id, {}, 0});
        return id;
    }

    // Something for the other end, over the way out.
    template <typename F>
    void Forward(const Conn& c, F what) {
        if (!c.other) return;
        SimWebSockets* other = c.other;
        const uint64_t them = c.otherSerial;
        const Id at = c.otherId;
        const uint64_t number = c.number;
        Network::Current()->PutStream(Way(c, true), owner_, c.otherOwner, [other, them, at, number, what] {
            if (!Alive(other, them)) return;
            auto it = other->conns_.find(at);
            if (it == other->conns_.end() || it->second.number != number) return;
            what(other, at);
        });
    }

    void Ended(Id id, uint16_t code) {
        auto it = conns_.find(id);
        if (it == conns_.end()) return;
        conns_.erase(it);
        events_.push_back({Event::Closed, id, {}, code});
    }

    int owner_;
    uint64_t serial_ = 0;
    std::vector<uint16_t> ports_;
    std::map<Id, Conn> conns_;
    std::vector<Event> events_;
    Id nextId_ = 1;
};

}  // namespace

bool BreakWebSocket(int program, uint64_t pick) {
    std::vector<SimWebSockets*> mine;
    for (const auto& [e, serial] : SimWebSockets::Alive())
        if (e->Owner() == program) mine.push_back(const_cast<SimWebSockets*>(e));
    for (SimWebSockets* e : mine)
        if (e->Break(pick)) return true;
    return false;
}

}  // namespace netsim

std::unique_ptr<plat::WebSockets> plat::MakeWebSockets(const WebSockets::Limits&) {
    auto e = std::make_unique<netsim::SimWebSockets>();
    e->Register();
    return e;
}
