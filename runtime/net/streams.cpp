#include "net/streams.h"

#include <algorithm>

#include "net/send_cost.h"

namespace net {

// ---- Outbox --------------------------------------------------------------------------------------

const Outbox::Entry& Outbox::Add(uint32_t from, uint32_t to, std::string text, const std::vector<uint32_t>& receivers) {
    const uint64_t n = base_ + entries_.size();
    Entry& e = entries_.emplace_back();
    e.from = from;
    e.to = to;
    e.text = std::move(text);
    for (uint32_t r : receivers) {
        Stream& s = streams_[r];
        e.pending.emplace_back(r, s.next);
        s.kept.emplace_back(s.next, n);
        s.next = NextSeq(s.next);
    }
    ++live_;
    return e;
}

// Takes the receiver off entry n; the entry's cost when nobody waits for it any more.
size_t Outbox::Unpend(uint64_t n, uint32_t receiver) {
    Entry& e = At(n);
    if (e.pending.empty()) return 0;
    std::erase_if(e.pending, [&](const auto& p) { return p.first == receiver; });
    if (!e.pending.empty()) return 0;
    size_t cost = SendCost(e.text);
    std::string().swap(e.text);
    --live_;
    return cost;
}

void Outbox::Trim() {
    while (!entries_.empty() && entries_.front().pending.empty()) {
        entries_.pop_front();
        ++base_;
    }
}

size_t Outbox::Ack(uint32_t receiver, uint32_t seq) {
    auto it = streams_.find(receiver);
    if (it == streams_.end()) return 0;
    auto& kept = it->second.kept;
    // An acknowledgement of a number not yet given is garbage.
    if (!SeqBefore(seq, it->second.next)) return 0;
    size_t freed = 0;
    while (!kept.empty() && !SeqBefore(seq, kept.front().first)) {
        freed += Unpend(kept.front().second, receiver);
        kept.pop_front();
    }
    Trim();
    return freed;
}

size_t Outbox::DropReceiver(uint32_t receiver) {
    auto it = streams_.find(receiver);
    if (it == streams_.end()) return 0;
    size_t freed = 0;
    for (const auto& k : it->second.kept) freed += Unpend(k.second, receiver);
    it->second.kept.clear();
    Trim();
    return freed;
}

void Outbox::ForEach(const std::function<void(const Entry&)>& f) const {
    for (const Entry& e : entries_)
        if (!e.pending.empty()) f(e);
}

size_t Outbox::From(uint32_t receiver, uint32_t seq, const std::function<void(const Entry&, uint32_t)>& f) {
    auto it = streams_.find(receiver);
    if (it == streams_.end()) return 0;
    // Before `seq`: acknowledged.
    size_t freed = 0;
    if (!it->second.kept.empty() && SeqBefore(it->second.kept.front().first, seq)) freed = Ack(receiver, PrevSeq(seq));
    for (const auto& k : it->second.kept) f(At(k.second), k.first);
    return freed;
}

size_t Outbox::Clear() {
    size_t cost = 0;
    for (const Entry& e : entries_)
        if (!e.pending.empty()) cost += SendCost(e.text);
    entries_.clear();
    streams_.clear();
    live_ = 0;
    return cost;
}

// ---- Inbound -------------------------------------------------------------------------------------

Inbound::Verdict Inbound::Check(uint32_t sender, uint32_t seq) const {
    uint32_t expected = Expected(sender);
    if (seq == expected) return Verdict::Take;
    return SeqBefore(seq, expected) ? Verdict::Old : Verdict::Gap;
}

uint32_t Inbound::Expected(uint32_t sender) const {
    auto it = senders_.find(sender);
    return it == senders_.end() ? 1 : it->second.expected;
}

void Inbound::Took(uint32_t sender) {
    From& f = senders_[sender];
    f.expected = NextSeq(f.expected);
    f.taken = true;
    if (f.unacked++ == 0) f.firstUnacked = -1;  // stamped by the first DueAcks
}

void Inbound::Drop(uint32_t sender) {
    auto it = senders_.find(sender);
    if (it == senders_.end()) return;
    it->second.unacked = 0;
    it->second.stalled = false;
}

void Inbound::Reack(uint32_t sender, double now) {
    From& f = senders_[sender];
    if (f.unacked++ == 0) f.firstUnacked = now;
}

SeqList Inbound::DueAcks(double now, double delayMs, uint32_t batch) {
    SeqList due;
    for (auto& [sender, f] : senders_) {
        if (!f.unacked) continue;
        if (f.firstUnacked < 0) f.firstUnacked = now;
        if (f.unacked < batch && now - f.firstUnacked < delayMs) continue;
        f.unacked = 0;
        if (f.taken) due.emplace_back(sender, PrevSeq(f.expected));
    }
    return due;
}

bool Inbound::WantResume(uint32_t sender, double now, double repeatMs) {
    From& f = senders_[sender];
    if (f.stalled) return false;
    if (f.resumed == f.expected && now - f.resumedAt < repeatMs) return false;
    f.resumed = f.expected;
    f.resumedAt = now;
    return true;
}

SeqList Inbound::Release() {
    SeqList list;
    for (auto& [sender, f] : senders_)
        if (f.stalled) {
            f.stalled = false;
            f.resumed = f.expected;
            list.emplace_back(sender, f.expected);
        }
    return list;
}

bool Inbound::AnyStalled() const {
    return std::any_of(senders_.begin(), senders_.end(), [](const auto& s) { return s.second.stalled; });
}

bool Inbound::Owes() const {
    return std::any_of(senders_.begin(), senders_.end(), [](const auto& s) { return s.second.unacked > 0; });
}

}  // namespace net
