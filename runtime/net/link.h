// Internal: one connection between two programs of a session, whichever way it goes: ENet
// over UDP between desktop programs, or a WebSocket between a browser (or a program that
// joined by a ws:// address) and a desktop program. The session and its roles hold links
// by address and never look inside; the transport (net/transport.h) owns them. A link
// stays where it is until its sockets are closed, and may be used again for another
// connection once its end was reported (as ENet does with its peers).
#pragma once

#include <cstdint>

namespace net {

struct Link {
    enum class Kind : uint8_t { Udp, Ws };
    Kind kind = Kind::Udp;
    void* udp = nullptr;    // Udp: ENet's peer
    uint32_t ws = 0;        // Ws: the endpoint's connection, 0 when none
    bool made = false;      // Ws: this program made it (else accepted it)
    bool open = false;      // Ws: up, and its end not yet reported
    double heardMs = 0;     // Ws: when anything last came over it (or it was made)
    uint32_t ip = 0;        // Ws: where it goes (network byte order; 0: the address joined)
    uint16_t port = 0, wsPort = 0;
};

}  // namespace net
