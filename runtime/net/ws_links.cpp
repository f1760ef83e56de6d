#include "net/ws_links.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "net/clock.h"
#include "net/transport.h"

namespace net {

namespace {

// Close codes: a program that leaves on purpose says so (ENet carries kLeaveCode instead).
constexpr uint16_t kCloseNormal = 1000, kCloseLeave = 4000;
// The longest session packet (a full Send or Deliver batch with room to spare).
constexpr size_t kMaxMessage = 256 * 1024;

}  // namespace

bool ParseWsUrl(const std::string& url, WsUrl* out) {
    WsUrl u;
    std::string rest;
    std::string lower = url.substr(0, 6);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (lower.rfind("wss://", 0) == 0) {
        u.secure = true;
        rest = url.substr(6);
    } else if (lower.rfind("ws://", 0) == 0) {
        rest = url.substr(5);
    } else {
        return false;
    }
    const size_t slash = rest.find('/');
    if (slash != std::string::npos) {
        u.path = rest.substr(slash);
        rest.resize(slash);
    }
    const size_t colon = rest.rfind(':');
    u.host = rest.substr(0, colon);
    u.port = u.secure ? 443 : 80;
    if (colon != std::string::npos) {
        const std::string digits = rest.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 ||
            !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
            return false;
        const long port = std::strtol(digits.c_str(), nullptr, 10);
        if (port < 1 || port > 65535) return false;
        u.port = static_cast<uint16_t>(port);
        u.portGiven = true;
    }
    if (u.host.empty() || u.host.size() > 253) return false;
    for (unsigned char c : u.host)
        if (!(std::isalnum(c) || c == '.' || c == '-' || c == '_' || c == '[' || c == ']' || c == ':')) return false;
    for (unsigned char c : u.path)
        if (c <= ' ' || c >= 0x7F) return false;
    if (out) *out = u;
    return true;
}

WsLinks::WsLinks() = default;

WsLinks::~WsLinks() { Close(); }

plat::WebSockets& WsLinks::Endpoint(const std::vector<std::string>* origins) {
    if (!endpoint_) {
        plat::WebSockets::Limits limits;
        limits.maxMessage = kMaxMessage;
        if (origins) limits.origins = *origins;
        endpoint_ = plat::MakeWebSockets(limits);
    }
    return *endpoint_;
}

bool WsLinks::Listen(uint16_t port, const std::vector<std::string>& origins) {
    return Endpoint(&origins).Listen(port);
}

uint16_t WsLinks::Port() const { return endpoint_ ? endpoint_->Port() : 0; }

void WsLinks::Close() {
    if (endpoint_) endpoint_->CloseAll();
    endpoint_.reset();
    links_.clear();
    free_.clear();
    byId_.clear();
    events_.clear();
}

Link* WsLinks::NewLink(uint32_t id, bool made) {
    Link* link;
    if (!free_.empty()) {
        link = free_.back();
        free_.pop_back();
    } else {
        link = &links_.emplace_back();
    }
    *link = Link{};
    link->kind = Link::Kind::Ws;
    link->ws = id;
    link->made = made;
    link->heardMs = NowMs();
    byId_[id] = link;
    return link;
}

void WsLinks::Free(Link* link) {
    byId_.erase(link->ws);
    link->ws = 0;
    link->open = false;
    free_.push_back(link);
}

Link* WsLinks::Connect(const std::string& url) {
    if (!ParseWsUrl(url, nullptr)) return nullptr;
    const uint32_t id = Endpoint().Connect(url);
    return id ? NewLink(id, true) : nullptr;
}

Link* WsLinks::Connect(const Address& to, const std::string& joined) {
    WsUrl base;
    const bool haveBase = ParseWsUrl(joined, &base);
    std::string url;
    if (to.ip == 0 && to.ws == 0) {
        url = joined;  // the program it joined, where it joined it
    } else {
        if (to.ws == 0) return nullptr;  // it takes no WebSocket connections
        std::string host = haveBase ? base.host : "127.0.0.1";
        if (to.ip) {
            char text[INET_ADDRSTRLEN] = {};
            in_addr in{};
            in.s_addr = to.ip;
            inet_ntop(AF_INET, &in, text, sizeof text);
            host = text;
        }
        url = std::string(haveBase && base.secure ? "wss://" : "ws://") + host + ":" + std::to_string(to.ws);
    }
    Link* link = Connect(url);
    if (link) {
        link->ip = to.ip;
        link->port = to.port;
        link->wsPort = to.ws;
    }
    return link;
}

void WsLinks::Send(Link* link, const Bytes& packet) {
    if (Connected(link)) endpoint_->Send(link->ws, packet.data(), packet.size());
}

void WsLinks::Disconnect(Link* link, uint32_t code) {
    if (link && link->ws && endpoint_) endpoint_->Close(link->ws, code == kLeaveCode ? kCloseLeave : kCloseNormal);
}

void WsLinks::Reset(Link* link) {
    if (!link || !link->ws) return;
    if (endpoint_) endpoint_->Drop(link->ws);
    Free(link);
}

bool WsLinks::Connected(const Link* link) const {
    return link && link->ws && link->open && endpoint_ && endpoint_->IsOpen(link->ws);
}

bool WsLinks::Settled(const Link* link) const { return !Connected(link) || endpoint_->Queued(link->ws) == 0; }

bool WsLinks::Unsettled() const {
    for (const auto& [id, link] : byId_)
        if (!Settled(link)) return true;
    return false;
}

uint32_t WsLinks::SilentMs(const Link* link) const {
    if (!link || !link->ws) return 0xFFFFFFFFu;
    const double silent = NowMs() - link->heardMs;
    return silent <= 0 ? 0 : silent >= 4e9 ? 0xFFFFFFFFu : static_cast<uint32_t>(silent);
}

Address WsLinks::AddressOf(const Link* link) const {
    if (!link || !link->ws) return Address{};
    if (link->made) return Address{link->ip, link->port, link->wsPort};
    // A program that came to this one: where it is, with no port of its own to reach it at
    // (its hello tells where it takes connections).
    return Address{endpoint_ ? endpoint_->RemoteIp(link->ws) : 0, 0, 0};
}

void WsLinks::WaitFds(std::vector<pollfd>& fds) const {
    if (endpoint_) endpoint_->WaitFds(fds);
}

void WsLinks::Flush() {
    if (endpoint_) endpoint_->Poll(events_);
}

bool WsLinks::Service(TransportHandler& handler) {
    if (!endpoint_) return false;
    endpoint_->Poll(events_);
    if (events_.empty()) return false;
    std::vector<plat::WebSockets::Event> list = std::move(events_);
    events_.clear();
    for (plat::WebSockets::Event& e : list) {
        auto it = byId_.find(e.id);
        Link* link = it == byId_.end() ? nullptr : it->second;
        switch (e.kind) {
        case plat::WebSockets::Event::Opened:
            if (!link) link = NewLink(e.id, false);  // another program came
            link->open = true;
            link->heardMs = NowMs();
            handler.OnConnect(link);
            break;
        case plat::WebSockets::Event::Message:
            if (!link || !link->open) break;
            link->heardMs = NowMs();
            if (PacketTap tap = PacketTapNow()) tap(e.data.data(), e.data.size());
            handler.OnPacket(link, e.data.data(), e.data.size());
            break;
        case plat::WebSockets::Event::Closed:
            if (!link) break;
            Free(link);  // reported now: the link may carry another connection later
            handler.OnDisconnect(link, e.code == kCloseLeave ? kLeaveCode : 0);
            break;
        }
        if (!endpoint_) break;  // the handler closed everything
    }
    return true;
}

}  // namespace net
