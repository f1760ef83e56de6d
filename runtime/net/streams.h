// Internal: exactly once and in order, per sending program. Every program numbers the
// messages it sends to each other program 1, 2, 3 ... (net/protocol.h).
//
// Outbox: what this program sent, kept until each receiving program acknowledged it, to
// be sent again after a host change or when a receiver asks for it.
// Inbound: per sending program the number expected next, the acknowledgements owed and
// the requests to send again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "net/protocol.h"

namespace net {

class Outbox {
public:
    struct Entry {
        uint32_t from = 0, to = 0;
        std::string text;
        std::vector<std::pair<uint32_t, uint32_t>> pending;  // (receiving peer, sequence)
    };

    // Numbers the message for every receiving peer and keeps it; returns the kept entry.
    const Entry& Add(uint32_t from, uint32_t to, std::string text, const std::vector<uint32_t>& receivers);
    // The receiver has everything up to `seq`. Returns the cost (SendCost) of the
    // entries that no receiver waits for any more.
    size_t Ack(uint32_t receiver, uint32_t seq);
    // Nothing more is kept for the receiver (it is gone for good). Its numbers go on
    // where they were, should it come back after all. Returns as Ack does.
    size_t DropReceiver(uint32_t receiver);
    // Every kept message with the receivers that still wait for it, oldest first.
    void ForEach(const std::function<void(const Entry&)>& f) const;
    // The messages for one receiver from `seq` on, oldest first (those before count as
    // acknowledged). Returns as Ack does.
    size_t From(uint32_t receiver, uint32_t seq, const std::function<void(const Entry&, uint32_t)>& f);
    // Forgets everything; returns the cost of what was kept.
    size_t Clear();

private:
    struct Stream {
        uint32_t next = 1;
        std::deque<std::pair<uint32_t, uint64_t>> kept;  // (sequence, entry number)
    };
    Entry& At(uint64_t n) { return entries_[static_cast<size_t>(n - base_)]; }
    size_t Unpend(uint64_t n, uint32_t receiver);
    void Trim();

    std::deque<Entry> entries_;
    uint64_t base_ = 0;  // the number of entries_.front()
    std::unordered_map<uint32_t, Stream> streams_;
    size_t live_ = 0;
};

class Inbound {
public:
    enum class Verdict { Take, Old, Gap };
    // What to do with message `seq` from `sender`; nothing changes.
    Verdict Check(uint32_t sender, uint32_t seq) const;
    // Message `seq` was the expected one and is taken (or skipped).
    void Took(uint32_t sender);
    uint32_t Expected(uint32_t sender) const;
    // The sender is gone for good: nothing is owed to it. The number expected from it
    // stays, should it come back after all.
    void Drop(uint32_t sender);
    void Clear() { senders_.clear(); }

    // A duplicate came (the sender missed an acknowledgement): acknowledge again.
    void Reack(uint32_t sender, double now);
    // The acknowledgements due: (sender, last taken) for senders whose first unsent
    // acknowledgement is older than `delayMs`, or that owe `batch` or more.
    SeqList DueAcks(double now, double delayMs, uint32_t batch);

    // A message could not be taken (the inbox is full): the sender is held until Room.
    void Stall(uint32_t sender) { senders_[sender].stalled = true; }
    // A gap: asks for a Resume unless one was asked for the same number lately.
    bool WantResume(uint32_t sender, double now, double repeatMs);
    // The held senders, released: each needs a Resume from its expected number.
    SeqList Release();
    bool AnyStalled() const;
    // Whether acknowledgements are owed.
    bool Owes() const;

private:
    struct From {
        uint32_t expected = 1;
        bool taken = false;      // anything taken at all
        uint32_t unacked = 0;    // taken since the last acknowledgement
        double firstUnacked = 0;
        bool stalled = false;
        uint32_t resumed = 0;    // the number a Resume was last asked from
        double resumedAt = -1e18;
    };
    std::unordered_map<uint32_t, From> senders_;
};

}  // namespace net
