#include "net/host_role.h"

#include <arpa/inet.h>

#include <algorithm>

#include "net/clock.h"
#include "net/search.h"
#include "net/secret.h"
#include "net/session_limits.h"

namespace net {

HostRole::HostRole(const RoleContext& c) : c_(c) {}

void HostRole::Start() {
    c_.self.me = c_.table.TakePeerId();
    c_.self.secret = NewSecret();
    c_.self.term = 1;
    c_.table.PutPeer({c_.self.me, 0, c_.io.Port(), c_.io.WsPort(), DigestOf(c_.self.secret)});
    c_.session.SetStatus(Status::Hosting);
    c_.session.TableChanged();
}

void HostRole::TakeOver(Handover h) {
    // A term of its own; the old host and its players are gone, though it may be alive
    // and come back: it hears of this host.
    c_.self.term = c_.self.term + 1;
    if (const PeerEntry* old = h.lostHost && h.lostHost != c_.self.me ? c_.table.FindPeer(h.lostHost) : nullptr)
        Rival(Address{old->ipv4, old->port});
    if (h.lostHost && h.lostHost != c_.self.me && c_.table.RemovePeer(h.lostHost)) c_.session.Forget(h.lostHost);
    if (const PeerEntry* mine = c_.table.FindPeer(c_.self.me)) {
        PeerEntry e = *mine;
        e.ipv4 = 0;
        e.port = c_.io.Port();
        e.wsPort = c_.io.WsPort();
        c_.table.PutPeer(e);
    }
    // The old host may have given ids that never reached this program: the counters go
    // well above every id it knows of.
    c_.table.RaiseCounters(c_.table.NextPeer() + static_cast<uint32_t>(kMaxPeers),
                           c_.table.NextPlayer() + static_cast<uint32_t>(kMaxPlayers));
    c_.table.Lane(c_.self.me);
    const double until = NowMs() + kGraceMs;
    for (const PeerEntry& p : c_.table.Peers())
        if (p.id != c_.self.me) {
            lost_[p.id] = until;
            c_.alive.Watch(Address{p.ipv4, p.port}, NowMs());
        }
    strangersUntil_ = until;
    // Programs that join later find the session at its port, once that is free here.
    needDoor_ = c_.io.Port() != c_.cfg.port;
    OpenDoor(NowMs());
    c_.session.SetStatus(Status::Hosting);
    for (const auto& [token, name] : h.creates) c_.session.Answer(token, CreateFor(c_.self.me, token, name));
    for (uint32_t token : h.cancels) CancelFor(c_.self.me, token);
    for (uint32_t id : h.destroys) DestroyFor(c_.self.me, id);
    c_.session.PurgeInbox();
    c_.session.TableChanged();
    for (auto& [peer, hello] : h.hellos) OnHello(peer, hello);
}

// ---- admission -------------------------------------------------------------------------------

size_t HostRole::FromAddress(uint32_t ip) const {
    size_t n = 0;
    for (const auto& [peer, id] : peerOf_) n += c_.io.AddressOf(peer).ip == ip;
    return n;
}

void HostRole::Refuse(Transport::Peer* peer, Refusal why) {
    c_.io.Send(peer, EncodeRefuse({why, why == Refusal::NotHost ? c_.self.me : 0}));
    c_.io.DisconnectLater(peer);
}

void HostRole::Link(Transport::Peer* peer, uint32_t id) {
    auto old = links_.find(id);
    if (old != links_.end() && old->second != peer) {  // a link that broke on the other side
        peerOf_.erase(old->second);
        c_.io.Reset(old->second);
    }
    links_[id] = peer;
    peerOf_[peer] = id;
    lost_.erase(id);
    c_.alive.Unwatch(c_.io.AddressOf(peer));
}

void HostRole::Welcome(Transport::Peer* peer, uint32_t id, const Secret& secret) {
    net::Welcome w;
    w.you = id;
    w.secret = secret;
    w.host = c_.self.me;
    w.term = c_.self.term;
    w.nextPeer = c_.table.NextPeer();
    w.nextPlayer = c_.table.NextPlayer();
    w.peers = c_.table.Peers();
    w.players = c_.table.Players();
    c_.io.Send(peer, EncodeWelcome(w));
}

void HostRole::OnHello(Transport::Peer* peer, const Hello& h) {
    c_.session.Adopt(peer);
    if (h.app != c_.cfg.app) return Refuse(peer, Refusal::WrongApplication);
    if (h.name != c_.cfg.name) return Refuse(peer, Refusal::WrongName);
    const Address from = c_.io.AddressOf(peer);
    if (h.peer == 0) {
        // A new program: a seat, unless the session or its address has no more.
        if (c_.table.Peers().size() >= kMaxPeers) return Refuse(peer, Refusal::Full);
        if (!ThisMachine(from.ip) && FromAddress(from.ip) >= kPeersPerAddress) return Refuse(peer, Refusal::Full);
        const uint32_t id = c_.table.TakePeerId();
        if (!id) return Refuse(peer, Refusal::Full);
        const Secret secret = NewSecret();
        const PeerEntry entry{id, from.ip, from.port, h.wsPort, DigestOf(secret)};
        c_.table.PutPeer(entry);
        Link(peer, id);
        Welcome(peer, id, secret);
        Broadcast(EncodePeerJoined(entry), id);
        c_.session.TableChanged();
        return;
    }
    // A returning program that means another host is not this one's; one this program
    // knows proves who it is.
    if (h.host && h.host != c_.self.me) return Refuse(peer, Refusal::NotHost);
    // A digest of zeros is one this program never learnt: that of a host it was sent to
    // follow (net/protocol.h: a claim carries none) before that host welcomed it. Whoever
    // shows the id is taken for that program.
    const Digest digest = DigestOf(h.secret);
    auto proves = [&](const Digest& d) { return d == digest || d == Digest{}; };
    const PeerEntry* known = c_.table.FindPeer(h.peer);
    if (known && (known->id == c_.self.me || !proves(known->digest))) return Refuse(peer, Refusal::NotYou);
    if (const Digest* former = known ? nullptr : c_.table.FormerDigest(h.peer)) {
        // One the session counted out when its link broke, or the host this one replaced.
        if (!proves(*former)) return Refuse(peer, Refusal::NotYou);
    } else if (!known) {
        // One that joined the old host when its news could no longer reach this program,
        // or a host this one outranked: taken in for a while after a take-over or after
        // such a host stepped down, under the id it got, when no other has that id.
        if (NowMs() >= strangersUntil_) return Refuse(peer, Refusal::NotYou);
    }
    if (!known && c_.table.Peers().size() >= kMaxPeers) return Refuse(peer, Refusal::Full);
    PeerEntry entry = known ? *known : PeerEntry{h.peer, 0, 0, 0, digest};
    entry.digest = digest;
    entry.ipv4 = from.ip;
    entry.port = from.port;
    entry.wsPort = h.wsPort;
    c_.table.PutPeer(entry);
    Link(peer, h.peer);
    // It is the one that knows its players: those it no longer has (destroyed while the
    // news could not reach this program) go, and those this program never heard of (their
    // news died with the old host) are listed again, unless the id went to another
    // meanwhile.
    std::vector<uint32_t> removed;
    for (const PlayerEntry& p : c_.table.Players())
        if (p.owner == h.peer && std::none_of(h.players.begin(), h.players.end(),
                                              [&](const PlayerEntry& q) { return q.id == p.id; }))
            removed.push_back(p.id);
    for (uint32_t id : removed) c_.table.RemovePlayer(id);
    std::vector<PlayerEntry> added;
    for (PlayerEntry p : h.players) {
        p.owner = h.peer;
        if (c_.table.AddPlayer(p)) added.push_back(p);
    }
    c_.table.RaiseCounters(h.nextPeer, h.nextPlayer);
    Welcome(peer, h.peer, h.secret);
    Broadcast(EncodePeerJoined(entry), h.peer);
    for (uint32_t id : removed) Broadcast(EncodePlayerRemoved(id), h.peer);
    for (const PlayerEntry& p : added) Broadcast(EncodePlayerAdded(p), h.peer);
    if (!removed.empty()) c_.session.PurgeInbox();
    c_.session.TableChanged();
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
    if (const PeerEntry* e = c_.table.FindPeer(id)) c_.alive.Watch(Address{e->ipv4, e->port}, NowMs());
    Rival(c_.io.AddressOf(peer));  // and it may have gone to another host
}

void HostRole::RemovePeer(uint32_t id) {
    if (auto l = links_.find(id); l != links_.end()) {
        peerOf_.erase(l->second);
        c_.io.DisconnectLater(l->second);
        links_.erase(l);
    }
    lost_.erase(id);
    out_.erase(id);
    if (!c_.table.RemovePeer(id)) return;
    c_.session.Forget(id);
    Broadcast(EncodePeerLeft(id));
    c_.session.TableChanged();
}

void HostRole::OnDatagram(bool door, const Address& from, const uint8_t* data, size_t size) {
    if (auto c = DecodeClaim(data, size))
        OnClaim(door, from, *c);
    else
        AnswerSearch(c_.io, c_.cfg, door, from, data, size);
}

// ---- other hosts -------------------------------------------------------------------------------

Claim HostRole::Mine() const { return Claim{c_.self.term, c_.self.me, 0, 0, c_.io.WsPort()}; }

void HostRole::Rival(const Address& at) {
    if (at.ip && at.port) rivals_[{at.ip, at.port}] = NowMs() + kRivalMs;
}

void HostRole::SendClaims(double now) {
    if (now < nextClaim_) return;
    nextClaim_ = now + kClaimRepeatMs;
    const Bytes claim = EncodeClaim({false, c_.cfg.app, c_.cfg.name, Mine()});
    std::erase_if(rivals_, [&](const auto& r) { return now >= r.second; });
    for (const auto& [at, until] : rivals_) c_.io.SendDatagram(false, Address{at.first, at.second}, claim);
    // Whoever holds the session port.
    if (needDoor_) c_.io.SendDatagram(false, Address{htonl(INADDR_LOOPBACK), c_.cfg.port}, claim);
}

void HostRole::OnClaim(bool door, const Address& from, const ClaimDatagram& c) {
    if (c.app != c_.cfg.app || c.name != c_.cfg.name || steppingDown_) return;
    Claim theirs = c.claim;
    if (!theirs.ipv4) {
        theirs.ipv4 = from.ip;
        theirs.port = from.port;
    }
    if (theirs.host == c_.self.me) {  // that program follows this host
        rivals_.erase({from.ip, from.port});
        return;
    }
    if (Outranks(theirs, Mine())) {
        steppingDown_ = true;
        c_.session.StepDown(theirs);
        return;
    }
    // The other steps down: its programs come here, strangers to this one.
    strangersUntil_ = std::max(strangersUntil_, NowMs() + kGraceMs);
    if (!c.answer) c_.io.SendDatagram(door, from, EncodeClaim({true, c_.cfg.app, c_.cfg.name, Mine()}));
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
                if (sender == c_.self.me)
                    c_.ex.Release(c_.outbox.Ack(from, seq));
                else if (Linked(sender)) out_[sender].acks.emplace_back(from, seq);
            }
        break;
    case Type::Resume:
        if (auto list = DecodeSeqList(type, data, size))
            for (auto [sender, seq] : *list) {
                if (sender == c_.self.me)
                    ResendFrom(from, seq);
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
    for (const PlayerEntry& p : c_.table.Players())
        if (p.owner == owner && p.token == token) return p.id;
    if (c_.table.Players().size() >= kMaxPlayers) return 0;
    PlayerEntry p{c_.table.TakePlayerId(), owner, token, name.substr(0, kMaxPlayerName)};
    if (!p.id || !c_.table.AddPlayer(p)) return 0;
    Broadcast(EncodePlayerAdded(p));
    c_.session.TableChanged();
    return p.id;
}

void HostRole::CancelFor(uint32_t owner, uint32_t token) {
    for (const PlayerEntry& p : c_.table.Players())
        if (p.owner == owner && p.token == token) return DestroyFor(owner, p.id);
}

void HostRole::DestroyFor(uint32_t owner, uint32_t id) {
    if (!c_.table.Owns(owner, id)) return;
    c_.table.RemovePlayer(id);
    Broadcast(EncodePlayerRemoved(id));
    if (owner == c_.self.me) c_.session.PurgeInbox();
    c_.session.TableChanged();
}

void HostRole::Send(const Outgoing& m) { Route(c_.self.me, m); }
void HostRole::Create(uint32_t token, const std::string& name) {
    c_.session.Answer(token, CreateFor(c_.self.me, token, name));
}
void HostRole::Cancel(uint32_t token) { CancelFor(c_.self.me, token); }
void HostRole::Destroy(uint32_t id) { DestroyFor(c_.self.me, id); }

// ---- messages ----------------------------------------------------------------------------------

// A message goes to every receiving peer that is connected, with the sender's number for
// it. One from a player the sender does not own is refused, but its number is used up.
// A receiver that is not connected now asks for it again when it is back.
void HostRole::Route(uint32_t sender, const net::Outgoing& m) {
    const bool genuine = c_.table.Owned(sender, m.from);
    for (auto [receiver, seq] : m.receivers) {
        if (receiver == c_.self.me) {
            if (genuine)
                c_.session.Receive({sender, seq, m.from, m.to, m.text});
            else
                c_.session.Skip(sender, seq);
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
    c_.ex.Release(c_.outbox.From(receiver, seq, [&](const Outbox::Entry& e, uint32_t n) {
        Route(c_.self.me, net::Outgoing{e.from, e.to, {{receiver, n}}, e.text});
    }));
}

void HostRole::SendAcks(const SeqList& list) {
    for (auto [sender, seq] : list)
        if (Linked(sender)) out_[sender].acks.emplace_back(c_.self.me, seq);
}

void HostRole::SendResumes(const SeqList& list) {
    for (auto [sender, seq] : list)
        if (Linked(sender)) out_[sender].resumes.emplace_back(c_.self.me, seq);
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
    if (auto l = links_.find(peer); l != links_.end()) c_.io.Send(l->second, packet);
}

void HostRole::Broadcast(const Bytes& packet, uint32_t except) {
    // What was routed before goes first: a receiver that hears a peer left forgets it,
    // and would take that peer's messages that came after as new.
    Flush();
    for (const auto& [id, link] : links_)
        if (id != except) c_.io.Send(link, packet);
}

void HostRole::OpenDoor(double now) {
    if (!needDoor_ || now < nextDoorTry_) return;
    if (c_.io.OpenDoor(c_.cfg.port, c_.cfg.wsPort ? c_.cfg.wsPort : c_.cfg.port))
        needDoor_ = false;
    else nextDoorTry_ = now + kDoorRetryMs;  // the old host still holds it
}

void HostRole::Tick(double now) {
    OpenDoor(now);
    std::vector<Transport::Peer*> silent;
    for (const auto& [id, link] : links_)
        if (c_.io.SilentMs(link) > kSilentMs) silent.push_back(link);
    for (Transport::Peer* link : silent) {
        OnDisconnect(link, 0);
        c_.io.Reset(link);
    }
    // Seats go when their time is up, or at once when their program is gone.
    std::vector<uint32_t> gone;
    for (const auto& [id, until] : lost_) {
        const PeerEntry* e = c_.table.FindPeer(id);
        if (now >= until || !e || c_.alive.Gone(Address{e->ipv4, e->port}, now)) gone.push_back(id);
    }
    for (uint32_t id : gone) RemovePeer(id);
    SendClaims(now);
    if (now >= nextKeepAlive_) {
        for (const auto& [id, link] : links_) c_.io.Send(link, EncodeEmpty(Type::KeepAlive), 1);
        nextKeepAlive_ = now + kKeepAliveMs;
    }
}

// ---- leaving -----------------------------------------------------------------------------------

void HostRole::Leave() {
    Flush();
    Broadcast(EncodeEmpty(Type::Leave));
}

bool HostRole::Settled() const {
    return std::all_of(links_.begin(), links_.end(), [&](const auto& l) { return c_.io.Settled(l.second); });
}

void HostRole::Disconnect() {
    for (const auto& [id, link] : links_) c_.io.Disconnect(link, kLeaveCode);
    links_.clear();
    peerOf_.clear();
}

}  // namespace net
