// Internal: the clock of the session logic, in milliseconds. The network thread reads the
// steady clock; a test that runs sessions in simulated time sets a clock of its own.
#pragma once

namespace net {

double NowMs();

// Replaces the clock (null: the steady clock again). Set before any session exists.
using ClockSource = double (*)();
void SetClock(ClockSource source);

}  // namespace net
