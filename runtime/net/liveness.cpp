#include "net/liveness.h"

#include "net/session_config.h"

namespace net {

Liveness::Liveness(Transport& io, const SessionConfig& cfg) : io_(io), cfg_(cfg) {}

void Liveness::Watch(const Address& a, double now) {
    // A program with no UDP socket asks nobody: it cannot tell.
    if (a.ip && a.port && io_.Datagrams()) watched_.emplace(Key{a.ip, a.port}, now);
}

void Liveness::Unwatch(const Address& a) { watched_.erase({a.ip, a.port}); }

bool Liveness::Gone(const Address& a, double now) const {
    auto it = watched_.find({a.ip, a.port});
    return it != watched_.end() && now - it->second >= kDeadMs;
}

void Liveness::Tick(double now) {
    if (watched_.empty() || now < nextPing_) return;
    nextPing_ = now + kPingMs;
    std::erase_if(watched_, [&](const auto& w) { return now - w.second >= kForgetMs; });
    const Bytes ping = EncodePing({false, cfg_.app, cfg_.name});
    for (const auto& [at, since] : watched_) io_.SendDatagram(false, Address{at.first, at.second}, ping);
}

bool Liveness::OnDatagram(bool door, const Address& from, const uint8_t* data, size_t size, double now, bool answer) {
    auto p = DecodePing(data, size);
    if (!p) return false;
    if (p->app != cfg_.app || p->name != cfg_.name) return true;
    if (!p->answer) {
        if (answer) io_.SendDatagram(door, from, EncodePing({true, cfg_.app, cfg_.name}));
        return true;
    }
    if (auto it = watched_.find({from.ip, from.port}); it != watched_.end()) it->second = now;
    return true;
}

}  // namespace net
