// The millisecond clock and the frame timers.
#pragma once

extern double __g_FirstTime;  // clock at the end of start-up
extern double __g_ThisTime;   // clock at the latest SHOWSCREEN
extern double __g_LastTime;   // clock at the SHOWSCREEN before that

// Milliseconds from the high-resolution counter.
double __ClockMs();
// SHOWSCREEN's time stamp: the last stamp becomes the one before, the clock the last.
void __StampFrameTime();

// Milliseconds since the SHOWSCREEN before the latest one; at least 1 (never less).
double GETTIMER();
// Milliseconds since program start.
double GETTIMERALL();
