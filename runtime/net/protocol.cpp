#include "net/protocol.h"

#include <algorithm>
#include <cstring>

#include "core/byte_io.h"

namespace net {

namespace {

constexpr char kSearchMagic[4] = {'T', 'L', 'V', 'N'};

ByteWriter Start(Type t) {
    ByteWriter w;
    w.U8(kMagic).U8(kVersion).U8(static_cast<uint8_t>(t));
    return w;
}

// A text with its length in front, cut to `max` bytes (at most 255 or 65535).
void Text8(ByteWriter& w, std::string_view s, size_t max) {
    s = s.substr(0, std::min<size_t>(max, 255));
    w.U8(static_cast<uint8_t>(s.size())).Text(s);
}
void Text16(ByteWriter& w, std::string_view s, size_t max) {
    s = s.substr(0, std::min<size_t>(max, 65535));
    w.U16(static_cast<uint16_t>(s.size())).Text(s);
}

template <size_t N> void Array(ByteWriter& w, const std::array<uint8_t, N>& a) { w.Bytes(a.data(), N); }

// Reads a packet's fields. Besides running out of bytes, a field out of range fails the
// reading for good.
class Fields {
public:
    Fields(const uint8_t* data, size_t size, Type t) {
        if (PacketType(data, size) == t) r_ = ByteReader(data + 3, size - 3);
        else r_.Fail();
    }
    Fields(const uint8_t* data, size_t size) : r_(data, size) {}

