// Internal: what a member that takes over as host hands the host role: the hellos of
// programs that came to it meanwhile, its requests the lost host never answered, and
// which host was lost.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "net/protocol.h"
#include "net/transport.h"

namespace net {

struct Handover {
    std::vector<std::pair<Transport::Peer*, Hello>> hellos;
    std::unordered_map<uint32_t, std::string> creates;  // token -> name
    std::vector<uint32_t> cancels, destroys;
    uint32_t lostHost = 0;
};

}  // namespace net
