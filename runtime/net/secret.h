// Internal: the secret a host hands every program that joins, and its digest.
//
// A program that lost its host proves to the next host that it is the program that
// joined by showing its secret; every peer holds only the digests (SHA-256) of the
// others' secrets, so no peer can pass for another.
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/protocol.h"

namespace net {

// 16 bytes from the system's random source.
Secret NewSecret();
Digest DigestOf(const Secret& secret);
// SHA-256 of any bytes.
Digest Sha256(const uint8_t* data, size_t size);

}  // namespace net
