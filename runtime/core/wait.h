// Internal: waiting for the user or for another program (KEYWAIT, MOUSEWAIT, SHELLCMD's wait,
// movies, joining a network session). Every waiting loop is built from __WaitStep, so
// that while it waits the window stays responsive and the program can still be left:
// closing the window, Escape, or Left Alt with F4 end it, as in SHOWSCREEN.
#pragma once

// One pass of a waiting loop: hands the window's pending events to their receivers (a
// close request ends the program), ends the program when the end keys are held, then
// gives the processor away for about `ms` milliseconds (0: not at all).
void __WaitStep(double ms);
// True when the end keys are held (Escape, or Left Alt with F4), as the installed test
// reads them; false until start-up installs one. `waiting`: asked from a waiting loop,
// where frames do not move on (a recorded run then reads the keyboard itself).
bool __EndKeysHeld(bool waiting = false);
void __SetEndKeysTest(bool (*test)(bool waiting));
