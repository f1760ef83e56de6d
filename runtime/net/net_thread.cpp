#include "net/net_thread.h"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cstdint>

namespace net {

namespace {
constexpr int kLookRounds = 16;
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

void NetThread::Run() {
    pthread_setname_np(pthread_self(), "tolvane-net");
    int look = 0;
    while (!stop_) {
        // After a round with work the next one follows at once. After messages, for a
        // little while the thread keeps looking (giving way to other threads) before it
        // sleeps, so that an answer that comes right away is passed on right away. Then
        // it sleeps until a datagram or a request comes, or something is due.
        const Session::Round r = session_.Step();
        if (r.traffic) look = kLookRounds;
        if (r.events) continue;
        if (look > 0) {
            // The first rounds without giving way: an answer often comes within
            // microseconds; then giving way, so that the program itself can run.
            --look;
            sched_yield();
            continue;
        }
        if (ex_.Sleep()) {
            if (!stop_) session_.io.Wait(session_.IdleMs(), ex_.WakeFd());
            ex_.Awake();
            ex_.DrainWake();
        }
    }
    session_.Leave(flushMs_);
}

}  // namespace net
