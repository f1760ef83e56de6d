// Internal: one network session as the network thread runs it. Everything here runs on
// that thread only; the BASIC commands reach it through the Exchange.
//
// The session's tables, what this program sent and has not seen acknowledged, and what
// it expects next from each sender are kept here whatever role this program plays; the
// role is the host (net/host_role.h) or a joining or joined program (net/member_role.h),
// and changes from the second to the first when the host is lost and this program is
// the oldest left. A join without an address first searches (net/search.h).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "net/clock.h"
#include "net/exchange.h"
#include "net/liveness.h"
#include "net/protocol.h"
#include "net/role_context.h"
#include "net/session_config.h"
#include "net/session_limits.h"
#include "net/session_table.h"
#include "net/streams.h"
#include "net/transport.h"

namespace net {

class Role;

class Session : private Transport::Handler, private SessionCalls {
public:
    Session(Exchange& ex, SessionConfig cfg);
    ~Session();

    // Opens the sockets and starts hosting or joining. False: the session port is
    // taken (host) or no socket could be made.
    bool Open();
    // One round: what arrived, the commands' requests, what is due.
    struct Round {
        bool events = false;   // anything arrived or was asked for
        bool traffic = false;  // messages or requests among it (more may follow at once)
    };
    Round Step();
    // How long the thread may wait before the next round.
    int IdleMs() const;
    // Sends what waits, at most `ms` long, then leaves the session.
    void Leave(double ms);
    // The same in parts, for a caller with a clock of its own: says goodbye; then, while
    // not Settled, Drain passes on what comes and goes; then EndLeave closes.
    void BeginLeave();
    bool Settled() const;
    void Drain();
    void EndLeave();

    // Waits at most `ms` for a datagram on a socket or for the wake-up descriptor.
    void Wait(int ms, int wakeFd) { io.Wait(ms, wakeFd); }
    // The session's tables as this program holds them.
    const SessionTable& Table() const { return table; }

private:
    // ---- for the roles (net/role_context.h) ----
    void SetStatus(Status s, Refusal why = Refusal{}) override;
    void TableChanged() override { viewDirty_ = true; }
    void Reached() override {
        reached_ = true;
        viewDirty_ = true;
    }
    void Answer(uint32_t token, uint32_t id) override;
    void Receive(const Incoming& m) override;
    void Skip(uint32_t sender, uint32_t seq) override;
    // A peer no longer listed may come back under its id (its link broke, or it was with
    // another host for a while): what it has not acknowledged is kept a while longer, and
    // the numbers of the messages to and from it go on where they were, so that nothing
    // is lost or taken twice when it does.
    void Forget(uint32_t peer) override;
    void PurgeInbox() override;
    // The member role is replaced by the host role at the end of the round, so that no
    // code of it runs after it was replaced.
    void BecomeHost() override { promote_ = true; }
    // At the end of the round the host tells its peers to go to the winner, leaves the
    // session port to it and rejoins it.
    void StepDown(const Claim& winner) override { stepDown_ = winner; }
    void Adopt(Transport::Peer* peer) override { halfOpen_.erase(peer); }

    // Publishes the view at once (before an answer the commands wait for).
    void Publish();
    // Opens the TCP port browsers connect to; false when a host cannot have its own.
    bool OpenWs();
    // The players of this program.
    std::vector<uint32_t> MyPlayers() const;
    // The peers that receive a message from `from` to `to`, this program excepted.
    std::vector<uint32_t> Receivers(uint32_t from, uint32_t to) const;

    void OnConnect(Transport::Peer* peer) override;
    void OnDisconnect(Transport::Peer* peer, uint32_t code) override;
    void OnPacket(Transport::Peer* peer, const uint8_t* data, size_t size) override;
    void OnDatagram(bool door, const Address& from, const uint8_t* data, size_t size) override;

    void OnCommand(Command& c);
    void Timers(double now);
    void WatchStrangers(double now);
    void SendAcks(double now);
    void Promote();
    void Demote();

    // What the session keeps whatever the role, and what the roles are handed of it.
    Exchange& ex;
    SessionConfig cfg;
    Transport io{cfg.slots};
    Liveness alive{io, cfg};
    SessionTable table;
    Outbox outbox;
    Inbound inbound;
    Self self;
    RoleContext context_{cfg, io, alive, table, outbox, inbound, ex, self, *this};

    std::unique_ptr<Role> role_;  // the host's, or a member's
    bool hosting_ = false;
    bool promote_ = false;  // BecomeHost was asked for this round
    std::optional<Claim> stepDown_;
    std::vector<Command> commands_;
    SeqList resumes_;  // requests to send again, this round
    bool leaving_ = false;
    bool traffic_ = false;
    struct Stranger {
        double deadline;
        uint32_t ip;
    };
    std::map<Transport::Peer*, Stranger> halfOpen_;  // ordered: the same order on every run
    bool viewDirty_ = true;
    bool reached_ = false;
    Status status_ = Status::Joining;
    Refusal refusal_{};
    double lastStrangerWatch_ = 0;
    std::map<uint32_t, double> forgetAt_;  // peers no longer listed -> when their messages go
};

}  // namespace net
