// Internal: looking for a session on this machine and the local network, before a join
// without an address; and a host's answer to such a search.
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/protocol.h"
#include "net/transport.h"

namespace net {

struct SessionConfig;

class SearchState {
public:
    SearchState(Transport& io, const SessionConfig& cfg);
    // Asks again when it is time; false once the search is over without an answer.
    bool Tick(double now);
    // A datagram came to the session socket; true when it answered the search.
    bool OnDatagram(const Address& from, const uint8_t* data, size_t size);
    const Address& Found() const { return found_; }

private:
    Transport& io_;
    const SessionConfig& cfg_;
    double start_ = -1, nextAsk_ = 0;
    Address found_;
};

// A host answers a search for its application and exact session name (from the socket
// it came to).
void AnswerSearch(Transport& io, const SessionConfig& cfg, bool door, const Address& from, const uint8_t* data,
                  size_t size);

}  // namespace net
