// The simulated network's WebSocket connections (sim_websockets.cpp): reliable and in
// order, held while their way is cut, ended when a program goes, and broken on purpose.
#pragma once

#include <cstdint>

#include "sim/sim_network.h"

namespace netsim {

// Breaks one of the program's WebSocket connections (the pick-th, counting round), as a
// proxy that gives up on it would: false when it has none.
bool BreakWebSocket(int program, uint64_t pick);

}  // namespace netsim
