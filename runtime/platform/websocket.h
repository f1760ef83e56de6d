// Internal (the platform contract): WebSocket connections carrying binary messages: those a
// program accepts on a TCP port (the desktop) and those it makes to an address of the form
// ws://host:port or wss://host:port. One thread owns an endpoint and services it by Poll;
// nothing here blocks, and no callback runs behind the owner's back.
//
// What an accepting endpoint refuses without a word to the session: a connection whose
// handshake is not a WebSocket upgrade or does not end in time, one whose Origin is not
// on the list, more connections still in their handshake than the limits allow (in all
// and per address), and a message or frame longer than the limit (the connection is
// closed). A refused connection never shows up as an event.
#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plat {

class WebSockets {
public:
    struct Limits {
        // Origins a browser's handshake may name, each "scheme://host" or "scheme://host:port"
        // compared without regard to case; "*" allows any. Empty: any origin whose host is
        // 127.0.0.1, localhost or this machine's own name. A handshake without an Origin
        // (not a browser's) is let in.
        std::vector<std::string> origins;
        size_t maxMessage = 256 * 1024;       // bytes of one message, and of one frame
        size_t maxHandshaking = 96;           // connections in their handshake, in all
        size_t maxHandshakingPerAddress = 8;  // and from one IPv4 address (127.0.0.1: no limit)
        // A handshake not done by then is cut; so is a connection being made that is not
        // up by then (Closed), and one closed by Close whose other side has not answered.
        double handshakeMs = 4000;
    };

    // A connection, never 0, never given twice by one endpoint.
    using Id = uint32_t;

    struct Event {
        enum Kind : uint8_t {
            Opened,   // a connection made or accepted is up (its handshake is done)
            Message,  // one whole binary message arrived
            Closed,   // a connection that was Opened ended (or one being made failed)
        } kind;
        Id id;
        std::vector<uint8_t> data;  // Message: the message
        uint16_t code = 0;          // Closed: the close code the other side sent, 0 when none
    };

    virtual ~WebSockets() = default;

    // Accepts connections on this TCP port of every IPv4 address (0: any free port); may be
    // called again for a second port. False when the port is taken, or where this platform
    // cannot accept connections (the browser).
    virtual bool Listen(uint16_t port) = 0;
    // The port of the first Listen, 0 when none (or after StopListening).
    virtual uint16_t Port() const = 0;
    // Stops accepting on every port; connections already up go on.
    virtual void StopListening() = 0;

    // Starts a connection to "ws://host:port[/path]" or "wss://host:port[/path]"; 0 when
    // the address cannot be used. Opened or Closed follows. The desktop has no TLS linked:
    // there a wss:// address is one that cannot be used. A host given by name is looked up
    // on a thread of the endpoint's own; its answer wakes no descriptor of WaitFds, so an
    // owner that sleeps sees it at its next Poll.
    virtual Id Connect(const std::string& url) = 0;

    // Sends one binary message (dropped when the connection is not up).
    virtual void Send(Id id, const uint8_t* data, size_t size) = 0;
    // Ends the connection after what is queued for it, with that close code (1000..4999;
    // any other, and 1005, 1006 and 1015, which name no reason to send, go as 1000); its
    // Closed event follows. Messages that arrive after it are not handed over.
    virtual void Close(Id id, uint16_t code) = 0;
    // Ends the connection at once; no event follows.
    virtual void Drop(Id id) = 0;
    // Whether the connection is up (Opened, not ended, and not being closed by Close).
    virtual bool IsOpen(Id id) const = 0;
    // Bytes queued for the connection and not yet handed to the network.
    virtual size_t Queued(Id id) const = 0;
    // The other side's IPv4 address (network byte order), 0 when not known (a browser's
    // own connections).
    virtual uint32_t RemoteIp(Id id) const = 0;

    // Does what became possible since the last call and hands over what happened, in order
    // (appended to `out`). Time limits are checked here.
    virtual void Poll(std::vector<Event>& out) = 0;
    // The descriptors (and the events on them) whose readiness Poll waits for; a caller
    // that sleeps wakes up on any of them.
    virtual void WaitFds(std::vector<pollfd>& fds) const = 0;
    // Drops every connection and stops listening.
    virtual void CloseAll() = 0;
};

// This platform's endpoint, with those limits.
std::unique_ptr<WebSockets> MakeWebSockets(const WebSockets::Limits& limits);

}  // namespace plat
