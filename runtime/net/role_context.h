// Internal: what a role (net/role.h) is handed instead of the session that holds it: the
// session's configuration and tables, the sockets, the watch on programs that may be
// gone, what this program sent and what it expects next, the exchange with the commands,
// who this program is in the session, and the few things the role asks of the session.
// The clock is net/clock.h.
#pragma once

#include <cstdint>

#include "net/exchange.h"
#include "net/liveness.h"
#include "net/protocol.h"
#include "net/session_config.h"
#include "net/session_table.h"
#include "net/streams.h"
#include "net/transport.h"

namespace net {

// This program in the session.
struct Self {
    uint32_t me = 0;  // its peer id
    Secret secret{};
    uint32_t term = 0;  // the term of the host it is or follows (net/protocol.h)
};

// What a role asks of the session (net/session.h tells what each does).
class SessionCalls {
public:
    virtual void SetStatus(Status s, Refusal why = Refusal{}) = 0;
    // The tables changed: the commands see them at the end of the round.
    virtual void TableChanged() = 0;
    // A join: the connection to the host is made.
    virtual void Reached() = 0;
    // The id of the player a create asked for (0: none).
    virtual void Answer(uint32_t token, uint32_t id) = 0;
    // A message (or a skipped number) from a sending peer arrived for this program.
    virtual void Receive(const Incoming& m) = 0;
    virtual void Skip(uint32_t sender, uint32_t seq) = 0;
    // A peer is no longer listed (it may come back under its id).
    virtual void Forget(uint32_t peer) = 0;
    // Removes from the inbox the messages of players this program no longer has.
    virtual void PurgeInbox() = 0;
    // At the end of the round: this program becomes the host; or, the host, steps down
    // for the one that outranks it.
    virtual void BecomeHost() = 0;
    virtual void StepDown(const Claim& winner) = 0;
    // A connection that had not said hello is the role's now.
    virtual void Adopt(Transport::Peer* peer) = 0;

protected:
    ~SessionCalls() = default;
};

struct RoleContext {
    const SessionConfig& cfg;
    Transport& io;
    Liveness& alive;
    SessionTable& table;
    Outbox& outbox;
    const Inbound& inbound;
    Exchange& ex;
    Self& self;
    SessionCalls& session;
};

}  // namespace net
