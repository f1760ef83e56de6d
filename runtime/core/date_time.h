// The calendar date and the time of day on the machine's clock, in the local time zone,
// as text.
#pragma once

#include "core/dqstr.h"

// Today's date as "YYYY-MM-DD"; empty when the machine's clock cannot be read.
DQStr DATE_Str();
// The time of day as "HH:MM:SS" on a 24-hour clock; empty when the machine's clock
// cannot be read.
DQStr TIME_Str();
