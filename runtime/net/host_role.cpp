#include "net/host_role.h"

#include <arpa/inet.h>

#include <algorithm>

#include "net/search.h"
#include "net/secret.h"
#include "net/session.h"

namespace net {

HostRole::HostRole(Session& s) : s_(s) {}

void HostRole::Start() {
    s_.me = s_.table.TakePeerId();
    s_.secret = NewSecret();
    s_.term = 1;
    s_.table.PutPeer({s_.me, 0, s_.io.Port(), DigestOf(s_.secret)});
    s_.SetStatus(Status::Hosting);
    s_.TableChanged();
}

void HostRole::TakeOver(Handover h) {
    // A term of its own; the old host and its players are gone, though it may be alive
    // and come back: it hears of this host.
    s_.term = s_.term + 1;
    if (const PeerEntry* old = h.lostHost && h.lostHost != s_.me ? s_.table.FindPeer(h.lostHost) : nullptr)
        Rival(Address{old->ipv4, old->port});
    if (h.lostHost && h.lostHost != s_.me && s_.table.RemovePeer(h.lostHost)) s_.Forget(h.lostHost);
    if (const PeerEntry* mine = s_.table.FindPeer(s_.me)) {
        PeerEntry e = *mine;
        e.ipv4 = 0;
        e.port = s_.io.Port();
        s_.table.PutPeer(e);
    }
    // The old host may have given ids that never reached this program: the counters go
    // well above every id it knows of.
    s_.table.RaiseCounters(s_.table.NextPeer() + static_cast<uint32_t>(kMaxPeers),
                           s_.table.NextPlayer() + static_cast<uint32_t>(kMaxPlayers));
    s_.table.Lane(s_.me);
    const double until = NowMs() + kGraceMs;
    for (const PeerEntry& p : s_.table.Peers())
        if (p.id != s_.me) {
            lost_[p.id] = until;
            s_.alive.Watch(Address{p.ipv4, p.port}, NowMs());
        }
    strangersUntil_ = until;
    // Programs that join later find the session at its port, once that is free here.
    needDoor_ = s_.io.Port() != s_.cfg.port;
    OpenDoor(NowMs());
    s_.SetStatus(Status::Hosting);
    for (const auto& [token, name] : h.creates) s_.Answer(token, CreateFor(s_.me, token, name));
    for (uint32_t token : h.cancels) CancelFor(s_.me, token);
    for (uint32_t id : h.destroys) DestroyFor(s_.me, id);
    s_.PurgeInbox();
    s_.TableChanged();
    for (auto& [peer, hello] : h.hellos) OnHello(peer, hello);
}

// ---- admission -------------------------------------------------------------------------------

size_t HostRole::FromAddress(uint32_t ip) const {
    size_t n = 0;
    for (const auto& [peer, id] : peerOf_) n += s_.io.AddressOf(peer).ip == ip;
    return n;
}

void HostRole::Refuse(Transport::Peer* peer, Refusal why) {
    s_.io.Send(peer, EncodeRefuse({why, why == Refusal::NotHost ? s_.me : 0}));
    s_.io.DisconnectLater(peer);
}

void HostRole::Link(Transport::Peer* peer, uint32_t id) {
    auto old = links_.find(id);
    if (old != links_.end() && old->second != peer) {  // a link that broke on the other side
        peerOf_.erase(old->second);
        s_.io.Reset(old->second);
    }
    links_[id] = peer;
    peerOf_[peer] = id;
    lost_.erase(id);
    s_.alive.Unwatch(s_.io.AddressOf(peer));
}

void HostRole::Welcome(Transport::Peer* peer, uint32_t id, const Secret& secret) {
    net::Welcome w;
    w.you = id;
    w.secret = secret;
    w.host = s_.me;
    w.term = s_.term;
    w.nextPeer = s_.table.NextPeer();
    w.nextPlayer = s_.table.NextPlayer();
    w.peers = s_.table.Peers();
    w.players = s_.table.Players();
    s_.io.Send(peer, EncodeWelcome(w));
}

void HostRole::OnHello(Transport::Peer* peer, const Hello& h) {
    s_.Adopt(peer);
    if (h.app != s_.cfg.app) return Refuse(peer, Refusal::WrongApplication);
    if (h.name != s_.cfg.name) return Refuse(peer, Refusal::WrongName);
    const Address from = s_.io.AddressOf(peer);
    if (h.peer == 0) {
        // A new program: a seat, unless the session or its address has no more.
        if (s_.table.Peers().size() >= kMaxPeers) return Refuse(peer, Refusal::Full);
        if (!ThisMachine(from.ip) && FromAddress(from.ip) >= kPeersPerAddress) return Refuse(peer, Refusal::Full);
        const uint32_t id = s_.table.TakePeerId();
        if (!id) return Refuse(peer, Refusal::Full);
        const Secret secret = NewSecret();
        const PeerEntry entry{id, from.ip, from.port, DigestOf(secret)};
        s_.table.PutPeer(entry);
        Link(peer, id);
        Welcome(peer, id, secret);
        Broadcast(EncodePeerJoined(entry), id);
        s_.TableChanged();
        return;
    }
    // A returning program that means another host is not this one's; one this program
    // knows proves who it is.
    if (h.host && h.host != s_.me) return Refuse(peer, Refusal::NotHost);
    // A digest of zeros is one this program never learnt: that of a host it was sent to
    // follow (net/protocol.h: a claim carries none) before that host welcomed it. Whoever
    // shows the id is taken for that program.
    const Digest digest = DigestOf(h.secret);
    auto proves = [&](const Digest& d) { return d == digest || d == Digest{}; };
    const PeerEntry* known = s_.table.FindPeer(h.peer);
    if (known && (known->id == s_.me || !proves(known->digest))) return Refuse(peer, Refusal::NotYou);
    if (const Digest* former = known ? nullptr : s_.table.FormerDigest(h.peer)) {
        // One the session counted out when its link broke, or the host this one replaced.
        if (!proves(*former)) return Refuse(peer, Refusal::NotYou);
    } else if (!known) {
        // One that joined the old host when its news could no longer reach this program,
        // or a host this one outranked: taken in for a while after a take-over or after
        // such a host stepped down, under the id it got, when no other has that id.
        if (NowMs() >= strangersUntil_) return Refuse(peer, Refusal::NotYou);
    }
    if (!known && s_.table.Peers().size() >= kMaxPeers) return Refuse(peer, Refusal::Full);
    PeerEntry entry = known ? *known : PeerEntry{h.peer, 0, 0, digest};
    entry.digest = digest;
    entry.ipv4 = from.ip;
    entry.port = from.port;
    s_.table.PutPeer(entry);
    Link(peer, h.peer);
    // It is the one that knows its players: those it no longer has (destroyed while the
    // news could not reach this program) go, and those this program never heard of (their
    // news died with the old host) are listed again, unless the id went to another
    // meanwhile.
    std::vector<uint32_t> removed;
    for (const PlayerEntry& p : s_.table.Players())
        if (p.owner == h.peer && std::none_of(h.players.begin(), h.players.end(),
                                              [&](const PlayerEntry& q) { return q.id == p.id; }))
            removed.push_back(p.id);
    for (uint32_t id : removed) s_.table.RemovePlayer(id);
    std::vector<PlayerEntry> added;
    for (PlayerEntry p : h.players) {
        p.owner = h.peer;
        if (s_.table.AddPlayer(p)) added.push_back(p);
    }
    s_.table.RaiseCounters(h.nextPeer, h.nextPlayer);
    Welcome(peer, h.peer, h.secret);
    Broadcast(EncodePeerJoined(entry), h.peer);
    for (uint32_t id : removed) Broadcast(EncodePlayerRemoved(id), h.peer);
    for (const PlayerEntry& p : added) Broadcast(EncodePlayerAdded(p), h.peer);
    if (!removed.empty()) s_.PurgeInbox();
    s_.TableChanged();
}

void HostRole::OnDisconnect(Transport::Peer* peer, uint32_t code) {
    auto it = peerOf_.find(peer);
    if (it == peerOf_.end()) return;
    const uint32_t id = it->second;
    peerOf_.erase(it);
    links_.erase(id);
    out_.erase(id);
    if (code == kLeaveCode) {
        RemovePeer(id);
        return;
    }
    lost_[id] = NowMs() + kGraceMs;  // its seat waits for it a while, unless it is gone
    if (const PeerEntry* e = s_.table.FindPeer(id)) s_.alive.Watch(Address{e->ipv4, e->port}, NowMs());
    Rival(s_.io.AddressOf(peer));    // and it may have gone to another host
}

void HostRole::RemovePeer(uint32_t id) {
    if (auto l = links_.find(id); l != links_.end()) {
        peerOf_.erase(l->second);
        s_.io.DisconnectLater(l->second);
        links_.erase(l);
    }
    lost_.erase(id);
    out_.erase(id);
    if (!s_.table.RemovePeer(id)) return;
    s_.Forget(id);
    Broadcast(EncodePeerLeft(id));
    s_.TableChanged();
}

void HostRole::OnDatagram(bool door, const Address& from, const uint8_t* data, size_t size) {
    if (auto c = DecodeClaim(data, size))
        OnClaim(door, from, *c);
    else
        AnswerSearch(s_.io, s_.cfg, door, from, data, size);
}

// ---- other hosts -------------------------------------------------------------------------------

Claim HostRole::Mine() const { return Claim{s_.term, s_.me, 0, 0}; }

void HostRole::Rival(const Address& at) {
    if (at.ip && at.port) rivals_[{at.ip, at.port}] = NowMs() + kRivalMs;
}

void HostRole::SendClaims(double now) {
    if (now < nextClaim_) return;
    nextClaim_ = now + kClaimRepeatMs;
    const Bytes claim = EncodeClaim({false, s_.cfg.app, s_.cfg.name, Mine()});
    std::erase_if(rivals_, [&](const auto& r) { return now >= r.second; });
    for (const auto& [at, until] : rivals_) s_.io.SendDatagram(false, Address{at.first, at.second}, claim);
    // Whoever holds the session port.
    if (needDoor_) s_.io.SendDatagram(false, Address{htonl(INADDR_LOOPBACK), s_.cfg.port}, claim);
}

void HostRole::OnClaim(bool door, const Address& from, const ClaimDatagram& c) {
    if (c.app != s_.cfg.app || c.name != s_.cfg.name || steppingDown_) return;
    Claim theirs = c.claim;
    if (!theirs.ipv4) {
        theirs.ipv4 = from.ip;
        theirs.port = from.port;
    }
    if (theirs.host == s_.me) {  // that program follows this host
        rivals_.erase({from.ip, from.port});
        return;
    }
    if (Outranks(theirs, Mine())) {
        steppingDown_ = true;
        s_.StepDown(theirs);
        return;
    }
    // The other steps down: its programs come here, strangers to this one.
    strangersUntil_ = std::max(strangersUntil_, NowMs() + kGraceMs);
    if (!c.answer) s_.io.SendDatagram(door, from, EncodeClaim({true, s_.cfg.app, s_.cfg.name, Mine()}));
    Rival(Address{theirs.ipv4, theirs.port});  // the other host hears of this one
}

void HostRole::StepDown(const Claim& winner) {
    Flush();
    Broadcast(EncodeFollow(winner));
}

// ---- packets from peers -----------------------------------------------------------------------

void HostRole::OnPacket(Transport::Peer* peer, Type type, const uint8_t* data, size_t size) {
    auto it = peerOf_.find(peer);
    if (it == peerOf_.end()) return;
    const uint32_t from = it->second;
    switch (type) {
    case Type::Create:
        if (auto c = DecodeCreate(data, size)) {
            const uint32_t id = CreateFor(from, c->first, c->second);
            SendTo(from, id ? EncodeCreated({c->first, id}) : EncodeNoPlayer(c->first));
        }
        break;
    case Type::Cancel:
        if (auto token = DecodeCancel(data, size)) CancelFor(from, *token);
        break;
    case Type::Destroy:
        if (auto id = DecodeDestroy(data, size)) DestroyFor(from, *id);
        break;
    case Type::Send:
        if (auto list = DecodeSend(data, size))
            for (const net::Outgoing& m : *list) Route(from, m);
        break;
    case Type::Ack:
        if (auto list = DecodeSeqList(type, data, size))
            for (auto [sender, seq] : *list) {
                if (sender == s_.me) s_.ex.Release(s_.outbox.Ack(from, seq));
                else if (Linked(sender)) out_[sender].acks.emplace_back(from, seq);
            }
        break;
    case Type::Resume:
        if (auto list = DecodeSeqList(type, data, size))
            for (auto [sender, seq] : *list) {
                if (sender == s_.me) ResendFrom(from, seq);
                else if (Linked(sender)) out_[sender].resumes.emplace_back(from, seq);
            }
        break;
    case Type::Leave:
        if (DecodeEmpty(type, data, size)) RemovePeer(from);
        break;
    default:
        break;  // not for the host
    }
}

// ---- players -----------------------------------------------------------------------------------

uint32_t HostRole::CreateFor(uint32_t owner, uint32_t token, const std::string& name) {
    // Asked again after a host change: the player made then.
    for (const PlayerEntry& p : s_.table.Players())
        if (p.owner == owner && p.token == token) return p.id;
    if (s_.table.Players().size() >= kMaxPlayers) return 0;
    PlayerEntry p{s_.table.TakePlayerId(), owner, token, name.substr(0, kMaxPlayerName)};
    if (!p.id || !s_.table.AddPlayer(p)) return 0;
    Broadcast(EncodePlayerAdded(p));
    s_.TableChanged();
    return p.id;
}

void HostRole::CancelFor(uint32_t owner, uint32_t token) {
    for (const PlayerEntry& p : s_.table.Players())
        if (p.owner == owner && p.token == token) return DestroyFor(owner, p.id);
}

void HostRole::DestroyFor(uint32_t owner, uint32_t id) {
    if (!s_.table.Owns(owner, id)) return;
    s_.table.RemovePlayer(id);
    Broadcast(EncodePlayerRemoved(id));
    if (owner == s_.me) s_.PurgeInbox();
    s_.TableChanged();
}

void HostRole::Send(const Outgoing& m) { Route(s_.me, m); }
void HostRole::Create(uint32_t token, const std::string& name) { s_.Answer(token, CreateFor(s_.me, token, name)); }
void HostRole::Cancel(uint32_t token) { CancelFor(s_.me, token); }
void HostRole::Destroy(uint32_t id) { DestroyFor(s_.me, id); }

// ---- messages ----------------------------------------------------------------------------------

// A message goes to every receiving peer that is connected, with the sender's number for
// it. One from a player the sender does not own is refused, but its number is used up.
// A receiver that is not connected now asks for it again when it is back.
void HostRole::Route(uint32_t sender, const net::Outgoing& m) {
    const bool genuine = s_.table.Owned(sender, m.from);
    for (auto [receiver, seq] : m.receivers) {
        if (receiver == s_.me) {
            if (genuine) s_.Receive({sender, seq, m.from, m.to, m.text});
            else s_.Skip(sender, seq);
        } else if (Linked(receiver)) {
            ToPeer& o = out_[receiver];
            if (genuine) {
                o.deliver.Add(Incoming{sender, seq, m.from, m.to, m.text});
                if (o.deliver.Full()) SendTo(receiver, o.deliver.Take());
            } else {
                o.skips.emplace_back(sender, seq);
            }
        }
    }
}

void HostRole::ResendFrom(uint32_t receiver, uint32_t seq) {
    s_.ex.Release(s_.outbox.From(receiver, seq, [&](const Outbox::Entry& e, uint32_t n) {
        Route(s_.me, net::Outgoing{e.from, e.to, {{receiver, n}}, e.text});
    }));
}

void HostRole::SendAcks(const SeqList& list) {
    for (auto [sender, seq] : list)
        if (Linked(sender)) out_[sender].acks.emplace_back(s_.me, seq);
}

void HostRole::SendResumes(const SeqList& list) {
    for (auto [sender, seq] : list)
        if (Linked(sender)) out_[sender].resumes.emplace_back(s_.me, seq);
}

void HostRole::Flush() {
    for (auto& [peer, o] : out_) {
        if (o.deliver.Count()) SendTo(peer, o.deliver.Take());
        if (!o.skips.empty()) SendTo(peer, EncodeSeqList(Type::Skip, o.skips));
        if (!o.acks.empty()) SendTo(peer, EncodeSeqList(Type::Ack, o.acks));
        if (!o.resumes.empty()) SendTo(peer, EncodeSeqList(Type::Resume, o.resumes));
        o.skips.clear();
        o.acks.clear();
        o.resumes.clear();
    }
}

void HostRole::SendTo(uint32_t peer, const Bytes& packet) {
    if (auto l = links_.find(peer); l != links_.end()) s_.io.Send(l->second, packet);
}

void HostRole::Broadcast(const Bytes& packet, uint32_t except) {
    // What was routed before goes first: a receiver that hears a peer left forgets it,
    // and would take that peer's messages that came after as new.
    Flush();
    for (const auto& [id, link] : links_)
        if (id != except) s_.io.Send(link, packet);
}

void HostRole::OpenDoor(double now) {
    if (!needDoor_ || now < nextDoorTry_) return;
    if (s_.io.OpenDoor(s_.cfg.port)) needDoor_ = false;
    else nextDoorTry_ = now + kDoorRetryMs;  // the old host still holds it
}

void HostRole::Tick(double now) {
    OpenDoor(now);
    std::vector<Transport::Peer*> silent;
    for (const auto& [id, link] : links_)
        if (s_.io.SilentMs(link) > kSilentMs) silent.push_back(link);
    for (Transport::Peer* link : silent) {
        OnDisconnect(link, 0);
        s_.io.Reset(link);
    }
    // Seats go when their time is up, or at once when their program is gone.
    std::vector<uint32_t> gone;
    for (const auto& [id, until] : lost_) {
        const PeerEntry* e = s_.table.FindPeer(id);
        if (now >= until || !e || s_.alive.Gone(Address{e->ipv4, e->port}, now)) gone.push_back(id);
    }
    for (uint32_t id : gone) RemovePeer(id);
    SendClaims(now);
    if (now >= nextKeepAlive_) {
        for (const auto& [id, link] : links_) s_.io.Send(link, EncodeEmpty(Type::KeepAlive), 1);
        nextKeepAlive_ = now + kKeepAliveMs;
    }
}

// ---- leaving -----------------------------------------------------------------------------------

void HostRole::Leave() {
    Flush();
    Broadcast(EncodeEmpty(Type::Leave));
}

bool HostRole::Settled() const {
    return std::all_of(links_.begin(), links_.end(), [&](const auto& l) { return s_.io.Settled(l.second); });
}

void HostRole::Disconnect() {
    for (const auto& [id, link] : links_) s_.io.Disconnect(link, kLeaveCode);
    links_.clear();
    peerOf_.clear();
}

}  // namespace net
