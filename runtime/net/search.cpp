#include "net/search.h"

#include <arpa/inet.h>

#include "net/session_config.h"

namespace net {

namespace {
constexpr double kSearchMs = 1500;       // a search asks this long
constexpr double kSearchRepeatMs = 250;  // and this often
}  // namespace

SearchState::SearchState(Transport& io, const SessionConfig& cfg) : io_(io), cfg_(cfg) {}

bool SearchState::Tick(double now) {
    if (start_ < 0) start_ = now;
    if (now - start_ > kSearchMs) return false;
    if (now >= nextAsk_) {
        Bytes ask = EncodeSearch({false, cfg_.app, cfg_.name});
        io_.SendDatagram(false, Address{htonl(INADDR_LOOPBACK), cfg_.port}, ask);
        if (cfg_.lanSearch) io_.SendDatagram(false, Address{htonl(INADDR_BROADCAST), cfg_.port}, ask);
        nextAsk_ = now + kSearchRepeatMs;
    }
    return true;
}

bool SearchState::OnDatagram(const Address& from, const uint8_t* data, size_t size) {
    auto s = DecodeSearch(data, size);
    if (!s || !s->answer || s->app != cfg_.app || s->name != cfg_.name) return false;
    found_ = from;
    return true;
}

void AnswerSearch(Transport& io, const SessionConfig& cfg, bool door, const Address& from, const uint8_t* data,
                  size_t size) {
    auto s = DecodeSearch(data, size);
    if (!s || s->answer || s->app != cfg.app || s->name != cfg.name) return;
    io.SendDatagram(door, from, EncodeSearch({true, cfg.app, cfg.name}));
}

}  // namespace net
