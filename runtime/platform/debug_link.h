// Internal (the platform contract): the connection of a debug build to the debugger
// that started it. The debugger names a port on 127.0.0.1 in the environment variable
// TOLVANE_DEBUG_PORT; the program connects to it at start. Desktop only.
#pragma once

#include <cstddef>
#include <string>

namespace plat {

// Connects to the debugger named in the environment; -1 when none is named or it
// cannot be reached.
int DebugLinkOpen();
// Writes all of `text`; false when the debugger has gone (no signal is raised).
bool DebugLinkWrite(int link, const std::string& text);
// Waits for bytes from the debugger and reads up to `size` of them; 0 when it has gone.
size_t DebugLinkRead(int link, char* buffer, size_t size);

}  // namespace plat
