#include "net/session_table.h"

#include <algorithm>

namespace net {

namespace {
uint32_t After(uint32_t id) { return id < kMaxId ? id + 1 : kMaxId; }
}  // namespace

const PeerEntry* SessionTable::FindPeer(uint32_t id) const {
    for (const PeerEntry& p : peers_)
        if (p.id == id) return &p;
    return nullptr;
}

const PlayerEntry* SessionTable::FindPlayer(uint32_t id) const {
    for (const PlayerEntry& p : players_)
        if (p.id == id) return &p;
    return nullptr;
}

bool SessionTable::Owns(uint32_t peer, uint32_t player) const {
    const PlayerEntry* p = FindPlayer(player);
    return p && p->owner == peer;
}

void SessionTable::Reset(const Welcome& w) {
    for (const PlayerEntry& p : players_) formerOwner_[p.id] = p.owner;
    for (const PeerEntry& p : peers_) formerDigest_[p.id] = p.digest;
    peers_ = w.peers;
    players_ = w.players;
    RaiseCounters(w.nextPeer, w.nextPlayer);
}

void SessionTable::Clear() {
    peers_.clear();
    players_.clear();
    formerOwner_.clear();
    formerDigest_.clear();
    nextPeer_ = nextPlayer_ = 1;
    lane_ = -1;
}

void SessionTable::PutPeer(const PeerEntry& p) {
    RaiseCounters(After(p.id), 1);
    for (PeerEntry& e : peers_)
        if (e.id == p.id) {
            e = p;
            return;
        }
    // Kept in id order, which is joining order.
    auto at = std::lower_bound(peers_.begin(), peers_.end(), p.id,
                               [](const PeerEntry& e, uint32_t id) { return e.id < id; });
    peers_.insert(at, p);
}

bool SessionTable::RemovePeer(uint32_t id) {
    if (const PeerEntry* p = FindPeer(id)) formerDigest_[id] = p->digest;
    std::erase_if(players_, [&](const PlayerEntry& p) {
        if (p.owner != id) return false;
        formerOwner_[p.id] = id;  // what it sent as that player before is still its own
        return true;
    });
    return std::erase_if(peers_, [&](const PeerEntry& p) { return p.id == id; }) > 0;
}

const Digest* SessionTable::FormerDigest(uint32_t peer) const {
    auto it = formerDigest_.find(peer);
    return it == formerDigest_.end() ? nullptr : &it->second;
}

bool SessionTable::AddPlayer(const PlayerEntry& p) {
    RaiseCounters(1, After(p.id));
    if (FindPlayer(p.id) || !FindPeer(p.owner) || players_.size() >= kMaxPlayers) return false;
    players_.push_back(p);
    return true;
}

bool SessionTable::RemovePlayer(uint32_t id) {
    const PlayerEntry* p = FindPlayer(id);
    if (!p) return false;
    formerOwner_[id] = p->owner;
    std::erase_if(players_, [&](const PlayerEntry& e) { return e.id == id; });
    return true;
}

bool SessionTable::Owned(uint32_t peer, uint32_t player) const {
    if (const PlayerEntry* p = FindPlayer(player)) return p->owner == peer;
    auto it = formerOwner_.find(player);
    // One never listed here was made and destroyed while its news could not reach this
    // program: nobody else has it.
    return it == formerOwner_.end() || it->second == peer;
}

void SessionTable::RaiseCounters(uint32_t nextPeer, uint32_t nextPlayer) {
    nextPeer_ = std::max(nextPeer_, std::min(nextPeer, kMaxId));
    nextPlayer_ = std::max(nextPlayer_, std::min(nextPlayer, kMaxId));
}

void SessionTable::Lane(uint32_t host) {
    // Mixed, since the ids a host gives are all of its lane: one of them that takes over
    // in turn must not take the same.
    uint64_t x = host * 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
    lane_ = static_cast<int64_t>((x * 0xBF58476D1CE4E5B9ull >> 32) % kLanes);
}

uint32_t SessionTable::Take(uint32_t& next) const {
    if (lane_ >= 0) next += static_cast<uint32_t>((lane_ + kLanes - next % kLanes) % kLanes);
    return next < kMaxId ? next++ : 0;
}

uint32_t SessionTable::TakePeerId() { return Take(nextPeer_); }

uint32_t SessionTable::TakePlayerId() { return Take(nextPlayer_); }

}  // namespace net
