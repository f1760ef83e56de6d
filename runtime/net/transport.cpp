#include "net/transport.h"

#include <arpa/inet.h>
#include <poll.h>

#include <atomic>

#include "net/udp_links.h"
#include "net/ws_links.h"

namespace net {

namespace {
std::atomic<PacketTap> g_tap{nullptr};
bool IsWs(const Link* link) { return link && link->kind == Link::Kind::Ws; }
}  // namespace

void SetPacketTap(PacketTap tap) { g_tap = tap; }
PacketTap PacketTapNow() { return g_tap.load(); }

bool IsLoopback(uint32_t ip) { return (ntohl(ip) >> 24) == 127; }

uint32_t ParseIpv4(const char* text) {
    in_addr a{};
    return inet_pton(AF_INET, text, &a) == 1 ? a.s_addr : 0;
}

std::string ToText(const Address& a) {
    char ip[INET_ADDRSTRLEN] = {};
    in_addr in{};
    in.s_addr = a.ip;
    inet_ntop(AF_INET, &in, ip, sizeof ip);
    return std::string(ip) + ":" + std::to_string(a.port);
}

Transport::Transport(size_t slots)
    : udp_(std::make_unique<UdpLinks>(slots)), ws_(std::make_unique<WsLinks>()), udpAvailable_(UdpLinks::Available()) {}

Transport::~Transport() { Close(); }

// A program that joins by a ws:// address is a browser's like: it has no UDP socket.
bool Transport::Open(uint16_t port) { return ByWebSocket() || udp_->Open(port); }

bool Transport::OpenWs(uint16_t port, const std::vector<std::string>& origins) {
    origins_ = origins;
    return ws_->Listen(port, origins);
}

bool Transport::OpenDoor(uint16_t port, uint16_t wsPort) {
    const bool udp = !udpAvailable_ || udp_->OpenDoor(port);
    // The browsers' door: only where this program takes browsers at all.
    if (udp && wsPort && ws_->Port() && ws_->Port() != wsPort) ws_->Listen(wsPort, origins_);
    return udp;
}

uint16_t Transport::Port() const { return udp_->Port(); }
uint16_t Transport::WsPort() const { return ws_->Port(); }

void Transport::Close() {
    udp_->Close();
    ws_->Close();
}

bool Transport::HasUdp() { return UdpLinks::Available(); }

void Transport::JoinBy(const std::string& url) { joinedBy_ = url; }

bool Transport::Datagrams() const { return udpAvailable_ && udp_->Port() != 0; }

Transport::Peer* Transport::Connect(const Address& to) {
    if (ByWebSocket()) return ws_->Connect(to, joinedBy_);
    return udp_->Connect(to);
}

void Transport::Send(Peer* peer, const Bytes& packet, int channel) {
    if (IsWs(peer)) ws_->Send(peer, packet);
    else udp_->Send(peer, packet, channel);
}

void Transport::SendDatagram(bool door, const Address& to, const Bytes& datagram) {
    udp_->SendDatagram(door, to, datagram);
}

void Transport::Disconnect(Peer* peer, uint32_t code) {
    if (IsWs(peer)) ws_->Disconnect(peer, code);
    else udp_->Disconnect(peer, code);
}

void Transport::DisconnectLater(Peer* peer) {
    if (IsWs(peer)) ws_->Disconnect(peer, 0);
    else udp_->DisconnectLater(peer);
}

void Transport::Reset(Peer* peer) {
    if (IsWs(peer)) ws_->Reset(peer);
    else udp_->Reset(peer);
}

void Transport::Tune(Peer* peer) {
    if (!IsWs(peer)) udp_->Tune(peer);
}

bool Transport::Connected(Peer* peer) const { return IsWs(peer) ? ws_->Connected(peer) : udp_->Connected(peer); }

bool Transport::Settled(Peer* peer) const { return IsWs(peer) ? ws_->Settled(peer) : udp_->Settled(peer); }

bool Transport::Unsettled() const { return udp_->Unsettled() || ws_->Unsettled(); }

uint32_t Transport::SilentMs(Peer* peer) const { return IsWs(peer) ? ws_->SilentMs(peer) : udp_->SilentMs(peer); }

Address Transport::AddressOf(Peer* peer) const { return IsWs(peer) ? ws_->AddressOf(peer) : udp_->AddressOf(peer); }

void Transport::Wait(int ms, int wakeFd) {
    std::vector<pollfd> fds;
    udp_->WaitFds(fds);
    ws_->WaitFds(fds);
    if (wakeFd >= 0) fds.push_back({wakeFd, POLLIN, 0});
    poll(fds.data(), fds.size(), ms < 0 ? 0 : ms);
}

bool Transport::Service(Handler& handler) {
    bool any = udp_->Service(handler);
    any |= ws_->Service(handler);
    return any;
}

void Transport::Flush() {
    udp_->Flush();
    ws_->Flush();
}

std::vector<Transport::Pending> Transport::PendingIncoming(double nowMs) {
    std::vector<Pending> out;
    udp_->PendingIncoming(nowMs, out);
    return out;
}

}  // namespace net
