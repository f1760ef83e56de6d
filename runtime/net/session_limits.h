// Internal: the network session's times and limits, as the session (net/session.h) and
// its roles keep them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace net {

// Times, in milliseconds.
// A connection must be made and say hello within this: as long as a joining program
// waits, so that ENet's own resends of a lost handshake or hello have time to come.
constexpr double kHelloMs = 4000;
// ENet's handshake may take this long under loss (each of its datagrams may be lost
// several times over); a joining program waits as long once the host answered.
constexpr double kHandshakeMs = 12000;
constexpr uint32_t kSilentMs = 3000;      // a connection that brings nothing this long is lost
constexpr double kGraceMs = 15000;        // the host keeps a silent program's seat this long
constexpr double kStashMs = 4000;         // a peer holds a returning program's hello this long
constexpr double kCandidateMs = 5000;     // a returning program waits this long for a peer
constexpr double kElectMs = 4000;         // the oldest peer left tries the old host this long
constexpr double kGiveUpMs = 30000;       // a program that reaches nobody this long has lost the session
constexpr double kGiveUpByWebSocketMs = 10000;  // the same for one that came over WebSocket (it never hosts)
constexpr double kKeepForLostMs = 60000;  // what a peer no longer listed has not acknowledged is kept this long
constexpr double kKeepAliveMs = 250;
constexpr double kAckDelayMs = 5;
constexpr uint32_t kAckBatch = 256;
constexpr double kResumeRepeatMs = 500;
// Connections that have not said hello: per address, and in all (room for every peer
// of a session coming back at once after a host change).
constexpr size_t kHalfOpenPerAddress = 8;
constexpr size_t kMaxHalfOpen = 96;
// Programs of one address. Neither limit applies to 127.0.0.1, this machine's own
// programs.
constexpr size_t kPeersPerAddress = 16;
bool ThisMachine(uint32_t ip);

}  // namespace net
