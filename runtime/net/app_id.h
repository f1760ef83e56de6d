// Internal: the application id every Tolvane program's sessions carry: a program joins
// only sessions of its own application.
#pragma once

#include "net/protocol.h"

namespace net {

// {126E6180-D307-11D0-9C4F-00A0C905425E}
inline constexpr AppId kApplicationId = {0x12, 0x6E, 0x61, 0x80, 0xD3, 0x07, 0x11, 0xD0,
                                         0x9C, 0x4F, 0x00, 0xA0, 0xC9, 0x05, 0x42, 0x5E};

}  // namespace net
