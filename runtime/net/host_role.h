// Internal: the hosting program: it admits programs, gives ids, keeps the session's
// tables and sends every change of them to every peer, and hands messages, their
// acknowledgements and requests to send again from peer to peer.
//
// Admission. A connection must say hello within a second; only a few may be waiting to
// from one address, and a limited number in all. A new program gets the next peer id and
// a secret; a returning one (after a host change, or after its own link broke) must show
// the secret it got, and brings the players it owns. A program whose link breaks keeps
// its seat and its players for a while; one that leaves goes at once.
//
// Rivals. A host that was replaced while it was stopped or cut off may come back still
// hosting. Every host sends its claim (net/protocol.h) now and then to where another may
// be: the peers whose links broke, the host it replaced, the session port while another
// holds it, and any host such a place names. Of two hosts that hear of each other, the one
// the other outranks steps down: it sends its peers to the other and rejoins it with
// everything it holds.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "net/handover.h"
#include "net/protocol.h"
#include "net/role.h"
#include "net/role_context.h"
#include "net/transport.h"

namespace net {

class HostRole final : public Role {
public:
    explicit HostRole(const RoleContext& c);

    // A new session: this program is its first peer.
    void Start();
    // This program takes over a session whose host was lost.
    void TakeOver(Handover h);

    bool Owns(Transport::Peer* peer) const override { return peerOf_.count(peer) > 0; }
    void OnConnect(Transport::Peer*) override {}  // the host makes no connections
    void OnHello(Transport::Peer* peer, const Hello& h) override;
    void OnPacket(Transport::Peer* peer, Type type, const uint8_t* data, size_t size) override;
    void OnDisconnect(Transport::Peer* peer, uint32_t code) override;
    void OnDatagram(bool door, const Address& from, const uint8_t* data, size_t size) override;
    void Tick(double now) override;
    // This program steps down for another host: its peers are told to go there.
    void StepDown(const Claim& winner);

    // This program's requests; its messages go the way of every peer's (Route).
    void Send(const Outgoing& m) override;
    bool CanCreate() const override { return true; }
    void Create(uint32_t token, const std::string& name) override;
    void Cancel(uint32_t token) override;
    void Destroy(uint32_t id) override;
    void SendAcks(const SeqList& list) override;
    void SendResumes(const SeqList& list) override;
    void Flush() override;

    void Leave() override;
    bool Settled() const override;
    void Disconnect() override;

private:
    // A message from a player of peer `sender` (this program's own too).
    void Route(uint32_t sender, const Outgoing& m);
    uint32_t CreateFor(uint32_t owner, uint32_t token, const std::string& name);
    void CancelFor(uint32_t owner, uint32_t token);
    void DestroyFor(uint32_t owner, uint32_t id);
    void RemovePeer(uint32_t id);
    void Link(Transport::Peer* peer, uint32_t id);
    void Refuse(Transport::Peer* peer, Refusal why);
    void Welcome(Transport::Peer* peer, uint32_t id, const Secret& secret);
    void Broadcast(const Bytes& packet, uint32_t except = 0);
    void SendTo(uint32_t peer, const Bytes& packet);
    void ResendFrom(uint32_t receiver, uint32_t seq);
    bool Linked(uint32_t peer) const { return links_.count(peer) > 0; }
    size_t FromAddress(uint32_t ip) const;

    RoleContext c_;
    std::unordered_map<uint32_t, Transport::Peer*> links_;
    std::unordered_map<Transport::Peer*, uint32_t> peerOf_;
    std::unordered_map<uint32_t, double> lost_;  // peers whose link broke: until when their seat waits
    // After a take-over, until when programs this one never heard of may come back (their
    // news may have died with the old host).
    double strangersUntil_ = 0;
    // What goes to each peer at the end of the round.
    struct ToPeer {
        RecordWriter deliver{Type::Deliver};
        SeqList skips, acks, resumes;
    };
    std::unordered_map<uint32_t, ToPeer> out_;
    double nextKeepAlive_ = 0;
    // After a take-over: the session port is opened as soon as it is free.
    static constexpr double kDoorRetryMs = 1000;
    void OpenDoor(double now);
    bool needDoor_ = false;
    double nextDoorTry_ = 0;

    // Where another host may be: address -> until when this host's claim goes there.
    static constexpr double kClaimRepeatMs = 1000;
    static constexpr double kRivalMs = 60000;
    void Rival(const Address& at);
    void SendClaims(double now);
    void OnClaim(bool door, const Address& from, const ClaimDatagram& c);
    Claim Mine() const;
    std::map<std::pair<uint32_t, uint16_t>, double> rivals_;
    double nextClaim_ = 0;
    bool steppingDown_ = false;
};

}  // namespace net
