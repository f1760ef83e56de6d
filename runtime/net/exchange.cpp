#include "net/exchange.h"

#include <sched.h>
#ifndef __EMSCRIPTEN__
#include <sys/eventfd.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace net {

#ifdef __EMSCRIPTEN__
Exchange::Exchange() = default;  // no network thread to wake in a page
#else
Exchange::Exchange() { wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }
#endif

Exchange::~Exchange() {
    if (wakeFd_ >= 0) close(wakeFd_);
}

bool Exchange::PushLocked(Command& c) {
    if (c.kind == Command::Send) {
        size_t cost = SendCost(c.text);
        if (outgoing_.load() + cost > kMaxOutgoingBytes) return false;
        outgoing_ += cost;
    }
    commands_.push_back(std::move(c));
    ++pending_;
    return true;
}

bool Exchange::Push(Command c) {
    {
        std::lock_guard lock(m_);
        if (!PushLocked(c)) return false;
    }
    if (sleeping_.load()) Wake();
    return true;
}

bool Exchange::PutAndPush(const std::vector<uint32_t>& players, bool others, Command c) {
    {
        std::lock_guard lock(m_);
        if (!PutLocked(players, c.text, true)) return false;
        if (others && outgoing_.load() + SendCost(c.text) > kMaxOutgoingBytes) return false;
        PutLocked(players, c.text);
        if (others) PushLocked(c);
    }
    if (others && sleeping_.load()) Wake();
    return true;
}

void Exchange::Wake() {
    uint64_t one = 1;
    if (wakeFd_ >= 0 && write(wakeFd_, &one, sizeof one) < 0) {
        // Already signalled (the counter is full): the thread wakes anyway.
    }
}

void Exchange::DrainWake() {
    uint64_t n;
    while (wakeFd_ >= 0 && read(wakeFd_, &n, sizeof n) > 0) {
    }
}

bool Exchange::Sleep() {
    sleeping_.store(true);
    if (pending_.load() > 0) {
        sleeping_.store(false);
        return false;
    }
    return true;
}

void Exchange::Awake() { sleeping_.store(false); }

bool Exchange::ViewIfNewer(uint64_t& version, View& out) {
    if (viewVersion_.load() == version) return false;
    std::lock_guard lock(m_);
    out = view_;
    version = viewVersion_.load();
    return true;
}

bool Exchange::TakeMessage(uint32_t player, std::string& text) {
    std::lock_guard lock(m_);
    auto in = inbox_.find(player);
    if (in == inbox_.end()) return false;
    text = std::move(in->second.front());
    in->second.pop_front();
    --inboxCount_;
    inboxBytes_ -= text.size();
    if (in->second.empty()) inbox_.erase(in);
    return true;
}

bool Exchange::PutLocked(const std::vector<uint32_t>& players, std::string_view text, bool dryRun) {
    if (players.empty()) return true;
    size_t n = players.size();
    const size_t used = inboxBytes_ + inboxCount_ * kMessageCost;
    if (inboxCount_ + n > kMaxInboxMessages || used + n * (text.size() + kMessageCost) > kMaxInboxBytes) return false;
    if (dryRun) return true;
    for (uint32_t p : players) inbox_[p].emplace_back(text);
    inboxCount_ += n;
    inboxBytes_ += n * text.size();
    return true;
}

bool Exchange::PutMessage(const std::vector<uint32_t>& players, std::string_view text) {
    std::lock_guard lock(m_);
    return PutLocked(players, text);
}

bool Exchange::Deliver(const std::vector<uint32_t>& players, std::string_view text) {
    if (!PutMessage(players, text)) return false;
    lastDelivery_ = std::chrono::steady_clock::now().time_since_epoch().count();
    ++delivered_;
    if (waiting_.load() > 0) arrived_.notify_all();
    return true;
}

void Exchange::AwaitMessage(uint32_t player, int us) {
    // In a lively exchange (a message came a moment ago) the next one usually comes
    // within tens of microseconds: the program looks for it, giving way to other
    // threads, for a while before it sleeps. Without recent messages it sleeps at once.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const uint64_t before = delivered_.load();
    const int64_t now = start.time_since_epoch().count();
    if (now - lastDelivery_.load() < std::chrono::nanoseconds(kLivelyNs).count()) {
        const Clock::time_point until = start + std::chrono::microseconds(std::min(us, kAwaitLookUs));
        while (delivered_.load() == before && Clock::now() < until) sched_yield();
        if (delivered_.load() != before) return;
    }
    std::unique_lock lock(m_);
    ++waiting_;
    arrived_.wait_for(lock, std::chrono::microseconds(us), [&] { return inbox_.count(player) > 0; });
    --waiting_;
}

void Exchange::KeepOnly(const std::vector<uint32_t>& players) {
    std::lock_guard lock(m_);
    for (auto it = inbox_.begin(); it != inbox_.end();) {
        if (std::find(players.begin(), players.end(), it->first) != players.end()) {
            ++it;
            continue;
        }
        for (const std::string& m : it->second) inboxBytes_ -= m.size();
        inboxCount_ -= it->second.size();
        it = inbox_.erase(it);
    }
}

bool Exchange::InboxHasRoom() const {
    std::lock_guard lock(m_);
    // The text bytes with their per-message cost, against three quarters of the limit.
    return inboxCount_ < kMaxInboxMessages / 4 * 3 &&
           inboxBytes_ + inboxCount_ * kMessageCost < kMaxInboxBytes / 4 * 3;
}

bool Exchange::TakeCreated(uint32_t token, uint32_t& id) {
    std::lock_guard lock(m_);
    auto it = created_.find(token);
    if (it == created_.end()) return false;
    id = it->second;
    created_.erase(it);
    return true;
}

void Exchange::TakeCommands(std::vector<Command>& out) {
    out.clear();
    std::lock_guard lock(m_);
    out.swap(commands_);
    pending_ = 0;
}

void Exchange::SetView(View v) {
    std::lock_guard lock(m_);
    view_ = std::move(v);
    ++viewVersion_;
}

void Exchange::SetCreated(uint32_t token, uint32_t id) {
    std::lock_guard lock(m_);
    created_[token] = id;
}

void Exchange::Release(size_t bytes) { outgoing_ -= std::min(bytes, outgoing_.load()); }

}  // namespace net
