// Internal: a program that joins a session, or has joined it: its connection to the host,
// its requests that wait for the host's answer, and what it does when the host is lost.
//
// Host lost: the program keeps the session's tables and tries the peers from the oldest
// on, showing each its id and secret, until one welcomes it as the new host's member.
// A peer that is not the host says whom it follows, and the program tries that one; a
// peer that has itself just lost the host holds the request until it knows who takes
// over. When this program is the oldest peer left it tries the old host once more for a
// while (perhaps only its own link broke) and takes over when the old host does not
// answer or another peer comes to it first. Everything unanswered or unacknowledged is
// sent to the new host again. A host that steps down for another sends its peers there
// (Follow), and they go as after a host change. Asked which host it follows (a host
// claim naming another), the program says.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "net/handover.h"
#include "net/protocol.h"
#include "net/role.h"
#include "net/role_context.h"
#include "net/search.h"
#include "net/session_limits.h"
#include "net/transport.h"

namespace net {

class MemberRole final : public Role {
public:
    explicit MemberRole(const RoleContext& c);

    // Starts the join: searches first when the configuration has no address.
    void Start(double now);
    // The connections are this program's own to the host and to a peer it tries.
    bool Owns(Transport::Peer* peer) const override { return peer && (peer == link_ || peer == retry_); }
    void OnConnect(Transport::Peer* peer) override;
    void OnDisconnect(Transport::Peer* peer, uint32_t code) override;
    void OnPacket(Transport::Peer* peer, Type type, const uint8_t* data, size_t size) override;
    // A program that lost its host came to this one.
    void OnHello(Transport::Peer* peer, const Hello& h) override;
    void OnDatagram(bool door, const Address& from, const uint8_t* data, size_t size) override;
    void Tick(double now) override;

    void Send(const Outgoing& m) override;
    // Once in the session (also while the host is being replaced).
    bool CanCreate() const override;
    void Create(uint32_t token, const std::string& name) override;
    void Cancel(uint32_t token) override;
    void Destroy(uint32_t id) override;
    void SendAcks(const SeqList& list) override;
    void SendResumes(const SeqList& list) override;
    void Flush() override;

    void Leave() override;
    bool Settled() const override;
    void Disconnect() override;

    // What the host role takes over when this program becomes the host.
    Handover TakeHandover();
    // Goes to that host, as after a host change: this program's host, or this program
    // itself when it hosted, stepped down for it.
    void Follow(const Claim& host, double now);

private:
    // HandingOver: this program takes over as host at the end of the round; until then
    // the role only keeps the hellos that come, for the host role.
    enum class Phase { Searching, Connecting, Joined, Reconnecting, Electing, HandingOver, Done };

    void Connect(const Address& to, double now);
    void OnWelcome(const Welcome& w);
    void OnRefuse(const RefuseInfo& r);
    void HostGone(bool left);
    void TakeOver();
    void NextCandidate();
    void Lost();
    void ToHost(const Bytes& packet);
    void ResendAll();
    void ResendFrom(uint32_t receiver, uint32_t seq);
    void DropRetry();
    void Fix(PeerEntry& p) const;
    // Where a peer is reached, and whether it may host (it came over UDP; this program
    // itself when it did).
    static Address At(const PeerEntry& p) { return Address{p.ipv4, p.port, p.wsPort}; }
    bool Hostable(const PeerEntry& p) const { return p.id == c_.self.me ? c_.io.CanHost() : p.port != 0; }
    // How long this program looks for the session's host before the session is lost.
    double GiveUpMs() const { return c_.io.CanHost() ? kGiveUpMs : kGiveUpByWebSocketMs; }
    void Unstash(uint32_t host);
    Hello ReturningHello(uint32_t host) const;

    RoleContext c_;
    Phase phase_ = Phase::Connecting;
    SearchState search_;
    Transport::Peer* link_ = nullptr;
    double deadline_ = 0;
    uint32_t hostId_ = 0;       // the host this program follows (or tries)
    Address hostAddress_;       // where it reached the host
    // While the host is lost.
    uint32_t lostHost_ = 0;
    bool hostLeft_ = false;
    double lostAt_ = 0;
    // Meanwhile, the old host tried once more (only the link to it may have failed).
    Transport::Peer* retry_ = nullptr;
    Address retryAt_;
    Address trying_;  // the peer link_ tries while the host is being replaced
    uint32_t retryHost_ = 0;
    double retryUntil_ = 0;
    std::set<uint32_t> unreachable_;
    uint32_t preferred_ = 0;    // the peer another named as host
    double askAgainAt_ = 0;
    double giveUpAt_ = 0;
    bool electTried_ = false;
    // Hellos of returning programs that came while this program is not the host.
    struct Stashed {
        Transport::Peer* peer;
        Hello hello;
        double until;
    };
    std::vector<Stashed> stashed_;
    // Requests waiting for the host's answer.
    std::unordered_map<uint32_t, std::string> creates_;  // token -> name
    std::set<uint32_t> cancelled_;                       // tokens given up
    std::set<uint32_t> destroys_;                        // players destroyed, not yet gone
    RecordWriter batch_{Type::Send};
    SeqList acks_, resumes_;
    double nextKeepAlive_ = 0;
};

}  // namespace net
