// Internal: the network thread. It owns a session's sockets (no other thread touches
// them) and keeps the session going whatever the program does meanwhile: it answers,
// acknowledges, probes and passes messages on while the program waits for a key, plays
// a movie, loads a level or searches a path, and it hands the commands' requests and
// the session's news through the Exchange.
#pragma once

#include <atomic>
#include <thread>

#include "net/exchange.h"
#include "net/session.h"

namespace net {

class NetThread {
public:
    NetThread(Exchange& ex, const SessionConfig& cfg);
    ~NetThread();
    NetThread(const NetThread&) = delete;
    NetThread& operator=(const NetThread&) = delete;

    // Opens the session's sockets on the calling thread, then starts the thread. False
    // when the sockets cannot be made (a host's session port is taken).
    bool Start();
    // Sends what the commands queued (at most `flushMs` long), leaves the session and
    // ends the thread.
    void Stop(double flushMs);

private:
    void Run();

    Exchange& ex_;
    Session session_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<double> flushMs_{0};
};

}  // namespace net
