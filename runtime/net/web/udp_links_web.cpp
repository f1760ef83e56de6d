// A page has no UDP: no socket opens, no connection goes over it, and datagrams (the
// session search, host claims and pings) go nowhere. Every connection is a WebSocket
// (net/ws_links.h).
#include "net/udp_links.h"

namespace net {

struct UdpLinks::Host {};

bool UdpLinks::Available() { return false; }
UdpLinks::~UdpLinks() = default;
bool UdpLinks::Open(uint16_t) { return false; }
bool UdpLinks::OpenDoor(uint16_t) { return false; }
uint16_t UdpLinks::Port() const { return 0; }
void UdpLinks::Close() {}
Link* UdpLinks::Connect(const Address&) { return nullptr; }
void UdpLinks::Send(Link*, const Bytes&, int) {}
void UdpLinks::SendDatagram(bool, const Address&, const Bytes&) {}
void UdpLinks::Disconnect(Link*, uint32_t) {}
void UdpLinks::DisconnectLater(Link*) {}
void UdpLinks::Reset(Link*) {}
void UdpLinks::Tune(Link*) {}
bool UdpLinks::Connected(const Link*) const { return false; }
bool UdpLinks::Settled(const Link*) const { return true; }
bool UdpLinks::Unsettled() const { return false; }
uint32_t UdpLinks::SilentMs(const Link*) const { return 0xFFFFFFFFu; }
Address UdpLinks::AddressOf(const Link*) const { return Address{}; }
void UdpLinks::WaitFds(std::vector<pollfd>&) const {}
bool UdpLinks::Service(TransportHandler&) { return false; }
void UdpLinks::Flush() {}
void UdpLinks::PendingIncoming(double, std::vector<Transport::Pending>&) {}

}  // namespace net
