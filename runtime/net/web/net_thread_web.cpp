// The network session in a page, which has no threads: the session runs its rounds when
// the program looks at it (the end of every frame, the network commands), and what comes
// over its WebSocket meanwhile waits in the browser's queue for the next round.
#include "net/net_thread.h"
#include "platform/window.h"

namespace net {

namespace {
// Rounds one look runs at most (each takes what arrived; more comes only after a turn of
// the browser's own).
constexpr int kRoundsPerLook = 8;
}  // namespace

// (flushMs_ is negative while the session is not open.)
NetThread::NetThread(Exchange& ex, const SessionConfig& cfg) : ex_(ex), session_(ex, cfg) { flushMs_ = -1; }

NetThread::~NetThread() { Stop(0); }

bool NetThread::Start() {
    if (!session_.Open()) return false;
    flushMs_ = 0;  // open: Stop leaves the session, once
    return true;
}

void NetThread::Stop(double) {
    if (flushMs_.exchange(-1) < 0) return;
    // The browser sends what was handed to a WebSocket before it closes it.
    session_.BeginLeave();
    session_.EndLeave();
}

void NetThread::Pump() {
    if (flushMs_ < 0) return;
    for (int i = 0; i < kRoundsPerLook; ++i)
        if (!session_.Step().events) break;
}

void NetThread::AwaitMessage(uint32_t, int us) {
    plat::SleepMs(us / 1000.0);
    Pump();
}

void NetThread::Run() {}

}  // namespace net
