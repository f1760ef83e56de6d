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
    // Where there are no threads (a page), the session goes on only when the program
    // looks at it: Pump runs its rounds (the end of every frame and the commands call it),
    // AwaitMessage gives the browser its turn for a moment first. With a thread, Pump does
    // nothing and AwaitMessage waits for the thread to bring a message.
    void Pump();
    void AwaitMessage(uint32_t player, int us);

private:
    void Run();

    Exchange& ex_;
    Session session_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<double> flushMs_{0};
};

}  // namespace net
