#include "net/member_role.h"

#include <algorithm>

#include "net/secret.h"
#include "net/session.h"

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

MemberRole::MemberRole(Session& s) : s_(s), search_(s.io, s.cfg) {}

void MemberRole::Start(double now) {
    if (s_.cfg.target.ip) {
        Connect(s_.cfg.target, now);
    } else {
        phase_ = Phase::Searching;
        search_.Tick(now);
    }
}

void MemberRole::Connect(const Address& to, double now) {
    if (phase_ == Phase::Searching) phase_ = Phase::Connecting;
    link_ = s_.io.Connect(to);
    deadline_ = now + kCandidateMs;
    if (!link_ && phase_ == Phase::Connecting) s_.SetStatus(Status::Failed);
}

// ---- the connection ------------------------------------------------------------------------

void MemberRole::OnConnect(Transport::Peer* peer) {
    if (phase_ == Phase::HandingOver) return;
    if (peer == retry_) {
        s_.io.Send(peer, EncodeHello(ReturningHello(retryHost_)));
        return;
    }
    if (peer != link_) return;
    hostAddress_ = s_.io.AddressOf(peer);
    if (phase_ == Phase::Connecting) {
        s_.Reached();
        Hello h;
        h.app = s_.cfg.app;
        h.name = s_.cfg.name;
        s_.io.Send(peer, EncodeHello(h));
    } else {
        // Electing, the old host is meant; otherwise whoever hosts now.
        s_.io.Send(peer, EncodeHello(ReturningHello(phase_ == Phase::Electing ? lostHost_ : 0)));
    }
}

Hello MemberRole::ReturningHello(uint32_t host) const {
    Hello h;
    h.app = s_.cfg.app;
    h.name = s_.cfg.name;
    h.peer = s_.me;
    h.host = host;
    h.secret = s_.secret;
    h.nextPeer = s_.table.NextPeer();
    h.nextPlayer = s_.table.NextPlayer();
    for (const PlayerEntry& p : s_.table.Players())
        if (p.owner == s_.me) h.players.push_back(p);
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
    case Phase::Connecting:
        s_.SetStatus(Status::Failed);
        break;
    case Phase::Joined:
        HostGone(code == kLeaveCode);
        break;
    case Phase::Reconnecting:
        unreachable_.insert(hostId_);
        if (!retry_) NextCandidate();
        break;
    case Phase::Electing:
        TakeOver();  // the old host does not answer: this program takes over
        break;
    case Phase::Searching:
    case Phase::HandingOver:
    case Phase::Done:
        break;
    }
}

