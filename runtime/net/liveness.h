// Internal: whether programs of the session that this one has no working connection to
// are alive at all. A connection to a program that is gone never fails early (ENet waits
// for answers that never come), so the session asks by plain datagram on the session
// socket (a ping) and every program of the session answers (a pong, net/protocol.h). An
// address watched this long without an answer is taken for gone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>

#include "net/protocol.h"
#include "net/transport.h"

namespace net {

struct SessionConfig;

class Liveness {
public:
    static constexpr double kDeadMs = 1000;     // no answer this long: gone
    static constexpr double kPingMs = 200;      // asked this often
    static constexpr double kForgetMs = 30000;  // an address silent this long is no longer asked

    Liveness(Transport& io, const SessionConfig& cfg);
    // Starts asking the program at that address (an address watched already keeps its start).
    void Watch(const Address& a, double now);
    void Unwatch(const Address& a);
    // Watched for kDeadMs or longer and no answer in that time.
    bool Gone(const Address& a, double now) const;
    // Asks again when it is time.
    void Tick(double now);
    // A datagram on a session socket: true when it was a ping or a pong. A ping is
    // answered when `answer` (this program is in the session).
    bool OnDatagram(bool door, const Address& from, const uint8_t* data, size_t size, double now, bool answer);
    void Clear() { watched_.clear(); }

private:
    using Key = std::pair<uint32_t, uint16_t>;
    Transport& io_;
    const SessionConfig& cfg_;
    std::map<Key, double> watched_;  // address -> since when, or when it last answered
    double nextPing_ = 0;
};

}  // namespace net
