#include "net/session.h"

#include <arpa/inet.h>

#include <algorithm>

#include "net/host_role.h"
#include "net/member_role.h"

namespace net {

bool ThisMachine(uint32_t ip) { return ip == htonl(INADDR_LOOPBACK); }

Session::Session(Exchange& exchange, SessionConfig config) : ex(exchange), cfg(std::move(config)) {}

Session::~Session() = default;

// Browsers reach a desktop program on a TCP port: a host's is the one given (by default
// the session port's number), a member's any free one. A member that cannot have one goes
// on without: browsers only cannot follow it should it take over.
bool Session::OpenWs() {
    if (!io.CanHost()) return true;
    if (hosting_ || (cfg.host && !role_)) return io.OpenWs(cfg.wsPort ? cfg.wsPort : cfg.port, cfg.origins);
    io.OpenWs(0, cfg.origins);
    return true;
}

bool Session::Open() {
    if (!cfg.url.empty()) io.JoinBy(cfg.url);
    if (cfg.host && !io.CanHost()) return false;
    if (!io.Open(cfg.host ? cfg.port : 0) || !OpenWs()) {
        io.Close();
        return false;
    }
    if (cfg.host) {
        auto host = std::make_unique<HostRole>(context_);
        host->Start();
        role_ = std::move(host);
        hosting_ = true;
    } else {
        auto member = std::make_unique<MemberRole>(context_);
        member->Start(NowMs());
        role_ = std::move(member);
    }
    Publish();
    return true;
}

void Session::SetStatus(Status s, Refusal why) {
    status_ = s;
    refusal_ = why;
    if (s == Status::Lost) {
        table.Clear();
        ex.Release(outbox.Clear());
        inbound.Clear();
        forgetAt_.clear();
        alive.Clear();
        PurgeInbox();
    }
    viewDirty_ = true;
}

void Session::Publish() {
    View v;
    v.status = status_;
    v.refusal = refusal_;
    v.me = self.me;
    v.reached = reached_;
    v.players = table.Players();
    ex.SetView(std::move(v));
    viewDirty_ = false;
}

void Session::Answer(uint32_t token, uint32_t id) {
    if (viewDirty_) Publish();  // the new player is listed before its id is handed out
    ex.SetCreated(token, id);
}

void Session::Promote() {
    promote_ = false;
    if (hosting_) return;
    Handover h = static_cast<MemberRole&>(*role_).TakeHandover();
    auto host = std::make_unique<HostRole>(context_);
    HostRole& taking = *host;
    role_ = std::move(host);
    hosting_ = true;
    taking.TakeOver(std::move(h));
}

void Session::Demote() {
    const Claim winner = *stepDown_;
    stepDown_.reset();
    if (!hosting_) return;
    static_cast<HostRole&>(*role_).StepDown(winner);
    io.Flush();
    // The session port is the other host's: this program goes on from a socket of its own.
    io.Close();
    halfOpen_.clear();
    hosting_ = false;
    auto member = std::make_unique<MemberRole>(context_);
    MemberRole& joining = *member;
    role_ = std::move(member);
    if (!io.Open(0) || !OpenWs()) {
        SetStatus(Status::Lost);
        return;
    }
    SetStatus(Status::Joined);
    joining.Follow(winner, NowMs());
}

// ---- what arrives ----------------------------------------------------------------------------

void Session::OnConnect(Transport::Peer* peer) {
    if (leaving_) return;
    if (role_->Owns(peer)) {
        role_->OnConnect(peer);
        return;
    }
    // Another program connects: it has a while to say hello, and only a few may wait to
    // from one address.
    const uint32_t ip = io.AddressOf(peer).ip;
    size_t same = 0;
    for (const auto& [p, s] : halfOpen_) same += s.ip == ip;
    if ((same >= kHalfOpenPerAddress && !ThisMachine(ip)) || halfOpen_.size() >= kMaxHalfOpen) {
        io.Disconnect(peer, 0);
        return;
    }
    halfOpen_[peer] = {NowMs() + kHelloMs, ip};
}

void Session::OnDisconnect(Transport::Peer* peer, uint32_t code) {
    if (leaving_) return;
    if (halfOpen_.erase(peer)) return;
    role_->OnDisconnect(peer, code);
}

void Session::OnPacket(Transport::Peer* peer, const uint8_t* data, size_t size) {
    if (leaving_) return;
    auto type = PacketType(data, size);
    if (!type) return;
    if (*type == Type::Send || *type == Type::Deliver) traffic_ = true;
    if (halfOpen_.count(peer)) {
        // Only a hello counts from a connection that has not said one.
        if (*type != Type::Hello) return;
        auto h = DecodeHello(data, size);
        if (!h) return;
        role_->OnHello(peer, *h);
        return;
    }
    role_->OnPacket(peer, *type, data, size);
}

void Session::OnDatagram(bool door, const Address& from, const uint8_t* data, size_t size) {
    const bool in = status_ == Status::Joined || status_ == Status::Hosting;
    if (leaving_ || alive.OnDatagram(door, from, data, size, NowMs(), in)) return;
    role_->OnDatagram(door, from, data, size);
}

// ---- messages ----------------------------------------------------------------------------------

std::vector<uint32_t> Session::MyPlayers() const {
    std::vector<uint32_t> mine;
    for (const PlayerEntry& p : table.Players())
        if (p.owner == self.me) mine.push_back(p.id);
    return mine;
}

std::vector<uint32_t> Session::Receivers(uint32_t from, uint32_t to) const {
    std::vector<uint32_t> peers;
    if (to) {
        const PlayerEntry* p = table.FindPlayer(to);
        if (p && p->owner != self.me) peers.push_back(p->owner);
        return peers;
    }
    for (const PlayerEntry& p : table.Players())
        if (p.id != from && p.owner != self.me && std::find(peers.begin(), peers.end(), p.owner) == peers.end())
            peers.push_back(p.owner);
    return peers;
}

void Session::Receive(const Incoming& m) {
    switch (inbound.Check(m.sender, m.seq)) {
    case Inbound::Verdict::Old:
        inbound.Reack(m.sender, NowMs());  // its sender missed the acknowledgement
        return;
    case Inbound::Verdict::Gap:
        if (inbound.WantResume(m.sender, NowMs(), kResumeRepeatMs)) resumes_.emplace_back(m.sender, inbound.Expected(m.sender));
        return;
    case Inbound::Verdict::Take:
        break;
    }
    std::vector<uint32_t> to;
    if (m.to) {
        if (table.Owns(self.me, m.to)) to.push_back(m.to);
    } else {
        for (uint32_t p : MyPlayers())
            if (p != m.from) to.push_back(p);
    }
    if (!ex.Deliver(to, m.text)) {
        inbound.Stall(m.sender);  // taken again when the program has read its inbox
        return;
    }
    inbound.Took(m.sender);
}

void Session::Skip(uint32_t sender, uint32_t seq) {
    switch (inbound.Check(sender, seq)) {
    case Inbound::Verdict::Take:
        inbound.Took(sender);
        break;
    case Inbound::Verdict::Old:
        inbound.Reack(sender, NowMs());
        break;
    case Inbound::Verdict::Gap:
        if (inbound.WantResume(sender, NowMs(), kResumeRepeatMs)) resumes_.emplace_back(sender, inbound.Expected(sender));
        break;
    }
}

void Session::Forget(uint32_t peer) {
    if (!forgetAt_.count(peer)) forgetAt_[peer] = NowMs() + kKeepForLostMs;
}

void Session::PurgeInbox() { ex.KeepOnly(MyPlayers()); }

// ---- the commands' requests --------------------------------------------------------------------

void Session::OnCommand(Command& c) {
    switch (c.kind) {
    case Command::Send: {
        const size_t cost = SendCost(c.text);
        std::vector<uint32_t> receivers = Receivers(c.a, c.b);
        if (receivers.empty() || status_ == Status::Lost) {
            ex.Release(cost);  // nobody (any more) to send it to
            return;
        }
        const Outbox::Entry& e = outbox.Add(c.a, c.b, std::move(c.text), receivers);
        role_->Send(Outgoing{e.from, e.to, e.pending, e.text});
        return;
    }
    case Command::Create:
        if (role_->CanCreate()) role_->Create(c.a, c.text);
        else Answer(c.a, 0);
        return;
    case Command::Cancel:
        role_->Cancel(c.a);
        return;
    case Command::Destroy:
        role_->Destroy(c.a);
        return;
    }
}

// ---- the round ---------------------------------------------------------------------------------

Session::Round Session::Step() {
    Round r;
    traffic_ = false;
    r.events = io.Service(*this);
    ex.TakeCommands(commands_);
    if (!commands_.empty()) r.events = traffic_ = true;
    for (Command& c : commands_) OnCommand(c);
    Timers(NowMs());
    if (promote_) Promote();
    if (stepDown_) Demote();
    role_->Flush();
    io.Flush();
    if (viewDirty_) Publish();
    r.traffic = traffic_;
    return r;
}

void Session::Timers(double now) {
    if (now - lastStrangerWatch_ >= 20) {
        lastStrangerWatch_ = now;
        WatchStrangers(now);
    }
    role_->Tick(now);
    alive.Tick(now);
    SendAcks(now);
    for (auto it = forgetAt_.begin(); it != forgetAt_.end();) {
        if (now < it->second) {
            ++it;
            continue;
        }
        if (!table.FindPeer(it->first)) {  // not back: gone for good
            ex.Release(outbox.DropReceiver(it->first));
            inbound.Drop(it->first);
        }
        it = forgetAt_.erase(it);
    }
}

// Connections that do not say hello in time go, and so do connections ENet is still
// making for longer than that; and no address holds more than its share of them.
void Session::WatchStrangers(double now) {
    for (auto it = halfOpen_.begin(); it != halfOpen_.end();) {
        if (now >= it->second.deadline) {
            io.Disconnect(it->first, 0);
            it = halfOpen_.erase(it);
        } else {
            ++it;
        }
    }
    std::vector<Transport::Pending> pending = io.PendingIncoming(now);
    std::sort(pending.begin(), pending.end(), [](const auto& a, const auto& b) { return a.ageMs > b.ageMs; });
    std::unordered_map<uint32_t, size_t> perAddress;
    for (const auto& [p, s] : halfOpen_) ++perAddress[s.ip];
    size_t total = halfOpen_.size();
    for (const Transport::Pending& p : pending) {
        size_t& n = perAddress[p.ip];
        if (p.ageMs >= kHandshakeMs || (n >= kHalfOpenPerAddress && !ThisMachine(p.ip)) || total >= kMaxHalfOpen) {
            io.Disconnect(p.peer, 0);  // said, so that the other side stops waiting
            continue;
        }
        ++n;
        ++total;
    }
}

void Session::SendAcks(double now) {
    SeqList acks = inbound.DueAcks(now, kAckDelayMs, kAckBatch);
    if (inbound.AnyStalled() && ex.InboxHasRoom()) {
        SeqList again = inbound.Release();
        resumes_.insert(resumes_.end(), again.begin(), again.end());
    }
    if (!acks.empty()) role_->SendAcks(acks);
    if (!resumes_.empty()) role_->SendResumes(resumes_);
    resumes_.clear();
}

int Session::IdleMs() const {
    // Acknowledgements owed, or ENet waiting for its own: soon; else when the next
    // keep-alive is due.
    if (inbound.AnyStalled() || inbound.Owes() || io.Unsettled()) return static_cast<int>(kAckDelayMs);
    return 50;
}

void Session::Leave(double ms) {
    BeginLeave();
    const double until = NowMs() + ms;
    while (!Settled() && NowMs() < until) {
        io.Wait(2, -1);
        Drain();
    }
    EndLeave();
}

void Session::BeginLeave() {
    Step();  // what the commands queued last
    role_->Leave();
    io.Flush();
    leaving_ = true;
}

bool Session::Settled() const { return !role_ || role_->Settled(); }

void Session::Drain() {
    io.Service(*this);
    io.Flush();
}

void Session::EndLeave() {
    if (role_) role_->Disconnect();
    io.Flush();
    io.Close();
}

}  // namespace net
