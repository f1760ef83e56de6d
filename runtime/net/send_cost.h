// Internal: what a message costs while it waits in memory, in the inbox or unacknowledged:
// its text and kMessageCost bytes besides.
#pragma once

#include <cstddef>
#include <string>

namespace net {

constexpr size_t kMessageCost = 64;

inline size_t SendCost(const std::string& text) { return text.size() + kMessageCost; }

}  // namespace net
