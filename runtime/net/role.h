// Internal: what the session asks of the part this program plays in it, the host
// (net/host_role.h) or a joining or joined program (net/member_role.h). The session holds
// one role at a time, made with what it works with (net/role_context.h), and hands it
// what arrives, the commands' requests and the time; it replaces the member role by the
// host role only between rounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/protocol.h"
#include "net/transport.h"

namespace net {

class Role {
public:
    virtual ~Role() = default;

    // Whether the connection is one the role made or took in.
    virtual bool Owns(Transport::Peer* peer) const = 0;
    // A connection the role made is up.
    virtual void OnConnect(Transport::Peer* peer) = 0;
    virtual void OnDisconnect(Transport::Peer* peer, uint32_t code) = 0;
    virtual void OnPacket(Transport::Peer* peer, Type type, const uint8_t* data, size_t size) = 0;
    // A connection that has not said hello yet says it.
    virtual void OnHello(Transport::Peer* peer, const Hello& h) = 0;
    // A search datagram on the session socket (door: false) or the door (true).
    virtual void OnDatagram(bool door, const Address& from, const uint8_t* data, size_t size) = 0;
    virtual void Tick(double now) = 0;

    // The commands' requests: a message this program sends (numbered for its receivers),
    // a player to make (answered through the session), one given up, one to destroy.
    virtual void Send(const Outgoing& m) = 0;
    virtual bool CanCreate() const = 0;
    virtual void Create(uint32_t token, const std::string& name) = 0;
    virtual void Cancel(uint32_t token) = 0;
    virtual void Destroy(uint32_t id) = 0;
    // This program, as a receiver, acknowledges or asks again.
    virtual void SendAcks(const SeqList& list) = 0;
    virtual void SendResumes(const SeqList& list) = 0;
    // Sends what was gathered this round.
    virtual void Flush() = 0;

    // Leaving: says so; then whether that went out; then the end.
    virtual void Leave() = 0;
    virtual bool Settled() const = 0;
    virtual void Disconnect() = 0;
};

}  // namespace net
