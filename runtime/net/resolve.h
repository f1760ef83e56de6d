// Internal: finding the address of "name" or "name:port" without holding the program up.
// A host name is looked up on a helper thread; the caller waits at most a few seconds,
// and keeps its window answering meanwhile (core/wait.h).
#pragma once

#include <cstdint>

#include "net/transport.h"

namespace net {

// False when the text is no address, the name is unknown, or the look-up takes too long
// (it is then left to finish on its own).
bool ResolveAddress(const char* text, uint16_t defaultPort, Address* out);

}  // namespace net
