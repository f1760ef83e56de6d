#include "net/member_role.h"

#include <algorithm>

#include "net/clock.h"
#include "net/secret.h"
#include "net/session_limits.h"

namespace net {

namespace {
// A host that was heard from this recently is alive: a program that says otherwise is
// sent to it.
constexpr uint32_t kHostAliveMs = 500;
// A host that fell silent is tried again this long, alongside the next host in line.
constexpr double kRetryHostMs = 5000;
// A peer that did not know yet that the host left is asked again this much later.
constexpr double kAskAgainMs = 100;
// A peer that still hears the host this program lost is asked again this much later.
constexpr double kAskLaterMs = 500;
// A host silent this long is asked whether it is alive at all (net/liveness.h), so that
// by the time its link counts as lost, whether it is gone is known.
constexpr uint32_t kSuspectMs = 1000;
}  // namespace

MemberRole::MemberRole(const RoleContext& c) : c_(c), search_(c.io, c.cfg) {}

void MemberRole::Start(double now) {
    if (c_.io.ByWebSocket()) {
        Connect(Address{}, now);  // where the ws:// address says
    } else if (c_.cfg.target.ip) {
        Connect(c_.cfg.target, now);
    } else {
        phase_ = Phase::Searching;
        search_.Tick(now);
    }
}

void MemberRole::Connect(const Address& to, double now) {
    if (phase_ == Phase::Searching) phase_ = Phase::Connecting;
    link_ = c_.io.Connect(to);
    deadline_ = now + kCandidateMs;
    if (!link_ && phase_ == Phase::Connecting) c_.session.SetStatus(Status::Failed);
}

// ---- the connection ------------------------------------------------------------------------

void MemberRole::OnConnect(Transport::Peer* peer) {
    if (phase_ == Phase::HandingOver) return;
    if (peer == retry_) {
        c_.io.Send(peer, EncodeHello(ReturningHello(retryHost_)));
        return;
    }
    if (peer != link_) return;
    hostAddress_ = c_.io.AddressOf(peer);
    if (phase_ == Phase::Connecting) {
        c_.session.Reached();
        Hello h;
        h.app = c_.cfg.app;
        h.name = c_.cfg.name;
        h.wsPort = c_.io.WsPort();
        c_.io.Send(peer, EncodeHello(h));
    } else {
        // Electing, the old host is meant; otherwise whoever hosts now.
        c_.io.Send(peer, EncodeHello(ReturningHello(phase_ == Phase::Electing ? lostHost_ : 0)));
    }
}

Hello MemberRole::ReturningHello(uint32_t host) const {
    Hello h;
    h.app = c_.cfg.app;
    h.name = c_.cfg.name;
    h.peer = c_.self.me;
    h.host = host;
    h.secret = c_.self.secret;
    h.nextPeer = c_.table.NextPeer();
    h.nextPlayer = c_.table.NextPlayer();
    h.wsPort = c_.io.WsPort();
    for (const PlayerEntry& p : c_.table.Players())
        if (p.owner == c_.self.me) h.players.push_back(p);
    return h;
}

void MemberRole::OnDisconnect(Transport::Peer* peer, uint32_t code) {
    if (peer && peer == retry_) {
        DropRetry();
        return;
    }
    if (peer != link_) {  // a program whose hello waits here went away
        std::erase_if(stashed_, [&](const Stashed& st) { return st.peer == peer; });
        return;
    }
    if (phase_ == Phase::HandingOver) return;
    link_ = nullptr;
    switch (phase_) {
        case Phase::Connecting: c_.session.SetStatus(Status::Failed); break;
        case Phase::Joined: HostGone(code == kLeaveCode); break;
        case Phase::Reconnecting:
            unreachable_.insert(hostId_);
            if (!retry_) NextCandidate();
            break;
        case Phase::Electing:
            TakeOver();  // the old host does not answer: this program takes over
            break;
        case Phase::Searching:
        case Phase::HandingOver:
        case Phase::Done: break;
    }
}

void MemberRole::OnPacket(Transport::Peer* peer, Type type, const uint8_t* data, size_t size) {
    if (phase_ == Phase::HandingOver) return;
    if (peer && peer == retry_) {
        // The old host answers: it was only the link that failed.
        if (type == Type::Welcome) {
            if (auto w = DecodeWelcome(data, size); w && w->host == retryHost_) {
                c_.io.Reset(link_);
                link_ = retry_;
                retry_ = nullptr;
                hostId_ = retryHost_;
                OnWelcome(*w);
            }
        } else if (type == Type::Refuse) {
            DropRetry();
        }
        return;
    }
    if (peer != link_) return;
    if (type == Type::Welcome) {
        if (auto w = DecodeWelcome(data, size); w && phase_ != Phase::Joined) OnWelcome(*w);
        return;
    }
    if (type == Type::Refuse) {
        if (auto r = DecodeRefuse(data, size); r && phase_ != Phase::Joined) OnRefuse(*r);
        return;
    }
    if (phase_ != Phase::Joined) return;
    switch (type) {
    case Type::PeerJoined:
        if (auto p = DecodePeerJoined(data, size)) {
            Fix(*p);
            c_.table.PutPeer(*p);
            c_.session.TableChanged();
        }
        break;
    case Type::PeerLeft:
        if (auto id = DecodePeerLeft(data, size)) {
            if (*id == c_.self.me) {  // the host took this program for gone: it comes back
                c_.io.Reset(link_);
                link_ = nullptr;
                Follow(Claim{c_.self.term, hostId_, hostAddress_.ip, hostAddress_.port, hostAddress_.ws}, NowMs());
                return;
            }
            if (*id == hostId_) return;
            c_.table.RemovePeer(*id);
            c_.session.Forget(*id);
            c_.session.TableChanged();
        }
        break;
    case Type::PlayerAdded:
        if (auto p = DecodePlayerAdded(data, size); p && !destroys_.count(p->id)) {
            if (c_.table.AddPlayer(*p)) c_.session.TableChanged();
        }
        break;
    case Type::PlayerRemoved:
        if (auto id = DecodePlayerRemoved(data, size)) {
            destroys_.erase(*id);
            if (c_.table.RemovePlayer(*id)) {
                c_.session.PurgeInbox();
                c_.session.TableChanged();
            }
        }
        break;
    case Type::Created:
        if (auto c = DecodeCreated(data, size)) {
            if (creates_.erase(c->token)) {
                c_.session.Answer(c->token, c_.table.Owns(c_.self.me, c->id) ? c->id : 0);
            } else if (cancelled_.erase(c->token)) {
                ToHost(EncodeDestroy(c->id));  // given up meanwhile: undone
            }
        }
        break;
    case Type::NoPlayer:
        if (auto token = DecodeNoPlayer(data, size)) {
            if (creates_.erase(*token)) c_.session.Answer(*token, 0);
            cancelled_.erase(*token);
        }
        break;
    case Type::Deliver:
        if (auto list = DecodeDeliver(data, size))
            for (const Incoming& m : *list) c_.session.Receive(m);
        break;
    case Type::Skip:
        if (auto list = DecodeSeqList(type, data, size))
            for (auto [sender, seq] : *list) c_.session.Skip(sender, seq);
        break;
    case Type::Ack:
        if (auto list = DecodeSeqList(type, data, size))
            for (auto [receiver, seq] : *list) c_.ex.Release(c_.outbox.Ack(receiver, seq));
        break;
    case Type::Resume:
        if (auto list = DecodeSeqList(type, data, size))
            for (auto [receiver, seq] : *list) ResendFrom(receiver, seq);
        break;
    case Type::Leave:
        if (DecodeEmpty(type, data, size)) {
            c_.io.Reset(link_);
            link_ = nullptr;
            HostGone(true);
        }
        break;
    case Type::Follow:
        if (auto c = DecodeFollow(data, size); c && c->host != c_.self.me) {
            c_.io.Reset(link_);
            link_ = nullptr;
            Follow(*c, NowMs());
        }
        break;
    default:
        break;
    }
}

void MemberRole::OnDatagram(bool door, const Address& from, const uint8_t* data, size_t size) {
    if (auto c = DecodeClaim(data, size)) {
        // A host that is not this program's asks: it hears which one this program follows.
        if (!c->answer && phase_ == Phase::Joined && c->claim.host != hostId_ && c->app == c_.cfg.app &&
            c->name == c_.cfg.name)
            c_.io.SendDatagram(door, from,
                               EncodeClaim({true, c_.cfg.app, c_.cfg.name,
                                            Claim{c_.self.term, hostId_, hostAddress_.ip, hostAddress_.port,
                                                  hostAddress_.ws}}));
        return;
    }
    if (!door && phase_ == Phase::Searching && search_.OnDatagram(from, data, size)) {
        phase_ = Phase::Connecting;
        Connect(search_.Found(), NowMs());
    }
}

// Peers on the host's machine were listed with its loopback address, the host itself
// with none: they are reached where the host was. A program that joined by a ws://
// address reaches the host it joined there again (no ip, no ws port: net/ws_links.h).
void MemberRole::Fix(PeerEntry& p) const {
    if (p.ipv4 == 0 || (IsLoopback(p.ipv4) && !IsLoopback(hostAddress_.ip))) p.ipv4 = hostAddress_.ip;
    if (p.id == hostId_ && p.port == 0) p.port = hostAddress_.port;
    if (p.id == hostId_ && c_.io.ByWebSocket() && hostAddress_.ip == 0 && hostAddress_.ws == 0) p.wsPort = 0;
}

void MemberRole::OnWelcome(const Welcome& w) {
    const bool first = phase_ == Phase::Connecting;
    if (!first && w.you != c_.self.me) {  // not taken back as the program it was
        Lost();
        return;
    }
    c_.self.me = w.you;
    if (first) c_.self.secret = w.secret;
    hostId_ = w.host;
    c_.self.term = w.term;
    hostAddress_ = c_.io.AddressOf(link_);
    Welcome fixed = w;
    for (PeerEntry& p : fixed.peers) Fix(p);
    std::vector<uint32_t> before;
    for (const PeerEntry& p : c_.table.Peers()) before.push_back(p.id);
    c_.table.Reset(fixed);
    for (uint32_t id : before)
        if (!c_.table.FindPeer(id)) c_.session.Forget(id);
    phase_ = Phase::Joined;
    // Players this program destroyed stay away; the host hears of it again.
    for (auto it = destroys_.begin(); it != destroys_.end();) {
        if (c_.table.RemovePlayer(*it)) {
            ToHost(EncodeDestroy(*it));
            ++it;
        } else {
            it = destroys_.erase(it);
        }
    }
    c_.alive.Clear();
    c_.io.Reset(retry_);  // back in the session: no other attempt goes on
    retry_ = nullptr;
    unreachable_.clear();
    preferred_ = 0;
    electTried_ = false;
    hostLeft_ = false;
    lostHost_ = 0;
    if (first) {
        c_.session.SetStatus(Status::Joined);
    } else {
        // Everything the lost host may not have passed on goes again.
        for (const auto& [token, name] : creates_) ToHost(EncodeCreate(token, name));
        for (uint32_t token : cancelled_) ToHost(EncodeCancel(token));
        ResendAll();
        // And every peer sends again what this program has not taken yet (what the new
        // host had no way to hand on while this program was away).
        SeqList resume;
        for (const PeerEntry& p : c_.table.Peers())
            if (p.id != c_.self.me) resume.emplace_back(p.id, c_.inbound.Expected(p.id));
        if (!resume.empty()) ToHost(EncodeSeqList(Type::Resume, resume));
    }
    Unstash(hostId_);
    c_.session.PurgeInbox();
    c_.session.TableChanged();
}

void MemberRole::OnRefuse(const RefuseInfo& r) {
    if (phase_ == Phase::Connecting) {
        c_.session.SetStatus(Status::Failed, r.reason);
        c_.io.Reset(link_);
        link_ = nullptr;
        return;
    }
    c_.io.Reset(link_);
    link_ = nullptr;
    if (r.reason != Refusal::NotHost) {  // the session does not take this program back
        Lost();
        return;
    }
    if (phase_ == Phase::Electing) {  // the old host lost its seat: take over
        TakeOver();
        return;
    }
    // The peer still follows the host that just left: it will hear of it at once. The
    // same peer is asked again in a moment.
    if (hostLeft_ && r.host == lostHost_) {
        preferred_ = hostId_;
        askAgainAt_ = NowMs() + kAskAgainMs;
        return;
    }
    // The peer still hears the host this program lost: perhaps it loses it too in a
    // moment, perhaps only this program is cut off from it. It is asked again for a while.
    if (r.host == lostHost_ && !hostLeft_ && NowMs() < lostAt_ + kRetryHostMs) {
        preferred_ = hostId_;
        askAgainAt_ = NowMs() + kAskLaterMs;
        return;
    }
    // Another follows a host this program could not reach, or thinks it is gone: try
    // that one (once more), unless it is being tried already.
    unreachable_.insert(hostId_);
    if (r.host && r.host == retryHost_ && retry_) return;
    if (r.host && r.host != c_.self.me && c_.table.FindPeer(r.host)) {
        unreachable_.erase(r.host);
        preferred_ = r.host;
    }
    NextCandidate();
}

void MemberRole::DropRetry() {
    c_.io.Reset(retry_);
    retry_ = nullptr;
    // Nothing else being tried: the next in line.
    if (phase_ == Phase::Reconnecting && !link_) NextCandidate();
}

// ---- the host is lost ----------------------------------------------------------------------

void MemberRole::HostGone(bool left) {
    const uint32_t gone = hostId_;
    if (left) {  // it left: its players with it
        c_.table.RemovePeer(gone);
        c_.session.Forget(gone);
        c_.session.PurgeInbox();
        c_.session.TableChanged();
    }
    lostHost_ = gone;
    hostLeft_ = left;
    lostAt_ = NowMs();
    // Which of the others are alive at all is asked at once: the gone are passed over.
    for (const PeerEntry& p : c_.table.Peers())
        if (p.id != c_.self.me) c_.alive.Watch(At(p), NowMs());
    unreachable_ = {gone};
    preferred_ = 0;
    electTried_ = false;
    giveUpAt_ = NowMs() + GiveUpMs();
    phase_ = Phase::Reconnecting;
    // A host that fell silent may be alive, with only this link broken: it is tried
    // again while the next in line is asked.
    const PeerEntry* old = left ? nullptr : c_.table.FindPeer(gone);
    if (old) {
        retryAt_ = At(*old);
        retry_ = c_.io.Connect(retryAt_);
        retryHost_ = gone;
        retryUntil_ = NowMs() + kRetryHostMs;
    }
    NextCandidate();
}

void MemberRole::Follow(const Claim& host, double now) {
    const uint32_t old = phase_ == Phase::Joined ? hostId_ : 0;
    PeerEntry e;
    if (const PeerEntry* known = c_.table.FindPeer(host.host)) e = *known;
    e.id = host.host;
    e.ipv4 = host.ipv4;
    if (host.port) e.port = host.port;  // (a host reached by a ws:// address has none)
    e.wsPort = host.wsPort;
    c_.table.PutPeer(e);
    lostHost_ = old ? old : c_.self.me;
    hostLeft_ = false;
    unreachable_.clear();
    if (old) unreachable_.insert(old);  // it goes there too
    preferred_ = host.host;
    // It was heard from just now, whatever this program thought of it before.
    c_.alive.Unwatch(Address{host.ipv4, host.port});
    electTried_ = true;  // the old host is not asked again
    giveUpAt_ = now + GiveUpMs();
    c_.io.Reset(retry_);
    retry_ = nullptr;
    phase_ = Phase::Reconnecting;
    NextCandidate();
}

void MemberRole::TakeOver() {
    phase_ = Phase::HandingOver;
    c_.session.BecomeHost();
}

void MemberRole::NextCandidate() {
    const double now = NowMs();
    if (now > giveUpAt_) {
        Lost();
        return;
    }
    const PeerEntry* next = nullptr;
    if (preferred_ && (next = c_.table.FindPeer(preferred_)) == nullptr) preferred_ = 0;
    preferred_ = 0;
    if (next && (!Hostable(*next) || c_.alive.Gone(At(*next), now))) next = nullptr;
    if (!next)
        for (const PeerEntry& p : c_.table.Peers())  // in joining order
            if (!unreachable_.count(p.id) && Hostable(p) && (p.id == c_.self.me || !c_.alive.Gone(At(p), now))) {
                next = &p;
                break;
            }
    if ((!next || next->id == c_.self.me) && !c_.io.CanHost()) {
        // A program that came over WebSocket never hosts, and cannot ask whether the others
        // are alive: it tries every program that may host, the old host among them, round
        // after round, until one takes it in or its time is up; with none left that may
        // host, the session is lost at once.
        if (retry_) {
            askAgainAt_ = now + kAskLaterMs;
            return;
        }
        const bool anyHost = std::any_of(c_.table.Peers().begin(), c_.table.Peers().end(), [&](const PeerEntry& p) {
            return p.id != c_.self.me && Hostable(p);
        });
        if (!anyHost) {
            Lost();
            return;
        }
        unreachable_.clear();
        phase_ = Phase::Reconnecting;
        askAgainAt_ = now + kAskLaterMs;
        return;
    }
    if (!next || next->id == c_.self.me) {
        // This program is the oldest left. Unless the old host left for good, it tries
        // that one once more before it takes over.
        // Others that lost the host came here already: it is gone for them too.
        const PeerEntry* old = c_.table.FindPeer(lostHost_);
        if (hostLeft_ || electTried_ || !old || lostHost_ == c_.self.me || !stashed_.empty() ||
            c_.alive.Gone(At(*old), now)) {
            TakeOver();
            return;
        }
        electTried_ = true;
        phase_ = Phase::Electing;
        hostId_ = lostHost_;
        c_.io.Reset(retry_);  // the old host is this attempt now
        retry_ = nullptr;
        trying_ = At(*old);
        c_.alive.Watch(trying_, now);
        link_ = c_.io.Connect(trying_);
        deadline_ = now + kElectMs;
        if (!link_) TakeOver();
        return;
    }
    phase_ = Phase::Reconnecting;
    hostId_ = next->id;
    trying_ = At(*next);
    c_.alive.Watch(trying_, now);
    link_ = c_.io.Connect(trying_);
    deadline_ = now + kCandidateMs;
    if (!link_) {
        unreachable_.insert(next->id);
        NextCandidate();
    }
}

void MemberRole::Lost() {
    c_.io.Reset(link_);
    c_.io.Reset(retry_);
    link_ = retry_ = nullptr;
    Unstash(0);
    for (const auto& c : creates_) c_.session.Answer(c.first, 0);
    creates_.clear();
    phase_ = Phase::Done;
    c_.session.SetStatus(Status::Lost);
}

void MemberRole::OnHello(Transport::Peer* peer, const Hello& h) {
    c_.session.Adopt(peer);
    if (phase_ == Phase::HandingOver) {  // for the host role this program becomes
        stashed_.push_back({peer, h, NowMs() + kStashMs});
        return;
    }
    const bool returning = h.peer != 0;
    if (returning && phase_ == Phase::Electing) {
        // Another lost the old host too: this program takes over and answers it.
        stashed_.push_back({peer, h, NowMs() + kStashMs});
        TakeOver();
        return;
    }
    const bool hostAlive = phase_ == Phase::Joined && c_.io.SilentMs(link_) < kHostAliveMs;
    if (returning && (phase_ == Phase::Reconnecting || (phase_ == Phase::Joined && !hostAlive))) {
        stashed_.push_back({peer, h, NowMs() + kStashMs});
        return;
    }
    c_.io.Send(peer, EncodeRefuse({Refusal::NotHost, phase_ == Phase::Joined ? hostId_ : 0}));
    c_.io.DisconnectLater(peer);
}

void MemberRole::Unstash(uint32_t host) {
    for (const Stashed& st : stashed_) {
        c_.io.Send(st.peer, EncodeRefuse({Refusal::NotHost, host}));
        c_.io.DisconnectLater(st.peer);
    }
    stashed_.clear();
}

void MemberRole::Tick(double now) {
    if (phase_ == Phase::Done || phase_ == Phase::HandingOver) return;
    if (phase_ == Phase::Searching) {
        if (!search_.Tick(now)) {
            phase_ = Phase::Done;
            c_.session.SetStatus(Status::Failed);
        }
        return;
    }
    if (retry_ && now >= retryUntil_) {
        DropRetry();
        if (phase_ != Phase::Reconnecting && phase_ != Phase::Electing) return;
    }
    if (retry_ && c_.alive.Gone(retryAt_, now)) {  // the old host is gone, not only its link
        DropRetry();
        if (phase_ != Phase::Reconnecting && phase_ != Phase::Electing) return;
    }
    // A peer tried is given up when its time is up, or at once when it is gone.
    if ((phase_ == Phase::Reconnecting || phase_ == Phase::Electing) && link_ &&
        (now >= deadline_ || c_.alive.Gone(trying_, now))) {
        c_.io.Reset(link_);
        link_ = nullptr;
        if (phase_ == Phase::Electing) {
            TakeOver();
            return;
        }
        unreachable_.insert(hostId_);
        if (!retry_) NextCandidate();
        return;
    }
    if (phase_ == Phase::Reconnecting && !link_ && !retry_ && now >= askAgainAt_) {
        NextCandidate();
        return;
    }
    for (auto it = stashed_.begin(); it != stashed_.end();) {
        if (now < it->until) {
            ++it;
            continue;
        }
        c_.io.Send(it->peer, EncodeRefuse({Refusal::NotHost, phase_ == Phase::Joined ? hostId_ : 0}));
        c_.io.DisconnectLater(it->peer);
        it = stashed_.erase(it);
    }
    if (phase_ == Phase::Joined) {
        if (c_.io.SilentMs(link_) > kSuspectMs)
            c_.alive.Watch(hostAddress_, now);
        else
            c_.alive.Unwatch(hostAddress_);
    }
    if (phase_ == Phase::Joined && c_.io.SilentMs(link_) > kSilentMs) {
        c_.io.Reset(link_);
        link_ = nullptr;
        HostGone(false);
        return;
    }
    if (phase_ == Phase::Joined && now >= nextKeepAlive_) {
        c_.io.Send(link_, EncodeEmpty(Type::KeepAlive), 1);
        nextKeepAlive_ = now + kKeepAliveMs;
    }
}

Handover MemberRole::TakeHandover() {
    Handover h;
    for (Stashed& st : stashed_) h.hellos.emplace_back(st.peer, std::move(st.hello));
    stashed_.clear();
    h.creates = std::move(creates_);
    h.cancels.assign(cancelled_.begin(), cancelled_.end());
    h.destroys.assign(destroys_.begin(), destroys_.end());
    h.lostHost = lostHost_ ? lostHost_ : hostId_;
    c_.io.Reset(link_);
    c_.io.Reset(retry_);
    link_ = retry_ = nullptr;
    return h;
}

// ---- requests ------------------------------------------------------------------------------

void MemberRole::ToHost(const Bytes& packet) {
    if (phase_ == Phase::Joined) c_.io.Send(link_, packet);
}

void MemberRole::Send(const Outgoing& m) {
    if (phase_ != Phase::Joined) return;  // the outbox keeps it for the next host
    batch_.Add(m);
    if (batch_.Full()) Flush();
}

void MemberRole::Flush() {
    if (batch_.Count()) ToHost(batch_.Take());
    if (!acks_.empty()) ToHost(EncodeSeqList(Type::Ack, acks_));
    if (!resumes_.empty()) ToHost(EncodeSeqList(Type::Resume, resumes_));
    acks_.clear();
    resumes_.clear();
}

void MemberRole::ResendAll() {
    c_.outbox.ForEach([&](const Outbox::Entry& e) {
        Outgoing m{e.from, e.to, e.pending, e.text};
        Send(m);
    });
}

void MemberRole::ResendFrom(uint32_t receiver, uint32_t seq) {
    c_.ex.Release(c_.outbox.From(receiver, seq, [&](const Outbox::Entry& e, uint32_t n) {
        Outgoing m{e.from, e.to, {{receiver, n}}, e.text};
        Send(m);
    }));
}

bool MemberRole::CanCreate() const {
    return phase_ != Phase::Searching && phase_ != Phase::Connecting && phase_ != Phase::Done;
}

void MemberRole::Create(uint32_t token, const std::string& name) {
    creates_[token] = name;
    ToHost(EncodeCreate(token, name));
}

void MemberRole::Cancel(uint32_t token) {
    if (!creates_.erase(token)) {
        // The answer came just as the program gave up: the player goes again.
        for (const PlayerEntry& p : c_.table.Players())
            if (p.owner == c_.self.me && p.token == token) return Destroy(p.id);
        return;
    }
    cancelled_.insert(token);
    ToHost(EncodeCancel(token));
}

void MemberRole::Destroy(uint32_t id) {
    if (!c_.table.Owns(c_.self.me, id)) return;
    destroys_.insert(id);
    c_.table.RemovePlayer(id);
    c_.session.PurgeInbox();
    c_.session.TableChanged();
    ToHost(EncodeDestroy(id));
}

void MemberRole::SendAcks(const SeqList& list) {
    if (phase_ == Phase::Joined) acks_.insert(acks_.end(), list.begin(), list.end());
}

void MemberRole::SendResumes(const SeqList& list) {
    if (phase_ == Phase::Joined) resumes_.insert(resumes_.end(), list.begin(), list.end());
}

// ---- leaving -------------------------------------------------------------------------------

void MemberRole::Leave() {
    Flush();
    ToHost(EncodeEmpty(Type::Leave));
}

bool MemberRole::Settled() const { return phase_ != Phase::Joined || c_.io.Settled(link_); }

void MemberRole::Disconnect() {
    c_.io.Disconnect(link_, kLeaveCode);
    link_ = nullptr;
}

}  // namespace net
