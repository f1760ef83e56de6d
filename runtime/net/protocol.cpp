#include "net/protocol.h"

#include <algorithm>
#include <cstring>

namespace net {

namespace {

class Writer {
public:
    explicit Writer(Type t) { U8(kMagic).U8(kVersion).U8(uint8_t(t)); }
    Writer() = default;
    Writer& U8(uint8_t v) { out_.push_back(char(v)); return *this; }
    Writer& U16(uint16_t v) { return U8(uint8_t(v)).U8(uint8_t(v >> 8)); }
    Writer& U32(uint32_t v) { return U16(uint16_t(v)).U16(uint16_t(v >> 16)); }
    Writer& Bytes(const void* p, size_t n) { out_.append(static_cast<const char*>(p), n); return *this; }
    // A text with its length in front, cut to `max` bytes.
    Writer& Text8(std::string_view s, size_t max) {
        s = s.substr(0, max);
        return U8(uint8_t(s.size())).Bytes(s.data(), s.size());
    }
    Writer& Text16(std::string_view s, size_t max) {
        s = s.substr(0, max);
        return U16(uint16_t(s.size())).Bytes(s.data(), s.size());
    }
    std::string Take() { return std::move(out_); }

private:
    std::string out_;
};

// Reads fields from a buffer; any read past its end makes the whole reading fail.
class Reader {
public:
    Reader(const uint8_t* p, size_t n, bool ok = true) : p_(p), n_(n), ok_(ok) {}
    bool Ok() const { return ok_; }
    bool AtEnd() const { return ok_ && at_ == n_; }
    size_t Left() const { return ok_ ? n_ - at_ : 0; }
    uint8_t U8() { return Need(1) ? p_[at_++] : 0; }
    uint16_t U16() {
        uint16_t lo = U8();
        return uint16_t(lo | (U8() << 8));
    }
    uint32_t U32() {
        uint32_t lo = U16();
        return lo | (uint32_t(U16()) << 16);
    }
    std::string Bytes(size_t n) {
        if (!Need(n)) return {};
        std::string s(reinterpret_cast<const char*>(p_ + at_), n);
        at_ += n;
        return s;
    }
    std::string Text8(size_t max) {
        size_t n = U8();
        if (n > max) ok_ = false;
        return Bytes(n);
    }
    std::string Text16(size_t max) {
        size_t n = U16();
        if (n > max) ok_ = false;
        return Bytes(n);
    }
    const uint8_t* Here() const { return p_ + at_; }

private:
    bool Need(size_t k) {
        if (!ok_ || n_ - at_ < k) ok_ = false;
        return ok_;
    }
    const uint8_t* p_;
    size_t n_, at_ = 0;
    bool ok_ = true;
};

// A reader past the header of a packet of type t, or a failed one.
Reader Body(const uint8_t* data, size_t size, Type t) {
    if (PacketType(data, size) != t) return Reader(nullptr, 0, false);
    return Reader(data + 3, size - 3);
}

template <class T> std::optional<T> Done(const Reader& r, T v) {
    if (!r.AtEnd()) return std::nullopt;
    return v;
}

constexpr char kSearchMagic[4] = {'T', 'L', 'V', 'N'};

}  // namespace

std::optional<Type> PacketType(const uint8_t* data, size_t size) {
    if (!data || size < 3 || data[0] != kMagic || data[1] != kVersion) return std::nullopt;
    if (data[2] < uint8_t(Type::Hello) || data[2] > uint8_t(Type::Message)) return std::nullopt;
    return Type(data[2]);
}

std::string EncodeHello(const Hello& h) {
    return Writer(Type::Hello).Bytes(h.app.data(), 16).U32(h.rejoinPeer).Text16(h.name, kMaxSessionName).Take();
}

std::optional<Hello> DecodeHello(const uint8_t* data, size_t size) {
    Reader r = Body(data, size, Type::Hello);
    Hello h;
    std::string app = r.Bytes(16);
    if (r.Ok()) std::memcpy(h.app.data(), app.data(), 16);
    h.rejoinPeer = r.U32();
    h.name = r.Text16(kMaxSessionName);
    return Done(r, h);
}

std::string EncodeRefuse(Refusal why) { return Writer(Type::Refuse).U8(uint8_t(why)).Take(); }

std::optional<Refusal> DecodeRefuse(const uint8_t* data, size_t size) {
    Reader r = Body(data, size, Type::Refuse);
    uint8_t why = r.U8();
    if (why < uint8_t(Refusal::WrongApplication) || why > uint8_t(Refusal::Full)) return std::nullopt;
    return Done(r, Refusal(why));
}

std::string EncodeState(const State& s) {
    Writer w(Type::State);
    w.U32(s.you).U32(s.host).U32(s.nextPlayer).U32(s.nextPeer);
    w.U16(uint16_t(s.peers.size()));
    for (const PeerEntry& p : s.peers) w.U32(p.id).U32(p.ipv4).U16(p.port);
    w.U16(uint16_t(s.players.size()));
    for (const PlayerEntry& p : s.players) w.U32(p.id).U32(p.owner).Text8(p.name, kMaxPlayerName);
    return w.Take();
}

std::optional<State> DecodeState(const uint8_t* data, size_t size) {
    Reader r = Body(data, size, Type::State);
    State s;
    s.you = r.U32();
    s.host = r.U32();
    s.nextPlayer = r.U32();
    s.nextPeer = r.U32();
    size_t peers = r.U16();
    if (peers > kMaxPeers) return std::nullopt;
    for (size_t i = 0; i < peers && r.Ok(); ++i) {
        PeerEntry p;
        p.id = r.U32();
        p.ipv4 = r.U32();
        p.port = r.U16();
        s.peers.push_back(p);
    }
    size_t players = r.U16();
    if (players > kMaxPlayers) return std::nullopt;
    for (size_t i = 0; i < players && r.Ok(); ++i) {
        PlayerEntry p;
        p.id = r.U32();
        p.owner = r.U32();
        p.name = r.Text8(kMaxPlayerName);
        if (p.id == 0) return std::nullopt;
        s.players.push_back(std::move(p));
    }
    return Done(r, std::move(s));
}

std::string EncodeCreate(uint32_t token, std::string_view name) {
    return Writer(Type::Create).U32(token).Text8(name, kMaxPlayerName).Take();
}

std::optional<std::pair<uint32_t, std::string>> DecodeCreate(const uint8_t* data, size_t size) {
    Reader r = Body(data, size, Type::Create);
    uint32_t token = r.U32();
    std::string name = r.Text8(kMaxPlayerName);
    return Done(r, std::pair{token, std::move(name)});
}

std::string EncodeCreated(uint32_t token, uint32_t id) { return Writer(Type::Created).U32(token).U32(id).Take(); }

std::optional<std::pair<uint32_t, uint32_t>> DecodeCreated(const uint8_t* data, size_t size) {
    Reader r = Body(data, size, Type::Created);
    uint32_t token = r.U32();
    uint32_t id = r.U32();
    return Done(r, std::pair{token, id});
}

std::string EncodeDestroy(uint32_t id) { return Writer(Type::Destroy).U32(id).Take(); }

std::optional<uint32_t> DecodeDestroy(const uint8_t* data, size_t size) {
    Reader r = Body(data, size, Type::Destroy);
    uint32_t id = r.U32();
    return Done(r, id);
}

std::string EncodeMessage(uint32_t from, uint32_t to, std::string_view text) {
    return Writer(Type::Message).U32(from).U32(to).Bytes(text.data(), std::min(text.size(), kMaxText)).Take();
}

std::optional<Message> DecodeMessage(const uint8_t* data, size_t size) {
    Reader r = Body(data, size, Type::Message);
    Message m;
    m.from = r.U32();
    m.to = r.U32();
    if (!r.Ok() || r.Left() > kMaxText) return std::nullopt;
    m.text = std::string_view(reinterpret_cast<const char*>(r.Here()), r.Left());
    return m;
}

std::string EncodeSearch(const Search& s) {
    return Writer()
        .Bytes(kSearchMagic, 4)
        .U8(kVersion)
        .U8(s.answer ? 2 : 1)
        .Bytes(s.app.data(), 16)
        .Text16(s.name, kMaxSessionName)
        .Take();
}

std::optional<Search> DecodeSearch(const uint8_t* data, size_t size) {
    if (!data || size < 6 || std::memcmp(data, kSearchMagic, 4) != 0 || data[4] != kVersion) return std::nullopt;
    if (data[5] != 1 && data[5] != 2) return std::nullopt;
    Reader r(data + 6, size - 6);
    Search s;
    s.answer = data[5] == 2;
    std::string app = r.Bytes(16);
    if (r.Ok()) std::memcpy(s.app.data(), app.data(), 16);
    s.name = r.Text16(kMaxSessionName);
    return Done(r, std::move(s));
}

}  // namespace net
