// Internal: the session's WebSocket side (platform/websocket.h): the TCP port a desktop
// program accepts browsers on, and the connections a browser (or a program that joined by
// a ws:// address) makes. A WebSocket is reliable and in order as ENet's channel is, and
// carries one session packet per binary message. Whether a connection is still alive is
// told by what comes over it (the session's keep-alives), as for ENet.
#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "net/link.h"
#include "net/protocol.h"
#include "net/transport.h"
#include "platform/websocket.h"

namespace net {

class WsLinks {
public:
    WsLinks();
    ~WsLinks();
    WsLinks(const WsLinks&) = delete;
    WsLinks& operator=(const WsLinks&) = delete;

    // Accepts browsers on that TCP port (0: any free one), letting in those origins (empty:
    // this machine's). A second call opens a second port (the door, after a host change).
    bool Listen(uint16_t port, const std::vector<std::string>& origins);
    uint16_t Port() const;
    void Close();

    // To a url (ws://host:port or wss://host:port), or to a program at an address (its ip
    // 0: the machine of `joined`, the url this program joined by).
    Link* Connect(const std::string& url);
    Link* Connect(const Address& to, const std::string& joined);
    void Send(Link* link, const Bytes& packet);
    // Ends the connection after what is queued (the other side hears `code`).
    void Disconnect(Link* link, uint32_t code);
    void Reset(Link* link);
    bool Connected(const Link* link) const;
    bool Settled(const Link* link) const;
    bool Unsettled() const;
    uint32_t SilentMs(const Link* link) const;
    Address AddressOf(const Link* link) const;

    void WaitFds(std::vector<pollfd>& fds) const;
    bool Service(TransportHandler& handler);
    // Hands what was sent to the network (what arrives meanwhile waits for Service).
    void Flush();

private:
    plat::WebSockets& Endpoint(const std::vector<std::string>* origins = nullptr);
    Link* NewLink(uint32_t id, bool made);
    void Free(Link* link);

    std::unique_ptr<plat::WebSockets> endpoint_;
    std::deque<Link> links_;          // never moved: the session holds their addresses
    std::vector<Link*> free_;
    std::unordered_map<uint32_t, Link*> byId_;
    std::vector<plat::WebSockets::Event> events_;
};

// A "ws://" or "wss://" address's parts; false when it is not one.
struct WsUrl {
    bool secure = false;
    std::string host;
    uint16_t port = 0;  // as given, else 80 (ws) or 443 (wss)
    bool portGiven = false;
    std::string path;  // "/..." or empty
};
bool ParseWsUrl(const std::string& url, WsUrl* out);

}  // namespace net
