// Internal (the platform contract): the running program's place on the machine: the
// stop signals, the temporary folder, the program file, the screen saver, the warning
// sound and the standard output.
#pragma once

#include <cstddef>
#include <string>

namespace plat {

// SIGINT and SIGTERM call `onSignal` with the signal's number (from the signal handler:
// it may do nothing but atomic stores); a second one ends the process at once with
// 128 + the number. SDL's own handlers for them are not installed. The browser has no
// signals: nothing happens there.
void WatchStopSignals(void (*onSignal)(int signal));
// In the browser: gives the browser its turn when the program has not given it for
// 50 ms. Nothing on the desktop.
void GiveTurnIfBusy();
// The temporary folder with a trailing '/': TMPDIR when set, else /tmp/.
std::string TempDir();
// Full path of the running program file; empty when the system does not tell.
std::string ProgramPath();
// Keeps the screen saver and monitor power-down away while the program runs (after
// Startup, window.h).
void SuppressScreenSaver();
// A short warning sound or, where there is none, the terminal bell.
void Beep();
// Asks for a large block of memory, not yet touched, to be kept in huge pages where the
// system offers them: filling hundreds of megabytes then takes hundreds of page faults,
// not hundreds of thousands. Small blocks are left alone.
void AdviseHugePages(void* block, size_t size);
// Writes the text and a line end to standard output and flushes it (in the browser: one
// line of the page's console). A reader of the output that has gone away raises no
// signal that would end the program: false then, and the line is lost.
bool StdoutLine(const char* text);

}  // namespace plat
