// A page reaches a session only by a ws:// or wss:// address, which the browser resolves
// itself: plain addresses lead nowhere.
#include "net/resolve.h"

namespace net {

bool ResolveAddress(const char*, uint16_t, Address*) { return false; }

}  // namespace net
