// Internal: what a session is asked to be: hosted or joined, where, and under which
// application and name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "net/protocol.h"
#include "net/transport.h"

namespace net {

struct SessionConfig {
    bool host = false;        // create the session, or join it
    uint16_t port = 0;        // the session port: a host listens on it
    AppId app{};
    std::string name;         // the session name
    Address target;           // join: the host's address; ip 0: search for it
    std::string url;          // join over WebSocket instead: "ws://host:port" or "wss://host:port"
    // The TCP port this program accepts WebSocket connections on (browsers): a host's
    // is given (0: the session port's number); any free one for a member.
    uint16_t wsPort = 0;
    // Origins the WebSocket port lets in (see platform/websocket.h); empty: this machine's.
    std::vector<std::string> origins;
    bool lanSearch = true;    // a search also broadcasts on the local network
    // Connections a socket keeps room for (a session of a few programs needs fewer).
    size_t slots = Transport::kSlots;
};

}  // namespace net
