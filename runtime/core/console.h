// Lines to the program's standard output, for debugging and for the tools that run a
// program and read what it writes.
#pragma once

#include "core/dqstr.h"

// Writes the text and a line end to standard output and flushes it at once, so that a
// program reading a pipe sees the line as soon as it is written. A reader that has gone
// away does not end the program; the line is lost then. In the browser the line goes to
// the page's console.
double STDOUT(DQStr text);
// The number as text (ten significant digits, as STR$ writes it).
double STDOUT(double value);