    bool Ok() const { return r_.Ok(); }
    bool Done() const { return r_.AtEnd(); }
    void Fail() { r_.Fail(); }
    uint8_t U8() { return r_.U8(); }
    uint16_t U16() { return r_.U16(); }
    uint32_t U32() { return r_.U32(); }
    // An id of a peer or a player, or a sequence number: 1 ... kMaxId.
    uint32_t Id() { return Check(r_.U32(), 1); }
    // An id or 0 (a message to every other player; no host known).
    uint32_t IdOrZero() { return Check(r_.U32(), 0); }
    std::string_view Text(size_t n, size_t max) {
        if (n > max) r_.Fail();
        const uint8_t* p = r_.Bytes(n);
        return p ? std::string_view(reinterpret_cast<const char*>(p), n) : std::string_view();
    }
    std::string_view Text8(size_t max) { return Text(r_.U8(), max); }
    std::string_view Text16(size_t max) { return Text(r_.U16(), max); }
    template <size_t N> std::array<uint8_t, N> Array() {
        std::array<uint8_t, N> a{};
        if (const uint8_t* p = r_.Bytes(N)) std::memcpy(a.data(), p, N);
        return a;
    }
    // A count of list entries, at most `max`.
    size_t Count16(size_t max) {
        size_t n = r_.U16();
        if (n > max) r_.Fail();
        return n;
    }
    size_t Left() const { return r_.Left(); }

private:
    uint32_t Check(uint32_t v, uint32_t lowest) {
        if (v < lowest || v > kMaxId) r_.Fail();
        return v;
    }
    ByteReader r_;
};

template <class T> std::optional<T> Result(const Fields& f, T&& v) {
    if (!f.Done()) return std::nullopt;
    return std::forward<T>(v);
}

template <class T> bool HasDuplicateIds(const std::vector<T>& list) {
    std::vector<uint32_t> ids;
    ids.reserve(list.size());
    for (const T& e : list) ids.push_back(e.id);
    std::sort(ids.begin(), ids.end());
    return std::adjacent_find(ids.begin(), ids.end()) != ids.end();
}

bool Listed(const std::vector<PeerEntry>& peers, uint32_t id) {
    return std::any_of(peers.begin(), peers.end(), [&](const PeerEntry& p) { return p.id == id; });
}

void WritePlayer(ByteWriter& w, const PlayerEntry& p, bool withOwner) {
    w.U32(p.id);
    if (withOwner) w.U32(p.owner);
    w.U32(p.token);
    Text8(w, p.name, kMaxPlayerName);
}

PlayerEntry ReadPlayer(Fields& f, bool withOwner) {
    PlayerEntry p;
    p.id = f.Id();
    if (withOwner) p.owner = f.Id();
    p.token = f.Id();
    p.name = std::string(f.Text8(kMaxPlayerName));
    return p;
}

void WritePeer(ByteWriter& w, const PeerEntry& p) {
    w.U32(p.id).U32(p.ipv4).U16(p.port).U16(p.wsPort);
    Array(w, p.digest);
}

PeerEntry ReadPeer(Fields& f) {
    PeerEntry p;
    p.id = f.Id();
    p.ipv4 = f.U32();
    p.port = f.U16();
    p.wsPort = f.U16();
    p.digest = f.Array<32>();
    return p;
}

bool IsSeqListType(Type t) { return t == Type::Skip || t == Type::Ack || t == Type::Resume; }

}  // namespace

std::optional<Type> PacketType(const uint8_t* data, size_t size) {
    if (!data || size < 3 || data[0] != kMagic || data[1] != kVersion) return std::nullopt;
    if (data[2] < static_cast<uint8_t>(Type::Hello) || data[2] > static_cast<uint8_t>(Type::Follow))
        return std::nullopt;
    return static_cast<Type>(data[2]);
}

// ---- joining -------------------------------------------------------------------------------

Bytes EncodeHello(const Hello& h) {
    ByteWriter w = Start(Type::Hello);
    Array(w, h.app);
    Text16(w, h.name, kMaxSessionName);
    w.U32(h.peer).U32(h.host);
    Array(w, h.secret);
    w.U32(h.nextPeer).U32(h.nextPlayer).U16(h.wsPort);
    w.U16(static_cast<uint16_t>(std::min(h.players.size(), kMaxPlayers)));
    for (size_t i = 0; i < h.players.size() && i < kMaxPlayers; ++i) WritePlayer(w, h.players[i], false);
    return w.Take();
}

std::optional<Hello> DecodeHello(const uint8_t* data, size_t size) {
    Fields f(data, size, Type::Hello);
    Hello h;
    h.app = f.Array<16>();
    h.name = std::string(f.Text16(kMaxSessionName));
    h.peer = f.IdOrZero();
    h.host = f.IdOrZero();
    h.secret = f.Array<16>();
    h.nextPeer = f.Id();
    h.nextPlayer = f.Id();
    h.wsPort = f.U16();
    size_t n = f.Count16(kMaxPlayers);
    for (size_t i = 0; i < n && f.Ok(); ++i) {
        h.players.push_back(ReadPlayer(f, false));
        h.players.back().owner = h.peer;
    }
    // A new program owns nothing yet and means no host; no player is listed twice.
    if (f.Ok() && ((h.peer == 0 && (n || h.host)) || HasDuplicateIds(h.players))) f.Fail();
    return Result(f, std::move(h));
}

Bytes EncodeRefuse(const RefuseInfo& r) {
    return Start(Type::Refuse).U8(static_cast<uint8_t>(r.reason)).U32(r.host).Take();
}

std::optional<RefuseInfo> DecodeRefuse(const uint8_t* data, size_t size) {
    Fields f(data, size, Type::Refuse);
    RefuseInfo r;
    uint8_t why = f.U8();
    if (why < static_cast<uint8_t>(Refusal::WrongApplication) || why > static_cast<uint8_t>(Refusal::NotHost)) f.Fail();
    r.reason = static_cast<Refusal>(why);
    r.host = f.IdOrZero();
    return Result(f, std::move(r));
}

Bytes EncodeWelcome(const Welcome& s) {
    ByteWriter w = Start(Type::Welcome);
    w.U32(s.you);
    Array(w, s.secret);
    w.U32(s.host).U32(s.term).U32(s.nextPeer).U32(s.nextPlayer);
    w.U16(static_cast<uint16_t>(std::min(s.peers.size(), kMaxPeers)));
    for (size_t i = 0; i < s.peers.size() && i < kMaxPeers; ++i) WritePeer(w, s.peers[i]);
    w.U16(static_cast<uint16_t>(std::min(s.players.size(), kMaxPlayers)));
    for (size_t i = 0; i < s.players.size() && i < kMaxPlayers; ++i) WritePlayer(w, s.players[i], true);
    return w.Take();
}

std::optional<Welcome> DecodeWelcome(const uint8_t* data, size_t size) {
    Fields f(data, size, Type::Welcome);
    Welcome s;
    s.you = f.Id();
    s.secret = f.Array<16>();
    s.host = f.Id();
    s.term = f.Id();
    s.nextPeer = f.Id();
    s.nextPlayer = f.Id();
    size_t peers = f.Count16(kMaxPeers);
    for (size_t i = 0; i < peers && f.Ok(); ++i) s.peers.push_back(ReadPeer(f));
    size_t players = f.Count16(kMaxPlayers);
    for (size_t i = 0; i < players && f.Ok(); ++i) s.players.push_back(ReadPlayer(f, true));
    if (!f.Ok()) return std::nullopt;
    // One consistent session: no id twice, this program and the host listed and not the
    // same, every owner listed, the counters above every id given.
    bool sound = s.you != s.host && Listed(s.peers, s.you) && Listed(s.peers, s.host) && !HasDuplicateIds(s.peers) &&
                 !HasDuplicateIds(s.players);
    for (const PeerEntry& p : s.peers) sound = sound && p.id < s.nextPeer;
    for (const PlayerEntry& p : s.players) sound = sound && p.id < s.nextPlayer && Listed(s.peers, p.owner);
    if (!sound) f.Fail();
    return Result(f, std::move(s));
}

// ---- the session's tables --------------------------------------------------------------------

Bytes EncodePeerJoined(const PeerEntry& p) {
    ByteWriter w = Start(Type::PeerJoined);
    WritePeer(w, p);
    return w.Take();
}

std::optional<PeerEntry> DecodePeerJoined(const uint8_t* data, size_t size) {
    Fields f(data, size, Type::PeerJoined);
    PeerEntry p = ReadPeer(f);
    return Result(f, std::move(p));
}

namespace {
Bytes EncodeId(Type t, uint32_t id) { return Start(t).U32(id).Take(); }
std::optional<uint32_t> DecodeId(Type t, const uint8_t* data, size_t size) {
    Fields f(data, size, t);
    uint32_t id = f.Id();
    return Result(f, std::move(id));
}
}  // namespace

Bytes EncodePeerLeft(uint32_t id) { return EncodeId(Type::PeerLeft, id); }
std::optional<uint32_t> DecodePeerLeft(const uint8_t* data, size_t size) { return DecodeId(Type::PeerLeft, data, size); }

Bytes EncodePlayerAdded(const PlayerEntry& p) {
    ByteWriter w = Start(Type::PlayerAdded);
    WritePlayer(w, p, true);
    return w.Take();
}

std::optional<PlayerEntry> DecodePlayerAdded(const uint8_t* data, size_t size) {
    Fields f(data, size, Type::PlayerAdded);
    PlayerEntry p = ReadPlayer(f, true);
    return Result(f, std::move(p));
}

Bytes EncodePlayerRemoved(uint32_t id) { return EncodeId(Type::PlayerRemoved, id); }
std::optional<uint32_t> DecodePlayerRemoved(const uint8_t* data, size_t size) {
    return DecodeId(Type::PlayerRemoved, data, size);
}

// ---- players ---------------------------------------------------------------------------------

Bytes EncodeCreate(uint32_t token, std::string_view name) {
    ByteWriter w = Start(Type::Create);
    w.U32(token);
    Text8(w, name, kMaxPlayerName);
    return w.Take();
}

std::optional<std::pair<uint32_t, std::string>> DecodeCreate(const uint8_t* data, size_t size) {
    Fields f(data, size, Type::Create);
    uint32_t token = f.Id();
    std::string name(f.Text8(kMaxPlayerName));
    return Result(f, std::pair{token, std::move(name)});
}

Bytes EncodeCreated(const Created& c) { return Start(Type::Created).U32(c.token).U32(c.id).Take(); }

std::optional<Created> DecodeCreated(const uint8_t* data, size_t size) {
    Fields f(data, size, Type::Created);
    Created c;
    c.token = f.Id();
    c.id = f.Id();
    return Result(f, std::move(c));
}

Bytes EncodeNoPlayer(uint32_t token) { return EncodeId(Type::NoPlayer, token); }
std::optional<uint32_t> DecodeNoPlayer(const uint8_t* data, size_t size) { return DecodeId(Type::NoPlayer, data, size); }
Bytes EncodeCancel(uint32_t token) { return EncodeId(Type::Cancel, token); }
std::optional<uint32_t> DecodeCancel(const uint8_t* data, size_t size) { return DecodeId(Type::Cancel, data, size); }
Bytes EncodeDestroy(uint32_t id) { return EncodeId(Type::Destroy, id); }
std::optional<uint32_t> DecodeDestroy(const uint8_t* data, size_t size) { return DecodeId(Type::Destroy, data, size); }

// ---- messages --------------------------------------------------------------------------------

RecordWriter::RecordWriter(Type t) : type_(t) {
    ByteWriter w = Start(t);
    w.U16(0);  // the count, filled in by Take
    out_ = w.Take();
}

void RecordWriter::Add(const Outgoing& m) {
    ByteWriter w;
    w.U32(m.from).U32(m.to);
    size_t n = std::min(m.receivers.size(), kMaxPeers);
    w.U8(static_cast<uint8_t>(n));
    for (size_t i = 0; i < n; ++i) w.U32(m.receivers[i].first).U32(m.receivers[i].second);
    Text16(w, m.text, kMaxText);
    out_.insert(out_.end(), w.Data().begin(), w.Data().end());
    ++count_;
}

void RecordWriter::Add(const Incoming& m) {
    ByteWriter w;
    w.U32(m.sender).U32(m.seq).U32(m.from).U32(m.to);
    Text16(w, m.text, kMaxText);
    out_.insert(out_.end(), w.Data().begin(), w.Data().end());
    ++count_;
}

Bytes RecordWriter::Take() {
    out_[3] = static_cast<uint8_t>(count_);
    out_[4] = static_cast<uint8_t>(count_ >> 8);
    Bytes done = std::move(out_);
    *this = RecordWriter(type_);
    return done;
}

std::optional<std::vector<Outgoing>> DecodeSend(const uint8_t* data, size_t size) {
    Fields f(data, size, Type::Send);
    std::vector<Outgoing> list;
    size_t n = f.Count16(kMaxRecords);
    for (size_t i = 0; i < n && f.Ok(); ++i) {
        Outgoing m;
        m.from = f.Id();
        m.to = f.IdOrZero();
        size_t k = f.U8();
        if (k == 0 || k > kMaxPeers) f.Fail();
        for (size_t j = 0; j < k && f.Ok(); ++j) {
            uint32_t peer = f.Id();
            uint32_t seq = f.Id();
            for (const auto& r : m.receivers)
                if (r.first == peer) f.Fail();
            m.receivers.emplace_back(peer, seq);
        }
        m.text = f.Text16(kMaxText);
        list.push_back(std::move(m));
    }
    return Result(f, std::move(list));
}

std::optional<std::vector<Incoming>> DecodeDeliver(const uint8_t* data, size_t size) {
    Fields f(data, size, Type::Deliver);
    std::vector<Incoming> list;
    size_t n = f.Count16(kMaxRecords);
    for (size_t i = 0; i < n && f.Ok(); ++i) {
        Incoming m;
        m.sender = f.Id();
        m.seq = f.Id();
        m.from = f.Id();
        m.to = f.IdOrZero();
        m.text = f.Text16(kMaxText);
        list.push_back(m);
    }
    return Result(f, std::move(list));
}

Bytes EncodeSeqList(Type t, const SeqList& list) {
    ByteWriter w = Start(t);
    size_t n = std::min(list.size(), kMaxRecords);
    w.U16(static_cast<uint16_t>(n));
    for (size_t i = 0; i < n; ++i) w.U32(list[i].first).U32(list[i].second);
    return w.Take();
}

std::optional<SeqList> DecodeSeqList(Type t, const uint8_t* data, size_t size) {
    if (!IsSeqListType(t)) return std::nullopt;
    Fields f(data, size, t);
    SeqList list;
    size_t n = f.Count16(kMaxRecords);
    for (size_t i = 0; i < n && f.Ok(); ++i) {
        uint32_t peer = f.Id();
        uint32_t seq = f.Id();
        list.emplace_back(peer, seq);
    }
    return Result(f, std::move(list));
}

Bytes EncodeEmpty(Type t) { return Start(t).Take(); }

bool DecodeEmpty(Type t, const uint8_t* data, size_t size) {
    if (t != Type::Leave && t != Type::KeepAlive) return false;
    return Fields(data, size, t).Done();
}

Bytes EncodeFollow(const Claim& c) {
    return Start(Type::Follow).U32(c.host).U32(c.term).U32(c.ipv4).U16(c.port).U16(c.wsPort).Take();
}

std::optional<Claim> DecodeFollow(const uint8_t* data, size_t size) {
    Fields f(data, size, Type::Follow);
    Claim c;
    c.host = f.Id();
    c.term = f.Id();
    c.ipv4 = f.U32();
    c.port = f.U16();
    c.wsPort = f.U16();
    if (f.Ok() && (c.ipv4 == 0 || c.port == 0)) f.Fail();  // a host to go to is somewhere
    return Result(f, std::move(c));
}

// ---- search ----------------------------------------------------------------------------------

bool IsSearchDatagram(const uint8_t* data, size_t size) {
    return data && size >= 4 && std::memcmp(data, kSearchMagic, 4) == 0;
}

namespace {
// Search datagrams and pings: kinds `asks` and `asks + 1`.
Bytes EncodeAsk(const Search& s, uint8_t asks) {
    ByteWriter w;
    w.Bytes(kSearchMagic, 4).U8(kVersion).U8(static_cast<uint8_t>(s.answer ? asks + 1 : asks));
    Array(w, s.app);
    Text16(w, s.name, kMaxSessionName);
    return w.Take();
}

std::optional<Search> DecodeAsk(const uint8_t* data, size_t size, uint8_t asks) {
    Fields f(data, size);
    Search s;
    auto magic = f.Array<4>();
    if (std::memcmp(magic.data(), kSearchMagic, 4) != 0 || f.U8() != kVersion) f.Fail();
    uint8_t kind = f.U8();
    if (kind != asks && kind != asks + 1) f.Fail();
    s.answer = kind == asks + 1;
    s.app = f.Array<16>();
    s.name = std::string(f.Text16(kMaxSessionName));
    return Result(f, std::move(s));
}
}  // namespace

Bytes EncodeSearch(const Search& s) { return EncodeAsk(s, 1); }
std::optional<Search> DecodeSearch(const uint8_t* data, size_t size) { return DecodeAsk(data, size, 1); }
Bytes EncodePing(const Search& s) { return EncodeAsk(s, 5); }
std::optional<Search> DecodePing(const uint8_t* data, size_t size) { return DecodeAsk(data, size, 5); }

Bytes EncodeClaim(const ClaimDatagram& c) {
    ByteWriter w;
    w.Bytes(kSearchMagic, 4).U8(kVersion).U8(c.answer ? 4 : 3);
    Array(w, c.app);
    Text16(w, c.name, kMaxSessionName);
    w.U32(c.claim.term).U32(c.claim.host).U32(c.claim.ipv4).U16(c.claim.port).U16(c.claim.wsPort);
    return w.Take();
}

std::optional<ClaimDatagram> DecodeClaim(const uint8_t* data, size_t size) {
    Fields f(data, size);
    ClaimDatagram c;
    auto magic = f.Array<4>();
    if (std::memcmp(magic.data(), kSearchMagic, 4) != 0 || f.U8() != kVersion) f.Fail();
    uint8_t kind = f.U8();
    if (kind != 3 && kind != 4) f.Fail();
    c.answer = kind == 4;
    c.app = f.Array<16>();
    c.name = std::string(f.Text16(kMaxSessionName));
    c.claim.term = f.Id();
    c.claim.host = f.Id();
    c.claim.ipv4 = f.U32();
    c.claim.port = f.U16();
    c.claim.wsPort = f.U16();
    return Result(f, std::move(c));
}

}  // namespace net
