// Internal (the platform contract): what the platform's own sources share among
// themselves; nothing outside runtime/platform includes this.
#pragma once

#include <cstdint>

namespace plat::internal {

// True between a successful Startup and Shutdown.
bool VideoStarted();
// The platform's identifier of the program window, 0 while there is none.
uint32_t ProgramWindowId();

// The event pump's reports for learning typed characters: a key went down (with
// Shift held or not), then the text it typed.
void NoteKeyDown(int platformScancode, bool shift);
void NoteText(const char* utf8);

}  // namespace plat::internal