void MemberRole::OnPacket(Transport::Peer* peer, Type type, const uint8_t* data, size_t size) {
    if (phase_ == Phase::HandingOver) return;
    if (peer && peer == retry_) {
        // The old host answers: it was only the link that failed.
        if (type == Type::Welcome) {
            if (auto w = DecodeWelcome(data, size); w && w->host == retryHost_) {
                s_.io.Reset(link_);
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
            s_.table.PutPeer(*p);
            s_.TableChanged();
        }
        break;
    case Type::PeerLeft:
        if (auto id = DecodePeerLeft(data, size)) {
            if (*id == s_.me) {  // the host took this program for gone: it comes back
                s_.io.Reset(link_);
                link_ = nullptr;
                Follow(Claim{s_.term, hostId_, hostAddress_.ip, hostAddress_.port}, NowMs());
                return;
            }
            if (*id == hostId_) return;
            s_.table.RemovePeer(*id);
            s_.Forget(*id);
            s_.TableChanged();
        }
        break;
    case Type::PlayerAdded:
        if (auto p = DecodePlayerAdded(data, size); p && !destroys_.count(p->id)) {
            if (s_.table.AddPlayer(*p)) s_.TableChanged();
        }
        break;
    case Type::PlayerRemoved:
        if (auto id = DecodePlayerRemoved(data, size)) {
            destroys_.erase(*id);
            if (s_.table.RemovePlayer(*id)) {
                s_.PurgeInbox();
                s_.TableChanged();
            }
        }
        break;
    case Type::Created:
        if (auto c = DecodeCreated(data, size)) {
            if (creates_.erase(c->token)) {
                s_.Answer(c->token, s_.table.Owns(s_.me, c->id) ? c->id : 0);
            } else if (cancelled_.erase(c->token)) {
                ToHost(EncodeDestroy(c->id));  // given up meanwhile: undone
            }
        }
        break;
    case Type::NoPlayer:
        if (auto token = DecodeNoPlayer(data, size)) {
            if (creates_.erase(*token)) s_.Answer(*token, 0);
            cancelled_.erase(*token);
        }
        break;
    case Type::Deliver:
        if (auto list = DecodeDeliver(data, size))
            for (const Incoming& m : *list) s_.Receive(m);
        break;
    case Type::Skip:
        if (auto list = DecodeSeqList(type, data, size))
            for (auto [sender, seq] : *list) s_.Skip(sender, seq);
        break;
    case Type::Ack:
        if (auto list = DecodeSeqList(type, data, size))
            for (auto [receiver, seq] : *list) s_.ex.Release(s_.outbox.Ack(receiver, seq));
        break;
    case Type::Resume:
        if (auto list = DecodeSeqList(type, data, size))
            for (auto [receiver, seq] : *list) ResendFrom(receiver, seq);
        break;
    case Type::Leave:
        if (DecodeEmpty(type, data, size)) {
            s_.io.Reset(link_);
            link_ = nullptr;
            HostGone(true);
        }
        break;
    case Type::Follow:
        if (auto c = DecodeFollow(data, size); c && c->host != s_.me) {
            s_.io.Reset(link_);
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
        if (!c->answer && phase_ == Phase::Joined && c->claim.host != hostId_ && c->app == s_.cfg.app &&
            c->name == s_.cfg.name)
            s_.io.SendDatagram(door, from,
                               EncodeClaim({true, s_.cfg.app, s_.cfg.name,
                                            Claim{s_.term, hostId_, hostAddress_.ip, hostAddress_.port}}));
        return;
    }
    if (!door && phase_ == Phase::Searching && search_.OnDatagram(from, data, size)) {
        phase_ = Phase::Connecting;
        Connect(search_.Found(), NowMs());
    }
}

// Peers on the host's machine were listed with its loopback address, the host itself
// with none: they are reached where the host was.
void MemberRole::Fix(PeerEntry& p) const {
    if (p.ipv4 == 0 || (IsLoopback(p.ipv4) && !IsLoopback(hostAddress_.ip))) p.ipv4 = hostAddress_.ip;
    if (p.id == hostId_ && p.port == 0) p.port = hostAddress_.port;
}

void MemberRole::OnWelcome(const Welcome& w) {
    const bool first = phase_ == Phase::Connecting;
    if (!first && w.you != s_.me) {  // not taken back as the program it was
        Lost();
        return;
    }
    s_.me = w.you;
    if (first) s_.secret = w.secret;
    hostId_ = w.host;
    s_.term = w.term;
    hostAddress_ = s_.io.AddressOf(link_);
    Welcome fixed = w;
    for (PeerEntry& p : fixed.peers) Fix(p);
    std::vector<uint32_t> before;
    for (const PeerEntry& p : s_.table.Peers()) before.push_back(p.id);
    s_.table.Reset(fixed);
    for (uint32_t id : before)
        if (!s_.table.FindPeer(id)) s_.Forget(id);
    phase_ = Phase::Joined;
    // Players this program destroyed stay away; the host hears of it again.
    for (auto it = destroys_.begin(); it != destroys_.end();) {
        if (s_.table.RemovePlayer(*it)) {
            ToHost(EncodeDestroy(*it));
            ++it;
        } else {
            it = destroys_.erase(it);
        }
    }
    s_.alive.Clear();
    s_.io.Reset(retry_);  // back in the session: no other attempt goes on
    retry_ = nullptr;
    unreachable_.clear();
    preferred_ = 0;
    electTried_ = false;
    hostLeft_ = false;
    lostHost_ = 0;
    if (first) {
        s_.SetStatus(Status::Joined);
    } else {
        // Everything the lost host may not have passed on goes again.
        for (const auto& [token, name] : creates_) ToHost(EncodeCreate(token, name));
        for (uint32_t token : cancelled_) ToHost(EncodeCancel(token));
        ResendAll();
        // And every peer sends again what this program has not taken yet (what the new
        // host had no way to hand on while this program was away).
        SeqList resume;
        for (const PeerEntry& p : s_.table.Peers())
            if (p.id != s_.me) resume.emplace_back(p.id, s_.inbound.Expected(p.id));
        if (!resume.empty()) ToHost(EncodeSeqList(Type::Resume, resume));
    }
    Unstash(hostId_);
    s_.PurgeInbox();
    s_.TableChanged();
}

void MemberRole::OnRefuse(const RefuseInfo& r) {
    if (phase_ == Phase::Connecting) {
        s_.SetStatus(Status::Failed, r.reason);
        s_.io.Reset(link_);
        link_ = nullptr;
        return;
    }
    s_.io.Reset(link_);
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
    if (r.host && r.host != s_.me && s_.table.FindPeer(r.host)) {
        unreachable_.erase(r.host);
        preferred_ = r.host;
    }
    NextCandidate();
}

void MemberRole::DropRetry() {
    s_.io.Reset(retry_);
    retry_ = nullptr;
    // Nothing else being tried: the next in line.
    if (phase_ == Phase::Reconnecting && !link_) NextCandidate();
}

// ---- the host is lost ----------------------------------------------------------------------

void MemberRole::HostGone(bool left) {
    const uint32_t gone = hostId_;
    if (left) {  // it left: its players with it
        s_.table.RemovePeer(gone);
        s_.Forget(gone);
        s_.PurgeInbox();
        s_.TableChanged();
    }
    lostHost_ = gone;
    hostLeft_ = left;
    lostAt_ = NowMs();
    // Which of the others are alive at all is asked at once: the gone are passed over.
    for (const PeerEntry& p : s_.table.Peers())
        if (p.id != s_.me) s_.alive.Watch(Address{p.ipv4, p.port}, NowMs());
    unreachable_ = {gone};
    preferred_ = 0;
    electTried_ = false;
    giveUpAt_ = NowMs() + kGiveUpMs;
    phase_ = Phase::Reconnecting;
    // A host that fell silent may be alive, with only this link broken: it is tried
    // again while the next in line is asked.
    const PeerEntry* old = left ? nullptr : s_.table.FindPeer(gone);
    if (old) {
        retryAt_ = Address{old->ipv4, old->port};
        retry_ = s_.io.Connect(retryAt_);
        retryHost_ = gone;
        retryUntil_ = NowMs() + kRetryHostMs;
    }
    NextCandidate();
}

void MemberRole::Follow(const Claim& host, double now) {
    const uint32_t old = phase_ == Phase::Joined ? hostId_ : 0;
    PeerEntry e;
    if (const PeerEntry* known = s_.table.FindPeer(host.host)) e = *known;
    e.id = host.host;
    e.ipv4 = host.ipv4;
    e.port = host.port;
    s_.table.PutPeer(e);
    lostHost_ = old ? old : s_.me;
    hostLeft_ = false;
    unreachable_.clear();
    if (old) unreachable_.insert(old);  // it goes there too
    preferred_ = host.host;
    // It was heard from just now, whatever this program thought of it before.
    s_.alive.Unwatch(Address{host.ipv4, host.port});
    electTried_ = true;  // the old host is not asked again
    giveUpAt_ = now + kGiveUpMs;
    s_.io.Reset(retry_);
    retry_ = nullptr;
    phase_ = Phase::Reconnecting;
    NextCandidate();
}

void MemberRole::TakeOver() {
    phase_ = Phase::HandingOver;
    s_.BecomeHost();
}

void MemberRole::NextCandidate() {
    const double now = NowMs();
    if (now > giveUpAt_) {
        Lost();
        return;
    }
    const PeerEntry* next = nullptr;
    if (preferred_ && (next = s_.table.FindPeer(preferred_)) == nullptr) preferred_ = 0;
    preferred_ = 0;
    if (next && s_.alive.Gone(Address{next->ipv4, next->port}, now)) next = nullptr;
    if (!next)
        for (const PeerEntry& p : s_.table.Peers())  // in joining order
            if (!unreachable_.count(p.id) && (p.id == s_.me || !s_.alive.Gone(Address{p.ipv4, p.port}, now))) {
                next = &p;
                break;
            }
    if (!next || next->id == s_.me) {
        // This program is the oldest left. Unless the old host left for good, it tries
        // that one once more before it takes over.
        // Others that lost the host came here already: it is gone for them too.
        const PeerEntry* old = s_.table.FindPeer(lostHost_);
        if (hostLeft_ || electTried_ || !old || lostHost_ == s_.me || !stashed_.empty() ||
            s_.alive.Gone(Address{old->ipv4, old->port}, now)) {
            TakeOver();
            return;
        }
        electTried_ = true;
        phase_ = Phase::Electing;
        hostId_ = lostHost_;
        s_.io.Reset(retry_);  // the old host is this attempt now
        retry_ = nullptr;
        trying_ = Address{old->ipv4, old->port};
        s_.alive.Watch(trying_, now);
        link_ = s_.io.Connect(trying_);
        deadline_ = now + kElectMs;
        if (!link_) TakeOver();
        return;
    }
    phase_ = Phase::Reconnecting;
    hostId_ = next->id;
    trying_ = Address{next->ipv4, next->port};
    s_.alive.Watch(trying_, now);
    link_ = s_.io.Connect(trying_);
    deadline_ = now + kCandidateMs;
    if (!link_) {
        unreachable_.insert(next->id);
        NextCandidate();
    }
}

void MemberRole::Lost() {
    s_.io.Reset(link_);
    s_.io.Reset(retry_);
    link_ = retry_ = nullptr;
    Unstash(0);
    for (const auto& c : creates_) s_.Answer(c.first, 0);
    creates_.clear();
    phase_ = Phase::Done;
    s_.SetStatus(Status::Lost);
}

void MemberRole::OnHello(Transport::Peer* peer, const Hello& h) {
    s_.Adopt(peer);
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
    const bool hostAlive = phase_ == Phase::Joined && s_.io.SilentMs(link_) < kHostAliveMs;
    if (returning && (phase_ == Phase::Reconnecting || (phase_ == Phase::Joined && !hostAlive))) {
        stashed_.push_back({peer, h, NowMs() + kStashMs});
        return;
    }
    s_.io.Send(peer, EncodeRefuse({Refusal::NotHost, phase_ == Phase::Joined ? hostId_ : 0}));
    s_.io.DisconnectLater(peer);
}

void MemberRole::Unstash(uint32_t host) {
    for (const Stashed& st : stashed_) {
        s_.io.Send(st.peer, EncodeRefuse({Refusal::NotHost, host}));
        s_.io.DisconnectLater(st.peer);
    }
    stashed_.clear();
}

void MemberRole::Tick(double now) {
    if (phase_ == Phase::Done || phase_ == Phase::HandingOver) return;
    if (phase_ == Phase::Searching) {
        if (!search_.Tick(now)) {
            phase_ = Phase::Done;
            s_.SetStatus(Status::Failed);
        }
        return;
    }
    if (retry_ && now >= retryUntil_) {
        DropRetry();
        if (phase_ != Phase::Reconnecting && phase_ != Phase::Electing) return;
    }
    if (retry_ && s_.alive.Gone(retryAt_, now)) {  // the old host is gone, not only its link
        DropRetry();
        if (phase_ != Phase::Reconnecting && phase_ != Phase::Electing) return;
    }
    // A peer tried is given up when its time is up, or at once when it is gone.
    if ((phase_ == Phase::Reconnecting || phase_ == Phase::Electing) && link_ &&
        (now >= deadline_ || s_.alive.Gone(trying_, now))) {
        s_.io.Reset(link_);
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
        s_.io.Send(it->peer, EncodeRefuse({Refusal::NotHost, phase_ == Phase::Joined ? hostId_ : 0}));
        s_.io.DisconnectLater(it->peer);
        it = stashed_.erase(it);
    }
    if (phase_ == Phase::Joined) {
        if (s_.io.SilentMs(link_) > kSuspectMs)
            s_.alive.Watch(hostAddress_, now);
        else
            s_.alive.Unwatch(hostAddress_);
    }
    if (phase_ == Phase::Joined && s_.io.SilentMs(link_) > kSilentMs) {
        s_.io.Reset(link_);
        link_ = nullptr;
        HostGone(false);
        return;
    }
    if (phase_ == Phase::Joined && now >= nextKeepAlive_) {
        s_.io.Send(link_, EncodeEmpty(Type::KeepAlive), 1);
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
    s_.io.Reset(link_);
    s_.io.Reset(retry_);
    link_ = retry_ = nullptr;
    return h;
}

// ---- requests ------------------------------------------------------------------------------

void MemberRole::ToHost(const Bytes& packet) {
    if (phase_ == Phase::Joined) s_.io.Send(link_, packet);
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
    s_.outbox.ForEach([&](const Outbox::Entry& e) {
        Outgoing m{e.from, e.to, e.pending, e.text};
        Send(m);
    });
}

void MemberRole::ResendFrom(uint32_t receiver, uint32_t seq) {
    s_.ex.Release(s_.outbox.From(receiver, seq, [&](const Outbox::Entry& e, uint32_t n) {
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
        for (const PlayerEntry& p : s_.table.Players())
            if (p.owner == s_.me && p.token == token) return Destroy(p.id);
        return;
    }
    cancelled_.insert(token);
    ToHost(EncodeCancel(token));
}

void MemberRole::Destroy(uint32_t id) {
    if (!s_.table.Owns(s_.me, id)) return;
    destroys_.insert(id);
    s_.table.RemovePlayer(id);
    s_.PurgeInbox();
    s_.TableChanged();
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

bool MemberRole::Settled() const { return phase_ != Phase::Joined || s_.io.Settled(link_); }

void MemberRole::Disconnect() {
    s_.io.Disconnect(link_, kLeaveCode);
    link_ = nullptr;
}

}  // namespace net
