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
#include "net/session_config.h"
#include "net/session_table.h"
#include "net/streams.h"
#include "net/transport.h"

namespace net {

class Role;

// Times, in milliseconds.
// A connection must be made and say hello within this: as long as a joining program
// waits, so that ENet's own resends of a lost handshake or hello have time to come.
constexpr double kHelloMs = 4000;
// ENet's handshake may take this long under loss (each of its datagrams may be lost
// several times over); a joining program waits as long once the host answered.
constexpr double kHandshakeMs = 12000;
constexpr uint32_t kSilentMs = 3000;     // a connection that brings nothing this long is lost
constexpr double kGraceMs = 15000;       // the host keeps a silent program's seat this long
constexpr double kStashMs = 4000;        // a peer holds a returning program's hello this long
constexpr double kCandidateMs = 5000;    // a returning program waits this long for a peer
constexpr double kElectMs = 4000;        // the oldest peer left tries the old host this long
constexpr double kGiveUpMs = 30000;      // a program that reaches nobody this long has lost the session
constexpr double kKeepForLostMs = 60000;  // what a peer no longer listed has not acknowledged is kept this long
constexpr double kKeepAliveMs = 250;
constexpr double kAckDelayMs = 5;
constexpr uint32_t kAckBatch = 256;
constexpr double kResumeRepeatMs = 500;
// Connections that have not said hello: per address, and in all (room for every peer
// of a session coming back at once after a host change).
constexpr size_t kHalfOpenPerAddress = 8;
constexpr size_t kMaxHalfOpen = 96;
// Programs of one address. Neither limit applies to 127.0.0.1, this machine's own
// programs.
constexpr size_t kPeersPerAddress = 16;
bool ThisMachine(uint32_t ip);

class Session : private Transport::Handler {
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

    // ---- for the roles ----
    Exchange& ex;
    SessionConfig cfg;
    Transport io;
    Liveness alive{io, cfg};
    SessionTable table;
    Outbox outbox;
    Inbound inbound;
    uint32_t me = 0;  // this program's peer id
    Secret secret{};
    uint32_t term = 0;  // the term of the host this program is or follows (net/protocol.h)

    void SetStatus(Status s, Refusal why = Refusal{});
    void TableChanged() { viewDirty_ = true; }
    // A join: the connection to the host is made.
    void Reached() {
        reached_ = true;
        viewDirty_ = true;
    }
    // Publishes the view at once (before an answer the commands wait for).
    void Publish();
    void Answer(uint32_t token, uint32_t id);

    // A message (or a skipped number) from a sending peer arrived for this program.
    void Receive(const Incoming& m);
    void Skip(uint32_t sender, uint32_t seq);
    // A peer is no longer listed. It may come back under its id (its link broke, or it
    // was with another host for a while): what it has not acknowledged is kept a while
    // longer, and the numbers of the messages to and from it go on where they were, so
    // that nothing is lost or taken twice when it does.
    void Forget(uint32_t peer);
    // Removes from the inbox the messages of players this program no longer has.
    void PurgeInbox();
    // The players of this program.
    std::vector<uint32_t> MyPlayers() const;
    // The peers that receive a message from `from` to `to`, this program excepted.
    std::vector<uint32_t> Receivers(uint32_t from, uint32_t to) const;
    // This program becomes the host (the oldest peer left after a host change): at the
    // end of the round, so that no code of the member role runs after it was replaced.
    void BecomeHost() { promote_ = true; }
    // This program, the host, learnt of a host that outranks it: at the end of the round it
    // tells its peers to go there, leaves the session port to the other and rejoins it.
    void StepDown(const Claim& winner) { stepDown_ = winner; }
    // Connections that have not said hello yet.
    bool HalfOpen(Transport::Peer* peer) const { return halfOpen_.count(peer) > 0; }
    void Adopt(Transport::Peer* peer) { halfOpen_.erase(peer); }

private:
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
