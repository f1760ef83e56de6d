#include "net/net_thread.h"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>

namespace net {

namespace {
// How long the thread keeps looking for datagrams and requests after messages.
constexpr int kThreadLookUs = 500;
}  // namespace

NetThread::NetThread(Exchange& ex, const SessionConfig& cfg) : ex_(ex), session_(ex, cfg) {}

NetThread::~NetThread() { Stop(0); }

bool NetThread::Start() {
    if (!session_.Open()) return false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void NetThread::Stop(double flushMs) {
    if (!thread_.joinable()) return;
    flushMs_ = flushMs;
    stop_ = true;
    uint64_t one = 1;
    if (write(ex_.WakeFd(), &one, sizeof one) < 0) {
        // The wake-up counter is full: the thread is awake anyway.
    }
    thread_.join();
}

void NetThread::Pump() {}

void NetThread::AwaitMessage(uint32_t player, int us) { ex_.AwaitMessage(player, us); }

void NetThread::Run() {
    pthread_setname_np(pthread_self(), "tolvane-net");
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastTraffic{};
    while (!stop_) {
        // After a round with work the next one follows at once. For a little while after
        // messages the thread keeps looking (giving way to other threads) before it
        // sleeps, so that an answer that comes right away is passed on right away. Then
        // it sleeps until a datagram or a request comes, or something is due.
        const Session::Round r = session_.Step();
        if (r.traffic) lastTraffic = Clock::now();
        if (r.events) continue;
        if (Clock::now() - lastTraffic < std::chrono::microseconds(kThreadLookUs)) {
            sched_yield();
            continue;
        }
        if (ex_.Sleep()) {
            if (!stop_) session_.Wait(session_.IdleMs(), ex_.WakeFd());
            ex_.Awake();
            ex_.DrainWake();
        }
    }
    session_.Leave(flushMs_);
}

}  // namespace net
