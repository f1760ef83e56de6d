// Internal: a session's tables as one program holds them: the peers (programs) in joining
// order with their addresses and secret digests, and the players in the order they were
// made. The host changes them; every other peer applies what the host sends.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "net/protocol.h"

namespace net {

class SessionTable {
public:
    const std::vector<PeerEntry>& Peers() const { return peers_; }
    const std::vector<PlayerEntry>& Players() const { return players_; }
    // The ids the host gives next: above every id this program has seen in the session.
    uint32_t NextPeer() const { return nextPeer_; }
    uint32_t NextPlayer() const { return nextPlayer_; }

    const PeerEntry* FindPeer(uint32_t id) const;
    const PlayerEntry* FindPlayer(uint32_t id) const;
    bool Owns(uint32_t peer, uint32_t player) const;
    // Whether the peer owns the player or did until it was destroyed (ids are never given
    // twice, so what it sent as that player before is still its own), or may have: a
    // player never listed here was made and destroyed while its news could not come.
    bool Owned(uint32_t peer, uint32_t player) const;

    // The whole tables, as a Welcome brings them.
    void Reset(const Welcome& w);
    void Clear();
    // Adds a peer, or updates its address and digest.
    void PutPeer(const PeerEntry& p);
    // Removes a peer and its players; false when it was not listed.
    bool RemovePeer(uint32_t id);
    // The secret digest of a peer listed once and no longer, that may come back (its link
    // broke, or it was with another host for a while); null for one never listed here.
    const Digest* FormerDigest(uint32_t peer) const;
    // Adds a player unless its id is listed already or its owner is not; false then.
    bool AddPlayer(const PlayerEntry& p);
    bool RemovePlayer(uint32_t id);
    // Raises the counters to at least these.
    void RaiseCounters(uint32_t nextPeer, uint32_t nextPlayer);
    // Hands out the next id (the host); 0 when none is left.
    uint32_t TakePeerId();
    uint32_t TakePlayerId();
    // From now on hands out only ids of one lane (those that leave the same remainder
    // when divided by kLanes), the lane chosen by `host`, this program's own id: a host
    // that took over gives ids in a lane of its own, so that two programs that took over
    // at once, each not knowing of the other, give the same id only when their lanes
    // meet (one time in kLanes).
    static constexpr uint32_t kLanes = 256;
    void Lane(uint32_t host);

private:
    std::vector<PeerEntry> peers_;
    std::vector<PlayerEntry> players_;
    uint32_t nextPeer_ = 1, nextPlayer_ = 1;
    int64_t lane_ = -1;  // none: every id in turn
    uint32_t Take(uint32_t& next) const;
    std::unordered_map<uint32_t, uint32_t> formerOwner_;  // destroyed player -> its owner
    std::unordered_map<uint32_t, Digest> formerDigest_;   // peer no longer listed -> its secret's digest
};

}  // namespace net
