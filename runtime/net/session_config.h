// Internal: what a session is asked to be: hosted or joined, where, and under which
// application and name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/protocol.h"
#include "net/transport.h"

namespace net {

struct SessionConfig {
    bool host = false;        // create the session, or join it
    uint16_t port = 0;        // the session port: a host listens on it
    AppId app{};
    std::string name;         // the session name
    Address target;           // join: the host's address; ip 0: search for it
    bool lanSearch = true;    // a search also broadcasts on the local network
    // Connections a socket keeps room for (a session of a few programs needs fewer).
    size_t slots = Transport::kSlots;
};

}  // namespace net
